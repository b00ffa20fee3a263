#include "platform/qt/record_field.h"

#include <algorithm>

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTimer>
#include <QToolTip>

#include "platform/text.h"

namespace platform::qt {
namespace {

constexpr int kNoteMilliseconds = 4000;
// The property of a guarded field that keeps the text it held before an edit.
constexpr const char* kHeld = "recordFieldHeld";

struct Insertion {
  int at = 0;
  char32_t refused = 0;
};

// The characters that turned `before` into `after` (what lies between their
// common beginning and common end), and the first of them the rule refuses.
Insertion refusedInsertion(const QString& before, const QString& after, bool singleValue) {
  int head = 0;
  const int shorter = int(std::min(before.size(), after.size()));
  while (head < shorter && before[head] == after[head]) ++head;
  int tail = 0;
  while (tail < shorter - head && before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) ++tail;
  const QString inserted = after.mid(head, after.size() - head - tail);
  return {head, platform::text::firstRefused(inserted.toStdString(), singleValue)};
}

void showNote(QWidget* field, char32_t refused) {
  QWidget* window = field->window();
  auto* note = window->findChild<QLabel*>(QString::fromLatin1(kRefusalNoteName), Qt::FindDirectChildrenOnly);
  if (!note) {
    note = new QLabel(window);
    note->setObjectName(QString::fromLatin1(kRefusalNoteName));
    note->setPalette(QToolTip::palette());
    note->setAutoFillBackground(true);
    note->setFrameShape(QFrame::Box);
    note->setMargin(2);
    note->setWordWrap(true);
    auto* timer = new QTimer(note);
    timer->setObjectName(QStringLiteral("refusalNoteTimer"));
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, note, &QWidget::hide);
  }
  note->setText(refusalText(refused));
  // As wide as the field (wrapped when longer), inside the window.
  QPoint at = field->mapTo(window, QPoint(0, field->height()));
  const int width = std::min(std::max(field->width(), 240), std::max(1, window->width()));
  at.setX(std::max(0, std::min(at.x(), window->width() - width)));
  note->setFixedWidth(width);
  note->setFixedHeight(note->heightForWidth(width));
  note->move(at);
  note->raise();
  note->show();
  note->findChild<QTimer*>(QStringLiteral("refusalNoteTimer"))->start(kNoteMilliseconds);
}

}  // namespace

QString refusalText(char32_t refused) {
  if (refused == '\\')
    return QCoreApplication::translate("RecordField", "\"\\\" separates DICOM values and cannot be part of this field.");
  if (refused < 0x20 || refused == 0x7F)
    return QCoreApplication::translate("RecordField", "Line breaks and control characters cannot be stored in this field.");
  const QString shown = refused == 0xFFFD ? QStringLiteral("\uFFFD") : QString::fromUcs4(&refused, 1);
  return QCoreApplication::translate("RecordField",
                                     "\"%1\" cannot be stored: the files hold ASCII and JIS X 0208 characters only.")
      .arg(shown);
}

void guardRecordField(QLineEdit* field, bool singleValue) {
  // The text before the edit: textEdited comes before textChanged. A refusal
  // puts the old text back from inside textEdited, after which the edit's own
  // textChanged still arrives with the refused text: that one is stale.
  field->setProperty(kHeld, field->text());
  QObject::connect(field, &QLineEdit::textChanged, field, [field](const QString& t) {
    if (t == field->text()) field->setProperty(kHeld, t);
  });
  QObject::connect(field, &QLineEdit::textEdited, field, [field, singleValue](const QString& t) {
    const QString held = field->property(kHeld).toString();
    const Insertion i = refusedInsertion(held, t, singleValue);
    if (i.refused == 0) return;
    field->setText(held);
    field->setCursorPosition(i.at);
    showNote(field, i.refused);
  });
}

void guardRecordField(QPlainTextEdit* field, bool singleValue) {
  field->setProperty(kHeld, field->toPlainText());
  QObject::connect(field, &QPlainTextEdit::textChanged, field, [field, singleValue] {
    const QString t = field->toPlainText();
    const QString held = field->property(kHeld).toString();
    const Insertion i = refusedInsertion(held, t, singleValue);
    if (i.refused == 0) {
      field->setProperty(kHeld, t);
      return;
    }
    field->setPlainText(held);  // comes back here with nothing inserted
    QTextCursor c = field->textCursor();
    c.setPosition(std::min(i.at, int(held.size())));
    field->setTextCursor(c);
    showNote(field, i.refused);
  });
}

}  // namespace platform::qt
