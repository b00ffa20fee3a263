// The engine: states, the scanner thread, the condition cache, the scan, erase,
// eject and error-reset operations and the block pump.
#pragma once

#include "crengine/internal/binding.h"
#include "crengine/internal/image.h"
#include "crengine/internal/settings.h"
#include "devapi/cr/zentrac_functions.h"
#include "devapi/records.h"
#include "crengine/quorin.h"

#include "platform/messages.h"
#include "platform/sync.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace crengine {

enum State { kIdle = 1, kScan = 2, kScanErase = 3, kError = 4, kErase = 5, kEject = 6, kHardReset = 7, kStarting = 8 };
std::string stateName(int state);

// What tests replace: where the settings are, how the device library is
// opened, the lock limits and the stop window, and whether Init starts the thread.
struct EngineConfig {
  std::filesystem::path iniFile;     // HalcyoneHard.ini
  std::filesystem::path programDir;  // base of relative stored-image directories
  std::string deviceLibrary = "Zentrac.dll";
  std::unique_ptr<DeviceLoader> loader;  // null: dlopen
  std::uint32_t engineLockMs = 30000;
  std::uint32_t resetLockMs = 2000;
  std::uint32_t bindingLockMs = 10000;
  std::uint32_t clearHardErrorLockMs = 2000;
  int stopPolls = 100;
  std::uint32_t stopPollMs = 100;
  bool startThread = true;

  // The process's engine: the ini file beside the host program.
  static EngineConfig forProcess();
};

// The scanner thread's two events: stop and act now. One wait sees either.
class ThreadEvents {
 public:
  static constexpr const char* kStopName = "END_SCANTHREAD_QRT20080520";
  static constexpr const char* kActionName = "ACTION_SCANTHREAD_QRT20080520";
  enum Wake { kStop, kAction, kTimeout };
  void setStop();
  void setAction();
  void reset();
  Wake wait(std::uint32_t timeoutMs);

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool stop_ = false;
  bool action_ = false;
};

class ScanClass {
 public:
  explicit ScanClass(EngineConfig config);
  ~ScanClass();
  ScanClass(const ScanClass&) = delete;
  ScanClass& operator=(const ScanClass&) = delete;

  int Init(platform::WindowHandle window);
  int Finish();
  int SetMiniscreenInfo(const miniscreen_info* info);
  int SetCondition(set_scan_para* para);
  int GetCondition(get_scan_para* para);
  int Scan();
  int GetScanStatus(scan_status* status);
  int Erase();
  int Eject();
  int ErrorReset();
  int GetBusyFlag(int* busy);
  int GetBuffer(buffer_info* info);
  int GetIPSetFlag(int* flag);
  int GetDeviceLogInfo(char* buffer, int size, int* length);
  int GetErrorString(int* code, char* text);
  int StopScannerThread();

  // The scanner thread's work, callable by tests without the thread.
  void firstCheck();
  void step();

  // Engine error (code 0 clears).
  void SetErrorCode(std::uint32_t code);
  std::uint32_t errorCode();
  std::string errorText();

  int state() const { return state_.load(); }
  int mode() const { return settings_.mode; }
  std::uint32_t idleMs() const { return std::uint32_t(settings_.idleMs); }
  const std::filesystem::path& iniFile() const { return config_.iniFile; }
  // Threads given up at a stop that are still running.
  int abandonedThreads() const { return abandonedRunning_.load(); }

 private:
  struct Cache {
    devapi::ScanCondition condition{};
    devapi::KtGOption option{};
    std::uint32_t time = 0;
    bool conditionValid = false;
    bool optionValid = false;
    std::uint16_t lastScannerCondition = 0;
    // Requested records, the stand-in for the reader in Test mode.
    devapi::ScanCondition requested{};
    devapi::KtGOption requestedOption{};
    std::uint32_t requestedTime = 0;
    bool requestedSet = false;
    std::uint32_t blockCount = 1;
    std::uint32_t pixelsPerLine = 0;
    std::uint32_t linesPerBlock = 0;
  };

  // The engine lock, taken by polling; the call proceeds after the time-out.
  class Section {
   public:
    Section(ScanClass& engine, std::uint32_t timeoutMs);
    ~Section() { leave(); }
    void leave();

   private:
    ScanClass& engine_;
    bool locked_;
  };

  void threadMain(std::uint64_t generation);
  bool abandoned() const;  // the calling thread was given up by a stop
  bool refreshCondition();
  void simulateCondition();
  bool progressPoll(std::uint64_t scan);
  void blockPump(std::uint64_t scan);
  // Ends scan `scan` as failed; a non-zero code is recorded as its failure.
  void pumpErrorExit(std::uint64_t scan, std::uint32_t code = 0);
  void forgetScanFailure();
  // Runs a write of the scanner thread for scan `scan` only while that scan is
  // the current one; false, and nothing written, once it was superseded.
  template <typename Write>
  bool ifCurrent(std::uint64_t scan, Write write);
  void supersedeScan();
  void post(std::uint32_t id, std::intptr_t lParam, const char* logLine, int level);
  Cache cache();
  std::shared_ptr<BlockImageData> blocks();
  Preview preview();
  std::uint32_t elapsedSinceStart() const;
  std::uint32_t simulatedEraseMs();

  EngineConfig config_;
  Settings settings_;
  ZentracDll dll_;
  StoredImages stored_;
  std::atomic<int> state_{kStarting};
  std::atomic<platform::WindowHandle> window_{0};

  std::mutex cacheMutex_;  // short copies only, never held across a device call
  Cache cache_;

  std::mutex dataMutex_;
  std::shared_ptr<BlockImageData> blocks_;
  devapi::BlockScanParam scanParam_{};
  Preview preview_;

  std::atomic<int> depth_{16};
  std::atomic<bool> invert_{false};

  std::atomic<int> lastPollResult_{0};
  std::atomic<std::uint32_t> lastPollTime_{0};
  std::atomic<std::uint32_t> completedBlocks_{0};
  std::atomic<std::uint32_t> nextBlock_{0};
  std::atomic<std::uint32_t> startTime_{0};
  Progress progress_;
  // Each scan and each error reset begins a new generation; the pump, which
  // runs outside the engine lock, writes only for its own.
  std::mutex pumpMutex_;
  std::atomic<std::uint64_t> scanGeneration_{0};

  std::mutex errorMutex_;
  std::uint32_t errorCode_ = 0;
  std::string errorText_;
  // The error that ended the last scan. Every export clears the engine error,
  // and the host may still be answering the scan's earlier notifications when
  // it fails: this one is kept for the error query until the next action.
  std::uint32_t scanFailure_ = 0;

  std::atomic<int> lastBusy_{-1};
  std::atomic<int> lastIpFlag_{-1};
  std::atomic<int> lastIpResult_{0};

  ThreadEvents events_;
  platform::PolledRecursiveLock lock_;

  std::mutex threadMutex_;
  std::condition_variable threadEnd_;
  std::thread thread_;
  std::atomic<bool> threadEnded_{false};
  std::atomic<int> threadExitCode_{0};
  std::atomic<std::uint64_t> generation_{0};
  std::atomic<int> abandonedRunning_{0};
};

}  // namespace crengine
