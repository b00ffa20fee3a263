#include "scanui/internal/scan_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>

#include "platform/qt/control.h"
#include "platform/qt/numbers.h"
#include "platform/qt/prompt.h"
#include "platform/qt/record_field.h"
#include "platform/text.h"
#include "scanui/internal/control_ids.h"
#include "scanui/internal/connection.h"
#include "scanui/internal/mini_screen.h"
#include "scanui/internal/moire_dialog.h"
#include "scanui/internal/scan_message.h"
#include "scanui/internal/strings.h"

namespace scanui::internal {
namespace {

using platform::qt::control;
using platform::qt::setControlId;

constexpr int kCustomEntry = 0;
constexpr int kAutosenseEntry = 1;
constexpr int kFilmCheckTicks = 11;  // 1.1 s of 100 ms ticks
constexpr int kShortestScoutFreeFilmMm = 190;

const int kRegionFields[] = {kLeft, kTop, kWidthMm, kHeightMm, kWidthPx, kHeightPx};
const int kStudyEdits[] = {kComponentName, kComponentId, kMfgYear,  kMfgMonth, kMfgDay,
                           kStudyYear,     kStudyMonth,  kStudyDay, kStudyId,  kStudyDescription};

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

// The region list's first entry reads "Clear" while the list is open.
class RegionList : public QComboBox {
 public:
  RegionList(QWidget* parent, bool& open) : QComboBox(parent), open_(open) {}
  void showPopup() override {
    open_ = true;
    setItemText(kCustomEntry, Oskelu::tr("Clear"));
    QComboBox::showPopup();
  }
  void hidePopup() override {
    QComboBox::hidePopup();
    setItemText(kCustomEntry, Oskelu::tr("Custom"));
    open_ = false;
  }

