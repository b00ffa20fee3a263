// The driver object of a device library, on the USB port its host lends it.
#pragma once

#include "driver/pravik.h"

namespace devapi::internal {

// A host process may lend the library a USB port of its own by defining
//   extern "C" void* ndt_usb_host_port();
// returning a std::shared_ptr<platform::usb::Port>* (null or empty: none); the
// tests lend a simulated bus this way. Otherwise the driver takes the port
// that NDT_USB selects.
Pravik makeDriver();

}  // namespace devapi::internal
