#include <gtest/gtest.h>

#include <string>

#include "dicom/internal/object.h"
#include "helpers.h"
#include "testsupport/testsupport.h"

namespace {

using dicomtest::Bytes;
using dicomtest::getString;
using dicomtest::getU16;
using dicomtest::Object;

const char* const kImplicit = "1.2.840.10008.1.2";
const char* const kExplicit = "1.2.840.10008.1.2.1";
const std::string kEsc = "\x1b";

std::string uidValue(const char* uid) {
  std::string v = uid;
  if (v.size() % 2) v.push_back('\0');
  return v;
}

Bytes fileWithMeta(const char* uid) {
  Bytes b;
  b.preamble().ex(0x0002, 0x0010, "UI", uidValue(uid));
  return b;
}

TEST(Reader, ExplicitFileWithMeta) {
  Bytes b = fileWithMeta(kExplicit);
  b.ex(0x0008, 0x0060, "CS", "CR").ex(0x0028, 0x0010, "US", std::string("\x00\x02", 2))
      .ex(0x0010, 0x0010, "PN", "Doe ");
  Object o;
  ASSERT_EQ(ReadDicomMemory(o, b.data(), b.size()), 1u);
  EXPECT_EQ(o.get()->transferSyntax, 1u);
  EXPECT_EQ(getU16(o, 0x0028, 0x0010), 512);
  EXPECT_EQ(getString(o, 0x0010, 0x0010), "Doe ");  // kept with its pad
  EXPECT_EQ(getString(o, 0x0002, 0x0010), uidValue(kExplicit));
}

TEST(Reader, A132ByteFileEndingInDicmIsABareDataSet) {
  // An implicit element filling 128 bytes, then "DICM": too short for a
  // preamble, so the element is read and the four bytes end the data set.
  Bytes b;
  b.im(0x0008, 0x0060, std::string(120, 'A')).raw("DICM");
  ASSERT_EQ(b.size(), 132u);
  Object o;
  EXPECT_EQ(ReadDicomMemory(o, b.data(), b.size()), 1u);
  EXPECT_EQ(getString(o, 0x0008, 0x0060), std::string(120, 'A'));
  EXPECT_EQ(o.get()->transferSyntax, 0u);
  // One byte more and the first 128 bytes are a preamble.
  b.raw(std::string(1, '\0'));
  Object p;
  EXPECT_EQ(ReadDicomMemory(p, b.data(), b.size()), 1u);
  EXPECT_EQ(getString(p, 0x0008, 0x0060), "<absent>");
}

TEST(Reader, BareExplicitFailsAsImplicitAndSucceedsOnTheRetry) {
  Bytes b;
  b.ex(0x0008, 0x0005, "CS", "ISO_IR 100").ex(0x0008, 0x0060, "CS", "CR")
      .ex(0x0010, 0x0010, "PN", "Doe^John");
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "bare.dcm", b.str());
  Object o;
  // Something of the caller's is cleared with the failed pass.
  dicomtest::setText(o, 0x0009, 0x0010, "LO", "stale");
  ASSERT_EQ(ReadDicomFile(o, (dir / "bare.dcm").c_str(), 0), 1u);
  EXPECT_EQ(o.get()->transferSyntax, 1u);
  EXPECT_EQ(getString(o, 0x0010, 0x0010), "Doe^John");
  EXPECT_EQ(getString(o, 0x0008, 0x0005), "ISO_IR 100");
  EXPECT_EQ(getString(o, 0x0009, 0x0010), "<absent>");
  EXPECT_EQ(dicomtest::dumpLines(o).size(), 3u);
}

TEST(Reader, HeaderOnlyStopsBeforePixelData) {
  Bytes b = fileWithMeta(kExplicit);
  b.ex(0x0028, 0x0010, "US", std::string("\x02\x00", 2))
      .ex(0x7FE0, 0x0010, "OW", "abcd");
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "f.dcm", b.str());
  Object header, whole;
  EXPECT_EQ(ReadDicomFile(header, (dir / "f.dcm").c_str(), 1), 1u);
  EXPECT_EQ(getU16(header, 0x0028, 0x0010), 2);
  EXPECT_EQ(getString(header, 0x7FE0, 0x0010), "<absent>");
  EXPECT_EQ(ReadDicomFile(whole, (dir / "f.dcm").c_str(), 0), 1u);
  EXPECT_EQ(getString(whole, 0x7FE0, 0x0010), "abcd");
  Object memory;  // the memory form reads the header only
  EXPECT_EQ(ReadDicomMemory(memory, b.data(), b.size()), 1u);
  EXPECT_EQ(getString(memory, 0x7FE0, 0x0010), "<absent>");
}

