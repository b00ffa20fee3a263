#include "viewer/formats/tiff.h"

#include <gtest/gtest.h>

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

// A hand-made TIFF: the pixel bytes right after the header, then each
// directory with its out-of-line values.
struct Entry {
  std::uint16_t tag, type;
  std::uint32_t count;
  std::vector<std::uint32_t> values;  // numbers in the entry's type
  std::string blob = {};              // raw out-of-line bytes instead of values
};

class TiffBuilder {
 public:
  explicit TiffBuilder(bool bigEndian) : be_(bigEndian) {}
  void put16(std::string& s, std::uint32_t v) const {
    if (be_) s += {char(v >> 8), char(v)};
    else s += {char(v), char(v >> 8)};
  }
  void put32(std::string& s, std::uint32_t v) const {
    if (be_) s += {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    else s += {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
  }
  static int size(std::uint16_t type) { return type == 1 ? 1 : type == 4 ? 4 : 2; }
  void putValue(std::string& s, std::uint16_t type, std::uint32_t v) const {
    if (type == 1) s += char(v);
    else if (type == 4) put32(s, v);
    else put16(s, v);
  }

  // Directories are linked in order; `loop` links the last back to the first.
  std::string build(const std::string& pixels, const std::vector<std::vector<Entry>>& dirs, bool loop = false) const {
    std::string file = be_ ? "MM" : "II";
    put16(file, 42);
    put32(file, std::uint32_t(8 + pixels.size()));
    file += pixels;
    const std::uint32_t first = std::uint32_t(file.size());
    for (std::size_t d = 0; d < dirs.size(); ++d) {
      const auto& entries = dirs[d];
      const std::uint32_t start = std::uint32_t(file.size());
      std::uint32_t extra = start + 2 + std::uint32_t(entries.size()) * 12 + 4;
      std::string dir, tail;
      put16(dir, std::uint32_t(entries.size()));
      for (const Entry& e : entries) {
        put16(dir, e.tag);
        put16(dir, e.type);
        put32(dir, e.count);
        std::string data;
        if (!e.blob.empty()) data = e.blob;
        else
          for (auto v : e.values) putValue(data, e.type, v);
        if (e.blob.empty() && data.size() <= 4) {
          data.resize(4, '\0');
          dir += data;
        } else {
          put32(dir, extra + std::uint32_t(tail.size()));
          tail += data;
        }
      }
      const bool last = d + 1 == dirs.size();
      const std::uint32_t next = last ? (loop ? first : 0) : extra + std::uint32_t(tail.size());
      put32(dir, next);
      file += dir + tail;
    }
    return file;
  }

 private:
  bool be_;
};

std::vector<Entry> greyEntries(std::uint32_t w, std::uint32_t h, int bits, std::uint32_t compression,
                               std::uint32_t stripBytes, std::uint32_t rowsPerStrip = 0) {
  return {{256, 3, 1, {w}},
          {257, 3, 1, {h}},
          {258, 3, 1, {std::uint32_t(bits)}},
          {259, 3, 1, {compression}},
          {262, 3, 1, {1}},
          {273, 4, 1, {8}},
          {277, 3, 1, {1}},
          {278, 3, 1, {rowsPerStrip ? rowsPerStrip : h}},
          {279, 4, 1, {stripBytes}}};
}

std::vector<Entry> with(std::vector<Entry> e, const Entry& extra) {
  for (auto& x : e)
    if (x.tag == extra.tag) {
      x = extra;
      return e;
    }
  e.push_back(extra);
  std::sort(e.begin(), e.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
  return e;
}

// A simple PackBits coder for the tests: literal runs of up to 128 bytes
// and replicate runs for three or more equal bytes.
std::string packBits(const std::string& in) {
  std::string out;
  std::size_t i = 0;
  while (i < in.size()) {
    std::size_t run = 1;
    while (i + run < in.size() && run < 128 && in[i + run] == in[i]) ++run;
    if (run >= 3) {
      out += char(1 - int(run));
      out += in[i];
      i += run;
      continue;
    }
    std::size_t lit = 0;
    while (i + lit < in.size() && lit < 128) {
      if (i + lit + 2 < in.size() && in[i + lit] == in[i + lit + 1] && in[i + lit] == in[i + lit + 2]) break;
      ++lit;
    }
    out += char(lit - 1);
    out += in.substr(i, lit);
    i += lit;
  }
  return out;
}

class TiffTest : public ::testing::Test {
 protected:
  std::string path(const std::string& name) { return (dir / name).string(); }
  std::string put(const std::string& name, const std::string& bytes) {
    testsupport::writeFile(dir / name, bytes);
    return path(name);
  }
  testsupport::TempDir dir;
  formats_test::ScriptedPrompt promptScript;
};

}  // namespace

TEST_F(TiffTest, WrittenFileHasTheFixedLayoutAndReadsBack) {
  for (auto [bps, top, bits] : {std::tuple{1, 255, 8}, {2, 1000, 10}, {2, 4095, 12}}) {
    SCOPED_TRACE(bits);
    CImageItem image;
    makeImage(image, bps, 37, 11, top);
    image.odRange = 40;
    image.pitch = 87;
    ASSERT_EQ(WriteTiffFile(image, path("w.tif")), 1);
    const std::string bytes = testsupport::readFile(dir / "w.tif");
    ASSERT_EQ(bytes.size(), 350u + 37u * 11u * unsigned(bps));
    EXPECT_EQ(bytes.substr(0, 10), std::string("II\x2a\0\x08\0\0\0\x10\0", 10));
    EXPECT_EQ(bytes.substr(222, 4), "k4TZ");
    EXPECT_EQ(internal::get16le(reinterpret_cast<const std::uint8_t*>(bytes.data()) + 226), bits);
    // the O.D. range is stored in thousandths
    EXPECT_EQ(internal::get16le(reinterpret_cast<const std::uint8_t*>(bytes.data()) + 10 + 13 * 12 + 8), 4000);

    CImageItem back;
    ASSERT_EQ(ReadTiffFile(back, path("w.tif")), 1);
    EXPECT_EQ(back.width(), 37);
    EXPECT_EQ(back.height(), 11);
    EXPECT_EQ(back.bytesPerSample(), bps);
    EXPECT_EQ(back.bitsStored, bits);
    EXPECT_EQ(back.odRange, 40);
    EXPECT_EQ(back.pitch, 200);  // whatever the resolution tags say
    EXPECT_EQ(samples(back), samples(image));
  }
}

TEST_F(TiffTest, BlockWordsForTwelveBitsArePowersOfTwo) {
  const ScanTagBlock b = makeScanTagBlock(12);
  EXPECT_EQ(b.bitsStored, 12);
  EXPECT_EQ(b.halfRange, 2048);
  EXPECT_EQ(b.fullRange, 4096);
  EXPECT_EQ(b.maxCode, 4095);
}

TEST_F(TiffTest, BitsStoredOfSixteenBitFilesWithoutAndWithTheBlock) {
  struct Case {
    int top;
    bool keepBlock;
    int writtenBits;
    int expected;
  };
  for (const Case c : {Case{1023, false, 12, 10}, Case{1024, false, 10, 12}, Case{1023, true, 12, 12},
                       Case{3000, true, 10, 10}}) {
    SCOPED_TRACE(c.top);
    CImageItem image;
    makeImage(image, 2, 8, 8, c.top);
    image.bitsStored = c.writtenBits;
    ASSERT_EQ(WriteTiffFile(image, path("b.tif")), 1);
    std::string bytes = testsupport::readFile(dir / "b.tif");
    if (!c.keepBlock) bytes[10 + 15 * 12] = 0;  // tag 65171 becomes an unknown tag
    put("b.tif", bytes);
    CImageItem back;
    ASSERT_EQ(ReadTiffFile(back, path("b.tif")), 1);
    EXPECT_EQ(back.bitsStored, c.expected);
  }
}

TEST_F(TiffTest, BlockWithWrongCountMagicOrBitsIsIgnored) {
  CImageItem image;
  makeImage(image, 2, 8, 8, 1023);  // without a block this reads as 10 bits
  image.bitsStored = 12;
  ASSERT_EQ(WriteTiffFile(image, path("m.tif")), 1);
  const std::string good = testsupport::readFile(dir / "m.tif");
  std::vector<std::string> variants;
  std::string s = good;
  s[10 + 15 * 12 + 4] = 63;  // count 63
  variants.push_back(s);
  for (int k = 0; k < 4; ++k) {
    s = good;
    s[222 + k] ^= 0x20;  // one character of the magic differs
    variants.push_back(s);
  }
  for (int bits : {8, 13, 16}) {
    s = good;
    s[226] = char(bits);
    variants.push_back(s);
  }
  for (const auto& v : variants) {
    put("m.tif", v);
    CImageItem back;
    ASSERT_EQ(ReadTiffFile(back, path("m.tif")), 1);
    EXPECT_EQ(back.bitsStored, 10);
  }
}

TEST_F(TiffTest, BigEndianPackBitsReadsLikeItsLittleEndianTwin) {
  std::string pixels;
  for (int i = 0; i < 6 * 5; ++i) pixels += char(i < 12 ? 7 : i * 3);
  std::string packed;
  for (int row = 0; row < 5; ++row) packed += packBits(pixels.substr(std::size_t(row) * 6, 6));
  for (bool be : {false, true}) {
    TiffBuilder b(be);
    const auto file = b.build(packed, {greyEntries(6, 5, 8, 32773, std::uint32_t(packed.size()))});
    CImageItem back;
    ASSERT_EQ(ReadTiffFile(back, put("p.tif", file)), 1) << be;
    std::vector<int> expect(pixels.begin(), pixels.end());
    for (auto& e : expect) e &= 0xFF;
    EXPECT_EQ(samples(back), expect);
  }
}

TEST_F(TiffTest, SixteenBitSamplesOfBigEndianFilesAreSwapped) {
  const std::string pixels("\x01\x02\x0a\xbc\x00\x05\x0f\xff", 8);
  TiffBuilder b(true);
  CImageItem back;
  ASSERT_EQ(ReadTiffFile(back, put("be.tif", b.build(pixels, {greyEntries(4, 1, 16, 1, 8)}))), 1);
  EXPECT_EQ(samples(back), (std::vector<int>{0x0102, 0x0abc, 0x0005, 0x0fff}));
}

TEST_F(TiffTest, SecondDirectoryWinsTagByTag) {
  TiffBuilder b(false);
  const std::string pixels("\x10\x20\x30\x40\x50\x60", 6);
  // The first directory says 6 x 1 with O.D. 2.5; the second 3 x 2 and no curve.
  auto first = with(greyEntries(6, 1, 8, 1, 6), Entry{291, 3, 1, {2500}});
  auto second = greyEntries(3, 2, 8, 1, 6);
  CImageItem back;
  ASSERT_EQ(ReadTiffFile(back, put("two.tif", b.build(pixels, {first, second}))), 1);
  EXPECT_EQ(back.width(), 3);
  EXPECT_EQ(back.height(), 2);
  EXPECT_EQ(back.odRange, 25);
}

TEST_F(TiffTest, ALaterDirectoryReplacesATooLongStripArray) {
  TiffBuilder b(false);
  auto first = with(greyEntries(2, 2, 8, 1, 4), Entry{273, 4, 3000, std::vector<std::uint32_t>(3000, 8)});
  CImageItem back;
  ASSERT_EQ(ReadTiffFile(back, put("re.tif", b.build("abcd", {first, greyEntries(2, 2, 8, 1, 4)}))), 1);
  EXPECT_EQ(samples(back), (std::vector<int>{'a', 'b', 'c', 'd'}));
}

TEST_F(TiffTest, DirectoryLoopIsCutOff) {
  TiffBuilder b(false);
  CImageItem back;
  ASSERT_EQ(ReadTiffFile(back, put("loop.tif", b.build("abcd", {greyEntries(2, 2, 8, 1, 4)}, true))), 1);
  EXPECT_EQ(back.width(), 2);
}

TEST_F(TiffTest, GrayResponseCurveTableIsNotAnOdRange) {
  TiffBuilder b(false);
  std::vector<std::uint32_t> table(256, 1234);
  const auto file = b.build("abcd", {with(greyEntries(2, 2, 8, 1, 4), Entry{291, 3, 256, table})});
  CImageItem back;
  ASSERT_EQ(ReadTiffFile(back, put("grc.tif", file)), 1);
  EXPECT_EQ(back.odRange, 0);
}

TEST_F(TiffTest, GrayResponseUnitChoosesTheDivisor) {
  for (auto [unit, expected] : {std::pair{1, 4000}, {2, 400}, {3, 40}, {4, 4}, {5, 0}, {9, 400}}) {
    TiffBuilder b(false);
    auto e = with(with(greyEntries(2, 2, 8, 1, 4), Entry{290, 3, 1, {std::uint32_t(unit)}}), Entry{291, 3, 1, {4000}});
    CImageItem back;
    ASSERT_EQ(ReadTiffFile(back, put("u.tif", b.build("abcd", {e}))), 1);
    EXPECT_EQ(back.odRange, expected) << unit;
  }
}

TEST_F(TiffTest, WhiteIsZeroSetsTheInvertedFlag) {
  TiffBuilder b(false);
  CImageItem back;
  ASSERT_EQ(ReadTiffFile(back, put("wz.tif", b.build("abcd", {with(greyEntries(2, 2, 8, 1, 4), Entry{262, 3, 1, {0}})}))), 1);
  EXPECT_EQ(back.inverted, 1);
  EXPECT_EQ(samples(back), (std::vector<int>{'a', 'b', 'c', 'd'}));  // samples as stored
  ASSERT_EQ(ReadTiffFile(back, put("bz.tif", b.build("abcd", {greyEntries(2, 2, 8, 1, 4)}))), 1);
  EXPECT_EQ(back.inverted, 0);
}

TEST_F(TiffTest, InvertedFlagSurvivesARoundTrip) {
  for (int inverted : {0, 1}) {
    SCOPED_TRACE(inverted);
    CImageItem image;
    makeImage(image, 2, 6, 5, 1000);
    image.inverted = inverted;
    ASSERT_EQ(WriteTiffFile(image, path("i.tif")), 1);
    const std::string bytes = testsupport::readFile(dir / "i.tif");
    const auto* entry = reinterpret_cast<const std::uint8_t*>(bytes.data()) + 10 + 5 * 12;
    EXPECT_EQ(internal::get16le(entry), 262);
    EXPECT_EQ(internal::get16le(entry + 8), inverted ? 0 : 1);  // WhiteIsZero, BlackIsZero
    CImageItem back;
    ASSERT_EQ(ReadTiffFile(back, path("i.tif")), 1);
    EXPECT_EQ(back.inverted, inverted);
    EXPECT_EQ(samples(back), samples(image));  // the samples stay as stored
  }
}

TEST_F(TiffTest, WorkingValuesAreResetForEveryFile) {
  TiffBuilder b(false);
  // A file with SampleFormat 2 then one without the tag: the second reads.
  CImageItem back;
  EXPECT_EQ(ReadTiffFile(back, put("s.tif", b.build("abcd", {with(greyEntries(2, 2, 8, 1, 4), Entry{339, 3, 1, {2}})}))), 0);
  ASSERT_EQ(ReadTiffFile(back, put("n.tif", b.build("abcd", {with(greyEntries(2, 2, 8, 1, 4), Entry{291, 3, 1, {300}})}))), 1);
  EXPECT_EQ(back.odRange, 3);
  // and a file without a curve does not keep the previous file's O.D. range
  ASSERT_EQ(ReadTiffFile(back, put("n2.tif", b.build("abcd", {greyEntries(2, 2, 8, 1, 4)}))), 1);
  EXPECT_EQ(back.odRange, 0);
}

TEST_F(TiffTest, RefusalsCarryTheirReasons) {
  TiffBuilder b(false);
  const auto base = greyEntries(2, 2, 8, 1, 4);
  struct Case {
    const char* name;
    std::string file;
    int reason;
    std::string detail;
  };
  std::vector<Case> cases = {
      {"signed", b.build("abcd", {with(base, Entry{339, 3, 1, {2}})}), kSignedPixelData, ""},
      {"float", b.build("abcd", {with(base, Entry{339, 3, 1, {3}})}), kNotSupported, "(20000015303)"},
      {"sampleformat 7", b.build("abcd", {with(base, Entry{339, 3, 1, {7}})}), kUnknownReason, ""},
      {"lzw", b.build("abcd", {with(base, Entry{259, 3, 1, {5}})}), kCompressedImageData, ""},
      {"rgb", b.build("abcd", {with(base, Entry{262, 3, 1, {2}})}), kNotSupported, ""},
      {"not a tiff", std::string("II\x2b\0\x08\0\0\0", 8), kNotSupported, "(2FFFFFFFF2A)"},
      {"too short", "II", kNotSupported, "(2FFFFFFFF2A)"},
      {"bilevel", b.build("abcd", {with(base, Entry{258, 3, 1, {1}})}), kNotSupported, ""},
      {"two samples", b.build("abcd", {with(base, Entry{277, 3, 1, {2}})}), kNotSupported, ""},
      {"width 0", b.build("abcd", {with(base, Entry{256, 3, 1, {0}})}), kNotSupported, ""},
      {"width 70000", b.build("abcd", {with(base, Entry{256, 4, 1, {70000}})}), kNotSupported, ""},
      {"strip past the end", b.build("abcd", {with(base, Entry{279, 4, 1, {400}})}), kFileAccessFailure, ""},
      {"short strip", b.build("abcd", {with(base, Entry{279, 4, 1, {3}})}), kFileAccessFailure, ""},
      {"missing strips", b.build("abcd", {with(base, Entry{278, 3, 1, {1}})}), kFileAccessFailure, ""},
      {"too many strips", b.build("abcd", {with(base, Entry{273, 4, 2049, std::vector<std::uint32_t>(2049, 8)})}),
       kNotSupported, ""},
      {"no strips", b.build("abcd", {with(base, Entry{273, 4, 0, {}})}), kNotSupported, ""},
      {"directory past the end", std::string("II\x2a\0\x00\x10\0\0", 8), kFileAccessFailure, ""},
      {"packbits runs short",
       b.build(std::string("\x01\x41\x42", 3), {with(with(base, Entry{259, 3, 1, {32773}}), Entry{279, 4, 1, {3}})}),
       kFileAccessFailure, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CImageItem back;
    EXPECT_EQ(ReadTiffFile(back, put("r.tif", c.file)), 0);
    EXPECT_EQ(failures().reason(), c.reason);
    EXPECT_EQ(failures().detail(), c.detail);
  }
  CImageItem back;
  EXPECT_EQ(ReadTiffFile(back, path("missing.tif")), 0);
  EXPECT_EQ(failures().reason(), kFileAccessFailure);
}

TEST_F(TiffTest, LongStripsAreClippedAndPackBitsStaysInItsStrip) {
  TiffBuilder b(false);
  // An uncompressed strip twice as long as its rows.
  CImageItem back;
  ASSERT_EQ(ReadTiffFile(back, put("long.tif", b.build("abcdefgh", {greyEntries(2, 2, 8, 1, 8)}))), 1);
  EXPECT_EQ(samples(back), (std::vector<int>{'a', 'b', 'c', 'd'}));
  // A PackBits run of 128 bytes into a strip of 2 bytes per strip, two strips.
  const std::string packed = std::string("\x81\x09", 2) + std::string("\x81\x05", 2);
  auto e = with(with(greyEntries(2, 2, 8, 32773, 2, 1), Entry{273, 4, 2, {8, 10}}), Entry{279, 4, 2, {2, 2}});
  ASSERT_EQ(ReadTiffFile(back, put("run.tif", b.build(packed, {e}))), 1);
  EXPECT_EQ(samples(back), (std::vector<int>{9, 9, 5, 5}));
}

TEST_F(TiffTest, StripsOfSeveralRowsWithAShortLastStrip) {
  TiffBuilder b(false);
  std::string pixels;
  for (int i = 0; i < 4 * 5; ++i) pixels += char(i);
  // rows per strip 2 over 5 rows: strips of 8, 8 and 4 bytes
  auto e = with(with(greyEntries(4, 5, 8, 1, 0, 2), Entry{273, 3, 3, {8, 16, 24}}), Entry{279, 3, 3, {8, 8, 4}});
  CImageItem back;
  ASSERT_EQ(ReadTiffFile(back, put("strips.tif", b.build(pixels, {e}))), 1);
  std::vector<int> expect(pixels.begin(), pixels.end());
  EXPECT_EQ(samples(back), expect);
}

TEST_F(TiffTest, WidthStoredAsShortAbove32767) {
  TiffBuilder b(false);
  const std::string pixels(40000, '\x05');
  CImageItem back;
  ASSERT_EQ(ReadTiffFile(back, put("wide.tif", b.build(pixels, {greyEntries(40000, 1, 8, 1, 40000)}))), 1);
  EXPECT_EQ(back.width(), 40000);
}

TEST_F(TiffTest, SampleAboveTwelveBitsIsRefused) {
  TiffBuilder b(false);
  const std::string pixels("\x00\x10\x00\x00", 4);  // 0x1000 little-endian
  CImageItem back;
  EXPECT_EQ(ReadTiffFile(back, put("13.tif", b.build(pixels, {greyEntries(2, 1, 16, 1, 4)}))), 0);
  EXPECT_EQ(failures().reason(), kLargerThan12Bits);
}

TEST_F(TiffTest, ShortWriteDeletesTheFileAndUnopenablePathIsReported) {
  CImageItem image;
  makeImage(image, 2, 300, 300, 4095);
  {
    formats_test::FileSizeLimit limit(100000);
    EXPECT_EQ(WriteTiffFile(image, path("short.tif")), 0);
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "short.tif"));
  EXPECT_EQ(WriteTiffFile(image, path("no/such/folder.tif")), 0);
  ASSERT_EQ(promptScript.messages.size(), 1u);
  EXPECT_EQ(promptScript.messages[0], "Failed to write.|Failed to write the file(" + path("no/such/folder.tif") + ").");
}

// A film-sized file is read and counted in pieces on several threads; pieces
// that cut strips, the byte swap per piece and a wide sample in the very last
// row must all come out as in one pass.
TEST_F(TiffTest, LargeStripedFilesReadInPiecesLikeInOnePass) {
  constexpr std::uint32_t kW = 1031, kH = 2100, kRowsPerStrip = 7, kStrips = kH / kRowsPerStrip;
  struct Case {
    bool bigEndian;
    bool wideLastSample;
  };
  for (const Case c : {Case{false, false}, Case{true, false}, Case{false, true}, Case{true, true}}) {
    SCOPED_TRACE(testing::Message() << "big-endian " << c.bigEndian << ", wide sample " << c.wideLastSample);
    TiffBuilder b(c.bigEndian);
    std::vector<int> expect(std::size_t(kW) * kH);
    std::string pixels;
    for (std::size_t i = 0; i < expect.size(); ++i) expect[i] = int((i * 2654435761u >> 7) % 3001) + 17;
    expect.back() = 4095;
    std::uint64_t sum = 0;
    for (int v : expect) sum += std::uint64_t(v);
    for (std::size_t i = 0; i < expect.size(); ++i) {
      const unsigned v = i + 1 == expect.size() && c.wideLastSample ? 0x1FFFu : unsigned(expect[i]);
      std::string two;
      b.put16(two, v);
      pixels += two;
    }
    std::vector<std::uint32_t> offsets, counts;
    for (std::uint32_t s = 0; s < kStrips; ++s) {
      offsets.push_back(8 + s * kRowsPerStrip * kW * 2);
      counts.push_back(kRowsPerStrip * kW * 2);
    }
    auto e = with(with(greyEntries(kW, kH, 16, 1, 0, kRowsPerStrip), Entry{273, 4, kStrips, offsets}),
                  Entry{279, 4, kStrips, counts});
    CImageItem back;
    const int r = ReadTiffFile(back, put("film.tif", b.build(pixels, {e})));
    if (c.wideLastSample) {
      EXPECT_EQ(r, 0);
      EXPECT_EQ(failures().reason(), kLargerThan12Bits);
      // The check cuts every sample to its low twelve bits.
      EXPECT_EQ(back.pixel(int(kW) - 1, int(kH) - 1), 0xFFF);
      continue;
    }
    ASSERT_EQ(r, 1);
    EXPECT_EQ(samples(back), expect);
    EXPECT_EQ(back.roiMinimum(), 17);
    EXPECT_EQ(back.roiMaximum(), 4095);
    EXPECT_EQ(back.roiMean(), int((sum + expect.size() / 2) / expect.size()));
    EXPECT_EQ(back.maxValue, 4095);
  }
}
