#include "platform/messages.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

using platform::Message;

TEST(Messages, PostKeepsOrderAndDeliversOnThePumpingThread) {
  std::vector<std::uint32_t> seen;
  std::thread::id deliveredOn;
  platform::QueueTarget target([&](const Message& m) {
    seen.push_back(m.id);
    deliveredOn = std::this_thread::get_id();
  });
  std::thread poster([&] {
    for (std::uint32_t i = 1; i <= 100; ++i) EXPECT_TRUE(platform::post(target.handle(), {i, 0, 0}));
  });
  poster.join();
  EXPECT_TRUE(seen.empty());  // nothing runs until the owner pumps
  target.pump();
  ASSERT_EQ(seen.size(), 100u);
  for (std::uint32_t i = 0; i < 100; ++i) EXPECT_EQ(seen[i], i + 1);
  EXPECT_EQ(deliveredOn, std::this_thread::get_id());
}

TEST(Messages, NullAndDestroyedTargetsDropPosts) {
  EXPECT_FALSE(platform::post(0, {1, 0, 0}));
  platform::WindowHandle stale;
  int handled = 0;
  {
    platform::QueueTarget target([&](const Message&) { ++handled; });
    stale = target.handle();
    EXPECT_TRUE(platform::post(stale, {1, 0, 0}));
  }
  EXPECT_FALSE(platform::post(stale, {2, 0, 0}));
  EXPECT_FALSE(platform::send(stale, {3, 0, 0}));
  EXPECT_EQ(handled, 0);
  platform::QueueTarget fresh([](const Message&) {});
  EXPECT_NE(fresh.handle(), stale);  // handles are never reused
}

TEST(Messages, SendWaitsForTheOwnerOrCallsDirectly) {
  std::atomic<int> handled{0};
  platform::QueueTarget target([&](const Message& m) { handled += static_cast<int>(m.wParam); });
  target.pump();  // this thread owns the target now
  EXPECT_TRUE(platform::send(target.handle(), {1, 5, 0}));  // direct call on the own thread
  EXPECT_EQ(handled.load(), 5);

  std::atomic<bool> sent{false};
  std::thread other([&] { sent = platform::send(target.handle(), {1, 7, 0}); });
  EXPECT_TRUE(target.pumpUntil([&] { return handled.load() == 12; }, 5000));
  other.join();
  EXPECT_TRUE(sent.load());
}

TEST(Messages, SendToATargetDestroyedBeforeHandlingReturnsFalse) {
  auto target = std::make_unique<platform::QueueTarget>([](const Message&) {});
  target->pump();
  std::atomic<int> result{-1};
  std::thread other([&, h = target->handle()] { result = platform::send(h, {1, 0, 0}) ? 1 : 0; });
  while (result.load() == -1) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    target.reset();  // destroyed with the send still queued
    break;
  }
  other.join();
  EXPECT_EQ(result.load(), 0);
}

}  // namespace
