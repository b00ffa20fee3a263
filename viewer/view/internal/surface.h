// Putting a pane's 8-bit grey bitmap on the window: the window surface is
// 32-bit, and a conversion by the painter per paint costs more than the render.
#pragma once

#include <QPoint>
#include <QRegion>
#include <cstddef>
#include <cstdint>

#include "viewer/display/display.h"

class QPainter;

namespace viewer::view::internal {

// n bytes of the pane bitmap as opaque 32-bit pixels of the pane colour table.
// Its stores go around the cache; expandDone() orders them before what any
// other thread or process does next with dst.
void expandGrey(const std::uint8_t* src, std::uint32_t* dst, std::size_t n);
void expandDone();

// Puts rows of a bitmap inside region (pane coordinates, its pixel (0, 0) at
// the pane's origin) straight into the 32-bit image p paints on, while p
// draws one to one onto one; otherwise usable() is false and nothing is put.
// The bitmap must keep its size while this lives.
class DirectRows {
 public:
  DirectRows(QPainter& p, const QRegion& region, const display::Bitmap& bitmap);
  ~DirectRows();
  DirectRows(const DirectRows&) = delete;
  DirectRows& operator=(const DirectRows&) = delete;
  bool usable() const { return base_ != nullptr; }
  // Bitmap rows y0..y1-1.
  void put(int y0, int y1);

 private:
  const display::Bitmap& bitmap_;
  QRegion target_;  // in image coordinates
  QPoint offset_;
  unsigned char* base_ = nullptr;
  std::size_t line_ = 0;
};

// Paints the bitmap (its pixel (0, 0) at the pane's origin) inside region, in
// pane coordinates. Straight into the painter's 32-bit image where it draws
// one to one onto one, else through the painter.
void drawGreyBitmap(QPainter& p, const QRegion& region, const display::Bitmap& bitmap);

// Whether drawGreyBitmap writes straight into what p paints on.
bool paintsDirectly(QPainter& p);

}  // namespace viewer::view::internal
