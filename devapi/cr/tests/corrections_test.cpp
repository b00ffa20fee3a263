#include "devapi/cr/internal/corrections.h"
#include "devapi/cr/internal/noproc_dump.h"
#include "devapi/cr/tests/test_image.h"

#include "platform/clock.h"
#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <cstring>
#include <random>
#include <thread>

namespace zentrac {
namespace {

using testing::BlockImage;

// A plate of 14-bit values with line-to-line steps and a roller band on lines 60 .. 62.
BlockImage plate(std::uint32_t seed) {
  BlockImage img(48, 120, 40);
  std::mt19937 rng(seed);
  for (std::size_t y = 0; y < img.lines(); ++y) {
    const int step = static_cast<int>(rng() % 21) - 10;
    for (std::size_t x = 0; x < img.width(); ++x) {
      int v = 8000 + step + static_cast<int>(rng() % 7) + (y >= 60 && y < 63 ? 25 : 0);
      img.at(y, x) = static_cast<std::uint16_t>(v);
    }
  }
  return img;
}

HardParams bandingParams() {
  HardParams params;
  CorrectionParams& fine = params.sets[2];
  fine.boxWidth = 17;
  fine.boxHeight = 6;
  fine.maxPixValue = 16383;
  fine.rollerBanding = true;
  BandRecord r;
  r.position = 7.5;  // line 60 at 0.125 mm
  r.window = 11;
  r.minValid = 3;
  r.refLines = 5;
  r.bandLines = 3;
  r.maxRefRange = 1000;
  r.maxRange = 1000;
  fine.bands = {r};
  return params;
}

ScanContext fineScan(int depth) {
  ScanContext s;
  s.outBitDepth = depth;
  s.option1 = 3;
  s.option2 = 0x0A1E;  // od_min 10, od_max 30
  s.scanPitch = 125;
  s.serialNumber = 77;
  return s;
}

TEST(Corrections, SequenceForSixteenBitOutput) {
  const HardParams params = bandingParams();
  BlockImage img = plate(1);
  BlockImage expected(img);
  Corrections stepwise(params);
  ASSERT_TRUE(stepwise.boxFilterLineCorrection(expected.view(), 0, 119, 16, params.sets[2]));
  ASSERT_TRUE(stepwise.rollerBandingCorrection(expected.view(), 0, 119, 16, params.sets[2], 125));
  stepwise.logToLinearTable(expected.view(), 0, 120, 30);

  Corrections corrections(params);
  ASSERT_EQ(corrections.apply(img.view(), 120, fineScan(16)), CorrectionOutcome::Corrected);
  EXPECT_TRUE(img == expected);
  EXPECT_FALSE(img == plate(1));
  // The next plate at the same od reuses the table.
  BlockImage next = plate(2);
  ASSERT_EQ(corrections.apply(next.view(), 120, fineScan(16)), CorrectionOutcome::Corrected);
  EXPECT_EQ(corrections.tableBuilds(), 1);
}

TEST(Corrections, TwelveBitOutputSkipsTheTable) {
  HardParams params = bandingParams();
  params.sets[2].maxPixValue = 4095;
  BlockImage img(10, 30, 30, 1000);
  Corrections corrections(params);
  ASSERT_EQ(corrections.apply(img.view(), 30, fineScan(12)), CorrectionOutcome::Corrected);
  EXPECT_EQ(img.at(10, 3), 1000);
  EXPECT_EQ(corrections.tableBuilds(), 0);
}

TEST(Corrections, ModeSelectsTheParameterSet) {
  HardParams params;
  params.sets[0].boxHeight = 20;  // taller than the image: refused
  BlockImage img(10, 12, 12, 1000);
  Corrections corrections(params);
  struct Case {
    std::uint16_t option1;  // high byte: erase option, low byte: scan mode
    CorrectionOutcome want;
  };
  const Case cases[] = {{0x0000, CorrectionOutcome::LineRefused}, {0x0101, CorrectionOutcome::LineRefused},
                        {0x0300, CorrectionOutcome::LineRefused}, {0x0002, CorrectionOutcome::Corrected},
                        {0x0103, CorrectionOutcome::Corrected}};
  for (const Case& c : cases) {
    ScanContext s = fineScan(12);
    s.option1 = c.option1;
    EXPECT_EQ(corrections.apply(img.view(), 12, s), c.want) << c.option1;
  }
}

TEST(Corrections, OnlyTheLinesGivenAreCorrected) {
  // A plate cut after 60 lines: the fill beyond them stays as it is.
  BlockImage img = plate(2);
  for (std::size_t y = 60; y < 120; ++y)
    for (std::size_t x = 0; x < img.width(); ++x) img.at(y, x) = 0xFFFF >> 2;
  BlockImage expected(img);
  HardParams params;
  params.sets[2].maxPixValue = 16383;
  Corrections stepwise(params), corrections(params);
  ASSERT_TRUE(stepwise.boxFilterLineCorrection(expected.view(), 0, 59, 14, params.sets[2]));
  ASSERT_EQ(corrections.apply(img.view(), 60, fineScan(14)), CorrectionOutcome::Corrected);
  EXPECT_TRUE(img == expected);
  EXPECT_EQ(img.at(119, 0), 0x3FFF);
}

TEST(Corrections, RefusedLineCorrectionSkipsBandAndTable) {
  BlockImage img = plate(3);
  const BlockImage before(img);
  Corrections corrections(bandingParams());
  EXPECT_EQ(corrections.apply(img.view(), 1, fineScan(16)), CorrectionOutcome::LineRefused);
  EXPECT_EQ(corrections.apply(img.view(), 121, fineScan(16)), CorrectionOutcome::LineRefused);
  EXPECT_TRUE(img == before);
  EXPECT_EQ(corrections.tableBuilds(), 0);
}

TEST(Corrections, RefusedBandCorrectionSkipsTheTable) {
  const HardParams params = bandingParams();
  BlockImage img = plate(4);
  BlockImage expected(img);
  Corrections stepwise(params), corrections(params);
  ASSERT_TRUE(stepwise.boxFilterLineCorrection(expected.view(), 0, 119, 16, params.sets[2]));
  ScanContext s = fineScan(16);
  s.scanPitch = 0;
  EXPECT_EQ(corrections.apply(img.view(), 120, s), CorrectionOutcome::BandRefused);
  EXPECT_TRUE(img == expected);
  EXPECT_EQ(corrections.tableBuilds(), 0);
}

TEST(Corrections, DumpHoldsTheUnprocessedImage) {
  testsupport::TempDir dir;
  platform::clock::FakeSource clock;
  clock.setLocalTime({2026, 3, 4, 5, 6, 7, 0, 3});
  platform::clock::ScopedSource scoped(clock);

  BlockImage img = plate(5);
  const BlockImage raw(img);
  ScanContext s = fineScan(16);
  s.dumpUnprocessed = true;
  s.dumpDir = dir.path();
  s.option5 = 436;
  std::string log;
  s.log = [&](std::string_view e) { log += e; };
  Corrections corrections(bandingParams());
  ASSERT_EQ(corrections.apply(img.view(), 120, s), CorrectionOutcome::Corrected);
  EXPECT_EQ(log, "SaveImage.\n");

  const auto file = dir / "NoProc_0077_HV120_M3_20260304_050607_48x120.dcm";
  const std::string content = testsupport::readFile(file);
  ASSERT_EQ(content.size(), 838u + 48 * 120 * 2);
  const auto samples = raw.samples();
  EXPECT_EQ(std::memcmp(content.data() + 838, samples.data(), 48 * 120 * 2), 0);
  EXPECT_FALSE(img == raw);
}

TEST(Corrections, AFailedDumpNeverFailsTheCorrection) {
  BlockImage img = plate(6);
  BlockImage expected(img);
  Corrections stepwise(bandingParams());
  ASSERT_EQ(stepwise.apply(expected.view(), 120, fineScan(16)), CorrectionOutcome::Corrected);
  testsupport::TempDir dir;
  ScanContext s = fineScan(16);
  s.dumpUnprocessed = true;
  s.dumpDir = dir / "no such folder";
  Corrections corrections(bandingParams());
  ASSERT_EQ(corrections.apply(img.view(), 120, s), CorrectionOutcome::Corrected);
  EXPECT_TRUE(img == expected);
}

TEST(Corrections, ConcurrentCallersAreSerialised) {
  const HardParams params = bandingParams();
  BlockImage expected = plate(7);
  Corrections reference(params);
  ASSERT_EQ(reference.apply(expected.view(), 120, fineScan(16)), CorrectionOutcome::Corrected);

  Corrections shared(params);
  std::vector<BlockImage> images(4, plate(7));
  std::vector<std::thread> threads;
  for (auto& img : images)
    threads.emplace_back([&] {
      for (int i = 0; i < 3; ++i) {
        BlockImage copy = plate(7);
        EXPECT_EQ(shared.apply(copy.view(), 120, fineScan(16)), CorrectionOutcome::Corrected);
        EXPECT_TRUE(copy == expected);
      }
      EXPECT_EQ(shared.apply(img.view(), 120, fineScan(16)), CorrectionOutcome::Corrected);
    });
  for (auto& t : threads) t.join();
  for (auto& img : images) EXPECT_TRUE(img == expected);
}

}  // namespace
}  // namespace zentrac
