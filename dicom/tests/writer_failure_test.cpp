// A write the file system refuses: 0, the log says why, and nothing is left
// where a reader could take it for a whole file.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>

#include "helpers.h"
#include "log/log.h"
#include "platform/process.h"
#include "testsupport/testsupport.h"

namespace {

namespace fs = std::filesystem;

// In a child, since the file size limit holds for the whole process.
testsupport::ChildRegistration limited("write-over-size-limit", [](const std::vector<std::string>& args) {
  const fs::path dir = args[0];
  fs::create_directories(dir / "logs");
  Log::setLogFileDir((dir / "logs").c_str());
  std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit {};
  limit.rlim_cur = limit.rlim_max = 64 * 1024;
  if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 10;
  dicomtest::Object o;
  dicomtest::setText(o, 0x0002, 0x0010, "UI", "1.2.840.10008.1.2.1");
  dicomtest::setText(o, 0x7FE0, 0x0010, "OW", std::string(200 * 1024, 'p'));
  return WriteDicomFile(o, (dir / "out.dcm").c_str()) == 0 ? 0 : 11;
});

TEST(WriterFailure, RefusedWriteLeavesNoFileAndIsLogged) {
  testsupport::TempDir dir;
  fs::path target = dir / "out.dcm";
  testsupport::writeFile(target, "the earlier file");
  platform::Process child;
  ASSERT_TRUE(child.start(testsupport::selfExecutable(),
                          testsupport::childArgs("write-over-size-limit", {dir.path().string()})));
  platform::ProcessExit exit = child.wait();
  ASSERT_EQ(exit.kind, platform::ProcessExit::Kind::Exited);
  ASSERT_EQ(exit.code, 0);
  // The earlier file stands untouched and no temporary is left beside it.
  EXPECT_EQ(testsupport::readFile(target), "the earlier file");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path())) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"logs", "out.dcm"}));
  std::string logs;
  for (const auto& entry : fs::directory_iterator(dir / "logs")) logs += testsupport::readFile(entry.path());
  EXPECT_NE(logs.find("-----DICOMLib::WriteDicomFile: Fail CreateFileMapping("), std::string::npos) << logs;
}

}  // namespace
