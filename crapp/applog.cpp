#include "crapp/internal/applog.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "log/log.h"

namespace crapp {

void appLog(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string line;
  if (length > 0) {
    line.resize(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(line.data(), line.size(), format, again);
    line.resize(static_cast<std::size_t>(length));
  }
  va_end(again);
  Log::log(0, level, "%s", line.c_str());
}

}  // namespace crapp
