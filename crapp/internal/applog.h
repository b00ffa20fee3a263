// The CR program's lines in the shared log (facility 0).
#pragma once

namespace crapp {

void appLog(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace crapp
