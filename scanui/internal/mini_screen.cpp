#include "scanui/internal/mini_screen.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include "platform/qt/control.h"

namespace scanui::internal {
namespace {

constexpr int kChildId = 99;
constexpr int kShownMm = 432;  // the height selector is empty: always the longest film

Point at(const QMouseEvent* e) { return {e->position().toPoint().x(), e->position().toPoint().y()}; }

}  // namespace

CMiniScreen::CMiniScreen(PreviewModel& model, ScanRegion& region, std::function<void()> marqueeDrawn,
                         QWidget* parent)
    : QWidget(parent), model_(model), region_(region), marqueeDrawn_(std::move(marqueeDrawn)) {
  platform::qt::setControlId(this, kChildId);
  setWindowTitle("MiniScreen");
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

Qt::CursorShape CMiniScreen::cursorFor(int code) {
  switch (code) {
    case kHitMove: return Qt::SizeAllCursor;
    case 1: case 2: return Qt::SizeHorCursor;
    case 4: case 8: return Qt::SizeVerCursor;
    case 5: case 10: return Qt::SizeFDiagCursor;
    case 6: case 9: return Qt::SizeBDiagCursor;
    default: return Qt::ArrowCursor;
  }
}

void CMiniScreen::redrawMarquee() {
  model_.marqueeFromRegion(region_);
  update();
}

void CMiniScreen::advancePhase() {
  phase_ = (phase_ + 6) % 8;
  update();
}

void CMiniScreen::resizeEvent(QResizeEvent*) {
  model_.layout(width(), height());
  model_.marqueeFromRegion(region_);
}

void CMiniScreen::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const std::vector<std::uint8_t>& cells = model_.render();
  const QImage image(cells.data(), kPreviewColumns, kPreviewRows, kPreviewColumns, QImage::Format_Grayscale8);
  const int n = int(kShownMm * 0.5);
  const double f = std::max(1.0, n / 216.0);
  const int dw = model_.displayWidth() * 360 / int(f * 367);
  const int dh = model_.displayHeight() * n * 2 / int(f * 435);
  const QColor margin = model_.marginsBlack() ? Qt::black : Qt::white;
  p.fillRect(rect(), palette().window());
  p.drawImage(QRect(0, 0, dw, dh), image, QRect(0, 0, kPreviewColumns, n));
  p.fillRect(QRect(dw, 0, model_.displayWidth() - dw, dh), margin);
  p.fillRect(QRect(0, dh, model_.displayWidth(), 1), margin);
  // Dotted black on an opaque white background, the dots moving with the phase.
  QPen pen(Qt::black, 0, Qt::CustomDashLine);
  pen.setDashPattern({1, 1});
  pen.setDashOffset(phase_);
  p.setPen(pen);
  p.setBackgroundMode(Qt::OpaqueMode);
  p.setBackground(Qt::white);
  p.setBrush(Qt::NoBrush);
  const Rect& m = model_.marquee();
  p.drawRect(QRect(QPoint(m.left, m.top), QPoint(m.right, m.bottom)).normalized());
}

void CMiniScreen::regionFromMarquee() {
  model_.regionFromMarquee(region_);
  update();
  QMetaObject::invokeMethod(this, [this] { if (marqueeDrawn_) marqueeDrawn_(); }, Qt::QueuedConnection);
}

void CMiniScreen::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::RightButton) {
    model_.setMarquee({});
    regionFromMarquee();
    return;
  }
  if (e->button() != Qt::LeftButton) return;
  dragging_ = true;
  const Point p = clampInto(at(e), model_.bounds());
  hit_ = hitTest(model_.marquee(), p);
  setCursor(cursorFor(hit_));
  drag_ = model_.marquee();
  if (hit_ == kHitOutside) {
    // A new marquee from here, its far corner following the mouse.
    drag_ = {p.x, p.y, p.x, p.y};
    hit_ = 2 | 8;
  } else if (hit_ != kHitMove) {
    drag_ = dragMarquee(drag_, hit_, p, p, model_.bounds());
  }
  model_.setMarquee(drag_);
  regionFromMarquee();
  last_ = p;
}

void CMiniScreen::mouseMoveEvent(QMouseEvent* e) {
  if (!dragging_) {
    setCursor(cursorFor(hitTest(model_.marquee(), at(e))));
    return;
  }
  const Point p = clampInto(at(e), model_.bounds());
  // The dragged edges may cross: the drag keeps its own unnormalised marquee.
  drag_ = dragMarquee(drag_, hit_, p, last_, model_.bounds());
  model_.setMarquee(drag_);
  regionFromMarquee();
  last_ = p;
}

void CMiniScreen::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || !dragging_) return;
  dragging_ = false;
  model_.setMarquee(drag_);
  regionFromMarquee();  // normalises the marquee
}

}  // namespace scanui::internal
