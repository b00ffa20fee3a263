// The correction parameters of the CR reader, one set per scan mode, as kept in
// Zentrac_Hard.ini beside the library.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace zentrac {

// One roller band: where it lies along the scan and how it is measured.
struct BandRecord {
  double position = 0.0;  // mm from the start of the scan
  int window = 0;         // B: columns of the horizontal window
  int minValid = 0;       // fewest valid columns in the window that still correct
  int refLines = 0;       // t: reference lines on each side of the band
  int bandLines = 0;      // o: lines of the band
  int maxRefRange = 0;    // largest range of the reference lines
  int maxRange = 0;       // largest range over reference and band lines
};

struct CorrectionParams {
  int delta = 20;
  int boxWidth = 401;
  int boxHeight = 8;
  int maxPixValue = 4095;
  int minPixValue = 0;
  bool rollerBanding = false;
  // The records before the first one of position 0.0, in key order.
  std::vector<BandRecord> bands;
};

// The three sets; each scan mode (the low byte of Option1) picks one.
struct HardParams {
  std::array<CorrectionParams, 3> sets;
  const CorrectionParams& forMode(int mode) const;
};

inline constexpr std::string_view kHardIniName = "Zentrac_Hard.ini";
inline constexpr std::array<std::string_view, 3> kHardSections = {"HighspeedPara_M1", "StandradPara_M2",
                                                                  "FinePara_M3"};

// "%lf,%d,%d,%d,%d,%d,%d" read with range checks: nullopt unless all seven
// numbers are there and fit; text after the seventh is ignored.
std::optional<BandRecord> parseBandRecord(std::string_view text);

// Missing file, sections or keys give the defaults; malformed band records are skipped.
HardParams loadHardParams(const std::filesystem::path& file);
// The same from the file's text.
HardParams parseHardParams(std::string_view content);

}  // namespace zentrac
