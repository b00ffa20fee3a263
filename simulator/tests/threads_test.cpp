// Several hosts, devices and test calls at once (run under the tsan preset).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "host.h"
#include "simulator/sim.h"

namespace {

using namespace simtest;
using namespace std::chrono_literals;

TEST(Threads, TwoDevicesDrivenAtOnceWhileTheBusChanges) {
  sim::Bus bus;
  auto film = bus.plug(sim::filmDigitizer());
  auto cr = bus.plug(sim::crReader());
  std::atomic<bool> stop{false};

  auto drive = [&](sim::Scanner s) {
    Host host(bus, s);
    host.initialise();
    Bytes params = words({100, 0, 0, 320, 40, 0x1010, 356, 432, 4, 0, 1, 0x28, 0, 0, 0});
    EXPECT_EQ(host.send(2, params).code, 0);
    auto spec = sim::scanImageSpec(s.scanParameters(), 128, 0, 40, 0);
    auto first = sim::radiograph(spec);
    for (int i = 0; i < 40; ++i) {
      StatusBlock st;
      Reply r = host.ask(128, 320 * 40 * 2, &st);
      EXPECT_EQ(st.code, 0);
      if (s.config().personality == sim::Personality::Film) {
        EXPECT_EQ(r.data, first);
      }
      EXPECT_EQ(host.send(4, words({0, 0})).code, 0);
      host.ask(35, 34);
    }
  };
  std::thread a(drive, film), b(drive, cr);
  std::thread churn([&] {
    // Other devices come and go, and the test looks at the driven ones.
    while (!stop) {
      auto extra = bus.plug(sim::filmDigitizer(18));
      const std::uint16_t products[] = {16, 17, 18, 19};
      EXPECT_GE(bus.list(sim::kVendorId, products).size(), 2u);
      film.statusWord();
      cr.log();
      bus.unplug(extra);
      std::this_thread::sleep_for(1ms);
    }
  });
  a.join();
  b.join();
  stop = true;
  churn.join();
}

TEST(Threads, UnplugWhileAScanIsBeingRead) {
  for (int round = 0; round < 5; ++round) {
    sim::Bus bus;
    auto s = bus.plug(sim::filmDigitizer());
    Host host(bus, s);
    host.initialise();
    ASSERT_EQ(
        host.send(2, words({100, 0, 0, 1000, 1000, 0x1010, 356, 432, 1, 0, 1, 0, 0, 0, 0})).code,
        0);
    s.setRateLimit(20'000'000);
    ASSERT_EQ(host.write(commandBlock(0x180, 1000 * 1000 * 2)), Status::Ok);
    std::thread remover([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(5 + round * 3));
      bus.unplug(s);
    });
    Status last = Status::Ok;
    while (last == Status::Ok) last = host.read(1 << 16, 5000).status;
    remover.join();
    EXPECT_EQ(last, Status::NoDevice);
  }
}

TEST(Threads, ErrorsRaisedWhileTheHostWaits) {
  sim::Bus bus;
  auto s = bus.plug(sim::filmDigitizer());
  Host host(bus, s);
  host.initialise();
  sim::Timing t;
  t.calibrationMs = 1500;
  s.setTiming(t);
  ASSERT_EQ(host.send(4, words({0, 0})).code, 0);
  std::thread raiser([&] {
    std::this_thread::sleep_for(20ms);
    s.raiseError(0x4114);
  });
  std::vector<std::uint16_t> seen;
  while (auto p = host.interrupt(3000ms)) {
    std::uint16_t w = std::uint16_t((*p)[0] | (*p)[1] << 8);
    seen.push_back(w);
    if (w & sim::bits::kCalibrationDone) break;
  }
  raiser.join();
  ASSERT_GE(seen.size(), 3u);
  EXPECT_TRUE(seen[1] & sim::bits::kError);
}

}  // namespace