 private:
  bool& open_;
};

QPushButton* button(const QString& text, int id, QWidget* parent) {
  auto* b = new QPushButton(text, parent);
  setControlId(b, id);
  b->setAutoDefault(false);  // Enter in an edit box presses nothing
  return b;
}

template <typename T>
T* withId(T* w, int id) {
  setControlId(w, id);
  return w;
}

// Number fields: no input method.
QLineEdit* edit(QWidget* parent, int id) {
  auto* e = withId(new QLineEdit(parent), id);
  e->setAttribute(Qt::WA_InputMethodEnabled, false);
  return e;
}

QLabel* label(const char* text, QWidget* parent) { return new QLabel(Oskelu::tr(text), parent); }

// A labelled row of a grid.
template <typename T>
T* addRow(QGridLayout* grid, int row, const char* text, T* field) {
  grid->addWidget(label(text, field->parentWidget()), row, 0);
  grid->addWidget(field, row, 1);
  return field;
}

// An empty or non-numeric field counts 0.
std::int64_t fieldValue(const QString& text) { return platform::qt::parseInt(text).value_or(0); }

std::string utf8(const QString& s) { return s.toStdString(); }

}  // namespace

QString scanCaption(const char* suffix) {
  QString caption = scanDialogCaption();
  if (suffix != nullptr)
    caption += " (" + QString::fromStdString(platform::text::cp932ToUtf8(suffix)) + ")";
  return caption;
}

CScanDlg::CScanDlg(LibraryLink& link) : link_(link) {
  moire_.open("Fennick.dll", this);
  record_.bits = 12;
  record_.bytesPerPixel = 2;
  record_.pitch = 200;
  record_.odRange = 40;
}

CScanDlg::~CScanDlg() {
  // A window left by a host that never hid it goes only while its application lives.
  if (window_ && QCoreApplication::instance() != nullptr) delete window_.data();
}

void CScanDlg::enableStudy(StudyData* study, int enable, int expanded) {
  study_ = study;
  studyEnable_ = enable;
  studyExpanded_ = expanded;
}

namespace {

// The settings' lists, the auto scan and the hidden height selector.
QGridLayout* buildSettings(QDialog* w) {
  auto* settingsGrid = new QGridLayout;
  addRow(settingsGrid, 0, QT_TRANSLATE_NOOP("Oskelu", "Bits per Pixel:"), withId(new QComboBox(w), kBits));
  addRow(settingsGrid, 1, QT_TRANSLATE_NOOP("Oskelu", "O.D. Range:"), withId(new QComboBox(w), kOd));
  auto* pitch =
      addRow(settingsGrid, 2, QT_TRANSLATE_NOOP("Oskelu", "Pixel Spacing:"), withId(new QComboBox(w), kPitch));
  pitch->setEditable(true);
  pitch->setInsertPolicy(QComboBox::NoInsert);
  pitch->setAttribute(Qt::WA_InputMethodEnabled, false);
  addRow(settingsGrid, 3, QT_TRANSLATE_NOOP("Oskelu", "Scan Mode:"), withId(new QComboBox(w), kMode));
  settingsGrid->addWidget(button(Oskelu::tr("Setting..."), kSetting, w), 3, 2);
  auto* films = edit(w, kFilms);
  settingsGrid->addWidget(withId(new QCheckBox(Oskelu::tr("Auto scan"), w), kAutoScan), 4, 0);
  settingsGrid->addWidget(films, 4, 1);
  settingsGrid->addWidget(label(QT_TRANSLATE_NOOP("Oskelu", "films"), w), 4, 2);
  auto* heightLabel = withId(new QLabel(w), kHeightLabel);
  auto* heightSelector = withId(new QComboBox(w), kHeightSelector);
  heightLabel->hide();
  heightSelector->hide();
  return settingsGrid;
}

// The counters below the preview.
QGridLayout* buildCounters(QDialog* w) {
  auto* counters = new QGridLayout;
  addRow(counters, 0, QT_TRANSLATE_NOOP("Oskelu", "Volume of Image Data:"), withId(new QLabel(w), kVolume));
  addRow(counters, 1, QT_TRANSLATE_NOOP("Oskelu", "Maximum Scannable Data per Scan:"), withId(new QLabel(w), kMaxData));
  addRow(counters, 2, QT_TRANSLATE_NOOP("Oskelu", "Total Number of Scans:"), withId(new QLabel(w), kScansDelivered));
  counters->addWidget(withId(new QLabel(w), kMegabytes), 2, 2);
  return counters;
}

// The device selectors, hidden with the short dialog.
QWidget* buildDevices(QDialog* w) {
  auto* devices = new QWidget(w);
  devices->setObjectName("1011");
  auto* devicesGrid = new QGridLayout(devices);
  devicesGrid->setContentsMargins(0, 0, 0, 0);
  addRow(devicesGrid, 0, QT_TRANSLATE_NOOP("Oskelu", "SCSI Adapter:"), withId(new QComboBox(devices), kAdapter));
  addRow(devicesGrid, 1, QT_TRANSLATE_NOOP("Oskelu", "Digitizer SCSI-ID:"), withId(new QComboBox(devices), kDeviceId));
  return devices;
}

// The study fields, the typing limits on the record's texts.
QGroupBox* buildStudyPanel(QDialog* w) {
  auto* group = withId(new QGroupBox(Oskelu::tr("Study Data(DICONDE Attributes)"), w), kStudyGroup);
  auto* g = new QGridLayout(group);
  g->addWidget(label(QT_TRANSLATE_NOOP("Oskelu", "Component Name:"), group), 0, 0);
  g->addWidget(withId(new QLineEdit(group), kComponentName), 0, 1, 1, 3);
  g->addWidget(label(QT_TRANSLATE_NOOP("Oskelu", "Component ID Number:"), group), 1, 0);
  g->addWidget(withId(new QLineEdit(group), kComponentId), 1, 1, 1, 3);
  g->addWidget(label(QT_TRANSLATE_NOOP("Oskelu", "Date of Manufacture:"), group), 2, 0);
  g->addWidget(edit(group, kMfgYear), 2, 1);
  g->addWidget(edit(group, kMfgMonth), 2, 2);
  g->addWidget(edit(group, kMfgDay), 2, 3);
  auto* sex = new QHBoxLayout;
  const char* const sexes[] = {QT_TRANSLATE_NOOP("Oskelu", "Male"), QT_TRANSLATE_NOOP("Oskelu", "Female"),
                               QT_TRANSLATE_NOOP("Oskelu", "Other"), QT_TRANSLATE_NOOP("Oskelu", "Blank")};
  for (int i = 0; i < 4; ++i) sex->addWidget(withId(new QRadioButton(Oskelu::tr(sexes[i]), group), kMale + i));
  g->addWidget(label(QT_TRANSLATE_NOOP("Oskelu", "Sex:"), group), 3, 0);
  g->addLayout(sex, 3, 1, 1, 3);
  g->addWidget(label(QT_TRANSLATE_NOOP("Oskelu", "Study Date:"), group), 4, 0);
  g->addWidget(edit(group, kStudyYear), 4, 1);
  g->addWidget(edit(group, kStudyMonth), 4, 2);
  g->addWidget(edit(group, kStudyDay), 4, 3);
  g->addWidget(label(QT_TRANSLATE_NOOP("Oskelu", "Study ID:"), group), 5, 0);
  g->addWidget(withId(new QLineEdit(group), kStudyId), 5, 1, 1, 3);
  g->addWidget(label(QT_TRANSLATE_NOOP("Oskelu", "Study Description:"), group), 6, 0);
  g->addWidget(withId(new QLineEdit(group), kStudyDescription), 6, 1, 1, 3);
  g->addWidget(button(Oskelu::tr("&Clear"), kClear, group), 7, 3);
  for (int id : {kComponentName, kComponentId, kStudyId, kStudyDescription})
    platform::qt::guardRecordField(control<QLineEdit>(group, id));
  group->setMinimumWidth(300);
  return group;
}

}  // namespace

// The region list and its fields; the list shares regionListOpen_.
QGridLayout* CScanDlg::buildRegion(QDialog* w) {
  auto* regionGrid = new QGridLayout;
  regionGrid->addWidget(label(QT_TRANSLATE_NOOP("Oskelu", "Scan Region:"), w), 0, 0);
  auto* regionList = withId(new RegionList(w, regionListOpen_), kRegionList);
  regionGrid->addWidget(regionList, 0, 1, 1, 3);
  regionGrid->addWidget(label(QT_TRANSLATE_NOOP("Oskelu", "Left:"), w), 1, 0);
  regionGrid->addWidget(edit(w, kLeft), 1, 1);
  regionGrid->addWidget(label(QT_TRANSLATE_NOOP("Oskelu", "Top:"), w), 1, 2);
  regionGrid->addWidget(edit(w, kTop), 1, 3);
  regionGrid->addWidget(label(QT_TRANSLATE_NOOP("Oskelu", "Width:"), w), 2, 0);
  regionGrid->addWidget(edit(w, kWidthMm), 2, 1);
  regionGrid->addWidget(label(QT_TRANSLATE_NOOP("Oskelu", "Height:"), w), 2, 2);
  regionGrid->addWidget(edit(w, kHeightMm), 2, 3);
  regionGrid->addWidget(label(QT_TRANSLATE_NOOP("Oskelu", "pixels"), w), 3, 0);
  regionGrid->addWidget(edit(w, kWidthPx), 3, 1);
  regionGrid->addWidget(label(QT_TRANSLATE_NOOP("Oskelu", "pixels"), w), 3, 2);
  regionGrid->addWidget(edit(w, kHeightPx), 3, 3);
  regionGrid->addWidget(withId(new QCheckBox(Oskelu::tr("Auto Acquisition Set Up"), w), kAutoSetup), 4, 0, 1, 3);
  regionGrid->addWidget(button(Oskelu::tr("&Apply Changes"), kApplyChanges, w), 4, 3);
  return regionGrid;
}

// The preview owns mini_, which draws the region and reports the marquee.
QHBoxLayout* CScanDlg::buildPreview(QDialog* w) {
  auto* middle = new QHBoxLayout;
  auto* placeholder = withId(new QFrame(w), kPlaceholder);
  placeholder->setFrameShape(QFrame::Box);
  placeholder->setFixedSize(188, 226);
  auto* placeholderLayout = new QVBoxLayout(placeholder);
  placeholderLayout->setContentsMargins(1, 1, 1, 1);
  mini_ = new CMiniScreen(preview_, region_, [this] { marqueeDrawn(); }, placeholder);
  placeholderLayout->addWidget(mini_);
  middle->addWidget(placeholder);
  auto* actions = new QVBoxLayout;
  actions->addWidget(withId(new QLabel(w), kMaxOdLabel));
  actions->addWidget(withId(new QLabel(w), kMaxOdValue));
  actions->addWidget(button(Oskelu::tr("Scou&t Scan"), kScout, w));
  actions->addWidget(button(Oskelu::tr("Adjust &O.D. Range"), kAdjustOd, w));
  actions->addWidget(button(Oskelu::tr("&Scan"), kScan, w));
  actions->addWidget(button(Oskelu::tr("E&xit"), kExit, w));
  actions->addStretch();
  actions->addWidget(button(Oskelu::tr("Study Data &>>"), kStudyButton, w));
  middle->addLayout(actions);
  return middle;
}

void CScanDlg::build(QDialog* w) {
  auto* columns = new QHBoxLayout;
  auto* left = new QVBoxLayout;

  // The region.
  left->addLayout(buildRegion(w));

  // The settings.
  left->addLayout(buildSettings(w));

  // The preview and the buttons beside it.
  left->addLayout(buildPreview(w));
  left->addLayout(buildCounters(w));

  // Below the short dialog's bottom: the device selectors.
  left->addWidget(buildDevices(w));
  left->addStretch();
  columns->addLayout(left);

  // The study panel, right of marker 1033.
  columns->addWidget(buildStudyPanel(w));
  columns->setSizeConstraint(QLayout::SetFixedSize);
  w->setLayout(columns);
}

void CScanDlg::fillLists() {
  QWidget* w = window_;
  auto* regions = control<QComboBox>(w, kRegionList);
  regions->addItem(Oskelu::tr("Custom"), -1);
  regions->addItem(Oskelu::tr("Autosense"), -1);
  for (std::size_t row = 1; row < kFilmSizes.size(); ++row) regions->addItem(kFilmSizes[row].name, int(row));
  for (int bits : kBitsList) control<QComboBox>(w, kBits)->addItem(QString::number(bits), bits);
  const int offered = offeredOdCount(link_.digitizer().maxOd());
  for (int i = 0; i < offered; ++i)
    control<QComboBox>(w, kOd)->addItem(QString::fromStdString(odText(kOdList[std::size_t(i)])), kOdList[std::size_t(i)]);
  for (const char* p : kPitchList) control<QComboBox>(w, kPitch)->addItem(p);
  for (const char* m : kModeNames) control<QComboBox>(w, kMode)->addItem(Oskelu::tr(m));
  // The settings outlive the window: the lists show them until a profile says otherwise.
  auto* bits = control<QComboBox>(w, kBits);
  bits->setCurrentIndex(bits->findData(settings_.bits));
  auto* od = control<QComboBox>(w, kOd);
  od->setCurrentIndex(od->findData(settings_.odRange));
  control<QComboBox>(w, kMode)->setCurrentIndex(-1);
}

// The adapters' names; with fewer than two digitizers the selectors are hidden and off.
void CScanDlg::fillDevices(QWidget* w, DigitizerConnection& connection, QComboBox* adapters, QComboBox* ids) {
  if (connection.foundCount() < 2) {
    w->findChild<QWidget*>("1011")->hide();
    adapters->setEnabled(false);
    ids->setEnabled(false);
  }
  for (int a : connection.adapters()) {
    char text[16];
    std::snprintf(text, sizeof text, "#%1d ", a);
    adapters->addItem(QString::fromLatin1(text) + QString::fromStdString(platform::text::cp932ToUtf8(connection.adapterName(a))), a);
  }
}

// The region's and the settings' controls.
void CScanDlg::connectSettings(QWidget* w, QComboBox* regions, QCheckBox* setup) {
  QObject::connect(regions, &QComboBox::activated, w, [this](int i) { regionChosen(i); });
  for (int id : kRegionFields)
    QObject::connect(control<QLineEdit>(w, id), &QLineEdit::textEdited, w, [this, id] { regionEdited(id); });
  QObject::connect(setup, &QCheckBox::clicked, w, [this] { setupToggled(true); settingChanged(); });
  QObject::connect(control<QPushButton>(w, kApplyChanges), &QPushButton::clicked, w, [this] { applyChanges(); });
  QObject::connect(control<QComboBox>(w, kBits), &QComboBox::activated, w, [this] { bitsChosen(); });
  QObject::connect(control<QComboBox>(w, kOd), &QComboBox::activated, w, [this] { odChosen(); });
  auto* pitch = control<QComboBox>(w, kPitch);
  QObject::connect(pitch, &QComboBox::activated, w, [this] { pitchChosen(); });
  QObject::connect(pitch->lineEdit(), &QLineEdit::textEdited, w, [this] { pitchChosen(); });
  QObject::connect(control<QComboBox>(w, kMode), &QComboBox::activated, w, [this] { modeChosen(); });
  QObject::connect(control<QPushButton>(w, kSetting), &QPushButton::clicked, w, [this] { moireSettings(); });
}

// Auto scan, the device selectors and the scan buttons.
void CScanDlg::connectScanControls(QWidget* w, QCheckBox* autoScan, QComboBox* adapters, QComboBox* ids) {
  QObject::connect(autoScan, &QCheckBox::toggled, w, [this, w](bool on) {
    settings_.autoScan = on ? 1 : 0;
    auto* films = control<QLineEdit>(w, kFilms);
    films->setEnabled(on);
    if (on) films->setFocus();
  });
  QObject::connect(adapters, &QComboBox::activated, w, [this] { adapterChosen(); settingChanged(); });
  QObject::connect(ids, &QComboBox::activated, w, [this] { deviceChosen(); settingChanged(); });
  QObject::connect(control<QPushButton>(w, kAdjustOd), &QPushButton::clicked, w, [this] { adjustOd(); });
  QObject::connect(control<QPushButton>(w, kScout), &QPushButton::clicked, w, [this] {
    if (scoutScan) scoutScan(); else scoutScanCommand();
  });
  QObject::connect(control<QPushButton>(w, kScan), &QPushButton::clicked, w, [this] { scanPressed(); });
}

QWidget* CScanDlg::create(QWidget* host, const QString& caption, bool visible) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return nullptr;
  destroy();
  auto* w = new ScanWindow(host, [this] { exit(); });
  w->setObjectName("129");
  w->setWindowFlag(Qt::Window);
  w->setModal(false);
  w->setWindowTitle(caption);
  window_ = w;
  build(w);
  DigitizerConnection& connection = link_.digitizer();

