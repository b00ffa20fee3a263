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

// Copies a library of the program directory. The build gives each library a
// search path back into the build folder, which a copy must not keep: it is cut
// to "$ORIGIN", so that the copy finds only what lies beside it.
void copyLibrary(const std::string& name, const fs::path& to) {
  std::string bytes = testsupport::readFile(kBinDir / name);
  ASSERT_FALSE(bytes.empty()) << name;
  const std::string searchPath = "$ORIGIN:" + kBinDir.string() + std::string(1, '\0');
  for (std::size_t at = bytes.find(searchPath); at != std::string::npos; at = bytes.find(searchPath, at))
    bytes[at + 7] = '\0';
  testsupport::writeFile(to / name, bytes);
}

enum class Reader { None, Library };

// root/Halcyone/Halcyone with its settings; the suite's libraries in root.
class ProgramFolder {
 public:
  ProgramFolder(bool testMode, Reader reader) {
    std::vector<std::string> libraries = {"libQuorin2.so", "libLog.so", "libndtplatform.so"};
    if (reader == Reader::Library) {
      libraries.push_back("libZentrac.so");
      libraries.push_back("libPravik.so");
    }
    for (const std::string& library : libraries) copyLibrary(library, root_.path());
    fs::create_directories(dir());
    fs::copy_file(kProgram, program());
    fs::permissions(program(), fs::perms::owner_all);
    crapptest::writeMainIni(dir());
    if (testMode) {
      testsupport::writeFile(dir() / "HalcyoneHard.ini", "[Common]\r\nMode=Test\r\n");
      // The stored image the engine plays back in Test mode.
      const fs::path images = dir() / "halcDemoData";
      fs::create_directories(images);
      testsupport::writeFile(images / "plate.raw", crapptest::makeRaw(64, 48, 16));
      testsupport::writeFile(images / "plate.raw.info",
                             "[ImageInfo]\r\nImageWidth=48\r\nImageHeight=64\r\nBitsPerPixel=16\r\n");
    }
  }
  fs::path dir() const { return root_.path() / "Halcyone"; }
  fs::path program() const { return dir() / "Halcyone"; }

  // The exit code of "Halcyone -connect".
  int connect() const {
    platform::Process p;
    EXPECT_TRUE(p.start(program(), {"-connect"}, root_.path()));
    const platform::ProcessExit exit = p.wait();
    EXPECT_EQ(exit.kind, platform::ProcessExit::Kind::Exited);
    return exit.code;
  }

  std::string log() const {
    std::string all;
    std::error_code ec;
    for (auto& entry : fs::directory_iterator(dir() / "halcLog", ec)) all += testsupport::readFile(entry.path());
    return all;
  }

 private:
  testsupport::TempDir root_;
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
  // The engine answers no error information once its start has failed.
  EXPECT_NE(log.find("---CheckConnect::Connect NG [Not be able to get error info.]"), std::string::npos) << log;
  EXPECT_NE(log.find("ret = -1"), std::string::npos) << log;
}

TEST_F(Connect, ScanModeReachesTheSimulatedReader) {
  ProgramFolder folder(false, Reader::Library);
  ::setenv("NDT_USB", "sim:cr", 1);
  EXPECT_EQ(folder.connect(), 1) << folder.log();
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
