// What the CR corrections and the unprocessed-image dump share: the image
// held in blocks of lines and what the device object knows of its scan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

namespace zentrac {

// An image of 16-bit samples held as blocks of whole lines: line y lies in
// block y / linesPerBlock at line y % linesPerBlock.
struct CorrectionImage {
  std::uint16_t* const* blocks = nullptr;
  std::size_t blockCount = 0;
  std::size_t linesPerBlock = 0;
  std::size_t width = 0;

  std::size_t lines() const { return blockCount * linesPerBlock; }
  std::uint16_t* line(std::size_t y) const {
    return blocks[y / linesPerBlock] + (y % linesPerBlock) * width;
  }
  // Non-null blocks, a width within the work storage, and a sample count that fits.
  bool valid() const;
};

// Widest image the column storage takes.
inline constexpr std::size_t kMaxColumns = 65536;
using LogSink = std::function<void(std::string_view entry)>;

// What the device object knows of the scan being corrected.
struct ScanContext {
  int outBitDepth = 12;            // low byte of ImageDataFormat
  std::uint16_t option1 = 0;       // low byte: scan mode
  std::uint16_t option2 = 0;       // low byte: od_max
  std::uint16_t option5 = 0;       // high voltage, scanner units
  std::uint16_t numberOfLut = 0;   // photometric word
  std::uint16_t scanPitch = 0;     // um
  std::uint16_t serialNumber = 0;
  bool dumpUnprocessed = false;    // NoPROC_IMAGE
  std::filesystem::path dumpDir;   // the library's directory
  LogSink log;                     // operations log entries
};

}  // namespace zentrac
