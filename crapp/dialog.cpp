#include "crapp/dialog.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QTimer>
#include <QVBoxLayout>
#include <QAbstractItemView>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <new>

#include "crapp/datacontainer.h"
#include "crapp/internal/applog.h"
#include "crengine/quorin.h"
#include "platform/clock.h"
#include "platform/qt/control.h"
#include "platform/qt/message_target.h"
#include "platform/qt/numbers.h"
#include "platform/qt/prompt.h"
#include "platform/qt/record_field.h"
#include "platform/text.h"
#include "platform/version.h"

namespace crapp {
namespace {

namespace pq = platform::qt;

constexpr const char* kCaption = "HalcyoneScan";
constexpr int kLogBufferSize = 1048576;
constexpr int kFieldLength = 64;
constexpr int kSensitivityMin = 100;
constexpr int kSensitivityMax = 1000;

QString fromCp932(const std::string& text) { return QString::fromStdString(platform::text::cp932ToUtf8(text)); }

QString shown(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

// The engine's current error as " %08Xh : text"; empty when there is none.
QString errorInformation(std::string* raw = nullptr) {
  int code = 0;
  char text[512] = {};
  QuorinGetErrorInformation(&code, text);
  text[sizeof text - 1] = '\0';
  if (raw) *raw = text;
  if (code == 0) return {};
  return QString::asprintf(" %08Xh : ", static_cast<unsigned>(code)) + fromCp932(text);
}

// The IP Size list keeps the width of the window's fixed layout: a long
// plate name is cut with an ellipsis in the box and shown whole in the list.
class PlateList : public QComboBox {
 public:
  explicit PlateList(QWidget* parent) : QComboBox(parent) {
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(10);
  }

  void addPlate(const QString& name) {
    addItem(name);
    setItemData(count() - 1, name, Qt::ToolTipRole);
    // The list opens as wide as its longest name, within the screen.
    const int margins = 2 * (view()->frameWidth() + style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this)) +
                        style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    widest_ = std::max(widest_, view()->fontMetrics().horizontalAdvance(name) + margins);
    int width = widest_;
    if (const QScreen* s = screen()) width = std::min(width, s->availableGeometry().width());
    view()->setMinimumWidth(width);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    option.currentText = fontMetrics().elidedText(option.currentText, Qt::ElideRight, field.width());
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
  }

 private:
  int widest_ = 0;
};

}  // namespace

QString lockFailureText(const std::filesystem::path& folder, int error) {
  return QCoreApplication::translate("CHalcyoneDlg", "Halcyone cannot make its single-instance lock in the folder %1: %2.\n"
            "Please make the folder writable, or set NDT_RUNTIME_DIR to one that is.")
      .arg(shown(folder), QString::fromLocal8Bit(std::strerror(error)));
}

QString folderProblemText(const FolderProblem& p, const std::filesystem::path& dataFolder,
                          const std::filesystem::path& siteIni) {
  using Kind = FolderProblem::Kind;
  switch (p.kind) {
    case Kind::ExportPathTooLong:
      return QCoreApplication::translate("CHalcyoneDlg", "The export folder set as ExportPath in %1 has %2 characters; it may have at most %3.")
          .arg(shown(siteIni))
          .arg(p.length)
          .arg(p.limit);
    case Kind::PathTooLong:
      return QCoreApplication::translate("CHalcyoneDlg", "The folder %1 has %2 characters; the scanner engine takes at most %3.\n"
                "Please install Halcyone in a folder with a shorter path.")
          .arg(shown(p.folder))
          .arg(p.length)
          .arg(p.limit);
    case Kind::ExportIsData:
      return QCoreApplication::translate("CHalcyoneDlg", "The export folder %1 is the data folder, which is emptied at every scan.\n"
                "Please set another ExportPath in %2.")
          .arg(shown(p.folder), shown(siteIni));
    case Kind::ExportInsideData:
      return QCoreApplication::translate("CHalcyoneDlg", "The export folder %1 lies inside the data folder %2, which is emptied at every scan.\n"
                "Please set another ExportPath in %3.")
          .arg(shown(p.folder), shown(dataFolder), shown(siteIni));
    case Kind::DataInsideExport:
      return QCoreApplication::translate("CHalcyoneDlg", "The data folder %1 lies inside the export folder %2.\n"
                "Please set another ExportPath in %3.")
          .arg(shown(dataFolder), shown(p.folder), shown(siteIni));
    case Kind::None: break;
  }
  return {};
}

void showStartFailure(QWidget* owner, const QString& text) {
  pq::prompt().message(owner, text, kCaption, pq::Icon::Critical, pq::Buttons::Ok);
}

QString messageText(int id) {
  switch (id) {
    case 101: return QStringLiteral("Halcyone Version Information(&A)...");
    case 300: return QStringLiteral("Waiting device command time-out.");
    case 301: return QStringLiteral("Failed to output DICOM file.");
    case 302: return QStringLiteral("Failed connecting to scanner.");
    case 304: return QStringLiteral("Memory for log buffer is not allocated.");
    case 500: return QStringLiteral("A scanning previous image is left.  Are you sure to lost this image?");
    case 501:
      return QStringLiteral("Over an avalable image data size.  Please change the value of IPsize or pixel spacing.");
    case 502: return QStringLiteral("ID or Name is required.");
    case 503: return QStringLiteral("In processing.  Please wait for end of processing.");
    case 504: return QStringLiteral("Not connect to scanner. Do you retry to connect to scanner?");
    case 505: return QStringLiteral("There is no scanning image.");
    case 600: return QStringLiteral("Scanning........");
    case 601: return QStringLiteral("End of scan.");
    case 602: return QStringLiteral("Saving image data.");
    case 603: return QStringLiteral("End of saving data.");
    case 604: return QStringLiteral("Cancel a scan.");
    case 605: return QStringLiteral("End of erasing IP.");
    case 606: return QStringLiteral("End of ejecting IP.");
    default: return {};
  }
}

CHalcyoneDlg::CHalcyoneDlg(std::filesystem::path programDir, QWidget* parent)
    : QDialog(parent), programDir_(std::move(programDir)) {
  try {
    container_ = std::make_unique<CDataContainer>(programDir_);
  } catch (const std::bad_alloc&) {
    appLog(1, "---CHalcyoneDlg::CHalcyoneDlg: Create CDataContainer class. Memory insuff error!");
    initFailed_ = true;
  }
  preview16_.reset(new (std::nothrow)
                       std::uint16_t[static_cast<std::size_t>(kPreviewWidth) * kPreviewHeight]());
  if (!preview16_) {
    appLog(1, "---CHalcyoneDlg::CHalcyoneDlg: Create mini-screen data buffer. Memory insuff error!");
    initFailed_ = true;
  }
  if (container_) rawPath_ = container_->rawImagePath().string();
  buildControls();
  target_ = std::make_unique<pq::QtMessageTarget>([this](const platform::Message& m) { onEngineMessage(m); });
}

CHalcyoneDlg::~CHalcyoneDlg() {
  stopTimer();
  if (engineStarted_ && !windowRectSaved_) saveWindowRect();
  // The scanner thread ends here, before the window it posts to goes away.
  QuorinScannerFinish();
  target_.reset();
}

platform::WindowHandle CHalcyoneDlg::messageHandle() const { return target_->handle(); }

bool CHalcyoneDlg::timerRunning() const { return timer_->isActive(); }

void CHalcyoneDlg::buildControls() {
  setWindowTitle(kCaption);
  setFont(QFont("Arial", 11));

  auto button = [this](int id, const char* text) {
    auto* b = new QPushButton(QString::fromUtf8(text), this);
    pq::setControlId(b, id);
    // Enter in an edit box must never press a button.
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
  };
  auto edit = [this](int id) {
    auto* e = new QLineEdit(this);
    pq::setControlId(e, id);
    return e;
  };

  miniscreen_ = new CMiniscreen(this);
  pq::setControlId(miniscreen_, IDC_MINISCREEN);
  miniscreen_->setFixedSize(392, 502);

  status_ = new QLabel(this);
  pq::setControlId(status_, IDC_STATUS);
  status_->setFrameShape(QFrame::StyledPanel);
  status_->setMinimumHeight(24);

  ipSize_ = new PlateList(this);
  pq::setControlId(ipSize_, IDC_COMBO_IPSIZE);
  pitch_ = new QComboBox(this);
  pq::setControlId(pitch_, IDC_COMBO_PITCH);
  for (int um = 50; um <= 200; um += 10) pitch_->addItem(pq::formatInt(um));
  sensitivity_ = edit(IDC_EDIT_SENSITIVITY);

  standard_ = new QRadioButton("Standard", this);
  pq::setControlId(standard_, IDC_RADIO_STANDARD);
  highSpeed_ = new QRadioButton("High speed", this);
  pq::setControlId(highSpeed_, IDC_RADIO_HIGHSPEED);
  fine_ = new QRadioButton("Fine", this);
  pq::setControlId(fine_, IDC_RADIO_FINE);

  scan_ = button(IDC_BTN_SCAN, "Scan");
  // Only the IP-set poll enables Scan, once the engine reports a plate.
  scan_->setEnabled(false);
  id_ = edit(IDC_EDIT_ID);
  name_ = edit(IDC_EDIT_NAME);
  description_ = edit(IDC_EDIT_DESCRIPTION);
  for (QLineEdit* e : {id_, name_, description_}) e->setMaxLength(kFieldLength);
  for (QLineEdit* e : {id_, name_, description_}) pq::guardRecordField(e);
  QPushButton* clear = button(IDC_BTN_CLEAR_INFO, "Clear Info. ");
  QPushButton* save = button(IDC_BTN_SAVE, "Save");
  QPushButton* erase = button(IDC_BTN_ERASE, "Erase IP");
  QPushButton* eject = button(IDC_BTN_EJECT, "Eject IP");
  QPushButton* reset = button(IDC_BTN_RESET_ERROR, "Reset Error");
  QPushButton* log = button(IDC_BTN_LOG, "Scanner Log");
  close_ = button(IDC_BTN_CLOSE, "Close");
  buttons_ = {clear, save, erase, eject, reset, log, close_};
  QPushButton* ok = button(IDC_OK, "OK");
  QPushButton* cancel = button(IDC_CANCEL, "Cancel");
  ok->hide();
  cancel->hide();

  auto* conditions = new QGroupBox(this);
  auto* cg = new QGridLayout(conditions);
  cg->addWidget(new QLabel("IP Size", this), 0, 0);
  cg->addWidget(ipSize_, 0, 1);
  cg->addWidget(new QLabel("Pixel Spacing", this), 1, 0);
  cg->addWidget(pitch_, 1, 1);
  cg->addWidget(new QLabel("( micro meter )", this), 1, 2);
  cg->addWidget(new QLabel("Sensitivity", this), 2, 0);
  cg->addWidget(sensitivity_, 2, 1);
  cg->addWidget(new QLabel("( 100 - 1000 )", this), 2, 2);
  auto* speeds = new QHBoxLayout;
  speeds->addWidget(standard_);
  speeds->addWidget(highSpeed_);
  speeds->addWidget(fine_);
  cg->addLayout(speeds, 3, 0, 1, 3);
  cg->addWidget(scan_, 4, 0, 1, 3);

  auto* study = new QGroupBox(this);
  auto* sg = new QGridLayout(study);
  sg->addWidget(new QLabel("Comp. ID", this), 0, 0);
  sg->addWidget(id_, 0, 1);
  sg->addWidget(new QLabel("Comp. Name", this), 1, 0);
  sg->addWidget(name_, 1, 1);
  sg->addWidget(new QLabel("Description", this), 2, 0);
  sg->addWidget(description_, 2, 1);
  auto* studyButtons = new QHBoxLayout;
  studyButtons->addWidget(clear);
  studyButtons->addWidget(save);
  sg->addLayout(studyButtons, 3, 0, 1, 2);

  auto* actions = new QGroupBox(this);
  auto* ag = new QGridLayout(actions);
  ag->addWidget(erase, 0, 0);
  ag->addWidget(eject, 0, 1);
  ag->addWidget(reset, 1, 0);
  ag->addWidget(log, 1, 1);

  auto* right = new QVBoxLayout;
  right->addWidget(conditions);
  right->addWidget(study);
  right->addWidget(actions);
  right->addStretch(1);
  right->addWidget(close_);
  right->addWidget(ok);
  right->addWidget(cancel);

  auto* top = new QHBoxLayout;
  top->addWidget(miniscreen_, 0, Qt::AlignTop);
  top->addLayout(right, 1);
  auto* whole = new QVBoxLayout(this);
  whole->addLayout(top);
  whole->addWidget(status_);

  timer_ = new QTimer(this);
  timer_->setInterval(kTimerMs);
  connect(timer_, &QTimer::timeout, this, [this] { OnTimer(); });

  connect(close_, &QPushButton::clicked, this, [this] { OnBtnClose(); });
  connect(clear, &QPushButton::clicked, this, [this] { OnBtnClearInfo(); });
  connect(scan_, &QPushButton::clicked, this, [this] { OnBtnScan(); });
  connect(save, &QPushButton::clicked, this, [this] { OnBtnSave(); });
  connect(erase, &QPushButton::clicked, this, [this] { OnBtnErase(); });
  connect(eject, &QPushButton::clicked, this, [this] { OnBtnEject(); });
  connect(reset, &QPushButton::clicked, this, [this] { OnBtnErrorReset(); });
  connect(log, &QPushButton::clicked, this, [this] { OnBtnLog(); });
}

bool CHalcyoneDlg::OnInitDialog() {
  // Where the platform has no system menu, the about item lives in the
  // window's context menu.
  const QString aboutText = messageText(101);
  if (!aboutText.isEmpty()) {
    auto* about = new QAction(aboutText, this);
    pq::setControlId(about, IDM_ABOUTBOX);
    connect(about, &QAction::triggered, this, [this] { OnAbout(); });
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);
  }

