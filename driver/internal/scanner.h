// The command layer: the command table, one command (a table row or a raw code)
// turned into a command block with its data, the wait for completion
// interrupts, and the interrupt thread that decodes the scanner's packets.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "driver/internal/status.h"
#include "driver/internal/usb_scanner.h"
#include "driver/pravik.h"

namespace pravik {

constexpr std::uint16_t kDirectionRead = 0x100;

struct CommandInfo {
  std::uint32_t code = 0;
  std::uint16_t direction = 0;  // 0 host to device, kDirectionRead device to host
  std::int32_t length = -1;     // bytes of the data phase, prefix included; -1 = the caller's
  bool shortReadOk = false;
  bool waitsForInterrupt = false;
  bool InterruptInfo::*first = nullptr;
  bool InterruptInfo::*second = nullptr;
};

constexpr int kCommandRows = 26;
const std::array<CommandInfo, kCommandRows>& commandTable();
// The row of a command: a table row for TABLE_COMMAND, else one made for the raw
// code. False when the row index or the type is out of range.
bool commandRow(std::int32_t command, COMMAND_TYPE type, CommandInfo& row);
// Codes whose data phase carries no 2-byte prefix.
inline bool hasNoPrefix(std::uint32_t code) { return code == 128 || code == 129; }

// Decodes a packet against the status word of the one before; the error code and
// text are taken only on a rising error bit, else they stay those of `last`.
InterruptInfo decodeInterrupt(const std::uint8_t* packet, std::uint16_t previousWord,
                              const InterruptInfo& last);

struct Action {
  std::int32_t command = 0;
  COMMAND_TYPE type = TABLE_COMMAND;
  const std::uint8_t* hostHeader = nullptr;
  std::int64_t hostHeaderBytes = 0;
  void* data = nullptr;
  std::uint16_t** blocks = nullptr;
  std::int64_t dataLength = -1;  // -1: the row's length
  std::uint32_t timeoutMs = 0;
  std::int64_t blockSize = 0;
  BlockReadCallback progress = nullptr;
  void* progressContext = nullptr;
};

struct ActionOutcome {
  Status status = Status::Done;
  std::uint16_t deviceCode = 0;
  std::int64_t received = 0;
  std::string text;  // the scanner's text of an error interrupt
};

class Scanner {
 public:
  explicit Scanner(std::shared_ptr<platform::usb::Port> port);
  ~Scanner();
  Scanner(const Scanner&) = delete;
  Scanner& operator=(const Scanner&) = delete;

  Status OpenScanner(std::string& storedPath, LayerCallback callback, void* context);
  Status CloseScanner();
  bool isClosed() const { return closed_; }

  ActionOutcome ExecuteScannerAction(const Action& action);
  UsbScanner& transport() { return transport_; }

 private:
  struct Arrival {
    std::uint64_t sequence = 0;  // order of decoding
    bool readFailed = false;
    InterruptInfo info;
  };
  std::uint64_t nextSequence();
  void interruptLoop();
  void queueArrival(Arrival arrival);
  Status waitForPredicates(const CommandInfo& row, std::uint32_t timeoutMs, ActionOutcome& out);

  UsbScanner transport_;
  std::atomic<bool> closed_{true};
  std::atomic<bool> running_{false};
  LayerCallback callback_ = nullptr;
  void* context_ = nullptr;
  std::thread thread_;

  // Owned by the interrupt thread while it runs.
  InterruptInfo current_;
  std::uint16_t previousWord_ = 0;

  // Decoded packets for the waiting command, tested in order so that no edge is
  // lost when several arrive before the command wakes.
  std::mutex arrivalMutex_;
  std::condition_variable arrivalCv_;
  std::deque<Arrival> arrivals_;
  bool awaiting_ = false;
  // A packet decoded before the command began (the client may already have acted
  // on it) is not the command's, even when it is queued after the command began.
  std::uint64_t decoded_ = 0;
  std::uint64_t commandStart_ = 0;
};

}  // namespace pravik
