// The libusb adapter's packet and error handling, against a fake transfer layer
// that plays a device sending scripted packets.
#include "platform/internal/usb_io.h"
#include "platform/usb_libusb.h"
#include "platform/usb_vendor.h"

#include <algorithm>
#include <condition_variable>
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
  bool submitBulk(std::uint8_t endpoint, std::uint8_t* data, std::size_t length, std::uint32_t timeoutMs,
                  Completion done) override {
    std::size_t got = 0;
    Io io = bulk(endpoint, data, length, &got, timeoutMs);
    done(io, got);
    return true;
  }
  void cancelBulk(std::uint8_t) override {}
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

// The adapter over a fake transfer layer whose pipes have the given packet sizes.
template <class Fake>
struct Adapter {
  Fake* io;
  std::unique_ptr<platform::usb::Device> device;
  Adapter(std::uint16_t bulkPacket, std::uint16_t interruptPacket) {
    auto fake = std::make_unique<Fake>();
    io = fake.get();
    device = platform::usb::internal::makeDevice(
        std::move(fake), {},
        {{0x01, platform::usb::PipeType::Bulk, bulkPacket},
         {kIntIn, platform::usb::PipeType::Interrupt, interruptPacket},
         {kBulkIn, platform::usb::PipeType::Bulk, bulkPacket}});
  }
};

struct Fixture : Adapter<FakeIo> {
  Fixture() : Adapter(8, 8) {}
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

// A device that streams one long transfer in packets to bulk requests served in
// order on its own thread, as a host controller serves them; it counts the bytes
// of the requests in flight and keeps what the host writes.
class StreamIo : public platform::usb::internal::UsbIo {
 public:
  std::vector<std::uint8_t> data;   // the transfer; a short packet ends it
  std::size_t failAt = SIZE_MAX;    // the bus fails here (after whole packets)
  std::vector<std::uint8_t> after;  // the next transfer (a status block, say)
  std::size_t packet = 512;
  std::vector<std::uint8_t> written;
  std::vector<std::size_t> lengths;  // of every request, in order
  std::mutex mutex;
  std::condition_variable cv;
  std::size_t inFlight = 0, maxInFlight = 0, maxRequests = 0, requests = 0;

  StreamIo() : thread_([this] { serve(); }) {}
  ~StreamIo() override {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stop_ = true;
    }
    cv.notify_all();
    thread_.join();
  }
  bool submitBulk(std::uint8_t, std::uint8_t* to, std::size_t length, std::uint32_t, Completion done) override {
    std::lock_guard<std::mutex> lock(mutex);
    queue_.push_back({to, length, std::move(done)});
    lengths.push_back(length);
    inFlight += length;
    maxInFlight = std::max(maxInFlight, inFlight);
    maxRequests = std::max(maxRequests, queue_.size());
    ++requests;
    cv.notify_all();
    return true;
  }
  void cancelBulk(std::uint8_t) override {
    std::lock_guard<std::mutex> lock(mutex);
    for (auto& r : queue_) r.cancelled = true;
  }
  Io bulk(std::uint8_t endpoint, std::uint8_t* to, std::size_t length, std::size_t* transferred,
          std::uint32_t) override {
    std::lock_guard<std::mutex> lock(mutex);
    maxInFlight = std::max(maxInFlight, inFlight + length);
    lengths.push_back(length);
    *transferred = 0;
    if ((endpoint & 0x80) == 0) {
      written.insert(written.end(), to, to + length);
      *transferred = length;
      return Io::Ok;
    }
    return take(to, length, transferred);
  }
  Io control(std::uint8_t, std::uint8_t, std::uint16_t, std::uint16_t, std::uint8_t*, std::uint16_t,
             std::size_t* transferred, std::uint32_t) override {
    *transferred = 0;
    return Io::Ok;
  }
  Io clearHalt(std::uint8_t) override { return Io::Ok; }
  bool submitInterrupt(std::uint8_t, std::uint8_t*, std::size_t, Completion) override { return false; }
  void cancelInterrupt() override {}

 private:
  struct Request {
    std::uint8_t* to;
    std::size_t length;
    Completion done;
    bool cancelled = false;
  };
  // Whole packets of the current transfer; after its end the next one.
  Io take(std::uint8_t* to, std::size_t length, std::size_t* got) {
    if (pos_ >= data.size() && !after.empty()) {  // the transfer ended: the next one
      data.swap(after);
      after.clear();
      pos_ = 0;
    }
    while (*got < length) {
      if (pos_ >= failAt) return Io::Error;
      const std::size_t n = std::min(packet, data.size() - pos_);
      if (n > length - *got) return Io::Overflow;
      std::copy_n(data.begin() + long(pos_), n, to + *got);
      pos_ += n;
      *got += n;
      if (n < packet) break;
    }
    return Io::Ok;
  }
  void serve() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      cv.wait(lock, [this] { return stop_ || !queue_.empty(); });
      if (queue_.empty()) return;
      if (!queue_.front().cancelled) {
        // The bus takes its time to fill a request; meanwhile the host may queue more.
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        lock.lock();
      }
      Request r = std::move(queue_.front());
      std::size_t got = 0;
      Io io = r.cancelled ? Io::Cancelled : take(r.to, r.length, &got);
      queue_.pop_front();
      inFlight -= r.length;
      lock.unlock();
      r.done(io, got);
      lock.lock();
    }
  }
  std::deque<Request> queue_;
  std::size_t pos_ = 0;
  bool stop_ = false;
  std::thread thread_;
};

