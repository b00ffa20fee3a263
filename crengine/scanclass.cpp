#include "crengine/internal/scanclass.h"

#include "crengine/internal/elog.h"
#include "crengine/internal/errors.h"
#include "crengine/internal/fit.h"

#include "platform/clock.h"
#include "platform/paths.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace crengine {
namespace {

namespace clk = platform::clock;

// Which engine and generation the calling thread runs for; a scanner thread
// that was given up at a stop finds its generation out of date.
thread_local const void* tlsEngine = nullptr;
thread_local std::uint64_t tlsGeneration = 0;

devapi::ScanCondition initialCondition() {
  devapi::ScanCondition c{};
  c.mode = 1;
  c.od_max = 40;
  c.pitch = 200;
  c.pixel_bit_n = 16;
  c.out_bit_depth = 16;
  return c;
}

devapi::KtGOption initialOption() {
  devapi::KtGOption o{};
  o.ScanOption = 0x40003;  // erase mode 3, photometrics 4
  return o;
}

void copyBounded(char* out, std::size_t room, const std::string& text) {
  std::size_t n = std::min(text.size(), room - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

}  // namespace

std::string stateName(int state) {
  switch (state) {
    case kIdle: return "IDLE";
    case kScan: return "SCAN";
    case kScanErase: return "SCAN_ERASE";
    case kError: return "ERROR";
    case kErase: return "ERASE";
    case kEject: return "EJECT";
    case kHardReset: return "HARDRESET";
    default: {
      char text[32];
      std::snprintf(text, sizeof text, "UNKNOWN_STATUS 0x%X", unsigned(state));
      return text;
    }
  }
}

EngineConfig EngineConfig::forProcess() {
  EngineConfig config;
  config.programDir = platform::paths::programDir();
  config.iniFile = config.programDir / "HalcyoneHard.ini";
  return config;
}

void ThreadEvents::setStop() {
  std::lock_guard<std::mutex> lock(mutex_);
  stop_ = true;
  cv_.notify_all();
}

void ThreadEvents::setAction() {
  std::lock_guard<std::mutex> lock(mutex_);
  action_ = true;
  cv_.notify_all();
}

void ThreadEvents::reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  stop_ = false;
  action_ = false;
}

ThreadEvents::Wake ThreadEvents::wait(std::uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return stop_ || action_; });
  if (stop_) {
    stop_ = false;
    return kStop;
  }
  if (action_) {
    action_ = false;
    return kAction;
  }
  return kTimeout;
}

ScanClass::Section::Section(ScanClass& engine, std::uint32_t timeoutMs) : engine_(engine) {
  locked_ = engine_.lock_.lockWithin(timeoutMs, 1);
  if (!locked_)
    elog(1, "Warning: [ScannerInfo] Wait for TryEnterCriticalSection time out(%ldms).", long(timeoutMs));
}

void ScanClass::Section::leave() {
  if (locked_) engine_.lock_.unlock();
  locked_ = false;
}

ScanClass::ScanClass(EngineConfig config)
    : config_(std::move(config)),
      settings_(Settings::read(config_.iniFile)),
      dll_(config_.loader ? std::move(config_.loader) : makeLibraryLoader(), config_.deviceLibrary,
           ZentracDll::Timeouts{config_.bindingLockMs, config_.clearHardErrorLockMs}) {
  cache_.condition = initialCondition();
  cache_.option = initialOption();
  cache_.requested = cache_.condition;
  cache_.requestedOption = cache_.option;
}

ScanClass::~ScanClass() { StopScannerThread(); }

// ---- errors ----

void ScanClass::SetErrorCode(std::uint32_t code) {
  if (code == 0) {
    std::lock_guard<std::mutex> lock(errorMutex_);
    errorCode_ = 0;
    errorText_.clear();
    return;
  }
  const ErrorEntry* entry = findError(code);
  if (entry == nullptr) {
    elog(1, "Error: SetErrorCode unknown code 0x%08X", unsigned(code));
    std::lock_guard<std::mutex> lock(errorMutex_);
    errorCode_ = 0;
    errorText_.clear();
    return;
  }
  {
    std::lock_guard<std::mutex> lock(errorMutex_);
    errorCode_ = code;
    errorText_.assign(entry->text, std::min<std::size_t>(std::strlen(entry->text), 511));
  }
  elog(3, "    SetErrorCode 0x%08X '%s'", unsigned(code), entry->text);
}

std::uint32_t ScanClass::errorCode() {
  std::lock_guard<std::mutex> lock(errorMutex_);
  return errorCode_;
}

void ScanClass::forgetScanFailure() {
  std::lock_guard<std::mutex> lock(errorMutex_);
  scanFailure_ = 0;
}

std::string ScanClass::errorText() {
  std::lock_guard<std::mutex> lock(errorMutex_);
  return errorText_;
}

// ---- shared state ----

ScanClass::Cache ScanClass::cache() {
  std::lock_guard<std::mutex> lock(cacheMutex_);
  return cache_;
}

std::shared_ptr<BlockImageData> ScanClass::blocks() {
  std::lock_guard<std::mutex> lock(dataMutex_);
  return blocks_;
}

