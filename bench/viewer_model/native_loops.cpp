#include "bench/viewer_model/native_loops.h"

namespace bench_model {

Counts countRowsNative(const std::uint16_t* p, std::size_t width, int x0, int x1, int y0, int y1) {
  Counts c;
  for (int y = y0; y < y1; ++y) {
    const std::uint16_t* row = p + std::size_t(y) * width;
    std::uint16_t lo = 4095, hi = 0, high = 0;
    std::uint32_t sum = 0;
    for (int x = x0; x < x1; ++x) {
      const std::uint16_t v = row[x];
      high |= v;
      const std::uint16_t b = v < 4095 ? v : 4095;
      lo = b < lo ? b : lo;
      hi = b > hi ? b : hi;
      sum += b;
    }
    c.lo = lo < c.lo ? lo : c.lo;
    c.hi = hi > c.hi ? hi : c.hi;
    c.high |= high;
    c.sum += sum;
  }
  return c;
}

std::uint64_t rowPassNative(const std::uint16_t* p, std::size_t width, int x0, int x1, int y0, int y1) {
  std::uint64_t total = 0;
  for (int y = y0; y < y1; ++y) {
    const std::uint16_t* row = p + std::size_t(y) * width;
    std::uint32_t sum = 0;
    for (int x = x0; x < x1; ++x) sum += row[x];
    total += sum;
  }
  return total;
}

}  // namespace bench_model
