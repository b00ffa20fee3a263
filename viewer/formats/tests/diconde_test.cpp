#include "viewer/formats/diconde.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "format_test_util.h"
#include "platform/text.h"
#include "testsupport/testsupport.h"
#include "viewer/formats/format_support.h"
#include "viewer/formats/internal/file_io.h"
#include "viewer/formats/jpeg.h"

using namespace viewer;
using namespace viewer::formats;
using formats_test::makeImage;
using formats_test::makeSmoothImage;
using formats_test::maxDifference;
using formats_test::samples;

namespace {

// A data set made element by element, in either byte order and VR form.
class DataSetBuilder {
 public:
  DataSetBuilder(bool bigEndian, bool explicitVr) : be_(bigEndian), ex_(explicitVr) {}
  void p16(std::uint32_t v) {
    if (be_) out += {char(v >> 8), char(v)};
    else out += {char(v), char(v >> 8)};
  }
  void p32(std::uint32_t v) {
    if (be_) out += {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    else out += {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
  }
  DataSetBuilder& el(std::uint16_t g, std::uint16_t e, const char* vr, const std::string& value,
                     std::uint32_t length = 0xFFFFFFFEu) {
    const std::uint32_t len = length == 0xFFFFFFFEu ? std::uint32_t(value.size()) : length;
    p16(g);
    p16(e);
    const std::string v(vr);
    if (!ex_ || g == 0xFFFE) {
      p32(len);
    } else if (v == "OB" || v == "OW" || v == "SQ" || v == "UN" || v == "UT") {
      out += v + std::string(2, '\0');
      p32(len);
    } else {
      out += v;
      p16(len);
    }
    out += value;
    return *this;
  }
  DataSetBuilder& text(std::uint16_t g, std::uint16_t e, const char* vr, std::string v) {
    if (v.size() % 2) v += std::string(vr) == "UI" ? '\0' : ' ';
    return el(g, e, vr, v);
  }
  DataSetBuilder& us(std::uint16_t g, std::uint16_t e, std::uint16_t v) {
    std::string s = be_ ? std::string{char(v >> 8), char(v)} : std::string{char(v), char(v >> 8)};
    return el(g, e, "US", s);
  }
  // The elements of a small 8-bit image, from the SOP instance UID to the rows.
  DataSetBuilder& image(int w, int h, int bitsAllocated, const std::string& photometric = "MONOCHROME2") {
    text(0x0008, 0x0018, "UI", "1.2.3.4");
    text(0x0020, 0x000D, "UI", "1.2.3.5");
    us(0x0028, 0x0002, 1);
    text(0x0028, 0x0004, "CS", photometric);
    us(0x0028, 0x0010, std::uint16_t(h));
    us(0x0028, 0x0011, std::uint16_t(w));
    us(0x0028, 0x0100, std::uint16_t(bitsAllocated));
    us(0x0028, 0x0101, std::uint16_t(bitsAllocated == 8 ? 8 : 12));
    return *this;
  }
  std::string out;

 private:
  bool be_, ex_;
};

std::string part10(const std::string& syntax, const std::string& dataSet) {
  DataSetBuilder meta(false, true);
  std::string ts = syntax;
  if (ts.size() % 2) ts += '\0';
  DataSetBuilder body(false, true);
  body.el(0x0002, 0x0010, "UI", ts);
  meta.el(0x0002, 0x0000, "UL", std::string{char(body.out.size()), 0, 0, 0});
  return std::string(128, '\0') + "DICM" + meta.out + body.out + dataSet;
}

// A JPEG stream gathered as text, for building files around it.
struct StringSink : JpegSink {
  bool write(const void* d, std::size_t n) override {
    s.append(static_cast<const char*>(d), n);
    return true;
  }
  std::string s;
};

class DicondeTest : public ::testing::Test {
 protected:
  void SetUp() override { settings() = FormatSettings(); }
  std::string path(const std::string& name) { return (dir / name).string(); }
  std::string put(const std::string& name, const std::string& bytes) {
    testsupport::writeFile(dir / name, bytes);
    return path(name);
  }
  // Finds the value of an element in a written file by its tag bytes (LE).
  static std::size_t find(const std::string& bytes, std::uint16_t g, std::uint16_t e, std::size_t from = 132) {
    const std::string tag{char(g), char(g >> 8), char(e), char(e >> 8)};
    return bytes.find(tag, from);
  }
  testsupport::TempDir dir;
  formats_test::ScriptedPrompt promptScript;
};

}  // namespace

TEST(DicondeText, KanjiRunsAreEscapedAndEndInAscii) {
  const std::string sjis = platform::text::utf8ToCp932("AB試験体C");
  const std::string iso = toDicondeText(sjis);
  EXPECT_EQ(iso, "AB\x1b$B;n83BN\x1b(BC");
  EXPECT_EQ(fromDicondeText(iso), sjis);
  EXPECT_EQ(toDicondeText(platform::text::utf8ToCp932("試験")), "\x1b$B;n83\x1b(B");
  // control characters and half-width katakana are dropped
  EXPECT_EQ(toDicondeText(std::string("a\x01\tb\xb1\xb2", 6)), "ab");
  // a lead byte without its trail byte is dropped
  EXPECT_EQ(toDicondeText(std::string("a\x88", 2)), "a");
  // half-width katakana from other writers come back as CP932 single bytes
  EXPECT_EQ(fromDicondeText("\x1b(I\x31\x1b(BA"), "\xb1" "A");
}

TEST_F(DicondeTest, RoundTripKeepsPixelsAndStudyData) {
  for (bool meta : {true, false}) {
    for (int bps : {1, 2}) {
      SCOPED_TRACE(std::to_string(meta) + " " + std::to_string(bps));
      settings().useMih = meta ? 1 : 0;
      CImageItem image;
      makeImage(image, bps, 33, 21, bps == 1 ? 255 : 4095);  // odd byte count for 8 bits
      image.pitch = 87;
      image.odRange = 45;
      image.inverted = 1;
      image.instanceNumber = 7;
      CStudyInfo& s = *image.study;
      CStudyInfo::set(s.componentName, platform::text::utf8ToCp932("試験体^A"));
      CStudyInfo::set(s.componentIdNumber, "ID-12");
      CStudyInfo::set(s.studyId, "S1");
      CStudyInfo::set(s.studyDescription, platform::text::utf8ToCp932("weld 試験"));
      CStudyInfo::set(s.studyYear, "2024");
      CStudyInfo::set(s.studyMonth, "2");
      CStudyInfo::set(s.studyDay, "29");
      CStudyInfo::set(s.manufacturingYear, "1999");
      CStudyInfo::set(s.manufacturingMonth, "12");
      CStudyInfo::set(s.manufacturingDay, "31");
      CStudyInfo::set(s.sex, "F ");
      ASSERT_EQ(WriteDicondeFile(image, path("r.dcm"), false), 1);
      const std::string bytes = testsupport::readFile(dir / "r.dcm");
      EXPECT_EQ(bytes.substr(128, 4) == "DICM", meta);
      if (!meta) {
        EXPECT_EQ(bytes.substr(0, 4), std::string("\x08\x00\x00\x00", 4));
      }
      // the pixel group always starts at the same place
      EXPECT_EQ(bytes.substr(16388, 4), std::string("\xe0\x7f\x00\x00", 4));
      EXPECT_EQ(bytes.size(), 16388u + 12u + 8u + ((image.byteCount() + 1) & ~std::size_t(1)));

      CImageItem back;
      ASSERT_EQ(ReadDicondeFile(back, path("r.dcm")), 1) << failures().reason() << failures().detail();
      EXPECT_EQ(samples(back), samples(image));
      EXPECT_EQ(back.bitsStored, bps == 1 ? 8 : 12);
      EXPECT_EQ(back.pitch, 87);  // "0.087" rounds to 87, never 86
      EXPECT_EQ(back.odRange, 45);
      EXPECT_EQ(back.inverted, 1);
      EXPECT_EQ(back.instanceNumber, 7);
      EXPECT_FALSE(back.sopInstanceUid.empty());
      const CStudyInfo& b = *back.study;
      EXPECT_EQ(platform::text::cp932ToUtf8(b.componentName), "試験体^A");
      EXPECT_EQ(std::string(b.componentIdNumber), "ID-12");
      EXPECT_EQ(std::string(b.studyId), "S1");
      EXPECT_EQ(platform::text::cp932ToUtf8(b.studyDescription), "weld 試験");
      EXPECT_EQ(b.fieldText(CStudyInfo::kStudyDate), "2024/2/29");
      EXPECT_EQ(b.fieldText(CStudyInfo::kManufacturingDate), "1999/12/31");
      EXPECT_EQ(std::string(b.sex), "F ");
      EXPECT_EQ(std::string(b.sopInstanceUid), back.sopInstanceUid);
    }
  }
}

TEST_F(DicondeTest, MediaUidEqualsTheSopUidAndSavesWithinOneSecondDiffer) {
  CImageItem image;
  makeImage(image, 1, 8, 8, 255);
  ASSERT_EQ(WriteDicondeFile(image, path("a.dcm"), false), 1);
  ASSERT_EQ(WriteDicondeFile(image, path("b.dcm"), false), 1);
  std::string sop[2];
  int i = 0;
  for (const char* name : {"a.dcm", "b.dcm"}) {
    CImageItem back;
    ASSERT_EQ(ReadDicondeFile(back, path(name)), 1);
    sop[i++] = back.sopInstanceUid;
    const std::string bytes = testsupport::readFile(dir / name);
    const std::size_t media = find(bytes, 0x0002, 0x0003, 128);
    ASSERT_NE(media, std::string::npos);
    const int len = static_cast<unsigned char>(bytes[media + 6]);
    std::string uid = bytes.substr(media + 8, std::size_t(len));
    while (!uid.empty() && uid.back() == '\0') uid.pop_back();
    EXPECT_EQ(uid, back.sopInstanceUid);
    EXPECT_LE(uid.size(), 64u);
  }
  EXPECT_NE(sop[0], sop[1]);
}

TEST(DicondeUid, SettingsGiveTheirDigitsOrTheFallback) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"58274613", "58274613"}, {"1765400000", "1765400000"}, {"0042", "42"}, {"0", "0"},
      {"", "F"},                {"12a", "F"},                 {"-5", "F"},   {" 7", "F"},
      {"12345678901", "F"},
  };
  for (const auto& c : cases) EXPECT_EQ(uidComponent(c.text, "F"), c.expected) << '"' << c.text << '"';
}

