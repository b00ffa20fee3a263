#include "viewer/image_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <tuple>

#include "testsupport/testsupport.h"

using namespace viewer;

namespace {

// A w x h image whose every sample is distinct: v = y * w + x (+ base).
void fill(CImageItem& item, int bps, int w, int h, int base = 0) {
  ASSERT_TRUE(item.allocate(bps, w, h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int v = base + y * w + x;
      if (bps == 2) item.data16()[y * w + x] = std::uint16_t(v);
      else item.data()[y * w + x] = std::uint8_t(v);
    }
}

// The samples under the ROI, row by row.
std::vector<int> roiSamples(const CImageItem& item) {
  std::vector<int> out;
  for (int y = item.roi.top; y < item.roi.bottom; ++y)
    for (int x = item.roi.left; x < item.roi.right; ++x) out.push_back(item.pixel(x, y));
  return out;
}

std::vector<int> allSamples(const CImageItem& item) {
  std::vector<int> out;
  for (int y = 0; y < item.height(); ++y)
    for (int x = 0; x < item.width(); ++x) out.push_back(item.pixel(x, y));
  return out;
}

struct TransformCase {
  const char* name;
  std::function<bool(CImageItem&)> forward, inverse;
};

}  // namespace

TEST(ImageModel, EachTransformAndItsInverseKeepPixelsAndRoi) {
  const std::vector<TransformCase> cases = {
      {"flipH", [](CImageItem& i) { return i.flipHorizontal(); }, [](CImageItem& i) { return i.flipHorizontal(); }},
      {"flipV", [](CImageItem& i) { return i.flipVertical(); }, [](CImageItem& i) { return i.flipVertical(); }},
      {"rotCW", [](CImageItem& i) { return i.rotateClockwise(); }, [](CImageItem& i) { return i.rotateCounterClockwise(); }},
      {"rotCCW", [](CImageItem& i) { return i.rotateCounterClockwise(); }, [](CImageItem& i) { return i.rotateClockwise(); }},
  };
  for (int bps : {1, 2}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + " bps " + std::to_string(bps));
      CImageItem item;
      fill(item, bps, 7, 5);  // odd height exercises the middle row of the vertical flip
      item.setRoi({1, 1, 4, 3});
      const auto before = allSamples(item);
      const auto roiBefore = roiSamples(item);
      const int mean = item.roiMean();
      ASSERT_TRUE(c.forward(item));
      // The ROI covers the same pixels (as a set) after the forward transform.
      auto roiAfter = roiSamples(item);
      auto sortedBefore = roiBefore;
      std::sort(sortedBefore.begin(), sortedBefore.end());
      std::sort(roiAfter.begin(), roiAfter.end());
      EXPECT_EQ(sortedBefore, roiAfter);
      EXPECT_EQ(item.roiMean(), mean);
      ASSERT_TRUE(c.inverse(item));
      EXPECT_EQ(item.width(), 7);
      EXPECT_EQ(item.height(), 5);
      EXPECT_EQ(allSamples(item), before);
      EXPECT_EQ(item.roi, (Rect{1, 1, 4, 3}));
    }
  }
}

TEST(ImageModel, RotationFollowsTheStatedMapping) {
  CImageItem item;
  fill(item, 1, 3, 2);  // rows: 0 1 2 / 3 4 5
  ASSERT_TRUE(item.rotateClockwise());
  ASSERT_EQ(item.width(), 2);
  ASSERT_EQ(item.height(), 3);
  // new(row x, column y) = old(row h-1-y, column x)
  EXPECT_EQ(allSamples(item), (std::vector<int>{3, 0, 4, 1, 5, 2}));
  CImageItem ccw;
  fill(ccw, 1, 3, 2);
  ASSERT_TRUE(ccw.rotateCounterClockwise());
  EXPECT_EQ(allSamples(ccw), (std::vector<int>{2, 5, 1, 4, 0, 3}));
}

