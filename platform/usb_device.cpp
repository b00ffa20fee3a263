#include "platform/internal/usb_io.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

namespace platform::usb::internal {
namespace {

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
    // What the device sent before is no answer to what is written now.
    kept_.clear();
    auto* bytes = const_cast<std::uint8_t*>(static_cast<const std::uint8_t*>(data));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    // Bounded requests, as for reads; one after the other, the device sees one transfer.
    const std::size_t piece = requestBytes(packetSize(endpoint));
    std::size_t done = 0;
    do {
      const std::size_t n = std::min(piece, length - done);
      std::size_t sent = 0;
      Io r = io_->bulk(endpoint, bytes + done, n, &sent, remaining(deadline));
      done += std::min(sent, n);
      if (r != Io::Ok || sent < n) return {toStatus(r), done};
    } while (done < length);
    return {Status::Ok, done};
  }

  TransferResult bulkRead(std::uint8_t endpoint, void* data, std::size_t length,
                          std::uint32_t timeoutMs) override {
    if (timeoutMs == 0) return {Status::Error, 0};
    auto* out = static_cast<std::uint8_t*>(data);
    const std::size_t packet = packetSize(endpoint);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t done = 0;
    if (takeKept(endpoint, out, length, done)) return {Status::Ok, done};
    // Whole packets straight into the caller's buffer.
    const std::size_t whole = (length - done) / packet * packet;
    if (whole > 0) {
      TransferResult r = readWhole(endpoint, out + done, whole, requestBytes(packet), deadline);
      done += r.transferred;
      if (r.status != Status::Ok || r.transferred < whole) return {r.status, done};
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

  Status clearHalt(std::uint8_t endpoint) override {
    kept_.erase(endpoint);
    return toStatus(io_->clearHalt(endpoint));
  }

 private:
  // Bytes that requests of a read took after its data had ended (a short
  // packet or a failure came first): the start of the pipe's next transfer.
  struct Kept {
    std::vector<std::uint8_t> bytes;
    std::size_t pos = 0;
    bool ends = false;  // a short packet ended them
  };

  // Delivers kept bytes first; true when they end the read.
  bool takeKept(std::uint8_t endpoint, std::uint8_t* out, std::size_t length, std::size_t& done) {
    auto it = kept_.find(endpoint);
    if (it == kept_.end()) return false;
    std::deque<Kept>& q = it->second;
    bool ended = false;
    while (!q.empty() && done < length && !ended) {
      Kept& k = q.front();
      const std::size_t n = std::min(length - done, k.bytes.size() - k.pos);
      std::memcpy(out + done, k.bytes.data() + k.pos, n);
      k.pos += n;
      done += n;
      if (k.pos == k.bytes.size()) {
        ended = k.ends;
        q.pop_front();
      }
    }
    if (q.empty()) kept_.erase(it);
    return ended || done == length;
  }

  // Large reads go as requests of kBulkRequestBytes, kBulkRequestsInFlight of
  // them submitted at once: the device always has a request to answer, and the
  // memory in flight stays far below what the kernel grants one device.
  TransferResult readWhole(std::uint8_t endpoint, std::uint8_t* out, std::size_t length, std::size_t piece,
                           std::chrono::steady_clock::time_point deadline) {
    struct Request {
      std::size_t offset = 0, length = 0, got = 0;
      Io io = Io::Error;
      bool finished = false;
    };
    std::vector<Request> requests((length + piece - 1) / piece);
    for (std::size_t i = 0; i < requests.size(); ++i) {
      requests[i].offset = i * piece;
      requests[i].length = std::min(piece, length - requests[i].offset);
    }
    auto waitFinished = [this](Request& r) {
      std::unique_lock<std::mutex> lock(bulkMutex_);
      bulkCv_.wait(lock, [&r] { return r.finished; });
    };
    std::size_t submitted = 0, taken = 0, received = 0;
    Io outcome = Io::Ok;
    bool ended = false;
    while (taken < requests.size() && !ended) {
      while (submitted < requests.size() && submitted - taken < kBulkRequestsInFlight) {
        Request& r = requests[submitted++];
        const bool started = io_->submitBulk(endpoint, out + r.offset, r.length, remaining(deadline),
                                             [this, &r](Io io, std::size_t got) {
                                               std::lock_guard<std::mutex> lock(bulkMutex_);
                                               r.io = io;
                                               r.got = std::min(got, r.length);
                                               r.finished = true;
                                               bulkCv_.notify_all();
                                             });
        if (!started) {
          std::lock_guard<std::mutex> lock(bulkMutex_);
          r.finished = true;
          break;
        }
      }
      Request& r = requests[taken++];
      waitFinished(r);
      received += r.got;
      if (r.io != Io::Ok || r.got < r.length) {
        outcome = r.io;
        ended = true;
      }
    }
    if (taken < submitted) {
      // The data ended early or failed: the requests behind it end too, and
      // what they took is the start of the pipe's next transfer.
      io_->cancelBulk(endpoint);
      for (std::size_t i = taken; i < submitted; ++i) {
        Request& r = requests[i];
        waitFinished(r);
        if (r.got == 0) continue;
        Kept k;
        k.bytes.assign(out + r.offset, out + r.offset + r.got);
        k.ends = r.io == Io::Ok && r.got < r.length;
        kept_[endpoint].push_back(std::move(k));
      }
    }
    return {toStatus(outcome), received};
  }

  // Whole packets only: a request that ended inside one would overflow (reads)
  // or end the transfer early with a short packet (writes).
  static std::size_t requestBytes(std::size_t packet) {
    return std::max(packet, kBulkRequestBytes / packet * packet);
  }

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
  std::map<std::uint8_t, std::deque<Kept>> kept_;  // only the one bulk reader or writer uses it
  std::mutex bulkMutex_;
  std::condition_variable bulkCv_;
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
