#include "hosts/twain/twain_memory.h"

#include <cstdlib>
#include <cstdint>

namespace twain {
namespace {

// The header in front of every block; the tag tells our blocks from stray pointers.
struct alignas(std::max_align_t) Block {
  std::uint64_t tag;
  std::size_t size;
};
constexpr std::uint64_t kTag = 0x4e44544d454d424bULL;

Block* blockOf(TW_HANDLE handle) {
  auto* block = static_cast<Block*>(handle);
  return block != nullptr && block->tag == kTag ? block : nullptr;
}

}  // namespace

TW_HANDLE memAllocate(std::size_t size) {
  if (size == 0 || size > SIZE_MAX - sizeof(Block)) return nullptr;
  auto* block = static_cast<Block*>(std::malloc(sizeof(Block) + size));
  if (block == nullptr) return nullptr;
  block->tag = kTag;
  block->size = size;
  return block;
}

void memFree(TW_HANDLE handle) {
  Block* block = blockOf(handle);
  if (block == nullptr) return;
  std::free(block);
}

void* memLock(TW_HANDLE handle) {
  Block* block = blockOf(handle);
  return block != nullptr ? block + 1 : nullptr;
}

// Blocks never move here, so unlocking has nothing to do.
void memUnlock(TW_HANDLE) {}

std::size_t memSize(TW_HANDLE handle) {
  Block* block = blockOf(handle);
  return block != nullptr ? block->size : 0;
}

}  // namespace twain
