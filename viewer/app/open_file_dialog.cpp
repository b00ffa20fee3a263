// The open dialog with "Open as a Series".
#include "viewer/app/dialogs.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLineEdit>

#include "platform/qt/control.h"
#include "viewer/app/control_ids.h"
#include "viewer/app/texts.h"

namespace viewer::app {

using platform::qt::setControlId;

CMyFileDialogOpen::CMyFileDialogOpen(bool openSeries, const QString& filter, QWidget* parent)
    : QFileDialog(parent), series_(openSeries) {
  setOption(QFileDialog::DontUseNativeDialog, true);
  setFileMode(QFileDialog::ExistingFiles);
  setAcceptMode(QFileDialog::AcceptOpen);
  setOption(QFileDialog::ReadOnly, false);
  setNameFilters(filter.split(QStringLiteral(";;")));
  box_ = new QCheckBox(Tivola::tr("Open as a &Series"), this);
  setControlId(box_, ids::kOpenSeries);
  box_->setChecked(openSeries);
  if (auto* grid = qobject_cast<QGridLayout*>(layout())) grid->addWidget(box_, grid->rowCount(), 0, 1, -1);
  connect(box_, &QCheckBox::clicked, this, [this](bool checked) { series_ = checked; });
  if (auto* names = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
    connect(names, &QLineEdit::textChanged, this, [this](const QString& t) { nameBoxChanged(t); });
}

void CMyFileDialogOpen::nameBoxChanged(const QString& names) {
  // Several names stand in quotes: the series belongs to one name only.
  if (names.count(QLatin1Char('"')) >= 3) {
    if (box_->isEnabled()) {
      putAside_ = series_;
      box_->setChecked(false);
      series_ = false;
      box_->setEnabled(false);
    }
  } else if (!box_->isEnabled()) {
    box_->setEnabled(true);
    box_->setChecked(putAside_);
    series_ = putAside_;
  }
}

}  // namespace viewer::app