TEST_F(DicondeTest, UidsCarryTheSitesPartNoAndInstance) {
  // Two sites differ only in these settings; their UIDs must differ too.
  settings().partNo = "58274613";
  settings().instance = "1765400123";
  CImageItem image;
  makeImage(image, 1, 8, 8, 255);
  image.instanceNumber = 3;
  ASSERT_EQ(WriteDicondeFile(image, path("a.dcm"), false), 1);
  CImageItem back;
  ASSERT_EQ(ReadDicondeFile(back, path("a.dcm")), 1);
  const std::string program = std::string(kUidRoot) + ".58274613.1765400123";
  EXPECT_EQ(back.studyInstanceUid.rfind(program + ".4.", 0), 0u) << back.studyInstanceUid;
  EXPECT_EQ(back.seriesInstanceUid.rfind(program + ".5.", 0), 0u) << back.seriesInstanceUid;
  EXPECT_EQ(back.sopInstanceUid.rfind(program + ".6.", 0), 0u) << back.sopInstanceUid;
  for (const std::string* uid : {&back.studyInstanceUid, &back.seriesInstanceUid, &back.sopInstanceUid})
    EXPECT_LE(uid->size(), 64u);
  const std::string bytes = testsupport::readFile(dir / "a.dcm");
  const std::size_t cls = find(bytes, 0x0002, 0x0012, 128);
  ASSERT_NE(cls, std::string::npos);
  std::string uid = bytes.substr(cls + 8, static_cast<unsigned char>(bytes[cls + 6]));
  while (!uid.empty() && uid.back() == '\0') uid.pop_back();
  EXPECT_EQ(uid, std::string(kUidRoot) + ".58274613.1.8");

  // A value that is not a run of digits falls back to the default.
  settings().partNo = "58x";
  settings().instance = "abc";
  ASSERT_EQ(WriteDicondeFile(image, path("b.dcm"), false), 1);
  CImageItem fallback;
  ASSERT_EQ(ReadDicondeFile(fallback, path("b.dcm")), 1);
  EXPECT_EQ(fallback.sopInstanceUid.rfind(std::string(kUidRoot) + ".58274613.0.6.", 0), 0u)
      << fallback.sopInstanceUid;
}

