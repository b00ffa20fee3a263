// The Profile palette: the current image's line profile across its ROI.
#include <QCoreApplication>
#include <QPainter>
#include <QShowEvent>

#include "viewer/view/palettes.h"

namespace viewer::view {

namespace {
QString text(const char* source) { return QCoreApplication::translate("CProfilePalette", source); }
constexpr int kTextAlign = Qt::AlignRight | Qt::AlignBottom | Qt::TextSingleLine;
}  // namespace

QString profileTitle(int mode, int valueUnit) {
  return text(mode == 1 ? QT_TRANSLATE_NOOP("CProfilePalette", "Vertical Profile")
                        : QT_TRANSLATE_NOOP("CProfilePalette", "Horizontal Profile")) +
         text(valueUnit == 1 ? QT_TRANSLATE_NOOP("CProfilePalette", "(O.D.)")
                             : QT_TRANSLATE_NOOP("CProfilePalette", "(Pixel Value)"));
}

CProfilePalette::CProfilePalette(QWidget* owner) : QWidget(owner, Qt::Tool) {
  setObjectName("Profile");
  setWindowTitle(QCoreApplication::translate("CMainFrame", "Profile"));
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void CProfilePalette::setProfile(const LineProfile& profile) {
  samples_ = profile.samples;
  maxText_ = QString::fromStdString(profile.maxText);
  minText_ = QString::fromStdString(profile.minText);
}

void CProfilePalette::updateProfile() {
  const display::PaletteSettings& s = display::paletteSettings();
  setWindowTitle(profileTitle(s.profileMode, s.value));
  if (!userSized_) {
    requested_ = QSize(display::profileWindowWidth(length()), height());
    resize(requested_);
  }
  repaint();
}

void CProfilePalette::showEvent(QShowEvent*) { userSized_ = false; }

// Only a size the palette did not ask for is the user's.
void CProfilePalette::resizeEvent(QResizeEvent*) {
  if (size() != requested_) userSized_ = true;
  update();
}

void CProfilePalette::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  const int plot = width() - 60;
  p.setPen(Qt::black);
  p.drawLine(40, 20, 40, 148);
  p.drawLine(40, 148, plot + 40, 148);
  const std::vector<display::Point> line = display::profilePolyline(samples_, width());
  for (std::size_t i = 1; i < line.size(); ++i)
    p.drawLine(line[i - 1].x, line[i - 1].y, line[i].x, line[i].y);
  p.setFont(textFont());
  p.drawText(maxTextBox(), kTextAlign, maxText_);
  p.drawText(minTextBox(), kTextAlign, minText_);
}

QRect CProfilePalette::maxTextBox() { return QRect(QPoint(0, 0), QPoint(36, 32)); }
QRect CProfilePalette::minTextBox() { return QRect(QPoint(0, 128), QPoint(36, 160)); }

// The 16-pixel face, smaller where a text would not stand whole in its box:
// the face that stands in for the one named may be wider, and a 16-bit
// value has five digits.
QFont CProfilePalette::textFont() const {
  QFont font(QStringLiteral("Arial"));
  font.setWeight(QFont::Normal);
  for (int size = 16;; --size) {
    font.setPixelSize(size);
    const QFontMetrics fm(font);
    const bool fits = maxTextBox().contains(fm.boundingRect(maxTextBox(), kTextAlign, maxText_)) &&
                      minTextBox().contains(fm.boundingRect(minTextBox(), kTextAlign, minText_));
    if (fits || size <= 6) return font;
  }
}

}  // namespace viewer::view
