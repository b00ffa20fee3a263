// The viewer's small dialogs: About, Options, Set Working Directory, the RAW
// parameters, the JPEG quality, the open dialog, "Sorry, but..." and "Opening".
#pragma once
#include <QDialog>
#include <QFileDialog>
#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

#include "viewer/formats/format_support.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QRadioButton;
class QSlider;

namespace viewer::app {

// Decimal text with a comma before the last three and the last six digits
// (digits, not characters, are counted, so a sign never takes a comma).
QString groupedNumber(std::int64_t value);

class AboutDialog : public QDialog {
 public:
  explicit AboutDialog(QWidget* parent = nullptr);
};

// Dialog 140. The values are the settings' ShowDICOM and UseMIH.
class OptionsDialog : public QDialog {
 public:
  OptionsDialog(int showDicom, int useMih, int usePrivateTemp, const std::string& privateTempPath,
                QWidget* parent = nullptr);
  int showDicom() const;
  int useMih() const;
  // Set by "&Details..." when its dialog was accepted.
  bool workDirChanged = false;
  int usePrivateTemp;
  std::string privateTempPath;

 private:
  QCheckBox* showDicom_;
  QCheckBox* useMih_;
};

// Dialog 144.
class WorkDirDialog : public QDialog {
 public:
  WorkDirDialog(int usePrivateTemp, const std::string& privateTempPath, QWidget* parent = nullptr);
  // The caller's new UsePrivateTemp and PrivateTempPath.
  int usePrivateTemp() const;
  std::string privateTempPath() const;
  void accept() override;

 private:
  void updateEdit();
  QCheckBox* standard_;
  QLineEdit* edit_;
};

class RawParametersDialog : public QDialog {
 public:
  RawParametersDialog(const std::string& fileName, std::uint64_t fileSize, const formats::RawDialogValues& offered,
                      QWidget* parent = nullptr);
  formats::RawDialogValues values() const;
  void accept() override;

 private:
  void updateInformation();
  std::uint64_t fileSize_;
  QLineEdit* width_;
  QLineEdit* height_;
  QLineEdit* header_;
  QComboBox* depth_;
  QRadioButton* macintosh_;
  QRadioButton* windows_;
  QCheckBox* adopt_;
  QLabel* info1_;
  QLabel* info2_;
};

class JpegQualityDialog : public QDialog {
 public:
  explicit JpegQualityDialog(int quality, QWidget* parent = nullptr);
  int quality() const { return quality_; }
  void accept() override;

 private:
  void editChanged();
  QComboBox* preset_;
  QLineEdit* parameter_;
  QSlider* slider_;
  int quality_;
};

// The open dialog with "Open as a &Series"; always the non-native dialog, so
// the box can live in it.
class CMyFileDialogOpen : public QFileDialog {
 public:
  CMyFileDialogOpen(bool openSeries, const QString& filter, QWidget* parent = nullptr);
  bool openSeries() const { return series_; }

 private:
  void nameBoxChanged(const QString& names);
  QCheckBox* box_;
  bool series_;
  bool putAside_ = false;
};

// Dialog 141.
class FailedFilesDialog : public QDialog {
 public:
  FailedFilesDialog(const std::vector<std::string>& lines, QWidget* parent = nullptr);
};

// Dialog 175, shown while an open reads its files.
class OpeningDialog : public QDialog {
 public:
  explicit OpeningDialog(QWidget* parent = nullptr);
  void refresh(int filesDone, int files, std::uint64_t bytesDone, std::uint64_t totalBytes);
  bool cancelled() const { return cancelled_; }
  void reject() override;

 private:
  QProgressBar* bar_;
  QLabel* text_;
  bool cancelled_ = false;
};

}  // namespace viewer::app
