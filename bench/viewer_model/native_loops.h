// The references of bench_viewer_model, built for the running processor.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bench_model {

// The open's statistics loop as the model writes it: per row, in 16-bit
// lanes, the least and greatest sample clipped to 4095, their sum, and all
// samples ORed together.
struct Counts {
  unsigned lo = 4095, hi = 0, high = 0;
  std::uint64_t sum = 0;
};
Counts countRowsNative(const std::uint16_t* p, std::size_t width, int x0, int x1, int y0, int y1);

// One row-major pass: the sum of every row of columns [x0, x1), rows [y0, y1).
std::uint64_t rowPassNative(const std::uint16_t* p, std::size_t width, int x0, int x1, int y0, int y1);

}  // namespace bench_model
