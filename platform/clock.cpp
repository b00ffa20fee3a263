#include "platform/clock.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <new>
#include <sys/time.h>
#include <thread>

namespace platform::clock {
namespace {

class RealSource : public Source {
 public:
  std::uint32_t tickCount() override {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(ms.count());
  }
  void sleep(std::uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  LocalTime localTime() override {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    ::localtime_r(&ts.tv_sec, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
            tm.tm_sec, static_cast<int>(ts.tv_nsec / 1000000), tm.tm_wday};
  }
};

RealSource& real() {
  // Never destroyed: used until the very end. In place rather than on the heap,
  // so a library that is unloaded leaves nothing behind.
  alignas(RealSource) static unsigned char storage[sizeof(RealSource)];
  static RealSource* source = new (storage) RealSource;
  return *source;
}

std::atomic<Source*> current{nullptr};

Source& active() {
  Source* s = current.load(std::memory_order_acquire);
  return s ? *s : real();
}

}  // namespace

std::uint32_t tickCount() { return active().tickCount(); }
void sleep(std::uint32_t ms) { active().sleep(ms); }
LocalTime localTime() { return active().localTime(); }
void setSource(Source* source) { current.store(source, std::memory_order_release); }

std::uint32_t FakeSource::tickCount() { return now_.load(); }
void FakeSource::sleep(std::uint32_t ms) {
  now_.fetch_add(ms);
  std::this_thread::yield();  // lets a thread that polls this clock run
}
void FakeSource::advance(std::uint32_t ms) { now_.fetch_add(ms); }
LocalTime FakeSource::localTime() {
  std::lock_guard<std::mutex> lock(localMutex_);
  return local_;
}
void FakeSource::setLocalTime(const LocalTime& t) {
  std::lock_guard<std::mutex> lock(localMutex_);
  local_ = t;
}

}  // namespace platform::clock
