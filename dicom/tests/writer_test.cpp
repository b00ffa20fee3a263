#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "dicom/internal/jis.h"
#include "dicom/internal/object.h"
#include "helpers.h"
#include "testsupport/testsupport.h"

namespace {

using dicomtest::Bytes;
using dicomtest::encode;
using dicomtest::Object;
using dicomtest::setText;
using dicomtest::setU16;

const std::string kEsc = "\x1b";

// The switches are process-wide; every test starts from the defaults.
class Writer : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDicomGroupLength(1);
    SetDicomJisConversion(1);
  }
  void TearDown() override { SetUp(); }

  // A small set: a UI and a PN of odd length, a CS of even length.
  static void fillSmallSet(DicomObject* o) {
    setText(o, 0x0010, 0x0010, "PN", "Doe");
    setText(o, 0x0008, 0x0060, "CS", "CR");
    setText(o, 0x0008, 0x0018, "UI", "1.2.3");
  }
};

TEST_F(Writer, ImplicitSmallSetWithGroupLengths) {
  Object o;
  fillSmallSet(o);
  std::string expected = Bytes()
                             .tag(0x0008, 0x0000).u32(4).u32(24)
                             .im(0x0008, 0x0018, std::string("1.2.3\0", 6))
                             .im(0x0008, 0x0060, "CR")
                             .tag(0x0010, 0x0000).u32(4).u32(12)
                             .im(0x0010, 0x0010, "Doe ")
                             .str();
  EXPECT_EQ(encode(o), expected);
}

TEST_F(Writer, ImplicitSmallSetWithoutGroupLengths) {
  SetDicomGroupLength(0);
  Object o;
  fillSmallSet(o);
  std::string expected = Bytes()
                             .im(0x0008, 0x0018, std::string("1.2.3\0", 6))
                             .im(0x0008, 0x0060, "CR")
                             .im(0x0010, 0x0010, "Doe ")
                             .str();
  EXPECT_EQ(encode(o), expected);
}

TEST_F(Writer, ExplicitSmallSetGetsPreambleMetaAndGroupLengths) {
  Object o;
  setText(o, 0x0002, 0x0010, "UI", "1.2.840.10008.1.2.1");
  fillSmallSet(o);
  std::string expected = Bytes()
                             .preamble()
                             .tag(0x0002, 0x0000).raw("UL").u16(4).u32(28)
                             .ex(0x0002, 0x0010, "UI", std::string("1.2.840.10008.1.2.1\0", 20))
                             .tag(0x0008, 0x0000).raw("UL").u16(4).u32(24)
                             .ex(0x0008, 0x0018, "UI", std::string("1.2.3\0", 6))
                             .ex(0x0008, 0x0060, "CS", "CR")
                             .tag(0x0010, 0x0000).raw("UL").u16(4).u32(12)
                             .ex(0x0010, 0x0010, "PN", "Doe ")
                             .str();
  EXPECT_EQ(encode(o), expected);
  EXPECT_EQ(o.get()->fileMeta, 1u);  // set by the code, and it stays
}

TEST_F(Writer, ImplicitObjectWithoutFileMetaIsABareDataSetWithoutGroup0002) {
  Object o;
  setText(o, 0x0002, 0x0010, "UI", "1.2.840.10008.1.2");
  setText(o, 0x0008, 0x0060, "CS", "CR");
  SetDicomGroupLength(0);
  EXPECT_EQ(encode(o), Bytes().im(0x0008, 0x0060, "CR").str());
  // With the flag, group 0002 goes out explicit while the rest stays implicit.
  SetDicomFileMeta(o, 1);
  EXPECT_EQ(encode(o), Bytes()
                           .preamble()
                           .ex(0x0002, 0x0010, "UI", std::string("1.2.840.10008.1.2\0", 18))
                           .im(0x0008, 0x0060, "CR")
                           .str());
}

