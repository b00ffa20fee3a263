#include "driver/internal/trace.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/clock.h"

namespace pravik {

void printTrace(const char* source, const char* function, const char* format, ...) {
  if (!format) return;
  constexpr std::size_t kLimit = 1024;
  char line[kLimit + 2];
  const auto t = platform::clock::localTime();
  int used = std::snprintf(line, kLimit, "%d/%d/%d %d:%d:%d ERROR: %s: %s - ", t.month, t.day,
                           t.year, t.hour, t.minute, t.second, source, function);
  if (used < 0) return;
  std::size_t n = std::min<std::size_t>(std::size_t(used), kLimit - 1);
  va_list args;
  va_start(args, format);
  int more = std::vsnprintf(line + n, kLimit - n, format, args);
  va_end(args);
  if (more > 0) n = std::min<std::size_t>(n + std::size_t(more), kLimit - 1);
  // Messages may or may not carry their own line end; print exactly one.
  while (n > 0 && line[n - 1] == '\n') --n;
  line[n++] = '\n';
  std::fwrite(line, 1, n, stderr);
}

}  // namespace pravik
