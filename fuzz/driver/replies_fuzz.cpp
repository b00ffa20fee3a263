// A scanner whose every reply is the input: bulk-IN transfers, interrupt
// packets and the stall check's answer, behind a port of one device. The
// driver opens it and runs the commands the input names; it must end each
// with a result, never crash, hang or write past a buffer.
//
// Input: flags, the operations (a count byte, then one byte each), the
// interrupt packets (a u16 byte count, then records of a length byte and its
// bytes), then the bulk-IN replies to the end: records of a kind byte, a u16
// length and that many bytes.
#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "driver/pravik.h"
#include "fuzz/input.h"
#include "platform/clock.h"
#include "platform/usb.h"
#include "platform/usb_vendor.h"

namespace {

namespace usb = platform::usb;
using Bytes = std::vector<std::uint8_t>;

struct Reply {
  usb::Status status = usb::Status::Ok;
  Bytes bytes;
};

// The scanner's side: what it answers, in the order the input gives it.
struct Script {
  std::mutex mutex;
  std::condition_variable cv;
  std::deque<Reply> bulk;
  std::deque<Bytes> interrupts;
  bool stalled = false;
  bool cancel = false;
};

class ScriptedDevice : public usb::Device {
 public:
  ScriptedDevice(std::shared_ptr<Script> script, std::uint16_t product, std::uint16_t packet)
      : script_(std::move(script)), packet_(packet) {
    static const std::uint8_t base[18] = {18, 1, 0, 2, 0, 0, 0, 64, 0, 0, 0, 0, 0, 1, 1, 2, 3, 1};
    std::memcpy(descriptor_.bytes, base, sizeof base);
    descriptor_.bytes[8] = std::uint8_t(usb::kScannerVendorId);
    descriptor_.bytes[9] = std::uint8_t(usb::kScannerVendorId >> 8);
    descriptor_.bytes[10] = std::uint8_t(product);
  }
  const usb::DeviceDescriptor& descriptor() const override { return descriptor_; }
  std::vector<usb::PipeInfo> pipes() const override {
    return {{0x02, usb::PipeType::Bulk, 512}, {0x84, usb::PipeType::Interrupt, 32}, {0x86, usb::PipeType::Bulk, packet_}};
  }
  usb::TransferResult bulkWrite(std::uint8_t, const void*, std::size_t length, std::uint32_t) override {
    return {usb::Status::Ok, length};
  }
  usb::TransferResult bulkRead(std::uint8_t, void* data, std::size_t length, std::uint32_t) override {
    std::lock_guard<std::mutex> lock(script_->mutex);
    if (script_->bulk.empty()) return {usb::Status::Timeout, 0};  // a scanner gone silent
    Reply r = std::move(script_->bulk.front());
    script_->bulk.pop_front();
    const std::size_t n = std::min(length, r.bytes.size());
    if (n > 0) std::memcpy(data, r.bytes.data(), n);
    if (r.status == usb::Status::Ok && r.bytes.size() > length) return {usb::Status::Overflow, n};
    return {r.status, n};
  }
  usb::TransferResult interruptRead(std::uint8_t, void* data, std::size_t length) override {
    std::unique_lock<std::mutex> lock(script_->mutex);
    script_->cv.wait(lock, [this] { return script_->cancel || !script_->interrupts.empty(); });
    if (script_->cancel) {
      script_->cancel = false;
      return {usb::Status::Cancelled, 0};
    }
    Bytes p = std::move(script_->interrupts.front());
    script_->interrupts.pop_front();
    const std::size_t n = std::min(length, p.size());
    if (n > 0) std::memcpy(data, p.data(), n);
    return {p.size() > length ? usb::Status::Overflow : usb::Status::Ok, n};
  }
  void cancelInterruptRead() override {
    std::lock_guard<std::mutex> lock(script_->mutex);
    script_->cancel = true;
    script_->cv.notify_all();
  }
  usb::TransferResult controlTransfer(std::uint8_t requestType, std::uint8_t, std::uint16_t, std::uint16_t,
                                      void* data, std::uint16_t length, std::uint32_t) override {
    if ((requestType & 0x80) == 0 || length == 0) return {usb::Status::Ok, 0};
    std::memset(data, 0, length);
    std::lock_guard<std::mutex> lock(script_->mutex);
    static_cast<std::uint8_t*>(data)[0] = script_->stalled ? 1 : 0;
    return {usb::Status::Ok, length};
  }
  usb::Status clearHalt(std::uint8_t) override { return usb::Status::Ok; }

 private:
  std::shared_ptr<Script> script_;
  std::uint16_t packet_;
  usb::DeviceDescriptor descriptor_;
};

class ScriptedPort : public usb::Port {
 public:
  ScriptedPort(std::shared_ptr<Script> script, std::uint16_t product, std::uint16_t packet)
      : script_(std::move(script)), product_(product), packet_(packet) {}
  std::vector<usb::DeviceInfo> list(std::uint16_t, std::span<const std::uint16_t>) override {
    return {{"fuzz:1", usb::kScannerVendorId, product_}};
  }
  std::unique_ptr<usb::Device> open(const std::string&) override {
    return std::make_unique<ScriptedDevice>(script_, product_, packet_);
  }

