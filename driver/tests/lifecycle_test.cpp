// The started driver: Start and Stop, arrival and removal on the monitor thread,
// standby and resume, over the simulated scanners and the real USB backend.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <sys/resource.h>
#include <thread>

#include "driver/pravik.h"
#include "driver/tests/support.h"
#include "platform/power.h"
#include "platform/usb_libusb.h"
#include "simulator/sim.h"

namespace {

using drivertest::Messages;
using drivertest::R;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Forwards to a simulated bus but hands its hot-plug reports to the test, so the
// test decides when (and in which order) a removal notice arrives.
class NoticePort : public platform::usb::Port {
 public:
  explicit NoticePort(std::shared_ptr<sim::Bus> bus) : bus_(std::move(bus)) {}
  std::vector<platform::usb::DeviceInfo> list(std::uint16_t v, std::span<const std::uint16_t> p) override {
    return bus_->list(v, p);
  }
  std::unique_ptr<platform::usb::Device> open(const std::string& path) override { return bus_->open(path); }
  std::unique_ptr<Watch> watch(std::uint16_t, std::span<const std::uint16_t>, ChangeHandler h) override {
    std::lock_guard<std::mutex> lock(mutex_);
    handler_ = std::move(h);
    return std::make_unique<Watch>();
  }
  void notify(bool arrived, const sim::Scanner& s) {
    ChangeHandler h;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      h = handler_;
    }
    ASSERT_TRUE(h);
    h(arrived, {s.path(), s.config().vendorId, s.config().productId});
  }

 private:
  std::shared_ptr<sim::Bus> bus_;
  std::mutex mutex_;
  ChangeHandler handler_;
};

bool waitFor(Messages& m, int message, int times = 1, std::chrono::milliseconds limit = 15s) {
  std::unique_lock<std::mutex> lock(m.mutex);
  return m.cv.wait_for(lock, limit, [&] {
    int n = 0;
    for (int x : m.seen) n += x == message;
    return n >= times;
  });
}

std::vector<sim::LogEntry> requests(const sim::Scanner& s) {
  std::vector<sim::LogEntry> out;
  for (const auto& e : s.log())
    if (e.kind == sim::LogEntry::Kind::Request) out.push_back(e);
  return out;
}

std::vector<sim::LogEntry> commands(const sim::Scanner& s, std::uint16_t word) {
  std::vector<sim::LogEntry> out;
  for (const auto& e : s.log())
    if (e.kind == sim::LogEntry::Kind::Command && (e.word & 0xFF) == word) out.push_back(e);
  return out;
}

TEST(Lifecycle, StartOnAnEmptyBusOpensTheScannerWhenItArrives) {
  auto bus = std::make_shared<sim::Bus>();
  Messages messages;
  Pravik driver(bus);
  ASSERT_EQ(driver.Start(&Messages::callback, &messages), R(516, 0));
  sim::Scanner scanner = bus->plug(sim::filmDigitizer());
  ASSERT_TRUE(waitFor(messages, SCANNER_READY));
  EXPECT_EQ(messages.withoutInterrupts(), (std::vector<int>{5, 3, 6, 7, 8}));

  auto r = requests(scanner);
  ASSERT_GE(r.size(), 2u);
  EXPECT_EQ(r[0].request, 16);
  EXPECT_EQ(r[1].request, 14);
  EXPECT_GE(r[1].timeUs - r[0].timeUs, 500000u);
  // A fresh scanner is initialised once, with the local time as 14 digits.
  auto init = commands(scanner, 0x01);
  ASSERT_EQ(init.size(), 1u);
  EXPECT_EQ(init[0].length, 16u);  // the 2-byte prefix and the 14 digits
  std::string digits(init[0].bytes.end() - 14, init[0].bytes.end());
  EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos) << digits;
  EXPECT_EQ(driver.Stop(), R(0, 0));

  // A scanner already initialised is not initialised again.
  Messages again;
  Pravik second(bus);
  scanner.clearLog();
  ASSERT_EQ(second.Start(&Messages::callback, &again), R(0, 0));
  EXPECT_TRUE(commands(scanner, 0x01).empty());
  EXPECT_EQ(second.Stop(), R(0, 0));
}

