#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>

#include "dicom/internal/object.h"
#include "helpers.h"

namespace {

using dicomtest::Object;
using dicomtest::getString;
using dicomtest::setText;

// A handle that looks like ours but whose signature is a copy of the text.
struct ForeignHandle {
  char text[32] = "Korva DICOM Object";
  DicomObject object;
  ForeignHandle() { object.signature = text; }
};

struct EntryCase {
  const char* name;
  std::function<unsigned(DicomObject*)> call;
};

class EntryPoints : public ::testing::TestWithParam<EntryCase> {};

// Every entry point refuses a null handle and one that is not ours.
TEST_P(EntryPoints, RefuseNullAndForeignHandles) {
  ForeignHandle foreign;
  EXPECT_EQ(GetParam().call(nullptr), 0u);
  EXPECT_EQ(GetParam().call(&foreign.object), 0u);
  EXPECT_EQ(foreign.object.groups, nullptr);
}

char gBuffer[64];
const uint8_t kDataSet[] = {0x08, 0x00, 0x60, 0x00, 2, 0, 0, 0, 'C', 'R'};

INSTANTIATE_TEST_SUITE_P(
    All, EntryPoints,
    ::testing::Values(
        EntryCase{"Delete", [](DicomObject* h) { return DeleteDicomObject(h); }},
        EntryCase{"FileMeta", [](DicomObject* h) { return SetDicomFileMeta(h, 1); }},
        EntryCase{"Name", [](DicomObject* h) { return SetDicomObjectName(h, "x"); }},
        EntryCase{"ReadFile", [](DicomObject* h) { return ReadDicomFile(h, "/dev/null", 0); }},
        EntryCase{"ReadMemory",
                  [](DicomObject* h) { return ReadDicomMemory(h, kDataSet, sizeof kDataSet); }},
        EntryCase{"ReadDataSet",
                  [](DicomObject* h) {
                    return ReadDicomDataSet(h, kDataSet, sizeof kDataSet, "1.2.840.10008.1.2", 0);
                  }},
        EntryCase{"WriteFile", [](DicomObject* h) { return WriteDicomFile(h, "/tmp/never"); }},
        EntryCase{"WriteBuffer",
                  [](DicomObject* h) {
                    uint32_t position = 0;
                    return WriteDicomBuffer(h, gBuffer, &position);
                  }},
        EntryCase{"WriteSize",
                  [](DicomObject* h) {
                    size_t size = 0;
                    return GetDicomWriteSize(h, &size);
                  }},
        EntryCase{"Set", [](DicomObject* h) { return SetDicomElement(h, 8, 0x60, "CS", "CR", 2); }},
        EntryCase{"Get",
                  [](DicomObject* h) { return GetDicomElement(h, 8, 0x60, 0, gBuffer, 64); }},
        EntryCase{"Length",
                  [](DicomObject* h) {
                    uint32_t n = 0;
                    return GetDicomElementLength(h, 8, 0x60, 0, &n);
                  }},
        EntryCase{"String", [](DicomObject* h) { return GetDicomString(h, 8, 0x60, 0, gBuffer, 64); }},
        EntryCase{"VR", [](DicomObject* h) { return GetDicomVR(h, 8, 0x60, gBuffer); }},
        EntryCase{"Item",
                  [](DicomObject* h) {
                    DicomObject* item = nullptr;
                    return GetDicomItem(h, 8, 0x1140, 0, &item);
                  }},
        EntryCase{"Sequence", [](DicomObject* h) { return CreateDicomSequence(h, 8, 0x1140); }},
        EntryCase{"Items", [](DicomObject* h) { return CreateDicomSequenceItems(h, 8, 0x1140, 2); }},
        EntryCase{"Remove", [](DicomObject* h) { return RemoveDicomElement(h, 8, 0x60); }},
        EntryCase{"BigEndian", [](DicomObject* h) { return IsDicomBigEndian(h); }},
        EntryCase{"Compressed", [](DicomObject* h) { return IsDicomCompressed(h); }},
        EntryCase{"Rle", [](DicomObject* h) { return IsDicomRLE(h); }},
        EntryCase{"Jpeg", [](DicomObject* h) { return IsDicomJPEG(h); }},
        EntryCase{"Jpeg2000", [](DicomObject* h) { return IsDicomJPEG2000(h); }},
        EntryCase{"Dump",
                  [](DicomObject* h) {
                    static int lines;
                    lines = 0;
                    DumpDicomObject(h, [](uint32_t, const char*) { ++lines; }, 0);
                    return static_cast<unsigned>(lines);
                  }}),
    [](const ::testing::TestParamInfo<EntryCase>& info) { return std::string(info.param.name); });

TEST(Object, CreateNeedsAnOutPointer) {
  EXPECT_EQ(CreateDicomObject(nullptr), 0u);
  DicomObject* handle = nullptr;
  ASSERT_EQ(CreateDicomObject(&handle), 1u);
  EXPECT_EQ(handle->name, "No Name");
  EXPECT_EQ(handle->transferSyntax, 0u);
  EXPECT_EQ(DeleteDicomObject(handle), 1u);
}

TEST(Object, NameIsCutAt300Characters) {
  Object o;
  std::string longName(400, 'n');
  EXPECT_EQ(SetDicomObjectName(o, longName.c_str()), 1u);
  EXPECT_EQ(o.get()->name, std::string(300, 'n'));
  EXPECT_EQ(SetDicomObjectName(o, nullptr), 1u);
  EXPECT_EQ(o.get()->name, "No Name");
}

TEST(Object, ElementZeroIsIgnored) {
  Object o;
  EXPECT_EQ(SetDicomElement(o, 0x0008, 0x0000, "UL", "\4\0\0\0", 4), 1u);
  EXPECT_EQ(o.get()->groups, nullptr);
}

TEST(Object, GroupsAndElementsStayInAscendingOrder) {
  Object o;
  const uint32_t tags[][2] = {{0x0028, 0x0011}, {0x0008, 0x0060}, {0x0028, 0x0010},
                              {0x0010, 0x0010}, {0x0008, 0x0016}, {0x0028, 0x0002}};
  for (auto& t : tags) ASSERT_EQ(setText(o, t[0], t[1], nullptr, "1"), 1u);
  std::vector<uint32_t> seen;
  for (DicomGroup* g = o.get()->groups; g; g = g->next)
    for (DicomElement* e = g->elements; e; e = e->next) seen.push_back(e->group << 16 | e->element);
  EXPECT_EQ(seen, (std::vector<uint32_t>{0x00080016, 0x00080060, 0x00100010, 0x00280002,
                                         0x00280010, 0x00280011}));
}

TEST(Object, NullVrTakesTheDictionarysAndClassFollowsTheVr) {
  Object o;
  ASSERT_EQ(setText(o, 0x0028, 0x0010, nullptr, "\x10\x00"), 1u);
  char vr[3] = "??";
  ASSERT_EQ(GetDicomVR(o, 0x0028, 0x0010, vr), 1u);
  EXPECT_STREQ(vr, "US");
  DicomElement* e = dicom::findElement(o.get(), 0x0028, 0x0010);
  EXPECT_EQ(e->valueClass, kDicomIntegers);
  EXPECT_STREQ(e->name, "Rows");
  ASSERT_EQ(setText(o, 0x0028, 0x0010, "FD", "12345678"), 1u);
  EXPECT_EQ(e->valueClass, kDicomOpaque);
  ASSERT_EQ(setText(o, 0x0008, 0x0018, "UI", "1.2"), 1u);
  EXPECT_EQ(dicom::findElement(o.get(), 0x0008, 0x0018)->valueClass, kDicomText);
  ASSERT_EQ(setText(o, 0x0020, 0x9165, "AT", "abcd"), 1u);
  EXPECT_EQ(dicom::findElement(o.get(), 0x0020, 0x9165)->valueClass, kDicomTag);
}

TEST(Object, SixtyFourBytesStayInlineSixtyFiveGoToTheHeap) {
  Object o;
  ASSERT_EQ(setText(o, 0x0008, 0x1030, "LO", std::string(64, 'a')), 1u);
  DicomElement* e = dicom::findElement(o.get(), 0x0008, 0x1030);
  EXPECT_EQ(e->heapValue.get(), nullptr);
  EXPECT_EQ(e->value()[64], 0);
  ASSERT_EQ(setText(o, 0x0008, 0x1030, "LO", std::string(65, 'b')), 1u);
  ASSERT_NE(e->heapValue.get(), nullptr);
  EXPECT_EQ(e->length, 65u);
  EXPECT_EQ(e->value()[65], 0);
  EXPECT_EQ(getString(o, 0x0008, 0x1030), std::string(65, 'b'));
}

TEST(Object, GetElementZeroFillsAndNeedsRoom) {
  Object o;
  ASSERT_EQ(setText(o, 0x0010, 0x0010, "PN", "Doe^John"), 1u);
  char buffer[16];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetDicomElement(o, 0x0010, 0x0010, 0, buffer, 7), 0u);  // one byte short
  EXPECT_EQ(std::string(buffer, 7), std::string(7, '\0'));
  EXPECT_EQ(buffer[7], 'x');  // nothing beyond the stated size
  EXPECT_EQ(GetDicomElement(o, 0x0010, 0x0010, 0, buffer, 16), 1u);
  EXPECT_EQ(std::string(buffer, 8), "Doe^John");
  EXPECT_EQ(buffer[8], '\0');
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetDicomElement(o, 0x0010, 0x0020, 0, buffer, 16), 0u);  // absent
  EXPECT_EQ(std::string(buffer, 16), std::string(16, '\0'));
  EXPECT_EQ(GetDicomElement(o, 0x0010, 0x0010, 1, buffer, 16), 0u);  // no value number 1
  // The zero fill happens before the handle check; a null buffer is never written.
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetDicomElement(nullptr, 0x0010, 0x0010, 0, buffer, 4), 0u);
  EXPECT_EQ(std::string(buffer, 4), std::string(4, '\0'));
  EXPECT_EQ(GetDicomElement(o, 0x0010, 0x0010, 0, nullptr, 16), 0u);
}

