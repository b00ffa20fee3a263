#include "simulator/internal/core.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

namespace sim::detail {
namespace {

constexpr std::size_t kMaxWrite = 16u << 20;      // the largest data phase the device takes
constexpr std::size_t kMaxZeroReply = 16u << 20;  // refused reads get zeros up to this
constexpr std::size_t kMaxInterrupts = 1024;      // packets kept while nobody reads
constexpr std::size_t kMaxLog = 100000;
constexpr std::size_t kLoggedData = 64;
constexpr std::uint16_t kEchoBit = 0x2000;
constexpr std::uint16_t kPrefixBit = 0x1000;
constexpr std::uint16_t kReadBit = 0x100;

enum Who : std::uint8_t { kFilm = 1, kCr = 2, kBoth = 3 };

}  // namespace

// A command the device knows: its direction, its fixed data length (-1 when the
// host chooses), and when it may run.
struct CommandDef {
  std::uint16_t code;
  bool read;
  std::int32_t length;
  std::uint8_t who;
  bool beforeInit;  // allowed before the initialise command
  bool inError;     // allowed while the device reports an error
  bool hostHeader;  // a 14-byte host header follows the command block
};

namespace {

constexpr CommandDef kCommands[] = {
    {1, false, 16, kBoth, true, false, false},    // initialise
    {2, false, 32, kBoth, false, false, false},   // set scan parameters
    {3, false, 6, kFilm, false, false, false},    // film set
    {4, false, 6, kBoth, false, false, false},    // calibrate
    {5, true, -1, kBoth, false, false, false},    // scan with header
    {6, true, 48, kBoth, true, true, false},      // film status
    {7, false, 0, kBoth, false, false, false},    // reset film
    {8, false, 4, kFilm, false, false, false},    // move film
    {9, false, 4, kBoth, true, true, false},      // reset error
    {16, false, -1, kBoth, false, false, false},  // set LUT
    {17, true, -1, kBoth, false, true, false},    // read LUT
    {18, false, 32, kBoth, false, false, false},  // set maintenance
    {19, true, 32, kBoth, true, true, false},     // read maintenance
    {20, false, -1, kBoth, false, false, false},  // set scan program
    {21, true, -1, kBoth, false, true, false},    // read scan program
    {22, false, -1, kBoth, false, false, false},  // set scan EEPROM
    {23, true, -1, kBoth, false, true, false},    // read scan EEPROM
    {24, false, -1, kBoth, false, false, false},  // set device program
    {25, true, -1, kBoth, true, true, false},     // read log file
    {32, false, -1, kBoth, false, false, false},  // set device EEPROM
    {33, true, -1, kBoth, false, true, false},    // read device EEPROM
    {34, true, 48, kBoth, true, true, false},     // diagnose
    {35, true, 34, kBoth, true, true, false},     // sense
    {36, true, 32, kBoth, true, true, false},     // read scan parameters
    {37, true, 130, kFilm, true, true, false},    // inquiry
    {38, true, 514, kFilm, true, true, false},    // film table
    {37, false, -1, kCr, false, false, false},    // shading write
    {38, true, -1, kCr, false, true, false},      // shading read
    {39, false, 4, kBoth, false, true, false},    // cancel
    {40, false, 4, kCr, false, false, false},     // erase
    {128, true, -1, kBoth, false, false, false},  // scan without header
    {129, true, -1, kBoth, false, false, true},   // block scan after a host header
};

const CommandDef* findCommand(std::uint16_t code, Personality who) {
  std::uint8_t mask = who == Personality::Film ? kFilm : kCr;
  for (const CommandDef& d : kCommands)
    if (d.code == code && (d.who & mask)) return &d;
  return nullptr;
}

std::uint16_t le16(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }
std::uint32_t le32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}
void put16(std::vector<std::uint8_t>& v, std::uint16_t w) {
  v.push_back(std::uint8_t(w));
  v.push_back(std::uint8_t(w >> 8));
}
std::vector<std::uint8_t> wordsToBytes(const std::uint16_t* w, std::size_t n) {
  std::vector<std::uint8_t> v;
  v.reserve(2 * n);
  for (std::size_t i = 0; i < n; ++i) put16(v, w[i]);
  return v;
}

// The film sizes by size code: width and height in millimetres.
struct FilmSize {
  std::uint16_t width, height;
};
constexpr FilmSize kFilmSizes[8] = {{0, 0},     {356, 432}, {356, 356}, {279, 356},
                                    {254, 305}, {203, 254}, {100, 432}, {30, 40}};

FilmSize filmSize(std::uint8_t code) { return code < 8 ? kFilmSizes[code] : FilmSize{0, 0}; }

std::string defaultErrorText(std::uint16_t code) {
  switch (code) {
    case device::kFilmPickup:
      return "FILM PICKUP ERROR";
    case device::kCalibrationFailed:
      return "CALIBRATION FAILED";
    case 0x4112:
      return "SENSITIVITY TOO LOW";
    case 0x4113:
      return "SENSITIVITY TOO HIGH";
    case 0x4114:
      return "CALIBRATION UNSTABLE";
    default:
      break;
  }
  char text[32];
  std::snprintf(text, sizeof text, "DEVICE ERROR %04X", code);
  return text;
}

std::vector<std::uint8_t> pattern(std::size_t n, std::uint8_t salt) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = std::uint8_t(i * 7 + salt + (i >> 8));
  return v;
}

// A log entry built field by field.
struct Entry {
  LogEntry e;
  explicit Entry(LogEntry::Kind kind) { e.kind = kind; }
  Entry& requestType(std::uint8_t v) {
    e.requestType = v;
    return *this;
  }
  Entry& request(std::uint8_t v) {
    e.request = v;
    return *this;
  }
  Entry& word(std::uint16_t v) {
    e.word = v;
    return *this;
  }
  Entry& length(std::uint32_t v) {
    e.length = v;
    return *this;
  }
  Entry& code(std::uint16_t v) {
    e.code = v;
    return *this;
  }
  Entry& bytes(std::vector<std::uint8_t> v) {
    e.bytes = std::move(v);
    return *this;
  }
  Entry& text(std::string v) {
    e.text = std::move(v);
    return *this;
  }
  operator LogEntry() { return std::move(e); }
};

}  // namespace

void Core::Unit::copy(std::size_t from, std::uint8_t* to, std::size_t n) const {
  while (n > 0) {
    std::size_t chunk;
    if (from < head.size()) {
      chunk = std::min(n, head.size() - from);
      std::memcpy(to, head.data() + from, chunk);
    } else if (from < head.size() + bodyLength) {
      std::size_t off = from - head.size();
      chunk = std::min(n, bodyLength - off);
      std::memcpy(to, body->data() + off, chunk);
    } else {
      static const std::vector<std::uint8_t> junkPattern = pattern(4096, 0x5C);
      std::size_t off = (from - head.size() - bodyLength) % junkPattern.size();
      chunk = std::min(n, junkPattern.size() - off);
      std::memcpy(to, junkPattern.data() + off, chunk);
    }
    from += chunk;
    to += chunk;
    n -= chunk;
  }
}

