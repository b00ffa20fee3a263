// The running scan: the progress dialog 147 and the controller through which
// the scan's worker thread reaches the UI thread. Every device call runs on
// the UI thread; the worker only asks for them and paces the reads.
#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <functional>

class QLabel;

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
// queues it. Calls meant for the progress dialog find it gone once it ended.
class ScanController : public QObject {
 public:
  explicit ScanController(CScanProgressDlg* progress) : progress_(progress) {}
  int send(const std::function<int()>& call);
  void post(std::function<void()> call);
  // Queued: the dialog's caption and text, while it is open.
  void postProgressText(const QString& caption, const QString& text);
  // Queued: ends the dialog with a command (1 OK, 2 Cancel), while it is open.
  void postCommand(int command);
  CScanProgressDlg* progress() const { return progress_.data(); }

 private:
  QPointer<CScanProgressDlg> progress_;
};

}  // namespace scanui::internal
