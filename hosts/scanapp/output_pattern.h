// The output path of the scan program: the format its extension chooses, and
// the numbered file names made from the digit run in it.
#pragma once

#include <string>
#include <string_view>

namespace ombrel {

enum class Format { Tiff, Dicom, Raw };

struct OutputPattern {
  std::string prefix;  // everything before the number field
  int width = 2;       // digits of the zero-padded number
  std::string suffix;  // everything after it
  long start = 1;
  Format format = Format::Raw;

  // prefix + number zero-padded to width + suffix; never a format string, so
  // a '%' in the path stays a '%'.
  std::string fileName(long number) const;
};

// The pattern of a path: the run of at most 8 characters from the leftmost
// digit taken to the last digit, searched back to the last '/'; without a digit
// "NN" before the extension, starting at 1.
OutputPattern makePattern(std::string_view path);

// True when the folder of the path exists as a directory (no folder: the
// current one).
bool outputFolderExists(std::string_view path);

}  // namespace ombrel
