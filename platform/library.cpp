#include "platform/library.h"

#include "platform/paths.h"

#include <dlfcn.h>
#include <filesystem>
#include <utility>

namespace platform {

Library::Library(Library&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      error_(other.error_),
      errorText_(std::move(other.errorText_)) {}

Library& Library::operator=(Library&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = std::exchange(other.handle_, nullptr);
    error_ = other.error_;
    errorText_ = std::move(other.errorText_);
  }
  return *this;
}

std::string Library::fileNameFor(std::string_view baseName) {
  std::string name(baseName);
  if (name.find('/') != std::string::npos) return name;
  auto endsWithNoCase = [&](std::string_view suffix) {
    if (name.size() < suffix.size()) return false;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
      char c = name[name.size() - suffix.size() + i];
      if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
      if (c != suffix[i]) return false;
    }
    return true;
  };
  if (endsWithNoCase(".dll")) name.resize(name.size() - 4);
  if (name.rfind("lib", 0) == 0 && endsWithNoCase(".so")) return name;
  if (endsWithNoCase(".so")) name.resize(name.size() - 3);
  return "lib" + name + ".so";
}

bool Library::open(std::string_view baseName, const void* caller) {
  close();
  std::string file = fileNameFor(baseName);
  std::string firstError;
  if (file.find('/') == std::string::npos) {
    std::filesystem::path beside = paths::moduleDir(caller) / file;
    std::error_code ec;
    if (std::filesystem::exists(beside, ec)) {
      handle_ = ::dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (handle_ == nullptr) {
        const char* e = ::dlerror();
        firstError = e ? e : "cannot load";
      }
    }
  }
  if (handle_ == nullptr) handle_ = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* e = ::dlerror();
    error_ = Error::CannotLoad;
    errorText_ = !firstError.empty() ? firstError : (e ? e : "cannot load " + file);
    return false;
  }
  error_ = Error::None;
  errorText_.clear();
  return true;
}

void Library::close() {
  if (handle_ != nullptr) ::dlclose(handle_);
  handle_ = nullptr;
}

void* Library::symbol(const char* name) {
  if (handle_ == nullptr) {
    error_ = Error::CannotLoad;
    errorText_ = "library not loaded";
    return nullptr;
  }
  ::dlerror();
  void* p = ::dlsym(handle_, name);
  if (p == nullptr) {
    const char* e = ::dlerror();
    error_ = Error::SymbolMissing;
    errorText_ = e ? e : std::string("symbol missing: ") + name;
  }
  return p;
}

}  // namespace platform
