#include "scanui/internal/brightel_table.h"

namespace scanui::internal {

BindResult BrightelLibrary::load(BrightelTable& table) {
  table = BrightelTable{};
  if (!library_.open(path_.string(), &table)) return BindResult::CannotLoad;
  bool complete = true;
  auto required = [&](auto& pointer, const char* name) {
    pointer = library_.function<std::remove_reference_t<decltype(pointer)>>(name);
    if (pointer == nullptr) complete = false;
  };
  auto optional = [&](auto& pointer, const char* name) {
    pointer = library_.function<std::remove_reference_t<decltype(pointer)>>(name);
  };
  required(table.GetSCSIAdapter, "KT7163_W32GetSCSIAdapter");
  required(table.GetScanner, "KT7163_W32GetScanner");
  required(table.New, "KT7163_W32New");
  required(table.Init, "KT7163_W32Init");
  required(table.Delete, "KT7163_W32Delete");
  required(table.GetError, "KT7163_W32GetError");
  required(table.GetCondition, "KT7163_W32GetCondition");
  required(table.SetCondition, "KT7163_W32SetCondition");
  required(table.SetLUT, "KT7163_W32SetLUT");
  required(table.Scan, "KT7163_W32Scan");
  required(table.ReadBuffer, "KT7163_W32ReadBuffer");
  required(table.ReverseFilm, "KT7163_W32ReverseFilm");
  required(table.EjectFilm, "KT7163_W32EjectFilm");
  required(table.NextFilm, "KT7163_W32NextFilm");
  required(table.Cancel, "KT7163_W32Cancel");
  optional(table.GetScannerType, "KT7163_W32GetScannerType");
  optional(table.GetOption, "KT7163_W32GetOption");
  optional(table.GetErrorString, "KT7163_W32GetErrorString");
  optional(table.ClearHardError, "KT7163_W32ClearHardError");
  if (!complete) {
    table = BrightelTable{};
    library_.close();
    return BindResult::SymbolMissing;
  }
  return BindResult::Bound;
}

}  // namespace scanui::internal