TEST(Reader, MissingFileFails) {
  Object o;
  EXPECT_EQ(ReadDicomFile(o, "/nonexistent/x.dcm", 0), 0u);
  EXPECT_EQ(ReadDicomFile(o, nullptr, 0), 0u);
  EXPECT_EQ(ReadDicomFile(o, "/tmp", 0), 0u);
}

TEST(Reader, SequenceOfDefinedLengthZeroHasNoItems) {
  Bytes b;
  b.ex(0x0008, 0x1140, "SQ", "").ex(0x0008, 0x0060, "CS", "CR");
  Object o;
  ASSERT_EQ(ReadDicomDataSet(o, b.data(), b.size(), kExplicit, 0), 1u);
  const DicomElement* e = dicom::findElement(o.get(), 0x0008, 0x1140);
  ASSERT_NE(e, nullptr);
  EXPECT_TRUE(e->isSequence());
  EXPECT_EQ(e->count(), 0u);
  EXPECT_EQ(getString(o, 0x0008, 0x0060), "CR");
}

// Both length forms of sequences and items, nested once, in both little-endian syntaxes.
TEST(Reader, SequencesInBothLengthForms) {
  for (bool implicit : {true, false}) {
    Bytes inner, item1, item2, b;
    auto el = [&](Bytes& to, uint32_t g, uint32_t e, const char* vr, const std::string& v) -> Bytes& {
      return implicit ? to.im(g, e, v) : to.ex(g, e, vr, v);
    };
    el(inner, 0x0008, 0x0100, "SH", "CODE");
    // item 1: defined length, holding a nested sequence of undefined length.
    el(item1, 0x0008, 0x1150, "UI", "1.2 ");
    item1.tag(0x0008, 0x1155);
    if (!implicit) item1.raw("SQ").u16(0);
    item1.u32(0xFFFFFFFF).tag(0xFFFE, 0xE000).u32(inner.size()).raw(inner.str())
        .tag(0xFFFE, 0xE0DD).u32(0);
    // item 2: undefined length.
    el(item2, 0x0008, 0x1150, "UI", "1.44");
    Bytes items;
    items.tag(0xFFFE, 0xE000).u32(item1.size()).raw(item1.str())
        .tag(0xFFFE, 0xE000).u32(0xFFFFFFFF).raw(item2.str()).tag(0xFFFE, 0xE00D).u32(0);
    b.tag(0x0008, 0x1140);
    if (!implicit) b.raw("SQ").u16(0);
    b.u32(items.size()).raw(items.str());
    el(b, 0x0010, 0x0010, "PN", "After ");

    Object o;
    ASSERT_EQ(ReadDicomDataSet(o, b.data(), b.size(), implicit ? kImplicit : kExplicit, 0), 1u);
    DicomObject* first = nullptr;
    DicomObject* second = nullptr;
    DicomObject* nested = nullptr;
    ASSERT_EQ(GetDicomItem(o, 0x0008, 0x1140, 0, &first), 1u);
    ASSERT_EQ(GetDicomItem(o, 0x0008, 0x1140, 1, &second), 1u);
    EXPECT_EQ(GetDicomItem(o, 0x0008, 0x1140, 2, &nested), 0u);
    EXPECT_EQ(getString(first, 0x0008, 0x1150), "1.2 ");
    EXPECT_EQ(getString(second, 0x0008, 0x1150), "1.44");
    ASSERT_EQ(GetDicomItem(first, 0x0008, 0x1155, 0, &nested), 1u);
    EXPECT_EQ(getString(nested, 0x0008, 0x0100), "CODE");
    EXPECT_EQ(getString(o, 0x0010, 0x0010), "After ");
    EXPECT_EQ(first->nested, 1u);
  }
}

