#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>

#include "app_test_util.h"
#include "modal_script.h"
#include "pane_check.h"
#include "platform/ini.h"
#include "platform/qt/control.h"
#include "platform/qt/prompt.h"
#include "testsupport/testsupport.h"
#include "viewer/app/application.h"
#include "viewer/app/control_ids.h"
#include "viewer/app/main_window.h"

using namespace viewer::app;
using platform::qt::Answer;
namespace fs = std::filesystem;

namespace {

class ShellTest : public ::testing::Test {
 protected:
  StartEnvironment env() { return app_test::startIn(dir.path()); }
  std::vector<DocumentFrame*> children(TivolaApp& app) {
    std::vector<DocumentFrame*> out;
    for (QMdiSubWindow* sub : app.mainWindow()->mdiArea()->subWindowList())
      if (auto* c = dynamic_cast<DocumentFrame*>(sub)) out.push_back(c);
    return out;
  }
  testsupport::TempDir dir;
  platform::qt::ScriptedPrompt script;
};

// A bright 20 x 10 block at (30, 12) on a dark 64 x 40 image.
int block(int x, int y) { return x >= 30 && x < 50 && y >= 12 && y < 22 ? 250 : 10; }

}  // namespace

TEST_F(ShellTest, TheCommandLineFileIsShownInItsOwnWindow) {
  app_test::writeTiff(dir / "weld.tif", 64, 40, 1, block);
  TivolaApp app;
  ASSERT_TRUE(app.initInstance({QString::fromStdString((dir / "weld.tif").string())}, env()));
  const auto shown = children(app);
  ASSERT_EQ(shown.size(), 1u);
  QApplication::processEvents();
  viewer::view::CTivolaView* view = shown[0]->view();
  ASSERT_EQ(shown[0]->widget(), view);
  const viewer::view::CImagePane& pane = *view->pane(0);
  ASSERT_NE(pane.tile, nullptr);
  ASSERT_EQ(pane.tile->image, shown[0]->document().images.get(0));
  const QImage grab = view->grab().toImage();
  // The pane shows the display core's rendering of the file.
  const app_test::PaneCheck c = app_test::comparePane(grab, pane);
  EXPECT_EQ(c.differ, 0);
  EXPECT_GT(c.same, 64 * 40);
  // The block is bright where the tile puts it, its surround dark.
  const viewer::display::CDisplayTile& t = *pane.tile;
  const auto at = [&](double x, double y) {
    return pane.geometry().topLeft() + QPoint(int((x - 64 * t.centreX) * t.zoom) + pane.width() / 2,
                                              int((y - 40 * t.centreY) * t.zoom) + pane.height() / 2);
  };
  EXPECT_GT(qGray(grab.pixel(at(40, 17))), 200);
  EXPECT_LT(qGray(grab.pixel(at(10, 30))), 40);
  const fs::path shots = fs::path(SCREENSHOT_DIR);
  fs::create_directories(shots);
  app.mainWindow()->grab().save(QString::fromStdString((shots / "tivola_main.png").string()));
  EXPECT_TRUE(script.asked.empty());
}

TEST_F(ShellTest, AnUnquotedPathWithBlanksOpensTheFile) {
  app_test::writeFlatTiff(dir / "film of today.tif");
  TivolaApp app;
  const QString folder = QString::fromStdString(dir.path().string());
  ASSERT_TRUE(app.initInstance({folder + "/film", "of", "today.tif"}, env()));
  EXPECT_EQ(children(app).size(), 1u);
  EXPECT_TRUE(script.asked.empty());
}

TEST_F(ShellTest, AMissingFileIsReportedAndTheViewerStartsEmpty) {
  TivolaApp app;
  ASSERT_TRUE(app.initInstance({QString::fromStdString((dir / "gone.tif").string())}, env()));
  EXPECT_TRUE(children(app).empty());
  ASSERT_EQ(script.asked.size(), 1u);
  EXPECT_EQ(script.asked[0].text, "Failed to read image");
  EXPECT_EQ(script.asked[0].caption, "Tivola");
}

