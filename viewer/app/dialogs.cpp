#include "viewer/app/dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QTextCursor>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <cmath>

#include "platform/qt/control.h"
#include "platform/qt/numbers.h"
#include "platform/qt/prompt.h"
#include "platform/qt/record_field.h"
#include "platform/text.h"
#include "viewer/formats/diconde.h"
#include "viewer/app/control_ids.h"
#include "viewer/app/file_types.h"
#include "viewer/app/settings.h"
#include "viewer/app/texts.h"
#include "viewer/strings.h"

namespace viewer::app {

using platform::qt::Answer;
using platform::qt::Buttons;
using platform::qt::Icon;
using platform::qt::prompt;
using platform::qt::setControlId;

namespace {

// Enter in an edit box never presses a button.
QPushButton* button(QWidget* parent, const char* caption, int id) {
  auto* b = new QPushButton(text(caption), parent);
  setControlId(b, id);
  b->setAutoDefault(false);
  return b;
}

// OK and Cancel in a row, wired to accept and reject.
QHBoxLayout* okCancel(QDialog* d, const char* ok = QT_TRANSLATE_NOOP("Tivola", "OK"),
                      const char* cancel = QT_TRANSLATE_NOOP("Tivola", "Cancel")) {
  auto* row = new QHBoxLayout;
  row->addStretch();
  QPushButton* okButton = button(d, ok, ids::kOk);
  QPushButton* cancelButton = button(d, cancel, ids::kCancel);
  QObject::connect(okButton, &QPushButton::clicked, d, &QDialog::accept);
  QObject::connect(cancelButton, &QPushButton::clicked, d, &QDialog::reject);
  row->addWidget(okButton);
  row->addWidget(cancelButton);
  return row;
}

std::int64_t editNumber(const QLineEdit* edit) {
  const auto v = platform::qt::parseInt(edit->text());
  if (!v || *v < 0) return 0;
  return std::min<std::int64_t>(*v, 0x7FFFFFFF);
}

// The numbers under a horizontal slider, each centred under its tick.
class SliderMarks : public QWidget {
 public:
  SliderMarks(QSlider* slider, std::initializer_list<int> values, QWidget* parent)
      : QWidget(parent), slider_(slider) {
    for (const int v : values) marks_.push_back({v, new QLabel(QString::number(v), this)});
    setMinimumHeight(fontMetrics().height() + 4);
    // The slider moves when the dialog lays out, so the marks follow it.
    slider_->installEventFilter(this);
  }

 protected:
  void resizeEvent(QResizeEvent*) override { place(); }
  void showEvent(QShowEvent*) override { place(); }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Resize || event->type() == QEvent::Move) place();
    return false;
  }

 private:
  void place() {
    QStyleOptionSlider o;
    o.initFrom(slider_);
    o.orientation = Qt::Horizontal;
    o.minimum = slider_->minimum();
    o.maximum = slider_->maximum();
    o.sliderPosition = slider_->sliderPosition();
    o.tickPosition = slider_->tickPosition();
    o.tickInterval = slider_->tickInterval();
    const QRect groove = slider_->style()->subControlRect(QStyle::CC_Slider, &o, QStyle::SC_SliderGroove, slider_);
    const QRect handle = slider_->style()->subControlRect(QStyle::CC_Slider, &o, QStyle::SC_SliderHandle, slider_);
    // Where the handle's centre stands for each value, as the ticks are drawn.
    const int span = std::max(groove.width() - handle.width(), 0);
    for (const auto& [value, label] : marks_) {
      const int x = groove.x() + handle.width() / 2 +
                    QStyle::sliderPositionFromValue(o.minimum, o.maximum, value, span, o.upsideDown);
      const int here = mapFrom(window(), slider_->mapTo(window(), QPoint(x, 0))).x();
      label->adjustSize();
      label->move(here - label->width() / 2, 0);
    }
  }
  QSlider* slider_;
  std::vector<std::pair<int, QLabel*>> marks_;
};

QString bytesWord(std::int64_t v) { return v == 1 ? Tivola::tr(" Byte") : Tivola::tr(" Bytes"); }

// "<name>          <reason>[detail]" with the reason in the user's language.
QString translatedFailureLine(const std::string& line) {
  QString out = QString::fromStdString(line);
  const QString gap(10, QLatin1Char(' '));
  const int at = int(out.lastIndexOf(gap));
  if (at < 0) return out;
  const QString rest = out.mid(at + 10);
  for (int id = formats::kUnknownReason; id <= formats::kCancelled; ++id) {
    const QString english = QString::fromLatin1(viewerString(id));
    if (rest.startsWith(english)) return out.left(at + 10) + text(viewerString(id)) + rest.mid(english.size());
  }
  return out;
}

}  // namespace

