// One simulated scanner: the device side of the protocol behind one USB address.
// Every host call and every test call takes the one mutex; waits use the one
// condition variable, woken on every change.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/usb.h"
#include "simulator/radiograph.h"
#include "simulator/sim.h"

namespace sim::detail {

using Clock = std::chrono::steady_clock;
using platform::usb::Status;
using platform::usb::TransferResult;

struct CommandDef;

class Core {
 public:
  Core(const DeviceConfig& config, std::string path, Clock::time_point epoch,
       std::shared_ptr<std::atomic<std::uint64_t>> generation);

  const DeviceConfig& config() const { return config_; }
  const std::string& path() const { return path_; }
  bool plugged() const;
  platform::usb::DeviceDescriptor descriptor() const;
  std::vector<platform::usb::PipeInfo> pipes() const;

  // The host side; `cancel` is the open handle's cancel flag, guarded by the mutex.
  bool acquire();
  void release();
  TransferResult bulkWrite(std::uint8_t endpoint, const void* data, std::size_t length,
                           std::uint32_t timeoutMs);
  TransferResult bulkRead(std::uint8_t endpoint, void* data, std::size_t length,
                          std::uint32_t timeoutMs);
  TransferResult interruptRead(std::uint8_t endpoint, void* data, std::size_t length, bool* cancel);
  void cancelInterrupt(bool* cancel);
  TransferResult control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                         std::uint16_t index, void* data, std::uint16_t length);
  Status clearHalt(std::uint8_t endpoint);

  // The test side.
  void unplug();
  void arm(const Fault& fault);
  void clearFaults();
  void raiseError(std::uint16_t code, const std::string& text);
  void setTiming(const Timing& timing);
  void setRateLimit(std::uint64_t bytesPerSecond);
  void setFeeder(const std::vector<Film>& films);
  void endPlateAfter(std::uint32_t blocks);
  void setImageSeed(std::uint32_t seed);
  std::uint16_t statusWord();
  std::uint16_t errorCode();
  bool initialized() const;
  std::vector<std::uint8_t> stored(std::uint16_t code) const;
  void setStored(std::uint16_t code, std::vector<std::uint8_t> bytes);
  std::vector<std::uint16_t> scanParameters();
  std::vector<LogEntry> log() const;
  void clearLog();

 private:
  // One transfer's worth of bytes that the device has queued on bulk-IN.
  struct Unit {
    std::vector<std::uint8_t> head;
    std::shared_ptr<const std::vector<std::uint8_t>> body;
    std::size_t bodyLength = 0;
    std::size_t junk = 0;  // bytes of a repeated junk pattern after the rest
    std::size_t pos = 0;
    bool zlp = false;       // ended by a short or zero-length packet even when aligned
    bool overflow = false;  // the device babbles past the end
    std::size_t unplugAt = SIZE_MAX;
    bool status = false;
    Clock::time_point touched;  // queued, or last read from
    std::size_t size() const { return head.size() + bodyLength + junk; }
    void copy(std::size_t from, std::uint8_t* to, std::size_t n) const;
  };

  struct Command {
    std::uint16_t word = 0;
    std::uint32_t length = 0;
    const CommandDef* def = nullptr;
    std::vector<std::uint8_t> block;
    std::vector<std::uint8_t> header;
    std::vector<std::uint8_t> data;  // the written data phase, prefix included
    std::size_t need = 0;            // data bytes still to come
    Clock::time_point deadline;
    std::uint16_t code() const { return std::uint16_t(word & 0xFF); }
    bool read() const { return (word & 0x100) != 0; }
  };

  // The faults that fired for the command being executed.
  struct Active {
    std::optional<Fault> status, errorInterrupt, stall, silence, badEcho, shortData, longData,
        overflow, missingCompletion, unplug;
  };

  std::uint64_t stampLocked() const;
  void logLocked(LogEntry entry);
  void advanceLocked();
  void transmitTimeoutsLocked();
  void queueLocked(Unit unit);
  std::optional<Fault> takeFaultLocked(Fault::Kind kind, std::uint16_t command);
  std::uint16_t wordLocked() const;
  std::array<std::uint8_t, 32> packetLocked() const;
  void emitLocked(bool force);
  void raiseErrorLocked(std::uint16_t code, const std::string& text);
  void abortLocked(const std::string& why);
  void unplugLocked();
  void startSessionLocked();
  void endSessionLocked();
  void at(std::uint32_t delayMs, std::function<void()> action);

