// The real USB backend over libusb-1.0.
#pragma once

#include "platform/usb.h"

#include <memory>

namespace platform::usb {

// Null when libusb cannot be initialised (no USB support on this machine).
std::unique_ptr<Port> openLibusbPort();

}  // namespace platform::usb
