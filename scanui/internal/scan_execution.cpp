// The scan execution of the scan dialog: device set-up, the worker-paced
// reads, the moire mode, film handling and the hand-over to the host.
#include "scanui/internal/scan_execution.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSocketNotifier>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <sys/eventfd.h>
#include <unistd.h>

#include "moire/moire.h"
#include "platform/qt/control.h"
#include "platform/qt/numbers.h"
#include "platform/qt/prompt.h"
#include "platform/qt/wait_cursor.h"
#include "scanui/internal/control_ids.h"
#include "scanui/internal/connection.h"
#include "scanui/internal/mini_screen.h"
#include "scanui/internal/scan_dialog.h"
#include "scanui/internal/scan_message.h"
#include "scanui/internal/strings.h"

namespace scanui::internal {

namespace {

using platform::qt::control;
using platform::qt::setControlId;

constexpr std::uint32_t kStagingBytes = 32768;
constexpr int kLutEntries = 4096;
constexpr int kType2WaitMs = 2500;
constexpr int kProgressTextId = 1000;  // in dialog 147
// The longest the UI thread reads on before its event loop runs again.
constexpr auto kReadSlice = std::chrono::milliseconds(10);

// The lines left when the progress of a scan of total lines reaches the tenth.
std::uint32_t linesLeftAtTenth(std::uint32_t total, int tenth) {
  const std::uint64_t read = (std::uint64_t(total) * std::uint64_t(std::max(tenth, 0)) + 9) / 10;
  return read >= total ? 0 : total - std::uint32_t(read);
}

// Clears the scanning mark and drops the live image on every way out of a
// scan that did not finish it.
class ScanningGuard {
 public:
  ScanningGuard(ScanSettings& settings, PreviewModel& preview) : settings_(settings), preview_(preview) {
    settings_.scanning = 1;
  }
  ~ScanningGuard() {
    settings_.scanning = 0;
    if (!finished_ && preview_.livePresent()) preview_.abortLive();
  }
  void finished() { finished_ = true; }

 private:
  ScanSettings& settings_;
  PreviewModel& preview_;
  bool finished_ = false;
};

QString megabytesText(std::uint64_t bytes) {
  const double mb = double(bytes) / 1048576.0;
  char text[32];
  if (mb < 10)
    std::snprintf(text, sizeof text, "(%4.2fMB)", mb);
  else if (mb < 100)
    std::snprintf(text, sizeof text, "(%4.1fMB)", mb);
  else
    std::snprintf(text, sizeof text, "(%3.0fMB)", mb);
  return QString::fromLatin1(text);
}

}  // namespace

CScanProgressDlg::CScanProgressDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("147");
  setWindowTitle(Oskelu::tr("Preparing to scan"));
  auto* icon = new QLabel(this);
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
  text_ = new QLabel(Oskelu::tr("Digitizer is preparing to scan..."), this);
  setControlId(text_, kProgressTextId);
  auto* cancel = new QPushButton(Oskelu::tr("Cancel"), this);
  setControlId(cancel, 2);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* row = new QHBoxLayout;
  row->addWidget(icon);
  row->addWidget(text_, 1);
  auto* column = new QVBoxLayout(this);
  column->addLayout(row);
  column->addWidget(cancel, 0, Qt::AlignHCenter);
  setModal(true);
}

void CScanProgressDlg::setText(const QString& text) { text_->setText(text); }

ScanController::ScanController(CScanProgressDlg* progress) : progress_(progress) {
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_ >= 0) {
    notifier_ = new QSocketNotifier(wake_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { serve(); });
  }
}

ScanController::~ScanController() {
  delete notifier_;
  if (wake_ >= 0) ::close(wake_);
}

void ScanController::enqueue(const std::shared_ptr<Item>& item) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(item);
  }
  const std::uint64_t one = 1;
  if (wake_ < 0 || ::write(wake_, &one, sizeof one) != sizeof one) {
    // Without a wake-up the call cannot reach the UI thread: answer it here as refused.
    std::lock_guard lock(mutex_);
    std::erase(queue_, item);
    item->done = true;
  }
}

int ScanController::send(std::function<int()> call) {
  auto item = std::make_shared<Item>();
  item->call = std::move(call);
  item->wait = true;
  enqueue(item);
  std::unique_lock lock(mutex_);
  answered_.wait(lock, [&] { return item->done; });
  return item->answer;
}

void ScanController::post(std::function<int()> call) {
  auto item = std::make_shared<Item>();
  item->call = std::move(call);
  enqueue(item);
}

