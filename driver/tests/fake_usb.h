// A small scripted scanner on a fake bus, for the driver cases that need exact
// control of timing and wire faults: it answers every command generically
// (data of the asked length, then a good status) and lets a test queue
// interrupt packets and hook single commands.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/usb.h"

namespace faketest {

namespace usb = platform::usb;

using Bytes = std::vector<std::uint8_t>;

inline std::uint16_t word(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }

struct ControlRecord {
  std::uint8_t requestType, request;
  std::uint16_t index;
};

struct FakeScannerState {
  std::mutex mutex;
  std::condition_variable cv;
  std::deque<Bytes> bulkIn;       // transfers waiting for the host, each ends in a short packet
  std::deque<Bytes> interrupts;   // packets waiting for the host
  std::vector<Bytes> writes;      // every bulk write, in order
  std::vector<ControlRecord> controls;
  std::vector<std::size_t> interruptAsks;
  bool initialised = false;
  std::uint16_t statusWord = 0;
  // Hooks by command code; when set, the hook queues the reply itself.
  std::map<std::uint16_t, std::function<void(FakeScannerState&, const Bytes&)>> hooks;

  void pushInterrupt(std::uint16_t status, std::uint16_t code = 0, const char* text = "") {
    Bytes p(32, 0);
    p[0] = std::uint8_t(status);
    p[1] = std::uint8_t(status >> 8);
    p[2] = std::uint8_t(code);
    p[3] = std::uint8_t(code >> 8);
    std::memcpy(p.data() + 4, text, std::min<std::size_t>(std::strlen(text), 28));
    interrupts.push_back(p);
    statusWord = status;
    cv.notify_all();
  }
  void pushStatus(std::uint16_t commandWord, std::uint16_t status = 0) {
    std::uint16_t echo = std::uint16_t(commandWord | 0x2000);
    bulkIn.push_back({std::uint8_t(echo), std::uint8_t(echo >> 8), std::uint8_t(status),
                      std::uint8_t(status >> 8)});
    cv.notify_all();
  }
  // The generic answer: for a read the prefix and a counting payload of the
  // asked length, then the status block.
  void answer(const Bytes& block) {
    const std::uint16_t cw = word(block.data());
    std::uint32_t length;
    std::memcpy(&length, block.data() + 2, 4);
    const std::uint16_t code = cw & 0xFF;
    if (cw & 0x100) {
      Bytes data(length);
      std::size_t start = 0;
      if (code != 128 && code != 129 && length >= 2) {
        data[0] = std::uint8_t(code);
        data[1] = 0x10;
        start = 2;
      }
      for (std::size_t i = start; i < data.size(); ++i) data[i] = std::uint8_t(i * 7 + 1);
      if (!data.empty()) bulkIn.push_back(std::move(data));
    }
    pushStatus(cw);
  }
  std::size_t commandsSent() {
    std::lock_guard<std::mutex> lock(mutex);
    return writes.size();
  }
};

class FakeDevice : public usb::Device {
 public:
  FakeDevice(std::shared_ptr<FakeScannerState> state, std::uint16_t vendor, std::uint16_t product,
             std::vector<usb::PipeInfo> pipes)
      : state_(std::move(state)), pipes_(std::move(pipes)) {
    descriptor_.bytes[0] = 18;
    descriptor_.bytes[1] = 1;
    descriptor_.bytes[8] = std::uint8_t(vendor);
    descriptor_.bytes[9] = std::uint8_t(vendor >> 8);
    descriptor_.bytes[10] = std::uint8_t(product);
    descriptor_.bytes[11] = std::uint8_t(product >> 8);
  }
  const usb::DeviceDescriptor& descriptor() const override { return descriptor_; }
  std::vector<usb::PipeInfo> pipes() const override { return pipes_; }

