// Text helpers of the log writer that need no file system: line and error
// formats, file times and the names that the clean-up rules match.
#pragma once

#include "platform/clock.h"

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

namespace Log::internal {

// A line is cut at this many characters before CR LF is appended.
constexpr int kMaxLineChars = 2045;
// A system message text is cut at this many characters.
constexpr std::size_t kMaxSystemText = 1024;

// Text that must print as itself when it becomes part of a format.
inline std::string escapePercent(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

// The caller's format with the error appended; the code and the system text
// are literal text, never conversions.
inline std::string lastErrorFormat(const char* format, int code, std::string_view text) {
  std::string out = format ? format : "";
  out += " -- ";
  out += std::to_string(code);
  out += ':';
  out += escapePercent(text.substr(0, kMaxSystemText));
  return out;
}

// Everything of a line before the caller's text: date, time, thread, level, tag.
inline std::string linePrefix(const platform::clock::LocalTime& t, unsigned threadId, int level,
                              int facility, bool tagged) {
  char tag[16] = "";
  if (tagged) std::snprintf(tag, sizeof tag, "<F%02d>", facility);
  char prefix[128];
  int n = std::snprintf(prefix, sizeof prefix, "%04d/%02d/%02d %02d:%02d:%02d.%03d[%04x] (%d)%s: ",
                        t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond, threadId,
                        level, tag);
  if (n < 0) return {};
  return std::string(prefix, static_cast<std::size_t>(n) < sizeof prefix ? n : sizeof prefix - 1);
}

// File times count 100 ns units since 1601-01-01 UTC.
constexpr std::int64_t kFileTimeEpochOffset = 11644473600LL;  // seconds from 1601 to 1970
inline std::int64_t fileTime(std::int64_t unixSeconds, std::int64_t nanoseconds) {
  return (unixSeconds + kFileTimeEpochOffset) * 10000000LL + nanoseconds / 100;
}

// The file time of a local time, through the process's time zone.
inline std::int64_t fileTime(const platform::clock::LocalTime& t) {
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_isdst = -1;
  std::time_t seconds = std::mktime(&tm);
  return fileTime(static_cast<std::int64_t>(seconds), static_cast<std::int64_t>(t.millisecond) * 1000000);
}

// A file is too old when its last write lies more than 4100 units of the high
// 32 bits of a file time (about 20.4 days) before now. A file from the future is not old.
inline bool olderThanAgeLimit(std::int64_t lastWrite, std::int64_t now) {
  return (now >> 32) - (lastWrite >> 32) > 4100;
}

// Whether `name` is `prefix`, anything, then `suffix` (the wildcard form "prefix*suffix").
inline bool matchesWildcard(std::string_view name, std::string_view prefix, std::string_view suffix) {
  return name.size() >= prefix.size() + suffix.size() && name.substr(0, prefix.size()) == prefix &&
         name.substr(name.size() - suffix.size()) == suffix;
}

// A year-month day file of `base`: base, '_', 4-digit year, 2-digit month, '_',
// 2-digit day, then anything up to ".txt" (the numbered siblings).
inline bool isYearMonthDayFile(std::string_view name, std::string_view base) {
  if (!matchesWildcard(name, std::string(base) + "_", ".txt")) return false;
  std::string_view rest = name.substr(base.size() + 1);
  if (rest.size() < 9) return false;
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  for (int i : {0, 1, 2, 3, 4, 5, 7, 8})
    if (!digit(rest[i])) return false;
  return rest[6] == '_';
}

// The name at or below which year-month day files are deleted: the same day of the previous month.
inline std::string oldDayCutoff(std::string_view base, const platform::clock::LocalTime& t) {
  int year = t.month == 1 ? t.year - 1 : t.year;
  int month = t.month == 1 ? 12 : t.month - 1;
  char tail[32];
  std::snprintf(tail, sizeof tail, "_%04d%02d_%02d.txt", year, month, t.day);
  return std::string(base) + tail;
}

}  // namespace Log::internal
