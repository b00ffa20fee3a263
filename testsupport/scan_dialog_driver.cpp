#include "testsupport/scan_dialog_driver.h"

#include <QApplication>
#include <QDialog>
#include <QComboBox>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTest>

#include "platform/qt/control.h"
#include "scanui/internal/control_ids.h"

namespace testsupport {

namespace ids = scanui::internal;
using platform::qt::control;

QWidget* ScanDialogDriver::findShown() {
  // The dialog itself: a host's main window holds it (and palettes reuse its
  // control ids), so a window that merely contains the buttons is not it.
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && qobject_cast<QDialog*>(w) != nullptr && control<QPushButton>(w, ids::kScan) != nullptr &&
        control<QPushButton>(w, ids::kExit) != nullptr)
      return w;
  return nullptr;
}

bool ScanDialogDriver::enter(const ScanSettings& s) {
  if (!choose(ids::kPitch, s.pitch) || !choose(ids::kBits, s.bits) || !choose(ids::kMode, s.mode)) return false;
  // The pixel count last: the dialog keeps the fields consistent from the last one typed.
  if (!type(ids::kLeft, s.leftMm) || !type(ids::kTop, s.topMm) || !type(ids::kHeightMm, s.heightMm) ||
      !type(ids::kWidthPx, s.widthPx))
    return false;
  if (number(ids::kWidthPx) != s.widthPx.toInt()) {
    fault_ = "the dialog did not keep the width of " + s.widthPx.toStdString() + " pixels";
    return false;
  }
  return true;
}

bool ScanDialogDriver::feed() {
  auto* button = control<QPushButton>(dialog_, ids::kScan);
  if (button != nullptr && button->text() != "&Feed") {
    fault_ = "the Scan button reads " + button->text().toStdString() + ", not Feed";
    return false;
  }
  return press(ids::kScan);
}

bool ScanDialogDriver::scan() { return press(ids::kScan); }

bool ScanDialogDriver::exit() { return press(ids::kExit); }

std::optional<int> ScanDialogDriver::widthPx() const { return number(ids::kWidthPx); }
std::optional<int> ScanDialogDriver::heightPx() const { return number(ids::kHeightPx); }

bool ScanDialogDriver::screenshot(const std::filesystem::path& png) const {
  return dialog_ != nullptr && dialog_->grab().save(QString::fromStdString(png.string()));
}

bool ScanDialogDriver::choose(int id, const QString& text) {
  auto* list = control<QComboBox>(dialog_, id);
  const int index = list != nullptr ? list->findText(text) : -1;
  if (index < 0 || !list->isEnabled()) {
    fault_ = "list " + std::to_string(id) + (list == nullptr ? " is missing" : " does not offer " + text.toStdString());
    return false;
  }
  list->setCurrentIndex(index);
  emit list->activated(index);  // as the operator's choice does
  return true;
}

bool ScanDialogDriver::type(int id, const QString& text) {
  auto* field = control<QLineEdit>(dialog_, id);
  if (field == nullptr || !field->isEnabled()) {
    fault_ = "field " + std::to_string(id) + (field == nullptr ? " is missing" : " is disabled");
    return false;
  }
  field->selectAll();
  QTest::keyClicks(field, text);
  return true;
}

bool ScanDialogDriver::press(int id) {
  auto* button = control<QPushButton>(dialog_, id);
  if (button == nullptr || !button->isEnabled()) {
    fault_ = "button " + std::to_string(id) + (button == nullptr ? " is missing" : " is disabled");
    return false;
  }
  button->click();
  return true;
}

std::optional<int> ScanDialogDriver::number(int id) const {
  auto* field = control<QLineEdit>(dialog_, id);
  bool ok = false;
  const int v = field != nullptr ? field->text().toInt(&ok) : 0;
  return ok ? std::optional<int>(v) : std::nullopt;
}

}  // namespace testsupport
