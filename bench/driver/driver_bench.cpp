// How fast a film scan of 7120 x 8640 16-bit samples comes through Pravik from
// the simulated digitizer (no rate limit), next to a memcpy of the same bytes in
// the same run. The driver must never be the limit: the goal is more than five
// times the USB 2.0 bulk ceiling of about 265 MB/s.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "driver/pravik.h"
#include "simulator/sim.h"

namespace {

constexpr std::uint16_t kWidth = 7120, kHeight = 8640;
constexpr std::int32_t kImageBytes = std::int32_t(kWidth) * kHeight * 2;
constexpr double kUsbCeiling = 265e6;
constexpr int kRounds = 5;

void ignore(CALLBACK_MESSAGE, void*, void*) {}

double seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

}  // namespace

int main() {
  auto bus = std::make_shared<sim::Bus>();
  sim::Scanner scanner = bus->plug(sim::filmDigitizer());
  scanner.setRateLimit(0);
  Pravik driver(bus);
  OperationResult r = driver.OpenAndInitializeScanner(&ignore, nullptr);
  if (r.category != 0) {
    std::fprintf(stderr, "open failed: %s\n", Pravik::GetErrorMessage(r.code));
    return 1;
  }
  ScanParameters p{};
  p.ScanPitch = 50;
  p.ScanXSize = kWidth;
  p.ScanYSize = kHeight;
  p.ImageDataFormat = (16 << 8) | 16;
  p.FilmXSize = 356;
  p.FilmYSize = 432;
  const CalibrationParameters calibration{{0, 0}};
  std::vector<std::uint16_t> buffer(std::size_t(kImageBytes) / 2 + 8);
  std::vector<std::uint8_t> source(std::size_t(kImageBytes), 0x5A);
  std::vector<std::uint8_t> target(source.size());

  // The first scan sets the parameters and lets the simulator draw its image.
  r = driver.ScanAndReadFilm(p, calibration, buffer.data(), kImageBytes, false, false, 0, nullptr, nullptr);
  if (r.category != 0) {
    std::fprintf(stderr, "scan failed: 0x%x %s\n", unsigned(r.code), Pravik::GetErrorMessage(r.code));
    return 1;
  }
  std::memcpy(target.data(), source.data(), source.size());

  double best = 1e9, bestCopy = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    auto t0 = std::chrono::steady_clock::now();
    r = driver.ScanAndReadFilm(p, calibration, buffer.data(), kImageBytes, true, true, 0, nullptr, nullptr);
    auto t1 = std::chrono::steady_clock::now();
    if (r.category != 0) {
      std::fprintf(stderr, "scan failed: 0x%x\n", unsigned(r.code));
      return 1;
    }
    std::memcpy(target.data(), source.data(), source.size());
    auto t2 = std::chrono::steady_clock::now();
    best = std::min(best, seconds(t1 - t0));
    bestCopy = std::min(bestCopy, seconds(t2 - t1));
  }
  const double bytes = double(kImageBytes) + 16;
  const double rate = bytes / best, copyRate = double(kImageBytes) / bestCopy;
  std::printf("film scan %ux%u x 16 bit, %.1f MB, best of %d\n", kWidth, kHeight, bytes / 1e6, kRounds);
  std::printf("  Pravik scan : %8.3f ms  %8.0f MB/s\n", best * 1e3, rate / 1e6);
  std::printf("  memcpy      : %8.3f ms  %8.0f MB/s\n", bestCopy * 1e3, copyRate / 1e6);
  std::printf("  ratio scan/memcpy: %.3f\n", rate / copyRate);
  std::printf("  scan / USB 2.0 bulk ceiling: %.1f x (goal > 5)\n", rate / kUsbCeiling);
  driver.CloseOpenedScanner();
  return 0;
}