  void beginCommandLocked(const std::uint8_t* bytes, std::size_t length);
  void feedLocked(const std::uint8_t* bytes, std::size_t length);
  void executeLocked(Command& c);
  // The step of each command, found by its code in the handler table.
  using Handler = void (Core::*)(Command&);
  static Handler handlerFor(std::uint16_t code, Personality who);
  void handleLocked(Command& c);
  void onInitialise(Command& c);
  void onScanParameters(Command& c);
  void onPlateScanParameters(Command& c);
  void setScanParametersLocked(Command& c, bool depthFromPhotometricWord);
  void onFilmSet(Command& c);
  void onCalibrate(Command& c);
  void onFilmStatus(Command& c);
  void onResetFilm(Command& c);
  void onMove(Command& c);
  void onResetError(Command& c);
  void onResetPlateError(Command& c);
  void resetErrorLocked(Command& c, bool plateSet);
  void onSetMaintenance(Command& c);
  void onReadMaintenance(Command& c);
  void onStoreWrite(Command& c);
  void onStoreRead(Command& c);
  void onDiagnose(Command& c);
  void onSense(Command& c);
  void onReadScanParameters(Command& c);
  void onInquiry(Command& c);
  void onShadingWrite(Command& c);
  void onFilmTable(Command& c);
  void onShadingRead(Command& c);
  void onCancel(Command& c);
  void onErase(Command& c);
  void refuseLocked(std::uint16_t word, std::uint32_t length, std::uint16_t code);
  void replyLocked(Command& c, Unit data, std::uint16_t status = 0);
  // A refused command: a read still gets its data phase, as zeros.
  void refuseCommandLocked(Command& c, std::uint16_t status);
  void replyBytesLocked(Command& c, std::vector<std::uint8_t> payload, std::uint16_t status = 0);
  void statusLocked(std::uint16_t echo, std::uint16_t code, std::uint32_t junk = 0);
  void completeLocked(std::uint32_t delayMs, std::function<void()> action);
  void genericCompletionLocked();
  void scanLocked(Command& c);
  void plateEndLocked();
  void eraseLocked(bool completion);
  std::shared_ptr<const std::vector<std::uint8_t>> imageLocked(const ImageSpec& spec);
  bool rateAllowsLocked(Clock::time_point now, std::size_t bytes, Clock::time_point* wake);
  std::vector<std::uint16_t> scanParametersReadLocked() const;
  std::vector<std::uint8_t> filmStatusLocked() const;

  const DeviceConfig config_;
  const std::string path_;
  const Clock::time_point epoch_;
  std::shared_ptr<std::atomic<std::uint64_t>> generation_;

  mutable std::mutex m_;
  std::condition_variable cv_;

  bool plugged_ = true;
  bool open_ = false;
  bool haltIn_ = false, haltOut_ = false, haltStuck_ = false;
  std::deque<Unit> in_;
  std::optional<Command> out_;
  struct Packet {
    std::array<std::uint8_t, 32> bytes;
    Clock::time_point queued;
  };
  std::deque<Packet> interrupts_;
  std::multimap<Clock::time_point, std::function<void()>> timers_;
  std::vector<Fault> faults_;
  Active active_;
  bool completionUsed_ = false;

  // The state that the status word shows.
  bool ready_ = false, initialized_ = false, error_ = false;
  bool filmSet_ = false, filmReset_ = false, moving_ = false, calibrated_ = false,
       commandDone_ = false;
  std::uint8_t nibble_ = 0;
  std::uint16_t errorCode_ = 0;
  std::string errorText_;
  bool protocolError_ = false;
  std::uint32_t sessions_ = 0;  // counts session starts and ends
  std::optional<std::array<std::uint8_t, 32>> lastPacket_;

  std::deque<Film> feeder_;
  std::optional<Film> film_;
  std::uint32_t scans_ = 0;
  std::uint8_t condition_ = 1;  // the CR reader's scanner condition
  std::uint32_t blocksDone_ = 0, endAfter_ = 0;
  bool plateRunning_ = false;

  std::array<std::uint16_t, 15> scanParameters_{};
  std::array<std::uint16_t, 15> maintenance_{};
  std::map<std::uint16_t, std::vector<std::uint8_t>> store_;
  std::string clock_;  // the initialise command's 14 digits

  Timing timing_;
  std::uint64_t rate_ = 0;
  double tokens_ = 0;
  Clock::time_point rateLast_;
  std::uint32_t seed_ = 0;
  std::optional<ImageSpec> cachedSpec_;
  std::shared_ptr<const std::vector<std::uint8_t>> cachedImage_;

  std::deque<LogEntry> log_;
};

}  // namespace sim::detail
