#include "devapi/cr/internal/corrections.h"
#include "devapi/cr/tests/test_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <limits>
#include <random>

namespace zentrac {
namespace {

using testing::BlockImage;

// The line correction written straight from its definition: every box mean
// and every window taken afresh from a pristine copy.
bool naiveLineCorrection(BlockImage& img, std::size_t first, std::size_t last, int depth,
                         const CorrectionParams& p) {
  const long w = static_cast<long>(img.width());
  const long n = static_cast<long>(last) - static_cast<long>(first) + 1;
  if (w < 2 || n < 2 || p.boxHeight < 2 || p.boxWidth < 1 || n < p.boxHeight) return false;
  const int d = depth == 16 ? 14 : depth;
  const long maxval = (1L << d) - 1;
  const BlockImage pristine(img);
  const long half = p.boxHeight / 2;
  const long o = (static_cast<long>(p.boxWidth) - 1) / 2;
  const long leftExtent = static_cast<long>(p.boxWidth) - 1 - o;
  for (long c = static_cast<long>(first) + half - 1; c <= static_cast<long>(last) - half; ++c) {
    std::vector<long> dev(w);
    std::vector<bool> ok(w);
    for (long x = 0; x < w; ++x) {
      long sum = 0;
      for (long y = c - half + 1; y <= c + half; ++y) sum += pristine.at(y, x);
      dev[x] = (sum + p.boxHeight / 2) / p.boxHeight - pristine.at(c, x);
      ok[x] = dev[x] >= -static_cast<long>(p.delta) && dev[x] <= p.delta;
    }
    for (long x = 0; x < w; ++x) {
      long sum = 0, count = 0;
      for (long k = std::max(0L, x - leftExtent); k <= std::min(w - 1, x + o); ++k)
        if (ok[k]) sum += dev[k], ++count;
      const long corr = count ? (sum >= 0 ? sum + count / 2 : sum - count / 2) / count : 0;
      const long v = pristine.at(c, x);
      if (v >= p.minPixValue && v <= p.maxPixValue) img.at(c, x) = static_cast<std::uint16_t>(std::clamp(v + corr, 0L, maxval));
    }
  }
  return true;
}

TEST(LineCorrection, SlidingEqualsNaiveOnRandomSmallImages) {
  std::mt19937 rng(20261210);
  auto uni = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const int depths[] = {12, 14, 16};
  int corrected = 0;
  for (int round = 0; round < 4000; ++round) {
    const std::size_t width = static_cast<std::size_t>(uni(1, 40));
    const std::size_t lines = static_cast<std::size_t>(uni(2, 30));
    const std::size_t perBlock = static_cast<std::size_t>(uni(1, static_cast<int>(lines)));
    CorrectionParams p;
    p.boxHeight = uni(1, 12);
    p.boxWidth = uni(0, 3) == 0 ? uni(1, 2) : uni(1, 90);
    p.delta = uni(0, 40);
    const int depth = depths[uni(0, 2)];
    p.minPixValue = uni(0, 3) == 0 ? 0 : uni(0, 300);
    p.maxPixValue = uni(0, 3) == 0 ? 4095 : uni(3800, 16383);
    BlockImage img(width, lines, perBlock);
    // Values straddling MIN and MAX, with line-to-line steps within and beyond DELTA.
    const int base = uni(0, 1) ? p.minPixValue : p.maxPixValue;
    for (std::size_t y = 0; y < img.lines(); ++y) {
      const int step = uni(-30, 30);
      for (std::size_t x = 0; x < width; ++x)
        img.at(y, x) = static_cast<std::uint16_t>(std::clamp(base + step + uni(-25, 25), 0, 65535));
    }
    const std::size_t first = static_cast<std::size_t>(uni(0, static_cast<int>(lines) - 1));
    const std::size_t last = static_cast<std::size_t>(uni(static_cast<int>(first), static_cast<int>(lines) - 1));

    BlockImage expected(img);
    const bool expectedOk = naiveLineCorrection(expected, first, last, depth, p);
    // The AVX-512 passes where the machine has them, and the portable ones.
    for (const bool avx512 : {true, false}) {
      BlockImage work(img);
      Corrections corrections;
      corrections.setAvx512(avx512);
      const bool ok = corrections.boxFilterLineCorrection(work.view(), first, last, depth, p);
      ASSERT_EQ(ok, expectedOk) << "round " << round << " avx512 " << avx512;
      ASSERT_TRUE(work == expected) << "round " << round << " avx512 " << avx512 << " width " << width << " lines "
                                    << first << ".." << last << " box " << p.boxWidth << "x" << p.boxHeight;
      corrected += ok;
    }
  }
  EXPECT_GT(corrected, 1000);  // the comparison covered real corrections, not only refusals
}

// Lines alternating between two levels: every box mean lies between them.
BlockImage stripedImage(std::size_t width, std::size_t lines, std::uint16_t even, std::uint16_t odd) {
  BlockImage img(width, lines, 5);
  for (std::size_t y = 0; y < lines; ++y)
    for (std::size_t x = 0; x < width; ++x) img.at(y, x) = y % 2 ? odd : even;
  return img;
}

TEST(LineCorrection, DefaultsCorrectLines3To95OfAHundred) {
  BlockImage img = stripedImage(50, 100, 1000, 1010);
  Corrections corrections;
  ASSERT_TRUE(corrections.boxFilterLineCorrection(img.view(), 0, 99, 12, CorrectionParams{}));
  for (std::size_t y = 0; y < 100; ++y) {
    const bool corrected = y >= 3 && y <= 95;
    const std::uint16_t want = corrected ? 1005 : (y % 2 ? 1010 : 1000);
    for (std::size_t x = 0; x < 50; ++x) ASSERT_EQ(img.at(y, x), want) << y << "," << x;
  }
}

TEST(LineCorrection, ColumnBeyondDeltaDoesNotPullItsNeighbours) {
  BlockImage clean = stripedImage(60, 40, 1000, 1010);
  BlockImage spiked(clean);
  for (std::size_t y = 0; y < 40; ++y) spiked.at(y, 20) += 300;  // a wire along the scan
  CorrectionParams p;
  p.boxWidth = 9;
  Corrections corrections;
  ASSERT_TRUE(corrections.boxFilterLineCorrection(clean.view(), 0, 39, 12, p));
  ASSERT_TRUE(corrections.boxFilterLineCorrection(spiked.view(), 0, 39, 12, p));
  for (std::size_t y = 0; y < 40; ++y) {
    for (std::size_t x = 0; x < 60; ++x) {
      if (x == 20) continue;
      ASSERT_EQ(spiked.at(y, x), clean.at(y, x)) << y << "," << x;
    }
    // The wire itself takes its neighbours' correction and keeps its contrast.
    ASSERT_EQ(spiked.at(y, 20), clean.at(y, 20) + 300) << y;
  }
}

TEST(LineCorrection, PixelsOutsideMinMaxAreNeverChanged) {
  BlockImage img = stripedImage(30, 20, 1000, 1010);
  img.at(10, 5) = 4096;
  img.at(11, 6) = 5000;
  img.at(12, 7) = 65535;
  img.at(13, 8) = 499;
  CorrectionParams p;
  p.minPixValue = 500;
  Corrections corrections;
  ASSERT_TRUE(corrections.boxFilterLineCorrection(img.view(), 0, 19, 16, p));
  EXPECT_EQ(img.at(10, 5), 4096);
  EXPECT_EQ(img.at(11, 6), 5000);
  EXPECT_EQ(img.at(12, 7), 65535);
  EXPECT_EQ(img.at(13, 8), 499);
  EXPECT_EQ(img.at(10, 6), 1005);
}

TEST(LineCorrection, ResultIsClampedToTheDepth) {
  CorrectionParams p;
  p.maxPixValue = 65535;
  for (auto [depth, want] : {std::pair{12, 4095}, std::pair{14, 4105}, std::pair{16, 4105}}) {
    BlockImage img = stripedImage(10, 20, 4095, 4115);
    Corrections corrections;
    ASSERT_TRUE(corrections.boxFilterLineCorrection(img.view(), 0, 19, depth, p));
    EXPECT_EQ(img.at(8, 3), want) << depth;
    EXPECT_EQ(img.at(9, 3), want) << depth;
  }
}

TEST(LineCorrection, CostlessHugeBoxEqualsAWholeLineBox) {
  BlockImage a(37, 30, 7);
  std::mt19937 rng(7);
  for (std::size_t y = 0; y < 30; ++y)
    for (std::size_t x = 0; x < 37; ++x) a.at(y, x) = static_cast<std::uint16_t>(2000 + rng() % 40);
  BlockImage b(a);
  CorrectionParams whole;
  whole.boxWidth = 4 * 37 + 1;
  CorrectionParams huge;
  huge.boxWidth = INT_MAX;
  Corrections corrections;
  ASSERT_TRUE(corrections.boxFilterLineCorrection(a.view(), 0, 29, 12, whole));
  ASSERT_TRUE(corrections.boxFilterLineCorrection(b.view(), 0, 29, 12, huge));
  EXPECT_TRUE(a == b);
}

TEST(LineCorrection, RefusesWhatItCannotCorrect) {
  struct Case {
    const char* what;
    std::size_t width, lines, first, last;
    int boxHeight, boxWidth, depth;
  };
  const Case cases[] = {
      {"one column", 1, 20, 0, 19, 8, 401, 12},
      {"one line", 10, 20, 5, 5, 8, 401, 12},
      {"fewer lines than the box", 10, 20, 0, 6, 8, 401, 12},
      {"odd box taller than the lines", 10, 20, 0, 6, 9, 401, 12},
      {"box height 0", 10, 20, 0, 19, 0, 401, 12},
      {"box height 1", 10, 20, 0, 19, 1, 401, 12},
      {"negative box height", 10, 20, 0, 19, -8, 401, 12},
      {"box width 0", 10, 20, 0, 19, 8, 0, 12},
      {"negative box width", 10, 20, 0, 19, 8, -5, 12},
      {"last line outside the image", 10, 20, 0, 20, 8, 401, 12},
      {"first after last", 10, 20, 9, 8, 8, 401, 12},
      {"depth 0", 10, 20, 0, 19, 8, 401, 0},
      {"depth 17", 10, 20, 0, 19, 8, 401, 17},
  };
  for (const Case& c : cases) {
    BlockImage img = stripedImage(c.width, c.lines, 1000, 1010);
    const BlockImage before(img);
    CorrectionParams p;
    p.boxHeight = c.boxHeight;
    p.boxWidth = c.boxWidth;
    Corrections corrections;
    EXPECT_FALSE(corrections.boxFilterLineCorrection(img.view(), c.first, c.last, c.depth, p)) << c.what;
    EXPECT_TRUE(img == before) << c.what;
  }
}

TEST(LineCorrection, RefusesImagesItCannotAddress) {
  std::vector<std::uint16_t> block(100, 1000);
  std::uint16_t* blocks[2] = {block.data(), nullptr};
  Corrections corrections;
  const CorrectionParams p;
  EXPECT_FALSE(corrections.boxFilterLineCorrection({blocks, 2, 10, 10}, 0, 19, 12, p)) << "null block";
  EXPECT_FALSE(corrections.boxFilterLineCorrection({nullptr, 1, 10, 10}, 0, 9, 12, p)) << "null table";
  EXPECT_FALSE(corrections.boxFilterLineCorrection({blocks, 1, 0, 10}, 0, 9, 12, p)) << "no lines per block";
  EXPECT_FALSE(corrections.boxFilterLineCorrection({blocks, 1, 1, kMaxColumns + 1}, 0, 0, 12, p)) << "too wide";
  EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](std::uint16_t v) { return v == 1000; }));
}

