// Every message box, question and file chooser of the suite's windows goes
// through the installed prompt: Qt dialogs in the programs, scripted answers
// in tests and scripted runs.
#pragma once

#include <QString>
#include <QWidget>
#include <deque>
#include <vector>

namespace platform::qt {

enum class Icon { None, Information, Warning, Question, Critical };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Answer { Ok, Cancel, Yes, No };

class Prompt {
 public:
  virtual ~Prompt() = default;
  // A modal message box over `owner` (null: no owner); the button pressed.
  virtual Answer message(QWidget* owner, const QString& text, const QString& caption, Icon icon,
                         Buttons buttons) = 0;
  // The file chosen, or an empty text when cancelled.
  virtual QString openFileName(QWidget* owner, const QString& caption, const QString& directory,
                               const QString& filter) = 0;
  virtual QString saveFileName(QWidget* owner, const QString& caption, const QString& directory,
                               const QString& filter) = 0;
};

// The process-wide prompt: the one installed, else a QtPrompt.
Prompt& prompt();
// Installs `p` (null: back to the QtPrompt); the caller keeps ownership.
void setPrompt(Prompt* p);

// Real Qt dialogs.
class QtPrompt : public Prompt {
 public:
  Answer message(QWidget* owner, const QString& text, const QString& caption, Icon icon,
                 Buttons buttons) override;
  QString openFileName(QWidget* owner, const QString& caption, const QString& directory,
                       const QString& filter) override;
  QString saveFileName(QWidget* owner, const QString& caption, const QString& directory,
                       const QString& filter) override;
};

// Answers from queues and records every question; installs itself while it lives.
// An empty answer queue gives the box's first button (Ok or Yes) and a
// cancelled file chooser.
class ScriptedPrompt : public Prompt {
 public:
  struct Asked {
    QWidget* owner;
    QString text;
    QString caption;
    Icon icon;
    Buttons buttons;
  };
  ScriptedPrompt();
  ~ScriptedPrompt() override;
  ScriptedPrompt(const ScriptedPrompt&) = delete;
  ScriptedPrompt& operator=(const ScriptedPrompt&) = delete;

  Answer message(QWidget* owner, const QString& text, const QString& caption, Icon icon,
                 Buttons buttons) override;
  QString openFileName(QWidget* owner, const QString& caption, const QString& directory,
                       const QString& filter) override;
  QString saveFileName(QWidget* owner, const QString& caption, const QString& directory,
                       const QString& filter) override;

  std::deque<Answer> answers;
  std::deque<QString> fileAnswers;
  std::vector<Asked> asked;
  std::vector<QString> fileCaptions;

 private:
  Prompt* previous_;
};

}  // namespace platform::qt