TEST_F(Writer, OddValuesArePaddedByVr) {
  SetDicomGroupLength(0);
  SetDicomJisConversion(0);
  Object o;
  setText(o, 0x0008, 0x0060, "CS", "ABC");
  setText(o, 0x0008, 0x1150, "UI", "1.2.3");
  setText(o, 0x0009, 0x1001, "OB", "xyz");
  setText(o, 0x0010, 0x0010, "PN", "Doe");
  EXPECT_EQ(encode(o), Bytes()
                           .im(0x0008, 0x0060, "ABC ")
                           .im(0x0008, 0x1150, std::string("1.2.3\0", 6))
                           .im(0x0009, 0x1001, std::string("xyz\0", 4))
                           .im(0x0010, 0x0010, "Doe ")
                           .str());
}

TEST_F(Writer, LongVrsGetThirtyTwoBitLengths) {
  SetDicomGroupLength(0);
  Object o;
  setText(o, 0x0002, 0x0010, "UI", "1.2.840.10008.1.2.1");
  const char* longVrs[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SV", "UC", "UN", "UR", "UT", "UV"};
  uint32_t element = 0x1000;
  Bytes expected;
  expected.preamble().ex(0x0002, 0x0010, "UI", std::string("1.2.840.10008.1.2.1\0", 20));
  for (const char* vr : longVrs) {
    setText(o, 0x0009, element, vr, "abcd");
    expected.tag(0x0009, element).raw(vr).u16(0).u32(4).raw("abcd");
    ++element;
  }
  EXPECT_EQ(encode(o), expected.str());
}

TEST_F(Writer, StoredGroupLengthsAreNotWrittenTwice) {
  Object o;
  // What a read file leaves in the object: its own group length element.
  Bytes read;
  read.im(0x0008, 0x0000, std::string("\x63\0\0\0", 4)).im(0x0008, 0x0060, "CR");
  ASSERT_EQ(ReadDicomDataSet(o, read.data(), read.size(), "1.2.840.10008.1.2", 0), 1u);
  EXPECT_EQ(encode(o), Bytes().tag(0x0008, 0x0000).u32(4).u32(10).im(0x0008, 0x0060, "CR").str());
}

TEST_F(Writer, BigEndianAndStrayFragmentsAreRefused) {
  testsupport::TempDir dir;
  {
    Object o;
    setText(o, 0x0002, 0x0010, "UI", "1.2.840.10008.1.2.2");
    setText(o, 0x0008, 0x0060, "CS", "CR");
    size_t size = 0;
    EXPECT_EQ(GetDicomWriteSize(o, &size), 0u);
    EXPECT_EQ(WriteDicomFile(o, (dir / "big.dcm").c_str()), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir / "big.dcm"));
  }
  {
    Object o;
    setText(o, 0x0002, 0x0010, "UI", "1.2.840.10008.1.2.1");
    DicomElement* e = dicom::findOrCreateElement(o.get(), 0x0009, 0x1010);
    dicom::makeFragmentList(e, "OB", 2);
    EXPECT_EQ(encode(o), "<refused>");
    EXPECT_EQ(WriteDicomFile(o, (dir / "stray.dcm").c_str()), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir / "stray.dcm"));
  }
  {
    // A value too long for a 16-bit length.
    Object o;
    setText(o, 0x0002, 0x0010, "UI", "1.2.840.10008.1.2.1");
    setText(o, 0x0008, 0x0060, "CS", std::string(70000, 'A'));
    EXPECT_EQ(encode(o), "<refused>");
  }
}

