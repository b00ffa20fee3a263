// One owner of the scanner across processes: "BrightelUSB".
#include <gtest/gtest.h>
#include <signal.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "devapi/film/tests/brightel_fixture.h"
#include "platform/clock.h"
#include "platform/process.h"

namespace brightel_test {
namespace {

void sleepForever() {
  for (;;) platform::clock::sleep(1000);
}

// Opens the scanner, starts a long-running grandchild, reports its pid and
// then holds on until killed.
testsupport::ChildRegistration holder("brightel-hold", [](const std::vector<std::string>& args) {
  auto bus = std::make_shared<sim::Bus>();
  bus->plug(sim::filmDigitizer());
  lendPort(bus);
  platform::Library library;
  Api api{};
  if (!load(library, api)) return 2;
  devapi::DeviceNewParam param{};
  if (api.New(&param) != 1) return 3;
  platform::Process grandchild;
  if (!grandchild.start("/bin/sleep", {"60"})) return 4;
  testsupport::writeFile(args.at(0), std::to_string(grandchild.pid()));
  sleepForever();
  return 0;
});

// Probes the way the film-scan UI does, then unloads the library without Delete
// and stays alive.
testsupport::ChildRegistration prober("brightel-probe", [](const std::vector<std::string>& args) {
  auto bus = std::make_shared<sim::Bus>();
  bus->plug(sim::filmDigitizer());
  lendPort(bus);
  {
    platform::Library library;
    Api api{};
    if (!load(library, api)) return 2;
    devapi::ScannerMatchInfo match{};
    std::uint8_t flags[2] = {};
    if (api.GetScanner("TRESSOLA", "KT7163", &match, flags) != 1 || match.count != 1) return 3;
  }
  lendPort(nullptr);
  testsupport::writeFile(args.at(0), "probed");
  sleepForever();
  return 0;
});

// Waits up to ten seconds for the child to write its file.
std::string waitForFile(const std::filesystem::path& file, platform::Process& child) {
  for (int i = 0; i < 1000; ++i) {
    if (std::filesystem::exists(file)) {
      const std::string text = testsupport::readFile(file);
      if (!text.empty()) return text;
    }
    if (child.poll()) return {};
    platform::clock::sleep(10);
  }
  return {};
}

class TwoProcesses : public BrightelTest {
 protected:
  void TearDown() override {
    for (pid_t pid : running)
      if (pid > 0) ::kill(pid, SIGKILL);
    BrightelTest::TearDown();
  }
  std::vector<pid_t> running;
  testsupport::TempDir files;
};

TEST_F(TwoProcesses, SecondOpenerGets517UntilTheHolderIsKilled) {
  platform::Process child;
  const auto file = files / "holder";
  ASSERT_TRUE(child.start(testsupport::selfExecutable(),
                          testsupport::childArgs("brightel-hold", {file.string()})));
  running.push_back(child.pid());
  const std::string grandchild = waitForFile(file, child);
  ASSERT_FALSE(grandchild.empty()) << "the holder did not open the scanner";
  running.push_back(pid_t(std::stoi(grandchild)));

  devapi::DeviceNewParam param{};
  EXPECT_EQ(api.New(&param), 0);
  EXPECT_EQ(param.handle, -1);
  devapi::DeviceErrorString text{};
  EXPECT_EQ(api.GetErrorString(&text), 1);
  EXPECT_EQ(text.code, 517);
  EXPECT_STREQ(text.text, "Device is already open");
  EXPECT_TRUE(film.log(sim::LogEntry::Kind::Open).empty());

  ASSERT_EQ(::kill(child.pid(), SIGKILL), 0);
  const auto exit = child.wait();
  EXPECT_EQ(exit.kind, platform::ProcessExit::Kind::Signalled);
  running.erase(running.begin());
  // The holder's own child still runs, and does not hold the scanner.
  ASSERT_EQ(::kill(running.front(), 0), 0);
  EXPECT_EQ(open(), 1);
}

TEST_F(TwoProcesses, AProbeThatUnloadsWithoutDeleteLetsTheScannerGo) {
  platform::Process child;
  const auto file = files / "probe";
  ASSERT_TRUE(child.start(testsupport::selfExecutable(),
                          testsupport::childArgs("brightel-probe", {file.string()})));
  running.push_back(child.pid());
  ASSERT_EQ(waitForFile(file, child), "probed");
  EXPECT_EQ(open(), 1) << "the prober still owns the scanner";
  EXPECT_FALSE(child.poll()) << "the prober must still be alive for this to mean anything";
}

}  // namespace
}  // namespace brightel_test