void ScanController::serve() {
  std::uint64_t count = 0;
  while (::read(wake_, &count, sizeof count) == sizeof count) {
  }
  // Only what is queued now: the worker queues its next call as soon as one is
  // answered, and the event loop must get its turn in between.
  std::size_t pending = 0;
  {
    std::lock_guard lock(mutex_);
    pending = queue_.size();
  }
  for (; pending > 0; --pending) {
    std::shared_ptr<Item> item;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return;
      item = queue_.front();
      queue_.pop_front();
    }
    const int answer = item->call();
    std::lock_guard lock(mutex_);
    item->answer = answer;
    item->done = true;
    answered_.notify_all();
  }
}

void ScanController::postScanningText() {
  post([this] {
    if (progress_ && progress_->isVisible()) {
      progress_->setWindowTitle(Oskelu::tr("Scanning "));
      progress_->setText(Oskelu::tr("Scanning..."));
    }
    return 0;
  });
}

void ScanController::postCommand(int command) {
  post([this, command] {
    if (progress_ && progress_->isVisible()) progress_->done(command == 1 ? QDialog::Accepted : QDialog::Rejected);
    return 0;
  });
}

int CScanDlg::setUp(ScanRecord& r) {
  DigitizerConnection& connection = link_.digitizer();
  const BrightelTable& t = connection.table();
  const int h = connection.handle();
  if (r.pitch < 50 || r.pitch > 2000) {
    platform::qt::prompt().message(QApplication::activeWindow(), badPitchText(), Oskelu::tr("Scan"),
                                   platform::qt::Icon::Warning, platform::qt::Buttons::Ok);
    return 0;
  }
  if (!connection.connected()) return 0;
  devapi::ScanCondition c{};
  if (!t.GetCondition(h, &c)) {
    connection.errorBox(kErrStatus, true);
    return 0;
  }
  // A small frame first, so the device leaves whatever scan it was set for.
  c.width = 1;
  c.height = 1;
  c.pitch = 200;
  if (!t.SetCondition(h, &c)) {
    connection.errorBox(kErrSetUp, true);
    return 0;
  }
  c.unit = 1;
  c.endian = 0;
  c.x_start = std::uint32_t(std::max(0, r.left));
  c.y_start = std::uint32_t(std::max(0, r.top));
  c.width = std::uint32_t((std::uint64_t(r.pitch) * r.width + 999) / 1000);
  c.height = std::uint32_t((std::uint64_t(r.pitch) * r.height + 999) / 1000);
  c.pitch = r.pitch;
  c.pixel_bit_n = std::uint8_t(8 * r.bytesPerPixel);
  c.out_bit_depth = r.bits;
  c.od_max = r.odRange;
  if (r.fullFilm != 0) {
    const int heightMm = filmByCode(c.film_sz_id).heightMm;
    c.height = std::uint32_t(heightMm);
    r.height = std::uint32_t(std::uint64_t(heightMm) * 1000 / r.pitch);
    if (c.mode > 2) c.mode = 0;
  } else {
    c.mode = r.scanMode;
  }
  if (!t.SetCondition(h, &c)) {
    connection.errorBox(kErrSetUp, true);
    return 0;
  }
  std::array<std::uint16_t, kLutEntries> lut{};
  const int shift = 12 - std::clamp(int(r.bits), 1, 12);
  for (int i = 0; i < kLutEntries; ++i) lut[std::size_t(i)] = std::uint16_t(i >> shift);
  const devapi::TableParam table{2, kLutEntries, lut.data()};
  if (!t.SetLUT(h, &table)) {
    connection.errorBox(kErrSetUp, true);
    return 0;
  }
  if (!t.GetCondition(h, &c)) {
    connection.errorBox(kErrStatus, true);
    return 0;
  }
  r.deviceLineWidth = std::uint16_t(c.pix_w);
  r.deviceLineCount = std::uint16_t(c.pix_h);
  // A device line that is empty, wider than the staging buffer or narrower
  // than the image cannot be read into it.
  const std::uint32_t bpp = std::max<std::uint32_t>(1, r.bytesPerPixel);
  if (r.deviceLineWidth == 0 || r.deviceLineWidth > kStagingBytes / bpp || r.deviceLineWidth < r.width) {
    connection.errorBox(kErrSetUp, true);
    return 0;
  }
  current_ = &r;
  return 1;
}

