#include "hosts/scanapp/dicom_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "hosts/scanapp/ombrel.h"
#include "hosts/scanapp/tests/dicom_walk.h"
#include "platform/text.h"
#include "testsupport/testsupport.h"
#include "viewer/formats/diconde.h"

namespace ombrel {
namespace {

using testing::walk;

const std::string kPlaceholder = "*" + std::string(190, ' ') + "*";

struct TextCase {
  const char* name;
  std::string cp932;
  std::string iso2022;
};

class Iso2022Test : public ::testing::TestWithParam<TextCase> {};

TEST_P(Iso2022Test, Converts) { EXPECT_EQ(toIso2022Jp(GetParam().cp932), GetParam().iso2022); }

INSTANTIATE_TEST_SUITE_P(
    Values, Iso2022Test,
    ::testing::Values(
        TextCase{"Empty", "", ""},
        TextCase{"EvenAscii", "AB", "AB"},
        TextCase{"OddAsciiGetsABlank", "ABC", "ABC "},
        TextCase{"ControlsDropped", "A\tB\r\n", "AB"},
        TextCase{"KanjiOddClosesWithEscape", "\x82\xA0", "\x1b$B\x24\x22\x1b(B"},
        TextCase{"KanjiEvenClosesWithEscapeAndBlank", "A\x82\xA0", "A\x1b$B\x24\x22\x1b(B "},
        TextCase{"BackToAscii", "\x8C\x9F" "A", "\x1b$B\x38\x21\x1b(BA "},
        TextCase{"OneEscapePerRun", "\x82\xA0\x82\xA2", "\x1b$B\x24\x22\x24\x24\x1b(B"},
        TextCase{"HalfWidthKatakana", "AB\xB1", kPlaceholder},
        TextCase{"LeadByteAtTheEnd", "AB\x82", kPlaceholder},
        TextCase{"TrailByteInvalid", "\x82\x20zz", kPlaceholder},
        TextCase{"NoJisCode", "\xFD\x40", kPlaceholder}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Iso2022Within, CutsWholeCharactersAndEndsInAscii) {
  const std::string kanji = "\x82\xA0\x82\xA2\x82\xA4";  // three characters
  // ESC$B + two characters + ESC(B = 10 fits in 11; the third does not.
  EXPECT_EQ(toIso2022JpWithin(kanji, 11), "\x1b$B\x24\x22\x24\x24\x1b(B");
  EXPECT_EQ(toIso2022JpWithin("ABCDE", 4), "ABCD");
  EXPECT_EQ(toIso2022JpWithin("ABCDE", 100), "ABCDE ");
  EXPECT_EQ(toIso2022JpWithin("\xB1", 10), "*        *");
  EXPECT_EQ(toIso2022JpWithin(kanji, 7), "");
}

TEST(RunUidsTest, FileNumberIsTheLastComponent) {
  const RunUids uids("1.2.392.200036", 1700000000);
  EXPECT_EQ(uids.study(), "1.2.392.200036.4.1700000000.0");
  EXPECT_EQ(uids.series(), "1.2.392.200036.5.1700000000.0");
  EXPECT_EQ(uids.instance(7), "1.2.392.200036.6.1700000000.7");
  EXPECT_NE(uids.instance(7), uids.instance(8));
}

TEST(RunUidsTest, RootDefaultsAndIsCappedWithin64) {
  for (const char* root : {"", "1.2.abc", "1..2.", "ISO"})
    EXPECT_EQ(RunUids(root, 1700000000).study().rfind(std::string(kDefaultUidRoot) + ".4.", 0), 0u) << root;
  const std::string longRoot = "1.2.3." + std::string(70, '9');
  const RunUids uids(longRoot, 1700000000);
  for (const std::string& uid : {uids.study(), uids.series(), uids.instance(2147483647)}) {
    EXPECT_LE(uid.size(), kMaxUidLength) << uid;
    EXPECT_EQ(uid.rfind("1.2.3.99", 0), 0u) << uid;
  }
}

TEST(Settings, ReadsTheSixKeysCutTo63) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "Ombrel.ini",
                         "[DICOM]\n(0008,0005)=ISO 2022 IR 87\n(0008,0016)=1.2.840.10008.5.1.4.1.1.7\n"
                         "(0008,0060)=OT\n(0008,0064)=DF\n(0008,0070)=" + std::string(70, 'M') +
                             "\nUID_HEADER=1.2.3\n(0008,0018)=9.9.9\n");
  const DicomSettings s = readDicomSettings(dir / "Ombrel.ini");
  EXPECT_EQ(s.specificCharacterSet, "ISO 2022 IR 87");
  EXPECT_EQ(s.sopClassUid, "1.2.840.10008.5.1.4.1.1.7");
  EXPECT_EQ(s.modality, "OT");
  EXPECT_EQ(s.conversionType, "DF");
  EXPECT_EQ(s.manufacturer, std::string(63, 'M'));
  EXPECT_EQ(s.uidRoot, "1.2.3");
  EXPECT_EQ(readDicomSettings(dir / "missing.ini").modality, "");
}

struct Fixture {
  scanui::StudyData study{};
  scanui::ScanData scan{};
  std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(100 * 100 * 2);
  DicomSettings settings{"ISO 2022 IR 87", "1.2.840.10008.5.1.4.1.1.7", "OT", "DF", "Maker", "1.2.3"};
  RunUids uids{"1.2.3", 1700000000};
  Fixture() {
    scan.width = 100;
    scan.height = 100;
    scan.pixels = pixels.data();
    scan.bytesPerPixel = 2;
    scan.bits = 12;
    scan.pitch = 50;
    scan.odRange = 40;
    std::strcpy(study.studyDate, "20261210");
    std::strcpy(study.sex, "M ");
  }
};

std::string text(const std::map<std::uint32_t, testing::Element>& e, std::uint32_t tag) {
  auto it = e.find(tag);
  return it == e.end() ? "<none>" : it->second.value;
}

TEST(DicomHeader, LayoutOfA12BitImage) {
  Fixture f;
  const auto header = buildDicomHeader(f.study, f.scan, f.settings, f.uids, 7);
  ASSERT_TRUE(header);
  ASSERT_EQ(header->size(), kDicomHeaderBytes);
  const auto e = walk(*header, header->size());
  EXPECT_TRUE(testing::groupLengthsHold(e));
  EXPECT_EQ(text(e, 0x00080005), "ISO 2022 IR 87");
  EXPECT_EQ(text(e, 0x00080016), std::string("1.2.840.10008.5.1.4.1.1.7") + '\0');
  EXPECT_EQ(text(e, 0x00080018), "1.2.3.6.1700000000.7");
  EXPECT_EQ(text(e, 0x00080020), "20261210");
  EXPECT_EQ(text(e, 0x00080070), "Maker ");
  EXPECT_EQ(text(e, 0x00081030), "");  // empty study fields give length 0
  EXPECT_EQ(text(e, 0x00100010), "");
  EXPECT_EQ(text(e, 0x00100040), "M ");
  EXPECT_EQ(testing::us(e.at(0x00193000)), 40);
  EXPECT_EQ(text(e, 0x0020000D), "1.2.3.4.1700000000.0");
  EXPECT_EQ(text(e, 0x00280004), "MONOCHROME2 ");
  EXPECT_EQ(testing::us(e.at(0x00280010)), 100);
  EXPECT_EQ(testing::us(e.at(0x00280011)), 100);
  EXPECT_EQ(text(e, 0x00280030), "0.050\\0.050 ");
  EXPECT_EQ(testing::us(e.at(0x00280100)), 16);
  EXPECT_EQ(testing::us(e.at(0x00280101)), 12);
  EXPECT_EQ(testing::us(e.at(0x00280102)), 11);
  EXPECT_EQ(text(e, 0x00281050), "2048");
  EXPECT_EQ(text(e, 0x00281051), "4096");
  EXPECT_EQ(text(e, 0x00281052), "0 ");
  EXPECT_EQ(text(e, 0x00281053), "1 ");
  // Group 00FF fills the header to exactly 1028.
  const auto& privateGroup = e.at(0x00FF0000);
  EXPECT_EQ(testing::us(privateGroup) + std::uint32_t(privateGroup.offset), 1016u);
  EXPECT_EQ(text(e, 0x00FF0010), "Korva DICOM private elements version1.0 ");
  const auto& filler = e.at(0x00FF30FF);
  EXPECT_EQ(filler.offset + 8 + filler.value.size(), kDicomHeaderBytes);
}

TEST(DicomHeader, AStudyTextWithACodeJisX0208LacksIsRefused) {
  // NEC row 13 (circled one), NEC-selected IBM row 92 (taka, ladder form), IBM FA40.
  for (const char* cp932 : {"\x87\x40", "\xEE\xE0\x8B\xB4", "A\xFA\x40"}) {
    for (int which = 0; which < 4; ++which) {
      Fixture f;
      char* fields[] = {f.study.componentName, f.study.componentId, f.study.studyId, f.study.studyDescription};
      std::strcpy(fields[which], cp932);
      EXPECT_FALSE(buildDicomHeader(f.study, f.scan, f.settings, f.uids, 1)) << which << " " << cp932;
    }
    // The converter never emits the code: the value becomes the placeholder.
    EXPECT_EQ(toIso2022Jp(cp932), "*" + std::string(190, ' ') + "*");
  }
}

TEST(DicomHeader, AFileOfJapaneseStudyTextPassesTheValidatorAndPydicom) {
  Fixture f;
  f.settings.specificCharacterSet = "\\ISO 2022 IR 87";
  const std::string name = platform::text::utf8ToCp932("高橋^鋼管"), id = platform::text::utf8ToCp932("管-7 ∵"),
                    studyId = platform::text::utf8ToCp932("第2"),
                    description = platform::text::utf8ToCp932("突合せ 溶融 A-3");
  std::strcpy(f.study.componentName, name.c_str());
  std::strcpy(f.study.componentId, id.c_str());
  std::strcpy(f.study.studyId, studyId.c_str());
  std::strcpy(f.study.studyDescription, description.c_str());
  std::strcpy(f.study.manufacturingDate, "20240307");
  const auto header = buildDicomHeader(f.study, f.scan, f.settings, f.uids, 1);
  ASSERT_TRUE(header);
  const auto head = pixelDataHead(f.scan);
  std::string file(header->begin(), header->end());
  file.append(head.begin(), head.end());
  file.append(f.pixels.begin(), f.pixels.end());
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "FILM0001.DCM", file);
  std::map<std::string, std::string> texts;
  const std::vector<std::string> complaints = testsupport::dicomJudgeComplaints(dir / "FILM0001.DCM", &texts);
  EXPECT_TRUE(complaints.empty()) << ::testing::PrintToString(complaints);
  EXPECT_EQ(texts["0010,0010"], "高橋^鋼管");
  EXPECT_EQ(texts["0010,0020"], "管-7 ∵");
  EXPECT_EQ(texts["0020,0010"], "第2");
  EXPECT_EQ(texts["0008,1030"], "突合せ 溶融 A-3");
}

