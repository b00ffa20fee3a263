#include "viewer/formats/pgm_bmp.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

#include "format_test_util.h"
#include "testsupport/testsupport.h"
#include "viewer/formats/format_support.h"
#include "viewer/formats/internal/file_io.h"

using namespace viewer;
using namespace viewer::formats;
using formats_test::makeImage;
using formats_test::samples;

namespace {

class PgmBmpTest : public ::testing::Test {
 protected:
  std::string path(const std::string& name) { return (dir / name).string(); }
  std::string put(const std::string& name, const std::string& bytes) {
    testsupport::writeFile(dir / name, bytes);
    return path(name);
  }
  testsupport::TempDir dir;
  formats_test::ScriptedPrompt promptScript;
};

std::string le32(std::uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
std::string le16(std::uint32_t v) { return {char(v), char(v >> 8)}; }

// An 8-bit BMP with the given header fields, palette and stored rows.
std::string makeBmp(std::int32_t w, std::int32_t h, const std::string& rows, const std::string& palette,
                    std::uint32_t infoSize = 40, std::uint16_t bits = 8, std::uint32_t compression = 0,
                    std::int32_t ppm = 3780, std::uint32_t coloursUsed = 0) {
  std::string info = le32(infoSize) + le32(std::uint32_t(w)) + le32(std::uint32_t(h)) + le16(1) + le16(bits) +
                     le32(compression) + le32(std::uint32_t(rows.size())) + le32(std::uint32_t(ppm)) +
                     le32(std::uint32_t(ppm)) + le32(coloursUsed) + le32(0);
  if (infoSize > 40) info += std::string(infoSize - 40, '\0');
  const std::uint32_t offset = 14 + std::uint32_t(info.size() + palette.size());
  return "BM" + le32(offset + std::uint32_t(rows.size())) + le32(0) + le32(offset) + info + palette + rows;
}

std::string identityPalette() {
  std::string p;
  for (int i = 0; i < 256; ++i) p += {char(i), char(i), char(i), 0};
  return p;
}

}  // namespace

TEST_F(PgmBmpTest, PgmWithCommentsAcrossLines) {
  const std::string file = std::string("P5\n# made by hand\n4 3\n255\n") + std::string("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b", 12);
  CImageItem image;
  ASSERT_EQ(ReadPgmFile(image, put("c.pgm", file)), 1);
  EXPECT_EQ(image.width(), 4);
  EXPECT_EQ(image.height(), 3);
  EXPECT_EQ(samples(image), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  EXPECT_EQ(image.maxValue, 255);
  EXPECT_EQ(image.windowCentre, 127);
  EXPECT_EQ(image.windowWidth, 255);
  EXPECT_EQ(image.bitsStored, 8);
  // The maximum value of the file does not scale the samples.
  ASSERT_EQ(ReadPgmFile(image, put("m.pgm", std::string("P5 2 1 100 ") + "\x64\x32")), 1);
  EXPECT_EQ(samples(image), (std::vector<int>{100, 50}));
}

TEST_F(PgmBmpTest, PgmRefusals) {
  struct Case {
    std::string file;
    int reason;
  };
  for (const Case& c : {Case{"P5\n2 2\n65535\n" + std::string(8, 'a'), kNotSupported},
                        Case{"P2\n2 2\n255\n1 2 3 4", kNotSupported},
                        Case{"P5\n0 2\n255\n", kNotSupported},
                        Case{"P5\n32768 1\n255\n" + std::string(32768, 'a'), kNotSupported},
                        Case{"P5\n2 2\n255\nabc", kFileAccessFailure},
                        Case{"P5\n2 2\n255", kNotSupported},
                        Case{"P5" + std::string(4000, ' ') + "2 2 255\n" + std::string(4, 'a'), kNotSupported},
                        Case{"P5\n2 2\n99999999999999999999\n", kNotSupported}}) {
    CImageItem image;
    EXPECT_EQ(ReadPgmFile(image, put("r.pgm", c.file)), 0) << c.file.substr(0, 20);
    EXPECT_EQ(failures().reason(), c.reason) << c.file.substr(0, 20);
  }
}

TEST_F(PgmBmpTest, TwelveBitSamplesAreScaledWhenWritten) {
  CImageItem image;
  ASSERT_TRUE(image.allocate(2, 5, 1));
  const std::uint16_t px[5] = {0, 2048, 4095, 1000, 4};
  std::copy(px, px + 5, image.data16());
  ASSERT_TRUE(image.completeLoad());
  ASSERT_EQ(image.maxValue, 4095);
  ASSERT_EQ(WritePgmFile(image, path("s.pgm")), 1);
  EXPECT_EQ(testsupport::readFile(dir / "s.pgm"), std::string("P5\n5 1\n255\n") + std::string("\x00\x7f\xff\x3e\x00", 5));
  ASSERT_EQ(WriteBmpFile(image, path("s.bmp")), 1);
  CImageItem back;
  ASSERT_EQ(ReadBmpFile(back, path("s.bmp")), 1);
  EXPECT_EQ(samples(back), (std::vector<int>{0, 127, 255, 62, 0}));
}

TEST_F(PgmBmpTest, BmpLayoutOfAWidthFiveImage) {
  CImageItem image;
  makeImage(image, 1, 5, 3, 200);
  image.pitch = 200;
  ASSERT_EQ(WriteBmpFile(image, path("w.bmp")), 1);
  const std::string bytes = testsupport::readFile(dir / "w.bmp");
  ASSERT_EQ(bytes.size(), 8u * 3u + 1078u);
  const auto* b = reinterpret_cast<const std::uint8_t*>(bytes.data());
  EXPECT_EQ(internal::get32le(b + 2), 8u * 3u + 1078u);
  EXPECT_EQ(internal::get32le(b + 10), 1078u);
  EXPECT_EQ(internal::get32le(b + 38), 5000u);  // 1,000,000 / 200
  EXPECT_EQ(internal::get32le(b + 34), 24u);
  // The first stored row is the bottom row, padded with zeros.
  for (int x = 0; x < 5; ++x) EXPECT_EQ(b[1078 + x], image.pixel(x, 2));
  EXPECT_EQ(b[1078 + 5], 0);
  EXPECT_EQ(b[54 + 4 * 77], 77);
  CImageItem back;
  ASSERT_EQ(ReadBmpFile(back, path("w.bmp")), 1);
  EXPECT_EQ(samples(back), samples(image));
  EXPECT_EQ(back.pitch, 200);
}

TEST_F(PgmBmpTest, BmpRowOrderPaletteAndPitch) {
  const std::string rows = std::string("\x01\x02\x00\x00\x03\x04\x00\x00", 8);
  CImageItem image;
  ASSERT_EQ(ReadBmpFile(image, put("up.bmp", makeBmp(2, 2, rows, identityPalette()))), 1);
  EXPECT_EQ(samples(image), (std::vector<int>{3, 4, 1, 2}));
  EXPECT_EQ(image.pitch, 264);  // 3780 pixels per metre
  ASSERT_EQ(ReadBmpFile(image, put("down.bmp", makeBmp(2, -2, rows, identityPalette(), 40, 8, 0, 0))), 1);
  EXPECT_EQ(samples(image), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(image.pitch, 200);  // 0 pixels per metre
  ASSERT_EQ(ReadBmpFile(image, put("fine.bmp", makeBmp(2, -2, rows, identityPalette(), 40, 8, 0, 5000000))), 1);
  EXPECT_EQ(image.pitch, 1);  // clamped, never 0
  // A palette of four entries, not in grey order, and a V5 header of 124 bytes.
  std::string palette;
  for (int g : {200, 10, 90, 30}) palette += {char(g), char(g), char(g), 0};
  ASSERT_EQ(ReadBmpFile(image, put("pal.bmp", makeBmp(2, -2, rows, palette, 124, 8, 0, 3780, 4))), 1);
  EXPECT_EQ(samples(image), (std::vector<int>{10, 90, 30, 0}));  // index 4 lies outside the palette
}

TEST_F(PgmBmpTest, BmpRefusals) {
  const std::string rows(8, '\x01');
  struct Case {
    const char* name;
    std::string file;
    int reason;
  };
  const std::vector<Case> cases = {
      {"core header", makeBmp(2, 2, rows, identityPalette(), 12), kNotSupported},
      {"24 bits", makeBmp(2, 2, rows, identityPalette(), 40, 24), kNotSupported},
      {"rle", makeBmp(2, 2, rows, identityPalette(), 40, 8, 1), kCompressedImageData},
      {"INT_MIN height", makeBmp(2, INT_MIN, rows, identityPalette()), kNotSupported},
      {"negative width", makeBmp(-2, 2, rows, identityPalette()), kNotSupported},
      {"rows past the end", makeBmp(2, 3, rows, identityPalette()), kFileAccessFailure},
      {"huge", makeBmp(65535, 65535, rows, identityPalette()), kFileAccessFailure},
      {"not BM", "BA" + makeBmp(2, 2, rows, identityPalette()).substr(2), kNotSupported},
      {"short header", "BM1234", kFileAccessFailure},
  };
  for (const auto& c : cases) {
    CImageItem image;
    EXPECT_EQ(ReadBmpFile(image, put("r.bmp", c.file)), 0) << c.name;
    EXPECT_EQ(failures().reason(), c.reason) << c.name;
  }
}

TEST_F(PgmBmpTest, FailedWritesLeaveNoFile) {
  CImageItem image;
  makeImage(image, 1, 300, 300, 255);
  {
    formats_test::FileSizeLimit limit(20000);
    EXPECT_EQ(WritePgmFile(image, path("s.pgm")), 0);
    EXPECT_EQ(WriteBmpFile(image, path("s.bmp")), 0);
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "s.pgm"));
  EXPECT_FALSE(std::filesystem::exists(dir / "s.bmp"));
  EXPECT_EQ(promptScript.messages.size(), 2u);
}
