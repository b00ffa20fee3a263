// The save dialog, its eight types and the checks before it closes.
#include "viewer/app/dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>
#include <cctype>

#include "platform/qt/control.h"
#include "platform/qt/prompt.h"
#include "viewer/app/control_ids.h"
#include "viewer/app/file_types.h"
#include "viewer/app/settings.h"
#include "viewer/app/texts.h"

namespace viewer::app {

using platform::qt::Answer;
using platform::qt::Buttons;
using platform::qt::Icon;
using platform::qt::prompt;
using platform::qt::setControlId;

namespace {

constexpr const char* kSaveTypes[8][2] = {
    {QT_TRANSLATE_NOOP("Tivola", "TIFF files(*.tif)"), ".TIF"},
    {QT_TRANSLATE_NOOP("Tivola", "DICONDE files(*.dcm)"), ".DCM"},
    {QT_TRANSLATE_NOOP("Tivola", "DICONDE(JPEG) files(*.dcm)"), ".DCM"},
    {QT_TRANSLATE_NOOP("Tivola", "JPEG files(*.jpg)"), ".JPG"},
    {QT_TRANSLATE_NOOP("Tivola", "Raw files Windows Format(*.raw)"), ".RAW"},
    {QT_TRANSLATE_NOOP("Tivola", "Raw files Macintosh Format(*.raw)"), ".RAW"},
    {QT_TRANSLATE_NOOP("Tivola", "BMP files(*.bmp)"), ".BMP"},
    {QT_TRANSLATE_NOOP("Tivola", "PGM files(*.pgm)"), ".PGM"},
};

int clampType(int typeIndex) { return std::clamp(typeIndex, 1, 8); }

}  // namespace

QString saveTypeFilter(int typeIndex) { return QString::fromLatin1(kSaveTypes[clampType(typeIndex) - 1][0]); }
QString saveTypeExtension(int typeIndex) { return QString::fromLatin1(kSaveTypes[clampType(typeIndex) - 1][1]); }

CMyFileDialog::CMyFileDialog(const QString& title, int typeIndex, const QString& fileName, SaveCheckContext context,
                             QWidget* parent)
    : QFileDialog(parent), context_(std::move(context)) {
  setOption(QFileDialog::DontUseNativeDialog, true);
  setAcceptMode(QFileDialog::AcceptSave);
  setFileMode(QFileDialog::AnyFile);
  // The chain below asks about existing files itself.
  setOption(QFileDialog::DontConfirmOverwrite, true);
  setWindowTitle(title);
  QStringList filters;
  for (int i = 1; i <= 8; ++i) filters << text(kSaveTypes[i - 1][0]);
  setNameFilters(filters);
  selectNameFilter(filters[clampType(typeIndex) - 1]);
  selectFile(fileName);

  box_ = new QCheckBox(Tivola::tr("&Save in a new folder"), this);
  setControlId(box_, ids::kSaveNewFolder);
  auto* label = new QLabel(Tivola::tr("N&ew folder name:"), this);
  folderName_ = new QLineEdit(this);
  setControlId(folderName_, ids::kNewFolderName);
  label->setBuddy(folderName_);
  if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
    const int row = grid->rowCount();
    grid->addWidget(box_, row, 0, 1, -1);
    grid->addWidget(label, row + 1, 0);
    grid->addWidget(folderName_, row + 1, 1, 1, -1);
  }
  const bool checked = context_.saveNewFolder != nullptr && *context_.saveNewFolder != 0;
  box_->setChecked(checked);
  folderName_->setEnabled(checked);
  connect(box_, &QCheckBox::toggled, folderName_, &QLineEdit::setEnabled);
  connect(this, &QFileDialog::directoryEntered, this, [this](const QString& d) { folderEntered(d); });
  if (auto* types = findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
    types->setMinimumHeight(0);
    connect(types, &QComboBox::currentIndexChanged, this, [this](int i) { typeChanged(i); });
    // A pick in the list also lets the framework's dialog put its own lower-case
    // extension in (after the change above): the name set here is put back.
    connect(types, &QComboBox::activated, this, [this] {
      if (auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); edit && !nameForType_.isNull())
        edit->setText(nameForType_);
      nameForType_ = QString();
    });
  }
  folderEntered(directory().absolutePath());
}

int CMyFileDialog::selectedType() const {
  const int at = int(nameFilters().indexOf(selectedNameFilter()));
  return at < 0 ? 1 : at + 1;
}