QString groupedNumber(std::int64_t value) {
  const bool negative = value < 0;
  // The magnitude as unsigned, so the smallest 64-bit value has one too.
  const std::uint64_t magnitude = negative ? std::uint64_t(0) - std::uint64_t(value) : std::uint64_t(value);
  QString digits = QString::number(magnitude);
  const int n = int(digits.size());
  if (n > 6) digits.insert(n - 6, QLatin1Char(','));
  if (n > 3) digits.insert(digits.size() - 3, QLatin1Char(','));
  return negative ? QStringLiteral("-") + digits : digits;
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("100"));
  setWindowTitle(Tivola::tr("About Tivola"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Tivola"), this));  // the product title
  layout->addWidget(new QLabel(Tivola::tr("Tivola Version 1.1E"), this));
  layout->addWidget(new QLabel(Tivola::tr("Copyright (C) The Tivola developers"), this));
  auto* row = new QHBoxLayout;
  row->addStretch();
  QPushButton* ok = button(this, QT_TRANSLATE_NOOP("Tivola", "OK"), ids::kOk);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  row->addWidget(ok);
  layout->addLayout(row);
}

OptionsDialog::OptionsDialog(int showDicom, int useMih, int usePrivateTemp, const std::string& privateTempPath,
                             QWidget* parent)
    : QDialog(parent), usePrivateTemp(usePrivateTemp), privateTempPath(privateTempPath) {
  setObjectName(QStringLiteral("140"));
  setWindowTitle(Tivola::tr("Options"));
  auto* layout = new QVBoxLayout(this);
  showDicom_ = new QCheckBox(Tivola::tr("&Show Study Data input screen when starting Scan window"), this);
  setControlId(showDicom_, ids::kShowDicom);
  showDicom_->setChecked(showDicom != 0);
  useMih_ = new QCheckBox(Tivola::tr("Attach &Meta-Information Header when Saving as DICONDE Files"), this);
  setControlId(useMih_, ids::kUseMih);
  useMih_->setChecked(useMih != 0);
  layout->addWidget(showDicom_);
  layout->addWidget(useMih_);
  // The default type is fixed; its buttons stay hidden.
  auto* typeLabel = new QLabel(Tivola::tr("Default File &Type:"), this);
  auto* dicom = new QRadioButton(Tivola::tr("DICOM"), this);
  auto* tiff = new QRadioButton(Tivola::tr("TIFF"), this);
  setControlId(dicom, ids::kTypeDicom);
  setControlId(tiff, ids::kTypeTiff);
  for (QWidget* w : {static_cast<QWidget*>(typeLabel), static_cast<QWidget*>(dicom), static_cast<QWidget*>(tiff)}) {
    layout->addWidget(w);
    w->hide();
  }
  QPushButton* details = button(this, QT_TRANSLATE_NOOP("Tivola", "&Details..."), ids::kDetails);
  connect(details, &QPushButton::clicked, this, [this] {
    WorkDirDialog d(this->usePrivateTemp, this->privateTempPath, this);
    if (d.exec() == QDialog::Accepted) {
      this->usePrivateTemp = d.usePrivateTemp();
      this->privateTempPath = d.privateTempPath();
      workDirChanged = true;
    }
  });
  auto* row = okCancel(this);
  row->insertWidget(0, details);
  layout->addLayout(row);
}

int OptionsDialog::showDicom() const { return showDicom_->isChecked() ? 1 : 0; }
int OptionsDialog::useMih() const { return useMih_->isChecked() ? 1 : 0; }

WorkDirDialog::WorkDirDialog(int usePrivateTemp, const std::string& privateTempPath, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("144"));
  setWindowTitle(Tivola::tr("Set Working Directory..."));
  auto* layout = new QVBoxLayout(this);
  standard_ = new QCheckBox(Tivola::tr("&Use Standard Working Directory (Recommended)"), this);
  setControlId(standard_, ids::kStandardWorkDir);
  standard_->setChecked(usePrivateTemp == 0);
  layout->addWidget(standard_);
  layout->addWidget(new QLabel(Tivola::tr("Working Directory"), this));
  edit_ = new QLineEdit(QString::fromStdString(privateTempPath), this);
  setControlId(edit_, ids::kWorkDirEdit);
  layout->addWidget(edit_);
  layout->addLayout(okCancel(this));
  connect(standard_, &QCheckBox::clicked, this, [this] { updateEdit(); });
  updateEdit();
}

