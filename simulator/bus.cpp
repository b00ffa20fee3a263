#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <thread>

#include "simulator/internal/core.h"
#include "simulator/sim.h"

namespace sim {

using detail::Clock;
using detail::Core;

DeviceConfig filmDigitizer(std::uint16_t productId) {
  DeviceConfig c;
  c.personality = Personality::Film;
  c.productId = productId;
  return c;
}

DeviceConfig crReader() {
  DeviceConfig c;
  c.personality = Personality::Cr;
  c.productId = kCrProduct;
  c.serialNumber = 1234;
  return c;
}

std::string LogEntry::describe() const {
  char line[160];
  const char* names[] = {"plug",   "unplug",    "open",       "close", "request", "command",
                         "status", "interrupt", "clear-halt", "abort", "fault"};
  std::snprintf(line, sizeof line, "%10llu us %-9s type=%02X req=%u word=%04X len=%u code=%04X",
                static_cast<unsigned long long>(timeUs), names[int(kind)], requestType, request,
                word, length, code);
  std::string s = line;
  if (!bytes.empty()) {
    s += " bytes=";
    for (std::size_t i = 0; i < std::min<std::size_t>(bytes.size(), 24); ++i) {
      char b[4];
      std::snprintf(b, sizeof b, "%02X", bytes[i]);
      s += b;
    }
    if (bytes.size() > 24) s += "...";
  }
  if (!text.empty()) s += " " + text;
  return s;
}

// ---- Scanner ----

Scanner::Scanner(std::shared_ptr<detail::Core> core) : core_(std::move(core)) {}
const DeviceConfig& Scanner::config() const { return core_->config(); }
std::string Scanner::path() const { return core_->path(); }
bool Scanner::plugged() const { return core_->plugged(); }
void Scanner::arm(const Fault& fault) { core_->arm(fault); }
void Scanner::clearFaults() { core_->clearFaults(); }
void Scanner::raiseError(std::uint16_t code, const std::string& text) {
  core_->raiseError(code, text);
}
void Scanner::setTiming(const Timing& timing) { core_->setTiming(timing); }
void Scanner::setRateLimit(std::uint64_t bytesPerSecond) { core_->setRateLimit(bytesPerSecond); }
void Scanner::setFeeder(const std::vector<Film>& films) { core_->setFeeder(films); }
void Scanner::endPlateAfter(std::uint32_t blocks) { core_->endPlateAfter(blocks); }
void Scanner::setImageSeed(std::uint32_t seed) { core_->setImageSeed(seed); }
std::uint16_t Scanner::statusWord() const { return core_->statusWord(); }
std::uint16_t Scanner::errorCode() const { return core_->errorCode(); }
bool Scanner::initialized() const { return core_->initialized(); }
std::vector<std::uint8_t> Scanner::stored(std::uint16_t code) const { return core_->stored(code); }
void Scanner::setStored(std::uint16_t code, std::vector<std::uint8_t> bytes) {
  core_->setStored(code, std::move(bytes));
}
std::vector<std::uint16_t> Scanner::scanParameters() const { return core_->scanParameters(); }
std::vector<LogEntry> Scanner::log() const { return core_->log(); }
void Scanner::clearLog() { core_->clearLog(); }
std::vector<LogEntry> Scanner::log(LogEntry::Kind kind) const {
  std::vector<LogEntry> all = core_->log(), some;
  for (auto& e : all)
    if (e.kind == kind) some.push_back(std::move(e));
  return some;
}

// ---- the open handle ----

namespace {

class SimDevice : public platform::usb::Device {
 public:
  explicit SimDevice(std::shared_ptr<Core> core)
      : core_(std::move(core)), descriptor_(core_->descriptor()) {}
  ~SimDevice() override { core_->release(); }
  SimDevice(const SimDevice&) = delete;
  SimDevice& operator=(const SimDevice&) = delete;

  const platform::usb::DeviceDescriptor& descriptor() const override { return descriptor_; }
  std::vector<platform::usb::PipeInfo> pipes() const override { return core_->pipes(); }
  platform::usb::TransferResult bulkWrite(std::uint8_t endpoint, const void* data,
                                          std::size_t length, std::uint32_t timeoutMs) override {
    return core_->bulkWrite(endpoint, data, length, timeoutMs);
  }
  platform::usb::TransferResult bulkRead(std::uint8_t endpoint, void* data, std::size_t length,
                                         std::uint32_t timeoutMs) override {
    return core_->bulkRead(endpoint, data, length, timeoutMs);
  }
  platform::usb::TransferResult interruptRead(std::uint8_t endpoint, void* data,
                                              std::size_t length) override {
    return core_->interruptRead(endpoint, data, length, &cancel_);
  }
  void cancelInterruptRead() override { core_->cancelInterrupt(&cancel_); }
  platform::usb::TransferResult controlTransfer(std::uint8_t requestType, std::uint8_t request,
                                                std::uint16_t value, std::uint16_t index,
                                                void* data, std::uint16_t length,
                                                std::uint32_t) override {
    return core_->control(requestType, request, value, index, data, length);
  }
  platform::usb::Status clearHalt(std::uint8_t endpoint) override {
    return core_->clearHalt(endpoint);
  }

 private:
  std::shared_ptr<Core> core_;
  platform::usb::DeviceDescriptor descriptor_;
  bool cancel_ = false;  // guarded by the core's mutex
};

}  // namespace

// ---- Bus ----

struct Bus::State {
  mutable std::mutex m;
  std::vector<std::shared_ptr<Core>> cores;
  std::uint32_t plugs = 0;
  const Clock::time_point epoch = Clock::now();
  std::shared_ptr<std::atomic<std::uint64_t>> generation =
      std::make_shared<std::atomic<std::uint64_t>>(0);

