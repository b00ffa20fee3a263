// The driver layer: the public members, the driver lock, the open and
// initialise sequence, the driver's view of the scanner state and the mapping
// of internal statuses to results.
#include "driver/pravik.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <new>
#include <thread>
#include <vector>

#include "driver/internal/environment_port.h"
#include "driver/internal/error_texts.h"
#include "driver/internal/scanner.h"
#include "driver/internal/trace.h"
#include "driver/internal/status.h"
#include "platform/clock.h"
#include "platform/hotplug.h"
#include "platform/power.h"

#include <strings.h>

using pravik::Action;
using pravik::ActionOutcome;
using pravik::Status;

namespace {

constexpr const char* kSource = "Pravik";

constexpr OperationResult kDone{PRAVIK_NO_ERROR, 0};
constexpr OperationResult kInvalid{PRAVIK_INVALID_PARAMETER, 4};
constexpr OperationResult kNotNow{PRAVIK_NOT_NOW, 4};

OperationResult refused(const char* member, OperationResult result, const char* why) {
  const std::string function = std::string("Pravik::") + member;
  pravik::printTrace(kSource, function.c_str(), "%s", why);
  return result;
}
// A member's refusal of its arguments, and of a call before the scanner is ready.
#define PRAVIK_INVALID refused(__func__, kInvalid, "Parameter error.")
#define PRAVIK_NOT_READY refused(__func__, kNotNow, "Digitizer not ready.")

OperationResult result(std::uint32_t code, std::int32_t category) {
  return {static_cast<OPERATION_ERROR_CODE>(code), category};
}

constexpr std::array<std::uint32_t, Pravik::COMMAND_TIMEOUT_SLOTS> kDefaultTimeouts = {
    5, 5, 5, 120, 60, 60, 5, 60, 60, 60, 60, 60, 5, 5, 60, 60, 60, 60, 60, 60, 60, 60, 120, 5};

// Timeout slots of the command table rows.
enum Slot : int {
  kSlotInitialise = 0,
  kSlotSetScanParameters = 1,
  kSlotReadScanParameters = 2,
  kSlotFilmSet = 3,
  kSlotCalibrate = 4,
  kSlotScan = 5,
  kSlotFilmStatus = 6,
  kSlotResetFilm = 7,
  kSlotMoveFilm = 8,
  kSlotResetError = 9,
  kSlotSetScanTable = 10,
  kSlotReadScanTable = 11,
  kSlotSetMaintenance = 12,
  kSlotReadMaintenance = 13,
  kSlotSetScanProgram = 14,
  kSlotReadScanProgram = 15,
  kSlotSetScanEeprom = 16,
  kSlotReadScanEeprom = 17,
  kSlotSetDeviceProgram = 18,
  kSlotReadLogFile = 19,
  kSlotSetDeviceEeprom = 20,
  kSlotReadDeviceEeprom = 21,
  kSlotDiagnose = 22,
  kSlotRequestSense = 23,
};

// Command table rows.
enum Row : int {
  kRowInitialise = 0,
  kRowSetScanParameters = 1,
  kRowFilmSet = 2,
  kRowCalibrate = 3,
  kRowScan = 4,
  kRowFilmStatus = 5,
  kRowResetFilm = 6,
  kRowMoveFilm = 7,
  kRowResetError = 8,
  kRowSetScanLut = 9,
  kRowReadScanLut = 10,
  kRowSetMaintenance = 11,
  kRowReadMaintenance = 12,
  kRowSetScanProgram = 13,
  kRowReadScanProgram = 14,
  kRowSetScanEeprom = 15,
  kRowReadScanEeprom = 16,
  kRowSetDeviceProgram = 17,
  kRowReadLogFile = 18,
  kRowSetDeviceEeprom = 19,
  kRowReadDeviceEeprom = 20,
  kRowDiagnose = 21,
  kRowRequestSense = 22,
  kRowReadScanParameters = 23,
  kRowScanWithoutHeader = 24,
  kRowScanBlocks = 25,
};

std::uint16_t wordAt(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }

// The status word's bits, as interrupts and sense replies carry them.
void applyStatusWord(SenseInfo& s, std::uint16_t w) {
  s.digitizerReady = w & 0x0001;
  s.filmAvailable = w & 0x0002;
  s.afSwitchOn = w & 0x0004;
  s.filmSet = w & 0x0008;
  s.filmReset = w & 0x0010;
  s.filmMoving = w & 0x0020;
  s.commandCompleted = w & 0x0040;
  s.calibrationDone = w & 0x0080;
  s.digitizerInitialized = w & 0x0100;
  s.statusNibble = (w >> 11) & 0xF;
  s.scannerError = w & 0x8000;
}

// Rounded up to even plus the 2-byte prefix, in 16-bit words.
std::size_t prefixedWords(std::int32_t bytes) { return (std::size_t(bytes) + 1) / 2 + 1; }

// The payload of a prefixed reply: a reply shorter than its prefix carries
// nothing, and never more than the caller's buffer holds.
std::int32_t copyPayload(const ActionOutcome& outcome, const std::vector<std::uint16_t>& reply,
                         void* target, std::int32_t capacity) {
  const std::int64_t payload = std::max<std::int64_t>(outcome.received - 2, 0);
  const auto n = std::int32_t(std::min<std::int64_t>(payload, capacity));
  std::memcpy(target, reinterpret_cast<const std::uint8_t*>(reply.data()) + 2, std::size_t(n));
  return n;
}

}  // namespace

