// A plate as the simulated CR reader renders it and as the reader library's
// line correction leaves it: what a scan over the real engine must deliver.
// No test main and no USB hook in it, so a stand-in program can use it too.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "crengine/quorin.h"
#include "simulator/sim.h"

namespace testsupport {

// The reader library's settings, beside it in libDir, that let its line
// correction work on the simulated plate: the default boxes and limits except
// the upper pixel limit, which the simulated samples lie above.
void writeLineCorrectionSettings(const std::filesystem::path& libDir);

// The plate the reader rendered for its last scan, block by block, as the
// engine describes that scan.
std::string renderedPlate(const sim::Scanner& reader, const get_scan_para& got);

// `raw` (a whole plate of 16-bit samples) corrected by the reader library at
// `zentrac`, called as the engine calls it for a whole scan, while the reader
// is still connected; nothing, with *fault set, when the library fails.
std::optional<std::string> lineCorrected(const std::string& raw, const get_scan_para& got,
                                         const std::filesystem::path& zentrac, std::string* fault);

// How many 16-bit samples of `plate` lie above, and how many at, the largest
// value of `depth` bits.
struct CeilingCount {
  std::size_t above = 0, at = 0, samples = 0;
};
CeilingCount countAtCeiling(const std::string& plate, int depth);

}  // namespace testsupport
