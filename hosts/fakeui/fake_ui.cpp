#include "hosts/fakeui/fake_ui.h"

#include <QCoreApplication>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "scanui/scanui.h"

namespace {

struct Step {
  enum Kind { Image, Study, Exit } kind = Image;
  scanui::ScanRecord record{};
  bool worker = false;  // delivered from a thread of its own, as the CR link does
  std::string field, text;
};

struct State {
  scanui::DSProc transferReady = nullptr;
  scanui::DSProc closeRequest = nullptr;
  scanui::StudyData* study = nullptr;
  scanui::ScanRecord* current = nullptr;
  scanui::ScanRecord own{};
  int initResult = 1;
  bool showFails = false;
  bool shown = false;
  std::vector<Step> steps;
  std::size_t next = 0;
  int window = 0;  // what ShowUI hands out: an address only
  // Plays the steps; gone again when the dialog is, so that the host may unload
  // us at once with nothing of ours queued.
  QTimer* player = nullptr;
  bool playing = false;
  bool workerMode = false;
  std::thread worker;
  std::atomic<bool> workerBusy{false};
};

State state;

void stopPlayer() {
  state.shown = false;
  if (state.player == nullptr) return;
  state.player->stop();
  if (state.playing) return;  // the step under way deletes it when it ends
  delete state.player;
  state.player = nullptr;
}

void log(const std::string& line) {
  const char* file = std::getenv("NDT_FAKEUI_LOG");
  if (file == nullptr || *file == '\0') return;
  if (std::FILE* f = std::fopen(file, "a")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

std::string unescape(const std::string& in) {
  std::string out;
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '\\' && i + 3 < in.size() && in[i + 1] == 'x') {
      out += char(std::strtol(in.substr(i + 2, 2).c_str(), nullptr, 16));
      i += 3;
    } else {
      out += in[i];
    }
  }
  return out;
}

void readScript() {
  state.steps.clear();
  state.next = 0;
  state.initResult = 1;
  state.showFails = false;
  state.workerMode = false;
  const char* file = std::getenv("NDT_FAKEUI_SCRIPT");
  if (file == nullptr) return;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string verb;
    if (!(words >> verb) || verb[0] == '#') continue;
    if (verb == "initui") {
      words >> state.initResult;
    } else if (verb == "worker") {
      state.workerMode = true;
    } else if (verb == "showui") {
      state.showFails = true;
    } else if (verb == "image") {
      Step s;
      unsigned w = 0, h = 0, bytes = 0, bits = 0, pitch = 0, od = 0;
      words >> w >> h >> bytes >> bits >> pitch >> od;
      s.record.width = w;
      s.record.height = h;
      s.record.bytesPerPixel = std::uint8_t(bytes);
      s.record.bits = std::uint8_t(bits);
      s.record.pitch = std::uint16_t(pitch);
      s.record.odRange = std::uint8_t(od);
      s.worker = state.workerMode;
      state.steps.push_back(s);
    } else if (verb == "study") {
      Step s;
      s.kind = Step::Study;
      words >> s.field;
      std::getline(words >> std::ws, s.text);
      s.text = unescape(s.text);
      state.steps.push_back(s);
    } else if (verb == "exit") {
      Step s;
      s.kind = Step::Exit;
      state.steps.push_back(s);
    }
  }
}

