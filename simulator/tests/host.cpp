#include "host.h"

#include <gtest/gtest.h>

namespace simtest {

Bytes commandBlock(std::uint16_t word, std::uint32_t length) {
  return {std::uint8_t(word),        std::uint8_t(word >> 8),    std::uint8_t(length),
          std::uint8_t(length >> 8), std::uint8_t(length >> 16), std::uint8_t(length >> 24)};
}

Bytes writeCommand(std::uint16_t code, const Bytes& payload) {
  std::uint32_t length = payload.empty() && code == 7 ? 0 : std::uint32_t(payload.size() + 2);
  Bytes b = commandBlock(code, length);
  if (length > 0) {
    std::uint16_t prefix = code | 0x1000;
    b.push_back(std::uint8_t(prefix));
    b.push_back(std::uint8_t(prefix >> 8));
    b.insert(b.end(), payload.begin(), payload.end());
  }
  return b;
}

Bytes words(std::initializer_list<std::uint16_t> w) {
  Bytes b;
  for (auto v : w) {
    b.push_back(std::uint8_t(v));
    b.push_back(std::uint8_t(v >> 8));
  }
  return b;
}

std::uint16_t le16(const Bytes& b, std::size_t at) {
  return at + 1 < b.size() ? std::uint16_t(b[at] | b[at + 1] << 8) : 0;
}

Host::Host(sim::Bus& bus, const sim::Scanner& scanner, bool reader)
    : device_(bus.open(scanner.path())) {
  if (!device_) throw std::runtime_error("cannot open " + scanner.path());
  if (!reader) return;
  reader_ = std::thread([this] {
    for (;;) {
      std::array<std::uint8_t, 32> p{};
      auto t = device_->interruptRead(sim::kInterruptIn, p.data(), p.size());
      std::lock_guard lock(m_);
      if (t.status != Status::Ok) {
        readerDone_ = true;
        cv_.notify_all();
        return;
      }
      packets_.push_back(p);
      cv_.notify_all();
    }
  });
}

Host::~Host() {
  if (reader_.joinable()) {
    device_->cancelInterruptRead();
    reader_.join();
  }
}

platform::usb::TransferResult Host::vendor(std::uint8_t request) {
  return device_->controlTransfer(0x40, request, 0, 0, nullptr, 0, 1000);
}

void Host::startSession() {
  ASSERT_EQ(vendor(16).status, Status::Ok);
  ASSERT_EQ(vendor(14).status, Status::Ok);
  // The reader may still catch the ready bit's fall from request 16 first.
  auto p = interrupt();
  if (p && !((*p)[0] & 1)) p = interrupt();
  ASSERT_TRUE(p);
  ASSERT_TRUE((*p)[0] & 1) << "ready bit";
}

void Host::initialise() {
  startSession();
  const std::string digits = "20261210101500";
  auto st = send(1, Bytes(digits.begin(), digits.end()));
  ASSERT_EQ(st.status, Status::Ok);
  ASSERT_EQ(st.code, 0);
  auto p = interrupt();
  ASSERT_TRUE(p);
  ASSERT_TRUE((*p)[1] & 1) << "initialised bit";
}

Status Host::write(const Bytes& bytes) {
  return device_->bulkWrite(sim::kBulkOut, bytes.data(), bytes.size(), 1000).status;
}

Reply Host::read(std::size_t length, std::uint32_t timeoutMs) {
  Reply r;
  r.data.resize(length);
  auto t = device_->bulkRead(sim::kBulkIn, r.data.data(), length, timeoutMs);
  r.status = t.status;
  r.data.resize(t.transferred);
  return r;
}

StatusBlock Host::status(std::uint32_t timeoutMs) {
  Reply r = read(4, timeoutMs);
  StatusBlock s;
  s.status = r.status == Status::Ok && r.data.size() != 4 ? Status::Error : r.status;
  s.echo = le16(r.data, 0);
  s.code = le16(r.data, 2);
  return s;
}

StatusBlock Host::send(std::uint16_t code, const Bytes& payload) {
  Status w = write(writeCommand(code, payload));
  if (w != Status::Ok) return {w, 0, 0};
  return status();
}

Reply Host::ask(std::uint16_t code, std::uint32_t length, StatusBlock* st) {
  Status w = write(commandBlock(code | 0x100, length));
  if (w != Status::Ok) return {w, {}};
  Reply r = read(length);
  StatusBlock s = status();
  if (st) *st = s;
  return r;
}

std::optional<std::array<std::uint8_t, 32>> Host::interrupt(std::chrono::milliseconds wait) {
  std::unique_lock lock(m_);
  cv_.wait_for(lock, wait, [&] { return !packets_.empty() || readerDone_; });
  if (packets_.empty()) return std::nullopt;
  auto p = packets_.front();
  packets_.pop_front();
  return p;
}

std::vector<std::uint16_t> Host::drainInterrupts(std::chrono::milliseconds wait) {
  std::vector<std::uint16_t> out;
  while (auto p = interrupt(wait)) out.push_back(std::uint16_t((*p)[0] | (*p)[1] << 8));
  return out;
}

}  // namespace simtest
