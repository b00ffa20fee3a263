#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helpers.h"
#include "testsupport/testsupport.h"

namespace {

using dicomtest::dumpLines;
using dicomtest::Object;
using dicomtest::setText;
using dicomtest::setU16;

// Values of even length, so that nothing gains a pad on the way.
void build(DicomObject* o, const char* uid) {
  setText(o, 0x0002, 0x0010, "UI", uid);
  SetDicomFileMeta(o, 1);
  setText(o, 0x0008, 0x0005, "CS", "ISO 2022 IR 87");
  setText(o, 0x0008, 0x0060, "CS", "CR");
  setText(o, 0x0008, 0x0070, "LO", "Korva corporation ");
  setText(o, 0x0010, 0x0010, "PN", "Yamada^Tarou=\x8e\x52\x93\x63^\x91\xbe\x98\x59");
  setText(o, 0x0018, 0x1164, "DS", "0.100\\0.100 ");
  setU16(o, 0x0028, 0x0010, 16);
  setU16(o, 0x0028, 0x0011, 8);
  uint32_t ul = 0x12345678;
  SetDicomElement(o, 0x0018, 0x6016, "UL", &ul, 4);
  CreateDicomSequenceItems(o, 0x0008, 0x1140, 2);
  for (uint32_t i = 0; i < 2; ++i) {
    DicomObject* item = nullptr;
    GetDicomItem(o, 0x0008, 0x1140, i, &item);
    setText(item, 0x0008, 0x1150, "UI", i ? "1.2.3.4" : "1.2.3.44");
    setText(item, 0x0008, 0x1160, "IS", "12");
  }
  CreateDicomSequence(o, 0x0040, 0x0260);
  DicomObject* item = nullptr;
  GetDicomItem(o, 0x0040, 0x0260, 0, &item);
  setText(item, 0x0008, 0x0104, "LO", "\xb1\xb2\xb3\xb4");  // half-width katakana
  std::string pixels(16 * 8 * 2, '\0');
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<char>(i * 7);
  setText(o, 0x7FE0, 0x0010, "OW", pixels);
}

class RoundTrip : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override { SetDicomGroupLength(0); }
  void TearDown() override { SetDicomGroupLength(1); }
};

TEST_P(RoundTrip, BuildWriteReadDumpGivesTheSameLines) {
  testsupport::TempDir dir;
  Object built;
  build(built, GetParam());
  auto path = dir / "rt.dcm";
  ASSERT_EQ(WriteDicomFile(built, path.c_str()), 1u);
  Object read;
  ASSERT_EQ(ReadDicomFile(read, path.c_str(), 0), 1u);
  std::vector<std::string> before = dumpLines(built), after = dumpLines(read);
  EXPECT_EQ(after, before);
  EXPECT_EQ(before.size(), 17u);
  EXPECT_EQ(dicomtest::getString(read, 0x0010, 0x0010),
            "Yamada^Tarou=\x8e\x52\x93\x63^\x91\xbe\x98\x59");
  EXPECT_EQ(dicomtest::getString(read, 0x7FE0, 0x0010), dicomtest::getString(built, 0x7FE0, 0x0010));
}

INSTANTIATE_TEST_SUITE_P(Syntaxes, RoundTrip,
                         ::testing::Values("1.2.840.10008.1.2", "1.2.840.10008.1.2.1"));

}  // namespace