TEST_F(ShellTest, ExitWritesTheSettingsBeside) {
  TivolaApp app;
  ASSERT_TRUE(app.initInstance({}, env()));
  EXPECT_EQ(app.workRoot, dir / "TEMP");
  app.settings.openSeries = 1;
  app.exitInstance();
  EXPECT_EQ(platform::ini::getInt(dir / "Tivola.INI", "Setting", "OpenSeries", 0), 1);
  EXPECT_EQ(platform::ini::getString(dir / "Tivola.INI", "Data", "Instance", ""), "1765400000");
}

// The program's own end, as main() runs it: the frame is closed, the event
// loop ends (and the application hides the palettes), then the exit writes.
void runToExit(TivolaApp& app) {
  QTimer::singleShot(0, app.mainWindow(), [&app] { app.mainWindow()->close(); });
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, qApp, &QCoreApplication::quit);
  guard.start(10000);
  QApplication::exec();
  app.exitInstance();
}

TEST_F(ShellTest, TheOverViewPaletteShownAtExitIsShownAtTheNextStart) {
  const fs::path ini = dir / "Tivola.INI";
  for (const int overview : {1, 0}) {
    ASSERT_TRUE(platform::ini::writeInt(ini, "Window", "Overview", overview));
    {
      TivolaApp app;
      ASSERT_TRUE(app.initInstance({}, env()));
      EXPECT_EQ(app.mainWindow()->overviewPalette()->isVisible(), overview == 1);
      runToExit(app);
    }
    EXPECT_EQ(platform::ini::getInt(ini, "Window", "Overview", -1), overview);
    TivolaApp again;
    ASSERT_TRUE(again.initInstance({}, env()));
    EXPECT_EQ(again.mainWindow()->overviewPalette()->isVisible(), overview == 1) << overview;
    EXPECT_EQ(again.mainWindow()->commandChecked(viewer::view::ID_OVERVIEW_WINDOW), overview == 1);
    // Switched from the Window menu, it is kept as the operator left it.
    again.mainWindow()->command(viewer::view::ID_OVERVIEW_WINDOW);
    runToExit(again);
    EXPECT_EQ(platform::ini::getInt(ini, "Window", "Overview", -1), overview == 1 ? 0 : 1);
  }
}

TEST_F(ShellTest, TheUnitsComeFromTheSettingsIntoTheInformationPaletteAndGoBack) {
  ASSERT_TRUE(platform::ini::writeInt(dir / "Tivola.INI", "Unit", "Scale", 1));
  ASSERT_TRUE(platform::ini::writeInt(dir / "Tivola.INI", "Unit", "Value", 1));
  TivolaApp app;
  ASSERT_TRUE(app.initInstance({}, env()));
  viewer::view::CInfoPalette* info = app.mainWindow()->infoPalette();
  ASSERT_NE(info, nullptr);
  auto* length = platform::qt::control<QComboBox>(info, 1013);
  auto* value = platform::qt::control<QComboBox>(info, 1012);
  ASSERT_TRUE(length && value);
  EXPECT_EQ(length->currentIndex(), 1);  // mm
  EXPECT_EQ(value->currentIndex(), 1);   // O.D.
  // The operator picks pixels for both; the next start finds them so.
  length->setCurrentIndex(0);
  value->setCurrentIndex(0);
  app.exitInstance();
  EXPECT_EQ(platform::ini::getInt(dir / "Tivola.INI", "Unit", "Scale", -1), 0);
  EXPECT_EQ(platform::ini::getInt(dir / "Tivola.INI", "Unit", "Value", -1), 0);
}

