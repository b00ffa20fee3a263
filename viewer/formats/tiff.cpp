#include "viewer/formats/tiff.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "viewer/formats/format_support.h"
#include "viewer/formats/internal/file_io.h"

namespace viewer::formats {

using internal::InputFile;
using internal::OutputFile;

ScanTagBlock makeScanTagBlock(int bitsStored) {
  ScanTagBlock b{};
  std::memcpy(b.magic, "k4TZ", 4);
  const int bits = std::clamp(bitsStored, 1, 15);
  b.bitsStored = std::uint16_t(bits);
  b.halfRange = std::uint16_t(1u << (bits - 1));
  b.fullRange = std::uint16_t(1u << bits);
  b.maxCode = 4095;
  return b;
}

void serializeScanTagBlock(const ScanTagBlock& block, std::uint8_t out[128]) {
  std::memcpy(out, block.magic, 4);
  const std::uint16_t words[6] = {block.bitsStored, block.halfRange, block.fullRange,
                                  block.zero0, block.zero1, block.maxCode};
  for (int i = 0; i < 6; ++i) internal::put16le(out + 4 + 2 * i, words[i]);
  for (int i = 0; i < 56; ++i) internal::put16le(out + 16 + 2 * i, block.rest[i]);
}

void buildTiffHeader(std::uint8_t out[kTiffPixelOffset], int width, int height, int bytesPerPixel, int pitch,
                     int odRange, int bitsStored, bool inverted) {
  std::memset(out, 0, kTiffPixelOffset);
  out[0] = 'I';
  out[1] = 'I';
  internal::put16le(out + 2, 42);
  internal::put32le(out + 4, 8);
  internal::put16le(out + 8, 16);
  const std::uint32_t stripBytes = std::uint32_t(width) * std::uint32_t(height) * std::uint32_t(bytesPerPixel);
  const std::uint32_t curve = std::uint32_t(std::clamp(odRange * 100, 0, 65535));
  struct Entry {
    std::uint16_t tag, type;
    std::uint32_t count, value;
  };
  // Offsets are the entry's own position plus a fixed distance, as the layout
  // always puts them at 350, 206, 214 and 222.
  const Entry entries[16] = {
      {254, 4, 1, 0},
      {256, 3, 1, std::uint32_t(width)},
      {257, 3, 1, std::uint32_t(height)},
      {258, 3, 1, std::uint32_t(8 * bytesPerPixel)},
      {259, 3, 1, 1},
      {262, 3, 1, inverted ? 0u : 1u},
      {273, 3, 1, 10 + 6 * 12 + 268},
      {277, 3, 1, 1},
      {278, 3, 1, std::uint32_t(height)},
      {279, 4, 1, stripBytes},
      {282, 5, 1, 10 + 10 * 12 + 76},
      {283, 5, 1, 10 + 11 * 12 + 72},
      {290, 3, 1, 3},
      {291, 3, 1, curve},
      {296, 3, 1, 2},
      {kScanTagBlockTag, 3, 64, 10 + 15 * 12 + 32},
  };
  std::uint8_t* p = out + 10;
  for (const Entry& e : entries) {
    internal::put16le(p, e.tag);
    internal::put16le(p + 2, e.type);
    internal::put32le(p + 4, e.count);
    internal::put32le(p + 8, e.value);
    p += 12;
  }
  internal::put32le(out + 202, 0);
  // A pitch of 0 (unknown) would make the resolutions divide by zero.
  const std::uint32_t denominator = pitch > 0 ? std::uint32_t(pitch) : 200;
  internal::put32le(out + 206, 25400);
  internal::put32le(out + 210, denominator);
  internal::put32le(out + 214, 25400);
  internal::put32le(out + 218, denominator);
  serializeScanTagBlock(makeScanTagBlock(bitsStored), out + 222);
}

std::size_t DecodePackBits(int compression, const std::uint8_t* packed, std::size_t packedBytes,
                           std::uint8_t* dest, std::size_t expected) {
  if (compression == 1) return 0;
  std::size_t in = 0, out = 0;
  while (out < expected && in < packedBytes) {
    const int n = static_cast<std::int8_t>(packed[in++]);
    if (n >= 0) {
      // Literal run, bounded by both the input left and the room left.
      const std::size_t len = std::min({std::size_t(n) + 1, packedBytes - in, expected - out});
      std::memcpy(dest + out, packed + in, len);
      in += std::size_t(n) + 1;
      out += len;
    } else if (n != -128) {
      if (in >= packedBytes) break;
      const std::size_t len = std::min(std::size_t(1 - n), expected - out);
      std::memset(dest + out, packed[in++], len);
      out += len;
    }
  }
  return out;
}

namespace {

constexpr std::size_t kMaxStrips = 2048;
constexpr int kMaxDirectories = 64;
// PackBits can at most turn 2 bytes into 128.
constexpr std::uint64_t kPackBitsMaxRatio = 64;

// The working values of one read, all reset for every file.
struct TiffValues {
  bool bigEndian = false;
  std::uint32_t width = 0, height = 0;
  std::uint32_t bitsPerSample = 1, compression = 1, photometric = 1, samplesPerPixel = 1;
  std::uint32_t rowsPerStrip = 0xFFFFFFFFu, sampleFormat = 0;
  std::uint32_t grayResponseUnit = 3, grayResponseCurve = 0;
  std::vector<std::uint64_t> stripOffsets, stripByteCounts;
  bool tooManyOffsets = false, tooManyCounts = false;  // per array: a later directory may replace it
  bool blockFound = false;
  int blockBits = 0;

