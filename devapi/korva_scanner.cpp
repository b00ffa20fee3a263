#include "devapi/korva_scanner.h"

#include <new>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>

#include "devapi/internal/driver_port.h"
#include "platform/clock.h"

namespace devapi {

namespace {

std::string timeStamp() {
  const platform::clock::LocalTime t = platform::clock::localTime();
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d ", t.hour % 100, t.minute % 100,
                t.second % 100, t.millisecond % 1000);
  return text;
}

std::string hex(unsigned value, int digits = 0) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*x", digits, value);
  return text;
}

}  // namespace

// ---------------------------------------------------------------------------
// OperationsLog

OperationsLog::OperationsLog(std::size_t limit) : limit_(limit) {}

void OperationsLog::write(std::string_view entry) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (text_.size() > limit_) text_.clear();
  if (entry.empty() || entry == "\n") {
    text_ += entry;
    return;
  }
  if (entry.front() == '\n') {
    text_ += '\n';
    entry.remove_prefix(1);
  }
  text_ += timeStamp();
  text_ += entry;
}

void OperationsLog::error(std::string_view text) {
  std::string entry = "ERROR: ";
  entry += text;
  entry += '\n';
  write(entry);
}

void OperationsLog::warning(std::string_view text) {
  std::string entry = "WARNING: ";
  entry += text;
  entry += '\n';
  write(entry);
}

std::string OperationsLog::text() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return text_;
}

// ---------------------------------------------------------------------------
// KorvaScanner

KorvaScanner::KorvaScanner(std::size_t logLimit)
    : driver(internal::makeDriver()), log(logLimit) {}

KorvaScanner::~KorvaScanner() {
  // Nothing the reader thread or the driver's threads write may go before they end.
  JoinReader();
  if (driverStarted_) StopDriver();
}

void KorvaScanner::JoinReader() {
  std::lock_guard<std::mutex> lock(readerMutex_);
  JoinReaderLocked();
}

void KorvaScanner::JoinReaderLocked() {
  if (reader_.joinable() && reader_.get_id() != std::this_thread::get_id()) reader_.join();
}

KorvaScanner::ReaderClaim KorvaScanner::ClaimReader() {
  ReaderClaim claim(readerMutex_);
  JoinReaderLocked();
  return claim;
}

OperationResult KorvaScanner::StartDriver() {
  const OperationResult r = driver.Start(&KorvaScanner::ReceiveMessage, this);
  driverStarted_ = r.category == 0;
  return r;
}

OperationResult KorvaScanner::StopDriver() {
  // Held until the buffer is freed: a scan racing the stop cannot start a
  // reader into it in between.
  ReaderClaim claim = ClaimReader();
  driverStarted_ = false;
  const OperationResult r = driver.Stop();
  if (r.category == 0) {
    std::lock_guard<std::mutex> lock(mutex);
    imageBuffer.reset();
    imageBufferBytes = 0;
  }
  return r;
}

void KorvaScanner::logErrorCode(OPERATION_ERROR_CODE code) {
  log.write("Error Code: 0x" + hex(code) + " - " + Pravik::GetErrorMessage(code) + "\n");
}

bool KorvaScanner::LogDriverResult(const char* operation, const OperationResult& r) {
  if (!operation || !*operation) {
    log.error("Invalid parameter at ProcessDriverResult.");
    return r.category == 0;
  }
  const std::string name = operation;
  switch (r.category) {
    case 0:
      log.write(name + " Successful\n");
      return true;
    case 1:
      log.write("ERROR: " + name + " Failed; Unrecoverable USB System Error\n");
      logErrorCode(r.code);
      log.error(
          "System error.\nPlease connect the scanner if it is in disconnected state.\n"
          "Otherwise reset it.");
      break;
    case 2:
      log.write("ERROR: " + name + " Failed; Asynchronous Error at Scanner\n");
      logErrorCode(r.code);
      log.error("Scanner error.\nPlease reset the error using ErrorReset command.");
      break;
    case 3:
      log.write("ERROR: " + name + " Failed; Synchronous Error at Scanner\n");
      logErrorCode(r.code);
      log.error("Scanner error.");
      break;
    case 4:
      log.write("ERROR: " + name + " Failed\n");
      logErrorCode(r.code);
      log.error("Other Error.");
      break;
    default:
      log.write("ERROR: " + name + " Failed\n");
      log.write("Unknown Status: 0x" + hex(unsigned(r.category)) + "\n");
      log.error("Unknown Error.");
      break;
  }
  return false;
}

bool KorvaScanner::ProcessDriverResult(const char* operation, const OperationResult& r) {
  // A failure never leaves "no error" behind, or a short scan would pass.
  lastResultCode = r.category != 0 && r.code == PRAVIK_NO_ERROR ? kUndefinedError : int(r.code);
  lastResultCategory = r.category;
  return LogDriverResult(operation, r);
}

