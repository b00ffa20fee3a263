#include "viewer/app/scan_bridge.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>
#include <QWidget>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>
#include <sys/eventfd.h>
#include <unistd.h>

#include "platform/qt/prompt.h"
#include "platform/qt/wait_cursor.h"
#include "viewer/app/pipeline.h"
#include "viewer/formats/format_support.h"
#include "viewer/app/settings.h"
#include "viewer/app/texts.h"

namespace viewer::app {

namespace fs = std::filesystem;
using platform::qt::Buttons;
using platform::qt::Icon;
using platform::qt::prompt;

namespace {

constexpr std::size_t kMaxFolderPath = 270;

// Swallows input meant for the program's own windows (the main window, its
// palettes, any other window open before the run) while the scan dialog runs,
// without disabling them: a disabled window would also disable a dialog the
// library parents to it. Windows made during the run, the scan dialog's and
// the program's messages, take input.
class InputBlocker : public QObject {
 public:
  explicit InputBlocker(std::vector<QPointer<QWidget>> windows) : windows_(std::move(windows)) {
    if (qApp) qApp->installEventFilter(this);
  }
  ~InputBlocker() override {
    if (qApp) qApp->removeEventFilter(this);
  }
  // The windows there are now.
  static std::vector<QPointer<QWidget>> currentWindows() {
    std::vector<QPointer<QWidget>> out;
    for (QWidget* w : QApplication::topLevelWidgets()) out.emplace_back(w);
    return out;
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::Shortcut:
      case QEvent::ShortcutOverride:
      case QEvent::Close:
      case QEvent::Drop:
      case QEvent::DragEnter:
      case QEvent::DragMove:
        break;
      default:
        return false;
    }
    auto* w = qobject_cast<QWidget*>(watched);
    if (w == nullptr) return false;
    const QWidget* window = w->window();
    return std::any_of(windows_.begin(), windows_.end(), [window](const QPointer<QWidget>& p) { return p == window; });
  }

 private:
  std::vector<QPointer<QWidget>> windows_;
};

// A text field of the scan UI's record as a string: up to its NUL, never past its end.
template <std::size_t N>
std::string_view fieldOf(const char (&field)[N]) {
  const void* nul = std::memchr(field, 0, N);
  return {field, nul ? std::size_t(static_cast<const char*>(nul) - field) : N};
}

template <std::size_t N>
void copyField(char (&to)[N], std::string_view from) {
  std::memset(to, 0, N);
  if (!from.empty()) std::memcpy(to, from.data(), std::min(from.size(), N - 1));
}

// A date field of the study record: year, month and day each padded with
// leading zeros to 4, 2 and 2 digits; empty when all three are.
void writeDate(char (&to)[9], std::string_view y, std::string_view m, std::string_view d) {
  if (y.empty() && m.empty() && d.empty()) {
    copyField(to, {});
    return;
  }
  auto pad = [](std::string_view s, std::size_t width) {
    std::string out(s.substr(0, width));
    if (out.size() < width) out.insert(0, width - out.size(), '0');
    return out;
  };
  copyField(to, pad(y, 4) + pad(m, 2) + pad(d, 2));
}

void splitDate(std::string_view date, char (&y)[9], char (&m)[9], char (&d)[9]) {
  const std::string full = std::string(date) + "00000000";
  CStudyInfo::set(y, std::string_view(full).substr(0, 4));
  CStudyInfo::set(m, std::string_view(full).substr(4, 2));
  CStudyInfo::set(d, std::string_view(full).substr(6, 2));
}

}  // namespace

ScanBridge& ScanBridge::instance() {
  static ScanBridge* bridge = new ScanBridge();  // lives as long as the process
  return *bridge;
}

ScanBridge::ScanBridge() = default;

void ScanBridge::attach(QWidget* mainWindow, Settings* settings, const fs::path& workRoot) {
  main_ = mainWindow;
  settings_ = settings;
  if (workRoot != workRoot_) {
    // Names are counted per work root.
    workFolder_.clear();
    folderCounter_ = 0;
  }
  workRoot_ = workRoot;
}

void ScanBridge::setFreeSpaceProbe(std::function<double(const fs::path&)> probe) { freeSpace_ = std::move(probe); }

std::intptr_t ScanBridge::mainHandle() const { return reinterpret_cast<std::intptr_t>(main_.data()); }

bool ScanBridge::loadLibrary() {
  if (settings_ == nullptr) return false;
  return library_.open(settings_->scanUiModuleName, reinterpret_cast<const void*>(&ScanBridge::instance));
}

