// File types by extension and by content, the save format chosen by a
// path's extension, and the numbered-series pattern of a file name.
#pragma once
#include <string>
#include <string_view>

namespace viewer::app {

// ImageFileType codes.
enum ImageFileType : int {
  kTypeUnknown = -1,
  kTypeTiff = 0,     // ".tif", or "II*\0"
  kTypeTiffBig = 1,  // ".tiff", or "MM\0*"
  kTypeDiconde = 2,
  kTypeRaw = 3,
  kTypeBmp = 4,
  kTypePgm = 5,
  kTypeJpeg = 6,
};

// The extension of a path's last component, from its last '.', or empty.
std::string extensionOf(std::string_view path);

int typeByExtension(std::string_view path);
// The extension's code when it has one; otherwise the first 4096 bytes decide
// (RAW when nothing matches or the file cannot be read).
int typeByContent(const std::string& path);

enum class SaveFormat { Diconde, Tiff, Bmp, Pgm, Jpeg, Raw };
// Only the six exact extensions choose their writer; everything else,
// ".tiff" and ".jpeg" included, is written as RAW.
SaveFormat saveFormatFor(std::string_view path);

// A numbered name kept as its parts, so that no part of a file name is ever
// read as a format.
struct SeriesPattern {
  bool valid = false;
  std::string prefix;
  int width = 0;  // digits of the number field
  std::string suffix;
  long start = 0;
  // prefix + n zero-padded to width + suffix.
  std::string name(long n) const;
};
// The last run of decimal digits of the name (at most 8; digits further left
// stay in the prefix), searched back to the start or the last separator.
SeriesPattern seriesPattern(std::string_view name);
// n zero-padded to width digits.
std::string paddedNumber(long n, int width);

}  // namespace viewer::app
