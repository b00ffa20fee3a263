// The fifteen exports: the common frame of each around one engine operation.
#include "crengine/quorin.h"

#include "crengine/internal/elog.h"
#include "crengine/internal/exports.h"

#include "platform/version.h"

#include <algorithm>
#include <atomic>
#include <dlfcn.h>
#include <filesystem>
#include <mutex>
#include <string>

namespace crengine {
namespace {

std::atomic<bool> initialisedFlag{false};
std::mutex engineMutex;

// Why the last start failed. Before an engine runs, this is the only error a
// host can be told, so QuorinGetErrorInformation gives it until the next start.
struct StartFailure {
  std::mutex mutex;
  std::uint32_t code = 0;
  std::string text;

  void keep(std::uint32_t c, std::string t) {
    std::lock_guard<std::mutex> lock(mutex);
    code = c;
    text = std::move(t);
  }
  void clear() { keep(0, {}); }
};

StartFailure& startFailure() {
  static StartFailure f;
  return f;
}

// Stops the engine's scanner thread before the engine goes. A thread given up
// inside the reader still refers to the engine and runs the reader library's
// code: then the engine is kept, and the library stays loaded with it.
// Returns the engine when it may be deleted.
ScanClass* stoppedForDeletion(ScanClass* e) {
  if (e == nullptr) return nullptr;
  e->StopScannerThread();
  return e->abandonedThreads() == 0 ? e : nullptr;
}

// Lives as long as the library: ends with it, or with the process, also when
// the host never called QuorinScannerFinish.
struct Holder {
  ScanClass* engine = nullptr;
  ~Holder() { retire(); }
  void retire() {
    delete stoppedForDeletion(engine);
    engine = nullptr;
  }
};

Holder& holder() {
  static Holder h;
  return h;
}

// Made when the library loads, as the settings are read then.
const bool createdAtLoad = (engine(), true);

template <typename Op>
int frame(const char* logName, const char* successLine, const char* failureLine, Op op) {
  elog(9, "Start: %s", logName);
  if (!initialisedFlag.load()) {
    engine().SetErrorCode(QUORIN_ERR_NOT_INITIALIZED);
    elog(9, "End: %s", logName);
    return 0;
  }
  engine().SetErrorCode(0);
  const int result = op();
  if (result)
    elog(9, "%s", successLine);
  else
    elog(1, "%s", failureLine);
  elog(9, "End: %s", logName);
  return result;
}

// The host may have configured the shared log first: then its settings stay.
void setUpLog() {
  LogSink& sink = logSink();
  const std::string name = sink.logFileName();
  if (name.empty() || name.find("\\logFile_") != std::string::npos || name.find("/logFile_") != std::string::npos) {
    std::error_code ec;
    std::string dir = std::filesystem::current_path(ec).string();
    if (dir.empty() || dir.back() != '/') dir += '/';
    sink.configureDefault(dir);
  }
  if (auto level = readLogLevel(engine().iniFile())) setEngineLogLevel(*level);
  sink.setFacilityLevel(engineLogLevel());
}

void logModule() {
  Dl_info info{};
  std::string path;
  if (::dladdr(reinterpret_cast<const void*>(&QuorinScannerInintialize), &info) != 0 && info.dli_fname != nullptr)
    path = info.dli_fname;
  elog(6, "  %s version:%s  timestamp:%s", path.c_str(), platform::kVersion, fileTimeText(path).c_str());
}

}  // namespace

ScanClass& engine() {
  std::lock_guard<std::mutex> lock(engineMutex);
  Holder& h = holder();
  if (h.engine == nullptr) h.engine = new ScanClass(EngineConfig::forProcess());
  return *h.engine;
}

std::unique_ptr<ScanClass> installEngine(std::unique_ptr<ScanClass> replacement) {
  (void)createdAtLoad;
  std::lock_guard<std::mutex> lock(engineMutex);
  Holder& h = holder();
  ScanClass* old = h.engine;
  h.engine = replacement.release();
  startFailure().clear();
  return std::unique_ptr<ScanClass>(stoppedForDeletion(old));
}

void retireEngine() {
  std::lock_guard<std::mutex> lock(engineMutex);
  holder().retire();
}

bool initialised() { return initialisedFlag.load(); }
void setInitialised(bool value) { initialisedFlag = value; }

}  // namespace crengine

using crengine::elog;
using crengine::engine;

