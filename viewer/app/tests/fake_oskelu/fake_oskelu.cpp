// A stand-in film-scan UI for the viewer's bridge tests: the exports of the
// real library over a script, delivering from a timer or from its own thread.
#include "fake_oskelu.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>
#include <QWidget>
#include <cstring>
#include <chrono>
#include <thread>
#include <vector>

namespace {

FakeScanScript g_script;
FakeScanLog g_log;
scanui::DSProc g_transferReady = nullptr;
scanui::DSProc g_closeRequest = nullptr;
scanui::StudyData* g_study = nullptr;
std::vector<std::uint8_t> g_pixels;
std::thread g_worker;
int g_dialog = 0;  // the address stands for the dialog window

void fill(int k) {
  const int b = g_script.bytesPerPixel == 2 ? 2 : 1;
  g_pixels.assign(std::size_t(g_script.width) * std::size_t(g_script.height) * std::size_t(b), 0);
  for (int y = 0; y < g_script.height; ++y)
    for (int x = 0; x < g_script.width; ++x) {
      const unsigned v = fakeSample(k, x, y, b);
      const std::size_t i = (std::size_t(y) * std::size_t(g_script.width) + std::size_t(x)) * std::size_t(b);
      g_pixels[i] = std::uint8_t(v & 0xFF);
      if (b == 2) g_pixels[i + 1] = std::uint8_t(v >> 8);
    }
}

void writeStudyAtClose() {
  if (g_study != nullptr) std::memcpy(g_study->studyDate, g_script.studyDateAtClose, sizeof g_study->studyDate);
}

void deliverFromTimer(int k) {
  if (k >= g_script.images) {
    writeStudyAtClose();
    g_closeRequest();
    return;
  }
  fill(k);
  g_transferReady();
  QTimer::singleShot(1, qApp, [k] { deliverFromTimer(k + 1); });
}

void deliverFromWorker() {
  for (int k = 0; k < g_script.images; ++k) {
    fill(k);
    g_transferReady();
  }
  // The dialog's Exit runs on the UI thread.
  QMetaObject::invokeMethod(qApp, [] {
    writeStudyAtClose();
    g_closeRequest();
  }, Qt::QueuedConnection);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void FakeOskelu_Script(const FakeScanScript* script) {
  g_script = *script;
  g_log = FakeScanLog();
}
extern "C" __attribute__((visibility("default"))) const FakeScanLog* FakeOskelu_Log() { return &g_log; }

OSKELU_API void SetDSProcAddress(scanui::DSProc transferReady, scanui::DSProc closeRequest) {
  ++g_log.setProcs;
  g_transferReady = transferReady;
  g_closeRequest = closeRequest;
}
OSKELU_API int InitUI(std::intptr_t) {
  ++g_log.inits;
  return g_script.initOk;
}
OSKELU_API int IsThereAnyDigitizerAvailable(std::intptr_t) {
  ++g_log.probes;
  return g_script.available;
}
OSKELU_API int IsDigitizerAvailable(std::intptr_t) { return g_script.available; }
OSKELU_API void EnableDICOMField(scanui::StudyData* study, int enable, int expanded) {
  g_study = study;
  g_log.enableArg = enable;
  g_log.expandedArg = expanded;
}
OSKELU_API void* ShowUI(void* hostWindow, const char* captionSuffix) {
  ++g_log.shows;
  std::strncpy(g_log.caption, captionSuffix ? captionSuffix : "", sizeof g_log.caption - 1);
  if (hostWindow != nullptr) g_log.hostEnabledAtShow = static_cast<QWidget*>(hostWindow)->isEnabled() ? 1 : 0;
  if (g_study != nullptr) g_log.lentAtShow = *g_study;
  if (g_script.fromWorker) {
    // The worker's first scan may come before the dialog is up.
    g_worker = std::thread(deliverFromWorker);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  } else QTimer::singleShot(1, qApp, [] { deliverFromTimer(0); });
  return &g_dialog;
}
OSKELU_API int HideUI(std::intptr_t) {
  ++g_log.hides;
  return 1;
}
OSKELU_API void TermUI(std::intptr_t) {
  ++g_log.terms;
  if (g_worker.joinable()) g_worker.join();
}
OSKELU_API void XFerReady(scanui::ScanRecord*) {}
OSKELU_API scanui::ScanData* GetScanData(scanui::ScanData* out) {
  out->width = std::uint32_t(g_script.width);
  out->height = std::uint32_t(g_script.height);
  out->pixels = g_script.nullPixels ? nullptr : g_pixels.data();
  out->bytesPerPixel = std::uint8_t(g_script.bytesPerPixel);
  out->bits = std::uint8_t(g_script.bits);
  out->pitch = 50;
  out->odRange = std::uint8_t(g_script.odByte);
  return out;
}
OSKELU_API void ReleaseScanData(scanui::ScanData*) { ++g_log.releases; }
OSKELU_API int CeaseScan() { return 1; }
OSKELU_API int CloseRequest() { return g_closeRequest ? g_closeRequest() : 0; }
#ifndef FAKE_OSKELU_WITHOUT_AUTOFEEDER_COUNT
OSKELU_API int GetAutofeederCount() { return 0; }
#endif
OSKELU_API int ResetAutofeederCount() { return 1; }
