// The one export of the plug-in: checks the record, reads the settings file
// beside the library and runs the filter. Nothing is kept between calls, so
// calls on several threads at once are safe.
#include "moire/moire.h"

#include "moire/internal/filter.h"
#include "platform/ini.h"
#include "platform/paths.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace {

// [demoire] DetectChars in "Fennick.ini" beside the library, read at every call.
bool detectChars() {
  const std::filesystem::path file =
      platform::paths::moduleDir(reinterpret_cast<const void*>(&deMoireFunc)) / "Fennick.ini";
  std::string value = platform::ini::getString(file, "demoire", "DetectChars", "no");
  std::transform(value.begin(), value.end(), value.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return value == "yes" || value == "true" || value == "1";
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int deMoireFunc(MoireParams* params,
                                                                  int filterType, int interpType) {
  if (params == nullptr) return -1;
  const MoireParams& p = *params;
  if (p.src == nullptr || p.dst == nullptr || p.scanPitch == 0) return -1;
  if (p.bits < 1 || p.bits > 16) return -1;
  if (p.direction < 0 || p.direction > 2) return -1;
  if (p.srcWidth <= 0 || p.srcHeight <= 0 || p.dstWidth <= 0 || p.dstHeight <= 0) return -1;

  fennick::Job job;
  job.bits = p.bits;
  job.direction = p.direction;
  job.gaussian = filterType == 1;
  job.linear = interpType == 1;
  job.detectChars = detectChars();
  // A half-width beyond the image leaves no room for any window: the whole
  // target is then copied as border.
  const int cap = std::max({2, p.srcWidth, p.srcHeight});
  job.hV = fennick::halfWidth(p.FilterAmplitudeV, p.scanPitch, cap);
  job.hH = fennick::halfWidth(p.FilterAmplitudeH, p.scanPitch, cap);
  job.srcWidth = p.srcWidth;
  job.srcHeight = p.srcHeight;
  job.dstWidth = p.dstWidth;
  job.dstHeight = p.dstHeight;
  job.src = p.src;
  job.dst = p.dst;
  return fennick::run(job);
}