// Plates tall enough to be shared among threads, and parameters past the
// 32-bit sums, against the definition: the split and the wide pass change nothing.
// A noise of tens of thousands gives deviations near the largest a window's
// packed sum holds, and windows of every count.
TEST(LineCorrection, ThreadsAndWideSumsEqualNaive) {
  struct Case {
    unsigned threads;
    std::size_t width, lines, perBlock;
    int boxWidth, boxHeight, delta;
    unsigned noise = 21;
  };
  const Case cases[] = {
      {1, 97, 400, 37, 31, 8, 20},     {3, 97, 400, 37, 31, 8, 20},   {8, 97, 400, 400, 31, 8, 20},
      {8, 61, 700, 50, 200, 17, 35},   {5, 40, 333, 7, 3, 2, 12},     {8, 130, 260, 13, 401, 30, 25},
      {4, 50, 300, 30, 41, 8, 40000},          // count and sum packed 10 and 22 bits
      {2, 500, 120, 30, 401, 8, 40000},        // deviations summed in 64 bits
      {2, 77, 120, 30, 41, 8, 65535, 60000},   // sums up to the packed bound
      {2, 300, 120, 30, 129, 4, 30000, 60000}, {1, 33, 60, 60, 15, 6, 500, 3000},
      {1, 40, 300, 300, 5, 255, 65535, 60000}, {1, 40, 300, 300, 5, 256, 65535, 60000},  // tallest 32-bit box, and past it
      {1, 40, 60, 60, 7, 4, -3},               // no column valid
      {1, 40, 60, 60, 7, 4, std::numeric_limits<int>::min()},
  };
  std::mt19937 rng(7);
  for (const Case& k : cases) {
    BlockImage img(k.width, k.lines, k.perBlock);
    for (std::size_t y = 0; y < img.lines(); ++y) {
      const int step = static_cast<int>(rng() % 41) - 20;
      for (std::size_t x = 0; x < k.width; ++x)
        img.at(y, x) =
            static_cast<std::uint16_t>(2000 + static_cast<int>(x * 7) + step + static_cast<int>(rng() % k.noise));
    }
    CorrectionParams p;
    p.boxWidth = k.boxWidth;
    p.boxHeight = k.boxHeight;
    p.delta = k.delta;
    p.maxPixValue = 16383;
    p.minPixValue = 2010;
    BlockImage expected(img);
    ASSERT_TRUE(naiveLineCorrection(expected, 0, img.lines() - 1, 14, p));
    for (const bool avx512 : {true, false}) {
      BlockImage work(img);
      Corrections corrections;
      corrections.setThreads(k.threads);
      corrections.setAvx512(avx512);
      ASSERT_TRUE(corrections.boxFilterLineCorrection(work.view(), 0, work.lines() - 1, 14, p));
      EXPECT_TRUE(work == expected) << k.threads << " threads, " << k.width << " x " << k.lines << ", box "
                                    << k.boxWidth << " x " << k.boxHeight << ", delta " << k.delta << ", avx512 "
                                    << avx512;
    }
  }
}