void KorvaScanner::Fail(int code, const char* errorLine) {
  lastResultCode = code;
  lastResultCategory = 4;
  if (errorLine) log.error(errorLine);
}

int KorvaScanner::Refuse(const char* errorLine) {
  Fail(kIncorrectParameter, errorLine);
  return 0;
}

int KorvaScanner::Finish(const char* operation, const OperationResult& result) {
  return ProcessDriverResult(operation, result) ? 1 : 0;
}

bool KorvaScanner::RegionParameters(std::uint32_t pitch, std::uint64_t startX, std::uint64_t startY,
                                    std::uint64_t sizeX, std::uint64_t sizeY, ScanParameters& p) {
  if (startX > 0xFFFF || startY > 0xFFFF || sizeX > 0xFFFF || sizeY > 0xFFFF) return false;
  {
    std::lock_guard<std::mutex> lock(mutex);
    p = scanParameters;
  }
  p.ScanPitch = std::uint16_t(pitch);
  p.ScanStartAddressX = std::uint16_t(startX);
  p.ScanStartAddressY = std::uint16_t(startY);
  p.ScanXSize = std::uint16_t(sizeX);
  p.ScanYSize = std::uint16_t(sizeY);
  return true;
}

void KorvaScanner::ResetScanProgressLocked() {
  bytesReceived = 0;
  heldCancel = 0;
  blocksDone = 0;
}

bool KorvaScanner::UseLibraryBufferLocked(std::uint64_t bytes, std::uint64_t limit) {
  // Other readers of the buffer hold `mutex`, so it can go here.
  if (imageBuffer && imageBufferBytes != bytes) {
    imageBuffer.reset();
    imageBufferBytes = 0;
  }
  if (!imageBuffer) {
    if (bytes <= limit) imageBuffer.reset(new (std::nothrow) std::uint16_t[bytes / 2]);
    if (!imageBuffer) {
      Fail(kSystemCallFailed, "Memory Allocation Failed at Scan.");
      return false;
    }
    imageBufferBytes = bytes;
  }
  callerBuffer = imageBuffer.get();
  scanIntoLibraryBuffer = true;
  return true;
}

bool KorvaScanner::UseCallerBufferLocked(void* buffer, std::uint64_t size, std::uint64_t needed) {
  if (!buffer || size < needed) {
    Fail(kIncorrectParameter, "Memory Allocation Size Failed at Scan.");
    return false;
  }
  callerBuffer = static_cast<std::uint16_t*>(buffer);
  scanIntoLibraryBuffer = false;
  return true;
}

void KorvaScanner::ReceiveMessage(CALLBACK_MESSAGE message, void* data, void* context) {
  if (!context) {
    // Stands in for the error box of the original: nobody to tell but the console.
    std::fprintf(stderr, "Korva Scanner: Invalid parameter at ReceiveMessage.\n");
    return;
  }
  static_cast<KorvaScanner*>(context)->ProcessMessage(message, data);
}

// The interrupt's flags go to the log in one line; its error is kept until cleared.
void KorvaScanner::ProcessInterrupt(const InterruptInfo& info) {
  std::string line = "INTERRUPT: ";
  const std::pair<bool, const char*> flags[] = {
      {info.digitizerReady, "Digitizer Ready; "},
      {info.digitizerNotReady, "Digitizer Not Ready; "},
      {info.filmAvailable, "Film Available; "},
      {info.filmNotAvailable, "Film Not Available; "},
      {info.afSwitchOn, "AF Switch ON; "},
      {info.afSwitchOff, "AF Switch OFF; "},
      {info.filmSet, "Film Set; "},
      {info.filmReset, "Film Reset; "},
      {info.filmMoving, "Film Moving; "},
      {info.filmMovementCompleted, "Film Movement Completed; "},
      {info.genericCommandCompleted, "Generic Command Completed; "},
      {info.calibrationDone, "Calibration Done; "},
      {info.digitizerInitialized, "Digitizer Initialized; "},
      {info.scannerError, "Scanner Error; "},
      {info.errorCleared, "Error Cleared; "},
  };
  for (const auto& [set, text] : flags)
    if (set) line += text;
  line += "Code: 0x" + hex(info.statusWord, 4) + "\n";
  if (info.scannerError) {
    line += "\tError Code: 0x" + hex(info.errorCode) + "\n";
    line += "\tError String: " + info.errorText + "\n";
  }
  log.write(line);
  if (!info.scannerError && !info.errorCleared) return;
  std::lock_guard<std::mutex> lock(deviceErrorMutex);
  if (info.scannerError) deviceError = info.errorCode;
  if (info.errorCleared) deviceError = 0;
  ++deviceErrorChanges;
}