TEST(DicomHeader, CrLinkImageIsMonochrome1WithoutDensity) {
  Fixture f;
  f.scan.odRange = kCrMonochrome1;
  const auto header = buildDicomHeader(f.study, f.scan, f.settings, f.uids, 1);
  ASSERT_TRUE(header);
  const auto e = walk(*header, header->size());
  EXPECT_EQ(text(e, 0x00280004), "MONOCHROME1 ");
  EXPECT_EQ(testing::us(e.at(0x00193000)), 0);
}

struct RoomCase {
  const char* name;
  std::string description, componentName, componentId, studyId;
};

class HeaderRoomTest : public ::testing::TestWithParam<RoomCase> {};

// However long the study values, the header ends at 1028 and every converted
// value is a whole-character prefix of what was typed, back in ASCII.
TEST_P(HeaderRoomTest, EndsAt1028) {
  Fixture f;
  const RoomCase& c = GetParam();
  std::memcpy(f.study.studyDescription, c.description.data(), c.description.size());
  std::memcpy(f.study.componentName, c.componentName.data(), c.componentName.size());
  std::memcpy(f.study.componentId, c.componentId.data(), c.componentId.size());
  std::memcpy(f.study.studyId, c.studyId.data(), c.studyId.size());
  const auto header = buildDicomHeader(f.study, f.scan, f.settings, f.uids, 99999999);
  ASSERT_TRUE(header);
  ASSERT_EQ(header->size(), kDicomHeaderBytes);
  const auto e = walk(*header, header->size());
  EXPECT_TRUE(testing::groupLengthsHold(e));
  EXPECT_EQ(e.at(0x00FF30FF).offset + 8 + e.at(0x00FF30FF).value.size(), kDicomHeaderBytes);
  const std::pair<std::uint32_t, const std::string*> values[] = {
      {0x00081030, &c.description}, {0x00100010, &c.componentName},
      {0x00100020, &c.componentId}, {0x00200010, &c.studyId}};
  for (const auto& [tag, typed] : values) {
    const std::string written = text(e, tag);
    if (written.size() == 192 && written.front() == '*') continue;  // the placeholder
    std::string back = viewer::formats::fromDicondeText(written);
    while (!back.empty() && back.back() == ' ') back.pop_back();
    EXPECT_EQ(typed->rfind(back, 0), 0u) << std::hex << tag;
    EXPECT_TRUE(written.size() < 3 || written.find("\x1b$B", written.size() - 4) == std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, HeaderRoomTest,
    ::testing::Values(
        RoomCase{"LongAscii", std::string(1023, 'D'), "", "", ""},
        RoomCase{"LongKanji", [] { std::string s; for (int i = 0; i < 511; ++i) s += "\x8C\x9F"; return s; }(), "", "", ""},
        RoomCase{"Katakana", "\xB1\xB2\xB3", "", "", ""},
        RoomCase{"EverythingFull",
                 [] { std::string s; for (int i = 0; i < 511; ++i) s += "\x82\xA0"; return s; }(),
                 [] { std::string s; for (int i = 0; i < 32; ++i) s += "\x96\xBC"; return s; }(),
                 std::string(64, 'I'),
                 [] { std::string s = "S"; for (int i = 0; i < 31; ++i) s += "\x8C\x9F"; return s; }()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DicomHeader, RefusesWhatCannotFitEvenEmpty) {
  Fixture f;
  const std::string longUid = "1." + std::string(61, '2');
  f.settings = DicomSettings{std::string(63, 'C'), longUid, std::string(63, 'M'), std::string(63, 'T'),
                             std::string(63, 'F'), std::string(63, '3')};
  // With a short root the same values still fit; with a root as long as the
  // ini allows, the UIDs take the last of the room.
  EXPECT_TRUE(buildDicomHeader(f.study, f.scan, f.settings, f.uids, 1));
  const RunUids longUids(f.settings.uidRoot, 1700000000);
  EXPECT_FALSE(buildDicomHeader(f.study, f.scan, f.settings, longUids, 1));
}

TEST(DicomHeader, RefusesRecordsThatAreNoImage) {
  struct Bad {
    const char* what;
    void (*spoil)(scanui::ScanData&);
  };
  const Bad cases[] = {
      {"no width", [](scanui::ScanData& s) { s.width = 0; }},
      {"too wide", [](scanui::ScanData& s) { s.width = 70000; }},
      {"three bytes", [](scanui::ScanData& s) { s.bytesPerPixel = 3; }},
      {"no bits", [](scanui::ScanData& s) { s.bits = 0; }},
      {"bits over bytes", [](scanui::ScanData& s) { s.bits = 17; }},
  };
  for (const Bad& b : cases) {
    Fixture f;
    b.spoil(f.scan);
    EXPECT_EQ(pixelBytes(f.scan), 0u) << b.what;
    EXPECT_FALSE(buildDicomHeader(f.study, f.scan, f.settings, f.uids, 1)) << b.what;
  }
}

TEST(SaveImage, ARecordWithoutPixelsWritesNothing) {
  testsupport::TempDir dir;
  Fixture f;
  f.scan.pixels = nullptr;
  for (Format format : {Format::Dicom, Format::Tiff, Format::Raw})
    EXPECT_FALSE(saveImage(format, dir / "f", f.scan, f.study, f.settings, f.uids, 1));
  EXPECT_FALSE(std::filesystem::exists(dir / "f"));
}

TEST(DicomHeader, RewriteLeavesThePixelsAndRefusesOtherFiles) {
  testsupport::TempDir dir;
  Fixture f;
  const auto first = buildDicomHeader(f.study, f.scan, f.settings, f.uids, 1);
  ASSERT_TRUE(first);
  const auto head = pixelDataHead(f.scan);
  ASSERT_EQ(head.size(), 20u);
  EXPECT_EQ(testing::le(&head[8], 4), 20008u);
  std::string file(first->begin(), first->end());
  file.append(head.begin(), head.end());
  for (int i = 0; i < 20000; ++i) file += char(i * 31);
  testsupport::writeFile(dir / "a.dcm", file);
  std::strcpy(f.study.studyDescription, "after");
  const auto second = buildDicomHeader(f.study, f.scan, f.settings, f.uids, 1);
  ASSERT_TRUE(rewriteDicomHeader(dir / "a.dcm", *second));
  const std::string now = testsupport::readFile(dir / "a.dcm");
  ASSERT_EQ(now.size(), file.size());
  EXPECT_EQ(now.substr(0, kDicomHeaderBytes), std::string(second->begin(), second->end()));
  EXPECT_EQ(now.substr(kDicomHeaderBytes), file.substr(kDicomHeaderBytes));

  testsupport::writeFile(dir / "other.dcm", std::string(2000, 'x'));
  EXPECT_FALSE(rewriteDicomHeader(dir / "other.dcm", *second));
  EXPECT_EQ(testsupport::readFile(dir / "other.dcm"), std::string(2000, 'x'));
  EXPECT_FALSE(rewriteDicomHeader(dir / "missing.dcm", *second));
}

}  // namespace
}  // namespace ombrel
