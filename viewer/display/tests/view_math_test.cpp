// The window-free arithmetic of the view and the panes.
#include <gtest/gtest.h>

#include <string>

#include "viewer/display/display.h"

namespace viewer::display {
namespace {

TEST(MaximumViews, LayoutsByImageCount) {
  struct {
    int images;
    Layout layout;
  } cases[] = {{1, {1, 1}},  {2, {1, 2}},  {3, {1, 3}},  {4, {2, 2}},   {5, {2, 3}},  {9, {3, 3}},
               {10, {3, 4}}, {17, {4, 5}}, {63, {7, 8}}, {64, {8, 8}}, {100, {8, 8}}, {512, {8, 8}}};
  for (const auto& c : cases) EXPECT_EQ(maximumViewsLayout(c.images), c.layout) << c.images;
}

TEST(PrintFit, EightyPercentOfTheLimitingSideCentred) {
  struct {
    const char* name;
    std::int64_t pageW, pageH, imageW, imageH;
    PrintPlacement placement;
  } cases[] = {
      {"wide", 4960, 7015, 10000, 1000, {496, 3309, 3968, 396}},
      {"tall", 4960, 7015, 1000, 10000, {2199, 701, 561, 5612}},
      {"tall film on A4", 4960, 7015, 5000, 14000, {1478, 701, 2004, 5612}},
      {"page-shaped", 4960, 7015, 4960, 7015, {496, 701, 3968, 5612}},
      // 5612 x 138 / 1058 is 732 exactly; 5612 / 1058 x 138 in floating point truncates to 731.
      {"whole-number width", 4960, 7015, 138, 1058, {2114, 701, 732, 5612}},
      {"huge image, huge page", 2000000000, 1000000000, 65535, 65535, {600000000, 100000000, 800000000, 800000000}},
      {"empty image", 4960, 7015, 0, 100, {0, 0, 0, 0}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(printFit(c.pageW, c.pageH, c.imageW, c.imageH), c.placement) << c.name;
}

TEST(RoiZone, EdgesCornersInsideAndOutside) {
  const Rect roi{100, 100, 200, 150};
  struct {
    int x, y, zone;
  } cases[] = {{50, 50, -1},  {150, 120, 0}, {102, 120, 1}, {198, 120, 2}, {150, 103, 4},
               {150, 148, 8}, {101, 101, 5}, {199, 101, 6}, {101, 149, 9}, {199, 149, 10},
               {96, 120, 1},  {94, 120, -1}, {204, 154, 10}, {206, 120, -1}};
  for (const auto& c : cases) EXPECT_EQ(roiZone(c.x, c.y, roi), c.zone) << c.x << "," << c.y;
  EXPECT_EQ(roiZone(150, 120, Rect{}), -1);
  // A ROI narrower than the edge distance: both vertical edges at once.
  EXPECT_EQ(roiZone(102, 120, Rect{100, 100, 104, 150}), 3);
}

TEST(RoiEdit, NewRectanglesCoverThePointerWhicheverWayTheyAreDragged) {
  RoiEdit edit;
  edit.start(-1, Point{10, 10}, Rect{});
  EXPECT_TRUE(edit.rect().empty()) << "a single point is an empty ROI";
  struct {
    Point p;
    Rect r;
  } moves[] = {{{5, 4}, {5, 4, 11, 11}},  // right to left: the pointer's pixel is inside
               {{20, 30}, {10, 10, 21, 31}},
               {{10, 10}, {10, 10, 11, 11}},
               {{9, 12}, {9, 10, 11, 13}}};
  for (const auto& m : moves) EXPECT_EQ(edit.move(m.p), m.r) << m.p.x << "," << m.p.y;
  edit.end();
  EXPECT_FALSE(edit.editing());
}

TEST(RoiEdit, ZonesMoveTheirCornerEdgeOrTheWholeRectangle) {
  const Rect roi{100, 100, 200, 150};
  struct {
    const char* name;
    int zone;
    Point press, to;
    Rect r;
  } cases[] = {
      {"whole", 0, {150, 120}, {160, 125}, {110, 105, 210, 155}},
      {"whole, narrow", 3, {150, 120}, {140, 120}, {90, 100, 190, 150}},
      {"bottom-right corner", 10, {200, 150}, {250, 170}, {100, 100, 251, 171}},
      {"bottom-right past the anchor", 10, {200, 150}, {50, 60}, {50, 60, 101, 101}},
      {"top-left corner", 5, {100, 100}, {120, 110}, {120, 110, 200, 150}},
      {"top-right corner", 6, {200, 100}, {300, 90}, {100, 90, 301, 150}},
      {"bottom-left corner", 9, {100, 150}, {99, 149}, {99, 100, 200, 150}},
      {"left edge", 1, {100, 120}, {80, 500}, {80, 100, 200, 150}},
      {"left edge of a flat ROI", 13, {100, 120}, {80, 500}, {80, 100, 200, 150}},
      {"right edge past the left", 2, {200, 120}, {40, 0}, {40, 100, 101, 150}},
      {"bottom edge", 8, {150, 150}, {999, 170}, {100, 100, 200, 171}},
      {"top edge of a narrow ROI", 7, {150, 100}, {0, 90}, {100, 90, 200, 150}},
  };
  for (const auto& c : cases) {
    RoiEdit edit;
    edit.start(c.zone, c.press, roi);
    EXPECT_EQ(edit.rect(), roi) << c.name << ": the start leaves the ROI as it is";
    EXPECT_EQ(edit.move(c.to), c.r) << c.name;
  }
}

}  // namespace
}  // namespace viewer::display
