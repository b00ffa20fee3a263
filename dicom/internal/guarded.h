// Entry points never let an exception out: running out of memory, or any
// other fault, gives 0.
#pragma once

namespace dicom {

template <typename F>
unsigned guarded(F&& body) {
  try {
    return body();
  } catch (...) {
    return 0;
  }
}

}  // namespace dicom
