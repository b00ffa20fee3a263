// RAW files: bare samples, optionally behind a header, 8-bit or 16-bit in
// Windows (little-endian) or Macintosh (big-endian) order. The layout comes
// from the user (the "Raw File Parameters" dialog, through the prompt) or
// from what the image remembers.
#pragma once

#include <cstdint>
#include <string>

#include "viewer/image_model.h"

namespace viewer::formats {

// The last RAW parameters, one set for the whole program.
struct RawLastParameters {
  std::uint64_t lastFileSize = 0;
  int width = 0;
  int height = 0;
  std::int64_t headerSize = 0;
  int depthIndex = 2;  // taken from settings().rawBitsPixel at the first RAW read
  bool depthLoaded = false;
  int byteOrder = 1;  // 0 Macintosh, 1 Windows
  int adopt = 1;
  int ask = 1;  // the dialog must be shown
};
RawLastParameters& rawParameters();

// The open pipeline calls this at the start of every open command.
void rawBeginOpenCommand();

// The layout of the last RAW read or write, for the pipeline to keep in the image.
RawLayout lastRawLayout();

int ReadRawFile(CImageItem& image, const std::string& path);
// byteOrder: 0 Windows, 1 Macintosh.
int WriteRawFile(const CImageItem& image, const std::string& path, int byteOrder);
// Re-reads the pixels with the image's remembered RAW layout and depth.
int ReloadRawFile(CImageItem& image, const std::string& path);

}  // namespace viewer::formats
