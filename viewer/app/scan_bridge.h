// The acquisition bridge: scans films through the film-scan UI library into a
// scan table, one temporary file per scan in the run's work folder.
#pragma once
#include <QObject>
#include <QPointer>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/library.h"
#include "scanui/scanui.h"
#include "viewer/image_model.h"

class QEventLoop;
class QSocketNotifier;
class QWidget;

namespace viewer::app {

struct Settings;

class ScanBridge : public QObject {
 public:
  static constexpr double kMinFreeBytes = 10000000.0;
  static constexpr int kMaxWorkFolders = 1000;

  // The one bridge of the process.
  static ScanBridge& instance();

  // What the bridge needs of the program; set by the application.
  void attach(QWidget* mainWindow, Settings* settings, const std::filesystem::path& workRoot);
  // Tests put a smaller drive in; null restores the real free space.
  void setFreeSpaceProbe(std::function<double(const std::filesystem::path&)> probe);

  // Loads the library, asks whether any digitizer answers and frees it again;
  // 0 when the library cannot be loaded or bound.
  int probe();
  // Makes the work folder once per run (and again after it was removed);
  // false after its message.
  bool makeWorkFolder();
  // Runs the scan dialog over `table`, prefilled from `prefill` (or cleared);
  // the new scans are appended and take the study data the dialog holds at
  // close. The number of images in the table afterwards, 0 when the library
  // fails to load.
  int scanRun(const CImageItem* prefill, CImageTable& table);
  // Removes the work folder when it is empty, so the next run makes it again.
  void removeWorkFolderIfEmpty();

  const std::filesystem::path& workFolder() const { return workFolder_; }
  int tempCounter() const { return tempCounter_; }
  bool running() const { return running_; }
  const scanui::StudyData& study() const { return study_; }

  // Copies the study record into the item's study information.
  static void applyStudy(const scanui::StudyData& study, CImageItem& item);
  // Fills the study record from the item's study information; null clears it.
  static void prepareStudy(const CImageItem* item, scanui::StudyData& study);

 private:
  ScanBridge();
  struct Exports {
    scanui::SetDSProcAddressFn setDSProcAddress = nullptr;
    scanui::InitUIFn initUI = nullptr;
    scanui::ShowUIFn showUI = nullptr;
    scanui::HideUIFn hideUI = nullptr;
    scanui::TermUIFn termUI = nullptr;
    scanui::GetScanDataFn getScanData = nullptr;
    scanui::ReleaseScanDataFn releaseScanData = nullptr;
    scanui::EnableDICOMFieldFn enableDICOMField = nullptr;
    scanui::GetAutofeederCountFn getAutofeederCount = nullptr;
    scanui::ResetAutofeederCountFn resetAutofeederCount = nullptr;
    scanui::IsThereAnyDigitizerAvailableFn isThereAnyDigitizerAvailable = nullptr;
  };
  bool loadLibrary();
  bool bind();
  void unload();
  void transferReadyOnUiThread();
  void addScannedImage(const scanui::ScanData& scan);
  // Tells the operator that the temporary copy of a scan was not written and why.
  void reportCopyNotKept(int error);
  void closeRequestOnUiThread();
  std::intptr_t mainHandle() const;

  static int transferReady();
  static int closeRequest();
  // A callback from another thread: handed to the UI thread, which runs it
  // inside whatever loop it is in, while the caller waits for the answer.
  enum class Call { None, TransferReady, CloseRequest };
  void callFromWorker(Call call);
  void serveWorkerCall();
  void openWorkerCalls();
  void refuseWorkerCalls();
  void closeWorkerCalls();

  QPointer<QWidget> main_;
  Settings* settings_ = nullptr;
  std::filesystem::path workRoot_;
  std::function<double(const std::filesystem::path&)> freeSpace_;
  platform::Library library_;
  Exports fn_;
  scanui::StudyData study_{};
  scanui::ScanData scan_{};
  CImageTable* table_ = nullptr;
  std::atomic<bool> running_{false};
  QEventLoop* loop_ = nullptr;
  std::filesystem::path workFolder_;
  int folderCounter_ = 0;
  int tempCounter_ = 0;

  std::mutex callMutex_;
  std::condition_variable callAnswered_;
  Call pendingCall_ = Call::None;  // under callMutex_
  bool acceptingCalls_ = false;    // under callMutex_
  int wakeFd_ = -1;
  std::unique_ptr<QSocketNotifier> wakeNotifier_;
};

}  // namespace viewer::app
