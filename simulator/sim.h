// The simulated scanners: a bus of film digitizers (products 16 to 18) and CR
// plate readers (product 19) that speak the device side of the scanners' USB
// command protocol, with faults on demand and a log of what went over the wire.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/usb.h"
#include "platform/usb_vendor.h"
#include "simulator/radiograph.h"

namespace sim {

// The scanner maker's USB vendor id: the build setting, as the real scanners'.
inline constexpr std::uint16_t kVendorId = platform::usb::kScannerVendorId;
inline constexpr std::uint16_t kFilmProducts[] = {16, 17, 18};
inline constexpr std::uint16_t kCrProduct = 19;

// Endpoint addresses, in descriptor order: bulk-OUT, interrupt-IN, bulk-IN.
inline constexpr std::uint8_t kBulkOut = 0x02;
inline constexpr std::uint8_t kInterruptIn = 0x84;
inline constexpr std::uint8_t kBulkIn = 0x86;

enum class Personality { Film, Cr };

struct DeviceConfig {
  Personality personality = Personality::Film;
  std::uint16_t vendorId = kVendorId;
  std::uint16_t productId = 16;
  // Maximum packet sizes of the three pipes; 0 and other odd values are allowed
  // so that the host's checks can be tried.
  std::uint16_t bulkOutPacket = 512;
  std::uint16_t interruptPacket = 32;
  std::uint16_t bulkInPacket = 512;
  std::uint16_t serialNumber = 4321;
  std::uint16_t firmwareWord = 0x1203;
};

DeviceConfig filmDigitizer(std::uint16_t productId = 16);
DeviceConfig crReader();

// Status word bits, in interrupt packets and sense data alike.
namespace bits {
inline constexpr std::uint16_t kReady = 1u << 0;
inline constexpr std::uint16_t kFilmAvailable = 1u << 1;
inline constexpr std::uint16_t kAfSwitchOn = 1u << 2;
inline constexpr std::uint16_t kFilmSet = 1u << 3;
inline constexpr std::uint16_t kFilmReset = 1u << 4;
inline constexpr std::uint16_t kFilmMoving = 1u << 5;
inline constexpr std::uint16_t kCommandCompleted = 1u << 6;
inline constexpr std::uint16_t kCalibrationDone = 1u << 7;
inline constexpr std::uint16_t kInitialized = 1u << 8;
inline constexpr std::uint16_t kError = 1u << 15;
}  // namespace bits

// The device's protocol error codes.
namespace protocol {
inline constexpr std::uint16_t kUnknownCommand = 0x2001;
inline constexpr std::uint16_t kUnknownCommandParameter = 0x2002;
inline constexpr std::uint16_t kUnknownDataCode = 0x2003;
inline constexpr std::uint16_t kUnknownDataParameter = 0x2004;
inline constexpr std::uint16_t kReceptionTimeout = 0x2005;
inline constexpr std::uint16_t kDataTransmitTimeout = 0x2006;
inline constexpr std::uint16_t kStatusTransmitTimeout = 0x2007;
inline constexpr std::uint16_t kInterruptTransmitTimeout = 0x2008;
inline constexpr std::uint16_t kInError = 0x2009;
inline constexpr std::uint16_t kInProtocolError = 0x200A;
inline constexpr std::uint16_t kCommandOverlap = 0x200B;
inline constexpr std::uint16_t kBadDataSize = 0x200C;
inline constexpr std::uint16_t kCommandFailed = 0x200D;
inline constexpr std::uint16_t kNotInitialized = 0x200E;
}  // namespace protocol

// Device error codes the simulated mechanics raise by themselves.
namespace device {
inline constexpr std::uint16_t kFilmPickup = 0x40F1;
inline constexpr std::uint16_t kCalibrationFailed = 0x4111;
}  // namespace device

// One entry of a device's wire log.
struct LogEntry {
  enum class Kind {
    Plug,       // the device was plugged in
    Unplug,     // the device was removed
    Open,       // a host opened the device
    Close,      // the host's handle was closed
    Request,    // a control request: requestType, request, index (in `word`), length
    Command,    // a complete command: `word` the command word, `length` the data length,
                // `bytes` the command block, host header and up to 64 bytes of data
    Status,     // a status block queued: `word` the echo, `code` the status
    Interrupt,  // an interrupt packet queued: `word` the status word, `code` the error code,
                // `bytes` the 32 bytes
    ClearHalt,  // a clear-halt: `word` the endpoint, `code` 0 when it worked
    Abort,      // the current command was given up; `text` says why
    Fault,      // an armed fault fired; `text` names it
  };
  std::uint64_t timeUs = 0;  // microseconds since the bus was made
  Kind kind = Kind::Command;
  std::uint8_t requestType = 0;
  std::uint8_t request = 0;
  std::uint16_t word = 0;
  std::uint32_t length = 0;
  std::uint16_t code = 0;
  std::vector<std::uint8_t> bytes;
  std::string text;