Preview ScanClass::preview() {
  std::lock_guard<std::mutex> lock(dataMutex_);
  return preview_;
}

std::uint32_t ScanClass::elapsedSinceStart() const { return clk::elapsedSince(startTime_.load()); }

std::uint32_t ScanClass::simulatedEraseMs() {
  std::uint8_t mode;
  {
    std::lock_guard<std::mutex> lock(cacheMutex_);
    mode = cache_.requested.mode;
  }
  switch (mode) {
    case 0: return 300;
    case 1: return 2000;
    case 2: return 4000;
    default: return 1000;
  }
}

bool ScanClass::abandoned() const {
  return tlsEngine == this && tlsGeneration != generation_.load();
}

void ScanClass::post(std::uint32_t id, std::intptr_t lParam, const char* logLine, int level) {
  if (abandoned()) return;
  elog(level, logLine, int(lParam));
  platform::post(window_.load(), platform::Message{platform::kCommandMessage, id, lParam});
}

// ---- the condition cache ----

void ScanClass::simulateCondition() {
  const int state = state_.load();
  const std::uint32_t t = elapsedSinceStart();
  const std::uint32_t e = simulatedEraseMs();
  std::uint16_t sc;
  switch (state) {
    case kIdle: sc = 1; break;
    case kScan: sc = 6; break;
    case kScanErase: sc = t < e ? 8 : t < 2 * e ? 16 : 0; break;
    case kErase: sc = t < 2000 ? 8 : t < 4000 ? 16 : 0; break;
    case kEject: sc = 16; break;
    default: sc = 128; break;
  }
  std::lock_guard<std::mutex> lock(cacheMutex_);
  cache_.condition = cache_.requested;
  cache_.option = cache_.requestedOption;
  cache_.conditionValid = true;
  cache_.optionValid = true;
  cache_.time = clk::tickCount();
  if (cache_.requestedSet && cache_.requested.pitch != 0) {
    cache_.pixelsPerLine = cache_.requested.width * 1000 / cache_.requested.pitch;
    cache_.linesPerBlock = cache_.requested.height * 1000 / cache_.requested.pitch;
    cache_.condition.pix_w = cache_.pixelsPerLine;
    cache_.condition.pix_h = cache_.linesPerBlock;
  }
  cache_.option.SerialNumber = 1234;
  cache_.option.scanner_condition = sc;
  cache_.lastScannerCondition = sc;
}

bool ScanClass::refreshCondition() {
  if (settings_.mode == kModeTest) {
    simulateCondition();
    return true;
  }
  devapi::ScanCondition condition{};
  devapi::KtGOption option{};
  const bool conditionOk = dll_.GetCondition(&condition) == 1;
  const bool optionOk = dll_.GetOption(&option) == 1;
  if (abandoned()) return false;
  bool toError = false;
  bool changed = false;
  std::uint16_t sc = 0;
  {
    std::lock_guard<std::mutex> lock(cacheMutex_);
    cache_.conditionValid = conditionOk;
    cache_.optionValid = optionOk;
    if (conditionOk && optionOk) {
      cache_.time = clk::tickCount();
      cache_.condition = condition;
      cache_.option = option;
      cache_.pixelsPerLine = condition.pix_w;
      cache_.linesPerBlock = condition.pix_h;
      sc = option.scanner_condition;
      changed = sc != cache_.lastScannerCondition;
      cache_.lastScannerCondition = sc;
      toError = (sc & 0x80) != 0;
    } else {
      toError = true;
    }
  }
  if (changed) elog(7, "  condition changed. 0x%04X", unsigned(sc));
  if (toError) state_ = kError;
  return conditionOk && optionOk;
}

template <typename Write>
bool ScanClass::ifCurrent(std::uint64_t scan, Write write) {
  std::lock_guard<std::mutex> lock(pumpMutex_);
  if (abandoned() || scanGeneration_.load() != scan) return false;
  write();
  return true;
}

void ScanClass::supersedeScan() {
  std::lock_guard<std::mutex> lock(pumpMutex_);
  ++scanGeneration_;
}

bool ScanClass::progressPoll(std::uint64_t scan) {
  auto data = blocks();
  const std::uint32_t count = data ? data->blockCount : 0;
  if (settings_.mode == kModeTest) {
    return ifCurrent(scan, [&] {
      completedBlocks_ = std::min<std::uint32_t>(elapsedSinceStart() / 50, count);
      lastPollResult_ = 1;
      lastPollTime_ = clk::tickCount();
    });
  }
  std::int32_t done = 0;
  const int ok = dll_.GetScanStatusM(&done);
  return ifCurrent(scan, [&] {
    lastPollResult_ = ok;
    lastPollTime_ = clk::tickCount();
    if (ok == 1)
      completedBlocks_ = std::uint32_t(std::clamp<std::int64_t>(done, 0, count));
    else
      state_ = kError;
  });
}

// ---- the scanner thread ----