  miniscreen_->paneWidth = miniscreen_->width();
  miniscreen_->paneHeight = miniscreen_->height();

  // Folders the program cannot work with are refused before anything runs.
  if (container_ && container_->startProblem()) {
    const QString why = folderProblemText(container_->startProblem(), container_->dataFolder(),
                                          container_->siteIniPath());
    appLog(1, "---CHalcyoneDlg::OnInitDialog: %s", why.toStdString().c_str());
    showStartFailure(this, why);
    return false;
  }

  if (container_) {
    for (int i = 1; i <= container_->GetIPSizeCount(); ++i)
      static_cast<PlateList*>(ipSize_)->addPlate(fromCp932(container_->GetIPSizeByIndex(i)->dispName));
    const UISettings ui = container_->ReadUISettings();
    ipSize_->setCurrentIndex(ui.ipSizeId - 1);
    const QString pitchText = pq::formatInt(ui.scanPitch);
    int index = -1;
    for (int i = 0; i < pitch_->count(); ++i) {
      if (pitch_->itemText(i).startsWith(pitchText)) {
        index = i;
        break;
      }
    }
    if (index < 0) index = 0;
    if (index > pitch_->count() - 1) index = pitch_->count() - 1;
    pitch_->setCurrentIndex(index);
    sensitivity_->setText(pq::formatInt(ui.sensitivity));
    if (ui.scanSpeed == 1)
      highSpeed_->setChecked(true);
    else if (ui.scanSpeed == 3)
      fine_->setChecked(true);
    else
      standard_->setChecked(true);
    fine_->setEnabled(container_->GetScanSpeedSlow() != 0);
  }

