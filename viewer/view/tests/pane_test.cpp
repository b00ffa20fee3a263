// Mouse handling on the panes: ROI edits, pending clicks and temporary tools.
#include <gtest/gtest.h>

#include "platform/qt/control.h"
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

}  // namespace
}  // namespace viewer::view
