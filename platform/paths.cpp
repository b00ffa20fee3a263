#include "platform/paths.h"

#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::paths {
namespace {

std::filesystem::path envPath(const char* name) {
  const char* v = std::getenv(name);
  return (v != nullptr && *v != '\0') ? std::filesystem::path(v) : std::filesystem::path();
}

}  // namespace

std::filesystem::path programDir() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path(ec);
  return exe.parent_path();
}

std::filesystem::path moduleDir(const void* address) {
  Dl_info info{};
  if (address == nullptr || ::dladdr(address, &info) == 0 || info.dli_fname == nullptr ||
      info.dli_fname[0] == '\0')
    return programDir();
  std::error_code ec;
  std::filesystem::path p = std::filesystem::canonical(info.dli_fname, ec);
  if (ec) p = std::filesystem::absolute(info.dli_fname, ec);
  return p.parent_path();
}

std::filesystem::path configDir() {
  if (auto p = envPath("NDT_CONFIG_DIR"); !p.empty()) return p;
  if (auto p = envPath("XDG_CONFIG_HOME"); !p.empty()) return p / "ndt-suite";
  if (auto p = envPath("HOME"); !p.empty()) return p / ".config" / "ndt-suite";
  return std::filesystem::temp_directory_path() / ("ndt-suite-config-" + std::to_string(::getuid()));
}

std::filesystem::path runtimeDir() {
  std::filesystem::path dir = envPath("NDT_RUNTIME_DIR");
  if (dir.empty()) {
    dir = envPath("XDG_RUNTIME_DIR");
    if (!dir.empty()) dir /= "ndt-suite";
  }
  if (dir.empty()) {
    std::error_code ec;
    std::filesystem::path tmp = std::filesystem::temp_directory_path(ec);
    if (ec) tmp = "/tmp";
    dir = tmp / ("ndt-suite-" + std::to_string(::getuid()));
  }
  std::error_code ec;
  if (std::filesystem::create_directories(dir, ec)) ::chmod(dir.c_str(), 0700);
  return dir;
}

std::filesystem::path resolve(std::string_view configured, const std::filesystem::path& base) {
  std::string s(configured);
  for (char& c : s)
    if (c == '\\') c = '/';
  std::filesystem::path p(s);
  if (p.is_absolute() || s.empty()) return p;
  return (base / p).lexically_normal();
}

}  // namespace platform::paths
