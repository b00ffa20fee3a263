#include "scanui/internal/cr_link.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include <unistd.h>

#include "crapp/site.h"
#include "dicom/dicom.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/qt/ui_thread.h"
#include "platform/text.h"

namespace scanui::internal {
namespace {

namespace fs = std::filesystem;

constexpr char kProgram[] = "Halcyone/Halcyone";
constexpr char kWorkingDir[] = "Halcyone";
constexpr std::size_t kNamesPerListing = 1000;
constexpr std::uint32_t kShortText = 300;
constexpr std::uint32_t kLongText = 3000;
constexpr auto kPollInterval = std::chrono::milliseconds(50);

void logLeft(const fs::path& file, const std::string& why) {
  std::fprintf(stderr, "Oskelu: CR import: %s: %s; the set is left in the export folder\n", file.c_str(),
               why.c_str());
}

class DataSetReader {
 public:
  DicomObject* get() const { return object_.get(); }

  // A US value; 0 when absent or not two bytes.
  std::uint32_t number(std::uint32_t group, std::uint32_t element) const {
    std::uint32_t length = 0;
    if (!GetDicomElementLength(object_.get(), group, element, 0, &length) || length != 2) return 0;
    std::uint8_t b[2] = {};
    if (!GetDicomElement(object_.get(), group, element, 0, b, sizeof b)) return 0;
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8;
  }

  // The text value cut to `limit` bytes (never inside a double-byte
  // character), without its padding; empty when absent.
  std::string text(std::uint32_t group, std::uint32_t element, std::uint32_t limit) const {
    std::uint32_t length = 0;
    if (!GetDicomElementLength(object_.get(), group, element, 0, &length) || length == 0) return {};
    std::string value(length, '\0');
    if (!GetDicomElement(object_.get(), group, element, 0, value.data(), length)) return {};
    value.resize(platform::text::cp932CutLength(value, limit));
    while (!value.empty() && (value.back() == ' ' || value.back() == '\0')) value.pop_back();
    return value;
  }

 private:
  dicom::OwnedObject object_ = dicom::OwnedObject::create();
};

// Micrometres from the first number of a spacing text, rounded; 0 when there
// is none or it is outside 1 to 65535.
std::uint32_t pitchFrom(const std::string& spacing) {
  const char* first = spacing.data();
  const char* last = first + spacing.size();
  while (first < last && *first == ' ') ++first;
  double mm = 0;
  const auto [end, ec] = std::from_chars(first, last, mm);
  if (ec != std::errc() || end == first || !std::isfinite(mm)) return 0;
  const double um = std::floor(mm * 1000.0 + 0.5);
  return um >= 1 && um <= 65535 ? std::uint32_t(um) : 0;
}

bool endsWithDcm(const std::string& name) {
  if (name.size() <= 4) return false;
  const std::string tail = name.substr(name.size() - 4);
  return tail[0] == '.' && (tail[1] | 0x20) == 'd' && (tail[2] | 0x20) == 'c' && (tail[3] | 0x20) == 'm';
}

// Up to kNamesPerListing ".dcm" names of the folder that are not directories
// and were not tried yet, in the order the folder gives them.
std::vector<std::string> listSets(const fs::path& folder, const std::set<std::string>& tried) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end && names.size() < kNamesPerListing;
       it.increment(ec)) {
    std::error_code kind;
    if (it->is_directory(kind)) continue;
    std::string name = it->path().filename().string();
    if (endsWithDcm(name) && tried.count(name) == 0) names.push_back(std::move(name));
  }
  return names;
}

bool present(const fs::path& file) {
  std::error_code ec;
  return fs::exists(file, ec);
}

}  // namespace

