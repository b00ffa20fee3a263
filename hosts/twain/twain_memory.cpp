#include "hosts/twain/twain_memory.h"

#include <cstdint>
#include <cstdlib>

namespace twain {

std::optional<Memory> Memory::fromEntryPoint(const TW_ENTRYPOINT& entry) {
  if (entry.Size < sizeof(TW_ENTRYPOINT)) return std::nullopt;
  Memory m;
  m.allocate_ = entry.DSM_MemAllocate;
  m.free_ = entry.DSM_MemFree;
  m.lock_ = entry.DSM_MemLock;
  m.unlock_ = entry.DSM_MemUnlock;
  const int given = (m.allocate_ != nullptr) + (m.free_ != nullptr) + (m.lock_ != nullptr) + (m.unlock_ != nullptr);
  if (given != 0 && given != 4) return std::nullopt;
  return m;
}

TW_HANDLE Memory::allocate(std::size_t size) const {
  if (size == 0 || size > UINT32_MAX) return nullptr;
  if (allocate_ != nullptr) return allocate_(static_cast<TW_UINT32>(size));
  return std::malloc(size);
}

void Memory::free(TW_HANDLE handle) const {
  if (handle == nullptr) return;
  if (free_ != nullptr) return free_(handle);
  std::free(handle);
}

void* Memory::lock(TW_HANDLE handle) const {
  if (handle == nullptr) return nullptr;
  return lock_ != nullptr ? lock_(handle) : handle;
}

void Memory::unlock(TW_HANDLE handle) const {
  if (handle != nullptr && unlock_ != nullptr) unlock_(handle);
}

}  // namespace twain
