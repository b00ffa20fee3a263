// The view: layouts, the study panel, the context menus, copy, print and the
// panes' pictures in a grabbed window.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QKeyEvent>
#include <QDir>
#include <QMenu>
#include <QPrinter>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/qt/control.h"
#include "platform/qt/prompt.h"
#include "testsupport/testsupport.h"
#include "viewer/view/tests/fixture.h"

namespace viewer::view {
namespace {

using namespace viewtest;
using display::CDisplayTile;

TEST(ViewLayout, MaximumViewsFollowTheImageCount) {
  struct Case {
    int images, columns, rows;
  } cases[] = {{1, 1, 1}, {2, 1, 2}, {3, 1, 3}, {5, 2, 3}, {10, 3, 4}, {17, 4, 5}, {100, 8, 8}};
  for (const Case& c : cases) {
    Viewer v(c.images, 8, 8);
    EXPECT_EQ(v.view->columns(), c.columns) << c.images;
    EXPECT_EQ(v.view->rows(), c.rows) << c.images;
    int shown = 0;
    for (int i = 0; i < CTivolaView::kPanes; ++i) shown += v.view->pane(i)->isVisible();
    EXPECT_EQ(shown, c.columns * c.rows);
  }
}

TEST(ViewLayout, EscOnAnEmptyDocumentDoesNothing) {
  Viewer v(0, 8, 8);
  v.view->command(32794);  // 4x4
  v.view->command(ID_MAXIMUM_VIEWS);
  EXPECT_EQ(v.view->columns(), 4);
  EXPECT_EQ(v.view->rows(), 4);
}

TEST(ViewLayout, PanesTileTheClientRightOfThePanel) {
  Viewer v(6, 8, 8, QSize(410, 300));
  v.view->command(32800);  // 3x4
  EXPECT_EQ(v.view->pane(0)->geometry(), QRect(0, 0, 136, 75));
  EXPECT_EQ(v.view->pane(11)->geometry(), QRect(272, 225, 136, 75));
  EXPECT_FALSE(v.view->pane(12)->isVisible());
}

TEST(ViewLayout, LayoutCommandsAndSpecify) {
  Viewer v(30, 8, 8);
  for (const LayoutCommand& l : layoutCommands()) {
    v.view->command(l.id);
    EXPECT_EQ(QString("%1x%2").arg(v.view->columns()).arg(v.view->rows()), QString(l.text));
  }
  int offered = 0;
  v.view->layoutDialog = [&](int& c, int& r) {
    offered = c * 10 + r;
    c = 3;
    r = 2;
    return true;
  };
  v.view->command(ID_LAYOUT_SPECIFY);
  EXPECT_EQ(offered, 88);  // it opens with the layout in use
  EXPECT_EQ(v.view->columns(), 3);
  EXPECT_EQ(v.view->rows(), 2);
  v.view->layoutDialog = [](int& c, int& r) {
    c = r = 5;
    return false;
  };
  v.view->command(ID_LAYOUT_SPECIFY);
  EXPECT_EQ(v.view->columns(), 3);
}

TEST(ViewPaging, HomeEndAndTheArrowFlags) {
  Viewer v(10, 8, 8);
  v.view->command(32792);  // 2x2
  v.view->command(ID_JUMP_LAST);
  EXPECT_EQ(v.view->grid().pageStart(), 6);
  EXPECT_EQ(v.view->grid().currentTile(), v.view->grid().tile(9));
  EXPECT_TRUE(v.view->pane(0)->earlier);
  EXPECT_FALSE(v.view->pane(3)->later);
  v.view->command(ID_JUMP_FIRST);
  EXPECT_EQ(v.view->grid().pageStart(), 0);
  EXPECT_EQ(v.view->grid().currentTile(), v.view->grid().tile(0));
  EXPECT_FALSE(v.view->pane(0)->earlier);
  EXPECT_TRUE(v.view->pane(3)->later);
  EXPECT_FALSE(v.view->commandEnabled(ID_PREVIOUS_IMAGE));
  v.view->command(ID_NEXT_IMAGE);
  EXPECT_EQ(v.view->grid().pageStart(), 1);
}

void key(QWidget* w, int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
  QKeyEvent e(QEvent::KeyPress, k, m);
  QApplication::sendEvent(w, &e);
}

TEST(ViewKeys, ArrowsMoveTheCurrentPaneAndScrollAtThePageEnds) {
  Viewer v(10, 8, 8);
  v.view->command(32792);  // 2x2
  v.view->command(ID_JUMP_FIRST);
  auto& g = v.view->grid();
  struct Step {
    int key, pageStart, current;
  } steps[] = {{Qt::Key_Left, 0, 0},  {Qt::Key_Up, 0, 0},    {Qt::Key_Right, 0, 1}, {Qt::Key_Down, 0, 3},
               {Qt::Key_Right, 1, 4}, {Qt::Key_Down, 3, 6},  {Qt::Key_Down, 5, 8},  {Qt::Key_Down, 6, 9},
               {Qt::Key_Down, 6, 9},  {Qt::Key_Left, 6, 8}};
  for (const Step& s : steps) {
    key(v.view.get(), s.key);
    EXPECT_EQ(g.pageStart(), s.pageStart) << s.key;
    EXPECT_EQ(g.indexOf(g.currentTile()), s.current) << s.key;
    EXPECT_EQ(v.view->pane(g.indexOf(g.currentTile()) - g.pageStart())->tile, g.currentTile());
  }
}

TEST(ViewKeys, ShiftArrowsMoveTheRoiOfTheSelectedImages) {
  Viewer v(2, 40, 40);
  v.view->command(ID_SELECT_ALL_VIEWS);
  for (auto& image : v.doc.images) image->setRoi(Rect{5, 5, 15, 15});
  key(v.view.get(), Qt::Key_Right, Qt::ShiftModifier);
  key(v.view.get(), Qt::Key_Down, Qt::ShiftModifier);
  key(v.view.get(), Qt::Key_Down, Qt::ShiftModifier);
  for (auto& image : v.doc.images) EXPECT_EQ(image->roi, (Rect{6, 7, 16, 17}));
  v.view->command(ID_CANCEL_ROI);
  for (auto& image : v.doc.images) EXPECT_TRUE(image->roi.empty());
  EXPECT_FALSE(v.view->commandEnabled(ID_CANCEL_ROI));
  v.view->command(ID_EDIT_SELECT_WHOLE);
  for (auto& image : v.doc.images) EXPECT_EQ(image->roi, (Rect{0, 0, 40, 40}));
}

TEST(ViewRedraw, AWindowDragRendersOnlyThePanesOfSelectedTiles) {
  Viewer v(2, 100, 100);
  v.tools.setTool(display::kToolToneCurve);
  CImagePane* dragged = v.view->pane(0);
  CImagePane* other = v.view->pane(1);
  QApplication::processEvents();
  const int otherStamp = other->cache.stamp, draggedStamp = dragged->cache.stamp;
  ASSERT_NE(otherStamp, 0);  // both panes were painted once
  // A render rewrites every byte of the cache, so a marker left there tells.
  other->cache.bitmap.bits[0] = 7;
  press(dragged, {50, 50});
  ASSERT_TRUE(dragged->tile->selected && !other->tile->selected);
  move(dragged, {60, 40});
  QApplication::processEvents();
  EXPECT_NE(dragged->cache.stamp, draggedStamp);
  EXPECT_EQ(dragged->cache.stamp, dragged->tile->stamp);  // painted during the move
  EXPECT_EQ(other->cache.stamp, otherStamp);
  EXPECT_EQ(other->cache.bitmap.bits[0], 7);
  release(dragged, {60, 40});
}

TEST(ViewTransforms, FlipsAndRotationsActOnTheSelectedImagesAndRedraw) {
  Viewer v(2, 30, 20);
  v.view->command(ID_SELECT_ALL_VIEWS);
  QApplication::processEvents();
  const int before = v.doc.images[0]->pixel(0, 0), corner = v.doc.images[0]->pixel(29, 0);
  const int stamp = v.view->grid().tile(1)->stamp;
  v.view->command(ID_FLIP_HORIZONTAL);
  EXPECT_EQ(v.doc.images[0]->pixel(0, 0), corner);
  EXPECT_EQ(v.doc.images[0]->pixel(29, 0), before);
  EXPECT_NE(v.view->grid().tile(1)->stamp, stamp);
  v.view->command(ID_ROTATE_CW);
  EXPECT_EQ(v.doc.images[1]->width(), 20);
  EXPECT_EQ(v.doc.images[1]->height(), 30);
}

TEST(ViewTimer, TheCurrentTilesReadoutClearsWhenThePointerIsOutside) {
  Viewer v(1, 100, 100);
  CImagePane* pane = v.view->pane(0);
  move(pane, {100, 100});
  ASSERT_NE(pane->tile->cursorValue, -1);
  QCursor::setPos(pane->mapToGlobal(QPoint(-500, -500)));
  v.view->timerTick();
  v.view->timerTick();
  EXPECT_EQ(pane->tile->cursorX, -1);
  EXPECT_EQ(pane->tile->cursorValue, -1);
}

TEST(ViewStudyPanel, TogglesAndASecondViewInheritsTheWidth) {
  Viewer v(1, 50, 50);
  v.doc.images[0]->study = std::make_unique<CStudyInfo>();
  CStudyInfo::set(v.doc.images[0]->study->componentName, "Weld 7");
  EXPECT_EQ(v.view->panelWidth(), 0);
  v.view->command(ID_STUDY_DATA);
  EXPECT_EQ(v.view->panelWidth(), 150);
  EXPECT_TRUE(v.view->commandChecked(ID_STUDY_DATA));
  EXPECT_TRUE(v.view->studyPanel()->isVisible());
  EXPECT_EQ(v.view->pane(0)->x(), 150);

  Document second;
  second.images.push_back(makeImage(20, 20));
  second.images[0]->study = std::make_unique<CStudyInfo>();
  CTivolaView other(&second, &v.tools);
  other.resize(300, 300);
  other.initialUpdate();
  EXPECT_EQ(other.panelWidth(), 150);
  // Without study data a new view keeps no panel.
  Document bare;
  bare.images.push_back(makeImage(20, 20));
  bare.images[0]->study.reset();
  CTivolaView plain(&bare, &v.tools);
  plain.initialUpdate();
  EXPECT_EQ(plain.panelWidth(), 0);
  EXPECT_FALSE(plain.commandEnabled(ID_STUDY_DATA));

  v.view->command(ID_STUDY_DATA);
  EXPECT_EQ(v.view->panelWidth(), 0);
  EXPECT_EQ(CTivolaView::rememberedPanelWidth(), 0);
  EXPECT_EQ(v.view->pane(0)->x(), 0);
}

TEST(ViewModes, DuplicateShowsTwoPanesAndItsOwnPopup) {
  Viewer v(5, 40, 40);
  v.view->command(ID_DUPLICATE_CURRENT);
  EXPECT_EQ(v.view->grid().mode(), display::CDisplayGrid::kDuplicate);
  EXPECT_EQ(v.view->columns(), 2);
  EXPECT_EQ(v.view->rows(), 1);
  CImagePane* pane = v.view->pane(1);
  ASSERT_TRUE(pane->tile);
  EXPECT_EQ(pane->tile->image, v.view->pane(0)->tile->image);
  mouse(pane, QEvent::MouseButtonRelease, {20, 20}, Qt::RightButton);
  QMenu* popup = v.view->contextMenu(true);
  EXPECT_TRUE(popup->isVisible());
  EXPECT_FALSE(v.view->contextMenu(false)->isVisible());
  ASSERT_TRUE(popup->findChild<QAction*>("32840"));
  EXPECT_TRUE(popup->findChild<QAction*>("32840")->isEnabled());
  popup->hide();
  v.view->command(ID_INITIALIZE_VIEWING);
  EXPECT_EQ(v.view->grid().mode(), display::CDisplayGrid::kNormal);
  EXPECT_EQ(v.view->columns(), 2);
  EXPECT_EQ(v.view->rows(), 3);
  // With Ctrl held the release selects without a menu.
  mouse(v.view->pane(0), QEvent::MouseButtonRelease, {20, 20}, Qt::RightButton, Qt::ControlModifier);
  EXPECT_FALSE(v.view->contextMenu(false)->isVisible());
}

TEST(ViewStatus, TextOfTheActiveImage) {
  EXPECT_EQ(statusText("path", 12, 100, 100), "path(12bits) [100X100] 20,000 Bytes");
  EXPECT_EQ(statusText("/a/b.dcm", 8, 7300, 8640), "/a/b.dcm(8bits) [7300X8640] 63,072,000 Bytes");
  EXPECT_EQ(statusText("x", 16, 10, 5), "x(16bits) [10X5] 100 Bytes");
}

// The colour a grey-table sample shows in the copied and printed bitmaps.
QRgb shown(const CDisplayTile& t, int sample) { return printColourTable()[t.lut.table[std::size_t(sample)]]; }

TEST(ViewCopy, TheClipboardHoldsTheRoiAtOnePixelPerSamplePaddedBlack) {
  struct Case {
    Rect roi;
    int width, height, left, top;
  } cases[] = {{{10, 5, 23, 17}, 16, 12, 10, 5},   // 13 wide: three black columns
               {{23, 17, 10, 5}, 16, 12, 10, 5},   // dragged the other way
               {{}, 52, 30, 0, 0}};                // no ROI: the whole image
  for (const Case& c : cases) {
    Viewer v(1, 50, 30);
    CImageItem& image = *v.doc.images[0];
    image.setRoi(c.roi);
    ASSERT_TRUE(v.view->copyToClipboard());
    const QImage got = QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(got.width(), c.width);
    ASSERT_EQ(got.height(), c.height);
    const CDisplayTile& t = *v.view->grid().currentTile();
    const int used = std::abs(c.roi.right - c.roi.left) ? std::abs(c.roi.right - c.roi.left) : 50;
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x) {
        const QRgb want = x < used ? shown(t, image.pixel(c.left + x, c.top + y)) : qRgb(0, 0, 0);
        ASSERT_EQ(got.pixel(x, y) & 0xffffff, want & 0xffffff) << x << "," << y;
      }
  }
}

std::string run(const std::string& cmd) {
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    pclose(p);
  }
  return out;
}

