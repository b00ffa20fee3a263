#include "devapi/internal/driver_port.h"

#include <dlfcn.h>

#include <memory>

namespace devapi::internal {

Pravik makeDriver() {
  using HostPort = void* (*)();
  auto hook = reinterpret_cast<HostPort>(::dlsym(RTLD_DEFAULT, "ndt_usb_host_port"));
  if (hook) {
    auto* port = static_cast<std::shared_ptr<platform::usb::Port>*>(hook());
    if (port && *port) return Pravik(*port);
  }
  return Pravik();
}

}  // namespace devapi::internal