TEST(ImageModel, CutOutCropsToTheRoiWhichBecomesWhole) {
  CImageItem item;
  fill(item, 2, 6, 4);
  item.setRoi({4, 3, 1, 1});  // dragged backwards: normalised first
  ASSERT_TRUE(item.cutOut());
  EXPECT_EQ(item.width(), 3);
  EXPECT_EQ(item.height(), 2);
  EXPECT_EQ(item.roi, (Rect{0, 0, 3, 2}));
  EXPECT_EQ(allSamples(item), (std::vector<int>{7, 8, 9, 13, 14, 15}));
}

TEST(ImageModel, StatisticsClampTheRoiAndFallBackToTheWholeImage) {
  CImageItem item;
  fill(item, 2, 10, 10, 100);  // 100..199
  item.setRoi({-5, -5, 2, 2});
  EXPECT_EQ(item.statisticsRect, (Rect{0, 0, 2, 2}));
  EXPECT_EQ(item.roiMinimum(), 100);
  EXPECT_EQ(item.roiMaximum(), 111);
  EXPECT_EQ(item.roiMean(), 106);  // (100+101+110+111)/4 = 105.5, half up

  for (const Rect r : {Rect{0, 0, 0, 0}, Rect{20, 20, 30, 30}, Rect{-9, 3, -1, 8}, Rect{3, 3, 3, 9}}) {
    item.setRoi(r);
    EXPECT_EQ(item.statisticsRect, (Rect{0, 0, 10, 10}));
    EXPECT_EQ(item.roiMinimum(), 100);
    EXPECT_EQ(item.roiMaximum(), 199);
    EXPECT_EQ(item.roiMean(), 150);  // 149.5 rounded half up
  }
}

// Widths that leave every vector tail, samples up to 16 bits (clipped to 4095
// as the display sees them), against the plain definition.
TEST(ImageModel, StatisticsOfAnyRoiMatchTheirDefinition) {
  std::mt19937 rng(7);
  for (const int bps : {1, 2}) {
    for (int width = 1; width <= 70; width += 3) {
      CImageItem item;
      const int height = 1 + width % 5;
      ASSERT_TRUE(item.allocate(bps, width, height));
      const unsigned top = bps == 1 ? 255u : 65535u;
      for (int i = 0; i < width * height; ++i) {
        const unsigned v = rng() % (top + 1);
        if (bps == 1) item.data()[i] = std::uint8_t(v);
        else item.data16()[i] = std::uint16_t(v % 3 == 0 ? v : v % 4096);
      }
      const int x0 = int(rng() % unsigned(width)), y0 = int(rng() % unsigned(height));
      const Rect r{x0, y0, x0 + 1 + int(rng() % unsigned(width - x0)), y0 + 1 + int(rng() % unsigned(height - y0))};
      item.setRoi(r);
      int lo = 4095, hi = 0;
      std::uint64_t sum = 0, n = 0;
      for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
          const int v = std::min(4095, bps == 1 ? int(item.data()[y * width + x]) : int(item.data16()[y * width + x]));
          lo = std::min(lo, v);
          hi = std::max(hi, v);
          sum += unsigned(v);
          ++n;
        }
      SCOPED_TRACE(testing::Message() << "bps " << bps << " width " << width);
      EXPECT_EQ(item.roiMinimum(), lo);
      EXPECT_EQ(item.roiMaximum(), hi);
      EXPECT_EQ(item.roiMean(), int((sum + n / 2) / n));
    }
  }
}

