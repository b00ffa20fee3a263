// Mouse handling on the panes: ROI edits, pending clicks and temporary tools.
#include <gtest/gtest.h>

#include <QDir>
#include <algorithm>
#include <set>

#include "platform/qt/control.h"
#include "viewer/display/tests/named_pixels.h"
#include "viewer/view/tests/fixture.h"

namespace viewer::view {
namespace {

using namespace viewtest;

bool covers(const Rect& r, display::Point p) {
  return r.left <= p.x && p.x < r.right && r.top <= p.y && p.y < r.bottom;
}

TEST(PaneRoi, DragInEveryDirectionCoversPressAndPointerPixels) {
  Viewer v(1, 100, 100);
  CImagePane* pane = platform::qt::control<CImagePane>(v.view.get(), 2);
  ASSERT_TRUE(pane && pane->tile);
  struct Case {
    QPoint from, to;
  } cases[] = {{{300, 300}, {101, 97}}, {{101, 97}, {300, 300}}, {{300, 90}, {90, 310}}, {{90, 310}, {300, 90}}};
  for (const Case& c : cases) {
    v.doc.images[0]->setRoi(Rect{});  // each drag starts a new rectangle
    press(pane, c.from);
    move(pane, (c.from + c.to) / 2, Qt::NoModifier);
    move(pane, c.to);
    release(pane, c.to);
    const Rect roi = v.doc.images[0]->roi;
    EXPECT_TRUE(covers(roi, pane->tile->paneToImage(c.to.x(), c.to.y())))
        << c.from.x() << "," << c.from.y() << " -> " << c.to.x() << "," << c.to.y();
    EXPECT_TRUE(covers(roi, pane->tile->paneToImage(c.from.x(), c.from.y())));
  }
  // The statistics follow the latest ROI once the edit ends.
  EXPECT_EQ(v.doc.images[0]->statisticsRect, v.doc.images[0]->roi);
}

TEST(PaneRoi, DragEndingOutsideThePaneEditsUntilRelease) {
  Viewer v(1, 100, 100);
  CImagePane* pane = platform::qt::control<CImagePane>(v.view.get(), 2);
  press(pane, {200, 200});
  move(pane, {-40, -60});  // the grab keeps the moves coming outside
  const Rect outside = v.doc.images[0]->roi;
  EXPECT_TRUE(covers(outside, pane->tile->paneToImage(200, 200)));
  EXPECT_LT(outside.left, 0);
  EXPECT_LT(outside.top, 0);
  move(pane, {-80, 420});
  const Rect moved = v.doc.images[0]->roi;
  EXPECT_NE(moved, outside);
  EXPECT_GT(moved.bottom, 100);
  release(pane, {-80, 420});
  move(pane, {10, 10});
  EXPECT_EQ(v.doc.images[0]->roi, moved);
}

TEST(PaneRoi, ResizingAnEdgeMovesOnlyThatEdge) {
  Viewer v(1, 100, 100);
  CImagePane* pane = platform::qt::control<CImagePane>(v.view.get(), 2);
  v.doc.images[0]->setRoi(Rect{20, 20, 60, 60});
  const Rect shown = v.doc.images[0]->roiToWindow(pane->width(), pane->height(), pane->tile->zoom,
                                                  pane->tile->centreX, pane->tile->centreY);
  const QPoint onRight(shown.right, (shown.top + shown.bottom) / 2);
  press(pane, onRight);
  move(pane, onRight + QPoint(40, 30));
  release(pane, onRight + QPoint(40, 30));
  const Rect r = v.doc.images[0]->roi;
  EXPECT_EQ(r.left, 20);
  EXPECT_EQ(r.top, 20);
  EXPECT_EQ(r.bottom, 60);
  EXPECT_GT(r.right, 60);
}

TEST(PanePendingClick, CtrlClickUnselectsOnlyWithinThePendingDistance) {
  struct Case {
    int moved;
    bool stillSelected;
  } cases[] = {{0, false}, {4, false}, {6, true}, {20, true}};
  for (const Case& c : cases) {
    Viewer v(2, 50, 50);
    v.view->command(ID_SELECT_ALL_VIEWS);
    QApplication::processEvents();
    CImagePane* pane = platform::qt::control<CImagePane>(v.view.get(), 2);
    ASSERT_TRUE(pane->tile && pane->tile->selected);
    press(pane, {50, 50}, Qt::ControlModifier);
    move(pane, {50 + c.moved, 50}, Qt::ControlModifier);
    release(pane, {50 + c.moved, 50}, Qt::ControlModifier);
    EXPECT_EQ(bool(pane->tile->selected), c.stillSelected) << "moved " << c.moved;
    EXPECT_TRUE(v.view->grid().tile(1)->selected);
  }
}

TEST(PaneClick, APaneWithoutATileIgnoresTheMouse) {
  Viewer v(2, 50, 50);
  v.view->command(32792);  // 2x2: panes 3 and 4 stay empty
  CImagePane* empty = platform::qt::control<CImagePane>(v.view.get(), 5);
  ASSERT_TRUE(empty && !empty->tile);
  const Rect before = v.doc.images[0]->roi;
  press(empty, {10, 10});
  move(empty, {30, 30});
  release(empty, {30, 30});
  EXPECT_FALSE(paneDragInProgress());
  EXPECT_EQ(v.doc.images[0]->roi, before);
}

TEST(TemporaryTools, ShiftAndCtrlSwitchAndReleaseRestoresButNotDuringADrag) {
  Viewer v(1, 100, 100);
  CImagePane* pane = platform::qt::control<CImagePane>(v.view.get(), 2);
  ASSERT_EQ(v.tools.currentTool(), display::kToolRectangle);
  struct Step {
    bool shift, ctrl;
    int tool;
  } steps[] = {{true, false, display::kToolHand},  {true, true, display::kToolToneCurve},
               {false, true, display::kToolZoom},  {false, false, display::kToolRectangle},
               {false, false, display::kToolRectangle}};
  for (const Step& s : steps) {
    v.keys = KeyState{s.shift, s.ctrl};
    v.view->timerTick();
    EXPECT_EQ(v.tools.currentTool(), s.tool) << s.shift << s.ctrl;
  }
  // A drag keeps its tool whatever keys go down meanwhile.
  press(pane, {100, 100});
  v.keys = KeyState{false, true};
  v.view->timerTick();
  EXPECT_EQ(v.tools.currentTool(), display::kToolRectangle);
  release(pane, {100, 100});
  v.view->timerTick();
  EXPECT_EQ(v.tools.currentTool(), display::kToolZoom);
  v.keys = KeyState{};
  v.view->timerTick();
  EXPECT_EQ(v.tools.currentTool(), display::kToolRectangle);
}

TEST(TemporaryTools, AViewClosedDuringADragLeavesNoDragBehind) {
  {
    Viewer v(1, 100, 100);
    press(platform::qt::control<CImagePane>(v.view.get(), 2), {50, 50});
    ASSERT_TRUE(paneDragInProgress());
  }
  EXPECT_FALSE(paneDragInProgress());
}

TEST(PaneTools, HandDragMovesTheImageWithThePointer) {
  Viewer v(1, 400, 400);
  v.tools.setTool(display::kToolHand);
  CImagePane* pane = platform::qt::control<CImagePane>(v.view.get(), 2);
  const display::Point before = pane->tile->paneToImage(100, 100);
  press(pane, {100, 100});
  move(pane, {160, 130});
  release(pane, {160, 130});
  const display::Point after = pane->tile->paneToImage(160, 130);
  EXPECT_NEAR(after.x, before.x, 1);
  EXPECT_NEAR(after.y, before.y, 1);
}

// One pane of a given width showing a 16 x 14 image whose every pixel has
// its own grey, so the display core's rendering of the pane names the pixel
// drawn at each point.
struct NamedPane {
  static constexpr int kWidth = 16, kHeight = 14;
  explicit NamedPane(int paneWidth) : v(1, kWidth, kHeight) {
    pane = platform::qt::control<CImagePane>(v.view.get(), 2);
    EXPECT_TRUE(pane && pane->tile && display::testing::nameEveryPixel(*v.doc.images[0]));
    if (!pane || !pane->tile) return;
    v.view->resize(paneWidth + v.view->width() - pane->width(), 180);
    QApplication::processEvents();
    pane->tile->setWindow(display::testing::kIdentityCentre, display::testing::kIdentityWidth, 0);
  }
  bool ready(int paneWidth) const { return pane && pane->tile && pane->tile->current && pane->width() == paneWidth; }
  void show(double zoom, double centreX, double centreY) {
    if (zoom > 0.0) pane->tile->setZoom(zoom);
    else pane->tile->zoomToFit();
    pane->tile->setCentre(centreX, centreY);
    core = display::RenderCache();
    ASSERT_TRUE(core.make(pane->width(), pane->height()));
    ASSERT_TRUE(pane->tile->render(core));
  }
  int grey(int x, int y) const {
    const display::Bitmap& b = core.bitmap;
    return b.bits[std::size_t(y) * std::size_t(b.rowLength) + std::size_t(x)];
  }
  // The pixel the core drew at a pane point; (-1, -1) over the background.
  display::Point drawn(int x, int y) const { return display::testing::pixelNamed(grey(x, y), kWidth); }
  // The first and last pane column (or row) on which the core drew a pixel.
  std::pair<int, int> drawnColumns(int y) const {
    int first = -1, last = -1;
    for (int x = 0; x < pane->width(); ++x)
      if (drawn(x, y).x >= 0) last = x, first = first < 0 ? x : first;
    return {first, last};
  }
  std::pair<int, int> drawnRows(int x) const {
    int first = -1, last = -1;
    for (int y = 0; y < pane->height(); ++y)
      if (drawn(x, y).x >= 0) last = y, first = first < 0 ? y : first;
    return {first, last};
  }

