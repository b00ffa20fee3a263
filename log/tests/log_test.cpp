#include "log/log.h"

#include "log/internal/format.h"
#include "log_helpers.h"
#include "platform/clock.h"
#include "testsupport/testsupport.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using platform::clock::LocalTime;

// File ages and day boundaries are computed in one fixed zone.
[[maybe_unused]] const bool kUtc = [] {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  return true;
}();

class LogFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    at({2026, 3, 4, 5, 6, 7, 89, 3});
    ASSERT_EQ(log.setLogFileDir(tmp.path().c_str()), 0);
  }

  void at(const LocalTime& t) { clock.setLocalTime(t); }

  std::vector<std::string> lines() { return logtest::readLines(log.getLogFileName()); }
  std::vector<std::string> lines(const std::string& name) { return logtest::readLines(tmp / name); }
  std::vector<std::string> names() { return logtest::fileNames(tmp.path()); }

  // Sets the last write time of a file to `seconds` before the fake clock's now
  // (files written by the tests carry the real time).
  void setAge(const std::filesystem::path& file, std::int64_t seconds) {
    std::int64_t now = Log::internal::fileTime(clock.localTime()) / 10000000LL - Log::internal::kFileTimeEpochOffset;
    timespec times[2] = {{static_cast<time_t>(now - seconds), 0}, {static_cast<time_t>(now - seconds), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  }
  void age(const std::string& name, std::int64_t seconds) { setAge(tmp / name, seconds); }

  testsupport::TempDir tmp;
  platform::clock::FakeSource clock;
  platform::clock::ScopedSource scoped{clock};
  Log::Clogfile log;
};

// --- levels ---------------------------------------------------------------

TEST(Levels, DefaultsAndNamedLevels) {
  Log::Clogfile log;
  EXPECT_EQ(log.getLogLevel(), 3);
  EXPECT_EQ(log.getLogLevel(0), 3);
  EXPECT_EQ(log.getDefaultLogLevel(), 3);
  for (int facility : {1, 25, 100}) EXPECT_EQ(log.getLogLevel(facility), -10) << facility;
  EXPECT_EQ(Log::errorLogLevel(), 1);
  EXPECT_EQ(Log::exitLogLevel(), 0);
  EXPECT_FALSE(log.getLogFileIsDaily());
  EXPECT_EQ(log.getLogFileName(), "");
}

TEST(Levels, SettersAcceptAndReject) {
  struct Case {
    int facility, level, result;
  } cases[] = {
      {101, 3, 1}, {0, 10, 1}, {-1, 3, 1}, {5, 9, 0}, {100, 0, 0}, {0, 0, 0}, {7, 10, 1},
  };
  for (const Case& c : cases) {
    Log::Clogfile log;
    EXPECT_EQ(log.setLogLevel(c.facility, c.level), c.result) << c.facility << "/" << c.level;
    if (c.result == 0) {
      EXPECT_EQ(log.getLogLevel(c.facility), c.level);
    }
  }

  Log::Clogfile log;
  ASSERT_EQ(log.setLogLevel(5, 4), 0);
  EXPECT_EQ(log.setLogLevel(5, -1), 0);  // a negative level unsets
  EXPECT_EQ(log.getLogLevel(5), -10);

  for (int bad : {-1, 10}) {
    EXPECT_EQ(log.setLogLevel(bad), 1) << bad;
    EXPECT_EQ(log.setDefaultLogLevel(bad), 1) << bad;
  }
  EXPECT_EQ(log.getLogLevel(), 3);
  EXPECT_EQ(log.getDefaultLogLevel(), 3);
  EXPECT_EQ(log.setLogLevel(9), 0);
  EXPECT_EQ(log.getLogLevel(0), 9);
  EXPECT_EQ(log.setDefaultLogLevel(0), 0);
  EXPECT_EQ(log.getDefaultLogLevel(), 0);
}

TEST_F(LogFiles, UnsetFacilityFallsBackToFacilityZero) {
  ASSERT_EQ(log.setLogLevel(6), 0);
  EXPECT_EQ(log.log(25, 6, "written %d", 1), 0);
  EXPECT_EQ(log.log(2506, "written %d", 2), 0);  // facility 25, level 6 in code form
  ASSERT_EQ(log.setLogLevel(5), 0);
  EXPECT_EQ(log.log(25, 6, "filtered %d", 3), 0);
  EXPECT_EQ(log.log(2506, "filtered %d", 4), 0);
  // A set facility uses its own level, whatever facility 0 says.
  ASSERT_EQ(log.setLogLevel(25, 7), 0);
  EXPECT_EQ(log.log(25, 7, "written %d", 5), 0);
  EXPECT_EQ(log.log(25, 8, "filtered %d", 6), 0);
  // Facility 0 at 9 does not lift a set facility.
  ASSERT_EQ(log.setLogLevel(25, 2), 0);
  ASSERT_EQ(log.setLogLevel(9), 0);
  EXPECT_EQ(log.log(25, 3, "filtered %d", 7), 0);

  std::vector<std::string> messages;
  for (const std::string& l : lines()) {
    logtest::Line line = logtest::parseLine(l);
    ASSERT_TRUE(line.ok) << l;
    EXPECT_EQ(line.facility, 25);
    messages.push_back(line.message);
  }
  EXPECT_EQ(messages, (std::vector<std::string>{"written 1", "written 2", "written 5"}));
}

TEST_F(LogFiles, FacilityOutsideTheTableIsFacilityZero) {
  for (int facility : {-1, 101, 150}) EXPECT_EQ(log.log(facility, 3, "f%d", facility), 0);
  EXPECT_EQ(log.log(150, 4, "filtered"), 0);  // facility 0's level 3 applies
  std::vector<std::string> all = lines();
  ASSERT_EQ(all.size(), 3u);
  for (const std::string& l : all) {
    logtest::Line line = logtest::parseLine(l);
    ASSERT_TRUE(line.ok) << l;
    EXPECT_EQ(line.facility, -1) << l;  // no tag: facility 0
  }
}

// --- line format ----------------------------------------------------------

TEST_F(LogFiles, LineFormatAndTags) {
  at({2026, 3, 4, 5, 6, 7, 89, 3});
  ASSERT_EQ(log.setLogLevel(25, 9), 0);
  EXPECT_EQ(log.log(25, 6, "scan %s %d%%", "done", 100), 0);
  EXPECT_EQ(log.log("plain"), 0);  // facility 0, default level, no tag
  ASSERT_EQ(log.setLogFacilityZero(true), 0);
  EXPECT_EQ(log.log(0, 2, "zero"), 0);

  char tid[32];
  std::snprintf(tid, sizeof tid, "[%04x]", static_cast<unsigned>(::gettid()));
  std::string stamp = "2026/03/04 05:06:07.089";
  std::vector<std::string> expected = {
      stamp + tid + " (6)<F25>: scan done 100%",
      stamp + tid + " (3): plain",
      stamp + tid + " (2)<F00>: zero",
  };
  EXPECT_EQ(lines(), expected);
  std::string raw = testsupport::readFile(log.getLogFileName());
  EXPECT_EQ(raw, expected[0] + "\r\n" + expected[1] + "\r\n" + expected[2] + "\r\n");
}

TEST_F(LogFiles, LongMessageIsCutAndStillEndsWithCrLf) {
  std::string message(3000, 'x');
  EXPECT_EQ(log.log("%s", message.c_str()), 0);
  EXPECT_EQ(log.log("after"), 0);
  std::string raw = testsupport::readFile(log.getLogFileName());
  std::size_t first = raw.find("\r\n");
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(first, static_cast<std::size_t>(Log::internal::kMaxLineChars));
  logtest::Line line = logtest::parseLine(raw.substr(0, first));
  ASSERT_TRUE(line.ok);
  EXPECT_EQ(line.message, std::string(Log::internal::kMaxLineChars - raw.find(": ") - 2, 'x'));
  EXPECT_EQ(logtest::parseLine(lines().at(1)).message, "after");
}

TEST_F(LogFiles, LastErrorAppendsCodeAndText) {
  // A line that starts a file (its look-up fails) keeps the caller's error.
  errno = EIO;
  EXPECT_EQ(log.log("first"), 0);
  EXPECT_EQ(errno, EIO);
  errno = ENOENT;
  EXPECT_EQ(log.logLastError("open %s", "a.ini"), 0);
  ASSERT_EQ(log.setLogLevel(7, 5), 0);
  errno = EACCES;
  EXPECT_EQ(log.logLastError(705, "write %d", 3), 0);
  errno = EIO;
  EXPECT_EQ(log.logLastError(7, 4, "read"), 0);
  std::vector<std::string> all = lines();
  ASSERT_EQ(all.size(), 4u);
  logtest::Line a = logtest::parseLine(all[1]), b = logtest::parseLine(all[2]), c = logtest::parseLine(all[3]);
  EXPECT_EQ(a.level, 1);
  EXPECT_EQ(a.message, "open a.ini -- 2:No such file or directory");
  EXPECT_EQ(b.level, 5);
  EXPECT_EQ(b.facility, 7);
  EXPECT_EQ(b.message, "write 3 -- 13:Permission denied");
  EXPECT_EQ(c.message, "read -- 5:Input/output error");
}

TEST(LastErrorFormat, SystemTextIsNeverAFormat) {
  // A '%' in the system text must print as itself and consume no argument.
  std::string format = Log::internal::lastErrorFormat("value %d", 99, "50% of %s %n done");
  char out[256];
  std::snprintf(out, sizeof out, format.c_str(), 7);
  EXPECT_STREQ(out, "value 7 -- 99:50% of %s %n done");

  std::string longText(2000, 'e');
  EXPECT_EQ(Log::internal::lastErrorFormat("f", 1, longText), "f -- 1:" + std::string(1024, 'e'));
  EXPECT_EQ(Log::internal::lastErrorFormat("f", 0, ""), "f -- 0:");
}

// --- file names ------------------------------------------------------------

TEST_F(LogFiles, NamesOfEachKind) {
  struct Case {
    bool daily, longDay;
    const char* base;
    const char* name;
  } cases[] = {
      {false, false, "logFile", "logFile_20260304050607.txt"},
      {false, true, "run", "run_20260304050607.txt"},  // long names only matter for daily files
      {true, false, "cr", "cr_04.txt"},
      {true, true, "cr", "cr_202603_04.txt"},
  };
  for (const Case& c : cases) {
    testsupport::TempDir dir;
    Log::Clogfile one;
    ASSERT_EQ(one.setLogFileDir(dir.path().c_str()), 0);
    if (std::string(c.base) != "logFile") {
      ASSERT_EQ(one.setLogFileNameBase(c.base), 0);
    }
    one.setDailyLogFile(c.daily);
    one.setLongDayLogFileName(c.longDay);
    EXPECT_EQ(one.getLogFileName(), "");
    ASSERT_EQ(one.log("x"), 0);
    EXPECT_EQ(one.getLogFileName(), (dir / c.name).string()) << c.name;
    EXPECT_EQ(logtest::fileNames(dir.path()), std::vector<std::string>{c.name});
  }
}

TEST_F(LogFiles, TimeStampedFileKeepsItsNameUntilDirectoryOrBaseChange) {
  ASSERT_EQ(log.log("one"), 0);
  std::string first = log.getLogFileName();
  at({2026, 3, 5, 9, 0, 0, 0, 4});  // a day later: time-stamped files do not switch
  ASSERT_EQ(log.log("two"), 0);
  EXPECT_EQ(log.getLogFileName(), first);
  ASSERT_EQ(log.setLogFileNameBase("other"), 0);
  ASSERT_EQ(log.log("three"), 0);
  EXPECT_EQ(log.getLogFileName(), (tmp / "other_20260305090000.txt").string());
  EXPECT_EQ(lines("logFile_20260304050607.txt").size(), 2u);
}

TEST_F(LogFiles, DirectoryIsMadeFullAndCreated) {
  std::string nested = (tmp / "a/b/../c/").string();
  ASSERT_EQ(log.setLogFileDir(nested.c_str()), 0);
  ASSERT_EQ(log.log("deep"), 0);
  EXPECT_EQ(log.getLogFileName(), (tmp / "a/c/logFile_20260304050607.txt").string());
  EXPECT_EQ(lines().size(), 1u);

  // A relative directory is taken against the working directory of the call.
  std::filesystem::path cwd = std::filesystem::current_path();
  std::filesystem::current_path(tmp.path());
  int relative = log.setLogFileDir("rel");
  std::filesystem::current_path(cwd);
  ASSERT_EQ(relative, 0);
  ASSERT_EQ(log.log("rel"), 0);
  EXPECT_EQ(log.getLogFileName(), (tmp / "rel/logFile_20260304050607.txt").string());

  EXPECT_EQ(log.setLogFileDir(""), 1);
  EXPECT_EQ(log.setLogFileDir(nullptr), 1);
  EXPECT_EQ(log.setLogFileDir(("/" + std::string(2100, 'd')).c_str()), 1);
}

TEST_F(LogFiles, BaseLengthLimit) {
  EXPECT_EQ(log.setLogFileNameBase(std::string(1024, 'b').c_str()), 1);
  EXPECT_EQ(log.setLogFileNameBase(nullptr), 1);
  EXPECT_EQ(log.setLogFileNameBase(std::string(1023, 'b').c_str()), 0);
  // Such a name is too long for the file system: the line is dropped, nothing breaks.
  logtest::StderrCapture capture(tmp / "stderr.txt");
  EXPECT_EQ(log.log("dropped"), 0);
  EXPECT_NE(capture.text().find("cannot open log file (36)"), std::string::npos);
  EXPECT_EQ(log.getLogFileName().size(), tmp.path().string().size() + 1 + 1023 + 19);
}

// --- day switches -----------------------------------------------------------

TEST_F(LogFiles, DailyFileSwitchesAtMidnight) {
  struct Case {
    bool longDay;
    const char* before;
    const char* after;
  } cases[] = {{false, "logFile_31.txt", "logFile_01.txt"}, {true, "logFile_202612_31.txt", "logFile_202701_01.txt"}};
  for (const Case& c : cases) {
    testsupport::TempDir dir;
    Log::Clogfile daily;
    ASSERT_EQ(daily.setLogFileDir(dir.path().c_str()), 0);
    daily.setDailyLogFile(true);
    daily.setLongDayLogFileName(c.longDay);
    at({2026, 12, 31, 23, 59, 59, 999, 4});
    ASSERT_EQ(daily.log("last of the year"), 0);
    EXPECT_EQ(daily.getLogFileName(), (dir / c.before).string());
    at({2027, 1, 1, 0, 0, 0, 0, 5});
    ASSERT_EQ(daily.log("first of the year"), 0);
    EXPECT_EQ(daily.getLogFileName(), (dir / c.after).string());
    EXPECT_EQ(logtest::readLines(dir / c.before).size(), 1u);
    ASSERT_EQ(logtest::readLines(dir / c.after).size(), 1u);
    EXPECT_EQ(logtest::parseLine(logtest::readLines(dir / c.after)[0]).message, "first of the year");
  }
}

TEST_F(LogFiles, IdleForExactlyAMonthStartsTheNewMonthsFile) {
  log.setDailyLogFile(true);
  log.setLongDayLogFileName(true);
  at({2026, 1, 10, 12, 0, 0, 0, 6});
  ASSERT_EQ(log.log("january"), 0);
  at({2026, 2, 10, 12, 0, 0, 0, 2});
  age("logFile_202601_10.txt", 31 * 86400);
  ASSERT_EQ(log.log("february"), 0);
  // January's file falls to the one-month rule; February's line starts February's file.
  EXPECT_EQ(log.getLogFileName(), (tmp / "logFile_202602_10.txt").string());
  EXPECT_EQ(names(), std::vector<std::string>{"logFile_202602_10.txt"});
  ASSERT_EQ(lines("logFile_202602_10.txt").size(), 1u);
  EXPECT_EQ(logtest::parseLine(lines("logFile_202602_10.txt")[0]).message, "february");
}

// --- size limit ---------------------------------------------------------------

TEST_F(LogFiles, SizeLimitNumbersTheFullFile) {
  log.setDailyLogFile(true);
  log.setMaxLogFileSize(300);
  std::string text(60, 'p');  // with the stamp about 100 bytes a line
  for (int i = 1; i <= 9; ++i) ASSERT_EQ(log.log("%d %s", i, text.c_str()), 0);
  EXPECT_EQ(names(), (std::vector<std::string>{"logFile_04-00001.txt", "logFile_04-00002.txt", "logFile_04.txt"}));
  auto numbers = [&](const std::string& name) {
    std::string got;
    for (const std::string& l : lines(name)) got += logtest::parseLine(l).message.substr(0, 1);
    return got;
  };
  // A file is moved aside at the first line after it passed the limit.
  EXPECT_EQ(numbers("logFile_04-00001.txt"), "1234");
  EXPECT_EQ(numbers("logFile_04-00002.txt"), "5678");
  EXPECT_EQ(numbers("logFile_04.txt"), "9");
}

TEST_F(LogFiles, SizeLimitTakesTheFirstFreeNumberAndKeepsTheFileWhenNoneIsFree) {
  log.setDailyLogFile(true);
  log.setMaxLogFileSize(10);
  testsupport::writeFile(tmp / "logFile_04.txt", std::string(20, 'o') + "\r\n");
  testsupport::writeFile(tmp / "logFile_04-00001.txt", "kept\r\n");
  ASSERT_EQ(log.log("a"), 0);
  EXPECT_EQ(testsupport::readFile(tmp / "logFile_04-00001.txt"), "kept\r\n");
  EXPECT_EQ(testsupport::readFile(tmp / "logFile_04-00002.txt"), std::string(20, 'o') + "\r\n");
  EXPECT_EQ(lines("logFile_04.txt").size(), 1u);

  for (int n = 3; n <= 999; ++n) {
    char name[64];
    std::snprintf(name, sizeof name, "logFile_04-%05d.txt", n);
    testsupport::writeFile(tmp / name, "");
  }
  ASSERT_EQ(log.log("b"), 0);
  ASSERT_EQ(log.log("c"), 0);
  EXPECT_EQ(lines("logFile_04.txt").size(), 3u);  // every number taken: the file grows on
  EXPECT_FALSE(std::filesystem::exists(tmp / "logFile_04-01000.txt"));
}

TEST(NumberedNames, StemHyphenFiveDigits) {
  struct Open : Log::Clogfile {
    using Log::Clogfile::createNumberedLogFileName;
  } log;
  EXPECT_EQ(log.createNumberedLogFileName("/d/logFile_04.txt", 1), "/d/logFile_04-00001.txt");
  EXPECT_EQ(log.createNumberedLogFileName("/d/x.txt", 999), "/d/x-00999.txt");
}

// --- age rules ------------------------------------------------------------------

TEST_F(LogFiles, OldDayFileIsDeletedWithItsNumberedSiblings) {
  log.setDailyLogFile(true);
  for (const char* name : {"logFile_04.txt", "logFile_04-00001.txt", "logFile_04-00007.txt"})
    testsupport::writeFile(tmp / name, "last month\r\n");
  testsupport::writeFile(tmp / "logFile_04-00001.txt.bak", "not a sibling\r\n");
  testsupport::writeFile(tmp / "logFile_05.txt", "another day\r\n");
  testsupport::writeFile(tmp / "logFile_040.txt", "another stem\r\n");
  for (const std::string& name : names()) age(name, 21 * 86400);

  ASSERT_EQ(log.log("today"), 0);
  EXPECT_EQ(names(), (std::vector<std::string>{"logFile_04-00001.txt.bak", "logFile_04.txt", "logFile_040.txt",
                                                "logFile_05.txt"}));
  ASSERT_EQ(lines("logFile_04.txt").size(), 1u);
  EXPECT_EQ(logtest::parseLine(lines("logFile_04.txt")[0]).message, "today");
}

TEST_F(LogFiles, AgeLimitIsAboutTwentyDays) {
  // 4100 units of 2^32 x 100 ns: kept at 20 days, deleted at 20.5 days.
  struct Case {
    std::int64_t seconds;
    bool deleted;
  } cases[] = {{20 * 86400, false}, {41 * 43200, true}, {21 * 86400, true}, {-5 * 86400, false}};
  for (const Case& c : cases) {
    testsupport::writeFile(tmp / "logFile_04.txt", "old\r\n");
    age("logFile_04.txt", c.seconds);
    Log::Clogfile daily;
    ASSERT_EQ(daily.setLogFileDir(tmp.path().c_str()), 0);
    daily.setDailyLogFile(true);
    ASSERT_EQ(daily.log("new"), 0);
    EXPECT_EQ(lines("logFile_04.txt").size(), c.deleted ? 1u : 2u) << c.seconds;
    std::filesystem::remove(tmp / "logFile_04.txt");
  }
  EXPECT_TRUE(Log::internal::olderThanAgeLimit(0, 4101LL << 32));
  EXPECT_FALSE(Log::internal::olderThanAgeLimit(0, (4101LL << 32) - 1));
}

TEST_F(LogFiles, YearMonthDayFilesOfLastMonthAreDeletedUpToTheSameDay) {
  log.setDailyLogFile(true);
  log.setLongDayLogFileName(true);
  at({2026, 1, 15, 10, 0, 0, 0, 4});  // January: the cut-off lies in December of the year before
  const std::vector<std::string> deleted = {"logFile_202512_15.txt", "logFile_202512_15-00001.txt",
                                            "logFile_202512_14.txt", "logFile_202511_30.txt", "logFile_199901_01.txt"};
  const std::vector<std::string> kept = {"logFile_202512_16.txt", "logFile_202601_01.txt", "other_202512_01.txt",
                                         "logFile_2025121.txt",   "logFile_20251201120000.txt",
                                         "logFile_202512_15.log"};
  for (const auto& name : deleted) testsupport::writeFile(tmp / name, "x\r\n");
  for (const auto& name : kept) testsupport::writeFile(tmp / name, "x\r\n");
  ASSERT_EQ(log.log("now"), 0);
  std::vector<std::string> expected = kept;
  expected.push_back("logFile_202601_15.txt");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names(), expected);

  // The clean-up runs again only after 24 hours.
  testsupport::writeFile(tmp / "logFile_202512_16.txt", "x\r\n");
  at({2026, 1, 16, 9, 59, 59, 999, 5});
  ASSERT_EQ(log.log("within a day"), 0);
  EXPECT_TRUE(std::filesystem::exists(tmp / "logFile_202512_16.txt"));
  at({2026, 1, 16, 10, 0, 0, 0, 5});
  ASSERT_EQ(log.log("a day later"), 0);
  EXPECT_FALSE(std::filesystem::exists(tmp / "logFile_202512_16.txt"));
  EXPECT_TRUE(std::filesystem::exists(tmp / "logFile_202601_01.txt"));
}

