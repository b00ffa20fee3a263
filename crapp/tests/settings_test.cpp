// Settings, plate sizes, folders and the image-memory check of the CR program.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>

#include "crapp/datacontainer.h"
#include "fixture.h"
#include "log/log.h"
#include "platform/process.h"
#include "testsupport/testsupport.h"

namespace {

namespace fs = std::filesystem;
using crapp::CDataContainer;

class Settings : public ::testing::Test {
 protected:
  void SetUp() override { Log::setLogFileDir((dir.path() / "testlog").c_str()); }
  void site(const std::string& text) { testsupport::writeFile(dir / "HalcyoneSite.ini", text); }
  testsupport::TempDir dir;
};

TEST_F(Settings, MissingFilesGiveTheDefaultsAndTheFolders) {
  CDataContainer c(dir.path());
  EXPECT_EQ(c.GetAvailableImageSize(), 500);
  EXPECT_EQ(c.GetEraseMode(), 2);
  EXPECT_EQ(c.GetImagePhotometrics(), 1);
  EXPECT_EQ(c.GetDescriptionCategoryStudy(), 0);
  EXPECT_EQ(c.GetScanSpeedSlow(), 0);
  EXPECT_EQ(c.GetLogLevel(), 6);
  EXPECT_EQ(c.GetIPSizeCount(), 0);
  EXPECT_EQ(c.CheckPairPitchAndSize(1, 50), 0);
  EXPECT_EQ(c.ReadBusyWaitLimitMs(), 600000);
  EXPECT_EQ(c.ReadStudyCounter(), 0);
  const auto ui = c.ReadUISettings();
  EXPECT_EQ(ui.ipSizeId, 1);
  EXPECT_EQ(ui.scanPitch, 40);
  EXPECT_EQ(ui.sensitivity, 100);
  EXPECT_EQ(ui.scanSpeed, 2);
  EXPECT_EQ(c.exportFolder(), dir.path() / "halcExport");
  EXPECT_EQ(c.internalDicomPath(), dir.path() / "halcData" / "Halcyone.dcm");
  EXPECT_EQ(c.rawImagePath(), dir.path() / "halcData" / "Halcyone.raw");
  for (const char* folder : {"halcLog", "halcData", "halcExport"})
    EXPECT_TRUE(fs::is_directory(dir / folder)) << folder;
}

struct SiteCase {
  const char* key;
  const char* value;
  std::function<int(const CDataContainer&)> get;
  int expected;
};

TEST_F(Settings, OutOfRangeValuesFallBack) {
  const auto available = [](const CDataContainer& c) { return c.GetAvailableImageSize(); };
  const auto erase = [](const CDataContainer& c) { return c.GetEraseMode(); };
  const auto photometrics = [](const CDataContainer& c) { return c.GetImagePhotometrics(); };
  const auto slow = [](const CDataContainer& c) { return c.GetScanSpeedSlow(); };
  const auto category = [](const CDataContainer& c) { return c.GetDescriptionCategoryStudy(); };
  const SiteCase cases[] = {
      {"AvailableImageSize", "0", available, 500},   {"AvailableImageSize", "-4", available, 500},
      {"AvailableImageSize", "1", available, 1},     {"EraseMode", "7", erase, 2},
      {"EraseMode", "-1", erase, 2},                 {"EraseMode", "0", erase, 0},
      {"EraseMode", "3", erase, 3},                  {"ImagePhotometrics", "-1", photometrics, 1},
      {"ImagePhotometrics", "5", photometrics, 1},   {"ImagePhotometrics", "4", photometrics, 4},
      {"ImagePhotometrics", "0", photometrics, 0},   {"ScanSpeedSlow", "on", slow, 0},
      {"ScanSpeedSlow", "ON", slow, 1},              {"DescriptionCategoryStudy", "1", category, 1},
      {"DescriptionCategoryStudy", "2", category, 0},
  };
  for (const SiteCase& k : cases) {
    site(std::string("[Settings]\n") + k.key + "=" + k.value + "\n");
    CDataContainer c(dir.path());
    EXPECT_EQ(k.get(c), k.expected) << k.key << "=" << k.value;
  }
}

TEST_F(Settings, PlateSizeIdsStayConsecutive) {
  testsupport::writeFile(dir / "Halcyone.ini",
                         "[IPSizeID_1]\nMmWidth=254\nMmHeight=305\nDispName=A\nCassetteSizeString=CA\n"
                         // 2 is missing; 3 is valid; 4 lacks its cassette text; 5 is negative
                         "[IPSizeID_3]\nMmWidth=356\nMmHeight=432\nDispName=B\nCassetteSizeString=CB\n"
                         "[IPSizeID_4]\nMmWidth=100\nMmHeight=100\nDispName=C\n"
                         "[IPSizeID_5]\nMmWidth=-100\nMmHeight=100\nDispName=D\nCassetteSizeString=CD\n"
                         "[IPSizeID_30]\nMmWidth=10\nMmHeight=20\nDispName=E\nCassetteSizeString=CE\n"
                         "[IPSizeID_31]\nMmWidth=10\nMmHeight=20\nDispName=F\nCassetteSizeString=CF\n");
  CDataContainer c(dir.path());
  ASSERT_EQ(c.GetIPSizeCount(), 3);
  const auto* second = c.GetIPSizeById(2);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->dispName, "B");
  EXPECT_EQ(second->cassetteSize, "CB");
  EXPECT_EQ(second->mmWidth, 356);
  EXPECT_EQ(second->mmHeight, 432);
  EXPECT_EQ(c.GetIPSizeByIndex(3)->dispName, "E");
  EXPECT_EQ(c.GetIPSizeByIndex(4), nullptr);
  EXPECT_EQ(c.GetIPSizeByIndex(0), nullptr);
  EXPECT_EQ(c.GetIPSizeById(4), nullptr);
}

