// The 15 exports: thin, each forwarding to the dialog, the connection or the
// current record. Every one runs on the host's UI thread.
#include <QApplication>
#include <QString>
#include <cstdlib>

#include "platform/paths.h"
#include "scanui/internal/library.h"

namespace scanui::internal {
namespace {

ScanUiLibrary instance;

// The catalogue serves the boxes of InitUI as well as the dialog; TermUI removes it.
void installTranslation(ScanUiLibrary& lib) {
  if (!lib.translation.installed())
    lib.translation.install("oskelu", QString::fromStdString(translationsDir().string()));
}

}  // namespace

ScanUiLibrary::ScanUiLibrary()
    : brightelPath(platform::paths::moduleDir(&instance) / platform::Library::fileNameFor("Brightel.DLL")),
      connection(std::make_unique<BrightelLibrary>(brightelPath)),
      dialog(*this),
      crLink(*this) {}

ScanUiLibrary& library() { return instance; }

std::filesystem::path translationsDir() { return platform::paths::moduleDir(&instance) / "translations"; }

}  // namespace scanui::internal

using scanui::internal::library;

void SetDSProcAddress(scanui::DSProc transferReady, scanui::DSProc closeRequest) {
  library().transferReady = transferReady;
  library().closeRequest = closeRequest;
}

int InitUI(std::intptr_t) {
  auto& lib = library();
  scanui::internal::installTranslation(lib);
  if (lib.crLink.probe()) {
    lib.mode = scanui::SOURCE_CR_LINK;
    return 1;
  }
  if (!lib.connection.open()) return 0;
  lib.mode = scanui::SOURCE_DIGITIZER;
  return 1;
}

int IsThereAnyDigitizerAvailable(std::intptr_t) {
  auto& lib = library();
  // A connection of our own answers for itself; probing would close it.
  if (lib.connection.connected()) return 1;
  lib.mode = scanui::SOURCE_NONE;
  if (lib.crLink.probe()) {
    lib.mode = scanui::SOURCE_CR_LINK;
    return 1;
  }
  const bool ownTranslation = !lib.translation.installed();
  scanui::internal::installTranslation(lib);
  lib.connection.setQuiet(true);
  const bool found = lib.connection.open();
  lib.connection.setQuiet(false);
  if (found) {
    lib.connection.close();
    lib.mode = scanui::SOURCE_DIGITIZER;
  }
  if (ownTranslation) lib.translation.remove();
  return found ? 1 : 0;
}

int IsDigitizerAvailable(std::intptr_t) { return 1; }

void EnableDICOMField(scanui::StudyData* study, int enable, int expanded) {
  library().dialog.enableStudy(study, enable, expanded);
}

void* ShowUI(void* hostWindow, const char* captionSuffix) {
  auto& lib = library();
  auto* host = static_cast<QWidget*>(hostWindow);
  lib.connection.setOwner(host);
  const bool crLink = lib.mode == scanui::SOURCE_CR_LINK;
  if (crLink) lib.crLink.stop();
  QWidget* w = lib.dialog.create(host, scanui::internal::scanCaption(captionSuffix), !crLink);
  if (w != nullptr && crLink) lib.crLink.start();
  return w;
}

// The import worker goes with the hidden dialog it fills.
int HideUI(std::intptr_t) {
  auto& lib = library();
  lib.crLink.stop();
  return lib.dialog.destroy();
}

void TermUI(std::intptr_t) {
  auto& lib = library();
  if (lib.dialog.window() != nullptr) HideUI(0);
  lib.crLink.stop();
  if (lib.mode != scanui::SOURCE_CR_LINK) lib.connection.close();
  lib.connection.setOwner(nullptr);
  lib.translation.remove();
}

void XFerReady(scanui::ScanRecord* record) {
  auto& lib = library();
  lib.current = record;
  lib.handedOut = record != nullptr ? record->pixels : nullptr;
  if (lib.transferReady != nullptr) lib.transferReady();
}

scanui::ScanData* GetScanData(scanui::ScanData* out) {
  const scanui::ScanRecord* r = library().current;
  if (r == nullptr || out == nullptr) return out;
  out->width = r->width;
  out->height = r->height;
  out->pixels = r->pixels;
  // The host's record has bytes and bits the other way round.
  out->bytesPerPixel = r->bytesPerPixel;
  out->bits = r->bits;
  out->pitch = r->pitch;
  out->odRange = r->odRange;
  out->left = r->left;
  out->top = r->top;
  out->frameWidth = r->frameWidth;
  out->frameHeight = r->frameHeight;
  return out;
}

// Only the buffer the library handed out, and only once: a second release or
// a pointer of the host's own frees nothing.
void ReleaseScanData(scanui::ScanData* data) {
  auto& lib = library();
  if (data != nullptr && data->pixels != nullptr) {
    if (data->pixels != lib.handedOut) return;
    lib.crLink.released(lib.handedOut);
    std::free(lib.handedOut);
    lib.handedOut = nullptr;
    data->pixels = nullptr;
  }
  if (lib.current != nullptr) lib.current->pixels = nullptr;
}

int CeaseScan() { return library().dialog.cease(); }

int CloseRequest() {
  scanui::DSProc proc = library().closeRequest;
  return proc != nullptr ? proc() : 0;
}

int GetAutofeederCount() { return library().dialog.autofeederCount(); }

int ResetAutofeederCount() { return library().dialog.resetAutofeeder(); }