// A UN of undefined length holds a sequence whose items are implicit VR little
// endian, in every explicit syntax around it.
TEST(Reader, UnknownVrOfUndefinedLengthIsAnImplicitSequence) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big endian" : "little endian");
    Bytes items;
    items.tag(0xFFFE, 0xE000).u32(0xFFFFFFFF)
        .im(0x0008, 0x1150, "1.2 ").im(0x0008, 0x1155, "1.44")
        .tag(0xFFFE, 0xE00D).u32(0)
        .tag(0xFFFE, 0xE000).u32(12).im(0x0008, 0x1155, "1.5 ")
        .tag(0xFFFE, 0xE0DD).u32(0);
    Bytes b;
    b.ex(0x0008, 0x0060, "CS", "RG", big)
        .tag(0x0008, 0x1140, big).raw("UN").u16(0).u32(0xFFFFFFFF, big).raw(items.str())
        .ex(0x0010, 0x0010, "PN", "After ", big);
    Object o;
    ASSERT_EQ(ReadDicomDataSet(o, b.data(), b.size(), big ? "1.2.840.10008.1.2.2" : kExplicit, 0),
              1u);
    DicomObject* first = nullptr;
    DicomObject* second = nullptr;
    ASSERT_EQ(GetDicomItem(o, 0x0008, 0x1140, 0, &first), 1u);
    ASSERT_EQ(GetDicomItem(o, 0x0008, 0x1140, 1, &second), 1u);
    EXPECT_EQ(getString(first, 0x0008, 0x1150), "1.2 ");
    EXPECT_EQ(getString(first, 0x0008, 0x1155), "1.44");
    EXPECT_EQ(getString(second, 0x0008, 0x1155), "1.5 ");
    EXPECT_EQ(getString(o, 0x0008, 0x0060), "RG");
    EXPECT_EQ(getString(o, 0x0010, 0x0010), "After ");
  }
}

TEST(Reader, DefinedLengthSequenceOfNoItemsIsKeptAsBytes) {
  Bytes b;
  b.ex(0x0008, 0x1140, "SQ", "notitems").ex(0x0008, 0x0060, "CS", "CR");
  Object o;
  ASSERT_EQ(ReadDicomDataSet(o, b.data(), b.size(), kExplicit, 0), 1u);
  EXPECT_EQ(getString(o, 0x0008, 0x1140), "notitems");
  EXPECT_EQ(getString(o, 0x0008, 0x0060), "CR");
}

TEST(Reader, EncapsulatedFragmentsAreCountedByWalkingThem) {
  for (uint32_t tableEntries : {0u, 1u}) {
    Bytes b = fileWithMeta("1.2.840.10008.1.2.4.50");
    b.tag(0x7FE0, 0x0010).raw("OB").u16(0).u32(0xFFFFFFFF);
    b.tag(0xFFFE, 0xE000).u32(4 * tableEntries);
    if (tableEntries) b.u32(0);  // one frame in three fragments
    b.tag(0xFFFE, 0xE000).u32(4).raw("\xff\xd8\x01\x02")
        .tag(0xFFFE, 0xE000).u32(2).raw("ab")
        .tag(0xFFFE, 0xE000).u32(6).raw(std::string("cd\xff\xd9\0\0", 6))
        .tag(0xFFFE, 0xE0DD).u32(0);
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "j.dcm", b.str());
    Object o;
    ASSERT_EQ(ReadDicomFile(o, (dir / "j.dcm").c_str(), 0), 1u);
    EXPECT_EQ(IsDicomJPEG(o), 1u);
    const DicomElement* e = dicom::findElement(o.get(), 0x7FE0, 0x0010);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->valueClass, kDicomFragments);
    EXPECT_EQ(e->count(), 3u);
    EXPECT_STREQ(e->vr, "OB");
    EXPECT_EQ(getString(o, 0x7FE0, 0x0010, 1), "ab");
    EXPECT_EQ(getString(o, 0x7FE0, 0x0010, 2), std::string("cd\xff\xd9\0\0", 6));
  }
}

TEST(Reader, FragmentRunningPastTheEndFails) {
  Bytes b = fileWithMeta("1.2.840.10008.1.2.5");
  b.tag(0x7FE0, 0x0010).raw("OB").u16(0).u32(0xFFFFFFFF).tag(0xFFFE, 0xE000).u32(0)
      .tag(0xFFFE, 0xE000).u32(1000).raw("short");
  Object o;
  EXPECT_EQ(ReadDicomDataSet(o, b.str().data() + 132, b.size() - 132, "1.2.840.10008.1.2.5", 0), 0u);
}