  engineStarted_ = QuorinScannerInintialize(messageHandle()) != 0;
  if (!engineStarted_) {
    appLog(1, "---CHalcyoneDlg::OnInitDialog: Failure in device initialization.");
    // The question carries the engine's reason, so the operator knows what to mend.
    QString question = messageText(504);
    const QString why = errorInformation();
    if (!why.isEmpty()) question += "\n\n" + why.trimmed();
    if (pq::prompt().message(this, question, kCaption, pq::Icon::Question, pq::Buttons::YesNo) ==
        pq::Answer::Yes) {
      platform::clock::sleep(1000);
      engineStarted_ = QuorinScannerInintialize(messageHandle()) != 0;
    }
  }
  if (!engineStarted_) return false;
  startTimer();

  if (container_) {
    const WindowRect r = container_->ReadWindowRect();
    if (r.right - r.left != 0 && r.bottom - r.top != 0) move(r.left, r.top);
  }
  return true;
}

void CHalcyoneDlg::onEngineMessage(const platform::Message& message) {
  if (message.id != platform::kCommandMessage) return;
  if (busyWaiting_) {
    deferred_.push_back(message);
    return;
  }
  switch (message.wParam) {
    case IDM_ACQUIRE_STARTED: OnAcquireStarted(); break;
    case IDM_ACQUIRE_REFRESH: OnAcquireRefresh(); break;
    case 32774: OnAcquireCanceled(); break;
    case IDM_ACQUIRE_COMPLETE: OnAcquireComplete(); break;
    case IDM_ACQUIRE_COMPLETE_ALL: OnAcquireCompleteAll(); break;
    case IDM_ACQUIRE_ERROR: OnAcquireError(); break;
    default: break;
  }
}

