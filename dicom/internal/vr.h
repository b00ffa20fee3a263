// Facts about VRs that the reader and the writer share.
#pragma once

namespace dicom {

// The VRs whose explicit encoding has two reserved bytes and a 32-bit length.
inline bool hasLongLength(const char* vr) {
  static const char* const kLong[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ",
                                      "SV", "UC", "UN", "UR", "UT", "UV"};
  for (const char* v : kLong)
    if (vr[0] == v[0] && vr[1] == v[1]) return true;
  return false;
}

}  // namespace dicom
