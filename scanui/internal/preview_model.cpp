#include "scanui/internal/preview_model.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace scanui::internal {

DensityTable densityTable(int rangeTenths, int deviceMaxTenths) {
  DensityTable t{};
  const double r = rangeTenths / 10.0;
  const double d = deviceMaxTenths / 10.0;
  for (int s = 0; s < 4096; ++s) {
    const double v = r > 0 ? (r - (4095 - s) * d / 4095) * 255 / r : 0;
    t[std::size_t(s)] = v <= 0 ? 0 : std::uint8_t(std::min(255.0, v));
  }
  return t;
}

Rect Rect::normalized() const {
  return {std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
}

int hitTest(const Rect& m, Point p) {
  const bool alongV = p.y >= m.top - kHitBand && p.y <= m.bottom + kHitBand;
  const bool alongH = p.x >= m.left - kHitBand && p.x <= m.right + kHitBand;
  const int dl = std::abs(p.x - m.left), dr = std::abs(p.x - m.right);
  const int dt = std::abs(p.y - m.top), db = std::abs(p.y - m.bottom);
  int code = 0;
  // Where two parallel bands overlap (a thin marquee) the nearer edge takes the point.
  if (alongV && std::min(dl, dr) <= kHitBand) code |= dl <= dr ? 1 : 2;
  if (alongH && std::min(dt, db) <= kHitBand) code |= dt <= db ? 4 : 8;
  if (code != 0) return code;
  const bool inside = p.x >= m.left && p.x <= m.right && p.y >= m.top && p.y <= m.bottom;
  return inside ? kHitMove : kHitOutside;
}

Point clampInto(Point p, const Rect& b) {
  return {std::clamp(p.x, b.left, std::max(b.left, b.right)), std::clamp(p.y, b.top, std::max(b.top, b.bottom))};
}

Rect dragMarquee(const Rect& m, int code, Point p, Point last, const Rect& b) {
  Rect r = m;
  if (code == kHitMove) {
    const int dx = std::clamp(p.x - last.x, b.left - m.left, std::max(b.left - m.left, b.right - m.right));
    const int dy = std::clamp(p.y - last.y, b.top - m.top, std::max(b.top - m.top, b.bottom - m.bottom));
    return {m.left + dx, m.top + dy, m.right + dx, m.bottom + dy};
  }
  if (code < 0) return r;
  if (code & 1) r.left = p.x;
  if (code & 2) r.right = p.x;
  if (code & 4) r.top = p.y;
  if (code & 8) r.bottom = p.y;
  return r;
}

PreviewModel::PreviewModel()
    : stored_(std::size_t(kPreviewColumns) * kPreviewRows, kPreviewWhite),
      live_(stored_.size(), 0),
      display_(stored_.size(), 255),
      density_(densityTable(40, 40)) {
  layout(kPreviewColumns, kPreviewRows);
}

void PreviewModel::layout(int w, int h) {
  w = std::max(w, 1);
  h = std::max(h, 1);
  if (std::int64_t(h) * 365 < std::int64_t(w) * 435) w = int(h * 0.8390804597701149);
  displayWidth_ = std::max(4, (w + 3) / 4 * 4);
  displayHeight_ = int(displayWidth_ * 1.1917808219178083);
  bounds_ = {0, 0, displayWidth_, int(displayWidth_ * 1.1835616438356165 + 0.5)};
  mmPerPixel_ = 367.0 / displayWidth_;
}

void PreviewModel::setDensity(int rangeTenths, int deviceMaxTenths) {
  deviceMax_ = deviceMaxTenths;
  density_ = densityTable(rangeTenths, deviceMaxTenths);
}

void PreviewModel::startLive(const ScanRegion& region, const void* samples, std::size_t sampleCount, int bits) {
  Live m;
  m.firstColumn = std::clamp(region.leftMm / 2, 0, kPreviewColumns - 1);
  m.firstRow = std::clamp(region.topMm / 2, 0, kPreviewRows - 1);
  m.columns = std::clamp(region.widthMm / 2, 0, kPreviewColumns - m.firstColumn);
  m.rows = std::clamp(region.heightMm / 2, 0, kPreviewRows - m.firstRow);
  m.source = samples;
  m.sampleCount = samples != nullptr ? sampleCount : 0;
  m.bytesPerSample = (std::clamp(bits, 8, 16) + 7) / 8;
  m.lineWidth = std::max(0, region.widthPx);
  m.step = region.pitch > 0 ? 2000.0 / region.pitch : 0;
  const int shift = std::clamp(bits, 8, 16) - 8;
  for (int i = 0; i < 4096; ++i) m.table[std::size_t(i)] = std::uint8_t(std::min(255, i >> shift));
  map_ = m;
  std::fill(live_.begin(), live_.end(), 0);
  live_present_ = true;
  render();
}

void PreviewModel::sample() {
  const Live& m = map_;
  if (!live_present_ || m.source == nullptr) return;
  const auto* bytes = static_cast<const std::uint8_t*>(m.source);
  for (int r = 0; r < m.rows; ++r) {
    const std::size_t line = std::size_t(r * m.step);
    for (int c = 0; c < m.columns; ++c) {
      const std::size_t index = line * std::size_t(m.lineWidth) + std::size_t(c * m.step);
      if (index >= m.sampleCount) continue;  // not in the buffer: the cell keeps its value
      std::uint16_t v;
      if (m.bytesPerSample == 1) {
        v = bytes[index];
      } else {
        std::memcpy(&v, bytes + index * 2, 2);
      }
      live_[std::size_t(m.firstRow + r) * kPreviewColumns + std::size_t(m.firstColumn + c)] = v;
    }
  }
}

void PreviewModel::finishLive() {
  scout_ = false;
  std::fill(stored_.begin(), stored_.end(), 0);
  marginsBlack_ = true;
  render();
}

void PreviewModel::abortLive() {
  live_present_ = false;
  render();
}

void PreviewModel::reset() {
  std::fill(stored_.begin(), stored_.end(), kPreviewWhite);
  scout_ = false;
  live_present_ = false;
  marginsBlack_ = false;
  render();
}

double PreviewModel::maxDensity(const ScanRegion& region) const {
  if (!scout_) return -1.0;
  int c0 = 0, c1 = kPreviewColumns, r0 = 0, r1 = kPreviewRows;
  if (region.widthMm >= 2 && region.heightMm >= 2) {
    c0 = std::clamp(region.leftMm / 2, 0, kPreviewColumns);
    c1 = std::clamp(region.leftMm / 2 + region.widthMm / 2, c0, kPreviewColumns);
    r0 = std::clamp(region.topMm / 2, 0, kPreviewRows);
    r1 = std::clamp(region.topMm / 2 + region.heightMm / 2, r0, kPreviewRows);
  }
  if (r0 == r1 || c0 == c1) return 0;
  std::uint16_t lowest = kPreviewWhite;
  for (int r = r0; r < r1; ++r)
    for (int c = c0; c < c1; ++c)
      lowest = std::min(lowest, stored_[std::size_t(r) * kPreviewColumns + std::size_t(c)]);
  return (4095 - lowest) * (deviceMax_ / 10.0) / 4095;
}

const std::vector<std::uint8_t>& PreviewModel::render() {
  for (std::size_t i = 0; i < stored_.size(); ++i) display_[i] = density_[std::min<std::size_t>(stored_[i], 4095)];
  if (live_present_) {
    const Live& m = map_;
    for (int r = 0; r < m.rows; ++r)
      for (int c = 0; c < m.columns; ++c) {
        const std::size_t i = std::size_t(m.firstRow + r) * kPreviewColumns + std::size_t(m.firstColumn + c);
        display_[i] = m.table[std::min<std::size_t>(live_[i], 4095)];
      }
  }
  return display_;
}

void PreviewModel::marqueeFromRegion(const ScanRegion& region) {
  const double k = mmPerPixel_;
  const int x = int(region.leftMm / k + 0.5), y = int(region.topMm / k + 0.5);
  marquee_ = {x, y, x + int(region.widthMm / k + 0.5), y + int(region.heightMm / k + 0.5)};
}

void PreviewModel::regionFromMarquee(ScanRegion& region) {
  marquee_ = marquee_.normalized();
  const double k = mmPerPixel_;
  region.setLeft(std::int64_t(marquee_.left * k + 0.5));
  region.setTop(std::int64_t(marquee_.top * k + 0.5));
  region.setWidthMm(std::int64_t(marquee_.width() * k + 0.5));
  region.setHeightMm(std::int64_t(marquee_.height() * k + 0.5));
}

}  // namespace scanui::internal
