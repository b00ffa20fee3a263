// The window-free arithmetic of the Information, OverView and Profile
// palettes: their texts, the slider and tone-curve mappings, and geometry.
#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <system_error>

#include "viewer/display/display.h"

namespace viewer::display {

namespace {

std::string fixed(double value, int digits) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, digits);
  return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string();
}

constexpr const char* kNone = "-       ";

// A double result kept in the range of an int.
int toInt(double v) {
  if (std::isnan(v)) return 0;
  return int(std::clamp(v, double(INT_MIN), double(INT_MAX)));
}

}  // namespace

PaletteSettings& paletteSettings() {
  static PaletteSettings settings;
  return settings;
}

int infoModeOfKey(int infomation) {
  if (infomation == 0) return 0;
  return infomation == 2 ? kInfoFull : kInfoShort;
}

int keyOfInfoMode(int mode, bool shown) {
  if (!shown) return 0;
  return mode == kInfoFull ? 2 : 1;
}

std::string lengthText(int n, int scaleUnit, int pitch) {
  if (n < 0) return kNone;
  if (scaleUnit == 1) {
    if (pitch <= 0) return kNone;
    return fixed(double(pitch) * n * 0.001, 2) + " mm    ";
  }
  return std::to_string(n) + (n <= 1 ? " Pixel " : " Pixels");
}

std::string valueText(int sample, int valueUnit, int maxValue, int odRange) {
  if (valueUnit != 1) return std::to_string(sample) + "       ";
  if (maxValue <= 0 || odRange <= 0) return kNone;
  const int v = std::clamp(sample, 0, maxValue);
  return fixed3((1.0 - double(v) / maxValue) * odRange * 0.1) + "       ";
}

ReadoutTexts readoutTexts(int x, int y, int value, const ImageFacts& image, const PaletteSettings& units) {
  ReadoutTexts t;
  t.x = lengthText(x, units.scale, image.pitch);
  t.y = lengthText(y, units.scale, image.pitch);
  // No sample lies under a pointer outside the image; -1 is no value to show.
  t.value = value < 0 ? kNone : valueText(value, units.value, image.maxValue, image.odRange);
  return t;
}

MeasureTexts measureTexts(const Rect& marquee, int roiMin, int roiMax, int roiMean, const ImageFacts& image,
                          const PaletteSettings& units) {
  MeasureTexts t;
  const bool none = marquee.empty();
  t.mx = lengthText(none ? -1 : marquee.left, units.scale, image.pitch);
  t.my = lengthText(none ? -1 : marquee.top, units.scale, image.pitch);
  t.mw = lengthText(none ? -1 : marquee.right - marquee.left, units.scale, image.pitch);
  t.mh = lengthText(none ? -1 : marquee.bottom - marquee.top, units.scale, image.pitch);
  auto value = [&](int v) { return valueText(v, units.value, image.maxValue, image.odRange); };
  // Density falls as the value rises.
  const bool od = units.value == 1;
  t.min = value(od ? roiMax : roiMin);
  t.max = value(od ? roiMin : roiMax);
  t.mean = value(roiMean);
  return t;
}

LabelPlaces minMaxLabelPlaces(int roiMin, int roiMax, int maxValue) {
  if (maxValue <= 0) return {};
  LabelPlaces p;
  p.minX = int(100LL * roiMin / maxValue);
  p.maxX = std::max(int(100LL * roiMax / maxValue), p.minX);
  return p;
}

std::string zoomItemText(double zoom) { return fixed(zoom, 3) + "      "; }

double leadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  double v = 0.0;
  const auto r = std::from_chars(text.data() + i, text.data() + text.size(), v);
  return r.ec == std::errc() && std::isfinite(v) ? v : 0.0;
}

double sharpnessAtRow(int y) {
  y = std::clamp(y, 4, 93);
  return std::clamp((93 - y) / 44.5, 0.0, kMaxSharpness);
}

int sharpThumbRow(double value) { return 90 - int(std::clamp(value, 0.0, kMaxSharpness) * 44.5); }

ToneWindow toneCurveDrag(ToneWindow w, int maxValue, int dx, int dy) {
  if (maxValue <= 0) return w;
  const double m = maxValue;
  ToneWindow out = w;
  // std::round takes halves away from zero.
  out.centre = toInt(w.centre + std::round(0.01 * dx * m));
  const double steep = 1.5 - w.width / (2.0 * m);
  // The grey table never holds a width that makes the divisor vanish; a
  // width typed that wide keeps its value.
  if (steep > 0.0) out.width = toInt(w.width + std::round(0.01 * dy * m / steep));
  out.width = std::max(out.width, 1);
  return out;
}