// The non-white box of a grey PGM page.
QRect inkBox(const std::string& pgm) {
  QImage page;
  page.loadFromData(reinterpret_cast<const uchar*>(pgm.data()), int(pgm.size()), "PGM");
  QRect box;
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0; x < page.width(); ++x)
      if (qGray(page.pixel(x, y)) < 200) box |= QRect(x, y, 1, 1);
  return box;
}

TEST(ViewPrint, OneImageOfThePrintBitmapFittedToEightyPercentCentred) {
  struct Case {
    int width, height;
    bool wide;
  } cases[] = {{301, 60, true}, {402, 100, true}, {30, 203, false}};
  for (const Case& c : cases) {
    testsupport::TempDir dir;
    Viewer v(1, c.width, c.height);
    // Dark samples, so the picture shows against the white paper.
    CImageItem& image = *v.doc.images[0];
    for (std::size_t i = 0; i < image.sampleCount(); ++i) image.data16()[i] = std::uint16_t(i % 1000);
    v.view->grid().currentTile()->setWindow(3000, 1000, 0);
    const std::string pdf = (dir / "page.pdf").string();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf));
    printer.setResolution(300);
    printer.setFullPage(true);  // the printable area is the whole sheet pdftoppm renders
    ASSERT_TRUE(v.view->printPage(printer));

    std::istringstream list(run("pdfimages -list '" + pdf + "'"));
    std::string line;
    std::vector<std::string> rows;
    while (std::getline(list, line))
      if (!line.empty() && line.find("page") == std::string::npos && line[0] != '-') rows.push_back(line);
    ASSERT_EQ(rows.size(), 1u) << run("pdfimages -list '" + pdf + "'");
    int page = 0, num = 0, w = 0, h = 0;
    char type[16];
    ASSERT_EQ(std::sscanf(rows[0].c_str(), "%d %d %15s %d %d", &page, &num, type, &w, &h), 5);
    EXPECT_EQ(w, (c.width + 3) / 4 * 4);
    EXPECT_EQ(h, c.height);

    const QRect ink = inkBox(run("pdftoppm -gray -r 40 '" + pdf + "'"));
    const double pageW = 40.0 * printer.width() / 300.0, pageH = 40.0 * printer.height() / 300.0;
    ASSERT_TRUE(ink.isValid());
    if (c.wide) {
      EXPECT_NEAR(ink.width(), 0.8 * pageW, 2.0);
      EXPECT_NEAR(ink.height(), 0.8 * pageW * c.height / c.width, 2.0);
    } else {
      EXPECT_NEAR(ink.height(), 0.8 * pageH, 2.0);
    }
    EXPECT_NEAR(ink.center().x(), pageW / 2, 2.0);
    EXPECT_NEAR(ink.center().y(), pageH / 2, 2.0);
  }
}

