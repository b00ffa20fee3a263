// The real device library over the real driver and a simulated film digitizer.
#include <gtest/gtest.h>

#include <cstdlib>

#include "devapi/records.h"
#include "platform/library.h"
#include "platform/process.h"
#include "scanui/tests/scanui_fixture.h"
#include "simulator/sim.h"

namespace {
std::shared_ptr<platform::usb::Port> lentPort;
}

// Found by the device library with dlsym: the test lends it its simulated bus.
extern "C" __attribute__((visibility("default"))) void* ndt_usb_host_port() { return &lentPort; }

namespace scanui_test {
namespace {

// A second process that opens the scanner on a simulated bus of its own:
// exit 0 when the open succeeds.
testsupport::ChildRegistration opener("open-scanner", [](const std::vector<std::string>&) {
  auto bus = std::make_shared<sim::Bus>();
  bus->plug(sim::filmDigitizer());
  lentPort = bus;
  platform::Library brightel;
  static int anchor;
  if (!brightel.open("Brightel.DLL", &anchor)) return 2;
  auto create = brightel.function<int (*)(devapi::DeviceNewParam*)>("KT7163_W32New");
  auto remove = brightel.function<int (*)(int)>("KT7163_W32Delete");
  if (!create || !remove) return 2;
  devapi::DeviceNewParam param{};
  param.timeout = 60;
  const int opened = create(&param);
  remove(1);
  return opened == 1 ? 0 : 3;
});

class RealDevice : public ScanUiTest {
 protected:
  void SetUp() override {
    ScanUiTest::SetUp();
    ::setenv("NDT_RUNTIME_DIR", runtime.path().c_str(), 1);  // our own "BrightelUSB"
    bus = std::make_shared<sim::Bus>();
    film = bus->plug(sim::filmDigitizer());
    lentPort = bus;
    auto& lib = scanui::internal::library();
    connection().setSource(std::make_unique<scanui::internal::BrightelLibrary>(lib.brightelPath));
  }
  void TearDown() override {
    ScanUiTest::TearDown();
    lentPort = nullptr;
    ::unsetenv("NDT_RUNTIME_DIR");
  }
  // Runs the child that opens the scanner; its exit code.
  int secondProcessOpens() {
    platform::Process child;
    if (!child.start(testsupport::selfExecutable(), testsupport::childArgs("open-scanner"))) return -1;
    return child.wait().code;
  }
  bool brightelMapped() const { return mapped(scanui::internal::library().brightelPath); }

  testsupport::TempDir runtime;
  std::shared_ptr<sim::Bus> bus;
  sim::Scanner film;
};

TEST_F(RealDevice, InitUIOpensTheSimulatedDigitizerAndTermUIReleasesIt) {
  ASSERT_EQ(InitUI(0), 1) << (prompts.asked.empty() ? "" : prompts.asked[0].text.toStdString());
  EXPECT_TRUE(connection().connected());
  EXPECT_TRUE(brightelMapped());
  EXPECT_GT(connection().maxOd(), 0);
  EXPECT_GT(connection().bufferSize(), 0u);
  EXPECT_TRUE(prompts.asked.empty());
  EXPECT_NE(secondProcessOpens(), 0);  // the scanner has one owner
  TermUI(0);
  EXPECT_FALSE(brightelMapped());
  EXPECT_EQ(secondProcessOpens(), 0);
}

TEST_F(RealDevice, TheProbeLeavesTheLibraryUnmappedAndTheScannerFree) {
  EXPECT_EQ(IsThereAnyDigitizerAvailable(0), 1);
  EXPECT_FALSE(connection().loaded());
  EXPECT_FALSE(brightelMapped());
  EXPECT_EQ(secondProcessOpens(), 0);
  EXPECT_TRUE(prompts.asked.empty());
}

TEST_F(RealDevice, WithoutAScannerTheOpenFailsAndLeavesTheScannerFree) {
  bus->unplug(film);
  EXPECT_EQ(InitUI(0), 0);
  EXPECT_EQ(boxes(), std::vector<std::string>{
                         "Scan|Unable to detect digitizer.\nPlease check all connections and switches."});
  EXPECT_FALSE(brightelMapped());
  // The library kept its device object waiting for an arrival; it was deleted.
  EXPECT_EQ(secondProcessOpens(), 0);
}

}  // namespace
}  // namespace scanui_test
