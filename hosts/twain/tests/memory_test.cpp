#include "hosts/twain/twain_memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

TEST(TwainMemory, HandlesKnowTheirBlocks) {
  TW_HANDLE h = twain::memAllocate(1000);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(twain::memSize(h), 1000u);
  auto* p = static_cast<std::uint8_t*>(twain::memLock(h));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % alignof(std::max_align_t), 0u);
  std::memset(p, 0xab, 1000);  // the whole block is writable (ASan watches the edges)
  twain::memUnlock(h);
  EXPECT_EQ(twain::memLock(h), p);  // blocks do not move
  twain::memFree(h);

  EXPECT_EQ(twain::memAllocate(0), nullptr);
  EXPECT_EQ(twain::memAllocate(SIZE_MAX), nullptr);
  EXPECT_EQ(twain::memLock(nullptr), nullptr);
  EXPECT_EQ(twain::memSize(nullptr), 0u);
  twain::memFree(nullptr);

  // A pointer that is no handle of ours is not taken for one.
  alignas(std::max_align_t) std::uint8_t foreign[64] = {};
  EXPECT_EQ(twain::memLock(foreign), nullptr);
  EXPECT_EQ(twain::memSize(foreign), 0u);
}

}  // namespace
