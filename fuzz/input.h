// A fuzz input read front to back; past its end every read gives zeros.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace fuzzing {

struct Input {
  const std::uint8_t* p;
  std::size_t left;
  std::uint8_t byte() {
    if (left == 0) return 0;
    --left;
    return *p++;
  }
  std::uint16_t word() { return std::uint16_t(byte() | byte() << 8); }
  // Up to n bytes, fewer where the input ends.
  std::vector<std::uint8_t> bytes(std::size_t n) {
    n = std::min(n, left);
    std::vector<std::uint8_t> b(p, p + n);
    p += n;
    left -= n;
    return b;
  }
};

}  // namespace fuzzing