TEST_F(DicondeTest, AnImageReadFromDicondeKeepsItsUids) {
  CImageItem image;
  makeImage(image, 2, 8, 8, 1000);
  image.sopInstanceUid = "1.2.3.6";
  image.studyInstanceUid = "1.2.3.4";
  image.seriesInstanceUid = "1.2.3.5";
  ASSERT_EQ(WriteDicondeFile(image, path("k.dcm"), false), 1);
  CImageItem back;
  ASSERT_EQ(ReadDicondeFile(back, path("k.dcm")), 1);
  EXPECT_EQ(back.sopInstanceUid, "1.2.3.6");
  EXPECT_EQ(back.studyInstanceUid, "1.2.3.4");
  EXPECT_EQ(back.seriesInstanceUid, "1.2.3.5");
  EXPECT_EQ(std::string(back.study->studyInstanceUid), "1.2.3.4");
}

TEST_F(DicondeTest, InvalidOrEmptyDatesAreWrittenEmpty) {
  struct Case {
    const char *y, *m, *d;
  };
  for (const Case c : {Case{"2023", "2", "29"}, Case{"", "", ""}, Case{"2024", "13", "1"}, Case{"2024", "4", "31"}}) {
    CImageItem image;
    makeImage(image, 1, 4, 4, 255);
    CStudyInfo::set(image.study->studyYear, c.y);
    CStudyInfo::set(image.study->studyMonth, c.m);
    CStudyInfo::set(image.study->studyDay, c.d);
    ASSERT_EQ(WriteDicondeFile(image, path("d.dcm"), false), 1);
    const std::string bytes = testsupport::readFile(dir / "d.dcm");
    const std::size_t at = find(bytes, 0x0008, 0x0020);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(bytes.substr(at + 4, 4), std::string(4, '\0')) << c.y << "-" << c.m << "-" << c.d;
    CImageItem back;
    ASSERT_EQ(ReadDicondeFile(back, path("d.dcm")), 1);
    EXPECT_EQ(back.study->fieldText(CStudyInfo::kStudyDate), "    /  /");
  }
  CImageItem image;
  makeImage(image, 1, 4, 4, 255);
  CStudyInfo::set(image.study->studyYear, "2025");
  CStudyInfo::set(image.study->studyMonth, "1");
  CStudyInfo::set(image.study->studyDay, "5");
  ASSERT_EQ(WriteDicondeFile(image, path("d.dcm"), false), 1);
  const std::string bytes = testsupport::readFile(dir / "d.dcm");
  EXPECT_EQ(bytes.substr(find(bytes, 0x0008, 0x0020) + 8, 8), "20250105");  // zeros, not blanks
}