void ScanClass::firstCheck() {
  Section section(*this, config_.engineLockMs);
  if (settings_.mode == kModeTest) {
    simulateCondition();
    state_ = kIdle;
    return;
  }
  devapi::ScannerTypeInfo type{};
  if (dll_.GetScannerType(&type) == 1)
    elog(6, "  Scanner Vender=%s Product=%s ProductRev=%s Board=%s HardRev=%s FirmRev=%s", type.vendor_id,
         type.product_id, type.product_rev, type.board_name, type.hardware_rev, type.firm_rev);
  if (!refreshCondition()) {
    if (!abandoned()) state_ = kError;
    return;
  }
  Cache c = cache();
  storeSerialNumber(config_.iniFile, settings_, c.option.SerialNumber);
  elog(6, "  Scanner SerialNumber=%d", int(c.option.SerialNumber));
  const std::uint16_t sc = c.option.scanner_condition;
  if ((sc & 0x80) == 0 && (sc & 0x7F) < 2) {
    state_ = kIdle;
  } else {
    elog(1, "Error: Scanner condition error.  KtGOption::scanner_condition = 0x%04X", unsigned(sc));
    state_ = kError;
    SetErrorCode(QUORIN_ERR_CONDITION_UNEXPECTED);
  }
}

void ScanClass::threadMain(std::uint64_t generation) {
  tlsEngine = this;
  tlsGeneration = generation;
  int exitCode = 0;
  firstCheck();
  while (!abandoned()) {
    ThreadEvents::Wake wake = events_.wait(idleMs());
    if (abandoned()) break;
    if (wake == ThreadEvents::kStop) {
      elog(6, "ScannerThread Stop event received.");
      elog(6, "ScannerThread end.");
      break;
    }
    step();
  }
  std::lock_guard<std::mutex> lock(threadMutex_);
  if (generation == generation_.load()) {
    threadExitCode_ = exitCode;
    threadEnded_ = true;
    threadEnd_.notify_all();
  } else {
    abandonedRunning_--;
  }
}

void ScanClass::step() {
  Section section(*this, config_.engineLockMs);
  const int state = state_.load();
  switch (state) {
    case kIdle:
      refreshCondition();
      return;
    case kScan: {
      const std::uint64_t scan = scanGeneration_.load();
      if (!progressPoll(scan)) return;  // a reset or a new scan came meanwhile
      section.leave();
      if (state_.load() == kError)
        ifCurrent(scan, [&] { post(IDM_ACQUIRE_ERROR, 0, "PostMessage IDM_ACQUIRE_ERROR", 6); });
      else
        blockPump(scan);
      return;
    }
    case kScanErase:
      refreshCondition();
      if (abandoned()) return;
      if (state_.load() == kError) {
        section.leave();
        post(IDM_ACQUIRE_ERROR, 0, "PostMessage IDM_ACQUIRE_ERROR", 6);
      } else if ((cache().option.scanner_condition & 0x7F) <= 1) {
        state_ = kIdle;
        section.leave();
        post(IDM_ACQUIRE_COMPLETE_ALL, progress_.miniLine.load(), "PostMessage IDM_ACQUIRE_COMPLETE_ALL", 6);
      }
      return;
    case kError: {
      // Back to IDLE only on a fresh read that shows no error.
      if (refreshCondition() && (cache().option.scanner_condition & 0x80) == 0 && !abandoned()) state_ = kIdle;
      return;
    }
    case kErase:
      refreshCondition();
      if (abandoned()) return;
      if (state_.load() == kError) {
        section.leave();
        post(IDM_ACQUIRE_ERROR, 0, "PostMessage IDM_ACQUIRE_ERROR", 6);
      } else if ((cache().option.scanner_condition & 0x7F) < 2) {
        state_ = kIdle;
      }
      return;
    case kEject:
    case kHardReset:
      return;
    default:
      elog(1, "Error: Unknown state %s", stateName(state).c_str());
      section.leave();
      clk::sleep(100);
      return;
  }
}

void ScanClass::pumpErrorExit(std::uint64_t scan, std::uint32_t code) {
  ifCurrent(scan, [&] {
    if (code != 0) {
      SetErrorCode(code);
      std::lock_guard<std::mutex> lock(errorMutex_);
      scanFailure_ = code;
    }
    state_ = kError;
    progress_.info = 4;
    post(IDM_ACQUIRE_ERROR, 0, "PostMessage IDM_ACQUIRE_ERROR", 6);
  });
}

