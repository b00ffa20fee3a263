// Greyscale TIFF: the reader takes uncompressed and PackBits strips in either
// byte order; the writer produces one fixed little-endian layout with the
// private ScanTagBlock behind tag 65171 and the pixels at byte 350.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "viewer/image_model.h"

namespace viewer::formats {

inline constexpr std::uint16_t kScanTagBlockTag = 65171;
inline constexpr std::uint32_t kTiffPixelOffset = 350;

// The private block: 64 SHORT values, little-endian in every file.
struct ScanTagBlock {
  char magic[4];             // "k4TZ", no terminator
  std::uint16_t bitsStored;  // 8, 10 or 12
  std::uint16_t halfRange;   // 2 ^ (bits stored - 1)
  std::uint16_t fullRange;   // 2 ^ bits stored
  std::uint16_t zero0;
  std::uint16_t zero1;
  std::uint16_t maxCode;     // 4095
  std::uint16_t rest[56];
};
static_assert(sizeof(ScanTagBlock) == 128, "the block is 64 SHORT values");

// The template with its words at 4, 6 and 8 set from the bits stored.
ScanTagBlock makeScanTagBlock(int bitsStored);
// The block's 128 bytes as they stand in a file.
void serializeScanTagBlock(const ScanTagBlock& block, std::uint8_t out[128]);

// The 350 bytes before the pixels of the fixed layout (header, 16 entries,
// resolutions, block), for an image of the given shape. An inverted image is
// marked WhiteIsZero, which the reader takes back as the flag.
void buildTiffHeader(std::uint8_t out[kTiffPixelOffset], int width, int height, int bytesPerPixel, int pitch,
                     int odRange, int bitsStored, bool inverted);

int ReadTiffFile(CImageItem& image, const std::string& path);
int WriteTiffFile(const CImageItem& image, const std::string& path);

// Expands a PackBits strip of packedBytes into at most `expected` bytes at dest;
// returns the bytes produced. Nothing happens for compression 1.
std::size_t DecodePackBits(int compression, const std::uint8_t* packed, std::size_t packedBytes,
                           std::uint8_t* dest, std::size_t expected);

}  // namespace viewer::formats
