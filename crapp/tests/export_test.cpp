// The export set: names, contents, and that a reader of the export folder
// never finds a ".ready" beside an incomplete set, whatever fails or dies.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "crapp/datacontainer.h"
#include "dicom/dicom.h"
#include "fixture.h"
#include "log/log.h"
#include "platform/process.h"
#include "platform/text.h"
#include "testsupport/testsupport.h"

namespace {

namespace fs = std::filesystem;
using crapp::CDataContainer;
using crapp::ScanInformation;

std::time_t fixedTime() { return crapptest::localTime(2026, 3, 4, 5, 6, 7); }
constexpr const char* kStamp = "20260304050607";

std::string readString(DicomObject* o, std::uint32_t g, std::uint32_t e) {
  char text[1024] = {};
  if (!GetDicomString(o, g, e, 0, text, sizeof text)) return "<missing>";
  std::string v(text);
  while (!v.empty() && (v.back() == ' ' || v.back() == '\0')) v.pop_back();
  return v;
}

// What a reader of the export folder would take: for every ".ready", the
// complete set; a set must hold the expected pixels.
struct Published {
  int sets = 0;
  std::string problem;
};

Published checkPublished(const fs::path& folder, const std::string& raw) {
  Published p;
  std::error_code ec;
  for (auto& entry : fs::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    const std::string suffix = ".dcm.ready";
    if (name.size() <= suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
      continue;
    ++p.sets;
    const fs::path dcm = folder / name.substr(0, name.size() - 6);
    const std::string info = testsupport::readFile(dcm.string() + ".info");
    if (info.find("[ImportInfo]") == std::string::npos || info.find("Source=Halcyone") == std::string::npos)
      p.problem += "info of " + name + " incomplete\n";
    const std::string file = testsupport::readFile(dcm);
    if (file.size() < raw.size() || file.compare(file.size() - raw.size(), raw.size(), raw) != 0) {
      p.problem += "pixels of " + name + " incomplete\n";
      continue;
    }
    DicomObject* o = nullptr;
    CreateDicomObject(&o);
    if (!ReadDicomFile(o, dcm.c_str(), 1)) p.problem += dcm.string() + " unreadable\n";
    DeleteDicomObject(o);
  }
  return p;
}

class Export : public ::testing::Test {
 protected:
  void SetUp() override {
    Log::setLogFileDir((dir.path() / "testlog").c_str());
    crapptest::writeMainIni(dir.path());
  }
  std::unique_ptr<CDataContainer> container() {
    auto c = std::make_unique<CDataContainer>(dir.path());
    c->setClockForTest(fixedTime);
    return c;
  }
  testsupport::TempDir dir;
};

TEST_F(Export, PublishesTheThreeFilesAndCountsTheStudy) {
  auto c = container();
  const std::string raw = crapptest::prepareScan(*c, 30, 40, 12, {"W-17", "Weld", "Seam"});
  ASSERT_EQ(c->OutputDICOM(), 1);
  const fs::path out = c->exportFolder();
  const std::string base = std::string("W-17_") + kStamp;
  EXPECT_EQ(crapptest::listFolder(out), base + ".dcm\n" + base + ".dcm.info\n" + base + ".dcm.ready\n");
  EXPECT_EQ(c->lastExportedFile(), out / (base + ".dcm"));
  EXPECT_EQ(fs::file_size(out / (base + ".dcm.ready")), 0u);
  EXPECT_EQ(checkPublished(out, raw).problem, "");
  EXPECT_FALSE(fs::exists(c->internalDicomPath()));
  EXPECT_EQ(c->ReadStudyCounter(), 1);

  // The pixel headers and the samples close the file.
  const std::string file = testsupport::readFile(out / (base + ".dcm"));
  ASSERT_GT(file.size(), raw.size() + 24);
  const std::string header = file.substr(file.size() - raw.size() - 24, 24);
  const std::uint32_t n = static_cast<std::uint32_t>(raw.size());
  std::string expected = std::string("\xE0\x7F\x00\x00UL\x04\x00", 8);
  for (int i = 0; i < 4; ++i) expected.push_back(static_cast<char>((n + 12) >> (8 * i)));
  expected += std::string("\xE0\x7F\x10\x00OW\x00\x00", 8);
  for (int i = 0; i < 4; ++i) expected.push_back(static_cast<char>(n >> (8 * i)));
  EXPECT_EQ(header, expected);
}

TEST_F(Export, TypedIdStaysInsideTheExportFolderAndInTheFile) {
  struct Case {
    std::string typed, base;
  } cases[] = {
      {"../x", std::string(".._x_") + kStamp},
      {"a\\b/c", std::string("a_b_c_") + kStamp},
      {std::string("t\x01\x1f\x7f", 4), std::string("t____") + kStamp},
      {"", kStamp},
      // A name has at most 255 bytes: a long ID is cut, never inside a character.
      {[] { std::string id; for (int i = 0; i < 300; ++i) id += "検"; return id; }(),
       [] { std::string id; for (int i = 0; i < 66; ++i) id += "検"; return id; }() + "_" + kStamp},
  };
  for (const Case& k : cases) {
    auto c = container();
    crapptest::prepareScan(*c, 4, 6, 16, {k.typed, "N", ""});
    ASSERT_EQ(c->OutputDICOM(), 1) << k.typed;
    EXPECT_EQ(c->lastExportedFile(), c->exportFolder() / (k.base + ".dcm")) << k.typed;
    EXPECT_TRUE(fs::exists(c->exportFolder() / (k.base + ".dcm.ready"))) << k.typed;

    DicomObject* o = nullptr;
    CreateDicomObject(&o);
    ASSERT_TRUE(ReadDicomFile(o, c->lastExportedFile().c_str(), 1));
    // The library's writer drops control characters from texts; the rest is kept as typed.
    std::string kept;
    for (char ch : k.typed)
      if (static_cast<unsigned char>(ch) >= 0x20) kept.push_back(ch);
    EXPECT_EQ(platform::text::cp932ToUtf8(readString(o, 0x0010, 0x0020)), kept) << k.typed;
    DeleteDicomObject(o);
    fs::remove_all(c->exportFolder());
  }
}

TEST_F(Export, AnExistingSetIsNeverReplaced) {
  auto c = container();
  const std::string first = crapptest::prepareScan(*c, 8, 8, 16, {"", "", ""});
  ASSERT_EQ(c->OutputDICOM(), 1);
  const std::string firstFile = testsupport::readFile(c->lastExportedFile());
  // An orphan companion also keeps its name taken.
  testsupport::writeFile(c->exportFolder() / (std::string(kStamp) + "_1.dcm.ready"), "");
  for (int expectedSuffix : {2, 3}) {
    crapptest::prepareScan(*c, 8, 9, 16, {"", "", ""});
    ASSERT_EQ(c->OutputDICOM(), 1);
    EXPECT_EQ(c->lastExportedFile(),
              c->exportFolder() / (std::string(kStamp) + "_" + std::to_string(expectedSuffix) + ".dcm"));
  }
  EXPECT_EQ(testsupport::readFile(c->exportFolder() / (std::string(kStamp) + ".dcm")), firstFile);
  EXPECT_FALSE(fs::exists(c->exportFolder() / (std::string(kStamp) + "_1.dcm")));
}

TEST_F(Export, ShortRawBadImageOrMissingRecordsPublishNothing) {
  auto c = container();
  crapptest::prepareScan(*c, 10, 10, 16, {"S", "", ""});
  EXPECT_EQ(c->OutputDICOM(), 1);
  fs::remove_all(c->exportFolder());
  fs::create_directory(c->exportFolder());

  const std::string raw = crapptest::prepareScan(*c, 10, 10, 16, {"S", "", ""});
  testsupport::writeFile(c->rawImagePath(), raw.substr(0, raw.size() - 2));
  EXPECT_EQ(c->OutputDICOM(), 0);
  EXPECT_TRUE(fs::is_empty(c->exportFolder())) << crapptest::listFolder(c->exportFolder());
  EXPECT_FALSE(fs::exists(c->internalDicomPath()));
  EXPECT_EQ(c->ReadStudyCounter(), 1);

  c->DeleteScanRecords();
  EXPECT_EQ(c->OutputDICOM(), 0);
  EXPECT_TRUE(fs::is_empty(c->exportFolder()));

  // Images the file's fields cannot describe.
  const crapp::ScanImage bad[] = {
      {70000, 2, 16, 280000},  // rows beyond 16 bits
      {10, 10, 16, 100},       // a byte count that is not rows x columns x 2
      {10, 10, 17, 200},       // more bits than a sample holds
      {0, 10, 16, 0},
  };
  for (const crapp::ScanImage& image : bad) {
    crapptest::prepareScan(*c, 10, 10, 16, {"B", "", ""});
    c->CreateScanImage(image);
    EXPECT_EQ(c->OutputDICOM(), 0) << image.rows << " x " << image.columns << " bits " << image.bitsStored;
    EXPECT_TRUE(fs::is_empty(c->exportFolder()));
  }
}

TEST_F(Export, WholeChunksLeaveNoRemainder) {
  // 2 x 10 MiB of samples: two reads of the copy buffer and no third.
  const int rows = 2048, columns = 5120;
  auto c = container();
  const std::string raw = crapptest::prepareScan(*c, rows, columns, 16, {"big", "", ""});
  ASSERT_EQ(raw.size(), 2 * CDataContainer::kCopyBufferSize);
  int reads = 0;
  c->setFileStepHook([&](int, std::string_view what) {
    if (what == "read pixel chunk") ++reads;
    return true;
  });
  ASSERT_EQ(c->OutputDICOM(), 1);
  EXPECT_EQ(reads, 2);
  EXPECT_EQ(checkPublished(c->exportFolder(), raw).problem, "");
}

// The export folder on another file system than the data folder, where one is at hand.
std::optional<fs::path> otherFileSystem(const fs::path& than) {
  struct stat a {}, b {};
  if (::stat(than.c_str(), &a) != 0 || ::stat("/dev/shm", &b) != 0 || a.st_dev == b.st_dev) return std::nullopt;
  return fs::path("/dev/shm");
}

class ShmFolder {
 public:
  explicit ShmFolder(const fs::path& root) {
    std::string pattern = (root / "ndt-crapp-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~ShmFolder() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Fails each file operation of an export in turn; after each, nothing of the
// set is left and nothing is marked ready; the export then succeeds.
void failEachStep(testsupport::TempDir& dir, const std::string& exportPath) {
  if (!exportPath.empty())
    testsupport::writeFile(dir / "HalcyoneSite.ini", "[Settings]\nExportPath=" + exportPath + "\n");
  std::vector<std::string> steps;
  {
    CDataContainer c(dir.path());
    const std::string raw = crapptest::prepareScan(c, 16, 20, 14, {"F", "", ""});
    c.setFileStepHook([&](int, std::string_view what) {
      steps.emplace_back(what);
      return true;
    });
    ASSERT_EQ(c.OutputDICOM(), 1);
    fs::remove_all(c.exportFolder());
  }
  ASSERT_GT(steps.size(), 8u);
  for (std::size_t k = 0; k < steps.size(); ++k) {
    CDataContainer c(dir.path());
    c.setClockForTest(fixedTime);
    const std::string raw = crapptest::prepareScan(c, 16, 20, 14, {"F", "", ""});
    c.setFileStepHook([&](int step, std::string_view) { return step != static_cast<int>(k); });
    const int result = c.OutputDICOM();
    const Published p = checkPublished(c.exportFolder(), raw);
    EXPECT_EQ(p.problem, "") << "failing " << steps[k];
    if (steps[k] == "write study counter" || steps[k] == "move to export folder") {
      // The set is out before the counter moves; a failed move is tried once more.
      EXPECT_EQ(result, 1) << "failing " << steps[k];
      EXPECT_EQ(p.sets, 1) << "failing " << steps[k];
    } else {
      EXPECT_EQ(result, 0) << "failing " << steps[k];
      EXPECT_TRUE(fs::is_empty(c.exportFolder()))
          << "failing " << steps[k] << ":\n" << crapptest::listFolder(c.exportFolder());
      // The operator saves again, and this time it goes through.
      c.setFileStepHook({});
      EXPECT_EQ(c.OutputDICOM(), 1) << "after failing " << steps[k];
      EXPECT_EQ(checkPublished(c.exportFolder(), raw).sets, 1);
    }
    fs::remove_all(c.exportFolder());
  }
  // A move that fails on its second try too gives up.
  CDataContainer c(dir.path());
  crapptest::prepareScan(c, 16, 20, 14, {"F", "", ""});
  int moves = 0;
  c.setFileStepHook([&](int, std::string_view what) { return what != "move to export folder" || ++moves > 2; });
  EXPECT_EQ(c.OutputDICOM(), 0);
  EXPECT_EQ(moves, 2);
  EXPECT_TRUE(fs::is_empty(c.exportFolder())) << crapptest::listFolder(c.exportFolder());
}

TEST_F(Export, FailingAnyFileOperationMarksNothingReady) { failEachStep(dir, ""); }

TEST_F(Export, AcrossFileSystemsTheSetIsCopiedThenRenamed) {
  auto shm = otherFileSystem(dir.path());
  if (!shm) GTEST_SKIP() << "no second file system";
  ShmFolder out(*shm);
  ASSERT_FALSE(out.path().empty());
  failEachStep(dir, (out.path() / "sets").string());
  // The copy path really ran: its steps exist only there.
  testsupport::writeFile(dir / "HalcyoneSite.ini", "[Settings]\nExportPath=" + (out.path() / "sets").string() + "\n");
  CDataContainer c(dir.path());
  const std::string raw = crapptest::prepareScan(c, 16, 20, 14, {"F", "", ""});
  bool copied = false;
  c.setFileStepHook([&](int, std::string_view what) {
    copied = copied || what == "copy chunk to export folder";
    return true;
  });
  ASSERT_EQ(c.OutputDICOM(), 1);
  EXPECT_TRUE(copied);
  EXPECT_EQ(checkPublished(c.exportFolder(), raw).sets, 1);
  EXPECT_FALSE(fs::exists(c.internalDicomPath()));
}

// Exports in a second process that kills itself before step args[1].
const testsupport::ChildRegistration killedExport("crapp-killed-export", [](const std::vector<std::string>& args) {
  const fs::path programDir = args.at(0);
  const int killAt = std::stoi(args.at(1));
  Log::setLogFileDir((programDir / "testlog").c_str());
  CDataContainer c(programDir);
  c.setClockForTest(fixedTime);
  crapptest::prepareScan(c, 16, 20, 14, {"K", "", ""});
  c.setFileStepHook([&](int step, std::string_view) {
    if (step == killAt) ::raise(SIGKILL);
    return true;
  });
  return c.OutputDICOM() == 1 ? 0 : 1;
});

TEST_F(Export, AKilledExportLeavesNoReadyMarkerBesideAnIncompleteSet) {
  const std::string raw = crapptest::makeRaw(16, 20, 14);
  bool finished = false;
  int kills = 0;
  for (int k = 0; !finished && k < 100; ++k) {
    testsupport::TempDir program;
    crapptest::writeMainIni(program.path());
    platform::Process child;
    ASSERT_TRUE(child.start(testsupport::selfExecutable(),
                            testsupport::childArgs("crapp-killed-export", {program.path().string(), std::to_string(k)})));
    const platform::ProcessExit exit = child.wait();
    const Published p = checkPublished(program / "halcExport", raw);
    EXPECT_EQ(p.problem, "") << "killed before step " << k;
    if (exit.kind == platform::ProcessExit::Kind::Signalled) {
      EXPECT_EQ(exit.code, SIGKILL);
      ++kills;
      EXPECT_LE(p.sets, 1);
    } else {
      ASSERT_EQ(exit.kind, platform::ProcessExit::Kind::Exited);
      EXPECT_EQ(exit.code, 0);
      EXPECT_EQ(p.sets, 1);
      finished = true;
    }
  }
  EXPECT_TRUE(finished);
  EXPECT_GT(kills, 8);
}

}  // namespace
