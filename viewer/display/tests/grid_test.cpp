// The display grid: selection by clicks, paging, modes, the mouse tools'
// arithmetic and the view's display commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/messages.h"
#include "viewer/display/display.h"

namespace viewer::display {
namespace {

std::unique_ptr<CImageItem> makeImage(int w, int h) {
  auto item = std::make_unique<CImageItem>();
  EXPECT_TRUE(item->allocate(2, w, h));
  for (int i = 0; i < w * h; ++i) item->data16()[i] = std::uint16_t((i * 7) % 4096);
  item->maxValue = 4095;
  item->setRoi(Rect{0, 0, w, h});
  return item;
}

// A grid of n tiles on images of w x h, with a view that records its commands.
struct Fixture {
  explicit Fixture(int n, int w = 100, int h = 80) : view([this](const platform::Message& m) {
    commands.push_back(int(m.wParam));
  }) {
    grid.setView(view.handle());
    EXPECT_TRUE(grid.addTiles(n, false));
    for (int i = 0; i < n; ++i) {
      images.push_back(makeImage(w, h));
      grid.tile(i)->bind(images.back().get(), 4095);
      grid.tile(i)->fitToPane(200, 160);
      grid.tile(i)->startDisplay();
    }
    grid.setPageStart(0);
    view.pump();
    commands.clear();
  }
  std::string selection() {
    std::string s;
    for (int i = 0; i < grid.tileCount(); ++i) s += grid.tile(i)->selected ? '1' : '.';
    return s;
  }
  int current() { return grid.indexOf(grid.currentTile()); }