// Plates shared among 1 to 8 threads in runs of centres handed out as threads
// become free: the lines about every edge between two runs, which both read,
// come out as the definition has them. One object serves all, as a device
// object does, so its threads serve calls of every width and split.
TEST(LineCorrection, RunsHandedOutEqualNaive) {
  std::mt19937 rng(20261211);
  auto uni = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  Corrections corrections;
  for (int round = 0; round < 60; ++round) {
    const unsigned threads = static_cast<unsigned>(uni(1, 8));
    const std::size_t width = static_cast<std::size_t>(uni(2, 40));
    const std::size_t lines = static_cast<std::size_t>(uni(130, 1400));
    BlockImage img(width, lines, static_cast<std::size_t>(uni(1, 300)));
    for (std::size_t y = 0; y < img.lines(); ++y) {
      const int step = uni(-30, 30);
      for (std::size_t x = 0; x < width; ++x) img.at(y, x) = static_cast<std::uint16_t>(3000 + step + uni(-25, 25));
    }
    CorrectionParams p;
    p.boxHeight = uni(2, 20);
    p.boxWidth = uni(1, 50);
    p.delta = uni(5, 60);
    p.minPixValue = uni(2900, 3000);
    p.maxPixValue = 16383;
    const std::size_t first = static_cast<std::size_t>(uni(0, 40));
    const std::size_t last = img.lines() - 1 - static_cast<std::size_t>(uni(0, 40));
    BlockImage expected(img);
    ASSERT_TRUE(naiveLineCorrection(expected, first, last, 14, p));
    corrections.setThreads(threads);
    corrections.setAvx512(uni(0, 1) == 1);
    ASSERT_TRUE(corrections.boxFilterLineCorrection(img.view(), first, last, 14, p));
    ASSERT_TRUE(img == expected) << "round " << round << ", " << threads << " threads, " << width << " x " << lines
                                 << ", lines " << first << ".." << last << ", box " << p.boxWidth << " x "
                                 << p.boxHeight;
  }
}

}  // namespace
}  // namespace zentrac