  // 1 and 2: the lists and the preview.
  fillLists();
  preview_.setDensity(settings_.odRange, connection.maxOd());

  // 3: the study panel.
  auto* studyButton = control<QPushButton>(w, kStudyButton);
  studyButton->setVisible(studyEnable_ != 0);
  studyButton->setEnabled(studyEnable_ != 0);
  if (studyEnable_ != 0) fillStudy();
  layoutStudy(studyEnable_ != 0 && studyExpanded_ != 0);

  // 4: the device selectors.
  auto* adapters = control<QComboBox>(w, kAdapter);
  auto* ids = control<QComboBox>(w, kDeviceId);
  fillDevices(w, connection, adapters, ids);

  // 5: the longest film.
  region_.setMaxLength(432);

  // 6: the buffer, Autosense, the general profile, the device, the moire settings.
  deviceBuffer_ = connection.bufferSize();
  control<QLabel>(w, kMaxData)->setText(QString::fromStdString(groupedDecimal(deviceBuffer_)));
  auto* regions = control<QComboBox>(w, kRegionList);
  regions->setCurrentIndex(kAutosenseEntry);
  regionChosen(kAutosenseEntry);
  const Profile general = scanui::internal::readProfile(0);
  if (general.host >= 0 && general.host < adapters->count()) adapters->setCurrentIndex(general.host);
  adapterChosen();
  if (general.digitizer >= 0 && general.digitizer < ids->count()) ids->setCurrentIndex(general.digitizer);
  readProfile(0);
  antiMoire_ = readAntiMoire();

