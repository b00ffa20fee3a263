// The debug dump of the unprocessed CR image: a fixed-layout DICOM Part-10
// header followed by the raw samples, written before the corrections run.
#pragma once

#include "devapi/cr/internal/correction_image.h"

#include "platform/clock.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace zentrac {

// The moment of a dump: the local time for names, dates and UIDs, the seconds
// since 1970 for the accession number.
struct DumpStamp {
  platform::clock::LocalTime local;
  std::uint32_t epochSeconds = 0;
  static DumpStamp now();
};

inline constexpr std::string_view kDumpUidRoot = "2.25.12290676115481949309580";
inline constexpr std::string_view kDumpImplementationUid = "2.25.11637559931169344651902";

// "NoProc_<serial>_HV<hv>_M<mode>_<date>_<time>_<width>x<lines>.dcm"
std::string noProcDumpName(const ScanContext& scan, const DumpStamp& stamp, std::size_t width,
                           std::size_t lines);

// The header up to and including the pixel data element's length; empty when
// the image cannot be described (more than 65,535 rows or columns, or pixel
// data beyond a 32-bit length).
std::string noProcDumpHeader(const ScanContext& scan, const DumpStamp& stamp, std::size_t width,
                             std::size_t lines);

// Writes lines 0 .. lines - 1 of the image into the dump file in scan.dumpDir,
// logging to scan.log. Returns whether a whole file was written; a failure
// leaves no file behind and never stops the corrections.
bool writeNoProcDump(const CorrectionImage& image, std::size_t lines, const ScanContext& scan,
                     const DumpStamp& stamp);

}  // namespace zentrac
