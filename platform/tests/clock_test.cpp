#include "platform/clock.h"

#include <gtest/gtest.h>

namespace {

TEST(Clock, ElapsedAcrossTheWrap) {
  using platform::clock::elapsed;
  EXPECT_EQ(elapsed(100u, 350u), 250u);
  EXPECT_EQ(elapsed(0xFFFFFF00u, 0x00000100u), 0x200u);
  EXPECT_EQ(elapsed(0xFFFFFFFFu, 0u), 1u);

  platform::clock::FakeSource fake(0xFFFFFFF0u);
  platform::clock::ScopedSource scoped(fake);
  std::uint32_t start = platform::clock::tickCount();
  platform::clock::sleep(0x20);  // a fake sleep moves the fake clock
  EXPECT_EQ(platform::clock::tickCount(), 0x10u);
  EXPECT_EQ(platform::clock::elapsedSince(start), 0x20u);
}

TEST(Clock, RealClockMovesAndLocalTimeIsSane) {
  std::uint32_t a = platform::clock::tickCount();
  platform::clock::sleep(20);
  EXPECT_GE(platform::clock::elapsedSince(a), 20u);
  platform::clock::LocalTime t = platform::clock::localTime();
  EXPECT_GE(t.year, 2024);
  EXPECT_TRUE(t.month >= 1 && t.month <= 12);
  EXPECT_TRUE(t.millisecond >= 0 && t.millisecond < 1000);
}

}  // namespace
