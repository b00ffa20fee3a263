#include "crengine/internal/fit.h"

#include <gtest/gtest.h>

namespace {

using crengine::fitScanLength;
using crengine::splitFactors;

struct FitCase {
  std::uint32_t height, pitch;
  std::uint32_t total, blocks, lines;
};

class FitTable : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitTable, FitsTheLengthToWholeBlocks) {
  const FitCase& c = GetParam();
  auto fit = fitScanLength(c.height, c.pitch);
  EXPECT_EQ(fit.totalMm, c.total);
  EXPECT_EQ(fit.blocks, c.blocks);
  EXPECT_EQ(fit.linesPerBlock, c.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FitTable,
    ::testing::Values(
        FitCase{350, 100, 350, 50, 70},    // 2 x 5 x 5 x 7 splits into 50 and 7
        FitCase{353, 100, 354, 59, 60},    // prime: 354 = 2 x 3 x 59 is the first fit
        FitCase{1, 100, 14, 7, 20},        // too few lines until 14 mm
        FitCase{430, 50, 430, 43, 200},
        FitCase{1058, 50, 1058, 46, 460},  // 23 x 23 is found only with the root of h itself
        FitCase{100, 200, 100, 20, 25},
        FitCase{5000, 1, 5000, 200, 25000},
        FitCase{4999, 255, 5000, 20, 980},   // candidates pass 5000: the fallback
        FitCase{5000, 7, 5000, 20, 35714},   // no candidate fits: the fallback
        FitCase{11, 255, 20, 20, 3}));       // fallback with too few lines (refused by the engine)

TEST(SplitFactors, SmallHeightsAndPrimes) {
  EXPECT_EQ(splitFactors(1), std::make_pair(1u, 0u));
  EXPECT_EQ(splitFactors(2), std::make_pair(2u, 0u));
  EXPECT_EQ(splitFactors(12), std::make_pair(4u, 3u));
  EXPECT_EQ(splitFactors(354), std::make_pair(59u, 6u));
  EXPECT_EQ(splitFactors(5000), std::make_pair(200u, 25u));
  // A prime above 500 falls back to h / 10, less one when not a multiple of 10.
  EXPECT_EQ(splitFactors(4999), std::make_pair(498u, 0u));
  EXPECT_EQ(splitFactors(997), std::make_pair(98u, 0u));
}

}  // namespace