// A scanner that arrives just after Start's first search has looked, before the
// hot-plug reports could have begun.
class LatePlugPort : public platform::usb::Port {
 public:
  explicit LatePlugPort(std::shared_ptr<sim::Bus> bus) : bus_(std::move(bus)) {}
  std::vector<platform::usb::DeviceInfo> list(std::uint16_t v, std::span<const std::uint16_t> p) override {
    auto present = bus_->list(v, p);
    if (!plugged_.exchange(true)) bus_->plug(sim::filmDigitizer());
    return present;
  }
  std::unique_ptr<platform::usb::Device> open(const std::string& path) override { return bus_->open(path); }
  std::unique_ptr<Watch> watch(std::uint16_t v, std::span<const std::uint16_t> p, ChangeHandler h) override {
    return bus_->watch(v, p, std::move(h));
  }

 private:
  std::shared_ptr<sim::Bus> bus_;
  std::atomic<bool> plugged_{false};
};

TEST(Lifecycle, AScannerArrivingDuringTheFirstSearchIsOpened) {
  auto bus = std::make_shared<sim::Bus>();
  Messages messages;
  Pravik driver(std::make_shared<LatePlugPort>(bus));
  ASSERT_EQ(driver.Start(&Messages::callback, &messages), R(516, 0));
  EXPECT_TRUE(waitFor(messages, SCANNER_READY, 1, 5s));
  EXPECT_EQ(messages.withoutInterrupts(), (std::vector<int>{5, 3, 6, 7, 8}));
  EXPECT_EQ(driver.Stop(), R(0, 0));
}

TEST(Lifecycle, RefusalsOfAStartedOrStoppedDriver) {
  auto bus = std::make_shared<sim::Bus>();
  bus->plug(sim::filmDigitizer());
  Messages messages;
  Pravik driver(bus);
  EXPECT_EQ(driver.Start(nullptr, nullptr), R(513, 4));
  EXPECT_EQ(driver.Stop(), R(515, 4));
  ASSERT_EQ(driver.Start(&Messages::callback, &messages), R(0, 0));
  EXPECT_EQ(driver.Start(&Messages::callback, &messages), R(514, 4));
  EXPECT_EQ(driver.OpenAndInitializeScanner(&Messages::callback, &messages), R(514, 4));
  EXPECT_EQ(driver.CloseOpenedScanner(), R(519, 4));
  ScanParameters p{};
  EXPECT_EQ(driver.ReadScanParameters(p), R(0, 0));  // still running after the refusals
  EXPECT_EQ(driver.Stop(), R(0, 0));
  EXPECT_EQ(driver.Stop(), R(515, 4));
}

// Unplugging during a long scan gives message 9 exactly once, whichever comes
// first: the failing transfers or the removal notice, early or late in the scan.
struct UnplugCase {
  bool noticeFirst;
  int afterBlocks;       // of the scan's 32
  bool throughAdapter;   // the real scanners' packet logic over the simulated bus
};

class UnplugDuringScan : public ::testing::TestWithParam<UnplugCase> {};

