// Fitting a requested scan length to whole blocks of equal height.
#pragma once

#include <cstdint>
#include <utility>

namespace crengine {

struct BlockFit {
  std::uint32_t totalMm = 0;   // fitted scan length
  std::uint32_t blocks = 0;    // block count
  std::uint32_t linesPerBlock = 0;
};

// Two factors of h for use as block counts ((h, 0) when it does not split).
std::pair<std::uint32_t, std::uint32_t> splitFactors(std::uint32_t h);

// heightMm and pitchUm must be at least 1.
BlockFit fitScanLength(std::uint32_t heightMm, std::uint32_t pitchUm);

}  // namespace crengine