bool ScanBridge::bind() {
  Exports f;
  f.setDSProcAddress = library_.function<scanui::SetDSProcAddressFn>("SetDSProcAddress");
  f.initUI = library_.function<scanui::InitUIFn>("InitUI");
  f.showUI = library_.function<scanui::ShowUIFn>("ShowUI");
  f.hideUI = library_.function<scanui::HideUIFn>("HideUI");
  f.termUI = library_.function<scanui::TermUIFn>("TermUI");
  f.getScanData = library_.function<scanui::GetScanDataFn>("GetScanData");
  f.releaseScanData = library_.function<scanui::ReleaseScanDataFn>("ReleaseScanData");
  f.enableDICOMField = library_.function<scanui::EnableDICOMFieldFn>("EnableDICOMField");
  f.getAutofeederCount = library_.function<scanui::GetAutofeederCountFn>("GetAutofeederCount");
  f.resetAutofeederCount = library_.function<scanui::ResetAutofeederCountFn>("ResetAutofeederCount");
  f.isThereAnyDigitizerAvailable =
      library_.function<scanui::IsThereAnyDigitizerAvailableFn>("IsThereAnyDigitizerAvailable");
  if (!f.setDSProcAddress || !f.initUI || !f.showUI || !f.hideUI || !f.termUI || !f.getScanData ||
      !f.releaseScanData || !f.enableDICOMField || !f.getAutofeederCount || !f.resetAutofeederCount ||
      !f.isThereAnyDigitizerAvailable)
    return false;
  fn_ = f;
  fn_.setDSProcAddress(&ScanBridge::transferReady, &ScanBridge::closeRequest);
  return true;
}

void ScanBridge::unload() {
  fn_ = Exports();
  library_.close();
}

int ScanBridge::probe() {
  if (!loadLibrary()) return 0;
  int result = 0;
  if (bind()) result = fn_.isThereAnyDigitizerAvailable(mainHandle());
  unload();
  return result;
}

bool ScanBridge::makeWorkFolder() {
  std::error_code ec;
  double freeBytes = 0;
  if (freeSpace_) {
    freeBytes = freeSpace_(workRoot_);
  } else {
    const fs::space_info s = fs::space(workRoot_, ec);
    freeBytes = ec ? 0.0 : double(s.available);
  }
  if (freeBytes < kMinFreeBytes) {
    prompt().message(main_, Tivola::tr("Not enough disk space"), appCaption(), Icon::Warning, Buttons::Ok);
    return false;
  }
  auto failed = [this] {
    prompt().message(main_, Tivola::tr("Failed to make work folder"), appCaption(), Icon::Warning, Buttons::Ok);
    return false;
  };
  if (workFolder_.empty()) {
    fs::path chosen;
    while (folderCounter_ < kMaxWorkFolders) {
      char name[16];
      std::snprintf(name, sizeof name, "TEMP%04d", folderCounter_);
      ++folderCounter_;
      const fs::path candidate = fs::absolute(workRoot_ / name, ec);
      if (ec) return failed();
      if (!fs::is_directory(candidate, ec)) {
        chosen = candidate;
        break;
      }
    }
    if (chosen.empty() || chosen.string().size() > kMaxFolderPath) return failed();
    workFolder_ = chosen;
  }
  fs::create_directory(workFolder_, ec);
  if (!fs::is_directory(workFolder_, ec)) {
    workFolder_.clear();
    return failed();
  }
  return true;
}

void ScanBridge::removeWorkFolderIfEmpty() {
  if (workFolder_.empty()) return;
  std::error_code ec;
  if (fs::is_directory(workFolder_, ec) && fs::is_empty(workFolder_, ec)) fs::remove(workFolder_, ec);
}

void ScanBridge::prepareStudy(const CImageItem* item, scanui::StudyData& study) {
  std::memset(&study, 0, sizeof study);
  if (item == nullptr || !item->study) return;
  const CStudyInfo& s = *item->study;
  copyField(study.componentName, fieldOf(s.componentName));
  copyField(study.componentId, fieldOf(s.componentIdNumber));
  copyField(study.sex, fieldOf(s.sex));
  copyField(study.studyId, fieldOf(s.studyId));
  copyField(study.studyDescription, fieldOf(s.studyDescription));
  writeDate(study.studyDate, fieldOf(s.studyYear), fieldOf(s.studyMonth), fieldOf(s.studyDay));
  writeDate(study.manufacturingDate, fieldOf(s.manufacturingYear), fieldOf(s.manufacturingMonth),
            fieldOf(s.manufacturingDay));
}