  usb::TransferResult bulkWrite(std::uint8_t, const void* data, std::size_t length,
                                std::uint32_t timeoutMs) override {
    if (timeoutMs == 0) return {usb::Status::Error, 0};
    std::lock_guard<std::mutex> lock(state_->mutex);
    Bytes bytes(static_cast<const std::uint8_t*>(data), static_cast<const std::uint8_t*>(data) + length);
    state_->writes.push_back(bytes);
    if (bytes.size() >= 6) {
      auto hook = state_->hooks.find(word(bytes.data()) & 0xFF);
      if (hook != state_->hooks.end())
        hook->second(*state_, bytes);
      else
        state_->answer(bytes);
    }
    return {usb::Status::Ok, length};
  }
  usb::TransferResult bulkRead(std::uint8_t, void* data, std::size_t length,
                               std::uint32_t timeoutMs) override {
    if (timeoutMs == 0) return {usb::Status::Error, 0};
    std::unique_lock<std::mutex> lock(state_->mutex);
    if (!state_->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return !state_->bulkIn.empty(); }))
      return {usb::Status::Timeout, 0};
    Bytes& front = state_->bulkIn.front();
    const std::size_t n = std::min(length, front.size());
    std::memcpy(data, front.data(), n);
    front.erase(front.begin(), front.begin() + std::ptrdiff_t(n));
    if (front.empty()) state_->bulkIn.pop_front();
    return {usb::Status::Ok, n};
  }
  usb::TransferResult interruptRead(std::uint8_t, void* data, std::size_t length) override {
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->interruptAsks.push_back(length);
    state_->cv.wait(lock, [&] { return !state_->interrupts.empty() || cancelPending_; });
    if (state_->interrupts.empty()) {
      cancelPending_ = false;
      return {usb::Status::Cancelled, 0};
    }
    Bytes p = state_->interrupts.front();
    state_->interrupts.pop_front();
    const std::size_t n = std::min(length, p.size());
    std::memcpy(data, p.data(), n);
    return {usb::Status::Ok, n};
  }
  void cancelInterruptRead() override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    cancelPending_ = true;
    state_->cv.notify_all();
  }
  usb::TransferResult controlTransfer(std::uint8_t requestType, std::uint8_t request, std::uint16_t,
                                      std::uint16_t index, void* data, std::uint16_t length,
                                      std::uint32_t) override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->controls.push_back({requestType, request, index});
    if (request == 14) {
      std::uint16_t w = 0x0001 | (state_->initialised ? 0x0100 : 0);
      state_->pushInterrupt(w);
    }
    if (request == 15 && data && length >= 2) {
      std::memset(data, 0, 2);
      return {usb::Status::Ok, 2};
    }
    return {usb::Status::Ok, 0};
  }
  usb::Status clearHalt(std::uint8_t) override { return usb::Status::Ok; }

 private:
  std::shared_ptr<FakeScannerState> state_;
  std::vector<usb::PipeInfo> pipes_;
  usb::DeviceDescriptor descriptor_;
  bool cancelPending_ = false;  // under the state's mutex; a new handle starts without
};

inline std::vector<usb::PipeInfo> standardPipes(std::uint16_t bulkPacket = 512,
                                                std::uint16_t interruptPacket = 32) {
  return {{0x02, usb::PipeType::Bulk, bulkPacket},
          {0x81, usb::PipeType::Interrupt, interruptPacket},
          {0x86, usb::PipeType::Bulk, bulkPacket}};
}

struct FakeEntry {
  std::string path;
  std::uint16_t vendor, product;
  std::vector<usb::PipeInfo> pipes;
  std::shared_ptr<FakeScannerState> state;
};

class FakeBus : public usb::Port {
 public:
  std::shared_ptr<FakeScannerState> add(std::string path, std::uint16_t vendor,
                                        std::uint16_t product,
                                        std::vector<usb::PipeInfo> pipes = standardPipes()) {
    auto state = std::make_shared<FakeScannerState>();
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back({std::move(path), vendor, product, std::move(pipes), state});
    return state;
  }
  std::vector<usb::DeviceInfo> list(std::uint16_t vendorId,
                                    std::span<const std::uint16_t> products) override {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<usb::DeviceInfo> out;
    for (auto& e : entries_)
      for (auto p : products)
        if (e.vendor == vendorId && e.product == p) out.push_back({e.path, e.vendor, e.product});
    return out;
  }
  std::unique_ptr<usb::Device> open(const std::string& path) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++opens_;
    for (auto& e : entries_)
      if (e.path == path) return std::make_unique<FakeDevice>(e.state, e.vendor, e.product, e.pipes);
    return nullptr;
  }
  int opens() {
    std::lock_guard<std::mutex> lock(mutex_);
    return opens_;
  }

 private:
  std::mutex mutex_;
  std::vector<FakeEntry> entries_;
  int opens_ = 0;
};

}  // namespace faketest
