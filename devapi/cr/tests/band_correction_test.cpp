#include "devapi/cr/internal/corrections.h"
#include "devapi/cr/tests/test_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <random>

namespace zentrac {
namespace {

using testing::BlockImage;

// The band correction column by column as defined: x runs to W - 1 + C,
// column x - B leaves, column x enters, column x - C is written.
bool naiveBandCorrection(BlockImage& img, std::size_t first, std::size_t last, int depth,
                         const CorrectionParams& p, int pitch) {
  const long w = static_cast<long>(img.width());
  if (w < 2 || static_cast<long>(last) - static_cast<long>(first) + 1 < 2 || pitch == 0) return false;
  const long maxval = (1L << (depth == 16 ? 14 : depth)) - 1;
  for (const BandRecord& r : p.bands) {
    if (r.position == 0.0) break;
    const long u = static_cast<long>(r.position / (pitch / 1000.0));
    const long t = r.refLines, o = r.bandLines, b = r.window;
    if (u - t < static_cast<long>(first) || u + o + t - 1 > static_cast<long>(last)) continue;
    std::vector<std::vector<long>> dev(w, std::vector<long>(o));
    std::vector<bool> ok(w);
    std::vector<long> sum(o, 0);
    long count = 0;
    const long c = (b - 1) / 2;
    for (long x = 0; x <= w - 1 + c; ++x) {
      if (x < w) {
        long g = 0, f = 0, lo = LONG_MAX, hi = LONG_MIN;
        for (long y = u - t; y < u; ++y) g += img.at(y, x), lo = std::min<long>(lo, img.at(y, x)), hi = std::max<long>(hi, img.at(y, x));
        for (long y = u + o; y < u + o + t; ++y) f += img.at(y, x), lo = std::min<long>(lo, img.at(y, x)), hi = std::max<long>(hi, img.at(y, x));
        const long refRange = hi - lo;
        for (long y = u; y < u + o; ++y) lo = std::min<long>(lo, img.at(y, x)), hi = std::max<long>(hi, img.at(y, x));
        const long fullRange = hi - lo;
        for (long k = 0; k < o; ++k) {
          const double e = std::floor((g * (t / 2.0 + o - k - 0.5) + f * (t / 2.0 + k + 0.5)) / (t * (t + o)) + 0.5);
          dev[x][k] = static_cast<long>(e) - img.at(u + k, x);
        }
        ok[x] = !(refRange > r.maxRefRange || fullRange > r.maxRange);
      }
      if (x - b >= 0 && ok[x - b]) {
        --count;
        for (long k = 0; k < o; ++k) sum[k] -= dev[x - b][k];
      }
      if (x < w && ok[x]) {
        ++count;
        for (long k = 0; k < o; ++k) sum[k] += dev[x][k];
      }
      if (x - c >= 0 && count >= r.minValid && count > 0)
        for (long k = 0; k < o; ++k)
          img.at(u + k, x - c) =
              static_cast<std::uint16_t>(std::clamp(
              img.at(u + k, x - c) + (sum[k] >= 0 ? sum[k] + count / 2 : sum[k] - count / 2) / count, 0L, maxval));
    }
  }
  return true;
}

TEST(BandCorrection, SlidingEqualsColumnByColumnOnRandomImages) {
  std::mt19937 rng(4242);
  auto uni = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  int changed = 0;
  for (int round = 0; round < 1500; ++round) {
    const std::size_t width = static_cast<std::size_t>(uni(2, 40));
    const std::size_t lines = static_cast<std::size_t>(uni(2, 60));
    BlockImage img(width, lines, static_cast<std::size_t>(uni(1, static_cast<int>(lines))));
    const int depth = uni(0, 1) ? 12 : 16;
    const int base = uni(0, 1) ? uni(0, 40) : uni(4050, 4095);
    for (std::size_t y = 0; y < img.lines(); ++y) {
      const int step = uni(-20, 20);
      for (std::size_t x = 0; x < width; ++x)
        img.at(y, x) = static_cast<std::uint16_t>(std::clamp(base + step + uni(-6, 6), 0, 65535));
    }
    const int pitch = 125;  // 0.125 mm: positions in eighths of a mm land on whole lines
    CorrectionParams p;
    for (int n = uni(1, 3); n > 0; --n) {
      BandRecord r;
      r.position = uni(1, static_cast<int>(lines) + 4) * 0.125;
      r.window = uni(1, 50);
      r.minValid = uni(0, 8);
      r.refLines = uni(1, 8);
      r.bandLines = uni(1, 10);
      r.maxRefRange = uni(10, 80);
      r.maxRange = uni(20, 120);
      p.bands.push_back(r);
    }
    const BlockImage original(img);
    BlockImage expected(img);
    naiveBandCorrection(expected, 0, lines - 1, depth, p, pitch);
    Corrections corrections;
    ASSERT_TRUE(corrections.rollerBandingCorrection(img.view(), 0, lines - 1, depth, p, pitch));
    ASSERT_TRUE(img == expected) << "round " << round;
    changed += !(img == original);
  }
  EXPECT_GT(changed, 300);  // the comparison covered real corrections, not only skipped records
}

// Bands split into column ranges over 1 to 8 threads: every range starts its
// window as the whole line's sliding would have it there, and a band waits
// for the lines it reads. Up to four records on a short image, so that later
// bands read lines earlier ones correct, and long lists of records on a
// taller one, more than are measured at once.
TEST(BandCorrection, SplitAmongThreadsEqualsColumnByColumn) {
  std::mt19937 rng(1211);
  auto uni = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  struct Regime {
    int rounds, minLines, maxLines, minRecords, maxRecords, maxRefLines, maxBandLines;
  };
  const Regime regimes[] = {{800, 10, 50, 1, 4, 6, 8}, {150, 150, 250, 9, 20, 3, 4}};
  Corrections corrections;
  int changed = 0;
  for (const Regime& g : regimes) {
    for (int round = 0; round < g.rounds; ++round) {
      const unsigned threads = static_cast<unsigned>(uni(1, 8));
      const std::size_t width = static_cast<std::size_t>(uni(2, 40));
      const std::size_t lines = static_cast<std::size_t>(uni(g.minLines, g.maxLines));
      BlockImage img(width, lines, static_cast<std::size_t>(uni(1, static_cast<int>(lines))));
      for (std::size_t y = 0; y < img.lines(); ++y) {
        const int step = uni(-20, 20);
        for (std::size_t x = 0; x < width; ++x) img.at(y, x) = static_cast<std::uint16_t>(2000 + step + uni(-6, 6));
      }
      const int pitch = 125;
      CorrectionParams p;
      for (int n = uni(g.minRecords, g.maxRecords); n > 0; --n) {
        BandRecord r;
        r.position = uni(1, static_cast<int>(lines)) * 0.125;
        r.window = uni(1, 50);
        r.minValid = uni(0, 8);
        r.refLines = uni(1, g.maxRefLines);
        r.bandLines = uni(1, g.maxBandLines);
        r.maxRefRange = uni(10, 80);
        r.maxRange = uni(20, 120);
        p.bands.push_back(r);
      }
      const BlockImage original(img);
      BlockImage expected(img);
      naiveBandCorrection(expected, 0, img.lines() - 1, 12, p, pitch);
      corrections.setThreads(threads);
      ASSERT_TRUE(corrections.rollerBandingCorrection(img.view(), 0, img.lines() - 1, 12, p, pitch));
      ASSERT_TRUE(img == expected) << "round " << round << ", " << threads << " threads, width " << width;
      changed += !(img == original);
    }
  }
  EXPECT_GT(changed, 200);  // real corrections, not only skipped records
}

// A flat image of 2000 with a band of +30 on lines 100 .. 103 (12.5 mm at 0.125 mm).
class BandFixture : public ::testing::Test {
 protected:
  static constexpr std::size_t kWidth = 64, kLines = 200, kBand = 100, kBandLines = 4;
  static constexpr int kPitch = 125;

