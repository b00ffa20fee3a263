// CScanMessageDlg: the scan UI's small modal boxes, each from its own
// template, optionally polling a function once a second.
#pragma once

#include <QDialog>
#include <functional>

class QTimer;

namespace scanui::internal {

// The templates.
enum ScanMessage : int {
  kMsgNotConnected = 134,
  kMsgOdRange = 135,
  kMsgOverwriteScout = 136,
  kMsgSetFilm = 139,
  kMsgNoMemory = 148,
  kMsgApplyChanges = 149,
  kMsgFilmSize19cm = 150,
};

inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdMoveFilm = 1550;
inline constexpr int kIdDontShow = 1040;
inline constexpr int kIdIcon = 1034;

class CScanMessageDlg : public QDialog {
 public:
  // `poll`: asked once a second; a non-zero answer closes the box as OK.
  // `moveFilm`: what "&Move the film forward" does.
  CScanMessageDlg(int templateId, QWidget* parent, std::function<int()> poll = {},
                  std::function<void()> moveFilm = {});
  // True when closed with OK.
  bool run();
  // Box 150's check box.
  bool dontShowAgain() const;
  void pollOnce();

 private:
  std::function<int()> poll_;
  QTimer* timer_ = nullptr;
};

}  // namespace scanui::internal
