// The film digitizer library as the scan UI binds it: 15 functions it needs and
// 4 it uses when present. Tests put a table of their own in place of the loaded one.
#pragma once

#include <cstdint>
#include <filesystem>

#include "devapi/records.h"
#include "platform/library.h"

namespace scanui::internal {

struct BrightelTable {
  // Required.
  int (*GetSCSIAdapter)(devapi::AdapterInfo*) = nullptr;
  int (*GetScanner)(const char*, const char*, devapi::ScannerMatchInfo*, std::uint8_t*) = nullptr;
  int (*New)(devapi::DeviceNewParam*) = nullptr;
  int (*Init)(int) = nullptr;
  int (*Delete)(int) = nullptr;
  int (*GetError)(int, devapi::DeviceErrorInfo*) = nullptr;
  int (*GetCondition)(int, devapi::ScanCondition*) = nullptr;
  int (*SetCondition)(int, const devapi::ScanCondition*) = nullptr;
  int (*SetLUT)(int, const devapi::TableParam*) = nullptr;
  int (*Scan)(int) = nullptr;
  int (*ReadBuffer)(int, const devapi::ReadBufferParam*) = nullptr;
  int (*ReverseFilm)(int) = nullptr;
  int (*EjectFilm)(int) = nullptr;
  int (*NextFilm)(int) = nullptr;
  int (*Cancel)(int) = nullptr;
  // Optional: a missing one switches off what it serves.
  int (*GetScannerType)(int, devapi::ScannerTypeInfo*) = nullptr;
  int (*GetOption)(int, devapi::KtGOption*) = nullptr;
  int (*GetErrorString)(devapi::DeviceErrorString*) = nullptr;
  int (*ClearHardError)(int) = nullptr;
};

enum class BindResult { Bound, CannotLoad, SymbolMissing };

// Where the table comes from: the library file, or a table a test supplies.
class BrightelSource {
 public:
  virtual ~BrightelSource() = default;
  virtual BindResult load(BrightelTable& table) = 0;
  virtual void unload() = 0;
};

// Loads the library at `path` and binds the 19 names; a missing required name
// unloads it again.
class BrightelLibrary : public BrightelSource {
 public:
  explicit BrightelLibrary(std::filesystem::path path) : path_(std::move(path)) {}
  BindResult load(BrightelTable& table) override;
  void unload() override { library_.close(); }

 private:
  std::filesystem::path path_;
  platform::Library library_;
};

}  // namespace scanui::internal
