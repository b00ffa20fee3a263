#include "platform/qt/ui_thread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <mutex>

namespace platform::qt {

bool callOnUiThread(const std::function<void()>& work) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return false;
  if (QThread::currentThread() == app->thread()) {
    work();
    return true;
  }
  // Qt hands the call over and back through its own queue and semaphore; this
  // lock, taken on both sides of each hand-over, orders the worker's data
  // before the call and the call's results before the worker goes on in terms
  // the thread sanitizer can see.
  std::mutex handOver;
  { std::lock_guard<std::mutex> published(handOver); }
  // Served by whatever event loop the application's thread runs, nested ones too.
  QMetaObject::invokeMethod(
      app,
      [&] {
        { std::lock_guard<std::mutex> received(handOver); }
        work();
        std::lock_guard<std::mutex> returned(handOver);
      },
      Qt::BlockingQueuedConnection);
  std::lock_guard<std::mutex> resultsSeen(handOver);
  return true;
}

}  // namespace platform::qt