TEST_F(Writer, SequenceOfOneItem) {
  SetDicomGroupLength(1);
  for (const char* uid : {"1.2.840.10008.1.2", "1.2.840.10008.1.2.1"}) {
    Object o;
    setText(o, 0x0002, 0x0010, "UI", uid);
    SetDicomFileMeta(o, 0);
    ASSERT_EQ(CreateDicomSequence(o, 0x0008, 0x1140), 1u);
    DicomObject* item = nullptr;
    ASSERT_EQ(GetDicomItem(o, 0x0008, 0x1140, 0, &item), 1u);
    setText(item, 0x0008, 0x1150, "UI", "1.2");
    std::string written = encode(o);
    bool implicit = std::string(uid) == "1.2.840.10008.1.2";
    Bytes expected;
    if (implicit) {
      // Items carry no group length; undefined lengths with both delimiters.
      expected.tag(0x0008, 0x0000).u32(4).u32(8 + 8 + 12 + 8 + 8)
          .tag(0x0008, 0x1140).u32(0xFFFFFFFF)
          .tag(0xFFFE, 0xE000).u32(0xFFFFFFFF)
          .im(0x0008, 0x1150, std::string("1.2\0", 4))
          .tag(0xFFFE, 0xE00D).u32(0)
          .tag(0xFFFE, 0xE0DD).u32(0);
    } else {
      Bytes itemBytes;
      itemBytes.ex(0x0008, 0x1150, "UI", std::string("1.2\0", 4));
      expected.preamble()
          .tag(0x0002, 0x0000).raw("UL").u16(4).u32(28)
          .ex(0x0002, 0x0010, "UI", std::string("1.2.840.10008.1.2.1\0", 20))
          .tag(0x0008, 0x0000).raw("UL").u16(4).u32(12 + 8 + itemBytes.size())
          .tag(0x0008, 0x1140).raw("SQ").u16(0).u32(8 + itemBytes.size())
          .tag(0xFFFE, 0xE000).u32(itemBytes.size())
          .raw(itemBytes.str());
    }
    EXPECT_EQ(written, expected.str()) << uid;
  }
}

TEST_F(Writer, SequenceOfNItemsUsesDelimiters) {
  SetDicomGroupLength(0);
  Object o;
  setText(o, 0x0002, 0x0010, "UI", "1.2.840.10008.1.2.1");
  ASSERT_EQ(CreateDicomSequenceItems(o, 0x0008, 0x1140, 2), 1u);
  for (uint32_t i = 0; i < 2; ++i) {
    DicomObject* item = nullptr;
    ASSERT_EQ(GetDicomItem(o, 0x0008, 0x1140, i, &item), 1u);
    setText(item, 0x0008, 0x1150, "UI", i ? "1.4" : "1.22");
  }
  std::string expected = Bytes()
                             .preamble()
                             .ex(0x0002, 0x0010, "UI", std::string("1.2.840.10008.1.2.1\0", 20))
                             .tag(0x0008, 0x1140).raw("SQ").u16(0).u32(0xFFFFFFFF)
                             .tag(0xFFFE, 0xE000).u32(0xFFFFFFFF)
                             .ex(0x0008, 0x1150, "UI", "1.22")
                             .tag(0xFFFE, 0xE00D).u32(0)
                             .tag(0xFFFE, 0xE000).u32(0xFFFFFFFF)
                             .ex(0x0008, 0x1150, "UI", std::string("1.4\0", 4))
                             .tag(0xFFFE, 0xE00D).u32(0)
                             .tag(0xFFFE, 0xE0DD).u32(0)
                             .str();
  EXPECT_EQ(encode(o), expected);
}