// ---- controls and state ------------------------------------------------------

bool CHalcyoneDlg::readControls() {
  const auto value = pq::parseInt(sensitivity_->text());
  if (!value || *value < kSensitivityMin || *value > kSensitivityMax) {
    pq::prompt().message(this,
                         value ? QStringLiteral("Please enter an integer between 100 and 1000.")
                               : QStringLiteral("Please enter an integer."),
                         kCaption, pq::Icon::Warning, pq::Buttons::Ok);
    sensitivity_->setFocus();
    sensitivity_->selectAll();
    return false;
  }
  return true;
}

bool CHalcyoneDlg::holdsImage() const {
  return container_ && (container_->scanInformation() || container_->scanCondition() || container_->scanImage());
}

void CHalcyoneDlg::setStatus(int id) { status_->setText(messageText(id)); }

void CHalcyoneDlg::clearStatus() { status_->clear(); }

bool CHalcyoneDlg::warn(int id) {
  pq::prompt().message(this, messageText(id), kCaption, pq::Icon::Warning, pq::Buttons::Ok);
  return false;
}

bool CHalcyoneDlg::askOkCancel(int id) {
  return pq::prompt().message(this, messageText(id), kCaption, pq::Icon::Question, pq::Buttons::OkCancel) ==
         pq::Answer::Ok;
}