 private:
  std::shared_ptr<Script> script_;
  std::uint16_t product_, packet_;
};

// Time that passes at once: the driver's polls and pauses cost next to nothing,
// but each still lets the interrupt thread run.
class QuickClock : public platform::clock::FakeSource {
 public:
  void sleep(std::uint32_t ms) override {
    FakeSource::sleep(ms);
    std::this_thread::sleep_for(std::chrono::microseconds(20));
  }
};

void onMessage(CALLBACK_MESSAGE message, void* data, void*) {
  if (message == SCANNER_ATTACH_CONFIRMATION) *static_cast<std::uint8_t*>(data) = 1;
  if (message == SCANNER_SELECTION) static_cast<ScannerSelection*>(data)->chosenScanner = 1;
}

void onBlock(std::int32_t, void*) {}

void run(Pravik& driver, std::uint8_t op) {
  ScanParameters p{};
  p.ScanPitch = 100;
  p.ScanXSize = 250;
  p.ScanYSize = 4;
  p.ImageDataFormat = (16 << 8) | 16;
  const CalibrationParameters c{};
  const std::int32_t image = 250 * 4 * 2;  // 2000 bytes
  switch (op % 10) {
    case 0: {
      SenseInfo s;
      driver.RequestSense(s);
      break;
    }
    case 1: {
      FilmStatus s{};
      driver.ReadFilmStatus(s);
      break;
    }
    case 2: {
      ScanParameters s{};
      driver.ReadScanParameters(s);
      break;
    }
    case 3: {  // with prefix and header, in blocks that end inside packets
      std::vector<std::uint16_t> buffer(image / 2 + 8);
      driver.ScanAndReadFilm(p, c, buffer.data(), image, true, true, 1000 + op, &onBlock, nullptr);
      break;
    }
    case 4: {  // into three separate blocks
      std::vector<std::vector<std::uint16_t>> store(3, std::vector<std::uint16_t>(500));
      std::uint16_t* blocks[3] = {store[0].data(), store[1].data(), store[2].data()};
      std::uint16_t header[7] = {250, 6, 0x1010, 3, 0, 0, 0};
      driver.ScanAndReadFilmWithoutHeaderMultiBlock(p, c, header, 14, blocks, 1000, 3, true, true, &onBlock,
                                                    nullptr);
      break;
    }
    case 5: {
      std::vector<std::uint16_t> lut(300);
      std::int32_t received = 0;
      driver.ReadScanLut(lut.data(), 600, received);
      break;
    }
    case 6: {
      FILM_SIZE_CODE code{};
      ScanSize size{};
      driver.LoadFilm({{1, 0}}, code, size);
      break;
    }
    case 7: {
      DiagnosticReport r{};
      driver.Diagnose(r);
      break;
    }
    case 8:
      driver.ResetScanner();
      break;
    case 9: {
      std::vector<std::uint16_t> data(64);
      std::int32_t received = 0;
      driver.OperateScanner(37, data.data(), 100, 0, received, RAW_READ_VARIABLE, true);
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::Input in{data, size};
  auto script = std::make_shared<Script>();
  const std::uint8_t flags = in.byte();
  script->stalled = (flags & 1) != 0;
  const std::uint16_t product = (flags & 2) ? 19 : 16;
  const std::uint16_t packet = std::uint16_t(64u << ((flags >> 2) % 4));  // 64 to 512
  const Bytes ops = in.bytes(std::min<std::size_t>(in.byte(), 16));
  {
    const Bytes section = in.bytes(in.word());
    fuzzing::Input r{section.data(), section.size()};
    while (r.left > 0) script->interrupts.push_back(r.bytes(r.byte() % 64));
  }
  while (in.left > 0) {
    Reply r;
    const std::uint8_t kind = in.byte();
    static const usb::Status kinds[] = {usb::Status::Ok,    usb::Status::Ok,       usb::Status::Ok,
                                        usb::Status::Ok,    usb::Status::Timeout,  usb::Status::Stall,
                                        usb::Status::Error, usb::Status::NoDevice};
    r.status = kinds[kind % 8];
    r.bytes = in.bytes(in.word());
    script->bulk.push_back(std::move(r));
  }

  QuickClock clock;
  platform::clock::ScopedSource time(clock);
  {
    Pravik driver(std::make_shared<ScriptedPort>(script, product, packet));
    std::array<std::uint32_t, Pravik::COMMAND_TIMEOUT_SLOTS> none{};
    driver.SetCommandTimeouts(none);  // interrupt waits end at once
    if (driver.OpenAndInitializeScanner(&onMessage, nullptr).category == 0)
      for (std::uint8_t op : ops) run(driver, op);
  }
  return 0;
}
