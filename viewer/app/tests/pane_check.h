// Compares what a pane of a grabbed view shows with the display core's
// rendering of its tile, away from the name overlay and the marquee.
#pragma once
#include <QImage>
#include <algorithm>
#include <cstdlib>

#include "viewer/view/view.h"

namespace app_test {

struct PaneCheck {
  int same = 0, differ = 0;
  int darkest = 255, brightest = 0;  // of the rendering compared
  QString firstDifference;
};

// `window`: the grab of the view that holds the pane.
inline PaneCheck comparePane(const QImage& window, const viewer::view::CImagePane& pane) {
  PaneCheck out;
  if (pane.tile == nullptr || pane.tile->image == nullptr) return out;
  const viewer::display::CDisplayTile& t = *pane.tile;
  // The core renders a pane's cache over its client width.
  viewer::display::RenderCache cache;
  if (!cache.make(pane.width(), pane.height()) || !t.render(cache)) return out;
  const viewer::display::Bitmap& want = cache.bitmap;
  const QImage shown = window.convertToFormat(QImage::Format_RGB32);
  const QRect inside = pane.pictureRect().adjusted(0, 30, 0, 0);
  const viewer::Rect m = t.image->roiToWindow(pane.width(), pane.height(), t.zoom, t.centreX, t.centreY);
  const bool roi = !t.image->roi.empty();
  const auto nearMarquee = [&](int x, int y) {
    if (!roi) return false;
    const bool inX = x >= m.left - 2 && x <= m.right + 2, inY = y >= m.top - 2 && y <= m.bottom + 2;
    return (inY && (std::abs(x - m.left) <= 2 || std::abs(x - m.right) <= 2)) ||
           (inX && (std::abs(y - m.top) <= 2 || std::abs(y - m.bottom) <= 2));
  };
  for (int y = inside.top(); y <= inside.bottom(); ++y)
    for (int x = inside.left(); x <= inside.right(); ++x) {
      if (nearMarquee(x, y)) continue;
      const int g = want.bits[std::size_t(y) * std::size_t(want.rowLength) + std::size_t(x)];
      const QPoint at = pane.geometry().topLeft() + QPoint(x, y);
      if (!shown.rect().contains(at)) continue;
      out.darkest = std::min(out.darkest, g);
      out.brightest = std::max(out.brightest, g);
      if ((shown.pixel(at) & 0xffffff) == (qRgb(g, g, g) & 0xffffff)) ++out.same;
      else if (++out.differ == 1)
        out.firstDifference = QStringLiteral("at %1,%2 shown %3, rendered %4").arg(x).arg(y).arg(qGray(shown.pixel(at))).arg(g);
    }
  return out;
}

}  // namespace app_test