Core::Core(const DeviceConfig& config, std::string path, Clock::time_point epoch,
           std::shared_ptr<std::atomic<std::uint64_t>> generation)
    : config_(config), path_(std::move(path)), epoch_(epoch), generation_(std::move(generation)) {
  bool film = config_.personality == Personality::Film;
  // Start-up scan parameters: a 14 x 17 inch film at 100 um, 12 bits (film) or
  // the plate reader's 14-bit sensor in 16-bit words (photometric word 4), in
  // blocks of 400 lines.
  scanParameters_ = {100,
                     0,
                     0,
                     3560,
                     std::uint16_t(film ? 4320 : 400),
                     std::uint16_t(film ? 0x0C0C : 0x0E10),
                     356,
                     432,
                     1,
                     std::uint16_t(film ? 0 : 4),
                     1,
                     0x0028,
                     0,
                     0,
                     0};
  for (int i = 0; i < 15; ++i) maintenance_[i] = std::uint16_t(100 + i);
  maintenance_[8] = config_.firmwareWord;
  maintenance_[10] = config_.serialNumber;
  std::vector<std::uint8_t> lut;
  for (std::uint16_t i = 0; i < 4096; ++i) put16(lut, i);
  store_[16] = lut;
  store_[20] = pattern(128, 20);
  store_[22] = pattern(256, 22);
  store_[32] = pattern(512, 32);
  if (!film) {
    std::vector<std::uint8_t> shading;
    for (int i = 0; i < 8192; ++i) put16(shading, std::uint16_t(0x4000 + (i % 64)));
    store_[37] = shading;
  }
  // The device's own log: text records, one of them carrying the end-of-file byte
  // that old tools stop at, so readers must not.
  std::string text =
      "0001 POWER ON\r\n0002 SELF TEST OK\r\n\x1a"
      "0003 COVER CLOSED\r\n";
  store_[25].assign(text.begin(), text.end());
  if (film) feeder_.assign(5, Film{1});
  logLocked(Entry(LogEntry::Kind::Plug).text(path_));
  // The state at power-on is the base that the first change is measured from.
  lastPacket_ = packetLocked();
}

bool Core::plugged() const {
  std::lock_guard lock(m_);
  return plugged_;
}

platform::usb::DeviceDescriptor Core::descriptor() const {
  platform::usb::DeviceDescriptor d;
  const std::uint8_t bytes[18] = {18,
                                  1,
                                  0x00,
                                  0x02,
                                  0,
                                  0,
                                  0,
                                  64,
                                  std::uint8_t(config_.vendorId),
                                  std::uint8_t(config_.vendorId >> 8),
                                  std::uint8_t(config_.productId),
                                  std::uint8_t(config_.productId >> 8),
                                  0x00,
                                  0x01,
                                  1,
                                  2,
                                  3,
                                  1};
  std::memcpy(d.bytes, bytes, 18);
  return d;
}

std::vector<platform::usb::PipeInfo> Core::pipes() const {
  using platform::usb::PipeType;
  return {{kBulkOut, PipeType::Bulk, config_.bulkOutPacket},
          {kInterruptIn, PipeType::Interrupt, config_.interruptPacket},
          {kBulkIn, PipeType::Bulk, config_.bulkInPacket}};
}

// ---- bookkeeping ----

std::uint64_t Core::stampLocked() const {
  return std::uint64_t(
      std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - epoch_).count());
}

void Core::logLocked(LogEntry entry) {
  entry.timeUs = stampLocked();
  if (log_.size() >= kMaxLog) log_.pop_front();
  log_.push_back(std::move(entry));
}

void Core::at(std::uint32_t delayMs, std::function<void()> action) {
  timers_.emplace(Clock::now() + std::chrono::milliseconds(delayMs), std::move(action));
  cv_.notify_all();
}

void Core::advanceLocked() {
  while (plugged_ && !timers_.empty() && timers_.begin()->first <= Clock::now()) {
    auto action = std::move(timers_.begin()->second);
    timers_.erase(timers_.begin());
    action();
  }
  transmitTimeoutsLocked();
}

// A real device gives up sending what the host does not collect.
void Core::transmitTimeoutsLocked() {
  if (timing_.transmitTimeoutMs == 0 || !plugged_) return;
  const auto limit = Clock::now() - std::chrono::milliseconds(timing_.transmitTimeoutMs);
  if (!in_.empty() && in_.front().touched < limit) {
    bool status = in_.front().status;
    abortLocked("transmission timed out");
    raiseErrorLocked(status ? protocol::kStatusTransmitTimeout : protocol::kDataTransmitTimeout,
                     {});
  }
  if (!interrupts_.empty() && interrupts_.front().queued < limit) {
    interrupts_.clear();
    if (!error_) raiseErrorLocked(protocol::kInterruptTransmitTimeout, {});
  }
}

void Core::queueLocked(Unit unit) {
  unit.touched = Clock::now();
  in_.push_back(std::move(unit));
  cv_.notify_all();
}

std::optional<Fault> Core::takeFaultLocked(Fault::Kind kind, std::uint16_t command) {
  for (auto it = faults_.begin(); it != faults_.end(); ++it) {
    if (it->kind != kind || it->count == 0) continue;
    if (it->command != 0 && it->command != command) continue;
    Fault f = *it;
    if (it->count > 0 && --it->count == 0) faults_.erase(it);
    static const char* const names[] = {"status error",
                                        "error interrupt",
                                        "stall",
                                        "unclearable stall",
                                        "silence",
                                        "bad echo",
                                        "short data",
                                        "long data",
                                        "overflow",
                                        "missing completion",
                                        "unplug during command",
                                        "dead interrupt pipe",
                                        "host error refused",
                                        "not ready"};
    logLocked(Entry(LogEntry::Kind::Fault).word(command).code(f.code).text(names[int(kind)]));
    return f;
  }
  return std::nullopt;
}

std::uint16_t Core::wordLocked() const {
  bool film = config_.personality == Personality::Film;
  bool films = film && !feeder_.empty();
  return std::uint16_t((ready_ ? bits::kReady : 0) | (films ? bits::kFilmAvailable : 0) |
                       (films ? bits::kAfSwitchOn : 0) | (filmSet_ ? bits::kFilmSet : 0) |
                       (filmReset_ ? bits::kFilmReset : 0) | (moving_ ? bits::kFilmMoving : 0) |
                       (commandDone_ ? bits::kCommandCompleted : 0) |
                       (calibrated_ ? bits::kCalibrationDone : 0) |
                       (initialized_ ? bits::kInitialized : 0) | ((nibble_ & 15u) << 11) |
                       (error_ ? bits::kError : 0));
}

