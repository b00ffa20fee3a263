// What the simulated film digitizer sends, for tests that check a scan to the
// byte. Apart from the scan dialog driver, so that a test with its own
// simulated bus can use it without the film road's USB hook.
#pragma once

#include <cstdint>
#include <vector>

#include "simulator/sim.h"

namespace testsupport {

// The film the digitizer sent for the scan last set on it, each line cut to
// `width` samples of `bytesPerSample` bytes (1 or 2): what a host must receive.
// Empty when no scan was set or the width is beyond the scanned line.
std::vector<std::uint8_t> simulatedFilm(const sim::Scanner& digitizer, std::uint32_t width, int bytesPerSample);

}  // namespace testsupport