  // 7 and 8.
  control<QPushButton>(w, kAdjustOd)->setEnabled(preview_.scoutPresent());
  auto* setup = control<QCheckBox>(w, kAutoSetup);
  setup->setChecked(settings_.autoSetup != 0);
  setupToggled(false);
  auto* autoScan = control<QCheckBox>(w, kAutoScan);
  autoScan->setChecked(settings_.autoScan != 0);
  control<QLineEdit>(w, kFilms)->setText("0");
  control<QLineEdit>(w, kFilms)->setEnabled(settings_.autoScan != 0);
  control<QLabel>(w, kScansDelivered)->setText("0");
  control<QLabel>(w, kMegabytes)->setText("(0.00MB)");
  control<QPushButton>(w, kSetting)->setEnabled(control<QComboBox>(w, kMode)->currentIndex() == kMoireModeIndex);
  updateLabels();

  // The operator's choices, connected only now so that filling runs none of them.
  connectSettings(w, regions, setup);
  connectScanControls(w, autoScan, adapters, ids);
  QObject::connect(control<QPushButton>(w, kExit), &QPushButton::clicked, w, &ScanWindow::requestExit);
  QObject::connect(studyButton, &QPushButton::clicked, w, [this] { layoutStudy(!studyOpen_); });
  QObject::connect(control<QPushButton>(w, kClear), &QPushButton::clicked, w, [this] { clearStudy(); });

