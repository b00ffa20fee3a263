#include "platform/hotplug.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <set>
#include <thread>

namespace platform::hotplug {

void EventQueue::post(Event event) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::move(event));
  }
  cv_.notify_one();
}

Event EventQueue::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  cv_.wait(lock, [this] { return !events_.empty(); });
  Event e = std::move(events_.front());
  events_.pop_front();
  return e;
}

std::optional<Event> EventQueue::waitFor(std::uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !events_.empty(); }))
    return std::nullopt;
  Event e = std::move(events_.front());
  events_.pop_front();
  return e;
}

namespace {

class BusWatch : public Source {
 public:
  explicit BusWatch(std::unique_ptr<usb::Port::Watch> watch) : watch_(std::move(watch)) {}

 private:
  std::unique_ptr<usb::Port::Watch> watch_;
};

// Compares the device list once per interval; the thread sleeps on a condition
// variable so that stopping is immediate and idling costs nothing.
class Poller : public Source {
 public:
  Poller(usb::Port& port, std::uint16_t vendorId, std::vector<std::uint16_t> products, EventQueue& queue,
         std::uint32_t intervalMs)
      : port_(port), vendorId_(vendorId), products_(std::move(products)), queue_(queue), intervalMs_(intervalMs) {
    known_ = paths();
    thread_ = std::thread([this] { run(); });
  }
  ~Poller() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }

 private:
  std::set<std::string> paths() {
    std::set<std::string> out;
    for (const usb::DeviceInfo& d : port_.list(vendorId_, products_)) out.insert(d.path);
    return out;
  }
  void run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!cv_.wait_for(lock, std::chrono::milliseconds(intervalMs_), [this] { return stop_; })) {
      lock.unlock();
      std::set<std::string> now = paths();
      for (const std::string& p : known_)
        if (!now.count(p)) queue_.post({Kind::Removal, p});
      for (const std::string& p : now)
        if (!known_.count(p)) queue_.post({Kind::Arrival, p});
      known_ = std::move(now);
      lock.lock();
    }
  }

  usb::Port& port_;
  std::uint16_t vendorId_;
  std::vector<std::uint16_t> products_;
  EventQueue& queue_;
  std::uint32_t intervalMs_;
  std::set<std::string> known_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace

std::unique_ptr<Source> watchPort(usb::Port& port, std::uint16_t vendorId, std::vector<std::uint16_t> products,
                                  EventQueue& queue, std::uint32_t intervalMs) {
  auto watch = port.watch(vendorId, products, [&queue](bool arrived, const usb::DeviceInfo& d) {
    queue.post({arrived ? Kind::Arrival : Kind::Removal, d.path});
  });
  if (watch) return std::make_unique<BusWatch>(std::move(watch));
  return std::make_unique<Poller>(port, vendorId, std::move(products), queue, intervalMs);
}

}  // namespace platform::hotplug