void WorkDirDialog::updateEdit() { edit_->setEnabled(!standard_->isChecked()); }

int WorkDirDialog::usePrivateTemp() const { return standard_->isChecked() ? 0 : 1; }
std::string WorkDirDialog::privateTempPath() const { return edit_->text().toStdString(); }

void WorkDirDialog::accept() {
  const QString caption = Tivola::tr("Change working directory");
  if (!standard_->isChecked() && !QFileInfo(edit_->text()).isDir()) {
    if (prompt().message(this, Tivola::tr("Folder not found. Are you sure?"), caption, Icon::Warning, Buttons::YesNo) !=
        Answer::Yes) {
      edit_->setFocus();
      return;
    }
  }
  prompt().message(this, Tivola::tr("Your changes will be reflected from next startup."), caption, Icon::Warning,
                   Buttons::Ok);
  QDialog::accept();
}

RawParametersDialog::RawParametersDialog(const std::string& fileName, std::uint64_t fileSize,
                                         const formats::RawDialogValues& offered, QWidget* parent)
    : QDialog(parent), fileSize_(fileSize) {
  setWindowTitle(Tivola::tr("Raw File Parameters"));
  auto* layout = new QVBoxLayout(this);
  auto* name = new QLabel(QString::fromStdString(fileName), this);
  setControlId(name, ids::kRawFileName);
  auto* size =
      new QLabel(Tivola::tr("( %1 Bytes )")
                     .arg(groupedNumber(std::int64_t(std::min<std::uint64_t>(fileSize, std::uint64_t(INT64_MAX))))),
                 this);
  setControlId(size, ids::kRawFileSize);
  layout->addWidget(name);
  layout->addWidget(size);
  auto* grid = new QGridLayout;
  auto edit = [&](int row, const char* label, const char* unit, std::int64_t value, int id) {
    auto* e = new QLineEdit(platform::qt::formatInt(value), this);
    setControlId(e, id);
    grid->addWidget(new QLabel(text(label), this), row, 0);
    grid->addWidget(e, row, 1);
    grid->addWidget(new QLabel(text(unit), this), row, 2);
    connect(e, &QLineEdit::textChanged, this, [this] { updateInformation(); });
    return e;
  };
  width_ = edit(0, QT_TRANSLATE_NOOP("Tivola", "Width:"), QT_TRANSLATE_NOOP("Tivola", "pixels"), offered.width,
                ids::kRawWidth);
  height_ = edit(1, QT_TRANSLATE_NOOP("Tivola", "Height:"), QT_TRANSLATE_NOOP("Tivola", "pixels"), offered.height,
                 ids::kRawHeight);
  header_ = edit(2, QT_TRANSLATE_NOOP("Tivola", "Header Size:"), QT_TRANSLATE_NOOP("Tivola", "Bytes"),
                 offered.headerSize, ids::kRawHeader);
  depth_ = new QComboBox(this);
  setControlId(depth_, ids::kRawDepth);
  depth_->addItems({Tivola::tr(" 8 bits"), Tivola::tr("10 bits"), Tivola::tr("12 bits")});
  depth_->setCurrentIndex(std::clamp(offered.depthIndex, 0, 2));
  grid->addWidget(new QLabel(Tivola::tr("Bits per Pixel:"), this), 3, 0);
  grid->addWidget(depth_, 3, 1);
  layout->addLayout(grid);
  auto* order = new QHBoxLayout;
  order->addWidget(new QLabel(Tivola::tr("Byte Order:"), this));
  macintosh_ = new QRadioButton(Tivola::tr("Macintosh(UNIX)"), this);
  windows_ = new QRadioButton(Tivola::tr("Windows"), this);
  setControlId(macintosh_, ids::kRawMacintosh);
  setControlId(windows_, ids::kRawWindows);
  (offered.byteOrder == 0 ? macintosh_ : windows_)->setChecked(true);
  order->addWidget(macintosh_);
  order->addWidget(windows_);
  layout->addLayout(order);
  adopt_ = new QCheckBox(Tivola::tr("Adopt this setting to all new files with the same size"), this);
  setControlId(adopt_, ids::kRawAdopt);
  adopt_->setChecked(offered.adopt != 0);
  layout->addWidget(adopt_);
  auto* info = new QGroupBox(Tivola::tr("Information"), this);
  auto* infoLayout = new QVBoxLayout(info);
  info1_ = new QLabel(info);
  info2_ = new QLabel(info);
  setControlId(info1_, ids::kRawInfo1);
  setControlId(info2_, ids::kRawInfo2);
  infoLayout->addWidget(info1_);
  infoLayout->addWidget(info2_);
  layout->addWidget(info);
  auto* row = okCancel(this, QT_TRANSLATE_NOOP("Tivola", "&OK"), QT_TRANSLATE_NOOP("Tivola", "&Cancel"));
  QPushButton* swap = button(this, QT_TRANSLATE_NOOP("Tivola", "&Swap"), ids::kRawSwap);
  connect(swap, &QPushButton::clicked, this, [this] {
    const QString w = width_->text();
    width_->setText(height_->text());
    height_->setText(w);
  });
  row->addWidget(swap);
  layout->addLayout(row);
  connect(depth_, &QComboBox::currentIndexChanged, this, [this] { updateInformation(); });
  updateInformation();
}

