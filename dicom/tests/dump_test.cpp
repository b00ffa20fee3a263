#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dicom/internal/object.h"
#include "helpers.h"

namespace {

using dicomtest::dumpLines;
using dicomtest::Object;
using dicomtest::setText;

std::string line(const char* tag, const char* vr, const std::string& value, const char* name) {
  char text[512];
  std::snprintf(text, sizeof text, "%s : [%s] %-64s // %s", tag, vr, value.c_str(), name);
  return text;
}

std::string words(int count) {
  std::string v;
  for (int i = 0; i < count; ++i) {
    uint16_t w = static_cast<uint16_t>(i == 0 ? 0xFFFF : i);
    v.push_back(static_cast<char>(w & 0xFF));
    v.push_back(static_cast<char>(w >> 8));
  }
  return v;
}

struct DumpCase {
  const char* name;
  const char* vr;
  std::string value;
  std::string text;
};

class DumpValue : public ::testing::TestWithParam<DumpCase> {};

TEST_P(DumpValue, OneLineWithTheValueText) {
  const DumpCase& c = GetParam();
  Object o;
  ASSERT_EQ(setText(o, 0x0028, 0x0010, c.vr, c.value), 1u);
  EXPECT_EQ(dumpLines(o), std::vector<std::string>{line("0028,0010", c.vr, c.text, "Rows")});
}

INSTANTIATE_TEST_SUITE_P(
    Table, DumpValue,
    ::testing::Values(
        DumpCase{"UsTen", "US", words(10),
                 "65535(FFFFH) 1(1H) 2(2H) 3(3H) 4(4H) 5(5H) 6(6H) 7(7H) 8(8H) 9(9H) "},
        DumpCase{"UsEleven", "US", words(11),
                 "65535(FFFFH) 1(1H) 2(2H) 3(3H) 4(4H) 5(5H) 6(6H) 7(7H) 8(8H) ... "},
        DumpCase{"Ss", "SS", std::string("\x00\x80", 2), "32768(8000H) "},
        DumpCase{"Ul", "UL", std::string("\x01\x00\x00\x00\xff\xff\xff\xff", 8), "1 -1 "},
        DumpCase{"At", "AT", std::string("\x28\x00\x10\x00", 4), "0028,0010"},
        DumpCase{"ObShort", "OB", std::string("\x01\xff\x10", 3), "01 FF 10 "},
        DumpCase{"ObLong", "OB", std::string(16, 'x'), "###"},
        DumpCase{"OwShort", "OW", std::string("\x34\x12\xcd\xab", 4), "1234 ABCD "},
        DumpCase{"OwLong", "OW", std::string(1000, '\0'), "###"},
        DumpCase{"Fd", "FD", std::string(8, '\0'), "---"},
        DumpCase{"Un", "UN", "abc", "---"},
        DumpCase{"Text", "LO", std::string(70, 'L'), std::string(64, 'L')},
        DumpCase{"SqWithoutItems", "SQ", "", "---"}),
    [](const ::testing::TestParamInfo<DumpCase>& info) { return std::string(info.param.name); });

TEST(Dump, ItemsFollowTheirSequenceInOrder) {
  Object o;
  setText(o, 0x0008, 0x0060, "CS", "CR");
  ASSERT_EQ(CreateDicomSequenceItems(o, 0x0008, 0x1140, 2), 1u);
  for (uint32_t i = 0; i < 2; ++i) {
    DicomObject* item = nullptr;
    ASSERT_EQ(GetDicomItem(o, 0x0008, 0x1140, i, &item), 1u);
    setText(item, 0x0008, 0x1150, "UI", i ? "1.2" : "1.1");
  }
  setText(o, 0x0010, 0x0010, "PN", "Doe");
  std::vector<std::string> expected = {
      line("0008,0060", "CS", "CR", "Modality"),
      line("0008,1140", "SQ", "", "Referenced Image Sequence"),
      line("0008,1150", "UI", "1.1", "Referenced SOP Class UID"),
      line("0008,1150", "UI", "1.2", "Referenced SOP Class UID"),
      line("0010,0010", "PN", "Doe", "Patient's Name"),
  };
  EXPECT_EQ(dumpLines(o), expected);
}

TEST(Dump, PixelDataOfRealSizeAndFragments) {
  Object o;
  std::string pixels(4096, '\x7f');
  ASSERT_EQ(setText(o, 0x7FE0, 0x0010, nullptr, pixels), 1u);
  EXPECT_EQ(dumpLines(o), std::vector<std::string>{line("7FE0,0010", "OW", "###", "Pixel Data")});
  DicomElement* e = dicom::findElement(o.get(), 0x7FE0, 0x0010);
  dicom::makeFragmentList(e, "OB", 2);
  dicom::setFragment(e, 0, reinterpret_cast<const uint8_t*>(pixels.data()), 100);
  dicom::setFragment(e, 1, reinterpret_cast<const uint8_t*>(pixels.data()), 100);
  EXPECT_EQ(dumpLines(o), std::vector<std::string>{line("7FE0,0010", "OB", "###", "Pixel Data")});
}

TEST(Dump, PrivateAndUnknownNames) {
  Object o;
  setText(o, 0x0009, 0x0010, nullptr, "MAKER ");
  setText(o, 0x0009, 0x1001, nullptr, "xy");
  EXPECT_EQ(dumpLines(o), (std::vector<std::string>{
                              line("0009,0010", "LO", "MAKER ", "Private Identification Code"),
                              line("0009,1001", "UN", "---", "Unknown")}));
}

TEST(Dump, WithoutACallbackNothingHappens) {
  Object o;
  setText(o, 0x0008, 0x0060, "CS", "CR");
  DumpDicomObject(o, nullptr, 0);
  DumpDicomObject(nullptr, [](uint32_t, const char*) { FAIL(); }, 0);
}

}  // namespace