  std::uint16_t r16(const std::uint8_t* p) const { return bigEndian ? internal::get16be(p) : internal::get16le(p); }
  std::uint32_t r32(const std::uint8_t* p) const { return bigEndian ? internal::get32be(p) : internal::get32le(p); }
};

int typeSize(std::uint16_t type) { return type == 1 ? 1 : type == 4 ? 4 : 2; }

std::uint32_t fieldValue(const TiffValues& v, std::uint16_t type, const std::uint8_t* field) {
  switch (type) {
    case 1: return field[0];
    case 3: return v.r16(field);
    case 4: return v.r32(field);
    default: return 0;
  }
}

// Reads a strip array; false when its values are not in the file.
bool readArray(const InputFile& f, TiffValues& v, std::uint16_t type, std::uint32_t count, const std::uint8_t* field,
               std::vector<std::uint64_t>& out, bool& tooMany) {
  out.clear();
  tooMany = count > kMaxStrips;
  if (tooMany) return true;
  if (count == 0) return true;
  const int size = typeSize(type);
  std::vector<std::uint8_t> bytes(std::size_t(count) * std::size_t(size));
  if (bytes.size() <= 4) {
    std::memcpy(bytes.data(), field, bytes.size());
  } else if (!f.readExact(v.r32(field), bytes.data(), bytes.size())) {
    return false;
  }
  out.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* p = bytes.data() + std::size_t(i) * std::size_t(size);
    out.push_back(size == 1 ? p[0] : size == 2 ? v.r16(p) : v.r32(p));
  }
  return true;
}

// Handles one 12-byte directory entry; false when it points outside the file.
bool handleEntry(const InputFile& f, TiffValues& v, const std::uint8_t* e) {
  const std::uint16_t tag = v.r16(e), type = v.r16(e + 2);
  const std::uint32_t count = v.r32(e + 4);
  const std::uint8_t* field = e + 8;
  switch (tag) {
    case 256: v.width = fieldValue(v, type, field); break;
    case 257: v.height = fieldValue(v, type, field); break;
    case 258: v.bitsPerSample = fieldValue(v, type, field); break;
    case 259: v.compression = fieldValue(v, type, field); break;
    case 262: v.photometric = fieldValue(v, type, field); break;
    case 277: v.samplesPerPixel = fieldValue(v, type, field); break;
    case 278: v.rowsPerStrip = fieldValue(v, type, field); break;
    case 290: v.grayResponseUnit = fieldValue(v, type, field); break;
    case 291:
      // A full response table is no single O.D. range.
      if (count == 1) v.grayResponseCurve = fieldValue(v, type, field);
      break;
    case 296: break;  // resolution unit: the pitch is always 200 micrometres
    case 339: v.sampleFormat = fieldValue(v, type, field); break;
    case 273: return readArray(f, v, type, count, field, v.stripOffsets, v.tooManyOffsets);
    case 279: return readArray(f, v, type, count, field, v.stripByteCounts, v.tooManyCounts);
    case kScanTagBlockTag: {
      if (count != 64) break;
      std::uint8_t block[12];
      if (!f.readExact(v.r32(field), block, sizeof block)) break;
      if (std::memcmp(block, "k4TZ", 4) != 0) break;
      const int bits = internal::get16le(block + 4);
      // Only a 16-bit image's depth comes from the block.
      if (bits >= 9 && bits <= 12) {
        v.blockBits = bits;
        v.blockFound = true;
      }
      break;
    }
    default: break;
  }
  return true;
}

}  // namespace

