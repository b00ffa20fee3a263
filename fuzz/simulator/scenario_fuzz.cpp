// Any scenario text is applied or refused with a line number, never crashes.
#include <cstdint>
#include <string>

#include "simulator/sim.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  sim::Bus bus;
  std::string error;
  sim::applyScenario(bus, std::string(reinterpret_cast<const char*>(data), size), &error);
  return 0;
}
