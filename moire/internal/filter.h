// The filter pass behind deMoireFunc, on a checked set of parameters.
#pragma once

#include <cstdint>

namespace fennick {

struct Job {
  int bits = 0;         // 1..16; above 8 the samples are 16-bit words
  int direction = 0;    // 0 smooth along x, 1 along y, 2 both
  bool gaussian = false;
  bool linear = false;  // the 2-tap linear path instead of cubic convolution
  bool detectChars = false;
  int hV = 2, hH = 2;   // smoothing half-widths in source samples
  int srcWidth = 0, srcHeight = 0, dstWidth = 0, dstHeight = 0;  // all > 0
  const void* src = nullptr;
  void* dst = nullptr;
};

// Half-width in source samples for a filter width in micrometres: ceil(width /
// pitch), at least 2 (also for a width that is not a number), at most cap.
int halfWidth(double width, int pitch, int cap);

// Writes the whole target and returns 0, or returns -1 without writing when
// the work storage would exceed the filter's limit or cannot be had.
int run(const Job& job);

}  // namespace fennick
