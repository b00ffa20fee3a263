// Preview rows, stored images and the raw file writer.
#include "crengine/internal/image.h"

#include "fakes.h"

#include <gtest/gtest.h>

namespace {

using crengine::BlockImageData;
using crengine::Preview;
using crengine::Progress;

struct PreviewBuffers {
  PreviewBuffers(int w, int h) : image16(std::size_t(w) * h, 0xABCD), image8(std::size_t(w) * h, 0xAB) {
    view.image16 = image16.data();
    view.image8 = image8.data();
    view.width = w;
    view.height = h;
  }
  std::vector<std::uint16_t> image16;
  std::vector<std::uint8_t> image8;
  Preview view;
};

// Every line constant (value of the line's index times 10): smoothing keeps it.
std::shared_ptr<BlockImageData> constantLines(std::uint32_t w, std::uint32_t hb, std::uint32_t n,
                                              std::uint32_t depth, bool invert) {
  auto data = BlockImageData::allocate(w, hb, n, depth, invert);
  for (std::uint32_t b = 0; b < n; ++b)
    for (std::uint32_t j = 0; j < hb; ++j)
      for (std::uint32_t x = 0; x < w; ++x) data->blocks[b][j * w + x] = std::uint16_t((b * hb + j) * 10);
  return data;
}

// Row k of the preview when every image line k has value 10k: the mean of the
// last 8 lines, the first rows seeing the block's first 8 lines.
std::uint16_t expectedRow(std::uint32_t k) { return k < 8 ? 35 : std::uint16_t(10 * k - 35); }

TEST(Preview, HeightEqualToTheLinesGivesOneRowPerLine) {
  const std::uint32_t w = 16, hb = 10, n = 3, lines = hb * n;
  auto data = constantLines(w, hb, n, 16, false);
  PreviewBuffers buffers(8, int(lines));
  ASSERT_TRUE(crengine::clearPreview(buffers.view));
  Progress progress;
  for (std::uint32_t b = 0; b < n; ++b) {
    ASSERT_TRUE(crengine::processBlock(*data, b, buffers.view, progress));
    EXPECT_EQ(progress.miniLine.load(), int((b + 1) * hb));
    EXPECT_EQ(progress.scanLine.load(), int((b + 1) * hb));
    EXPECT_EQ(progress.block.load(), int(b));
  }
  for (std::uint32_t k = 0; k < lines; ++k) {
    for (int x = 0; x < 8; ++x) {
      ASSERT_EQ(buffers.image16[k * 8 + x], expectedRow(k)) << "row " << k;
      ASSERT_EQ(buffers.image8[k * 8 + x], expectedRow(k) >> 8) << "row " << k;
    }
  }
}

TEST(Preview, TwiceTheLinesCopiesEachOddRowFromTheRowAfter) {
  const std::uint32_t w = 12, hb = 8, n = 2, lines = hb * n;
  auto data = constantLines(w, hb, n, 12, false);
  PreviewBuffers buffers(6, int(2 * lines));
  ASSERT_TRUE(crengine::clearPreview(buffers.view));
  Progress progress;
  for (std::uint32_t b = 0; b < n; ++b) ASSERT_TRUE(crengine::processBlock(*data, b, buffers.view, progress));
  EXPECT_EQ(progress.miniLine.load(), int(2 * lines - 1));
  for (std::uint32_t k = 0; k < lines; ++k) {
    EXPECT_EQ(buffers.image16[2 * k * 6], expectedRow(k)) << "row " << 2 * k;
    EXPECT_EQ(buffers.image8[2 * k * 6], expectedRow(k) >> 4) << "12 bits shift by 4";
    if (k > 0) {
      EXPECT_EQ(buffers.image16[(2 * k - 1) * 6], buffers.image16[2 * k * 6]) << "row " << 2 * k - 1;
    }
  }
  EXPECT_EQ(buffers.image16[(2 * lines - 1) * 6], 0) << "the last row is never reached";
}

TEST(Preview, Inverted16BitZeroBecomesFullScale) {
  auto data = BlockImageData::allocate(10, 8, 1, 16, true);
  PreviewBuffers buffers(5, 8);
  ASSERT_TRUE(crengine::clearPreview(buffers.view));
  Progress progress;
  ASSERT_TRUE(crengine::processBlock(*data, 0, buffers.view, progress));
  for (auto v : buffers.image16) EXPECT_EQ(v, 65535);
  for (auto v : buffers.image8) EXPECT_EQ(v, 255);
}

TEST(Preview, SmoothsSevenPixelsAndStartsFromTheRawLines) {
  // Every line 0 0 0 0 70 0 0 0 0 0: smoothed 0 0 0 10 10 10 10 0 0 0.
  auto data = BlockImageData::allocate(10, 8, 2, 16, false);
  for (int b = 0; b < 2; ++b)
    for (int j = 0; j < 8; ++j) data->blocks[b][j * 10 + 4] = 70;
  PreviewBuffers buffers(10, 16);
  ASSERT_TRUE(crengine::clearPreview(buffers.view));
  Progress progress;
  ASSERT_TRUE(crengine::processBlock(*data, 0, buffers.view, progress));
  ASSERT_TRUE(crengine::processBlock(*data, 1, buffers.view, progress));
  // Row 0: one smoothed line and seven raw ones.
  const std::vector<std::uint16_t> row0{0, 0, 0, 1, (10 + 7 * 70) / 8, 1, 1, 0, 0, 0};
  EXPECT_EQ(std::vector<std::uint16_t>(buffers.image16.begin(), buffers.image16.begin() + 10), row0);
  const std::vector<std::uint16_t> row15{0, 0, 0, 10, 10, 10, 10, 0, 0, 0};
  EXPECT_EQ(std::vector<std::uint16_t>(buffers.image16.begin() + 150, buffers.image16.begin() + 160), row15);
}

TEST(Preview, BlockBeyondTheCountIsRefused) {
  crtest::RecordingSink sink;
  crengine::setLogSink(&sink);
  auto data = BlockImageData::allocate(4, 8, 2, 16, false);
  PreviewBuffers buffers(4, 4);
  Progress progress;
  EXPECT_FALSE(crengine::processBlock(*data, 2, buffers.view, progress));
  EXPECT_TRUE(sink.contains("Error: ProcessBlockImage_Block Max block number 2 <= 2"));
  crengine::setLogSink(nullptr);
}

TEST(Blocks, AreZeroedAndRefusedWhenUnusable) {
  auto data = BlockImageData::allocate(7, 9, 3, 16, false);
  ASSERT_TRUE(data);
  for (auto* block : data->table)
    for (int i = 0; i < 63; ++i) EXPECT_EQ(block[i], 0);
  EXPECT_FALSE(BlockImageData::allocate(0, 9, 3, 16, false));
  EXPECT_FALSE(BlockImageData::allocate(7, 9, 501, 16, false));
  EXPECT_FALSE(BlockImageData::allocate(65535, 65535, 500, 16, false)) << "4 GiB and more";
}

// ---- stored images ----

class StoredImagesTest : public ::testing::Test {
 protected:
  void SetUp() override { crengine::setLogSink(&sink); }
  void TearDown() override { crengine::setLogSink(nullptr); }

