// Where things are: the program directory, a library's own directory, the
// configuration directory (in place of the Windows directory) and the runtime directory.
#pragma once

#include <filesystem>
#include <string_view>

namespace platform::paths {

// Directory of the running executable (from /proc/self/exe).
std::filesystem::path programDir();
// Directory of the shared library (or executable) that contains `address`.
std::filesystem::path moduleDir(const void* address);
// $NDT_CONFIG_DIR, else $XDG_CONFIG_HOME/ndt-suite, else ~/.config/ndt-suite.
std::filesystem::path configDir();
// Lock files: $NDT_RUNTIME_DIR, else $XDG_RUNTIME_DIR, else a per-user folder in the
// system temporary directory. Created when missing.
std::filesystem::path runtimeDir();
// A configured path: '\' read as '/', a relative path taken against `base`.
std::filesystem::path resolve(std::string_view configured, const std::filesystem::path& base);
inline std::filesystem::path resolve(std::string_view configured) {
  return resolve(configured, programDir());
}

}  // namespace platform::paths