formats::RawDialogValues RawParametersDialog::values() const {
  formats::RawDialogValues v;
  v.width = int(editNumber(width_));
  v.height = int(editNumber(height_));
  v.headerSize = editNumber(header_);
  v.depthIndex = depth_->currentIndex();
  v.byteOrder = macintosh_->isChecked() ? 0 : 1;
  v.adopt = adopt_->isChecked() ? 1 : 0;
  return v;
}

void RawParametersDialog::updateInformation() {
  const formats::RawDialogValues v = values();
  const std::int64_t bytes = v.depthIndex == 0 ? 1 : 2;
  // Each factor is below 2^31, so every product fits in 64 bits.
  const std::int64_t data = std::int64_t(v.width) * std::int64_t(v.height) * bytes;
  const std::int64_t total = data + v.headerSize;
  const std::int64_t size = std::int64_t(std::min<std::uint64_t>(fileSize_, std::uint64_t(INT64_MAX / 2)));
  const QString x = QStringLiteral("x");
  info1_->setText(groupedNumber(v.width) + x + groupedNumber(v.height) + x + groupedNumber(bytes) + " + " +
                  groupedNumber(v.headerSize) + " = " + groupedNumber(total) + bytesWord(total));
  const std::int64_t rest = size - data;
  info2_->setText(groupedNumber(size) + " - " + groupedNumber(v.width) + x + groupedNumber(v.height) + x +
                  groupedNumber(bytes) + " = " + groupedNumber(rest) + bytesWord(rest));
}

void RawParametersDialog::accept() {
  const formats::RawDialogValues v = values();
  const std::int64_t bytes = v.depthIndex == 0 ? 1 : 2;
  const std::uint64_t total = std::uint64_t(v.height) * std::uint64_t(bytes) * std::uint64_t(v.width) +
                              std::uint64_t(v.headerSize);
  if (total < fileSize_ &&
      prompt().message(this,
                       Tivola::tr("Image data size with specified parameter is smaller than the actual file size. Open "
                                  "this file?"),
                       appCaption(), Icon::Question, Buttons::YesNo) != Answer::Yes)
    return;
  if (total > fileSize_) {
    prompt().message(this, Tivola::tr("Image data size with specified parameter is larger than the actual file size."),
                     appCaption(), Icon::Warning, Buttons::Ok);
    return;
  }
  QDialog::accept();
}

JpegQualityDialog::JpegQualityDialog(int quality, QWidget* parent) : QDialog(parent), quality_(quality) {
  setWindowTitle(Tivola::tr("Settings of the JPEG Compression"));
  auto* layout = new QGridLayout(this);
  preset_ = new QComboBox(this);
  setControlId(preset_, ids::kJpegPreset);
  preset_->addItems({Tivola::tr("Highest"), Tivola::tr("High"), Tivola::tr("Standard"), Tivola::tr("Low")});
  parameter_ = new QLineEdit(platform::qt::formatInt(quality), this);
  setControlId(parameter_, ids::kJpegParameter);
  slider_ = new QSlider(Qt::Horizontal, this);
  setControlId(slider_, ids::kJpegSlider);
  slider_->setRange(65, 95);
  slider_->setTickInterval(10);
  slider_->setTickPosition(QSlider::TicksBelow);
  layout->addWidget(new QLabel(Tivola::tr("Quality"), this), 0, 0);
  layout->addWidget(preset_, 0, 1);
  layout->addWidget(new QLabel(Tivola::tr("Parameter"), this), 1, 0);
  layout->addWidget(parameter_, 1, 1);
  auto* marks = new SliderMarks(slider_, {65, 75, 85, 95}, this);
  auto* sliderRow = new QHBoxLayout;
  sliderRow->addWidget(new QLabel(Tivola::tr("Smaller"), this));
  sliderRow->addWidget(slider_, 1);
  sliderRow->addWidget(new QLabel(Tivola::tr("Larger"), this));
  layout->addLayout(sliderRow, 2, 0, 1, 2);
  layout->addWidget(marks, 3, 0, 1, 2);
  layout->addLayout(okCancel(this, QT_TRANSLATE_NOOP("Tivola", "&OK"), QT_TRANSLATE_NOOP("Tivola", "&Cancel")), 4, 0, 1,
                    2);
  editChanged();
  connect(preset_, &QComboBox::activated, this, [this](int index) {
    static constexpr int kPresets[] = {95, 85, 75, 65};
    if (index >= 0 && index < 4) parameter_->setText(platform::qt::formatInt(kPresets[index]));
  });
  connect(parameter_, &QLineEdit::textChanged, this, [this] { editChanged(); });
  connect(slider_, &QSlider::valueChanged, this, [this](int v) {
    if (platform::qt::parseInt(parameter_->text()) != v) parameter_->setText(platform::qt::formatInt(v));
  });
}

