#include "platform/power.h"

#include <cerrno>
#include <fcntl.h>
#include <atomic>
#include <mutex>
#include <poll.h>
#include <vector>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <thread>
#include <unistd.h>

namespace platform::power {
namespace {

constexpr const char* kLogin = "org.freedesktop.login1";
constexpr const char* kPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";

class LogindWatcher : public SleepWatcher {
 public:
  LogindWatcher(sd_bus* bus, std::function<void(bool)> handler) : bus_(bus), handler_(std::move(handler)) {}

  bool start() {
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd_ < 0) return false;
    if (sd_bus_match_signal(bus_, &slot_, kLogin, kPath, kManager, "PrepareForSleep", &LogindWatcher::onSignal,
                            this) < 0)
      return false;
    takeInhibitor();
    thread_ = std::thread([this] { run(); });
    return true;
  }

  ~LogindWatcher() override {
    if (thread_.joinable()) {
      std::uint64_t one = 1;
      (void)::write(stopFd_, &one, sizeof one);
      thread_.join();
    }
    releaseInhibitor();
    if (slot_) sd_bus_slot_unref(slot_);
    sd_bus_flush_close_unref(bus_);
    if (stopFd_ >= 0) ::close(stopFd_);
  }

 private:
  void takeInhibitor() {
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    if (sd_bus_call_method(bus_, kLogin, kPath, kManager, "Inhibit", &error, &reply, "ssss", "sleep",
                           "ndt-suite", "finish the running scanner command", "delay") >= 0) {
      int fd = -1;
      if (sd_bus_message_read(reply, "h", &fd) >= 0 && fd >= 0) inhibitor_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    }
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
  }
  void releaseInhibitor() {
    if (inhibitor_ >= 0) ::close(inhibitor_);
    inhibitor_ = -1;
  }

  static int onSignal(sd_bus_message* m, void* user, sd_bus_error*) {
    auto* self = static_cast<LogindWatcher*>(user);
    int sleeping = 0;
    if (sd_bus_message_read(m, "b", &sleeping) < 0) return 0;
    self->handler_(sleeping != 0);
    if (sleeping)
      self->releaseInhibitor();  // lets the sleep go on
    else
      self->takeInhibitor();  // ready for the next one
    return 0;
  }

  void run() {
    for (;;) {
      while (sd_bus_process(bus_, nullptr) > 0) {
      }
      pollfd fds[2] = {{sd_bus_get_fd(bus_), static_cast<short>(sd_bus_get_events(bus_)), 0},
                       {stopFd_, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
      if (fds[1].revents & POLLIN) return;
      if (fds[0].revents & (POLLERR | POLLHUP)) return;
    }
  }

  sd_bus* bus_;
  std::function<void(bool)> handler_;
  sd_bus_slot* slot_ = nullptr;
  int stopFd_ = -1;
  int inhibitor_ = -1;
  std::thread thread_;
};

struct Simulated {
  std::mutex mutex;
  std::vector<std::pair<int, std::function<void(bool)>>> handlers;
  int next = 0;
};

Simulated& simulated() {
  static Simulated* s = new Simulated;  // never destroyed: watchers may outlive static teardown
  return *s;
}

std::atomic<bool> simulating{false};

class SimulatedWatcher : public SleepWatcher {
 public:
  explicit SimulatedWatcher(std::function<void(bool)> handler) {
    std::lock_guard<std::mutex> lock(simulated().mutex);
    id_ = simulated().next++;
    simulated().handlers.emplace_back(id_, std::move(handler));
  }
  ~SimulatedWatcher() override {
    std::lock_guard<std::mutex> lock(simulated().mutex);
    auto& h = simulated().handlers;
    for (auto it = h.begin(); it != h.end(); ++it)
      if (it->first == id_) {
        h.erase(it);
        break;
      }
  }

 private:
  int id_ = 0;
};

}  // namespace

void useSimulatedSleep(bool on) { simulating = on; }

void simulateSleep(bool goingToSleep) {
  std::vector<std::function<void(bool)>> handlers;
  {
    std::lock_guard<std::mutex> lock(simulated().mutex);
    for (auto& [id, h] : simulated().handlers) handlers.push_back(h);
  }
  for (auto& h : handlers) h(goingToSleep);
}

std::unique_ptr<SleepWatcher> watchSleep(std::function<void(bool)> handler) {
  if (simulating) return std::make_unique<SimulatedWatcher>(std::move(handler));
  sd_bus* bus = nullptr;
  if (sd_bus_open_system(&bus) < 0) return nullptr;
  auto watcher = std::make_unique<LogindWatcher>(bus, std::move(handler));
  if (!watcher->start()) return nullptr;
  return watcher;
}

}  // namespace platform::power
