#include "testsupport/simulated_film.h"

namespace testsupport {

std::vector<std::uint8_t> simulatedFilm(const sim::Scanner& digitizer, std::uint32_t width, int bytesPerSample) {
  const std::vector<std::uint16_t> p = digitizer.scanParameters();
  if (p.size() < 5) return {};
  // The scan command's code: 5 sends 2-byte samples, 128 one byte each.
  const sim::ImageSpec shape = sim::scanImageSpec(p, bytesPerSample == 2 ? 5 : 128, 0, p[4], 0);
  const std::vector<std::uint8_t> all = sim::radiograph(shape);
  const std::size_t line = std::size_t(shape.width) * shape.bytesPerSample;
  const std::size_t kept = std::size_t(width) * shape.bytesPerSample;
  if (kept > line || all.size() < line * shape.height) return {};
  std::vector<std::uint8_t> out;
  out.reserve(kept * shape.height);
  for (std::uint32_t y = 0; y < shape.height; ++y)
    out.insert(out.end(), all.begin() + std::ptrdiff_t(y * line), all.begin() + std::ptrdiff_t(y * line + kept));
  return out;
}

}  // namespace testsupport
