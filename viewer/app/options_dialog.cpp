// Options and its Set Working Directory.
#include "viewer/app/dialogs.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/qt/control.h"
#include "platform/qt/prompt.h"
#include "viewer/app/control_ids.h"
#include "viewer/app/dialog_parts.h"
#include "viewer/app/texts.h"

namespace viewer::app {

using platform::qt::Answer;
using platform::qt::Buttons;
using platform::qt::Icon;
using platform::qt::prompt;
using platform::qt::setControlId;
using dialog_parts::button;
using dialog_parts::okCancel;

OptionsDialog::OptionsDialog(int showDicom, int useMih, int usePrivateTemp, const std::string& privateTempPath,
                             QWidget* parent)
    : QDialog(parent), usePrivateTemp(usePrivateTemp), privateTempPath(privateTempPath) {
  setObjectName(QStringLiteral("140"));
  setWindowTitle(Tivola::tr("Options"));
  auto* layout = new QVBoxLayout(this);
  showDicom_ = new QCheckBox(Tivola::tr("&Show Study Data input screen when starting Scan window"), this);
  setControlId(showDicom_, ids::kShowDicom);
  showDicom_->setChecked(showDicom != 0);
  useMih_ = new QCheckBox(Tivola::tr("Attach &Meta-Information Header when Saving as DICONDE Files"), this);
  setControlId(useMih_, ids::kUseMih);
  useMih_->setChecked(useMih != 0);
  layout->addWidget(showDicom_);
  layout->addWidget(useMih_);
  // The default type is fixed; its buttons stay hidden.
  auto* typeLabel = new QLabel(Tivola::tr("Default File &Type:"), this);
  auto* dicom = new QRadioButton(Tivola::tr("DICOM"), this);
  auto* tiff = new QRadioButton(Tivola::tr("TIFF"), this);
  setControlId(dicom, ids::kTypeDicom);
  setControlId(tiff, ids::kTypeTiff);
  for (QWidget* w : {static_cast<QWidget*>(typeLabel), static_cast<QWidget*>(dicom), static_cast<QWidget*>(tiff)}) {
    layout->addWidget(w);
    w->hide();
  }
  QPushButton* details = button(this, QT_TRANSLATE_NOOP("Tivola", "&Details..."), ids::kDetails);
  connect(details, &QPushButton::clicked, this, [this] {
    WorkDirDialog d(this->usePrivateTemp, this->privateTempPath, this);
    if (d.exec() == QDialog::Accepted) {
      this->usePrivateTemp = d.usePrivateTemp();
      this->privateTempPath = d.privateTempPath();
      workDirChanged = true;
    }
  });
  auto* row = okCancel(this);
  row->insertWidget(0, details);
  layout->addLayout(row);
}

int OptionsDialog::showDicom() const { return showDicom_->isChecked() ? 1 : 0; }
int OptionsDialog::useMih() const { return useMih_->isChecked() ? 1 : 0; }

WorkDirDialog::WorkDirDialog(int usePrivateTemp, const std::string& privateTempPath, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("144"));
  setWindowTitle(Tivola::tr("Set Working Directory..."));
  auto* layout = new QVBoxLayout(this);
  standard_ = new QCheckBox(Tivola::tr("&Use Standard Working Directory (Recommended)"), this);
  setControlId(standard_, ids::kStandardWorkDir);
  standard_->setChecked(usePrivateTemp == 0);
  layout->addWidget(standard_);
  layout->addWidget(new QLabel(Tivola::tr("Working Directory"), this));
  edit_ = new QLineEdit(QString::fromStdString(privateTempPath), this);
  setControlId(edit_, ids::kWorkDirEdit);
  layout->addWidget(edit_);
  layout->addLayout(okCancel(this));
  connect(standard_, &QCheckBox::clicked, this, [this] { updateEdit(); });
  updateEdit();
}

void WorkDirDialog::updateEdit() { edit_->setEnabled(!standard_->isChecked()); }

int WorkDirDialog::usePrivateTemp() const { return standard_->isChecked() ? 0 : 1; }
std::string WorkDirDialog::privateTempPath() const { return edit_->text().toStdString(); }

void WorkDirDialog::accept() {
  const QString caption = Tivola::tr("Change working directory");
  if (!standard_->isChecked() && !QFileInfo(edit_->text()).isDir()) {
    if (prompt().message(this, Tivola::tr("Folder not found. Are you sure?"), caption, Icon::Warning, Buttons::YesNo) !=
        Answer::Yes) {
      edit_->setFocus();
      return;
    }
  }
  prompt().message(this, Tivola::tr("Your changes will be reflected from next startup."), caption, Icon::Warning,
                   Buttons::Ok);
  QDialog::accept();
}

}  // namespace viewer::app
