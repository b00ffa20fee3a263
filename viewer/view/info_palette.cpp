// The Information palette with its tone-curve control and sharpness slider.
#include <algorithm>
#include <utility>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScopedValueRollback>

#include "platform/ini.h"
#include "platform/qt/control.h"
#include "viewer/view/palettes.h"

namespace viewer::view {

using display::CDisplayTile;

namespace {

QString text(const char* source) { return QCoreApplication::translate("CInfoPalette", source); }
QString fromStd(const std::string& s) { return QString::fromStdString(s); }

constexpr const char* kNone = "-       ";
constexpr int kWidth = 140;
constexpr int kEdge = 2;  // every control keeps this far from the palette's sides
constexpr int kToneLeft = 2, kToneSize = 100;
constexpr int kMinMaxWidth = 25, kMinMaxHeight = 26;

// Ids of the value texts, in the order of their labels.
enum { kX = 1001, kY, kValue, kMx, kMy, kMw, kMh, kMin, kMax, kMean };

display::ImageFacts factsOf(const CDisplayTile& t) {
  return display::ImageFacts{t.maxValue, t.image ? t.image->odRange : 0, t.image ? t.image->pitch : 0};
}

const CDisplayTile* currentWithImage(const display::CDisplayGrid* grid) {
  const CDisplayTile* t = grid ? grid->currentTile() : nullptr;
  return t && t->image && t->image->width() > 0 ? t : nullptr;
}

void setText(QWidget* root, int id, const QString& s) {
  if (auto* l = platform::qt::control<QLabel>(root, id)) l->setText(s);
}

// Two labels on one row, wanted at lefts a <= b with widths wa and wb: where
// they would overlap each moves half the way apart, just enough; then the pair
// is shifted back within lo..hi.
std::pair<int, int> apart(int a, int wa, int b, int wb, int lo, int hi) {
  if (const int overlap = a + wa - b; overlap > 0) {
    a -= overlap / 2;
    b += overlap - overlap / 2;
  }
  if (a < lo) {
    b += lo - a;
    a = lo;
  }
  if (const int over = b + wb - hi; over > 0) {
    a -= over;
    b -= over;
  }
  return {a, b};
}

}  // namespace

// ---------------------------------------------------------------- sharpness slider

CSharpSlider::CSharpSlider(CInfoPalette* palette) : QWidget(palette), palette_(palette) {
  setObjectName("Sharpness");
}

void CSharpSlider::setValue(double v) {
  if (v == value_) return;
  value_ = v;
  update();
}

void CSharpSlider::pointerAt(int y) {
  const double v = display::sharpnessAtRow(y);
  if (v == value_) return;
  value_ = v;
  repaint();
  palette_->command(IDM_SHARPNESS_CHANGED);
}

void CSharpSlider::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  dragging_ = true;
  pointerAt(e->position().toPoint().y());
}

void CSharpSlider::mouseMoveEvent(QMouseEvent* e) {
  if (dragging_) pointerAt(e->position().toPoint().y());
}

void CSharpSlider::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }

void CSharpSlider::mouseDoubleClickEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  value_ = 0.0;
  repaint();
  palette_->command(IDM_SHARPNESS_CHANGED);
}

void CSharpSlider::paintEvent(QPaintEvent*) {
  QPainter p(this);
  // The scale: a sunken groove from the top value 2 down to 0, a tick at each whole value.
  p.fillRect(rect(), palette().window());
  const int mid = width() / 2;
  p.setPen(Qt::darkGray);
  p.drawLine(mid - 1, 4, mid - 1, 98);
  p.setPen(Qt::white);
  p.drawLine(mid + 1, 4, mid + 1, 98);
  p.setPen(Qt::black);
  for (double v : {0.0, 1.0, 2.0}) {
    const int y = display::sharpThumbRow(v) + 4;
    p.drawLine(0, y, 3, y);
    p.drawLine(width() - 4, y, width() - 1, y);
  }
  const QRect thumb(mid - 7, display::sharpThumbRow(value_), 14, 9);
  p.fillRect(thumb, QColor(192, 192, 192));
  p.setPen(Qt::white);
  p.drawLine(thumb.topLeft(), thumb.topRight());
  p.drawLine(thumb.topLeft(), thumb.bottomLeft());
  p.setPen(Qt::black);
  p.drawLine(thumb.bottomLeft(), thumb.bottomRight());
  p.drawLine(thumb.topRight(), thumb.bottomRight());
  p.drawLine(thumb.left() + 2, thumb.center().y(), thumb.right() - 2, thumb.center().y());
}