  std::vector<int> commands;
  platform::QueueTarget view;
  std::vector<std::unique_ptr<CImageItem>> images;
  CDisplayGrid grid;
};

TEST(GridClick, SelectsByPlainCtrlAndShiftClicks) {
  Fixture f(6);
  f.grid.showTile(f.grid.tile(0), 6);
  struct Step {
    int tile, flags;
    const char* selection;
    int current;
  } steps[] = {
      {2, 0, "..1...", 2},                  // plain: only this one
      {4, kCtrlFlag, "..1.1.", 4},          // Ctrl adds
      {0, kShiftFlag, "11111.", 0},         // Shift: range from the last clicked tile
      {5, kShiftFlag | kCtrlFlag, "111111", 5},  // Ctrl keeps the rest, the range from tile 4
      {2, kCtrlFlag, "11.111", 0},          // Ctrl toggles off: first selected on the page is current
      {3, 0, "11.111", 3},                  // plain on a selected tile keeps the selection
      {2, 0, "..1...", 2},
      {2, kCtrlFlag, "......", 0},          // Ctrl on the only selected tile: none, first visible current
  };
  for (const Step& s : steps) {
    f.grid.click(f.grid.tile(s.tile), s.flags);
    EXPECT_EQ(f.selection(), s.selection) << "click on " << s.tile << " flags " << s.flags;
    EXPECT_EQ(f.current(), s.current) << "click on " << s.tile << " flags " << s.flags;
  }
  EXPECT_TRUE(f.grid.takeFreshSelection());
  EXPECT_FALSE(f.grid.takeFreshSelection());
  // Every click sends the change to the view at once and posts the refresh.
  const std::vector<int> sent(std::size(steps), IDM_ACTICE_CHANGED);
  EXPECT_EQ(f.commands, sent);
  f.view.pump();
  EXPECT_EQ(std::count(f.commands.begin(), f.commands.end(), IDM_REFRESH_CURRENT), long(std::size(steps)));
}

TEST(GridClick, ShiftWithoutAnchorStartsAtTheFirstTileAndEmptyTilesAreIgnored) {
  Fixture f(5);
  f.grid.showTile(f.grid.tile(0), 5);
  f.grid.click(f.grid.tile(3), kShiftFlag);
  EXPECT_EQ(f.selection(), "1111.");
  f.grid.tile(4)->unbind();
  f.grid.click(f.grid.tile(4), 0);
  EXPECT_EQ(f.selection(), "1111.");
  EXPECT_EQ(f.current(), 3);
}

TEST(GridSelection, UnselectAllLeavesTheFirstVisibleTileCurrentAndSelected) {
  Fixture f(5);
  f.grid.selectAll(true);
  f.grid.setPageStart(2);
  f.grid.selectAll(false);
  EXPECT_EQ(f.selection(), "..1..");
  EXPECT_EQ(f.current(), 2);
}

TEST(GridAttributes, PasteBeforeCopyChangesNothingAndAfterCopyApplies) {
  Fixture f(3);
  f.grid.selectAll(true);
  f.grid.tile(0)->setZoom(0.3);
  std::vector<int> stamps;
  for (int i = 0; i < 3; ++i) stamps.push_back(f.grid.tile(i)->stamp);
  f.grid.pasteAttributes();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(f.grid.tile(i)->stamp, stamps[std::size_t(i)]);
  EXPECT_FALSE(f.grid.attributesCopied());

  CDisplayTile& src = *f.grid.tile(0);
  f.grid.makeCurrent(&src);
  src.setCentre(0.25, 0.75);
  src.setWindow(1000, 500, 1);
  src.setZoom(2.5);
  src.setSharpness(1.25);
  f.grid.copyAttributes();
  f.grid.pasteAttributes();
  for (int i = 1; i < 3; ++i) {
    const CDisplayTile& t = *f.grid.tile(i);
    EXPECT_EQ(t.centreX, 0.25);
    EXPECT_EQ(t.centreY, 0.75);
    EXPECT_EQ(t.windowCentre, 1000);
    EXPECT_EQ(t.windowWidth, 500);
    EXPECT_EQ(t.userInvert, 1);
    EXPECT_EQ(t.zoom, 2.5);
    EXPECT_EQ(t.sharpness, 1.25);
  }
}

TEST(GridPaging, ArrowKeysScrollAtThePageEnds) {
  // 10 tiles on a 2 x 2 page.
  struct Step {
    int dx, dy;
    int pageStart, current;
  } steps[] = {
      {-1, 0, 0, 0},  // Left at the first image changes nothing
      {0, -1, 0, 0},  // nor does Up
      {1, 0, 0, 1},  {0, 1, 0, 3},
      {1, 0, 1, 4},   // Right at the last pane scrolls by one image
      {0, 1, 3, 6},   // Down in the last row scrolls by one row
      {0, 1, 5, 8},  {0, 1, 6, 9},  // as far as images remain
      {1, 0, 6, 9},  {0, 1, 6, 9},
      {-1, 0, 6, 8}, {-1, 0, 6, 7},
      {0, -1, 4, 5},  // Up in the first row scrolls back by one row
      {-1, 0, 4, 4},
      {-1, 0, 3, 3},  // Left at the first pane scrolls back by one image
      {0, -1, 1, 1},
  };
  Fixture f(10);
  f.grid.showTile(f.grid.tile(0), 4);
  f.grid.click(f.grid.tile(0), 0);
  for (const Step& s : steps) {
    f.grid.arrowKey(s.dx, s.dy, 2, 2);
    EXPECT_EQ(f.grid.pageStart(), s.pageStart) << s.dx << "," << s.dy;
    EXPECT_EQ(f.current(), s.current) << s.dx << "," << s.dy;
    EXPECT_EQ(f.selection().find('1'), std::size_t(s.current));
    EXPECT_EQ(f.selection().rfind('1'), std::size_t(s.current));
  }
}

TEST(GridPaging, AnArrowToAPaneWithoutATileChangesNothing) {
  Fixture f(3);
  f.grid.showTile(f.grid.tile(0), 4);
  f.grid.click(f.grid.tile(1), 0);
  EXPECT_FALSE(f.grid.arrowKey(0, 1, 2, 2));  // pane 3 is empty
  EXPECT_EQ(f.current(), 1);
  EXPECT_EQ(f.grid.pageStart(), 0);
}

TEST(GridPaging, ShowTileKeepsThePageFull) {
  Fixture f(10);
  struct {
    int tile, page, start, lastStart;
  } cases[] = {{0, 4, 0, 0}, {5, 4, 5, 2}, {9, 4, 6, 6}, {8, 16, 0, 0}, {2, 1, 2, 2}};
  for (const auto& c : cases) {
    f.grid.showTile(f.grid.tile(c.tile), c.page);
    EXPECT_EQ(f.grid.pageStart(), c.start) << c.tile << " on " << c.page;
    f.grid.showTileLast(f.grid.tile(c.tile), c.page);
    EXPECT_EQ(f.grid.pageStart(), c.lastStart) << c.tile << " on " << c.page;
    EXPECT_EQ(f.grid.pageSize(), c.page);
  }
}

// The image point under a pane point, unrounded.
double imageX(const CDisplayTile& t, double px) {
  return (px - t.viewportWidth / 2) / t.zoom + t.image->width() * t.centreX;
}
double imageY(const CDisplayTile& t, double py) {
  return (py - t.viewportHeight / 2) / t.zoom + t.image->height() * t.centreY;
}

TEST(GridTools, ZoomWithMovePositionKeepsThePressedPointInPlace) {
  Fixture f(2, 1000, 800);
  f.grid.tile(1)->bind(f.images[1].get(), 4095);
  f.grid.selectAll(true);
  f.grid.makeCurrent(f.grid.tile(0));
  for (int i = 0; i < 2; ++i) {
    f.grid.tile(i)->fitToPane(400, 300);
    f.grid.tile(i)->setZoom(0.5);
    f.grid.tile(i)->setCentre(0.45, 0.55);
  }
  const int px = 100, py = 250;
  const double x0 = imageX(*f.grid.tile(0), px), y0 = imageY(*f.grid.tile(0), py);
  f.grid.startZoomDrag(400, 300, px, py);
  for (int dy : {-10, -10, -25, -40, 7, 30, -3, 60}) {
    f.grid.zoomStep(dy, true);
    for (int i = 0; i < 2; ++i) {
      const CDisplayTile& t = *f.grid.tile(i);
      EXPECT_NEAR(imageX(t, px), x0, 1.0) << "tile " << i << " zoom " << t.zoom;
      EXPECT_NEAR(imageY(t, py), y0, 1.0) << "tile " << i << " zoom " << t.zoom;
      const Point p = t.paneToImage(px, py);
      EXPECT_LE(std::abs(p.x - int(x0)), 1);
      EXPECT_LE(std::abs(p.y - int(y0)), 1);
    }
  }
  EXPECT_NE(f.grid.tile(0)->zoom, 0.5);

  // Without MovePosition only the zoom changes: 0.5 / 1.3, then x 1.2.
  f.grid.tile(0)->setZoom(0.5);
  f.grid.tile(1)->setZoom(0.5);
  const double cx = f.grid.tile(0)->centreX;
  f.grid.zoomStep(30, false);
  EXPECT_DOUBLE_EQ(f.grid.tile(1)->zoom, 0.5 / 1.3);
  f.grid.zoomStep(-20, false);
  EXPECT_DOUBLE_EQ(f.grid.tile(1)->zoom, 0.5 / 1.3 * 1.2);
  EXPECT_EQ(f.grid.tile(0)->centreX, cx);
  // The steps stop at the zoom limits.
  for (int i = 0; i < 40; ++i) f.grid.zoomStep(-90, false);
  EXPECT_EQ(f.grid.tile(1)->zoom, kMaxZoom);
  for (int i = 0; i < 80; ++i) f.grid.zoomStep(90, false);
  EXPECT_EQ(f.grid.tile(1)->zoom, kMinZoom);
}

TEST(GridTools, HandAndToneCurveArithmetic) {
  Fixture f(2, 1000, 800);
  f.grid.selectAll(true);
  f.grid.makeCurrent(f.grid.tile(0));
  f.grid.applyZoom(2.0);
  f.grid.applyCentre(0.5, 0.5);
  f.grid.hand(50, -40);
  for (int i = 0; i < 2; ++i) {
    EXPECT_DOUBLE_EQ(f.grid.tile(i)->centreX, 0.5 - 25.0 / 1000);
    EXPECT_DOUBLE_EQ(f.grid.tile(i)->centreY, 0.5 + 20.0 / 800);
  }
  struct {
    int centre, width, dx, dy, newCentre, newWidth;
  } tones[] = {
      {2048, 4095, 10, 0, 2457, 4095},   // 2048 + 4095 x 10 / 100
      {2048, 4095, 0, 10, 2048, 4368},   // 4095 + 40950 / (200 - 50)
      {2048, 1000, -5, -3, 1844, 935},   // 1000 - 12285 / (200 - 12)
      {100, 50, -10, -10, 0, 1},         // clamped by the grey table
  };
  for (const auto& t : tones) {
    f.grid.applyWindow(t.centre, t.width, 0);
    f.grid.toneCurve(t.dx, t.dy);
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(f.grid.tile(i)->windowCentre, t.newCentre) << t.centre << " " << t.dx;
      EXPECT_EQ(f.grid.tile(i)->windowWidth, t.newWidth) << t.width << " " << t.dy;
    }
    EXPECT_EQ(f.grid.mirror().windowCentre, t.newCentre);
  }
}

TEST(GridTools, DoubleClicks) {
  Fixture f(2, 1000, 800);
  platform::QueueTarget frame([&](const platform::Message& m) { f.commands.push_back(int(m.wParam)); });
  f.grid.setMainFrame(frame.handle());
  f.grid.selectAll(true);
  f.grid.makeCurrent(f.grid.tile(0));
  f.grid.applyZoom(3.0);
  f.grid.applyCentre(0.1, 0.9);
  f.grid.doubleClick(kToolHand);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(f.grid.tile(i)->zoom, 0.2);  // min(200 / 1000, 160 / 800)
    EXPECT_EQ(f.grid.tile(i)->centreX, 0.5);
  }
  f.images[0]->setRoi(Rect{0, 0, 10, 1});  // samples 0, 7, ..., 63
  f.grid.doubleClick(kToolToneCurve);
  EXPECT_EQ(f.grid.tile(1)->windowCentre, 31);
  EXPECT_EQ(f.grid.tile(1)->windowWidth, 63);
  f.view.pump();
  f.commands.clear();
  f.grid.doubleClick(kToolRectangle);
  frame.pump();
  EXPECT_EQ(f.commands, std::vector<int>{ID_EDIT_SELECT_ALL});
}

