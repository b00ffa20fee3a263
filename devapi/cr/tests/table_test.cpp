#include "devapi/cr/internal/corrections.h"
#include "devapi/cr/tests/test_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

namespace zentrac {
namespace {

using testing::BlockImage;

// Converts one sample so that the table is built for od.
std::uint16_t convert(Corrections& c, int od, std::uint16_t sample) {
  BlockImage img(1, 1, 1, sample);
  c.logToLinearTable(img.view(), 0, 1, od);
  return img.at(0, 0);
}

TEST(LogToLinearTable, HandComputedEntries) {
  struct Case {
    int od;
    std::uint16_t index, entry;  // 65535 x 10^((i - 16383) x od / 10 / 16383), truncated
  };
  const Case cases[] = {
      {30, 16383, 65535}, {30, 10922, 6553},  {30, 5461, 655},   {30, 1, 65},     {30, 0, 0},
      {40, 8192, 655},    {40, 16382, 65498}, {10, 1, 6554},     {10, 0, 0},      {25, 12000, 14048},
      {255, 16000, 16608}, {255, 16383, 65535}, {255, 1, 0},
  };
  Corrections c;
  for (const Case& k : cases) EXPECT_EQ(convert(c, k.od, k.index), k.entry) << k.od << " " << k.index;
}

TEST(LogToLinearTable, OdZeroBuildsARealTable) {
  Corrections c;
  EXPECT_EQ(convert(c, 0, 1), 65535);
  EXPECT_EQ(c.tableBuilds(), 1);
  EXPECT_EQ(c.table()[0], 0);
  for (std::size_t i = 1; i < kTableSize; ++i) ASSERT_EQ(c.table()[i], 65535) << i;
}

TEST(LogToLinearTable, EntriesNeverDecrease) {
  Corrections c;
  for (int od : {1, 10, 27, 30, 40, 128, 255}) {
    convert(c, od, 0);
    for (std::size_t i = 1; i < kTableSize; ++i) ASSERT_LE(c.table()[i - 1], c.table()[i]) << od << " " << i;
    EXPECT_EQ(c.table()[kTableSize - 1], 65535) << od;
  }
}

TEST(LogToLinearTable, BuiltOnceForTheSameOd) {
  Corrections c;
  convert(c, 30, 100);
  convert(c, 30, 200);
  EXPECT_EQ(c.tableBuilds(), 1);
  convert(c, 40, 100);
  EXPECT_EQ(c.tableBuilds(), 2);
  convert(c, 30, 100);
  EXPECT_EQ(c.tableBuilds(), 3);
}

TEST(LogToLinearTable, SamplesBeyond14BitsTakeTheLastEntry) {
  Corrections c;
  for (std::uint16_t sample : {16384, 20000, 65535}) EXPECT_EQ(convert(c, 30, sample), 65535) << sample;
}

TEST(LogToLinearTable, ConvertsOnlyTheLinesGiven) {
  BlockImage img(3, 8, 4, 10922);
  Corrections c;
  c.logToLinearTable(img.view(), 2, 3, 30);
  for (std::size_t y = 0; y < 8; ++y)
    for (std::size_t x = 0; x < 3; ++x) EXPECT_EQ(img.at(y, x), y >= 2 && y <= 4 ? 6553 : 10922) << y;
  // A range beyond the image converts nothing.
  c.logToLinearTable(img.view(), 7, 2, 30);
  EXPECT_EQ(img.at(7, 0), 10922);
}

// Widths on both sides of whole vectors, samples across the table's end.
TEST(LogToLinearTable, EverySampleOfEveryWidthTakesItsEntry) {
  for (const std::size_t width : {1, 7, 8, 9, 15, 16, 17, 33, 100}) {
    BlockImage img(width, 6, 4);
    std::uint32_t v = 0;
    for (std::size_t y = 0; y < img.lines(); ++y)
      for (std::size_t x = 0; x < width; ++x) {
        const std::uint16_t edges[] = {0, 1, 16381, 16382, 16383, 16384, 40000, 65535};
        img.at(y, x) = (x + y) % 3 == 0 ? edges[(x + y) % 8] : static_cast<std::uint16_t>(v = v * 2654435761u + 7);
      }
    const BlockImage before(img);
    Corrections c;
    c.logToLinearTable(img.view(), 0, img.lines(), 30);
    for (std::size_t y = 0; y < img.lines(); ++y)
      for (std::size_t x = 0; x < width; ++x)
        ASSERT_EQ(img.at(y, x), c.table()[std::min<std::size_t>(before.at(y, x), kTableSize - 1)])
            << "width " << width << " at " << y << "," << x << " sample " << before.at(y, x);
  }
}

}  // namespace
}  // namespace zentrac
