// The main frame: palettes and their ini keys, tools, drops, status text and
// the Main key written when the frame goes.
#include <gtest/gtest.h>

#include <QDir>
#include <QDropEvent>
#include <QScreen>
#include <QMimeData>
#include <QUrl>

#include "platform/ini.h"
#include "testsupport/testsupport.h"
#include "viewer/view/tests/fixture.h"

namespace viewer::view {
namespace {

using namespace viewtest;

TEST(MainFrame, MainKeyTellsWhetherTheFrameClosedMaximised) {
  for (const bool maximised : {true, false}) {
    testsupport::TempDir dir;
    const auto ini = dir / "Tivola.ini";
    {
      CMainFrame frame(ini);
      frame.createPalettes(1, 1, QSize(1280, 1024));
      if (maximised) frame.showMaximized(); else frame.show();
      QApplication::processEvents();
    }
    EXPECT_EQ(platform::ini::getInt(ini, "Window", "Main", 0), maximised ? 2 : 1);
  }
}

TEST(MainFrame, PalettePlacesAndTheirCommandsWriteTheWindowKeys) {
  testsupport::TempDir dir;
  const auto ini = dir / "Tivola.ini";
  CMainFrame frame(ini);
  frame.createPalettes(2, 1, QSize(1280, 1024));
  frame.show();
  // The window frames stand at the places; the client sizes are the palettes' own.
  EXPECT_EQ(frame.toolPalette()->frameGeometry().topLeft(), QPoint(0, 40));
  EXPECT_EQ(frame.toolPalette()->size(), QSize(140, 54));
  EXPECT_EQ(frame.infoPalette()->frameGeometry().top(), frame.toolPalette()->frameGeometry().bottom() + 1);
  // The full Information palette reaches past 344, so the OverView stands just below it.
  EXPECT_GT(frame.infoPalette()->frameGeometry().bottom() + 1, 344);
  EXPECT_EQ(frame.overviewPalette()->frameGeometry().topLeft(),
            QPoint(0, frame.infoPalette()->frameGeometry().bottom() + 1));
  EXPECT_TRUE(frame.overviewPalette()->isVisible());
  EXPECT_FALSE(frame.profilePalette()->isVisible());
  EXPECT_EQ(frame.frameGeometry().topLeft(), QPoint(140, 0));
  EXPECT_EQ(frame.frameGeometry().size(), QSize(1280 - 140, 1024 - 25));
  EXPECT_TRUE(frame.commandChecked(ID_FULL_INFO));

  struct Step {
    int command;
    const char* key;
    int value;
  } steps[] = {{ID_HIDE_INFO, "Infomation", 0}, {ID_SHORT_INFO, "Infomation", 1},
               {ID_FULL_INFO, "Infomation", 2}, {ID_OVERVIEW_WINDOW, "Overview", 0},
               {ID_OVERVIEW_WINDOW, "Overview", 1}};
  for (const Step& s : steps) {
    frame.command(s.command);
    EXPECT_EQ(platform::ini::getInt(ini, "Window", s.key, -1), s.value) << s.command;
    EXPECT_TRUE(frame.commandChecked(s.command) || s.command == ID_OVERVIEW_WINDOW);
  }
  EXPECT_EQ(frame.infoPalette()->isVisible(), true);
  frame.command(ID_HORIZONTAL_PROFILE);
  EXPECT_TRUE(frame.profilePalette()->isVisible());
  EXPECT_TRUE(frame.commandChecked(ID_HORIZONTAL_PROFILE));
  frame.command(ID_VERTICAL_PROFILE);
  EXPECT_TRUE(frame.commandChecked(ID_VERTICAL_PROFILE));
  frame.command(ID_VERTICAL_PROFILE);
  EXPECT_FALSE(frame.profilePalette()->isVisible());
  EXPECT_TRUE(frame.command(ID_FIND));
  frame.command(ID_TOOLBOX);
  EXPECT_FALSE(frame.toolPalette()->isVisible());
}

TEST(MainFrame, ToolCommandsAndPaletteClicksSetThePanesTool) {
  testsupport::TempDir dir;
  CMainFrame frame(dir / "Tivola.ini");
  frame.createPalettes(1, 0, QSize(1024, 768));
  for (const auto& [command, tool] : {std::pair{ID_TOOL_HAND, 1}, {ID_TOOL_ZOOM, 3}, {ID_TOOL_TONE, 4},
                                      {ID_TOOL_RECTANGLE, 2}}) {
    frame.command(command);
    EXPECT_EQ(frame.currentTool(), tool);
    EXPECT_TRUE(frame.commandChecked(command));
  }
  // A click on the third button picks the Zoom tool.
  mouse(frame.toolPalette(), QEvent::MouseButtonPress, {2 * 34 + 10, 10}, Qt::LeftButton);
  EXPECT_EQ(frame.currentTool(), display::kToolZoom);
  mouse(frame.toolPalette(), QEvent::MouseButtonPress, {4 * 34 + 2, 10}, Qt::LeftButton);
  EXPECT_EQ(frame.currentTool(), display::kToolZoom);
}

TEST(MainFrame, ADroppedFileIsOpenedAsADrop) {
  testsupport::TempDir dir;
  CMainFrame frame(dir / "Tivola.ini");
  QStringList opened;
  bool sawDrop = false;
  frame.openFiles = [&](const QStringList& files) {
    opened = files;
    sawDrop = CMainFrame::dropInProgress();
  };
  QMimeData data;
  const QString file = QString::fromStdString((dir / "film.dcm").string());
  data.setUrls({QUrl::fromLocalFile(file)});
  QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&frame, &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&frame, &drop);
  EXPECT_EQ(opened, QStringList{file});
  EXPECT_TRUE(sawDrop);
  EXPECT_FALSE(CMainFrame::dropInProgress());
}

TEST(MainFrame, StatusTextAndAViewInItsChildFrame) {
  testsupport::TempDir dir;
  CMainFrame frame(dir / "Tivola.ini");
  frame.createPalettes(2, 1, QSize(1280, 800));
  Document doc;
  doc.images.push_back(makeImage(100, 100));
  doc.images[0]->sourcePath = "path";
  doc.images[0]->shownName = "weld-01";
  auto* view = new CTivolaView(&doc, &frame);
  CChildFrame* child = frame.addView(view);
  frame.show();
  view->initialUpdate();
  QApplication::processEvents();
  frame.setStatusImage(doc.images[0].get());
  EXPECT_EQ(frame.statusMessage(), "path(12bits) [100X100] 20,000 Bytes");
  EXPECT_EQ(child->view(), view);
  EXPECT_TRUE(child->isMaximized());
  // A click on the palette changes the pane's cursor without a mouse move.
  mouse(frame.toolPalette(), QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton);
  EXPECT_EQ(view->pane(0)->cursor().shape(), Qt::BitmapCursor);
  mouse(frame.toolPalette(), QEvent::MouseButtonPress, {34 + 10, 10}, Qt::LeftButton);
  EXPECT_EQ(view->pane(0)->cursor().shape(), Qt::ArrowCursor);
  QDir().mkpath(SCREENSHOT_DIR);
  frame.grab().save(QString(SCREENSHOT_DIR) + "/main_frame.png");
  frame.toolPalette()->grab().save(QString(SCREENSHOT_DIR) + "/tool_palette.png");
  // Under a real X server the palettes are windows of their own: the screen shows them in place.
  if (QGuiApplication::platformName() == "xcb") {
    QApplication::processEvents();
    QGuiApplication::primaryScreen()->grabWindow(0).save(QString(SCREENSHOT_DIR) + "/main_frame_screen.png");
  }
  frame.setStatusImage(nullptr);
  EXPECT_TRUE(frame.statusMessage().isEmpty());
  child->close();
}

}  // namespace
}  // namespace viewer::view