TEST_F(ShellTest, FileOpenReadsTheWholeSelectionIntoOneDocument) {
  for (const char* n : {"a1.tif", "b7.tif", "c3.tif"}) app_test::writeFlatTiff(dir / n);
  TivolaApp app;
  ASSERT_TRUE(app.initInstance({}, env()));
  app.settings.openSeries = 1;
  app_test::ModalScript modal;
  modal.handlers.push_back([&](QDialog* d) {
    auto* files = static_cast<QFileDialog*>(d);
    EXPECT_EQ(files->selectedNameFilter(), "All files(*.*)");
    files->setDirectory(QString::fromStdString(dir.path().string()));
    files->selectFile("\"a1.tif\" \"b7.tif\"");
    d->accept();
  });
  app.fileOpen();
  EXPECT_EQ(modal.titles.size(), 1u);
  const auto shown = children(app);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0]->document().images.count(), 2);
  // Several names clear the series box, and its state is what is kept.
  EXPECT_EQ(app.settings.openSeries, 0);
  EXPECT_TRUE(script.asked.empty());
}

TEST_F(ShellTest, ADroppedNumberedFileOffersItsSeries) {
  for (const char* n : {"d01.tif", "d02.tif"}) app_test::writeFlatTiff(dir / n);
  TivolaApp app;
  ASSERT_TRUE(app.initInstance({}, env()));
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString((dir / "d01.tif").string()))});
  // A drop goes to the widget that accepted the drag's entry.
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(app.mainWindow(), &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  script.answers = {Answer::Yes};
  QApplication::sendEvent(app.mainWindow(), &drop);
  ASSERT_EQ(script.asked.size(), 1u);
  EXPECT_TRUE(script.asked[0].text.startsWith("Image files with continuous numbers are found."));
  const auto shown = children(app);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0]->document().images.count(), 2);
}

TEST_F(ShellTest, OpenAndAddAppendsToTheDocumentAndTellsItsView) {
  app_test::writeFlatTiff(dir / "first.tif", 40);
  app_test::writeFlatTiff(dir / "second.tif", 200);
  TivolaApp app;
  ASSERT_TRUE(app.initInstance({QString::fromStdString((dir / "first.tif").string())}, env()));
  ASSERT_EQ(children(app).size(), 1u);
  CTivolaDoc& doc = children(app)[0]->document();
  std::vector<int> posted;
  doc.views = [&posted](int command) { posted.push_back(command); };
  app_test::ModalScript modals;
  modals.handlers.push_back([this](QDialog* d) {
    static_cast<QFileDialog*>(d)->selectFile(QString::fromStdString((dir / "second.tif").string()));
    d->accept();
  });
  ASSERT_TRUE(app.openAndAdd(doc));
  EXPECT_EQ(doc.images.count(), 2);
  EXPECT_EQ(doc.images.get(1)->pixel(0, 0), 200);
  QApplication::processEvents();
  EXPECT_EQ(posted, std::vector<int>{CTivolaDoc::kImageAdded});
}

TEST_F(ShellTest, AFileOpenedFromTheCommandLineIsSelectedAndFlipChangesIt) {
  // Left half dark, right half bright.
  app_test::writeTiff(dir / "half.tif", 16, 4, 1, [](int x, int) { return x < 8 ? 10 : 240; });
  TivolaApp app;
  ASSERT_TRUE(app.initInstance({QString::fromStdString((dir / "half.tif").string())}, env()));
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  const auto shown = children(app);
  ASSERT_EQ(shown.size(), 1u);
  viewer::CImageItem* image = shown[0]->document().images.get(0);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->selected, 1);
  EXPECT_EQ(image->active, 1);
  auto* flip = app.mainWindow()->findChild<QAction*>(QStringLiteral("32771"));
  ASSERT_NE(flip, nullptr);
  flip->trigger();
  EXPECT_EQ(image->pixel(0, 0), 240);
  EXPECT_EQ(image->pixel(15, 3), 10);
  EXPECT_TRUE(script.asked.empty());
}