void putText(char* field, std::size_t size, const std::string& text) {
  std::memset(field, 0, size);
  std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

// The entries of the whole script reach the host's record at Exit, as the
// dialog writes its fields back only then.
void writeStudyBack() {
  if (state.study == nullptr) return;
  for (const Step& s : state.steps) {
    if (s.kind != Step::Study) continue;
    scanui::StudyData& d = *state.study;
    if (s.field == "name") putText(d.componentName, sizeof d.componentName, s.text);
    else if (s.field == "id") putText(d.componentId, sizeof d.componentId, s.text);
    else if (s.field == "date") putText(d.manufacturingDate, sizeof d.manufacturingDate, s.text);
    else if (s.field == "sex") putText(d.sex, sizeof d.sex, s.text);
    else if (s.field == "studydate") putText(d.studyDate, sizeof d.studyDate, s.text);
    else if (s.field == "studyid") putText(d.studyId, sizeof d.studyId, s.text);
    else if (s.field == "description") putText(d.studyDescription, sizeof d.studyDescription, s.text);
  }
}

void* makePixels(const scanui::ScanRecord& r) {
  const std::size_t count = std::size_t(r.width) * r.height;
  auto* pixels = new std::uint8_t[count * r.bytesPerPixel];
  for (std::uint32_t y = 0; y < r.height; ++y)
    for (std::uint32_t x = 0; x < r.width; ++x) {
      const std::uint16_t v = fakeui::sample(x, y, r.bits);
      std::uint8_t* p = pixels + (std::size_t(y) * r.width + x) * r.bytesPerPixel;
      p[0] = std::uint8_t(v);
      if (r.bytesPerPixel == 2) p[1] = std::uint8_t(v >> 8);
    }
  return pixels;
}

// Hands one image over; a host that never released it leaves it to be freed here.
void deliver(scanui::ScanRecord& record) {
  record.pixels = makePixels(record);
  XFerReady(&record);
  state.current = nullptr;
  if (record.pixels != nullptr) {
    log("unreleased");
    delete[] static_cast<std::uint8_t*>(record.pixels);
    record.pixels = nullptr;
  }
}

void playStep() {
  if (state.worker.joinable()) {
    if (state.workerBusy) return;  // the UI thread keeps pumping meanwhile
    state.worker.join();
  }
  if (!state.shown || state.next >= state.steps.size()) return;
  const Step& s = state.steps[state.next++];
  if (s.kind == Step::Image && s.worker) {
    state.workerBusy = true;
    state.worker = std::thread([record = s.record]() mutable {
      deliver(record);  // the record lives on this thread's stack, as the CR link's does
      state.workerBusy = false;
    });
  } else if (s.kind == Step::Image) {
    state.own = s.record;
    deliver(state.own);
  } else if (s.kind == Step::Exit) {
    writeStudyBack();
    CloseRequest();
  }
}

void playNext() {
  state.playing = true;
  playStep();
  state.playing = false;
  if (!state.shown) stopPlayer();
}

}  // namespace

void SetDSProcAddress(scanui::DSProc transferReady, scanui::DSProc closeRequest) {
  log("SetDSProcAddress");
  state.transferReady = transferReady;
  state.closeRequest = closeRequest;
}

int InitUI(std::intptr_t) {
  readScript();
  log("InitUI");
  return state.initResult;
}

int IsThereAnyDigitizerAvailable(std::intptr_t) {
  log("IsThereAnyDigitizerAvailable");
  return 1;
}

int IsDigitizerAvailable(std::intptr_t) {
  log("IsDigitizerAvailable");
  return 1;
}

void EnableDICOMField(scanui::StudyData* study, int enable, int expanded) {
  log("EnableDICOMField " + std::to_string(enable) + " " + std::to_string(expanded));
  state.study = study;
}

void* ShowUI(void* hostWindow, const char* captionSuffix) {
  log(std::string("ShowUI ") + (hostWindow ? "window " : "0 ") + (captionSuffix ? captionSuffix : "(null)"));
  if (state.showFails || qApp == nullptr) return nullptr;
  state.shown = true;
  state.player = new QTimer;
  QObject::connect(state.player, &QTimer::timeout, playNext);
  state.player->start(0);
  return &state.window;
}

int HideUI(std::intptr_t) {
  log("HideUI");
  const bool was = state.shown;
  stopPlayer();
  return was ? 1 : 0;
}

void TermUI(std::intptr_t) {
  log("TermUI");
  stopPlayer();
  // An image still under way on its thread is waited for, so nothing of ours runs after unloading.
  if (state.worker.joinable()) state.worker.join();
}

void XFerReady(scanui::ScanRecord* record) {
  state.current = record;
  if (state.transferReady != nullptr) state.transferReady();
}

scanui::ScanData* GetScanData(scanui::ScanData* out) {
  log("GetScanData");
  if (out == nullptr || state.current == nullptr) return out;
  const scanui::ScanRecord& r = *state.current;
  out->width = r.width;
  out->height = r.height;
  out->pixels = r.pixels;
  out->bytesPerPixel = r.bytesPerPixel;
  out->bits = r.bits;
  out->pitch = r.pitch;
  out->odRange = r.odRange;
  out->left = r.left;
  out->top = r.top;
  out->frameWidth = r.frameWidth;
  out->frameHeight = r.frameHeight;
  return out;
}

void ReleaseScanData(scanui::ScanData* data) {
  log("ReleaseScanData");
  if (data != nullptr) {
    delete[] static_cast<std::uint8_t*>(data->pixels);
    data->pixels = nullptr;
  }
  if (state.current != nullptr) state.current->pixels = nullptr;
}

int CeaseScan() {
  log("CeaseScan");
  return 0;
}

int CloseRequest() {
  log("CloseRequest");
  return state.closeRequest ? state.closeRequest() : 0;
}

int GetAutofeederCount() {
  log("GetAutofeederCount");
  return 0;
}

int ResetAutofeederCount() {
  log("ResetAutofeederCount");
  return 1;
}
