// What the engine makes of the scanned blocks: preview rows, the raw image file
// and its companions; and the stored images that stand in for the reader's data.
#pragma once

#include "devapi/records.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace crengine {

// The blocks of one scan, with the geometry they were made for. Shared, so a
// thread still reading them keeps them alive when a new scan replaces them.
struct BlockImageData {
  std::uint32_t width = 0;          // pixels per line
  std::uint32_t linesPerBlock = 0;
  std::uint32_t blockCount = 0;
  std::uint32_t depth = 16;
  bool invert = false;
  std::size_t pixelsPerBlock = 0;
  std::uint64_t totalBytes = 0;
  std::vector<std::unique_ptr<std::uint16_t[]>> blocks;
  std::vector<std::uint16_t*> table;
  std::unique_ptr<std::uint16_t[]> demoBlock;  // where the reader scans in Demo mode
  std::vector<std::uint16_t*> demoTable;
  // Preview working state, used by the scanner thread only.
  std::vector<std::uint16_t> ring;      // 8 smoothed lines
  std::vector<std::uint16_t> averaged;  // their mean
  double scale = 0;                     // preview rows per image line

  std::uint32_t totalLines() const { return linesPerBlock * blockCount; }
  // Zeroed blocks, or null when the sizes are unusable or memory is short.
  static std::shared_ptr<BlockImageData> allocate(std::uint32_t width, std::uint32_t linesPerBlock,
                                                  std::uint32_t blockCount, std::uint32_t depth, bool invert);
  bool allocateDemoBlock();
};

// The host's preview buffers and raw file path (from miniscreen_info).
struct Preview {
  std::uint16_t* image16 = nullptr;
  std::uint8_t* image8 = nullptr;
  int width = 0;
  int height = 0;
  std::string rawPath;
};

struct Progress {
  std::atomic<int> miniLine{0};
  std::atomic<int> scanLine{0};
  std::atomic<int> block{0};
  std::atomic<int> info{0};
  std::atomic<int> processed{0};
};

// Zeroes both preview buffers; false when they have no size.
bool clearPreview(const Preview& preview);
// Turns block b into preview rows (ProcessBlockImage_Block).
bool processBlock(BlockImageData& data, std::uint32_t b, const Preview& preview, Progress& progress);
// The raw file and its ".info" from the reader's condition and option.
bool writeRawFile(const BlockImageData& data, const std::string& path, const devapi::ScanCondition& condition,
                  const devapi::KtGOption& option);
// ".mini.raw" and ".mini.raw.info" beside the raw file.
bool writePreviewFiles(const Preview& preview, const std::string& path, int depth);

// The "*.raw" files of a directory, taken in turn on successive scans.
class StoredImages {
 public:
  bool setDirectory(const std::string& configured, const std::filesystem::path& programDir);
  const std::filesystem::path& directory() const { return directory_; }
  // Fills the blocks from the next stored image; false (blocks untouched or
  // partly filled) when none can be read.
  bool fill(BlockImageData& data, int outputDepth, bool invert);

 private:
  std::filesystem::path directory_;
  std::uint64_t attempts_ = 0;
};

}  // namespace crengine
