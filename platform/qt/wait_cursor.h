// The wait cursor for the length of a scope; nothing without an application.
#pragma once

#include <QApplication>
#include <QCursor>

namespace platform::qt {

class WaitCursor {
 public:
  WaitCursor() : shown_(qApp != nullptr) {
    if (shown_) QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  }
  ~WaitCursor() {
    if (shown_ && qApp != nullptr) QApplication::restoreOverrideCursor();
  }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  bool shown_;
};

}  // namespace platform::qt
