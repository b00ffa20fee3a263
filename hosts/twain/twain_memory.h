// Movable memory for TWAIN containers and images: a handle names a block, a lock
// gives its bytes. The blocks come from malloc, so a block allocated in the data
// source may be freed by the application that receives it.
#pragma once

#include "hosts/twain/twain.h"

#include <cstddef>

namespace twain {

// Null when size is 0 or the memory is not there.
TW_HANDLE memAllocate(std::size_t size);
// Accepts null.
void memFree(TW_HANDLE handle);
// The block's bytes; null for a null handle or one this layer did not make.
void* memLock(TW_HANDLE handle);
void memUnlock(TW_HANDLE handle);
// The size the block was allocated with; 0 for a null or foreign handle.
std::size_t memSize(TW_HANDLE handle);

}  // namespace twain
