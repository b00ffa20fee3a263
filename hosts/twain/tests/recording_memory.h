// Manager memory for the unit tests: a handle names a record of its block, so
// code that takes a handle for its memory reads the wrong bytes, and the test
// knows every block's size and the locks not yet undone.
#pragma once

#include "hosts/twain/twain_memory.h"

#include <cstdlib>
#include <map>

namespace recording {

struct Block {
  void* memory = nullptr;
  std::size_t size = 0;
  int locks = 0;
};

inline std::map<TW_HANDLE, Block>& blocks() {
  static std::map<TW_HANDLE, Block> b;
  return b;
}

inline TW_HANDLE allocate(TW_UINT32 size) {
  auto* handle = static_cast<TW_HANDLE>(std::malloc(1));
  void* memory = std::malloc(size);
  if (handle == nullptr || memory == nullptr) {
    std::free(handle);
    std::free(memory);
    return nullptr;
  }
  blocks()[handle] = Block{memory, size, 0};
  return handle;
}
inline void free(TW_HANDLE handle) {
  auto it = blocks().find(handle);
  if (it == blocks().end()) return;
  std::free(it->second.memory);
  std::free(handle);
  blocks().erase(it);
}
inline TW_MEMREF lock(TW_HANDLE handle) {
  auto it = blocks().find(handle);
  if (it == blocks().end()) return nullptr;
  ++it->second.locks;
  return it->second.memory;
}
inline void unlock(TW_HANDLE handle) {
  auto it = blocks().find(handle);
  if (it != blocks().end() && it->second.locks > 0) --it->second.locks;
}

inline twain::Memory memory() {
  TW_ENTRYPOINT entry{sizeof(TW_ENTRYPOINT), nullptr, &allocate, &free, &lock, &unlock};
  return *twain::Memory::fromEntryPoint(entry);
}

// 0 for a handle that is none of these blocks.
inline std::size_t sizeOf(TW_HANDLE handle) {
  auto it = blocks().find(handle);
  return it == blocks().end() ? 0 : it->second.size;
}
// The block's bytes without taking a lock, for checks.
inline std::uint8_t* bytesOf(TW_HANDLE handle) {
  auto it = blocks().find(handle);
  return it == blocks().end() ? nullptr : static_cast<std::uint8_t*>(it->second.memory);
}
inline int locksOf(TW_HANDLE handle) {
  auto it = blocks().find(handle);
  return it == blocks().end() ? 0 : it->second.locks;
}
inline std::size_t live() { return blocks().size(); }

}  // namespace recording