  // A stored image whose pixel (x, y) is base + y * width + x.
  void writeImage(const std::string& name, int w, int h, int bits, std::uint16_t base) {
    std::string raw;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        std::uint16_t v = std::uint16_t(base + y * w + x);
        raw.push_back(char(v & 0xFF));
        raw.push_back(char(v >> 8));
      }
    testsupport::writeFile(dir / name, raw);
    writeInfo(name, std::to_string(w), std::to_string(h), std::to_string(bits));
  }
  void writeInfo(const std::string& name, const std::string& w, const std::string& h, const std::string& bits) {
    testsupport::writeFile(dir / (name + ".info"), "[ImageInfo]\r\nImageWidth=" + w + "\r\nImageHeight=" + h +
                                                       "\r\nBitsPerPixel=" + bits + "\r\n");
  }
  std::uint16_t firstPixelAfterFill(crengine::StoredImages& stored) {
    auto data = BlockImageData::allocate(4, 2, 1, 16, false);
    stored.fill(*data, 16, false);
    return data->blocks[0][0];
  }

  crtest::RecordingSink sink;
  testsupport::TempDir dir;
};

TEST_F(StoredImagesTest, RotateOnEveryAttemptFailedOnesIncluded) {
  writeImage("a.raw", 4, 2, 16, 100);
  writeImage("b.raw", 4, 2, 16, 200);
  writeImage("c.raw", 4, 2, 16, 300);
  crengine::StoredImages stored;
  ASSERT_TRUE(stored.setDirectory(dir.path().string(), "/"));
  EXPECT_EQ(firstPixelAfterFill(stored), 100);
  EXPECT_EQ(firstPixelAfterFill(stored), 200);
  EXPECT_EQ(firstPixelAfterFill(stored), 300);
  EXPECT_EQ(firstPixelAfterFill(stored), 100);
  std::filesystem::remove(dir / "b.raw.info");
  EXPECT_EQ(firstPixelAfterFill(stored), 0) << "b cannot be read: the blocks stay zero";
  EXPECT_TRUE(sink.contains("b.raw.info nothing."));
  EXPECT_EQ(firstPixelAfterFill(stored), 300) << "and the next attempt moves on to c";
}