TEST_F(Settings, SizeCheckLimitIsExclusiveAndWide) {
  // 512 x 1024 samples of 2 bytes are exactly 1 MiB.
  testsupport::writeFile(dir / "Halcyone.ini",
                         "[IPSizeID_1]\nMmWidth=512\nMmHeight=1024\nDispName=A\nCassetteSizeString=A\n"
                         "[IPSizeID_2]\nMmWidth=511\nMmHeight=1024\nDispName=B\nCassetteSizeString=B\n"
                         "[IPSizeID_3]\nMmWidth=364\nMmHeight=5000\nDispName=C\nCassetteSizeString=C\n");
  struct Case {
    int available, id, pitch, expected;
  } cases[] = {
      {1, 1, 1000, 0},      // exactly at the limit
      {1, 2, 1000, 1},      // one column less
      {1, 1, 1001, 1},      // integer divisions shrink the image
      {1, 9, 1000, 0},      // no such plate
      {1, 1, 0, 0},         // no pitch
      {1, 1, -5, 0},
      // 364 mm x 5000 mm at 1 um is 3.64e12 bytes: far beyond 32 bits, below the limit
      {2000000, 3, 1, 0},
      {4000000, 3, 1, 1},
  };
  for (const Case& k : cases) {
    site("[Settings]\nAvailableImageSize=" + std::to_string(k.available) + "\n");
    CDataContainer c(dir.path());
    EXPECT_EQ(c.CheckPairPitchAndSize(k.id, k.pitch), k.expected)
        << "available " << k.available << " id " << k.id << " pitch " << k.pitch;
  }
}

TEST_F(Settings, ExportPathResolvesAgainstTheProgramFolderAndIsCreated) {
  testsupport::TempDir elsewhere;
  const fs::path cwd = fs::current_path();
  fs::current_path(elsewhere.path());
  struct Case {
    std::string configured;
    fs::path expected;
  } cases[] = {
      {"out\\sets\\today", dir.path() / "out" / "sets" / "today"},
      {".\\x", dir.path() / "x"},
      {(dir.path() / "abs" / "deep").string(), dir.path() / "abs" / "deep"},
  };
  for (const Case& k : cases) {
    site("[Settings]\nExportPath=" + k.configured + "\n");
    CDataContainer c(dir.path());
    EXPECT_EQ(c.exportFolder(), k.expected) << k.configured;
    EXPECT_TRUE(fs::is_directory(k.expected)) << k.configured;
  }
  EXPECT_TRUE(fs::is_empty(elsewhere.path()));
  fs::current_path(cwd);
}