// Wide ROIs whose rows fill whole vectors and leave every tail, on samples
// of the full 16-bit range (clipped to 4095 as the display sees them), and
// ROIs starting off a vector boundary, against the plain definition.
TEST(ImageModel, StatisticsOfWideRoisMatchTheirDefinition) {
  std::mt19937 rng(11);
  for (const int bps : {1, 2}) {
    for (const int width : {31, 32, 33, 63, 64, 65, 95, 97, 130, 1531}) {
      CImageItem item;
      const int height = 3 + width % 4;
      ASSERT_TRUE(item.allocate(bps, width, height));
      for (int i = 0; i < width * height; ++i) {
        const unsigned v = rng();
        if (bps == 1) item.data()[i] = std::uint8_t(v);
        else item.data16()[i] = std::uint16_t(v % 4 == 0 ? v : v % 4096);
      }
      for (const Rect r : {Rect{0, 0, width, height}, Rect{1, 1, width, height}, Rect{3, 0, width - 1, height - 1}}) {
        item.setRoi(r);
        int lo = 4095, hi = 0;
        std::uint64_t sum = 0, n = 0;
        for (int y = r.top; y < r.bottom; ++y)
          for (int x = r.left; x < r.right; ++x) {
            const int v =
                std::min(4095, bps == 1 ? int(item.data()[y * width + x]) : int(item.data16()[y * width + x]));
            lo = std::min(lo, v);
            hi = std::max(hi, v);
            sum += unsigned(v);
            ++n;
          }
        SCOPED_TRACE(testing::Message() << "bps " << bps << " width " << width << " left " << r.left);
        EXPECT_EQ(item.roiMinimum(), lo);
        EXPECT_EQ(item.roiMaximum(), hi);
        EXPECT_EQ(item.roiMean(), int((sum + n / 2) / n));
      }
    }
  }
}

// The line profile's means, taken row by row, against the definition (the
// integer mean of each column, or row, of the clamped ROI): widths that leave
// every vector tail of both sample sizes, odd and out-of-image ROIs, both
// directions, and a ROI wider than the 10,000 samples a profile keeps.
TEST(ImageModel, LineProfileMeansMatchTheirDefinition) {
  std::mt19937 rng(11);
  const auto check = [&](CImageItem& item, const Rect& asked) {
    const int w = item.width(), h = item.height();
    Rect r{std::clamp(std::min(asked.left, asked.right), 0, w), std::clamp(std::min(asked.top, asked.bottom), 0, h),
           std::clamp(std::max(asked.left, asked.right), 0, w), std::clamp(std::max(asked.top, asked.bottom), 0, h)};
    if (r.empty()) r = {0, 0, w, h};
    for (const bool vertical : {false, true}) {
      item.profileVertical = vertical;
      item.setRoi(asked);
      const int lines = vertical ? r.bottom - r.top : r.right - r.left;
      const int across = vertical ? r.right - r.left : r.bottom - r.top;
      std::vector<int> means;
      for (int i = 0; i < std::min(lines, 10000); ++i) {
        std::uint64_t sum = 0;
        for (int j = 0; j < across; ++j)
          sum += unsigned(vertical ? item.pixel(r.left + j, r.top + i) : item.pixel(r.left + i, r.top + j));
        means.push_back(int(sum / std::uint64_t(across)));
      }
      const auto [mn, mx] = std::minmax_element(means.begin(), means.end());
      const int lo = *mn, hi = *mx;
      for (int& m : means) m = 255 - (hi > lo ? (m - lo) * 255 / (hi - lo) : m);
      SCOPED_TRACE(testing::Message() << "bps " << item.bytesPerSample() << " size " << w << " x " << h << " roi "
                                      << asked.left << "," << asked.top << "," << asked.right << "," << asked.bottom
                                      << (vertical ? " vertical" : " horizontal"));
      EXPECT_EQ(item.profile.samples, means);
      EXPECT_EQ(item.profile.maxText, std::to_string(hi));
      EXPECT_EQ(item.profile.minText, std::to_string(lo));
    }
  };
  for (const int bps : {1, 2}) {
    for (int width = 1; width <= 140; width += 3) {
      CImageItem item;
      const int height = 1 + (width * 7) % 23;
      ASSERT_TRUE(item.allocate(bps, width, height));
      for (int i = 0; i < width * height; ++i) {
        const unsigned v = rng();
        if (bps == 1) item.data()[i] = std::uint8_t(v);
        else item.data16()[i] = std::uint16_t(v % 5 == 0 ? v : v % 4096);  // some above 12 bits
      }
      item.active = 1;
      const int x0 = int(rng() % unsigned(width)), y0 = int(rng() % unsigned(height));
      check(item, {x0, y0, x0 + 1 + int(rng() % unsigned(width - x0)), y0 + 1 + int(rng() % unsigned(height - y0))});
      check(item, {width + 5, height, x0 - 3, y0});  // reversed, reaching outside
      check(item, {});                               // the whole image
    }
  }
  CImageItem wide;
  ASSERT_TRUE(wide.allocate(2, 10037, 3));
  for (int i = 0; i < 10037 * 3; ++i) wide.data16()[i] = std::uint16_t(rng() % 4096);
  wide.active = 1;
  check(wide, {5, 0, 10037, 3});
}

