// The one place that chooses a process's USB port: the real scanners or a
// simulated bus, as NDT_USB says. Code above the port never sees which.
#pragma once

#include <memory>
#include <string>

#include "platform/usb.h"

namespace platform::usb {

// NDT_USB unset or "libusb": the real scanners; "sim:film", "sim:cr",
// "sim:film+cr", optionally with "@scenario-file": a simulated bus. Null, with
// `error` set, when that port cannot be had.
std::shared_ptr<Port> portFromEnvironment(std::string* error);

}  // namespace platform::usb