TEST_P(UnplugDuringScan, GivesExactlyOneDisconnect) {
  const bool noticeFirst = GetParam().noticeFirst;
  const int afterBlocks = GetParam().afterBlocks;
  auto bus = std::make_shared<sim::Bus>();
  auto port = std::make_shared<NoticePort>(bus);
  sim::Scanner scanner = bus->plug(sim::filmDigitizer());
  scanner.setRateLimit(2 << 20);  // a scan of 8 MB takes about four seconds
  Messages messages;
  Pravik driver(GetParam().throughAdapter ? platform::usb::throughAdapter(port)
                                         : std::shared_ptr<platform::usb::Port>(port));
  ASSERT_EQ(driver.Start(&Messages::callback, &messages), R(0, 0));

  ScanParameters p{};
  p.ScanPitch = 100;
  p.ScanXSize = 2048;
  p.ScanYSize = 2048;
  p.ImageDataFormat = (16 << 8) | 16;
  p.FilmXSize = 356;
  p.FilmYSize = 432;
  CalibrationParameters c{};
  const std::int32_t bytes = 2048 * 2048 * 2;
  std::vector<std::uint16_t> buffer(bytes / 2 + 8);
  static std::atomic<int> blocks;
  blocks = 0;
  BlockReadCallback progress = [](std::int32_t done, void*) { blocks = done; };
  OperationResult scanResult;
  std::thread scan([&] {
    scanResult = driver.ScanAndReadFilm(p, c, buffer.data(), bytes, false, true, 256 * 1024, progress, nullptr);
  });
  // Unplug once the scan's data is flowing, long before its end (32 blocks).
  for (int i = 0; i < 4000 && blocks < afterBlocks; ++i) std::this_thread::sleep_for(2ms);
  ASSERT_GE(blocks.load(), afterBlocks);
  ASSERT_LT(blocks.load(), 24);
  if (noticeFirst) {
    port->notify(false, scanner);
    bus->unplug(scanner);
  } else {
    bus->unplug(scanner);
    port->notify(false, scanner);
  }
  scan.join();
  EXPECT_NE(scanResult.category, 0) << [&] {
    std::string t;
    for (const auto& e : scanner.log()) t += std::to_string(e.timeUs / 1000) + " " + e.describe() + "\n";
    return t;
  }();
  ASSERT_TRUE(waitFor(messages, SCANNER_DISCONNECTED));
  std::this_thread::sleep_for(300ms);  // time for a second message, were there one
  EXPECT_EQ(messages.count(SCANNER_DISCONNECTED), 1);
  EXPECT_EQ(driver.Stop(), R(0, 0));
  EXPECT_EQ(messages.count(SCANNER_DISCONNECTED), 1);
}

INSTANTIATE_TEST_SUITE_P(Orders, UnplugDuringScan,
                         ::testing::Values(UnplugCase{false, 1, false}, UnplugCase{true, 1, false},
                                           UnplugCase{false, 8, false}, UnplugCase{true, 8, false},
                                           UnplugCase{false, 1, true}, UnplugCase{true, 8, true}),
                         [](const ::testing::TestParamInfo<UnplugCase>& info) {
                           return std::string(info.param.noticeFirst ? "NoticeFirst" : "UnplugFirst") +
                                  "AfterBlock" + std::to_string(info.param.afterBlocks) +
                                  (info.param.throughAdapter ? "ThroughTheAdapter" : "");
                         });

TEST(Lifecycle, RemovalOfAnotherDeviceIsIgnored) {
  auto bus = std::make_shared<sim::Bus>();
  sim::Scanner mine = bus->plug(sim::filmDigitizer());
  Messages messages;
  Pravik driver(bus);
  ASSERT_EQ(driver.Start(&Messages::callback, &messages), R(0, 0));
  sim::Scanner other = bus->plug(sim::crReader());
  std::this_thread::sleep_for(100ms);
  bus->unplug(other);
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(messages.count(SCANNER_DISCONNECTED), 0);
  ScanParameters p{};
  EXPECT_EQ(driver.ReadScanParameters(p), R(0, 0));
  bus->unplug(mine);
  EXPECT_TRUE(waitFor(messages, SCANNER_DISCONNECTED));
  EXPECT_EQ(driver.Stop(), R(0, 0));
}