struct Stream : Adapter<StreamIo> {
  explicit Stream(std::uint16_t packet = 512) : Adapter(packet, 32) { io->packet = packet; }
};

std::vector<std::uint8_t> noise(std::size_t n) {
  std::vector<std::uint8_t> v(n);
  std::uint32_t x = 12345;
  for (auto& b : v) b = std::uint8_t((x = x * 1103515245u + 12345u) >> 23);
  return v;
}

TEST(UsbAdapter, LargeReadsKeepABoundedFewRequestsInFlight) {
  using platform::usb::internal::kBulkRequestBytes;
  using platform::usb::internal::kBulkRequestsInFlight;
  static_assert(kBulkRequestBytes * kBulkRequestsInFlight <= (4u << 20), "far below the kernel's 16 MB");
  static_assert(kBulkRequestsInFlight >= 2, "a request always pending");
  const std::size_t length = 40 * 1024 * 1024 + 3 * 512 + 100;  // a large scan with a short last packet
  Stream s;
  s.io->data = noise(length);
  std::vector<std::uint8_t> out(length);
  auto r = s.device->bulkRead(kBulkIn, out.data(), length, 10000);
  EXPECT_EQ(r.status, Status::Ok);
  EXPECT_EQ(r.transferred, length);
  EXPECT_TRUE(out == s.io->data) << "byte-exact";
  std::lock_guard<std::mutex> lock(s.io->mutex);
  EXPECT_LE(s.io->maxInFlight, kBulkRequestBytes * kBulkRequestsInFlight);
  EXPECT_EQ(s.io->maxRequests, kBulkRequestsInFlight);
  EXPECT_GE(s.io->requests, length / kBulkRequestBytes);
}

TEST(UsbAdapter, AFailureInALargeReadReportsWhatCame) {
  const std::size_t length = 8 * 1024 * 1024;
  Stream s;
  s.io->data = noise(length);
  s.io->failAt = 3 * 1024 * 1024 + 512 * 7;
  std::vector<std::uint8_t> out(length);
  auto r = s.device->bulkRead(kBulkIn, out.data(), length, 10000);
  EXPECT_EQ(r.status, Status::Error);
  EXPECT_EQ(r.transferred, s.io->failAt);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + long(r.transferred), s.io->data.begin()));
}

// Every request holds whole packets, also where the packet size does not divide
// the request size, and none is larger than the bound: reads and writes alike.
TEST(UsbAdapter, LargeTransfersGoInBoundedWholePacketRequests) {
  using platform::usb::internal::kBulkRequestBytes;
  for (std::uint16_t packet : {64, 512, 1000}) {
    Stream s(packet);
    const std::size_t length = 50 * 64000;  // a multiple of each packet size
    s.io->data = noise(length);
    std::vector<std::uint8_t> out(length);
    auto r = s.device->bulkRead(kBulkIn, out.data(), length, 10000);
    EXPECT_EQ(r.status, Status::Ok) << packet;
    EXPECT_EQ(r.transferred, length) << packet;
    EXPECT_TRUE(out == s.io->data) << packet;
    r = s.device->bulkWrite(0x01, out.data(), length, 10000);
    EXPECT_EQ(r.status, Status::Ok) << packet;
    EXPECT_EQ(r.transferred, length) << packet;
    std::lock_guard<std::mutex> lock(s.io->mutex);
    EXPECT_TRUE(s.io->written == s.io->data) << packet;
    for (std::size_t n : s.io->lengths) {
      EXPECT_LE(n, kBulkRequestBytes) << packet;
      EXPECT_EQ(n % packet, 0u) << packet;
    }
  }
}

// A large read that the device ends early: the request behind it has already
// taken the next transfer (the status block), which the pipe's next read gets.
TEST(UsbAdapter, WhatARequestTookAfterAShortEndComesNext) {
  const std::size_t length = 4 * 1024 * 1024;
  Stream s;
  s.io->data = noise(1024 * 1024 + 300);
  s.io->after = {0x05, 0x21, 0x00, 0x00};
  std::vector<std::uint8_t> out(length);
  auto r = s.device->bulkRead(kBulkIn, out.data(), length, 10000);
  EXPECT_EQ(r.status, Status::Ok);
  EXPECT_EQ(r.transferred, 1024u * 1024 + 300);
  std::uint8_t status[4] = {};
  r = s.device->bulkRead(kBulkIn, status, 4, 100);
  EXPECT_EQ(r.status, Status::Ok);
  ASSERT_EQ(r.transferred, 4u);
  EXPECT_EQ(std::vector<std::uint8_t>(status, status + 4), (std::vector<std::uint8_t>{0x05, 0x21, 0x00, 0x00}));
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
  EXPECT_TRUE(port->list(platform::usb::kScannerVendorId, products).empty());
  EXPECT_EQ(port->open("usb:99-9"), nullptr);
}

}  // namespace
