// The viewer's small dialogs: About, Options, Set Working Directory, the RAW
// parameters, the JPEG quality, the open dialog, "Sorry, but..." and "Opening".
#pragma once
#include <QDialog>
#include <QFileDialog>
#include <QStringList>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "viewer/formats/format_support.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
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

// "Convert to 8-bit and save": Continue accepts.
class ConvertTo8BitDialog : public QDialog {
 public:
  explicit ConvertTo8BitDialog(QWidget* parent = nullptr);
};

// "Confirmation": the text and the first button's caption may be replaced
// before it opens; that button accepts.
class ConfirmationDialog : public QDialog {
 public:
  explicit ConfirmationDialog(QWidget* parent = nullptr);
  void setText(const QString& text);
  void setCloseCaption(const QString& caption);

 private:
  QLabel* text_;
  QPushButton* close_;
};

// The fields of "Edit Study Data" as the operator sees them; "*" marks a
// field that differs between the images and keeps each image's own value.
struct StudyFields {
  QString componentName, componentId;
  QString manufacturingYear, manufacturingMonth, manufacturingDay;
  int sex = -1;  // 0 Male, 1 Female, 2 Other, 3 Blank, 4 Keep Mixed
  QString studyYear, studyMonth, studyDay;
  QString studyId, studyDescription;
};
// A date of one image as its three parts.
struct StudyDate {
  QString year, month, day;
};

// "Edit Study Data" (dialog 149). The images' own dates stand in for blank date fields.
class EditStudyDataDialog : public QDialog {
 public:
  EditStudyDataDialog(const StudyFields& fields, std::vector<StudyDate> ownManufacturing,
                      std::vector<StudyDate> ownStudy, std::vector<bool> ownName, std::vector<bool> ownId,
                      bool saveMode, int currentYear, QWidget* parent = nullptr);
  StudyFields fields() const;
  // The id of the first field that fails its check, or 0.
  int firstInvalidField() const;
  void accept() override;

 private:
  QLineEdit* edit(int id) const;
  void limitTyping(QLineEdit* box);
  // The description: the typing limit, and a longer text the image brought kept.
  void limitTyping(QPlainTextEdit* description, const QString& brought);
  std::vector<StudyDate> ownManufacturing_, ownStudy_;
  std::vector<bool> ownName_, ownId_;
  bool saveMode_;
  int currentYear_;
};

// Bytes of a text in the DICONDE encoding.
std::size_t dicondeLength(const QString& text);

// What the save dialog's checks need to know of the save.
struct SaveCheckContext {
  std::filesystem::path workRoot;
  int imagesToSave = 1;
  bool studyDataValid = true;
  bool deepImages = false;  // some image in scope has more than 8 bits stored
  int* saveNewFolder = nullptr;  // the setting the box starts from and is stored into
  int* jpegQuality = nullptr;
  // Edits the study data of the images in scope; false when cancelled. Null:
  // invalid study data cannot be mended here, and a DICONDE save is refused.
  std::function<bool()> editStudyData;
};

// The save dialog: always the non-native dialog, with "&Save in a new folder"
// and the checks that run before it may close.
class CMyFileDialog : public QFileDialog {
 public:
  // typeIndex 1..8 selects the type; fileName is offered in the name box.
  CMyFileDialog(const QString& title, int typeIndex, const QString& fileName, SaveCheckContext context,
                QWidget* parent = nullptr);
  // The chain of checks on a chosen path; false keeps the dialog open.
  bool checkName(const QString& path);
  void accept() override;

  int typeIndex() const { return chosenType_; }
  bool dicondeJpeg() const { return chosenType_ == 3; }
  bool inNewFolder() const { return newFolderPath_.size() > 0; }
  const QString& newFolderPath() const { return newFolderPath_; }
  // The type whose filter entry is selected, 1..8.
  int selectedType() const;

 private:
  void folderEntered(const QString& folder);
  void typeChanged(int index);
  SaveCheckContext context_;
  QCheckBox* box_;
  QLineEdit* folderName_;
  int chosenType_ = 0;
  QString newFolderPath_;
  QString nameForType_;  // the name box as the last type change left it
};

// The eight save types, index 1..8: the filter entry and the extension offered.
QString saveTypeFilter(int typeIndex);
QString saveTypeExtension(int typeIndex);

}  // namespace viewer::app