TEST_F(DicondeTest, JpegVariantsCarryTheMetaGroupAndReadBack) {
  settings().useMih = 0;
  for (int bps : {1, 2}) {
    CImageItem image;
    makeSmoothImage(image, bps, 40, 24, bps == 1 ? 255 : 4095);
    ASSERT_EQ(WriteDicondeFile(image, path("j.dcm"), true), 1);
    const std::string bytes = testsupport::readFile(dir / "j.dcm");
    EXPECT_EQ(bytes.substr(128, 4), "DICM");
    EXPECT_NE(bytes.find(bps == 1 ? "1.2.840.10008.1.2.4.50" : "1.2.840.10008.1.2.4.55"), std::string::npos);
    // (7FE0,0000) counts from its own end to the end of the file
    const auto* b = reinterpret_cast<const std::uint8_t*>(bytes.data());
    EXPECT_EQ(internal::get32le(b + 16388 + 8), bytes.size() - 16388 - 12);
    CImageItem back;
    ASSERT_EQ(ReadDicondeFile(back, path("j.dcm")), 1) << failures().detail();
    EXPECT_EQ(back.bytesPerSample(), bps);
    EXPECT_LE(maxDifference(samples(back), samples(image)), bps == 1 ? 4 : 64);
  }
}

TEST_F(DicondeTest, BigEndianBareDataSetIsSwapped) {
  DataSetBuilder be(true, false);
  be.image(2, 1, 16).el(0x7FE0, 0x0010, "OW", std::string("\x01\x02\x0a\xbc", 4));
  CImageItem back;
  ASSERT_EQ(ReadDicondeFile(back, put("be.dcm", be.out)), 1) << failures().reason();
  EXPECT_EQ(samples(back), (std::vector<int>{0x0102, 0x0abc}));
  // and explicit big endian in a Part-10 file
  DataSetBuilder ebe(true, true);
  ebe.image(2, 1, 16).el(0x7FE0, 0x0010, "OW", std::string("\x01\x02\x0a\xbc", 4));
  ASSERT_EQ(ReadDicondeFile(back, put("ebe.dcm", part10("1.2.840.10008.1.2.2", ebe.out))), 1);
  EXPECT_EQ(samples(back), (std::vector<int>{0x0102, 0x0abc}));
}