// The open's statistics, taken on several threads while the rows are read
// and copied in, against the definition, and the pixels as read; sizes above
// the single-thread limit, and small widths that end in every vector tail.
TEST(ImageModel, LoadStatisticsMatchTheirDefinition) {
  std::mt19937 rng(5);
  std::vector<std::tuple<int, int, int>> sizes = {{2, 1531, 1400}, {1, 2053, 2100}, {2, 4099, 517}};
  for (int width = 1; width <= 130; width += 1) sizes.emplace_back(1 + width % 2, width, 1 + width % 5);
  for (const auto& [bps, width, height] : sizes) {
    CImageItem item;
    ASSERT_TRUE(item.allocate(bps, width, height));
    std::vector<unsigned> values(std::size_t(width) * std::size_t(height));
    for (unsigned& v : values) v = rng() % (bps == 2 ? 4096u : 256u);
    // Plain copies: clang before 16 refuses structured bindings inside a lambda.
    const std::size_t rowLength = std::size_t(width);
    const bool wide = bps == 2;
    const auto fillRows = [&](int y0, int y1, std::uint8_t* rows) {
      const std::size_t first = std::size_t(y0) * rowLength;
      for (std::size_t i = first; i < std::size_t(y1) * rowLength; ++i) {
        const std::uint16_t v = std::uint16_t(values[i]);
        if (wide) std::memcpy(rows + 2 * (i - first), &v, 2);
        else rows[i - first] = std::uint8_t(v);
      }
      return true;
    };
    ASSERT_EQ(item.completeLoad(fillRows), CImageItem::LoadResult::kLoaded);
    const auto [mn, mx] = std::minmax_element(values.begin(), values.end());
    std::uint64_t sum = 0;
    for (const unsigned v : values) sum += v;
    SCOPED_TRACE(testing::Message() << width << " x " << height);
    EXPECT_EQ(item.roiMinimum(), int(*mn));
    EXPECT_EQ(item.roiMaximum(), int(*mx));
    EXPECT_EQ(item.roiMean(), int((sum + values.size() / 2) / values.size()));
    EXPECT_EQ(item.statisticsRect, (Rect{0, 0, width, height}));
    std::size_t differing = 0;
    for (std::size_t i = 0; i < values.size(); ++i)
      differing += (wide ? item.data16()[i] : item.data()[i]) != values[i];
    EXPECT_EQ(differing, 0u);
  }
}