void ScanBridge::applyStudy(const scanui::StudyData& study, CImageItem& item) {
  if (!item.study) item.study = std::make_unique<CStudyInfo>();
  CStudyInfo& s = *item.study;
  CStudyInfo::set(s.componentName, fieldOf(study.componentName));
  CStudyInfo::set(s.componentIdNumber, fieldOf(study.componentId));
  CStudyInfo::set(s.sex, fieldOf(study.sex));
  CStudyInfo::set(s.studyId, fieldOf(study.studyId));
  CStudyInfo::set(s.studyDescription, fieldOf(study.studyDescription));
  splitDate(fieldOf(study.studyDate), s.studyYear, s.studyMonth, s.studyDay);
  splitDate(fieldOf(study.manufacturingDate), s.manufacturingYear, s.manufacturingMonth, s.manufacturingDay);
}

int ScanBridge::scanRun(const CImageItem* prefill, CImageTable& table) {
  if (running_) return 0;  // the scan dialog is already up
  prepareStudy(prefill, study_);
  table_ = &table;
  const int first = table.count();  // an Add Scan's table already holds the document's images
  const auto loadError = [this] {
    prompt().message(main_, Tivola::tr("Failed to load the necessary DLL."), Tivola::tr("Load Error"), Icon::Warning,
                     Buttons::Ok);
  };
  if (!loadLibrary()) {
    loadError();
    table_ = nullptr;
    return 0;
  }
  auto finish = [this, &table] {
    closeWorkerCalls();
    unload();
    table_ = nullptr;
    return table.count();
  };
  // A library that lacks an export is as unusable as one that cannot be
  // loaded; New Scan doing nothing at all would leave the operator guessing.
  if (!bind()) {
    const int count = finish();
    loadError();
    return count;
  }
  // Taken before the library makes any window of its own.
  std::vector<QPointer<QWidget>> ownWindows = InputBlocker::currentWindows();
  // Open before ShowUI: a worker of the library may deliver at once.
  openWorkerCalls();
  running_ = true;
  if (!fn_.initUI(mainHandle())) {
    running_ = false;
    return finish();
  }
  fn_.enableDICOMField(&study_, 1, settings_->showDicom);
  void* window = fn_.showUI(main_.data(), "Tivola");
  if (window == nullptr) {
    running_ = false;
    return finish();
  }
  {
    const InputBlocker blocker(std::move(ownWindows));
    QEventLoop loop;
    loop_ = &loop;
    if (running_) loop.exec();
    loop_ = nullptr;
  }
  // A quit that ended the loop leaves the dialog up: take it down before
  // the library that owns it goes.
  if (running_) closeRequestOnUiThread();
  for (int i = first; i < table.count(); ++i)
    if (CImageItem* item = table.get(i)) applyStudy(study_, *item);
  if (main_) {
    main_->raise();
    main_->activateWindow();
  }
  return finish();
}

int ScanBridge::transferReady() {
  ScanBridge& b = instance();
  if (QThread::currentThread() == b.thread()) b.transferReadyOnUiThread();
  else b.callFromWorker(Call::TransferReady);
  return 1;
}

// The hand-off keeps everything the two threads share under one mutex; the
// event counter only wakes the UI thread's loop, so no Qt object crosses
// threads.
void ScanBridge::openWorkerCalls() {
  closeWorkerCalls();
  wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wakeFd_ >= 0) {
    wakeNotifier_ = std::make_unique<QSocketNotifier>(wakeFd_, QSocketNotifier::Read);
    connect(wakeNotifier_.get(), &QSocketNotifier::activated, this, [this] { serveWorkerCall(); });
  }
  const std::lock_guard<std::mutex> lock(callMutex_);
  acceptingCalls_ = wakeFd_ >= 0;
}

void ScanBridge::refuseWorkerCalls() {
  {
    // A caller still waiting is answered without the work.
    const std::lock_guard<std::mutex> lock(callMutex_);
    acceptingCalls_ = false;
    pendingCall_ = Call::None;
  }
  callAnswered_.notify_all();
}

void ScanBridge::closeWorkerCalls() {
  refuseWorkerCalls();
  wakeNotifier_.reset();
  if (wakeFd_ >= 0) ::close(wakeFd_);
  wakeFd_ = -1;
}

void ScanBridge::callFromWorker(Call call) {
  std::unique_lock<std::mutex> lock(callMutex_);
  // One call at a time; a second caller waits its turn.
  callAnswered_.wait(lock, [this] { return !acceptingCalls_ || pendingCall_ == Call::None; });
  if (!acceptingCalls_) return;
  pendingCall_ = call;
  const std::uint64_t one = 1;
  if (::write(wakeFd_, &one, sizeof one) != ssize_t(sizeof one)) {
    pendingCall_ = Call::None;
    return;
  }
  callAnswered_.wait(lock, [this] { return !acceptingCalls_ || pendingCall_ == Call::None; });
}

