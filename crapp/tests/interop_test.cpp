// Outside tools judge the exported DICOM file: DCMTK's dump, dicom3tools'
// validator and pydicom, which must read every value and the pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "crapp/datacontainer.h"
#include "fixture.h"
#include "log/log.h"
#include "testsupport/testsupport.h"

namespace {

namespace fs = std::filesystem;
using crapp::CDataContainer;

const fs::path kReader = fs::path(CRAPP_TEST_DIR) / "pydicom_read.py";

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

std::time_t fixedTime() { return crapptest::localTime(2026, 11, 28, 23, 59, 58); }

struct Read {
  std::map<std::string, std::pair<std::string, std::string>> elements;  // tag -> VR, value
  std::string pixels;
  std::string output;
};

Read readWithPydicom(const fs::path& file, const fs::path& work) {
  Read r;
  const auto result =
      testsupport::runCommand("/usr/bin/python3 " + quoted(kReader) + " " + quoted(file) + " " + quoted(work));
  EXPECT_EQ(result.status, 0) << result.output;
  r.output = result.output;
  std::istringstream lines(result.output);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("E ", 0) != 0 || line.size() < 14) continue;
    r.elements[line.substr(2, 9)] = {line.substr(12, 2), line.size() > 15 ? line.substr(15) : ""};
  }
  r.pixels = testsupport::readFile(work / "pixels.bin");
  return r;
}

struct Expected {
  const char* tag;
  const char* vr;
  std::string value;
};

class Interop : public ::testing::Test {
 protected:
  void SetUp() override {
    Log::setLogFileDir((dir.path() / "testlog").c_str());
    crapptest::writeMainIni(dir.path());
  }
  // Exports a 16-bit plate and returns the published file.
  fs::path exportPlate(const crapp::ScanInformation& info, std::string* raw) {
    CDataContainer c(dir.path());
    c.setClockForTest(fixedTime);
    *raw = crapptest::prepareScan(c, 48, 64, 16, info);
    EXPECT_EQ(c.OutputDICOM(), 1);
    return c.lastExportedFile();
  }
  void site(const std::string& text) { testsupport::writeFile(dir / "HalcyoneSite.ini", text); }
  testsupport::TempDir dir;
  testsupport::TempDir work;
};

std::vector<Expected> basicTable(const std::string& uid3, const std::string& uid1, const std::string& uid2) {
  return {
      {"0002,0010", "UI", "1.2.840.10008.1.2.1"},
      {"0008,0005", "CS", "ISO_IR 100"},
      {"0008,0016", "UI", "1.2.840.10008.5.1.4.1.1.1"},
      {"0008,0018", "UI", uid3},
      {"0008,0020", "DA", "20261128"},
      {"0008,0021", "DA", "20261128"},
      {"0008,0030", "TM", "235958"},
      {"0008,0031", "TM", "235958"},
      {"0008,0050", "SH", ""},
      {"0008,0060", "CS", "CR"},
      {"0008,0070", "LO", "Korva corporation"},
      {"0008,0090", "PN", ""},
      {"0008,1030", "LO", ""},
      {"0008,103E", "LO", "Fillet weld"},
      {"0008,1090", "LO", "Halcyone"},
      {"0010,0010", "PN", "Pipe^North"},
      {"0010,0020", "LO", "P-7"},
      {"0010,0030", "DA", ""},
      {"0010,0040", "CS", ""},
      {"0018,0015", "CS", ""},
      {"0018,1164", "DS", "0.050\\0.050"},
      {"0028,0030", "DS", "0.050\\0.050"},
      {"0018,1402", "CS", "PORTRAIT"},
      {"0018,1403", "CS", "14INX17IN"},
      {"0018,5101", "CS", ""},
      {"0018,6000", "DS", "200"},
      {"0020,000D", "UI", uid1},
      {"0020,000E", "UI", uid2},
      {"0020,0010", "SH", "7"},
      {"0020,0011", "IS", "1"},
      {"0020,0013", "IS", "1"},
      {"0020,0020", "CS", ""},
      {"0020,0060", "CS", ""},
      {"0028,0002", "US", "1"},
      {"0028,0004", "CS", "MONOCHROME1"},
      {"0028,0010", "US", "48"},
      {"0028,0011", "US", "64"},
      {"0028,0100", "US", "16"},
      {"0028,0101", "US", "16"},
      {"0028,0102", "US", "15"},
      {"0028,0103", "US", "0"},
      {"0028,1050", "DS", "32768"},
      {"0028,1051", "DS", "65536"},
  };
}

