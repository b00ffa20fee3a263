#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/qt/message_target.h"
#include "platform/qt/ui_thread.h"

namespace platform::qt {
namespace {

// Runs the event loop until `done` or five seconds passed.
bool pumpUntil(const std::function<bool()>& done) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

TEST(QtMessageTarget, PostsFromAWorkerArriveInOrderOnTheTargetsThread) {
  std::vector<std::uint32_t> seen;
  std::vector<bool> onUiThread;
  QThread* ui = QThread::currentThread();
  QtMessageTarget target([&](const platform::Message& m) {
    seen.push_back(m.id);
    onUiThread.push_back(QThread::currentThread() == ui);
  });
  std::thread worker([h = target.handle()] {
    for (std::uint32_t i = 1; i <= 50; ++i) platform::post(h, {i, 0, 0});
  });
  worker.join();
  EXPECT_TRUE(seen.empty());  // posting never runs the handler on the poster's thread
  ASSERT_TRUE(pumpUntil([&] { return seen.size() == 50; }));
  for (std::uint32_t i = 0; i < 50; ++i) EXPECT_EQ(seen[i], i + 1);
  for (bool b : onUiThread) EXPECT_TRUE(b);
}

TEST(QtMessageTarget, SendFromAWorkerWaitsUntilTheUiThreadHandledIt) {
  std::atomic<int> handled{0};
  QtMessageTarget target([&](const platform::Message& m) { handled += int(m.lParam); });
  std::atomic<bool> returned{false};
  std::atomic<bool> delivered{false};
  std::atomic<int> seenOnReturn{-1};
  std::thread worker([&, h = target.handle()] {
    delivered = platform::send(h, {0x8022, 0, 7});
    seenOnReturn = handled.load();
    returned = true;
  });
  ASSERT_TRUE(pumpUntil([&] { return returned.load(); }));
  worker.join();
  EXPECT_TRUE(delivered);
  EXPECT_EQ(seenOnReturn, 7);
}

TEST(QtMessageTarget, SendOnItsOwnThreadIsADirectCall) {
  int handled = 0;
  QtMessageTarget target([&](const platform::Message&) { ++handled; });
  EXPECT_TRUE(platform::send(target.handle(), {1, 0, 0}));
  EXPECT_EQ(handled, 1);
}

TEST(QtMessageTarget, ADestroyedTargetDropsPendingPostsAndAnswersAWaitingSend) {
  int handled = 0;
  auto target = std::make_unique<QtMessageTarget>([&](const platform::Message&) { ++handled; });
  const platform::WindowHandle h = target->handle();
  EXPECT_TRUE(platform::post(h, {1, 0, 0}));
  std::atomic<int> sendResult{-1};
  std::thread worker([&] { sendResult = platform::send(h, {2, 0, 0}) ? 1 : 0; });
  QThread::msleep(20);  // the send is (most likely) queued before the target goes; either way it fails
  target.reset();
  worker.join();
  EXPECT_NE(sendResult, 1);
  QCoreApplication::processEvents();
  EXPECT_EQ(handled, 0);
  EXPECT_FALSE(platform::post(h, {3, 0, 0}));
}

// A worker's call runs on the UI thread, sees the worker's data, and the
// worker sees its result once the call returns; on the UI thread it is direct.
TEST(CallOnUiThread, AWorkerWaitsUntilItsCallRanOnTheUiThread) {
  QThread* ui = QThread::currentThread();
  std::atomic<bool> returned{false};
  bool ranOnUi = false;
  std::string result;
  std::thread worker([&] {
    const std::string text = "from the worker";
    EXPECT_TRUE(callOnUiThread([&] {
      ranOnUi = QThread::currentThread() == ui;
      result = text + ", answered";
    }));
    EXPECT_EQ(result, "from the worker, answered");
    returned = true;
  });
  EXPECT_TRUE(pumpUntil([&] { return returned.load(); }));
  worker.join();
  EXPECT_TRUE(ranOnUi);

  bool direct = false;
  EXPECT_TRUE(callOnUiThread([&] { direct = QThread::currentThread() == ui; }));
  EXPECT_TRUE(direct);
}

}  // namespace
}  // namespace platform::qt
