// The window-free arithmetic of the view and its panes.
#include <algorithm>
#include <cstdlib>

#include "viewer/display/display.h"

namespace viewer::display {

Layout maximumViewsLayout(int n) {
  if (n < 1) return Layout{1, 1};
  int root = 1;
  while ((root + 1) * (root + 1) <= n && root < 8) ++root;
  const int columns = std::min(root, 8);
  return Layout{columns, std::min((n + columns - 1) / columns, 8)};
}

PrintPlacement printFit(std::int64_t pageWidth, std::int64_t pageHeight, std::int64_t imageWidth,
                        std::int64_t imageHeight) {
  // Sides are at most 2^31 each, so every product below fits in 64 bits and
  // the comparison of the two ratios is exact.
  constexpr std::int64_t kSide = std::int64_t(1) << 31;
  if (pageWidth < 1 || pageHeight < 1 || imageWidth < 1 || imageHeight < 1 || pageWidth > kSide ||
      pageHeight > kSide || imageWidth > kSide || imageHeight > kSide)
    return PrintPlacement{};
  PrintPlacement p;
  if (pageHeight * imageWidth < pageWidth * imageHeight) {
    p.height = 8 * pageHeight / 10;
    p.width = p.height * imageWidth / imageHeight;
  } else {
    p.width = 8 * pageWidth / 10;
    p.height = p.width * imageHeight / imageWidth;
  }
  p.x = (pageWidth - p.width) / 2;
  p.y = (pageHeight - p.height) / 2;
  return p;
}

int roiZone(int x, int y, const Rect& r) {
  if (r.empty()) return -1;
  constexpr int kNear = 5;
  if (x < r.left - kNear || x > r.right + kNear || y < r.top - kNear || y > r.bottom + kNear) return -1;
  return (std::abs(x - r.left) < kNear ? 1 : 0) + (std::abs(x - r.right) < kNear ? 2 : 0) +
         (std::abs(y - r.top) < kNear ? 4 : 0) + (std::abs(y - r.bottom) < kNear ? 8 : 0);
}

void RoiEdit::start(int zone, Point press, const Rect& roi) {
  zone_ = zone;
  last_ = press;
  whole_ = moveX_ = moveY_ = false;
  if (zone < 0 || zone > 15 || roi.empty()) {
    zone_ = -1;
    anchor_ = moving_ = press;
    moveX_ = moveY_ = true;
    return;
  }
  // Corners are pixels: the anchor is the last pixel inside on its side, the
  // moving corner the edge just beyond, so the rectangle from one to the
  // other is the ROI as it stands.
  const bool left = zone & 1, right = zone & 2, top = zone & 4, bottom = zone & 8;
  switch (zone) {
    case 0: case 3: case 12: case 15:
      whole_ = true;
      anchor_ = Point{roi.left, roi.top};
      moving_ = Point{roi.right, roi.bottom};
      return;
    default: break;
  }
  const bool vertical = zone == 1 || zone == 2 || zone == 13 || zone == 14;
  const bool horizontal = zone == 4 || zone == 7 || zone == 8 || zone == 11;
  moveX_ = !horizontal;
  moveY_ = !vertical;
  const bool movesLeft = moveX_ && left && !right;
  const bool movesTop = moveY_ && top && !bottom;
  anchor_.x = movesLeft ? roi.right - 1 : roi.left;
  moving_.x = movesLeft ? roi.left : roi.right;
  anchor_.y = movesTop ? roi.bottom - 1 : roi.top;
  moving_.y = movesTop ? roi.top : roi.bottom;
}

Rect RoiEdit::normalised() const {
  Rect r;
  if (moving_.x < anchor_.x) r.left = moving_.x, r.right = anchor_.x + 1;
  else r.left = anchor_.x, r.right = moving_.x;
  if (moving_.y < anchor_.y) r.top = moving_.y, r.bottom = anchor_.y + 1;
  else r.top = anchor_.y, r.bottom = moving_.y;
  return r;
}

Rect RoiEdit::move(Point p) {
  if (whole_) {
    const int dx = p.x - last_.x, dy = p.y - last_.y;
    anchor_.x += dx;
    anchor_.y += dy;
    moving_.x += dx;
    moving_.y += dy;
  } else {
    // At or beyond the anchor the corner goes one pixel further, so the
    // pointer's pixel is inside.
    if (moveX_) moving_.x = p.x >= anchor_.x ? p.x + 1 : p.x;
    if (moveY_) moving_.y = p.y >= anchor_.y ? p.y + 1 : p.y;
  }
  last_ = p;
  return normalised();
}

}  // namespace viewer::display
