// The one device object per process of a device library: the driver object
// first, then the scan state, the cached scan parameters, the kept result codes
// and the in-memory operations log. Shared by the CR reader and the film
// digitizer libraries; nothing here is particular to either.
#pragma once

#include <atomic>
#include <functional>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "driver/pravik.h"
#include "platform/sync.h"

namespace devapi {

// Codes of this layer, kept as the last result code.
inline constexpr int kIncorrectParameter = 513;
inline constexpr int kNoMatchingDevice = 516;
inline constexpr int kAlreadyOpen = 517;
inline constexpr int kSystemCallFailed = 521;
inline constexpr int kUndefinedError = 525;

// The operations log: only its most recent text is kept, in memory; it is
// cleared whenever it has grown past the library's limit.
class OperationsLog {
 public:
  explicit OperationsLog(std::size_t limit);
  OperationsLog(const OperationsLog&) = delete;
  OperationsLog& operator=(const OperationsLog&) = delete;

  // One entry, stamped with the local time unless it is empty or a lone line feed.
  void write(std::string_view entry);
  void error(std::string_view text);    // "ERROR: text\n"
  void warning(std::string_view text);  // "WARNING: text\n"

  std::string text() const;  // for diagnosis
  const std::string& name() const { return name_; }

 private:
  mutable std::mutex mutex_;
  std::string text_;
  std::string name_ = "SCAN_DLL.TXT";
  std::size_t limit_;
};

class KorvaScanner {
 public:
  explicit KorvaScanner(std::size_t logLimit);
  // The driver is stopped and the reader thread joined before anything else goes.
  ~KorvaScanner();
  KorvaScanner(const KorvaScanner&) = delete;
  KorvaScanner& operator=(const KorvaScanner&) = delete;

  // Stores the result as the last one and logs it; true on success (category 0).
  bool ProcessDriverResult(const char* operation, const OperationResult& result);
  // The same, but leaves the kept codes as they were (for the error queries).
  bool LogDriverResult(const char* operation, const OperationResult& result);
  void ProcessMessage(CALLBACK_MESSAGE message, void* data);
  // A failure of this layer (513, 521, ...) with its log line, if any.
  void Fail(int code, const char* errorLine = nullptr);
  // 513 with its log line, if any, and the exports' failure result 0.
  int Refuse(const char* errorLine = nullptr);
  // The exports' result of a driver call: 1 on success, else 0 with it kept.
  int Finish(const char* operation, const OperationResult& result);
  // A status query succeeds while no call failed and no device error waits.
  bool StatusQueryOk() const { return lastResultCode == 0 && deviceError == 0; }
  // A condition word read by a command can show the scanner's error before the
  // error's interrupt has been handled: the error is then asked of the scanner
  // and kept as its interrupt would keep it, so the error queries tell it at once.
  void CatchUpDeviceError();
  // Clears the kept asynchronous error; gives the one that was kept.
  int ClearDeviceError();
  // A status query: null `out` is refused; else `value()` is read under
  // `mutex` into it, and the query's result follows StatusQueryOk.
  template <typename T, typename Value>
  int ScanStatusQuery(T* out, Value value) {
    if (!out) return Refuse();
    {
      std::lock_guard<std::mutex> lock(mutex);
      *out = value();
    }
    return StatusQueryOk() ? 1 : 0;
  }
  // A scan claims the reader thread: the claim waits for the previous reader
  // and keeps other scans and joins out until this scan's reader has started
  // or the scan gives up, so the thread object is never joined and assigned at once.
  using ReaderClaim = std::unique_lock<std::mutex>;
  ReaderClaim ClaimReader();
  // Starts the reader thread with `body`, the cancel hand-off open; 0 (with 521)
  // when the thread cannot be made.
  int StartReaderThread(ReaderClaim& claim, std::function<void()> body);

  // The driver's lifecycle, in one place.
  OperationResult StartDriver();
  OperationResult StopDriver();