TEST_F(Writer, ThreeFragmentsGetTheirOffsets) {
  SetDicomGroupLength(0);
  Object o;
  setText(o, 0x0002, 0x0010, "UI", "1.2.840.10008.1.2.4.70");
  DicomElement* e = dicom::findOrCreateElement(o.get(), 0x7FE0, 0x0010);
  dicom::makeFragmentList(e, "OB", 3);
  const std::string f0 = "abcde", f1 = "0123456789", f2 = "xyz";
  dicom::setFragment(e, 0, reinterpret_cast<const uint8_t*>(f0.data()), 5);
  dicom::setFragment(e, 1, reinterpret_cast<const uint8_t*>(f1.data()), 10);
  dicom::setFragment(e, 2, reinterpret_cast<const uint8_t*>(f2.data()), 3);
  std::string expected =
      Bytes()
          .preamble()
          .ex(0x0002, 0x0010, "UI", "1.2.840.10008.1.2.4.70")
          .tag(0x7FE0, 0x0010).raw("OB").u16(0).u32(0xFFFFFFFF)
          .tag(0xFFFE, 0xE000).u32(12).u32(0).u32(6 + 8).u32(6 + 10 + 16)
          .tag(0xFFFE, 0xE000).u32(6).raw(f0).raw(std::string(1, '\0'))
          .tag(0xFFFE, 0xE000).u32(10).raw(f1)
          .tag(0xFFFE, 0xE000).u32(4).raw(f2).raw(std::string(1, '\0'))
          .tag(0xFFFE, 0xE0DD).u32(0)
          .str();
  EXPECT_EQ(encode(o), expected);
}

TEST_F(Writer, BufferFormsAgreeAndTheSizedOneRefusesTooLittleRoom) {
  Object o;
  setText(o, 0x0002, 0x0010, "UI", "1.2.840.10008.1.2.1");
  fillSmallSet(o);
  std::string sized = encode(o);
  std::string unsized(sized.size() + 10, '\x55');
  uint32_t position = 10;
  ASSERT_EQ(WriteDicomBuffer(o, unsized.data(), &position), 1u);
  EXPECT_EQ(position, sized.size() + 10);
  EXPECT_EQ(unsized.substr(10), sized);
  EXPECT_EQ(unsized.substr(0, 10), std::string(10, '\x55'));

  std::string small(sized.size() - 1, '\0');
  size_t at = 0;
  EXPECT_EQ(WriteDicomBufferSized(o, small.data(), small.size(), &at), 0u);
  EXPECT_EQ(at, 0u);
  EXPECT_EQ(small, std::string(small.size(), '\0'));  // nothing written
}

TEST_F(Writer, FileEndsAtItsLastElement) {
  testsupport::TempDir dir;
  Object o;
  setText(o, 0x0002, 0x0010, "UI", "1.2.840.10008.1.2.1");
  fillSmallSet(o);
  auto path = dir / "out.dcm";
  testsupport::writeFile(path, std::string(500000, 'o'));  // overwritten whole
  ASSERT_EQ(WriteDicomFile(o, path.c_str()), 1u);
  EXPECT_EQ(testsupport::readFile(path), encode(o));
  // Nothing is left beside it.
  int entries = 0;
  for (auto& entry : std::filesystem::directory_iterator(dir.path())) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 1);
  EXPECT_EQ(WriteDicomFile(o, (dir / "missing" / "x.dcm").c_str()), 0u);
}

