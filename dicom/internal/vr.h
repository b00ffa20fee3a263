// Facts about VRs that the reader, the writer and the dump share.
#pragma once

namespace dicom {

inline bool vrIs(const char* vr, const char* name) { return vr[0] == name[0] && vr[1] == name[1]; }

// The VRs whose explicit encoding has two reserved bytes and a 32-bit length.
inline bool hasLongLength(const char* vr) {
  static const char* const kLong[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ",
                                      "SV", "UC", "UN", "UR", "UT", "UV"};
  for (const char* v : kLong)
    if (vrIs(vr, v)) return true;
  return false;
}

}  // namespace dicom
