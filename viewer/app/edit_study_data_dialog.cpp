// Edit Study Data.
#include "viewer/app/dialogs.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTextCursor>
#include <algorithm>

#include "platform/qt/control.h"
#include "platform/qt/numbers.h"
#include "platform/qt/record_field.h"
#include "platform/text.h"
#include "viewer/formats/diconde.h"
#include "viewer/app/dialog_parts.h"
#include "viewer/app/texts.h"

namespace viewer::app {

using platform::qt::setControlId;
using dialog_parts::okCancel;

namespace {

constexpr int kMaxTypedBytes = 189;
// Characters the operator may type into each text field.
constexpr int kMaxTypedName = 32, kMaxTypedId = 32, kMaxTypedStudyId = 16, kMaxTypedDescription = 64;

// What the DICONDE encoding drops: control characters and half-width katakana.
QString withoutDropped(const QString& t) {
  QString out;
  for (const QChar c : t)
    if (c.unicode() >= 0x20 && c.unicode() != 0x7F && !(c.unicode() >= 0xFF61 && c.unicode() <= 0xFF9F)) out += c;
  return out;
}

int number(const QString& t) {
  const auto v = platform::qt::parseInt(t.trimmed());
  return v ? int(std::clamp<std::int64_t>(*v, -1, 100000)) : -1;
}

bool validCalendarDate(int y, int m, int d) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12 || d < 1) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= days[m - 1] + (m == 2 && leap ? 1 : 0);
}

// A field that stands for each image's own value.
bool keepsOwn(const QString& t) { return t.trimmed().isEmpty() || t == QStringLiteral("*"); }

}  // namespace

std::size_t dicondeLength(const QString& t) {
  return formats::toDicondeText(platform::text::utf8ToCp932(t.toStdString())).size();
}

EditStudyDataDialog::EditStudyDataDialog(const StudyFields& f, std::vector<StudyDate> ownManufacturing,
                                         std::vector<StudyDate> ownStudy, std::vector<bool> ownName,
                                         std::vector<bool> ownId, bool saveMode, int currentYear, QWidget* parent)
    : QDialog(parent),
      ownManufacturing_(std::move(ownManufacturing)),
      ownStudy_(std::move(ownStudy)),
      ownName_(std::move(ownName)),
      ownId_(std::move(ownId)),
      saveMode_(saveMode),
      currentYear_(currentYear) {
  setObjectName(QStringLiteral("149"));
  setWindowTitle(Tivola::tr("Edit Study Data"));
  auto* grid = new QGridLayout(this);
  auto addEdit = [&](int id, const QString& value, bool inputMethod, int maxTyped = 0) {
    auto* e = new QLineEdit(value, this);
    setControlId(e, id);
    if (maxTyped > 0) e->setMaxLength(maxTyped);
    // Identifiers and dates are typed without the input method.
    e->setAttribute(Qt::WA_InputMethodEnabled, inputMethod);
    limitTyping(e);
    return e;
  };
  auto row = [&](int r, const char* label, QWidget* w) {
    auto* l = new QLabel(text(label), this);
    l->setBuddy(w);
    grid->addWidget(l, r, 0);
    grid->addWidget(w, r, 1, 1, 3);
  };
  auto dateRow = [&](int r, const char* label, int firstId, const QString& y, const QString& m, const QString& d) {
    grid->addWidget(new QLabel(text(label), this), r, 0);
    // A number is shown in plain decimal.
    auto plain = [](const QString& t) { const int v = number(t); return v >= 0 ? QString::number(v) : t; };
    grid->addWidget(addEdit(firstId, plain(y), false), r, 1);
    grid->addWidget(addEdit(firstId + 1, plain(m), false), r, 2);
    grid->addWidget(addEdit(firstId + 2, plain(d), false), r, 3);
  };
  row(0, QT_TRANSLATE_NOOP("Tivola", "Component Name:"), addEdit(1040, f.componentName, true, kMaxTypedName));
  row(1, QT_TRANSLATE_NOOP("Tivola", "Component ID Number:"), addEdit(1041, f.componentId, false, kMaxTypedId));
  for (int id : {1040, 1041}) platform::qt::guardRecordField(edit(id));
  dateRow(2, QT_TRANSLATE_NOOP("Tivola", "Date of Manufacture:"), 1042, f.manufacturingYear, f.manufacturingMonth,
          f.manufacturingDay);
  auto* sexBox = new QGroupBox(Tivola::tr("Sex"), this);
  auto* sexRow = new QHBoxLayout(sexBox);
  const char* sexes[] = {QT_TRANSLATE_NOOP("Tivola", "Male"), QT_TRANSLATE_NOOP("Tivola", "Female"),
                         QT_TRANSLATE_NOOP("Tivola", "Other"), QT_TRANSLATE_NOOP("Tivola", "Blank"),
                         QT_TRANSLATE_NOOP("Tivola", "Keep Mixed")};
  for (int i = 0; i < 5; ++i) {
    auto* r = new QRadioButton(text(sexes[i]), sexBox);
    setControlId(r, 1050 + i);
    r->setChecked(f.sex == i);
    sexRow->addWidget(r);
  }
  grid->addWidget(sexBox, 3, 0, 1, 4);
  dateRow(4, QT_TRANSLATE_NOOP("Tivola", "Study Date:"), 1045, f.studyYear, f.studyMonth, f.studyDay);
  row(5, QT_TRANSLATE_NOOP("Tivola", "Study ID:"), addEdit(1048, f.studyId, false, kMaxTypedStudyId));
  platform::qt::guardRecordField(edit(1048));
  auto* description = new QPlainTextEdit(f.studyDescription, this);
  setControlId(description, 1049);
  platform::qt::guardRecordField(description);
  limitTyping(description, f.studyDescription);
  row(6, QT_TRANSLATE_NOOP("Tivola", "Study Description:"), description);
  grid->addLayout(
      okCancel(this, saveMode ? QT_TRANSLATE_NOOP("Tivola", "&Save") : QT_TRANSLATE_NOOP("Tivola", "OK"),
               QT_TRANSLATE_NOOP("Tivola", "Cancel")),
      7, 0, 1, 4);
}