  std::string describe() const;  // one readable line, for test failure messages
};

// A fault armed on a device. Faults tied to a command fire on the next command
// with that code (0: any command) and stay armed for `count` commands (-1: for
// ever).
struct Fault {
  enum class Kind {
    StatusError,          // the command is refused: its data phase (zeros for a read),
                          // then a status block with `code`
    ErrorInterrupt,       // the command is accepted, then an error interrupt with `code`
                          // comes instead of its completion
    Stall,                // the data pipe of the command halts (bulk-IN for reads, bulk-OUT
                          // for writes); with a non-zero `code` an error interrupt follows
    StallUnclearable,     // as Stall, and clear-halt fails until the fault is cleared
    Silence,              // the command is taken and never answered
    BadEcho,              // the status echo is wrong and `bytes` junk bytes follow it
    ShortData,            // the data phase is `bytes` shorter (ended by a short packet)
    LongData,             // the data phase carries `bytes` more
    Overflow,             // the last packet of the data phase is longer than asked
    MissingCompletion,    // the command's completion interrupt is never sent
    UnplugDuringCommand,  // the device disappears after `bytes` bytes of the data phase
    // Faults not tied to a command:
    DeadInterrupt,   // interrupt reads fail for `count` reads (-1: until cleared)
    HostErrorFails,  // vendor request 13 is refused
    NotReady,        // the session start never reports ready
  };
  Kind kind = Kind::StatusError;
  std::uint16_t command = 0;
  std::uint16_t code = 0;
  std::uint32_t bytes = 0;
  int count = 1;
};

// Times of the simulated mechanics, in milliseconds (0: at once). Each step
// sends its interrupt when it is due.
struct Timing {
  std::uint32_t readyDelayMs = 0;  // from request 14 to the ready interrupt
  std::uint32_t filmSetMs = 0;
  std::uint32_t filmResetMs = 0;
  std::uint32_t calibrationMs = 0;
  std::uint32_t moveMs = 0;                 // from the moving rise to its fall (0: one burst)
  std::uint32_t erasePhaseMs = 0;           // each of the CR reader's two erase phases
  std::uint32_t genericMs = 0;              // raw commands' completion
  std::uint32_t receptionTimeoutMs = 2000;  // a write's data phase must be complete by then
  // Data, a status or an interrupt packet left unread this long is dropped and
  // reported as a device error 0x2006, 0x2007 or 0x2008 (0: never).
  std::uint32_t transmitTimeoutMs = 0;
  // An interrupt packet reaches the host this long after the device queued it,
  // as when the host's interrupt thread runs late; command replies are not held.
  std::uint32_t interruptLatencyMs = 0;
};

// One film in the digitizer's feeder, by its film size code (1..7).
struct Film {
  std::uint8_t sizeCode = 1;
};

namespace detail {
class Core;
}

// The test's hold on one simulated device. Copies refer to the same device;
// it stays valid after the device is unplugged.
class Scanner {
 public:
  Scanner() = default;
  explicit Scanner(std::shared_ptr<detail::Core> core);

