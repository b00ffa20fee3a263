// The real device library over the real driver and a simulated film digitizer.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <cstring>

#include "moire/moire.h"
#include "platform/qt/control.h"
#include "scanui/internal/preview_model.h"

#include "devapi/records.h"
#include "platform/library.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "scanui/tests/scanui_fixture.h"
#include "simulator/sim.h"
#include "testsupport/simulated_film.h"

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
    // The real program directory, with the real CR program: it must not answer connected.
    lib.crLink.setProgramDir(platform::paths::programDir());
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

// Whole scans over the simulated digitizer, handed to a host that copies them.
class RealScan : public RealDevice {
 protected:
  void SetUp() override {
    RealDevice::SetUp();
    w = openForScans(host, window);
    ASSERT_NE(w, nullptr);
  }
  void TearDown() override {
    host.letGo();
    dlg().settings() = {};
    dlg().preview().reset();
    RealDevice::TearDown();
  }
  scanui::internal::CScanDlg& dlg() { return scanui::internal::library().dialog; }
  // 53 pixels at 200 micrometres ask the device for 11 mm, 55 pixels a line.
  void region(int bitsIndex, int modeIndex) {
    chooseIn(w, 1007, 6);
    chooseIn(w, 1003, bitsIndex);
    chooseIn(w, 1012, modeIndex);
    typeInto(w, 1015, "20");
    typeInto(w, 1017, "0");
    typeInto(w, 1019, "200");
    typeInto(w, 1020, "53");
    ASSERT_EQ(dlg().region().widthPx, 53);
    ASSERT_EQ(dlg().region().heightPx, 1000);
  }
  void pressScan() { QTest::mouseClick(platform::qt::control<QPushButton>(w, 1022), Qt::LeftButton); }
  // What the simulator sent for the scan last set, each line cut to `width`
  // samples of `bytes` bytes.
  std::vector<std::uint8_t> sent(std::uint32_t width, int bytes = 2) const {
    return testsupport::simulatedFilm(film, width, bytes);
  }

  TestHost host;
  QWidget window;
  QWidget* w = nullptr;
};

TEST_F(RealScan, TwelveAndEightBitScansDeliverTheDigitizersPixelsCropped) {
  struct Case {
    int bitsIndex, bits, bytes;
  };
  for (const Case k : {Case{2, 12, 2}, Case{0, 8, 1}}) {
    SCOPED_TRACE(k.bits);
    host.clear();
    region(k.bitsIndex, 1);
    pressScan();
    ASSERT_EQ(host.deliveries, 1) << (prompts.asked.empty() ? "" : prompts.asked.back().text.toStdString());
    EXPECT_TRUE(host.onUiThread);
    EXPECT_EQ(+host.data.width, 53u);
    EXPECT_EQ(+host.data.height, 1000u);
    EXPECT_EQ(+host.data.bits, k.bits);
    const std::vector<std::uint8_t> expected = sent(53, k.bytes);
    ASSERT_EQ(expected.size(), 53u * 1000 * std::size_t(k.bytes));
    EXPECT_TRUE(host.pixels == expected) << "the delivered image differs from the scanned one";
  }
  EXPECT_TRUE(prompts.asked.empty());
}

TEST_F(RealScan, TheScoutScanFillsThePreview) {
  QTest::mouseClick(platform::qt::control<QPushButton>(w, 1010), Qt::LeftButton);
  ASSERT_TRUE(dlg().preview().scoutPresent()) << (prompts.asked.empty() ? "" : prompts.asked.back().text.toStdString());
  EXPECT_TRUE(platform::qt::control<QPushButton>(w, 1008)->isEnabled());
  const std::vector<std::uint8_t> expected = sent(scanui::internal::kPreviewColumns);
  const std::size_t lines = expected.size() / 2 / scanui::internal::kPreviewColumns;
  ASSERT_GT(lines, 0u);
  EXPECT_EQ(std::memcmp(dlg().preview().stored(), expected.data(), expected.size()), 0);
  EXPECT_EQ(host.deliveries, 0);
}

TEST_F(RealScan, TheMoireModeDeliversTheFiltersResultForTheSameSource) {
  ASSERT_TRUE(dlg().moireLoaded());
  region(2, scanui::internal::kMoireModeIndex);
  pressScan();
  ASSERT_EQ(host.deliveries, 1) << (prompts.asked.empty() ? "" : prompts.asked.back().text.toStdString());
  EXPECT_EQ(+host.data.width, 53u);
  EXPECT_EQ(+host.data.height, 1000u);
  EXPECT_EQ(+host.data.pitch, 200);
  // The source was scanned at 100 micrometres: 106 x 2000 samples.
  const std::vector<std::uint8_t> source = sent(106);
  ASSERT_EQ(source.size(), 106u * 2000 * 2);
  platform::Library fennick;
  static int anchor;
  ASSERT_TRUE(fennick.open("Fennick.dll", &anchor));
  auto filter = fennick.function<DeMoireFuncPtr>("deMoireFunc");
  ASSERT_NE(filter, nullptr);
  std::vector<std::uint8_t> expected(53u * 1000 * 2);
  MoireParams m{};
  m.bits = 12;
  m.scanPitch = 100;
  m.targetPitch = 200;
  m.FilterAmplitudeV = dlg().antiMoire().filterAmplitudeV;
  m.FilterAmplitudeH = dlg().antiMoire().filterAmplitudeH;
  m.direction = 0;  // vertical grid lines only
  m.srcWidth = 106;
  m.srcHeight = 2000;
  m.dstWidth = 53;
  m.dstHeight = 1000;
  m.src = source.data();
  m.dst = expected.data();
  ASSERT_EQ(filter(&m, dlg().antiMoire().filterType + 1, dlg().antiMoire().interpolationType + 1), 0);
  EXPECT_TRUE(host.pixels == expected) << "the delivered image is not the filter's result";
}

}  // namespace
}  // namespace scanui_test
