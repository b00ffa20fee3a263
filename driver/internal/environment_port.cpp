#include "driver/internal/environment_port.h"

#include <string>

#include "driver/internal/trace.h"
#include "platform/usb_select.h"

namespace pravik {

std::shared_ptr<platform::usb::Port> environmentPort() {
  std::string error;
  std::shared_ptr<platform::usb::Port> port = platform::usb::portFromEnvironment(&error);
  if (!port) printTrace("Pravik", "Pravik::Pravik", "%s", error.c_str());
  return port;
}

}  // namespace pravik
