#include "viewer/formats/pgm_bmp.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "viewer/formats/format_support.h"
#include "viewer/formats/internal/file_io.h"

namespace viewer::formats {

namespace {

// Row y of the image as 8-bit samples: as stored, or sample x 255 / max value.
void row8(const CImageItem& image, int y, std::uint8_t* out) {
  const std::size_t w = std::size_t(image.width());
  if (image.bytesPerSample() == 1) {
    std::memcpy(out, image.data() + std::size_t(y) * w, w);
    return;
  }
  const int maxValue = image.maxValue > 0 ? image.maxValue : 4095;
  const std::uint16_t* p = image.data16() + std::size_t(y) * w;
  for (std::size_t x = 0; x < w; ++x) out[x] = std::uint8_t(std::min(int(p[x]) * 255 / maxValue, 255));
}

void finish8BitRead(CImageItem& image) {
  image.bitsStored = 8;
  image.odRange = 0;
  image.sopInstanceUid.clear();
  image.studyInstanceUid.clear();
  image.seriesInstanceUid.clear();
}

struct PgmHeader {
  int width = 0, height = 0, maxValue = 0;
  std::size_t end = 0;  // first pixel byte
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

// Parses a header from the first bytes of a file: comments and line breaks
// are blanked first, so they may stand anywhere in it.
bool parsePgm(std::string text, PgmHeader& h) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '#') {
      while (i < text.size() && text[i] != '\n' && text[i] != '\r') text[i++] = ' ';
      if (i < text.size()) text[i] = ' ';
    } else if (text[i] == '\n' || text[i] == '\r') {
      text[i] = ' ';
    }
  }
  std::size_t pos = 0;
  auto skip = [&] {
    while (pos < text.size() && isBlank(text[pos])) ++pos;
  };
  skip();
  if (text.compare(pos, 2, "P5") != 0 || (pos + 2 < text.size() && !isBlank(text[pos + 2]))) return false;
  pos += 2;
  int values[3];
  for (int& v : values) {
    skip();
    long n = 0;
    const std::size_t start = pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && n <= 100000) n = n * 10 + (text[pos++] - '0');
    if (pos == start || (pos < text.size() && !isBlank(text[pos])) || n > 100000) return false;
    v = int(n);
  }
  h.width = values[0];
  h.height = values[1];
  h.maxValue = values[2];
  if (h.width < 1 || h.width > 32767 || h.height < 1 || h.height > 32767 || h.maxValue < 1 || h.maxValue > 255)
    return false;
  if (pos >= text.size()) return false;  // no whitespace after the maximum value
  h.end = pos + 1;
  return true;
}

}  // namespace

int ReadPgmFile(CImageItem& image, const std::string& path) {
  failures().beginRead();
  image.freePixels();
  internal::InputFile f;
  if (!f.open(path)) return fail(kFileAccessFailure);
  std::string head(4096, '\0');
  head.resize(f.readAt(0, head.data(), head.size()));
  PgmHeader h;
  if (!parsePgm(head, h) || h.end > 4000) return fail(kNotSupported);
  const std::uint64_t bytes = std::uint64_t(h.width) * std::uint64_t(h.height);
  if (!f.holds(h.end, bytes)) return fail(kFileAccessFailure);
  if (!image.allocate(1, h.width, h.height)) return fail(kOutOfMemory);
  if (!f.readExact(h.end, image.data(), image.byteCount())) return fail(kFileAccessFailure);
  image.pitch = 200;
  finish8BitRead(image);
  if (!image.completeLoad()) return fail(kLargerThan12Bits);
  return 1;
}

int WritePgmFile(const CImageItem& image, const std::string& path) {
  internal::OutputFile out;
  if (!out.open(path)) {
    reportWriteFailure(path);
    return 0;
  }
  bool ok = image.hasPixels();
  if (ok) {
    const std::string header = "P5\n" + std::to_string(image.width()) + " " + std::to_string(image.height()) + "\n255\n";
    ok = out.write(header.data(), header.size());
    std::vector<std::uint8_t> row(std::size_t(image.width()));
    for (int y = 0; ok && y < image.height(); ++y) {
      row8(image, y, row.data());
      ok = out.write(row.data(), row.size());
    }
  }
  if (!ok) out.discard();
  if (!ok || !out.finish()) {
    reportWriteFailure(path);
    return 0;
  }
  return 1;
}

