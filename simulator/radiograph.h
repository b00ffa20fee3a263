// The simulated scanners' images: deterministic test radiographs (a step wedge,
// a weld seam with a crack line, wire indicators, seeded noise), laid out in film
// coordinates so that any window at any pitch, and consecutive blocks of one
// plate, can be checked to the byte.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace sim {

struct ImageSpec {
  std::uint16_t pitchUm = 100;      // micrometres per pixel and per line
  std::uint32_t startX = 0;         // first pixel, counted from the film's left edge
  std::uint32_t startY = 0;         // first line, counted from the film's top edge
  std::uint32_t width = 0;          // pixels per line
  std::uint32_t height = 0;         // lines
  std::uint8_t bytesPerSample = 2;  // 1 (the low byte) or 2 (little-endian)
  std::uint8_t bits = 16;           // significant bits per sample, 1..16
  std::uint32_t seed = 0;           // the noise
  bool inverted = false;            // samples run white to black: 2^bits - 1 - level

  bool operator==(const ImageSpec&) const = default;
};

// One sample of the radiograph at film pixel (x, y) with `bits` significant bits.
std::uint16_t radiographSample(const ImageSpec& spec, std::uint32_t x, std::uint32_t y);

// The image bytes of `spec`, rows top to bottom; empty when its size does not fit
// in memory terms (more than 256 MiB) or a field is out of range.
std::vector<std::uint8_t> radiograph(const ImageSpec& spec);

// Bytes of the whole image of `spec`, or 0 when it is out of range.
std::uint64_t radiographBytes(const ImageSpec& spec);

// What a scan command of the simulated scanners delivers for these scan
// parameters (the 15 words as set): `code` 5 (2-byte samples), 128 or 129 (one
// byte per sample when the sensor depth in the high byte of ImageDataFormat is 8
// or less), with the output depth of the low byte but no more bits than a sensor
// of 9 bits or more reads; `lineOffset` lines below the parameters' start line
// and `lines` lines.
ImageSpec scanImageSpec(std::span<const std::uint16_t> scanParameters, std::uint16_t code,
                        std::uint32_t lineOffset, std::uint32_t lines, std::uint32_t seed);

// The CR reader's output form by the photometric word in NumberOfLUT: 0 and 1
// give 12 bits, 2 and 3 give 14, any other 16; 1, 3 and 4 run inverted.
std::uint8_t plateOutputBits(std::uint16_t photometricWord);
bool plateInverted(std::uint16_t photometricWord);

// What a scan command of the simulated CR reader delivers: scanImageSpec's
// image, inverted within its depth when the parameters' photometric word says so.
ImageSpec plateImageSpec(std::span<const std::uint16_t> scanParameters, std::uint16_t code,
                         std::uint32_t lineOffset, std::uint32_t lines, std::uint32_t seed);

// The 14-byte header that a scan with the scan command 5 sends after its prefix.
std::vector<std::uint8_t> scanHeader(std::span<const std::uint16_t> scanParameters);

}  // namespace sim
