#include "hosts/twain/internal/fix32.h"

#include <charconv>
#include <cmath>

namespace twain {

std::optional<TW_FIX32> fix32FromDouble(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  double raw = std::round(value * 65536.0);
  if (raw < INT32_MIN || raw > INT32_MAX) return std::nullopt;
  return fix32FromRaw(static_cast<std::int32_t>(raw));
}

double fix32ToDouble(TW_FIX32 f) { return fix32Raw(f) / 65536.0; }

std::optional<TW_FIX32> parseFix32(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return fix32FromDouble(value);
}

std::string formatFix32(TW_FIX32 f) {
  // Five decimals always tell two neighbouring 65536ths apart.
  double value = fix32ToDouble(f);
  char buf[32];
  for (int digits = 0; digits <= 5; ++digits) {
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, digits);
    if (ec != std::errc()) break;
    std::string text(buf, end);
    auto back = parseFix32(text);
    if (back && fix32Raw(*back) == fix32Raw(f)) return text;
  }
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 5);
  return ec == std::errc() ? std::string(buf, end) : std::string("0");
}

}  // namespace twain
