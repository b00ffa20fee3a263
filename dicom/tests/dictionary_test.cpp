#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dicom/internal/dictionary.h"

namespace {

struct LookupCase {
  uint32_t group;
  uint32_t element;
  const char* vr;
  const char* name;
};

class DictionaryLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(DictionaryLookup, GivesVrAndName) {
  const LookupCase& c = GetParam();
  dicom::DictResult r = dicom::lookupElement(c.group, c.element);
  EXPECT_STREQ(r.vr, c.vr);
  EXPECT_STREQ(r.name, c.name);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DictionaryLookup,
    ::testing::Values(LookupCase{0x0009, 0x0010, "LO", "Private Identification Code"},
                      LookupCase{0x0009, 0x1010, "UN", "Unknown"},
                      LookupCase{0x6002, 0x3000, "OB", "Overlay Data"},
                      LookupCase{0x6000, 0x3000, "OB", "Overlay Data"},
                      LookupCase{0x501E, 0x0005, "US", "Curve Dimensions"},
                      LookupCase{0x0020, 0x3105, "CS", "Source Image IDs"},
                      LookupCase{0x7FE0, 0x0010, "OW", "Pixel Data"},
                      LookupCase{0x0002, 0x0010, "UI", "Transfer Syntax UID"},
                      LookupCase{0x0002, 0x0001, "OB", "File Meta Information Version"},
                      LookupCase{0x0018, 0x1310, "US", "Acquisition Matrix"},
                      LookupCase{0x0028, 0x0106, "US", "Smallest Image Pixel Value"},
                      LookupCase{0x0008, 0x0005, "CS", "Specific Character Set"},
                      LookupCase{0x0010, 0x0010, "PN", "Patient's Name"},
                      LookupCase{0x0012, 0x0000, "UN", "Unknown"},
                      LookupCase{0xFFFE, 0xE000, "  ", "Item"}));

TEST(Dictionary, VrOfImplicitReadingIgnoresThePrivateRule) {
  EXPECT_STREQ(dicom::lookupVr(0x0009, 0x0010).vr, "UN");
  EXPECT_STREQ(dicom::lookupVr(0x6004, 0x0010).vr, "US");
  EXPECT_STREQ(dicom::lookupVr(0x0008, 0x1140).vr, "SQ");
}

TEST(Dictionary, TableRowsAreWellFormed) {
  auto table = dicom::dictionaryTable();
  ASSERT_GT(table.size(), 4000u);
  // The item tags close the table.
  EXPECT_EQ(table[table.size() - 3].group, 0xFFFEu);
  EXPECT_EQ(table[table.size() - 1].element, 0xE0DDu);
  EXPECT_STREQ(table[table.size() - 1].vr, "  ");
  for (const DicomDictEntry& row : table) {
    ASSERT_GE(std::strlen(row.vr), 2u) << std::hex << row.group << "," << row.element;
    // Alternatives are two-letter VRs joined by a backslash.
    size_t n = std::strlen(row.vr);
    EXPECT_TRUE(n == 2 || (n % 3 == 2 && row.vr[2] == '\\')) << row.vr;
    EXPECT_GT(std::strlen(row.name), 0u);
    EXPECT_GT(std::strlen(row.vm), 0u);
  }
}

TEST(Dictionary, RepeatingGroupsStandOnce) {
  int overlays = 0;
  for (const DicomDictEntry& row : dicom::dictionaryTable()) {
    if ((row.group & 0xFF00) == 0x6000 || (row.group & 0xFF00) == 0x5000) {
      EXPECT_EQ(row.group & 0x00FF, 0u) << std::hex << row.group;
    }
    if (row.group == 0x0020 && (row.element & 0xFF00) == 0x3100) {
      EXPECT_EQ(row.element, 0x3100u);
    }
    if (row.group == 0x6000 && row.element == 0x3000) ++overlays;
  }
  EXPECT_EQ(overlays, 1);
}

}  // namespace
