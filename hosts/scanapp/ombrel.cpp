#include "hosts/scanapp/ombrel.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <optional>
#include <system_error>
#include <vector>

#include "platform/library.h"
#include "platform/paths.h"
#include "platform/qt/prompt.h"
#include "platform/qt/ui_thread.h"
#include "platform/qt/wait_cursor.h"
#include "viewer/formats/tiff.h"

namespace ombrel {
namespace {

// The program's translation context, where lupdate finds it too.
class Ombrel {
  Q_DECLARE_TR_FUNCTIONS(Ombrel)
};

struct Exports {
  scanui::SetDSProcAddressFn SetDSProcAddress = nullptr;
  scanui::InitUIFn InitUI = nullptr;
  scanui::ShowUIFn ShowUI = nullptr;
  scanui::HideUIFn HideUI = nullptr;
  scanui::TermUIFn TermUI = nullptr;
  scanui::GetScanDataFn GetScanData = nullptr;
  scanui::ReleaseScanDataFn ReleaseScanData = nullptr;
  scanui::EnableDICOMFieldFn EnableDICOMField = nullptr;
  scanui::GetAutofeederCountFn GetAutofeederCount = nullptr;
  scanui::ResetAutofeederCountFn ResetAutofeederCount = nullptr;
};

// One run: the callbacks are plain functions, so what they need lives here.
struct Run {
  Exports api;
  OutputPattern pattern;
  DicomSettings settings;
  std::optional<RunUids> uids;
  scanui::StudyData study{};
  std::vector<scanui::ScanData> images;  // saved images, their pixel pointers cleared
  long saved = 0;
  bool running = false;
  QEventLoop* loop = nullptr;
  std::mutex lock;  // CR-link images arrive on the scan UI's worker thread
};

Run* current = nullptr;

bool onUiThread() { return qApp != nullptr && QThread::currentThread() == qApp->thread(); }

void showWriteFailed(const std::string& path) {
  const auto ask = [&path] {
    platform::qt::prompt().message(nullptr, writeFailedText(path), writeFailedCaption(),
                                   platform::qt::Icon::Warning, platform::qt::Buttons::Ok);
  };
  // A box belongs to the UI thread; a worker waits for it there.
  if (!platform::qt::callOnUiThread(ask)) ask();
}

bool writeParts(const std::filesystem::path& file, std::initializer_list<std::pair<const void*, std::size_t>> parts) {
  std::FILE* f = std::fopen(file.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = true;
  for (const auto& [data, size] : parts) ok = ok && std::fwrite(data, 1, size, f) == size;
  ok = std::fflush(f) == 0 && ok;
  ok = std::fclose(f) == 0 && ok;
  if (!ok) {
    std::error_code ec;
    std::filesystem::remove(file, ec);
  }
  return ok;
}

int onTransferReady() {
  Run* r = current;
  if (r == nullptr) return 1;
  std::optional<platform::qt::WaitCursor> wait;
  if (onUiThread()) wait.emplace();
  scanui::ScanData data{};
  r->api.GetScanData(&data);
  std::string failed;
  {
    std::lock_guard<std::mutex> hold(r->lock);
    const long number = r->pattern.start + r->saved;
    const std::string file = r->pattern.fileName(number);
    if (saveImage(r->pattern.format, file, data, r->study, r->settings, *r->uids, number)) {
      if (r->images.size() < kImageListSize) {
        r->images.push_back(data);
        r->images.back().pixels = nullptr;
      }
      ++r->saved;
    } else {
      failed = file;
    }
  }
  // The box runs an event loop, which may deliver the next image: no lock held.
  if (!failed.empty()) showWriteFailed(failed);
  r->api.ReleaseScanData(&data);
  return 1;
}

int onCloseRequest() {
  Run* r = current;
  if (r == nullptr) return 1;
  r->api.HideUI(0);
  r->api.TermUI(0);
  r->running = false;
  if (r->pattern.format == Format::Dicom) {
    std::vector<scanui::ScanData> images;
    {
      std::lock_guard<std::mutex> hold(r->lock);
      images = r->images;
    }
    for (std::size_t i = images.size(); i-- > 0;) {
      const long number = r->pattern.start + long(i);
      const std::string file = r->pattern.fileName(number);
      const auto header = buildDicomHeader(r->study, images[i], r->settings, *r->uids, number);
      if (!header || !rewriteDicomHeader(file, *header)) showWriteFailed(file);
    }
  }
  if (r->loop != nullptr) r->loop->quit();
  return 1;
}

template <typename F>
bool bind(platform::Library& library, F& f, const char* name) {
  f = library.function<F>(name);
  return f != nullptr;
}

bool bindAll(platform::Library& l, Exports& api) {
  bool ok = bind(l, api.SetDSProcAddress, "SetDSProcAddress");
  ok = bind(l, api.InitUI, "InitUI") && ok;
  ok = bind(l, api.ShowUI, "ShowUI") && ok;
  ok = bind(l, api.HideUI, "HideUI") && ok;
  ok = bind(l, api.TermUI, "TermUI") && ok;
  ok = bind(l, api.GetScanData, "GetScanData") && ok;
  ok = bind(l, api.ReleaseScanData, "ReleaseScanData") && ok;
  ok = bind(l, api.EnableDICOMField, "EnableDICOMField") && ok;
  ok = bind(l, api.GetAutofeederCount, "GetAutofeederCount") && ok;
  ok = bind(l, api.ResetAutofeederCount, "ResetAutofeederCount") && ok;
  return ok;
}

}  // namespace

QString writeFailedText(const std::string& path) {
  return Ombrel::tr("Failed to write the file(%s).").replace("%s", QString::fromLocal8Bit(path.c_str())) + "\n";
}

QString writeFailedCaption() { return Ombrel::tr("Failed to write."); }

bool saveImage(Format format, const std::filesystem::path& file, const scanui::ScanData& scan,
               const scanui::StudyData& study, const DicomSettings& settings, const RunUids& uids,
               long number) {
  const std::uint64_t bytes = pixelBytes(scan);
  if (bytes == 0 || scan.pixels == nullptr) return false;
  const std::size_t size = std::size_t(bytes);
  switch (format) {
    case Format::Tiff: {
      std::uint8_t header[viewer::formats::kTiffPixelOffset];
      const bool monochrome1 = scan.odRange == kCrMonochrome1;
      viewer::formats::buildTiffHeader(header, int(scan.width), int(scan.height), scan.bytesPerPixel, scan.pitch,
                                       monochrome1 ? 0 : scan.odRange, scan.bits, monochrome1);
      return writeParts(file, {{header, sizeof header}, {scan.pixels, size}});
    }
    case Format::Dicom: {
      const auto header = buildDicomHeader(study, scan, settings, uids, number);
      if (!header) return false;
      const std::vector<std::uint8_t> head = pixelDataHead(scan);
      const std::uint8_t pad = 0;
      return writeParts(file, {{header->data(), header->size()},
                               {head.data(), head.size()},
                               {scan.pixels, size},
                               {&pad, size % 2}});
    }
    case Format::Raw:
      break;
  }
  return writeParts(file, {{scan.pixels, size}});
}

int run(const std::string& outputPath, const std::string& libraryName) {
  if (!outputFolderExists(outputPath)) return 0;
  Run r;
  r.pattern = makePattern(outputPath);
  platform::Library library;
  if (!library.open(libraryName, &current) || !bindAll(library, r.api)) return 0;
  current = &r;
  r.api.SetDSProcAddress(onTransferReady, onCloseRequest);
  if (r.api.InitUI(0) == 0) {
    current = nullptr;
    return 0;
  }
  if (r.pattern.format == Format::Dicom) {
    r.settings = readDicomSettings(platform::paths::configDir() / "Ombrel.ini");
    r.api.EnableDICOMField(&r.study, 1, 1);
  }
  r.uids.emplace(r.settings.uidRoot, std::int64_t(std::time(nullptr)));
  r.running = true;
  if (r.api.ShowUI(nullptr, "7163 Scan Program") == nullptr) {
    // No dialog, so no close request would ever end the loop.
    r.api.TermUI(0);
    r.running = false;
  }
  if (r.running) {
    QEventLoop loop;
    r.loop = &loop;
    loop.exec();
    r.loop = nullptr;
    // Ended by the quit message: the dialog must go before its library does.
    if (r.running) {
      r.api.HideUI(0);
      r.api.TermUI(0);
      r.running = false;
    }
  }
  current = nullptr;
  library.close();
  return 0;
}

}  // namespace ombrel