TEST(GridCommands, TheViewCommandsOnTheSelectedTiles) {
  Fixture f(3, 1000, 800);
  for (int i = 0; i < 3; ++i) f.grid.tile(i)->fitToPane(400, 300);
  f.grid.click(f.grid.tile(0), 0);
  f.grid.click(f.grid.tile(1), kCtrlFlag);
  f.grid.makeCurrent(f.grid.tile(0));
  CDisplayTile& other = *f.grid.tile(2);
  const double otherZoom = other.zoom;

  f.images[0]->setRoi(Rect{300, 260, 100, 200});  // dragged up and left
  f.grid.displayMarquee();
  for (int i = 0; i < 2; ++i) {
    EXPECT_DOUBLE_EQ(f.grid.tile(i)->centreX, 200.0 / 1000);
    EXPECT_DOUBLE_EQ(f.grid.tile(i)->centreY, 230.0 / 800);
    EXPECT_EQ(f.grid.tile(i)->zoom, 2.0);  // min(300 / 60, 400 / 200)
  }
  f.grid.displayPixelToPixel();
  EXPECT_EQ(f.grid.tile(1)->zoom, 1.0);
  f.grid.displayWholeImage();
  EXPECT_EQ(f.grid.tile(1)->zoom, 0.375);  // min(400 / 1000, 300 / 800)
  EXPECT_EQ(f.grid.tile(1)->centreY, 0.5);

  f.images[0]->setRoi(Rect{0, 0, 3, 1});  // 0, 7, 14
  f.images[1]->setRoi(Rect{100, 0, 102, 1});  // 700, 707
  f.grid.tile(0)->setWindow(10, 10, 1);
  f.grid.optimizeTonecurve();
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(f.grid.tile(i)->windowCentre, 353);
    EXPECT_EQ(f.grid.tile(i)->windowWidth, 707);
    EXPECT_EQ(f.grid.tile(i)->userInvert, 1);
  }
  f.grid.applySharpness(1.5);
  f.grid.clearSharpness();
  EXPECT_EQ(f.grid.tile(1)->sharpness, 0.0);
  EXPECT_EQ(other.zoom, otherZoom) << "unselected tiles keep their display";
  EXPECT_NE(other.windowWidth, 707);
  f.view.pump();
  EXPECT_NE(std::find(f.commands.begin(), f.commands.end(), IDM_REDRAW_PANES), f.commands.end());
}

