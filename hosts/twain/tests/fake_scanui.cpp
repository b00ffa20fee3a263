#include "hosts/twain/tests/fake_scanui.h"

#include "scanui/scanui.h"

#include <QTimer>
#include <QWidget>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#define FAKE_API extern "C" __attribute__((visibility("default")))

namespace {

struct Image {
  scanui::ScanData record{};
  std::vector<std::uint8_t> pixels;
};

struct Fake {
  scanui::DSProc transferReady = nullptr, closeRequest = nullptr;
  std::deque<Image> queue;
  int made = 0;
  bool offered = false;   // the front image was announced
  bool released = false;  // and given back
  bool closing = false;
  int feeder = 0;
  std::string calls;
  QWidget* dialog = nullptr;
  QTimer* timer = nullptr;
};

Fake& fake() {
  static Fake f;
  return f;
}

void note(const char* call) {
  fake().calls += call;
  fake().calls += ';';
}

void queue(std::uint32_t width, std::uint32_t height, int bytes, int bits) {
  Fake& f = fake();
  Image image;
  image.pixels.resize(std::size_t{width} * height * static_cast<std::size_t>(bytes));
  for (std::uint32_t y = 0; y < height; ++y)
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::uint16_t v = fakeScanUiSample(x, y, bits, f.made);
      std::uint8_t* p = image.pixels.data() + (std::size_t{y} * width + x) * static_cast<std::size_t>(bytes);
      p[0] = static_cast<std::uint8_t>(v);
      if (bytes == 2) p[1] = static_cast<std::uint8_t>(v >> 8);
    }
  image.record.width = width;
  image.record.height = height;
  image.record.bytesPerPixel = static_cast<std::uint8_t>(bytes);
  image.record.bits = static_cast<std::uint8_t>(bits);
  image.record.pitch = 100;
  image.record.frameWidth = 360;
  image.record.frameHeight = 432;
  ++f.made;
  f.queue.push_back(std::move(image));
}

// "WxHxBYTESxBITS,..."
void queueFromEnvironment() {
  const char* text = std::getenv("NDT_FAKE_SCANUI_IMAGES");
  if (text == nullptr) return;
  std::string_view rest(text);
  while (!rest.empty()) {
    unsigned v[4] = {};
    const char* p = rest.data();
    const char* end = rest.data() + rest.size();
    for (unsigned& n : v) {
      p = std::from_chars(p, end, n).ptr;
      if (p < end && (*p == 'x' || *p == ',')) ++p;
    }
    if (v[0] == 0 || v[1] == 0 || (v[2] != 1 && v[2] != 2) || v[3] == 0 || v[3] > 16) return;
    queue(v[0], v[1], static_cast<int>(v[2]), static_cast<int>(v[3]));
    rest.remove_prefix(static_cast<std::size_t>(p - rest.data()));
  }
}

// One step of the scripted operator: offer the next image, wait until it was
// given back, and ask to close when none is left.
void step() {
  Fake& f = fake();
  if (!f.queue.empty()) {
    if (f.released) {
      f.queue.pop_front();
      f.offered = f.released = false;
    } else if (!f.offered) {
      f.offered = f.transferReady != nullptr && f.transferReady() == 1;
    }
    return;
  }
  if (f.closeRequest != nullptr && f.closeRequest() == 1 && f.timer != nullptr) f.timer->stop();
}

}  // namespace

FAKE_API void SetDSProcAddress(scanui::DSProc transferReady, scanui::DSProc closeRequest) {
  note("SetDSProcAddress");
  fake().transferReady = transferReady;
  fake().closeRequest = closeRequest;
}
FAKE_API int IsThereAnyDigitizerAvailable(std::intptr_t) {
  note("IsThereAnyDigitizerAvailable");
  return 1;
}
FAKE_API int IsDigitizerAvailable(std::intptr_t) { return 1; }
FAKE_API int InitUI(std::intptr_t) {
  note("InitUI");
  queueFromEnvironment();
  return 1;
}
FAKE_API void* ShowUI(void*, const char* captionSuffix) {
  note("ShowUI");
  Fake& f = fake();
  f.dialog = new QWidget;
  f.dialog->setWindowTitle(QString::fromLocal8Bit(captionSuffix != nullptr ? captionSuffix : ""));
  f.dialog->show();
  if (std::getenv("NDT_FAKE_SCANUI_IMAGES") != nullptr) {
    f.timer = new QTimer;
    QObject::connect(f.timer, &QTimer::timeout, f.timer, &step);
    f.timer->start(1);
  }
  return f.dialog;
}
FAKE_API int HideUI(std::intptr_t) {
  note("HideUI");
  Fake& f = fake();
  delete f.timer;
  f.timer = nullptr;
  delete f.dialog;
  f.dialog = nullptr;
  return 1;
}
FAKE_API void TermUI(std::intptr_t) {
  note("TermUI");
  fake().queue.clear();
  fake().offered = fake().released = false;
}
FAKE_API scanui::ScanData* GetScanData(scanui::ScanData* out) {
  note("GetScanData");
  Fake& f = fake();
  if (out == nullptr || f.queue.empty()) return out;
  *out = f.queue.front().record;
  out->pixels = f.queue.front().pixels.data();
  return out;
}
FAKE_API void ReleaseScanData(scanui::ScanData* data) {
  note("ReleaseScanData");
  if (data != nullptr) data->pixels = nullptr;
  fake().released = true;
  // Without the timer the test steps itself: the image is gone at once.
  if (fake().timer == nullptr && !fake().queue.empty()) {
    fake().queue.pop_front();
    fake().offered = fake().released = false;
  }
}
FAKE_API int GetAutofeederCount() { return fake().feeder; }
FAKE_API int ResetAutofeederCount() {
  note("ResetAutofeederCount");
  fake().feeder = 0;
  return 1;
}
#ifndef FAKE_SCANUI_WITHOUT_CEASESCAN
FAKE_API int CeaseScan() {
  note("CeaseScan");
  return 1;
}
#endif

FAKE_API void FakeScanUi_Queue(std::uint32_t width, std::uint32_t height, int bytes, int bits) {
  queue(width, height, bytes, bits);
}
FAKE_API int FakeScanUi_TransferReady() {
  return fake().transferReady != nullptr ? fake().transferReady() : -1;
}
FAKE_API int FakeScanUi_CloseRequest() { return fake().closeRequest != nullptr ? fake().closeRequest() : -1; }
FAKE_API std::size_t FakeScanUi_Calls(char* out, std::size_t room) {
  const std::string& calls = fake().calls;
  if (out != nullptr && room > 0) {
    const std::size_t n = std::min(room - 1, calls.size());
    std::memcpy(out, calls.data(), n);
    out[n] = '\0';
  }
  return calls.size();
}
FAKE_API void FakeScanUi_SetFeeder(int count) { fake().feeder = count; }
// A fresh UI for the next test in the same process.
FAKE_API void FakeScanUi_Reset() {
  Fake& f = fake();
  f.queue.clear();
  f.made = 0;
  f.offered = f.released = false;
  f.feeder = 0;
  f.calls.clear();
}
