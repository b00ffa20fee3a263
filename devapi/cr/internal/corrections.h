// The CR image corrections: the box-filter line correction, the roller-banding
// correction and the log-to-linear table for 16-bit output, all in place over
// an image held in blocks of lines, after the unprocessed-image dump.
#pragma once

#include "devapi/cr/internal/correction_image.h"
#include "devapi/cr/internal/hard_params.h"
#include "devapi/cr/internal/worker_pool.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <vector>

namespace zentrac {

// Longest band the per-column deviation slots take.
inline constexpr int kMaxBandLines = 128;
inline constexpr std::size_t kTableSize = 16384;

// Bit depth the corrections clamp to: 16-bit output carries 14-bit values until the table.
int correctionDepth(int outBitDepth);

enum class CorrectionOutcome { Corrected, LineRefused, BandRefused };

// The work storage and the parameter sets of one device object. One correction
// runs at a time; a second caller waits.
class Corrections {
 public:
  explicit Corrections(HardParams params = {});

  const HardParams& params() const { return params_; }

  // The whole sequence over lines 0 .. lines - 1: the dump when asked for, the
  // line correction, the band correction when the mode's set enables it, and
  // the table for 16-bit output. Stops at the first refusal. The caller's
  // blocks give all their lines; the library's own buffer gives the lines
  // received, or the valid lines of a plate that ended early.
  CorrectionOutcome apply(const CorrectionImage& image, std::size_t lines, const ScanContext& scan);

  // Lines first .. last. False (nothing changed) for a width below 2, fewer
  // than 2 lines, fewer lines than the box, or a box that cannot be formed.
  bool boxFilterLineCorrection(const CorrectionImage& image, std::size_t first, std::size_t last,
                               int depth, const CorrectionParams& p);
  // Lines first .. last. False for a width below 2, fewer than 2 lines or pitch 0;
  // band records that leave the lines or the work storage are skipped.
  bool rollerBandingCorrection(const CorrectionImage& image, std::size_t first, std::size_t last,
                               int depth, const CorrectionParams& p, std::uint16_t scanPitch);
  // Replaces every sample of lines first .. first + lines - 1 by its table entry.
  void logToLinearTable(const CorrectionImage& image, std::size_t first, std::size_t lines, int odMax);

  const std::array<std::uint16_t, kTableSize>& table() const { return table_; }
  int tableBuilds() const { return tableBuilds_; }

  // Threads the line correction and the table share the lines among, and the
  // band correction the columns; 0 takes one per core. The output does not
  // depend on it.
  void setThreads(unsigned threads);
  unsigned threads() const { return threads_; }
  // The line passes take AVX-512 where the machine has it; false keeps to the
  // portable passes, which give the same output.
  void setAvx512(bool allowed);

  // Work storage of one thread of the line correction.
  struct LineWork {
    std::vector<std::int32_t> sum;
    std::vector<std::uint32_t> packed;  // running sums of deviations and counts
    std::vector<std::int32_t> ring;  // corrections of the last half + 1 centres
  };
  // One band record being applied: its lines, per band line the deviations
  // of every column, and per column the sums of the reference lines, exact
  // in doubles, their range and the range with the band lines.
  struct BandWork {
    const BandRecord* record = nullptr;
    std::size_t start = 0, lines = 0, refs = 0;
    std::vector<double> before, after;
    std::vector<std::int32_t> refMin, refMax, fullMin, fullMax, deviation;
    std::vector<std::uint8_t> valid;
  };

 private:
  void buildTable(int odMax);
  bool lineCorrectionLocked(const CorrectionImage& image, std::size_t first, std::size_t last, int depth,
                            const CorrectionParams& p);
  bool wideLineCorrection(const CorrectionImage& image, std::size_t first, std::size_t last, int cdepth,
                          const CorrectionParams& p);
  bool bandCorrectionLocked(const CorrectionImage& image, std::size_t first, std::size_t last, int depth,
                            const CorrectionParams& p, std::uint16_t scanPitch);
  void tableLocked(const CorrectionImage& image, std::size_t first, std::size_t lines, int odMax);

  HardParams params_;
  std::mutex mutex_;
  // Column storage, grown to the widest image seen.
  std::vector<std::int64_t> columnSum_;
  // Line correction: the running sums of the valid deviations and their count
  // along the line, and the corrections of the lines still inside the box.
  std::vector<std::int64_t> prefixDeviation_;
  std::vector<std::int32_t> prefixValid_;
  std::vector<std::int32_t> pending_;
  std::vector<BandWork> bandWork_;  // grown to the most bands applied at once
  std::array<std::uint16_t, kTableSize> table_{};
  int tableOd_ = -1;  // no od builds nothing yet, so od 0 builds a real table
  int tableBuilds_ = 0;
  unsigned threads_ = 1;
  bool avx512_ = true;
  std::vector<LineWork> lineWork_;
  // Per run of centres, the corrections of its first and last half lines.
  std::vector<std::int32_t> lineEdges_;
  WorkerPool pool_;  // last: its threads end before the storage they use goes
};

}  // namespace zentrac