TEST(Lifecycle, StandbyRefusesOperationsAndResumeReadiesTheScannerAgain) {
  platform::power::useSimulatedSleep(true);
  auto bus = std::make_shared<sim::Bus>();
  sim::Scanner scanner = bus->plug(sim::filmDigitizer());
  Messages messages;
  Pravik driver(bus);
  ASSERT_EQ(driver.Start(&Messages::callback, &messages), R(0, 0));
  platform::power::simulateSleep(true);
  ScanParameters p{};
  EXPECT_EQ(driver.ReadScanParameters(p), R(522, 4));
  scanner.clearLog();
  platform::power::simulateSleep(false);
  // The monitor sends 16, waits 500 ms and sends 14.
  for (int i = 0; i < 300 && requests(scanner).size() < 2; ++i) std::this_thread::sleep_for(10ms);
  auto r = requests(scanner);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].request, 16);
  EXPECT_EQ(r[1].request, 14);
  // The scanner tells it is ready again by its next status; then a scan works.
  ScanParameters ready{};
  for (int i = 0; i < 300 && !(driver.ReadScanParameters(ready) == R(0, 0)); ++i)
    std::this_thread::sleep_for(10ms);
  ScanParameters scan{};
  scan.ScanPitch = 100;
  scan.ScanXSize = 64;
  scan.ScanYSize = 32;
  scan.ImageDataFormat = (16 << 8) | 16;
  scan.FilmXSize = 356;
  scan.FilmYSize = 432;
  CalibrationParameters c{};
  std::vector<std::uint16_t> image(64 * 32 + 8);
  EXPECT_EQ(driver.ScanAndReadFilm(scan, c, image.data(), 64 * 32 * 2, false, false, 0, nullptr, nullptr),
            R(0, 0));
  EXPECT_EQ(messages.count(SCANNER_DISCONNECTED), 0);
  EXPECT_EQ(driver.Stop(), R(0, 0));
  platform::power::useSimulatedSleep(false);
}

// Stop while the monitor is in an arrival's open (the scanner takes 8 s to get
// ready), from before the arrival is taken to deep in its ready wait.
class StopDuringArrival : public ::testing::TestWithParam<int> {};

TEST_P(StopDuringArrival, ReturnsInBoundedTime) {
  auto bus = std::make_shared<sim::Bus>();
  Messages messages;
  auto driver = std::make_unique<Pravik>(bus);
  ASSERT_EQ(driver->Start(&Messages::callback, &messages), R(516, 0));
  sim::DeviceConfig config = sim::filmDigitizer();
  sim::Scanner scanner = bus->plug(config);
  scanner.setTiming({8000});
  std::this_thread::sleep_for(std::chrono::milliseconds(GetParam()));
  const auto start = Clock::now();
  driver->Stop();
  driver.reset();
  EXPECT_LT(Clock::now() - start, 6s);
}

INSTANTIATE_TEST_SUITE_P(DelaysMs, StopDuringArrival, ::testing::Values(0, 3, 15, 40, 90, 250));

TEST(Lifecycle, RealUsbOnAMachineWithoutScannersIsQuietAndCheap) {
  ::setenv("NDT_USB", "libusb", 1);
  Messages messages;
  const auto start = Clock::now();
  Pravik driver;
  ASSERT_EQ(driver.Start(&Messages::callback, &messages), R(516, 0));
  EXPECT_LT(Clock::now() - start, 1s);

  rusage before{}, after{};
  ::getrusage(RUSAGE_SELF, &before);
  std::this_thread::sleep_for(5s);
  ::getrusage(RUSAGE_SELF, &after);
  auto cpu = [](const rusage& u) {
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e6 + u.ru_utime.tv_usec + u.ru_stime.tv_usec;
  };
  EXPECT_LT(cpu(after) - cpu(before), 100000.0) << "microseconds of CPU while idle";

  const auto stopStart = Clock::now();
  EXPECT_EQ(driver.Stop(), R(0, 0));
  EXPECT_LT(Clock::now() - stopStart, 1s);
  EXPECT_TRUE(messages.withoutInterrupts().empty());
}

}  // namespace
