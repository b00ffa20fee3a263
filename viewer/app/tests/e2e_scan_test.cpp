// New Scan in the process over the real film-scan UI and device libraries and
// a simulated film digitizer: the scan dialog is driven by its control ids.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>

#include "app_test_util.h"
#include "platform/ini.h"
#include "platform/qt/control.h"
#include "platform/qt/prompt.h"
#include "platform/qt/testing/input.h"
#include "simulator/sim.h"
#include "testsupport/testsupport.h"
#include "viewer/app/application.h"
#include "viewer/app/main_window.h"

namespace {
std::shared_ptr<platform::usb::Port> lentPort;
}

// Found by the device library with dlsym: the test lends it its simulated bus,
// so that it can ask the simulator what the scan was set to.
extern "C" __attribute__((visibility("default"))) void* ndt_usb_host_port() { return &lentPort; }

namespace {

using namespace viewer::app;
using platform::qt::testing::chooseIn;
using platform::qt::testing::typeInto;
namespace fs = std::filesystem;

// The scan dialog's controls.
enum { kBits = 1003, kPitch = 1007, kMode = 1012, kLeft = 1015, kTop = 1017, kHeightMm = 1019, kWidthPx = 1020,
       kScan = 1022, kExit = 1054 };

QWidget* scanDialog() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && platform::qt::control<QPushButton>(w, kScan)) return w;
  return nullptr;
}

class ScanE2e : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("NDT_RUNTIME_DIR", runtime.path().c_str(), 1);
    ::setenv("NDT_CONFIG_DIR", config.path().c_str(), 1);
    bus = std::make_shared<sim::Bus>();
    film = bus->plug(sim::filmDigitizer());
    lentPort = bus;
  }
  void TearDown() override {
    lentPort = nullptr;
    ::unsetenv("NDT_RUNTIME_DIR");
    ::unsetenv("NDT_CONFIG_DIR");
  }
  // What the simulator sent for the scan last set, each line cut to `width`
  // samples of two bytes.
  std::vector<std::uint16_t> filmSamples(std::uint32_t width) const {
    const std::vector<std::uint16_t> p = film.scanParameters();
    const sim::ImageSpec shot = sim::scanImageSpec(p, 5, 0, p[4], 0);
    const std::vector<std::uint8_t> all = sim::radiograph(shot);
    std::vector<std::uint16_t> out;
    const std::size_t line = std::size_t(shot.width) * shot.bytesPerSample;
    for (std::uint32_t y = 0; y < shot.height; ++y)
      for (std::uint32_t x = 0; x < width && x < shot.width; ++x) {
        const std::size_t at = y * line + x * 2;
        out.push_back(std::uint16_t(all[at] | (all[at + 1] << 8)));
      }
    return out;
  }

  testsupport::TempDir dir, runtime, config;
  std::shared_ptr<sim::Bus> bus;
  sim::Scanner film;
  platform::qt::ScriptedPrompt prompts;
};

TEST_F(ScanE2e, NewScanDeliversTheSimulatorsFilmIntoANewDocument) {
  bool scanned = false, exited = false;
  QString seen;
  // The dialog runs inside New Scan's own loop: it is driven from a timer.
  QTimer driver;
  driver.setInterval(20);
  QObject::connect(&driver, &QTimer::timeout, [&] {
    QWidget* w = scanDialog();
    if (w == nullptr) return;
    driver.stop();
    seen = w->windowTitle();
    // 53 pixels at 200 micrometres, 12 bits, 200 mm of film.
    chooseIn(w, kPitch, 6);
    chooseIn(w, kBits, 2);
    chooseIn(w, kMode, 1);
    typeInto(w, kLeft, "20");
    typeInto(w, kTop, "0");
    typeInto(w, kHeightMm, "200");
    typeInto(w, kWidthPx, "53");
    QTest::mouseClick(platform::qt::control<QPushButton>(w, kScan), Qt::LeftButton);
    scanned = true;
    QTest::mouseClick(platform::qt::control<QPushButton>(w, kExit), Qt::LeftButton);
    exited = true;
  });
  driver.start();
  // Started without a file, Tivola probes the scan UI; the digitizer answers,
  // so New Scan runs at once and its document comes with the File New it posts.
  TivolaApp app;
  ASSERT_TRUE(app.initInstance({}, app_test::startIn(dir.path())));
  QApplication::processEvents();
  QApplication::processEvents();
  ASSERT_TRUE(scanned && exited) << "no scan dialog came up";
  EXPECT_FALSE(seen.isEmpty());

  const auto subs = app.mainWindow()->mdiArea()->subWindowList();
  ASSERT_EQ(subs.size(), 1) << (prompts.asked.empty() ? "" : prompts.asked[0].text.toStdString());
  auto* child = dynamic_cast<DocumentFrame*>(subs[0]);
  ASSERT_NE(child, nullptr);
  ASSERT_EQ(child->document().images.count(), 1);
  const viewer::CImageItem& image = *child->document().images.get(0);
  EXPECT_EQ(image.shownName, "scan001");
  ASSERT_EQ(image.width(), 53);
  ASSERT_EQ(image.height(), 1000);
  ASSERT_EQ(image.bytesPerSample(), 2);
  EXPECT_EQ(image.bitsStored, 12);
  const std::vector<std::uint16_t> want = filmSamples(53);
  ASSERT_EQ(want.size(), 53u * 1000u);
  std::size_t differing = 0;
  for (int y = 0; y < 1000; ++y)
    for (int x = 0; x < 53; ++x)
      if (image.pixel(x, y) != std::min<int>(want[std::size_t(y) * 53 + std::size_t(x)], 4095)) ++differing;
  EXPECT_EQ(differing, 0u) << "the document's image differs from the simulator's film";
  // Some film is on it, not a blank field.
  EXPECT_LT(image.imageMin + 100, image.imageMax);
  // The view shows it.
  EXPECT_EQ(child->view()->grid().tileCount(), 1);
  fs::create_directories(SCREENSHOT_DIR);
  app.mainWindow()->grab().save(QString(SCREENSHOT_DIR) + "/tivola_scanned.png");
  EXPECT_TRUE(prompts.asked.empty()) << prompts.asked[0].text.toStdString();
}

}  // namespace
