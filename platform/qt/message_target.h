// A message target that lives on a Qt thread: posts become queued calls into
// that thread's event loop, sends from other threads wait until it ran them,
// sends from its own thread are direct calls.
#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <mutex>

#include "platform/messages.h"

namespace platform::qt {

class QtMessageTarget : public QObject, public platform::MessageTarget {
 public:
  using Handler = std::function<void(const platform::Message&)>;
  // The target belongs to the thread that makes it.
  explicit QtMessageTarget(Handler handler, QObject* parent = nullptr);
  // Detaches first, so no post can arrive while the queue is dropped; a send
  // waiting on a dropped item is answered "not delivered".
  ~QtMessageTarget() override;

  void handleMessage(const platform::Message& message) override { handler_(message); }
  bool event(QEvent* event) override;

 protected:
  void enqueue(std::function<void()> work) override;
  bool onOwnThread() const override;

 private:
  Handler handler_;
  // The work itself crosses threads under our own lock, and only a bare event
  // goes through Qt's queue: a hand-off the thread sanitizer can follow.
  std::mutex mutex_;
  std::deque<std::function<void()>> queue_;
};

}  // namespace platform::qt
