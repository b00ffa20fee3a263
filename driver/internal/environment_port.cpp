#include "driver/internal/environment_port.h"

#include <cstdlib>

#include "driver/internal/trace.h"
#include "simulator/sim.h"

namespace pravik {

std::shared_ptr<platform::usb::Port> environmentPort() {
  const char* selected = std::getenv("NDT_USB");
  if (!selected || std::string(selected) == "libusb") return nullptr;  // no backend for real scanners yet
  std::string error;
  auto bus = sim::busFromEnvironment(&error);
  if (!bus) printTrace("Pravik", "Pravik::Pravik", "NDT_USB: %s", error.c_str());
  return bus;
}

}  // namespace pravik