void ScanClass::blockPump(std::uint64_t scan) {
  if (lastPollResult_.load() != 1) {
    elog(1, "Error: Scanner error occured.");
    pumpErrorExit(scan);
    return;
  }
  std::uint32_t count;
  {
    Section section(*this, config_.engineLockMs);
    count = completedBlocks_.load();
  }
  auto data = blocks();
  const Preview view = preview();
  if (!data) {
    pumpErrorExit(scan);
    return;
  }
  std::uint32_t next = nextBlock_.load();
  for (std::uint32_t b = next; b < count; ++b) {
    bool processed = false;
    const bool current = ifCurrent(scan, [&] {
      processed = processBlock(*data, b, view, progress_);
      if (processed)
        post(IDM_ACQUIRE_REFRESH, progress_.miniLine.load(), "PostMessage IDM_ACQUIRE_REFRESH %d", 7);
    });
    if (!current) return;
    if (!processed) {
      elog(1, "Error: ProcessBlockImage_Block error occured.");
      pumpErrorExit(scan);
      return;
    }
  }
  if (!ifCurrent(scan, [&] {
        if (count > next) nextBlock_ = count;
        if (count >= data->blockCount) progress_.info = 2;
      }))
    return;
  if (count < data->blockCount) return;

  if (settings_.mode == kModeScan) {
    // A new scan's parameters are not this scan's: its blocks are still being read.
    devapi::BlockScanParam param;
    if (!ifCurrent(scan, [&] {
          std::lock_guard<std::mutex> lock(dataMutex_);
          param = scanParam_;
        }))
      return;
    if (dll_.EightLine(&param) != 1) elog(3, "Warning: EightLine process failed.");
  }
  // The files of a superseded scan are not written over the next one's.
  if (scanGeneration_.load() != scan || abandoned()) return;
  const Cache c = cache();
  if (!writeRawFile(*data, view.rawPath, c.condition, c.option)) {
    elog(1, "Error: WriteRawFile failed. %s", view.rawPath.c_str());
    // The plate is read but its image is not kept: the host must hear why.
    pumpErrorExit(scan, QUORIN_ERR_FILE_ACCESS);
    return;
  }
  writePreviewFiles(view, view.rawPath, int(data->depth));
  ifCurrent(scan, [&] {
    startTime_ = clk::tickCount();
    state_ = kScanErase;
    post(IDM_ACQUIRE_COMPLETE, progress_.miniLine.load(), "PostMessage IDM_ACQUIRE_COMPLETE %d", 6);
  });
}

int ScanClass::StopScannerThread() {
  std::unique_lock<std::mutex> lock(threadMutex_);
  if (!thread_.joinable()) return 1;
  events_.setStop();
  elog(6, "SetEvent: StopScannerThread");
  bool ended = false;
  for (int i = 0; i < config_.stopPolls; ++i) {
    if (threadEnded_.load()) {
      elog(6, "StopScannerThread: exitcode = 0x%X", unsigned(threadExitCode_.load()));
      thread_.join();
      ended = true;
      break;
    }
    events_.setStop();
    threadEnd_.wait_for(lock, std::chrono::milliseconds(config_.stopPollMs));
  }
  if (!ended && threadEnded_.load()) {
    elog(6, "StopScannerThread: exitcode = 0x%X", unsigned(threadExitCode_.load()));
    thread_.join();
    ended = true;
  }
  if (!ended) {
    // A thread cannot be killed here: it is given up instead. It keeps running
    // until its device call returns, then sees its generation is over and ends
    // without touching the engine; the device library stays loaded for it.
    elog(1, "Warning: call TerminateThread in StopScannerThread");
    generation_++;
    abandonedRunning_++;
    thread_.detach();
  }
  elog(6, "End: StopScannerThread");
  return 1;
}

// ---- operations ----

int ScanClass::Init(platform::WindowHandle window) {
  elog(9, "Start: ScanClass:Init()");
  window_ = window;
  switch (settings_.mode) {
    case kModeScan: elog(5, "-- SCAN mode --"); break;
    case kModeDemo: elog(5, "-- DEMO mode --"); break;
    case kModeTest: elog(5, "-- TEST mode --"); break;
    default: elog(5, "-- unknown mode %d --", settings_.mode); break;
  }
  state_ = kStarting;
  if (settings_.mode == kModeDemo) stored_.setDirectory(settings_.demoImageDir, config_.programDir);
  if (settings_.mode == kModeTest) stored_.setDirectory(settings_.testImageDir, config_.programDir);
  if (settings_.mode != kModeTest) {
    // After a stop that gave up a thread the library is still loaded for it.
    if (!dll_.loaded() && !dll_.LoadDLL()) {
      SetErrorCode(QUORIN_ERR_DLL_LOAD);
      return 0;
    }
    devapi::DeviceNewParam param{};
    param.timeout = settings_.newCommandTimeoutSec;
    param.status = 0x80;
    if (dll_.New(&param) != 1) {
      if (dll_.result() == ZentracDll::kCallFailed) {
        elog(1, "Error: Scanner init failed. (ZNTR_New() return FALSE)");
        SetErrorCode(QUORIN_ERR_SCANNER_INIT);
      } else {
        elog(1, "Error: Scanner init failed.");
        SetErrorCode(QUORIN_ERR_ACTION_FAILED);
      }
      if (abandonedRunning_.load() == 0) dll_.FreeDLL();
      return 0;
    }
  }
  if (!config_.startThread) return 1;
  std::lock_guard<std::mutex> lock(threadMutex_);
  events_.reset();
  threadEnded_ = false;
  const std::uint64_t generation = ++generation_;
  try {
    thread_ = std::thread(&ScanClass::threadMain, this, generation);
  } catch (const std::system_error&) {
    elog(1, "AfxBeginThread(ScannerThread) error.");
    SetErrorCode(QUORIN_ERR_BEGIN_THREAD);
    if (settings_.mode != kModeTest) {
      dll_.Delete();
      if (abandonedRunning_.load() == 0) dll_.FreeDLL();
    }
    return 0;
  }
  return 1;
}

