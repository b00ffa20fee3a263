// Putting a pane's 8-bit grey bitmap on the window: the window surface is
// 32-bit, and a conversion by the painter per paint costs more than the render.
#pragma once

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

// Paints the bitmap (its pixel (0, 0) at the pane's origin) inside region, in
// pane coordinates. Straight into the painter's 32-bit image where it draws
// one to one onto one, else through the painter.
void drawGreyBitmap(QPainter& p, const QRegion& region, const display::Bitmap& bitmap);

// Whether drawGreyBitmap writes straight into what p paints on.
bool paintsDirectly(QPainter& p);

}  // namespace viewer::view::internal