TEST(OldDayNames, CutoffAndPattern) {
  EXPECT_EQ(Log::internal::oldDayCutoff("b", {2026, 1, 31, 0, 0, 0, 0, 0}), "b_202512_31.txt");
  EXPECT_EQ(Log::internal::oldDayCutoff("b", {2026, 7, 3, 0, 0, 0, 0, 0}), "b_202606_03.txt");
  EXPECT_TRUE(Log::internal::isYearMonthDayFile("b_202606_03-00012.txt", "b"));
  EXPECT_FALSE(Log::internal::isYearMonthDayFile("b_2026x6_03.txt", "b"));
  EXPECT_FALSE(Log::internal::isYearMonthDayFile("b_202606-03.txt", "b"));
  EXPECT_FALSE(Log::internal::isYearMonthDayFile("bb_202606_03.txt", "b"));
}

// --- copies -------------------------------------------------------------------------

TEST_F(LogFiles, CopyKeepsSettingsAndWritesTheSameFile) {
  log.setDailyLogFile(true);
  ASSERT_EQ(log.setLogLevel(40, 8), 0);
  ASSERT_EQ(log.log("original"), 0);
  Log::Clogfile copy(log);
  EXPECT_EQ(copy.getLogLevel(40), 8);
  EXPECT_TRUE(copy.getLogFileIsDaily());
  EXPECT_EQ(copy.getLogFileName(), log.getLogFileName());
  ASSERT_EQ(copy.log(40, 8, "copy"), 0);
  EXPECT_EQ(lines().size(), 2u);
}

}  // namespace
