// Outside tools judge our files, and files they made feed our reader.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "dicom/internal/object.h"
#include "helpers.h"
#include "platform/text.h"
#include "testsupport/testsupport.h"

namespace {

namespace fs = std::filesystem;
using dicomtest::getString;
using dicomtest::getU16;
using dicomtest::Object;
using dicomtest::setText;
using dicomtest::setU16;

const fs::path kPydicomData = "/usr/lib/python3/dist-packages/pydicom/data";
const fs::path kJudge = fs::path(DICOM_TEST_DIR) / "pydicom_judge.py";

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

// What pydicom reads from a file.
struct Judgement {
  std::map<std::string, std::string> facts;
  struct Element {
    std::string vr, value;
  };
  std::map<std::string, Element> elements;  // "GGGG,EEEE"
  std::string pixels;
  std::vector<std::string> fragments;
};

Judgement judge(const fs::path& file, const testsupport::TempDir& dir) {
  Judgement j;
  auto result = testsupport::runCommand("/usr/bin/python3 " + quoted(kJudge) + " " + quoted(file) +
                                        " " + quoted(dir.path()));
  EXPECT_EQ(result.status, 0) << result.output;
  std::istringstream lines(result.output);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("E ", 0) == 0) {
      std::string tag = line.substr(2, 9);
      std::string vr = line.substr(12, 2);
      std::string value = line.size() > 15 ? line.substr(15) : "";
      j.elements[tag] = {vr, value};
      continue;
    }
    auto space = line.find(' ');
    if (space != std::string::npos) j.facts[line.substr(0, space)] = line.substr(space + 1);
  }
  if (j.facts.count("pixels")) j.pixels = testsupport::readFile(dir / "pixels.bin");
  if (j.facts.count("fragments")) {
    int n = std::stoi(j.facts["fragments"]);
    for (int i = 0; i < n; ++i)
      j.fragments.push_back(testsupport::readFile(dir / ("fragment" + std::to_string(i) + ".bin")));
  }
  return j;
}

std::string tagText(uint32_t g, uint32_t e) {
  char t[16];
  std::snprintf(t, sizeof t, "%04X,%04X", g, e);
  return t;
}

// Our value as pydicom shows text: trailing pad gone, UTF-8.
std::string ourText(DicomObject* o, uint32_t g, uint32_t e) {
  std::string v = getString(o, g, e);
  while (!v.empty() && (v.back() == ' ' || v.back() == '\0')) v.pop_back();
  return platform::text::cp932ToUtf8(v);
}

bool isPlainTextVr(const std::string& vr) {
  for (const char* v : {"AE", "CS", "DA", "LO", "LT", "PN", "SH", "ST", "TM", "UI"})
    if (vr == v) return true;
  return false;
}

// Rows, columns, pixels or fragments, text, single US values and sequence
// item counts of our reading equal pydicom's.
void expectSameAsPydicom(const fs::path& file) {
  SCOPED_TRACE(file.string());
  testsupport::TempDir dir;
  Judgement j = judge(file, dir);
  Object o;
  ASSERT_EQ(ReadDicomFile(o, file.c_str(), 0), 1u);
  if (j.facts.count("rows")) {
    EXPECT_EQ(std::to_string(getU16(o, 0x0028, 0x0010)), j.facts["rows"]);
    EXPECT_EQ(std::to_string(getU16(o, 0x0028, 0x0011)), j.facts["columns"]);
  }
  if (j.facts.count("pixels")) {
    ASSERT_FALSE(j.pixels.empty());
    EXPECT_TRUE(getString(o, 0x7FE0, 0x0010).substr(0, j.pixels.size()) == j.pixels);
  }
  if (j.facts.count("fragments")) {
    const DicomElement* e = dicom::findElement(o.get(), 0x7FE0, 0x0010);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->count(), j.fragments.size());
    for (uint32_t i = 0; i < j.fragments.size(); ++i)
      EXPECT_TRUE(getString(o, 0x7FE0, 0x0010, i) == j.fragments[i]) << "fragment " << i;
  }
  int compared = 0;
  for (const auto& [tag, element] : j.elements) {
    uint32_t g = std::stoul(tag.substr(0, 4), nullptr, 16);
    uint32_t e = std::stoul(tag.substr(5, 4), nullptr, 16);
    if (g == 0x0002 || (g & 1)) continue;
    if (isPlainTextVr(element.vr)) {
      EXPECT_EQ(ourText(o, g, e), element.value) << tag;
      ++compared;
    } else if (element.vr == "US" && element.value.find('\\') == std::string::npos) {
      EXPECT_EQ(std::to_string(getU16(o, g, e)), element.value) << tag;
      ++compared;
    } else if (element.vr == "SQ") {
      const DicomElement* sq = dicom::findElement(o.get(), g, e);
      ASSERT_NE(sq, nullptr) << tag;
      EXPECT_EQ(std::to_string(sq->count()), element.value) << tag;
      ++compared;
    }
  }
  EXPECT_GT(compared, 0);
}

