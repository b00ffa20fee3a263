// Value storage: small values on the heap, large ones (whole images) in their
// own mapping backed by huge pages where the system offers them, so that
// filling them costs a fault per 2 MiB rather than per 4 KiB.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dicom {

class Buffer {
 public:
  Buffer() = default;
  ~Buffer() { reset(); }
  Buffer(Buffer&& other) noexcept
      : base_(other.base_), data_(other.data_), size_(other.size_), mapped_(other.mapped_) {
    other.base_ = other.data_ = nullptr;
    other.size_ = 0;
  }
  Buffer& operator=(Buffer&& other) noexcept;
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;

  // Uninitialised bytes; throws std::bad_alloc.
  static Buffer allocate(size_t size);

  // Moves the storage of whole into a buffer that starts offset bytes in, so
  // that a value read into a larger buffer can keep it without a copy.
  static Buffer adopt(Buffer&& whole, size_t offset);

  uint8_t* get() const { return data_; }
  explicit operator bool() const { return data_ != nullptr; }
  void reset();

 private:
  uint8_t* base_ = nullptr;  // what was allocated
  uint8_t* data_ = nullptr;  // where the bytes start
  size_t size_ = 0;
  bool mapped_ = false;
};

}  // namespace dicom