TEST(Object, GetStringNeedsRoomForTheTerminator) {
  Object o;
  ASSERT_EQ(setText(o, 0x0008, 0x0060, "CS", "CR"), 1u);
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetDicomString(o, 0x0008, 0x0060, 0, buffer, 2), 0u);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(GetDicomString(o, 0x0008, 0x0060, 0, buffer, 3), 1u);
  EXPECT_STREQ(buffer, "CR");
  EXPECT_EQ(GetDicomString(o, 0x0008, 0x0060, 0, buffer, 0), 0u);
}

TEST(Object, LengthQuery) {
  Object o;
  ASSERT_EQ(setText(o, 0x0008, 0x0060, "CS", "CR"), 1u);
  uint32_t length = 99;
  EXPECT_EQ(GetDicomElementLength(o, 0x0008, 0x0060, 0, nullptr), 0u);
  EXPECT_EQ(GetDicomElementLength(o, 0x0008, 0x0060, 1, &length), 0u);
  EXPECT_EQ(GetDicomElementLength(o, 0x0008, 0x0060, 0, &length), 1u);
  EXPECT_EQ(length, 2u);
}

TEST(Object, FragmentsAreValuesByIndexAndOneFragmentIsASingleValue) {
  Object o;
  DicomElement* e = dicom::findOrCreateElement(o.get(), 0x7FE0, 0x0010);
  dicom::makeFragmentList(e, "OB", 2);
  ASSERT_TRUE(dicom::setFragment(e, 0, reinterpret_cast<const uint8_t*>("abc"), 3));
  ASSERT_TRUE(dicom::setFragment(e, 1, reinterpret_cast<const uint8_t*>("defgh"), 5));
  EXPECT_FALSE(dicom::setFragment(e, 2, reinterpret_cast<const uint8_t*>("x"), 1));
  EXPECT_EQ(e->count(), 2u);
  EXPECT_EQ(getString(o, 0x7FE0, 0x0010, 1), "defgh");
  EXPECT_EQ(getString(o, 0x7FE0, 0x0010, 0), "abc");
  dicom::makeFragmentList(e, "OB", 1);
  ASSERT_TRUE(dicom::setFragment(e, 0, reinterpret_cast<const uint8_t*>("only"), 4));
  EXPECT_EQ(e->valueClass, kDicomText);
  EXPECT_EQ(getString(o, 0x7FE0, 0x0010), "only");
}

