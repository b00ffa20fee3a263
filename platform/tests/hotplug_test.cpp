#include "platform/hotplug.h"
#include "platform/power.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>

namespace {

using platform::hotplug::Kind;

// A bus whose device list the test changes; optionally it reports changes itself.
class ListPort : public platform::usb::Port {
 public:
  bool canWatch = false;
  ChangeHandler handler;

  void set(std::vector<platform::usb::DeviceInfo> devices) {
    std::lock_guard<std::mutex> lock(mutex_);
    devices_ = std::move(devices);
  }
  std::vector<platform::usb::DeviceInfo> list(std::uint16_t vendorId, std::span<const std::uint16_t> products) override {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<platform::usb::DeviceInfo> out;
    for (const auto& d : devices_)
      if (d.vendorId == vendorId && std::find(products.begin(), products.end(), d.productId) != products.end())
        out.push_back(d);
    return out;
  }
  std::unique_ptr<platform::usb::Device> open(const std::string&) override { return nullptr; }
  std::unique_ptr<Watch> watch(std::uint16_t, std::span<const std::uint16_t>, ChangeHandler h) override {
    if (!canWatch) return nullptr;
    handler = std::move(h);
    return std::make_unique<Watch>();
  }

 private:
  std::mutex mutex_;
  std::vector<platform::usb::DeviceInfo> devices_;
};

TEST(Hotplug, PollingReportsArrivalAndRemovalInOrder) {
  ListPort port;
  port.set({{"present", 7, 16}});
  platform::hotplug::EventQueue queue;
  auto source = platform::hotplug::watchPort(port, 7, {16, 17, 18, 19}, queue, 10);
  EXPECT_FALSE(queue.waitFor(50).has_value());  // what was there at the start is not news

  port.set({{"present", 7, 16}, {"new", 7, 19}, {"other vendor", 8, 16}, {"other product", 7, 20}});
  auto e = queue.waitFor(2000);
  ASSERT_TRUE(e);
  EXPECT_EQ(e->kind, Kind::Arrival);
  EXPECT_EQ(e->path, "new");
  port.set({});
  std::vector<std::string> removed;
  for (int i = 0; i < 2; ++i) {
    auto r = queue.waitFor(2000);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->kind, Kind::Removal);
    removed.push_back(r->path);
  }
  std::sort(removed.begin(), removed.end());
  EXPECT_EQ(removed, (std::vector<std::string>{"new", "present"}));
  EXPECT_FALSE(queue.waitFor(50).has_value());
}

TEST(Hotplug, ABusThatReportsChangesIsNotPolledAndStopsAtOnce) {
  ListPort port;
  port.canWatch = true;
  platform::hotplug::EventQueue queue;
  auto start = std::chrono::steady_clock::now();
  {
    auto source = platform::hotplug::watchPort(port, 7, {16}, queue, 60000);
    ASSERT_TRUE(port.handler);
    port.handler(true, {"a", 7, 16});
    port.handler(false, {"a", 7, 16});
    queue.post({Kind::Quit, {}});
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(queue.wait().kind, Kind::Arrival);
  EXPECT_EQ(queue.wait().kind, Kind::Removal);
  EXPECT_EQ(queue.wait().kind, Kind::Quit);
}

TEST(Power, WatchingSleepStartsAndStopsWithoutHanging) {
  // Where the machine has a login manager this holds an inhibitor; elsewhere there is nothing to watch.
  auto start = std::chrono::steady_clock::now();
  { auto watcher = platform::power::watchSleep([](bool) {}); }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
