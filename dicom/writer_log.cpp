#include "dicom/internal/writer_log.h"

#include <cstdarg>

namespace dicom {

void writerLog(int level, const char* format, ...) {
  (void)level;
  va_list args;
  va_start(args, format);
  va_end(args);
}

}  // namespace dicom