TEST(Reader, PixelDataThatIsNoItemEndsTheDataSetWithoutError) {
  Bytes b;
  b.ex(0x0028, 0x0010, "US", std::string("\x01\x00", 2))
      .tag(0x7FE0, 0x0010).raw("OB").u16(0).u32(0xFFFFFFFF).raw("garbage!");
  Object o;
  EXPECT_EQ(ReadDicomDataSet(o, b.data(), b.size(), "1.2.840.10008.1.2.4.50", 0), 1u);
  EXPECT_EQ(getU16(o, 0x0028, 0x0010), 1);
  EXPECT_EQ(getString(o, 0x7FE0, 0x0010), "<absent>");
}

TEST(Reader, PersonNameFromIso2022ToShiftJis) {
  Bytes b;
  b.ex(0x0010, 0x0010, "PN", "Yamada=" + kEsc + "$B\x3b\x33\x45\x44" + kEsc + "(B");
  Object o;
  ASSERT_EQ(ReadDicomDataSet(o, b.data(), b.size(), kExplicit, 0), 1u);
  EXPECT_EQ(getString(o, 0x0010, 0x0010), "Yamada=\x8e\x52\x93\x63");
}

TEST(Reader, ExplicitLengthBeyondTheBufferFails) {
  Bytes b;
  b.ex(0x0008, 0x0060, "CS", "CR").tag(0x0009, 0x1010).raw("OB").u16(0).u32(0xFFFFFF00).raw("xx");
  Object o;
  EXPECT_EQ(ReadDicomDataSet(o, b.data(), b.size(), kExplicit, 0), 0u);
  EXPECT_EQ(getString(o, 0x0008, 0x0060), "CR");  // what came before stays
}

TEST(Reader, TrailingBytesShorterThanAHeaderEndWithoutError) {
  for (const char* uid : {kImplicit, kExplicit}) {
    Bytes b;
    if (std::string(uid) == kImplicit) b.im(0x0008, 0x0060, "CR");
    else b.ex(0x0008, 0x0060, "CS", "CR");
    b.raw("\x10\x00\x10");
    Object o;
    EXPECT_EQ(ReadDicomDataSet(o, b.data(), b.size(), uid, 0), 1u) << uid;
    EXPECT_EQ(getString(o, 0x0008, 0x0060), "CR");
  }
}

TEST(Reader, ThirtyTwoBitLengthsForTheNewerVrs) {
  Bytes b;
  b.ex(0x0008, 0x0119, "UC", "long code value ")
      .ex(0x0008, 0x0120, "UR", "http://x/")
      .ex(0x0072, 0x0082, "SV", "12345678")
      .ex(0x0008, 0x0060, "CS", "CR");
  Object o;
  ASSERT_EQ(ReadDicomDataSet(o, b.data(), b.size(), kExplicit, 0), 1u);
  EXPECT_EQ(getString(o, 0x0008, 0x0119), "long code value ");
  EXPECT_EQ(getString(o, 0x0008, 0x0120), "http://x/");
  EXPECT_EQ(getString(o, 0x0072, 0x0082), "12345678");
  EXPECT_EQ(getString(o, 0x0008, 0x0060), "CR");
}

TEST(Reader, BigEndianWordsAreSwapped) {
  Bytes b;
  b.ex(0x0028, 0x0010, "US", std::string("\x01\x02", 2), true)
      .ex(0x0028, 0x0106, "SS", std::string("\xff\xfe", 2), true)
      .ex(0x0018, 0x1310, "UL", std::string("\x01\x02\x03\x04", 4), true)
      .ex(0x0018, 0x6000, "DS", "1.5 ", true)
      .ex(0x7FE0, 0x0010, "OW", std::string("\x00\x01\x00\x02", 4), true);
  Object o;
  ASSERT_EQ(ReadDicomDataSet(o, b.data(), b.size(), "1.2.840.10008.1.2.2", 0), 1u);
  EXPECT_EQ(IsDicomBigEndian(o), 1u);
  EXPECT_EQ(getU16(o, 0x0028, 0x0010), 0x0102);
  EXPECT_EQ(getString(o, 0x0028, 0x0106), std::string("\xfe\xff", 2));
  EXPECT_EQ(getString(o, 0x0018, 0x1310), std::string("\x04\x03\x02\x01", 4));
  EXPECT_EQ(getString(o, 0x0018, 0x6000), "1.5 ");
  EXPECT_EQ(getString(o, 0x7FE0, 0x0010), std::string("\x01\x00\x02\x00", 4));
}