extern "C" {

int QuorinScannerInintialize(std::uintptr_t window) {
  const char* name = "QuorinScannerInitialize";
  elog(9, "Start: %s", name);
  crengine::setUpLog();
  crengine::logModule();
  if (crengine::initialisedFlag.load()) {
    engine().SetErrorCode(QUORIN_ERR_ALREADY_INITIALIZED);
    elog(9, "End: %s", name);
    return 0;
  }
  engine().SetErrorCode(0);
  const int result = engine().Init(window);
  if (result) {
    crengine::initialisedFlag = true;
    crengine::startFailure().clear();
    elog(9, "scanclass.Init() success");
  } else {
    std::uint32_t code = engine().errorCode();
    // A start that failed without naming why still failed.
    if (code == 0) engine().SetErrorCode(code = QUORIN_ERR_SCANNER_INIT);
    crengine::startFailure().keep(code, engine().errorText());
    elog(3, "scanclass.Init() failed");
  }
  elog(9, "End: %s", name);
  return result;
}

int QuorinScannerFinish() {
  return crengine::frame("QuorinScannerFinish", "scanclass.Finish() success", "scanclass.Finish() failed", [] {
    const int result = engine().Finish();
    if (result) crengine::initialisedFlag = false;
    return result;
  });
}

int QuorinSetMiniscreenInfo(miniscreen_info* info) {
  return crengine::frame("QuorinSetMiniscreenInfo", "scanclass.SetMiniscreenInfo success",
                         "scanclass.SetMiniscreenInfo failed", [&] { return engine().SetMiniscreenInfo(info); });
}

int QuorinSetScanPara(set_scan_para* para) {
  return crengine::frame("QuorinSetScanPara", "scanclass.SetCondition success", "scanclass.SetCondition failed",
                         [&] { return engine().SetCondition(para); });
}

int QuorinGetScanPara(get_scan_para* para) {
  return crengine::frame("QuorinGetScanPara", "scanclass.GetCondition success", "scanclass.GetCondition failed",
                         [&] { return engine().GetCondition(para); });
}

int QuorinScan() {
  return crengine::frame("QuorinScan", "scanclass.Scan success", "scanclass.Scan failed",
                         [] { return engine().Scan(); });
}

int QuorinGetScanningStatus(scan_status* status) {
  return crengine::frame("QuorinGetScanningStatus", "scanclass.GetScanStatus success",
                         "scanclass.GetScanStatus failed", [&] { return engine().GetScanStatus(status); });
}

int QuorinErase() {
  return crengine::frame("QuorinErase", "scanclass.Erase success", "scanclass.Erase failed",
                         [] { return engine().Erase(); });
}

int QuorinEject() {
  return crengine::frame("QuorinEject", "scanclass.Eject success", "scanclass.Eject failed",
                         [] { return engine().Eject(); });
}

int QuorinErrorReset() {
  // The reset clears the engine error inside its own step.
  const char* name = "QuorinErrorReset";
  elog(9, "Start: %s", name);
  if (!crengine::initialisedFlag.load()) {
    engine().SetErrorCode(QUORIN_ERR_NOT_INITIALIZED);
    elog(9, "End: %s", name);
    return 0;
  }
  const int result = engine().ErrorReset();
  if (result)
    elog(9, "scanclass.ErrorReset success");
  else
    elog(1, "scanclass.ErrorReset failed");
  elog(9, "End: %s", name);
  return result;
}

int QuorinGetErrorInformation(int* code, char* text) {
  const char* name = "QuorinGetErrorInformation";
  elog(9, "Start: %s", name);
  const bool running = crengine::initialisedFlag.load();
  crengine::StartFailure& failure = crengine::startFailure();
  std::unique_lock<std::mutex> failed(failure.mutex);
  if (!running && failure.code == 0) {
    failed.unlock();
    engine().SetErrorCode(QUORIN_ERR_NOT_INITIALIZED);
    elog(9, "End: %s", name);
    return 0;
  }
  // Checked although the host always passes both: a null would crash the host's process.
  if (code == nullptr || text == nullptr) {
    failed.unlock();
    engine().SetErrorCode(QUORIN_ERR_PARAMETER);
    elog(1, "Error: scanclass.GetErrorString failed.");
    elog(9, "End: %s", name);
    return 0;
  }
  int result = 1;
  if (running) {
    failed.unlock();
    result = engine().GetErrorString(code, text);
  } else {
    *code = int(failure.code);
    const std::size_t n = std::min<std::size_t>(failure.text.size(), 511);
    failure.text.copy(text, n);
    text[n] = '\0';
    failed.unlock();
  }
  if (!result)
    elog(1, "Error: scanclass.GetErrorString failed.");
  else if (*code != 0)
    elog(3, "  error_code=0x%08X error_msg=%s", unsigned(*code), text);
  else
    elog(6, "  error_code=0");
  elog(9, "End: %s", name);
  return result;
}

int QuorinGetDeviceLogInfo(char* buffer, int bufferSize, int* logSize) {
  return crengine::frame("QuorinGetDeviceLogInfo", "scanclass.GetDeviceLogInfo success",
                         "scanclass.GetDeviceLogInfo failed",
                         [&] { return engine().GetDeviceLogInfo(buffer, bufferSize, logSize); });
}

int QuorinGetBusyFlag(int* busy) {
  const char* name = "QuorinGetBusyFlag";
  elog(9, "Start: %s", name);
  if (!crengine::initialisedFlag.load()) {
    engine().SetErrorCode(QUORIN_ERR_NOT_INITIALIZED);
    elog(9, "End: %s", name);
    return 0;
  }
  engine().SetErrorCode(0);
  const int result = engine().GetBusyFlag(busy);
  if (result)
    elog(9, "scanclass.GetBusyFlag success %d", busy ? *busy : 0);
  else
    elog(1, "scanclass.GetBusyFlag failed");
  elog(9, "End: %s", name);
  return result;
}

int QuorinGetBuffer(buffer_info* info) {
  return crengine::frame("QuorinGetBuffer", "scanclass.GetBuffer success", "scanclass.GetBuffer failed",
                         [&] { return engine().GetBuffer(info); });
}

int QuorinGetIPSetFlag(int* flag) {
  if (!crengine::initialisedFlag.load()) {
    engine().SetErrorCode(QUORIN_ERR_NOT_INITIALIZED);
    return 0;
  }
  engine().SetErrorCode(0);
  return engine().GetIPSetFlag(flag);
}

}  // extern "C"