std::array<std::uint8_t, 32> Core::packetLocked() const {
  std::array<std::uint8_t, 32> p{};
  std::uint16_t w = wordLocked();
  std::uint16_t code = error_ ? errorCode_ : 0;
  p[0] = std::uint8_t(w);
  p[1] = std::uint8_t(w >> 8);
  p[2] = std::uint8_t(code);
  p[3] = std::uint8_t(code >> 8);
  if (error_)
    std::memcpy(p.data() + 4, errorText_.data(), std::min<std::size_t>(28, errorText_.size()));
  return p;
}

void Core::emitLocked(bool force) {
  std::array<std::uint8_t, 32> p = packetLocked();
  std::uint16_t w = std::uint16_t(p[0] | p[1] << 8);
  std::uint16_t code = std::uint16_t(p[2] | p[3] << 8);
  if (!force && lastPacket_ && *lastPacket_ == p) return;
  lastPacket_ = p;
  if (interrupts_.size() >= kMaxInterrupts) interrupts_.pop_front();
  interrupts_.push_back({p, Clock::now()});
  logLocked(Entry(LogEntry::Kind::Interrupt)
                .word(w)
                .code(code)
                .bytes(std::vector<std::uint8_t>(p.begin(), p.end())));
  cv_.notify_all();
}

void Core::raiseErrorLocked(std::uint16_t code, const std::string& text) {
  error_ = true;
  errorCode_ = code;
  errorText_ = (text.empty() ? defaultErrorText(code) : text).substr(0, 28);
  if (config_.personality == Personality::Cr) condition_ = 128;
  std::string line = "ERROR " + errorText_ + "\r\n";
  auto& file = store_[25];
  if (file.size() < 65536) file.insert(file.end(), line.begin(), line.end());
  emitLocked(false);
}

void Core::abortLocked(const std::string& why) {
  std::size_t dropped = 0;
  for (const Unit& u : in_) dropped += u.size() - u.pos;
  if (in_.empty() && !out_) return;
  in_.clear();
  out_.reset();
  logLocked(Entry(LogEntry::Kind::Abort)
                .length(std::uint32_t(std::min<std::size_t>(dropped, UINT32_MAX)))
                .text(why));
  cv_.notify_all();
}

void Core::unplugLocked() {
  if (!plugged_) return;
  plugged_ = false;
  in_.clear();
  out_.reset();
  timers_.clear();
  interrupts_.clear();
  logLocked(Entry(LogEntry::Kind::Unplug).text(path_));
  generation_->fetch_add(1);
  cv_.notify_all();
}

void Core::startSessionLocked() {
  abortLocked("session started");
  protocolError_ = false;
  interrupts_.clear();
  const std::uint32_t session = ++sessions_;
  if (takeFaultLocked(Fault::Kind::NotReady, 0)) return;
  auto ready = [this, session] {
    if (session != sessions_) return;  // that session has ended meanwhile
    ready_ = true;
    // The host compares the first packet with nothing, so it always gets one.
    emitLocked(true);
  };
  if (timing_.readyDelayMs == 0)
    ready();
  else
    at(timing_.readyDelayMs, ready);
}

void Core::endSessionLocked() {
  abortLocked("session ended");
  ++sessions_;
  interrupts_.clear();
  ready_ = false;
  emitLocked(false);
}

// ---- host side ----

bool Core::acquire() {
  std::lock_guard lock(m_);
  if (!plugged_ || open_) return false;
  open_ = true;
  logLocked(Entry(LogEntry::Kind::Open));
  return true;
}

void Core::release() {
  std::lock_guard lock(m_);
  open_ = false;
  logLocked(Entry(LogEntry::Kind::Close));
}

TransferResult Core::bulkWrite(std::uint8_t endpoint, const void* data, std::size_t length,
                               std::uint32_t timeoutMs) {
  std::lock_guard lock(m_);
  if (!plugged_) return {Status::NoDevice, 0};
  if (endpoint != kBulkOut || timeoutMs == 0 || config_.bulkOutPacket == 0 ||
      (data == nullptr && length > 0))
    return {Status::Error, 0};
  advanceLocked();
  if (!plugged_) return {Status::NoDevice, 0};
  if (haltOut_) return {Status::Stall, 0};
  if (out_ && Clock::now() >= out_->deadline) {
    std::uint16_t word = out_->word;
    out_.reset();
    protocolError_ = true;
    statusLocked(word | kEchoBit, protocol::kReceptionTimeout);
  }
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  if (out_)
    feedLocked(bytes, length);
  else
    beginCommandLocked(bytes, length);
  if (!plugged_) return {Status::NoDevice, 0};
  if (haltOut_) return {Status::Stall, 0};
  return {Status::Ok, length};
}

// Whether the rate limit lets one packet of `bytes` go now; if not, `wake` is
// brought forward to when it will.
bool Core::rateAllowsLocked(Clock::time_point now, std::size_t bytes, Clock::time_point* wake) {
  if (rate_ == 0) return true;
  double burst = std::max<double>(double(rate_) / 50, std::max<double>(config_.bulkInPacket, 64));
  double dt = std::chrono::duration<double>(now - rateLast_).count();
  rateLast_ = now;
  tokens_ = std::min(burst, tokens_ + dt * double(rate_));
  if (tokens_ >= double(bytes)) return true;
  auto wait = std::chrono::duration<double>((double(bytes) - tokens_) / double(rate_));
  *wake = std::min(*wake, now + std::chrono::duration_cast<Clock::duration>(wait) +
                              std::chrono::microseconds(1));
  return false;
}

TransferResult Core::bulkRead(std::uint8_t endpoint, void* data, std::size_t length,
                              std::uint32_t timeoutMs) {
  std::unique_lock lock(m_);
  if (!plugged_) return {Status::NoDevice, 0};
  if (endpoint != kBulkIn || timeoutMs == 0 || config_.bulkInPacket == 0 ||
      (data == nullptr && length > 0))
    return {Status::Error, 0};
  auto* to = static_cast<std::uint8_t*>(data);
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::size_t got = 0;
  for (;;) {
    advanceLocked();
    if (!plugged_) return {Status::NoDevice, got};
    if (haltIn_) return {Status::Stall, got};
    auto now = Clock::now();
    if (out_ && now >= out_->deadline) {
      std::uint16_t word = out_->word;
      out_.reset();
      protocolError_ = true;
      statusLocked(word | kEchoBit, protocol::kReceptionTimeout);
    }
    Clock::time_point wake = deadline;
    if (got == length) return {Status::Ok, got};
    if (!in_.empty()) {
      Unit& u = in_.front();
      if (u.pos == u.unplugAt) {
        unplugLocked();
        continue;
      }
      // The device sends whole packets; only the last of a transfer is short, or
      // the one the device is cut off in.
      std::size_t packet = std::min<std::size_t>(config_.bulkInPacket, u.size() - u.pos);
      if (u.unplugAt != SIZE_MAX) packet = std::min(packet, u.unplugAt - u.pos);
      if (rateAllowsLocked(now, packet, &wake)) {
        // A packet larger than the room left overflows the host's buffer: what
        // fits arrives, the rest of the packet is lost, as on a real bus.
        const std::size_t n = std::min(packet, length - got);
        u.touched = now;
        u.copy(u.pos, to + got, n);
        u.pos += packet;
        got += n;
        if (rate_ != 0) tokens_ -= double(packet);
        const bool ended = u.pos == u.size();
        const bool overflow = n < packet || (ended && u.overflow);
        const bool shortEnd = ended && (u.zlp || u.size() % config_.bulkInPacket != 0);
        if (ended) in_.pop_front();
        if (overflow) return {Status::Overflow, got};
        if (shortEnd) return {Status::Ok, got};
        if (got == length) return {Status::Ok, got};
        if (Clock::now() < deadline) continue;
        return {Status::Timeout, got};
      }
    }
    if (out_) wake = std::min(wake, out_->deadline);
    if (!timers_.empty()) wake = std::min(wake, timers_.begin()->first);
    if (now >= deadline) return {Status::Timeout, got};
    cv_.wait_until(lock, wake);
  }
}