TEST(ImageModel, CompleteLoadRefusesSamplesAboveTwelveBits) {
  // One sample above 12 bits, in a row's first or last position, of rows that
  // fill whole vectors or leave a tail.
  for (const int width : {31, 32, 33, 64, 65}) {
    for (const int at : {0, width - 1}) {
      CImageItem wide;
      ASSERT_TRUE(wide.allocate(2, width, 3));
      std::fill(wide.data16(), wide.data16() + wide.sampleCount(), std::uint16_t(100));
      wide.data16()[width + at] = 0x1000;
      SCOPED_TRACE(testing::Message() << "width " << width << " at " << at);
      EXPECT_FALSE(wide.completeLoad());
    }
  }
  CImageItem item;
  ASSERT_TRUE(item.allocate(2, 2, 1));
  item.data16()[0] = 0x0FFF;
  item.data16()[1] = 0x1001;
  EXPECT_FALSE(item.completeLoad());
  EXPECT_EQ(item.data16()[1], 0x0001);  // cut in place
  item.data16()[1] = 0x0400;
  EXPECT_TRUE(item.completeLoad());
  EXPECT_EQ(item.maxValue, 4095);
  EXPECT_EQ(item.windowCentre, 2047);
  EXPECT_EQ(item.windowWidth, 4095);
}

TEST(ImageModel, MaximumValueFollowsTheImageMaximum) {
  for (auto [top, expected] : {std::pair{255, 255}, {256, 1023}, {1023, 1023}, {1024, 4095}}) {
    CImageItem item;
    ASSERT_TRUE(item.allocate(2, 2, 1));
    item.data16()[0] = 0;
    item.data16()[1] = std::uint16_t(top);
    ASSERT_TRUE(item.completeLoad());
    EXPECT_EQ(item.maxValue, expected) << top;
    EXPECT_EQ(item.imageMax, top);
    EXPECT_EQ(item.imageMin, 0);
  }
}

TEST(ImageModel, LineProfileScalesEverySpanWithoutDividingByZero) {
  for (int span : {0, 1, 2, 100, 254, 255, 4095}) {
    SCOPED_TRACE(span);
    CImageItem item;
    ASSERT_TRUE(item.allocate(2, 3, 2));
    for (int y = 0; y < 2; ++y) {
      item.data16()[y * 3 + 0] = 0;
      item.data16()[y * 3 + 1] = std::uint16_t(span / 2);
      item.data16()[y * 3 + 2] = std::uint16_t(span);
    }
    item.active = 1;
    item.setRoi({0, 0, 3, 2});
    ASSERT_EQ(item.profile.samples.size(), 3u);
    EXPECT_EQ(item.profile.maxText, std::to_string(span));
    EXPECT_EQ(item.profile.minText, "0");
    // raw-value mode: 255 minus the scaled value
    if (span >= 1) {
      EXPECT_EQ(item.profile.samples[0], 255);
      EXPECT_EQ(item.profile.samples[1], 255 - (span / 2) * 255 / span);
      EXPECT_EQ(item.profile.samples[2], 0);
    } else {
      EXPECT_EQ(item.profile.samples, (std::vector<int>{255, 255, 255}));
    }
  }
}

TEST(ImageModel, VerticalProfileAndOdTexts) {
  CImageItem item;
  ASSERT_TRUE(item.allocate(1, 2, 3));
  const std::uint8_t rows[] = {0, 0, 100, 100, 255, 255};
  std::copy(rows, rows + 6, item.data());
  item.maxValue = 255;
  item.odRange = 40;
  item.odUnit = true;
  item.profileVertical = true;
  item.active = 1;
  item.setRoi({0, 0, 2, 3});
  ASSERT_EQ(item.profile.samples, (std::vector<int>{0, 100, 255}));
  EXPECT_EQ(item.profile.maxText, "4.000");  // the O.D. of the minimum sample
  EXPECT_EQ(item.profile.minText, "0.000");
  EXPECT_DOUBLE_EQ(item.opticalDensity(0), 4.0);
  EXPECT_EQ(item.valueText(51), "3.200");  // (1 - 51/255) x 40 x 0.1
  item.odUnit = false;
  EXPECT_EQ(item.valueText(51), "51");
  item.odUnit = true;
  EXPECT_FALSE(item.showsOd(false));
  item.odRange = 0;
  EXPECT_FALSE(item.showsOd(true));
}