void CScanDlg::startDevice() {
  DigitizerConnection& connection = link_.digitizer();
  if (current_ == nullptr || deviceCease_) return;
  if (!connection.table().Scan(connection.handle())) {
    connection.errorBox(kErrStartScan, true);
    failed_ = true;
    current_ = nullptr;
  }
}

int CScanDlg::readChunk(bool first) {
  if (deviceCease_ || current_ == nullptr) return 0;
  ScanRecord& r = *current_;
  DigitizerConnection& connection = link_.digitizer();
  r.readInProgress = 1;
  const std::uint32_t bpp = r.bytesPerPixel;
  const std::uint32_t lineBytes = r.deviceLineWidth * bpp;
  std::uint32_t lines = kStagingBytes / lineBytes;
  if (first) {
    linesRead_ = 0;
    outOffset_ = 0;
    outSize_ = std::uint64_t(r.width) * r.height * bpp;
    lines = 1;
  }
  const std::uint32_t left = r.height - std::min(linesRead_, r.height);
  lines = std::min(lines, left);
  static std::array<std::uint8_t, kStagingBytes> staging;
  auto* out = static_cast<std::uint8_t*>(r.pixels);
  const std::uint64_t want = std::uint64_t(r.width) * bpp;
  // Lines as wide as the image's need no cropping: read straight into it.
  const std::uint64_t length = std::uint64_t(lineBytes) * lines;
  const bool inPlace =
      r.deviceLineWidth == r.width && out != nullptr && length <= outSize_ - std::min(outOffset_, outSize_);
  devapi::ReadBufferParam p{};
  p.first = first ? 0 : 1;
  p.length = std::uint32_t(length);
  p.buffer = inPlace ? out + outOffset_ : staging.data();
  if (!connection.table().ReadBuffer(connection.handle(), &p)) {
    r.readInProgress = 0;
    if (linesRead_ > 0) {
      char text[96];
      std::snprintf(text, sizeof text, "mode = %8d\nsize = %8d\nbuff = %p", int(p.first), int(p.length), p.buffer);
      platform::qt::prompt().message(QApplication::activeWindow(), QString::fromLatin1(text), QString(),
                                     platform::qt::Icon::None, platform::qt::Buttons::Ok);
      connection.errorBox(kErrReadData, true);
    } else {
      connection.errorBox(kErrStartScan, true);
    }
    failed_ = true;
    current_ = nullptr;
    return 0;
  }
  r.readInProgress = 0;
  if (deviceCease_) return 0;
  if (inPlace) {
    outOffset_ += length;
  } else {
    for (std::uint32_t i = 0; i < lines && outOffset_ + want <= outSize_; ++i) {
      std::memcpy(out + outOffset_, staging.data() + std::size_t(i) * lineBytes, want);
      outOffset_ += want;
    }
  }
  linesRead_ += lines;
  if (linesRead_ < r.height) return int(r.height - linesRead_);
  current_ = nullptr;
  return 0;
}

void CScanDlg::cancelCheck() {
  if (!deviceCease_ || cancelSent_) return;
  DigitizerConnection& connection = link_.digitizer();
  connection.table().Cancel(connection.handle());
  connection.reverse();  // its own box, error 9
  cancelSent_ = true;
  current_ = nullptr;
}

void CScanDlg::sampleLive() {
  preview_.sample();
  if (mini_ != nullptr) mini_->update();
}

// Sized to its texts, centred on the screen just below the dialog.
void CScanDlg::placeProgress(QDialog& progress) {
  progress.adjustSize();
  if (QScreen* screen = QApplication::primaryScreen(); screen != nullptr && window_) {
    const QRect s = screen->geometry();
    progress.move(s.center().x() - progress.width() / 2, window_->frameGeometry().bottom() + 3);
  }
}

// Chunks between which the worker would change nothing on screen are read
// in one call, the cancel check before each as the worker would make it, so
// that a chunk costs no trip between the threads; the event loop still runs
// at least every slice.
int CScanDlg::readChunks(std::uint32_t untilLeft) {
  const auto sliceEnd = std::chrono::steady_clock::now() + kReadSlice;
  for (;;) {
    const int left = readChunk(false);
    if (left <= 0 || std::uint32_t(left) <= untilLeft || std::chrono::steady_clock::now() >= sliceEnd)
      return left;
    cancelCheck();
  }
}

