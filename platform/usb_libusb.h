// The real USB backend over libusb-1.0.
#pragma once

#include "platform/usb.h"

#include <memory>

namespace platform::usb {

// Null when libusb cannot be initialised (no USB support on this machine).
std::unique_ptr<Port> openLibusbPort();

// The same adapter (whole-packet reads, bounded requests in flight, the
// cancellable interrupt read) over the devices of another port, whose transfers
// stand in for the kernel's: the real scanners' packet logic over any bus.
std::shared_ptr<Port> throughAdapter(std::shared_ptr<Port> bus);

}  // namespace platform::usb