void CHalcyoneDlg::CRDispDeviceMessage() {
  std::string text;
  const QString line = errorInformation(&text);
  if (line.isEmpty()) {
    appLog(9, "---CHalcyoneDlg::CRDispDeviceMessage: no error.");
    return;
  }
  status_->setText(line);
  appLog(6, "---CHalcyoneDlg::CRDispDeviceMessage: %s", text.c_str());
}

void CHalcyoneDlg::enableButtons(bool on) {
  for (QPushButton* b : buttons_) b->setEnabled(on);
  // Scan comes back only through the IP-set poll.
  if (!on) scan_->setEnabled(false);
}

void CHalcyoneDlg::enableConditions(bool on) {
  for (QWidget* w : std::initializer_list<QWidget*>{ipSize_, pitch_, sensitivity_, standard_, highSpeed_})
    w->setEnabled(on);
  if (container_ && container_->GetScanSpeedSlow()) fine_->setEnabled(on);
}

void CHalcyoneDlg::enableStudyFields(bool on) {
  for (QLineEdit* e : {id_, name_, description_}) e->setEnabled(on);
}

void CHalcyoneDlg::startTimer() { timer_->start(); }

void CHalcyoneDlg::stopTimer() { timer_->stop(); }

void CHalcyoneDlg::dropPreview() {
  if (!miniscreen_->m_DIB.exists()) return;
  miniscreen_->m_DIB.Delete();
  miniscreen_->RedrawNow();
}

int CHalcyoneDlg::selectedPitch() const {
  const auto value = pq::parseInt(pitch_->currentText());
  return value ? static_cast<int>(*value) : 0;
}

int CHalcyoneDlg::selectedSpeed() const {
  if (highSpeed_->isChecked()) return 1;
  if (standard_->isChecked()) return 2;
  return 3;
}