int ScanClass::Finish() {
  elog(9, "Start: ScanClass:Finish()");
  if (StopScannerThread() != 1) SetErrorCode(QUORIN_ERR_STOP_THREAD);
  if (settings_.mode == kModeTest) return 1;
  int result = 1;
  if (dll_.connected()) {
    result = dll_.Delete();
    if (result != 1) SetErrorCode(QUORIN_ERR_DISCONNECT);
  }
  if (abandonedRunning_.load() > 0) return result;  // a given-up thread may still be inside the library
  if (dll_.FreeDLL() != 1) {
    SetErrorCode(QUORIN_ERR_DLL_UNLOAD);
    return 0;
  }
  return result;
}

int ScanClass::SetMiniscreenInfo(const miniscreen_info* info) {
  if (info == nullptr) {
    SetErrorCode(QUORIN_ERR_PARAMETER);
    return 0;
  }
  bool bad = false;
  if (info->nRescaledHeight <= 0) {
    elog(1, "Error: miniscreen_info::nRescaledHeight=%d", int(info->nRescaledHeight));
    bad = true;
  }
  if (info->nRescanedWidth <= 0) {
    elog(1, "Error: miniscreen_info::nRescanedWidth=%d", int(info->nRescanedWidth));
    bad = true;
  }
  if (info->pBitsImage == nullptr) {
    elog(1, "Error: miniscreen_info::pBitsImage=NULL");
    bad = true;
  }
  if (info->pRescaledImage == nullptr) {
    elog(1, "Error: miniscreen_info::pRescaledImage=NULL");
    bad = true;
  }
  // The path is read no further than its documented room.
  const std::size_t pathLength = info->szRawFilePath ? ::strnlen(info->szRawFilePath, 260) : 0;
  if (pathLength == 0 || pathLength > 259) {
    elog(1, "Error: miniscreen_info::szRawFilePath=NULL");
    bad = true;
  }
  if (bad) {
    SetErrorCode(QUORIN_ERR_PARAMETER);
    return 0;
  }
  const std::string path(info->szRawFilePath, pathLength);
  elog(6, "  nRescanedWidth = %d  nRescaledHeight = %d", int(info->nRescanedWidth), int(info->nRescaledHeight));
  elog(6, "  pRescaledImage = %p  pBitsImage = %p", static_cast<void*>(info->pRescaledImage),
       static_cast<void*>(info->pBitsImage));
  elog(6, "  RawFileName = %s", path.c_str());
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    elogLastError(1, "Error: CreateFile failed. %s", path.c_str());
    SetErrorCode(QUORIN_ERR_FILE_ACCESS);
    return 0;
  }
  ::close(fd);
  std::lock_guard<std::mutex> lock(dataMutex_);
  preview_.image16 = info->pRescaledImage;
  preview_.image8 = info->pBitsImage;
  preview_.width = info->nRescanedWidth;
  preview_.height = info->nRescaledHeight;
  preview_.rawPath = path;
  return 1;
}

