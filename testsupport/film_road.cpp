// The simulated bus lent to the device library of this process: the library
// looks the hook up by name at its first open.
#include <cstdlib>

#include "testsupport/scan_dialog_driver.h"

namespace {
std::shared_ptr<platform::usb::Port> lentPort;
}

extern "C" __attribute__((visibility("default"))) void* ndt_usb_host_port() { return &lentPort; }

namespace testsupport {

SimulatedFilmRoad::SimulatedFilmRoad() : bus_(std::make_shared<sim::Bus>()) {
  digitizer_ = bus_->plug(sim::filmDigitizer());
  lentPort = bus_;
  set("NDT_USB", "sim:film");
  set("NDT_CONFIG_DIR", config_.path().string());
  set("NDT_RUNTIME_DIR", runtime_.path().string());
}

SimulatedFilmRoad::~SimulatedFilmRoad() {
  lentPort = nullptr;
  for (auto v = saved_.rbegin(); v != saved_.rend(); ++v) {
    if (v->value)
      ::setenv(v->name.c_str(), v->value->c_str(), 1);
    else
      ::unsetenv(v->name.c_str());
  }
}

void SimulatedFilmRoad::set(const char* name, const std::string& value) {
  const char* old = std::getenv(name);
  saved_.push_back({name, old != nullptr ? std::optional<std::string>(old) : std::nullopt});
  ::setenv(name, value.c_str(), 1);
}

}  // namespace testsupport
