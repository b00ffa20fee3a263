// The small steps every dialog of the viewer builds with.
#include "viewer/app/dialog_parts.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

#include "platform/qt/control.h"
#include "viewer/app/control_ids.h"
#include "viewer/app/dialogs.h"
#include "viewer/app/texts.h"

namespace viewer::app {

using platform::qt::setControlId;

namespace dialog_parts {

// Enter in an edit box never presses a button.
QPushButton* button(QWidget* parent, const char* caption, int id) {
  auto* b = new QPushButton(text(caption), parent);
  setControlId(b, id);
  b->setAutoDefault(false);
  return b;
}

// OK and Cancel in a row, wired to accept and reject.
QHBoxLayout* okCancel(QDialog* d, const char* ok, const char* cancel) {
  auto* row = new QHBoxLayout;
  row->addStretch();
  QPushButton* okButton = button(d, ok, ids::kOk);
  QPushButton* cancelButton = button(d, cancel, ids::kCancel);
  QObject::connect(okButton, &QPushButton::clicked, d, &QDialog::accept);
  QObject::connect(cancelButton, &QPushButton::clicked, d, &QDialog::reject);
  row->addWidget(okButton);
  row->addWidget(cancelButton);
  return row;
}

}  // namespace dialog_parts

QString groupedNumber(std::int64_t value) {
  const bool negative = value < 0;
  // The magnitude as unsigned, so the smallest 64-bit value has one too.
  const std::uint64_t magnitude = negative ? std::uint64_t(0) - std::uint64_t(value) : std::uint64_t(value);
  QString digits = QString::number(magnitude);
  const int n = int(digits.size());
  if (n > 6) digits.insert(n - 6, QLatin1Char(','));
  if (n > 3) digits.insert(digits.size() - 3, QLatin1Char(','));
  return negative ? QStringLiteral("-") + digits : digits;
}

}  // namespace viewer::app
