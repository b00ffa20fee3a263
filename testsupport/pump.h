// Waiting on another thread or process from a Qt test: events are pumped while
// the condition is false, for at most limitMs of real time (a time-out only,
// never a measure of speed).
#pragma once

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <thread>

namespace testsupport {

inline bool pumpUntil(const std::function<bool()>& done, int limitMs = 30000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace testsupport
