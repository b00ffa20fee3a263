// "Sorry, but...": the files that could not be opened.
#include "viewer/app/dialogs.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/qt/control.h"
#include "viewer/app/control_ids.h"
#include "viewer/app/dialog_parts.h"
#include "viewer/app/texts.h"
#include "viewer/strings.h"

namespace viewer::app {

using platform::qt::setControlId;
using dialog_parts::button;

namespace {

// "<name>          <reason>[detail]" with the reason in the user's language.
QString translatedFailureLine(const std::string& line) {
  QString out = QString::fromStdString(line);
  const QString gap(10, QLatin1Char(' '));
  const int at = int(out.lastIndexOf(gap));
  if (at < 0) return out;
  const QString rest = out.mid(at + 10);
  for (int id = formats::kUnknownReason; id <= formats::kCancelled; ++id) {
    const QString english = QString::fromLatin1(viewerString(id));
    if (rest.startsWith(english)) return out.left(at + 10) + text(viewerString(id)) + rest.mid(english.size());
  }
  return out;
}

}  // namespace

FailedFilesDialog::FailedFilesDialog(const std::vector<std::string>& lines, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("141"));
  setWindowTitle(Tivola::tr("Sorry, but..."));
  auto* layout = new QVBoxLayout(this);
  auto* label = new QLabel(Tivola::tr("The following files cannot be opened."), this);
  setControlId(label, ids::kFailedText);
  layout->addWidget(label);
  auto* list = new QListWidget(this);
  setControlId(list, ids::kFailedList);
  for (const std::string& line : lines) list->addItem(translatedFailureLine(line));
  layout->addWidget(list);
  auto* row = new QHBoxLayout;
  row->addStretch();
  QPushButton* close = button(this, QT_TRANSLATE_NOOP("Tivola", "Close"), ids::kCancel);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  row->addWidget(close);
  layout->addLayout(row);
  resize(520, 300);
}

}  // namespace viewer::app
