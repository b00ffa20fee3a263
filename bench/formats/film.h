// The film every format benchmark reads and writes: a radiograph-like 12-bit
// image with a slow density wave, a weld seam and noise.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "viewer/image_model.h"

namespace bench_formats {

constexpr int kFilmWidth = 7300, kFilmHeight = 8640;

// 16-bit words holding 12 bits (bytesPerSample 2) or their top 8 bits (1).
inline void makeFilm(viewer::CImageItem& image, int bytesPerSample, int width = kFilmWidth, int height = kFilmHeight) {
  image.allocate(bytesPerSample, width, height);
  std::uint32_t noise = 12345;
  for (int y = 0; y < height; ++y) {
    const double seam = std::exp(-std::pow((y - height / 2) / 300.0, 2));
    for (int x = 0; x < width; ++x) {
      noise = noise * 1664525u + 1013904223u;
      double v = 1800 + 900 * std::sin(x / 450.0) * std::cos(y / 520.0) + 1100 * seam + double(noise >> 27);
      v = std::clamp(v, 0.0, 4095.0);
      const std::size_t i = std::size_t(y) * std::size_t(width) + std::size_t(x);
      if (bytesPerSample == 2) image.data16()[i] = std::uint16_t(v);
      else image.data()[i] = std::uint8_t(int(v) >> 4);
    }
  }
  image.bitsStored = bytesPerSample == 2 ? 12 : 8;
  image.pitch = 50;
  image.odRange = 40;
}

}  // namespace bench_formats