TEST_F(Settings, DataFolderIsEmptiedButNothingOutsideIt) {
  const fs::path data = dir / "halcData";
  fs::create_directories(data / "sub" / "locked");
  testsupport::writeFile(data / "Halcyone.raw", "old");
  testsupport::writeFile(data / "sub" / "locked" / "f", "x");
  ::chmod((data / "sub" / "locked").c_str(), 0500);
  ::chmod((data / "sub").c_str(), 0500);
  const fs::path outside = dir / "keep.txt";
  testsupport::writeFile(outside, "keep");
  fs::create_symlink(outside, data / "link");
  fs::create_directory_symlink(dir.path(), data / "dirlink");

  CDataContainer c(dir.path());
  EXPECT_TRUE(fs::is_directory(data));
  EXPECT_TRUE(fs::is_empty(data)) << crapptest::listFolder(data);
  EXPECT_EQ(testsupport::readFile(outside), "keep");

  testsupport::writeFile(data / "again", "y");
  EXPECT_TRUE(c.EmptyDataFolder());
  EXPECT_TRUE(fs::is_empty(data));
}

// A folder `total` characters long below `base`, of components a file system takes.
fs::path longFolder(const fs::path& base, std::size_t total) {
  fs::path p = base;
  while (p.native().size() + 1 < total) {
    const std::size_t room = total - p.native().size() - 1;
    p /= std::string(std::min<std::size_t>(room, 60), 'p');
  }
  return p;
}

TEST_F(Settings, FoldersThatCannotWorkAreRefusedAndNothingIsEmptiedOrMade) {
  using Kind = crapp::FolderProblem::Kind;
  const fs::path data = dir / "halcData";
  struct Case {
    const char* what;
    std::string exportPath;
    Kind kind;
    fs::path folder;
  } cases[] = {
      {"the data folder", ".\\halcData", Kind::ExportIsData, data},
      {"the data folder with a trailing separator", ".\\halcData\\", Kind::ExportIsData, data},
      {"the data folder by another road", ".\\x\\..\\halcData", Kind::ExportIsData, data},
      {"inside the data folder", "halcData\\sets", Kind::ExportInsideData, data / "sets"},
      {"the data folder absolute", data.string(), Kind::ExportIsData, data},
      {"the program folder, which holds the data folder", ".", Kind::DataInsideExport, dir.path()},
      {"through a link to the data folder", ".\\toData\\in", Kind::ExportInsideData, dir / "toData" / "in"},
      {"longer than its setting", "out\\" + std::string(255, 'e'), Kind::ExportPathTooLong,
       dir / "out" / std::string(255, 'e')},
  };
  fs::create_directories(data);
  fs::create_directory_symlink(data, dir / "toData");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // A plate saved before must survive the start.
    testsupport::writeFile(data / "saved.dcm", "plate");
    site("[Settings]\nExportPath=" + c.exportPath + "\n");
    CDataContainer container(dir.path());
    EXPECT_EQ(container.startProblem().kind, c.kind);
    EXPECT_EQ(container.startProblem().folder, c.folder);
    EXPECT_EQ(testsupport::readFile(data / "saved.dcm"), "plate");
    EXPECT_FALSE(fs::exists(dir / "halcExport"));
    EXPECT_FALSE(fs::exists(dir / "out"));
    if (c.kind == Kind::ExportPathTooLong) {
      EXPECT_EQ(container.startProblem().limit, 255u);
      EXPECT_EQ(container.startProblem().length, c.exportPath.size());
    }
  }
  // A folder beside the data folder whose name only begins like it is fine.
  site("[Settings]\nExportPath=.\\halcData2\n");
  CDataContainer fine(dir.path());
  EXPECT_FALSE(fine.startProblem());
  EXPECT_TRUE(fs::is_directory(dir / "halcData2"));
}

