// A 365 x 432 mm film at 50 micrometres and 12 bits (7300 x 8640 samples of two
// bytes) from the simulated digitizer: through the scan UI's scan command to
// the host's transfer-ready callback, and, as the peer, the device library's
// own 32768-byte chunked read of the same frame into one buffer. The same
// device, library and bus serve both; the images must be equal.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/support/bench_support.h"
#include "platform/qt/control.h"
#include "platform/qt/prompt.h"
#include "scanui/internal/library.h"
#include "simulator/sim.h"

namespace {

std::shared_ptr<platform::usb::Port> lentPort;

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 5;
constexpr std::uint32_t kWidth = 7300, kLines = 8640, kChunk = 32768;

Clock::time_point delivered;
std::vector<std::uint8_t> hostImage;
bool copyInCallback = false;

int onTransferReady() {
  delivered = Clock::now();
  scanui::ScanData data{};
  GetScanData(&data);
  if (copyInCallback) {
    const std::size_t bytes = std::size_t(data.width) * data.height * data.bytesPerPixel;
    hostImage.assign(static_cast<const std::uint8_t*>(data.pixels), static_cast<const std::uint8_t*>(data.pixels) + bytes);
  }
  ReleaseScanData(&data);
  return 0;
}

void setField(QWidget* w, int id, const char* text) {
  auto* e = platform::qt::control<QLineEdit>(w, id);
  e->setText(text);
  emit e->textEdited(e->text());
}

void choose(QWidget* w, int id, int index) {
  auto* c = platform::qt::control<QComboBox>(w, id);
  c->setCurrentIndex(index);
  emit c->activated(index);
}

// The device library's own read: the same set-up, then whole chunks of lines.
bool peerScan(std::uint8_t* image) {
  auto& connection = scanui::internal::library().connection;
  const scanui::internal::BrightelTable& t = connection.table();
  const int h = connection.handle();
  devapi::ScanCondition c{};
  if (!t.GetCondition(h, &c)) return false;
  c.width = 1;
  c.height = 1;
  c.pitch = 200;
  if (!t.SetCondition(h, &c)) return false;
  c.unit = 1;
  c.endian = 0;
  c.x_start = 0;
  c.y_start = 0;
  c.width = 365;
  c.height = 432;
  c.pitch = 50;
  c.pixel_bit_n = 16;
  c.out_bit_depth = 12;
  c.od_max = 40;
  c.mode = 1;
  if (!t.SetCondition(h, &c)) return false;
  std::array<std::uint16_t, 4096> lut{};
  for (int i = 0; i < 4096; ++i) lut[std::size_t(i)] = std::uint16_t(i);
  const devapi::TableParam table{2, 4096, lut.data()};
  if (!t.SetLUT(h, &table) || !t.GetCondition(h, &c) || c.pix_w != kWidth) return false;
  if (!t.Scan(h)) return false;
  const std::uint32_t lineBytes = kWidth * 2;
  std::uint32_t done = 0;
  bool first = true;
  while (done < kLines) {
    const std::uint32_t lines = std::min(first ? 1u : kChunk / lineBytes, kLines - done);
    devapi::ReadBufferParam p{};
    p.first = first ? 0 : 1;
    p.length = lines * lineBytes;
    p.buffer = image + std::size_t(done) * lineBytes;
    if (!t.ReadBuffer(h, &p)) return false;
    done += lines;
    first = false;
  }
  return true;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void* ndt_usb_host_port() { return &lentPort; }

int main(int argc, char** argv) {
  bench::sameAllocator(argv);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  char runtimeDir[] = "/tmp/bench_scanui_XXXXXX";
  if (::mkdtemp(runtimeDir) == nullptr) return 1;
  const std::string configDir = std::string(runtimeDir) + "/config";
  std::filesystem::create_directories(configDir);
  ::setenv("NDT_RUNTIME_DIR", runtimeDir, 1);
  ::setenv("NDT_CONFIG_DIR", configDir.c_str(), 1);
  int code = 0;
  {
    QApplication app(argc, argv);
    platform::qt::ScriptedPrompt prompts;  // a box would stop the run; none is expected
    auto bus = std::make_shared<sim::Bus>();
    // A film for every scan: the check and each timed run.
    bus->plug(sim::filmDigitizer()).setFeeder(std::vector<sim::Film>(kRuns + 1, sim::Film{1}));
    lentPort = bus;

    SetDSProcAddress(onTransferReady, nullptr);
    if (InitUI(0) != 1) {
      std::fprintf(stderr, "the simulated digitizer did not open\n");
      return 1;
    }
    auto* w = static_cast<QWidget*>(ShowUI(nullptr, nullptr));
    auto& dlg = scanui::internal::library().dialog;
    choose(w, 1007, 0);  // 50 micrometres
    choose(w, 1003, 2);  // 12 bits
    choose(w, 1012, 1);  // Standard
    setField(w, 1015, "0");
    setField(w, 1017, "0");
    setField(w, 1018, "365");
    setField(w, 1019, "432");
    if (dlg.region().widthPx != int(kWidth) || dlg.region().heightPx != int(kLines)) {
      std::fprintf(stderr, "region %d x %d\n", dlg.region().widthPx, dlg.region().heightPx);
      return 1;
    }

    const std::size_t bytes = std::size_t(kWidth) * kLines * 2;
    std::vector<std::uint8_t> peerImage(bytes);
    // The outputs first, compared once outside the timing.
    copyInCallback = true;
    dlg.scanCommand();
    copyInCallback = false;
    bench::requireEqual(peerScan(peerImage.data()), "the peer's scan");
    bench::requireEqual(hostImage == peerImage, "the scan UI's image and the device library's");
    hostImage = {};

    int delivers = 0;
    const bench::Timing ours = bench::bestTiming(kRuns, [&] {
      delivered = {};
      dlg.scanCommand();  // returns once the host's callback has run
      return delivered != Clock::time_point{} && ++delivers > 0;
    });
    // Fresh memory each run, not cleared, as the scan UI takes for every image.
    const bench::Timing peer = bench::bestTiming(kRuns, [&] {
      const std::unique_ptr<std::uint8_t[]> image(new std::uint8_t[bytes]);
      return peerScan(image.get());
    });
    const double limit = bench::warmMemcpyMs(bytes, kRuns);
    bench::printTable("Full film 365 x 432 mm, 50 um, 12 bits (7300 x 8640, 126 MB)",
                      {{"scan UI to the host's callback", ours.wallMs, peer.wallMs, limit,
                        "Brightel ReadBuffer, 32768-byte chunks into one buffer"}});
    std::printf("ratio ours / peer: %.3f\n", ours.wallMs / peer.wallMs);
    std::printf("CPU ms of the best runs: ours %.0f, peer %.0f\n", ours.cpuMs, peer.cpuMs);
    if (!prompts.asked.empty()) {
      std::fprintf(stderr, "a box was shown: %s\n", prompts.asked.front().text.toStdString().c_str());
      code = 1;
    }
    HideUI(0);
    TermUI(0);
    lentPort = nullptr;
  }
  std::filesystem::remove_all(runtimeDir);
  return code;
}