bool CHalcyoneDlg::sendScanPara(const char* caller) {
  const IPSizeDefinition* plate = container_->GetIPSizeById(ipSize_->currentIndex() + 1);
  set_scan_para para{};
  para.width_mm = plate ? plate->mmWidth : 0;
  para.height_mm = plate ? plate->mmHeight : 0;
  para.pitch_um = selectedPitch();
  para.scan_mode = selectedSpeed();
  para.erase_mode = container_->GetEraseMode();
  para.sensitivity = static_cast<std::int32_t>(pq::parseInt(sensitivity_->text()).value_or(0));
  para.image_photometrics = container_->GetImagePhotometrics();
  // The engine writes the fitted length back; the log shows what was asked for.
  const set_scan_para asked = para;
  if (!QuorinSetScanPara(&para)) {
    appLog(1, "---CHalcyoneDlg::%s: QuorinSetScanPara() error.", caller);
    return false;
  }
  appLog(6,
         "---CHalcyoneDlg::%s: QuorinSetScanPara() imgW[%d]mm H[%d]mm pitch=%d speed=%d erase_mode=%d "
         "sensitivity=%d photometrics=%d",
         caller, asked.width_mm, asked.height_mm, asked.pitch_um, asked.scan_mode, asked.erase_mode,
         asked.sensitivity, asked.image_photometrics);
  return true;
}

void CHalcyoneDlg::saveWindowRect() {
  if (!container_) return;
  const QRect g = frameGeometry();
  container_->WriteWindowRect(WindowRect{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()});
  windowRectSaved_ = true;
}

// ---- the IP-set poll and the busy wait ---------------------------------------

void CHalcyoneDlg::OnTimer() {
  int flag = 0;
  if (QuorinGetIPSetFlag(&flag)) scan_->setEnabled(flag != 0);
}

bool CHalcyoneDlg::CRCheckBusy() {
  const int limit = container_->ReadBusyWaitLimitMs();
  const std::uint32_t limitMs = limit > 0 ? static_cast<std::uint32_t>(limit) : 0;
  const std::uint32_t start = platform::clock::tickCount();
  // The window keeps painting while the reader works; its controls are
  // disabled, and notifications wait until the action is over.
  busyWaiting_ = true;
  bool ok = false;
  for (;;) {
    int busy = 0;
    if (!QuorinGetBusyFlag(&busy)) {
      appLog(1, "---CHalcyoneDlg::CRCheckBusy: QuorinGetBusyFlag() error");
      CRDispDeviceMessage();
      break;
    }
    if (busy == 0) {
      ok = true;
      break;
    }
    if (platform::clock::elapsedSince(start) > limitMs) {
      setStatus(300);
      appLog(1, "---CHalcyoneDlg::CRCheckBusy: Timeout(%d msec)", limit);
      break;
    }
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    platform::clock::sleep(1);
  }
  busyWaiting_ = false;
  // Back into the queue, in their order, behind the end of this action.
  while (!deferred_.empty()) {
    platform::post(messageHandle(), deferred_.front());
    deferred_.pop_front();
  }
  return ok;
}

// ---- buttons -----------------------------------------------------------------

void CHalcyoneDlg::OnBtnClearInfo() {
  id_->clear();
  name_->clear();
  description_->clear();
}

void CHalcyoneDlg::OnBtnErase() {
  appLog(6, "---CHalcyoneDlg::OnBtnErase: PushButton");
  clearStatus();
  stopTimer();
  enableButtons(false);
  dropPreview();
  auto back = [this] {
    enableButtons(true);
    startTimer();
  };
  if (!readControls()) {
    back();
    return;
  }
  if (!sendScanPara("OnBtnErase")) {
    CRDispDeviceMessage();
    back();
    return;
  }
  if (!QuorinErase()) {
    appLog(1, "---CHalcyoneDlg::OnBtnErase: QuorinErase() error.");
    CRDispDeviceMessage();
    back();
    return;
  }
  if (CRCheckBusy()) setStatus(605);
  back();
}

void CHalcyoneDlg::OnBtnEject() {
  appLog(6, "---CHalcyoneDlg::OnBtnEject: PushButton");
  clearStatus();
  stopTimer();
  enableButtons(false);
  if (!QuorinEject()) {
    appLog(1, "---CHalcyoneDlg::OnBtnOptionEject: QuorinEject() error.");
    CRDispDeviceMessage();
  } else if (CRCheckBusy()) {
    setStatus(606);
  }
  enableButtons(true);
  startTimer();
}