TEST(Object, SequencesOwnTheirItems) {
  Object o;
  ASSERT_EQ(CreateDicomSequence(o, 0x0008, 0x1140), 1u);
  DicomObject* item = nullptr;
  ASSERT_EQ(GetDicomItem(o, 0x0008, 0x1140, 0, &item), 1u);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(GetDicomItem(o, 0x0008, 0x1140, 1, &item), 0u);
  EXPECT_EQ(item, nullptr);
  ASSERT_EQ(GetDicomItem(o, 0x0008, 0x1140, 0, &item), 1u);
  EXPECT_EQ(setText(item, 0x0008, 0x1150, "UI", "1.2.3"), 1u);
  EXPECT_EQ(DeleteDicomObject(item), 0u);  // freed with its parent only
  char vr[3];
  ASSERT_EQ(GetDicomVR(o, 0x0008, 0x1140, vr), 1u);
  EXPECT_STREQ(vr, "SQ");
  EXPECT_EQ(dicom::findElement(o.get(), 0x0008, 0x1140)->valueClass, kDicomOneItem);

  ASSERT_EQ(CreateDicomSequenceItems(o, 0x0008, 0x1140, 3), 1u);
  EXPECT_EQ(dicom::findElement(o.get(), 0x0008, 0x1140)->valueClass, kDicomItems);
  EXPECT_EQ(GetDicomItem(o, 0x0008, 0x1140, 2, &item), 1u);
  EXPECT_EQ(GetDicomItem(o, 0x0008, 0x1140, 3, &item), 0u);
  // A sequence has no single value.
  uint32_t length = 0;
  EXPECT_EQ(GetDicomElementLength(o, 0x0008, 0x1140, 0, &length), 0u);
}