  // Who is told of plugs and unplugs (hot-plug reports).
  struct Watcher {
    int id;
    std::uint16_t vendorId;
    std::vector<std::uint16_t> products;
    platform::usb::Port::ChangeHandler handler;
  };
  std::mutex watchMutex;  // never held with m, so a handler may call list()
  std::vector<Watcher> watchers;
  int nextWatch = 0;

  void report(bool arrived, const platform::usb::DeviceInfo& d) {
    std::lock_guard lock(watchMutex);
    for (const Watcher& w : watchers)
      if (w.vendorId == d.vendorId &&
          std::find(w.products.begin(), w.products.end(), d.productId) != w.products.end())
        w.handler(arrived, d);
  }

  // Timed scenario actions, run on one thread of the bus.
  std::condition_variable cv;
  std::multimap<Clock::time_point, std::function<void()>> actions;
  bool stopping = false;
  std::thread worker;

  void run() {
    std::unique_lock lock(m);
    while (!stopping) {
      if (actions.empty()) {
        cv.wait(lock);
        continue;
      }
      auto due = actions.begin()->first;
      if (Clock::now() < due) {
        cv.wait_until(lock, due);
        continue;
      }
      auto action = std::move(actions.begin()->second);
      actions.erase(actions.begin());
      lock.unlock();
      action();
      lock.lock();
    }
  }
};

Bus::Bus() : state_(std::make_shared<State>()) {}

Bus::~Bus() {
  {
    std::lock_guard lock(state_->m);
    state_->stopping = true;
  }
  state_->cv.notify_all();
  if (state_->worker.joinable()) state_->worker.join();
}

Scanner Bus::plug(const DeviceConfig& config) {
  char path[48];
  {
    std::lock_guard lock(state_->m);
    std::snprintf(path, sizeof path, "sim:usb/%03u-%04x-%04x", ++state_->plugs, config.vendorId,
                  config.productId);
  }
  auto core = std::make_shared<Core>(config, path, state_->epoch, state_->generation);
  {
    std::lock_guard lock(state_->m);
    state_->cores.push_back(core);
    state_->generation->fetch_add(1);
  }
  state_->report(true, {path, config.vendorId, config.productId});
  return Scanner(core);
}

void Bus::unplug(const Scanner& scanner) {
  if (!scanner.valid()) return;
  scanner.core()->unplug();
  bool removed;
  {
    std::lock_guard lock(state_->m);
    auto& v = state_->cores;
    auto end = std::remove(v.begin(), v.end(), scanner.core());
    removed = end != v.end();
    v.erase(end, v.end());
  }
  const auto& c = scanner.core()->config();
  if (removed) state_->report(false, {scanner.core()->path(), c.vendorId, c.productId});
}

namespace {

class BusWatch : public platform::usb::Port::Watch {
 public:
  BusWatch(std::function<void()> stop) : stop_(std::move(stop)) {}
  ~BusWatch() override { stop_(); }

 private:
  std::function<void()> stop_;
};

}  // namespace

std::unique_ptr<platform::usb::Port::Watch> Bus::watch(std::uint16_t vendorId,
                                                       std::span<const std::uint16_t> products,
                                                       ChangeHandler handler) {
  std::lock_guard lock(state_->watchMutex);
  const int id = state_->nextWatch++;
  state_->watchers.push_back({id, vendorId, {products.begin(), products.end()}, std::move(handler)});
  return std::make_unique<BusWatch>([state = state_, id] {
    std::lock_guard l(state->watchMutex);
    auto& w = state->watchers;
    w.erase(std::remove_if(w.begin(), w.end(), [id](const State::Watcher& x) { return x.id == id; }), w.end());
  });
}

std::vector<Scanner> Bus::scanners() const {
  std::lock_guard lock(state_->m);
  std::vector<Scanner> out;
  for (const auto& c : state_->cores)
    if (c->plugged()) out.emplace_back(c);
  return out;
}

std::vector<platform::usb::DeviceInfo> Bus::list(std::uint16_t vendorId,
                                                 std::span<const std::uint16_t> products) {
  std::lock_guard lock(state_->m);
  std::vector<platform::usb::DeviceInfo> out;
  for (const auto& c : state_->cores) {
    if (!c->plugged() || c->config().vendorId != vendorId) continue;
    if (std::find(products.begin(), products.end(), c->config().productId) == products.end())
      continue;
    out.push_back({c->path(), c->config().vendorId, c->config().productId});
  }
  return out;
}

std::unique_ptr<platform::usb::Device> Bus::open(const std::string& path) {
  std::shared_ptr<Core> core;
  {
    std::lock_guard lock(state_->m);
    for (const auto& c : state_->cores)
      if (c->path() == path) core = c;
  }
  if (!core || !core->acquire()) return nullptr;
  return std::make_unique<SimDevice>(core);
}

std::uint64_t Bus::generation() const { return state_->generation->load(); }

void Bus::after(std::uint32_t delayMs, std::function<void()> action) {
  std::lock_guard lock(state_->m);
  if (!state_->worker.joinable()) state_->worker = std::thread([s = state_.get()] { s->run(); });
  state_->actions.emplace(Clock::now() + std::chrono::milliseconds(delayMs), std::move(action));
  state_->cv.notify_all();
}

}  // namespace sim
