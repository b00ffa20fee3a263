// The system's Qt is not built for the thread sanitizer: the raster engine's
// own painting threads hand work over through locks the sanitizer cannot see.
// Races with a frame inside Qt's libraries are left out; our scan worker never
// calls into Qt, so a race of ours still shows.
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_suppressions() {
  return "race:libQt6Gui.so\n"
         "race:libQt6Core.so\n";
}