TEST(Object, RemoveUnlinksAndDropsEmptyGroups) {
  Object o;
  ASSERT_EQ(setText(o, 0x0010, 0x0010, "PN", "A"), 1u);
  ASSERT_EQ(setText(o, 0x0010, 0x0020, "LO", "B"), 1u);
  EXPECT_EQ(RemoveDicomElement(o, 0x0010, 0x0030), 0u);
  EXPECT_EQ(RemoveDicomElement(o, 0x0010, 0x0010), 1u);
  EXPECT_EQ(getString(o, 0x0010, 0x0010), "<absent>");
  EXPECT_EQ(getString(o, 0x0010, 0x0020), "B");
  EXPECT_EQ(RemoveDicomElement(o, 0x0010, 0x0020), 1u);
  EXPECT_EQ(o.get()->groups, nullptr);
  EXPECT_EQ(RemoveDicomElement(o, 0x0010, 0x0020), 0u);
}

struct SyntaxCase {
  const char* uid;
  uint32_t code;
  unsigned big, compressed, rle, jpeg, jpeg2000;
};

class TransferSyntax : public ::testing::TestWithParam<SyntaxCase> {};

TEST_P(TransferSyntax, FollowsTheUidOfElement00020010) {
  const SyntaxCase& c = GetParam();
  Object o;
  ASSERT_EQ(setText(o, 0x0002, 0x0010, "UI", c.uid), 1u);
  EXPECT_EQ(o.get()->transferSyntax, c.code);
  EXPECT_EQ(IsDicomBigEndian(o), c.big);
  EXPECT_EQ(IsDicomCompressed(o), c.compressed);
  EXPECT_EQ(IsDicomRLE(o), c.rle);
  EXPECT_EQ(IsDicomJPEG(o), c.jpeg);
  EXPECT_EQ(IsDicomJPEG2000(o), c.jpeg2000);
}