int ScanClass::SetCondition(set_scan_para* para) {
  if (para == nullptr) {
    SetErrorCode(QUORIN_ERR_PARAMETER);
    return 0;
  }
  if (para->width_mm < 1 || para->width_mm > 364)
    elog(3, "Warning:  Value failed. set_scan_para::width_mm = %d", int(para->width_mm));
  if (para->height_mm < 1 || para->height_mm > 5000)
    elog(3, "Warning:  Value failed. set_scan_para::height_mm = %d", int(para->height_mm));
  if (para->pitch_um < 1) elog(3, "Warning:  Value failed. set_scan_para::pitch_um = %d", int(para->pitch_um));
  if (para->scan_mode < 1) elog(3, "Warning:  Value failed. set_scan_para::scan_mode = %d", int(para->scan_mode));
  if (para->erase_mode < 0)
    elog(3, "Warning:  Value failed. set_scan_para::erase_mode = %d", int(para->erase_mode));
  elog(9, "  set_scan_para::width_mm = %d", int(para->width_mm));
  elog(9, "  set_scan_para::height_mm = %d", int(para->height_mm));
  elog(9, "  set_scan_para::pitch_um = %d", int(para->pitch_um));
  elog(9, "  set_scan_para::scan_mode = %d", int(para->scan_mode));
  elog(9, "  set_scan_para::erase_mode = %d", int(para->erase_mode));
  elog(9, "  set_scan_para::sensitivity = %d", int(para->sensitivity));
  elog(9, "  set_scan_para::image_photometrics = %d", int(para->image_photometrics));

  // Values that would divide by zero or never fit are refused, not only warned about.
  if (para->width_mm < 1 || para->height_mm < 1 || para->height_mm > 5000 || para->pitch_um < 1 ||
      para->pitch_um > 255) {
    elog(1, "Error: ScanClass::SetCondition, unusable scan parameters.");
    SetErrorCode(QUORIN_ERR_PARAMETER);
    return 0;
  }

  Section section(*this, config_.engineLockMs);
  // Checked before anything is changed: a running scan keeps its geometry.
  if (state_.load() != kIdle) {
    elog(1, "Error: ScanClass::SetCondition, now status %s.", stateName(state_.load()).c_str());
    SetErrorCode(QUORIN_ERR_BLOCKED_SETCONDITION);
    return 0;
  }
  {
    Cache c = cache();
    if (!c.conditionValid || !c.optionValid || clk::elapsedSince(c.time) > 3000) refreshCondition();
    c = cache();
    if (!c.conditionValid || !c.optionValid) {
      elog(1, "Error: GetCondition failed in ScanClass::SetCondition");
      SetErrorCode(QUORIN_ERR_GETCONDITION_IN_SET);
      return 0;
    }
  }
  int depth = 16;
  bool invert = false;
  switch (para->image_photometrics) {
    case 0: depth = 12; break;
    case 1: depth = 12; invert = true; break;
    case 2: depth = 14; break;
    case 3: depth = 14; invert = true; break;
    case 4: depth = 16; invert = true; break;
    default: break;
  }
  const BlockFit fit = fitScanLength(std::uint32_t(para->height_mm), std::uint32_t(para->pitch_um));
  elog(9, "    Estimate_Scan height=%u  block_height_pixel=%u block=%u", fit.totalMm, fit.linesPerBlock,
       fit.blocks);
  if (fit.linesPerBlock < 8 || fit.blocks == 0) {
    elog(1, "Error: ScanClass::SetCondition, %u lines per block are too few.", fit.linesPerBlock);
    SetErrorCode(QUORIN_ERR_PARAMETER);
    return 0;
  }
  para->height_mm = std::int32_t(fit.totalMm);

  devapi::ScanCondition condition;
  devapi::KtGOption option;
  {
    std::lock_guard<std::mutex> lock(cacheMutex_);
    condition = cache_.condition;
    option = cache_.option;
    condition.width = std::uint32_t(para->width_mm);
    condition.height = fit.totalMm / fit.blocks;
    condition.mode = std::uint8_t(para->scan_mode - 1);
    condition.pitch = std::uint16_t(para->pitch_um & 0xFF);
    condition.out_bit_depth = std::uint8_t(depth);
    option.ScanOption = std::uint32_t(para->image_photometrics) * 65536u + std::uint32_t(para->erase_mode);
    option.HV = std::uint16_t(para->sensitivity);
    cache_.requested = condition;
    cache_.requestedOption = option;
    cache_.requestedTime = clk::tickCount();
    cache_.blockCount = fit.blocks;
  }
  depth_ = depth;
  invert_ = invert;

  if (settings_.mode == kModeTest) {
    {
      std::lock_guard<std::mutex> lock(cacheMutex_);
      cache_.requestedSet = true;
    }
    simulateCondition();
    return 1;
  }
  // A refused option is a failure too: the plate would be read with the old
  // photometrics, erase mode and sensitivity.
  const bool sent = dll_.SetCondition(&condition) == 1 && dll_.SetOption(&option) == 1;
  if (sent) {
    refreshCondition();
    events_.setAction();
  } else {
    state_ = kError;
  }
  return sent ? 1 : 0;
}

int ScanClass::GetCondition(get_scan_para* para) {
  if (para == nullptr) {
    SetErrorCode(QUORIN_ERR_PARAMETER);
    return 0;
  }
  Section section(*this, config_.engineLockMs);
  if (state_.load() == kScan) {
    elog(1, "Error: ScanClass::GetCondition, now status %s.", stateName(state_.load()).c_str());
    return 0;
  }
  const Cache c = cache();
  if (!c.conditionValid || !c.optionValid) return 0;
  const std::int64_t blockBytes = std::int64_t(c.pixelsPerLine) * c.linesPerBlock * 2;
  const std::int64_t height = std::int64_t(c.linesPerBlock) * c.blockCount;
  if (blockBytes > INT32_MAX || height > INT32_MAX || c.pixelsPerLine > INT32_MAX) return 0;
  para->width = std::int32_t(c.pixelsPerLine);
  para->height = std::int32_t(height);
  para->depth = depth_.load();
  para->blk_buff_sz = std::int32_t(blockBytes);
  para->blk_pix_w = std::int32_t(c.pixelsPerLine);
  para->blk_pix_h = std::int32_t(c.linesPerBlock);
  para->blk_n = std::int32_t(c.blockCount);
  para->SerialNumber = c.option.SerialNumber;
  return 1;
}

