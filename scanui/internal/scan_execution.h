// The running scan: the progress dialog 147 and the controller through which
// the scan's worker thread reaches the UI thread. Every device call runs on
// the UI thread; the worker only asks for them and paces the reads.
#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class QLabel;
class QSocketNotifier;

namespace scanui::internal {

class CScanProgressDlg : public QDialog {
 public:
  explicit CScanProgressDlg(QWidget* parent);
  void setText(const QString& text);

 private:
  QLabel* text_ = nullptr;
};

// Lives on the UI thread for one scan. send() blocks the calling worker until
// the UI thread ran the call (served inside any nested event loop); post()
// queues it. The worker touches nothing of Qt: its calls wait in a queue of
// our own, and a descriptor wakes the UI thread. Calls meant for the progress
// dialog find it gone once it ended.
class ScanController : public QObject {
 public:
  explicit ScanController(CScanProgressDlg* progress);
  ~ScanController() override;
  ScanController(const ScanController&) = delete;
  ScanController& operator=(const ScanController&) = delete;

  // False when the UI thread cannot be woken; no scan starts then.
  bool usable() const { return wake_ >= 0; }
  int send(std::function<int()> call);
  void post(std::function<int()> call);
  // Queued: the dialog's caption and text become the scanning ones, while it is open.
  void postScanningText();
  // Queued: ends the dialog with a command (1 OK, 2 Cancel), while it is open.
  void postCommand(int command);

 private:
  struct Item {
    std::function<int()> call;
    bool wait = false;
    bool done = false;
    int answer = 0;
  };
  void enqueue(const std::shared_ptr<Item>& item);
  void serve();

  QPointer<CScanProgressDlg> progress_;
  std::mutex mutex_;
  std::condition_variable answered_;
  std::deque<std::shared_ptr<Item>> queue_;
  int wake_ = -1;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace scanui::internal
