// The still-image USB interface: a bus of devices with bulk, interrupt and control pipes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace platform::usb {

enum class Status {
  Ok,
  Timeout,    // nothing (or not all) arrived in time; `transferred` says how much did
  Stall,      // the endpoint is halted
  NoDevice,   // the device is gone
  Cancelled,  // cancelInterruptRead() or close
  Overflow,   // the device sent more than was asked for
  Error,      // any other failure
};

const char* statusText(Status status);

struct TransferResult {
  Status status = Status::Error;
  std::size_t transferred = 0;
};

enum class PipeType : std::uint8_t { Control = 0, Isochronous = 1, Bulk = 2, Interrupt = 3 };

struct PipeInfo {
  std::uint8_t endpointAddress = 0;  // bit 7 set for IN
  PipeType type = PipeType::Bulk;
  std::uint16_t maxPacketSize = 0;
};

// The 18-byte standard device descriptor, as the device sent it.
struct DeviceDescriptor {
  std::uint8_t bytes[18] = {};
  std::uint16_t vendorId() const { return std::uint16_t(bytes[8] | bytes[9] << 8); }
  std::uint16_t productId() const { return std::uint16_t(bytes[10] | bytes[11] << 8); }
};

// One opened device. Calls may come from several threads, but at most one bulk
// transfer and one interrupt read run at a time.
class Device {
 public:
  virtual ~Device() = default;

  virtual const DeviceDescriptor& descriptor() const = 0;
  // The pipes of interface 0 in descriptor order.
  virtual std::vector<PipeInfo> pipes() const = 0;

  // A time-out of 0 is refused (it would mean "forever").
  virtual TransferResult bulkWrite(std::uint8_t endpoint, const void* data, std::size_t length,
                                   std::uint32_t timeoutMs) = 0;
  // The device sends whole packets of the pipe's size: a read ends when `length`
  // bytes came or a short packet ended the device's transfer; a packet larger
  // than the room left is an Overflow (what fits arrives). So a caller asks for
  // whole packets, except for what is left of a transfer.
  virtual TransferResult bulkRead(std::uint8_t endpoint, void* data, std::size_t length,
                                  std::uint32_t timeoutMs) = 0;
  // Waits without limit for one packet until it arrives or cancelInterruptRead() is called.
  virtual TransferResult interruptRead(std::uint8_t endpoint, void* data, std::size_t length) = 0;
  virtual void cancelInterruptRead() = 0;
  // Vendor and standard control requests; the direction is bit 7 of requestType.
  virtual TransferResult controlTransfer(std::uint8_t requestType, std::uint8_t request,
                                         std::uint16_t value, std::uint16_t index, void* data,
                                         std::uint16_t length, std::uint32_t timeoutMs) = 0;
  virtual Status clearHalt(std::uint8_t endpoint) = 0;
};

struct DeviceInfo {
  std::string path;  // stable while the device stays plugged in
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
};

// A bus: what is plugged in, and a way to open it.
class Port {
 public:
  virtual ~Port() = default;
  // Devices with this vendor id and one of the products, in bus order.
  virtual std::vector<DeviceInfo> list(std::uint16_t vendorId,
                                       std::span<const std::uint16_t> products) = 0;
  // Null when the device is gone or cannot be opened.
  virtual std::unique_ptr<Device> open(const std::string& path) = 0;

  // Arrival (true) or removal (false) of a matching device, reported on any thread.
  using ChangeHandler = std::function<void(bool arrived, const DeviceInfo& device)>;
  // Ends the reports when destroyed.
  class Watch {
   public:
    virtual ~Watch() = default;
  };
  // Null when this bus cannot report changes; callers then poll list().
  virtual std::unique_ptr<Watch> watch(std::uint16_t /*vendorId*/,
                                       std::span<const std::uint16_t> /*products*/,
                                       ChangeHandler /*handler*/) {
    return nullptr;
  }
};

}  // namespace platform::usb
