// Run-time loading of shared libraries by the base names the suite uses ("Zentrac.dll").
#pragma once

#include <string>
#include <string_view>

namespace platform {

class Library {
 public:
  enum class Error { None, CannotLoad, SymbolMissing };

  Library() = default;
  ~Library() { close(); }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  Library(Library&& other) noexcept;
  Library& operator=(Library&& other) noexcept;

  // "Zentrac.dll", "Zentrac" or "libZentrac.so" all give "libZentrac.so"; a name
  // with a '/' is kept as a path.
  static std::string fileNameFor(std::string_view baseName);

  // Looks first in the directory of the module that contains `caller` (pass the
  // address of any function or object of the calling library), then the default search.
  bool open(std::string_view baseName, const void* caller);
  bool isOpen() const { return handle_ != nullptr; }
  void close();

  // Null when missing (error() then says SymbolMissing).
  void* symbol(const char* name);
  template <typename F>
  F function(const char* name) {
    return reinterpret_cast<F>(symbol(name));
  }

  Error error() const { return error_; }
  const std::string& errorText() const { return errorText_; }

 private:
  void* handle_ = nullptr;
  Error error_ = Error::None;
  std::string errorText_;
};

}  // namespace platform
