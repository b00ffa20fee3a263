#include "scanui/internal/moire_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "platform/qt/control.h"
#include "platform/qt/numbers.h"
#include "platform/qt/prompt.h"
#include "scanui/internal/strings.h"

namespace scanui::internal {
namespace {

using platform::qt::control;
using platform::qt::setControlId;

constexpr int kPitch = 1057, kVertical = 1051, kWidthV = 1053, kHorizontal = 1052, kWidthH = 1054;
constexpr int kFilterType = 1055, kInterpolation = 1056;

QComboBox* editableList(QWidget* parent, int id, std::initializer_list<const char*> entries) {
  auto* c = new QComboBox(parent);
  setControlId(c, id);
  c->setEditable(true);
  c->setInsertPolicy(QComboBox::NoInsert);
  for (const char* e : entries) c->addItem(e);
  return c;
}

int number(const QComboBox* c) {
  const auto v = platform::qt::parseInt(c->currentText());
  return v && *v >= INT32_MIN && *v <= INT32_MAX ? int(*v) : 0;
}

}  // namespace

MoireCheck checkMoire(const AntiMoire& v) {
  if (v.scanPitch < 50 || v.scanPitch > 2000) return MoireCheck::BadPitch;
  if (v.horizontalGrid != 0 && std::int64_t(v.filterAmplitudeH) < 2LL * v.scanPitch) return MoireCheck::FilterWidth;
  if (v.horizontalGrid == 0 && v.verticalGrid == 0) return MoireCheck::NoDirection;
  if (v.verticalGrid != 0 && std::int64_t(v.filterAmplitudeV) < 2LL * v.scanPitch) return MoireCheck::FilterWidth;
  return MoireCheck::Ok;
}

QString moireFilterWidthText() { return QString::fromUtf8("フィルタの幅に適切な値を入力してください"); }
QString moireNoDirectionText() {
  return QString::fromUtf8("縦方向または横方向の少なくともどちらかを選択してください");
}

CMoireSettingsDlg::CMoireSettingsDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("151");
  setWindowTitle(Oskelu::tr("Moire Reduction Settings"));
  setModal(true);
  auto* grid = new QGridLayout(this);
  auto* pitch = editableList(this, kPitch, {"50", "75", "100", "125", "150", "200"});
  grid->addWidget(new QLabel(Oskelu::tr("Scan &Pitch:"), this), 0, 0);
  grid->addWidget(pitch, 0, 1);
  grid->addWidget(new QLabel(QString::fromUtf8("µm"), this), 0, 2);
  const auto widths = {"400", "600", "800", "1000"};
  auto* vertical = new QCheckBox(Oskelu::tr("&Vertical"), this);
  setControlId(vertical, kVertical);
  grid->addWidget(vertical, 1, 0);
  grid->addWidget(new QLabel(Oskelu::tr("Filter &Width:"), this), 2, 0);
  grid->addWidget(editableList(this, kWidthV, widths), 2, 1);
  auto* horizontal = new QCheckBox(Oskelu::tr("&Horizontal"), this);
  setControlId(horizontal, kHorizontal);
  grid->addWidget(horizontal, 3, 0);
  grid->addWidget(new QLabel(Oskelu::tr("Filter Wi&dth:"), this), 4, 0);
  grid->addWidget(editableList(this, kWidthH, widths), 4, 1);
  auto* type = new QComboBox(this);
  setControlId(type, kFilterType);
  type->addItems({"gauss", "lanczos"});
  grid->addWidget(new QLabel(Oskelu::tr("&Filter Type:"), this), 5, 0);
  grid->addWidget(type, 5, 1);
  auto* interpolation = new QComboBox(this);
  setControlId(interpolation, kInterpolation);
  interpolation->addItems({"linear", "cubic"});
  grid->addWidget(new QLabel(Oskelu::tr("&Interpolation:"), this), 6, 0);
  grid->addWidget(interpolation, 6, 1);
  auto* ok = new QPushButton(Oskelu::tr("OK"), this);
  setControlId(ok, 1);
  ok->setAutoDefault(false);
  auto* cancel = new QPushButton(Oskelu::tr("Cancel"), this);
  setControlId(cancel, 2);
  cancel->setAutoDefault(false);
  connect(ok, &QPushButton::clicked, this, &CMoireSettingsDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  grid->addWidget(ok, 7, 1);
  grid->addWidget(cancel, 7, 2);
  // A fresh dialog, before the scan dialog loads its values.
  load({50, 0, 0, 1000, 1000, -1, -1});
}

void CMoireSettingsDlg::load(const AntiMoire& v) {
  control<QComboBox>(this, kPitch)->setEditText(platform::qt::formatInt(v.scanPitch));
  control<QComboBox>(this, kWidthV)->setEditText(platform::qt::formatInt(v.filterAmplitudeV));
  control<QComboBox>(this, kWidthH)->setEditText(platform::qt::formatInt(v.filterAmplitudeH));
  control<QCheckBox>(this, kVertical)->setChecked(v.verticalGrid != 0);
  control<QCheckBox>(this, kHorizontal)->setChecked(v.horizontalGrid != 0);
  // An index the list does not have leaves it without a selection.
  auto pick = [](QComboBox* c, int i) { c->setCurrentIndex(i >= 0 && i < c->count() ? i : -1); };
  pick(control<QComboBox>(this, kFilterType), v.filterType);
  pick(control<QComboBox>(this, kInterpolation), v.interpolationType);
}

AntiMoire CMoireSettingsDlg::values() const {
  AntiMoire v;
  v.scanPitch = number(control<QComboBox>(this, kPitch));
  v.filterAmplitudeV = number(control<QComboBox>(this, kWidthV));
  v.filterAmplitudeH = number(control<QComboBox>(this, kWidthH));
  v.verticalGrid = control<QCheckBox>(this, kVertical)->isChecked() ? 1 : 0;
  v.horizontalGrid = control<QCheckBox>(this, kHorizontal)->isChecked() ? 1 : 0;
  v.filterType = control<QComboBox>(this, kFilterType)->currentIndex();
  v.interpolationType = control<QComboBox>(this, kInterpolation)->currentIndex();
  return v;
}

void CMoireSettingsDlg::accept() {
  QString text;
  switch (checkMoire(values())) {
    case MoireCheck::Ok: QDialog::accept(); return;
    case MoireCheck::BadPitch: text = badPitchText(); break;
    case MoireCheck::FilterWidth: text = moireFilterWidthText(); break;
    case MoireCheck::NoDirection: text = moireNoDirectionText(); break;
  }
  platform::qt::prompt().message(this, text, Oskelu::tr("Scan"), platform::qt::Icon::Warning,
                                 platform::qt::Buttons::Ok);
}

}  // namespace scanui::internal
