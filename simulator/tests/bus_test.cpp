#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "host.h"
#include "simulator/sim.h"

namespace {

using namespace simtest;
using namespace std::chrono_literals;
using platform::usb::PipeType;

const std::uint16_t kAllProducts[] = {16, 17, 18, 19};

TEST(Bus, ListsMatchingDevicesInPlugOrder) {
  sim::Bus bus;
  auto film = bus.plug(sim::filmDigitizer(17));
  auto cr = bus.plug(sim::crReader());
  sim::DeviceConfig other = sim::filmDigitizer(16);
  other.vendorId = 0x1234;
  bus.plug(other);
  sim::DeviceConfig camera = sim::filmDigitizer(20);
  bus.plug(camera);

  auto all = bus.list(sim::kVendorId, kAllProducts);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].path, film.path());
  EXPECT_EQ(all[0].productId, 17);
  EXPECT_EQ(all[1].path, cr.path());
  EXPECT_EQ(all[1].productId, 19);
  EXPECT_EQ(all[1].vendorId, sim::kVendorId);
  const std::uint16_t crOnly[] = {19};
  EXPECT_EQ(bus.list(sim::kVendorId, crOnly).size(), 1u);
  EXPECT_NE(film.path(), cr.path());
}

TEST(Bus, DescriptorAndPipesInDescriptorOrder) {
  sim::Bus bus;
  sim::DeviceConfig c = sim::crReader();
  c.bulkOutPacket = 64;
  c.interruptPacket = 0;  // a bad size is reported as it is
  c.bulkInPacket = 1023;
  auto s = bus.plug(c);
  auto dev = bus.open(s.path());
  ASSERT_TRUE(dev);
  const auto& d = dev->descriptor();
  EXPECT_EQ(d.bytes[0], 18);
  EXPECT_EQ(d.bytes[1], 1);
  EXPECT_EQ(d.vendorId(), sim::kVendorId);
  EXPECT_EQ(d.productId(), 19);
  auto pipes = dev->pipes();
  ASSERT_EQ(pipes.size(), 3u);
  EXPECT_EQ(pipes[0].endpointAddress, sim::kBulkOut);
  EXPECT_EQ(pipes[0].type, PipeType::Bulk);
  EXPECT_EQ(pipes[0].maxPacketSize, 64);
  EXPECT_EQ(pipes[1].endpointAddress, sim::kInterruptIn);
  EXPECT_EQ(pipes[1].type, PipeType::Interrupt);
  EXPECT_EQ(pipes[1].maxPacketSize, 0);
  EXPECT_EQ(pipes[2].endpointAddress, sim::kBulkIn);
  EXPECT_EQ(pipes[2].type, PipeType::Bulk);
  EXPECT_EQ(pipes[2].maxPacketSize, 1023);
  std::uint8_t buf[32];
  EXPECT_EQ(dev->interruptRead(sim::kInterruptIn, buf, 32).status, Status::Error);
}

TEST(Bus, OneOpenHandleAtATime) {
  sim::Bus bus;
  auto s = bus.plug(sim::filmDigitizer());
  auto first = bus.open(s.path());
  ASSERT_TRUE(first);
  EXPECT_FALSE(bus.open(s.path()));
  first.reset();
  EXPECT_TRUE(bus.open(s.path()));
  EXPECT_FALSE(bus.open("sim:usb/none"));
}

TEST(Bus, UnplugWakesEveryWaiterWithNoDevice) {
  sim::Bus bus;
  auto s = bus.plug(sim::filmDigitizer());
  auto dev = bus.open(s.path());
  ASSERT_TRUE(dev);
  auto interrupt = std::async(std::launch::async, [&] {
    std::uint8_t p[32];
    return dev->interruptRead(sim::kInterruptIn, p, 32).status;
  });
  auto bulk = std::async(std::launch::async, [&] {
    std::uint8_t d[64];
    return dev->bulkRead(sim::kBulkIn, d, 64, 60000).status;
  });
  std::this_thread::sleep_for(50ms);
  auto before = bus.generation();
  bus.unplug(s);
  EXPECT_EQ(interrupt.get(), Status::NoDevice);
  EXPECT_EQ(bulk.get(), Status::NoDevice);
  EXPECT_NE(bus.generation(), before);
  EXPECT_TRUE(bus.list(sim::kVendorId, kAllProducts).empty());
  EXPECT_FALSE(s.plugged());
  std::uint8_t b[6] = {};
  EXPECT_EQ(dev->bulkWrite(sim::kBulkOut, b, 6, 100).status, Status::NoDevice);
  EXPECT_EQ(dev->controlTransfer(0x40, 16, 0, 0, nullptr, 0, 100).status, Status::NoDevice);
  EXPECT_EQ(dev->clearHalt(sim::kBulkIn), Status::NoDevice);
  EXPECT_FALSE(bus.open(s.path()));
}

