// The film preview without a window: 180 x 1500 cells of 2 mm, the stored
// (scout) and live images, the density mapping, the marquee and its hit test.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "scanui/internal/region.h"

namespace scanui::internal {

inline constexpr int kPreviewColumns = 180;
inline constexpr int kPreviewRows = 1500;
inline constexpr std::uint16_t kPreviewWhite = 4095;  // O.D. 0

using DensityTable = std::array<std::uint8_t, 4096>;
// Stored sample to grey level for range R with device maximum D (both tenths).
DensityTable densityTable(int rangeTenths, int deviceMaxTenths);

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  Rect normalized() const;
  bool operator==(const Rect&) const = default;
};
struct Point {
  int x = 0, y = 0;
};

// Marquee hit codes: 1 left, 2 right, 4 top, 8 bottom edge (combined at
// corners), 0 inside (move), -1 outside.
inline constexpr int kHitMove = 0;
inline constexpr int kHitOutside = -1;
inline constexpr int kHitBand = 6;  // pixels either side of an edge
int hitTest(const Rect& marquee, Point p);
// The marquee after the mouse moved from `last` to `p` holding `code`: an
// edge code moves those edges to the point, 0 moves the whole marquee within
// the bounds.
Rect dragMarquee(const Rect& marquee, int code, Point p, Point last, const Rect& bounds);
Point clampInto(Point p, const Rect& bounds);

class PreviewModel {
 public:
  PreviewModel();

  // The drawn area for a client size; the marquee bounds and the scale follow.
  void layout(int clientWidth, int clientHeight);
  int displayWidth() const { return displayWidth_; }
  int displayHeight() const { return displayHeight_; }
  const Rect& bounds() const { return bounds_; }
  double mmPerPixel() const { return mmPerPixel_; }

  void setDensity(int rangeTenths, int deviceMaxTenths);
  int deviceMaxOd() const { return deviceMax_; }

  // Stored image: the scout scan writes density codes here.
  std::uint16_t* stored() { return stored_.data(); }
  const std::uint16_t* stored() const { return stored_.data(); }
  const std::uint16_t* live() const { return live_.data(); }
  void setScoutPresent() { scout_ = true; }
  bool scoutPresent() const { return scout_; }
  bool livePresent() const { return live_present_; }
  bool marginsBlack() const { return marginsBlack_; }

  // The running scan's image: `samples` of (bits+7)/8 bytes, region.widthPx a
  // line, `sampleCount` samples really there.
  void startLive(const ScanRegion& region, const void* samples, std::size_t sampleCount, int bits);
  void sample();
  void finishLive();  // a scan that succeeded: its frame on black
  void abortLive();
  void reset();  // all white, no scout, no live image

  // Highest O.D. inside the region's cells; -1 without a scout image.
  double maxDensity(const ScanRegion& region) const;

  // The 8-bit display image, one byte a cell, rows top-down.
  const std::vector<std::uint8_t>& render();

  const Rect& marquee() const { return marquee_; }
  void setMarquee(const Rect& r) { marquee_ = r; }
  void marqueeFromRegion(const ScanRegion& region);
  void regionFromMarquee(ScanRegion& region);

  struct Live {
    int firstColumn = 0, firstRow = 0, columns = 0, rows = 0;
    const void* source = nullptr;
    std::size_t sampleCount = 0;
    int bytesPerSample = 1;
    int lineWidth = 0;
    double step = 0;
    std::array<std::uint8_t, 4096> table{};
  };
  const Live& liveMapping() const { return map_; }

 private:
  std::vector<std::uint16_t> stored_;
  std::vector<std::uint16_t> live_;
  std::vector<std::uint8_t> display_;
  DensityTable density_{};
  int deviceMax_ = 40;
  bool scout_ = false, live_present_ = false, marginsBlack_ = false;
  Live map_;
  int displayWidth_ = 0, displayHeight_ = 0;
  Rect bounds_;
  Rect marquee_;
  double mmPerPixel_ = 1;
};

}  // namespace scanui::internal
