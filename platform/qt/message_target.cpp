#include "platform/qt/message_target.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

namespace platform::qt {
namespace {

// One event per item keeps the items one by one in the thread's event queue.
QEvent::Type runQueued() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

}  // namespace

QtMessageTarget::QtMessageTarget(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {}

QtMessageTarget::~QtMessageTarget() {
  detach();
  // Work that never ran goes with queue_; QObject's destructor removes its events.
}

void QtMessageTarget::enqueue(std::function<void()> work) {
  QEvent* wake;
  {
    // The event is made under the lock too, as the target's thread reads it under it.
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(work));
    wake = new QEvent(runQueued());
  }
  QCoreApplication::postEvent(this, wake);
}

bool QtMessageTarget::event(QEvent* event) {
  std::function<void()> work;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (event->type() != runQueued()) {
      lock.unlock();
      return QObject::event(event);
    }
    if (queue_.empty()) return true;
    work = std::move(queue_.front());
    queue_.pop_front();
  }
  work();
  return true;
}

bool QtMessageTarget::onOwnThread() const { return QThread::currentThread() == thread(); }

}  // namespace platform::qt
