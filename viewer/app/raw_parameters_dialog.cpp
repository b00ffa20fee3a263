// Raw File Parameters.
#include "viewer/app/dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/qt/control.h"
#include "platform/qt/numbers.h"
#include "platform/qt/prompt.h"
#include "viewer/app/control_ids.h"
#include "viewer/app/dialog_parts.h"
#include "viewer/app/texts.h"

namespace viewer::app {

using platform::qt::Answer;
using platform::qt::Buttons;
using platform::qt::Icon;
using platform::qt::prompt;
using platform::qt::setControlId;
using dialog_parts::button;
using dialog_parts::okCancel;

namespace {

std::int64_t editNumber(const QLineEdit* edit) {
  const auto v = platform::qt::parseInt(edit->text());
  if (!v || *v < 0) return 0;
  return std::min<std::int64_t>(*v, 0x7FFFFFFF);
}

QString bytesWord(std::int64_t v) { return v == 1 ? Tivola::tr(" Byte") : Tivola::tr(" Bytes"); }

}  // namespace

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

}  // namespace viewer::app