void CHalcyoneDlg::OnBtnErrorReset() {
  appLog(6, "---CHalcyoneDlg::OnBtnErrorReset: PushButton");
  stopTimer();
  enableButtons(false);
  if (!QuorinErrorReset()) {
    appLog(1, "---CHalcyoneDlg::OnBtnErrorReset: QuorinErrorReset() error.");
    CRDispDeviceMessage();
  } else if (CRCheckBusy()) {
    clearStatus();
  }
  enableButtons(true);
  startTimer();
}

void CHalcyoneDlg::OnBtnLog() {
  appLog(6, "---CHalcyoneDlg::OnBtnLog: PushButton");
  clearStatus();
  stopTimer();
  enableButtons(false);
  auto back = [this] {
    enableButtons(true);
    startTimer();
  };
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kLogBufferSize]);
  if (!buffer) {
    appLog(1, "---CHalcyoneDlg::OnBtnLog: Log buffer memory insuff error.");
    setStatus(304);
    back();
    return;
  }
  int size = 0;
  if (!QuorinGetDeviceLogInfo(buffer.get(), kLogBufferSize, &size)) {
    appLog(1, "---CHalcyoneDlg::OnBtnLog: QuorinGetDeviceLogInfo() error.");
    CRDispDeviceMessage();
    back();
    return;
  }
  QString file = pq::prompt().saveFileName(this, QString(), QStringLiteral("ScannerLog.txt"),
                                           QStringLiteral("TXT Files(*.txt)"));
  if (file.isEmpty()) {
    appLog(6, "---CHalcyoneDlg::OnBtnLog: LogFilename Dialog Cancel.");
  } else {
    if (QFileInfo(file).suffix().isEmpty()) file += ".txt";
    const std::string path = file.toStdString();
    // The engine's count is not trusted beyond the buffer it was given.
    const std::size_t bytes = size > 0 ? static_cast<std::size_t>(std::min(size, kLogBufferSize)) : 0;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) out.write(buffer.get(), static_cast<std::streamsize>(bytes));
    if (out) out.close();
    if (out) {
      appLog(6, "---CHalcyoneDlg::OnBtnLog: write LogFile=%s", path.c_str());
    } else {
      appLog(1, "---CHalcyoneDlg::OnBtnLog: write LogFile error.");
    }
  }
  back();
}

void CHalcyoneDlg::OnAbout() {
  pq::prompt().message(this, QStringLiteral("Halcyone Version %1").arg(QString::fromUtf8(platform::kVersion)),
                       QStringLiteral("About Halcyone"), pq::Icon::Information, pq::Buttons::Ok);
}

// ---- closing -----------------------------------------------------------------

bool CHalcyoneDlg::OnClose() {
  if (!close_->isEnabled()) {
    warn(503);
    appLog(6, "---CHalcyoneDlg::OnClose: In processing. Cannot Exit!");
    return false;
  }
  if (holdsImage() && !askOkCancel(500)) {
    appLog(6, "---CHalcyoneDlg::OnClose: (disp msgbox)Previous scan data/image is left.");
    return false;
  }
  stopTimer();
  return true;
}

void CHalcyoneDlg::OnBtnClose() {
  if (holdsImage() && !askOkCancel(500)) {
    appLog(6, "---CHalcyoneDlg::OnBtnClose: (disp msgbox)Previous scan data/image is left.");
    return;
  }
  appLog(6, "---CHalcyoneDlg::OnBtnClose: PushButton");
  done(QDialog::Rejected);
}

void CHalcyoneDlg::reject() {
  if (OnClose()) done(QDialog::Rejected);
}

void CHalcyoneDlg::closeEvent(QCloseEvent* event) {
  if (!isVisible() || OnClose()) {
    event->accept();
    if (isVisible()) done(QDialog::Rejected);
  } else {
    event->ignore();
  }
}

void CHalcyoneDlg::done(int result) {
  stopTimer();
  saveWindowRect();
  QDialog::done(result);
}

}  // namespace crapp
