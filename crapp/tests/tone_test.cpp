// The preview's tone table and where the preview lands in its pane.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "crapp/miniscreen.h"

namespace {

using crapp::GetLutForToneAdjust;
using crapp::ToneParameters;

constexpr int kW = 500, kH = 670;

std::vector<std::uint16_t> table8(const std::vector<std::uint8_t>& pixels, int* built,
                                  const ToneParameters& tone = ToneParameters::forDepth(12)) {
  std::vector<std::uint16_t> t(256, 0xBEEF);
  *built = GetLutForToneAdjust(pixels.data(), kW, kH, 8, t.data(), tone);
  return t;
}

TEST(ToneTable, ParametersFollowTheDepth) {
  struct Case {
    int depth, base, para1, para2;
  } cases[] = {{12, 4096, 3000, 1024}, {14, 16384, 12000, 4096}, {16, 65536, 48000, 16384}};
  for (const Case& c : cases) {
    const ToneParameters t = ToneParameters::forDepth(c.depth);
    EXPECT_EQ(t.base, c.base) << c.depth;
    EXPECT_EQ(t.para1, c.para1) << c.depth;
    EXPECT_EQ(t.para2, c.para2) << c.depth;
  }
}

TEST(ToneTable, FullRangeWhenTheOnePercentPointIsAbove187OrAllIsZero) {
  // A dark plate (inverted, so high values) and an empty one both get the
  // full-range table: v becomes v * 255 / 256.
  for (std::uint8_t level : {std::uint8_t(200), std::uint8_t(188), std::uint8_t(0)}) {
    std::vector<std::uint8_t> pixels(std::size_t(kW) * kH, level);
    int built = 0;
    const auto t = table8(pixels, &built);
    ASSERT_EQ(built, 1) << int(level);
    for (int v = 0; v < 256; ++v) ASSERT_EQ(t[v], v * 255 / 256) << "level " << int(level) << " v " << v;
  }
}

TEST(ToneTable, ANormalPlateIsStretchedBetweenItsOnePercentPointAndItsTop) {
  // Rows 0 and 1 are left out: their 255s must not move the top.
  std::vector<std::uint8_t> pixels(std::size_t(kW) * kH);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) pixels[std::size_t(y) * kW + x] = y < 2 ? 255 : std::uint8_t(50 + x % 101);
  int built = 0;
  const auto t = table8(pixels, &built);
  ASSERT_EQ(built, 1);
  // 1 % of the whole pane is 3350 samples; each value 50..150 holds 5 or 4 per
  // row of 500 over 668 rows, so the running sum passes it at 51.
  const int low = 51, high = 150, span = high - low;
  for (int v = 0; v < 256; ++v) {
    const int expected = v < low ? 0 : v < high ? (v - low) * 255 / span : 255;
    ASSERT_EQ(t[v], expected) << v;
  }
}

TEST(ToneTable, ANarrowRangeFallsBackToTheFullRange) {
  // 100..130 spans less than 64 levels.
  std::vector<std::uint8_t> pixels(std::size_t(kW) * kH);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = std::uint8_t(100 + i % 31);
  int built = 0;
  const auto t = table8(pixels, &built);
  ASSERT_EQ(built, 1);
  EXPECT_EQ(t[100], 100 * 255 / 256);
  EXPECT_EQ(t[255], 254);
}

TEST(ToneTable, AdjustingAppliesTheTableInPlace) {
  std::vector<std::uint8_t> pixels(std::size_t(kW) * kH, 200);
  crapp::AdjustContrastBright(kW, kH, 8, pixels.data(), ToneParameters::forDepth(16));
  for (std::uint8_t p : pixels) ASSERT_EQ(p, 200 * 255 / 256);
}

TEST(ToneTable, SixteenBitWordsAboveTheDepthDoNotReachPastTheTable) {
  std::vector<std::uint16_t> pixels(std::size_t(kW) * kH, 0xFFFF);
  pixels[2 * kW] = 100;
  crapp::AdjustContrastBright(kW, kH, 12, pixels.data(), ToneParameters::forDepth(12));
  EXPECT_EQ(pixels[2 * kW], 100 * 4095 / 4096);
  EXPECT_EQ(pixels.back(), 4095 * 4095 / 4096);
}

TEST(PaneGeometry, TheImageKeepsItsProportionsWithinBlackMargins) {
  struct Case {
    int w, h, paneW, paneH;
    crapp::PaneGeometry expected;
  } cases[] = {
      {500, 670, 500, 670, {0, 0, 500, 670}},    // equal proportions: no margins
      {1000, 1340, 250, 335, {0, 0, 250, 335}},  // equal, scaled down
      {100, 400, 392, 502, {133, 0, 125, 501}},  // taller: bands left and right (truncated)
      {400, 100, 392, 502, {0, 202, 392, 98}},   // wider: bands above and below
      {0, 100, 392, 502, {0, 0, 0, 0}},          // nothing to show
  };
  for (const Case& c : cases) {
    const crapp::PaneGeometry g = crapp::fitToPane(c.w, c.h, c.paneW, c.paneH);
    EXPECT_EQ(g.x, c.expected.x) << c.w << "x" << c.h;
    EXPECT_EQ(g.y, c.expected.y) << c.w << "x" << c.h;
    EXPECT_EQ(g.width, c.expected.width) << c.w << "x" << c.h;
    EXPECT_EQ(g.height, c.expected.height) << c.w << "x" << c.h;
  }
}

}  // namespace
