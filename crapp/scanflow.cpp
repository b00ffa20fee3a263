// The road of one plate through the main dialog: Scan, the engine's
// notifications, and Save.
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "crapp/datacontainer.h"
#include "crapp/dialog.h"
#include "crapp/internal/applog.h"
#include "crengine/quorin.h"
#include "platform/qt/numbers.h"

namespace crapp {

void CHalcyoneDlg::OnBtnScan() {
  appLog(6, "---CHalcyoneDlg::OnBtnScan: PushButton");
  if (!container_ || !preview16_ || !readControls()) return;
  if (holdsImage()) {
    if (!askOkCancel(500)) {
      appLog(6, "---CHalcyoneDlg::OnBtnScan: (disp msgbox)Previous scan data/image is left.");
      return;
    }
    container_->DeleteScanRecords();
    dropPreview();
  }
  const int ipSizeId = ipSize_->currentIndex() + 1;
  const int pitch = selectedPitch();
  if (!container_->CheckPairPitchAndSize(ipSizeId, pitch)) {
    warn(501);
    appLog(6, "---CHalcyoneDlg::OnBtnScan: (disp msgbox)Over an available image size.");
    return;
  }

  setStatus(600);
  container_->EmptyDataFolder();
  miniscreen_->m_DIB.Create(kPreviewWidth, kPreviewHeight);
  miniscreen_->scanning = false;
  miniscreen_->rotation = 0;
  miniscreen_->pixelsReady = 0;
  miniscreen_->RedrawNow();

  miniscreen_info mini{preview16_.get(), miniscreen_->m_DIB.bits(), kPreviewWidth, kPreviewHeight,
                       rawPath_.c_str()};
  if (!miniscreen_->m_DIB.exists() || !QuorinSetMiniscreenInfo(&mini)) {
    appLog(1, "---CHalcyoneDlg::OnBtnScan: QuorinSetMiniscreenInfo() error.");
    CRDispDeviceMessage();
    return;
  }
  const int speed = selectedSpeed();
  if (!sendScanPara("OnBtnScan")) {
    CRDispDeviceMessage();
    return;
  }
  const int sensitivity = static_cast<int>(platform::qt::parseInt(sensitivity_->text()).value_or(0));
  container_->CreateScanCondition(ScanCondition{ipSizeId, pitch, sensitivity, speed});

  get_scan_para got{};
  if (!QuorinGetScanPara(&got)) {
    appLog(1, "---CHalcyoneDlg::OnAcquireStarted: QuorinGetScanPara() error.");
    CRDispDeviceMessage();
    // Nothing was scanned: no record may stand for an image.
    container_->DeleteScanRecords();
    return;
  }
  scanWidth_ = got.width;
  scanHeight_ = got.height;
  scanDepth_ = got.depth;
  miniscreen_->imageWidth = got.width;
  miniscreen_->imageHeight = got.height;
  miniscreen_->imageDepth = got.depth;
  container_->CreateScanImage(
      ScanImage{got.height, got.width, got.depth, std::int64_t{got.width} * std::int64_t{got.height} * 2});

  if (!QuorinScan()) {
    appLog(1, "---CHalcyoneDlg::OnBtnScan: QuorinScan() error.");
    CRDispDeviceMessage();
    // A scan that never ran leaves nothing to save.
    container_->DeleteScanRecords();
    enableButtons(true);
    return;
  }
  appLog(6, "---CHalcyoneDlg::OnBtnScan: QuorinScan() Start!");
  scanRunning_ = true;
  scanCompleted_ = false;
  stopTimer();
  enableButtons(false);
  enableConditions(false);
  container_->WriteUISettings(UISettings{ipSizeId, pitch, sensitivity, speed});
}

void CHalcyoneDlg::OnAcquireStarted() {
  appLog(6, "---CHalcyoneDlg::OnAcquireStarted");
  miniscreen_->scanning = true;
  miniscreen_->pixelsReady = 0;
}

void CHalcyoneDlg::OnAcquireRefresh() {
  scan_status status{};
  if (!QuorinGetScanningStatus(&status)) {
    appLog(1, "---CHalcyoneDlg::OnAcquireRefresh: QuorinGetScanningStatus() error.");
    CRDispDeviceMessage();
    return;
  }
  miniscreen_->pixelsReady = status.MiniLine * kPreviewWidth;
  const auto& image = container_->scanImage();
  if (image && status.MiniLine < image->rows - 50) miniscreen_->RedrawNow();
}

void CHalcyoneDlg::OnAcquireCanceled() {
  appLog(6, "---CHalcyoneDlg::OnAcquireCanceled(by device cancel)");
  scan_status status{};
  if (!QuorinGetScanningStatus(&status)) {
    appLog(1, "---CHalcyoneDlg::OnAcquireRefresh: QuorinGetScanningStatus() error.");
    CRDispDeviceMessage();
  } else {
    miniscreen_->pixelsReady = status.MiniLine * kPreviewWidth;
    const auto& image = container_->scanImage();
    if (image && status.MiniLine < image->rows - 50) miniscreen_->RedrawNow();
    if (image) {
      ScanImage shorter = *image;
      // Only what arrived is kept; never more rows than the scan was made of.
      if (status.ScanLine >= 0 && status.ScanLine < shorter.rows) {
        shorter.rows = status.ScanLine;
        shorter.pixelBytes = std::int64_t{shorter.rows} * shorter.columns * 2;
      }
      container_->CreateScanImage(shorter);
    }
  }
  miniscreen_->scanning = false;
  setStatus(604);
}

void CHalcyoneDlg::OnAcquireComplete() {
  appLog(6, "---CHalcyoneDlg::OnAcquireComplete");
  // The engine says so only once the raw file and its companions are written.
  scanCompleted_ = true;
  miniscreen_->scanning = false;
  scan_status status{};
  if (!QuorinGetScanningStatus(&status)) {
    appLog(1, "---CHalcyoneDlg::OnAcquireComplete: QuorinGetScanningStatus() error.");
    CRDispDeviceMessage();
    enableButtons(true);
    enableConditions(true);
    startTimer();
    return;
  }
  tone_ = ToneParameters::forDepth(scanDepth_);
  appLog(9, "---CHalcyoneDlg::OnAcquireComplete: Depth=%d TONE_PARA1=%d  PARA2=%d  BASE=%d", scanDepth_,
         tone_.para1, tone_.para2, tone_.base);
  miniscreen_->pixelsReady = status.MiniLine * kPreviewWidth;
  miniscreen_->RedrawNow();
  if (miniscreen_->m_DIB.exists())
    AdjustContrastBright(kPreviewWidth, kPreviewHeight, 8, miniscreen_->m_DIB.bits(), tone_);
  miniscreen_->RedrawNow();
  setStatus(601);
}

void CHalcyoneDlg::OnAcquireCompleteAll() {
  scanRunning_ = false;
  enableButtons(true);
  enableConditions(true);
  startTimer();
  CRDispDeviceMessage();
}

void CHalcyoneDlg::OnAcquireError() {
  appLog(1, "---CHalcyoneDlg::OnAcquireError");
  // A plate that never arrived whole must not be saved as if it had; one
  // whose erase failed after it was complete is kept.
  const bool lost = scanRunning_ && !scanCompleted_;
  if (lost) {
    container_->DeleteScanRecords();
    // ... nor left in the pane as if it could.
    dropPreview();
  }
  scanRunning_ = false;
  miniscreen_->scanning = false;
  enableButtons(true);
  enableConditions(true);
  startTimer();
  // "Scanning........" no longer holds, whether or not the engine knows why.
  if (lost) clearStatus();
  CRDispDeviceMessage();
  if (lost) {
    appLog(1, "---CHalcyoneDlg::OnAcquireError: the image of the plate is lost.");
    const QString note = QCoreApplication::translate("Halcyone", "The image read from the plate was lost.");
    status_->setText(status_->text().isEmpty() ? note : status_->text() + QStringLiteral("  ") + note);
  }
}

void CHalcyoneDlg::OnBtnSave() {
  appLog(6, "---CHalcyoneDlg::OnBtnSave: PushButton");
  if (!container_ || !readControls()) return;
  if (id_->text().isEmpty() && name_->text().isEmpty()) {
    warn(502);
    appLog(6, "---CHalcyoneDlg::OnBtnSave: ID and Name is empty.");
    return;
  }
  if (!container_->scanImage()) {
    setStatus(505);
    appLog(6, "---CHalcyoneDlg::OnBtnSave: No scanning image.");
    return;
  }
  stopTimer();
  enableButtons(false);
  enableConditions(false);
  enableStudyFields(false);
  setStatus(602);
  container_->CreateScanInfomation(
      ScanInformation{id_->text().toStdString(), name_->text().toStdString(), description_->text().toStdString()});
  const bool saved = container_->OutputDICOM() != 0;
  if (!saved) {
    appLog(1, "---CHalcyoneDlg::OnBtnSave: OutputDICOM() error");
    setStatus(301);
  } else {
    setStatus(603);
    container_->DeleteScanRecords();
    dropPreview();
  }
  enableButtons(true);
  enableConditions(true);
  enableStudyFields(true);
  startTimer();
  miniscreen_->RedrawNow();
}

}  // namespace crapp