  timer_ = new QTimer(w);  // goes with the window
  timer_->setInterval(100);
  QObject::connect(timer_, &QTimer::timeout, w, [this] { tick(); });
  timer_->start();

  suppress190_ = suppress190_ || qApp->property(kSuppressMarker).toBool();
  ceased_ = 0;
  ticks_ = 0;
  if (visible) w->show();
  return w;
}

int CScanDlg::destroy() {
  if (!window_) return 0;
  delete window_.data();  // also drops an Exit still queued for it, and the timer
  mini_ = nullptr;
  timer_ = nullptr;
  regionListOpen_ = false;
  return 1;
}

QWidget* CScanDlg::window() const { return window_.data(); }

void CScanDlg::fillStudy() {
  if (study_ == nullptr) return;
  const StudyFields f = studyFieldsFrom(*study_);
  auto put = [this](int id, const std::string& text) {
    control<QLineEdit>(window_, id)->setText(QString::fromStdString(text));
  };
  put(kComponentName, f.componentName);
  put(kComponentId, f.componentId);
  put(kMfgYear, f.manufacturingYear);
  put(kMfgMonth, f.manufacturingMonth);
  put(kMfgDay, f.manufacturingDay);
  put(kStudyYear, f.studyYear);
  put(kStudyMonth, f.studyMonth);
  put(kStudyDay, f.studyDay);
  put(kStudyId, f.studyId);
  put(kStudyDescription, f.studyDescription);
  control<QRadioButton>(window_, kMale + int(f.sex))->setChecked(true);
}

void CScanDlg::layoutStudy(bool open) {
  studyOpen_ = open;
  auto* group = control<QGroupBox>(window_, kStudyGroup);
  group->setVisible(open);
  for (QWidget* child : group->findChildren<QWidget*>()) child->setEnabled(open);
  control<QPushButton>(window_, kStudyButton)
      ->setText(open ? Oskelu::tr("Study Data &<<") : Oskelu::tr("Study Data &>>"));
  window_->adjustSize();
}

