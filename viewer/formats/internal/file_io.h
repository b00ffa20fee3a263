// Bounded file access for the readers and writers: a reader never reads past
// what the file holds, a writer replaces a file only with a whole new one.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace viewer::formats::internal {

// Samples are kept, and written, in little-endian order as they stand in memory.
static_assert(std::endian::native == std::endian::little);

class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool open(const std::string& path);
  std::uint64_t size() const { return size_; }
  // Reads up to n bytes at offset; returns how many arrived (fewer at the end).
  std::size_t readAt(std::uint64_t offset, void* dest, std::size_t n) const;
  // True when exactly n bytes were read.
  bool readExact(std::uint64_t offset, void* dest, std::size_t n) const { return readAt(offset, dest, n) == n; }
  // Whether [offset, offset + n) lies inside the file.
  bool holds(std::uint64_t offset, std::uint64_t n) const { return offset <= size_ && n <= size_ - offset; }

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

// Writes through a 64 KB buffer; large blocks go straight to the file. The
// bytes go to a temporary file beside the target, which replaces the target
// only when every byte is on the disk; until then an old file stays as it was.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // an unfinished file is discarded
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool open(const std::string& path);
  bool write(const void* data, std::size_t n);
  bool writeZeros(std::size_t n);
  // Overwrites bytes already written (for lengths known only at the end).
  bool patch(std::uint64_t offset, const void* data, std::size_t n);
  std::uint64_t position() const { return position_; }
  bool ok() const { return ok_; }
  // Flushes, syncs and renames over the target; true when every byte reached
  // it. On false the temporary file is gone and the target untouched.
  bool finish();
  // Closes and deletes the temporary file; the target is untouched.
  void discard();
  // The system's error number of the failure of the output file last opened
  // on this thread (ENOSPC for a write that took nothing); 0 when none failed.
  static int lastError();

 private:
  bool flush();
  int fd_ = -1;
  bool ok_ = true;
  std::string path_;
  std::string temporary_;
  std::uint64_t position_ = 0;
  std::vector<std::uint8_t> buffer_;
};

inline std::uint16_t get16le(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
inline std::uint16_t get16be(const std::uint8_t* p) { return std::uint16_t((p[0] << 8) | p[1]); }
inline std::uint32_t get32le(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}
inline std::uint32_t get32be(const std::uint8_t* p) {
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | std::uint32_t(p[3]);
}
inline void put16le(std::uint8_t* p, std::uint32_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
}
inline void put32le(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}

// Swaps the bytes of n 16-bit samples in place.
void swap16(std::uint16_t* p, std::size_t n);

// The file name with its extension, for messages and dialogs.
std::string fileNameOf(const std::string& path);

}  // namespace viewer::formats::internal