TEST(ImageModel, InactiveItemKeepsNoProfile) {
  CImageItem item;
  fill(item, 1, 4, 4);
  item.setRoi({0, 0, 4, 4});
  EXPECT_TRUE(item.profile.samples.empty());
}

TEST(ImageModel, RoiToWindowCoordinates) {
  CImageItem item;
  fill(item, 1, 100, 50);
  item.setRoi({10, 20, 30, 40});
  const Rect w = item.roiToWindow(200, 100, 2.0, 0.5, 0.5);
  EXPECT_EQ(w, (Rect{(10 - 50) * 2 + 100, (20 - 25) * 2 + 50, (30 - 50) * 2 + 100, (40 - 25) * 2 + 50}));
}

TEST(DisplayLut, ClampsWindowAndKeepsTheFloorOf21) {
  CDisplayLUT lut;
  lut.maxValue = 4095;
  EXPECT_TRUE(lut.setWindow(9999, 0, 0));
  EXPECT_EQ(lut.windowCentre, 4095);
  EXPECT_EQ(lut.windowWidth, 1);
  EXPECT_FALSE(lut.setWindow(4095, 1, 0));
  EXPECT_TRUE(lut.setWindow(-4, 99999, 0));
  EXPECT_EQ(lut.windowCentre, 0);
  EXPECT_EQ(lut.windowWidth, 2 * 4095 + 2);
  // A window whose every sample is black still shows at least 21.
  lut.setWindow(4095, 1, 0);
  for (auto g : lut.table) EXPECT_GE(g, 21);
  EXPECT_EQ(lut.table[4094], 21);
  EXPECT_EQ(lut.table[4095], 128);
}

TEST(DisplayLut, BuildFollowsTheRamp) {
  CDisplayLUT lut;
  lut.maxValue = 255;
  lut.setWindow(128, 256, 0);
  EXPECT_EQ(lut.table[128], 128);
  EXPECT_EQ(lut.table[0], 21);  // (0 - 128*256)/256 + 128 = 0, raised to 21
  EXPECT_EQ(lut.table[200], (256 * 200 - 256 * 128) / 256 + 128);
  EXPECT_EQ(lut.table[300], 255);
  lut.setWindow(128, 256, 1);  // user invert
  EXPECT_EQ(lut.table[200], 255 - 200);
  lut.invertedImage = 1;  // inverted image and user invert cancel out
  lut.build();
  EXPECT_EQ(lut.table[200], 200);
  // division truncates toward zero below the centre: -256 / 3 = -85, not -86
  lut.invertedImage = 0;
  lut.setWindow(128, 3, 0);
  EXPECT_EQ(lut.table[127], 43);
}

TEST(StudyInfo, DateTextAndLabels) {
  EXPECT_EQ(dateText("2024", "03", "07"), "2024/3/7");
  EXPECT_EQ(dateText("1799", "3", "7"), "    /  /");
  EXPECT_EQ(dateText("2024", "13", "7"), "    /  /");
  EXPECT_EQ(dateText("", "", ""), "    /  /");
  CStudyInfo s;
  CStudyInfo::set(s.studyYear, "2026");
  CStudyInfo::set(s.studyMonth, "12");
  CStudyInfo::set(s.studyDay, "10");
  CStudyInfo::set(s.sex, "M ");
  EXPECT_EQ(s.fieldText(CStudyInfo::kStudyDate), "2026/12/10");
  EXPECT_EQ(s.fieldText(CStudyInfo::kSex), "M ");
  EXPECT_EQ(CStudyInfo::label(CStudyInfo::kStudyId), "Study ID:");
  EXPECT_EQ(CStudyInfo::labelId(CStudyInfo::kInstanceUid), 40);
  EXPECT_EQ(CStudyInfo::label(CStudyInfo::kManufacturingDate), "Component\n   Manufacturing Date:");
}

