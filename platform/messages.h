// Window messages without windows: a WindowHandle names a message target weakly;
// post() queues for the target's own thread, send() waits until it was handled.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <condition_variable>
#include <deque>

namespace platform {

struct Message {
  std::uint32_t id = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
};

inline constexpr std::uint32_t kCommandMessage = 0x0111;  // a command id in wParam

// An opaque, pointer-sized name of a target, safe to pass through C exports.
// Never reused within a process; 0 names nothing.
using WindowHandle = std::uintptr_t;

class MessageTarget {
 public:
  MessageTarget();
  virtual ~MessageTarget();  // subclasses call detach() first in their destructor
  MessageTarget(const MessageTarget&) = delete;
  MessageTarget& operator=(const MessageTarget&) = delete;

  WindowHandle handle() const { return handle_; }

  // Runs on the target's own thread for every delivered message.
  virtual void handleMessage(const Message& message) = 0;

 protected:
  friend bool post(WindowHandle, const Message&);
  friend bool send(WindowHandle, const Message&);
  // Hands `work` to the target's thread without blocking.
  virtual void enqueue(std::function<void()> work) = 0;
  virtual bool onOwnThread() const = 0;
  // Unregisters the handle: later posts are dropped. Idempotent.
  void detach();

 private:
  WindowHandle handle_;
};

// Queues a message for the target; never blocks. False (dropped) for a null or
// destroyed target.
bool post(WindowHandle target, const Message& message);
// Delivers and waits until handled: directly when called on the target's own
// thread. False for a null or destroyed target, or one destroyed before it handled it.
bool send(WindowHandle target, const Message& message);

// A target whose thread is whichever thread pumps it; for tests and non-Qt hosts.
class QueueTarget : public MessageTarget {
 public:
  using Handler = std::function<void(const Message&)>;
  explicit QueueTarget(Handler handler);
  ~QueueTarget() override;

  void handleMessage(const Message& message) override { handler_(message); }
  // Runs what is queued now; returns how many ran. The calling thread becomes the target's.
  int pump();
  // Pumps until `done` is true or timeoutMs (real time) have passed; true when done.
  bool pumpUntil(const std::function<bool()>& done, std::uint32_t timeoutMs);

 protected:
  void enqueue(std::function<void()> work) override;
  bool onOwnThread() const override;

 private:
  Handler handler_;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> queue_;
  std::thread::id owner_;
};

}  // namespace platform