// Hidden: only the members of Pravik itself leave the library.
struct __attribute__((visibility("hidden"))) Pravik::Impl {
  explicit Impl(std::shared_ptr<platform::usb::Port> p) : port(p), scanner(std::move(p)) {}

  std::shared_ptr<platform::usb::Port> port;
  pravik::Scanner scanner;
  // Held for the whole of every operation, open and close; re-entered by the
  // open sequence, which runs commands while holding it.
  std::recursive_mutex driverMutex;
  bool opened = false;  // under driverMutex
  std::atomic<bool> initialising{false};
  std::string storedPath;  // under driverMutex

  std::mutex callbackMutex;
  MessageCallback client = nullptr;
  void* clientContext = nullptr;

  std::mutex senseMutex;
  SenseInfo sense;

  std::mutex timeoutMutex;
  std::array<std::uint32_t, COMMAND_TIMEOUT_SLOTS> timeouts = kDefaultTimeouts;

  // --- started driver: the monitor thread and its sources ---
  std::atomic<bool> started{false};
  // Set by Stop before it joins the monitor, so an arrival's open gives up early.
  std::atomic<bool> stopping{false};
  platform::hotplug::EventQueue events;
  std::thread monitor;
  std::unique_ptr<platform::hotplug::Source> hotplugSource;
  std::unique_ptr<platform::power::SleepWatcher> sleepWatcher;
  void monitorLoop(Pravik& self);
  void onSleep(bool goingToSleep);
  void removed(const std::string& path);
  OperationResult openAndInitialise(Pravik& self, MessageCallback callback, void* context,
                                    bool external);

  // --- messages ---
  void setClient(MessageCallback callback, void* context) {
    std::lock_guard<std::mutex> lock(callbackMutex);
    client = callback;
    clientContext = context;
  }
  void sendMessage(CALLBACK_MESSAGE message, void* data) {
    MessageCallback callback;
    void* context;
    {
      std::lock_guard<std::mutex> lock(callbackMutex);
      callback = client;
      context = clientContext;
    }
    if (callback) callback(message, data, context);
  }
  static void receiveMessage(CALLBACK_MESSAGE message, void* data, void* context);
  void interruptPipeFailed(bool hostErrorFailed);
  enum class Locked { Taken, Closed, Deferred };
  Locked lockFromInterruptThread(bool mayDefer);

  SenseInfo currentSense() {
    std::lock_guard<std::mutex> lock(senseMutex);
    return sense;
  }
  bool ready() {
    std::lock_guard<std::mutex> lock(senseMutex);
    return sense.digitizerReady;
  }

  // --- operations ---
  OperationResult map(const ActionOutcome& outcome);
  struct Executed {
    ActionOutcome outcome;
    OperationResult result;
  };
  Executed execute(const Action& action);
  OperationResult run(Action action, int slot);
  bool slotMs(int slot, std::uint32_t& ms);
  OperationResult close(bool external);
  OperationResult open(MessageCallback callback, void* context);
  OperationResult initialiseSequence(Pravik& self);
  OperationResult initialise();
  OperationResult readWithCount(const char* member, int row, int slot, std::uint16_t* buffer,
                                std::int32_t bytes, std::int32_t& received);
  OperationResult writeBytes(const char* member, int row, int slot, const std::uint16_t* data,
                             std::int32_t bytes);
};

void Pravik::Impl::receiveMessage(CALLBACK_MESSAGE message, void* data, void* context) {
  auto* self = static_cast<Impl*>(context);
  switch (message) {
    case INTERRUPT: {
      const auto* info = static_cast<const InterruptInfo*>(data);
      const std::uint16_t w = info->statusWord;
      {
        std::lock_guard<std::mutex> lock(self->senseMutex);
        SenseInfo& s = self->sense;
        applyStatusWord(s, w);
        s.errorCode = info->errorCode;
        s.errorText.clear();
      }
      self->sendMessage(message, data);
      return;
    }
    case EVENT_SYSTEM_FAILED:
      self->interruptPipeFailed(false);
      return;
    case EVENT_SYSTEM_FAILED_DEVICE_CLOSED:
      self->interruptPipeFailed(true);
      return;
    default:
      self->sendMessage(message, data);
      return;
  }
}