void CMyFileDialog::folderEntered(const QString& folder) {
  // The first "IMG%03d" not taken in the folder.
  for (int n = 1; n <= 999; ++n) {
    const QString name = QStringLiteral("IMG%1").arg(n, 3, 10, QLatin1Char('0'));
    if (!QFileInfo::exists(QDir(folder).filePath(name))) {
      folderName_->setText(name);
      return;
    }
  }
}

void CMyFileDialog::typeChanged(int index) {
  auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  if (edit == nullptr || index < 0 || index >= 8) return;
  const QString name = edit->text();
  nameForType_ = name;
  if (name.endsWith(QLatin1Char('"'))) return;
  const qsizetype slash = std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  if (dot < 0 || dot < slash) return;
  nameForType_ = name.left(dot) + QString::fromLatin1(kSaveTypes[index][1]);
  edit->setText(nameForType_);
}

bool CMyFileDialog::checkName(const QString& chosen) {
  namespace fs = std::filesystem;
  const fs::path path(chosen.toStdString());
  auto warn = [this](const char* english, Buttons buttons = Buttons::Ok) {
    return prompt().message(this, text(english), appCaption(), Icon::Warning, buttons);
  };
  if (!context_.workRoot.empty() && isWorkRoot(path.parent_path(), context_.workRoot)) {
    warn(QT_TRANSLATE_NOOP("Tivola",
                           "Selected folder is reserved for work space.\nPlease select another folder to save."));
    return false;
  }
  QString newFolder;
  if (box_->isChecked()) {
    const fs::path folder = path.parent_path() / folderName_->text().toStdString();
    std::error_code ec;
    if (folderName_->text().isEmpty() || fs::exists(folder, ec)) {
      warn(QT_TRANSLATE_NOOP("Tivola", "The folder already exist.\nUse another name."));
      return false;
    }
    newFolder = QString::fromStdString(folder.string()).left(300);
  }
  const std::string ext = extensionOf(path.filename().string());
  std::string lower = ext;
  for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
  if (lower != ".dcm" && lower != ".tif" && lower != ".bmp" && lower != ".pgm" && lower != ".jpg" &&
      lower != ".raw") {
    warn(QT_TRANSLATE_NOOP("Tivola", "Use .dcm, .tif, .bmp, .pgm or .raw as extension."));
    return false;
  }
  const int type = selectedType();
  const SeriesPattern pattern = seriesPattern(path.filename().string());
  if (!pattern.valid && context_.imagesToSave > 1) {
    warn(QT_TRANSLATE_NOOP("Tivola", "To save two or more images, filenames should include numbers."));
    return false;
  }
  if (newFolder.isEmpty()) {
    for (int i = 0; i < std::max(context_.imagesToSave, 1); ++i) {
      const fs::path target = pattern.valid ? path.parent_path() / pattern.name(pattern.start + i) : path;
      std::error_code ec;
      if (!fs::exists(target, ec)) continue;
      if (warn(QT_TRANSLATE_NOOP("Tivola", "The new filename is already assigned.\nAre you sure to overwrite?"),
               Buttons::YesNo) == Answer::No)
        return false;
      break;
    }
  }
  auto askQuality = [this] {
    JpegQualityDialog q(context_.jpegQuality ? *context_.jpegQuality : 75, this);
    if (q.exec() != QDialog::Accepted) return false;
    if (context_.jpegQuality) *context_.jpegQuality = q.quality();
    return true;
  };
  if (lower == ".dcm" && !context_.studyDataValid) {
    if (!context_.editStudyData || !context_.editStudyData()) return false;
    if (type == 3 && !askQuality()) return false;
  }
  if (lower == ".jpg" && !askQuality()) return false;
  if ((lower == ".bmp" || lower == ".pgm") && context_.deepImages) {
    ConvertTo8BitDialog convert(this);
    if (convert.exec() != QDialog::Accepted) return false;
  }
  chosenType_ = type;
  newFolderPath_ = newFolder;
  if (context_.saveNewFolder) *context_.saveNewFolder = box_->isChecked() ? 1 : 0;
  return true;
}

void CMyFileDialog::accept() {
  const QStringList files = selectedFiles();
  if (files.isEmpty() || !checkName(files.first())) return;
  QFileDialog::accept();
}

}  // namespace viewer::app