TEST(StudyInfo, FieldsAreCutWithoutSplittingADoubleByteCharacter) {
  CStudyInfo s;
  std::string text(63, 'a');
  text += "\x8A\xBF";  // a two-byte character straddling the 64-byte limit
  CStudyInfo::set(s.componentName, text);
  EXPECT_EQ(std::string(s.componentName), std::string(63, 'a'));
}

TEST(ImageTable, HoldsAtMost512AndMovesSelectedRois) {
  CImageTable table;
  for (int i = 0; i < 512; ++i) {
    auto item = std::make_unique<CImageItem>();
    fill(*item, 1, 8, 8);
    item->selected = i < 2;
    ASSERT_TRUE(table.add(std::move(item)));
  }
  EXPECT_FALSE(table.add(std::make_unique<CImageItem>()));
  EXPECT_EQ(table.count(), 512);
  EXPECT_EQ(table.activeItem(), table.get(0));
  table.get(1)->active = 1;
  EXPECT_EQ(table.activeItem(), table.get(1));
  EXPECT_EQ(table.selectedCount(), 2);
  table.get(1)->setRoi({1, 1, 3, 3});
  table.moveSelectedRoi(2, 1);
  EXPECT_EQ(table.get(0)->roi, (Rect{3, 2, 5, 4}));
  EXPECT_EQ(table.get(1)->roi, (Rect{3, 2, 5, 4}));
  EXPECT_EQ(table.get(2)->roi, (Rect{}));
  table.get(1)->roi = {};
  table.moveSelectedRoi(1, 1);  // an empty active ROI moves nothing
  EXPECT_EQ(table.get(0)->roi, (Rect{3, 2, 5, 4}));
  table.deleteAll();
  EXPECT_EQ(table.count(), 0);
  EXPECT_EQ(table.get(0), nullptr);
}

TEST(ImageItem, DestroyingRemovesTheTemporaryFileAndItsEmptyFolder) {
  testsupport::TempDir dir;
  const auto folder = dir / "TEMP0001";
  std::filesystem::create_directory(folder);
  testsupport::writeFile(folder / "00000001.tmp", "x");
  {
    CImageItem item;
    item.tempPath = (folder / "00000001.tmp").string();
  }
  EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST(ImageBuffer, AllocationRefusesImpossibleSizes) {
  CImageBuffer b;
  EXPECT_FALSE(b.allocate(2, 0, 10));
  EXPECT_FALSE(b.allocate(2, 65536, 1));
  EXPECT_FALSE(b.allocate(3, 10, 10));
  EXPECT_FALSE(b.allocate(2, 65535, 65535));  // above the per-image cap
  EXPECT_TRUE(b.allocate(1, 65535, 1));
  EXPECT_EQ(b.pixel(-1, 0), 0);
  EXPECT_EQ(b.pixel(65535, 0), 0);
}

TEST(ImageItem, CopiesTheClampedRoiRowByRow) {
  CImageItem item;
  fill(item, 2, 5, 4);
  item.setRoi({3, 2, 9, 9});  // clamped to columns 3..4, rows 2..3
  std::vector<std::uint16_t> out(4, 0xFFFF);
  item.copyRoi(reinterpret_cast<std::uint8_t*>(out.data()));
  EXPECT_EQ(out, (std::vector<std::uint16_t>{13, 14, 18, 19}));
}

TEST(ImageBuffer, SecondBufferKeepsTheUnprocessedSamples) {
  CImageItem item;
  fill(item, 1, 3, 1);
  EXPECT_EQ(item.unprocessed(), item.data());
  ASSERT_TRUE(item.keepSecondBuffer());
  item.data()[0] = 99;
  EXPECT_EQ(item.unprocessed()[0], 0);
  item.freeSecondBuffer();
  EXPECT_EQ(item.unprocessed(), item.data());
}
