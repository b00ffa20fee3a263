// The pane bitmap onto the window surface in one pass per painted row.
#include "viewer/view/internal/surface.h"

#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <immintrin.h>
#endif

namespace viewer::view::internal {

#if defined(__SSE2__)
namespace {

// Runs from this many pixels on store their whole cache lines around the cache.
constexpr std::size_t kStreamedRun = 64;

template <bool kStream>
inline void put(__m128i* at, __m128i v) {
  if constexpr (kStream) _mm_stream_si128(at, v);
  else _mm_storeu_si128(at, v);
}

// Byte g becomes g g g 0xFF in memory: 0xFFgggggg, 16 pixels a step.
template <bool kStream>
std::size_t expand16(const std::uint8_t* src, std::uint32_t* dst, std::size_t n) {
  const __m128i opaque = _mm_set1_epi8(char(0xFF));
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i gg0 = _mm_unpacklo_epi8(g, g), gg1 = _mm_unpackhi_epi8(g, g);
    const __m128i ga0 = _mm_unpacklo_epi8(g, opaque), ga1 = _mm_unpackhi_epi8(g, opaque);
    auto* out = reinterpret_cast<__m128i*>(dst + i);
    put<kStream>(out, _mm_unpacklo_epi16(gg0, ga0));
    put<kStream>(out + 1, _mm_unpackhi_epi16(gg0, ga0));
    put<kStream>(out + 2, _mm_unpacklo_epi16(gg1, ga1));
    put<kStream>(out + 3, _mm_unpackhi_epi16(gg1, ga1));
  }
  return i;
}

#if defined(__x86_64__) && defined(__GNUC__)
// 16 pixels, one whole cache line, a store.
__attribute__((target("avx512f"))) std::size_t expandLines512(const std::uint8_t* src, std::uint32_t* dst,
                                                             std::size_t n) {
  const __m512i grey = _mm512_set1_epi32(0x010101), opaque = _mm512_set1_epi32(int(0xFF000000u));
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m512i g = _mm512_maskz_cvtepu8_epi32(0xFFFF, _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)));
    _mm512_stream_si512(reinterpret_cast<__m512i*>(dst + i), _mm512_or_si512(_mm512_mullo_epi32(g, grey), opaque));
  }
  return i;
}

bool hasAvx512() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") != 0;
  }();
  return has;
}
#endif

// Whole cache lines from an aligned dst, stored around the cache; the widest
// stores the processor has fill a line each.
std::size_t expandLines(const std::uint8_t* src, std::uint32_t* dst, std::size_t n) {
#if defined(__x86_64__) && defined(__GNUC__)
  if (hasAvx512()) return expandLines512(src, dst, n);
#endif
  return expand16<true>(src, dst, n);
}

}  // namespace
#endif

void expandGrey(const std::uint8_t* src, std::uint32_t* dst, std::size_t n) {
  const auto one = [&](std::size_t i) { dst[i] = 0xFF000000u | std::uint32_t(src[i]) * 0x010101u; };
  std::size_t i = 0;
#if defined(__SSE2__)
  // The surface is written, not read, and the render has just pushed it out
  // of the cache: whole cache lines stored around the cache spare reading
  // them in first. Only whole lines go that way; a partly written line would
  // cost more than it saves, so the ends of a run take ordinary stores.
  if (n >= kStreamedRun) {
    std::size_t head = 0;
    while (head < n && (reinterpret_cast<std::uintptr_t>(dst + head) & 63u) != 0) ++head;
    const std::size_t lines = (n - head) / 16 * 16;
    i = expand16<false>(src, dst, head);
    for (; i < head; ++i) one(i);
    i += expandLines(src + i, dst + i, lines);
  }
  i += expand16<false>(src + i, dst + i, n - i);
#endif
  for (; i < n; ++i) one(i);
}

void expandDone() {
#if defined(__SSE2__)
  _mm_sfence();
#endif
}

namespace {

// The image p paints on and the whole-pixel offset to it, when p draws one
// to one onto a 32-bit image whose pixels are 0xAARRGGBB words.
QImage* directTarget(QPainter& p, QPoint& offset) {
  QPaintEngine* engine = p.paintEngine();
  if (!engine || engine->type() != QPaintEngine::Raster) return nullptr;
  QPaintDevice* device = engine->paintDevice();
  if (!device || device->devType() != QInternal::Image) return nullptr;
  auto* image = static_cast<QImage*>(device);
  const QImage::Format f = image->format();
  if (f != QImage::Format_RGB32 && f != QImage::Format_ARGB32 && f != QImage::Format_ARGB32_Premultiplied)
    return nullptr;
  // A shared image would be copied by the first write, away from the painter.
  if (image->devicePixelRatio() != 1.0 || !image->isDetached()) return nullptr;
  const QTransform t = p.deviceTransform();
  if (t.type() > QTransform::TxTranslate || t.dx() != std::floor(t.dx()) || t.dy() != std::floor(t.dy()))
    return nullptr;
  offset = QPoint(int(t.dx()), int(t.dy()));
  return image;
}

}  // namespace

bool paintsDirectly(QPainter& p) {
  QPoint offset;
  return directTarget(p, offset) != nullptr;
}

namespace {

bool holds(const display::Bitmap& b) {
  return b.width > 0 && b.height > 0 && b.rowLength >= b.width &&
         b.bits.size() >= std::size_t(b.rowLength) * std::size_t(b.height);
}

}  // namespace

DirectRows::DirectRows(QPainter& p, const QRegion& region, const display::Bitmap& b) : bitmap_(b) {
  if (!holds(b)) return;
  QImage* image = directTarget(p, offset_);
  if (!image) return;
  QRegion painted = region & QRect(0, 0, b.width, b.height);
  if (p.hasClipping()) painted &= p.clipRegion();
  // Only where the painter itself may draw: its system clip (the paint
  // event's region on the surface) and the image.
  QRegion allowed = p.paintEngine()->systemClip();
  if (allowed.isEmpty()) allowed = image->rect();
  target_ = painted.translated(offset_) & allowed & image->rect();
  base_ = image->bits();
  line_ = std::size_t(image->bytesPerLine());
}

DirectRows::~DirectRows() {
  if (base_) expandDone();
}

void DirectRows::put(int y0, int y1) {
  if (!base_) return;
  const display::Bitmap& b = bitmap_;
  for (const QRect& to : target_) {
    const int top = std::max(to.top(), y0 + offset_.y()), end = std::min(to.bottom() + 1, y1 + offset_.y());
    const int fromX = to.left() - offset_.x();
    for (int y = top; y < end; ++y)
      expandGrey(b.bits.data() + std::size_t(y - offset_.y()) * std::size_t(b.rowLength) + std::size_t(fromX),
                 reinterpret_cast<std::uint32_t*>(base_ + std::size_t(y) * line_) + to.left(), std::size_t(to.width()));
  }
}

void drawGreyBitmap(QPainter& p, const QRegion& region, const display::Bitmap& b) {
  if (!holds(b)) return;
  if (DirectRows direct(p, region, b); direct.usable()) {
    direct.put(0, b.height);
    return;
  }
  QRegion painted = region & QRect(0, 0, b.width, b.height);
  if (p.hasClipping()) painted &= p.clipRegion();
  // The pane colour table is the identity grey.
  const QImage shown(b.bits.data(), b.width, b.height, b.rowLength, QImage::Format_Grayscale8);
  for (const QRect& r : painted) p.drawImage(r.topLeft(), shown, r);
}

}  // namespace viewer::view::internal