TEST_F(DicondeTest, SequencesOfUndefinedLengthAreWalked) {
  DataSetBuilder ds(false, true);
  ds.image(2, 2, 8);
  // (0008,1140) SQ, undefined length, one item of undefined length holding an element
  ds.el(0x0008, 0x1140, "SQ", "", 0xFFFFFFFFu);
  ds.el(0xFFFE, 0xE000, "", "", 0xFFFFFFFFu);
  ds.text(0x0008, 0x1150, "UI", "1.2");
  ds.el(0xFFFE, 0xE00D, "", "");
  ds.el(0xFFFE, 0xE0DD, "", "");
  ds.el(0x7FE0, 0x0010, "OB", "abcd");
  CImageItem back;
  ASSERT_EQ(ReadDicondeFile(back, put("sq.dcm", part10("1.2.840.10008.1.2.1", ds.out))), 1) << failures().detail();
  EXPECT_EQ(samples(back), (std::vector<int>{'a', 'b', 'c', 'd'}));
}

TEST_F(DicondeTest, AValueEndingAtTheEndOfTheFileIsWhole) {
  DataSetBuilder ds(false, false);
  ds.image(2, 2, 8).el(0x7FE0, 0x0010, "OB", "wxyz");
  CImageItem back;
  EXPECT_EQ(ReadDicondeFile(back, put("end.dcm", ds.out)), 1);
}

TEST_F(DicondeTest, RefusalsCarryTheirReasons) {
  auto bare = [](const std::function<void(DataSetBuilder&)>& f) {
    DataSetBuilder ds(false, false);
    f(ds);
    return ds.out;
  };
  CImageItem image;
  makeSmoothImage(image, 1, 16, 16, 255);
  StringSink sink;
  ASSERT_EQ(EncodeJpeg8(sink, 16, 16, image.data(), 75), 0);
  if (sink.s.size() % 2) sink.s += '\0';
  auto encapsulated = [&](int rows, int cols, int bits) {
    DataSetBuilder ds(false, true);
    ds.image(cols, rows, bits);
    ds.el(0x7FE0, 0x0010, "OB", "", 0xFFFFFFFFu);
    ds.el(0xFFFE, 0xE000, "", "");
    ds.el(0xFFFE, 0xE000, "", sink.s);
    ds.el(0xFFFE, 0xE0DD, "", "");
    return part10("1.2.840.10008.1.2.4.50", ds.out);
  };
  struct Case {
    const char* name;
    std::string file;
    int reason;
    std::string detail;
  };
  const std::vector<Case> cases = {
      {"rgb", bare([](auto& d) { d.image(2, 2, 8, "RGB").el(0x7FE0, 0x0010, "OB", "abcd"); }), kNotSupported, ""},
      {"16 bits stored",
       bare([](auto& d) { d.image(2, 2, 16).us(0x0028, 0x0101, 16).el(0x7FE0, 0x0010, "OW", std::string(8, 'a')); }),
       kLargerThan12Bits, ""},
      {"signed", bare([](auto& d) { d.image(2, 2, 8).us(0x0028, 0x0103, 1).el(0x7FE0, 0x0010, "OB", "abcd"); }),
       kSignedPixelData, ""},
      {"past the end", bare([](auto& d) { d.image(2, 2, 8).el(0x7FE0, 0x0010, "OB", "abcd", 5); }), kNotSupported,
       "(1FFFFFFFF03)"},
      {"negative", bare([](auto& d) { d.image(2, 2, 8).el(0x0009, 0x0010, "LO", "", 0x80000000u); }), kNotSupported,
       "(1FFFFFFFF02)"},
      {"no sop uid", bare([](auto& d) { d.text(0x0008, 0x0016, "UI", "1.2.3").text(0x0010, 0x0010, "PN", "X"); }),
       kUnknownReason, ""},
      {"no pixels", bare([](auto& d) { d.image(2, 2, 8); }), kUnknownReason, ""},
      {"too few pixels", bare([](auto& d) { d.image(2, 2, 8).el(0x7FE0, 0x0010, "OB", "ab"); }), kFileAccessFailure, ""},
      {"truncated header", bare([](auto& d) { d.image(2, 2, 8); d.out += "\xe0\x7f"; }), kNotSupported, "(1FFFFFFFF03)"},
      {"bits allocated 12", bare([](auto& d) { d.image(2, 2, 12).el(0x7FE0, 0x0010, "OB", "abcdef"); }), kNotSupported, ""},
      {"jpeg of another size", encapsulated(16, 8, 8), kNotSupported, "(1FFFFFFFF04)"},
      {"jpeg of another depth", encapsulated(16, 16, 16), kNotSupported, "(1FFFFFFFF04)"},
  };
  for (const auto& c : cases) {
    CImageItem back;
    EXPECT_EQ(ReadDicondeFile(back, put("f.dcm", c.file)), 0) << c.name;
    EXPECT_EQ(failures().reason(), c.reason) << c.name;
    EXPECT_EQ(failures().detail(), c.detail) << c.name;
  }
  CImageItem back;
  ASSERT_EQ(ReadDicondeFile(back, put("ok.dcm", encapsulated(16, 16, 8))), 1) << failures().detail();
  EXPECT_LE(maxDifference(samples(back), samples(image)), 4);
  EXPECT_EQ(ReadDicondeFile(back, path("none.dcm")), 0);
  EXPECT_EQ(failures().reason(), kFileAccessFailure);
}