TransferResult Core::interruptRead(std::uint8_t endpoint, void* data, std::size_t length,
                                   bool* cancel) {
  std::unique_lock lock(m_);
  if (!plugged_) return {Status::NoDevice, 0};
  if (endpoint != kInterruptIn || config_.interruptPacket == 0 || data == nullptr)
    return {Status::Error, 0};
  for (;;) {
    advanceLocked();
    if (!plugged_) return {Status::NoDevice, 0};
    if (*cancel) {
      *cancel = false;
      return {Status::Cancelled, 0};
    }
    if (takeFaultLocked(Fault::Kind::DeadInterrupt, 0)) return {Status::Error, 0};
    std::optional<Clock::time_point> wake;
    if (!interrupts_.empty()) {
      const Clock::time_point arrives =
          interrupts_.front().queued + std::chrono::milliseconds(timing_.interruptLatencyMs);
      if (Clock::now() >= arrives) {
        auto p = interrupts_.front().bytes;
        interrupts_.pop_front();
        std::size_t n = std::min<std::size_t>(length, p.size());
        std::memcpy(data, p.data(), n);
        return {n < p.size() ? Status::Overflow : Status::Ok, n};
      }
      wake = arrives;
    }
    // A copy: another thread may run and erase that timer while we wait.
    if (!timers_.empty()) wake = wake ? std::min(*wake, timers_.begin()->first) : timers_.begin()->first;
    if (wake)
      cv_.wait_until(lock, *wake);
    else
      cv_.wait(lock);
  }
}

void Core::cancelInterrupt(bool* cancel) {
  std::lock_guard lock(m_);
  *cancel = true;
  cv_.notify_all();
}

TransferResult Core::control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                             std::uint16_t index, void* data, std::uint16_t length) {
  std::lock_guard lock(m_);
  if (!plugged_) return {Status::NoDevice, 0};
  advanceLocked();
  (void)value;
  logLocked(Entry(LogEntry::Kind::Request)
                .requestType(requestType)
                .request(request)
                .word(index)
                .length(length));
  if (requestType == 0x40) {
    switch (request) {
      case 16:
        endSessionLocked();
        return {Status::Ok, 0};
      case 14:
        startSessionLocked();
        return {Status::Ok, 0};
      case 13:
        if (takeFaultLocked(Fault::Kind::HostErrorFails, 0)) return {Status::Stall, 0};
        abortLocked("host error");
        protocolError_ = false;
        return {Status::Ok, 0};
      default:
        break;
    }
  } else if (requestType == 0xC0 && request == 15 && length >= 2 && data) {
    auto* out = static_cast<std::uint8_t*>(data);
    unsigned ep = index & 0x0F;
    bool halted;
    if (ep == (kBulkIn & 0x0F))
      halted = haltIn_;
    else if (ep == (kBulkOut & 0x0F))
      halted = haltOut_;
    else if (ep == (kInterruptIn & 0x0F))
      halted = false;
    else
      return {Status::Stall, 0};
    out[0] = halted ? 1 : 0;
    out[1] = 0;
    return {Status::Ok, 2};
  }
  // Requests the device does not know stall the control pipe.
  return {Status::Stall, 0};
}

Status Core::clearHalt(std::uint8_t endpoint) {
  std::lock_guard lock(m_);
  if (!plugged_) return Status::NoDevice;
  bool known = endpoint == kBulkIn || endpoint == kBulkOut || endpoint == kInterruptIn;
  bool ok = known && !haltStuck_;
  logLocked(Entry(LogEntry::Kind::ClearHalt).word(endpoint).code(std::uint16_t(ok ? 0 : 1)));
  if (!ok) return Status::Error;
  bool& halt = endpoint == kBulkIn ? haltIn_ : haltOut_;
  if (endpoint != kInterruptIn && halt) {
    halt = false;
    abortLocked("endpoint reset");
    protocolError_ = false;
  }
  cv_.notify_all();
  return Status::Ok;
}

// ---- the command stream ----

void Core::statusLocked(std::uint16_t echo, std::uint16_t code, std::uint32_t junk) {
  Unit u;
  put16(u.head, echo);
  put16(u.head, code);
  u.zlp = true;
  u.status = true;
  queueLocked(std::move(u));
  if (junk > 0) {
    Unit j;
    j.junk = junk;
    j.zlp = true;
    queueLocked(std::move(j));
  }
  logLocked(Entry(LogEntry::Kind::Status).word(echo).code(code));
  cv_.notify_all();
}

void Core::refuseLocked(std::uint16_t word, std::uint32_t length, std::uint16_t code) {
  // A refused read still gets its data phase (zeros), so that the host reads the
  // status block where it expects it.
  if ((word & kReadBit) && length > 0 && length <= kMaxZeroReply) {
    Unit u;
    u.head.assign(length, 0);
    queueLocked(std::move(u));
  }
  statusLocked(word | kEchoBit, code);
}

