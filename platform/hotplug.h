// Device arrival and removal, standby and resume, as one FIFO of events that a
// monitor thread takes in order (in place of device-change notifications).
#pragma once

#include "platform/usb.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform::hotplug {

enum class Kind { Arrival, Removal, Standby, Resume, Quit };

struct Event {
  Kind kind = Kind::Quit;
  std::string path;  // the device, for arrival and removal
};

class EventQueue {
 public:
  void post(Event event);
  Event wait();
  std::optional<Event> waitFor(std::uint32_t timeoutMs);

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<Event> events_;
};

// A running source of events; it stops when destroyed.
class Source {
 public:
  virtual ~Source() = default;
};

// Posts arrivals and removals of matching devices of `port` into `queue`: through
// the bus's own reports where it has them, else by polling list() every intervalMs.
// Devices present at the start are not reported.
std::unique_ptr<Source> watchPort(usb::Port& port, std::uint16_t vendorId,
                                  std::vector<std::uint16_t> products, EventQueue& queue,
                                  std::uint32_t intervalMs = 1000);

}  // namespace platform::hotplug
