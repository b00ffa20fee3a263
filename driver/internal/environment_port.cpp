#include "driver/internal/environment_port.h"

namespace pravik {

std::shared_ptr<platform::usb::Port> environmentPort() { return nullptr; }

}  // namespace pravik