void Core::beginCommandLocked(const std::uint8_t* bytes, std::size_t length) {
  if (length < 6) {
    std::uint16_t word = length >= 2 ? le16(bytes) : 0;
    logLocked(Entry(LogEntry::Kind::Command)
                  .word(word)
                  .bytes(std::vector<std::uint8_t>(bytes, bytes + length))
                  .text("short block"));
    statusLocked(word | kEchoBit, protocol::kBadDataSize);
    return;
  }
  Command c;
  c.word = le16(bytes);
  c.length = le32(bytes + 2);
  c.block.assign(bytes, bytes + 6);
  auto logRefused = [&](const char* why) {
    logLocked(Entry(LogEntry::Kind::Command)
                  .word(c.word)
                  .length(c.length)
                  .bytes(std::vector<std::uint8_t>(
                      bytes, bytes + std::min<std::size_t>(length, 6 + kLoggedData)))
                  .text(why));
  };
  if (!in_.empty()) {
    // The host sent a new command while the last one's reply is still unread.
    abortLocked("next command before the reply was read");
    logRefused("overlap");
    protocolError_ = true;
    refuseLocked(c.word, c.length, protocol::kCommandOverlap);
    return;
  }
  if (c.word & 0xFE00) {
    logRefused("bad command word");
    refuseLocked(c.word, c.length, protocol::kUnknownCommandParameter);
    return;
  }
  c.def = findCommand(c.code(), config_.personality);
  if (!c.def) {
    logRefused("unknown command");
    refuseLocked(c.word, c.length, protocol::kUnknownCommand);
    return;
  }
  if (c.def->read != c.read()) {
    logRefused("wrong direction");
    refuseLocked(c.word, c.length, protocol::kUnknownCommandParameter);
    return;
  }
  if (!c.read() && c.length > kMaxWrite) {
    logRefused("data too long");
    refuseLocked(c.word, c.length, protocol::kBadDataSize);
    return;
  }
  c.need = c.read() ? 0 : c.length;
  c.deadline = Clock::now() + std::chrono::milliseconds(timing_.receptionTimeoutMs);
  out_ = std::move(c);
  feedLocked(bytes + 6, length - 6);
}

void Core::feedLocked(const std::uint8_t* bytes, std::size_t length) {
  Command& c = *out_;
  if (c.def->hostHeader) {
    std::size_t take = std::min(length, 14 - c.header.size());
    c.header.insert(c.header.end(), bytes, bytes + take);
    bytes += take;
    length -= take;
  }
  if (length > c.need) {
    Command done = std::move(c);
    out_.reset();
    logLocked(Entry(LogEntry::Kind::Command)
                  .word(done.word)
                  .length(done.length)
                  .bytes(done.block)
                  .text("more data than announced"));
    refuseLocked(done.word, done.length, protocol::kBadDataSize);
    return;
  }
  c.data.insert(c.data.end(), bytes, bytes + length);
  c.need -= length;
  if (c.need > 0 || (c.def->hostHeader && c.header.size() < 14)) return;
  Command done = std::move(c);
  out_.reset();
  executeLocked(done);
}

void Core::replyLocked(Command& c, Unit data, std::uint16_t status) {
  if (active_.shortData) {
    // Cut from the end: junk, then image, then head.
    std::size_t cut = std::min<std::size_t>(active_.shortData->bytes, data.size());
    std::size_t t = std::min(cut, data.junk);
    data.junk -= t;
    cut -= t;
    std::size_t b = std::min(cut, data.bodyLength);
    data.bodyLength -= b;
    cut -= b;
    data.head.resize(data.head.size() - std::min(cut, data.head.size()));
    data.zlp = true;
  }
  if (active_.longData) data.junk = active_.longData->bytes;
  if (active_.overflow) data.overflow = true;
  if (active_.unplug) data.unplugAt = std::min<std::size_t>(active_.unplug->bytes, data.size());
  if (data.size() > 0 || data.unplugAt != SIZE_MAX) queueLocked(std::move(data));
  std::uint16_t echo = c.word | kEchoBit;
  std::uint32_t junk = 0;
  if (active_.badEcho) {
    echo ^= 0x5A5A;
    junk = active_.badEcho->bytes;
  }
  statusLocked(echo, status, junk);
}

void Core::refuseCommandLocked(Command& c, std::uint16_t status) {
  Unit u;
  if (c.read() && c.length <= kMaxZeroReply) u.head.assign(c.length, 0);
  replyLocked(c, std::move(u), status);
}

void Core::replyBytesLocked(Command& c, std::vector<std::uint8_t> payload, std::uint16_t status) {
  Unit u;
  put16(u.head, c.code() | kPrefixBit);
  u.head.insert(u.head.end(), payload.begin(), payload.end());
  if (u.head.size() < c.length) u.zlp = true;
  replyLocked(c, std::move(u), status);
}

void Core::completeLocked(std::uint32_t delayMs, std::function<void()> action) {
  completionUsed_ = true;
  if (active_.missingCompletion) return;
  if (active_.errorInterrupt) {
    std::uint16_t code = active_.errorInterrupt->code;
    action = [this, code] { raiseErrorLocked(code, {}); };
  }
  if (delayMs == 0)
    action();
  else
    at(delayMs, std::move(action));
}

void Core::genericCompletionLocked() {
  commandDone_ = false;
  emitLocked(false);
  completeLocked(timing_.genericMs, [this] {
    commandDone_ = true;
    emitLocked(true);
  });
}

void Core::executeLocked(Command& c) {
  std::vector<std::uint8_t> logged = c.block;
  logged.insert(logged.end(), c.header.begin(), c.header.end());
  logged.insert(logged.end(), c.data.begin(),
                c.data.begin() + std::min(c.data.size(), kLoggedData));
  logLocked(Entry(LogEntry::Kind::Command).word(c.word).length(c.length).bytes(std::move(logged)));

  std::uint16_t code = c.code();
  active_ = {};
  active_.unplug = takeFaultLocked(Fault::Kind::UnplugDuringCommand, code);
  if (active_.unplug && !c.read()) {
    unplugLocked();
    return;
  }
  if ((active_.silence = takeFaultLocked(Fault::Kind::Silence, code))) return;
  active_.stall = takeFaultLocked(Fault::Kind::Stall, code);
  if (!active_.stall) {
    active_.stall = takeFaultLocked(Fault::Kind::StallUnclearable, code);
    if (active_.stall) haltStuck_ = true;
  }
  if (active_.stall) {
    (c.read() ? haltIn_ : haltOut_) = true;
    if (active_.stall->code) raiseErrorLocked(active_.stall->code, {});
    cv_.notify_all();
    return;
  }
  active_.status = takeFaultLocked(Fault::Kind::StatusError, code);
  active_.errorInterrupt = takeFaultLocked(Fault::Kind::ErrorInterrupt, code);
  active_.badEcho = takeFaultLocked(Fault::Kind::BadEcho, code);
  active_.shortData = takeFaultLocked(Fault::Kind::ShortData, code);
  active_.longData = takeFaultLocked(Fault::Kind::LongData, code);
  active_.overflow = takeFaultLocked(Fault::Kind::Overflow, code);
  active_.missingCompletion = takeFaultLocked(Fault::Kind::MissingCompletion, code);

  auto refuse = [&](std::uint16_t status) { refuseCommandLocked(c, status); };
  const CommandDef& d = *c.def;
  if (protocolError_) return refuse(protocol::kInProtocolError);
  if (!initialized_ && !d.beforeInit) return refuse(protocol::kNotInitialized);
  if (error_ && !d.inError) return refuse(protocol::kInError);
  if (d.length >= 0 && c.length != std::uint32_t(d.length)) return refuse(protocol::kBadDataSize);
  if (!c.read() && c.length > 0) {
    if (c.length < 2) return refuse(protocol::kBadDataSize);
    if (le16(c.data.data()) != (code | kPrefixBit)) return refuse(protocol::kUnknownDataCode);
  }
  if (c.read() && c.length == 0) return refuse(protocol::kBadDataSize);
  const bool prefixedVariableRead = c.read() && d.length < 0 && code != 5 && code < 128;
  if (prefixedVariableRead && (c.length < 2 || c.length > kMaxWrite + 2))
    return refuse(protocol::kBadDataSize);
  if (active_.status) return refuse(active_.status->code);

  completionUsed_ = false;
  handleLocked(c);
  if (active_.errorInterrupt && !completionUsed_)
    raiseErrorLocked(active_.errorInterrupt->code, {});
  active_ = {};
}