INSTANTIATE_TEST_SUITE_P(
    Uids, TransferSyntax,
    ::testing::Values(SyntaxCase{"1.2.840.10008.1.2", 0, 0, 0, 0, 0, 0},
                      SyntaxCase{"1.2.840.10008.1.2.1", 1, 0, 0, 0, 0, 0},
                      SyntaxCase{"1.2.840.10008.1.2.1 ", 1, 0, 0, 0, 0, 0},
                      SyntaxCase{"1.2.840.10008.1.2.2", 2, 1, 0, 0, 0, 0},
                      SyntaxCase{"1.2.840.10008.1.2.4.57", 3, 0, 1, 0, 1, 0},
                      SyntaxCase{"1.2.840.10008.1.2.4.70", 3, 0, 1, 0, 1, 0},
                      SyntaxCase{"1.2.840.10008.1.2.4.50", 4, 0, 1, 0, 1, 0},
                      SyntaxCase{"1.2.840.10008.1.2.4.51", 4, 0, 1, 0, 1, 0},
                      SyntaxCase{"1.2.840.10008.1.2.5", 5, 0, 1, 1, 0, 0},
                      SyntaxCase{"1.2.840.10008.1.2.4.90", 6, 0, 1, 0, 0, 1},
                      SyntaxCase{"1.2.840.10008.1.2.4.91", 7, 0, 1, 0, 0, 1},
                      SyntaxCase{"1.2.840.10008.1.2.1.99", 0, 0, 0, 0, 0, 0},
                      SyntaxCase{"1.2.3.4", 0, 0, 0, 0, 0, 0},
                      SyntaxCase{"", 0, 0, 0, 0, 0, 0}));

TEST(TransferSyntax, PaddedUidValuesAreRecognised) {
  Object o;
  // Stored with its NUL pad, as files carry it.
  ASSERT_EQ(SetDicomElement(o, 0x0002, 0x0010, "UI", "1.2.840.10008.1.2.4.70\0", 23), 1u);
  EXPECT_EQ(IsDicomJPEG(o), 1u);
  ASSERT_EQ(SetDicomElement(o, 0x0002, 0x0010, "UI", "1.2.840.10008.1.2.2 ", 20), 1u);
  EXPECT_EQ(IsDicomBigEndian(o), 1u);
}

// The owner's hand-overs: a move empties its source, a move assignment deletes
// what the target held (the leak checker sees it if not), and a released
// object is the caller's to delete.
TEST(OwnedObject, MovesEmptyTheSourceAndReleaseHandsTheObjectOver) {
  dicom::OwnedObject first = dicom::OwnedObject::create();
  ASSERT_TRUE(first);
  DicomObject* const made = first.get();
  ASSERT_EQ(setText(made, 0x0008, 0x0060, "CS", "CR"), 1u);

  dicom::OwnedObject second(std::move(first));
  EXPECT_FALSE(first);
  EXPECT_EQ(first.get(), nullptr);
  EXPECT_EQ(second.get(), made);
  EXPECT_EQ(getString(second.get(), 0x0008, 0x0060), "CR");

  dicom::OwnedObject third = dicom::OwnedObject::create();
  ASSERT_TRUE(third);
  third = std::move(second);
  EXPECT_FALSE(second);
  EXPECT_EQ(third.get(), made);

  DicomObject* const released = third.release();
  EXPECT_FALSE(third);
  EXPECT_EQ(released, made);
  EXPECT_EQ(DeleteDicomObject(released), 1u);

  DicomObject* raw = nullptr;
  ASSERT_EQ(CreateDicomObject(&raw), 1u);
  { dicom::OwnedObject adopted(raw); EXPECT_EQ(adopted.get(), raw); }
  dicom::OwnedObject empty;
  EXPECT_FALSE(empty);
}

}  // namespace
