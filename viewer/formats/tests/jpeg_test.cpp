#include "viewer/formats/jpeg.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "format_test_util.h"
#include "testsupport/testsupport.h"
#include "viewer/formats/format_support.h"

using namespace viewer;
using namespace viewer::formats;
using formats_test::makeSmoothImage;
using formats_test::maxDifference;
using formats_test::samples;

namespace {

class MemorySink : public JpegSink {
 public:
  bool write(const void* data, std::size_t n) override {
    const auto* p = static_cast<const std::uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + n);
    return true;
  }
  std::vector<std::uint8_t> bytes;
};

// Every marker of a stream up to its first scan.
std::vector<int> markersBeforeScan(const std::vector<std::uint8_t>& s) {
  std::vector<int> out;
  std::size_t pos = 2;
  while (pos + 4 <= s.size() && s[pos] == 0xFF) {
    const int m = s[pos + 1];
    out.push_back(m);
    if (m == 0xDA) break;
    pos += 2 + std::size_t(s[pos + 2] << 8 | s[pos + 3]);
  }
  return out;
}

class JpegTest : public ::testing::Test {
 protected:
  std::string path(const std::string& name) { return (dir / name).string(); }
  testsupport::TempDir dir;
  formats_test::ScriptedPrompt promptScript;
};

}  // namespace

TEST_F(JpegTest, EncodersWriteOneProgressiveGreyFrame) {
  CImageItem i8, i12;
  makeSmoothImage(i8, 1, 40, 30, 255);
  makeSmoothImage(i12, 2, 40, 30, 4095);
  MemorySink s8, s12;
  ASSERT_EQ(EncodeJpeg8(s8, 40, 30, i8.data(), 75), 0);
  ASSERT_EQ(EncodeJpeg12(s12, 40, 30, i12.data16(), 75), 0);
  for (auto* s : {&s8, &s12}) {
    const auto m = markersBeforeScan(s->bytes);
    EXPECT_NE(std::find(m.begin(), m.end(), 0xC2), m.end());  // progressive frame
    JpegFrame f;
    ASSERT_TRUE(probeJpeg(s->bytes.data(), s->bytes.size(), f));
    EXPECT_EQ(f.components, 1);
    EXPECT_EQ(f.width, 40);
    EXPECT_EQ(f.height, 30);
    EXPECT_EQ(s->bytes[s->bytes.size() - 2], 0xFF);
    EXPECT_EQ(s->bytes.back(), 0xD9);
  }
  JpegFrame f;
  probeJpeg(s12.bytes.data(), s12.bytes.size(), f);
  EXPECT_EQ(f.precision, 12);
}

TEST_F(JpegTest, FilesReadBackWithTheirDepth) {
  struct Case {
    int bps, top, bits;
  };
  for (const Case c : {Case{1, 255, 8}, Case{2, 1000, 12}, Case{2, 4095, 12}}) {
    SCOPED_TRACE(c.top);
    CImageItem image;
    makeSmoothImage(image, c.bps, 64, 48, c.top);
    image.pitch = 50;
    ASSERT_EQ(WriteJpegFile(image, path("r.jpg")), 1);
    CImageItem back;
    ASSERT_EQ(ReadJpegFile(back, path("r.jpg")), 1) << failures().reason();
    EXPECT_EQ(back.width(), 64);
    EXPECT_EQ(back.height(), 48);
    EXPECT_EQ(back.bytesPerSample(), c.bps);
    EXPECT_EQ(back.bitsStored, c.bits);  // a 10-bit image comes back as 12 bits stored
    EXPECT_EQ(back.pitch, 200);
    EXPECT_LE(maxDifference(samples(back), samples(image)), c.top / 40 + 2);
  }
}

TEST_F(JpegTest, QualityComesFromTheSettings) {
  CImageItem image;
  makeSmoothImage(image, 1, 64, 64, 255);
  settings().jpegQuality = 95;
  ASSERT_EQ(WriteJpegFile(image, path("q95.jpg")), 1);
  settings().jpegQuality = 65;
  ASSERT_EQ(WriteJpegFile(image, path("q65.jpg")), 1);
  settings().jpegQuality = 75;
  EXPECT_GT(testsupport::readFile(dir / "q95.jpg").size(), testsupport::readFile(dir / "q65.jpg").size());
}