namespace {

// The command's data after its 2-byte prefix.
const std::uint8_t* payloadOf(const std::vector<std::uint8_t>& data) {
  return data.size() >= 2 ? data.data() + 2 : nullptr;
}
std::size_t payloadBytesOf(const std::vector<std::uint8_t>& data) { return data.size() >= 2 ? data.size() - 2 : 0; }
std::uint16_t wordOf(const std::vector<std::uint8_t>& data, std::size_t i) { return le16(payloadOf(data) + 2 * i); }

}  // namespace

Core::Handler Core::handlerFor(std::uint16_t code, Personality who) {
  // Beside the command table: which step serves each command, per
  // personality where the two differ.
  struct Row {
    std::uint16_t code;
    std::uint8_t who;
    Handler handle;
  };
  static constexpr Row kHandlers[] = {
      {1, kBoth, &Core::onInitialise},
      {2, kFilm, &Core::onScanParameters},
      {2, kCr, &Core::onPlateScanParameters},
      {3, kBoth, &Core::onFilmSet},
      {4, kBoth, &Core::onCalibrate},
      {5, kBoth, &Core::scanLocked},
      {6, kBoth, &Core::onFilmStatus},
      {7, kBoth, &Core::onResetFilm},
      {8, kBoth, &Core::onMove},
      {9, kFilm, &Core::onResetError},
      {9, kCr, &Core::onResetPlateError},
      {16, kBoth, &Core::onStoreWrite},
      {17, kBoth, &Core::onStoreRead},
      {18, kBoth, &Core::onSetMaintenance},
      {19, kBoth, &Core::onReadMaintenance},
      {20, kBoth, &Core::onStoreWrite},
      {21, kBoth, &Core::onStoreRead},
      {22, kBoth, &Core::onStoreWrite},
      {23, kBoth, &Core::onStoreRead},
      {24, kBoth, &Core::onStoreWrite},
      {25, kBoth, &Core::onStoreRead},
      {32, kBoth, &Core::onStoreWrite},
      {33, kBoth, &Core::onStoreRead},
      {34, kBoth, &Core::onDiagnose},
      {35, kBoth, &Core::onSense},
      {36, kBoth, &Core::onReadScanParameters},
      {37, kFilm, &Core::onInquiry},
      {37, kCr, &Core::onShadingWrite},
      {38, kFilm, &Core::onFilmTable},
      {38, kCr, &Core::onShadingRead},
      {39, kBoth, &Core::onCancel},
      {40, kBoth, &Core::onErase},
      {128, kBoth, &Core::scanLocked},
      {129, kBoth, &Core::scanLocked},
  };
  const std::uint8_t mask = who == Personality::Film ? kFilm : kCr;
  for (const Row& r : kHandlers)
    if (r.code == code && (r.who & mask)) return r.handle;
  return nullptr;
}

void Core::handleLocked(Command& c) {
  const Handler handle = handlerFor(c.code(), config_.personality);
  if (handle == nullptr) return replyLocked(c, {}, protocol::kUnknownCommand);
  (this->*handle)(c);
}

// ---- the commands ----

void Core::onInitialise(Command& c) {  // the host's local time as 14 digits
  const std::uint8_t* payload = payloadOf(c.data);
  if (!std::all_of(payload, payload + 14, [](std::uint8_t b) { return b >= '0' && b <= '9'; }))
    return replyLocked(c, {}, protocol::kUnknownDataParameter);
  clock_.assign(payload, payload + 14);
  std::string line = "INITIALIZE " + clock_ + "\r\n";
  auto& file = store_[25];
  if (file.size() < 65536) file.insert(file.end(), line.begin(), line.end());
  replyLocked(c, {});
  initialized_ = true;
  emitLocked(false);
}

void Core::onScanParameters(Command& c) { setScanParametersLocked(c, false); }

// The plate reader's output depth follows the photometric word in NumberOfLUT.
void Core::onPlateScanParameters(Command& c) { setScanParametersLocked(c, true); }

void Core::setScanParametersLocked(Command& c, bool depthFromPhotometricWord) {
  std::array<std::uint16_t, 15> w;
  for (int i = 0; i < 15; ++i) w[i] = wordOf(c.data, i);
  unsigned out = w[5] & 0xFF, sensor = w[5] >> 8;
  if (w[0] == 0 || w[3] == 0 || w[4] == 0 || out < 1 || out > 16 || sensor < 1 || sensor > 16)
    return replyLocked(c, {}, protocol::kUnknownDataParameter);
  if (depthFromPhotometricWord) w[5] = std::uint16_t((w[5] & 0xFF00) | plateOutputBits(w[9]));
  scanParameters_ = w;
  blocksDone_ = 0;
  replyLocked(c, {});
}

void Core::onFilmSet(Command& c) {  // 1 the next film from the feeder, 2 the set film back to its start
  std::uint16_t how = wordOf(c.data, 0);
  if (how != 1 && how != 2) return replyLocked(c, {}, protocol::kUnknownDataParameter);
  if (how == 2 && !film_) return replyLocked(c, {}, protocol::kCommandFailed);
  replyLocked(c, {});
  if (how == 1 && feeder_.empty())
    return completeLocked(timing_.filmSetMs, [this] { raiseErrorLocked(device::kFilmPickup, {}); });
  filmSet_ = false;
  filmReset_ = false;
  if (how == 1) {
    film_ = feeder_.front();
    feeder_.pop_front();
  }
  nibble_ = 1;
  emitLocked(false);
  completeLocked(timing_.filmSetMs, [this] {
    filmSet_ = true;
    nibble_ = 0;
    emitLocked(true);
  });
}

void Core::onCalibrate(Command& c) {
  replyLocked(c, {});
  calibrated_ = false;
  nibble_ = 2;
  emitLocked(false);
  completeLocked(timing_.calibrationMs, [this] {
    calibrated_ = true;
    nibble_ = 0;
    emitLocked(true);
  });
}

void Core::onFilmStatus(Command& c) { replyBytesLocked(c, filmStatusLocked()); }

void Core::onResetFilm(Command& c) {  // the film leaves the digitizer (the plate leaves the reader)
  replyLocked(c, {});
  if (plateRunning_) plateEndLocked();
  filmSet_ = false;
  film_.reset();
  emitLocked(false);
  completeLocked(timing_.filmResetMs, [this] {
    filmReset_ = true;
    emitLocked(true);
  });
}