bool readCrImage(const fs::path& file, CrImage& out, std::string& why) {
  DataSetReader dicom;
  if (dicom.get() == nullptr) {
    why = "no memory for the data set";
    return false;
  }
  if (!ReadDicomFile(dicom.get(), file.c_str(), 0)) {
    why = "not a readable DICOM file";
    return false;
  }
  if (IsDicomBigEndian(dicom.get()) || IsDicomCompressed(dicom.get())) {
    why = "pixel data not uncompressed little endian";
    return false;
  }
  const std::uint32_t allocated = dicom.number(0x0028, 0x0100);
  const std::uint32_t stored = dicom.number(0x0028, 0x0101);
  const std::uint32_t rows = dicom.number(0x0028, 0x0010);
  const std::uint32_t columns = dicom.number(0x0028, 0x0011);
  if ((allocated != 8 && allocated != 16) || stored < 1 || stored > allocated) {
    why = "bits allocated " + std::to_string(allocated) + ", bits stored " + std::to_string(stored);
    return false;
  }
  const std::uint64_t bytesPerPixel = allocated / 8;
  const std::uint64_t needed = std::uint64_t(rows) * columns * bytesPerPixel;
  if (needed == 0 || needed > kMaxCrImageBytes) {
    why = "image of " + std::to_string(columns) + " x " + std::to_string(rows) + " pixels";
    return false;
  }
  std::uint32_t pitch = pitchFrom(dicom.text(0x0028, 0x0030, kShortText));
  if (pitch == 0) pitch = pitchFrom(dicom.text(0x0018, 0x1164, kShortText));
  if (pitch == 0) pitch = pitchFrom(dicom.text(0x0018, 0x2010, kShortText));
  if (pitch == 0) {
    why = "no pixel spacing of 1 to 65535 micrometres";
    return false;
  }
  std::uint32_t length = 0;
  if (!GetDicomElementLength(dicom.get(), 0x7FE0, 0x0010, 0, &length) || length < needed ||
      length > kMaxCrImageBytes + 1) {
    why = "pixel data of " + std::to_string(length) + " bytes for an image of " + std::to_string(needed);
    return false;
  }
  // One spare byte beyond the image, as the host has always been given.
  const std::size_t room = std::max<std::size_t>(std::size_t(needed) + 1, length);
  auto* pixels = static_cast<std::uint8_t*>(std::calloc(room, 1));
  if (pixels == nullptr) {
    why = "no memory for " + std::to_string(room) + " bytes";
    return false;
  }
  if (!GetDicomElement(dicom.get(), 0x7FE0, 0x0010, 0, pixels, std::uint32_t(room))) {
    std::free(pixels);
    why = "pixel data cannot be read";
    return false;
  }
  std::uint32_t bits = stored;
  if (bits > 12) {
    // Hosts take at most 12 bits: the top 12 of every sample.
    const unsigned shift = bits - 12;
    for (std::uint64_t i = 0; i < needed; i += 2) {
      const std::uint16_t v = std::uint16_t(pixels[i] | pixels[i + 1] << 8) >> shift;
      pixels[i] = std::uint8_t(v);
      pixels[i + 1] = std::uint8_t(v >> 8);
    }
    bits = 12;
  }
  ScanRecord r{};
  r.width = columns;
  r.height = rows;
  r.pixels = pixels;
  r.bits = std::uint8_t(bits);
  r.pitch = std::uint16_t(pitch);
  r.odRange = dicom.text(0x0028, 0x0004, kShortText) == "MONOCHROME1" ? 255 : 0;
  r.bytesPerPixel = std::uint8_t(bytesPerPixel);
  r.frameWidth = std::int32_t(std::uint64_t(pitch) * columns / 1000);
  r.frameHeight = std::int32_t(std::uint64_t(pitch) * rows / 1000);
  out.record = r;
  out.componentName = dicom.text(0x0010, 0x0010, kShortText);
  out.componentId = dicom.text(0x0010, 0x0020, kShortText);
  out.seriesDescription = dicom.text(0x0008, 0x103E, kLongText);
  return true;
}

CrLink::CrLink(LibraryLink& link) : link_(link), programDir_(platform::paths::programDir()) {}

CrLink::~CrLink() { stop(); }

// The CR program's own settings say where it exports, with its own checks.
crapp::SiteFolders CrLink::crFolders() const {
  return crapp::siteFolders(platform::paths::resolve(kWorkingDir, programDir_));
}

fs::path CrLink::exportFolder() const { return crFolders().exportFolder; }

bool CrLink::probe() const {
  platform::Process p;
  if (!p.start(platform::paths::resolve(kProgram, programDir_), {"-connect"},
               platform::paths::resolve(kWorkingDir, programDir_)))
    return false;
  const platform::ProcessExit e = p.wait();
  return e.kind == platform::ProcessExit::Kind::Exited && e.code == 1;
}

void CrLink::start() {
  if (delivering_) return;  // a host's callback showing again: the running link goes on
  stop();
  join();
  {
    std::lock_guard lock(mutex_);
    stop_ = false;
    finished_ = false;
    held_ = nullptr;
  }
  worker_ = std::thread([this] { run(); });
}

