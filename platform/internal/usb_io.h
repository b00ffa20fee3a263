// The few transfers the libusb backend needs from one opened device, so that the
// adapter's packet and error handling can be tested against a fake.
#pragma once

#include "platform/usb.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace platform::usb::internal {

// Outcome of one transfer, as the transfer layer reports it.
enum class Io { Ok, Timeout, Pipe, NoDevice, Overflow, Cancelled, Error };

class UsbIo {
 public:
  virtual ~UsbIo() = default;
  // One bulk transfer; a short packet ends it early with Ok.
  virtual Io bulk(std::uint8_t endpoint, std::uint8_t* data, std::size_t length,
                  std::size_t* transferred, std::uint32_t timeoutMs) = 0;
  // Outcome and byte count of a submitted transfer.
  using Completion = std::function<void(Io, std::size_t transferred)>;
  // Starts one bulk transfer, ended as bulk() ends; `done` runs once, on any
  // thread (the submitting one included), after the transfer's memory is no
  // longer written. False when it cannot start (`done` then never runs).
  virtual bool submitBulk(std::uint8_t endpoint, std::uint8_t* data, std::size_t length,
                          std::uint32_t timeoutMs, Completion done) = 0;
  // Asks every submitted bulk transfer of the endpoint to end; their completions still run.
  virtual void cancelBulk(std::uint8_t endpoint) = 0;
  virtual Io control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                     std::uint16_t index, std::uint8_t* data, std::uint16_t length,
                     std::size_t* transferred, std::uint32_t timeoutMs) = 0;
  virtual Io clearHalt(std::uint8_t endpoint) = 0;
  // Starts one interrupt transfer; `done` runs once, on any thread, with the outcome.
  virtual bool submitInterrupt(std::uint8_t endpoint, std::uint8_t* data, std::size_t length,
                               Completion done) = 0;
  // Asks a submitted interrupt transfer to end; its completion still runs.
  virtual void cancelInterrupt() = 0;
};

// The platform::usb::Device over a UsbIo: time-outs, whole-packet reads through
// a bounce buffer, large reads as a few bounded requests in flight, the
// cancellable interrupt read and the status mapping.
std::unique_ptr<Device> makeDevice(std::unique_ptr<UsbIo> io, const DeviceDescriptor& descriptor,
                                   std::vector<PipeInfo> pipes);

Status toStatus(Io io);

// Requests of a large bulk read: their size and how many are in flight at once.
inline constexpr std::size_t kBulkRequestBytes = std::size_t(1) << 20;
inline constexpr std::size_t kBulkRequestsInFlight = 2;

}  // namespace platform::usb::internal
