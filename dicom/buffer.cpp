#include "dicom/internal/buffer.h"

#include <sys/mman.h>

#include <new>
#include <utility>

namespace dicom {
namespace {

constexpr size_t kMapFrom = size_t{4} << 20;
constexpr size_t kHugePage = size_t{2} << 20;

}  // namespace

Buffer& Buffer::operator=(Buffer&& other) noexcept {
  if (this != &other) {
    reset();
    base_ = other.base_;
    data_ = other.data_;
    size_ = other.size_;
    mapped_ = other.mapped_;
    other.base_ = other.data_ = nullptr;
    other.size_ = 0;
  }
  return *this;
}

Buffer Buffer::allocate(size_t size) {
  Buffer b;
  if (size >= kMapFrom && size <= SIZE_MAX - kHugePage) {
    size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
    void* p = ::mmap(nullptr, rounded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    ::madvise(p, rounded, MADV_HUGEPAGE);  // a hint: without it the pages are just smaller
    b.base_ = b.data_ = static_cast<uint8_t*>(p);
    b.size_ = rounded;
    b.mapped_ = true;
    return b;
  }
  b.base_ = b.data_ = new uint8_t[size ? size : 1];
  b.size_ = size;
  b.mapped_ = false;
  return b;
}

Buffer Buffer::adopt(Buffer&& whole, size_t offset) {
  Buffer b(std::move(whole));
  b.data_ += offset;
  return b;
}

void Buffer::reset() {
  if (!base_) return;
  if (mapped_) ::munmap(base_, size_);
  else delete[] base_;
  base_ = data_ = nullptr;
  size_ = 0;
}

}  // namespace dicom