class PydicomFiles : public ::testing::TestWithParam<const char*> {};

TEST_P(PydicomFiles, ReadAsPydicomReadsThem) { expectSameAsPydicom(kPydicomData / GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Bundled, PydicomFiles,
    ::testing::Values("test_files/MR_small.dcm", "test_files/MR_small_implicit.dcm",
                      "test_files/MR_small_bigendian.dcm", "test_files/ExplVR_LitEndNoMeta.dcm",
                      "test_files/ExplVR_BigEnd.dcm", "test_files/JPEG2000.dcm",
                      "test_files/MR_small_RLE.dcm", "test_files/SC_rgb_rle_2frame.dcm",
                      "test_files/rtplan.dcm", "test_files/CT_small.dcm",
                      "charset_files/chrJapMulti.dcm", "charset_files/chrH31.dcm",
                      "charset_files/chrH32.dcm", "charset_files/chrJapMultiExplicitIR6.dcm"));

// pydicom's character-set files, read and written again: every text reads
// as it did, whatever the character set (Latin, Greek, Arabic, Hebrew,
// Cyrillic, Korean, Chinese, UTF-8 and the Japanese ISO 2022 forms).
class CharsetFiles : public ::testing::TestWithParam<const char*> {};

TEST_P(CharsetFiles, WrittenAgainEveryTextReadsAsBefore) {
  const fs::path original = kPydicomData / "charset_files" / GetParam();
  testsupport::TempDir dir;
  const fs::path rewritten = dir / "again.dcm";
  Object o;
  ASSERT_EQ(ReadDicomFile(o, original.c_str(), 0), 1u);
  ASSERT_EQ(WriteDicomFile(o, rewritten.c_str()), 1u);
  testsupport::TempDir a, b;
  const Judgement before = judge(original, a), after = judge(rewritten, b);
  int texts = 0;
  for (const auto& [tag, element] : before.elements) {
    if (tag.rfind("0002,", 0) == 0 || !isPlainTextVr(element.vr)) continue;
    ASSERT_TRUE(after.elements.count(tag)) << tag;
    EXPECT_EQ(after.elements.at(tag).value, element.value) << tag;
    ++texts;
  }
  EXPECT_GT(texts, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Pydicom, CharsetFiles,
    ::testing::Values("chrArab.dcm", "chrFren.dcm", "chrFrenMulti.dcm", "chrGerm.dcm", "chrGreek.dcm",
                      "chrH31.dcm", "chrH32.dcm", "chrHbrw.dcm", "chrI2.dcm", "chrJapMulti.dcm",
                      "chrJapMultiExplicitIR6.dcm", "chrKoreanMulti.dcm", "chrRuss.dcm", "chrSQEncoding.dcm",
                      "chrSQEncoding1.dcm", "chrX1.dcm", "chrX2.dcm"),
    [](const ::testing::TestParamInfo<const char*>& info) {
      std::string name = info.param;
      return name.substr(0, name.find('.'));
    });

// Files that DCMTK converted, made afresh from a bundled one.
struct Conversion {
  const char* name;
  const char* command;  // %s in, %s out
};

class DcmtkConversions : public ::testing::TestWithParam<Conversion> {};

TEST_P(DcmtkConversions, ReadAsPydicomReadsThem) {
  testsupport::TempDir dir;
  fs::path in = kPydicomData / "test_files/MR_small.dcm";
  fs::path out = dir / "converted.dcm";
  char command[1024];
  std::snprintf(command, sizeof command, GetParam().command, quoted(in).c_str(),
                quoted(out).c_str());
  auto result = testsupport::runCommand(command);
  ASSERT_EQ(result.status, 0) << command << "\n" << result.output;
  expectSameAsPydicom(out);
}

INSTANTIATE_TEST_SUITE_P(
    Tools, DcmtkConversions,
    ::testing::Values(Conversion{"Implicit", "dcmconv +ti %s %s"},
                      Conversion{"Explicit", "dcmconv +te %s %s"},
                      Conversion{"BigEndian", "dcmconv +tb %s %s"},
                      Conversion{"BareDataSet", "dcmconv +te -F %s %s"},
                      Conversion{"Rle", "dcmcrle %s %s"},
                      Conversion{"RleSmallFragments", "dcmcrle +fs 1 %s %s"}),
    [](const ::testing::TestParamInfo<Conversion>& info) { return std::string(info.param.name); });

// The CR program's file: its 36 elements, then its own pixel data header and pixels.
struct CrFile {
  static constexpr uint16_t kRows = 40, kColumns = 30;
  std::vector<std::pair<uint32_t, std::string>> texts;  // tag, CP932 text as set
  std::string pixels;

  void write(const fs::path& path) {
    Object o;
    struct Row {
      uint32_t g, e;
      const char* vr;
      std::string value;
    };
    const std::vector<Row> rows = {
        {0x0002, 0x0010, "UI", "1.2.840.10008.1.2.1"},
        {0x0008, 0x0005, "CS", "ISO_IR 100"},
        {0x0008, 0x0016, "UI", "1.2.840.10008.5.1.4.1.1.1"},
        {0x0008, 0x0018, "UI", "2.25.316405921987346.31020000.3.4567.20261210101530.0"},
        {0x0008, 0x0020, "DA", "20261210"},
        {0x0008, 0x0021, "DA", "20261210"},
        {0x0008, 0x0030, "TM", "101530"},
        {0x0008, 0x0031, "TM", "101530"},
        {0x0008, 0x0050, "SH", ""},
        {0x0008, 0x0060, "CS", "CR"},
        {0x0008, 0x0070, "LO", "Korva corporation"},
        {0x0008, 0x1030, "LO", "Weld 7"},
        {0x0008, 0x103E, "LO", ""},
        {0x0008, 0x1090, "LO", "Halcyone"},
        {0x0010, 0x0010, "PN", "Pipe^Seam"},
        {0x0010, 0x0020, "LO", "P-0042"},
        {0x0018, 0x1164, "DS", "0.050\\0.050"},
        {0x0028, 0x0030, "DS", "0.050\\0.050"},
        {0x0018, 0x1402, "CS", "LANDSCAPE"},
        {0x0018, 0x1403, "CS", "35CMX43CM"},
        {0x0018, 0x6000, "DS", "200"},
        {0x0020, 0x000D, "UI", "2.25.316405921987346.31020000.1.4567.20261210101530"},
        {0x0020, 0x000E, "UI", "2.25.316405921987346.31020000.2.4567.20261210101530.0"},
        {0x0020, 0x0010, "SH", "17"},
        {0x0020, 0x0011, "IS", "1"},
        {0x0020, 0x0013, "IS", "1"},
    };
    for (const Row& r : rows) {
      ASSERT_EQ(setText(o, r.g, r.e, r.vr, r.value), 1u);
      if (r.g != 0x0002) texts.emplace_back(r.g << 16 | r.e, r.value);
    }
    setU16(o, 0x0028, 0x0002, 1);
    setText(o, 0x0028, 0x0004, "CS", "MONOCHROME1");
    texts.emplace_back(0x00280004, "MONOCHROME1");
    setU16(o, 0x0028, 0x0010, kRows);
    setU16(o, 0x0028, 0x0011, kColumns);
    setU16(o, 0x0028, 0x0100, 16);
    setU16(o, 0x0028, 0x0101, 14);
    setU16(o, 0x0028, 0x0102, 13);
    setU16(o, 0x0028, 0x0103, 0);
    setText(o, 0x0028, 0x1050, "DS", "8192");
    setText(o, 0x0028, 0x1051, "DS", "16384");
    ASSERT_EQ(WriteDicomFile(o, path.c_str()), 1u);

    pixels.resize(size_t{kRows} * kColumns * 2);
    for (size_t i = 0; i < pixels.size() / 2; ++i) {
      uint16_t v = static_cast<uint16_t>((i * 37) & 0x3FFF);
      pixels[2 * i] = static_cast<char>(v & 0xFF);
      pixels[2 * i + 1] = static_cast<char>(v >> 8);
    }
    dicomtest::Bytes tail;
    tail.tag(0x7FE0, 0x0000).raw("UL").u16(4).u32(static_cast<uint32_t>(pixels.size() + 12))
        .tag(0x7FE0, 0x0010).raw("OW").u16(0).u32(static_cast<uint32_t>(pixels.size()))
        .raw(pixels);
    std::FILE* f = std::fopen(path.c_str(), "ab");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(tail.str().data(), 1, tail.size(), f), tail.size());
    std::fclose(f);
  }
};

TEST(CrProgramFile, DcmdumpReadsItToItsEndWithoutComplaint) {
  testsupport::TempDir dir;
  CrFile cr;
  fs::path file = dir / "cr.dcm";
  ASSERT_NO_FATAL_FAILURE(cr.write(file));
  auto result = testsupport::runCommand("dcmdump +E +L " + quoted(file) + " 2>" +
                                        quoted(dir / "stderr.txt"));
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(testsupport::readFile(dir / "stderr.txt"), "");
  EXPECT_NE(result.output.find("(7fe0,0010) OW"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("# 2400, 1 PixelData"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("(0028,0101) US 14"), std::string::npos);
  EXPECT_NE(result.output.find("(0010,0010) PN [Pipe^Seam]"), std::string::npos);
}

TEST(CrProgramFile, PydicomReadsEveryValueAsSet) {
  testsupport::TempDir dir;
  CrFile cr;
  fs::path file = dir / "cr.dcm";
  ASSERT_NO_FATAL_FAILURE(cr.write(file));
  Judgement j = judge(file, dir);
  EXPECT_EQ(j.facts["syntax"], "1.2.840.10008.1.2.1");
  for (const auto& [tag, value] : cr.texts) {
    std::string t = tagText(tag >> 16, tag & 0xFFFF);
    ASSERT_EQ(j.elements.count(t), 1u) << t;
    EXPECT_EQ(j.elements[t].value, value) << t;
  }
  const std::pair<const char*, const char*> numbers[] = {
      {"0028,0002", "1"},  {"0028,0010", "40"}, {"0028,0011", "30"}, {"0028,0100", "16"},
      {"0028,0101", "14"}, {"0028,0102", "13"}, {"0028,0103", "0"}};
  for (const auto& [t, v] : numbers) EXPECT_EQ(j.elements[t].value, v) << t;
  EXPECT_EQ(j.elements["0028,1050"].value, "8192");
  EXPECT_EQ(j.elements["0028,1051"].value, "16384");
  EXPECT_TRUE(j.pixels == cr.pixels);
  // Of the 36 elements set, all but the transfer syntax (file meta) are in the
  // data set, beside the computed group lengths and the program's (7FE0,0000).
  size_t groupLengths = 0;
  for (const auto& [t, e] : j.elements) groupLengths += t.substr(5) == "0000";
  EXPECT_EQ(j.elements.size() - groupLengths, 35u);
  // Our own reader agrees.
  Object o;
  ASSERT_EQ(ReadDicomFile(o, file.c_str(), 0), 1u);
  EXPECT_TRUE(getString(o, 0x7FE0, 0x0010) == cr.pixels);
}

TEST(CrProgramFile, DciodvfyFindsNoEncodingFault) {
  testsupport::TempDir dir;
  CrFile cr;
  fs::path file = dir / "cr.dcm";
  ASSERT_NO_FATAL_FAILURE(cr.write(file));
  auto result = testsupport::runCommand("dciodvfy " + quoted(file));
  ASSERT_NE(result.output.find("CRImage"), std::string::npos) << result.output;  // it ran and saw the IOD
  // The program leaves attributes out (that is the program's business); what
  // must not appear is a complaint about the encoding itself.
  for (const char* fault : {"Bad Value Length", "Value Length", "Odd", "not even", "VR", "padding",
                            "Trailing", "group length", "Group Length", "Unrecognized"}) {
    std::istringstream lines(result.output);
    std::string line;
    while (std::getline(lines, line))
      if (line.find("Error") != std::string::npos) {
        EXPECT_EQ(line.find(fault), std::string::npos) << line;
      }
  }
}

// A standard sequence stored as UN of undefined length, as converters that did
// not know the attribute leave it: its items are implicit VR little endian.
TEST(UnknownVr, UndefinedLengthSequenceReadsAsOutsideReadersReadIt) {
  testsupport::TempDir dir;
  dicomtest::Bytes meta, items, file;
  meta.ex(0x0002, 0x0001, "OB", std::string("\0\1", 2))
      .ex(0x0002, 0x0002, "UI", std::string("1.2.840.10008.5.1.4.1.1.7\0", 26))
      .ex(0x0002, 0x0003, "UI", std::string("1.2.3.4\0", 8))
      .ex(0x0002, 0x0010, "UI", std::string("1.2.840.10008.1.2.1\0", 20));
  for (const char* uid : {"1.2.3\0", "1.2.44"}) {
    items.tag(0xFFFE, 0xE000).u32(0xFFFFFFFF)
        .im(0x0008, 0x1150, std::string("1.2.840.10008.5.1.4.1.1.7\0", 26))
        .im(0x0008, 0x1155, std::string(uid, 6))
        .tag(0xFFFE, 0xE00D).u32(0);
  }
  file.preamble().ex(0x0002, 0x0000, "UL", dicomtest::Bytes().u32(meta.size()).str()).raw(meta.str())
      .ex(0x0008, 0x0016, "UI", std::string("1.2.840.10008.5.1.4.1.1.7\0", 26))
      .ex(0x0008, 0x0018, "UI", std::string("1.2.3.4\0", 8))
      .ex(0x0008, 0x0060, "CS", "RG")
      .tag(0x0008, 0x1140).raw("UN").u16(0).u32(0xFFFFFFFF).raw(items.str())
      .tag(0xFFFE, 0xE0DD).u32(0)
      .ex(0x0010, 0x0010, "PN", "After ");
  const fs::path path = dir / "un.dcm";
  testsupport::writeFile(path, file.str());
  // DCMTK takes it as a valid file and finds the two items.
  auto dump = testsupport::runCommand("dcmdump +E " + quoted(path) + " 2>" + quoted(dir / "err.txt"));
  EXPECT_EQ(dump.status, 0) << dump.output;
  EXPECT_EQ(testsupport::readFile(dir / "err.txt"), "");
  EXPECT_NE(dump.output.find("(Sequence with undefined length #=2)"), std::string::npos) << dump.output;
  Judgement j = judge(path, dir);
  EXPECT_EQ(j.elements["0008,1140"].vr, "SQ");
  EXPECT_EQ(j.elements["0008,1140"].value, "2");
  expectSameAsPydicom(path);  // every text and the item count
  Object o;
  ASSERT_EQ(ReadDicomFile(o, path.c_str(), 0), 1u);
  DicomObject* second = nullptr;
  ASSERT_EQ(GetDicomItem(o, 0x0008, 0x1140, 1, &second), 1u);
  EXPECT_EQ(getString(second, 0x0008, 0x1155), "1.2.44");
}

// A file written from an object read as a bare data set carries its transfer
// syntax in its meta group, so DCMTK reads it to its end.
TEST(BareDataSet, WrittenAsAFileDcmdumpReadsIt) {
  testsupport::TempDir dir;
  dicomtest::Bytes data;
  data.ex(0x0008, 0x0016, "UI", std::string("1.2.840.10008.5.1.4.1.1.7\0", 26))
      .ex(0x0008, 0x0060, "CS", "RG")
      .ex(0x0010, 0x0010, "PN", "Doe ");
  Object o;
  ASSERT_EQ(ReadDicomDataSet(o, data.data(), data.size(), "1.2.840.10008.1.2.1", 0), 1u);
  const fs::path path = dir / "bare.dcm";
  ASSERT_EQ(WriteDicomFile(o, path.c_str()), 1u);
  auto dump = testsupport::runCommand("dcmdump +E " + quoted(path) + " 2>" + quoted(dir / "err.txt"));
  EXPECT_EQ(dump.status, 0) << dump.output;
  EXPECT_EQ(testsupport::readFile(dir / "err.txt"), "");
  EXPECT_NE(dump.output.find("(0002,0010) UI =LittleEndianExplicit"), std::string::npos) << dump.output;
  EXPECT_NE(dump.output.find("(0010,0010) PN [Doe]"), std::string::npos) << dump.output;
  Judgement j = judge(path, dir);
  EXPECT_EQ(j.facts["syntax"], "1.2.840.10008.1.2.1");
  EXPECT_EQ(j.elements["0010,0010"].value, "Doe");
}

TEST(Japanese, PersonNameUnderIso2022Ir13AndIr87DecodesToTheSameCharacters) {
  testsupport::TempDir dir;
  const std::string name = "\xd4\xcf\xc0\xde^\xc0\xdb\xb3=\x8e\x52\x93\x63^\x91\xbe\x98\x59";
  Object o;
  setText(o, 0x0002, 0x0010, "UI", "1.2.840.10008.1.2.1");
  setText(o, 0x0008, 0x0005, "CS", "ISO 2022 IR 13\\ISO 2022 IR 87");
  setText(o, 0x0008, 0x0016, "UI", "1.2.840.10008.5.1.4.1.1.1");
  setText(o, 0x0008, 0x0018, "UI", "1.2.3.4");
  setText(o, 0x0010, 0x0010, "PN", name);
  setText(o, 0x0008, 0x1030, "LO", "\x8c\x9f\x8d\xb8 \xb1");  // kanji, a blank, katakana
  fs::path file = dir / "jp.dcm";
  ASSERT_EQ(WriteDicomFile(o, file.c_str()), 1u);
  Judgement j = judge(file, dir);
  EXPECT_EQ(j.elements["0010,0010"].value, platform::text::cp932ToUtf8(name));
  EXPECT_EQ(j.elements["0010,0010"].value, "ﾔﾏﾀﾞ^ﾀﾛｳ=山田^太郎");
  EXPECT_EQ(j.elements["0008,1030"].value, "検査 ｱ");
  Object back;
  ASSERT_EQ(ReadDicomFile(back, file.c_str(), 0), 1u);
  EXPECT_EQ(ourText(back, 0x0010, 0x0010), j.elements["0010,0010"].value);
}

}  // namespace