void CrLink::stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  // Inside the host's callback the worker waits for this very call to return:
  // it ends by itself and is joined later.
  if (!delivering_) join();
}

void CrLink::join() {
  if (!worker_.joinable()) return;
  QCoreApplication* app = QCoreApplication::instance();
  const bool uiThread = app != nullptr && QThread::currentThread() == app->thread();
  // The worker may be waiting for a call onto this thread: serve it meanwhile.
  std::unique_lock lock(mutex_);
  while (!finished_) {
    if (uiThread) {
      lock.unlock();
      QCoreApplication::processEvents();
      lock.lock();
    }
    changed_.wait_for(lock, std::chrono::milliseconds(5));
  }
  lock.unlock();
  worker_.join();
}

void CrLink::released(const void* pixels) {
  {
    std::lock_guard lock(mutex_);
    if (pixels == nullptr || pixels != held_) return;
    held_ = nullptr;
  }
  changed_.notify_all();
}

bool CrLink::stopping() {
  std::lock_guard lock(mutex_);
  return stop_;
}

void CrLink::run() {
  // Read as the program reads them, when it starts.
  const crapp::SiteFolders cr = crFolders();
  const fs::path& folder = cr.exportFolder;
  bool ended = false;
  platform::Process program;
  // A program that cannot start exports nothing: the run only ends.
  bool imports = program.start(platform::paths::resolve(kProgram, programDir_), {},
                               platform::paths::resolve(kWorkingDir, programDir_));
  if (imports) {
    // The operator scans and saves plates there; its exit code says nothing to us.
    std::unique_lock lock(mutex_);
    while (!stop_ && !program.poll()) changed_.wait_for(lock, kPollInterval);
    ended = stop_;
  }
  // The program refuses such folders itself and says why; nothing of it is ours to take.
  if (imports && cr.problem) {
    std::fprintf(stderr, "Oskelu: CR import: the CR program's folders cannot be used (%s); nothing is imported\n",
                 cr.problem.folder.c_str());
    imports = false;
  }
  // Names tried once in this run are not listed again, so that every set is
  // reached however many the folder holds, and each listing ends.
  std::set<std::string> tried;
  while (imports && !ended) {
    const std::vector<std::string> names = listSets(folder, tried);
    if (names.empty()) break;
    for (const std::string& name : names) {
      tried.insert(name);
      if (stopping()) {
        ended = true;
        break;
      }
      const fs::path dcm = folder / name;
      fs::path info = dcm, ready = dcm;
      info += ".info";
      ready += ".ready";
      if (!present(ready)) continue;  // not complete yet: a later run takes it
      CrImage image;
      std::string why;
      if (!readCrImage(dcm, image, why)) {
        logLeft(dcm, why);
        continue;
      }
      const Handing handing = deliver(image);
      if (handing == Handing::NoHost) {
        logLeft(dcm, "no host takes images");
        continue;
      }
      if (handing == Handing::Ended || !waitForRelease()) {
        ended = true;
        break;
      }
      for (const fs::path& file : {dcm, info, ready})
        if (::unlink(file.c_str()) != 0 && errno != ENOENT)
          std::fprintf(stderr, "Oskelu: CR import: %s cannot be removed: %s\n", file.c_str(),
                       std::strerror(errno));
    }
  }
  if (!ended) postExit();
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
  }
  changed_.notify_all();
}

CrLink::Handing CrLink::deliver(CrImage& image) {
  Handing result = Handing::Ended;
  platform::qt::callOnUiThread([&] {
    if (stopping() || !link_.dialogOpen()) return;
    // With nobody to take it the image would never be released, nor the set kept.
    if (!link_.hostTakesImages()) {
      result = Handing::NoHost;
      return;
    }
    link_.importedStudy(image.componentName, image.componentId, image.seriesDescription);
    record_ = image.record;
    {
      std::lock_guard lock(mutex_);
      held_ = record_.pixels;
    }
    result = Handing::Handed;
    delivering_ = true;
    link_.imageReady(&record_);
    delivering_ = false;
  });
  if (result != Handing::Handed) std::free(image.record.pixels);
  return result;
}

bool CrLink::waitForRelease() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return stop_ || held_ == nullptr; });
  // Stopped with the image still held: it stays the host's to release.
  return held_ == nullptr;
}

void CrLink::postExit() {
  platform::qt::callOnUiThread([this] {
    if (!stopping()) link_.postExit();
  });
}

}  // namespace scanui::internal