int ReadBmpFile(CImageItem& image, const std::string& path) {
  failures().beginRead();
  image.freePixels();
  internal::InputFile f;
  if (!f.open(path)) return fail(kFileAccessFailure);
  std::uint8_t fh[14], ih[40];
  if (!f.readExact(0, fh, sizeof fh)) return fail(kFileAccessFailure);
  if (fh[0] != 'B' || fh[1] != 'M') return fail(kNotSupported);
  if (!f.readExact(14, ih, sizeof ih)) return fail(kFileAccessFailure);
  const std::uint32_t infoSize = internal::get32le(ih);
  // The old 12-byte core header lays out its fields differently.
  if (infoSize < 40) return fail(kNotSupported);
  const auto width = std::int32_t(internal::get32le(ih + 4));
  const auto height = std::int32_t(internal::get32le(ih + 8));
  const std::uint16_t planes = internal::get16le(ih + 12), bits = internal::get16le(ih + 14);
  const std::uint32_t compression = internal::get32le(ih + 16);
  const auto ppm = std::int32_t(internal::get32le(ih + 24));
  const std::uint32_t coloursUsed = internal::get32le(ih + 32);
  if (planes > 1 || bits != 8) return fail(kNotSupported);
  if (compression != 0) return fail(kCompressedImageData);
  if (width < 1 || width > kMaxImageSide || height == INT_MIN || height == 0 || std::abs(height) > kMaxImageSide)
    return fail(kNotSupported);
  const int rows = std::abs(height);

  // Grey BMPs from other programs do not keep index = grey: the palette says.
  std::uint8_t grey[256];
  for (int i = 0; i < 256; ++i) grey[i] = 0;
  const std::uint32_t entries = coloursUsed == 0 || coloursUsed > 256 ? 256 : coloursUsed;
  std::uint8_t palette[1024];
  if (!f.readExact(14 + std::uint64_t(infoSize), palette, entries * 4)) return fail(kFileAccessFailure);
  for (std::uint32_t i = 0; i < entries; ++i) grey[i] = palette[i * 4 + 1];  // green: the grey of a grey entry

  const std::uint64_t offset = internal::get32le(fh + 10);
  const std::uint64_t rowSize = (std::uint64_t(width) + 3) & ~std::uint64_t(3);
  if (!f.holds(offset, rowSize * std::uint64_t(rows - 1) + std::uint64_t(width))) return fail(kFileAccessFailure);
  if (!image.allocate(1, width, rows)) return fail(kOutOfMemory);
  for (int i = 0; i < rows; ++i) {
    const int y = height > 0 ? rows - 1 - i : i;
    std::uint8_t* dest = image.data() + std::size_t(y) * std::size_t(width);
    if (!f.readExact(offset + std::uint64_t(i) * rowSize, dest, std::size_t(width))) return fail(kFileAccessFailure);
    for (int x = 0; x < width; ++x) dest[x] = grey[dest[x]];
  }
  image.pitch = ppm < 1 ? 200 : std::uint16_t(std::clamp(1000000 / ppm, 1, 65535));
  finish8BitRead(image);
  if (!image.completeLoad()) return fail(kLargerThan12Bits);
  return 1;
}

int WriteBmpFile(const CImageItem& image, const std::string& path) {
  internal::OutputFile out;
  if (!out.open(path)) {
    reportWriteFailure(path);
    return 0;
  }
  bool ok = image.hasPixels();
  if (ok) {
    const std::uint32_t rowSize = (std::uint32_t(image.width()) + 3) & ~3u;
    const std::uint32_t imageBytes = rowSize * std::uint32_t(image.height());
    const std::uint32_t ppm = image.pitch > 0 ? 1000000u / image.pitch : 5000u;
    std::uint8_t h[1078] = {};
    h[0] = 'B';
    h[1] = 'M';
    internal::put32le(h + 2, imageBytes + 1078);
    internal::put32le(h + 10, 1078);
    internal::put32le(h + 14, 40);
    internal::put32le(h + 18, std::uint32_t(image.width()));
    internal::put32le(h + 22, std::uint32_t(image.height()));
    internal::put16le(h + 26, 1);
    internal::put16le(h + 28, 8);
    internal::put32le(h + 34, imageBytes);
    internal::put32le(h + 38, ppm);
    internal::put32le(h + 42, ppm);
    for (int i = 0; i < 256; ++i) h[54 + 4 * i] = h[55 + 4 * i] = h[56 + 4 * i] = std::uint8_t(i);
    ok = out.write(h, sizeof h);
    std::vector<std::uint8_t> row(rowSize, 0);
    for (int y = image.height() - 1; ok && y >= 0; --y) {
      row8(image, y, row.data());
      ok = out.write(row.data(), row.size());
    }
  }
  if (!ok) out.discard();
  if (!ok || !out.finish()) {
    reportWriteFailure(path);
    return 0;
  }
  return 1;
}

}  // namespace viewer::formats
