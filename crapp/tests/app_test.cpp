#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "crapp/app.h"
#include "crapp/dialog.h"
#include "fixture.h"
#include "testsupport/testsupport.h"

namespace {

TEST(CommandLine, OnlyExactlyConnectSelectsTheTest) {
  struct Case {
    std::vector<std::string> args;
    bool connect;
  } cases[] = {
      {{"-connect"}, true},      {{}, false},          {{"-Connect"}, false}, {{"-connect "}, false},
      {{"-connect", "x"}, false}, {{" -connect"}, false}, {{""}, false},
  };
  for (const Case& k : cases) {
    std::string shown;
    for (const auto& a : k.args) shown += "[" + a + "]";
    EXPECT_EQ(crapp::isConnectCommandLine(k.args), k.connect) << shown;
  }
}

// An instance lock that cannot be made is not another instance: the program
// says why, logs it and ends with -1, in both modes.
TEST(InstanceLock, ALockThatCannotBeMadeIsReportedAndEndsWithMinusOne) {
  namespace fs = std::filesystem;
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "plain", "x");
  const fs::path runtime = dir / "plain" / "runtime";
  const char* before = std::getenv("NDT_RUNTIME_DIR");
  const std::string saved = before ? before : "";
  ::setenv("NDT_RUNTIME_DIR", runtime.c_str(), 1);
  for (const bool connect : {false, true}) {
    SCOPED_TRACE(connect ? "-connect" : "dialog");
    const fs::path program = dir / (connect ? "connect" : "dialog");
    fs::create_directories(program);
    crapp::CHalcyoneApp app(connect ? std::vector<std::string>{"-connect"} : std::vector<std::string>{}, program);
    EXPECT_EQ(app.InitInstance(), crapp::CHalcyoneApp::Start::LockFailed);
    EXPECT_EQ(app.connectMode(), connect);
    EXPECT_EQ(app.lockFolder(), runtime);
    EXPECT_EQ(app.lockError(), ENOTDIR);
    EXPECT_EQ(app.ExitInstance(), -1);
    std::string log;
    for (const auto& f : fs::directory_iterator(program / "halcLog")) log += testsupport::readFile(f.path());
    const std::string line = "Cannot make the instance lock in " + runtime.string() + ": " + std::strerror(ENOTDIR);
    EXPECT_NE(log.find(line), std::string::npos) << log;
    EXPECT_NE(log.find("ret = -1"), std::string::npos) << log;
    // The connection test never runs without the lock.
    EXPECT_EQ(log.find("---CheckConnect"), std::string::npos) << log;
  }
  if (before) ::setenv("NDT_RUNTIME_DIR", saved.c_str(), 1); else ::unsetenv("NDT_RUNTIME_DIR");
  const QString text = crapp::lockFailureText(runtime, ENOTDIR);
  EXPECT_TRUE(text.contains(QString::fromStdString(runtime.string()))) << text.toStdString();
  EXPECT_TRUE(text.contains(QString::fromLocal8Bit(std::strerror(ENOTDIR)))) << text.toStdString();
}

}  // namespace
