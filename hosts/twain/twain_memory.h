// TWAIN handles as this platform has them. Without a manager's memory
// functions a handle is the memory block itself, from malloc, and locking it
// gives the same pointer back, so any application allocates and frees the
// handles it exchanges with plain malloc and free. A manager that hands its
// functions over (DAT_ENTRYPOINT) decides instead, and every block goes
// through it. Neither rule tells how large a block is: sizes come from the
// records themselves.
#pragma once

#include "hosts/twain/twain.h"

#include <cstddef>
#include <optional>

namespace twain {

class Memory {
 public:
  // Plain heap blocks.
  Memory() = default;
  // The four memory functions of an entry point, or the plain rule when it
  // gives none; nullopt when it gives only some, or is too short to hold them.
  static std::optional<Memory> fromEntryPoint(const TW_ENTRYPOINT& entry);

  // Null when size is 0, more than a TWAIN handle can hold, or not there.
  TW_HANDLE allocate(std::size_t size) const;
  // Accepts null.
  void free(TW_HANDLE handle) const;
  // The block's bytes; null for a null handle.
  void* lock(TW_HANDLE handle) const;
  void unlock(TW_HANDLE handle) const;

  bool fromManager() const { return allocate_ != nullptr; }

 private:
  DSM_MEMALLOCATE allocate_ = nullptr;
  DSM_MEMFREE free_ = nullptr;
  DSM_MEMLOCK lock_ = nullptr;
  DSM_MEMUNLOCK unlock_ = nullptr;
};

}  // namespace twain
