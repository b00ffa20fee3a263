// Cursor glyphs painted at run time, so no image files ship with the viewer.
#include <QPainter>
#include <QPixmap>
#include <map>

#include "viewer/view/internal/cursors.h"

namespace viewer::view::internal {

namespace {

QCursor paint(int resource) {
  QPixmap pm(32, 32);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QPen outline(Qt::black, 2), inner(Qt::white, 1);
  const bool dragging = resource >= 139 && resource <= 142;
  auto stroke = [&](auto draw) {
    p.setPen(outline);
    draw();
    p.setPen(inner);
    draw();
  };
  switch (resource) {
    case 135:
    case 141:  // a palm with fingers, closed while dragging
      p.setBrush(Qt::white);
      stroke([&] {
        p.drawRoundedRect(8, 14, 16, 12, 4, 4);
        for (int f = 0; f < 4; ++f) p.drawRoundedRect(8 + 4 * f, dragging ? 10 : 4, 4, 12, 2, 2);
      });
      return QCursor(pm, 16, 16);
    case 138:
    case 139:  // a magnifier, with a plus while dragging
      p.setBrush(Qt::NoBrush);
      stroke([&] {
        p.drawEllipse(4, 4, 16, 16);
        p.drawLine(18, 18, 28, 28);
        if (dragging) {
          p.drawLine(8, 12, 16, 12);
          p.drawLine(12, 8, 12, 16);
        }
      });
      return QCursor(pm, 12, 12);
    case 137:
    case 140:  // a half-dark disc for the tone curve
      p.setPen(outline);
      p.setBrush(Qt::white);
      p.drawEllipse(6, 6, 20, 20);
      p.setBrush(Qt::black);
      p.drawPie(6, 6, 20, 20, dragging ? 0 : 90 * 16, 180 * 16);
      return QCursor(pm, 16, 16);
    default:  // the Rectangle tool dragging: a cross
      stroke([&] {
        p.drawLine(16, 4, 16, 28);
        p.drawLine(4, 16, 28, 16);
      });
      return QCursor(pm, 16, 16);
  }
}

}  // namespace

QCursor toolCursor(int resource) {
  static std::map<int, QCursor> made;
  auto it = made.find(resource);
  if (it == made.end()) it = made.emplace(resource, paint(resource)).first;
  return it->second;
}

QCursor zoneCursor(int zone) {
  switch (zone) {
    case -1: return Qt::ArrowCursor;
    case 1: case 2: return Qt::SizeHorCursor;
    case 4: case 8: return Qt::SizeVerCursor;
    case 5: case 10: return Qt::SizeFDiagCursor;
    case 6: case 9: return Qt::SizeBDiagCursor;
    default: return Qt::SizeAllCursor;  // inside, or on two opposite edges
  }
}

}  // namespace viewer::view::internal
