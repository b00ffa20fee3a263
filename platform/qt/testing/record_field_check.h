// Checks that a window's study field is guarded (platform/qt/record_field.h):
// the operator types and pastes names the files cannot carry and plain
// Japanese, and only what the files hold stays in the field. Link Qt6::Test.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include "platform/qt/control.h"
#include "platform/qt/record_field.h"

namespace platform::qt::testing {

struct FieldSample {
  const char* utf8;
  const char* typedLeaves;  // what typing it character by character leaves
  bool refused;             // a paste of it is refused whole
};

// "Mueller" with u umlaut, "Takahashi" with the IBM-row taka and a circled
// one, an ID with a backslash, and plain Japanese.
inline const FieldSample kFieldSamples[] = {
    {"M\xC3\xBCller", "Mller", true},
    {"\xE9\xAB\x99\xE6\xA9\x8B\xE2\x91\xA0", "\xE6\xA9\x8B", true},
    {"A\\B", "AB", true},
    {"M\xE2\x91\xA0\\1", "M1", true},  // refusals one after another
    {"\xE5\xB1\xB1\xE7\x94\xB0 \xE5\xA4\xAA\xE9\x83\x8E", "\xE5\xB1\xB1\xE7\x94\xB0 \xE5\xA4\xAA\xE9\x83\x8E", false},
};

// Key presses carrying each character's text, as a keyboard delivers them
// (QTest's own key clicks know only ASCII).
inline void typeText(QWidget* field, const QString& text) {
  for (const char32_t c : text.toUcs4()) {
    const QString one = QString::fromUcs4(&c, 1);
    QKeyEvent press(QEvent::KeyPress, c < 0x80 ? QTest::asciiToKey(char(c)) : Qt::Key_unknown, Qt::NoModifier, one);
    QApplication::sendEvent(field, &press);
    QKeyEvent release(QEvent::KeyRelease, c < 0x80 ? QTest::asciiToKey(char(c)) : Qt::Key_unknown, Qt::NoModifier, one);
    QApplication::sendEvent(field, &release);
  }
}

// What an input method hands over when the operator commits a conversion.
inline void commitText(QWidget* field, const QString& text) {
  QInputMethodEvent commit;
  commit.setCommitString(text);
  QApplication::sendEvent(field, &commit);
}

inline QLabel* refusalNote(QWidget* field) {
  return field->window()->findChild<QLabel*>(QString::fromLatin1(kRefusalNoteName), Qt::FindDirectChildrenOnly);
}

inline QString fieldText(QWidget* field) {
  if (auto* e = qobject_cast<QLineEdit*>(field)) return e->text();
  return static_cast<QPlainTextEdit*>(field)->toPlainText();
}

inline void setFieldText(QWidget* field, const QString& t) {
  if (auto* e = qobject_cast<QLineEdit*>(field)) e->setText(t);
  else static_cast<QPlainTextEdit*>(field)->setPlainText(t);
}

inline void pasteInto(QWidget* field, const QString& t) {
  QApplication::clipboard()->setText(t);
  if (auto* e = qobject_cast<QLineEdit*>(field)) {
    e->end(false);
    e->paste();
  } else {
    auto* p = static_cast<QPlainTextEdit*>(field);
    p->moveCursor(QTextCursor::End);
    p->paste();
  }
}

// Types and pastes every sample into the field with control id `id`.
inline void expectGuardedField(QWidget* window, int id) {
  QWidget* field = window->findChild<QWidget*>(QString::number(id));
  ASSERT_TRUE(qobject_cast<QLineEdit*>(field) || qobject_cast<QPlainTextEdit*>(field)) << id;
  for (const FieldSample& s : kFieldSamples) {
    const QString sample = QString::fromUtf8(s.utf8);
    if (QLabel* note = refusalNote(field)) note->hide();
    setFieldText(field, QString());
    typeText(field, sample);
    EXPECT_EQ(fieldText(field), QString::fromUtf8(s.typedLeaves)) << id << " typed " << s.utf8;
    QLabel* note = refusalNote(field);
    EXPECT_EQ(note && note->isVisible(), s.refused) << id << " typed " << s.utf8;

    if (note) note->hide();
    setFieldText(field, QStringLiteral("kept"));
    pasteInto(field, sample);
    EXPECT_EQ(fieldText(field), s.refused ? QStringLiteral("kept") : QStringLiteral("kept") + sample)
        << id << " pasted " << s.utf8;
    note = refusalNote(field);
    EXPECT_EQ(note && note->isVisible(), s.refused) << id << " pasted " << s.utf8;
    if (s.refused && note) {
      EXPECT_FALSE(note->text().isEmpty());
    }
  }
  setFieldText(field, QString());
}

}  // namespace platform::qt::testing