TEST(Reader, NestingIsLimited) {
  // Sequences of undefined length, each holding one item of undefined length
  // that opens the next: deeper than any real file.
  std::string open, close;
  for (int i = 0; i < 200; ++i) {
    open += Bytes().tag(0x0008, 0x1140).raw("SQ").u16(0).u32(0xFFFFFFFF)
                .tag(0xFFFE, 0xE000).u32(0xFFFFFFFF).str();
    close += Bytes().tag(0xFFFE, 0xE00D).u32(0).tag(0xFFFE, 0xE0DD).u32(0).str();
  }
  std::string data = open + close;
  Object o;
  EXPECT_EQ(ReadDicomDataSet(o, data.data(), static_cast<uint32_t>(data.size()), kExplicit, 0), 0u);
  // A modest depth reads.
  std::string shallow = data.substr(0, 16 * 10) + data.substr(data.size() - 16 * 10);
  Object p;
  EXPECT_EQ(ReadDicomDataSet(p, shallow.data(), static_cast<uint32_t>(shallow.size()), kExplicit, 0),
            1u);
}

TEST(Reader, ImplicitPrivateCreatorsKeepTheVrOfANewElement) {
  Bytes b;
  b.im(0x0009, 0x0010, "MAKER ").im(0x0009, 0x1001, "xy");
  Object o;
  ASSERT_EQ(ReadDicomDataSet(o, b.data(), b.size(), kImplicit, 0), 1u);
  char vr[3];
  ASSERT_EQ(GetDicomVR(o, 0x0009, 0x0010, vr), 1u);
  EXPECT_STREQ(vr, "LO");
  ASSERT_EQ(GetDicomVR(o, 0x0009, 0x1001, vr), 1u);
  EXPECT_STREQ(vr, "UN");
  EXPECT_EQ(getString(o, 0x0009, 0x0010), "MAKER ");
}

TEST(Reader, UnknownUidMeansImplicit) {
  Bytes b;
  b.im(0x0008, 0x0060, "CR");
  Object o;
  ASSERT_EQ(ReadDicomDataSet(o, b.data(), b.size(), "9.9.9", 0), 1u);
  EXPECT_EQ(o.get()->transferSyntax, 0u);
  char vr[3];
  ASSERT_EQ(GetDicomVR(o, 0x0008, 0x0060, vr), 1u);
  EXPECT_STREQ(vr, "CS");  // from the dictionary
}

}  // namespace

namespace {

// Image-sized values keep the file's buffer; their bytes must still be exact,
// swapped where big endian, and a tag read twice keeps its last value.
TEST(ReaderLargeValues, AreExactInEverySyntax) {
  std::string pixels(5u << 20, '\0');
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<char>(i * 131 + (i >> 12));
  std::string swapped = pixels;
  for (size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
  testsupport::TempDir dir;
  for (bool big : {false, true}) {
    Bytes b = fileWithMeta(big ? "1.2.840.10008.1.2.2" : kExplicit);
    b.ex(0x0028, 0x0010, "US", big ? std::string("\x00\x02", 2) : std::string("\x02\x00", 2), big)
        .ex(0x7FE0, 0x0010, "OW", pixels, big)
        .ex(0x7FE0, 0x0020, "OW", std::string("\x01\x02", 2), big);
    testsupport::writeFile(dir / "large.dcm", b.str());
    Object o;
    ASSERT_EQ(ReadDicomFile(o, (dir / "large.dcm").c_str(), 0), 1u);
    EXPECT_EQ(getU16(o, 0x0028, 0x0010), 2);
    EXPECT_TRUE(getString(o, 0x7FE0, 0x0010) == (big ? swapped : pixels)) << big;
    EXPECT_EQ(dicom::findElement(o.get(), 0x7FE0, 0x0010)->value()[pixels.size()], 0);
    EXPECT_EQ(getString(o, 0x7FE0, 0x0020), big ? std::string("\x02\x01", 2) : std::string("\x01\x02", 2));
  }
  // The same tag twice: the second value wins, the first is not lost in between.
  Bytes twice = fileWithMeta(kExplicit);
  twice.ex(0x0009, 0x1010, "OB", pixels).ex(0x0009, 0x1010, "OB", "tail").ex(0x0009, 0x1011, "OB", pixels);
  testsupport::writeFile(dir / "twice.dcm", twice.str());
  Object o;
  ASSERT_EQ(ReadDicomFile(o, (dir / "twice.dcm").c_str(), 0), 1u);
  EXPECT_TRUE(getString(o, 0x0009, 0x1010) == "tail");
  EXPECT_TRUE(getString(o, 0x0009, 0x1011) == pixels);
}

}  // namespace