bool CScanDlg::scanWithProgress(std::uint32_t lines) {
  deviceCease_ = false;
  cancelSent_ = false;
  failed_ = false;
  ceased_ = 0;
  CScanProgressDlg progress(window_);
  progress_ = &progress;
  placeProgress(progress);
  // Cancel, the operator's or CeaseScan's, stops the reads from the next one on.
  QObject::connect(&progress, &QDialog::rejected, &progress, [this] { deviceCease_ = true; });
  ScanController controller(&progress);
  if (!controller.usable()) {
    progress_ = nullptr;
    current_ = nullptr;
    return false;
  }
  bool finished = false;
  QEventLoop* waiting = nullptr;
  const std::uint32_t total = std::max<std::uint32_t>(lines, 1);
  std::thread worker([&] {
    controller.send([&] { startDevice(); return 0; });
    controller.send([&] { cancelCheck(); return 0; });
    int left = controller.send([&] { return readChunk(true); });
    int lastTenth = 0;
    bool firstPass = true;
    while (left > 0) {
      if (!firstPass) controller.postScanningText();
      const std::uint32_t done = total - std::min<std::uint32_t>(total, std::uint32_t(left));
      const int tenth = int(std::uint64_t(done) * 10 / total);
      if (tenth != lastTenth) {
        lastTenth = tenth;
        controller.post([&] { sampleLive(); return 0; });
      }
      // The first pass reads one chunk (the scanning texts follow it); later
      // ones read on to the next tenth of the progress.
      const std::uint32_t untilLeft = firstPass ? UINT32_MAX : linesLeftAtTenth(total, tenth + 1);
      firstPass = false;
      // The cancel check needs no answer: queued ahead of the read, both are
      // served in one turn of the UI thread.
      controller.post([&] { cancelCheck(); return 0; });
      left = controller.send([&] { return readChunks(untilLeft); });
    }
    controller.send([&] { sampleLive(); return 0; });
    controller.send([&] { cancelCheck(); return 0; });
    controller.postCommand(1);
    controller.post([&] {
      finished = true;
      if (waiting != nullptr) waiting->quit();
      return 0;
    });
  });
  const int result = progress.exec();
  if (result != QDialog::Accepted) {
    deviceCease_ = true;
    platform::qt::prompt().message(window_, Oskelu::tr("Scan cancelled.  "), Oskelu::tr("Scan"),
                                   platform::qt::Icon::Warning, platform::qt::Buttons::Ok);
  }
  // The worker still asks for calls until its last read; they are served here.
  if (!finished) {
    QEventLoop loop;
    waiting = &loop;
    loop.exec();
    waiting = nullptr;
  }
  worker.join();
  progress_ = nullptr;
  current_ = nullptr;
  return result == QDialog::Accepted && ceased_ == 0 && !failed_ && !deviceCease_;
}

bool CScanDlg::waitForFilm(bool loadFirst) {
  DigitizerConnection& connection = link_.digitizer();
  connection.clearFilmCheckLatch();
  if (connection.sensedFilmCode() != 0) return true;
  if (loadFirst) {
    connection.nextFilm();
    connection.clearFilmCheckLatch();
    if (connection.sensedFilmCode() != 0) return true;
  }
  CScanMessageDlg box(
      kMsgSetFilm, window_,
      [&connection] {
        connection.clearFilmCheckLatch();
        return connection.sensedFilmCode();
      },
      [this] { nextFilmCommand(); });
  return box.run();
}

void CScanDlg::nextFilmCommand() {
  platform::qt::WaitCursor wait;
  DigitizerConnection& connection = link_.digitizer();
  connection.clearFilmCheckLatch();
  connection.nextFilm();
}

// Autosense without a region: the film is asked for, and nothing is scanned.
void CScanDlg::autosenseFilm(QWidget* w, DigitizerConnection& connection, QComboBox* regions, bool type2,
                             int rePost) {
  if (regions->currentIndex() != 1) return;
  if (!type2) connection.nextFilm();
  ScanningGuard scanning(settings_, preview_);
  connection.clearFilmCheckLatch();
  if (connection.sensedFilmCode() == 0) {
    CScanMessageDlg box(kMsgSetFilm, w, [&connection] {
      connection.clearFilmCheckLatch();
      return connection.sensedFilmCode();
    }, [this] { nextFilmCommand(); });
    if (box.run())
      settings_.rePostArmed = rePost;
    else if (!type2)
      connection.eject();
  }
}

