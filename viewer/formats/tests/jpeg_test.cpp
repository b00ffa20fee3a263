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

struct Segment {
  int marker;
  std::size_t at;      // of its 0xFF
  std::size_t length;  // with the length word
};

// Every segment of a stream up to its first scan header.
std::vector<Segment> segmentsBeforeScan(const std::vector<std::uint8_t>& s) {
  std::vector<Segment> out;
  std::size_t pos = 2;
  while (pos + 4 <= s.size() && s[pos] == 0xFF) {
    const Segment seg{s[pos + 1], pos, std::size_t(s[pos + 2] << 8 | s[pos + 3])};
    out.push_back(seg);
    if (seg.marker == 0xDA) break;
    pos += 2 + seg.length;
  }
  return out;
}

std::vector<int> markersBeforeScan(const std::vector<std::uint8_t>& s) {
  std::vector<int> out;
  for (const Segment& seg : segmentsBeforeScan(s)) out.push_back(seg.marker);
  return out;
}

// The byte offset of the first scan's coded data, 0 when there is none.
std::size_t firstScanData(const std::vector<std::uint8_t>& s) {
  const std::vector<Segment> segs = segmentsBeforeScan(s);
  return !segs.empty() && segs.back().marker == 0xDA ? segs.back().at + 2 + segs.back().length : 0;
}

// Smooth ramps of both depths through both encoders at quality 75.
void encodeBoth(int width, int height, MemorySink& s8, MemorySink& s12) {
  CImageItem i8, i12;
  makeSmoothImage(i8, 1, width, height, 255);
  makeSmoothImage(i12, 2, width, height, 4095);
  ASSERT_EQ(EncodeJpeg8(s8, width, height, i8.data(), 75), 0);
  ASSERT_EQ(EncodeJpeg12(s12, width, height, i12.data16(), 75), 0);
}

class JpegTest : public ::testing::Test {
 protected:
  std::string path(const std::string& name) { return (dir / name).string(); }
  testsupport::TempDir dir;
  formats_test::ScriptedPrompt promptScript;
};

}  // namespace

TEST_F(JpegTest, EncodersWriteOneProgressiveGreyFrame) {
  MemorySink s8, s12;
  ASSERT_NO_FATAL_FAILURE(encodeBoth(40, 30, s8, s12));
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

// A stream cut short or with a stray marker inside its coded data leaves part
// of the picture made up: both builds refuse it as damaged, and the file
// reader gives the reason that the file could not be read, not that its kind
// is unsupported.
TEST_F(JpegTest, TruncatedAndCorruptStreamsAreRefused) {
  MemorySink s8, s12;
  ASSERT_NO_FATAL_FAILURE(encodeBoth(64, 64, s8, s12));
  auto decode = [](int bps, const std::vector<std::uint8_t>& stream) {
    std::vector<std::uint16_t> out(64 * 64);
    const JpegAllocate allocate = [&](const JpegFrame&) -> void* { return out.data(); };
    return bps == 1 ? DecodeJpegToBuffer8(stream.data(), stream.size(), allocate)
                    : DecodeJpegToBuffer12(stream.data(), stream.size(), allocate);
  };
  for (auto [bps, sink] : {std::pair{1, &s8}, std::pair{2, &s12}}) {
    SCOPED_TRACE(bps);
    const std::vector<std::uint8_t>& whole = sink->bytes;
    ASSERT_EQ(decode(bps, whole), 0);
    const std::size_t scan = firstScanData(whole);
    ASSERT_GT(scan, 0u);
    struct Case {
      const char* name;
      std::vector<std::uint8_t> stream;
    };
    std::vector<Case> cases;
    for (std::size_t cut : {std::size_t(30), scan - 4, scan + 8, whole.size() / 2, whole.size() - 40})
      cases.push_back({"cut", std::vector<std::uint8_t>(whole.begin(), whole.begin() + std::ptrdiff_t(cut))});
    std::vector<std::uint8_t> marker = whole;
    marker[scan + 6] = 0xFF;  // a restart marker where the stream has none
    marker[scan + 7] = 0xD3;
    cases.push_back({"stray marker", marker});
    for (const Case& c : cases) {
      EXPECT_EQ(decode(bps, c.stream), kJpegDamaged) << c.name << " " << c.stream.size();
      testsupport::writeFile(dir / "bad.jpg", std::string(c.stream.begin(), c.stream.end()));
      CImageItem back;
      EXPECT_EQ(ReadJpegFile(back, path("bad.jpg")), 0) << c.name << " " << c.stream.size();
      EXPECT_EQ(failures().reason(), kFileAccessFailure) << c.name << " " << c.stream.size();
    }
  }
  // The 8-bit decoder given a 12-bit stream refuses it.
  std::vector<std::uint8_t> out8(64 * 64);
  EXPECT_EQ(DecodeJpegToBuffer8(s12.bytes.data(), s12.bytes.size(), [&](const JpegFrame&) -> void* { return out8.data(); }), -1);
  // No buffer: -2 after the header.
  EXPECT_EQ(DecodeJpegToBuffer12(s12.bytes.data(), s12.bytes.size(), [](const JpegFrame&) -> void* { return nullptr; }), -2);
}

// Memory is bounded by what the decoder would hold, not by how small the
// stream is: a progressive stream whose header claims more coefficients than
// the bound is refused before any image is asked for; one within it gets as
// far as asking.
TEST_F(JpegTest, DecoderMemoryIsBoundedByTheHeadersSizes) {
  CImageItem image;
  makeSmoothImage(image, 1, 16, 16, 255);
  MemorySink sink;
  ASSERT_EQ(EncodeJpeg8(sink, 16, 16, image.data(), 75), 0);
  auto withSize = [&](int width, int height) {
    std::vector<std::uint8_t> s = sink.bytes;
    std::size_t pos = 0;
    for (const Segment& seg : segmentsBeforeScan(s))
      if (seg.marker == 0xC2) pos = seg.at;  // the progressive frame header
    EXPECT_GT(pos, 0u);
    s[pos + 5] = std::uint8_t(height >> 8);
    s[pos + 6] = std::uint8_t(height);
    s[pos + 7] = std::uint8_t(width >> 8);
    s[pos + 8] = std::uint8_t(width);
    return s;
  };
  struct Case {
    int width, height, expected;
  };
  for (const Case c : {Case{65535, 65535, -1}, Case{30000, 20000, -2}}) {
    const std::vector<std::uint8_t> s = withSize(c.width, c.height);
    int asked = 0;
    EXPECT_EQ(DecodeJpegToBuffer8(s.data(), s.size(), [&](const JpegFrame&) -> void* { ++asked; return nullptr; }),
              c.expected) << c.width;
    EXPECT_EQ(asked, c.expected == -2 ? 1 : 0) << c.width;
  }
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
