// The simulated bus lent to the device library of this process: the library
// looks the hook up by name at its first open.
#include <cstdlib>

#include "platform/paths.h"
#include "platform/process.h"
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

bool SimulatedFilmRoad::crProgramConnects() const {
  const std::filesystem::path program = platform::paths::programDir() / "Halcyone" / "Halcyone";
  if (!std::filesystem::exists(program)) return false;
  platform::Process probe;
  if (!probe.start(program, {"-connect"}, runtime_.path())) return false;
  const platform::ProcessExit exit = probe.wait();
  return exit.kind == platform::ProcessExit::Kind::Exited && exit.code == 1;
}

void SimulatedFilmRoad::set(const char* name, const std::string& value) {
  const char* old = std::getenv(name);
  saved_.push_back({name, old != nullptr ? std::optional<std::string>(old) : std::nullopt});
  ::setenv(name, value.c_str(), 1);
}

}  // namespace testsupport