void Core::onMove(Command& c) {  // the moving bit rises, then falls when the film has moved
  replyLocked(c, {});
  moving_ = true;
  nibble_ = 1;
  emitLocked(false);
  completeLocked(timing_.moveMs, [this] {
    moving_ = false;
    nibble_ = 0;
    emitLocked(true);
  });
}

void Core::onResetError(Command& c) { resetErrorLocked(c, false); }

// The plate reader comes back with a plate set.
void Core::onResetPlateError(Command& c) { resetErrorLocked(c, true); }

void Core::resetErrorLocked(Command& c, bool plateSet) {
  replyLocked(c, {});
  if (!error_) return;
  completeLocked(0, [this, plateSet] {
    error_ = false;
    errorCode_ = 0;
    errorText_.clear();
    if (plateSet) condition_ = 1;
    emitLocked(false);
  });
}

void Core::onSetMaintenance(Command& c) {
  for (int i = 0; i < 15; ++i) maintenance_[i] = wordOf(c.data, i);
  replyLocked(c, {});
}

void Core::onReadMaintenance(Command& c) { replyBytesLocked(c, wordsToBytes(maintenance_.data(), 15)); }

void Core::onStoreWrite(Command& c) {
  store_[c.code()].assign(payloadOf(c.data), payloadOf(c.data) + payloadBytesOf(c.data));
  replyLocked(c, {});
}

void Core::onStoreRead(Command& c) {  // what was kept: shorter when less is kept
  const std::uint16_t code = c.code();
  const auto& kept = store_[code == 25 ? 25 : code - 1];
  std::size_t n = std::min<std::size_t>(kept.size(), c.length - 2);
  replyBytesLocked(c, std::vector<std::uint8_t>(kept.begin(), kept.begin() + n));
}

void Core::onDiagnose(Command& c) {  // all checks passed
  std::uint16_t w[23] = {};
  w[1] = config_.serialNumber;
  w[2] = config_.firmwareWord;
  w[3] = std::uint16_t(scans_);
  w[4] = std::uint16_t(scans_ >> 16);
  replyBytesLocked(c, wordsToBytes(w, 23));
}

void Core::onSense(Command& c) {
  std::vector<std::uint8_t> v;
  put16(v, wordLocked());
  put16(v, error_ ? errorCode_ : 0);
  v.resize(32, 0);
  if (error_) std::memcpy(v.data() + 4, errorText_.data(), std::min<std::size_t>(28, errorText_.size()));
  replyBytesLocked(c, v);
}

void Core::onReadScanParameters(Command& c) {
  auto w = scanParametersReadLocked();
  replyBytesLocked(c, wordsToBytes(w.data(), 15));
}

void Core::onInquiry(Command& c) {
  std::vector<std::uint8_t> q(128, 0);
  q[2] = 0x02;
  q[3] = 0x02;
  q[7] = 0x52;
  auto text = [&](std::size_t at, const char* s, std::size_t n) {
    std::size_t len = std::strlen(s);
    for (std::size_t i = 0; i < n; ++i) q[at + i] = std::uint8_t(i < len ? s[i] : ' ');
  };
  text(8, "KORVA", 8);
  text(16, "FILM DIGITIZER", 16);
  text(32, "1.00", 4);
  text(36, "7163-01", 7);
  text(44, "1.00", 7);
  char firm[8];
  std::snprintf(firm, sizeof firm, "%X.%02X", config_.firmwareWord >> 8, config_.firmwareWord & 0xFF);
  text(52, firm, 7);
  q[97] = 0x3F;
  q[98] = 0x07;
  q[99] = 0x1F;
  q[100] = 16;
  q[101] = 0x0A;
  q[104] = 10;
  q[105] = 40;
  q[108] = 30;
  q[109] = 200;
  q[112] = 365 & 0xFF;
  q[113] = 365 >> 8;
  q[114] = 0xFF;
  q[119] = 1;
  q[120] = 1;
  replyBytesLocked(c, std::move(q));
  genericCompletionLocked();
}

void Core::onShadingWrite(Command& c) {
  store_[37].assign(payloadOf(c.data), payloadOf(c.data) + payloadBytesOf(c.data));
  replyLocked(c, {});
  genericCompletionLocked();
}

void Core::onFilmTable(Command& c) {  // 32 entries of 16 bytes
  std::vector<std::uint8_t> t(512, 0);
  for (std::uint8_t id = 1; id < 8; ++id) {
    std::uint8_t* e = t.data() + 16 * (id - 1);
    FilmSize s = filmSize(id);
    const std::uint16_t w[6] = {s.width, s.height, 0, 0, s.width, s.height};
    e[0] = id;
    e[1] = 0;
    for (int i = 0; i < 6; ++i) {
      e[4 + 2 * i] = std::uint8_t(w[i]);
      e[5 + 2 * i] = std::uint8_t(w[i] >> 8);
    }
  }
  replyBytesLocked(c, std::move(t));
  genericCompletionLocked();
}

void Core::onShadingRead(Command& c) {  // the whole asked length, padded with zeros
  std::vector<std::uint8_t> s = store_[37];
  s.resize(c.length - 2, 0);
  replyBytesLocked(c, std::move(s));
  genericCompletionLocked();
}

void Core::onCancel(Command& c) {
  if (wordOf(c.data, 0) != 1) return replyLocked(c, {}, protocol::kUnknownDataParameter);
  replyLocked(c, {});
  if (plateRunning_) plateEndLocked();
  genericCompletionLocked();
}

void Core::onErase(Command& c) {
  if (wordOf(c.data, 0) != 1) return replyLocked(c, {}, protocol::kUnknownDataParameter);
  replyLocked(c, {});
  commandDone_ = false;
  emitLocked(false);
  eraseLocked(true);
}

void Core::scanLocked(Command& c) {
  const std::uint16_t code = c.code();
  const auto& p = scanParameters_;
  const bool plate = config_.personality == Personality::Cr && code == 128;
  std::uint32_t lines = p[4];
  std::uint32_t offset = 0;
  if (code == 129) {
    std::uint16_t width = le16(c.header.data()), height = le16(c.header.data() + 2),
                  count = le16(c.header.data() + 6);
    if (width != p[3] || height != p[4] || count == 0)
      return refuseCommandLocked(c, protocol::kUnknownDataParameter);
    lines = std::uint32_t(height) * count;
  }
  if (plate) {
    std::uint32_t blocks = std::max<std::uint16_t>(p[8], 1);
    if (blocksDone_ >= blocks) blocksDone_ = 0;
    offset = blocksDone_ * std::uint32_t(p[4]);
  }
  // The CR reader inverts its samples itself for the photometric words that ask for it.
  ImageSpec spec = config_.personality == Personality::Cr ? plateImageSpec(p, code, offset, lines, seed_)
                                                          : scanImageSpec(p, code, offset, lines, seed_);
  std::uint64_t bytes = radiographBytes(spec);
  std::uint64_t expected = bytes + (code == 5 ? 16 : 0);
  if (bytes == 0) return refuseCommandLocked(c, protocol::kCommandFailed);
  if (expected != c.length) return refuseCommandLocked(c, protocol::kBadDataSize);
  Unit u;
  if (code == 5) {
    put16(u.head, code | kPrefixBit);
    auto h = scanHeader(p);
    u.head.insert(u.head.end(), h.begin(), h.end());
  }
  u.body = imageLocked(spec);
  u.bodyLength = u.body->size();
  ++scans_;
  replyLocked(c, std::move(u));
  if (plate) {
    ++blocksDone_;
    std::uint32_t blocks = std::max<std::uint16_t>(p[8], 1);
    bool early = endAfter_ != 0 && blocksDone_ >= endAfter_;
    if (blocksDone_ >= blocks || early) {
      plateEndLocked();
    } else {
      plateRunning_ = true;
      condition_ = 6;
      nibble_ = 1;
      emitLocked(false);
    }
  }
}