int ScanClass::Scan() {
  forgetScanFailure();
  bool keepRunningScan = false;
  bool ok = false;
  std::unique_lock<std::mutex> announcing;
  std::shared_ptr<BlockImageData> previous;  // the reader may still write the old blocks until ScanM returns
  {
    Section section(*this, config_.engineLockMs);
    if (state_.load() != kIdle) {
      elog(1, "Error: ScanClass::GetScanStatus, now status %s.", stateName(state_.load()).c_str());
      SetErrorCode(QUORIN_ERR_BLOCKED_SCAN);
      // A running scan is left alone; in any other state the refusal is an error.
      keepRunningScan = state_.load() == kScan;
    } else {
      state_ = kScan;
      supersedeScan();
      const Preview view = preview();
      const Cache c = cache();
      std::shared_ptr<BlockImageData> data;
      if (!clearPreview(view)) {
        SetErrorCode(QUORIN_ERR_MINISCREEN);
      } else if (c.pixelsPerLine == 0 || c.pixelsPerLine > 65535 || c.linesPerBlock == 0 ||
                 c.linesPerBlock > 65535) {
        elog(1, "Error: ScanClass::Scan, no usable geometry %ux%u.", unsigned(c.pixelsPerLine),
             unsigned(c.linesPerBlock));
        SetErrorCode(QUORIN_ERR_PARAMETER);
      } else if (!(data = BlockImageData::allocate(c.pixelsPerLine, c.linesPerBlock, c.blockCount,
                                                   std::uint32_t(depth_.load()), invert_.load()))) {
        SetErrorCode(QUORIN_ERR_MEMORY);
      } else {
        elog(6, "  Malloc %dx%d  %dBlock (Total %dbyte, %dx%d)", int(data->width), int(data->linesPerBlock),
             int(data->blockCount), int(data->totalBytes), int(data->width), int(data->totalLines()));
        devapi::BlockScanParam param{};
        param.buff_sz = std::uint32_t(data->totalBytes);
        param.buff_pp = data->table.data();
        param.pix_w = std::uint16_t(data->width);
        param.pix_h = std::uint16_t(data->linesPerBlock);
        param.out_bit_depth = std::uint8_t(data->depth);
        param.pixel_bit_n = 16;
        param.block_size = std::uint16_t(data->blockCount);
        nextBlock_ = 0;
        completedBlocks_ = 0;
        progress_.miniLine = 0;
        progress_.scanLine = 0;
        progress_.block = 0;
        progress_.processed = 0;
        progress_.info = 1;
        startTime_ = clk::tickCount();
        const int outputDepth = c.requested.out_bit_depth ? c.requested.out_bit_depth : depth_.load();
        bool ready = true;
        if (settings_.mode == kModeDemo) {
          if (!data->allocateDemoBlock()) {
            SetErrorCode(QUORIN_ERR_MEMORY);
            ready = false;
          } else {
            param.buff_pp = data->demoTable.data();
          }
        }
        {
          std::lock_guard<std::mutex> lock(dataMutex_);
          previous = std::move(blocks_);
          blocks_ = data;
          scanParam_ = param;
        }
        if (ready) {
          if (settings_.mode == kModeScan) {
            ok = dll_.ScanM(&param) == 1;
          } else if (settings_.mode == kModeTest) {
            stored_.fill(*data, outputDepth, invert_.load());
            ok = true;
          } else {
            stored_.fill(*data, outputDepth, invert_.load());
            ok = dll_.ScanM(&param) == 1;
          }
        }
      }
    }
    // Taken before the engine lock is left: the scanner thread, free to step
    // from then on, posts nothing for this scan before its start is posted.
    if (ok) announcing = std::unique_lock<std::mutex>(pumpMutex_);
  }
  if (ok) {
    elog(6, "Start: Scan");
    post(IDM_ACQUIRE_STARTED, 0, "PostMessage IDM_ACQUIRE_STARTED", 6);
    announcing.unlock();
    previous.reset();
    return 1;
  }
  previous.reset();
  if (keepRunningScan) return 0;
  elog(1, "Error: Scan failed");
  post(IDM_ACQUIRE_ERROR, 0, "PostMessage IDM_ACQUIRE_ERROR", 6);
  state_ = kError;
  return 0;
}

int ScanClass::GetScanStatus(scan_status* status) {
  if (status == nullptr) {
    SetErrorCode(QUORIN_ERR_PARAMETER);
    return 0;
  }
  const int state = state_.load();
  if (state == kError || state == kErase || state == kHardReset) return 0;
  Section section(*this, config_.engineLockMs);
  status->MiniLine = progress_.miniLine.load();
  status->ScanLine = progress_.scanLine.load();
  status->Block = progress_.block.load();
  status->info = progress_.info.load();
  return lastPollResult_.load();
}

int ScanClass::Erase() {
  forgetScanFailure();
  Section section(*this, config_.engineLockMs);
  if (state_.load() != kIdle) {
    elog(1, "Error: ScanClass::Erase, now status %s.", stateName(state_.load()).c_str());
    SetErrorCode(QUORIN_ERR_BLOCKED_ERASE);
    return 0;
  }
  state_ = kErase;
  int ok = 1;
  if (settings_.mode == kModeTest) {
    startTime_ = clk::tickCount();
  } else {
    ok = dll_.Erase();
    if (ok != 1) state_ = kError;
  }
  if (ok == 1)
    elog(6, "Success: Erase");
  else
    elog(1, "Error: Erase failed");
  return ok;
}

int ScanClass::Eject() {
  forgetScanFailure();
  Section section(*this, config_.engineLockMs);
  if (state_.load() != kIdle) {
    elog(1, "Error: ScanClass::Eject, now status %s.", stateName(state_.load()).c_str());
    SetErrorCode(QUORIN_ERR_BLOCKED_EJECT);
    return 0;
  }
  state_ = kEject;
  int ok = 1;
  if (settings_.mode == kModeTest) {
    clk::sleep(2000);
    state_ = kIdle;
  } else {
    ok = dll_.EjectFilm();
    state_ = ok == 1 ? kIdle : kError;
  }
  if (ok == 1)
    elog(6, "Success: Eject");
  else
    elog(1, "Error: Eject failed");
  return ok;
}

