#include "platform/usb_select.h"

#include <cstdlib>

#include "platform/usb_libusb.h"
#include "simulator/sim.h"

namespace platform::usb {

std::shared_ptr<Port> portFromEnvironment(std::string* error) {
  const char* selected = std::getenv("NDT_USB");
  if (!selected || std::string(selected) == "libusb") {
    std::shared_ptr<Port> port = openLibusbPort();
    if (!port && error) *error = "USB support could not be initialised.";
    return port;
  }
  std::string why;
  std::shared_ptr<Port> bus = sim::busFromEnvironment(&why);
  if (!bus && error) *error = "NDT_USB: " + why;
  return bus;
}

}  // namespace platform::usb
