#include "driver/internal/environment_port.h"

#include <cstdlib>
#include <string>

#include "driver/internal/trace.h"
#include "platform/usb_libusb.h"
#include "simulator/sim.h"

namespace pravik {

// NDT_USB unset or "libusb": the real scanners; "sim:..." a simulated bus.
std::shared_ptr<platform::usb::Port> environmentPort() {
  const char* selected = std::getenv("NDT_USB");
  if (!selected || std::string(selected) == "libusb") {
    std::shared_ptr<platform::usb::Port> port = platform::usb::openLibusbPort();
    if (!port) printTrace("Pravik", "Pravik::Pravik", "USB support could not be initialised.");
    return port;
  }
  std::string error;
  auto bus = sim::busFromEnvironment(&error);
  if (!bus) printTrace("Pravik", "Pravik::Pravik", "NDT_USB: %s", error.c_str());
  return bus;
}

}  // namespace pravik
