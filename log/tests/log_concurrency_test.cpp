// Many writers in one process and in two, the lock's time-out and the open failure.
#include "log/log.h"

#include "log_helpers.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "testsupport/testsupport.h"

#include <atomic>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <chrono>
#include <gtest/gtest.h>
#include <map>
#include <thread>

namespace {

constexpr int kLinesPerWriter = 10000;
constexpr int kThreads = 8;
constexpr int kChildWriter = 99;

// The body of line n of writer w: checked letter by letter when read back.
std::string lineBody(int writer, int n) {
  char head[32];
  std::snprintf(head, sizeof head, "w%02d n%05d ", writer, n);
  std::string body = head;
  for (int i = 0; i < 48; ++i) body += static_cast<char>('a' + (writer * 7 + n + i) % 26);
  return body;
}

void configure(const std::string& dir) {
  Log::setLogFileDir(dir.c_str());
  Log::setLogFileNameBase("shared");
  Log::setDailyLogFile(true);  // both processes name the same file
  Log::setLogLevel(6);
}

void writeLines(int writer) {
  for (int n = 0; n < kLinesPerWriter; ++n) Log::log(6, 6, "%s", lineBody(writer, n).c_str());
}

testsupport::ChildRegistration child("log-writer", [](const std::vector<std::string>& args) {
  configure(args.at(0));
  writeLines(kChildWriter);
  return 0;
});

TEST(Writers, ThreadsAndASecondProcessNeverLoseOrSplitALine) {
  testsupport::TempDir tmp;
  configure(tmp.path().string());

  platform::Process process;
  ASSERT_TRUE(process.start(testsupport::selfExecutable(), testsupport::childArgs("log-writer", {tmp.path().string()})));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(writeLines, t);
  for (auto& thread : threads) thread.join();
  platform::ProcessExit exit = process.wait();
  ASSERT_EQ(exit.kind, platform::ProcessExit::Kind::Exited);
  ASSERT_EQ(exit.code, 0);

  // Every line whole, and each writer's lines all there, in its own order.
  std::map<int, int> next;
  int total = 0;
  for (const std::string& name : logtest::fileNames(tmp.path())) {  // a midnight may split the run
    ASSERT_EQ(name.rfind("shared_", 0), 0u) << name;
    std::map<int, int> inFile;
    for (const std::string& text : logtest::readLines(tmp / name)) {
      logtest::Line line = logtest::parseLine(text);
      ASSERT_TRUE(line.ok) << text;
      ASSERT_EQ(line.level, 6) << text;
      ASSERT_EQ(line.facility, 6) << text;
      int writer = -1, n = -1;
      ASSERT_EQ(std::sscanf(line.message.c_str(), "w%d n%d", &writer, &n), 2) << text;
      ASSERT_EQ(line.message, lineBody(writer, n)) << text;
      ASSERT_EQ(n, next[writer]) << "writer " << writer << " out of order";
      next[writer] = n + 1;
      ++total;
    }
  }
  EXPECT_EQ(total, (kThreads + 1) * kLinesPerWriter);
  for (int w = 0; w < kThreads; ++w) EXPECT_EQ(next[w], kLinesPerWriter) << w;
  EXPECT_EQ(next[kChildWriter], kLinesPerWriter);
}

// Logs, leaves a thread logging, and ends the process under it.
testsupport::ChildRegistration exiting("log-exit", [](const std::vector<std::string>& args) {
  Log::setLogFileDir(args.at(0).c_str());
  Log::setLogLevel(9);
  Log::log("main ends");
  static std::atomic<bool> started{false};  // outlives the detached thread's use
  std::thread([] {
    for (long n = 0;; ++n) {
      Log::log(0, 1, "still writing %ld", n);
      started = true;
    }
  }).detach();
  while (!started) std::this_thread::yield();
  return 0;
});

TEST(Writers, LastLineAtExitAndLinesWhileTheProcessEnds) {
  testsupport::TempDir tmp;
  platform::Process process;
  ASSERT_TRUE(process.start(testsupport::selfExecutable(), testsupport::childArgs("log-exit", {tmp.path().string()})));
  platform::ProcessExit exit = process.wait();
  ASSERT_EQ(exit.kind, platform::ProcessExit::Kind::Exited);
  EXPECT_EQ(exit.code, 0);
  std::vector<std::string> names = logtest::fileNames(tmp.path());
  ASSERT_EQ(names.size(), 1u);
  std::vector<std::string> lines = logtest::readLines(tmp / names[0]);
  ASSERT_GE(lines.size(), 2u);
  bool exitLine = false;
  for (const std::string& text : lines) {
    logtest::Line line = logtest::parseLine(text);
    ASSERT_TRUE(line.ok) << text;
    if (line.message == "Logging exiting...") {
      EXPECT_EQ(line.level, 9);
      exitLine = true;
    }
  }
  EXPECT_EQ(logtest::parseLine(lines[0]).message, "main ends");
  EXPECT_TRUE(exitLine);
}

// Takes the process's log lock the way a writer does and keeps it.
struct Holder : Log::Clogfile {
  using Log::Clogfile::getFinalLock;
  using Log::Clogfile::releaseFinalLock;
};

TEST(Writers, BusyLockRejectsChangesAndDropsLinesAfterTwoSeconds) {
  testsupport::TempDir held, other;
  Holder holder;
  ASSERT_EQ(holder.setLogFileDir(held.path().c_str()), 0);
  std::atomic<bool> taken{false}, done{false};
  std::thread owner([&] {
    ASSERT_TRUE(holder.getFinalLock());
    taken = true;
    while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    holder.releaseFinalLock();
  });
  while (!taken) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  Log::Clogfile log;
  int dirResult = -1, baseResult = -1, logResult = -1;
  auto start = std::chrono::steady_clock::now();
  std::thread a([&] { dirResult = log.setLogFileDir(other.path().c_str()); });
  std::thread b([&] { baseResult = log.setLogFileNameBase("changed"); });
  std::thread c([&] { logResult = log.log("dropped"); });
  a.join();
  b.join();
  c.join();
  auto waited = std::chrono::steady_clock::now() - start;
  done = true;
  owner.join();

  EXPECT_EQ(dirResult, 1);
  EXPECT_EQ(baseResult, 1);
  EXPECT_EQ(logResult, 0);  // a dropped line is not the caller's failure
  EXPECT_GE(waited, std::chrono::milliseconds(1900));
  EXPECT_EQ(log.getLogFileName(), "");
  EXPECT_TRUE(logtest::fileNames(other.path()).empty());

  // Free again: the same calls go through.
  EXPECT_EQ(log.setLogFileDir(other.path().c_str()), 0);
  EXPECT_EQ(log.setLogFileNameBase("changed"), 0);
  EXPECT_EQ(log.log("written"), 0);
  EXPECT_EQ(logtest::fileNames(other.path()).size(), 1u);
}

TEST(Writers, OpenFailureIsReportedOnceMoreFromInsideAndDoesNotRecurse) {
  testsupport::TempDir tmp;
  testsupport::writeFile(tmp / "afile", "not a directory");
  Log::Clogfile log;
  ASSERT_EQ(log.setLogFileDir((tmp / "afile").c_str()), 0);
  std::string err;
  {
    logtest::StderrCapture capture(tmp / "stderr.txt");
    EXPECT_EQ(log.log("lost"), 0);
    EXPECT_EQ(log.initLog(), 0);
    err = capture.text();
  }
  // Each line: the failed open, then the report's own failed open; the report
  // of the report is cut off by the nesting limit.
  std::string once = "cannot open log file (20)\n";
  std::string expected;
  for (int i = 0; i < 4; ++i) expected += once;
  EXPECT_EQ(err, expected);
  EXPECT_EQ(testsupport::readFile(tmp / "afile"), "not a directory");

  // Once the path works again the next line is written.
  std::filesystem::remove(tmp / "afile");
  EXPECT_EQ(log.log("back"), 0);
  ASSERT_EQ(logtest::readLines(log.getLogFileName()).size(), 1u);
}

// A clock whose sleeps let another holder of the file give it up after a few waits.
class ReleasingClock : public platform::clock::FakeSource {
 public:
  int sleeps = 0;
  int releaseAfter = -1;
  int heldFd = -1;
  void sleep(std::uint32_t ms) override {
    EXPECT_EQ(ms, 10u);
    if (++sleeps == releaseAfter) {
      ::close(heldFd);
      heldFd = -1;
    }
    FakeSource::sleep(ms);
  }
};

TEST(Writers, FileHeldByAnotherWriterIsRetriedEveryTenMillisecondsUpToAHundredTimes) {
  testsupport::TempDir tmp;
  ReleasingClock clock;
  platform::clock::ScopedSource scoped(clock);
  clock.setLocalTime({2026, 5, 6, 7, 8, 9, 0, 3});
  Log::Clogfile log;
  ASSERT_EQ(log.setLogFileDir(tmp.path().c_str()), 0);
  log.setDailyLogFile(true);
  std::filesystem::path file = tmp / "logFile_06.txt";

  auto hold = [&] {
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    return fd;
  };

  // Given up after a few waits: the line goes in, nothing is reported.
  clock.heldFd = hold();
  clock.releaseAfter = 5;
  {
    logtest::StderrCapture capture(tmp / "stderr.txt");
    EXPECT_EQ(log.log("after five waits"), 0);
    EXPECT_EQ(capture.text(), "");
  }
  EXPECT_EQ(clock.sleeps, 5);
  ASSERT_EQ(logtest::readLines(file).size(), 1u);

  // Held throughout: 100 attempts with 99 waits, for the line and again for its report.
  int fd = hold();
  clock.sleeps = 0;
  clock.releaseAfter = -1;
  {
    logtest::StderrCapture capture(tmp / "stderr.txt");
    EXPECT_EQ(log.log("dropped"), 0);
    EXPECT_EQ(capture.text(), "cannot open log file (11)\ncannot open log file (11)\n");
  }
  EXPECT_EQ(clock.sleeps, 2 * 99);
  ::close(fd);
  EXPECT_EQ(logtest::readLines(file).size(), 1u);

  // Given up only after the line's last attempt: the line is lost, its report is logged.
  clock.heldFd = hold();
  clock.sleeps = 0;
  clock.releaseAfter = 100;
  {
    logtest::StderrCapture capture(tmp / "stderr.txt");
    EXPECT_EQ(log.log("lost"), 0);
    EXPECT_EQ(capture.text(), "cannot open log file (11)\n");
  }
  std::vector<std::string> lines = logtest::readLines(file);
  ASSERT_EQ(lines.size(), 2u);
  logtest::Line report = logtest::parseLine(lines[1]);
  EXPECT_EQ(report.level, 1);
  EXPECT_EQ(report.message, "cannot open log file '" + file.string() + "' -- 11:Resource temporarily unavailable");
}

// A clock that logs whenever the writer asks it the time, as a logging
// callee inside the writer would.
class LoggingClock : public platform::clock::FakeSource {
 public:
  Log::Clogfile* log = nullptr;
  std::vector<int> results;
  platform::clock::LocalTime localTime() override {
    if (log && results.size() < 10) results.push_back(log->log("from inside"));
    return FakeSource::localTime();
  }
};

TEST(Writers, LoggingFromInsideLoggingGoesAtMostTwoDeep) {
  testsupport::TempDir tmp;
  LoggingClock clock;
  platform::clock::ScopedSource scoped(clock);
  Log::Clogfile log;
  ASSERT_EQ(log.setLogFileDir(tmp.path().c_str()), 0);
  clock.log = &log;
  EXPECT_EQ(log.log("outer"), 0);
  clock.log = nullptr;
  // The outer line asks the time; that line asks again and is cut off (1),
  // and so is its open's question; it is then written (0). The outer line's
  // open does the same before the outer line is written.
  EXPECT_EQ(clock.results, (std::vector<int>{1, 1, 0, 1, 1, 0}));
  std::vector<std::string> messages;
  for (const std::string& line : logtest::readLines(log.getLogFileName()))
    messages.push_back(logtest::parseLine(line).message);
  EXPECT_EQ(messages, (std::vector<std::string>{"from inside", "from inside", "outer"}));
}

}  // namespace
