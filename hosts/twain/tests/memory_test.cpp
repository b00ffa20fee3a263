#include "hosts/twain/tests/recording_memory.h"
#include "hosts/twain/twain_memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

TEST(TwainMemory, WithoutAManagerAHandleIsItsBlock) {
  const twain::Memory memory;
  EXPECT_FALSE(memory.fromManager());
  TW_HANDLE h = memory.allocate(1000);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(memory.lock(h), h) << "locking gives the block itself";
  std::memset(memory.lock(h), 0xab, 1000);  // the whole block is writable (ASan watches the edges)
  memory.unlock(h);
  std::free(h);  // an application frees it as any heap block

  void* block = std::malloc(16);  // an application's own container
  EXPECT_EQ(memory.lock(block), block);
  memory.free(block);

  EXPECT_EQ(memory.allocate(0), nullptr);
  EXPECT_EQ(memory.allocate(std::size_t{UINT32_MAX} + 1), nullptr) << "more than a TWAIN handle holds";
  EXPECT_EQ(memory.lock(nullptr), nullptr);
  memory.unlock(nullptr);
  memory.free(nullptr);
}

TEST(TwainMemory, AManagersFunctionsServeEveryBlock) {
  const twain::Memory memory = recording::memory();
  EXPECT_TRUE(memory.fromManager());
  const std::size_t before = recording::live();
  TW_HANDLE h = memory.allocate(24);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(recording::sizeOf(h), 24u);
  void* p = memory.lock(h);
  EXPECT_EQ(p, recording::bytesOf(h));
  EXPECT_NE(p, h);
  EXPECT_EQ(recording::locksOf(h), 1);
  memory.unlock(h);
  EXPECT_EQ(recording::locksOf(h), 0);
  memory.free(h);
  EXPECT_EQ(recording::live(), before);
}

TEST(TwainMemory, AnEntryPointGivesAllFourFunctionsOrNone) {
  TW_ENTRYPOINT all{sizeof(TW_ENTRYPOINT), nullptr, &recording::allocate, &recording::free, &recording::lock,
                    &recording::unlock};
  ASSERT_TRUE(twain::Memory::fromEntryPoint(all));
  EXPECT_TRUE(twain::Memory::fromEntryPoint(all)->fromManager());

  TW_ENTRYPOINT none{sizeof(TW_ENTRYPOINT), nullptr, nullptr, nullptr, nullptr, nullptr};
  ASSERT_TRUE(twain::Memory::fromEntryPoint(none));
  EXPECT_FALSE(twain::Memory::fromEntryPoint(none)->fromManager());

  TW_ENTRYPOINT noUnlock = all;
  noUnlock.DSM_MemUnlock = nullptr;
  EXPECT_FALSE(twain::Memory::fromEntryPoint(noUnlock));
  TW_ENTRYPOINT shortOne = all;
  shortOne.Size = sizeof(TW_ENTRYPOINT) - 1;
  EXPECT_FALSE(twain::Memory::fromEntryPoint(shortOne)) << "a record too short to hold the functions";
}

}  // namespace
