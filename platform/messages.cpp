#include "platform/messages.h"

#include <atomic>
#include <chrono>
#include <future>
#include <unordered_map>

namespace platform {
namespace {

// Live targets by handle. A handle is never reused, so a stale one finds nothing.
struct Registry {
  std::mutex mutex;
  std::unordered_map<WindowHandle, MessageTarget*> targets;
  WindowHandle next = 1;
};

Registry& registry() {
  static Registry* r = new Registry;  // never destroyed: posts may come while the process ends
  return *r;
}

// Pending sends are answered once: delivered, or dropped with the target.
struct SendState {
  std::promise<bool> done;
  std::atomic<bool> answered{false};
  void answer(bool delivered) {
    if (!answered.exchange(true)) done.set_value(delivered);
  }
};

}  // namespace

MessageTarget::MessageTarget() {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  handle_ = r.next++;
  r.targets[handle_] = this;
}

MessageTarget::~MessageTarget() { detach(); }

void MessageTarget::detach() {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.targets.erase(handle_);
}

bool post(WindowHandle target, const Message& message) {
  if (target == 0) return false;
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.targets.find(target);
  if (it == r.targets.end()) return false;
  // The work item looks the target up again when it runs: the target may be gone by then.
  it->second->enqueue([target, message] {
    MessageTarget* t = nullptr;
    {
      Registry& reg = registry();
      std::lock_guard<std::mutex> l(reg.mutex);
      auto found = reg.targets.find(target);
      if (found != reg.targets.end()) t = found->second;
    }
    if (t) t->handleMessage(message);
  });
  return true;
}

bool send(WindowHandle target, const Message& message) {
  if (target == 0) return false;
  Registry& r = registry();
  std::unique_lock<std::mutex> lock(r.mutex);
  auto it = r.targets.find(target);
  if (it == r.targets.end()) return false;
  MessageTarget* t = it->second;
  if (t->onOwnThread()) {
    lock.unlock();
    t->handleMessage(message);
    return true;
  }
  auto state = std::make_shared<SendState>();
  std::future<bool> result = state->done.get_future();
  // The guard answers "not delivered" if the queue drops the item unrun.
  struct Guard {
    std::shared_ptr<SendState> s;
    ~Guard() {
      if (s) s->answer(false);
    }
  };
  std::shared_ptr<Guard> guard(new Guard{state});
  t->enqueue([target, message, guard = std::move(guard)] {
    MessageTarget* current = nullptr;
    {
      Registry& reg = registry();
      std::lock_guard<std::mutex> l(reg.mutex);
      auto found = reg.targets.find(target);
      if (found != reg.targets.end()) current = found->second;
    }
    if (current) {
      current->handleMessage(message);
      guard->s->answer(true);
    }
  });
  lock.unlock();
  return result.get();
}

QueueTarget::QueueTarget(Handler handler) : handler_(std::move(handler)) {}

QueueTarget::~QueueTarget() {
  detach();
  std::deque<std::function<void()>> dropped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    dropped.swap(queue_);
  }
  // Dropping the items answers any waiting send.
}

void QueueTarget::enqueue(std::function<void()> work) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(work));
  }
  cv_.notify_all();
}

bool QueueTarget::onOwnThread() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return owner_ == std::this_thread::get_id();
}

int QueueTarget::pump() {
  std::deque<std::function<void()>> work;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    owner_ = std::this_thread::get_id();
    work.swap(queue_);
  }
  int n = 0;
  for (auto& w : work) {
    w();
    ++n;
  }
  return n;
}

bool QueueTarget::pumpUntil(const std::function<bool()>& done, std::uint32_t timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    pump();
    if (done()) return true;
    std::unique_lock<std::mutex> lock(mutex_);
    if (std::chrono::steady_clock::now() >= deadline) return done();
    cv_.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(20)),
                   [this] { return !queue_.empty(); });
  }
}

}  // namespace platform