// ---------------------------------------------------------------- tone curve

CToneCurveCtrl::CToneCurveCtrl(CInfoPalette* palette, QLineEdit* centre, QLineEdit* width)
    : QWidget(palette), palette_(palette), centre_(centre), width_(width) {
  setObjectName("ToneCurve");
}

void CToneCurveCtrl::setRoi(int minimum, int maximum, int maxValue) {
  roiMin_ = minimum;
  roiMax_ = maximum;
  maxValue_ = maxValue;
  update();
}

void CToneCurveCtrl::setWindow(int centre, int width, int invert) {
  window_ = display::ToneWindow{centre, width};
  invert_ = invert;
  update();
}

void CToneCurveCtrl::write(display::ToneWindow w) {
  window_ = w;
  palette_->writeWindowEdits(w.centre, w.width);
  palette_->command(IDM_WINDOW_EDITED);
  update();
}

void CToneCurveCtrl::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  dragging_ = true;
  last_ = e->position().toPoint();
}

void CToneCurveCtrl::mouseMoveEvent(QMouseEvent* e) {
  if (!dragging_) return;
  const QPoint p = e->position().toPoint();
  const QPoint d = p - last_;
  last_ = p;
  if (d.isNull()) return;
  write(display::toneCurveDrag(window_, maxValue_, d.x(), d.y()));
}

void CToneCurveCtrl::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }

void CToneCurveCtrl::mouseDoubleClickEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  const display::ToneWindow roi = display::toneCurveDoubleClick(roiMin_, roiMax_, maxValue_, false);
  const bool holds = centre_->text() == QString::number(roi.centre) && width_->text() == QString::number(roi.width);
  write(display::toneCurveDoubleClick(roiMin_, roiMax_, maxValue_, holds));
}

void CToneCurveCtrl::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  const int w = width(), h = height();
  const display::ToneLine line = display::toneCurveLine(window_, maxValue_, invert_ != 0, w);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::black, 1));
  p.drawLine(QPoint(line.bottomX, h - 1), QPoint(line.topX, 0));
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(Qt::black, 0, Qt::DotLine));
  for (int v : {roiMin_, roiMax_}) {
    const int x = std::min(display::toneMarkerX(v, maxValue_, w), w - 1);
    p.drawLine(x, 0, x, h - 1);
  }
  p.setPen(Qt::darkGray);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

// ---------------------------------------------------------------- palette

QLabel* CInfoPalette::label(const char* source) { return new QLabel(text(source), this); }

QLabel* CInfoPalette::value(int id, const char* initial) {
  auto* l = new QLabel(QString::fromLatin1(initial), this);
  platform::qt::setControlId(l, id);
  return l;
}

void CInfoPalette::place(QWidget* control, QRect full, QRect brief) { places_.push_back(Place{control, full, brief}); }

