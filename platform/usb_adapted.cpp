// The libusb backend's adapter over the devices of another port: that port's
// transfers stand in for the kernel's, so that the packet logic the real
// scanners get can run over the simulated bus.
#include "platform/internal/usb_io.h"
#include "platform/usb_libusb.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace platform::usb {
namespace {

using internal::Io;
using Clock = std::chrono::steady_clock;

Io toIo(Status s) {
  switch (s) {
    case Status::Ok: return Io::Ok;
    case Status::Timeout: return Io::Timeout;
    case Status::Stall: return Io::Pipe;
    case Status::NoDevice: return Io::NoDevice;
    case Status::Cancelled: return Io::Cancelled;
    case Status::Overflow: return Io::Overflow;
    case Status::Error: break;
  }
  return Io::Error;
}

class DeviceIo : public internal::UsbIo {
 public:
  explicit DeviceIo(std::unique_ptr<Device> device) : device_(std::move(device)) {}
  ~DeviceIo() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    cv_.notify_all();
    if (worker_.joinable()) worker_.join();
    if (interrupt_.joinable()) interrupt_.join();
  }

  Io bulk(std::uint8_t endpoint, std::uint8_t* data, std::size_t length, std::size_t* transferred,
          std::uint32_t timeoutMs) override {
    TransferResult r = (endpoint & 0x80) ? device_->bulkRead(endpoint, data, length, timeoutMs)
                                         : device_->bulkWrite(endpoint, data, length, timeoutMs);
    *transferred = r.transferred;
    return toIo(r.status);
  }

  Io control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value, std::uint16_t index,
             std::uint8_t* data, std::uint16_t length, std::size_t* transferred,
             std::uint32_t timeoutMs) override {
    TransferResult r = device_->controlTransfer(requestType, request, value, index, data, length, timeoutMs);
    *transferred = r.transferred;
    return toIo(r.status);
  }

  Io clearHalt(std::uint8_t endpoint) override { return toIo(device_->clearHalt(endpoint)); }

  bool submitBulk(std::uint8_t endpoint, std::uint8_t* data, std::size_t length, std::uint32_t timeoutMs,
                  Completion done) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return false;
    if (!worker_.joinable()) worker_ = std::thread([this] { run(); });
    queue_.push_back({endpoint, data, length, Clock::now() + std::chrono::milliseconds(timeoutMs),
                      std::move(done), false});
    cv_.notify_all();
    return true;
  }

  void cancelBulk(std::uint8_t endpoint) override {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Request& r : queue_)
      if (r.endpoint == endpoint) r.cancelled = true;
    if (running_ == endpoint) cancelRunning_ = true;
  }

  bool submitInterrupt(std::uint8_t endpoint, std::uint8_t* data, std::size_t length, Completion done) override {
    if (interrupt_.joinable()) interrupt_.join();  // the last one has completed
    interrupt_ = std::thread([this, endpoint, data, length, done = std::move(done)] {
      TransferResult r = device_->interruptRead(endpoint, data, length);
      done(toIo(r.status), r.transferred);
    });
    return true;
  }

  void cancelInterrupt() override { device_->cancelInterruptRead(); }

 private:
  struct Request {
    std::uint8_t endpoint;
    std::uint8_t* data;
    std::size_t length;
    Clock::time_point deadline;
    Completion done;
    bool cancelled;
  };

  // Submitted transfers run one after the other, as a pipe serves them; a read
  // waits in short slices so that a cancel ends it soon.
  void run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      cv_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      Request r = std::move(queue_.front());
      queue_.pop_front();
      running_ = r.endpoint;
      cancelRunning_ = r.cancelled;
      lock.unlock();
      std::size_t got = 0;
      Io io = Io::Cancelled;
      for (;;) {
        {
          std::lock_guard<std::mutex> l(mutex_);
          if (cancelRunning_) break;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(r.deadline - Clock::now()).count();
        if (left <= 0) {
          io = Io::Timeout;
          break;
        }
        const auto slice = static_cast<std::uint32_t>(std::min<long long>(left, 20));
        std::size_t n = 0;
        io = bulk(r.endpoint, r.data + got, r.length - got, &n, slice);
        got += std::min(n, r.length - got);
        if (io != Io::Timeout || got == r.length) break;
      }
      if (io == Io::Timeout && got == r.length) io = Io::Ok;
      r.done(io, got);
      lock.lock();
      running_ = 0;
    }
  }

  std::unique_ptr<Device> device_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<Request> queue_;
  std::uint8_t running_ = 0;
  bool cancelRunning_ = false;
  bool stopping_ = false;
  std::thread worker_;
  std::thread interrupt_;
};

class AdaptedPort : public Port {
 public:
  explicit AdaptedPort(std::shared_ptr<Port> bus) : bus_(std::move(bus)) {}
  std::vector<DeviceInfo> list(std::uint16_t vendorId, std::span<const std::uint16_t> products) override {
    return bus_->list(vendorId, products);
  }
  std::unique_ptr<Device> open(const std::string& path) override {
    std::unique_ptr<Device> device = bus_->open(path);
    if (!device) return nullptr;
    const DeviceDescriptor descriptor = device->descriptor();
    std::vector<PipeInfo> pipes = device->pipes();
    return internal::makeDevice(std::make_unique<DeviceIo>(std::move(device)), descriptor, std::move(pipes));
  }
  std::unique_ptr<Watch> watch(std::uint16_t vendorId, std::span<const std::uint16_t> products,
                               ChangeHandler handler) override {
    return bus_->watch(vendorId, products, std::move(handler));
  }

 private:
  std::shared_ptr<Port> bus_;
};

}  // namespace

std::shared_ptr<Port> throughAdapter(std::shared_ptr<Port> bus) {
  if (!bus) return nullptr;
  return std::make_shared<AdaptedPort>(std::move(bus));
}

}  // namespace platform::usb