TEST_F(ShellTest, ACommandOnNoSelectedImageSaysSo) {
  app_test::writeFlatTiff(dir / "one.tif");
  TivolaApp app;
  ASSERT_TRUE(app.initInstance({QString::fromStdString((dir / "one.tif").string())}, env()));
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  const auto shown = children(app);
  ASSERT_EQ(shown.size(), 1u);
  viewer::view::CTivolaView* view = shown[0]->view();
  // A Ctrl click takes the only selection away.
  view->grid().click(view->grid().tile(0), viewer::display::kCtrlFlag);
  QApplication::processEvents();
  ASSERT_EQ(shown[0]->document().images.get(0)->selected, 0);
  app_test::ModalScript modals;
  for (const int id : {32771, 32773, 32811}) {
    app.mainWindow()->findChild<QAction*>(QString::number(id))->trigger();
    ASSERT_FALSE(script.asked.empty()) << id;
    EXPECT_EQ(script.asked.back().text, "No image is selected.") << id;
  }
  EXPECT_FALSE(shown[0]->document().saveReplica(CTivolaDoc::Scope::Selected, "Save Selected", app.settings,
                                                app.workRoot.string(), app.mainWindow()));
  EXPECT_EQ(script.asked.size(), 4u);
  EXPECT_EQ(script.asked.back().text, "No image is selected.");
  // No dialog opened for any of them.
  EXPECT_TRUE(modals.titles.empty());
}

TEST_F(ShellTest, AWorkingFolderConfirmedInDetailsIsKeptWhenOptionsIsCancelled) {
  TivolaApp app;
  ASSERT_TRUE(app.initInstance({}, env()));
  const fs::path folder = dir / "work";
  fs::create_directory(folder);
  app_test::ModalScript modals;
  modals.handlers.push_back([](QDialog* options) {
    // Posted, so the script's own timer answers the dialog that Details opens.
    QTimer::singleShot(0, options, [options] {
      platform::qt::control<QPushButton>(options, ids::kDetails)->click();
      platform::qt::control<QPushButton>(options, ids::kCancel)->click();
    });
  });
  modals.handlers.push_back([&folder](QDialog* workDir) {
    platform::qt::control<QCheckBox>(workDir, ids::kStandardWorkDir)->click();
    platform::qt::control<QLineEdit>(workDir, ids::kWorkDirEdit)->setText(QString::fromStdString(folder.string()));
    platform::qt::control<QPushButton>(workDir, ids::kOk)->click();
  });
  app.option();
  EXPECT_EQ(modals.titles, (std::vector<QString>{"Options", "Set Working Directory..."}));
  ASSERT_EQ(script.asked.size(), 1u);
  EXPECT_EQ(script.asked[0].text, "Your changes will be reflected from next startup.");
  app.exitInstance();
  EXPECT_EQ(platform::ini::getInt(dir / "Tivola.INI", "Setting", "UsePrivateTemp", 0), 1);
  EXPECT_EQ(platform::ini::getString(dir / "Tivola.INI", "Setting", "PrivateTempPath", ""), folder.string());
}

TEST_F(ShellTest, SaveRoiToCsvAddsTheExtensionToANameWithoutOne) {
  app_test::writeFlatTiff(dir / "one.tif");
  TivolaApp app;
  ASSERT_TRUE(app.initInstance({QString::fromStdString((dir / "one.tif").string())}, env()));
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  ASSERT_EQ(children(app).size(), 1u);
  children(app)[0]->document().images.get(0)->setRoi(viewer::Rect{1, 1, 3, 3});
  auto* csv = app.mainWindow()->findChild<QAction*>(QStringLiteral("32841"));
  ASSERT_NE(csv, nullptr);
  for (const char* name : {"roi", "roi.txt"}) {
    script.fileAnswers.push_back(QString::fromStdString((dir / name).string()));
    csv->trigger();
  }
  EXPECT_EQ(testsupport::readFile(dir / "roi.csv"), "100,100\r\n100,100\r\n");
  EXPECT_TRUE(fs::exists(dir / "roi.txt"));
  EXPECT_FALSE(fs::exists(dir / "roi"));
}
