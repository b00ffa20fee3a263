// The pane bitmap on the window surface: the grey expansion, every kind of
// target a painter can have, and drag steps that repaint only what changed.
#include <gtest/gtest.h>

#include <QPainter>
#include <QScreen>
#include <vector>

#include "viewer/view/internal/surface.h"
#include "viewer/view/tests/fixture.h"

namespace viewer::view {
namespace {

using namespace viewtest;

TEST(PaneSurface, GreyBytesExpandAsThePaneColourTableShowsThem) {
  const QList<QRgb> table = paneColourTable();
  std::vector<std::uint8_t> src(1000 + 3);
  for (std::size_t i = 0; i < src.size(); ++i) src[i] = std::uint8_t(i * 7 + 3);
  // Lengths around the 16-pixel steps and the runs whose whole cache lines
  // bypass the cache, from unaligned starts; 300 bytes meet every value.
  for (std::size_t n : {0, 1, 15, 16, 17, 31, 33, 63, 64, 65, 79, 80, 152, 300, 511, 512, 1000})
    for (std::size_t from : {0, 1, 3}) {
      // The output starts unaligned as well, with a marker on either side.
      std::vector<std::uint32_t> dst(n + 2 + from, 0x12345678u);
      internal::expandGrey(src.data() + from, dst.data() + 1 + from, n);
      internal::expandDone();
      for (std::size_t i = 0; i < n; ++i)
        ASSERT_EQ(dst[1 + from + i], std::uint32_t(table[src[from + i]])) << "n " << n << " from " << from << " at " << i;
      EXPECT_EQ(dst[from], 0x12345678u) << "wrote before the start, n " << n;
      EXPECT_EQ(dst[n + 1 + from], 0x12345678u) << "wrote past " << n;
    }
}

display::Bitmap testBitmap() {
  display::Bitmap b;
  b.width = 13;
  b.rowLength = 16;
  b.height = 9;
  b.bits.resize(16 * 9);
  for (std::size_t i = 0; i < b.bits.size(); ++i) b.bits[i] = std::uint8_t(21 + i * 5);
  return b;
}

TEST(PaneSurface, TheBitmapLandsInItsRegionOnEveryKindOfTarget) {
  const display::Bitmap b = testBitmap();
  // Two rectangles, the second running off the bitmap's right edge.
  const QRegion region = QRegion(2, 1, 9, 6) + QRegion(9, 7, 8, 2);
  const QRgb untouched = qRgb(1, 2, 3);
  struct Case {
    const char* what;
    QImage::Format format;
    QPoint shift;
    int scale;
    QRect clip;  // none when empty
    bool direct;
  } cases[] = {
      {"32-bit surface", QImage::Format_RGB32, {5, 4}, 1, {}, true},
      {"premultiplied surface", QImage::Format_ARGB32_Premultiplied, {5, 4}, 1, {}, true},
      {"partly off the target", QImage::Format_RGB32, {-3, 24}, 1, {}, true},
      {"clipped painter", QImage::Format_RGB32, {5, 4}, 1, QRect(0, 0, 8, 5), true},
      {"24-bit target", QImage::Format_RGB888, {5, 4}, 1, {}, false},
      {"scaled painter", QImage::Format_RGB32, {5, 4}, 2, {}, false},
  };
  for (const Case& c : cases) {
    QImage target(40, 30, c.format);
    target.fill(untouched);
    {
      QPainter p(&target);
      p.translate(c.shift);
      p.scale(c.scale, c.scale);
      if (!c.clip.isEmpty()) p.setClipRect(c.clip);
      EXPECT_EQ(internal::paintsDirectly(p), c.direct) << c.what;
      internal::drawGreyBitmap(p, region, b);
    }
    QRegion shown = region & QRect(0, 0, b.width, b.height);
    if (!c.clip.isEmpty()) shown &= c.clip;
    for (int y = 0; y < target.height(); ++y)
      for (int x = 0; x < target.width(); ++x) {
        const QPoint at((x - c.shift.x()) / c.scale, (y - c.shift.y()) / c.scale);
        const bool inside = x >= c.shift.x() && y >= c.shift.y() && shown.contains(at);
        const int g = inside ? b.bits[std::size_t(at.y() * b.rowLength + at.x())] : 0;
        const QRgb want = inside ? qRgb(g, g, g) : untouched;
        ASSERT_EQ(target.pixel(x, y) & 0xffffff, want & 0xffffff) << c.what << " at " << x << "," << y;
      }
  }
}

TEST(PaneSurface, NothingIsDrawnFromABitmapShorterThanItsSize) {
  display::Bitmap b = testBitmap();
  b.bits.resize(b.bits.size() - 1);
  QImage target(20, 12, QImage::Format_RGB32);
  target.fill(Qt::white);
  QPainter p(&target);
  internal::drawGreyBitmap(p, QRegion(0, 0, 20, 12), b);
  p.end();
  for (int y = 0; y < target.height(); ++y)
    for (int x = 0; x < target.width(); ++x) ASSERT_EQ(target.pixel(x, y), qRgb(255, 255, 255));
}

// What the window surface shows against a fresh paint of the whole view.
void expectSurfaceIsAFullPaint(CTivolaView* view, const char* step) {
  const QImage surface = view->screen()->grabWindow(view->winId()).toImage().convertToFormat(QImage::Format_RGB32);
  const QImage full = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(surface.size(), full.size()) << step;
  int differing = 0;
  QPoint first;
  for (int y = 0; y < full.height(); ++y)
    for (int x = 0; x < full.width(); ++x)
      if ((surface.pixel(x, y) & 0xffffff) != (full.pixel(x, y) & 0xffffff) && differing++ == 0) first = QPoint(x, y);

  EXPECT_EQ(differing, 0) << step << ": first at " << first.x() << "," << first.y();
}

TEST(PaneSurface, DragStepsLeaveTheWindowAsAFullRepaintWouldDrawIt) {
  Viewer v(2, 200, 150, QSize(640, 300));
  v.view->command(ID_SELECT_ALL_VIEWS);
  for (auto& image : v.doc.images) image->setRoi(Rect{40, 30, 120, 100});
  QApplication::processEvents();
  CImagePane* pane = v.view->pane(0);
  ASSERT_TRUE(pane->tile && pane->tile->selected && v.view->pane(1)->tile->selected);
  const QPoint at(pane->width() / 2, pane->height() / 2);
  struct Step {
    const char* what;
    int tool;
    QPoint by;
  } steps[] = {
      {"pan left and down: the picture and its marquee move", display::kToolHand, {-37, 11}},
      {"pan back past the start", display::kToolHand, {52, -20}},
      {"zoom out: the old picture's border turns background", display::kToolZoom, {0, 30}},
      {"zoom in past the pane", display::kToolZoom, {0, -90}},
      {"window change", display::kToolToneCurve, {9, -6}},
  };
  for (const Step& s : steps) {
    v.tools.setTool(s.tool);
    press(pane, at);
    const int stamp = pane->tile->stamp;
    move(pane, at + s.by);
    ASSERT_NE(pane->tile->stamp, stamp) << s.what;
    expectSurfaceIsAFullPaint(v.view.get(), s.what);
    release(pane, at + s.by);
  }
}

// A changed tile painted only in part: its cache is drawn whole, the surface
// takes the new picture inside the part and keeps the old one outside.
TEST(PaneSurface, APartialPaintAfterAChangeTouchesOnlyItsPart) {
  Viewer v(1, 200, 150, QSize(400, 300));
  QApplication::processEvents();
  CImagePane* pane = v.view->pane(0);
  ASSERT_TRUE(pane->tile && pane->tile->image);
  // Nothing left to paint but the part below.
  v.view->repaint();
  QApplication::processEvents();
  const auto surface = [&] {
    return v.view->screen()->grabWindow(v.view->winId()).toImage().convertToFormat(QImage::Format_RGB32);
  };
  const QImage before = surface();
  display::CDisplayTile& t = *pane->tile;
  ASSERT_TRUE(t.setWindow(t.windowCentre + 300, t.windowWidth / 2, t.userInvert));
  const Rect covered = t.coverage(pane->cache);
  const QRect part = QRect(covered.left + 20, covered.top + 15, 50, 30) & pane->pictureRect();
  ASSERT_EQ(part.size(), QSize(50, 30));
  pane->repaint(part);
  EXPECT_EQ(pane->cache.stamp, t.stamp);
  const QImage after = surface();
  const display::Bitmap& b = pane->cache.bitmap;
  int changed = 0;
  for (int y = 0; y < pane->height(); ++y)
    for (int x = 0; x < pane->width(); ++x) {
      const QPoint at = pane->geometry().topLeft() + QPoint(x, y);
      const int g = b.bits[std::size_t(y) * std::size_t(b.rowLength) + std::size_t(x)];
      const QRgb want = part.contains(x, y) ? qRgb(g, g, g) : before.pixel(at);
      ASSERT_EQ(after.pixel(at) & 0xffffff, want & 0xffffff) << "at " << x << "," << y;
      if (part.contains(x, y) && after.pixel(at) != before.pixel(at)) ++changed;
    }
  EXPECT_GT(changed, 0) << "the window change shows nowhere in the part";
  pane->repaint();
  expectSurfaceIsAFullPaint(v.view.get(), "the whole pane painted after the part");
}

}  // namespace
}  // namespace viewer::view
