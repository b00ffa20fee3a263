// The shared library as its users see it: the free functions and the exports.
#include "log/log.h"

#include "testsupport/testsupport.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

TEST(SharedLibrary, FreeFunctionsWriteThroughTheProcessWideInstance) {
  testsupport::TempDir tmp;
  EXPECT_EQ(&Log::getClogfileZero(), &Log::getClogfileZero());
  ASSERT_EQ(Log::setLogFileDir(tmp.path().c_str()), 0);
  ASSERT_EQ(Log::setLogFileNameBase("so"), 0);
  ASSERT_EQ(Log::setDailyLogFile(true), 0);
  EXPECT_TRUE(Log::getClogfileZero().getLogFileIsDaily());
  ASSERT_EQ(Log::setLogLevel(25, 6), 0);
  EXPECT_EQ(Log::getLogLevel(25), 6);
  EXPECT_EQ(Log::initLog(), 0);
  EXPECT_EQ(Log::log(2506, "engine %d", 25), 0);
  EXPECT_EQ(Log::log(2507, "filtered"), 0);
  std::string file = Log::getLogFileName();
  ASSERT_EQ(file.rfind((tmp / "so_").string(), 0), 0u) << file;
  std::string text = testsupport::readFile(file);
  EXPECT_NE(text.find(" (3): Logging started\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" (6)<F25>: engine 25\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("filtered"), std::string::npos) << text;
  // Back to the defaults, so the exit line of the library stays filtered.
  Log::setLogLevel(25, -1);
}

// Only the library's own namespace is exported: no platform layer, no templates.
TEST(SharedLibrary, ExportsOnlyTheLogNamespace) {
  std::string library = (testsupport::selfExecutable().parent_path() / "libLog.so").string();
  testsupport::CommandResult nm = testsupport::runCommand("nm -DC --defined-only '" + library + "'");
  ASSERT_EQ(nm.status, 0) << nm.output;
  std::istringstream lines(nm.output);
  std::string line;
  int exported = 0;
  while (std::getline(lines, line)) {
    // "<address> <type> <name>"
    std::size_t first = line.find(' ');
    ASSERT_NE(first, std::string::npos) << line;
    std::string name = line.substr(first + 3);
    bool ours = name.rfind("Log::", 0) == 0 || name.rfind("typeinfo for Log::", 0) == 0 ||
                name.rfind("typeinfo name for Log::", 0) == 0 || name.rfind("vtable for Log::", 0) == 0;
    EXPECT_TRUE(ours) << line;
    ++exported;
  }
  EXPECT_GT(exported, 40) << nm.output;
  EXPECT_NE(nm.output.find("Log::Clogfile::log(int, int, char const*, ...)"), std::string::npos);
  EXPECT_NE(nm.output.find("Log::setLongDayLogFileName(bool)"), std::string::npos);
}

}  // namespace
