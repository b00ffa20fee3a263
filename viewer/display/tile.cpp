// A display tile: how one image is shown in its pane.
#include <algorithm>
#include <cmath>

#include "viewer/display/display.h"

namespace viewer::display {

Rect normalisedRoi(const CImageItem& item) {
  const Rect& r = item.roi;
  Rect n{std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
         std::max(r.top, r.bottom)};
  n.left = std::clamp(n.left, 0, item.width());
  n.right = std::clamp(n.right, 0, item.width());
  n.top = std::clamp(n.top, 0, item.height());
  n.bottom = std::clamp(n.bottom, 0, item.height());
  return n;
}

void CDisplayTile::bind(CImageItem* item, int max) {
  image = item;
  maxValue = max;
  lut.maxValue = max;
  lut.invertedImage = item ? item->inverted : 0;
  // The table follows its new maximum and inversion at once, so what is shown
  // never lags behind the values the tile copies.
  lut.windowCentre = std::clamp(lut.windowCentre, 0, max);
  lut.windowWidth = std::clamp(lut.windowWidth, 1, 2 * max + 2);
  lut.build();
  windowCentre = lut.windowCentre;
  windowWidth = lut.windowWidth;
  userInvert = lut.userInvert;
  computeOverflow();
  raiseStamp();
}

void CDisplayTile::unbind() {
  image = nullptr;
  raiseStamp();
}

bool CDisplayTile::setWindow(int c, int w, int invert) {
  if (!lut.setWindow(c, w, invert)) return false;
  windowCentre = lut.windowCentre;
  windowWidth = lut.windowWidth;
  userInvert = lut.userInvert;
  raiseStamp();
  return true;
}

void CDisplayTile::fitWindowToRoi() {
  if (!hasImage()) return;
  setWindow((image->roiMaximum() + image->roiMinimum()) / 2, image->roiMaximum() - image->roiMinimum(),
            userInvert);
}

void CDisplayTile::setCentre(double x, double y) {
  x = std::isnan(x) ? centreX : std::clamp(x, 0.0, 1.0);
  y = std::isnan(y) ? centreY : std::clamp(y, 0.0, 1.0);
  if (x != centreX || y != centreY) {
    centreX = x;
    centreY = y;
    raiseStamp();
  }
}

void CDisplayTile::setZoom(double z) {
  if (std::isnan(z)) return;
  if (z >= kMaxZoom) z = kMaxZoom;
  if (z < kMinZoom) z = kMinZoom;
  if (z != zoom) {
    zoom = z;
    raiseStamp();
  }
  computeOverflow();
}

void CDisplayTile::setZoomUnclamped(double z) {
  if (z != zoom) {
    zoom = z;
    raiseStamp();
  }
}

void CDisplayTile::zoomToFit() {
  if (!hasImage()) return;
  setZoom(std::min(double(viewportWidth) / image->width(), double(viewportHeight) / image->height()));
}

void CDisplayTile::setSharpness(double s) {
  if (std::isnan(s)) return;
  s = std::clamp(s, 0.0, kMaxSharpness);
  if (s != sharpness) {
    sharpness = s;
    raiseStamp();
  }
}

void CDisplayTile::computeOverflow() {
  if (!hasImage()) return;
  const double rx = viewportWidth > 0 ? image->width() * zoom / viewportWidth : 1.0;
  const double ry = viewportHeight > 0 ? image->height() * zoom / viewportHeight : 1.0;
  overflow = std::max(rx, ry);
}

void CDisplayTile::fitToPane(int width, int height) {
  viewportWidth = width;
  viewportHeight = height;
  if (!hasImage()) return;
  setZoom(std::min(width * overflow / image->width(), height * overflow / image->height()));
}

Point CDisplayTile::paneToImage(int px, int py) const {
  if (!hasImage()) return Point{-1, -1};
  return sourceAt(image->width(), image->height(), viewportWidth, viewportHeight, zoom, centreX, centreY, px, py);
}

void CDisplayTile::cursorReadout(int px, int py, int paneWidth, int paneHeight, Point origin) {
  if (paneWidth != viewportWidth || paneHeight != viewportHeight) return;
  const Point p = paneToImage(px, py);
  if (!hasImage() || p.x < 0 || p.y < 0 || p.x >= image->width() || p.y >= image->height()) {
    clearCursorReadout();
    return;
  }
  cursorX = p.x + origin.x;
  cursorY = p.y + origin.y;
  cursorValue = image->pixel(p.x, p.y);
}

void CDisplayTile::startDisplay() {
  fitWindowToRoi();
  centre();
  zoomToFit();
  setSharpness(0.0);
}

bool CDisplayTile::render(RenderCache& cache, const RowsDone& rowsDone) const {
  if (!hasImage() || !image->hasPixels()) return false;
  if (cache.stamp == stamp) return true;
  RenderParams p;
  p.zoom = zoom;
  p.centreX = centreX;
  p.centreY = centreY;
  p.sharpness = sharpness;
  if (!renderImage(*image, lut.table, p, cache.bitmap, &cache.covered, rowsDone ? &rowsDone : nullptr)) return false;
  cache.stamp = stamp;
  return true;
}

Rect CDisplayTile::coverage(const RenderCache& cache) const {
  if (!hasImage() || !image->hasPixels()) return Rect{};
  SourceTables t;
  if (!sourceTables(image->width(), image->height(), cache.bitmap.width, cache.bitmap.height, zoom, centreX, centreY, t))
    return Rect{};
  return Rect{t.x0, t.y0, t.x1, t.y1};
}

}  // namespace viewer::display