// An object read from a bare data set has no (0002,0010); its file names the
// syntax of its code, or is not written at all where the code names a family.
TEST_F(Writer, FileOfABareDataSetNamesItsSyntaxOrIsRefused) {
  struct Case {
    const char* uid;     // given to ReadDicomDataSet
    unsigned fileMeta;   // set afterwards
    const char* named;   // in the file, or null when refused
  };
  const Case cases[] = {
      {"1.2.840.10008.1.2.1", 0, "1.2.840.10008.1.2.1"},
      {"1.2.840.10008.1.2", 1, "1.2.840.10008.1.2"},
      {"1.2.840.10008.1.2.5", 0, "1.2.840.10008.1.2.5"},
      {"1.2.840.10008.1.2.4.91", 0, "1.2.840.10008.1.2.4.91"},
      {"1.2.840.10008.1.2.4.50", 0, nullptr},
      {"1.2.840.10008.1.2.4.70", 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.uid);
    testsupport::TempDir dir;
    Bytes data;
    data.ex(0x0008, 0x0060, "CS", "CR").ex(0x0010, 0x0010, "PN", "Doe ");
    if (std::string(c.uid) == "1.2.840.10008.1.2")
      data = Bytes().im(0x0008, 0x0060, "CR").im(0x0010, 0x0010, "Doe ");
    Object o;
    ASSERT_EQ(ReadDicomDataSet(o, data.data(), data.size(), c.uid, 0), 1u);
    if (c.fileMeta) SetDicomFileMeta(o, 1);
    const auto path = dir / "bare.dcm";
    if (!c.named) {
      EXPECT_EQ(WriteDicomFile(o, path.c_str()), 0u);
      EXPECT_FALSE(std::filesystem::exists(path));
      EXPECT_EQ(encode(o), "<refused>");
      continue;
    }
    ASSERT_EQ(WriteDicomFile(o, path.c_str()), 1u);
    const std::string file = testsupport::readFile(path);
    std::string uid = c.named;
    if (uid.size() % 2) uid.push_back('\0');
    EXPECT_EQ(file.substr(128, 4 + 12 + 8 + uid.size()),
              Bytes().raw("DICM").tag(0x0002, 0x0000).raw("UL").u16(4)
                  .u32(static_cast<uint32_t>(8 + uid.size()))
                  .ex(0x0002, 0x0010, "UI", uid).str());
    // The object itself is left as it was.
    EXPECT_EQ(dicomtest::getString(o, 0x0002, 0x0010), "<absent>");
    Object back;
    ASSERT_EQ(ReadDicomFile(back, path.c_str(), 0), 1u);
    EXPECT_EQ(back.get()->transferSyntax, o.get()->transferSyntax);
    EXPECT_EQ(dicomtest::getString(back, 0x0008, 0x0060), "CR");
    EXPECT_EQ(dicomtest::getString(back, 0x0010, 0x0010), "Doe ");
  }
}

// The transfer syntax element missing from a meta group that has others goes
// in its place among them.
TEST_F(Writer, MissingSyntaxJoinsAnExistingMetaGroupInOrder) {
  SetDicomGroupLength(0);
  Object o;
  setText(o, 0x0002, 0x0002, "UI", "1.2");
  setText(o, 0x0002, 0x0012, "UI", "1.4");
  setText(o, 0x0008, 0x0060, "CS", "CR");
  SetDicomFileMeta(o, 1);
  EXPECT_EQ(encode(o), Bytes()
                           .preamble()
                           .ex(0x0002, 0x0002, "UI", std::string("1.2\0", 4))
                           .ex(0x0002, 0x0010, "UI", std::string("1.2.840.10008.1.2\0", 18))
                           .ex(0x0002, 0x0012, "UI", std::string("1.4\0", 4))
                           .im(0x0008, 0x0060, "CR")
                           .str());
}

// Nested one-item sequences: each defined length is the measure of what
// follows. Forty levels cannot be written when every level measures its
// contents afresh (the work doubles with each level).
TEST_F(Writer, DeeplyNestedOneItemSequencesAreWrittenWithTheirLengths) {
  constexpr int kDepth = 40;
  Object o;
  setText(o, 0x0002, 0x0010, "UI", "1.2.840.10008.1.2.1");
  DicomObject* at = o;
  for (int i = 0; i < kDepth; ++i) {
    ASSERT_EQ(CreateDicomSequence(at, 0x0008, 0x1140), 1u);
    DicomObject* item = nullptr;
    ASSERT_EQ(GetDicomItem(at, 0x0008, 0x1140, 0, &item), 1u);
    at = item;
  }
  setText(at, 0x0008, 0x0100, "SH", "CODE");
  Bytes content;
  content.ex(0x0008, 0x0100, "SH", "CODE");
  for (int i = 0; i < kDepth; ++i) {
    Bytes level;
    level.tag(0x0008, 0x1140).raw("SQ").u16(0).u32(8 + content.size())
        .tag(0xFFFE, 0xE000).u32(content.size()).raw(content.str());
    content = level;
  }
  const std::string expected = Bytes()
                                   .preamble()
                                   .tag(0x0002, 0x0000).raw("UL").u16(4).u32(28)
                                   .ex(0x0002, 0x0010, "UI", std::string("1.2.840.10008.1.2.1\0", 20))
                                   .tag(0x0008, 0x0000).raw("UL").u16(4).u32(content.size())
                                   .raw(content.str())
                                   .str();
  EXPECT_EQ(encode(o), expected);
  testsupport::TempDir dir;
  ASSERT_EQ(WriteDicomFile(o, (dir / "deep.dcm").c_str()), 1u);
  EXPECT_EQ(testsupport::readFile(dir / "deep.dcm"), expected);
}

