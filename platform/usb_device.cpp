#include "platform/internal/usb_io.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

namespace platform::usb::internal {
namespace {

// Large reads go in pieces so that no single request grows without bound.
constexpr std::size_t kMaxPiece = 16u << 20;

class IoDevice : public Device {
 public:
  IoDevice(std::unique_ptr<UsbIo> io, const DeviceDescriptor& descriptor, std::vector<PipeInfo> pipes)
      : io_(std::move(io)), descriptor_(descriptor), pipes_(std::move(pipes)) {}

  ~IoDevice() override {
    cancelInterruptRead();
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [this] { return !interruptPending_; });
  }

  const DeviceDescriptor& descriptor() const override { return descriptor_; }
  std::vector<PipeInfo> pipes() const override { return pipes_; }

  TransferResult bulkWrite(std::uint8_t endpoint, const void* data, std::size_t length,
                           std::uint32_t timeoutMs) override {
    if (timeoutMs == 0) return {Status::Error, 0};
    std::size_t done = 0;
    auto* bytes = const_cast<std::uint8_t*>(static_cast<const std::uint8_t*>(data));
    Io r = io_->bulk(endpoint, bytes, length, &done, timeoutMs);
    return {toStatus(r), done};
  }

  TransferResult bulkRead(std::uint8_t endpoint, void* data, std::size_t length,
                          std::uint32_t timeoutMs) override {
    if (timeoutMs == 0) return {Status::Error, 0};
    auto* out = static_cast<std::uint8_t*>(data);
    const std::size_t packet = packetSize(endpoint);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t done = 0;
    // Whole packets straight into the caller's buffer.
    const std::size_t whole = length / packet * packet;
    while (done < whole) {
      std::size_t piece = std::min(whole - done, kMaxPiece / packet * packet);
      std::size_t got = 0;
      Io r = io_->bulk(endpoint, out + done, piece, &got, remaining(deadline));
      done += std::min(got, piece);
      if (r != Io::Ok) return {toStatus(r), done};
      if (got < piece) return {Status::Ok, done};  // a short packet ended the data
    }
    if (done == length) return {Status::Ok, done};
    // The tail: a whole packet into the bounce buffer, so that data ending inside
    // a packet is not an overflow.
    std::vector<std::uint8_t> bounce(packet);
    std::size_t got = 0;
    Io r = io_->bulk(endpoint, bounce.data(), packet, &got, remaining(deadline));
    const std::size_t tail = length - done;
    std::memcpy(out + done, bounce.data(), std::min(got, tail));
    done += std::min(got, tail);
    if (r != Io::Ok) return {toStatus(r), done};
    if (got > tail) return {Status::Overflow, done};
    return {Status::Ok, done};
  }

  TransferResult interruptRead(std::uint8_t endpoint, void* data, std::size_t length) override {
    const std::size_t packet = packetSize(endpoint);
    std::vector<std::uint8_t> buffer((length + packet - 1) / packet * packet);
    std::unique_lock<std::mutex> lock(mutex_);
    if (interruptPending_) return {Status::Error, 0};
    if (cancelRequested_) {
      cancelRequested_ = false;
      return {Status::Cancelled, 0};
    }
    interruptPending_ = true;
    Io outcome = Io::Error;
    std::size_t got = 0;
    bool finished = false;
    lock.unlock();
    bool submitted = io_->submitInterrupt(endpoint, buffer.data(), buffer.size(), [&](Io r, std::size_t n) {
      std::lock_guard<std::mutex> l(mutex_);
      outcome = r;
      got = n;
      finished = true;
      cv_.notify_all();
    });
    lock.lock();
    if (!submitted) {
      interruptPending_ = false;
      cv_.notify_all();
      return {Status::Error, 0};
    }
    cv_.wait(lock, [&] { return finished; });
    interruptPending_ = false;
    cancelRequested_ = false;
    cv_.notify_all();
    lock.unlock();
    std::size_t copied = std::min(got, length);
    if (copied > 0) std::memcpy(data, buffer.data(), copied);
    if (outcome == Io::Ok && got > length) return {Status::Overflow, copied};
    return {toStatus(outcome), copied};
  }

  void cancelInterruptRead() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (interruptPending_)
      io_->cancelInterrupt();
    else
      cancelRequested_ = true;  // a read about to start ends at once
  }

  TransferResult controlTransfer(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                 std::uint16_t index, void* data, std::uint16_t length,
                                 std::uint32_t timeoutMs) override {
    if (timeoutMs == 0) return {Status::Error, 0};
    std::size_t got = 0;
    Io r = io_->control(requestType, request, value, index, static_cast<std::uint8_t*>(data), length,
                        &got, timeoutMs);
    return {toStatus(r), got};
  }

  Status clearHalt(std::uint8_t endpoint) override { return toStatus(io_->clearHalt(endpoint)); }

 private:
  std::size_t packetSize(std::uint8_t endpoint) const {
    for (const PipeInfo& p : pipes_)
      if (p.endpointAddress == endpoint && p.maxPacketSize > 0) return p.maxPacketSize;
    return 512;
  }

  static std::uint32_t remaining(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<std::uint32_t>(std::max<long long>(1, left.count()));  // never 0: that is forever
  }

  std::unique_ptr<UsbIo> io_;
  DeviceDescriptor descriptor_;
  std::vector<PipeInfo> pipes_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool interruptPending_ = false;
  bool cancelRequested_ = false;
};

}  // namespace

Status toStatus(Io io) {
  switch (io) {
    case Io::Ok: return Status::Ok;
    case Io::Timeout: return Status::Timeout;
    case Io::Pipe: return Status::Stall;
    case Io::NoDevice: return Status::NoDevice;
    case Io::Overflow: return Status::Overflow;
    case Io::Cancelled: return Status::Cancelled;
    case Io::Error: break;
  }
  return Status::Error;
}

std::unique_ptr<Device> makeDevice(std::unique_ptr<UsbIo> io, const DeviceDescriptor& descriptor,
                                   std::vector<PipeInfo> pipes) {
  return std::make_unique<IoDevice>(std::move(io), descriptor, std::move(pipes));
}

}  // namespace platform::usb::internal