void Core::plateEndLocked() {
  plateRunning_ = false;
  blocksDone_ = 0;
  eraseLocked(false);
}

// The CR reader erases the plate in two phases, then is idle again.
void Core::eraseLocked(bool completion) {
  condition_ = 8;
  nibble_ = 3;
  emitLocked(false);
  std::uint32_t phase = timing_.erasePhaseMs;
  auto done = [this, completion] {
    condition_ = error_ ? 128 : 1;
    nibble_ = 0;
    if (completion) commandDone_ = true;
    emitLocked(completion);
  };
  auto second = [this, phase, done, completion] {
    condition_ = 16;
    if (completion) {
      completeLocked(phase, done);
    } else {
      at(phase, done);
    }
  };
  if (completion) {
    // Faults of the erase command apply to its completion, which comes later.
    Active saved = active_;
    at(phase, [this, second, saved] {
      active_ = saved;
      second();
      active_ = {};
    });
    completionUsed_ = true;
  } else {
    at(phase, second);
  }
}

std::shared_ptr<const std::vector<std::uint8_t>> Core::imageLocked(const ImageSpec& spec) {
  if (!cachedSpec_ || !(*cachedSpec_ == spec)) {
    cachedImage_ = std::make_shared<const std::vector<std::uint8_t>>(radiograph(spec));
    cachedSpec_ = spec;
  }
  return cachedImage_;
}

std::vector<std::uint16_t> Core::scanParametersReadLocked() const {
  std::vector<std::uint16_t> w(scanParameters_.begin(), scanParameters_.end());
  if (config_.personality == Personality::Film) {
    // Option3 carries the loaded film's size code, Option4 its width in mm.
    w[12] = film_ ? film_->sizeCode : 0;
    w[13] = film_ ? filmSize(film_->sizeCode).width : 0;
  } else {
    w[12] = condition_;
  }
  return w;
}

std::vector<std::uint8_t> Core::filmStatusLocked() const {
  std::uint16_t w[23] = {};
  w[0] = wordLocked();
  w[1] = error_ ? errorCode_ : 0;
  w[2] = std::uint16_t(feeder_.size());
  if (film_) {
    FilmSize s = filmSize(film_->sizeCode);
    std::uint16_t pitch = std::max<std::uint16_t>(scanParameters_[0], 1);
    w[3] = std::uint16_t(std::uint32_t(s.width) * 1000 / pitch);
    w[4] = std::uint16_t(std::min<std::uint32_t>(std::uint32_t(s.height) * 1000 / pitch, 65535));
    w[5] = s.width;
    w[6] = s.height;
    w[22] = film_->sizeCode;
  }
  w[7] = std::uint16_t(scans_);
  w[8] = std::uint16_t(scans_ >> 16);
  w[11] = 1000;  // high voltage
  w[17] = std::uint16_t(scanParameters_[10] & 0xFF00);
  w[20] = 0x0001;
  w[21] = 0x00F0;  // mechanics switches
  return wordsToBytes(w, 23);
}

// ---- the test side ----

void Core::unplug() {
  std::lock_guard lock(m_);
  unplugLocked();
}

void Core::arm(const Fault& fault) {
  std::lock_guard lock(m_);
  if (fault.count == 0) return;
  faults_.push_back(fault);
  cv_.notify_all();
}

void Core::clearFaults() {
  std::lock_guard lock(m_);
  faults_.clear();
  haltStuck_ = false;
}

void Core::raiseError(std::uint16_t code, const std::string& text) {
  std::lock_guard lock(m_);
  if (plugged_ && code != 0) raiseErrorLocked(code, text);
}

void Core::setTiming(const Timing& timing) {
  std::lock_guard lock(m_);
  timing_ = timing;
}

void Core::setRateLimit(std::uint64_t bytesPerSecond) {
  std::lock_guard lock(m_);
  rate_ = bytesPerSecond;
  tokens_ = 0;
  rateLast_ = Clock::now();
  cv_.notify_all();
}

void Core::setFeeder(const std::vector<Film>& films) {
  std::lock_guard lock(m_);
  feeder_.assign(films.begin(), films.end());
  if (plugged_) emitLocked(false);
}

void Core::endPlateAfter(std::uint32_t blocks) {
  std::lock_guard lock(m_);
  endAfter_ = blocks;
}

void Core::setImageSeed(std::uint32_t seed) {
  std::lock_guard lock(m_);
  seed_ = seed;
}

std::uint16_t Core::statusWord() {
  std::lock_guard lock(m_);
  advanceLocked();
  return wordLocked();
}

std::uint16_t Core::errorCode() {
  std::lock_guard lock(m_);
  advanceLocked();
  return error_ ? errorCode_ : 0;
}

bool Core::initialized() const {
  std::lock_guard lock(m_);
  return initialized_;
}

std::vector<std::uint8_t> Core::stored(std::uint16_t code) const {
  std::lock_guard lock(m_);
  if (code == 18) return wordsToBytes(maintenance_.data(), 15);
  auto it = store_.find(code);
  return it == store_.end() ? std::vector<std::uint8_t>{} : it->second;
}

void Core::setStored(std::uint16_t code, std::vector<std::uint8_t> bytes) {
  std::lock_guard lock(m_);
  if (code == 18) {
    bytes.resize(30, 0);
    for (int i = 0; i < 15; ++i) maintenance_[i] = le16(bytes.data() + 2 * i);
    return;
  }
  store_[code] = std::move(bytes);
}

std::vector<std::uint16_t> Core::scanParameters() {
  std::lock_guard lock(m_);
  advanceLocked();
  return std::vector<std::uint16_t>(scanParameters_.begin(), scanParameters_.end());
}

std::vector<LogEntry> Core::log() const {
  std::lock_guard lock(m_);
  return std::vector<LogEntry>(log_.begin(), log_.end());
}

void Core::clearLog() {
  std::lock_guard lock(m_);
  log_.clear();
}

}  // namespace sim::detail