std::vector<Expected> optionalTable() {
  return {
      {"0008,0023", "DA", "20261128"}, {"0008,0033", "TM", "235958"}, {"0008,0064", "CS", "DF"},
      {"0008,0080", "LO", ""},         {"0008,0090", "PN", ""},       {"0008,1060", "PN", ""},
      {"0008,1080", "LO", ""},         {"0010,0030", "DA", ""},       {"0010,0040", "CS", ""},
      {"0010,1010", "AS", ""},         {"0010,1020", "DS", ""},       {"0010,1030", "DS", ""},
      {"0010,21B0", "LT", ""},         {"0018,0015", "CS", ""},       {"0018,1012", "DA", "20261128"},
      {"0018,1014", "TM", "235958"},   {"0018,1016", "LO", "Korva corporation"},
      {"0018,5100", "CS", ""},         {"0020,0020", "CS", ""},       {"0020,0060", "CS", ""},
      {"0028,1052", "DS", "0"},        {"0028,1053", "DS", "1"},       {"0028,1054", "LO", "US"},
  };
}

// The UIDs follow the root with the fixed patterns and stay within 64 characters.
void expectUid(const std::string& uid, const std::string& tail) {
  EXPECT_LE(uid.size(), 64u) << uid;
  ASSERT_GT(uid.size(), tail.size()) << uid;
  EXPECT_EQ(uid.substr(uid.size() - tail.size()), tail) << uid;
  EXPECT_EQ(uid.find_first_not_of("0123456789."), std::string::npos) << uid;
}

TEST_F(Interop, PydicomReadsEveryValueAndThePixels) {
  struct Case {
    const char* option;
    const char* serial;
    std::size_t count;
  } cases[] = {{"", "", 43}, {"ON", "80123", 60}, {"on", "80123", 43}};
  for (const Case& k : cases) {
    site(std::string("[Settings]\nOptionDICOM_F=") + k.option + "\n[StudyID]\nCount=7\n");
    testsupport::writeFile(dir / "HalcyoneHard.ini", std::string("[Common]\nScannerSerialNo=") + k.serial + "\n");
    std::string raw;
    const fs::path file = exportPlate({"P-7", "Pipe^North", "Fillet weld"}, &raw);
    const Read r = readWithPydicom(file, work.path());
    const std::string s = *k.serial ? k.serial : "0";
    const std::string t = "20261128235958";
    const std::string uid3 = r.elements.count("0008,0018") ? r.elements.at("0008,0018").second : "";
    const std::string uid1 = r.elements.count("0020,000D") ? r.elements.at("0020,000D").second : "";
    const std::string uid2 = r.elements.count("0020,000E") ? r.elements.at("0020,000E").second : "";
    expectUid(uid1, ".31020000.1." + s + "." + t);
    expectUid(uid2, ".31020000.2." + s + "." + t + ".0");
    expectUid(uid3, ".31020000.3." + s + "." + t + ".0");

    std::vector<Expected> table = basicTable(uid3, uid1, uid2);
    // The optional set repeats six of the Type 2 elements, empty as before.
    if (k.count == 60)
      for (const Expected& e : optionalTable())
        if (std::none_of(table.begin(), table.end(), [&](const Expected& b) { return std::string(b.tag) == e.tag; }))
          table.push_back(e);
    ASSERT_EQ(table.size(), k.count);
    std::set<std::string> tableTags;
    for (const Expected& e : table) {
      tableTags.insert(e.tag);
      ASSERT_TRUE(r.elements.count(e.tag)) << e.tag << " missing, option " << k.option << "\n" << r.output;
      EXPECT_EQ(r.elements.at(e.tag).first, e.vr) << e.tag;
      EXPECT_EQ(r.elements.at(e.tag).second, e.value) << e.tag << " option " << k.option;
    }
    // Nothing else, but the file meta group, group lengths and the pixels.
    for (const auto& [tag, element] : r.elements) {
      if (tag.rfind("0002,", 0) == 0 || tag.substr(5) == "0000") continue;
      EXPECT_TRUE(tableTags.count(tag)) << "unexpected " << tag << " option " << k.option;
    }
    ASSERT_TRUE(r.elements.count("0002,0003"));
    EXPECT_EQ(r.elements.at("0002,0003").second, uid3);
    EXPECT_EQ(r.elements.at("0002,0002").second, "1.2.840.10008.5.1.4.1.1.1");
    EXPECT_EQ(r.elements.at("0002,0001").second, "0001");
    EXPECT_TRUE(r.elements.count("0002,0012"));
    EXPECT_EQ(r.pixels, raw) << "option " << k.option;
    fs::remove(file);
  }
}

