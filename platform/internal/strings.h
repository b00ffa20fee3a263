// Small string helpers shared inside the platform layer.
#pragma once

#include <string_view>

namespace platform::internal {

inline char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

inline bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  return true;
}

inline std::string_view trim(std::string_view s) {
  const char* blanks = " \t";
  std::size_t b = s.find_first_not_of(blanks);
  if (b == std::string_view::npos) return {};
  std::size_t e = s.find_last_not_of(blanks);
  return s.substr(b, e - b + 1);
}

}  // namespace platform::internal
