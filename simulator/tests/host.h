// A bare host for the simulator's tests: command blocks, data and status
// through the platform's USB device interface, as a driver would send them.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "simulator/sim.h"

namespace simtest {

using Bytes = std::vector<std::uint8_t>;
using platform::usb::Status;

Bytes commandBlock(std::uint16_t word, std::uint32_t length);
// Command block, prefix (code | 0x1000) and payload, as one write.
Bytes writeCommand(std::uint16_t code, const Bytes& payload);
Bytes words(std::initializer_list<std::uint16_t> w);
std::uint16_t le16(const Bytes& b, std::size_t at);

struct Reply {
  Status status = Status::Error;
  Bytes data;
};

struct StatusBlock {
  Status status = Status::Error;
  std::uint16_t echo = 0;
  std::uint16_t code = 0;
};

class Host {
 public:
  // With `reader`, a thread reads the interrupt pipe for the host's life.
  Host(sim::Bus& bus, const sim::Scanner& scanner, bool reader = true);
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;
  platform::usb::Device& device() { return *device_; }

  // Requests 16 then 14, and the ready interrupt.
  void startSession();
  // startSession and the initialise command.
  void initialise();
  platform::usb::TransferResult vendor(std::uint8_t request);
  Status write(const Bytes& bytes);
  Reply read(std::size_t length, std::uint32_t timeoutMs = 1000);
  StatusBlock status(std::uint32_t timeoutMs = 1000);
  // A write command: block, prefix and payload in one transfer, then the status.
  StatusBlock send(std::uint16_t code, const Bytes& payload);
  // A read command of `length` data bytes: the data, then the status.
  Reply ask(std::uint16_t code, std::uint32_t length, StatusBlock* status = nullptr);
  // The next interrupt packet, or nothing within `wait` (or when the reader ended).
  std::optional<std::array<std::uint8_t, 32>> interrupt(
      std::chrono::milliseconds wait = std::chrono::milliseconds(1000));
  // Status words of every packet that arrives within `wait` of each other.
  std::vector<std::uint16_t> drainInterrupts(
      std::chrono::milliseconds wait = std::chrono::milliseconds(150));

 private:
  std::unique_ptr<platform::usb::Device> device_;
  std::mutex m_;
  std::condition_variable cv_;
  std::deque<std::array<std::uint8_t, 32>> packets_;
  bool readerDone_ = false;
  std::thread reader_;
};

}  // namespace simtest