TEST_F(StoredImagesTest, NarrowAndShortImagesRepeatAcrossAndDown) {
  writeImage("s.raw", 3, 2, 16, 1);  // rows 1 2 3 / 4 5 6
  crengine::StoredImages stored;
  ASSERT_TRUE(stored.setDirectory(dir.path().string(), "/"));
  auto data = BlockImageData::allocate(7, 3, 2, 16, false);
  ASSERT_TRUE(stored.fill(*data, 16, false));
  const std::vector<std::uint16_t> top{1, 2, 3, 1, 2, 3, 1}, second{4, 5, 6, 4, 5, 6, 4};
  for (int k = 0; k < 6; ++k) {
    std::vector<std::uint16_t> line(data->blocks[k / 3].get() + (k % 3) * 7, data->blocks[k / 3].get() + (k % 3) * 7 + 7);
    EXPECT_EQ(line, k % 2 == 0 ? top : second) << "line " << k;
  }
}

TEST_F(StoredImagesTest, DepthIsShiftedAndInvertedWithinTheOutputDepth) {
  writeImage("d.raw", 2, 1, 12, 0x0ABC);
  crengine::StoredImages stored;
  ASSERT_TRUE(stored.setDirectory(dir.path().string(), "/"));
  auto data = BlockImageData::allocate(2, 1, 1, 16, false);
  ASSERT_TRUE(stored.fill(*data, 16, false));
  EXPECT_EQ(data->blocks[0][0], 0xABC0);
  ASSERT_TRUE(stored.fill(*data, 14, true));
  EXPECT_EQ(data->blocks[0][1], std::uint16_t(0x3FFF & ~(0x0ABD << 2)));
}

TEST_F(StoredImagesTest, HostileDescriptionsMakeTheImageUnreadable) {
  const std::vector<std::vector<std::string>> cases{
      {"0", "2", "16"},  {"-5", "2", "16"},         {"4", "0", "16"},
      {"4", "2", "0"},   {"4", "2", "17"},          {"2147483647", "2147483647", "16"},
      {"65536", "32768", "16"},  // exactly 4 GiB
      {"4", "3", "16"},          // more than the file holds
  };
  writeImage("h.raw", 4, 2, 16, 9);
  crengine::StoredImages stored;
  ASSERT_TRUE(stored.setDirectory(dir.path().string(), "/"));
  for (const auto& c : cases) {
    writeInfo("h.raw", c[0], c[1], c[2]);
    auto data = BlockImageData::allocate(4, 2, 1, 16, false);
    EXPECT_FALSE(stored.fill(*data, 16, false)) << c[0] << " " << c[1] << " " << c[2];
    EXPECT_EQ(data->blocks[0][0], 0);
  }
}

TEST_F(StoredImagesTest, RelativeDirectoryIsTakenFromTheProgramDirectory) {
  std::filesystem::create_directory(dir / "halcDemoData");
  writeImage("halcDemoData/r.raw", 2, 1, 16, 42);
  crengine::StoredImages stored;
  ASSERT_TRUE(stored.setDirectory(".\\halcDemoData\\", dir.path()));
  EXPECT_TRUE(sink.contains("  DummyImageDirectory = " + (dir / "halcDemoData").string() + "/"));
  auto data = BlockImageData::allocate(2, 1, 1, 16, false);
  ASSERT_TRUE(stored.fill(*data, 16, false));
  EXPECT_EQ(data->blocks[0][0], 42);
}

TEST_F(StoredImagesTest, NoStoredImageIsReported) {
  crengine::StoredImages stored;
  ASSERT_TRUE(stored.setDirectory(dir.path().string(), "/"));
  auto data = BlockImageData::allocate(2, 1, 1, 16, false);
  EXPECT_FALSE(stored.fill(*data, 16, false));
  EXPECT_TRUE(sink.contains("Error: Dummy raw file nothing."));
}

}  // namespace
