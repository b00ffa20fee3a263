// The corrections over a 7120 x 8640 plate with box widths 401 and 4001 in the
// same run: the cost must not grow with the box. memcpy of the plate is the
// bandwidth limit for work that touches every pixel.
#include "devapi/cr/internal/corrections.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kWidth = 7120, kLines = 8640, kLinesPerBlock = 480;
constexpr int kRuns = 5;

struct Plate {
  std::vector<std::uint16_t> pristine, work;
  std::vector<std::uint16_t*> blocks;
  zentrac::CorrectionImage view;
};

Plate makePlate() {
  Plate p;
  p.pristine.resize(kWidth * kLines);
  std::mt19937 rng(1);
  for (std::size_t y = 0; y < kLines; ++y) {
    const int step = static_cast<int>(rng() % 31) - 15;
    for (std::size_t x = 0; x < kWidth; ++x) {
      // A step wedge across the plate, line-to-line steps, noise and a roller band.
      int v = 3000 + static_cast<int>(x * 9000 / kWidth) + step + static_cast<int>(rng() % 17);
      if (y >= 4000 && y < 4006) v += 25;
      p.pristine[y * kWidth + x] = static_cast<std::uint16_t>(v);
    }
  }
  p.work = p.pristine;
  for (std::size_t b = 0; b < kLines / kLinesPerBlock; ++b) p.blocks.push_back(p.work.data() + b * kLinesPerBlock * kWidth);
  p.view = {p.blocks.data(), p.blocks.size(), kLinesPerBlock, kWidth};
  return p;
}

zentrac::HardParams paramsFor(int boxWidth) {
  zentrac::HardParams hp;
  zentrac::CorrectionParams& p = hp.sets[2];
  p.boxWidth = boxWidth;
  p.maxPixValue = 16383;
  p.rollerBanding = true;
  for (int i = 0; i < 4; ++i) {
    zentrac::BandRecord r;
    r.position = 100.0 + 100.0 * i;  // lines 2000, 4000, 6000, 8000 at 0.05 mm
    r.window = boxWidth;
    r.minValid = 10;
    r.refLines = 8;
    r.bandLines = 6;
    r.maxRefRange = 200;
    r.maxRange = 300;
    p.bands.push_back(r);
  }
  return hp;
}

// The fastest of kRuns, each on a fresh copy of the plate.
template <class F>
double best(Plate& plate, F&& run) {
  double bestMs = 1e300;
  for (int i = 0; i < kRuns; ++i) {
    std::memcpy(plate.work.data(), plate.pristine.data(), plate.work.size() * 2);
    const auto t0 = Clock::now();
    run();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    bestMs = std::min(bestMs, ms);
  }
  return bestMs;
}

}  // namespace

int main() {
  Plate plate = makePlate();
  std::vector<std::uint16_t> copy(plate.pristine.size());
  const double memcpyMs = best(plate, [&] { std::memcpy(copy.data(), plate.work.data(), copy.size() * 2); });

  zentrac::ScanContext scan;
  scan.outBitDepth = 16;
  scan.option1 = 3;
  scan.option2 = 40;
  scan.scanPitch = 50;

  double lineMs[2], allMs[2];
  const int widths[2] = {401, 4001};
  for (int i = 0; i < 2; ++i) {
    const zentrac::HardParams hp = paramsFor(widths[i]);
    zentrac::Corrections corrections(hp);
    lineMs[i] = best(plate, [&] {
      if (!corrections.boxFilterLineCorrection(plate.view, 0, kLines - 1, 16, hp.sets[2])) std::abort();
    });
    allMs[i] = best(plate, [&] {
      if (corrections.apply(plate.view, kLines, scan) != zentrac::CorrectionOutcome::Corrected) std::abort();
    });
  }

  std::printf("plate %zu x %zu, 16-bit samples (%.1f MiB), best of %d runs\n", kWidth, kLines,
              kWidth * kLines * 2 / 1048576.0, kRuns);
  std::printf("memcpy of the plate                 %8.1f ms\n", memcpyMs);
  for (int i = 0; i < 2; ++i) {
    std::printf("line correction, box width %4d     %8.1f ms  (%.1f x memcpy)\n", widths[i], lineMs[i],
                lineMs[i] / memcpyMs);
    std::printf("all corrections, box width %4d     %8.1f ms  (%.1f x memcpy)\n", widths[i], allMs[i],
                allMs[i] / memcpyMs);
  }
  std::printf("ratio 4001 / 401: line correction %.3f, all corrections %.3f (goal: close to 1)\n",
              lineMs[1] / lineMs[0], allMs[1] / allMs[0]);
  return 0;
}
