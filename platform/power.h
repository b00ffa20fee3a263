// The machine's sleep and wake (in place of power-broadcast notifications).
#pragma once

#include <functional>
#include <memory>

namespace platform::power {

// Runs handler(true) before the machine sleeps, while a delay inhibitor holds
// the sleep back (released when the handler returns), and handler(false) after
// it wakes; on its own thread.
class SleepWatcher {
 public:
  virtual ~SleepWatcher() = default;
};

// Null where the machine has no system bus or no login manager: nothing to watch.
std::unique_ptr<SleepWatcher> watchSleep(std::function<void(bool goingToSleep)> handler);

// For tests: while on, watchSleep() watches a simulated machine instead, whose
// sleep and wake simulateSleep() announces on the calling thread.
void useSimulatedSleep(bool on);
void simulateSleep(bool goingToSleep);

}  // namespace platform::power