void ScanBridge::serveWorkerCall() {
  std::uint64_t count = 0;
  if (::read(wakeFd_, &count, sizeof count) < 0) {
    // Nothing to read: a wake already served.
  }
  Call call = Call::None;
  {
    const std::lock_guard<std::mutex> lock(callMutex_);
    call = pendingCall_;
  }
  if (call == Call::None) return;
  if (call == Call::CloseRequest) {
    // Answered first: the library may wait for its own thread while it ends.
    refuseWorkerCalls();
    closeRequestOnUiThread();
    return;
  }
  // The caller waits until the answer below, so the call runs without the lock.
  transferReadyOnUiThread();
  {
    const std::lock_guard<std::mutex> lock(callMutex_);
    pendingCall_ = Call::None;
  }
  callAnswered_.notify_all();
}

void ScanBridge::transferReadyOnUiThread() {
  if (!fn_.getScanData || !fn_.releaseScanData) return;
  const platform::qt::WaitCursor wait;
  std::memset(&scan_, 0, sizeof scan_);
  scanui::ScanData* got = fn_.getScanData(&scan_);
  if (got != nullptr) addScannedImage(scan_);
  fn_.releaseScanData(&scan_);
}

void ScanBridge::addScannedImage(const scanui::ScanData& scan) {
  if (table_ == nullptr) return;
  // The record comes from outside: a depth, size or buffer we cannot take is dropped.
  if (scan.pixels == nullptr || (scan.bytesPerPixel != 1 && scan.bytesPerPixel != 2) || scan.bits == 0 ||
      scan.bits > 12 || scan.width == 0 || scan.height == 0 || scan.width > 65535 || scan.height > 65535)
    return;
  std::uint64_t bytes = 0;
  if (__builtin_mul_overflow(std::uint64_t(scan.width), std::uint64_t(scan.height), &bytes) ||
      __builtin_mul_overflow(bytes, std::uint64_t(scan.bytesPerPixel), &bytes))
    return;
  auto item = std::make_unique<CImageItem>();
  if (!item->allocate(scan.bytesPerPixel, int(scan.width), int(scan.height))) {
    prompt().message(main_, Tivola::tr("Not enough memory!"), appCaption(), Icon::Warning, Buttons::Ok);
    return;
  }
  std::memcpy(item->data(), scan.pixels, std::size_t(bytes));
  if (scan.bytesPerPixel == 2) {
    // The display tables hold 4096 entries: a sample past 12 bits is clamped.
    std::uint16_t* p = item->data16();
    for (std::size_t i = 0, n = item->sampleCount(); i < n; ++i) p[i] = std::min<std::uint16_t>(p[i], 4095);
  }
  applyStudy(study_, *item);
  item->bitsStored = scan.bits;
  item->pitch = scan.pitch;
  item->odRange = scan.odRange < 128 ? scan.odRange : 0;
  item->inverted = scan.odRange == 255 ? 1 : 0;
  item->sopInstanceUid.clear();
  item->studyInstanceUid.clear();
  item->seriesInstanceUid.clear();
  item->completeLoad();
  CImageItem* added = item.get();
  if (!table_->add(std::move(item))) return;  // full: the table destroyed it
  char name[32];
  std::snprintf(name, sizeof name, "%08d.tmp", tempCounter_);
  ++tempCounter_;
  const fs::path path = workFolder_ / name;
  if (settings_ != nullptr && settings_->makeTemp == 1 && !workFolder_.empty()) {
    // The operator never chose this file: the message is about the scan.
    formats::WriteFailureCapture failure;
    if (saveItem(*added, path.string(), true, 0, 0, 0)) added->tempPath = path.string();
    else if (failure.failed()) reportCopyNotKept(failure.error());
  }
}

void ScanBridge::reportCopyNotKept(int error) {
  QString why;
  if (error == ENOSPC || error == EDQUOT || error == EFBIG) why = Tivola::tr("there is no room left on the disk");
  else if (error != 0) why = QString::fromLocal8Bit(std::strerror(error));
  else why = Tivola::tr("the file could not be written");
  prompt().message(main_, Tivola::tr("A copy of this scan could not be kept: %1. The scan stays open.").arg(why),
                   appCaption(), Icon::Warning, Buttons::Ok);
}

int ScanBridge::closeRequest() {
  ScanBridge& b = instance();
  if (QThread::currentThread() == b.thread()) b.closeRequestOnUiThread();
  else b.callFromWorker(Call::CloseRequest);
  return 1;
}

void ScanBridge::closeRequestOnUiThread() {
  // Scans offered after the close are not taken; a waiting worker is let go
  // before the library ends its threads.
  refuseWorkerCalls();
  if (fn_.hideUI) fn_.hideUI(mainHandle());
  if (fn_.termUI) fn_.termUI(mainHandle());
  running_ = false;
  if (loop_) loop_->quit();
}

}  // namespace viewer::app