int ReadTiffFile(CImageItem& image, const std::string& path) {
  failures().beginRead();
  image.freePixels();
  InputFile f;
  if (!f.open(path)) return fail(kFileAccessFailure);

  TiffValues v;
  std::uint8_t header[8];
  if (!f.readExact(0, header, sizeof header)) return fail(kNotSupported, "(2FFFFFFFF2A)");
  v.bigEndian = header[0] == 'M' && header[1] == 'M';
  if (v.r16(header + 2) != 42) return fail(kNotSupported, "(2FFFFFFFF2A)");

  std::uint64_t ifd = v.r32(header + 4);
  std::vector<std::uint64_t> visited;
  while (ifd != 0) {
    // A chain that comes back to a directory already read, or never ends, is cut off.
    if (std::find(visited.begin(), visited.end(), ifd) != visited.end() || int(visited.size()) >= kMaxDirectories)
      break;
    visited.push_back(ifd);
    std::uint8_t countBytes[2];
    if (!f.readExact(ifd, countBytes, 2)) return fail(kFileAccessFailure);
    const std::uint16_t n = v.r16(countBytes);
    std::vector<std::uint8_t> entries(std::size_t(n) * 12);
    if (!f.readExact(ifd + 2, entries.data(), entries.size())) return fail(kFileAccessFailure);
    for (std::uint16_t i = 0; i < n; ++i)
      if (!handleEntry(f, v, entries.data() + std::size_t(i) * 12)) return fail(kFileAccessFailure);
    std::uint8_t next[4];
    ifd = f.readExact(ifd + 2 + entries.size(), next, 4) ? v.r32(next) : 0;
  }

  if (v.photometric > 1) return fail(kNotSupported);
  if (v.sampleFormat == 2) return fail(kSignedPixelData);
  if (v.sampleFormat == 3) return fail(kNotSupported, "(20000015303)");
  if (v.sampleFormat > 1) return fail(kUnknownReason);
  if (v.compression != 1 && v.compression != 32773) return fail(kCompressedImageData);
  // Bilevel, packed 12-bit or multi-sample pixels would be shown as garbage.
  if ((v.bitsPerSample != 8 && v.bitsPerSample != 16) || v.samplesPerPixel != 1) return fail(kNotSupported);
  if (v.width < 1 || v.height < 1 || v.width > std::uint32_t(kMaxImageSide) || v.height > std::uint32_t(kMaxImageSide))
    return fail(kNotSupported);
  if (v.tooManyOffsets || v.tooManyCounts || v.stripOffsets.empty()) return fail(kNotSupported);

  const int bpp = v.bitsPerSample < 9 ? 1 : 2;
  const std::uint64_t rowBytes = std::uint64_t(v.width) * std::uint64_t(bpp);
  const std::uint64_t rps = v.rowsPerStrip == 0 || v.rowsPerStrip > v.height ? v.height : v.rowsPerStrip;
  const std::uint64_t needed = (v.height + rps - 1) / rps;
  if (v.stripOffsets.size() < needed || v.stripByteCounts.size() < needed) return fail(kFileAccessFailure);
  if (rowBytes * v.height > kMaxImageBytes) return fail(kOutOfMemory);

  // Every strip must be in the file, and hold enough for its rows, before the
  // buffer is allocated.
  for (std::uint64_t i = 0; i < needed; ++i) {
    const std::uint64_t rows = std::min(rps, v.height - i * rps);
    const std::uint64_t room = rows * rowBytes;
    const std::uint64_t off = v.stripOffsets[i], count = v.stripByteCounts[i];
    if (!f.holds(off, count)) return fail(kFileAccessFailure);
    if (v.compression == 1 ? count < room : count * kPackBitsMaxRatio < room) return fail(kFileAccessFailure);
  }

  if (!image.allocate(bpp, int(v.width), int(v.height))) return fail(kOutOfMemory);
  if (v.compression != 1) {
    std::vector<std::uint8_t> packed;
    for (std::uint64_t i = 0; i < needed; ++i) {
      const std::uint64_t rows = std::min(rps, v.height - i * rps);
      const std::size_t room = std::size_t(rows * rowBytes);
      std::uint8_t* dest = image.data() + std::size_t(i * rps * rowBytes);
      packed.resize(std::size_t(v.stripByteCounts[i]));
      if (!f.readExact(v.stripOffsets[i], packed.data(), packed.size())) return fail(kFileAccessFailure);
      if (DecodePackBits(int(v.compression), packed.data(), packed.size(), dest, room) != room)
        return fail(kFileAccessFailure);
    }
    if (bpp == 2 && v.bigEndian) internal::swap16(image.data16(), image.sampleCount());
  }
  // Uncompressed rows are read piece by piece as the load counts them; a
  // strip longer than its rows is clipped to them.
  const CImageItem::RowSource readRows = [&](int y0, int y1, std::uint8_t* rows) {
    for (std::uint64_t y = std::uint64_t(y0); y < std::uint64_t(y1);) {
      const std::uint64_t strip = y / rps, first = strip * rps;
      const std::uint64_t end = std::min<std::uint64_t>(std::uint64_t(y1), first + rps);
      std::uint8_t* dest = rows + std::size_t((y - std::uint64_t(y0)) * rowBytes);
      const std::size_t n = std::size_t((end - y) * rowBytes);
      if (!f.readExact(v.stripOffsets[strip] + (y - first) * rowBytes, dest, n)) return false;
      if (bpp == 2 && v.bigEndian) internal::swap16(reinterpret_cast<std::uint16_t*>(dest), n / 2);
      y = end;
    }
    return true;
  };

  int divisor = 10;
  switch (v.grayResponseUnit) {
    case 1: divisor = 1; break;
    case 2: divisor = 10; break;
    case 3: divisor = 100; break;
    case 4: divisor = 1000; break;
    case 5: divisor = 10000; break;
    default: break;
  }
  image.odRange = int(v.grayResponseCurve / std::uint32_t(divisor));
  image.bitsStored = 8 * bpp;
  image.pitch = 200;
  image.inverted = v.photometric == 0 ? 1 : 0;  // WhiteIsZero
  image.sopInstanceUid.clear();
  image.studyInstanceUid.clear();
  image.seriesInstanceUid.clear();
  switch (image.completeLoad(v.compression == 1 ? readRows : CImageItem::RowSource{})) {
    case CImageItem::LoadResult::kLoaded: break;
    case CImageItem::LoadResult::kReadFailed: return fail(kFileAccessFailure);
    case CImageItem::LoadResult::kLargerThan12Bits: return fail(kLargerThan12Bits);
  }
  if (bpp == 2) image.bitsStored = v.blockFound ? v.blockBits : image.maxValue > 1023 ? 12 : 10;
  return 1;
}

int WriteTiffFile(const CImageItem& image, const std::string& path) {
  OutputFile out;
  if (!out.open(path)) {
    reportWriteFailure(path);
    return 0;
  }
  if (!image.hasPixels()) {
    out.discard();
    return 0;
  }
  std::uint8_t header[kTiffPixelOffset];
  buildTiffHeader(header, image.width(), image.height(), image.bytesPerSample(), image.pitch, image.odRange,
                  image.bitsStored, image.inverted != 0);
  out.write(header, sizeof header);
  out.write(image.data(), image.byteCount());
  return out.finish() ? 1 : 0;
}

}  // namespace viewer::formats
