#include "platform/qt/message_target.h"

#include <QMetaObject>
#include <QThread>

namespace platform::qt {

QtMessageTarget::QtMessageTarget(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {}

QtMessageTarget::~QtMessageTarget() {
  detach();
  // QObject's destructor removes the queued calls that never ran.
}

void QtMessageTarget::enqueue(std::function<void()> work) {
  QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

bool QtMessageTarget::onOwnThread() const { return QThread::currentThread() == thread(); }

}  // namespace platform::qt
