// The state of the loaded library: made when the library is loaded, gone when
// it is unloaded. Windows are not part of it until ShowUI.
#pragma once

#include <filesystem>

#include "platform/qt/translations.h"
#include "scanui/internal/connection.h"
#include "scanui/internal/scan_dialog.h"
#include "scanui/scanui.h"

namespace scanui::internal {

struct ScanUiLibrary {
  ScanUiLibrary();

  // Brightel beside Oskelu's own file.
  std::filesystem::path brightelPath;
  DSProc transferReady = nullptr;
  DSProc closeRequest = nullptr;
  int mode = SOURCE_NONE;
  DigitizerConnection connection;
  ScanRecord scanRecord{};         // the record of the last digitizer scan
  ScanRecord* current = nullptr;   // set by XFerReady
  platform::qt::Translation translation;
  // Last, so it goes first: its window and the moire filter before the rest.
  CScanDlg dialog;
};

ScanUiLibrary& library();

// The directory of the library's catalogues.
std::filesystem::path translationsDir();

}  // namespace scanui::internal