void JpegQualityDialog::editChanged() {
  const auto v = platform::qt::parseInt(parameter_->text());
  if (!v || *v < 65 || *v > 95) return;
  slider_->setValue(int(*v));
  preset_->setCurrentIndex(*v < 70 ? 3 : *v < 80 ? 2 : *v < 90 ? 1 : 0);
}

void JpegQualityDialog::accept() {
  const auto v = platform::qt::parseInt(parameter_->text());
  if (!v || *v < 0 || *v > 95) {
    prompt().message(this, Tivola::tr("Please enter an integer between 0 and 95."), appCaption(), Icon::Warning,
                     Buttons::Ok);
    parameter_->setFocus();
    return;
  }
  quality_ = int(*v);
  QDialog::accept();
}

CMyFileDialogOpen::CMyFileDialogOpen(bool openSeries, const QString& filter, QWidget* parent)
    : QFileDialog(parent), series_(openSeries) {
  setOption(QFileDialog::DontUseNativeDialog, true);
  setFileMode(QFileDialog::ExistingFiles);
  setAcceptMode(QFileDialog::AcceptOpen);
  setOption(QFileDialog::ReadOnly, false);
  setNameFilters(filter.split(QStringLiteral(";;")));
  box_ = new QCheckBox(Tivola::tr("Open as a &Series"), this);
  setControlId(box_, ids::kOpenSeries);
  box_->setChecked(openSeries);
  if (auto* grid = qobject_cast<QGridLayout*>(layout())) grid->addWidget(box_, grid->rowCount(), 0, 1, -1);
  connect(box_, &QCheckBox::clicked, this, [this](bool checked) { series_ = checked; });
  if (auto* names = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
    connect(names, &QLineEdit::textChanged, this, [this](const QString& t) { nameBoxChanged(t); });
}

void CMyFileDialogOpen::nameBoxChanged(const QString& names) {
  // Several names stand in quotes: the series belongs to one name only.
  if (names.count(QLatin1Char('"')) >= 3) {
    if (box_->isEnabled()) {
      putAside_ = series_;
      box_->setChecked(false);
      series_ = false;
      box_->setEnabled(false);
    }
  } else if (!box_->isEnabled()) {
    box_->setEnabled(true);
    box_->setChecked(putAside_);
    series_ = putAside_;
  }
}

FailedFilesDialog::FailedFilesDialog(const std::vector<std::string>& lines, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("141"));
  setWindowTitle(Tivola::tr("Sorry, but..."));
  auto* layout = new QVBoxLayout(this);
  auto* label = new QLabel(Tivola::tr("The following files cannot be opened."), this);
  setControlId(label, ids::kFailedText);
  layout->addWidget(label);
  auto* list = new QListWidget(this);
  setControlId(list, ids::kFailedList);
  for (const std::string& line : lines) list->addItem(translatedFailureLine(line));
  layout->addWidget(list);
  auto* row = new QHBoxLayout;
  row->addStretch();
  QPushButton* close = button(this, QT_TRANSLATE_NOOP("Tivola", "Close"), ids::kCancel);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  row->addWidget(close);
  layout->addLayout(row);
  resize(520, 300);
}