void CScanDlg::clearStudy() {
  for (int id : kStudyEdits) control<QLineEdit>(window_, id)->clear();
  control<QRadioButton>(window_, kMale + int(StudyFields::Blank))->setChecked(true);
}

// The general or a film size's profile into the selectors, each applied as if chosen.
void CScanDlg::readProfile(int n) {
  const Profile p = scanui::internal::readProfile(n);
  auto select = [this](int id, int index) {
    auto* c = control<QComboBox>(window_, id);
    if (index >= 0 && index < c->count()) c->setCurrentIndex(index);  // else left as it was
  };
  select(kBits, p.bits);
  select(kOd, p.od);
  control<QComboBox>(window_, kPitch)->setEditText(QString::fromStdString(platform::text::cp932ToUtf8(p.pitch)));
  select(kMode, p.mode);
  bitsChosen();
  pitchChosen();
  odChosen();
  modeChosen();
}

Profile CScanDlg::currentProfile() const {
  Profile p;
  p.host = control<QComboBox>(window_, kAdapter)->currentIndex();
  p.digitizer = control<QComboBox>(window_, kDeviceId)->currentIndex();
  p.bits = control<QComboBox>(window_, kBits)->currentIndex();
  p.od = control<QComboBox>(window_, kOd)->currentIndex();
  p.pitch = platform::text::utf8ToCp932(utf8(control<QComboBox>(window_, kPitch)->currentText()));
  p.mode = control<QComboBox>(window_, kMode)->currentIndex();
  return p;
}

void CScanDlg::applyFilmCode(int code) {
  QWidget* w = window_;
  auto* setup = control<QCheckBox>(w, kAutoSetup);
  if (code != settings_.lastFilmCode) {
    settings_.lastFilmCode = code;
    if (code != 0 && setup->isChecked()) readProfile(code);
  }
  if (code != 0) {
    if (settings_.autoSetup != 0 && !setup->isChecked()) {
      setup->setChecked(true);
      setupToggled(false);
    }
    setup->setEnabled(true);
    control<QPushButton>(w, kApplyChanges)->setEnabled(!setup->isChecked());
  } else {
    if (setup->isChecked()) {
      setup->setChecked(false);
      setupToggled(false);  // the remembered flag stays on
    }
    setup->setEnabled(false);
    control<QPushButton>(w, kApplyChanges)->setEnabled(false);
  }
  // Sensed codes 101 to 104 would ask the miniscreen height selector for a
  // longer film; that selector is empty, so the film stays at 432 mm.
  region_.setFilm(code);
  writeRegionFields();
  if (mini_ != nullptr) mini_->redrawMarquee();
}

void CScanDlg::regionChosen(int index) {
  int code = 0;
  if (index == kAutosenseEntry) {
    link_.digitizer().clearFilmCheckLatch();
    code = link_.digitizer().sensedFilmCode();
  } else if (index > kAutosenseEntry) {
    code = filmCodeAtRow(std::size_t(control<QComboBox>(window_, kRegionList)->itemData(index).toInt()));
  }
  settings_.lastFilmCode = -1;  // so that the code always applies
  applyFilmCode(code);
  settingChanged();
}

void CScanDlg::switchToCustom() {
  QWidget* w = window_;
  auto* regions = control<QComboBox>(w, kRegionList);
  if (regions->currentIndex() != kCustomEntry) regions->setCurrentIndex(kCustomEntry);
  auto* setup = control<QCheckBox>(w, kAutoSetup);
  if (setup->isChecked()) {
    setup->setChecked(false);
    setupToggled(false);
  }
  setup->setEnabled(false);
  control<QPushButton>(w, kApplyChanges)->setEnabled(false);
  settings_.lastFilmCode = 0;
}

void CScanDlg::regionEdited(int id) {
  auto* field = control<QLineEdit>(window_, id);
  const std::int64_t v = fieldValue(field->text());
  switch (id) {
    case kLeft: region_.setLeft(v); break;
    case kTop: region_.setTop(v); break;
    case kWidthMm: region_.setWidthMm(v); break;
    case kHeightMm: region_.setHeightMm(v); break;
    case kWidthPx: region_.setWidthPx(v); break;
    case kHeightPx: region_.setHeightPx(v); break;
    default: return;
  }
  const bool clamped = region_.changed != 0;
  writeRegionFields();
  if (clamped) field->selectAll();
  switchToCustom();
  if (mini_ != nullptr) mini_->redrawMarquee();
  settingChanged();
}

void CScanDlg::writeRegionFields() {
  const std::int32_t values[] = {region_.leftMm, region_.topMm, region_.widthMm,
                                 region_.heightMm, region_.widthPx, region_.heightPx};
  for (std::size_t i = 0; i < std::size(kRegionFields); ++i) {
    auto* field = control<QLineEdit>(window_, kRegionFields[i]);
    const QString text = platform::qt::formatInt(values[i]);
    if (field->text().isEmpty() || field->text() != text) {
      field->setText(text);
      field->end(false);
    }
  }
}

