// The image panes: painting the tile's bitmap with frames, arrows, the image
// name and the marching marquee, and turning mouse input into the grid's tools.
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

#include "platform/qt/control.h"
#include "platform/text.h"
#include "viewer/view/internal/cursors.h"
#include "viewer/view/internal/surface.h"
#include "viewer/view/view.h"

namespace viewer::view {

using display::CDisplayTile;

namespace {

// One pointer is down at a time, so the pane state is shared by all panes.
struct PaneState {
  QPoint press, last;
  int pressTick = 0;
  bool pending = false;
  QPoint pendingPos;
  bool buttonDown = false;
  CImagePane* captured = nullptr;
  display::RoiEdit edit;
};
PaneState& state() {
  static PaneState s;
  return s;
}

int flagsOf(Qt::KeyboardModifiers m) {
  return (m & Qt::ShiftModifier ? display::kShiftFlag : 0) | (m & Qt::ControlModifier ? display::kCtrlFlag : 0);
}

QRgb rgb(int r, int g, int b) { return qRgb(r, g, b); }

// The sunken edge of lineWidth pixels: dark above and left, light below and
// right. Solid runs, because lines drawn one pixel at a time cost as much as
// a window-sized picture.
void sunkenEdge(QPainter& p, const QRect& r, const QPalette& pal, int lineWidth) {
  const QColor shade = pal.dark().color(), light = pal.light().color();
  const int x = r.x(), y = r.y(), w = r.width(), h = r.height();
  for (int i = 0; i < lineWidth; ++i) {
    p.fillRect(QRect(QPoint(x, y + i), QPoint(x + w - 2 - i, y + i)), shade);
    p.fillRect(QRect(QPoint(x + i, y + lineWidth - i), QPoint(x + i, y + h - 2)), shade);
  }
  for (int i = 0; i < lineWidth; ++i) {
    p.fillRect(QRect(QPoint(x + i, y + h - 1 - i), QPoint(x + w - 1, y + h - 1 - i)), light);
    p.fillRect(QRect(QPoint(x + w - 1 - i, y + i), QPoint(x + w - 1 - i, y + h - lineWidth - 1)), light);
  }
}

}  // namespace

bool paneDragInProgress() { return state().buttonDown; }

QList<QRgb> paneColourTable() {
  QList<QRgb> t(256);
  for (int i = 0; i < 256; ++i) t[i] = qRgb(i, i, i);
  return t;
}

QList<QRgb> printColourTable() {
  QList<QRgb> t = paneColourTable();
  const QRgb colours[12] = {rgb(0, 255, 255), rgb(255, 255, 0), rgb(255, 0, 255), rgb(0, 255, 0),
                            rgb(255, 0, 0),   rgb(0, 0, 255),   rgb(0, 190, 190), rgb(190, 190, 0),
                            rgb(190, 0, 190), rgb(0, 190, 0),   rgb(190, 0, 0),   rgb(0, 0, 190)};
  for (int i = 0; i < 12; ++i) t[1 + i] = colours[i];
  for (int i = 0; i < 8; ++i) t[13 + i] = colours[i];
  t[21] = qRgb(0, 0, 0);
  return t;
}

QImage toImage(const display::Bitmap& b, int width, const QList<QRgb>& colours) {
  if (width <= 0 || width > b.rowLength || b.height <= 0 ||
      b.bits.size() < std::size_t(b.rowLength) * std::size_t(b.height))
    return {};
  QImage view(b.bits.data(), width, b.height, b.rowLength, QImage::Format_Indexed8);
  view.setColorTable(colours);
  return view.copy();
}

// ---------------------------------------------------------------- pane

CImagePane::CImagePane(CTivolaView* view, int id) : QWidget(view), view_(view) {
  platform::qt::setControlId(this, id);
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

CImagePane::~CImagePane() {
  // A pane closed during a drag must not leave the drag running for the timer.
  if (state().captured == this) {
    state().captured = nullptr;
    state().buttonDown = false;
  }
}

bool CImagePane::usable() const { return tile && tile->image && tile->image->width() > 0; }

QRect CImagePane::pictureRect() const {
  int inset = 2;
  if (tile && tile->selected) inset += tile->current ? 2 : 1;
  return rect().adjusted(inset, inset, -inset, -inset);
}

void CImagePane::resizeEvent(QResizeEvent*) {
  if (tile) tile->fitToPane(width(), height());
  cache.make(width(), height());
}

QRect CImagePane::movedArea() {
  cache.sizeTo(width(), height());
  const bool shown = cache.stamp != 0;
  if (!usable() || !shown) return rect();
  const auto area = [](const Rect& r) { return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top); };
  const QRect changed = area(cache.covered) | area(tile->coverage(cache));
  if (changed.isEmpty()) {
    // Nothing of the picture shows before or after; the cache still follows.
    tile->render(cache);
    return {};
  }
  // The marquee's right and bottom edges can lie one pixel past the picture;
  // the edge and frames around the picture do not change with it.
  return changed.adjusted(-1, -1, 1, 1) & pictureRect();
}

void CImagePane::paintEvent(QPaintEvent* e) {
  QPainter p(this);
  cache.sizeTo(width(), height());
  // The cache is drawn where the tile's pane coordinates say, so the mouse
  // and the picture agree; edges and frames cover its border.
  const QRegion picture = e->region() & pictureRect();
  bool drawn = false;
  if (tile && tile->stamp != cache.stamp) {
    // A redraw puts each row on the surface as it is finished, while it is
    // still in the cache.
    internal::DirectRows direct(p, picture, cache.bitmap);
    if (direct.usable()) {
      drawn = tile->render(cache, [&direct](int y0, int y1) { direct.put(y0, y1); });
    } else {
      drawn = tile->render(cache);
      if (drawn) internal::drawGreyBitmap(p, picture, cache.bitmap);
    }
  } else if (tile && tile->render(cache)) {
    drawn = true;
    internal::drawGreyBitmap(p, picture, cache.bitmap);
  }
  if (!drawn) p.fillRect(rect(), QColor(192, 192, 192));
  // A drag step repaints only inside the frames.
  const bool borders = !drawn || !pictureRect().contains(e->region().boundingRect());
  if (borders) sunkenEdge(p, rect(), palette(), 2);
  if (!drawn) return;

  const QRect inner = rect().adjusted(2, 2, -3, -3);
  if (borders && tile->selected) {
    p.setPen(tile->current ? QColor(0, 255, 255) : QColor(0, 255, 0));
    p.drawRect(inner);
    if (tile->current) p.drawRect(inner.adjusted(1, 1, -1, -1));
  }
  p.setPen(QColor(0, 255, 255));
  p.setBackgroundMode(Qt::TransparentMode);
  if (earlier) p.drawText(5, height() - 18 + p.fontMetrics().ascent(), "<<");
  if (later) p.drawText(width() - 20, height() - 18 + p.fontMetrics().ascent(), ">>");
  const QRect pic = pictureRect();
  if (tile->showName && !tile->image->shownName.empty())
    p.drawText(pic.left() + 4, pic.top() + 4 + p.fontMetrics().ascent(),
               QString::fromStdString(platform::text::cp932ToUtf8(tile->image->shownName)));

  const Rect r = tile->image->roiToWindow(width(), height(), tile->zoom, tile->centreX, tile->centreY);
  if (!tile->image->roi.empty()) {
    p.setClipRect(pic);
    QPen pen(Qt::black, 0, Qt::DotLine);
    pen.setDashOffset(view_->marqueePhase());
    p.setPen(pen);
    p.setBackgroundMode(Qt::OpaqueMode);
    p.setBackground(Qt::white);
    const QRect m = QRect(QPoint(r.left, r.top), QPoint(r.right, r.bottom)).normalized();
    p.drawLine(m.topLeft(), m.topRight());
    p.drawLine(m.topRight(), m.bottomRight());
    p.drawLine(m.bottomRight(), m.bottomLeft());
    p.drawLine(m.bottomLeft(), m.topLeft());
  }
}

void CImagePane::updateCursor(QPoint pt) {
  const int tool = view_->tool();
  const bool dragging = state().captured == this;
  switch (tool) {
    case display::kToolHand: setCursor(internal::toolCursor(dragging ? 141 : 135)); return;
    case display::kToolZoom: setCursor(internal::toolCursor(dragging ? 139 : 138)); return;
    case display::kToolToneCurve: setCursor(internal::toolCursor(dragging ? 140 : 137)); return;
    default: break;
  }
  if (dragging) {
    setCursor(internal::toolCursor(142));
    return;
  }
  int zone = -1;
  if (usable()) {
    const Rect paneRoi = tile->image->roiToWindow(width(), height(), tile->zoom, tile->centreX, tile->centreY);
    zone = display::roiZone(pt.x(), pt.y(), paneRoi);
  }
  setCursor(internal::zoneCursor(zone));
}

void CImagePane::mousePressEvent(QMouseEvent* e) {
  if (!usable()) return;
  const QPoint pt = e->position().toPoint();
  updateCursor(pt);
  if (e->button() != Qt::LeftButton) return;
  PaneState& s = state();
  auto& grid = view_->grid();
  const int flags = flagsOf(e->modifiers());
  s.pending = false;
  if (!tile->selected) {
    grid.click(tile, flags);
  } else {
    s.pressTick = view_->tick();
    if (!(flags & (display::kShiftFlag | display::kCtrlFlag))) {
      grid.click(tile, flags);
    } else {
      grid.click(tile, 0);
      s.pending = true;
      s.pendingPos = pt;
    }
  }
  s.captured = this;
  s.buttonDown = true;
  s.press = s.last = pt;
  const int tool = view_->tool();
  if (tool == display::kToolZoom) grid.startZoomDrag(width(), height(), pt.x(), pt.y());
  if (tool == display::kToolRectangle && flags == 0) {
    CImageItem* image = tile->image;
    const Rect paneRoi = image->roiToWindow(width(), height(), tile->zoom, tile->centreX, tile->centreY);
    const display::Point at = tile->paneToImage(pt.x(), pt.y());
    s.edit.start(display::roiZone(pt.x(), pt.y(), paneRoi), at, image->roi);
  }
  repaint();
}

void CImagePane::editRoi(QPoint pt) {
  PaneState& s = state();
  if (!s.edit.editing()) return;
  const display::Point at = tile->paneToImage(pt.x(), pt.y());
  view_->setSelectedRoi(s.edit.move(at));
}

void CImagePane::mouseMoveEvent(QMouseEvent* e) {
  const QPoint pt = e->position().toPoint();
  PaneState& s = state();
  if (!usable()) return;
  updateCursor(pt);
  if (tile->current) {
    tile->cursorReadout(pt.x(), pt.y(), width(), height(), display::Point{0, 0});
    if (view_->grid().paletteRefresh) view_->grid().paletteRefresh(display::kRefreshInfoReadout);
  }
  if (s.captured != this) return;
  if (s.pending) {
    const QPoint d = pt - s.pendingPos;
    const int d2 = d.x() * d.x() + d.y() * d.y();
    const int limit = view_->tick() - s.pressTick <= 2 ? 25 : 9;
    if (d2 > limit) s.pending = false;
  }
  const int dx = pt.x() - s.last.x(), dy = pt.y() - s.last.y();
  auto& grid = view_->grid();
  switch (view_->tool()) {
    case display::kToolHand: grid.hand(dx, dy); break;
    case display::kToolRectangle: editRoi(pt); break;
    case display::kToolZoom: grid.zoomStep(dy, true); break;
    case display::kToolToneCurve: grid.toneCurve(dx, dy); break;
    default: break;
  }
  view_->paintMovedPanes();
  s.last = pt;
}

void CImagePane::mouseReleaseEvent(QMouseEvent* e) {
  if (!usable()) return;
  const QPoint pt = e->position().toPoint();
  const int flags = flagsOf(e->modifiers());
  PaneState& s = state();
  if (e->button() == Qt::RightButton) {
    view_->grid().click(tile, flags);
    if (!(flags & (display::kShiftFlag | display::kCtrlFlag))) view_->openContextMenu(this, e->globalPosition().toPoint());
    return;
  }
  if (e->button() != Qt::LeftButton || s.captured != this) return;
  s.captured = nullptr;
  s.buttonDown = false;
  if (s.pending) {
    s.pending = false;
    view_->grid().click(tile, flags);
    repaint();
    return;
  }
  if (view_->tool() == display::kToolRectangle && !(flags & display::kCtrlFlag) && s.edit.editing()) {
    s.edit.end();
    view_->flushRoiStatistics();
  }
  updateCursor(pt);
}

void CImagePane::mouseDoubleClickEvent(QMouseEvent* e) {
  if (!usable() || e->button() != Qt::LeftButton) return;
  auto& grid = view_->grid();
  if (!tile->selected) grid.click(tile, grid.takeFreshSelection() ? 0 : display::kCtrlFlag);
  grid.takeFreshSelection();
  grid.doubleClick(view_->tool());
  repaint();
}

// ---------------------------------------------------------------- study panel

CStudyPanel::CStudyPanel(QWidget* parent) : QWidget(parent) { setObjectName("Demographics"); }

void CStudyPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(192, 192, 192));
  if (!study) return;
  QFont font = p.font();
  font.setPixelSize(12);
  font.setWeight(QFont::Normal);
  p.setFont(font);
  p.setBackgroundMode(Qt::TransparentMode);
  struct Row {
    int field, rows, at;
  };
  static constexpr Row kRows[] = {{CStudyInfo::kComponentName, 1, 0},    {CStudyInfo::kComponentIdNumber, 1, 2},
                                  {CStudyInfo::kManufacturingDate, 2, 4}, {CStudyInfo::kStudyDate, 1, 9},
                                  {CStudyInfo::kStudyId, 1, 11},          {CStudyInfo::kStudyDescription, 1, 13}};
  for (const Row& r : kRows) {
    const int y = 10 + 16 * r.at;
    const QString label = QString::fromStdString(platform::text::cp932ToUtf8(CStudyInfo::label(r.field)));
    const int flags = r.rows == 1 ? Qt::TextSingleLine : Qt::TextWordWrap;
    p.drawText(QRect(5, y, 160, 16 * r.rows), flags, label);
    p.drawText(QRect(5, y + 16 * r.rows, 120, 16), Qt::TextSingleLine,
               QString::fromStdString(platform::text::cp932ToUtf8(study->fieldText(r.field))));
  }
}

}  // namespace viewer::view