TEST_F(JpegTest, ProbeRefusesWhatNoBuildDecodes) {
  // SOI, then a frame header with the given precision and component count.
  auto header = [](int precision, int components) {
    std::string s("\xFF\xD8\xFF\xC0", 4);
    const int len = 8 + 3 * components;
    s += {char(len >> 8), char(len), char(precision), 0, 8, 0, 8, char(components)};
    for (int i = 0; i < components; ++i) s += {char(i + 1), 0x11, 0};
    return s + std::string("\xFF\xD9", 2);
  };
  for (auto [p, n] : {std::pair{16, 1}, {8, 4}, {12, 3}, {8, 2}}) {
    testsupport::writeFile(dir / "x.jpg", header(p, n));
    CImageItem back;
    EXPECT_EQ(ReadJpegFile(back, path("x.jpg")), 0);
    EXPECT_EQ(failures().reason(), kNotSupported) << p << " " << n;
  }
  JpegFrame f;
  const std::string h = header(12, 1);
  ASSERT_TRUE(probeJpeg(reinterpret_cast<const std::uint8_t*>(h.data()), h.size(), f));
  EXPECT_EQ(f.precision, 12);
  for (const std::string& bad : {std::string(), std::string("\xFF\xD8", 2), std::string("\xFF\xD8\xFF\xDA\0\x02", 6),
                                std::string("\xFF\xD8\xFF\xC0\xFF\xFF", 6), std::string("GIF89a")}) {
    EXPECT_FALSE(probeJpeg(reinterpret_cast<const std::uint8_t*>(bad.data()), bad.size(), f));
  }
}

TEST_F(JpegTest, BrokenStreamsFailWithoutHarm) {
  CImageItem image;
  makeSmoothImage(image, 2, 64, 64, 4095);
  MemorySink sink;
  ASSERT_EQ(EncodeJpeg12(sink, 64, 64, image.data16(), 75), 0);
  // Cut inside the tables: a fatal library error, ended by the error manager.
  for (std::size_t cut : {std::size_t(30), std::size_t(200), sink.bytes.size() / 2}) {
    std::vector<std::uint8_t> part(sink.bytes.begin(), sink.bytes.begin() + std::ptrdiff_t(cut));
    std::vector<std::uint16_t> out;
    const int r = DecodeJpegToBuffer12(part.data(), part.size(), [&](const JpegFrame& f) -> void* {
      out.resize(std::size_t(f.width) * std::size_t(f.height));
      return out.data();
    });
    EXPECT_TRUE(r == 0 || r == -1) << cut;
  }
  // The 8-bit decoder given a 12-bit stream refuses it.
  std::vector<std::uint8_t> out8(64 * 64);
  EXPECT_EQ(DecodeJpegToBuffer8(sink.bytes.data(), sink.bytes.size(), [&](const JpegFrame&) -> void* { return out8.data(); }), -1);
  // No buffer: -2 after the header.
  EXPECT_EQ(DecodeJpegToBuffer12(sink.bytes.data(), sink.bytes.size(), [](const JpegFrame&) -> void* { return nullptr; }), -2);
  // A file of garbage after SOI and a frame.
  std::string junk(sink.bytes.begin(), sink.bytes.begin() + 200);
  junk += std::string(100, '\x55');
  testsupport::writeFile(dir / "junk.jpg", junk);
  CImageItem back;
  const int r = ReadJpegFile(back, path("junk.jpg"));
  EXPECT_TRUE(r == 1 || (failures().reason() >= kUnknownReason && failures().reason() <= kCancelled));
}

TEST_F(JpegTest, EncoderClampsSamplesAboveTwelveBits) {
  std::vector<std::uint16_t> px(16 * 16, 0xFFFF);
  MemorySink sink;
  ASSERT_EQ(EncodeJpeg12(sink, 16, 16, px.data(), 75), 0);
  std::vector<std::uint16_t> out(16 * 16);
  ASSERT_EQ(DecodeJpegToBuffer12(sink.bytes.data(), sink.bytes.size(), [&](const JpegFrame&) -> void* { return out.data(); }), 0);
  for (auto v : out) EXPECT_GE(v, 4090);
}

TEST_F(JpegTest, AFailedWriteReturnsZeroAndLeavesNoFile) {
  CImageItem image;
  makeSmoothImage(image, 1, 512, 512, 255);
  for (int i = 0; i < 512 * 512; ++i) image.data()[i] = std::uint8_t(i * 7919 % 251);  // noise: a large stream
  {
    formats_test::FileSizeLimit limit(20000);
    EXPECT_EQ(WriteJpegFile(image, path("short.jpg")), 0);
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "short.jpg"));
  EXPECT_EQ(promptScript.messages.size(), 1u);
  EXPECT_EQ(WriteJpegFile(image, path("none/x.jpg")), 0);
  EXPECT_EQ(promptScript.messages.size(), 2u);
}
