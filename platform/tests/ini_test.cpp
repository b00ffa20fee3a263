#include "platform/ini.h"
#include "platform/process.h"
#include "testsupport/testsupport.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

using platform::ini::IniFile;
using testsupport::readFile;
using testsupport::writeFile;

TEST(Ini, ReadTable) {
  const std::string content =
      "; comment\r\n"
      "top=outside any section\r\n"
      "[Scan]\r\n"
      "  Pitch =  50  \r\n"
      "Name=\"  quoted value  \"\r\n"
      "Single='x'\r\n"
      "Empty=\r\n"
      "Digits=55zz\r\n"
      "Negative=  -7\r\n"
      "Plus=+12\r\n"
      "Letters=abc\r\n"
      "Huge=99999999999999\r\n"
      "pitch=second\r\n"
      "[scan]\r\n"
      "Extra=from the second section\r\n"
      "Pitch=shadowed\r\n";
  IniFile ini = IniFile::parse(content);
  struct Case {
    const char* section;
    const char* key;
    std::optional<std::string> value;
  } cases[] = {
      {"Scan", "Pitch", "50"},
      {"SCAN", "pitch", "50"},  // case-insensitive, first match wins
      {"Scan", "Name", "  quoted value  "},
      {"Scan", "Single", "x"},
      {"Scan", "Empty", ""},
      {"scan", "Extra", "from the second section"},
      {"Scan", "Missing", std::nullopt},
      {"Other", "Pitch", std::nullopt},
      {"", "top", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ini.value(c.section, c.key), c.value) << c.section << "/" << c.key;

  struct IntCase {
    const char* key;
    int value;
  } ints[] = {{"Pitch", 50}, {"Digits", 55}, {"Negative", -7}, {"Plus", 12},
              {"Letters", 0}, {"Empty", 0},  {"Huge", 2147483647}, {"Missing", 42}};
  for (const IntCase& c : ints) EXPECT_EQ(ini.getInt("Scan", c.key, 42), c.value) << c.key;
  EXPECT_EQ(ini.getString("Scan", "Missing", "dflt"), "dflt");
  EXPECT_EQ(ini.keys("Scan").size(), 12u);
}

TEST(Ini, MissingFileGivesDefaultsAndBufferIsCut) {
  testsupport::TempDir dir;
  EXPECT_EQ(platform::ini::getInt(dir / "none.ini", "A", "b", -3), -3);
  writeFile(dir / "a.ini", "[A]\nkey=abcdefgh\n");
  char buf[5] = "zzzz";
  EXPECT_EQ(platform::ini::getString(dir / "a.ini", "A", "key", "", buf, sizeof buf), 4u);
  EXPECT_STREQ(buf, "abcd");
  EXPECT_EQ(platform::ini::getString(dir / "none.ini", "A", "key", "default", buf, sizeof buf), 4u);
  EXPECT_STREQ(buf, "defa");
}

TEST(Ini, WriteCases) {
  testsupport::TempDir dir;
  struct Case {
    const char* name;
    std::string before;  // "<none>" for no file
    const char* section;
    const char* key;
    const char* value;
    std::string after;
  } cases[] = {
      {"new file", "<none>", "S", "k", "v", "[S]\r\nk=v\r\n"},
      {"new section, LF kept", "[A]\nx=1\n", "B", "k", "v", "[A]\nx=1\n[B]\nk=v\n"},
      {"replace in place, others kept", "; c\r\n[A]\r\nx=1\r\ny = 2\r\nz=3\r\n[B]\r\ny=9\r\n", "a", "Y", "20",
       "; c\r\n[A]\r\nx=1\r\nY=20\r\nz=3\r\n[B]\r\ny=9\r\n"},
      {"new key after the section's last key", "[A]\r\nx=1\r\n\r\n[B]\r\nq=0\r\n", "A", "n", "5",
       "[A]\r\nx=1\r\nn=5\r\n\r\n[B]\r\nq=0\r\n"},
      {"last line without ending", "[A]\nx=1", "A", "y", "2", "[A]\nx=1\ny=2\n"},
  };
  int i = 0;
  for (const Case& c : cases) {
    auto file = dir / ("w" + std::to_string(i++) + ".ini");
    if (c.before != "<none>") writeFile(file, c.before);
    ASSERT_TRUE(platform::ini::writeString(file, c.section, c.key, c.value)) << c.name;
    EXPECT_EQ(readFile(file), c.after) << c.name;
  }
  auto file = dir / "refused.ini";
  EXPECT_FALSE(platform::ini::writeString(file, "S", "k", "a\nb"));
  EXPECT_FALSE(platform::ini::writeString(file, "S", "k\r", "v"));
  EXPECT_FALSE(platform::ini::writeString(file, "S", "k=j", "v"));
  EXPECT_FALSE(std::filesystem::exists(file));
}

testsupport::ChildRegistration writer("ini-writer", [](const std::vector<std::string>& args) {
  for (int i = 0; i < 100; ++i)
    if (!platform::ini::writeInt(args[0], "S", args[1] + std::to_string(i), i)) return 1;
  return 0;
});

TEST(Ini, TwoProcessesWritingDifferentKeysLoseNeither) {
  testsupport::TempDir dir;
  auto file = (dir / "shared.ini").string();
  platform::Process a, b;
  ASSERT_TRUE(a.start(testsupport::selfExecutable(), testsupport::childArgs("ini-writer", {file, "a"})));
  ASSERT_TRUE(b.start(testsupport::selfExecutable(), testsupport::childArgs("ini-writer", {file, "b"})));
  EXPECT_EQ(a.wait().code, 0);
  EXPECT_EQ(b.wait().code, 0);
  IniFile ini = IniFile::load(file);
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(ini.getInt("S", "a" + std::to_string(i), -1), i);
    EXPECT_EQ(ini.getInt("S", "b" + std::to_string(i), -1), i);
  }
}

}  // namespace