void EditStudyDataDialog::limitTyping(QPlainTextEdit* description, const QString& brought) {
  connect(description, &QPlainTextEdit::textChanged, this, [description, accepted = brought]() mutable {
    const QString t = description->toPlainText();
    // Typing past the limit is refused; a longer text the image brought stays.
    if (t.size() > kMaxTypedDescription && t.size() > accepted.size()) {
      const QSignalBlocker quiet(description);
      description->setPlainText(accepted);
      description->moveCursor(QTextCursor::End);
      QApplication::beep();
      return;
    }
    accepted = t;
    if (dicondeLength(t) <= kMaxTypedBytes) return;
    QApplication::beep();
    const QString stripped = withoutDropped(t);
    if (stripped != t) description->setPlainText(stripped);
  });
}

void EditStudyDataDialog::limitTyping(QLineEdit* box) {
  connect(box, &QLineEdit::textEdited, this, [box](const QString& t) {
    if (dicondeLength(t) <= kMaxTypedBytes) return;
    QApplication::beep();
    const QString stripped = withoutDropped(t);
    if (stripped != t) box->setText(stripped);
  });
}

QLineEdit* EditStudyDataDialog::edit(int id) const { return platform::qt::control<QLineEdit>(this, id); }

StudyFields EditStudyDataDialog::fields() const {
  StudyFields f;
  f.componentName = edit(1040)->text();
  f.componentId = edit(1041)->text();
  f.manufacturingYear = edit(1042)->text();
  f.manufacturingMonth = edit(1043)->text();
  f.manufacturingDay = edit(1044)->text();
  for (int i = 0; i < 5; ++i)
    if (platform::qt::control<QRadioButton>(this, 1050 + i)->isChecked()) f.sex = i;
  f.studyYear = edit(1045)->text();
  f.studyMonth = edit(1046)->text();
  f.studyDay = edit(1047)->text();
  f.studyId = edit(1048)->text();
  f.studyDescription = platform::qt::control<QPlainTextEdit>(this, 1049)->toPlainText();
  return f;
}

int EditStudyDataDialog::firstInvalidField() const {
  const StudyFields f = fields();
  const int latest = currentYear_ >= 1999 && currentYear_ <= 2100 ? currentYear_ : 2100;
  auto textOk = [](const QString& t, const std::vector<bool>& own) {
    if (t.isEmpty()) return std::all_of(own.begin(), own.end(), [](bool b) { return b; });
    return t == QStringLiteral("*") || dicondeLength(t) <= 32;
  };
  if (!textOk(f.componentName, ownName_)) return 1040;
  if (!textOk(f.componentId, ownId_)) return 1041;
  auto dateOk = [latest](const QString& y, const QString& m, const QString& d, const std::vector<StudyDate>& own,
                         int firstId) {
    const std::size_t n = std::max<std::size_t>(own.size(), 1);
    for (std::size_t i = 0; i < n; ++i) {
      const StudyDate mine = i < own.size() ? own[i] : StudyDate();
      const int year = number(keepsOwn(y) ? mine.year : y);
      const int month = number(keepsOwn(m) ? mine.month : m);
      const int day = number(keepsOwn(d) ? mine.day : d);
      if (year < 1800 || year > latest) return firstId;
      if (month < 1 || month > 12) return firstId + 1;
      if (!validCalendarDate(year, month, day)) return firstId + 2;
    }
    return 0;
  };
  if (const int bad = dateOk(f.manufacturingYear, f.manufacturingMonth, f.manufacturingDay, ownManufacturing_, 1042))
    return bad;
  if (const int bad = dateOk(f.studyYear, f.studyMonth, f.studyDay, ownStudy_, 1045)) return bad;
  if (f.studyId != QStringLiteral("*") && dicondeLength(f.studyId) > 16) return 1048;
  if (f.studyDescription != QStringLiteral("*") && dicondeLength(f.studyDescription) > 128) return 1049;
  return 0;
}

void EditStudyDataDialog::accept() {
  const int bad = firstInvalidField();
  if (bad == 0) {
    QDialog::accept();
    return;
  }
  if (saveMode_) {
    ConfirmationDialog confirm(this);
    confirm.setText(Tivola::tr("Invalid Study Data"));
    confirm.setCloseCaption(Tivola::tr("Save &Anyway"));
    if (confirm.exec() == QDialog::Accepted) {
      QDialog::accept();
      return;
    }
  }
  // Outside the save mode invalid data are not taken: the field is shown.
  if (QWidget* w = platform::qt::control<QWidget>(this, bad)) w->setFocus();
}

}  // namespace viewer::app
