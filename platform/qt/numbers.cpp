#include "platform/qt/numbers.h"

#include <charconv>
#include <cmath>
#include <string>

namespace platform::qt {
namespace {

// Digits, signs, points and exponents are ASCII; anything else cannot be a number.
std::optional<std::string> asciiTrimmed(QStringView text) {
  QStringView t = text.trimmed();
  std::string out;
  out.reserve(std::size_t(t.size()));
  for (QChar c : t) {
    if (c.unicode() > 0x7f) return std::nullopt;
    out.push_back(char(c.unicode()));
  }
  return out;
}

}  // namespace

QString formatInt(std::int64_t value) {
  char buffer[24];
  auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
  return QString::fromLatin1(buffer, int(r.ptr - buffer));
}

QString formatFixed(double value, int decimals) {
  if (!std::isfinite(value)) return QString();
  char buffer[512];
  auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                         decimals < 0 ? 0 : decimals);
  if (r.ec != std::errc()) return QString();
  return QString::fromLatin1(buffer, int(r.ptr - buffer));
}

std::optional<std::int64_t> parseInt(QStringView text) {
  std::optional<std::string> s = asciiTrimmed(text);
  if (!s || s->empty()) return std::nullopt;
  const char* first = s->data();
  const char* last = first + s->size();
  if (*first == '+') {  // from_chars takes only '-'
    ++first;
    if (first == last || *first == '-') return std::nullopt;
  }
  std::int64_t value = 0;
  auto r = std::from_chars(first, last, value);
  if (r.ec != std::errc() || r.ptr != last) return std::nullopt;
  return value;
}

std::optional<double> parseDouble(QStringView text) {
  std::optional<std::string> s = asciiTrimmed(text);
  if (!s || s->empty()) return std::nullopt;
  const char* first = s->data();
  const char* last = first + s->size();
  if (*first == '+') {
    ++first;
    if (first == last || *first == '-') return std::nullopt;
  }
  double value = 0;
  auto r = std::from_chars(first, last, value, std::chars_format::fixed);
  if (r.ec != std::errc() || r.ptr != last || !std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace platform::qt
