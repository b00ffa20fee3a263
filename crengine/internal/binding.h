// The engine's binding of the CR device library: loaded by base name, fifteen
// functions bound by name, every call logged, serialised by the binding lock
// and handed device handle 0.
#pragma once

#include "devapi/cr/zentrac_functions.h"
#include "devapi/records.h"

#include "platform/library.h"
#include "platform/sync.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace crengine {

// How the device library is opened: dlopen in the engine, a table in some tests.
class DeviceLoader {
 public:
  virtual ~DeviceLoader() = default;
  virtual bool open(const std::string& baseName) = 0;
  virtual void* symbol(const char* name) = 0;
  virtual bool close() = 0;
  virtual std::string errorText() = 0;
  // Full path of the loaded file ("" when unknown).
  virtual std::string path() = 0;
};

// Opens with platform::Library: beside the engine first, then the default search.
std::unique_ptr<DeviceLoader> makeLibraryLoader();

// Last-write time of a file as local "YYYY/MM/DD hh:mm:ss" ("" when not found).
std::string fileTimeText(const std::string& path);

class ZentracDll {
 public:
  enum Result { kOk = 0, kLoadFailed = 1, kNotBound = 2, kFreeFailed = 3, kNotConnected = 4, kCallFailed = 5 };

  struct Timeouts {
    std::uint32_t lockMs = 10000;
    std::uint32_t clearHardErrorLockMs = 2000;
  };

  ZentracDll(std::unique_ptr<DeviceLoader> loader, std::string baseName, Timeouts timeouts);
  ~ZentracDll();
  ZentracDll(const ZentracDll&) = delete;
  ZentracDll& operator=(const ZentracDll&) = delete;

  int LoadDLL();
  int FreeDLL();
  bool loaded() const { return loaded_.load(); }
  bool connected() const { return connected_.load(); }
  int result() const { return result_.load(); }

  int New(devapi::DeviceNewParam* param);
  int Delete();
  int SetCondition(devapi::ScanCondition* condition);
  int GetCondition(devapi::ScanCondition* condition);
  int ScanM(devapi::BlockScanParam* param);
  int GetScanStatusM(std::int32_t* blocks);
  int Erase();
  int EjectFilm();
  int ClearHardError();
  int GetLog(devapi::DeviceLogBuffer* log);
  int SetOption(devapi::KtGOption* option);
  int GetOption(devapi::KtGOption* option);
  int GetScannerType(devapi::ScannerTypeInfo* info);
  int EightLine(devapi::BlockScanParam* param);
  // Needs no connection and takes no lock; the text is cut to 79 characters.
  int GetErrorString(devapi::DeviceErrorString* error);

 private:
  struct Functions {
    std::atomic<zentrac::NewFn> New{nullptr};
    std::atomic<zentrac::DeleteFn> Delete{nullptr};
    std::atomic<zentrac::SetConditionFn> SetCondition{nullptr};
    std::atomic<zentrac::GetConditionFn> GetCondition{nullptr};
    std::atomic<zentrac::ScanMFn> ScanM{nullptr};
    std::atomic<zentrac::GetScanStatusMFn> GetScanStatusM{nullptr};
    std::atomic<zentrac::EraseFn> Erase{nullptr};
    std::atomic<zentrac::EjectFilmFn> EjectFilm{nullptr};
    std::atomic<zentrac::GetErrorStringFn> GetErrorString{nullptr};
    std::atomic<zentrac::ClearHardErrorFn> ClearHardError{nullptr};
    std::atomic<zentrac::GetLogFn> GetLog{nullptr};
    std::atomic<zentrac::SetOptionFn> SetOption{nullptr};
    std::atomic<zentrac::GetOptionFn> GetOption{nullptr};
    std::atomic<zentrac::GetScannerTypeFn> GetScannerType{nullptr};
    std::atomic<zentrac::EightLineFn> EightLine{nullptr};
  };
  void clearFunctions();
  // What differs between the calls of the reader library's functions.
  struct CallSpec {
    const char* name;
    bool logEntry = true;          // "Function Call: ..." first
    bool needConnection = true;
    bool hardErrorLock = false;    // waits the shorter ClearHardError time for the lock
    int successLevel = 6;
    const char* successLine = "Success: %s";    // null: the after step logs it
    const char* failureLine = "Error: %s failed.";
    // A polled call reports its failure once, until it succeeds again.
    std::atomic<bool>* lastOk = nullptr;
  };
  // The one call path: the entry line, the bound and connection checks, the
  // before step, the call under the binding lock (or without it after the
  // time-out), the result lines and the after step (told the outcome).
  template <typename Fn, typename Before, typename After, typename... Args>
  int call(const CallSpec& spec, const std::atomic<Fn>& fn, Before before, After after, Args... args);
  void logDeviceError();

  std::unique_ptr<DeviceLoader> loader_;
  std::string baseName_;
  Timeouts timeouts_;
  Functions fn_;
  std::atomic<bool> loaded_{false};
  std::atomic<bool> connected_{false};
  std::atomic<int> result_{kOk};
  std::atomic<bool> getConditionOk_{true};
  std::atomic<bool> getOptionOk_{true};
  platform::PolledRecursiveLock lock_;
  static constexpr int kHandle = 0;
};

}  // namespace crengine