TEST_F(Settings, AProgramFolderTooLongForTheEnginesRecordIsRefusedOnce) {
  // The raw image path "<folder>/halcData/Halcyone.raw" may have 259 characters.
  const std::string tail = "/halcData/Halcyone.raw";
  struct Case {
    std::size_t rawLength;
    bool refused;
  } cases[] = {{259, false}, {260, true}, {300 + tail.size(), true}};
  for (const Case& c : cases) {
    const fs::path program = longFolder(dir / std::to_string(c.rawLength), c.rawLength - tail.size());
    ASSERT_EQ(program.native().size() + tail.size(), c.rawLength);
    fs::create_directories(program);
    CDataContainer container(program);
    EXPECT_EQ(container.rawImagePath().native().size(), c.rawLength);
    EXPECT_EQ(bool(container.startProblem()), c.refused) << c.rawLength;
    EXPECT_EQ(fs::exists(program / "halcData"), !c.refused) << c.rawLength;
    if (!c.refused) continue;
    EXPECT_EQ(container.startProblem().kind, crapp::FolderProblem::Kind::PathTooLong);
    EXPECT_EQ(container.startProblem().folder, program / "halcData");
    EXPECT_EQ(container.startProblem().length, (program / "halcData").native().size());
    EXPECT_EQ(container.startProblem().limit, 259 - std::string("/Halcyone.raw").size());
  }
}

TEST(ExportTemporaryName, OnlyTheExactPatternNamesAProcess) {
  EXPECT_EQ(crapp::exportTemporaryName("W-17_1", 4242), ".W-17_1.dcm.4242.tmp");
  struct Case {
    const char* name;
    long pid;
  } cases[] = {
      {".W-17.dcm.4242.tmp", 4242}, {".a.dcm.1.tmp", 1},     {".a.b.dcm.7.tmp", 7},
      {"W-17.dcm.4242.tmp", 0},     {"..dcm.5.tmp", 0},      {".a.dcm..tmp", 0},
      {".a.dcm.12.tmpx", 0},        {".a.dcm.012.tmp", 0},   {".a.dcm.1x2.tmp", 0},
      {".a.DCM.12.tmp", 0},         {".a.dcm.12", 0},        {".a.dcm.99999999999.tmp", 0},
      {".a.dcm.4294967296.tmp", 0}, {".tmp", 0},             {"", 0},
      {".a.dcm.-3.tmp", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(crapp::exportTemporaryOwner(c.name), c.pid) << c.name;
}

TEST_F(Settings, StaleCopiesOfEndedSavesAreRemovedAtStartAndNothingElse) {
  // A process that has ended: its id names nobody now.
  platform::Process ended;
  ASSERT_TRUE(ended.start("/bin/true", {}));
  const long gone = ended.pid();
  ended.wait();
  const fs::path out = dir / "halcExport";
  fs::create_directories(out);
  const std::string stale = crapp::exportTemporaryName("W-17", gone);
  const std::string own = crapp::exportTemporaryName("W-18", ::getpid());
  const std::string running = crapp::exportTemporaryName("W-19", ::getppid());
  for (const std::string& name : {stale, own, running, std::string("W-17.dcm"), std::string("W-17.dcm.ready"),
                                  std::string(".W-17.dcm.tmp"), std::string(".note")})
    testsupport::writeFile(out / name, "x");
  fs::create_directories(out / crapp::exportTemporaryName("folder", gone));

  CDataContainer c(dir.path());
  EXPECT_FALSE(fs::exists(out / stale));
  EXPECT_FALSE(fs::exists(out / own));  // one instance: a copy under our own id is stale too
  EXPECT_TRUE(fs::exists(out / running));
  for (const char* kept : {"W-17.dcm", "W-17.dcm.ready", ".W-17.dcm.tmp", ".note"})
    EXPECT_TRUE(fs::exists(out / kept)) << kept;
  EXPECT_TRUE(fs::is_directory(out / crapp::exportTemporaryName("folder", gone)));
}

TEST_F(Settings, WrittenValuesReadBack) {
  CDataContainer c(dir.path());
  c.WriteUISettings({3, 100, 400, 1});
  c.WriteWindowRect({10, 20, 810, 620});
  EXPECT_TRUE(c.WriteStudyCounter(41));
  const auto ui = c.ReadUISettings();
  EXPECT_EQ(ui.ipSizeId, 3);
  EXPECT_EQ(ui.scanPitch, 100);
  EXPECT_EQ(ui.sensitivity, 400);
  EXPECT_EQ(ui.scanSpeed, 1);
  const auto r = c.ReadWindowRect();
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.top, 20);
  EXPECT_EQ(r.right, 810);
  EXPECT_EQ(r.bottom, 620);
  EXPECT_EQ(c.ReadStudyCounter(), 41);
  EXPECT_NE(testsupport::readFile(dir / "HalcyoneSite.ini").find("Count=41"), std::string::npos);
}

}  // namespace
