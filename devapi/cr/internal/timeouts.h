// The 24 command time-outs that ZNTR_New sets, in the driver's slot order.
#pragma once

#include <array>
#include <cstdint>

namespace zentrac {

// The requested time-out (seconds; -1 asks for the default) reaches the scan,
// ResetFilm and ResetError slots, and never less than 181 s; the other slots
// keep their fixed values.
inline std::array<std::uint32_t, 24> commandTimeouts(std::int32_t requested) {
  const std::uint32_t t = requested <= 180 ? 181u : std::uint32_t(requested);
  return {5, 5, 5, 120, 60, t, 5, t, 60, t, 60, 60, 5, 5, 60, 60, 60, 60, 60, 60, 60, 60, 120, 5};
}

}  // namespace zentrac