void KorvaScanner::CatchUpDeviceError() {
  std::uint64_t changes;
  {
    std::lock_guard<std::mutex> lock(deviceErrorMutex);
    if (deviceError != 0) return;
    changes = deviceErrorChanges;
  }
  SenseInfo sense;
  if (!LogDriverResult("RequestSense", driver.RequestSense(sense))) return;
  if (!sense.scannerError || sense.errorCode == 0) return;
  std::lock_guard<std::mutex> lock(deviceErrorMutex);
  // An interrupt handled since the sense is the newer word.
  if (deviceErrorChanges != changes) return;
  deviceError = int(sense.errorCode);
  ++deviceErrorChanges;
}

int KorvaScanner::ClearDeviceError() {
  std::lock_guard<std::mutex> lock(deviceErrorMutex);
  ++deviceErrorChanges;
  return deviceError.exchange(0);
}

void KorvaScanner::ProcessMessage(CALLBACK_MESSAGE message, void* data) {
  if (message >= INTERRUPT && message <= MAINTENANCE_PARAMETERS_RETRIEVED && !data) {
    log.error("Invalid parameter at ProcessMessage.");
    return;
  }
  switch (message) {
    case EVENT_SYSTEM_FAILED:
      log.write("Event System failed.\n");
      break;
    case EVENT_SYSTEM_FAILED_DEVICE_CLOSED:
      log.error("Event System failed and could not recover from the error.\nDevice is closed");
      break;
    case INTERRUPT:
      ProcessInterrupt(*static_cast<const InterruptInfo*>(data));
      break;
    case SCANNER_CONNECTED: {
      const auto* d = static_cast<const std::uint8_t*>(data);
      auto word = [d](int at) { return unsigned(d[at] | d[at + 1] << 8); };
      log.write("Connected to scanner\n\tVendor ID: " + hex(word(8), 4) + ", Product ID: " +
                hex(word(10), 4) + ", Version ID: " + hex(word(12), 4) + "\n");
      usbProductId = std::uint16_t(word(10));
      break;
    }
    case SCANNER_SELECTION: {
      log.write("SCANNER_SELECTION\n");
      auto* selection = static_cast<ScannerSelection*>(data);
      selectionAnswer = selection->scannersFound;
      selection->chosenScanner = selection->scannersFound;
      break;
    }
    case SCANNER_ATTACH_CONFIRMATION:
      log.write("SCANNER_ATTACH_CONFIRMATION\n");
      *static_cast<std::uint8_t*>(data) = 1;
      break;
    case SCAN_PARAMETERS_RETRIEVED: {
      log.write("Scan Parameters retrieved from the scanner.\n");
      std::lock_guard<std::mutex> lock(mutex);
      std::memcpy(&scanParameters, data, sizeof scanParameters);
      break;
    }
    case MAINTENANCE_PARAMETERS_RETRIEVED:
      log.write("Maintenance Parameters retrieved from the scanner.\n");
      serialNumber = static_cast<const MaintenanceParameters*>(data)->words[10];
      firmwareWord = static_cast<const MaintenanceParameters*>(data)->words[8];
      break;
    case SCANNER_READY:
      log.write("Scanner (SN: " + std::to_string(serialNumber.load()) +
                ") is ready for operation.");
      connected = true;
      ++connectionGeneration;
      break;
    case SCANNER_DISCONNECTED:
      connected = false;
      ++connectionGeneration;
      log.write("Scanner (SN: " + std::to_string(serialNumber.load()) + ") is disconnected.\n");
      break;
  }
}

void KorvaScanner::progress(std::int32_t pieces, bool signal) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    const std::uint64_t reached = std::uint64_t(pieces < 0 ? 0 : pieces) * 1048576u;
    if (reached > bytesReceived) bytesReceived = reached;
  }
  if (signal) dataEvent.set();
}

void KorvaScanner::SignallingProgress(std::int32_t pieces, void* context) {
  if (context) static_cast<KorvaScanner*>(context)->progress(pieces, true);
}

void KorvaScanner::QuietProgress(std::int32_t pieces, void* context) {
  if (context) static_cast<KorvaScanner*>(context)->progress(pieces, false);
}

int KorvaScanner::StartReaderThread(ReaderClaim&, std::function<void()> body) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    readerRunning = true;
    cancelHandOffOpen = true;
  }
  try {
    reader_ = std::thread(std::move(body));
  } catch (const std::system_error&) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      readerRunning = false;
      cancelHandOffOpen = false;
    }
    Fail(kSystemCallFailed, "Thread creation failed.");
    return 0;
  }
  return 1;
}

}  // namespace devapi
