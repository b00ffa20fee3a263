#include "platform/process.h"
#include "platform/sync.h"
#include "platform/clock.h"
#include "testsupport/testsupport.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <csignal>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Holds the named mutex, reports "held" through a file, then waits to be killed
// (or, with a third argument, starts a child of its own that outlives it).
testsupport::ChildRegistration holder("hold-mutex", [](const std::vector<std::string>& args) {
  platform::NamedMutex m(args[0]);
  if (!m.createAndHold()) return 3;
  if (args.size() > 2) {
    platform::Process grandchild;
    grandchild.start("/bin/sleep", {"30"});
    testsupport::writeFile(args[2], std::to_string(grandchild.pid()));
  }
  testsupport::writeFile(args[1], "held");
  for (;;) std::this_thread::sleep_for(1s);
});

std::string uniqueName(const char* base) {
  return std::string(base) + "-" + std::to_string(::getpid()) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

bool waitForFile(const std::filesystem::path& p) {
  for (int i = 0; i < 500; ++i) {
    if (std::filesystem::exists(p) && !testsupport::readFile(p).empty()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

TEST(NamedMutex, WithinOneProcessTwoObjectsExclude) {
  std::string name = uniqueName("within");
  platform::NamedMutex a(name), b(name);
  ASSERT_TRUE(a.valid());
  EXPECT_TRUE(a.createAndHold());
  EXPECT_FALSE(b.createAndHold());
  EXPECT_FALSE(b.lockFor(30ms));
  a.unlock();
  EXPECT_TRUE(b.tryLock());
}

TEST(NamedMutex, TellsAnotherHolderFromALockFileThatCannotBeMade) {
  std::string name = uniqueName("cause");
  platform::NamedMutex a(name), b(name);
  ASSERT_TRUE(a.createAndHold());
  EXPECT_FALSE(b.createAndHold());
  EXPECT_EQ(b.error(), 0);
  EXPECT_EQ(b.file(), a.file());

  // A runtime folder below a plain file can never be made.
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "plain", "x");
  const char* before = std::getenv("NDT_RUNTIME_DIR");
  const std::string saved = before ? before : "";
  ::setenv("NDT_RUNTIME_DIR", (dir / "plain" / "runtime").c_str(), 1);
  platform::NamedMutex c(name);
  if (before) ::setenv("NDT_RUNTIME_DIR", saved.c_str(), 1); else ::unsetenv("NDT_RUNTIME_DIR");
  EXPECT_FALSE(c.valid());
  EXPECT_FALSE(c.createAndHold());
  EXPECT_EQ(c.error(), ENOTDIR);
  EXPECT_EQ(c.file().parent_path(), dir / "plain" / "runtime");
}

TEST(NamedMutex, AcrossProcessesAndAfterSigkill) {
  testsupport::TempDir dir;
  std::string name = uniqueName("across");
  platform::Process p;
  ASSERT_TRUE(p.start(testsupport::selfExecutable(),
                      testsupport::childArgs("hold-mutex", {name, (dir / "held").string()})));
  ASSERT_TRUE(waitForFile(dir / "held"));
  platform::NamedMutex mine(name);
  EXPECT_FALSE(mine.tryLock());
  EXPECT_FALSE(mine.lockFor(50ms));
  ::kill(p.pid(), SIGKILL);
  EXPECT_EQ(p.wait().kind, platform::ProcessExit::Kind::Signalled);
  EXPECT_TRUE(mine.lockFor(2000ms));
}

TEST(NamedMutex, AChildOfTheHolderDoesNotHoldIt) {
  testsupport::TempDir dir;
  std::string name = uniqueName("grandchild");
  platform::Process p;
  ASSERT_TRUE(p.start(testsupport::selfExecutable(),
                      testsupport::childArgs("hold-mutex", {name, (dir / "held").string(),
                                                            (dir / "grandchild").string()})));
  ASSERT_TRUE(waitForFile(dir / "held"));
  pid_t grandchild = std::stoi(testsupport::readFile(dir / "grandchild"));
  ::kill(p.pid(), SIGKILL);
  p.wait();
  platform::NamedMutex mine(name);
  EXPECT_TRUE(mine.lockFor(2000ms));  // the grandchild still runs but holds nothing
  EXPECT_EQ(::kill(grandchild, 0), 0);
  ::kill(grandchild, SIGKILL);
}

TEST(AutoResetEvent, ASetIsRememberedOnceAndTakenByExactlyOneWaiter) {
  platform::AutoResetEvent e;
  e.set();
  e.set();  // not counted twice
  EXPECT_TRUE(e.waitFor(0ms));
  EXPECT_FALSE(e.waitFor(10ms));

  constexpr int kWaiters = 8;
  std::atomic<int> woke{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kWaiters; ++i)
    threads.emplace_back([&] {
      if (e.waitFor(600ms)) ++woke;
    });
  for (int i = 0; i < 3; ++i) {
    e.set();
    std::this_thread::sleep_for(50ms);
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(woke.load(), 3);

  e.set();
  e.reset();
  EXPECT_FALSE(e.waitFor(0ms));
}

TEST(AutoResetEvent, NamedEventsAreSharedWithinTheProcess) {
  auto a = platform::AutoResetEvent::named("evt-shared");
  auto b = platform::AutoResetEvent::named("evt-shared");
  auto c = platform::AutoResetEvent::named("evt-other");
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
}

TEST(PolledRecursiveLock, RecursiveAndTimesOutOnTheClock) {
  platform::clock::FakeSource fake;
  platform::clock::ScopedSource scoped(fake);
  platform::PolledRecursiveLock lock;
  ASSERT_TRUE(lock.lockWithin(10));
  EXPECT_TRUE(lock.lockWithin(10));  // same thread again
  bool other = true;
  std::thread t([&] { other = lock.lockWithin(30000); });  // 30 s of fake time passes at once
  t.join();
  EXPECT_FALSE(other);
  EXPECT_GE(fake.tickCount(), 30000u);
  lock.unlock();
  lock.unlock();
  std::thread t2([&] {
    other = lock.lockWithin(10);
    if (other) lock.unlock();
  });
  t2.join();
  EXPECT_TRUE(other);
}

}  // namespace
