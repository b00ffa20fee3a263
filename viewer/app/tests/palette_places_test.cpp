// Where the frame puts its palettes: in every start state of the Window keys
// and after each switch from the Window menu, with an image open, no palette
// covers another and the Information palette's readout stays in sight.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QMdiArea>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <string>

#include "app_test_util.h"
#include "platform/ini.h"
#include "platform/qt/control.h"
#include "platform/qt/prompt.h"
#include "testsupport/testsupport.h"
#include "viewer/app/application.h"
#include "viewer/app/main_window.h"

using namespace viewer::app;
using namespace viewer::view;
namespace fs = std::filesystem;

namespace {

std::vector<QWidget*> shownPalettes(MainWindow* frame) {
  std::vector<QWidget*> out;
  for (QWidget* w : std::initializer_list<QWidget*>{frame->toolPalette(), frame->infoPalette(),
                                                    frame->overviewPalette(), frame->profilePalette()})
    if (w->isVisible()) out.push_back(w);
  return out;
}

// No two shown palettes' frames meet, and the pointer readout (X, Y, Value)
// of a shown Information palette lies under no other window.
void expectApartAndReadable(MainWindow* frame, const std::string& when) {
  const std::vector<QWidget*> shown = shownPalettes(frame);
  for (std::size_t i = 0; i < shown.size(); ++i)
    for (std::size_t k = i + 1; k < shown.size(); ++k) {
      EXPECT_FALSE(shown[i]->frameGeometry().intersects(shown[k]->frameGeometry()))
          << when << ": " << shown[i]->objectName().toStdString() << " and " << shown[k]->objectName().toStdString();
    }
  CInfoPalette* info = frame->infoPalette();
  if (!info->isVisible()) return;
  for (int id : {1001, 1002, 1003}) {
    auto* value = platform::qt::control<QLabel>(info, id);
    ASSERT_NE(value, nullptr) << id;
    EXPECT_TRUE(value->isVisible()) << when << ": " << id;
    const QRect onScreen(value->mapToGlobal(QPoint(0, 0)), value->size());
    EXPECT_TRUE(info->frameGeometry().contains(onScreen)) << when << ": " << id;
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w != info && w->isVisible()) {
        EXPECT_FALSE(w->frameGeometry().intersects(onScreen))
            << when << ": " << id << " lies under " << w->metaObject()->className() << " "
            << w->objectName().toStdString();
      }
    }
  }
}

// The desktop as the windows stand on it, for a person to look at; under a
// real X server also the screen itself.
void screenshot(MainWindow* frame, const QString& name) {
  QImage desk(1400, 1000, QImage::Format_RGB32);
  desk.fill(QColor(0, 96, 128));
  QPainter p(&desk);
  std::vector<QWidget*> windows{frame};
  for (QWidget* w : shownPalettes(frame)) windows.push_back(w);
  for (QWidget* w : windows) {
    const QRect f = w->frameGeometry();
    p.fillRect(f, QColor(40, 40, 40));
    p.drawPixmap(w->geometry().topLeft(), w->grab());
  }
  p.end();
  QDir().mkpath(SCREENSHOT_DIR);
  desk.save(QString(SCREENSHOT_DIR) + "/" + name + ".png");
  if (QGuiApplication::platformName() == "xcb") {
    QEventLoop wait;
    QTimer::singleShot(500, &wait, &QEventLoop::quit);
    wait.exec();
    QGuiApplication::primaryScreen()->grabWindow(0).save(QString(SCREENSHOT_DIR) + "/" + name + "_screen.png");
  }
}

TEST(PalettePlaces, EveryStartStateAndEverySwitchKeepsThePalettesApart) {
  platform::qt::ScriptedPrompt script;
  for (const int infomation : {0, 1, 2})
    for (const int overview : {0, 1}) {
      const std::string state = "Infomation=" + std::to_string(infomation) + " Overview=" + std::to_string(overview);
      SCOPED_TRACE(state);
      testsupport::TempDir dir;
      ASSERT_TRUE(platform::ini::writeInt(dir / "Tivola.INI", "Window", "Infomation", infomation));
      ASSERT_TRUE(platform::ini::writeInt(dir / "Tivola.INI", "Window", "Overview", overview));
      // Taller than wide: the OverView grows well past its first 20 rows when it opens.
      app_test::writeTiff(dir / "film.tif", 300, 400, 1, [](int x, int y) { return (x + y) % 256; });
      TivolaApp app;
      ASSERT_TRUE(app.initInstance({QString::fromStdString((dir / "film.tif").string())}, app_test::startIn(dir.path())));
      QApplication::processEvents();
      MainWindow* frame = app.mainWindow();
      ASSERT_EQ(frame->mdiArea()->subWindowList().size(), 1);
      EXPECT_EQ(frame->infoPalette()->isVisible(), infomation != 0);
      EXPECT_TRUE(frame->commandChecked(infomation == 0   ? ID_HIDE_INFO
                                        : infomation == 1 ? ID_SHORT_INFO
                                                          : ID_FULL_INFO));
      EXPECT_EQ(frame->overviewPalette()->isVisible(), overview == 1);
      EXPECT_EQ(frame->overviewPalette()->height(), 400 * 140 / 300) << "fitted to the open image";
      expectApartAndReadable(frame, "at start");
      screenshot(frame, QString("start_info%1_overview%2").arg(infomation).arg(overview));

      const int switches[] = {ID_FULL_INFO,       ID_OVERVIEW_WINDOW, ID_SHORT_INFO, ID_OVERVIEW_WINDOW,
                              ID_FULL_INFO,       ID_HIDE_INFO,       ID_FULL_INFO,  ID_HORIZONTAL_PROFILE,
                              ID_OVERVIEW_WINDOW, ID_SHORT_INFO,      ID_OVERVIEW_WINDOW};
      for (const int id : switches) {
        QAction* a = frame->findChild<QAction*>(QString::number(id));
        ASSERT_NE(a, nullptr) << id;
        a->trigger();
        QApplication::processEvents();
        expectApartAndReadable(frame, "after " + std::to_string(id));
      }
      EXPECT_TRUE(frame->profilePalette()->isVisible());
      EXPECT_EQ(frame->overviewPalette()->isVisible(), overview == 1) << "switched four times";
      EXPECT_TRUE(frame->infoPalette()->isVisible());
    }
  EXPECT_TRUE(script.asked.empty());
}

}  // namespace
