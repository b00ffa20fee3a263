// A plain rendering of the moire filter, loop by loop, for the tests to hold
// the plug-in against: the outer loop over the target positions along the
// smoothed axis, the inner loop over the other axis, one cache of smoothed
// values per source line with 0.0 meaning not yet computed, the weights made
// once per outer position (direction 2: one table per target row, made first).
#pragma once

#include "moire/moire.h"

namespace moire_test {

struct ReferenceResult {
  int rc = -1;
  double rawMax = 0;  // largest filtered value before rounding and clamping
};

// Writes p.dst like deMoireFunc would with DetectChars as given.
ReferenceResult referenceFilter(const MoireParams& p, int filterType, int interpType,
                                bool detectChars);

}  // namespace moire_test
