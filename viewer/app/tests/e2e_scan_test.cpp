// New Scan in the process over the real film-scan UI and device libraries and
// a simulated film digitizer: the scan dialog is driven by its control ids.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>
#include <QTimer>

#include "app_test_util.h"
#include "platform/qt/control.h"
#include "platform/qt/prompt.h"
#include "testsupport/scan_dialog_driver.h"
#include "testsupport/testsupport.h"
#include "viewer/app/application.h"
#include "viewer/app/main_window.h"

namespace {

using namespace viewer::app;
namespace fs = std::filesystem;

TEST(ScanE2e, NewScanDeliversTheSimulatorsFilmIntoANewDocument) {
  testsupport::SimulatedFilmRoad road;
  ASSERT_FALSE(road.crProgramConnects()) << "the CR program beside the test would take the road";
  testsupport::TempDir dir;
  platform::qt::ScriptedPrompt prompts;
  std::string fault;
  bool exited = false;
  QString seen;
  // The dialog runs inside New Scan's own loop: it is driven from a timer.
  QTimer poll;
  poll.setInterval(20);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget* shown = testsupport::ScanDialogDriver::findShown();
    if (shown == nullptr) return;
    poll.stop();
    seen = shown->windowTitle();
    testsupport::ScanDialogDriver dialog(shown);
    // 53 pixels at 200 micrometres, 12 bits, 200 mm of film.
    if (!dialog.feed() || !dialog.enter({}) || !dialog.scan()) fault = dialog.fault();
    if (!dialog.exit()) fault += " / " + dialog.fault();
    exited = true;
  });
  poll.start();
  // Started without a file, Tivola probes the scan UI; the digitizer answers,
  // so New Scan runs at once and its document comes with the File New it posts.
  TivolaApp app;
  ASSERT_TRUE(app.initInstance({}, app_test::startIn(dir.path())));
  QApplication::processEvents();
  QApplication::processEvents();
  ASSERT_TRUE(exited) << "no scan dialog came up";
  ASSERT_EQ(fault, "");
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
  const std::vector<std::uint8_t> want = road.film(53, 2);
  ASSERT_EQ(want.size(), 53u * 1000u * 2u);
  std::size_t differing = 0;
  for (int y = 0; y < 1000; ++y)
    for (int x = 0; x < 53; ++x) {
      const std::size_t at = (std::size_t(y) * 53 + std::size_t(x)) * 2;
      if (image.pixel(x, y) != std::min<int>(want[at] | (want[at + 1] << 8), 4095)) ++differing;
    }
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