// A frame whose stream other writers split over several fragments reads as
// the joined stream; a stream with a fragment missing or with corrupt data is
// refused, never shown with a made-up part.
TEST_F(DicondeTest, AFrameSpanningSeveralFragmentsIsDecodedWhole) {
  for (int bps : {1, 2}) {
    SCOPED_TRACE(bps);
    CImageItem image;
    makeSmoothImage(image, bps, 64, 48, bps == 1 ? 255 : 4095);
    StringSink sink;
    ASSERT_EQ(bps == 1 ? EncodeJpeg8(sink, 64, 48, image.data(), 75) : EncodeJpeg12(sink, 64, 48, image.data16(), 75),
              0);
    if (sink.s.size() % 2) sink.s += '\0';
    // The stream cut into `parts` fragments of even length; `keep` of them written.
    auto file = [&](std::size_t parts, std::size_t keep, const std::string& stream) {
      DataSetBuilder ds(false, true);
      ds.image(64, 48, 8 * bps);
      ds.el(0x7FE0, 0x0010, "OB", "", 0xFFFFFFFFu);
      ds.el(0xFFFE, 0xE000, "", "");
      const std::size_t piece = ((stream.size() + parts - 1) / parts + 1) & ~std::size_t(1);
      for (std::size_t i = 0, at = 0; i < parts && at < stream.size(); ++i, at += piece)
        if (i < keep) ds.el(0xFFFE, 0xE000, "", stream.substr(at, piece));
      ds.el(0xFFFE, 0xE0DD, "", "");
      return part10(bps == 1 ? "1.2.840.10008.1.2.4.50" : "1.2.840.10008.1.2.4.55", ds.out);
    };
    CImageItem whole;
    ASSERT_EQ(ReadDicondeFile(whole, put("one.dcm", file(1, 1, sink.s))), 1) << failures().detail();
    EXPECT_LE(maxDifference(samples(whole), samples(image)), bps == 1 ? 4 : 64);
    for (std::size_t parts : {2, 3, 7}) {
      CImageItem back;
      ASSERT_EQ(ReadDicondeFile(back, put("many.dcm", file(parts, parts, sink.s))), 1) << parts << failures().detail();
      EXPECT_EQ(samples(back), samples(whole)) << parts;
    }
    std::string corrupt = sink.s;
    corrupt[corrupt.size() / 2] = '\xFF';  // a restart marker inside the coded data
    corrupt[corrupt.size() / 2 + 1] = '\xD3';
    // Damage is reported as the file that could not be read, not as a kind
    // of file that is not supported.
    const std::string header = sink.s.substr(0, 30);  // cut before the frame header
    for (const std::string& f : {file(3, 2, sink.s), file(3, 3, corrupt), file(1, 1, header)}) {
      CImageItem back;
      EXPECT_EQ(ReadDicondeFile(back, put("bad.dcm", f)), 0);
      EXPECT_EQ(failures().reason(), kFileAccessFailure);
      EXPECT_EQ(failures().detail(), "");
    }
  }
}