TEST(Bus, BulkReadWaitsForItsTimeOut) {
  sim::Bus bus;
  auto s = bus.plug(sim::filmDigitizer());
  Host host(bus, s, false);
  auto start = std::chrono::steady_clock::now();
  auto r = host.read(4, 150);
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(r.status, Status::Timeout);
  EXPECT_EQ(r.data.size(), 0u);
  EXPECT_GE(took, 150ms);
  EXPECT_EQ(host.device().bulkRead(sim::kBulkIn, nullptr, 0, 0).status, Status::Error)
      << "a time-out of 0 is refused";
}

// Bulk-IN data comes in packets of the pipe's size: a read takes whole packets
// and ends at a short one; a packet larger than the room left overflows the
// read, and what did not fit is lost with it, as on a real bus.
TEST(Bus, BulkInDataComesInWholePackets) {
  sim::Bus bus;
  auto scanner = bus.plug(sim::filmDigitizer());
  Bytes lut(1998);
  for (std::size_t i = 0; i < lut.size(); ++i) lut[i] = std::uint8_t(i % 251);
  scanner.setStored(16, lut);
  Host host(bus, scanner);
  host.initialise();
  Bytes reply = {0x11, 0x10};  // the prefix, then the table: 2000 bytes in 512-byte packets
  reply.insert(reply.end(), lut.begin(), lut.end());
  struct Row {
    std::vector<std::size_t> asks;
    std::vector<Status> statuses;
    std::vector<std::size_t> offsets, sizes;  // where in the reply each read's bytes come from
  };
  const Row rows[] = {
      {{2048}, {Status::Ok}, {0}, {2000}},
      {{1024, 1024}, {Status::Ok, Status::Ok}, {0, 1024}, {1024, 976}},
      {{1000, 1000}, {Status::Overflow, Status::Ok}, {0, 1024}, {1000, 976}},
      {{100, 1024, 1024}, {Status::Overflow, Status::Ok, Status::Ok}, {0, 512, 1536}, {100, 1024, 464}},
  };
  for (const Row& row : rows) {
    ASSERT_EQ(host.write(commandBlock(0x111, 2000)), Status::Ok);
    for (std::size_t i = 0; i < row.asks.size(); ++i) {
      Reply r = host.read(row.asks[i]);
      EXPECT_EQ(r.status, row.statuses[i]) << "read " << i << " of " << row.asks[0];
      EXPECT_EQ(r.data, Bytes(reply.begin() + long(row.offsets[i]),
                              reply.begin() + long(row.offsets[i] + row.sizes[i])))
          << "read " << i << " of " << row.asks[0];
    }
    EXPECT_EQ(host.status().echo, 0x2111) << "the status is its own transfer";
  }
}

TEST(Bus, CancelEndsAWaitingInterruptRead) {
  sim::Bus bus;
  auto s = bus.plug(sim::filmDigitizer());
  auto dev = bus.open(s.path());
  auto reader = std::async(std::launch::async, [&] {
    std::uint8_t p[32];
    return dev->interruptRead(sim::kInterruptIn, p, 32).status;
  });
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(reader.wait_for(0ms), std::future_status::timeout) << "it blocks while nothing comes";
  dev->cancelInterruptRead();
  EXPECT_EQ(reader.get(), Status::Cancelled);
}

TEST(Bus, TimedScenarioStepsPlugAndUnplug) {
  sim::Bus bus;
  std::string error;
  ASSERT_TRUE(
      sim::applyScenario(bus, "device film product=18\nat 20 unplug film\nat 40 plug 0\n", &error))
      << error;
  auto first = bus.scanners().at(0);
  EXPECT_EQ(first.config().productId, 18);
  for (int i = 0; i < 200 && (first.plugged() || bus.scanners().empty()); ++i)
    std::this_thread::sleep_for(5ms);
  EXPECT_FALSE(first.plugged());
  ASSERT_EQ(bus.scanners().size(), 1u);
  EXPECT_NE(bus.scanners()[0].path(), first.path());
  EXPECT_EQ(bus.scanners()[0].config().productId, 18);
}

}  // namespace