OpeningDialog::OpeningDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("175"));
  setWindowTitle(Tivola::tr("Opening"));
  auto* layout = new QVBoxLayout(this);
  bar_ = new QProgressBar(this);
  setControlId(bar_, ids::kOpeningBar);
  bar_->setRange(0, 100);
  text_ = new QLabel(this);
  setControlId(text_, ids::kOpeningText);
  layout->addWidget(bar_);
  layout->addWidget(text_);
  auto* row = new QHBoxLayout;
  row->addStretch();
  QPushButton* cancel = button(this, QT_TRANSLATE_NOOP("Tivola", "Cancel"), ids::kCancel);
  connect(cancel, &QPushButton::clicked, this, [this] { cancelled_ = true; });
  row->addWidget(cancel);
  layout->addLayout(row);
}

void OpeningDialog::refresh(int filesDone, int files, std::uint64_t bytesDone, std::uint64_t totalBytes) {
  const double percent = totalBytes == 0 ? 0.0 : double(bytesDone) * 100.0 / double(totalBytes);
  bar_->setValue(int(std::lround(percent)));
  text_->setText(Tivola::tr("%1 / %2 (%3 Bytes)").arg(filesDone).arg(files).arg(totalBytes));
  repaint();
}

// Escape and the close button are the Cancel button.
void OpeningDialog::reject() { cancelled_ = true; }

}  // namespace viewer::app

namespace viewer::app {

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

// A dialog of one line of text and two buttons; the first accepts.
QPushButton* noticeDialog(QDialog* d, const char* title, QLabel*& label, const char* textEnglish, const char* first,
                          bool warning) {
  d->setWindowTitle(text(title));
  auto* layout = new QVBoxLayout(d);
  auto* row = new QHBoxLayout;
  auto* icon = new QLabel(d);
  icon->setPixmap(d->style()->standardIcon(warning ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxQuestion)
                      .pixmap(32, 32));
  row->addWidget(icon);
  label = new QLabel(text(textEnglish), d);
  setControlId(label, ids::kNoticeText);
  row->addWidget(label, 1);
  layout->addLayout(row);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  QPushButton* ok = button(d, first, ids::kOk);
  QPushButton* cancel = button(d, QT_TRANSLATE_NOOP("Tivola", "&Cancel"), ids::kCancel);
  QObject::connect(ok, &QPushButton::clicked, d, &QDialog::accept);
  QObject::connect(cancel, &QPushButton::clicked, d, &QDialog::reject);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  return ok;
}

}  // namespace

QString saveTypeFilter(int typeIndex) { return QString::fromLatin1(kSaveTypes[clampType(typeIndex) - 1][0]); }
QString saveTypeExtension(int typeIndex) { return QString::fromLatin1(kSaveTypes[clampType(typeIndex) - 1][1]); }

ConvertTo8BitDialog::ConvertTo8BitDialog(QWidget* parent) : QDialog(parent) {
  QLabel* label = nullptr;
  noticeDialog(this, QT_TRANSLATE_NOOP("Tivola", "Convert to 8-bit and save"), label,
               QT_TRANSLATE_NOOP("Tivola", "10-bit, 12 bit images will be converted to 8-bit. We may lose accuracy."),
               QT_TRANSLATE_NOOP("Tivola", "C&ontinue"), true);
}

ConfirmationDialog::ConfirmationDialog(QWidget* parent) : QDialog(parent) {
  close_ = noticeDialog(this, QT_TRANSLATE_NOOP("Tivola", "Confirmation"), text_,
                        QT_TRANSLATE_NOOP("Tivola", "These images are not saved"),
                        QT_TRANSLATE_NOOP("Tivola", "Close &Anyway"), false);
}
void ConfirmationDialog::setText(const QString& t) { text_->setText(t); }
void ConfirmationDialog::setCloseCaption(const QString& caption) { close_->setText(caption); }

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

namespace viewer::app {

std::size_t dicondeLength(const QString& t) {
  return formats::toDicondeText(platform::text::utf8ToCp932(t.toStdString())).size();
}

namespace {

constexpr int kMaxTypedBytes = 189;
// Characters the operator may type into each text field.
constexpr int kMaxTypedName = 32, kMaxTypedId = 32, kMaxTypedStudyId = 16, kMaxTypedDescription = 64;

// What the DICONDE encoding drops: control characters and half-width katakana.
QString withoutDropped(const QString& t) {
  QString out;
  for (const QChar c : t)
    if (c.unicode() >= 0x20 && c.unicode() != 0x7F && !(c.unicode() >= 0xFF61 && c.unicode() <= 0xFF9F)) out += c;
  return out;
}

int number(const QString& t) {
  const auto v = platform::qt::parseInt(t.trimmed());
  return v ? int(std::clamp<std::int64_t>(*v, -1, 100000)) : -1;
}

bool validCalendarDate(int y, int m, int d) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12 || d < 1) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= days[m - 1] + (m == 2 && leap ? 1 : 0);
}

