// The stand-in film-scan UI that host tests load in place of libOskelu.so
// (bin/fakeui/libOskelu.so). It exports the same 15 functions and is steered
// by two environment variables, read at InitUI:
//   NDT_FAKEUI_SCRIPT  a script file, one step a line (blank lines and '#' skipped):
//     initui N                         InitUI returns N (default 1)
//     showui null                      ShowUI fails (returns null)
//     image W H BYTES BITS PITCH OD    an image: XFerReady with a record of that shape
//     worker                           later images come from a thread of their own, one
//                                      at a time, as the CR link delivers them
//     study FIELD TEXT                 the operator's entry, written back at Exit;
//                                      FIELD is name, id, date, sex, studydate,
//                                      studyid or description; \xNN in TEXT is a byte
//     exit                             the operator's Exit: study written back, CloseRequest
//   NDT_FAKEUI_LOG     a file that every export call is appended to, one line each.
// After ShowUI the steps play on the host's event loop, one step per turn, as a
// real scan run delivers its images.
#pragma once

#include <cstdint>

namespace fakeui {

// The sample at column x, row y of every scripted image: a ramp that touches
// each bit of the stored range.
inline std::uint16_t sample(std::uint32_t x, std::uint32_t y, int bits) {
  return static_cast<std::uint16_t>((x * 7u + y * 131u) & ((1u << bits) - 1u));
}

}  // namespace fakeui