TEST_F(DicondeTest, KanjiWhoseCodeHoldsABackslashByteSurvive) {
  // JIS X 0208 codes may hold 5C, which is no value delimiter inside a kanji run.
  const std::string name = platform::text::utf8ToCp932("溶接^表");
  EXPECT_NE(toDicondeText(name).find('\\'), std::string::npos);
  EXPECT_EQ(fromDicondeText(toDicondeText(name)), name);
  CImageItem image;
  makeImage(image, 1, 4, 4, 255);
  CStudyInfo::set(image.study->componentName, name);
  ASSERT_EQ(WriteDicondeFile(image, path("k.dcm"), false), 1);
  CImageItem back;
  ASSERT_EQ(ReadDicondeFile(back, path("k.dcm")), 1);
  EXPECT_EQ(std::string(back.study->componentName), name);
}

TEST_F(DicondeTest, ReadsTheBareDataSetsOfTheStandAloneScanProgram) {
  // Its layout: every group with its length, the filler up to byte 1028, the
  // pixel group there and the pixels from byte 1048.
  auto group = [](std::uint16_t g, const std::function<void(DataSetBuilder&)>& f) {
    DataSetBuilder body(false, false);
    f(body);
    DataSetBuilder out(false, false);
    const auto n = std::uint32_t(body.out.size());
    out.el(g, 0x0000, "UL", std::string{char(n), char(n >> 8), char(n >> 16), char(n >> 24)});
    return out.out + body.out;
  };
  std::string file = group(0x0008, [](DataSetBuilder& d) {
    d.text(0x0008, 0x0005, "CS", "\\ISO 2022 IR 87").text(0x0008, 0x0016, "UI", "1.2.840.10008.5.1.4.1.1.7");
    d.text(0x0008, 0x0018, "UI", "1.2.9.6.1700000000.0").text(0x0008, 0x0020, "DA", "20260110");
    d.el(0x0008, 0x0030, "TM", "").el(0x0008, 0x0050, "SH", "").text(0x0008, 0x0060, "CS", "RG");
    d.el(0x0008, 0x1090, "LO", "");
  });
  file += group(0x0010, [](DataSetBuilder& d) { d.text(0x0010, 0x0010, "PN", "FILM").el(0x0010, 0x0040, "CS", ""); });
  file += group(0x0019, [](DataSetBuilder& d) { d.text(0x0019, 0x0010, "LO", kPrivateCreator).us(0x0019, 0x3000, 40); });
  file += group(0x0020, [](DataSetBuilder& d) { d.text(0x0020, 0x000D, "UI", "1.2.9.4").el(0x0020, 0x0013, "IS", ""); });
  file += group(0x0028, [](DataSetBuilder& d) {
    d.us(0x0028, 0x0002, 1).text(0x0028, 0x0004, "CS", "MONOCHROME2").us(0x0028, 0x0010, 3).us(0x0028, 0x0011, 2);
    d.text(0x0028, 0x0030, "DS", "0.050\\0.050").us(0x0028, 0x0100, 16).us(0x0028, 0x0101, 12);
    d.us(0x0028, 0x0103, 0);
  });
  const std::size_t p = file.size();
  ASSERT_LT(p + 12 + 48 + 8, 1028u);
  DataSetBuilder filler(false, false);
  const auto glen = std::uint32_t(1016 - p);
  filler.el(0x00FF, 0x0000, "UL", std::string{char(glen), char(glen >> 8), 0, 0});
  filler.text(0x00FF, 0x0010, "LO", kPrivateCreator);
  filler.el(0x00FF, 0x30FF, "OB", std::string(1028 - p - 12 - 48 - 8, '\0'));
  file += filler.out;
  ASSERT_EQ(file.size(), 1028u);
  const std::string pixels("\x01\x00\x02\x00\x03\x00\x04\x00\xff\x0f\x00\x08", 12);
  DataSetBuilder px(false, false);
  px.el(0x7FE0, 0x0000, "UL", std::string{char(20), 0, 0, 0}).el(0x7FE0, 0x0010, "OW", pixels);
  file += px.out;
  ASSERT_EQ(file.size(), 1048u + 12u);
  CImageItem back;
  ASSERT_EQ(ReadDicondeFile(back, put("ombrel.dcm", file)), 1) << failures().reason() << failures().detail();
  EXPECT_EQ(samples(back), (std::vector<int>{1, 2, 3, 4, 4095, 2048}));
  EXPECT_EQ(back.pitch, 50);
  EXPECT_EQ(back.odRange, 40);
  EXPECT_EQ(back.instanceNumber, 0);
  EXPECT_EQ(std::string(back.study->componentName), "FILM");
  EXPECT_EQ(back.study->fieldText(CStudyInfo::kStudyDate), "2026/1/10");
}