struct JisCase {
  const char* name;
  std::string sjis;
  std::string jis;
};

class JisConversion : public ::testing::TestWithParam<JisCase> {};

TEST_P(JisConversion, ShiftJisToIso2022AndBack) {
  const JisCase& c = GetParam();
  auto in = reinterpret_cast<const uint8_t*>(c.sjis.data());
  std::string jis = dicom::sjisToJis(in, c.sjis.size(), false);
  EXPECT_EQ(jis, c.jis);
  EXPECT_EQ(jis.size() % 2, 0u);
  // Reading gives back the text, with the pad blank where the length was odd.
  std::string back = dicom::jisToSjis(reinterpret_cast<const uint8_t*>(jis.data()), jis.size());
  EXPECT_EQ(back.substr(0, c.sjis.size()), c.sjis);
}

INSTANTIATE_TEST_SUITE_P(
    Table, JisConversion,
    ::testing::Values(
        JisCase{"OneKanji", "\x8e\x52", kEsc + "$B" + "\x3b\x33" + kEsc + "(J"},
        JisCase{"TwoKanji", "\x8e\x52\x93\x63", kEsc + "$B" + "\x3b\x33\x45\x44" + kEsc + "(J"},
        JisCase{"AsciiEven", "Doe^John", "Doe^John"},
        JisCase{"AsciiOdd", "Doe", "Doe "},
        JisCase{"Katakana", "\xb1\xb2", kEsc + ")I" + "\xb1\xb2 "},
        JisCase{"KatakanaEven", "\xb1", kEsc + ")I" + "\xb1" + kEsc + "(J "},
        JisCase{"Mixed", "Yamada^Tarou=\x8e\x52\x93\x63^\x91\xbe\x98\x59",
                "Yamada^Tarou=" + kEsc + "$B" + "\x3b\x33\x45\x44" + kEsc + "(J^" + kEsc + "$B" +
                    "\x42\x40\x4f\x3a" + kEsc + "(J"}),
    [](const ::testing::TestParamInfo<JisCase>& info) { return std::string(info.param.name); });

TEST(JisConversionEdges, ControlsAndALeadByteAtTheEndAreDropped) {
  const uint8_t text[] = {'A', 0x8e};
  EXPECT_EQ(dicom::sjisToJis(text, 2, false), "A ");
  const uint8_t controls[] = {'A', 0x01, 0x1b, 'B'};
  EXPECT_EQ(dicom::sjisToJis(controls, 4, false), "AB");
  // Read side: an escape cut off and half a kanji pair.
  const std::string cut = "AB" + kEsc + "$";
  EXPECT_EQ(dicom::jisToSjis(reinterpret_cast<const uint8_t*>(cut.data()), cut.size()), "AB");
  const std::string half = kEsc + "$B\x3b\x33\x45";
  EXPECT_EQ(dicom::jisToSjis(reinterpret_cast<const uint8_t*>(half.data()), half.size()),
            "\x8e\x52");
}

