// The OverView palette: the current image through the grid's mirror tile,
// the current pane's part of it in cyan and the marquee; a drag pans.
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>

#include "viewer/view/palettes.h"
#include "viewer/view/view.h"

namespace viewer::view {

COverviewPalette::COverviewPalette(QWidget* owner) : QWidget(owner, Qt::Tool) {
  setObjectName("OverView");
  setWindowTitle(QCoreApplication::translate("CMainFrame", "OverView"));
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void COverviewPalette::setGrid(display::CDisplayGrid* grid) {
  grid_ = grid;
  fit();
}

void COverviewPalette::withdrawGrid(const display::CDisplayGrid* grid) {
  if (grid_ == grid) setGrid(nullptr);
}

void COverviewPalette::fit() {
  // The window keeps its place and width; its height follows the image.
  const int height = grid_ ? display::overviewFit(grid_->mirror(), width()) : 0;
  resize(width(), height);
  refresh(true);
}

void COverviewPalette::refresh(bool drop) {
  cache_.stamp = 0;
  if (drop) cache_ = display::RenderCache();
  update();
}

void COverviewPalette::resizeEvent(QResizeEvent*) { cache_.make(width(), height()); }

void COverviewPalette::paintEvent(QPaintEvent*) {
  QPainter p(this);
  display::CDisplayTile* mirror = grid_ ? &grid_->mirror() : nullptr;
  if (!mirror || !mirror->image || mirror->image->width() <= 0) {
    p.fillRect(rect(), QColor(192, 192, 192));
    return;
  }
  mirror->viewportWidth = width();
  mirror->viewportHeight = height();
  cache_.sizeTo(width(), height());
  if (!mirror->render(cache_)) {
    p.fillRect(rect(), QColor(192, 192, 192));
    return;
  }
  const QImage shown(cache_.bitmap.bits.data(), cache_.bitmap.width, cache_.bitmap.height, cache_.bitmap.rowLength,
                     QImage::Format_Grayscale8);
  p.drawImage(0, 0, shown);
  if (const display::CDisplayTile* current = grid_->currentTile(); current && current->image) {
    const Rect r = display::overviewViewRect(*current, *mirror);
    p.setPen(QColor(0, 255, 255));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(QPoint(r.left, r.top), QPoint(r.right, r.bottom)).normalized());
    const Rect m = display::overviewMarquee(*current->image, *mirror);
    if (m.right > m.left && m.bottom > m.top) {
      // The marching rectangle, in step with the panes' marquee.
      QPen pen(Qt::black, 0, Qt::DotLine);
      pen.setDashOffset(CTivolaView::marqueePhase());
      p.setPen(pen);
      p.setBackgroundMode(Qt::OpaqueMode);
      p.setBackground(Qt::white);
      const QRect q(QPoint(m.left, m.top), QPoint(m.right, m.bottom));
      p.drawLine(q.topLeft(), q.topRight());
      p.drawLine(q.topRight(), q.bottomRight());
      p.drawLine(q.bottomRight(), q.bottomLeft());
      p.drawLine(q.bottomLeft(), q.topLeft());
    }
  }
}

void COverviewPalette::dragTo(QPoint at) {
  if (!grid_ || width() <= 0 || height() <= 0) return;
  grid_->applyCentre(double(at.x()) / width(), double(at.y()) / height());
  repaint();
}

void COverviewPalette::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || !grid_) return;
  dragging_ = true;
  dragTo(e->position().toPoint());
}

void COverviewPalette::mouseMoveEvent(QMouseEvent* e) {
  if (dragging_) dragTo(e->position().toPoint());
}

void COverviewPalette::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }

}  // namespace viewer::view
