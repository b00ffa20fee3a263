#include "platform/qt/record_field.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include "platform/qt/testing/record_field_check.h"

namespace {

using platform::qt::testing::refusalNote;

struct Window {
  Window() {
    auto* layout = new QVBoxLayout(&widget);
    line = new QLineEdit(&widget);
    line->setObjectName("1");
    plain = new QPlainTextEdit(&widget);
    plain->setObjectName("2");
    free = new QLineEdit(&widget);
    free->setObjectName("3");
    layout->addWidget(line);
    layout->addWidget(plain);
    layout->addWidget(free);
    platform::qt::guardRecordField(line);
    platform::qt::guardRecordField(plain);
    platform::qt::guardRecordField(free, false);
    widget.resize(400, 300);
    widget.show();
  }
  QWidget widget;
  QLineEdit* line;
  QPlainTextEdit* plain;
  QLineEdit* free;
};

TEST(RecordField, TypedAndPastedSamplesInBothKindsOfField) {
  Window w;
  platform::qt::testing::expectGuardedField(&w.widget, 1);
  platform::qt::testing::expectGuardedField(&w.widget, 2);
}

TEST(RecordField, TheNoteNamesTheCharacterAndSitsUnderTheField) {
  Window w;
  w.line->setText("Weld");
  w.line->setCursorPosition(2);
  platform::qt::testing::typeText(w.line, QString::fromUtf8("\xC3\x98"));
  EXPECT_EQ(w.line->text(), "Weld");
  EXPECT_EQ(w.line->cursorPosition(), 2);
  QLabel* note = refusalNote(w.line);
  ASSERT_NE(note, nullptr);
  EXPECT_TRUE(note->text().contains(QString::fromUtf8("\xC3\x98"))) << note->text().toStdString();
  EXPECT_EQ(note->y(), w.line->mapTo(&w.widget, QPoint(0, w.line->height())).y());
  QDir().mkpath(SCREENSHOT_DIR);
  w.widget.grab().save(QStringLiteral(SCREENSHOT_DIR "/record_field_note.png"));
  QTest::keyClicks(w.free, "A\\B");
  EXPECT_EQ(w.free->text(), "A\\B");  // a multi-valued text keeps its backslash
}

TEST(RecordField, AnInputMethodsCommitIsJudgedToo) {
  Window w;
  platform::qt::testing::commitText(w.line, QString::fromUtf8("\xE9\xAB\x99\xE6\xA9\x8B"));  // taka (ladder) hashi
  EXPECT_EQ(w.line->text(), "");
  ASSERT_NE(refusalNote(w.line), nullptr);
  EXPECT_TRUE(refusalNote(w.line)->isVisible());
  platform::qt::testing::commitText(w.line, QString::fromUtf8("\xE9\xAB\x98\xE6\xA9\x8B"));  // taka hashi
  EXPECT_EQ(w.line->text(), QString::fromUtf8("\xE9\xAB\x98\xE6\xA9\x8B"));
}

TEST(RecordField, ALineBreakIsRefusedInTheMultiLineField) {
  Window w;
  w.plain->setPlainText("one");
  w.plain->moveCursor(QTextCursor::End);
  QTest::keyClick(w.plain, Qt::Key_Return);
  EXPECT_EQ(w.plain->toPlainText(), "one");
  ASSERT_NE(refusalNote(w.plain), nullptr);
  EXPECT_TRUE(refusalNote(w.plain)->isVisible());
}

TEST(RecordField, TextSetByTheProgramIsNotJudged) {
  Window w;
  w.line->setText("A\\B");  // a record's own value, shown as it is
  EXPECT_EQ(w.line->text(), "A\\B");
  EXPECT_EQ(refusalNote(w.line), nullptr);
  QTest::keyClick(w.line, Qt::Key_Backspace);  // deleting is always allowed
  EXPECT_EQ(w.line->text(), "A\\");
}

}  // namespace
