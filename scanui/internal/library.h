// The state of the loaded library: made when the library is loaded, gone when
// it is unloaded. Its window comes only with ShowUI.
#pragma once

#include <filesystem>

#include "platform/qt/translations.h"
#include "scanui/internal/connection.h"
#include "scanui/internal/cr_link.h"
#include "scanui/internal/library_link.h"
#include "scanui/internal/scan_dialog.h"
#include "scanui/scanui.h"

namespace scanui::internal {

struct ScanUiLibrary final : LibraryLink {
  ScanUiLibrary();
  DigitizerConnection& digitizer() override { return connection; }
  bool dialogOpen() override { return dialog.window() != nullptr; }
  bool hostTakesImages() override { return transferReady != nullptr; }
  void importedStudy(const std::string& componentName, const std::string& componentId,
                     const std::string& seriesDescription) override {
    dialog.importedStudy(componentName, componentId, seriesDescription);
  }
  void imageReady(ScanRecord* record) override { XFerReady(record); }
  void postExit() override { dialog.postExit(); }


  // Brightel beside Oskelu's own file.
  std::filesystem::path brightelPath;
  DSProc transferReady = nullptr;
  DSProc closeRequest = nullptr;
  int mode = SOURCE_NONE;
  DigitizerConnection connection;
  ScanRecord* current = nullptr;   // set by XFerReady
  void* handedOut = nullptr;       // the buffer XFerReady handed over, until released
  platform::qt::Translation translation;
  CScanDlg dialog;  // its window and the moire filter go before the rest
  // Last, so it goes first: its worker reaches the dialog until joined.
  CrLink crLink;
};

ScanUiLibrary& library();

// The directory of the library's catalogues.
std::filesystem::path translationsDir();

}  // namespace scanui::internal
