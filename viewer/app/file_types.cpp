#include "viewer/app/file_types.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace viewer::app {

namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Up to three integers of a PGM header after its magic word, as the scan of
// the viewer reads them: blanks skipped, digits taken.
bool validPgmHeader(std::string text) {
  // Comments run to their line's end; they and line breaks become blanks.
  const std::size_t limit = std::min<std::size_t>(text.size(), 4094);
  for (std::size_t i = 0; i < limit; ++i) {
    if (text[i] == '#') {
      while (i < limit && text[i] != '\r' && text[i] != '\n') text[i++] = ' ';
      if (i < limit) text[i] = ' ';
    } else if (text[i] == '\r' || text[i] == '\n') {
      text[i] = ' ';
    }
  }
  std::size_t p = 0;
  auto skipBlanks = [&] {
    while (p < text.size() && std::isspace(static_cast<unsigned char>(text[p]))) ++p;
  };
  skipBlanks();
  std::string magic;
  while (p < text.size() && magic.size() < 3 && !std::isspace(static_cast<unsigned char>(text[p])))
    magic += text[p++];
  if (magic != "P5") return false;
  long values[3];
  for (long& v : values) {
    skipBlanks();
    if (p >= text.size() || !std::isdigit(static_cast<unsigned char>(text[p]))) return false;
    v = 0;
    while (p < text.size() && std::isdigit(static_cast<unsigned char>(text[p]))) {
      v = v * 10 + (text[p++] - '0');
      if (v > 1'000'000) return false;
    }
  }
  return values[0] >= 1 && values[0] <= 32767 && values[1] >= 1 && values[1] <= 32767 && values[2] >= 1 &&
         values[2] <= 255;
}

}  // namespace

std::string extensionOf(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  return std::string(path.substr(dot));
}

int typeByExtension(std::string_view path) {
  const std::string ext = lower(extensionOf(path));
  if (ext == ".tif") return kTypeTiff;
  if (ext == ".tiff") return kTypeTiffBig;
  if (ext == ".dcm" || ext == ".dicm" || ext == ".dicom") return kTypeDiconde;
  if (ext == ".raw") return kTypeRaw;
  if (ext == ".bmp") return kTypeBmp;
  if (ext == ".pgm") return kTypePgm;
  if (ext == ".jpg" || ext == ".jpe" || ext == ".jpeg") return kTypeJpeg;
  return kTypeUnknown;
}

int typeByContent(const std::string& path) {
  const int byName = typeByExtension(path);
  if (byName != kTypeUnknown) return byName;
  std::ifstream in(path, std::ios::binary);
  if (!in) return kTypeRaw;
  std::string head(4096, '\0');
  in.read(head.data(), std::streamsize(head.size()));
  head.resize(std::size_t(in.gcount()));
  if (head.compare(0, 4, std::string("II*\0", 4)) == 0) return kTypeTiff;
  if (head.compare(0, 4, std::string("MM\0*", 4)) == 0) return kTypeTiffBig;
  if (head.compare(0, 2, "BM") == 0) return kTypeBmp;
  if (head.compare(0, 2, "P5") == 0 && validPgmHeader(head)) return kTypePgm;
  if (head.size() >= 132 && head.compare(128, 4, "DICM") == 0) return kTypeDiconde;
  return kTypeRaw;
}

SaveFormat saveFormatFor(std::string_view path) {
  const std::string ext = lower(extensionOf(path));
  if (ext == ".dcm") return SaveFormat::Diconde;
  if (ext == ".tif") return SaveFormat::Tiff;
  if (ext == ".bmp") return SaveFormat::Bmp;
  if (ext == ".pgm") return SaveFormat::Pgm;
  if (ext == ".jpg") return SaveFormat::Jpeg;
  return SaveFormat::Raw;
}

std::string paddedNumber(long n, int width) {
  std::string digits = std::to_string(n);
  if (int(digits.size()) < width) digits.insert(0, std::size_t(width) - digits.size(), '0');
  return digits;
}

std::string SeriesPattern::name(long n) const { return prefix + paddedNumber(n, width) + suffix; }

SeriesPattern seriesPattern(std::string_view name) {
  SeriesPattern p;
  const std::size_t slash = name.find_last_of("/\\");
  const std::size_t floor = slash == std::string_view::npos ? 0 : slash + 1;
  std::size_t end = name.size();
  while (end > floor && !std::isdigit(static_cast<unsigned char>(name[end - 1]))) --end;
  if (end == floor) return p;
  std::size_t begin = end;
  while (begin > floor && end - begin < 8 && std::isdigit(static_cast<unsigned char>(name[begin - 1]))) --begin;
  p.valid = true;
  p.prefix = std::string(name.substr(0, begin));
  p.width = int(end - begin);
  p.suffix = std::string(name.substr(end));
  for (std::size_t i = begin; i < end; ++i) p.start = p.start * 10 + (name[i] - '0');
  return p;
}

}  // namespace viewer::app
