#include "simulator/radiograph.h"

#include <algorithm>
#include <thread>

namespace sim {
namespace {

// Twice the largest film at the finest pitch the scanners take.
constexpr std::uint64_t kMaxImageBytes = std::uint64_t(256) << 20;

bool validSpec(const ImageSpec& s) {
  return s.pitchUm != 0 && (s.bytesPerSample == 1 || s.bytesPerSample == 2) && s.bits >= 1 &&
         s.bits <= 16;
}

std::uint16_t maxValue(const ImageSpec& s) { return std::uint16_t((std::uint32_t(1) << s.bits) - 1); }

std::uint32_t noise(std::uint32_t x, std::uint32_t y, std::uint32_t seed) {
  std::uint32_t h = x * 0x9E3779B1u ^ (y + 0x7F4A7C15u) * 0x85EBCA77u ^ seed * 0xC2B2AE3Du;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  h ^= h >> 15;
  return h;
}

// The features by distance down the film (v, micrometres) and across it (u).
enum class Band { Wedge = 0, Seam = 1, Wires = 2, Plain = 3 };

struct Row {
  Band band;
  std::int64_t seamLevel = 0;  // the seam's level across its width, for this line
};

Row rowAt(std::uint64_t v) {
  if (v < 40000) return {Band::Wedge};
  std::int64_t d = std::int64_t(v) - 120000;
  if (d < 0) d = -d;
  if (d < 10000) {
    std::int64_t level = 30000 + 15000 - 15000 * d * d / 100000000;
    if (d < 200) level -= 6000;  // the crack along the seam's middle
    return {Band::Seam, level};
  }
  if (v >= 150000 && v < 200000) return {Band::Wires};
  return {Band::Plain};
}

std::int64_t levelAt(const Row& row, std::uint64_t u) {
  switch (row.band) {
    case Band::Wedge:
      return 6000 + std::int64_t(std::min<std::uint64_t>(u / 25000, 9)) * 5500;
    case Band::Seam:
      return row.seamLevel + std::int64_t((u / 1000) % 7) * 300;
    case Band::Wires: {
      std::int64_t level = 22000;
      for (int k = 0; k < 7; ++k) {
        std::int64_t centre = 60000 + 8000 * k;
        std::int64_t half = std::max<std::int64_t>(200 / (k + 1), 20);
        std::int64_t d = std::int64_t(u) - centre;
        if (d >= -half && d <= half) level -= 9000;
      }
      return level;
    }
    case Band::Plain:
      break;
  }
  return 20000 + std::int64_t(u / 1000) * 20;
}

std::uint16_t finish(const ImageSpec& s, std::int64_t level, std::uint32_t x, std::uint32_t y) {
  level += std::int64_t(noise(x, y, s.seed) & 1023) - 512;
  level = std::clamp<std::int64_t>(level, 0, 65535);
  const std::uint16_t sample = std::uint16_t(std::uint32_t(level) >> (16 - s.bits));
  return s.inverted ? std::uint16_t(maxValue(s) - sample) : sample;
}

}  // namespace

std::uint16_t radiographSample(const ImageSpec& s, std::uint32_t x, std::uint32_t y) {
  if (!validSpec(s)) return 0;
  Row row = rowAt(std::uint64_t(y) * s.pitchUm);
  return finish(s, levelAt(row, std::uint64_t(x) * s.pitchUm), x, y);
}

std::uint64_t radiographBytes(const ImageSpec& s) {
  if (!validSpec(s)) return 0;
  std::uint64_t bytes = std::uint64_t(s.width) * s.height * s.bytesPerSample;
  if (bytes > kMaxImageBytes) return 0;
  return bytes;
}

std::vector<std::uint8_t> radiograph(const ImageSpec& s) {
  std::uint64_t bytes = radiographBytes(s);
  if (bytes == 0) return {};
  // The level across the film depends on the band and the column only: one
  // table per band, then each line adds its seam level and the noise.
  const Band bands[] = {Band::Wedge, Band::Seam, Band::Wires, Band::Plain};
  std::vector<std::int32_t> columns[4];
  for (int b = 0; b < 4; ++b) {
    Row row{bands[b], 0};
    columns[b].resize(s.width);
    for (std::uint32_t c = 0; c < s.width; ++c)
      columns[b][c] = std::int32_t(levelAt(row, std::uint64_t(s.startX + c) * s.pitchUm));
  }
  std::vector<std::uint8_t> out(bytes);
  const int shift = 16 - s.bits;
  const std::uint16_t flip = s.inverted ? maxValue(s) : 0;
  const std::size_t rowBytes = std::size_t(s.width) * s.bytesPerSample;
  auto render = [&](std::uint32_t from, std::uint32_t to) {
    std::uint8_t* p = out.data() + from * rowBytes;
    for (std::uint32_t r = from; r < to; ++r) {
      const std::uint32_t y = s.startY + r;
      const Row row = rowAt(std::uint64_t(y) * s.pitchUm);
      const std::int32_t* level = columns[int(row.band)].data();
      const std::int32_t add = row.band == Band::Seam ? std::int32_t(row.seamLevel) : 0;
      for (std::uint32_t c = 0; c < s.width; ++c) {
        std::int32_t v = level[c] + add + std::int32_t(noise(s.startX + c, y, s.seed) & 1023) - 512;
        v = std::clamp<std::int32_t>(v, 0, 65535);
        // Within the depth, subtracting from all ones is the same as flipping the bits.
        std::uint16_t sample = std::uint16_t((std::uint32_t(v) >> shift) ^ flip);
        *p++ = std::uint8_t(sample);
        if (s.bytesPerSample == 2) *p++ = std::uint8_t(sample >> 8);
      }
    }
  };
  // Large films are rendered by a few threads, a band of lines each.
  unsigned workers =
      bytes < (8u << 20) ? 1 : std::clamp(std::thread::hardware_concurrency() / 2, 1u, 4u);
  std::vector<std::thread> threads;
  std::uint32_t step = (s.height + workers - 1) / workers;
  for (std::uint32_t from = step; from < s.height; from += step)
    threads.emplace_back(render, from, std::min(s.height, from + step));
  render(0, std::min(s.height, step));
  for (auto& t : threads) t.join();
  return out;
}

ImageSpec scanImageSpec(std::span<const std::uint16_t> w, std::uint16_t code,
                        std::uint32_t lineOffset, std::uint32_t lines, std::uint32_t seed) {
  ImageSpec s;
  if (w.size() < 15) return s;
  s.pitchUm = w[0];
  s.startX = w[1];
  s.startY = std::uint32_t(w[2]) + lineOffset;
  s.width = w[3];
  s.height = lines;
  unsigned out = w[5] & 0xFF;
  unsigned sensor = w[5] >> 8;
  s.bits = std::uint8_t(out == 0 || out > 16 ? 16 : out);
  // Wider words than the sensor reads carry only the sensor's bits.
  if (sensor > 8 && sensor < s.bits) s.bits = std::uint8_t(sensor);
  s.bytesPerSample = (code == 5 || sensor > 8) ? 2 : 1;
  s.seed = seed;
  return s;
}

std::uint8_t plateOutputBits(std::uint16_t photometricWord) {
  if (photometricWord <= 1) return 12;
  if (photometricWord <= 3) return 14;
  return 16;
}

bool plateInverted(std::uint16_t photometricWord) {
  return photometricWord == 1 || photometricWord == 3 || photometricWord == 4;
}

ImageSpec plateImageSpec(std::span<const std::uint16_t> w, std::uint16_t code,
                         std::uint32_t lineOffset, std::uint32_t lines, std::uint32_t seed) {
  ImageSpec s = scanImageSpec(w, code, lineOffset, lines, seed);
  if (w.size() >= 15) s.inverted = plateInverted(w[9]);
  return s;
}

std::vector<std::uint8_t> scanHeader(std::span<const std::uint16_t> w) {
  std::vector<std::uint8_t> h(14, 0);
  if (w.size() < 15) return h;
  const std::uint16_t words[7] = {w[3], w[4], w[5], w[0], w[1], w[2], w[9]};
  for (int i = 0; i < 7; ++i) {
    h[2 * i] = std::uint8_t(words[i]);
    h[2 * i + 1] = std::uint8_t(words[i] >> 8);
  }
  return h;
}

}  // namespace sim