void CScanDlg::setupToggled(bool remember) {
  QWidget* w = window_;
  auto* setup = control<QCheckBox>(w, kAutoSetup);
  const bool on = setup->isChecked();
  for (int id : {kBits, kOd, kPitch, kMode}) control<QComboBox>(w, id)->setEnabled(!on);
  if (on && settings_.lastFilmCode > 0) readProfile(settings_.lastFilmCode);
  control<QPushButton>(w, kApplyChanges)->setEnabled(!on && setup->isEnabled());
  if (remember) settings_.autoSetup = on ? 1 : 0;
}

void CScanDlg::applyChanges() {
  if (settings_.lastFilmCode <= 0) return;
  CScanMessageDlg box(kMsgApplyChanges, window_);
  if (box.run()) writeProfile(settings_.lastFilmCode, currentProfile());
}

void CScanDlg::bitsChosen() {
  const int bits = control<QComboBox>(window_, kBits)->currentData().toInt();
  if (bits >= 8 && bits <= 12) {
    settings_.bits = bits;
    settings_.bytesPerPixel = (bits + 7) / 8;
  }
  settingChanged();
}

void CScanDlg::odChosen() {
  const int od = control<QComboBox>(window_, kOd)->currentData().toInt();
  if (od >= 10 && od <= 47) {
    settings_.odRange = od;
    preview_.setDensity(od, link_.digitizer().maxOd());
  }
  settingChanged();
}

void CScanDlg::pitchChosen() {
  // Zero, negative or no number: 1, so that no arithmetic divides by it.
  const std::int64_t pitch = fieldValue(control<QComboBox>(window_, kPitch)->currentText());
  region_.setPitch(pitch < 1 ? 1 : pitch);
  writeRegionFields();
  settingChanged();
}

void CScanDlg::modeChosen() {
  const int index = control<QComboBox>(window_, kMode)->currentIndex();
  settings_.deviceScanMode = deviceScanMode(index);
  control<QPushButton>(window_, kSetting)->setEnabled(index == kMoireModeIndex);
  settingChanged();
}

void CScanDlg::adapterChosen() {
  auto* ids = control<QComboBox>(window_, kDeviceId);
  const int adapter = control<QComboBox>(window_, kAdapter)->currentData().toInt();
  ids->clear();
  for (int id : link_.digitizer().deviceIds(adapter)) {
    char text[16];
    std::snprintf(text, sizeof text, "#%1d", id);
    ids->addItem(text, id);
  }
  deviceChosen();
}

void CScanDlg::deviceChosen() {
  DigitizerConnection& connection = link_.digitizer();
  const int adapter = control<QComboBox>(window_, kAdapter)->currentData().toInt();
  auto* ids = control<QComboBox>(window_, kDeviceId);
  if (ids->currentIndex() < 0) return;
  if (connection.switchTo(adapter, ids->currentData().toInt()) != 0) {
    deviceBuffer_ = connection.bufferSize();
    control<QLabel>(window_, kMaxData)->setText(QString::fromStdString(groupedDecimal(deviceBuffer_)));
  }
}

void CScanDlg::adjustOd() {
  const int want = odRangeFor(preview_.maxDensity(region_));
  auto* od = control<QComboBox>(window_, kOd);
  const int index = od->findData(want);
  if (index >= 0) od->setCurrentIndex(index);
  odChosen();
}

void CScanDlg::moireSettings() {
  CMoireSettingsDlg dlg(window_);
  dlg.load(antiMoire_);
  if (dlg.exec() != QDialog::Accepted) return;
  antiMoire_ = dlg.values();
  writeAntiMoire(antiMoire_);
}

void CScanDlg::scanPressed() {
  QWidget* w = window_;
  auto* scanButton = control<QPushButton>(w, kScan);
  if (scanButton->text() == Oskelu::tr("&Feed")) {
    link_.digitizer().nextFilm();
    return;
  }
  auto& prompt = platform::qt::prompt();
  if (region_.pitch < 50 || region_.pitch > 2000) {
    prompt.message(w, badPitchText(), Oskelu::tr("Scan"), platform::qt::Icon::Warning, platform::qt::Buttons::Ok);
    return;
  }
  if (deviceBuffer_ < settings_.dataSize) {
    CScanMessageDlg(kMsgNoMemory, w).run();
    return;
  }
  if (preview_.scoutPresent() && preview_.maxDensity(region_) > settings_.odRange / 10.0) {
    if (!CScanMessageDlg(kMsgOdRange, w).run()) return;
  }
  const bool custom = control<QComboBox>(w, kRegionList)->currentIndex() == kCustomEntry;
  if (!suppress190_ && custom && region_.topMm + region_.heightMm < kShortestScoutFreeFilmMm) {
    CScanMessageDlg box(kMsgFilmSize19cm, w);
    if (!box.run()) return;
    if (box.dontShowAgain()) {
      suppress190_ = true;
      // Later dialogs of this host process, from this or a reloaded library, find it.
      qApp->setProperty(kSuppressMarker, true);
    }
  }
  settings_.filmsAtStart = int(fieldValue(control<QLineEdit>(w, kFilms)->text()));
  if (scan)
    scan();
  else
    scanCommand();
}