// The interrupt thread must not block on the driver lock: the command that holds
// it may be closing the scanner and waiting for this very thread, and the open
// sequence holds it while it waits for the ready interrupt this thread reads.
Pravik::Impl::Locked Pravik::Impl::lockFromInterruptThread(bool mayDefer) {
  while (!driverMutex.try_lock()) {
    if (scanner.isClosed()) return Locked::Closed;
    if (mayDefer && initialising) return Locked::Deferred;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (scanner.isClosed() || !opened) {
    driverMutex.unlock();
    return Locked::Closed;
  }
  return Locked::Taken;
}

void Pravik::Impl::interruptPipeFailed(bool hostErrorFailed) {
  switch (lockFromInterruptThread(!hostErrorFailed)) {
    case Locked::Closed:  // someone else closed the scanner and told the client
      return;
    case Locked::Deferred:  // the open sequence finds out for itself whether the scanner answers
      sendMessage(EVENT_SYSTEM_FAILED, nullptr);
      return;
    case Locked::Taken:
      break;
  }
  bool gone = hostErrorFailed;
  if (!gone) {
    // A scratch sense shows whether the scanner still answers.
    Action a;
    a.command = kRowRequestSense;
    std::uint16_t reply[17] = {};
    a.data = reply;
    const OperationResult sensed = ready() ? run(a, kSlotRequestSense) : kNotNow;
    if (sensed.category == 1) {  // already closed and reported
      driverMutex.unlock();
      return;
    }
    gone = sensed.category != 0;
  }
  if (gone) {
    scanner.transport().disconnected = true;
    close(false);
  }
  driverMutex.unlock();
  sendMessage(gone ? SCANNER_DISCONNECTED : EVENT_SYSTEM_FAILED, nullptr);
}

OperationResult Pravik::Impl::map(const ActionOutcome& outcome) {
  switch (outcome.status) {
    case Status::Done: return kDone;
    case Status::NoDevice: return result(PRAVIK_NO_MATCHING_DEVICE, 4);
    case Status::NotOpen: return result(PRAVIK_NOT_OPEN, 4);
    case Status::AlreadyOpen: return result(PRAVIK_ALREADY_OPEN, 4);
    case Status::ShortRead: return result(PRAVIK_INCOMPLETE_DATA, 4);
    case Status::DeviceError: return result(outcome.deviceCode, 3);
    case Status::StallReset: {
      // The scanner reports the cause of its stall by interrupt, shortly after.
      for (int i = 0; i < 10; ++i) {
        {
          std::lock_guard<std::mutex> lock(senseMutex);
          if (sense.scannerError) return result(sense.errorCode, 2);
        }
        platform::clock::sleep(100);
      }
      return result(PRAVIK_UNDEFINED_ERROR, 4);
    }
    case Status::StallNotReset: return result(PRAVIK_STALL_NOT_RESET, 1);
    case Status::HostErrorSent: return result(PRAVIK_TRANSFER_FAILED, 4);
    case Status::HostErrorFailed: return result(PRAVIK_HOST_ERROR_NOT_SIGNALLED, 1);
    case Status::InterruptWaitFailed: return result(PRAVIK_INTERRUPT_WAIT_FAILED, 1);
    case Status::InterruptWaitTimedOut: return result(PRAVIK_COMPLETION_TIMED_OUT, 4);
    case Status::InterruptPipeFailed: return result(PRAVIK_INTERRUPT_PIPE_FAILED, 1);
    case Status::AsynchronousError: return result(outcome.deviceCode, 2);
    case Status::BadParameter: return result(PRAVIK_INTERNAL_ERROR, 4);
    case Status::SystemCallFailed: return result(PRAVIK_SYSTEM_CALL_FAILED, 4);
    case Status::Undefined: break;
  }
  return result(PRAVIK_UNDEFINED_ERROR, 4);
}

bool Pravik::Impl::slotMs(int slot, std::uint32_t& ms) {
  std::uint32_t seconds;
  {
    std::lock_guard<std::mutex> lock(timeoutMutex);
    seconds = timeouts[std::size_t(slot)];
  }
  if (seconds > UINT32_MAX / 1000) return false;
  ms = seconds * 1000;
  return true;
}

OperationResult Pravik::Impl::run(Action action, int slot) {
  if (!slotMs(slot, action.timeoutMs)) {
    pravik::printTrace(kSource, "Pravik::OperateScanner", "Time-out of slot %d too large.", slot);
    return kInvalid;
  }
  return execute(action).result;
}

Pravik::Impl::Executed Pravik::Impl::execute(const Action& action) {
  std::lock_guard<std::recursive_mutex> lock(driverMutex);
  Executed done;
  if (scanner.transport().standby) {
    pravik::printTrace(kSource, "Pravik::OperateScanner", "System going to standby.");
    done.result = result(PRAVIK_TRANSFER_FAILED, 4);
    return done;
  }
  done.outcome = scanner.ExecuteScannerAction(action);
  done.result = map(done.outcome);
  if (done.result.category == 1) {
    // Unrecoverable: give the scanner up and tell the client.
    scanner.transport().disconnected = true;
    close(false);
    sendMessage(SCANNER_DISCONNECTED, nullptr);
  }
  return done;
}

OperationResult Pravik::Impl::close(bool external) {
  std::lock_guard<std::recursive_mutex> lock(driverMutex);
  if (external && started) {
    pravik::printTrace(kSource, "Pravik::CloseOpenedScanner", "Can't perform operation; call Stop() instead.");
    return result(PRAVIK_NOT_NOW, 4);
  }
  if (!opened) {
    pravik::printTrace(kSource, "Pravik::CloseOpenedScanner", "Scanner not opened.");
    return result(PRAVIK_NOT_OPEN, 4);
  }
  ActionOutcome closed;
  closed.status = scanner.CloseScanner();
  if (closed.status == Status::Done) {
    opened = false;
    storedPath.clear();
  }
  if (external) setClient(nullptr, nullptr);
  return map(closed);
}

OperationResult Pravik::Impl::initialise() {
  const auto t = platform::clock::localTime();
  auto clamp = [](int v, int hi) { return v < 0 ? 0 : (v > hi ? hi : v); };
  char digits[16];
  std::snprintf(digits, sizeof digits, "%04d%02d%02d%02d%02d%02d", clamp(t.year, 9999),
                clamp(t.month, 99), clamp(t.day, 99), clamp(t.hour, 99), clamp(t.minute, 99),
                clamp(t.second, 99));
  Action a;
  a.command = kRowInitialise;
  a.data = digits;
  return run(a, kSlotInitialise);
}

OperationResult Pravik::Impl::open(MessageCallback callback, void* context) {
  static constexpr const char* kFunction = "Pravik::OpenAndInitializeScanner";
  if (!callback) {
    pravik::printTrace(kSource, kFunction, "Parameter error (Callback).");
    return kInvalid;
  }
  setClient(callback, context);
  std::lock_guard<std::recursive_mutex> lock(driverMutex);
  initialising = true;
  if (opened) {
    pravik::printTrace(kSource, kFunction, "Scanner already opened.");
    initialising = false;
    return result(PRAVIK_ALREADY_OPEN, 4);
  }
  {
    std::lock_guard<std::mutex> senseLock(senseMutex);
    sense = SenseInfo{};
  }
  ActionOutcome openedStatus;
  openedStatus.status = scanner.OpenScanner(storedPath, &Impl::receiveMessage, this);
  if (openedStatus.status != Status::Done) {
    initialising = false;
    return map(openedStatus);
  }
  opened = true;
  return kDone;  // the caller runs the initialise sequence
}

OperationResult Pravik::Impl::readWithCount(const char* member, int row, int slot,
                                            std::uint16_t* buffer, std::int32_t bytes,
                                            std::int32_t& received) {
  received = 0;
  if (!buffer || bytes < 0 || bytes > INT32_MAX - 2)
    return refused(member, kInvalid, "Parameter error.");
  std::vector<std::uint16_t> temporary;
  try {
    temporary.resize(prefixedWords(bytes));
  } catch (const std::bad_alloc&) {
    pravik::printTrace(kSource, "Pravik::OperateScanner", "Memory allocation failed; Error Code: %d.", 0);
    return result(PRAVIK_SYSTEM_CALL_FAILED, 4);
  }
  Action a;
  a.command = row;
  a.data = temporary.data();
  a.dataLength = bytes;
  if (!slotMs(slot, a.timeoutMs)) return refused("OperateScanner", kInvalid, "Time-out too large.");
  const Executed done = execute(a);
  if (done.result.category == 0) received = copyPayload(done.outcome, temporary, buffer, bytes);
  return done.result;
}

OperationResult Pravik::Impl::writeBytes(const char* member, int row, int slot,
                                         const std::uint16_t* data, std::int32_t bytes) {
  if (!data || bytes < 0 || bytes > INT32_MAX - 2)
    return refused(member, kInvalid, "Parameter error.");
  Action a;
  a.command = row;
  a.data = const_cast<std::uint16_t*>(data);
  a.dataLength = bytes;
  return run(a, slot);
}

// ---------------------------------------------------------------------------

Pravik::Pravik() : Pravik(pravik::environmentPort()) {}

Pravik::Pravik(std::shared_ptr<platform::usb::Port> port)
    : impl_(std::make_unique<Impl>(std::move(port))) {}

Pravik::~Pravik() {
  if (impl_->started) Stop();
  std::lock_guard<std::recursive_mutex> lock(impl_->driverMutex);
  if (impl_->opened) impl_->close(false);
}

OperationResult Pravik::Impl::openAndInitialise(Pravik& self, MessageCallback callback, void* context,
                                                bool external) {
  static constexpr const char* kFunction = "Pravik::OpenAndInitializeScanner";
  if (!callback) {
    pravik::printTrace(kSource, kFunction, "Parameter error (Callback).");
    return kInvalid;
  }
  std::lock_guard<std::recursive_mutex> lock(driverMutex);
  if (external && started) {
    pravik::printTrace(kSource, kFunction, "Driver already started.");
    return result(PRAVIK_ALREADY_STARTED, 4);
  }
  OperationResult r = open(callback, context);
  if (r.category != 0) return r;
  r = initialiseSequence(self);
  if (r.category != 0) {
    // Only a pending error is reset: with none the scanner would not answer and
    // the reset would wait out its whole time-out.
    if (opened && currentSense().scannerError) self.ResetError();
    if (opened) close(false);
    if (external) setClient(nullptr, nullptr);
  }
  initialising = false;
  return r;
}

OperationResult Pravik::OpenAndInitializeScanner(MessageCallback callback, void* context) {
  return impl_->openAndInitialise(*this, callback, context, true);
}

OperationResult Pravik::Start(MessageCallback callback, void* context) {
  static constexpr const char* kFunction = "Pravik::Start";
  Impl& d = *impl_;
  if (!callback) {
    pravik::printTrace(kSource, kFunction, "Parameter error (Callback).");
    return kInvalid;
  }
  std::lock_guard<std::recursive_mutex> lock(d.driverMutex);
  if (d.started) {
    pravik::printTrace(kSource, kFunction, "Driver already started.");
    return result(PRAVIK_ALREADY_STARTED, 4);
  }
  if (d.opened) {
    pravik::printTrace(kSource, kFunction, "Scanner already opened.");
    return result(PRAVIK_ALREADY_OPEN, 4);
  }
  d.stopping = false;
  while (d.events.waitFor(0)) {
  }
  // The monitor and its sources stand in for the hidden window and its
  // notifications. The hot-plug source comes before the search, so that a
  // scanner plugged in meanwhile is reported (and ignored when the search took
  // it) rather than missed.
  try {
    if (d.port) {
      static const std::vector<std::uint16_t> products = {16, 17, 18, 19};
      d.hotplugSource = platform::hotplug::watchPort(*d.port, pravik::kVendorId, products, d.events);
    }
  } catch (const std::exception&) {
    pravik::printTrace(kSource, kFunction, "Thread creation failed.");
    return result(PRAVIK_SYSTEM_CALL_FAILED, 4);
  }
  OperationResult r = d.openAndInitialise(*this, callback, context, false);
  if (r.category != 0 && r.code != PRAVIK_NO_MATCHING_DEVICE) {
    d.hotplugSource.reset();
    return r;
  }
  try {
    d.sleepWatcher = platform::power::watchSleep([&d](bool sleeping) { d.onSleep(sleeping); });
    d.monitor = std::thread([&d, this] { d.monitorLoop(*this); });
  } catch (const std::exception&) {
    d.hotplugSource.reset();
    d.sleepWatcher.reset();
    if (d.opened) d.close(false);
    pravik::printTrace(kSource, kFunction, "Thread creation failed.");
    return result(PRAVIK_SYSTEM_CALL_FAILED, 4);
  }
  d.started = true;
  return {r.code, 0};
}

OperationResult Pravik::Stop() {
  static constexpr const char* kFunction = "Pravik::Stop";
  Impl& d = *impl_;
  // Not under the driver lock: an arrival's open may hold it for seconds.
  if (!d.started) {
    pravik::printTrace(kSource, kFunction, "Driver not started.");
    return result(PRAVIK_NOT_STARTED, 4);
  }
  // The monitor takes the driver lock itself: end it first, without holding the lock.
  d.stopping = true;
  d.sleepWatcher.reset();
  d.hotplugSource.reset();
  d.events.post({platform::hotplug::Kind::Quit, {}});
  if (d.monitor.joinable()) d.monitor.join();
  std::lock_guard<std::recursive_mutex> lock(d.driverMutex);
  OperationResult r = kDone;
  if (d.opened) r = d.close(false);
  d.started = false;
  d.stopping = false;
  return r;
}

void Pravik::Impl::monitorLoop(Pravik& self) {
  using platform::hotplug::Kind;
  for (;;) {
    const platform::hotplug::Event e = events.wait();
    if (e.kind == Kind::Quit || stopping) return;
    switch (e.kind) {
      case Kind::Arrival: {
        std::lock_guard<std::recursive_mutex> lock(driverMutex);
        if (opened || stopping) break;
        MessageCallback callback;
        void* context;
        {
          std::lock_guard<std::mutex> l(callbackMutex);
          callback = client;
          context = clientContext;
        }
        if (!callback) break;
        storedPath = e.path;  // the transport asks the client whether to attach it
        openAndInitialise(self, callback, context, false);
        break;
      }
      case Kind::Removal:
        removed(e.path);
        break;
      case Kind::Resume: {
        std::unique_lock<std::recursive_mutex> lock(driverMutex);
        if (!opened) break;
        if (!scanner.transport().SendApplicationReadyRequest()) {
          // A scanner that no longer answers is gone.
          const std::string path = storedPath;
          lock.unlock();
          removed(path);
        }
        break;
      }
      case Kind::Standby:
      case Kind::Quit:
        break;
    }
  }
}

void Pravik::Impl::removed(const std::string& path) {
  {
    std::lock_guard<std::recursive_mutex> lock(driverMutex);
    // Once per scanner: whoever closed it first has told the client.
    if (!opened || ::strcasecmp(path.c_str(), storedPath.c_str()) != 0) return;
    scanner.transport().disconnected = true;
    close(false);
  }
  sendMessage(SCANNER_DISCONNECTED, nullptr);
}

void Pravik::Impl::onSleep(bool goingToSleep) {
  using platform::hotplug::Kind;
  if (goingToSleep) {
    // New operations are refused at once; a running command gets a bounded time to end.
    scanner.transport().standby = true;
    bool taken = false;
    for (int i = 0; i < 100 && !(taken = driverMutex.try_lock()); ++i) platform::clock::sleep(100);
    if (taken) driverMutex.unlock();
    events.post({Kind::Standby, {}});
  } else {
    scanner.transport().standby = false;
    events.post({Kind::Resume, {}});
  }
}

OperationResult Pravik::Impl::initialiseSequence(Pravik& self) {
  bool isReady = false;
  for (int poll = 0; poll < DIGITIZER_READY_WAIT * 10 && !stopping; ++poll) {
    if ((isReady = ready())) break;
    platform::clock::sleep(100);
  }
  if (!isReady) {
    pravik::printTrace(kSource, "Pravik::OpenAndInitializeScanner", "Digitizer Ready wait timed out.");
    return result(PRAVIK_COMPLETION_TIMED_OUT, 4);
  }
  const SenseInfo now = currentSense();
  if (now.scannerError) {
    const OperationResult r = self.ResetError();
    if (r.category != 0) return r;
  }
  if (!now.digitizerInitialized) {
    const OperationResult r = initialise();
    if (r.category != 0) return r;
  }
  ScanParameters scan{};
  OperationResult r = self.ReadScanParameters(scan);
  if (r.category != 0) return r;
  sendMessage(SCAN_PARAMETERS_RETRIEVED, &scan);
  MaintenanceParameters maintenance{};
  r = self.ReadScanMaintenanceParameters(maintenance);
  if (r.category != 0) return r;
  sendMessage(MAINTENANCE_PARAMETERS_RETRIEVED, &maintenance);
  sendMessage(SCANNER_READY, nullptr);
  return kDone;
}

OperationResult Pravik::CloseOpenedScanner() { return impl_->close(true); }

OperationResult Pravik::SetScanParameters(const ScanParameters& parameters) {
  if (!impl_->ready()) return PRAVIK_NOT_READY;
  Action a;
  a.command = kRowSetScanParameters;
  a.data = const_cast<ScanParameters*>(&parameters);
  return impl_->run(a, kSlotSetScanParameters);
}

OperationResult Pravik::ReadScanParameters(ScanParameters& parameters) {
  if (!impl_->ready() && !impl_->initialising) return PRAVIK_NOT_READY;
  std::uint16_t reply[16] = {};
  Action a;
  a.command = kRowReadScanParameters;
  a.data = reply;
  const OperationResult r = impl_->run(a, kSlotReadScanParameters);
  if (r.category == 0) std::memcpy(&parameters, reply + 1, sizeof parameters);
  return r;
}

OperationResult Pravik::LoadFilm(const FilmSetParameters& parameters, FILM_SIZE_CODE& sizeCode,
                                 ScanSize& scanSize) {
  if (!impl_->ready()) return PRAVIK_NOT_READY;
  std::lock_guard<std::recursive_mutex> lock(impl_->driverMutex);
  Action a;
  a.command = kRowFilmSet;
  a.data = const_cast<FilmSetParameters*>(&parameters);
  OperationResult r = impl_->run(a, kSlotFilmSet);
  if (r.category != 0) return r;
  FilmStatus status{};
  r = ReadFilmStatus(status);
  if (r.category != 0) return r;
  scanSize.words[0] = status.words[3];
  scanSize.words[1] = status.words[4];
  const std::uint16_t code = status.words[22];
  sizeCode = static_cast<FILM_SIZE_CODE>(code >= 1 && code <= 7 ? code : 0);
  return r;
}

OperationResult Pravik::Calibrate(const CalibrationParameters& parameters) {
  if (!impl_->ready()) return PRAVIK_NOT_READY;
  Action a;
  a.command = kRowCalibrate;
  a.data = const_cast<CalibrationParameters*>(&parameters);
  return impl_->run(a, kSlotCalibrate);
}

namespace {

// The steps before a scan: parameters and calibration unless the caller says
// they are done.
OperationResult prepareScan(Pravik& self, const ScanParameters& parameters,
                            const CalibrationParameters& calibration, bool parametersSet,
                            bool calibrated) {
  if (!parametersSet) {
    const OperationResult r = self.SetScanParameters(parameters);
    if (r.category != 0) return r;
  }
  if (!calibrated) {
    const OperationResult r = self.Calibrate(calibration);
    if (r.category != 0) return r;
  }
  return kDone;
}

}  // namespace

OperationResult Pravik::ScanAndReadFilm(const ScanParameters& parameters,
                                        const CalibrationParameters& calibration,
                                        std::uint16_t* buffer, std::int32_t imageBytes,
                                        bool parametersSet, bool calibrated, std::int32_t blockSize,
                                        BlockReadCallback callback, void* context) {
  if (!impl_->ready()) return PRAVIK_NOT_READY;
  // The buffer takes the prefix, the 14-byte header and the image.
  if (!buffer || imageBytes < 0 || imageBytes > INT32_MAX - 16 || blockSize < 0) return PRAVIK_INVALID;
  std::lock_guard<std::recursive_mutex> lock(impl_->driverMutex);
  const OperationResult prepared = prepareScan(*this, parameters, calibration, parametersSet, calibrated);
  if (prepared.category != 0) return prepared;
  Action a;
  a.command = kRowScan;
  a.data = buffer;
  a.dataLength = std::int64_t(imageBytes) + 14;
  a.blockSize = blockSize;
  a.progress = callback;
  a.progressContext = context;
  return impl_->run(a, kSlotScan);
}

OperationResult Pravik::ScanAndReadFilmWithoutHeader(const ScanParameters& parameters,
                                                     const CalibrationParameters& calibration,
                                                     std::uint16_t* buffer, std::int32_t imageBytes,
                                                     bool parametersSet, bool calibrated,
                                                     std::int32_t blockSize,
                                                     BlockReadCallback callback, void* context) {
  if (!impl_->ready()) return PRAVIK_NOT_READY;
  if (!buffer || imageBytes < 0 || blockSize < 0) return PRAVIK_INVALID;
  std::lock_guard<std::recursive_mutex> lock(impl_->driverMutex);
  const OperationResult prepared = prepareScan(*this, parameters, calibration, parametersSet, calibrated);
  if (prepared.category != 0) return prepared;
  Action a;
  a.command = kRowScanWithoutHeader;
  a.data = buffer;
  a.dataLength = imageBytes;
  a.blockSize = blockSize;
  a.progress = callback;
  a.progressContext = context;
  return impl_->run(a, kSlotScan);
}

OperationResult Pravik::ScanAndReadFilmWithoutHeaderMultiBlock(
    const ScanParameters& parameters, const CalibrationParameters& calibration,
    std::uint16_t* hostHeader, std::int32_t hostHeaderBytes, std::uint16_t** blocks,
    std::int32_t blockSize, std::int32_t blockCount, bool parametersSet, bool calibrated,
    BlockReadCallback callback, void* context) {
  if (!impl_->ready()) return PRAVIK_NOT_READY;
  if (!hostHeader || hostHeaderBytes < 0 || !blocks || blockCount <= 0 || blockSize <= 0)
    return PRAVIK_INVALID;
  if (std::int64_t(blockSize) * blockCount > INT32_MAX) return PRAVIK_INVALID;
  for (std::int32_t i = 0; i < blockCount; ++i)
    if (!blocks[i]) return PRAVIK_INVALID;
  std::lock_guard<std::recursive_mutex> lock(impl_->driverMutex);
  const OperationResult prepared = prepareScan(*this, parameters, calibration, parametersSet, calibrated);
  if (prepared.category != 0) return prepared;
  Action a;
  a.command = kRowScanBlocks;
  a.hostHeader = reinterpret_cast<const std::uint8_t*>(hostHeader);
  a.hostHeaderBytes = hostHeaderBytes;
  a.blocks = blocks;
  a.dataLength = std::int64_t(blockSize) * blockCount;
  a.blockSize = blockSize;
  a.progress = callback;
  a.progressContext = context;
  return impl_->run(a, kSlotScan);
}

OperationResult Pravik::ReadFilmStatus(FilmStatus& status) {
  if (!impl_->ready()) return PRAVIK_NOT_READY;
  std::uint16_t reply[24] = {};
  Action a;
  a.command = kRowFilmStatus;
  a.data = reply;
  const OperationResult r = impl_->run(a, kSlotFilmStatus);
  if (r.category == 0) std::memcpy(&status, reply + 1, sizeof status);
  return r;
}

OperationResult Pravik::ResetFilm() {
  if (!impl_->ready()) return PRAVIK_NOT_READY;
  Action a;
  a.command = kRowResetFilm;
  return impl_->run(a, kSlotResetFilm);
}

OperationResult Pravik::MoveFilm(std::uint16_t value) {
  if (!impl_->ready()) return PRAVIK_NOT_READY;
  Action a;
  a.command = kRowMoveFilm;
  a.data = &value;
  return impl_->run(a, kSlotMoveFilm);
}

OperationResult Pravik::ResetError() {
  if (!impl_->ready()) return PRAVIK_NOT_READY;
  std::uint16_t code = std::uint16_t(impl_->currentSense().errorCode);
  Action a;
  a.command = kRowResetError;
  a.data = &code;
  return impl_->run(a, kSlotResetError);
}

OperationResult Pravik::ResetScanner() {
  if (!impl_->ready()) return PRAVIK_NOT_READY;
  std::lock_guard<std::recursive_mutex> lock(impl_->driverMutex);
  SenseInfo sense;
  const OperationResult r = RequestSense(sense);
  if (r.category != 0) return r;
  return sense.scannerError ? ResetError() : ResetFilm();
}

OperationResult Pravik::SetScanLut(const std::uint16_t* table, std::int32_t bytes) {
  if (!impl_->ready()) return PRAVIK_NOT_READY;
  return impl_->writeBytes(__func__, kRowSetScanLut, kSlotSetScanTable, table, bytes);
}

OperationResult Pravik::ReadScanLut(std::uint16_t* buffer, std::int32_t bytes, std::int32_t& received) {
  received = 0;
  if (!impl_->ready()) return PRAVIK_NOT_READY;
  return impl_->readWithCount(__func__, kRowReadScanLut, kSlotReadScanTable, buffer, bytes, received);
}

OperationResult Pravik::SetScanMaintenanceParameters(const MaintenanceParameters& parameters) {
  if (!impl_->ready()) return PRAVIK_NOT_READY;
  Action a;
  a.command = kRowSetMaintenance;
  a.data = const_cast<MaintenanceParameters*>(&parameters);
  return impl_->run(a, kSlotSetMaintenance);
}

OperationResult Pravik::ReadScanMaintenanceParameters(MaintenanceParameters& parameters) {
  if (!impl_->ready() && !impl_->initialising) return PRAVIK_NOT_READY;
  std::uint16_t reply[16] = {};
  Action a;
  a.command = kRowReadMaintenance;
  a.data = reply;
  const OperationResult r = impl_->run(a, kSlotReadMaintenance);
  if (r.category == 0) std::memcpy(&parameters, reply + 1, sizeof parameters);
  return r;
}

OperationResult Pravik::SetScanProgram(const std::uint16_t* data, std::int32_t bytes) {
  if (!impl_->ready()) return PRAVIK_NOT_READY;
  return impl_->writeBytes(__func__, kRowSetScanProgram, kSlotSetScanProgram, data, bytes);
}

OperationResult Pravik::ReadScanProgram(std::uint16_t* buffer, std::int32_t bytes, std::int32_t& received) {
  received = 0;
  if (!impl_->ready()) return PRAVIK_NOT_READY;
  return impl_->readWithCount(__func__, kRowReadScanProgram, kSlotReadScanProgram, buffer, bytes, received);
}

OperationResult Pravik::SetScanEeprom(const std::uint16_t* data, std::int32_t bytes) {
  if (!impl_->ready()) return PRAVIK_NOT_READY;
  return impl_->writeBytes(__func__, kRowSetScanEeprom, kSlotSetScanEeprom, data, bytes);
}

OperationResult Pravik::ReadScanEeprom(std::uint16_t* buffer, std::int32_t bytes, std::int32_t& received) {
  received = 0;
  if (!impl_->ready()) return PRAVIK_NOT_READY;
  return impl_->readWithCount(__func__, kRowReadScanEeprom, kSlotReadScanEeprom, buffer, bytes, received);
}

OperationResult Pravik::SetDeviceProgram(const std::uint16_t* data, std::int32_t bytes) {
  if (!impl_->ready()) return PRAVIK_NOT_READY;
  return impl_->writeBytes(__func__, kRowSetDeviceProgram, kSlotSetDeviceProgram, data, bytes);
}

OperationResult Pravik::ReadLogFile(std::uint16_t* buffer, std::int32_t bytes, std::int32_t& received) {
  received = 0;
  if (!impl_->ready()) return PRAVIK_NOT_READY;
  return impl_->readWithCount(__func__, kRowReadLogFile, kSlotReadLogFile, buffer, bytes, received);
}

OperationResult Pravik::SetDeviceEeprom(const std::uint16_t* data, std::int32_t bytes) {
  if (!impl_->ready()) return PRAVIK_NOT_READY;
  return impl_->writeBytes(__func__, kRowSetDeviceEeprom, kSlotSetDeviceEeprom, data, bytes);
}

OperationResult Pravik::ReadDeviceEeprom(std::uint16_t* buffer, std::int32_t bytes,
                                         std::int32_t& received) {
  received = 0;
  if (!impl_->ready()) return PRAVIK_NOT_READY;
  return impl_->readWithCount(__func__, kRowReadDeviceEeprom, kSlotReadDeviceEeprom, buffer, bytes, received);
}

OperationResult Pravik::Diagnose(DiagnosticReport& report) {
  if (!impl_->ready()) return PRAVIK_NOT_READY;
  std::uint16_t reply[24] = {};
  Action a;
  a.command = kRowDiagnose;
  a.data = reply;
  const OperationResult r = impl_->run(a, kSlotDiagnose);
  if (r.category == 0) std::memcpy(&report, reply + 1, sizeof report);
  return r;
}

OperationResult Pravik::RequestSense(SenseInfo& sense) {
  if (!impl_->ready()) return PRAVIK_NOT_READY;
  std::uint8_t reply[34] = {};
  Action a;
  a.command = kRowRequestSense;
  a.data = reply;
  const OperationResult r = impl_->run(a, kSlotRequestSense);
  if (r.category != 0) return r;
  const std::uint8_t* data = reply + 2;
  const std::uint16_t w = wordAt(data);
  applyStatusWord(sense, w);
  sense.errorCode = wordAt(data + 2);
  std::size_t n = 0;
  while (n < 28 && data[4 + n] != 0) ++n;
  sense.errorText.assign(reinterpret_cast<const char*>(data + 4), n);
  return r;
}

OperationResult Pravik::OperateScanner(std::int32_t command, std::uint16_t* data, std::int32_t bytes,
                                       std::int32_t timeoutSeconds, std::int32_t& received,
                                       COMMAND_TYPE type, bool stripPrefix) {
  received = 0;
  if (timeoutSeconds < 0 || std::uint32_t(timeoutSeconds) > UINT32_MAX / 1000) return PRAVIK_INVALID;
  if (type < TABLE_COMMAND || type > RAW_READ_VARIABLE_WAIT) return PRAVIK_INVALID;
  if (bytes < -1 || (bytes > 0 && !data) || bytes > INT32_MAX - 2) return PRAVIK_INVALID;
  // A raw code has no table length to fall back on.
  if (type != TABLE_COMMAND && (bytes == -1 || command < 0 || command > 0xFF)) return PRAVIK_INVALID;
  const std::uint32_t ms = std::uint32_t(timeoutSeconds) * 1000;
  pravik::CommandInfo row;
  const bool known = pravik::commandRow(command, type, row);
  if (known && stripPrefix && bytes > 0 && row.direction == pravik::kDirectionRead &&
      !pravik::hasNoPrefix(row.code)) {
    std::vector<std::uint16_t> temporary;
    try {
      temporary.resize(prefixedWords(bytes));
    } catch (const std::bad_alloc&) {
      return result(PRAVIK_SYSTEM_CALL_FAILED, 4);
    }
    Action a;
    a.command = command;
    a.type = type;
    a.data = temporary.data();
    a.dataLength = bytes;
    a.timeoutMs = ms;
    const Impl::Executed done = impl_->execute(a);
    if (done.result.category == 0) received = copyPayload(done.outcome, temporary, data, bytes);
    return done.result;
  }
  Action a;
  a.command = command;
  a.type = type;
  a.data = data;
  a.dataLength = bytes;
  a.timeoutMs = ms;
  const Impl::Executed done = impl_->execute(a);
  if (done.result.category == 0) received = std::int32_t(done.outcome.received);
  return done.result;
}

const char* Pravik::GetErrorMessage(OPERATION_ERROR_CODE code) { return pravik::errorText(code); }

void Pravik::SetCommandTimeouts(const std::array<std::uint32_t, COMMAND_TIMEOUT_SLOTS>& seconds) {
  std::lock_guard<std::mutex> lock(impl_->timeoutMutex);
  impl_->timeouts = seconds;
}
