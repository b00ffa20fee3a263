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
  virtual Io control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                     std::uint16_t index, std::uint8_t* data, std::uint16_t length,
                     std::size_t* transferred, std::uint32_t timeoutMs) = 0;
  virtual Io clearHalt(std::uint8_t endpoint) = 0;
  // Starts one interrupt transfer; `done` runs once, on any thread, with the outcome.
  using Completion = std::function<void(Io, std::size_t transferred)>;
  virtual bool submitInterrupt(std::uint8_t endpoint, std::uint8_t* data, std::size_t length,
                               Completion done) = 0;
  // Asks a submitted interrupt transfer to end; its completion still runs.
  virtual void cancelInterrupt() = 0;
};

// The platform::usb::Device over a UsbIo: time-outs, whole-packet reads through
// a bounce buffer, the cancellable interrupt read and the status mapping.
std::unique_ptr<Device> makeDevice(std::unique_ptr<UsbIo> io, const DeviceDescriptor& descriptor,
                                   std::vector<PipeInfo> pipes);

Status toStatus(Io io);

}  // namespace platform::usb::internal
