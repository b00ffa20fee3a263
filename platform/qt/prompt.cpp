#include "platform/qt/prompt.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <atomic>

namespace platform::qt {
namespace {

std::atomic<Prompt*> installed{nullptr};

QMessageBox::Icon toQt(Icon icon) {
  switch (icon) {
    case Icon::Information: return QMessageBox::Information;
    case Icon::Warning: return QMessageBox::Warning;
    case Icon::Question: return QMessageBox::Question;
    case Icon::Critical: return QMessageBox::Critical;
    case Icon::None: break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons toQt(Buttons buttons) {
  switch (buttons) {
    case Buttons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case Buttons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case Buttons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case Buttons::Ok: break;
  }
  return QMessageBox::Ok;
}

Answer firstButton(Buttons buttons) {
  return buttons == Buttons::Ok || buttons == Buttons::OkCancel ? Answer::Ok : Answer::Yes;
}

// What Escape or the title bar's close answers: the box's cancelling button.
Answer escapeAnswer(Buttons buttons) {
  switch (buttons) {
    case Buttons::Ok: return Answer::Ok;
    case Buttons::YesNo: return Answer::No;
    case Buttons::OkCancel:
    case Buttons::YesNoCancel: break;
  }
  return Answer::Cancel;
}

}  // namespace

Prompt& prompt() {
  // Never destroyed: a library may prompt while the process ends.
  static QtPrompt* fallback = new QtPrompt;
  Prompt* p = installed.load();
  return p ? *p : *fallback;
}

void setPrompt(Prompt* p) { installed.store(p); }

Answer QtPrompt::message(QWidget* owner, const QString& text, const QString& caption, Icon icon,
                         Buttons buttons) {
  // Without a widget application nothing can be shown: the box's first button.
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return firstButton(buttons);
  QMessageBox box(toQt(icon), caption, text, toQt(buttons), owner);
  switch (box.exec()) {
    case QMessageBox::Ok: return Answer::Ok;
    case QMessageBox::Cancel: return Answer::Cancel;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    default: break;
  }
  // A box closed without a button answers its escape button.
  return escapeAnswer(buttons);
}

QString QtPrompt::openFileName(QWidget* owner, const QString& caption, const QString& directory,
                               const QString& filter) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return QString();
  return QFileDialog::getOpenFileName(owner, caption, directory, filter);
}

QString QtPrompt::saveFileName(QWidget* owner, const QString& caption, const QString& directory,
                               const QString& filter) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return QString();
  return QFileDialog::getSaveFileName(owner, caption, directory, filter);
}

ScriptedPrompt::ScriptedPrompt() : previous_(installed.exchange(this)) {}

ScriptedPrompt::~ScriptedPrompt() { installed.store(previous_); }

Answer ScriptedPrompt::message(QWidget* owner, const QString& text, const QString& caption,
                               Icon icon, Buttons buttons) {
  asked.push_back({owner, text, caption, icon, buttons});
  if (answers.empty()) return firstButton(buttons);
  Answer a = answers.front();
  answers.pop_front();
  return a;
}

QString ScriptedPrompt::openFileName(QWidget*, const QString& caption, const QString&,
                                     const QString&) {
  fileCaptions.push_back(caption);
  if (fileAnswers.empty()) return QString();
  QString a = fileAnswers.front();
  fileAnswers.pop_front();
  return a;
}

QString ScriptedPrompt::saveFileName(QWidget* owner, const QString& caption,
                                     const QString& directory, const QString& filter) {
  return openFileName(owner, caption, directory, filter);
}

}  // namespace platform::qt