TEST(ViewPrint, NothingIsPrintedWithoutAnImage) {
  Viewer v(0, 8, 8);
  testsupport::TempDir dir;
  QPrinter printer;
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString((dir / "none.pdf").string()));
  EXPECT_FALSE(v.view->printPage(printer));
}

TEST(ViewFrame, EachPaneOfA2x2LayoutShowsItsTilesRendering) {
  Viewer v(4, 160, 120, QSize(640, 480));
  v.view->command(ID_SELECT_ALL_VIEWS);
  v.doc.images[2]->setRoi(Rect{20, 20, 100, 80});
  QApplication::processEvents();
  ASSERT_EQ(v.view->columns(), 2);
  ASSERT_EQ(v.view->rows(), 2);
  const QImage window = v.view->grab().toImage().convertToFormat(QImage::Format_RGB32);
  QDir().mkpath(SCREENSHOT_DIR);
  window.save(QString(SCREENSHOT_DIR) + "/view_2x2.png");
  for (int i = 0; i < 4; ++i) {
    const CImagePane* pane = v.view->pane(i);
    const CDisplayTile& t = *pane->tile;
    display::Bitmap want;
    want.width = pane->width();
    want.rowLength = (pane->width() + 3) / 4 * 4;
    want.height = pane->height();
    want.bits.resize(std::size_t(want.rowLength) * std::size_t(want.height));
    display::RenderParams p;
    p.zoom = t.zoom;
    p.centreX = t.centreX;
    p.centreY = t.centreY;
    p.sharpness = t.sharpness;
    ASSERT_TRUE(display::renderImage(*t.image, t.lut.table, p, want));
    // Inside the frames, away from the name overlay and the marquee.
    const QRect inside = pane->pictureRect().adjusted(0, 30, 0, 0);
    const Rect m = t.image->roiToWindow(pane->width(), pane->height(), t.zoom, t.centreX, t.centreY);
    const auto nearMarquee = [&](int x, int y) {
      if (t.image->roi.empty()) return false;
      const bool inX = x >= m.left - 2 && x <= m.right + 2, inY = y >= m.top - 2 && y <= m.bottom + 2;
      return (inY && (std::abs(x - m.left) <= 2 || std::abs(x - m.right) <= 2)) ||
             (inX && (std::abs(y - m.top) <= 2 || std::abs(y - m.bottom) <= 2));
    };
    int checked = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
      for (int x = inside.left(); x <= inside.right(); ++x) {
        if (nearMarquee(x, y)) continue;
        const int g = want.bits[std::size_t(y) * std::size_t(want.rowLength) + std::size_t(x)];
        const QPoint at = pane->geometry().topLeft() + QPoint(x, y);
        ASSERT_EQ(window.pixel(at) & 0xffffff, qRgb(g, g, g) & 0xffffff) << "pane " << i << " at " << x << "," << y;
        ++checked;
      }
    EXPECT_GT(checked, 20000);
  }
}

}  // namespace
}  // namespace viewer::view