ToneWindow toneCurveDoubleClick(int roiMin, int roiMax, int maxValue, bool editsHoldRoiWindow) {
  if (editsHoldRoiWindow) return ToneWindow{maxValue / 2, maxValue};
  return ToneWindow{int((std::int64_t(roiMin) + roiMax) / 2), roiMax - roiMin};
}

ToneLine toneCurveLine(ToneWindow w, int maxValue, bool invert, int clientWidth) {
  if (maxValue <= 0) return {};
  const double scale = double(clientWidth) / maxValue;
  const int low = toInt(std::lround((w.centre - w.width / 2.0) * scale));
  const int high = toInt(std::lround((w.centre + w.width / 2.0) * scale));
  return invert ? ToneLine{high, low} : ToneLine{low, high};
}

int toneMarkerX(int value, int maxValue, int clientWidth) {
  return maxValue > 0 ? int(std::int64_t(value) * clientWidth / maxValue) : 0;
}

int overviewFit(CDisplayTile& mirror, int clientWidth) {
  const CImageItem* image = mirror.image;
  if (!image || image->width() <= 0 || image->height() <= 0 || clientWidth <= 0) return 0;
  const double zoom = double(clientWidth) / image->width();
  mirror.setZoomUnclamped(zoom);
  return toInt(image->height() * zoom);
}

Point imageToPane(const CDisplayTile& t, Point p) {
  if (!t.image) return {};
  const double x = std::lround((p.x - t.image->width() * t.centreX) * t.zoom);
  const double y = std::lround((p.y - t.image->height() * t.centreY) * t.zoom);
  return Point{toInt(x) + t.viewportWidth / 2, toInt(y) + t.viewportHeight / 2};
}

Rect overviewViewRect(const CDisplayTile& current, const CDisplayTile& mirror) {
  if (!current.image || !mirror.image) return {};
  const Point a = imageToPane(mirror, current.paneToImage(0, 0));
  const Point b = imageToPane(mirror, current.paneToImage(current.viewportWidth - 1, current.viewportHeight - 1));
  return Rect{a.x, a.y, b.x, b.y};
}

Rect overviewMarquee(const CImageItem& image, const CDisplayTile& mirror) {
  const Rect r = normalisedRoi(image);
  if (r.empty() || mirror.image != &image) return {};
  const Point a = imageToPane(mirror, Point{r.left, r.top});
  const Point b = imageToPane(mirror, Point{r.right, r.bottom});
  return Rect{a.x, a.y, b.x - 2, b.y - 2};
}

namespace {
bool meet(const Rect& a, const Rect& b) {
  return !a.empty() && !b.empty() && a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}
}  // namespace

std::vector<Rect> placePalettes(const std::vector<PaletteFrame>& palettes) {
  std::vector<Rect> placed;
  placed.reserve(palettes.size());
  for (std::size_t i = 0; i < palettes.size(); ++i) {
    Rect r = palettes[i].frame;
    // Every step moves past one earlier frame, so the steps are as many as the frames at most.
    for (std::size_t step = 0; palettes[i].shown && step <= i; ++step) {
      const Rect* hit = nullptr;
      for (std::size_t k = 0; k < i && !hit; ++k)
        if (palettes[k].shown && meet(r, placed[k])) hit = &placed[k];
      if (!hit) break;
      const int by = palettes[i].clearsRight ? hit->right - r.left : hit->bottom - r.top;
      (palettes[i].clearsRight ? r.left : r.top) += by;
      (palettes[i].clearsRight ? r.right : r.bottom) += by;
    }
    placed.push_back(r);
  }
  return placed;
}

std::vector<Point> profilePolyline(const std::vector<int>& samples, int windowWidth) {
  const std::int64_t n = std::int64_t(samples.size());
  if (n < 1) return {};
  const int plot = windowWidth - 60;
  std::vector<Point> points;
  points.reserve(std::size_t(std::max(plot, 0)) + 1);
  points.push_back(Point{40, 20 + samples[0] / 2});
  for (int i = 0; i < plot; ++i) points.push_back(Point{40 + i, 20 + samples[std::size_t(n * i / plot)] / 2});
  return points;
}

}  // namespace viewer::display
