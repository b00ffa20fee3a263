#include "viewer/app/settings.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "platform/ini.h"
#include "testsupport/testsupport.h"
#include "viewer/formats/format_support.h"

using namespace viewer::app;
namespace fs = std::filesystem;

TEST(Settings, FirstStartWritesInstanceAndLaterStartsKeepIt) {
  testsupport::TempDir dir;
  const fs::path ini = dir / "Tivola.INI";
  Settings first;
  first.load(ini, 1765400123);
  EXPECT_EQ(first.instance, "1765400123");
  EXPECT_EQ(platform::ini::getString(ini, "Data", "Instance", ""), "1765400123");
  Settings second;
  second.load(ini, 1999999999);
  EXPECT_EQ(second.instance, "1765400123");
  EXPECT_EQ(second.partNo, "58274613");
}

TEST(Settings, ExitWritesOnlyTheKeysThatLiveFromRunToRun) {
  testsupport::TempDir dir;
  const fs::path ini = dir / "Tivola.INI";
  Settings s;
  s.load(ini, 42);
  s.openSeries = 1;
  s.privateTempPath = "/data/work";
  ASSERT_TRUE(s.save(ini));
  const auto file = platform::ini::IniFile::load(ini);
  const std::map<std::string, std::set<std::string>> expected = {
      {"Window", {"Infomation", "Overview", "Main"}},
      {"Unit", {"Scale", "Value"}},
      {"Setting",
       {"NewImageFormat", "ShowDICOM", "UseMIH", "RawBitsPixel", "UsePrivateTemp", "PrivateTempPath", "SaveNewFolder",
        "OpenSeries", "JpegQuality"}},
      {"Data", {"Instance"}},
      {"Zoom", {}},
  };
  for (const auto& [section, keys] : expected) {
    const auto got = file.keys(section);
    EXPECT_EQ(std::set<std::string>(got.begin(), got.end()), keys) << section;
  }
  EXPECT_EQ(file.getInt("Setting", "OpenSeries", 0), 1);
  EXPECT_EQ(file.getString("Setting", "PrivateTempPath", ""), "/data/work");
}

TEST(Settings, ValuesAreClampedWhereTheirUsersNeedIt) {
  testsupport::TempDir dir;
  const fs::path ini = dir / "Tivola.INI";
  const struct {
    const char* rawBits;
    int expectedRaw;
    const char* quality;
    int codedQuality;
  } cases[] = {{"7", 2, "0", 1}, {"-1", 0, "150", 100}, {"1", 1, "80", 80}};
  for (const auto& c : cases) {
    platform::ini::writeString(ini, "Setting", "RawBitsPixel", c.rawBits);
    platform::ini::writeString(ini, "Setting", "JpegQuality", c.quality);
    Settings s;
    s.load(ini, 1);
    EXPECT_EQ(s.rawBitsPixel, c.expectedRaw) << c.rawBits;
    s.handToFormats();
    EXPECT_EQ(viewer::formats::settings().jpegQuality, c.codedQuality) << c.quality;
    EXPECT_EQ(viewer::formats::settings().rawBitsPixel, c.expectedRaw);
  }
  Settings s;
  EXPECT_EQ(s.scanUiLibraryFile(), "libOskelu.so");
  EXPECT_EQ(iniPathFor("/opt/ndt/bin/Tivola"), fs::path("/opt/ndt/bin/Tivola.INI"));
}

TEST(WorkRoot, TmpWinsOverTempAndAnExistingPrivatePathWinsOverBoth) {
  testsupport::TempDir dir;
  fs::create_directories(dir / "private");
  const std::string temp = (dir / "temp").string(), tmp = (dir / "tmp").string();
  const std::string priv = (dir / "private").string() + "/";
  const struct {
    const char* label;
    bool temp, tmp;
    int usePrivate;
    std::string privatePath;
    fs::path root;
    bool missing;
  } cases[] = {
      {"none", false, false, 0, "", dir / "start" / "TEMP", false},
      {"temp", true, false, 0, "", temp, false},
      {"both", true, true, 0, "", tmp, false},
      {"private", true, true, 1, priv, dir / "private", false},
      {"private unused", true, false, 0, priv, temp, false},
      {"private missing", false, true, 1, (dir / "gone").string(), tmp, true},
      {"private missing, no env", false, false, 1, (dir / "gone").string(), dir / "start" / "TEMP", true},
  };
  for (const auto& c : cases) {
    Settings s;
    s.usePrivateTemp = c.usePrivate;
    s.privateTempPath = c.privatePath;
    const WorkRoot w = decideWorkRoot(s, dir / "start", [&](const char* name) -> const char* {
      if (std::string(name) == "TEMP" && c.temp) return temp.c_str();
      if (std::string(name) == "TMP" && c.tmp) return tmp.c_str();
      return nullptr;
    });
    EXPECT_EQ(w.root, c.root) << c.label;
    EXPECT_EQ(w.privateMissing, c.missing) << c.label;
  }
  EXPECT_TRUE(fs::is_directory(dir / "start" / "TEMP"));
}

TEST(WorkRoot, TheTestComparesResolvedPaths) {
  testsupport::TempDir dir;
  fs::create_directories(dir / "Work" / "sub");
  fs::create_symlink(dir / "Work", dir / "link");
  EXPECT_TRUE(isWorkRoot(dir / "Work", dir / "Work"));
  EXPECT_TRUE(isWorkRoot(dir / "Work" / "sub" / "..", dir / "Work"));
  EXPECT_TRUE(isWorkRoot(dir / "link", dir / "Work"));
  EXPECT_TRUE(isWorkRoot(fs::path((dir / "Work").string() + "/"), dir / "Work"));
  EXPECT_FALSE(isWorkRoot(dir / "work", dir / "Work"));
  EXPECT_FALSE(isWorkRoot(dir / "Work" / "sub", dir / "Work"));
}
