// The program itself: "-connect" in program folders of its own, with no display.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "fixture.h"
#include "platform/process.h"
#include "platform/sync.h"
#include "testsupport/testsupport.h"

namespace {

namespace fs = std::filesystem;

const fs::path kProgram = HALCYONE_PROGRAM;
const fs::path kBinDir = NDT_BIN_DIR;

enum class Reader { None, Library };

class ProgramFolder : public crapptest::ProgramFolder {
 public:
  ProgramFolder(bool testMode, Reader reader)
      : crapptest::ProgramFolder(kBinDir, kProgram, {testMode, reader == Reader::Library}) {}

  // The exit code of "Halcyone -connect".
  int connect() const {
    platform::Process p;
    EXPECT_TRUE(p.start(program(), {"-connect"}, root()));
    const platform::ProcessExit exit = p.wait();
    EXPECT_EQ(exit.kind, platform::ProcessExit::Kind::Exited);
    return exit.code;
  }
};

class Connect : public ::testing::Test {
 protected:
  void SetUp() override {
    // A headless host: no display of any kind, and a lock folder of our own.
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "NDT_USB"}) ::unsetenv(name);
    ::setenv("NDT_RUNTIME_DIR", runtime.path().c_str(), 1);
    ::setenv("NDT_CONFIG_DIR", (runtime.path() / "config").c_str(), 1);
  }
  testsupport::TempDir runtime;
};

TEST_F(Connect, TestModeConnects) {
  ProgramFolder folder(true, Reader::None);
  EXPECT_EQ(folder.connect(), 1);
  const std::string log = folder.log();
  for (const char* line : {"#### Start Halcyone ####", " -Execution of checking Connect", "---CheckConnect::Connect OK",
                           "#### End Halcyone #### [ExitInstance]  ret = 1", " -exefile=", " -dllfile="})
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

TEST_F(Connect, ScanModeWithoutTheReaderLibraryFails) {
  ProgramFolder folder(false, Reader::None);
  EXPECT_EQ(folder.connect(), 255);
  const std::string log = folder.log();
  // The engine keeps why its start failed, so the log says it.
  EXPECT_NE(log.find("---CheckConnect::Connect NG [Error info(10006011h : ZENTRAC.dll load error.)]"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("ret = -1"), std::string::npos) << log;
}

TEST_F(Connect, ScanModeReachesTheSimulatedReader) {
  ProgramFolder folder(false, Reader::Library);
  ::setenv("NDT_USB", "sim:cr", 1);
  EXPECT_EQ(folder.connect(), 1) << folder.log();
}

TEST_F(Connect, WithoutArgumentsTheDialogStartsTheEngineAndPollsThePlate) {
  ProgramFolder folder(true, Reader::None);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  platform::Process p;
  ASSERT_TRUE(p.start(folder.program(), {}, folder.root()));
  // The IP-set poll of the running dialog reports Test mode's plate.
  bool polled = false;
  for (int i = 0; i < 1000 && !polled; ++i) {
    polled = folder.log().find("IPSetFlag changed. TRUE") != std::string::npos;
    if (!polled) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(p.pid(), SIGKILL);
  p.wait();
  EXPECT_TRUE(polled) << folder.log();
  EXPECT_NE(folder.log().find("-- TEST mode --"), std::string::npos);
}

TEST_F(Connect, AnInstanceLockThatCannotBeMadeIsNoSecondInstance) {
  ProgramFolder folder(true, Reader::None);
  // A runtime folder below a plain file can never be made.
  testsupport::writeFile(runtime.path() / "plain", "x");
  const fs::path unusable = runtime.path() / "plain" / "runtime";
  ::setenv("NDT_RUNTIME_DIR", unusable.c_str(), 1);
  EXPECT_EQ(folder.connect(), 255);
  const std::string log = folder.log();
  EXPECT_NE(log.find("Cannot make the instance lock in " + unusable.string() + ": Not a directory"), std::string::npos)
      << log;
  EXPECT_NE(log.find("ret = -1"), std::string::npos) << log;

  // Without "-connect" the program says so in a box and waits for the
  // operator, instead of ending at once without a word.
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  platform::Process p;
  ASSERT_TRUE(p.start(folder.program(), {}, folder.root()));
  const auto count = [&](const std::string& what) {
    const std::string all = folder.log();
    int n = 0;
    for (std::size_t at = all.find(what); at != std::string::npos; at = all.find(what, at + 1)) ++n;
    return n;
  };
  bool logged = false;
  for (int i = 0; i < 1000 && !logged; ++i) {
    logged = count("Cannot make the instance lock") == 2;
    if (!logged) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(logged) << folder.log();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(p.poll()) << "the program ended without showing why";
  EXPECT_EQ(count("ret = -1"), 1);
  ::kill(p.pid(), SIGKILL);
  p.wait();
}

// Holds the instance mutex until killed; a file says when it holds it.
const testsupport::ChildRegistration holder("crapp-hold-instance", [](const std::vector<std::string>& args) {
  platform::NamedMutex mutex("Halcyone");
  if (!mutex.createAndHold()) return 2;
  testsupport::writeFile(args.at(0), "held");
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
});

TEST_F(Connect, ASecondInstanceEndsAtOnceAndSilently) {
  ProgramFolder folder(true, Reader::None);
  const fs::path flag = runtime.path() / "held";
  platform::Process child;
  ASSERT_TRUE(child.start(testsupport::selfExecutable(),
                          testsupport::childArgs("crapp-hold-instance", {flag.string()})));
  for (int i = 0; i < 1000 && !fs::exists(flag); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(fs::exists(flag));

  EXPECT_EQ(folder.connect(), 0);
  EXPECT_FALSE(fs::exists(folder.dir() / "halcLog"));

  // The holder's death frees the mutex, however it dies.
  ::kill(child.pid(), SIGKILL);
  const platform::ProcessExit exit = child.wait();
  EXPECT_EQ(exit.kind, platform::ProcessExit::Kind::Signalled);
  EXPECT_EQ(folder.connect(), 1);
}

}  // namespace
