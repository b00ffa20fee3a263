// How fast a film scan of 7120 x 8640 16-bit samples comes through Pravik from
// the simulated digitizer: in one piece and in the 1 MiB blocks with progress
// that the film library reads, without a rate limit, next to a warm memcpy of
// the same bytes; and once throttled to the real USB 2.0 bulk rate of about
// 53 MB/s, to show that the scan keeps up with the cable. The simulator's
// rate limit lets a burst of a fiftieth of a second's bytes through after an
// idle moment, so the throttled time is no measure of the software; what the
// software adds is its own time without a limit, as a share of the cable time
// (goal: at most 10 %, so that a real scan is bound by the cable). There is no
// peer library for the driver.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "bench/support/bench_support.h"
#include "driver/pravik.h"
#include "simulator/sim.h"

namespace {

constexpr std::uint16_t kWidth = 7120, kHeight = 8640;
constexpr std::int32_t kImageBytes = std::int32_t(kWidth) * kHeight * 2;
constexpr double kUsbBulkRate = 53e6;  // bytes per second a USB 2.0 bulk pipe really moves
constexpr std::int32_t kBlock = 1 << 20;
constexpr int kRounds = 5;
constexpr double kGoalShare = 10.0;  // per cent of the cable time

void ignore(CALLBACK_MESSAGE, void*, void*) {}
void countBlocks(std::int32_t done, void* context) { *static_cast<std::int32_t*>(context) = done; }


}  // namespace

int main(int, char** argv) {
  bench::sameAllocator(argv);
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

  // The first scan sets the parameters and lets the simulator draw its image.
  r = driver.ScanAndReadFilm(p, calibration, buffer.data(), kImageBytes, false, false, 0, nullptr, nullptr);
  if (r.category != 0) {
    std::fprintf(stderr, "scan failed: 0x%x %s\n", unsigned(r.code), Pravik::GetErrorMessage(r.code));
    return 1;
  }
  std::int32_t blocks = 0;
  auto scan = [&](std::int32_t blockSize) {
    blocks = 0;
    r = driver.ScanAndReadFilm(p, calibration, buffer.data(), kImageBytes, true, true, blockSize,
                               blockSize ? &countBlocks : nullptr, &blocks);
    if (r.category != 0 || (blockSize && blocks == 0))
      std::fprintf(stderr, "scan failed: 0x%x, %d progress calls\n", unsigned(r.code), blocks);
    return r.category == 0 && (blockSize == 0 || blocks > 0);
  };
  // Every compared scan starts on a buffer filled with a mark the image never is in full.
  const std::vector<std::uint16_t> mark(buffer.size(), 0xEEEE);
  buffer = mark;
  const double wholeMs = bench::bestMs(kRounds, [&] { return scan(0); });
  const std::vector<std::uint16_t> whole = buffer;
  bench::requireEqual(whole != mark, "the scan in one piece wrote the buffer");
  buffer = mark;
  const double blockMs = bench::bestMs(kRounds, [&] { return scan(kBlock); });
  bench::requireEqual(buffer == whole, "the scan in 1 MiB blocks and in one piece");
  const double limitMs = bench::warmMemcpyMs(std::size_t(kImageBytes), kRounds);
  scanner.setRateLimit(std::uint64_t(kUsbBulkRate));
  const double cableMs = double(kImageBytes + 16) / kUsbBulkRate * 1e3;
  buffer = mark;
  const double throttledMs = bench::bestMs(1, [&] { return scan(kBlock); });
  scanner.setRateLimit(0);
  bench::requireEqual(buffer == whole, "the throttled scan and the scan in one piece");

  const double mb = double(kImageBytes + 16) / 1e6;
  bench::printTable("film scan " + std::to_string(kWidth) + " x " + std::to_string(kHeight) +
                        " x 16 bit through the simulated digitizer, best of " + std::to_string(kRounds) +
                        "; no peer: the limit is a warm memcpy of the image",
                    {{"block size 0, no rate limit", wholeMs, -1, limitMs, ""},
                     {"1 MiB blocks with progress, no limit", blockMs, -1, limitMs, ""},
                     {"1 MiB blocks, 53 MB/s (one run)", throttledMs, -1, cableMs, "limit: the cable time"}});
  const double share = blockMs / cableMs * 100.0;
  std::printf("no limit: %.0f MB/s in one piece, %.0f MB/s in blocks (%d progress calls of 1 MiB); at 53 MB/s the "
              "scan took %.2f x the cable time\n",
              mb / wholeMs * 1e3, mb / blockMs * 1e3, blocks, throttledMs / cableMs);
  const bool met = share <= kGoalShare;
  std::printf("goal: the software alone (1 MiB blocks, no limit) at most %.0f %% of the cable time (%.1f %%): %s\n",
              kGoalShare, share, met ? "met" : "NOT met");
  driver.CloseOpenedScanner();
  return met ? 0 : 1;
}
