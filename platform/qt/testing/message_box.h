// The real message box in tests: found among the top-level widgets once it is
// shown, checked, and answered the way an operator would.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <functional>

namespace platform::qt::testing {

struct BoxSeen {
  bool found = false;
  QString text, caption;
  QMessageBox::StandardButtons buttons;
  bool stuck = false;  // the answer did not close the box; it was closed for the test
};

inline void pressKey(QWidget* w, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
  QApplication::sendEvent(w, &release);
}

// Presses `button` of the box, or the Escape or Return key when `key` is set.
inline std::function<void(QMessageBox*)> pressing(QMessageBox::StandardButton button, int key = 0) {
  return [button, key](QMessageBox* box) {
    if (key != 0) {
      pressKey(box, key);
    } else if (QAbstractButton* b = box->button(button)) {
      b->click();
    } else {
      box->reject();  // no such button: the answer shows it
    }
  };
}

// From the event loop that the box's exec() runs: waits for the next box to
// show, records what it shows in `seen` (which must outlive the box) and answers it.
inline void answerTheNextBox(const std::function<void(QMessageBox*)>& answer, BoxSeen& seen, int triesLeft = 1000) {
  QTimer::singleShot(10, [answer, &seen, triesLeft] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(w);
      if (box == nullptr || !box->isVisible()) continue;
      seen = {true, box->text(), box->windowTitle(), box->standardButtons(), false};
      answer(box);
      // A box the answer left open would hang the test: it fails instead.
      QTimer::singleShot(3000, [box = QPointer<QMessageBox>(box), &seen] {
        if (box == nullptr || !box->isVisible()) return;
        seen.stuck = true;
        box->done(-1);
      });
      return;
    }
    if (triesLeft > 0) answerTheNextBox(answer, seen, triesLeft - 1);
  });
}

}  // namespace platform::qt::testing