  BandFixture() : img_(kWidth, kLines, 40, 2000) {
    for (std::size_t y = kBand; y < kBand + kBandLines; ++y)
      for (std::size_t x = 0; x < kWidth; ++x) img_.at(y, x) += 30;
    record_.position = 12.5;
    record_.window = 15;
    record_.minValid = 5;
    record_.refLines = 6;
    record_.bandLines = static_cast<int>(kBandLines);
    record_.maxRefRange = 10;
    record_.maxRange = 100;
  }

  bool run(const BandRecord& r, std::size_t first = 0, std::size_t last = kLines - 1) {
    CorrectionParams p;
    p.bands = {r};
    return corrections_.rollerBandingCorrection(img_.view(), first, last, 12, p, kPitch);
  }
  bool flat() const {
    const auto s = img_.samples();
    return std::all_of(s.begin(), s.end(), [](std::uint16_t v) { return v == 2000; });
  }
  bool bandStillThere() const {
    for (std::size_t y = 0; y < kLines; ++y)
      for (std::size_t x = 0; x < kWidth; ++x)
        if (img_.at(y, x) != (y >= kBand && y < kBand + kBandLines ? 2030 : 2000)) return false;
    return true;
  }

  BlockImage img_;
  BandRecord record_;
  Corrections corrections_;
};

TEST_F(BandFixture, BandIsRestored) {
  ASSERT_TRUE(run(record_));
  EXPECT_TRUE(flat());
}

TEST_F(BandFixture, DarkBandIsRestoredAlike) {
  for (std::size_t y = kBand; y < kBand + kBandLines; ++y)
    for (std::size_t x = 0; x < kWidth; ++x) img_.at(y, x) -= 60;
  ASSERT_TRUE(run(record_));
  EXPECT_TRUE(flat());
}

TEST_F(BandFixture, RecordReachingOutsideTheLinesIsSkipped) {
  // The reference lines after the band end at line 109.
  EXPECT_TRUE(run(record_, 0, 108));
  EXPECT_TRUE(bandStillThere()) << "after";
  // Those before it begin at line 94.
  EXPECT_TRUE(run(record_, 95, kLines - 1));
  EXPECT_TRUE(bandStillThere()) << "before";
  EXPECT_TRUE(run(record_, 94, 109));
  EXPECT_TRUE(flat()) << "exactly fitting";
}

TEST_F(BandFixture, RecordsThatCannotBeMeasuredAreSkipped) {
  struct Case {
    const char* what;
    void (*change)(BandRecord&);
  };
  const Case cases[] = {
      {"fewer valid columns than the minimum", [](BandRecord& r) { r.minValid = 16; }},
      {"full range above the largest", [](BandRecord& r) { r.maxRange = 29; }},
      {"no reference lines", [](BandRecord& r) { r.refLines = 0; }},
      {"negative reference lines", [](BandRecord& r) { r.refLines = -3; }},
      {"no band lines", [](BandRecord& r) { r.bandLines = 0; }},
      {"band beyond the work storage", [](BandRecord& r) { r.bandLines = kMaxBandLines + 1; }},
      {"window 0", [](BandRecord& r) { r.window = 0; }},
      {"negative window", [](BandRecord& r) { r.window = -15; }},
      {"negative position", [](BandRecord& r) { r.position = -12.5; }},
      {"position far beyond the plate", [](BandRecord& r) { r.position = 1e300; }},
      {"position below the first line", [](BandRecord& r) { r.position = -1e300; }},
  };
  for (const Case& c : cases) {
    BandRecord r = record_;
    c.change(r);
    EXPECT_TRUE(run(r)) << c.what;
    EXPECT_TRUE(bandStillThere()) << c.what;
  }
}

TEST_F(BandFixture, UnevenReferenceLinesMakeColumnsInvalid) {
  // Columns 0 .. 55 get a reference range of 11; only 8 columns stay valid,
  // fewer than the window's minimum wherever it would reach.
  for (std::size_t x = 0; x < 56; ++x) img_.at(kBand - 1, x) = 2011;
  BandRecord r = record_;
  r.minValid = 9;
  ASSERT_TRUE(run(r));
  for (std::size_t x = 0; x < kWidth; ++x) EXPECT_EQ(img_.at(kBand, x), 2030) << x;
}

TEST_F(BandFixture, ListEndsAtPositionZero) {
  BandRecord end;
  CorrectionParams p;
  p.bands = {end, record_};
  ASSERT_TRUE(corrections_.rollerBandingCorrection(img_.view(), 0, kLines - 1, 12, p, kPitch));
  EXPECT_TRUE(bandStillThere());
}

TEST_F(BandFixture, RefusesPitchZeroAndTooSmallImages) {
  EXPECT_FALSE(run(record_, 5, 5));
  CorrectionParams p;
  p.bands = {record_};
  EXPECT_FALSE(corrections_.rollerBandingCorrection(img_.view(), 0, kLines - 1, 12, p, 0));
  BlockImage narrow(1, 200, 200, 2000);
  EXPECT_FALSE(corrections_.rollerBandingCorrection(narrow.view(), 0, 199, 12, p, kPitch));
  EXPECT_TRUE(bandStillThere());
}

TEST_F(BandFixture, LongestBandTheStorageHolds) {
  BlockImage img(kWidth, 400, 64, 2000);
  for (std::size_t y = 100; y < 100 + kMaxBandLines; ++y)
    for (std::size_t x = 0; x < kWidth; ++x) img.at(y, x) = 2030;
  BandRecord r = record_;
  r.bandLines = kMaxBandLines;
  CorrectionParams p;
  p.bands = {r};
  ASSERT_TRUE(corrections_.rollerBandingCorrection(img.view(), 0, 399, 12, p, kPitch));
  const auto s = img.samples();
  EXPECT_TRUE(std::all_of(s.begin(), s.end(), [](std::uint16_t v) { return v == 2000; }));
}

}  // namespace
}  // namespace zentrac