// The film count and the device's buffer; false after the box that says no.
bool CScanDlg::scanAllowed(QWidget* w, bool& counted, std::int64_t& count) {
  const bool autoScan = control<QCheckBox>(w, kAutoScan)->isChecked();
  const QString filmsText = control<QLineEdit>(w, kFilms)->text();
  counted = autoScan && !filmsText.isEmpty();
  count = platform::qt::parseInt(filmsText).value_or(0);
  if (counted && count < 1) {
    platform::qt::prompt().message(
        w, Oskelu::tr("Enter the number of films when using the auto-feeder.\nThe number you entered is not valid."),
        Oskelu::tr("Auto Scan"), platform::qt::Icon::Warning, platform::qt::Buttons::Ok);
    return false;
  }
  if (deviceBuffer_ < settings_.dataSize) {
    CScanMessageDlg(kMsgNoMemory, w).run();
    return false;
  }
  return true;
}

// The record as the region and the settings give it.
void CScanDlg::fillRecord(ScanRecord& r) {
  r.width = std::uint32_t(region_.widthPx);
  r.height = std::uint32_t(region_.heightPx);
  r.pitch = std::uint16_t(region_.pitch);
  r.left = region_.leftMm;
  r.top = region_.topMm;
  r.frameWidth = region_.widthMm;
  r.frameHeight = region_.heightMm;
  r.bits = std::uint8_t(settings_.bits);
  r.bytesPerPixel = std::uint8_t(settings_.bytesPerPixel);
  r.odRange = std::uint8_t(settings_.odRange);
  r.scanMode = std::uint8_t(settings_.deviceScanMode);
  r.autoScan = std::uint8_t(settings_.autoScan);
  r.fullFilm = 0;
}

// The moire mode: a finer scan into a buffer of its own, filtered down into
// `image`; false when nothing may be delivered (the caller drops the image).
bool CScanDlg::moireScan(ScanRecord& r, void* image, DeMoireFuncPtr moireFunc) {
  const std::int64_t p = std::max(1, antiMoire_.scanPitch);
  const std::uint64_t srcW = std::uint64_t(r.pitch) * r.width / std::uint64_t(p);
  const std::uint64_t srcH = std::uint64_t(r.pitch) * r.height / std::uint64_t(p);
  const std::uint64_t srcBytes = srcW * srcH * r.bytesPerPixel;
  void* source = srcW > 0 && srcH > 0 && srcW <= UINT32_MAX && srcH <= UINT32_MAX && srcBytes <= SIZE_MAX
                     ? std::malloc(std::size_t(srcBytes))
                     : nullptr;
  if (source == nullptr) {
    current_ = nullptr;
    return false;
  }
  ScanRecord copy = r;
  copy.width = std::uint32_t(srcW);
  copy.height = std::uint32_t(srcH);
  copy.pixels = source;
  copy.pitch = std::uint16_t(std::min<std::int64_t>(p, 65535));
  current_ = nullptr;
  if (!setUp(copy)) {
    std::free(source);
    return false;
  }
  ScanRegion live = region_;
  live.pitch = std::int32_t(p);
  live.widthPx = std::int32_t(srcW);
  preview_.startLive(live, source, std::size_t(srcW * srcH), r.bits);
  if (!scanWithProgress(std::uint32_t(srcH))) {
    preview_.abortLive();
    std::free(source);
    return false;
  }
  preview_.finishLive();
  MoireParams m{};
  m.bits = r.bits;
  m.scanPitch = std::int32_t(p);
  m.targetPitch = r.pitch;
  m.FilterAmplitudeV = antiMoire_.filterAmplitudeV;
  m.FilterAmplitudeH = antiMoire_.filterAmplitudeH;
  m.direction = std::max(0, (antiMoire_.horizontalGrid > 0 ? 2 : 0) + (antiMoire_.verticalGrid != 0 ? 1 : 0) - 1);
  m.srcWidth = std::int32_t(srcW);
  m.srcHeight = std::int32_t(srcH);
  m.dstWidth = std::int32_t(r.width);
  m.dstHeight = std::int32_t(r.height);
  m.src = source;
  m.dst = image;
  // A filter that fails leaves the image unwritten: nothing is delivered.
  const int filtered = moireFunc(&m, antiMoire_.filterType + 1, antiMoire_.interpolationType + 1);
  std::free(source);
  return filtered == 0;
}

