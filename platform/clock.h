// Time: a 32-bit millisecond tick count that wraps, sleeps and local time,
// all replaceable in tests so that time-outs run instantly.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace platform::clock {

struct LocalTime {
  int year = 0, month = 0, day = 0;  // month 1..12
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  int weekday = 0;  // 0 = Sunday
};

class Source {
 public:
  virtual ~Source() = default;
  virtual std::uint32_t tickCount() = 0;
  virtual void sleep(std::uint32_t ms) = 0;
  virtual LocalTime localTime() = 0;
};

// Milliseconds since an arbitrary start; wraps after about 49.7 days.
std::uint32_t tickCount();
void sleep(std::uint32_t ms);
LocalTime localTime();

// Time from `from` to `to` across a wrap of the counter.
inline std::uint32_t elapsed(std::uint32_t from, std::uint32_t to) { return to - from; }
inline std::uint32_t elapsedSince(std::uint32_t from) { return elapsed(from, tickCount()); }

// Replaces the process-wide source (null restores the real clock). For tests.
void setSource(Source* source);

// A clock that moves only when told to, or by the amount of each sleep.
class FakeSource : public Source {
 public:
  explicit FakeSource(std::uint32_t start = 0) : now_(start) {}
  std::uint32_t tickCount() override;
  void sleep(std::uint32_t ms) override;
  LocalTime localTime() override;
  void advance(std::uint32_t ms);
  void setLocalTime(const LocalTime& t);

 private:
  std::atomic<std::uint32_t> now_;
  std::mutex localMutex_;
  LocalTime local_{2026, 1, 1, 0, 0, 0, 0, 4};
};

// Installs a source for the life of a scope.
class ScopedSource {
 public:
  explicit ScopedSource(Source& source) { setSource(&source); }
  ~ScopedSource() { setSource(nullptr); }
  ScopedSource(const ScopedSource&) = delete;
  ScopedSource& operator=(const ScopedSource&) = delete;
};

}  // namespace platform::clock