  // The message callback given to the driver: the context is the object.
  static void ReceiveMessage(CALLBACK_MESSAGE message, void* data, void* context);
  // Progress of a running scan, in 1-MiB pieces: bytes received grows to at
  // least pieces x 1 MiB; the signalling form also wakes the buffer reader.
  static void SignallingProgress(std::int32_t pieces, void* context);
  static void QuietProgress(std::int32_t pieces, void* context);

  // Waits for the reader thread of the last scan, if any.
  void JoinReader();

  // The cached scan parameters with the region of a new condition: its pitch,
  // start and size in pixels. False when a value does not fit the scanner's
  // 16-bit words: it is refused rather than cut. Takes `mutex`.
  bool RegionParameters(std::uint32_t pitch, std::uint64_t startX, std::uint64_t startY, std::uint64_t sizeX,
                        std::uint64_t sizeY, ScanParameters& p);

  // The preamble steps every scan of both scanners shares, under `mutex`.
  // A new scan's progress starts from nothing, with no cancel held.
  void ResetScanProgressLocked();
  // The scan goes into the library's own buffer of `bytes` (kept when it has
  // that size already); false, with 521, when no such buffer can be had.
  bool UseLibraryBufferLocked(std::uint64_t bytes, std::uint64_t limit = UINT64_MAX);
  // The scan goes into the caller's buffer of `size` bytes, which must hold
  // `needed`; false, with 513, when it is missing or too small.
  bool UseCallerBufferLocked(void* buffer, std::uint64_t size, std::uint64_t needed);

  // --- fields, in the order of the original object ---
  Pravik driver;
  std::atomic<bool> connected{false};
  std::atomic<std::uint16_t> serialNumber{0};
  ScanSize loadedFilmSize{};

  // Scan state, under `mutex` (the reader thread and the progress threads write it).
  std::unique_ptr<std::uint16_t[]> imageBuffer;
  std::uint64_t imageBufferBytes = 0;
  std::uint16_t* callerBuffer = nullptr;
  std::uint64_t expectedBytes = 0;
  std::uint64_t imageBytes = 0;
  std::uint64_t bytesReceived = 0;
  std::uint64_t readCursor = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t bytesPerSample = 0;
  // A cancel that arrives while the reader thread's scan command runs is held
  // here and sent by the reader when the command returns.
  std::uint16_t heldCancel = 0;
  // True while the reader thread can still take a held cancel.
  bool cancelHandOffOpen = false;
  // Which scan filled what: Scan reads through the library's buffer only.
  bool scanIntoLibraryBuffer = false;
  // Blocks of a multi-block scan, and blocks done.
  std::uint32_t blockCount = 0;
  std::uint32_t blocksDone = 0;

  std::mutex mutex;
  platform::AutoResetEvent dataEvent;

  // Cached scan parameters (written by message 6 as well, so under `mutex`)
  // and the calibration words passed with every scan.
  ScanParameters scanParameters{};
  CalibrationParameters calibration{};

  std::atomic<int> lastResultCode{0};
  std::atomic<int> lastResultCategory{0};
  std::atomic<int> deviceError{0};  // asynchronous device error, 0 = none
  // Guards the changes of deviceError and counts them, so an error caught up
  // by a command never overwrites what an interrupt told meanwhile.
  std::mutex deviceErrorMutex;
  std::uint64_t deviceErrorChanges = 0;

  std::atomic<int> selectionAnswer{0};
  // What the CR reader's library keeps of messages 3 and 7: the USB product id
  // and word 8 of the maintenance parameters (the firmware word).
  std::atomic<std::uint16_t> usbProductId{0};
  std::atomic<std::uint16_t> firmwareWord{0};
  // Changes on every connection and disconnection, so caches of the scanner's
  // tables know when they are stale.
  std::atomic<std::uint32_t> connectionGeneration{0};

  OperationsLog log;
  std::atomic<bool> readerRunning{false};

 private:
  bool driverStarted_ = false;
  // The reader thread object, under readerMutex_.
  std::mutex readerMutex_;
  std::thread reader_;
  void JoinReaderLocked();
  void logErrorCode(OPERATION_ERROR_CODE code);
  void progress(std::int32_t pieces, bool signal);
  void ProcessInterrupt(const InterruptInfo& info);
};

}  // namespace devapi
