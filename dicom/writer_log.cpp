#include "dicom/internal/writer_log.h"

#include <cstdarg>
#include <cstdio>

#include "log/log.h"

namespace dicom {

void writerLog(int level, const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  Log::log(0, level, "%s", text);
}

}  // namespace dicom