void CScanDlg::scanCommand() {
  if (!window_) return;
  QWidget* w = window_;
  DigitizerConnection& connection = link_.digitizer();
  const bool type2 = connection.feederType2();
  const int rePost = settings_.rePostArmed;
  settings_.rePostArmed = 0;
  auto* regions = control<QComboBox>(w, kRegionList);
  if (!region_.valid()) {
    autosenseFilm(w, connection, regions, type2, rePost);
    return;
  }
  if (record_.pixels != nullptr) {
    settings_.rePostArmed = 1;  // the host still holds the last image
    return;
  }
  bool counted = false;
  std::int64_t count = 0;
  if (!scanAllowed(w, counted, count)) return;
  ScanningGuard scanning(settings_, preview_);
  if (!waitForFilm(!type2)) {
    current_ = nullptr;
    if (!type2) connection.eject();
    return;
  }
  const std::uint64_t bytes = std::uint64_t(settings_.bytesPerPixel) * std::uint64_t(region_.widthPx) *
                              std::uint64_t(region_.heightPx);
  ScanRecord& r = record_;
  fillRecord(r);
  void* image = bytes > 0 && bytes <= SIZE_MAX ? std::malloc(std::size_t(bytes)) : nullptr;
  if (image == nullptr) return;
  r.pixels = image;
  auto dropImage = [&r, image] {
    std::free(image);
    r.pixels = nullptr;
  };
  if (!setUp(r)) {
    dropImage();
    return;
  }
  const auto moireFunc =
      moire_.isOpen() ? moire_.function<DeMoireFuncPtr>("deMoireFunc") : DeMoireFuncPtr{};
  const bool moireMode = moireFunc != nullptr && control<QComboBox>(w, kMode)->currentIndex() == kMoireModeIndex;
  if (moireMode) {
    if (!moireScan(r, image, moireFunc)) {
      dropImage();
      return;
    }
  } else {
    preview_.startLive(region_, image, std::size_t(std::uint64_t(r.width) * r.height), r.bits);
    if (!scanWithProgress(r.height)) {
      preview_.abortLive();
      dropImage();
      return;
    }
    preview_.finishLive();
  }
  scanning.finished();
  filmHandling(int(std::clamp<std::int64_t>(count, 0, INT32_MAX)), counted);
  scannedBytes_ += bytes;
  ++scanCount_;
  XFerReady(&r);
  if (window_) {
    control<QLabel>(window_, kScansDelivered)->setText(QString::number(scanCount_));
    control<QLabel>(window_, kMegabytes)->setText(megabytesText(scannedBytes_));
  }
}

void CScanDlg::filmHandling(int count, bool counted) {
  DigitizerConnection& connection = link_.digitizer();
  const bool type2 = connection.feederType2();
  const bool autoScan = control<QCheckBox>(window_, kAutoScan)->isChecked();
  if (!autoScan) {
    if (!type2) connection.eject();
    return;
  }
  if (counted) {
    auto* films = control<QLineEdit>(window_, kFilms);
    if (count <= 1) {
      films->setText(QString::number(settings_.filmsAtStart));
      if (!type2) connection.eject();
      return;
    }
    films->setText(QString::number(count - 1));
  }
  if (type2) {
    // The feeder of this type takes its time to bring the next film itself.
    QEventLoop pause;
    QTimer::singleShot(kType2WaitMs, &pause, &QEventLoop::quit);
    pause.exec();
  } else {
    connection.nextFilm();
    connection.clearFilmCheckLatch();
    if (connection.sensedFilmCode() == 0) connection.eject();
  }
  settings_.rePostArmed = 1;
}

void CScanDlg::scoutScanCommand() {
  if (!window_) return;
  if (preview_.scoutPresent() && !CScanMessageDlg(kMsgOverwriteScout, window_).run()) return;
  ScanningGuard scanning(settings_, preview_);
  if (!waitForFilm(true)) {
    current_ = nullptr;
    return;
  }
  DigitizerConnection& connection = link_.digitizer();
  ScanRecord& s = scout_;
  s.width = kPreviewColumns;
  s.height = 216;
  s.pitch = 2000;
  s.bits = 12;
  s.bytesPerPixel = 2;
  s.left = 0;
  s.top = 0;
  s.frameWidth = 360;
  s.frameHeight = 432;
  s.scanMode = 0;
  s.fullFilm = 1;
  s.pixels = preview_.stored();
  s.odRange = std::uint8_t(connection.maxOd());
  if (setUp(s) && s.height <= std::uint32_t(kPreviewRows) && scanWithProgress(s.height)) {
    preview_.setScoutPresent();
    preview_.render();
    connection.reverse();
  } else {
    current_ = nullptr;
    preview_.reset();
  }
  if (mini_ != nullptr) mini_->update();
  control<QPushButton>(window_, kAdjustOd)->setEnabled(preview_.scoutPresent());
  updateLabels();
}

}  // namespace scanui::internal