TEST(JisConversionEdges, MultiLineTextKeepsItsLineBreaks) {
  const std::string text = "line1\r\n\x8e\x52\r\nend";
  auto in = reinterpret_cast<const uint8_t*>(text.data());
  EXPECT_EQ(dicom::sjisToJis(in, text.size(), true),
            "line1\r\n" + kEsc + "$B\x3b\x33" + kEsc + "(J\r\nend");
  EXPECT_EQ(dicom::sjisToJis(in, text.size(), false),
            "line1" + kEsc + "$B\x3b\x33" + kEsc + "(Jend");
}

TEST_F(Writer, PersonNameIsConvertedOnlyWithTheSwitch) {
  SetDicomGroupLength(0);
  Object o;
  setText(o, 0x0010, 0x0010, "PN", "\x8e\x52");
  setText(o, 0x0008, 0x0060, "CS", "\x8e\x52");  // not a converted VR
  std::string withJis = encode(o);
  EXPECT_EQ(withJis, Bytes()
                         .im(0x0008, 0x0060, "\x8e\x52")
                         .im(0x0010, 0x0010, kEsc + "$B\x3b\x33" + kEsc + "(J")
                         .str());
  SetDicomJisConversion(0);
  EXPECT_EQ(encode(o), Bytes().im(0x0008, 0x0060, "\x8e\x52").im(0x0010, 0x0010, "\x8e\x52").str());
}

TEST_F(Writer, TextWithACodeJisX0208LacksIsRefusedNotWrittenWrong) {
  // NEC row 13 (circled one), NEC-selected IBM row 92 (taka, ladder form), IBM FA40.
  for (const char* sjis : {"\x87\x40", "\x8b\xb4\xee\xe0", "A\xfa\x40"}) {
    Object o;
    setText(o, 0x0010, 0x0010, "PN", sjis);
    testsupport::TempDir dir;
    EXPECT_EQ(WriteDicomFile(o, (dir / "x.dcm").c_str()), 0u) << sjis;
    EXPECT_FALSE(std::filesystem::exists(dir / "x.dcm")) << sjis;
  }
}

TEST_F(Writer, KanjiRunsEndInAsciiWhereTheCharacterSetNamesNoIr13) {
  SetDicomGroupLength(0);
  const struct {
    const char* charset;
    std::string back;
  } cases[] = {{"\\ISO 2022 IR 87", kEsc + "(B"}, {"ISO 2022 IR 13\\ISO 2022 IR 87", kEsc + "(J"}};
  for (const auto& c : cases) {
    Object o;
    setText(o, 0x0008, 0x0005, "CS", c.charset);
    setText(o, 0x0010, 0x0010, "PN", "\x8e\x52");
    EXPECT_NE(encode(o).find(kEsc + "$B\x3b\x33" + c.back), std::string::npos) << c.charset;
  }
}

TEST_F(Writer, TextReadInAnotherCharacterSetIsWrittenAsItWasRead) {
  // "Buc^Jérôme" in Latin-1: E9 and F4 would otherwise pass for Shift-JIS lead bytes.
  const std::string name = "Buc^J\xe9r\xf4me";
  for (const char* charset : {"ISO_IR 100", "\\ISO 2022 IR 87"}) {
    Object o;
    setText(o, 0x0008, 0x0005, "CS", charset);
    setText(o, 0x0010, 0x0010, "PN", name.c_str());
    SetDicomJisConversion(0);
    const std::string file = encode(o);
    SetDicomJisConversion(1);
    Object back;
    ASSERT_EQ(ReadDicomDataSet(back, file.data(), static_cast<uint32_t>(file.size()), "1.2.840.10008.1.2", 0), 1u);
    const bool latin = std::string(charset) == "ISO_IR 100";
    EXPECT_EQ(getString(back, 0x0010, 0x0010), name) << charset;
    // Written again: kept, or (under a Japanese set) taken for Shift-JIS.
    EXPECT_EQ(encode(back).find(name) != std::string::npos, latin) << charset;
  }
}

}  // namespace
