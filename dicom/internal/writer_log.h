// The writer's one road to the log library.
#pragma once

namespace dicom {

void writerLog(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace dicom
