// Settings of the JPEG Compression.
#include "viewer/app/dialogs.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QStyle>
#include <algorithm>

#include "platform/qt/control.h"
#include "platform/qt/numbers.h"
#include "platform/qt/prompt.h"
#include "viewer/app/control_ids.h"
#include "viewer/app/dialog_parts.h"
#include "viewer/app/settings.h"
#include "viewer/app/texts.h"

namespace viewer::app {

using platform::qt::Buttons;
using platform::qt::Icon;
using platform::qt::prompt;
using platform::qt::setControlId;
using dialog_parts::okCancel;

namespace {

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

}  // namespace

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

}  // namespace viewer::app
