// An image whose samples all differ and lie above the grey tables' floor of
// 21, shown through the window that maps every sample to itself: each byte of
// a rendering names the pixel drawn there, and 0 (the pane background) none.
#pragma once

#include <cstdint>
#include <memory>

#include "viewer/display/display.h"

namespace viewer::display::testing {

// Gives a 16-bit image of at most 235 pixels its named samples; false for
// any other.
inline bool nameEveryPixel(CImageItem& item) {
  const int n = item.width() * item.height();
  if (item.bytesPerSample() != 2 || n < 1 || n > 235) return false;
  for (int i = 0; i < n; ++i) item.data16()[i] = std::uint16_t(21 + i);
  item.bitsStored = 12;
  item.maxValue = 4095;
  item.setRoi(Rect{});
  return true;
}

inline std::unique_ptr<CImageItem> namedPixels(int w, int h) {
  auto item = std::make_unique<CImageItem>();
  if (!item->allocate(2, w, h) || !nameEveryPixel(*item)) return nullptr;
  return item;
}

// The window under which sample v shows as grey v.
inline constexpr int kIdentityCentre = 128, kIdentityWidth = 256;

// The pixel a rendered byte names; (-1, -1) for the background.
inline Point pixelNamed(int byte, int imageWidth) {
  if (byte < 21) return Point{-1, -1};
  return Point{(byte - 21) % imageWidth, (byte - 21) / imageWidth};
}

}  // namespace viewer::display::testing