TEST(GridModes, SingleAndDuplicateModesAndBack) {
  Fixture f(4);
  f.grid.click(f.grid.tile(2), 0);
  f.grid.tile(2)->setWindow(900, 300, 0);
  f.grid.tile(2)->setSharpness(0.5);
  f.grid.setMode(CDisplayGrid::kDuplicate);
  EXPECT_EQ(f.grid.count(), 2);
  EXPECT_EQ(f.grid.tile(0), &f.grid.tileA());
  EXPECT_EQ(f.grid.tile(1), &f.grid.tileB());
  EXPECT_EQ(f.grid.currentTile(), &f.grid.tileA());
  for (CDisplayTile* t : {&f.grid.tileA(), &f.grid.tileB()}) {
    EXPECT_EQ(t->image, f.images[2].get());
    EXPECT_EQ(t->windowCentre, 900);
    EXPECT_EQ(t->sharpness, 0.5);
    EXPECT_EQ(t->centreX, 0.5);
  }
  f.grid.setMode(CDisplayGrid::kNormal);
  EXPECT_EQ(f.grid.count(), 4);
  EXPECT_EQ(f.current(), 2);
  EXPECT_EQ(f.grid.tileA().image, nullptr);
  f.grid.setMode(CDisplayGrid::kSingle);
  EXPECT_EQ(f.grid.count(), 1);
  EXPECT_EQ(f.grid.visibleTile(0), &f.grid.tileA());
  EXPECT_EQ(f.grid.visibleTile(1), nullptr);
}

TEST(GridTiles, AddTilesUpToTheCapacity) {
  CDisplayGrid grid;
  EXPECT_TRUE(grid.addTiles(1000, false));
  EXPECT_FALSE(grid.addTiles(30, true));
  EXPECT_EQ(grid.tileCount(), CDisplayGrid::kCapacity);
  EXPECT_TRUE(grid.addTiles(2, false));
  EXPECT_EQ(grid.tileCount(), 2);
  EXPECT_EQ(grid.currentTile(), grid.tile(0));
  grid.showNames(false);
  EXPECT_EQ(grid.tile(1)->showName, 0);
}

}  // namespace
}  // namespace viewer::display