void CScanDlg::marqueeDrawn() {
  if (!window_) return;
  switchToCustom();
  writeRegionFields();
  settingChanged();
}

// Every change of a setting returns a finished scan's preview to white.
void CScanDlg::settingChanged() {
  if (preview_.livePresent() && settings_.scanning == 0) {
    preview_.reset();
    if (mini_ != nullptr) mini_->update();
  }
  updateLabels();
}

void CScanDlg::updateLabels() {
  QWidget* w = window_;
  if (w == nullptr) return;
  const bool valid = region_.valid();
  const bool autosense = control<QComboBox>(w, kRegionList)->currentIndex() == kAutosenseEntry;
  auto* scanButton = control<QPushButton>(w, kScan);
  scanButton->setText(autosense && !valid ? Oskelu::tr("&Feed") : Oskelu::tr("&Scan"));
  scanButton->setEnabled(autosense || valid);
  control<QLabel>(w, kMaxOdLabel)
      ->setText(valid ? Oskelu::tr("Maximum O.D. in Marquee:") : Oskelu::tr("Maximum O.D.:"));
  QString od = "-";
  if (preview_.scoutPresent()) {
    char text[32];
    std::snprintf(text, sizeof text, "%5.3f", preview_.maxDensity(region_));
    od = text;
  }
  control<QLabel>(w, kMaxOdValue)->setText(od);
  settings_.dataSize = region_.dataSize(settings_.bytesPerPixel);
  control<QLabel>(w, kVolume)->setText(QString::fromStdString(groupedDecimal(settings_.dataSize)));
}

void CScanDlg::tick() {
  if (!window_) return;
  if (mini_ != nullptr) mini_->advancePhase();
  if (++ticks_ % kFilmCheckTicks != 0) return;
  auto* regions = control<QComboBox>(window_, kRegionList);
  if (!regionListOpen_ && regions->currentIndex() == kAutosenseEntry && settings_.scanning == 0) {
    applyFilmCode(link_.digitizer().sensedFilmCode());  // the latch stays as it is
    updateLabels();
  }
  if (settings_.rePostArmed != 0)
    QMetaObject::invokeMethod(window_, [this] { if (scan) scan(); else scanCommand(); }, Qt::QueuedConnection);
}

int CScanDlg::cease() {
  ceased_ = 1;
  if (!progress_ || !progress_->isVisible()) return 0;  // no scan to end
  // Ended at once, so an OK the worker queues later finds it closed.
  progress_->reject();
  return 1;
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

void CScanDlg::importedStudy(const std::string& componentName, const std::string& componentId,
                             const std::string& description) {
  if (!window_) return;
  auto put = [this](int id, const std::string& cp932) {
    control<QLineEdit>(window_, id)->setText(QString::fromStdString(platform::text::cp932ToUtf8(cp932)));
  };
  put(kComponentName, componentName);
  put(kComponentId, componentId);
  put(kStudyDescription, description);
}

void CScanDlg::postExit() {
  if (window_) static_cast<ScanWindow*>(window_.data())->requestExit();
}

void CScanDlg::exit() {
  if (settings_.rePostArmed != 0) return;  // an auto-feeder run goes on
  if (study_ != nullptr && studyEnable_ != 0) {
    StudyFields f;
    auto text = [this](int id) { return utf8(control<QLineEdit>(window_, id)->text()); };
    f.componentName = text(kComponentName);
    f.componentId = text(kComponentId);
    f.manufacturingYear = text(kMfgYear);
    f.manufacturingMonth = text(kMfgMonth);
    f.manufacturingDay = text(kMfgDay);
    f.studyYear = text(kStudyYear);
    f.studyMonth = text(kStudyMonth);
    f.studyDay = text(kStudyDay);
    f.studyId = text(kStudyId);
    f.studyDescription = text(kStudyDescription);
    for (int i = 0; i < 4; ++i)
      if (control<QRadioButton>(window_, kMale + i)->isChecked()) f.sex = StudyFields::Sex(i);
    writeStudy(f, *study_);
  }
  writeProfile(0, currentProfile());
  CloseRequest();
}

}  // namespace scanui::internal
