// TW_FIX32 numbers as decimal texts: the fraction field counts 65536ths.
#pragma once

#include "hosts/twain/twain.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace twain {

// The value as one signed 32-bit count of 65536ths.
inline std::int32_t fix32Raw(TW_FIX32 f) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint16_t>(f.Whole)) << 16 |
                                   f.Frac);
}
inline TW_FIX32 fix32FromRaw(std::int32_t raw) {
  TW_FIX32 f;
  f.Whole = static_cast<TW_INT16>(raw >> 16);
  f.Frac = static_cast<TW_UINT16>(raw & 0xffff);
  return f;
}

// Rounds to the nearest 65536th; nullopt outside the range of TW_FIX32.
std::optional<TW_FIX32> fix32FromDouble(double value);
double fix32ToDouble(TW_FIX32 f);
// A decimal number ("28.34", "-1.5", "300"); nullopt for anything else.
std::optional<TW_FIX32> parseFix32(std::string_view text);
// The shortest decimal text that reads back as the same value.
std::string formatFix32(TW_FIX32 f);

}  // namespace twain
