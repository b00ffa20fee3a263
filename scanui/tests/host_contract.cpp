// A small Qt host of the film-scan UI, as the suite's hosts use it: load the
// library by file name, bind all 15 exports, open, show, close from the
// close-request callback, unload. Five rounds in one process; after each the
// library (and what it loaded) must be gone from the address space.
// Exit code 0 when every round held; the failing step is printed otherwise.
#include <dlfcn.h>

#include <QApplication>
#include <QPushButton>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "platform/paths.h"
#include "platform/qt/prompt.h"
#include "scanui/scanui.h"
#include "simulator/sim.h"

namespace {
std::shared_ptr<platform::usb::Port> lentPort;
}

extern "C" __attribute__((visibility("default"))) void* ndt_usb_host_port() { return &lentPort; }

namespace {

struct Exports {
  scanui::SetDSProcAddressFn SetDSProcAddress;
  scanui::InitUIFn InitUI;
  scanui::IsThereAnyDigitizerAvailableFn IsThereAnyDigitizerAvailable;
  scanui::IsDigitizerAvailableFn IsDigitizerAvailable;
  scanui::EnableDICOMFieldFn EnableDICOMField;
  scanui::ShowUIFn ShowUI;
  scanui::HideUIFn HideUI;
  scanui::TermUIFn TermUI;
  scanui::XFerReadyFn XFerReady;
  scanui::GetScanDataFn GetScanData;
  scanui::ReleaseScanDataFn ReleaseScanData;
  scanui::CeaseScanFn CeaseScan;
  scanui::CloseRequestFn CloseRequest;
  scanui::GetAutofeederCountFn GetAutofeederCount;
  scanui::ResetAutofeederCountFn ResetAutofeederCount;
};

Exports api;
int closeRequests = 0;

int onTransferReady() { return 0; }

// The host ends the scan run from inside the callback, as the viewer does.
int onCloseRequest() {
  ++closeRequests;
  api.HideUI(0);
  api.TermUI(0);
  return 1;
}

template <typename F>
bool bind(void* library, F& f, const char* name) {
  f = reinterpret_cast<F>(::dlsym(library, name));
  if (f == nullptr) std::printf("missing export %s\n", name);
  return f != nullptr;
}

bool bindAll(void* l) {
  bool ok = true;  // every missing name is reported
  ok = bind(l, api.SetDSProcAddress, "SetDSProcAddress") && ok;
  ok = bind(l, api.InitUI, "InitUI") && ok;
  ok = bind(l, api.IsThereAnyDigitizerAvailable, "IsThereAnyDigitizerAvailable") && ok;
  ok = bind(l, api.IsDigitizerAvailable, "IsDigitizerAvailable") && ok;
  ok = bind(l, api.EnableDICOMField, "EnableDICOMField") && ok;
  ok = bind(l, api.ShowUI, "ShowUI") && ok;
  ok = bind(l, api.HideUI, "HideUI") && ok;
  ok = bind(l, api.TermUI, "TermUI") && ok;
  ok = bind(l, api.XFerReady, "XFerReady") && ok;
  ok = bind(l, api.GetScanData, "GetScanData") && ok;
  ok = bind(l, api.ReleaseScanData, "ReleaseScanData") && ok;
  ok = bind(l, api.CeaseScan, "CeaseScan") && ok;
  ok = bind(l, api.CloseRequest, "CloseRequest") && ok;
  ok = bind(l, api.GetAutofeederCount, "GetAutofeederCount") && ok;
  ok = bind(l, api.ResetAutofeederCount, "ResetAutofeederCount") && ok;
  return ok;
}

bool mapped(const char* fileName) {
  std::ifstream maps("/proc/self/maps");
  std::ostringstream text;
  text << maps.rdbuf();
  return text.str().find(fileName) != std::string::npos;
}

int fail(int round, const char* step) {
  std::printf("round %d: %s\n", round, step);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  platform::qt::ScriptedPrompt prompts;
  auto bus = std::make_shared<sim::Bus>();
  bus->plug(sim::filmDigitizer());
  lentPort = bus;
  QWidget mainWindow;
  mainWindow.setWindowTitle("host");
  mainWindow.show();
  const std::string file = (platform::paths::programDir() / "libOskelu.so").string();

  for (int round = 1; round <= 5; ++round) {
    void* library = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return fail(round, ::dlerror());
    if (!bindAll(library)) return fail(round, "binding");
    if (!mapped("/libFennick.so")) return fail(round, "the moire filter was not loaded with the library");
    scanui::StudyData study{};
    api.SetDSProcAddress(onTransferReady, onCloseRequest);
    if (api.InitUI(0) != 1) return fail(round, "InitUI");
    api.EnableDICOMField(&study, 1, 0);
    void* dialog = api.ShowUI(&mainWindow, "host");
    if (dialog == nullptr) return fail(round, "ShowUI");
    QApplication::processEvents();
    // The operator ends the run: Exit asks the host to close, whose callback ends the library.
    auto* exitButton = static_cast<QWidget*>(dialog)->findChild<QPushButton*>("1054");
    if (exitButton == nullptr) return fail(round, "no Exit button");
    exitButton->click();
    QApplication::processEvents();
    if (closeRequests != round) return fail(round, "Exit did not ask the host to close");
    if (::dlclose(library) != 0) return fail(round, "dlclose");
    // Anything the library left queued would run here, into unmapped code.
    QApplication::processEvents();
    QApplication::sendPostedEvents();
    if (mapped("/libOskelu.so")) return fail(round, "libOskelu.so still mapped");
    if (mapped("/libBrightel.so")) return fail(round, "libBrightel.so still mapped");
    if (mapped("/libFennick.so")) return fail(round, "libFennick.so still mapped");
  }
  if (!prompts.asked.empty()) return fail(5, prompts.asked[0].text.toStdString().c_str());
  lentPort = nullptr;
  std::printf("5 rounds\n");
  return 0;
}
