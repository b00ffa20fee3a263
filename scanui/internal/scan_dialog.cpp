#include "scanui/internal/scan_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <functional>

#include "platform/qt/control.h"
#include "platform/qt/numbers.h"
#include "platform/text.h"
#include "scanui/internal/strings.h"

namespace scanui::internal {
namespace {

using platform::qt::control;
using platform::qt::setControlId;

constexpr int kAutoScan = 1000;
constexpr int kFilms = 1002;
constexpr int kStudyButton = 1016;
constexpr int kScan = 1022;
constexpr int kExit = 1054;

// Escape and the close button run Exit, after the event that asked for it has
// been handled, so that Exit may destroy the window.
class ScanWindow : public QDialog {
 public:
  ScanWindow(QWidget* parent, std::function<void()> exit) : QDialog(parent), exit_(std::move(exit)) {}
  void requestExit() {
    QMetaObject::invokeMethod(this, [this] { exit_(); }, Qt::QueuedConnection);
  }
  void reject() override { requestExit(); }

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    requestExit();
  }

 private:
  std::function<void()> exit_;
};

QPushButton* button(const QString& text, int id, QWidget* parent) {
  auto* b = new QPushButton(text, parent);
  setControlId(b, id);
  b->setAutoDefault(false);  // Enter in an edit box presses nothing
  return b;
}

bool markerWindowExists() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->windowTitle() == QLatin1String("Oskelu Suppress190mmWarning")) return true;
  return false;
}

}  // namespace

QString scanCaption(const char* suffix) {
  QString caption = scanDialogCaption();
  if (suffix != nullptr)
    caption += " (" + QString::fromStdString(platform::text::cp932ToUtf8(suffix)) + ")";
  return caption;
}

CScanDlg::CScanDlg() { moire_.open("Fennick.dll", this); }

CScanDlg::~CScanDlg() {
  // A window left by a host that never hid it goes only while its application lives.
  if (window_ && QCoreApplication::instance() != nullptr) delete window_.data();
}

void CScanDlg::enableStudy(StudyData* study, int enable, int expanded) {
  study_ = study;
  studyEnable_ = enable;
  studyExpanded_ = expanded;
}

QWidget* CScanDlg::create(QWidget* host, const QString& caption, bool visible) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return nullptr;
  destroy();
  auto* w = new ScanWindow(host, [this] { exit(); });
  w->setObjectName("129");
  w->setWindowFlag(Qt::Window);
  w->setModal(false);
  w->setWindowTitle(caption);

  auto* grid = new QGridLayout(w);
  auto* autoScan = new QCheckBox(QCoreApplication::translate("Oskelu", "Auto scan"), w);
  setControlId(autoScan, kAutoScan);
  auto* films = new QLineEdit(w);
  setControlId(films, kFilms);
  films->setText("0");
  films->setEnabled(false);
  QObject::connect(autoScan, &QCheckBox::toggled, films, &QWidget::setEnabled);
  auto* filmsRow = new QHBoxLayout;
  filmsRow->addWidget(autoScan);
  filmsRow->addWidget(films);
  filmsRow->addWidget(new QLabel(QCoreApplication::translate("Oskelu", "films"), w));
  grid->addLayout(filmsRow, 0, 0, 1, 2);

  auto* scan = button(QCoreApplication::translate("Oskelu", "&Scan"), kScan, w);
  scan->setEnabled(false);  // scanning comes with the scan execution
  auto* exitButton = button(QCoreApplication::translate("Oskelu", "E&xit"), kExit, w);
  auto* study = button(QCoreApplication::translate("Oskelu", "Study Data &>>"), kStudyButton, w);
  study->setVisible(studyEnable_ != 0);
  grid->addWidget(scan, 1, 0);
  grid->addWidget(exitButton, 1, 1);
  grid->addWidget(study, 2, 1);
  QObject::connect(exitButton, &QPushButton::clicked, w, &ScanWindow::requestExit);

  suppress190_ = suppress190_ || markerWindowExists();
  ceased_ = 0;
  window_ = w;
  if (visible) w->show();
  return w;
}

int CScanDlg::destroy() {
  if (!window_) return 0;
  delete window_.data();  // also drops an Exit still queued for it
  return 1;
}

QWidget* CScanDlg::window() const { return window_.data(); }

int CScanDlg::cease() {
  ceased_ = 1;
  return 0;  // no scan progress dialog is open to take the Cancel
}

int CScanDlg::autofeederCount() const {
  auto* autoScan = control<QCheckBox>(window_, kAutoScan);
  auto* films = control<QLineEdit>(window_, kFilms);
  if (autoScan == nullptr || films == nullptr || !autoScan->isChecked()) return 0;
  const std::int64_t n = platform::qt::parseInt(films->text()).value_or(0);
  return n < INT32_MIN || n > INT32_MAX ? 0 : int(n);
}

int CScanDlg::resetAutofeeder() {
  auto* autoScan = control<QCheckBox>(window_, kAutoScan);
  auto* films = control<QLineEdit>(window_, kFilms);
  if (autoScan != nullptr && films != nullptr && autoScan->isChecked()) {
    films->setText("0");
    autoScan->setChecked(false);
    films->setEnabled(false);
  }
  return 1;
}

void CScanDlg::exit() { CloseRequest(); }

}  // namespace scanui::internal
