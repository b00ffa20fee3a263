// One CR plate from end to end: the engine in Scan mode over the real CR reader
// library and driver, on a simulated CR reader; the raw file must hold the
// plate exactly as the reader sent it.
#include "crengine/internal/elog.h"
#include "crengine/internal/exports.h"
#include "crengine/internal/scanclass.h"
#include "crengine/quorin.h"
#include "driver/pravik.h"
#include "platform/messages.h"
#include "platform/paths.h"
#include "simulator/sim.h"
#include "testsupport/simulated_plate.h"
#include "testsupport/testsupport.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

namespace {

std::shared_ptr<platform::usb::Port> lentPort;

}  // namespace

// Found by the device library with dlsym: the test lends it its simulated bus.
extern "C" __attribute__((visibility("default"))) void* ndt_usb_host_port() { return &lentPort; }

namespace {

void answer(CALLBACK_MESSAGE message, void* data, void*) {
  if (message == SCANNER_SELECTION && data) {
    auto* s = static_cast<ScannerSelection*>(data);
    s->chosenScanner = s->scannersFound;
  }
  if (message == SCANNER_ATTACH_CONFIRMATION && data) *static_cast<std::uint8_t*>(data) = 1;
}

TEST(EndToEnd, AScanModePlateReachesTheRawFileAsTheReaderSentIt) {
  testsupport::TempDir dir;
  ::setenv("NDT_RUNTIME_DIR", (dir / "run").c_str(), 1);
  // A copy of the CR reader library with its own settings beside it: no line
  // correction, so the raw file is the reader's data unchanged.
  const std::filesystem::path bin = platform::paths::programDir();
  std::filesystem::copy_file(bin / "libZentrac.so", dir / "libZentrac.so");
  std::filesystem::create_symlink(bin / "libPravik.so", dir / "libPravik.so");
  testsupport::writeFile(dir / "Zentrac_DLL.ini", "[KVDEV]\nEIGHT_LINE=0\n");

  auto bus = std::make_shared<sim::Bus>();
  sim::Scanner reader = bus->plug(sim::crReader());
  {
    // A sensor of the full 16 bits, so that the raw file carries every bit.
    Pravik driver(bus);
    ASSERT_EQ(driver.OpenAndInitializeScanner(&answer, nullptr).category, 0);
    ScanParameters p{};
    ASSERT_EQ(driver.ReadScanParameters(p).category, 0);
    p.ImageDataFormat = 0x1010;
    ASSERT_EQ(driver.SetScanParameters(p).category, 0);
    driver.CloseOpenedScanner();
  }
  lentPort = bus;

  std::vector<std::uint32_t> notifications;
  platform::QueueTarget window([&](const platform::Message& m) {
    if (m.id == platform::kCommandMessage) notifications.push_back(std::uint32_t(m.wParam));
  });
  crengine::EngineConfig config;
  config.iniFile = dir / "HalcyoneHard.ini";
  testsupport::writeFile(config.iniFile, "[Common]\r\nMode=Scan\r\nScannerThread_IdleMs=5\r\n");
  config.programDir = dir.path();
  config.deviceLibrary = (dir / "libZentrac.so").string();
  config.startThread = true;
  // Configured first, as a host does, so the engine's log goes to the
  // temporary folder rather than the current directory.
  crengine::logSink().configureDefault(dir.path().string() + "/");
  crengine::elog(0, "host started");
  ASSERT_EQ(std::filesystem::path(crengine::logSink().logFileName()).parent_path(), dir.path());
  crengine::setInitialised(false);
  crengine::installEngine(std::make_unique<crengine::ScanClass>(std::move(config)));

  ASSERT_EQ(QuorinScannerInintialize(window.handle()), 1);
  int busy = 1;
  for (int i = 0; i < 5000 && busy != 0; ++i) {
    QuorinGetBusyFlag(&busy);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_EQ(busy, 0);

  std::vector<std::uint16_t> preview16(20 * 100);
  std::vector<std::uint8_t> preview8(20 * 100);
  const std::string raw = (dir / "plate.raw").string();
  miniscreen_info mini{preview16.data(), preview8.data(), 20, 100, raw.c_str()};
  ASSERT_EQ(QuorinSetMiniscreenInfo(&mini), 1);
  set_scan_para para{8, 40, 200, 2, 1, 700, 5};  // 8 x 40 mm at 200 um, 16-bit output
  ASSERT_EQ(QuorinSetScanPara(&para), 1);
  get_scan_para got{};
  ASSERT_EQ(QuorinGetScanPara(&got), 1);
  ASSERT_GT(got.blk_n, 1);
  ASSERT_EQ(got.depth, 16);

  ASSERT_EQ(QuorinScan(), 1);
  const bool done = window.pumpUntil(
      [&] {
        for (auto id : notifications)
          if (id == IDM_ACQUIRE_COMPLETE || id == IDM_ACQUIRE_ERROR) return true;
        return false;
      },
      30000);
  ASSERT_TRUE(done);
  ASSERT_EQ(notifications.front(), IDM_ACQUIRE_STARTED);
  ASSERT_EQ(std::count(notifications.begin(), notifications.end(), IDM_ACQUIRE_ERROR), 0);

  const std::string expected = testsupport::renderedPlate(reader, got);
  const std::string file = testsupport::readFile(raw);
  ASSERT_EQ(file.size(), std::size_t(got.width) * got.height * 2);
  EXPECT_TRUE(file == expected) << "the raw file differs from the reader's plate";

  EXPECT_EQ(QuorinScannerFinish(), 1);
  lentPort.reset();
}

}  // namespace