  bool valid() const { return core_ != nullptr; }
  const DeviceConfig& config() const;
  std::string path() const;
  bool plugged() const;

  void arm(const Fault& fault);
  void clearFaults();
  // A device error now: the error bit rises with `code` and `text` (28 characters
  // at most are sent). Code 0 is no error and is ignored.
  void raiseError(std::uint16_t code, const std::string& text = {});
  void setTiming(const Timing& timing);
  // Bytes per second on bulk-IN; 0 switches the limit off (the default).
  void setRateLimit(std::uint64_t bytesPerSecond);
  // The film digitizer's feeder, front first; the auto-feeder switch is on while
  // it holds films.
  void setFeeder(const std::vector<Film>& films);
  // The CR reader ends the current plate after `blocks` block commands
  // (0: the plate runs to the block count).
  void endPlateAfter(std::uint32_t blocks);
  // The seed of the radiograph's noise.
  void setImageSeed(std::uint32_t seed);

  std::uint16_t statusWord() const;
  std::uint16_t errorCode() const;
  bool initialized() const;
  // What the storage commands keep, by the code of the command that writes them
  // (16 LUT, 18 maintenance, 20 scan program, 22 scan EEPROM, 24 device program,
  // 32 device EEPROM, 37 shading on the CR reader) and 25 for the device's own
  // log file, which only the device writes.
  std::vector<std::uint8_t> stored(std::uint16_t writeCode) const;
  void setStored(std::uint16_t writeCode, std::vector<std::uint8_t> bytes);
  // The scan parameters as last set (15 words).
  std::vector<std::uint16_t> scanParameters() const;

  std::vector<LogEntry> log() const;
  void clearLog();
  // The log entries of one kind, in order.
  std::vector<LogEntry> log(LogEntry::Kind kind) const;

  std::shared_ptr<detail::Core> core() const { return core_; }

 private:
  std::shared_ptr<detail::Core> core_;
};

// The simulated bus, a backend of the platform's USB port.
class Bus : public platform::usb::Port {
 public:
  Bus();
  ~Bus() override;
  Bus(const Bus&) = delete;
  Bus& operator=(const Bus&) = delete;

  // Plugs a new device in at the end of the bus order.
  Scanner plug(const DeviceConfig& config);
  // Removes the device: every call on its open handle (waiting ones included)
  // ends with NoDevice.
  void unplug(const Scanner& scanner);
  std::vector<Scanner> scanners() const;

  // platform::usb::Port
  std::vector<platform::usb::DeviceInfo> list(std::uint16_t vendorId,
                                              std::span<const std::uint16_t> products) override;
  std::unique_ptr<platform::usb::Device> open(const std::string& path) override;
  // Reports every plug and unplug of a matching device, on the calling thread.
  std::unique_ptr<Watch> watch(std::uint16_t vendorId, std::span<const std::uint16_t> products,
                               ChangeHandler handler) override;

  // A number that changes with every plug and unplug.
  std::uint64_t generation() const;

  // Runs `action` on the bus's own thread after `delayMs` (a scenario's timed
  // steps: plug, unplug or an error at a moment of its choosing).
  void after(std::uint32_t delayMs, std::function<void()> action);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

// The bus that `spec` describes: "sim:film", "sim:cr" or "sim:film+cr",
// optionally followed by "@scenario-file". Null (with `error` set) when the text
// is not a simulated bus or the scenario cannot be read.
std::shared_ptr<Bus> busFromSpec(const std::string& spec, std::string* error = nullptr);
// The same from NDT_USB; null when it is unset or names another backend.
std::shared_ptr<Bus> busFromEnvironment(std::string* error = nullptr);

// Applies a scenario text to the devices of a bus (the format is in README.md).
// Returns false with `error` set at the first bad line; lines before it stay applied.
bool applyScenario(Bus& bus, const std::string& text, std::string* error = nullptr);

}  // namespace sim
