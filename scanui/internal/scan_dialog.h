// CScanDlg: the library's one scan dialog object. The object lives as long as
// the library; its window exists only between create() and destroy(), so no
// widget outlives the host's application or the library.
#pragma once

#include <QPointer>
#include <QString>

#include "platform/library.h"
#include "scanui/scanui.h"

class QDialog;
class QWidget;

namespace scanui::internal {

class CScanDlg {
 public:
  CScanDlg();  // loads the moire filter library
  ~CScanDlg();
  CScanDlg(const CScanDlg&) = delete;
  CScanDlg& operator=(const CScanDlg&) = delete;

  void enableStudy(StudyData* study, int enable, int expanded);

  // The modeless window over `host` (may be null); `visible` false keeps it
  // hidden. Null when there is no widget application.
  QWidget* create(QWidget* host, const QString& caption, bool visible);
  // Destroys the window; 1 when there was one.
  int destroy();
  QWidget* window() const;

  bool suppress190mmWarning() const { return suppress190_; }
  bool moireLoaded() const { return moire_.isOpen(); }
  int cease();
  int autofeederCount() const;
  int resetAutofeeder();

 private:
  void exit();

  QPointer<QDialog> window_;
  platform::Library moire_;
  StudyData* study_ = nullptr;
  int studyEnable_ = 0;
  int studyExpanded_ = 0;
  int ceased_ = 0;
  bool suppress190_ = false;
};

// The caption of the dialog: the template's, then " (", the suffix and ")".
QString scanCaption(const char* suffix);

}  // namespace scanui::internal