int ScanClass::ErrorReset() {
  SetErrorCode(0);
  forgetScanFailure();
  Section section(*this, config_.resetLockMs);
  supersedeScan();
  state_ = kHardReset;
  int ok = 1;
  if (settings_.mode == kModeTest) {
    clk::sleep(2000);
    state_ = kIdle;
  } else {
    ok = dll_.ClearHardError();
    state_ = ok == 1 ? kIdle : kError;
  }
  if (ok == 1)
    elog(6, "Success: ErrorReset");
  else
    elog(1, "Error: ErrorReset failed");
  return ok;
}

int ScanClass::GetBusyFlag(int* busy) {
  if (busy == nullptr) {
    SetErrorCode(QUORIN_ERR_PARAMETER);
    return 1;
  }
  const int state = state_.load();
  const int value = (state == kIdle || state == kError) ? 0 : 1;
  *busy = value;
  if (lastBusy_.exchange(value) != value) elog(6, value ? "  BusyFlag changed. TRUE" : "  BusyFlag changed. FALSE");
  return 1;
}

int ScanClass::GetBuffer(buffer_info* info) {
  if (info == nullptr) {
    SetErrorCode(QUORIN_ERR_PARAMETER);
    return 0;
  }
  auto data = blocks();
  if (!data) {
    info->blk_buff_sz = 0;
    info->blk_table = nullptr;
    info->blk_n = 0;
    return 1;
  }
  info->blk_buff_sz = std::int32_t(data->pixelsPerBlock * 2);
  info->blk_table = data->table.data();
  info->blk_n = std::int32_t(data->blockCount);
  return 1;
}

int ScanClass::GetIPSetFlag(int* flag) {
  if (flag == nullptr) {
    SetErrorCode(QUORIN_ERR_PARAMETER);
    return 0;
  }
  if (settings_.alwaysOnIpSetFlag > 0) {
    *flag = 1;
    return 1;
  }
  int result;
  if (state_.load() == kIdle) {
    Section section(*this, config_.engineLockMs);
    const Cache c = cache();
    result = c.conditionValid && c.optionValid ? 1 : 0;
    *flag = settings_.mode == kModeTest ? 1 : ((c.option.scanner_condition & 0x7F) == 1 ? 1 : 0);
    lastIpResult_ = result;
  } else {
    *flag = 0;
    result = lastIpResult_.load();
  }
  const int seen = result ? *flag : -1;
  if (lastIpFlag_.exchange(seen) != seen)
    elog(6, seen == 1 ? "  IPSetFlag changed. TRUE" : seen == 0 ? "  IPSetFlag changed. FALSE" : "  IPSetFlag unknown");
  return result;
}

int ScanClass::GetDeviceLogInfo(char* buffer, int size, int* length) {
  elog(6, "ScanClass::GetDeviceLogInfo logBuf=0x%lX logBufSize=%d logsize=0x%lX",
       static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(buffer)), size,
       static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(length)));
  if (buffer == nullptr || size <= 0) {
    elog(1, "Error: ScanClass::GetDeviceLogInfo logBuf==NULL logBufSize=%d", size);
    SetErrorCode(QUORIN_ERR_PARAMETER);
    return 0;
  }
  if (length == nullptr) {
    elog(1, "Error: ScanClass::GetDeviceLogInfo log_size==NULL");
    SetErrorCode(QUORIN_ERR_PARAMETER);
    return 0;
  }
  *length = 0;
  Section section(*this, config_.engineLockMs);
  int ok;
  if (settings_.mode == kModeTest) {
    static const std::string text =
        "--- start log ---\nThis is TEST MODE now.\nNo reader is attached; its log is simulated.\n--- end log ---\n";
    const std::size_t n = std::min<std::size_t>(text.size(), std::size_t(size) - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    *length = int(n);
    ok = 1;
  } else {
    devapi::DeviceLogBuffer log{std::uint32_t(size), buffer, 0};
    ok = dll_.GetLog(&log);
    if (ok == 1) *length = int(std::min<std::uint32_t>(log.log_sz, std::uint32_t(size)));
  }
  if (ok == 1)
    elog(6, "Success: GetDeviceLogInfo size=%d", *length);
  else
    elog(1, "Error: GetDeviceLogInfo failed");
  return ok;
}

int ScanClass::GetErrorString(int* code, char* text) {
  *code = 0;
  text[0] = '\0';
  std::uint32_t failure;
  {
    std::lock_guard<std::mutex> lock(errorMutex_);
    failure = errorCode_ == 0 ? scanFailure_ : 0;
  }
  if (failure != 0) SetErrorCode(failure);
  if (settings_.mode != kModeTest) {
    devapi::DeviceErrorString device{};
    if (dll_.GetErrorString(&device) != 1) {
      if (errorCode() == 0) SetErrorCode(QUORIN_ERR_ACTION_FAILED);
      *code = int(errorCode());
      copyBounded(text, 512, errorText());
      return 1;
    }
    if (device.code != 0) {
      *code = device.code;
      device.text[79] = '\0';
      copyBounded(text, 512, device.text);
      return 1;
    }
  }
  if (errorCode() != 0) {
    *code = int(errorCode());
    copyBounded(text, 512, errorText());
  }
  return 1;
}

}  // namespace crengine
