#include "scanui/internal/scan_message.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/qt/control.h"
#include "scanui/internal/strings.h"

namespace scanui::internal {
namespace {

enum class BoxIcon { None, Warning, Question };
struct Template {
  int id;
  const char* caption;
  const char* text;
  const char* ok;      // null: no OK button
  const char* cancel;  // null: no Cancel button
  BoxIcon icon;
};

const Template kTemplates[] = {
    {kMsgNotConnected, QT_TRANSLATE_NOOP("Oskelu", "Scan"),
     QT_TRANSLATE_NOOP("Oskelu", "Digitizer is not connected."), QT_TRANSLATE_NOOP("Oskelu", "OK"), nullptr,
     BoxIcon::Warning},
    {kMsgOdRange, QT_TRANSLATE_NOOP("Oskelu", "Scan"),
     QT_TRANSLATE_NOOP("Oskelu", "Scanning OD range does not include the detected OD range."),
     QT_TRANSLATE_NOOP("Oskelu", "&Scan"), QT_TRANSLATE_NOOP("Oskelu", "&Cancel"), BoxIcon::Warning},
    {kMsgOverwriteScout, QT_TRANSLATE_NOOP("Oskelu", "Scout Scan"),
     QT_TRANSLATE_NOOP("Oskelu", "Do you wish to overwrite the previous Scout Scan?"),
     QT_TRANSLATE_NOOP("Oskelu", "&Scout Scan"), QT_TRANSLATE_NOOP("Oskelu", "&Cancel"), BoxIcon::Question},
    {kMsgSetFilm, QT_TRANSLATE_NOOP("Oskelu", "Scan"), QT_TRANSLATE_NOOP("Oskelu", "Set the film to start scan."),
     nullptr, QT_TRANSLATE_NOOP("Oskelu", "&Cancel"), BoxIcon::Warning},
    {kMsgNoMemory, QT_TRANSLATE_NOOP("Oskelu", "Scan"),
     QT_TRANSLATE_NOOP("Oskelu", "There is not enough memory in the dizitizer."), QT_TRANSLATE_NOOP("Oskelu", "OK"),
     nullptr, BoxIcon::Warning},
    {kMsgApplyChanges, QT_TRANSLATE_NOOP("Oskelu", "Auto Acquisition Set Up"),
     QT_TRANSLATE_NOOP("Oskelu", "Apply Changes?"), QT_TRANSLATE_NOOP("Oskelu", "OK"),
     QT_TRANSLATE_NOOP("Oskelu", "Cancel"), BoxIcon::None},
    {kMsgFilmSize19cm, QT_TRANSLATE_NOOP("Oskelu", "Confirmation"),
     QT_TRANSLATE_NOOP("Oskelu", "Check that the film size is 19cm or more."), QT_TRANSLATE_NOOP("Oskelu", "OK"),
     QT_TRANSLATE_NOOP("Oskelu", "Cancel"), BoxIcon::Warning},
};

QPushButton* boxButton(const char* text, int id, QWidget* parent) {
  auto* b = new QPushButton(Oskelu::tr(text), parent);
  platform::qt::setControlId(b, id);
  b->setAutoDefault(false);
  return b;
}

}  // namespace

CScanMessageDlg::CScanMessageDlg(int templateId, QWidget* parent, std::function<int()> poll,
                                 std::function<void()> moveFilm)
    : QDialog(parent), poll_(std::move(poll)) {
  const Template* t = &kTemplates[0];
  for (const Template& c : kTemplates)
    if (c.id == templateId) t = &c;
  setObjectName(QString::number(t->id));
  setWindowTitle(Oskelu::tr(t->caption));
  setModal(true);

  auto* top = new QHBoxLayout;
  auto* icon = new QLabel(this);
  platform::qt::setControlId(icon, kIdIcon);
  if (t->icon != BoxIcon::None) {
    const auto pixmap = t->icon == BoxIcon::Warning ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxQuestion;
    icon->setPixmap(style()->standardIcon(pixmap).pixmap(32, 32));
  }
  top->addWidget(icon, 0, Qt::AlignTop);
  auto* text = new QLabel(Oskelu::tr(t->text), this);
  top->addWidget(text, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  if (t->id == kMsgSetFilm) {
    auto* move = boxButton(QT_TRANSLATE_NOOP("Oskelu", "&Move the film forward"), kIdMoveFilm, this);
    connect(move, &QPushButton::clicked, this, [moveFilm] { if (moveFilm) moveFilm(); });
    buttons->addWidget(move);
  }
  if (t->ok != nullptr) {
    auto* ok = boxButton(t->ok, kIdOk, this);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(ok);
  }
  if (t->cancel != nullptr) {
    auto* cancel = boxButton(t->cancel, kIdCancel, this);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(cancel);
  }

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  if (t->id == kMsgFilmSize19cm) {
    auto* check = new QCheckBox(Oskelu::tr("Don't show this warning until exiting the program"), this);
    platform::qt::setControlId(check, kIdDontShow);
    layout->addWidget(check);
  }
  layout->addLayout(buttons);

  if (poll_) {
    timer_ = new QTimer(this);
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, &CScanMessageDlg::pollOnce);
  }
}

void CScanMessageDlg::pollOnce() {
  // Whatever the poll answers, a non-zero answer means the awaited state came.
  if (poll_ && poll_() != 0) accept();
}

bool CScanMessageDlg::run() {
  if (timer_ != nullptr) timer_->start();
  const int result = exec();
  if (timer_ != nullptr) timer_->stop();
  return result == QDialog::Accepted;
}

bool CScanMessageDlg::dontShowAgain() const {
  const auto* check = platform::qt::control<QCheckBox>(this, kIdDontShow);
  return check != nullptr && check->isChecked();
}

}  // namespace scanui::internal
