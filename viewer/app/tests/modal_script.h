// Answers the modal dialogs that a call opens: each new modal dialog is handed
// to the next handler, or rejected when none is left. The open's progress
// dialog is left alone.
#pragma once
#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <functional>
#include <vector>

namespace app_test {

class ModalScript {
 public:
  using Handler = std::function<void(QDialog*)>;
  ModalScript() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      // The "Opening" progress is modal but no question; tests reach it directly.
      if (d == nullptr || d == last_.data() || d->objectName() == QStringLiteral("175")) return;
      last_ = d;
      titles.push_back(d->windowTitle());
      if (handlers.empty()) {
        d->reject();
        return;
      }
      Handler h = std::move(handlers.front());
      handlers.pop_front();
      h(d);
    });
    timer_.start();
  }
  std::deque<Handler> handlers;
  std::vector<QString> titles;

 private:
  QTimer timer_;
  QPointer<QDialog> last_;
};

}  // namespace app_test
