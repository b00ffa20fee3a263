// The engine's lines through the real log library.
#include "crengine/internal/elog.h"

#include "log/log.h"
#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

namespace {

TEST(LogLibrary, EngineLinesGoToFacility25AtTheEngineLevel) {
  testsupport::TempDir dir;
  ASSERT_EQ(Log::setLogFileDir(dir.path().c_str()), 0);
  crengine::LogSink& sink = crengine::logSink();
  sink.configureDefault(dir.path().string() + "/");
  sink.setFacilityLevel(6);
  EXPECT_EQ(Log::getLogLevel(crengine::kLogFacility), 6);
  EXPECT_TRUE(Log::getLogFileIsDaily());
  crengine::setEngineLogLevel(6);
  crengine::elog(6, "engine line %d\r\n", 7);
  crengine::elog(7, "too detailed");
  const std::string file = sink.logFileName();
  EXPECT_EQ(std::filesystem::path(file).parent_path(), dir.path());
  EXPECT_EQ(std::filesystem::path(file).filename().string().rfind("CR_", 0), 0u) << file;
  const std::string text = testsupport::readFile(file);
  EXPECT_NE(text.find("(6)<F25>: engine line 7\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("too detailed"), std::string::npos);
}

}  // namespace