  Viewer v;
  CImagePane* pane = nullptr;
  display::RenderCache core;
};

const int kPaneWidths[] = {97, 98, 99, 100, 1, 2, 3};

TEST(PaneMapping, TheReadoutNamesThePixelDrawnUnderThePointer) {
  struct View {
    double zoom, centreX, centreY;  // zoom 0: zoom to fit
  } views[] = {{0.0, 0.5, 0.5}, {2.5, 0.2, 0.8}, {0.3, 0.5, 0.5}};
  for (int w : kPaneWidths) {
    NamedPane n(w);
    ASSERT_TRUE(n.ready(w)) << w;
    for (const View& view : views) {
      SCOPED_TRACE(::testing::Message() << "pane " << w << ", zoom " << view.zoom);
      n.show(view.zoom, view.centreX, view.centreY);
      const display::CDisplayTile& t = *n.pane->tile;
      // Every seventh row, and the rows about the picture's top and bottom.
      std::set<int> rows;
      for (int y = 0; y < n.pane->height(); y += 7) rows.insert(y);
      const auto [top, bottom] = n.drawnRows(w / 2);
      for (int y : {top - 1, top, top + 1, bottom - 1, bottom, bottom + 1})
        if (y >= 0 && y < n.pane->height()) rows.insert(y);
      int named = 0;
      for (int y : rows)
        for (int x = 0; x < w; ++x) {
          mouse(n.pane, QEvent::MouseMove, {x, y}, Qt::NoButton);
          const display::Point want = n.drawn(x, y);
          if (want.x < 0) {
            ASSERT_EQ(t.cursorValue, -1) << "background at " << x << "," << y << " read as " << t.cursorX << ","
                                         << t.cursorY;
            continue;
          }
          ASSERT_EQ(t.cursorX, want.x) << "at " << x << "," << y;
          ASSERT_EQ(t.cursorY, want.y) << "at " << x << "," << y;
          ASSERT_EQ(t.cursorValue, n.grey(x, y)) << "at " << x << "," << y;
          ++named;
        }
      EXPECT_GT(named, 0);
    }
  }
}

TEST(PaneMapping, ADraggedRoiCoversExactlyThePixelsUnderPressAndPointer) {
  for (int w : kPaneWidths) {
    NamedPane n(w);
    ASSERT_TRUE(n.ready(w)) << w;
    n.show(0.0, 0.5, 0.5);
    // The picture's edges, where a picture laid out apart from the pointer is
    // off by a column.
    const int ym = n.pane->height() / 2;
    const auto [left, right] = n.drawnColumns(ym);
    const auto [top, bottom] = n.drawnRows((left + right) / 2);
    ASSERT_GE(left, 0) << w;
    ASSERT_GE(top, 0) << w;
    struct Drag {
      QPoint from, to;
    } drags[] = {{{right, ym}, {left, ym}},
                 {{left, top}, {right, bottom}},
                 {{right, bottom}, {left, top}},
                 {{left, bottom}, {right, top}},
                 {{(left + right) / 2, ym}, {right, bottom}}};
    for (const Drag& d : drags) {
      SCOPED_TRACE(::testing::Message() << "pane " << w << ": " << d.from.x() << "," << d.from.y() << " -> "
                                        << d.to.x() << "," << d.to.y());
      CImageItem& image = *n.v.doc.images[0];
      image.setRoi(Rect{});  // each drag starts a new rectangle
      press(n.pane, d.from);
      move(n.pane, (d.from + d.to) / 2);
      move(n.pane, d.to);
      release(n.pane, d.to);
      const display::Point a = n.drawn(d.from.x(), d.from.y()), b = n.drawn(d.to.x(), d.to.y());
      ASSERT_GE(std::min({a.x, a.y, b.x, b.y}), 0);
      EXPECT_EQ(image.roi, (Rect{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x) + 1,
                                 std::max(a.y, b.y) + 1}));
    }
  }
}

// The marquee's edges lie on the pixels that bound the ROI, and the rest of
// the pane shows the core's rendering, at integer zooms where each ROI edge
// falls on a column and a row.
TEST(PaneMapping, TheMarqueeLiesOnTheRoisEdgesInThePicture) {
  const Rect roi{3, 4, 11, 12};
  for (int w : {97, 98, 99, 100})
    for (double zoom : {1.0, 2.0}) {
      SCOPED_TRACE(::testing::Message() << "pane " << w << ", zoom " << zoom);
      NamedPane n(w);
      ASSERT_TRUE(n.ready(w));
      n.v.doc.images[0]->setRoi(roi);
      n.show(zoom, 0.5, 0.5);
      const QImage shown = n.pane->grab().toImage().convertToFormat(QImage::Format_RGB32);
      if (w == 97 && zoom == 2.0) {
        QDir().mkpath(SCREENSHOT_DIR);
        n.pane->grab().scaled(n.pane->size() * 4).save(QString(SCREENSHOT_DIR) + "/pane_roi_97.png");
      }
      const QRect pic = n.pane->pictureRect();
      // The marquee draws black dots on white, greys no named pixel has; every
      // other point shows the core's grey.
      const auto marquee = [&](int x, int y) {
        const QRgb c = shown.pixel(x, y);
        return !(qRed(c) == qGreen(c) && qGreen(c) == qBlue(c) && qRed(c) == n.grey(x, y));
      };
      int across = -1, down = -1;  // a row through the ROI's middle image row, a column through its middle column
      for (int y = 0; y < n.pane->height() && across < 0; ++y)
        if (n.drawn(w / 2, y).y == 8) across = y;
      for (int x = 0; x < w && down < 0; ++x)
        if (n.drawn(x, across).x == 7) down = x;
      ASSERT_GE(across, 0);
      ASSERT_GE(down, 0);
      std::set<int> columns, rows;
      for (int x = pic.left(); x <= pic.right(); ++x)
        if (marquee(x, across)) columns.insert(x);
      for (int y = pic.top(); y <= pic.bottom(); ++y)
        if (marquee(down, y)) rows.insert(y);
      ASSERT_EQ(columns.size(), 2u);
      ASSERT_EQ(rows.size(), 2u);
      // Left and top on the ROI's first pixel, right and bottom on the first past it.
      EXPECT_EQ(n.drawn(*columns.begin(), across).x, roi.left);
      EXPECT_EQ(n.drawn(*columns.rbegin(), across).x, roi.right);
      EXPECT_EQ(n.drawn(down, *rows.begin()).y, roi.top);
      EXPECT_EQ(n.drawn(down, *rows.rbegin()).y, roi.bottom);
    }
}

}  // namespace
}  // namespace viewer::view