TEST_F(DicondeTest, AFailedWriteLeavesNoFile) {
  CImageItem image;
  makeImage(image, 2, 300, 300, 4095);
  {
    formats_test::FileSizeLimit limit(30000);
    EXPECT_EQ(WriteDicondeFile(image, path("s.dcm"), false), 0);
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "s.dcm"));
  ASSERT_EQ(promptScript.messages.size(), 1u);
  EXPECT_EQ(promptScript.messages[0], "Failed to write.|Failed to write the file(" + path("s.dcm") + ").");
}

TEST_F(DicondeTest, AStudyTextWithACodeJisX0208LacksIsRefusedNotWrittenWrong) {
  // NEC row 13 (circled one), NEC-selected IBM row 92 (taka, ladder form), IBM FA40.
  const struct {
    const char* cp932;
    const char* converted;  // what the converter makes of it: the pair left out
  } cases[] = {{"\x87\x40", ""}, {"\xEE\xE0\x8B\xB4", "\x1b$B66\x1b(B"}, {"A\xFA\x40", "A"}};
  for (const auto& [cp932, converted] : cases) {
    for (int which = 0; which < 4; ++which) {
      CImageItem image;
      makeImage(image, 1, 16, 8, 255);
      CStudyInfo& s = *image.study;
      char* fields[] = {s.componentName, s.componentIdNumber, s.studyId, s.studyDescription};
      std::strcpy(fields[which], cp932);
      promptScript.messages.clear();
      EXPECT_EQ(WriteDicondeFile(image, path("x.dcm"), which % 2 == 1), 0) << which;
      EXPECT_FALSE(std::filesystem::exists(dir / "x.dcm"));
      ASSERT_EQ(promptScript.messages.size(), 1u);
      EXPECT_EQ(promptScript.messages[0], "Failed to write.|Failed to write the file(" + path("x.dcm") + ").");
    }
    // The converter itself never emits such a code.
    EXPECT_EQ(toDicondeText(cp932), converted);
  }
}

// A film-sized data set is read and counted in pieces on several threads:
// each piece swapped and a wide sample in the last row refused, as in one pass.
TEST_F(DicondeTest, LargeBigEndianPixelsReadInPiecesLikeInOnePass) {
  constexpr int kW = 1031, kH = 2100;
  struct Case {
    const char* name;
    bool wideLastSample;
    int result, reason;
  };
  for (const Case c : {Case{"whole", false, 1, kReasonNone}, Case{"wide", true, 0, kLargerThan12Bits}}) {
    SCOPED_TRACE(c.name);
    std::vector<int> expect(std::size_t(kW) * kH);
    for (std::size_t i = 0; i < expect.size(); ++i) expect[i] = int((i * 2654435761u >> 5) % 4000) + 3;
    std::string pixels;
    for (std::size_t i = 0; i < expect.size(); ++i) {
      const unsigned v = i + 1 == expect.size() && c.wideLastSample ? 0x8003u : unsigned(expect[i]);
      pixels += {char(v >> 8), char(v)};
    }
    DataSetBuilder be(true, false);
    be.image(kW, kH, 16).el(0x7FE0, 0x0010, "OW", pixels);
    CImageItem back;
    ASSERT_EQ(ReadDicondeFile(back, put("film.dcm", be.out)), c.result);
    EXPECT_EQ(failures().reason(), c.reason);
    if (c.result != 1) continue;
    EXPECT_EQ(samples(back), expect);
    EXPECT_EQ(back.roiMinimum(), *std::min_element(expect.begin(), expect.end()));
    EXPECT_EQ(back.roiMaximum(), *std::max_element(expect.begin(), expect.end()));
  }
}
