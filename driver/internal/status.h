// The internal command statuses that the transport and the command layer
// report and the driver maps to OperationResult.
#pragma once

#include "driver/pravik.h"
#include "platform/usb_vendor.h"

namespace pravik {

enum class Status : int {
  Done = 0,
  NoDevice = 1,
  NotOpen = 2,
  AlreadyOpen = 3,
  ShortRead = 4,
  DeviceError = 5,          // the status block carried a device code
  StallReset = 6,
  StallNotReset = 7,
  HostErrorSent = 8,
  HostErrorFailed = 9,
  InterruptWaitFailed = 10,
  InterruptWaitTimedOut = 11,
  InterruptPipeFailed = 12,
  AsynchronousError = 13,   // an error interrupt arrived while waiting
  BadParameter = 14,
  SystemCallFailed = 15,
  Undefined = 16,
};

// The scanner maker's USB vendor id: one constant for real and simulated devices.
inline constexpr std::uint16_t kVendorId = platform::usb::kScannerVendorId;

}  // namespace pravik