CInfoPalette::CInfoPalette(QWidget* owner) : QWidget(owner, Qt::Tool) {
  setObjectName("Information");
  setWindowTitle(QCoreApplication::translate("CMainFrame", "Information"));
  QFont small = font();
  small.setPixelSize(11);
  setFont(small);

  const char* readout[] = {QT_TRANSLATE_NOOP("CInfoPalette", "X:"), QT_TRANSLATE_NOOP("CInfoPalette", "Y:"),
                           QT_TRANSLATE_NOOP("CInfoPalette", "Value:")};
  QLabel* readoutLabels[3];
  QLabel* readoutValues[3];
  for (int i = 0; i < 3; ++i) {
    readoutLabels[i] = label(readout[i]);
    readoutValues[i] = value(kX + i, kNone);
  }
  zoom_ = new QComboBox(this);
  platform::qt::setControlId(zoom_, 1011);
  // Item 0 shows the current zoom once there is one.
  zoom_->addItem(QStringLiteral("1"));
  for (const char* z : {"0.125", "0.250", "0.500", "1.000", "2.000", "4.000", "8.000"})
    zoom_->addItem(QString::fromLatin1(z));
  QLabel* zoomLabel = label(QT_TRANSLATE_NOOP("CInfoPalette", "Zoom:"));
  lengthUnit_ = new QComboBox(this);
  platform::qt::setControlId(lengthUnit_, 1013);
  lengthUnit_->addItem(text(QT_TRANSLATE_NOOP("CInfoPalette", "Pixel")));
  lengthUnit_->addItem(text(QT_TRANSLATE_NOOP("CInfoPalette", "mm")));
  QLabel* measureLabel = label(QT_TRANSLATE_NOOP("CInfoPalette", "Measure:"));
  const char* marquee[] = {QT_TRANSLATE_NOOP("CInfoPalette", "Mx:"), QT_TRANSLATE_NOOP("CInfoPalette", "My:"),
                           QT_TRANSLATE_NOOP("CInfoPalette", "Mw:"), QT_TRANSLATE_NOOP("CInfoPalette", "Mh:")};
  QLabel* marqueeLabels[4];
  QLabel* marqueeValues[4];
  for (int i = 0; i < 4; ++i) {
    marqueeLabels[i] = label(marquee[i]);
    marqueeValues[i] = value(kMx + i, kNone);
  }
  valueUnit_ = new QComboBox(this);
  platform::qt::setControlId(valueUnit_, 1012);
  valueUnit_->addItem(text(QT_TRANSLATE_NOOP("CInfoPalette", "Pixel Val.")));
  valueUnit_->addItem(text(QT_TRANSLATE_NOOP("CInfoPalette", "O.D.")));
  QLabel* grey = label(QT_TRANSLATE_NOOP("CInfoPalette", "Gray Value:"));
  const char* stats[] = {QT_TRANSLATE_NOOP("CInfoPalette", "Min:"), QT_TRANSLATE_NOOP("CInfoPalette", "Max:"),
                         QT_TRANSLATE_NOOP("CInfoPalette", "Mean:")};
  QLabel* statLabels[3];
  QLabel* statValues[3];
  for (int i = 0; i < 3; ++i) {
    statLabels[i] = label(stats[i]);
    statValues[i] = value(kMin + i, kNone);
  }
  centre_ = new QLineEdit(this);
  platform::qt::setControlId(centre_, 1018);
  width_ = new QLineEdit(this);
  platform::qt::setControlId(width_, 1019);
  tone_ = new CToneCurveCtrl(this, centre_, width_);
  QLabel* sharp = label(QT_TRANSLATE_NOOP("CInfoPalette", "Sharp"));
  slider_ = new CSharpSlider(this);
  QLabel* scaleStart = value(1016, "0");
  scaleEnd_ = value(1017, "-");
  scaleEnd_->setAlignment(Qt::AlignRight | Qt::AlignTop);
  minLabel_ = value(1014, "");
  minLabel_->setText(QCoreApplication::translate("CInfoPalette", "Min") + QStringLiteral("\n0"));
  maxLabel_ = value(1015, "");
  maxLabel_->setText(QCoreApplication::translate("CInfoPalette", "Max") + QStringLiteral("\n255"));
  for (QLabel* l : {minLabel_, maxLabel_}) {
    l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    l->hide();
  }
  QLabel* centreLabel = label(QT_TRANSLATE_NOOP("CInfoPalette", "Center:"));
  QLabel* widthLabel = label(QT_TRANSLATE_NOOP("CInfoPalette", "Width:"));
  invert_ = new QCheckBox(text(QT_TRANSLATE_NOOP("CInfoPalette", "Invert")), this);
  platform::qt::setControlId(invert_, 1022);
  auto* scan = new QPushButton(text(QT_TRANSLATE_NOOP("CInfoPalette", "New Scan")), this);
  platform::qt::setControlId(scan, 1023);
  scan->setAutoDefault(false);

  // Rows as tall as the texts need in the language shown (a CJK face needs
  // more than the 14 rows of a Latin one), controls as tall as their style asks.
  int line = 14;
  for (QLabel* l : findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
    if (l != minLabel_ && l != maxLabel_) line = std::max(line, l->sizeHint().height());
  const int listHeight = std::max({20, zoom_->sizeHint().height(), valueUnit_->sizeHint().height()});
  const int editHeight = std::max(20, centre_->sizeHint().height());
  const int row = std::max(line, listHeight);
  auto textRows = [&](QLabel* const* labels, QLabel* const* values, int n, int top, bool brief) {
    for (int i = 0; i < n; ++i) {
      const QRect l(kEdge, top + line * i, 40, line), v(42, top + line * i, 96, line);
      place(labels[i], l, brief ? l : QRect());
      place(values[i], v, brief ? v : QRect());
    }
    return top + line * n;
  };
  // A list right of its label, at its left or further right as its items
  // need; below the label where both do not fit on one row.
  auto listRow = [&](QLabel* l, QComboBox* list, int listLeft, int top, int briefTop) {
    const int listWidth = std::max(kWidth - kEdge - listLeft, list->sizeHint().width());
    const int left = kWidth - kEdge - listWidth;
    const int labelWidth = std::max(l->sizeHint().width(), 40);
    const bool beside = kEdge + labelWidth <= left;
    const QRect label = beside ? QRect(kEdge, top + (row - line) / 2, left - kEdge, line)
                               : QRect(kEdge, top, kWidth - 2 * kEdge, line);
    const int listTop = beside ? top + (row - listHeight) / 2 : top + line + 2;
    const QRect at(left, listTop, listWidth, listHeight);
    const int dy = briefTop - top;
    place(l, label, briefTop < 0 ? QRect() : label.translated(0, dy));
    place(list, at, briefTop < 0 ? QRect() : at.translated(0, dy));
    return beside ? top + row : listTop + listHeight;
  };

  // The full mode from the top; the short one keeps the readout, the zoom,
  // the value unit and New Scan.
  int y = textRows(readoutLabels, readoutValues, 3, 2, true) + 2;
  y = listRow(zoomLabel, zoom_, 42, y, y) + 4;
  const int briefGrey = y;
  y = listRow(measureLabel, lengthUnit_, 54, y, -1) + 4;
  y = textRows(marqueeLabels, marqueeValues, 4, y, false) + 2;
  const int greyBottom = listRow(grey, valueUnit_, 54, y, briefGrey);
  const int briefScan = greyBottom - y + briefGrey + 4;
  y = greyBottom + 4;
  y = textRows(statLabels, statValues, 3, y, false) + 2;

  toneTop_ = y;
  place(tone_, QRect(kToneLeft, toneTop_, kToneSize, kToneSize));
  // "Sharp" centred over the slider, between the tone curve and the right side.
  const QRect slider(110, toneTop_ + line, 26, 100);
  const int sharpLeft = kToneLeft + kToneSize + kEdge, sharpRoom = kWidth - kEdge - sharpLeft;
  const int sharpWidth = std::min(sharp->sizeHint().width(), sharpRoom);
  place(sharp, QRect(std::clamp(slider.center().x() + 1 - sharpWidth / 2, sharpLeft, kWidth - kEdge - sharpWidth),
                     toneTop_, sharpWidth, line));
  place(slider_, slider);
  const int scaleTop = toneTop_ + kToneSize + 2;
  place(scaleStart, QRect(kToneLeft, scaleTop, 30, line));
  place(scaleEnd_, QRect(kToneLeft + kToneSize - 40, scaleTop, 40, line));
  minMaxTop_ = scaleTop + line + 2;
  y = std::max(minMaxTop_ + std::max(kMinMaxHeight, minLabel_->sizeHint().height()), slider.bottom() + 1) + 8;

  const int editRow = std::max(line, editHeight);
  for (auto [l, e] : {std::pair{centreLabel, centre_}, std::pair{widthLabel, width_}}) {
    place(l, QRect(kEdge, y + (editRow - line) / 2, 48, line));
    place(e, QRect(50, y + (editRow - editHeight) / 2, 52, editHeight));
    y += editRow + 4;
  }
  const int checkHeight = std::max(18, invert_->sizeHint().height());
  place(invert_, QRect(kEdge, y, 100, checkHeight));
  y += checkHeight + 4;
  const int buttonHeight = std::max(24, scan->sizeHint().height());
  place(scan, QRect(kEdge, y, kWidth - 2 * kEdge, buttonHeight), QRect(kEdge, briefScan, kWidth - 2 * kEdge, buttonHeight));
  fullHeight_ = y + buttonHeight + 4;
  shortHeight_ = briefScan + buttonHeight + 4;

  const display::PaletteSettings& units = display::paletteSettings();
  lengthUnit_->setCurrentIndex(units.scale == 1 ? 1 : 0);
  valueUnit_->setCurrentIndex(units.value == 1 ? 1 : 0);

  connect(zoom_, &QComboBox::currentIndexChanged, this, [this](int i) {
    if (writing_ || !grid_ || i < 0) return;
    grid_->applyZoom(display::leadingNumber(zoom_->itemText(i).toStdString()));
  });
  connect(valueUnit_, &QComboBox::currentIndexChanged, this, [this](int i) {
    if (writing_ || i < 0) return;
    display::paletteSettings().value = i;
    if (const CDisplayTile* t = currentWithImage(grid_)) {
      t->image->odUnit = i == 1;
      t->image->setRoi(t->image->roi);
    }
    refreshAfterUnitChange();
  });
  connect(lengthUnit_, &QComboBox::currentIndexChanged, this, [this](int i) {
    if (writing_ || i < 0) return;
    // The unit first, so the texts show it at once.
    display::paletteSettings().scale = i;
    refreshAfterUnitChange();
  });
  for (QLineEdit* e : {centre_, width_})
    connect(e, &QLineEdit::textChanged, this, [this] {
      if (!writing_) command(IDM_WINDOW_EDITED);
    });
  connect(invert_, &QCheckBox::clicked, this, [this] { command(IDM_WINDOW_EDITED); });
  connect(scan, &QPushButton::clicked, this, [this] {
    if (frameCommand) frameCommand(ID_NEW_SCAN);
  });
  setMode(display::kInfoFull);
}

void CInfoPalette::setMode(int mode) {
  mode_ = mode == display::kInfoShort ? display::kInfoShort : display::kInfoFull;
  const bool full = mode_ == display::kInfoFull;
  for (const Place& p : places_) {
    const QRect r = full ? p.full : p.brief;
    if (!r.isNull()) p.control->setGeometry(r);
    p.control->setVisible(!r.isNull());
  }
  showMinMaxLabels(full && measuresShown_);
  resize(kWidth, full ? fullHeight_ : shortHeight_);
}

void CInfoPalette::showMinMaxLabels(bool on) {
  minLabel_->setVisible(on);
  maxLabel_->setVisible(on);
}

void CInfoPalette::setGrid(display::CDisplayGrid* grid) {
  grid_ = grid;
  lastZoom_ = -1.0;
  updateReadout();
  updateMeasures();
  updateWindow();
}

void CInfoPalette::withdrawGrid(const display::CDisplayGrid* grid) {
  if (grid_ == grid) setGrid(nullptr);
}

void CInfoPalette::clearTexts() {
  for (int id = kX; id <= kMean; ++id) setText(this, id, QString::fromLatin1(kNone));
}

void CInfoPalette::updateReadout() {
  const CDisplayTile* t = currentWithImage(grid_);
  if (!t) {
    for (int id : {kX, kY, kValue}) setText(this, id, QString::fromLatin1(kNone));
    return;
  }
  const display::ReadoutTexts r =
      display::readoutTexts(t->cursorX, t->cursorY, t->cursorValue, factsOf(*t), display::paletteSettings());
  setText(this, kX, fromStd(r.x));
  setText(this, kY, fromStd(r.y));
  setText(this, kValue, fromStd(r.value));
  if (t->zoom != lastZoom_) {
    lastZoom_ = t->zoom;
    const QScopedValueRollback<bool> writing(writing_, true);
    zoom_->setItemText(0, fromStd(display::zoomItemText(t->zoom)));
    zoom_->setCurrentIndex(0);
  }
  slider_->setValue(t->sharpness);
}

void CInfoPalette::updateMeasures() {
  const CDisplayTile* t = currentWithImage(grid_);
  if (!t) {
    clearTexts();
    measuresShown_ = false;
    showMinMaxLabels(false);
    return;
  }
  const CImageItem& image = *t->image;
  const display::MeasureTexts m = display::measureTexts(display::normalisedRoi(image), image.roiMinimum(),
                                                        image.roiMaximum(), image.roiMean(), factsOf(*t),
                                                        display::paletteSettings());
  const std::string* texts[] = {&m.mx, &m.my, &m.mw, &m.mh, &m.min, &m.max, &m.mean};
  for (int i = 0; i < 7; ++i) setText(this, kMx + i, fromStd(*texts[i]));
  scaleEnd_->setText(QString::number(t->maxValue));
  tone_->setRoi(image.roiMinimum(), image.roiMaximum(), t->maxValue);
  minLabel_->setText(QCoreApplication::translate("CInfoPalette", "Min") + QStringLiteral("\n%1").arg(image.roiMinimum()));
  maxLabel_->setText(QCoreApplication::translate("CInfoPalette", "Max") + QStringLiteral("\n%1").arg(image.roiMaximum()));
  // Each label as wide as its text and a blank, so that two labels moved apart
  // from close window ends still read as two.
  const display::LabelPlaces at = display::minMaxLabelPlaces(image.roiMinimum(), image.roiMaximum(), t->maxValue);
  const QSize blank(minLabel_->fontMetrics().horizontalAdvance(QLatin1Char(' ')), 0);
  const QSize minSize = (minLabel_->sizeHint() + blank).expandedTo(QSize(kMinMaxWidth, kMinMaxHeight));
  const QSize maxSize = (maxLabel_->sizeHint() + blank).expandedTo(QSize(kMinMaxWidth, kMinMaxHeight));
  const auto [minX, maxX] = apart(kToneLeft + at.minX, minSize.width(), kToneLeft + at.maxX, maxSize.width(), kEdge,
                                  kWidth - kEdge);
  minLabel_->setGeometry(QRect(QPoint(minX, minMaxTop_), minSize));
  maxLabel_->setGeometry(QRect(QPoint(maxX, minMaxTop_), maxSize));
  measuresShown_ = true;
  showMinMaxLabels(mode_ == display::kInfoFull);
  update(0, toneTop_, width(), height() - toneTop_);
}

void CInfoPalette::updateWindow() {
  const CDisplayTile* t = currentWithImage(grid_);
  if (!t) return;
  writeWindowEdits(t->windowCentre, t->windowWidth);
  invert_->setChecked(t->userInvert != 0);
  tone_->setWindow(t->windowCentre, t->windowWidth, t->userInvert);
}

void CInfoPalette::writeWindowEdits(int centre, int width) {
  const QScopedValueRollback<bool> writing(writing_, true);
  // An edit that already reads the value keeps its cursor where the user left it.
  if (centre_->text() != QString::number(centre)) centre_->setText(QString::number(centre));
  if (width_->text() != QString::number(width)) width_->setText(QString::number(width));
}

void CInfoPalette::refreshAfterUnitChange() {
  if (grid_ && grid_->paletteRefresh) {
    grid_->paletteRefresh(display::kRefreshInfoReadout | display::kRefreshInfoMeasures);
    return;
  }
  updateReadout();
  updateMeasures();
}

void CInfoPalette::command(int id) {
  switch (id) {
    case IDM_WINDOW_EDITED: {
      if (!grid_ || width_->text().isEmpty()) return;
      // Text that is no number counts 0.
      const int centre = platform::ini::parseInt(centre_->text().toStdString());
      const int width = platform::ini::parseInt(width_->text().toStdString());
      grid_->applyWindow(centre, width, invert_->isChecked() ? 1 : 0);
      updateWindow();
      return;
    }
    case IDM_SHARPNESS_CHANGED:
      if (grid_) grid_->applySharpness(slider_->value());
      return;
    default: return;
  }
}

}  // namespace viewer::view