// A field that stands for each image's own value.
bool keepsOwn(const QString& t) { return t.trimmed().isEmpty() || t == QStringLiteral("*"); }

}  // namespace

EditStudyDataDialog::EditStudyDataDialog(const StudyFields& f, std::vector<StudyDate> ownManufacturing,
                                         std::vector<StudyDate> ownStudy, std::vector<bool> ownName,
                                         std::vector<bool> ownId, bool saveMode, int currentYear, QWidget* parent)
    : QDialog(parent),
      ownManufacturing_(std::move(ownManufacturing)),
      ownStudy_(std::move(ownStudy)),
      ownName_(std::move(ownName)),
      ownId_(std::move(ownId)),
      saveMode_(saveMode),
      currentYear_(currentYear) {
  setObjectName(QStringLiteral("149"));
  setWindowTitle(Tivola::tr("Edit Study Data"));
  auto* grid = new QGridLayout(this);
  auto addEdit = [&](int id, const QString& value, bool inputMethod, int maxTyped = 0) {
    auto* e = new QLineEdit(value, this);
    setControlId(e, id);
    if (maxTyped > 0) e->setMaxLength(maxTyped);
    // Identifiers and dates are typed without the input method.
    e->setAttribute(Qt::WA_InputMethodEnabled, inputMethod);
    limitTyping(e);
    return e;
  };
  auto row = [&](int r, const char* label, QWidget* w) {
    auto* l = new QLabel(text(label), this);
    l->setBuddy(w);
    grid->addWidget(l, r, 0);
    grid->addWidget(w, r, 1, 1, 3);
  };
  auto dateRow = [&](int r, const char* label, int firstId, const QString& y, const QString& m, const QString& d) {
    grid->addWidget(new QLabel(text(label), this), r, 0);
    // A number is shown in plain decimal.
    auto plain = [](const QString& t) { const int v = number(t); return v >= 0 ? QString::number(v) : t; };
    grid->addWidget(addEdit(firstId, plain(y), false), r, 1);
    grid->addWidget(addEdit(firstId + 1, plain(m), false), r, 2);
    grid->addWidget(addEdit(firstId + 2, plain(d), false), r, 3);
  };
  row(0, QT_TRANSLATE_NOOP("Tivola", "Component Name:"), addEdit(1040, f.componentName, true, kMaxTypedName));
  row(1, QT_TRANSLATE_NOOP("Tivola", "Component ID Number:"), addEdit(1041, f.componentId, false, kMaxTypedId));
  for (int id : {1040, 1041}) platform::qt::guardRecordField(edit(id));
  dateRow(2, QT_TRANSLATE_NOOP("Tivola", "Date of Manufacture:"), 1042, f.manufacturingYear, f.manufacturingMonth,
          f.manufacturingDay);
  auto* sexBox = new QGroupBox(Tivola::tr("Sex"), this);
  auto* sexRow = new QHBoxLayout(sexBox);
  const char* sexes[] = {QT_TRANSLATE_NOOP("Tivola", "Male"), QT_TRANSLATE_NOOP("Tivola", "Female"),
                         QT_TRANSLATE_NOOP("Tivola", "Other"), QT_TRANSLATE_NOOP("Tivola", "Blank"),
                         QT_TRANSLATE_NOOP("Tivola", "Keep Mixed")};
  for (int i = 0; i < 5; ++i) {
    auto* r = new QRadioButton(text(sexes[i]), sexBox);
    setControlId(r, 1050 + i);
    r->setChecked(f.sex == i);
    sexRow->addWidget(r);
  }
  grid->addWidget(sexBox, 3, 0, 1, 4);
  dateRow(4, QT_TRANSLATE_NOOP("Tivola", "Study Date:"), 1045, f.studyYear, f.studyMonth, f.studyDay);
  row(5, QT_TRANSLATE_NOOP("Tivola", "Study ID:"), addEdit(1048, f.studyId, false, kMaxTypedStudyId));
  platform::qt::guardRecordField(edit(1048));
  auto* description = new QPlainTextEdit(f.studyDescription, this);
  setControlId(description, 1049);
  platform::qt::guardRecordField(description);
  connect(description, &QPlainTextEdit::textChanged, this, [description, accepted = f.studyDescription]() mutable {
    const QString t = description->toPlainText();
    // Typing past the limit is refused; a longer text the image brought stays.
    if (t.size() > kMaxTypedDescription && t.size() > accepted.size()) {
      const QSignalBlocker quiet(description);
      description->setPlainText(accepted);
      description->moveCursor(QTextCursor::End);
      QApplication::beep();
      return;
    }
    accepted = t;
    if (dicondeLength(t) <= kMaxTypedBytes) return;
    QApplication::beep();
    const QString stripped = withoutDropped(t);
    if (stripped != t) description->setPlainText(stripped);
  });
  row(6, QT_TRANSLATE_NOOP("Tivola", "Study Description:"), description);
  grid->addLayout(
      okCancel(this, saveMode ? QT_TRANSLATE_NOOP("Tivola", "&Save") : QT_TRANSLATE_NOOP("Tivola", "OK"),
               QT_TRANSLATE_NOOP("Tivola", "Cancel")),
      7, 0, 1, 4);
}

