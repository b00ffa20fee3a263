// "Opening", shown while an open reads its files.
#include "viewer/app/dialogs.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "platform/qt/control.h"
#include "viewer/app/control_ids.h"
#include "viewer/app/dialog_parts.h"
#include "viewer/app/texts.h"

namespace viewer::app {

using platform::qt::setControlId;
using dialog_parts::button;

OpeningDialog::OpeningDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("175"));
  setWindowTitle(Tivola::tr("Opening"));
  auto* layout = new QVBoxLayout(this);
  bar_ = new QProgressBar(this);
  setControlId(bar_, ids::kOpeningBar);
  bar_->setRange(0, 100);
  text_ = new QLabel(this);
  setControlId(text_, ids::kOpeningText);
  layout->addWidget(bar_);
  layout->addWidget(text_);
  auto* row = new QHBoxLayout;
  row->addStretch();
  QPushButton* cancel = button(this, QT_TRANSLATE_NOOP("Tivola", "Cancel"), ids::kCancel);
  connect(cancel, &QPushButton::clicked, this, [this] { cancelled_ = true; });
  row->addWidget(cancel);
  layout->addLayout(row);
}

void OpeningDialog::refresh(int filesDone, int files, std::uint64_t bytesDone, std::uint64_t totalBytes) {
  const double percent = totalBytes == 0 ? 0.0 : double(bytesDone) * 100.0 / double(totalBytes);
  bar_->setValue(int(std::lround(percent)));
  text_->setText(Tivola::tr("%1 / %2 (%3 Bytes)").arg(filesDone).arg(files).arg(totalBytes));
  repaint();
}

// Escape and the close button are the Cancel button.
void OpeningDialog::reject() { cancelled_ = true; }

}  // namespace viewer::app
