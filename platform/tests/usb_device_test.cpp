// The libusb adapter's packet and error handling, against a fake transfer layer
// that plays a device sending scripted packets.
#include "platform/internal/usb_io.h"
#include "platform/usb_libusb.h"

#include <cstring>
#include <deque>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace {

using platform::usb::Status;
using platform::usb::internal::Io;

constexpr std::uint8_t kBulkIn = 0x83, kIntIn = 0x82;

// Each queued packet is what the device sends; a bulk read of `length` takes
// packets until it is full, a short packet arrives, or a scripted error comes.
class FakeIo : public platform::usb::internal::UsbIo {
 public:
  struct Packet {
    std::vector<std::uint8_t> bytes;
    Io error = Io::Ok;  // delivered instead of data
  };
  std::deque<Packet> packets;
  std::vector<std::size_t> requested;  // the length of every bulk request
  std::mutex mutex;
  Completion pending;

  Io bulk(std::uint8_t, std::uint8_t* data, std::size_t length, std::size_t* transferred, std::uint32_t) override {
    requested.push_back(length);
    std::size_t done = 0;
    while (done < length) {
      if (packets.empty()) {
        *transferred = done;
        return Io::Timeout;
      }
      Packet p = packets.front();
      packets.pop_front();
      if (p.error != Io::Ok) {
        *transferred = done;
        return p.error;
      }
      if (done + p.bytes.size() > length) {  // the host buffer cannot hold the packet
        *transferred = done;
        return Io::Overflow;
      }
      if (!p.bytes.empty()) std::memcpy(data + done, p.bytes.data(), p.bytes.size());
      done += p.bytes.size();
      if (p.bytes.size() < 8) break;  // short (or zero-length) packet ends the transfer
    }
    *transferred = done;
    return Io::Ok;
  }
  Io control(std::uint8_t, std::uint8_t, std::uint16_t, std::uint16_t, std::uint8_t*, std::uint16_t length,
             std::size_t* transferred, std::uint32_t) override {
    *transferred = length;
    return Io::Ok;
  }
  Io clearHalt(std::uint8_t) override { return Io::NoDevice; }
  bool submitInterrupt(std::uint8_t, std::uint8_t* data, std::size_t, Completion done) override {
    std::lock_guard<std::mutex> lock(mutex);
    if (!packets.empty()) {
      Packet p = packets.front();
      packets.pop_front();
      if (!p.bytes.empty()) std::memcpy(data, p.bytes.data(), p.bytes.size());
      std::thread([done, p] { done(p.error, p.bytes.size()); }).detach();
      return true;
    }
    pending = std::move(done);
    return true;
  }
  void cancelInterrupt() override {
    Completion c;
    {
      std::lock_guard<std::mutex> lock(mutex);
      c = std::move(pending);
    }
    if (c) std::thread([c] { c(Io::Cancelled, 0); }).detach();
  }
};

std::vector<std::uint8_t> bytes(std::size_t n, std::uint8_t first) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(first + i);
  return v;
}

struct Fixture {
  FakeIo* io;
  std::unique_ptr<platform::usb::Device> device;
  Fixture() {
    auto fake = std::make_unique<FakeIo>();
    io = fake.get();
    device = platform::usb::internal::makeDevice(
        std::move(fake), {},
        {{0x01, platform::usb::PipeType::Bulk, 8}, {kIntIn, platform::usb::PipeType::Interrupt, 8},
         {kBulkIn, platform::usb::PipeType::Bulk, 8}});
  }
};

TEST(UsbAdapter, BulkReadPacketCases) {
  struct Case {
    const char* name;
    std::vector<FakeIo::Packet> packets;
    std::size_t ask;
    Status status;
    std::size_t got;
  } cases[] = {
      {"whole packets", {{bytes(8, 0)}, {bytes(8, 8)}}, 16, Status::Ok, 16},
      {"ends mid-packet: the bounce buffer takes the last packet", {{bytes(8, 0)}, {bytes(5, 8)}}, 13, Status::Ok, 13},
      {"short packet ends the data early", {{bytes(8, 0)}, {bytes(3, 8)}}, 24, Status::Ok, 11},
      {"zero-length packet", {{{}}}, 16, Status::Ok, 0},
      {"time-out keeps the partial count", {{bytes(8, 0)}}, 24, Status::Timeout, 8},
      {"device gone", {{bytes(8, 0)}, {{}, Io::NoDevice}}, 16, Status::NoDevice, 8},
      {"stall", {{{}, Io::Pipe}}, 8, Status::Stall, 0},
      {"more than asked inside the last packet", {{bytes(8, 0)}, {bytes(7, 8)}}, 13, Status::Overflow, 13},
  };
  for (const Case& c : cases) {
    Fixture f;
    f.io->packets.assign(c.packets.begin(), c.packets.end());
    std::vector<std::uint8_t> out(c.ask + 8, 0xEE);
    platform::usb::TransferResult r = f.device->bulkRead(kBulkIn, out.data(), c.ask, 1000);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.transferred, c.got) << c.name;
    for (std::size_t i = 0; i < std::min(c.got, c.ask); ++i) ASSERT_EQ(out[i], i) << c.name << " byte " << i;
    for (std::size_t i = c.ask; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << c.name << ": wrote past the buffer";
  }
}

TEST(UsbAdapter, ZeroTimeOutIsRefusedAndRequestsAreWholePackets) {
  Fixture f;
  std::uint8_t buf[16];
  EXPECT_EQ(f.device->bulkRead(kBulkIn, buf, 16, 0).status, Status::Error);
  EXPECT_EQ(f.device->bulkWrite(0x01, buf, 16, 0).status, Status::Error);
  EXPECT_TRUE(f.io->requested.empty());
  f.io->packets = {{bytes(8, 0)}, {bytes(5, 8)}};
  f.device->bulkRead(kBulkIn, buf, 13, 100);
  EXPECT_EQ(f.io->requested, (std::vector<std::size_t>{8, 8}));
}

TEST(UsbAdapter, InterruptReadDeliversAndCancels) {
  Fixture f;
  f.io->packets = {{bytes(8, 1)}};
  std::uint8_t buf[32] = {};
  auto r = f.device->interruptRead(kIntIn, buf, sizeof buf);
  EXPECT_EQ(r.status, Status::Ok);
  EXPECT_EQ(r.transferred, 8u);
  EXPECT_EQ(buf[0], 1);

  platform::usb::TransferResult waited;
  std::thread reader([&] { waited = f.device->interruptRead(kIntIn, buf, sizeof buf); });
  for (;;) {  // wait until the read is submitted, then cancel it
    {
      std::lock_guard<std::mutex> lock(f.io->mutex);
      if (f.io->pending) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  f.device->cancelInterruptRead();
  reader.join();
  EXPECT_EQ(waited.status, Status::Cancelled);
}

TEST(UsbAdapter, LibusbPortOnThisMachineListsNoScanner) {
  auto port = platform::usb::openLibusbPort();
  if (!port) GTEST_SKIP() << "libusb cannot be initialised here";
  const std::uint16_t products[] = {16, 17, 18, 19};
  EXPECT_TRUE(port->list(NDT_USB_VENDOR_ID, products).empty());
  EXPECT_EQ(port->open("usb:99-9"), nullptr);
}

}  // namespace