void EditStudyDataDialog::limitTyping(QLineEdit* box) {
  connect(box, &QLineEdit::textEdited, this, [box](const QString& t) {
    if (dicondeLength(t) <= kMaxTypedBytes) return;
    QApplication::beep();
    const QString stripped = withoutDropped(t);
    if (stripped != t) box->setText(stripped);
  });
}

QLineEdit* EditStudyDataDialog::edit(int id) const { return platform::qt::control<QLineEdit>(this, id); }

StudyFields EditStudyDataDialog::fields() const {
  StudyFields f;
  f.componentName = edit(1040)->text();
  f.componentId = edit(1041)->text();
  f.manufacturingYear = edit(1042)->text();
  f.manufacturingMonth = edit(1043)->text();
  f.manufacturingDay = edit(1044)->text();
  for (int i = 0; i < 5; ++i)
    if (platform::qt::control<QRadioButton>(this, 1050 + i)->isChecked()) f.sex = i;
  f.studyYear = edit(1045)->text();
  f.studyMonth = edit(1046)->text();
  f.studyDay = edit(1047)->text();
  f.studyId = edit(1048)->text();
  f.studyDescription = platform::qt::control<QPlainTextEdit>(this, 1049)->toPlainText();
  return f;
}

int EditStudyDataDialog::firstInvalidField() const {
  const StudyFields f = fields();
  const int latest = currentYear_ >= 1999 && currentYear_ <= 2100 ? currentYear_ : 2100;
  auto textOk = [](const QString& t, const std::vector<bool>& own) {
    if (t.isEmpty()) return std::all_of(own.begin(), own.end(), [](bool b) { return b; });
    return t == QStringLiteral("*") || dicondeLength(t) <= 32;
  };
  if (!textOk(f.componentName, ownName_)) return 1040;
  if (!textOk(f.componentId, ownId_)) return 1041;
  auto dateOk = [latest](const QString& y, const QString& m, const QString& d, const std::vector<StudyDate>& own,
                         int firstId) {
    const std::size_t n = std::max<std::size_t>(own.size(), 1);
    for (std::size_t i = 0; i < n; ++i) {
      const StudyDate mine = i < own.size() ? own[i] : StudyDate();
      const int year = number(keepsOwn(y) ? mine.year : y);
      const int month = number(keepsOwn(m) ? mine.month : m);
      const int day = number(keepsOwn(d) ? mine.day : d);
      if (year < 1800 || year > latest) return firstId;
      if (month < 1 || month > 12) return firstId + 1;
      if (!validCalendarDate(year, month, day)) return firstId + 2;
    }
    return 0;
  };
  if (const int bad = dateOk(f.manufacturingYear, f.manufacturingMonth, f.manufacturingDay, ownManufacturing_, 1042))
    return bad;
  if (const int bad = dateOk(f.studyYear, f.studyMonth, f.studyDay, ownStudy_, 1045)) return bad;
  if (f.studyId != QStringLiteral("*") && dicondeLength(f.studyId) > 16) return 1048;
  if (f.studyDescription != QStringLiteral("*") && dicondeLength(f.studyDescription) > 128) return 1049;
  return 0;
}

void EditStudyDataDialog::accept() {
  const int bad = firstInvalidField();
  if (bad == 0) {
    QDialog::accept();
    return;
  }
  if (saveMode_) {
    ConfirmationDialog confirm(this);
    confirm.setText(Tivola::tr("Invalid Study Data"));
    confirm.setCloseCaption(Tivola::tr("Save &Anyway"));
    if (confirm.exec() == QDialog::Accepted) {
      QDialog::accept();
      return;
    }
  }
  // Outside the save mode invalid data are not taken: the field is shown.
  if (QWidget* w = platform::qt::control<QWidget>(this, bad)) w->setFocus();
}

}  // namespace viewer::app
