// The film digitizer library as the scan UI binds it: 15 functions it needs and
// 4 it uses when present. Tests put a table of their own in place of the loaded one.
#pragma once

#include <cstdint>
#include <filesystem>

#include "devapi/film/brightel.h"
#include "devapi/records.h"
#include "platform/library.h"

namespace scanui::internal {

// Each pointer has the type of the library's own declaration.
struct BrightelTable {
  // Required.
  decltype(&KT7163_W32GetSCSIAdapter) GetSCSIAdapter = nullptr;
  decltype(&KT7163_W32GetScanner) GetScanner = nullptr;
  decltype(&KT7163_W32New) New = nullptr;
  decltype(&KT7163_W32Init) Init = nullptr;
  decltype(&KT7163_W32Delete) Delete = nullptr;
  decltype(&KT7163_W32GetError) GetError = nullptr;
  decltype(&KT7163_W32GetCondition) GetCondition = nullptr;
  decltype(&KT7163_W32SetCondition) SetCondition = nullptr;
  decltype(&KT7163_W32SetLUT) SetLUT = nullptr;
  decltype(&KT7163_W32Scan) Scan = nullptr;
  decltype(&KT7163_W32ReadBuffer) ReadBuffer = nullptr;
  decltype(&KT7163_W32ReverseFilm) ReverseFilm = nullptr;
  decltype(&KT7163_W32EjectFilm) EjectFilm = nullptr;
  decltype(&KT7163_W32NextFilm) NextFilm = nullptr;
  decltype(&KT7163_W32Cancel) Cancel = nullptr;
  // Optional: a missing one switches off what it serves.
  decltype(&KT7163_W32GetScannerType) GetScannerType = nullptr;
  decltype(&KT7163_W32GetOption) GetOption = nullptr;
  decltype(&KT7163_W32GetErrorString) GetErrorString = nullptr;
  decltype(&KT7163_W32ClearHardError) ClearHardError = nullptr;
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
