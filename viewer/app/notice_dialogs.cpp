// "Convert to 8-bit and save" and "Confirmation": one line of text, two buttons.
#include "viewer/app/dialogs.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "platform/qt/control.h"
#include "viewer/app/control_ids.h"
#include "viewer/app/dialog_parts.h"
#include "viewer/app/texts.h"

namespace viewer::app {

using platform::qt::setControlId;
using dialog_parts::button;

namespace {

// A dialog of one line of text and two buttons; the first accepts.
QPushButton* noticeDialog(QDialog* d, const char* title, QLabel*& label, const char* textEnglish, const char* first,
                          bool warning) {
  d->setWindowTitle(text(title));
  auto* layout = new QVBoxLayout(d);
  auto* row = new QHBoxLayout;
  auto* icon = new QLabel(d);
  icon->setPixmap(d->style()->standardIcon(warning ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxQuestion)
                      .pixmap(32, 32));
  row->addWidget(icon);
  label = new QLabel(text(textEnglish), d);
  setControlId(label, ids::kNoticeText);
  row->addWidget(label, 1);
  layout->addLayout(row);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  QPushButton* ok = button(d, first, ids::kOk);
  QPushButton* cancel = button(d, QT_TRANSLATE_NOOP("Tivola", "&Cancel"), ids::kCancel);
  QObject::connect(ok, &QPushButton::clicked, d, &QDialog::accept);
  QObject::connect(cancel, &QPushButton::clicked, d, &QDialog::reject);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  return ok;
}

}  // namespace

ConvertTo8BitDialog::ConvertTo8BitDialog(QWidget* parent) : QDialog(parent) {
  QLabel* label = nullptr;
  noticeDialog(this, QT_TRANSLATE_NOOP("Tivola", "Convert to 8-bit and save"), label,
               QT_TRANSLATE_NOOP("Tivola", "10-bit, 12 bit images will be converted to 8-bit. We may lose accuracy."),
               QT_TRANSLATE_NOOP("Tivola", "C&ontinue"), true);
}

ConfirmationDialog::ConfirmationDialog(QWidget* parent) : QDialog(parent) {
  close_ = noticeDialog(this, QT_TRANSLATE_NOOP("Tivola", "Confirmation"), text_,
                        QT_TRANSLATE_NOOP("Tivola", "These images are not saved"),
                        QT_TRANSLATE_NOOP("Tivola", "Close &Anyway"), false);
}
void ConfirmationDialog::setText(const QString& t) { text_->setText(t); }
void ConfirmationDialog::setCloseCaption(const QString& caption) { close_->setText(caption); }

}  // namespace viewer::app