TEST_F(Interop, LongSerialNumbersKeepUidsWithin64) {
  testsupport::writeFile(dir / "HalcyoneHard.ini", "[Common]\nScannerSerialNo=" + std::string(80, '9') + "\n");
  std::string raw;
  const fs::path file = exportPlate({"L", "", ""}, &raw);
  const Read r = readWithPydicom(file, work.path());
  for (const char* tag : {"0008,0018", "0020,000D", "0020,000E", "0002,0003"}) {
    ASSERT_TRUE(r.elements.count(tag)) << tag;
    EXPECT_LE(r.elements.at(tag).second.size(), 64u) << tag;
    EXPECT_NE(r.elements.at(tag).second.find(".31020000."), std::string::npos) << tag;
  }
}

TEST_F(Interop, JapaneseTextReadsBackAsTyped) {
  const std::string name = "山田^太郎";
  // pydicom cuts a text at a 0x5C byte even inside a two-byte character (as in
  // 接), so the description keeps to characters whose JIS bytes hold none.
  const std::string description = "鋼管 A-3";
  site("[Settings]\nDescriptionCategoryStudy=1\n");
  std::string raw;
  const fs::path file = exportPlate({"検査-1", name, description}, &raw);
  const Read r = readWithPydicom(file, work.path());
  ASSERT_TRUE(r.elements.count("0010,0010")) << r.output;
  EXPECT_EQ(r.elements.at("0008,0005").second, "ISO 2022 IR 13\\ISO 2022 IR 87");
  EXPECT_EQ(r.elements.at("0010,0010").second, name);
  EXPECT_EQ(r.elements.at("0010,0020").second, "検査-1");
  EXPECT_EQ(r.elements.at("0008,1030").second, description);
  EXPECT_EQ(r.elements.at("0008,103E").second, "");
  EXPECT_EQ(file.filename().string().rfind("検査-1_", 0), 0u) << file;
  EXPECT_EQ(r.pixels, raw);
}

TEST_F(Interop, TheValidatorFindsNoErrorAndPydicomDecodesEveryText) {
  for (const char* option : {"", "ON"}) {
    SCOPED_TRACE(option);
    site(std::string("[Settings]\nOptionDICOM_F=") + option + "\n");
    for (const crapp::ScanInformation& info :
         {crapp::ScanInformation{"D-1", "Judge^Outside", "Butt weld"},
          crapp::ScanInformation{"管-7", "高橋^鋼管", "突合せ 溶融 A-3"}}) {
      std::string raw;
      const fs::path file = exportPlate(info, &raw);
      std::map<std::string, std::string> texts;
      const std::vector<std::string> complaints = testsupport::dicomJudgeComplaints(file, &texts);
      EXPECT_TRUE(complaints.empty()) << ::testing::PrintToString(complaints);
      EXPECT_EQ(texts["0010,0010"], info.name);
      EXPECT_EQ(texts["0010,0020"], info.id);
      EXPECT_EQ(texts["0008,103E"], info.description);
      fs::remove(file);
    }
  }
}

TEST_F(Interop, TextWithoutACodeInTheFileIsRefusedNotWrittenWrong) {
  // Circled one (NEC row 13), taka in its ladder form (IBM rows), u umlaut (no CP932 code).
  for (const char* name : {"\xE2\x91\xA0", "\xE9\xAB\x99\xE6\xA9\x8B", "M\xC3\xBCller"}) {
    CDataContainer c(dir.path());
    c.setClockForTest(fixedTime);
    crapptest::prepareScan(c, 8, 8, 12, {"R-1", name, ""});
    EXPECT_EQ(c.OutputDICOM(), 0) << name;
    EXPECT_TRUE(c.lastExportedFile().empty() || !fs::exists(c.lastExportedFile())) << name;
  }
}

TEST_F(Interop, DcmdumpAndDciodvfyAccept) {
  std::string raw;
  const fs::path file = exportPlate({"D-1", "Judge^Outside", "Butt weld"}, &raw);
  const auto dump = testsupport::runCommand("dcmdump +E " + quoted(file) + " 2>&1 >/dev/null");
  EXPECT_EQ(dump.status, 0) << dump.output;
  EXPECT_EQ(dump.output, "");
  const auto verify = testsupport::runCommand("dciodvfy " + quoted(file));
  // It took the file for a CR image; the meta group is what our file adds to
  // what the data set holds, and none of it may be in error.
  EXPECT_NE(verify.output.find("CRImage"), std::string::npos) << verify.output;
  std::istringstream lines(verify.output);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find("Error") == std::string::npos) continue;
    EXPECT_EQ(line.find("Meta"), std::string::npos) << line;
    EXPECT_EQ(line.find("(0x0002,"), std::string::npos) << line;
  }
}

}  // namespace
