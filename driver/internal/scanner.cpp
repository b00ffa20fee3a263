#include "driver/internal/scanner.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <new>
#include <vector>

#include "driver/internal/trace.h"

namespace pravik {

namespace {

constexpr const char* kSource = "Scanner";
constexpr std::uint32_t kPostedWaitMs = 5000;
// A failing interrupt pipe is retried, but not in a tight loop.
constexpr auto kRetryPause = std::chrono::milliseconds(100);
// Arrivals kept for one command; a scanner that floods interrupts loses the oldest.
constexpr std::size_t kMaxArrivals = 4096;

using I = InterruptInfo;

CommandInfo row(std::uint32_t code, std::uint16_t direction, std::int32_t length, bool shortOk,
                bool I::*first = nullptr, bool I::*second = nullptr) {
  return {code, direction, length, shortOk, first != nullptr, first, second};
}

void putWord(std::uint8_t* p, std::uint16_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
}

std::string deviceText(const std::uint8_t* bytes, std::size_t max) {
  std::size_t n = 0;
  while (n < max && bytes[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(bytes), n);
}

}  // namespace

const std::array<CommandInfo, kCommandRows>& commandTable() {
  constexpr std::uint16_t W = 0, R = kDirectionRead;
  static const std::array<CommandInfo, kCommandRows> table = {
      row(1, W, 16, false),                                   // 0 initialise
      row(2, W, 32, false),                                   // 1 set scan parameters
      row(3, W, 6, false, &I::filmSet),                       // 2 film set
      row(4, W, 6, false, &I::calibrationDone),               // 3 calibrate
      row(5, R, -1, false),                                   // 4 scan with header
      row(6, R, 48, false),                                   // 5 film status
      row(7, W, 0, false, &I::filmReset),                     // 6 reset film
      row(8, W, 4, false, &I::filmMoving, &I::filmMovementCompleted),  // 7 move film
      row(9, W, 4, false, &I::errorCleared),                  // 8 reset error
      row(16, W, -1, false),                                  // 9 set scan table
      row(17, R, -1, true),                                   // 10 read scan table
      row(18, W, 32, false),                                  // 11 set maintenance parameters
      row(19, R, 32, false),                                  // 12 read maintenance parameters
      row(20, W, -1, false),                                  // 13 set scan program
      row(21, R, -1, true),                                   // 14 read scan program
      row(22, W, -1, false),                                  // 15 set scan EEPROM
      row(23, R, -1, true),                                   // 16 read scan EEPROM
      row(24, W, -1, false),                                  // 17 set device program
      row(25, R, -1, true),                                   // 18 read log file
      row(32, W, -1, false),                                  // 19 set device EEPROM
      row(33, R, -1, true),                                   // 20 read device EEPROM
      row(34, R, 48, false),                                  // 21 diagnose
      row(35, R, 34, false),                                  // 22 request sense
      row(36, R, 32, false),                                  // 23 read scan parameters
      row(128, R, -1, false),                                 // 24 scan without header
      row(129, R, -1, false),                                 // 25 scan in blocks
  };
  return table;
}

bool commandRow(std::int32_t command, COMMAND_TYPE type, CommandInfo& out) {
  if (type == TABLE_COMMAND) {
    if (command < 0 || command >= kCommandRows) return false;
    out = commandTable()[std::size_t(command)];
    return true;
  }
  if (type < RAW_READ || type > RAW_READ_VARIABLE_WAIT) return false;
  // The code shares the command word with the direction bit and the prefix and
  // echo bits, so it must fit in the low byte.
  if (command < 0 || command > 0xFF) return false;
  const bool write = type == RAW_WRITE || type == RAW_WRITE_WAIT;
  const bool shortOk = type == RAW_READ_VARIABLE || type == RAW_READ_VARIABLE_WAIT;
  const bool waits = type >= RAW_READ_WAIT;
  out = row(std::uint32_t(command), write ? 0 : kDirectionRead, -1, shortOk,
            waits ? &I::genericCommandCompleted : nullptr);
  return true;
}

InterruptInfo decodeInterrupt(const std::uint8_t* packet, std::uint16_t previousWord,
                              const InterruptInfo& last) {
  const std::uint16_t n = std::uint16_t(packet[0] | packet[1] << 8);
  const std::uint16_t p = previousWord;
  auto bit = [](std::uint16_t w, int b) { return ((w >> b) & 1) != 0; };
  auto rise = [&](int b) { return bit(n, b) && !bit(p, b); };
  auto fall = [&](int b) { return !bit(n, b) && bit(p, b); };
  InterruptInfo info;
  info.digitizerReady = rise(0);
  info.digitizerNotReady = fall(0);
  info.filmAvailable = rise(1);
  info.filmNotAvailable = fall(1);
  info.afSwitchOn = rise(2);
  info.afSwitchOff = fall(2);
  info.filmSet = bit(n, 3);
  info.filmReset = bit(n, 4);
  info.filmMoving = rise(5);
  info.filmMovementCompleted = fall(5);
  info.genericCommandCompleted = bit(n, 6);
  info.calibrationDone = bit(n, 7);
  info.digitizerInitialized = rise(8);
  info.scannerError = rise(15);
  info.errorCleared = fall(15);
  info.statusWord = n;
  if (info.scannerError) {
    info.errorCode = std::uint16_t(packet[2] | packet[3] << 8);
    info.errorText = deviceText(packet + 4, 28);
  } else {
    info.errorCode = last.errorCode;
    info.errorText = last.errorText;
  }
  return info;
}

Scanner::Scanner(std::shared_ptr<platform::usb::Port> port) : transport_(std::move(port)) {}

Scanner::~Scanner() {
  if (!closed_) CloseScanner();
  if (thread_.joinable()) thread_.join();
}

Status Scanner::OpenScanner(std::string& storedPath, LayerCallback callback, void* context) {
  static constexpr const char* kFunction = "Scanner::OpenScanner";
  if (!callback) {
    printTrace(kSource, kFunction, "Parameter error (Callback).");
    return Status::BadParameter;
  }
  // A session that its own interrupt thread closed leaves the thread to collect.
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
  if (thread_.joinable()) {
    printTrace(kSource, kFunction, "Interrupt thread still running.");
    return Status::Undefined;
  }
  const Status opened = transport_.OpenUsbScanner(storedPath, callback, context);
  if (opened != Status::Done) return opened;

  callback_ = callback;
  context_ = context;
  current_ = InterruptInfo{};
  previousWord_ = 0;
  {
    std::lock_guard<std::mutex> lock(arrivalMutex_);
    arrivals_.clear();
    awaiting_ = false;
  }
  closed_ = false;
  running_ = true;
  try {
    thread_ = std::thread([this] { interruptLoop(); });
  } catch (...) {
    printTrace(kSource, kFunction, "Thread creation failed; Error Code: %d.", 0);
    closed_ = true;
    running_ = false;
    transport_.CloseUsbScanner();
    return Status::SystemCallFailed;
  }
  if (!transport_.waitReadPosted(kPostedWaitMs))
    printTrace(kSource, kFunction, "Interrupt read not posted within %u ms.", kPostedWaitMs);
  if (!transport_.SendApplicationReadyRequest()) {
    CloseScanner();
    return Status::Undefined;
  }
  return Status::Done;
}

Status Scanner::CloseScanner() {
  if (closed_.exchange(true)) {
    printTrace(kSource, "Scanner::CloseScanner", "Scanner not open.");
    return Status::NotOpen;
  }
  arrivalCv_.notify_all();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
    transport_.cancelling = true;
    transport_.cancelInterruptRead();
    // A cancel may land before the thread is inside its read: repeat it.
    while (running_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      transport_.cancelling = true;
      transport_.cancelInterruptRead();
    }
    thread_.join();
  }
  // On the interrupt thread itself the loop ends when this call returns to it.
  return transport_.CloseUsbScanner();
}

std::uint64_t Scanner::nextSequence() {
  std::lock_guard<std::mutex> lock(arrivalMutex_);
  return ++decoded_;
}

void Scanner::queueArrival(Arrival arrival) {
  {
    std::lock_guard<std::mutex> lock(arrivalMutex_);
    if (!awaiting_ || arrival.sequence <= commandStart_) return;
    if (arrivals_.size() >= kMaxArrivals) arrivals_.pop_front();
    arrivals_.push_back(std::move(arrival));
  }
  arrivalCv_.notify_all();
}

void Scanner::interruptLoop() {
  std::vector<std::uint8_t> packet(UsbScanner::kInterruptBufferBytes);
  for (;;) {
    const Status read = transport_.ReadScannerInterrupt(packet.data());
    if (closed_) break;
    if (read == Status::Done) {
      Arrival arrival;
      arrival.sequence = nextSequence();
      arrival.info = decodeInterrupt(packet.data(), previousWord_, current_);
      previousWord_ = arrival.info.statusWord;
      current_ = arrival.info;
      callback_(INTERRUPT, &arrival.info, context_);
      queueArrival(std::move(arrival));
      continue;
    }
    if (transport_.standby) {
      // The scanner sleeps with the machine: read again, quietly and without spinning.
      std::unique_lock<std::mutex> lock(arrivalMutex_);
      arrivalCv_.wait_for(lock, kRetryPause, [this] { return closed_.load(); });
      if (closed_) break;
      continue;
    }
    running_ = false;
    Arrival failure;
    failure.sequence = nextSequence();
    failure.readFailed = true;
    queueArrival(std::move(failure));
    callback_(read == Status::HostErrorFailed ? EVENT_SYSTEM_FAILED_DEVICE_CLOSED
                                              : EVENT_SYSTEM_FAILED,
              nullptr, context_);
    if (closed_) break;
    running_ = true;
    std::unique_lock<std::mutex> lock(arrivalMutex_);
    arrivalCv_.wait_for(lock, kRetryPause, [this] { return closed_.load(); });
    if (closed_) break;
  }
  running_ = false;
}

Status Scanner::waitForPredicates(const CommandInfo& row, std::uint32_t timeoutMs,
                                  ActionOutcome& out) {
  static constexpr const char* kFunction = "Scanner::ExecuteScannerAction";
  bool I::*phases[2] = {row.first, row.second};
  const int phaseCount = row.second ? 2 : 1;
  int phase = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock<std::mutex> lock(arrivalMutex_);
  for (;;) {
    if (!arrivalCv_.wait_until(lock, deadline, [this] { return !arrivals_.empty() || closed_; })) {
      lock.unlock();
      const Status host = transport_.SendHostError();
      if (host == Status::HostErrorFailed) return host;
      printTrace(kSource, kFunction, "Interrupt wait timed out; Error Code: %d.", 0);
      return Status::InterruptWaitTimedOut;
    }
    if (arrivals_.empty()) {  // closed under the waiting command
      lock.unlock();
      const Status host = transport_.SendHostError();
      if (host == Status::HostErrorFailed) return host;
      printTrace(kSource, kFunction, "Interrupt wait abandoned; Error Code: %d.", 0);
      return Status::InterruptWaitFailed;
    }
    Arrival arrival = std::move(arrivals_.front());
    arrivals_.pop_front();
    if (arrival.readFailed) {
      lock.unlock();
      const Status host = transport_.SendHostError();
      if (host == Status::HostErrorFailed) return host;
      printTrace(kSource, kFunction, "Interrupt pipe failed; Error Code: %d.", 0);
      return Status::InterruptPipeFailed;
    }
    if (arrival.info.scannerError) {
      out.deviceCode = arrival.info.errorCode;
      out.text = arrival.info.errorText;
      printTrace(kSource, kFunction, "Asynchronous error. (0x%04x %s)", out.deviceCode,
                 out.text.c_str());
      return Status::AsynchronousError;
    }
    if (arrival.info.*phases[phase] && ++phase == phaseCount) return Status::Done;
  }
}

ActionOutcome Scanner::ExecuteScannerAction(const Action& a) {
  static constexpr const char* kFunction = "Scanner::ExecuteScannerAction";
  ActionOutcome out;
  auto refuse = [&] {
    out.status = Status::BadParameter;
    return out;
  };
  CommandInfo row;
  if (!commandRow(a.command, a.type, row)) {
    printTrace(kSource, kFunction, "Parameter error (uiCommand = %d).", a.command);
    return refuse();
  }
  std::int64_t length = a.dataLength;
  if (a.type == TABLE_COMMAND && length == -1) {
    length = row.length;
  } else if (length >= 0 && !hasNoPrefix(row.code)) {
    length += 2;
  }
  if (length < 0 || length > INT32_MAX) {
    printTrace(kSource, kFunction, "Parameter error (iDataLength).");
    return refuse();
  }
  const bool read = row.direction == kDirectionRead;
  if (read && length != 0) {
    if ((a.data != nullptr) == (a.blocks != nullptr)) {
      printTrace(kSource, kFunction, "Parameter error (pusData/ppusReadDataBlocks).");
      return refuse();
    }
    if (a.blocks && (a.blockSize <= 0 || length % a.blockSize != 0)) {
      printTrace(kSource, kFunction, "Parameter error (iBlockSize).");
      return refuse();
    }
  }
  if (!read && length != 0 && !a.data) {
    printTrace(kSource, kFunction, "Parameter error (pusData).");
    return refuse();
  }
  if (a.hostHeaderBytes < 0 || (a.hostHeaderBytes > 0 && !a.hostHeader)) {
    printTrace(kSource, kFunction, "Parameter error (pusHostHeader).");
    return refuse();
  }
  if (closed_) {
    printTrace(kSource, kFunction, "Scanner not open.");
    out.status = Status::NotOpen;
    return out;
  }

  const bool prefixed = !hasNoPrefix(row.code);
  const std::int64_t payload = read ? 0 : (prefixed ? std::max<std::int64_t>(length - 2, 0) : length);
  const std::int64_t total = 6 + a.hostHeaderBytes + (read || length == 0 ? 0 : (prefixed ? 2 : 0) + payload);
  std::vector<std::uint8_t> buffer;
  try {
    buffer.resize(std::size_t(total));
  } catch (const std::bad_alloc&) {
    printTrace(kSource, kFunction, "Memory allocation failed; Error Code: %d.", 0);
    out.status = Status::SystemCallFailed;
    return out;
  }
  const std::uint16_t word = std::uint16_t(row.code | row.direction);
  std::uint8_t* p = buffer.data();
  putWord(p, word);
  const std::uint32_t length32 = std::uint32_t(length);
  putWord(p + 2, std::uint16_t(length32));
  putWord(p + 4, std::uint16_t(length32 >> 16));
  p += 6;
  if (a.hostHeaderBytes > 0) {
    std::memcpy(p, a.hostHeader, std::size_t(a.hostHeaderBytes));
    p += a.hostHeaderBytes;
  }
  if (!read && length != 0) {
    if (prefixed) {
      putWord(p, std::uint16_t(row.code | 0x1000));
      p += 2;
    }
    if (payload > 0) std::memcpy(p, a.data, std::size_t(payload));
  }

  {
    std::lock_guard<std::mutex> lock(arrivalMutex_);
    awaiting_ = row.waitsForInterrupt;
    arrivals_.clear();
    commandStart_ = decoded_;
  }
  Transfer t;
  t.command = buffer.data();
  t.commandBytes = buffer.size();
  t.read = read;
  t.commandWord = word;
  if (read) {
    t.readBuffer = static_cast<std::uint8_t*>(a.data);
    t.blocks = a.blocks;
    t.dataLength = length;
  }
  t.timeoutMs = a.timeoutMs;
  t.shortReadOk = row.shortReadOk;
  t.blockSize = a.blockSize;
  t.progress = a.progress;
  t.progressContext = a.progressContext;
  const TransferOutcome sent = transport_.SendReceiveScanner(t);
  out.status = sent.status;
  out.deviceCode = sent.deviceCode;
  out.received = sent.received;
  if (row.waitsForInterrupt && out.status == Status::Done)
    out.status = waitForPredicates(row, a.timeoutMs, out);
  {
    std::lock_guard<std::mutex> lock(arrivalMutex_);
    awaiting_ = false;
    arrivals_.clear();
  }
  return out;
}

}  // namespace pravik
