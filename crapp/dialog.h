// The CR program's only window, dialog 102 "HalcyoneScan": scan conditions,
// study fields, the preview pane and the scanner actions. It owns the data
// container and is the window the CR engine posts its notifications to.
#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <vector>

#include "crapp/miniscreen.h"
#include "crapp/site.h"
#include "platform/messages.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace platform::qt {
class QtMessageTarget;
}

namespace crapp {

class CDataContainer;

// Control ids; each is the control's objectName.
enum ControlId : int {
  IDC_OK = 1,
  IDC_CANCEL = 2,
  IDC_BTN_CLOSE = 1000,
  IDC_STATUS = 1001,
  IDC_BTN_ERASE = 1002,
  IDC_BTN_EJECT = 1003,
  IDC_BTN_RESET_ERROR = 1004,
  IDC_BTN_LOG = 1005,
  IDC_BTN_SCAN = 1006,
  IDC_BTN_SAVE = 1008,
  IDC_EDIT_ID = 1009,
  IDC_EDIT_NAME = 1010,
  IDC_EDIT_DESCRIPTION = 1011,
  IDC_EDIT_SENSITIVITY = 1012,
  IDC_COMBO_IPSIZE = 1013,
  IDC_COMBO_PITCH = 1014,
  IDC_RADIO_STANDARD = 1015,
  IDC_RADIO_HIGHSPEED = 1016,
  IDC_BTN_CLEAR_INFO = 1017,
  IDC_RADIO_FINE = 1018,
  IDC_MINISCREEN = 1114,
  IDM_ABOUTBOX = 0x10,
};

// The program's own texts by string id, in English.
QString messageText(int id);

// Why the program cannot start: an instance lock that cannot be made in
// `folder` (errno `error`), or folders the site ini names that cannot be used.
QString lockFailureText(const std::filesystem::path& folder, int error);
QString folderProblemText(const FolderProblem& problem, const std::filesystem::path& dataFolder,
                          const std::filesystem::path& siteIni);
// Says so in a box under the program's caption, before or instead of its window.
void showStartFailure(QWidget* owner, const QString& text);

class CHalcyoneDlg : public QDialog {
 public:
  static constexpr int kPreviewWidth = 500;
  static constexpr int kPreviewHeight = 670;
  static constexpr int kTimerMs = 250;

  explicit CHalcyoneDlg(std::filesystem::path programDir, QWidget* parent = nullptr);
  ~CHalcyoneDlg() override;

  // The constructor could not make the data container or the preview buffer.
  bool initFailed() const { return initFailed_; }
  // Fills the controls and starts the engine; false when the engine could
  // not start and the operator gave up (the program then ends).
  bool OnInitDialog();

  platform::WindowHandle messageHandle() const;
  CDataContainer* container() const { return container_.get(); }
  CMiniscreen* miniscreen() const { return miniscreen_; }
  bool timerRunning() const;

  // Escape takes the same road as the window's close button.
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void done(int result) override;

 private:
  void buildControls();
  void onEngineMessage(const platform::Message& message);
  void OnAcquireStarted();
  void OnAcquireRefresh();
  void OnAcquireCanceled();
  void OnAcquireComplete();
  void OnAcquireCompleteAll();
  void OnAcquireError();

  void OnBtnScan();
  void OnBtnSave();
  void OnBtnClose();
  void OnBtnClearInfo();
  void OnBtnErase();
  void OnBtnEject();
  void OnBtnErrorReset();
  void OnBtnLog();
  void OnTimer();
  void OnAbout();
  // True when the window may close; asks or warns as needed.
  bool OnClose();

  bool readControls();
  bool holdsImage() const;
  void setStatus(int id);
  void clearStatus();
  void CRDispDeviceMessage();
  bool CRCheckBusy();
  void enableButtons(bool on);
  void enableConditions(bool on);
  void enableStudyFields(bool on);
  void startTimer();
  void stopTimer();
  void dropPreview();
  int selectedPitch() const;
  int selectedSpeed() const;
  bool sendScanPara(const char* caller);
  void saveWindowRect();
  bool warn(int id);
  bool askOkCancel(int id);

  std::filesystem::path programDir_;
  std::unique_ptr<CDataContainer> container_;
  bool initFailed_ = false;
  std::unique_ptr<std::uint16_t[]> preview16_;
  bool engineStarted_ = false;
  bool windowRectSaved_ = false;

  // Scan state beyond the container's records.
  bool scanRunning_ = false;
  bool scanCompleted_ = false;
  int scanWidth_ = 0, scanHeight_ = 0, scanDepth_ = 0;
  ToneParameters tone_;
  std::string rawPath_;

  // Notifications that arrive during a busy wait are handled after it, in order.
  bool busyWaiting_ = false;
  std::deque<platform::Message> deferred_;

  CMiniscreen* miniscreen_ = nullptr;
  QLabel* status_ = nullptr;
  QComboBox* ipSize_ = nullptr;
  QComboBox* pitch_ = nullptr;
  QLineEdit* sensitivity_ = nullptr;
  QRadioButton* standard_ = nullptr;
  QRadioButton* highSpeed_ = nullptr;
  QRadioButton* fine_ = nullptr;
  QLineEdit* id_ = nullptr;
  QLineEdit* name_ = nullptr;
  QLineEdit* description_ = nullptr;
  std::vector<QPushButton*> buttons_;  // the enable group, Scan excluded
  QPushButton* scan_ = nullptr;
  QPushButton* close_ = nullptr;
  QTimer* timer_ = nullptr;
  std::unique_ptr<platform::qt::QtMessageTarget> target_;
};

}  // namespace crapp
