// Rendering an image through its grey table into an 8-bit bitmap.
//
// Which source sample a bitmap pixel takes is decided in double arithmetic,
// once per render, into a row table and a column table; the per-pixel work is
// then integer: a table lookup, or for sharpening the neighbour sum with a
// multiply-add. Output rows that read the same source row are copies of the
// row above, and when the drawn columns read no more source columns than
// there are drawn columns (zoom 1 and above) each source sample of a row is
// processed once and then spread out.
#include "viewer/display/display.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

namespace viewer::display {

namespace {

// Samples above the grey table's end show its last entry; so does every
// sharpened value from the end of the table up.
constexpr int kTableEnd = 4095;

template <class T>
struct Source {
  const T* base;
  std::ptrdiff_t stride;  // samples per row
  int width, height;
  const T* row(int y) const { return base + std::ptrdiff_t(y) * stride; }
};

// The sharpened value t = trunc(v (1 + 4k) - k (n + s + e + w)), clamped to the
// table. For k a multiple of 1/4096 every term is exact in double, so the
// same value comes from integers: (v A - K S) >> m with k = K / 2^m and
// A = 2^m + 4K; a negative numerator only ever shows entry 0.
struct IntegerSharpen {
  std::int32_t a, k;
  int shift;
  int operator()(std::int32_t v, std::int32_t sum) const {
    const std::int32_t t = (v * a - k * sum) >> shift;
    return t < 0 ? 0 : (t > kTableEnd ? kTableEnd : t);
  }
};

// k = 2^-m, the common case (sharpness 2, 1, 0.5): t = v + floor((4v - S) / 2^m),
// without a multiplication.
struct HalvingSharpen {
  int shift;
  int operator()(std::int32_t v, std::int32_t sum) const {
    const std::int32_t t = v + ((4 * v - sum) >> shift);
    return t < 0 ? 0 : (t > kTableEnd ? kTableEnd : t);
  }
};

// Any other k keeps the double arithmetic, so its rounding at whole numbers
// is the same.
struct DoubleSharpen {
  double a, k;
  int operator()(std::int32_t v, std::int32_t sum) const {
    double t = double(v) * a - k * double(sum);
    t = t < 0.0 ? 0.0 : t;
    t = t > double(kTableEnd) ? double(kTableEnd) : t;
    return int(t);
  }
};

struct Plan {
  const SourceTables* tables;
  const RowsDone* done;               // told of each drawn row when finished
  int c0, c1;                         // source columns read by the drawn columns
  bool spans;                         // each source column of c0..c1 is used
  bool contiguous;                    // column i reads c0 + i
  std::vector<std::int32_t> rel;      // cols - c0, when spanning
  std::size_t i0, i1;                 // drawn columns whose source has both horizontal neighbours
};

Plan makePlan(const SourceTables& t, int imageWidth, const RowsDone* done) {
  Plan p{&t, done, t.cols.front(), t.cols.back(), false, false, {}, 0, 0};
  const int n = t.x1 - t.x0;
  p.spans = (p.c1 - p.c0 + 1) <= n;
  p.contiguous = (p.c1 - p.c0 + 1) == n;
  if (p.spans && !p.contiguous) {
    p.rel.resize(std::size_t(n));
    for (int i = 0; i < n; ++i) p.rel[std::size_t(i)] = t.cols[std::size_t(i)] - p.c0;
  }
  while (p.i0 < t.cols.size() && t.cols[p.i0] < 1) ++p.i0;
  p.i1 = std::max(p.i0, t.cols.size());
  while (p.i1 > p.i0 && t.cols[p.i1 - 1] > imageWidth - 2) --p.i1;
  return p;
}

// Fills everything the image does not cover with the background.
void fillBackground(const SourceTables& t, int rowLength, int height, std::uint8_t bg, std::uint8_t* bits) {
  const std::size_t row = std::size_t(rowLength);
  if (t.y0 > 0) std::memset(bits, bg, row * std::size_t(t.y0));
  if (t.y1 < height) std::memset(bits + row * std::size_t(t.y1), bg, row * std::size_t(height - t.y1));
  for (int y = t.y0; y < t.y1; ++y) {
    std::uint8_t* r = bits + row * std::size_t(y);
    if (t.x0 > 0) std::memset(r, bg, std::size_t(t.x0));
    if (t.x1 < rowLength) std::memset(r + t.x1, bg, std::size_t(rowLength - t.x1));
  }
}

// Walks the drawn rows: a row reading the same source row as the one above is
// a copy of it; others are produced by `row(sy, next, out)` into out[x0..x1),
// where next is the next different source row (-1 at the end), so its
// samples can be on their way from memory while this one is worked. Each
// finished row is reported to done.
template <class RowFn>
void forDrawnRows(const SourceTables& t, int rowLength, std::uint8_t* bits, const RowsDone* done, RowFn row) {
  const std::size_t n = std::size_t(t.x1 - t.x0);
  const std::int32_t* rows = t.rows.data();
  const int count = t.y1 - t.y0;
  int ahead = 0;
  for (int i = 0; i < count; ++i) {
    std::uint8_t* out = bits + std::size_t(rowLength) * std::size_t(t.y0 + i) + t.x0;
    const int sy = rows[i];
    if (i > 0 && sy == rows[i - 1]) {
      std::memcpy(out, out - rowLength, n);
    } else {
      if (ahead <= i) ahead = i + 1;
      while (ahead < count && rows[ahead] == sy) ++ahead;
      row(sy, ahead < count ? rows[ahead] : -1, out);
    }
    if (done) (*done)(t.y0 + i, t.y0 + i + 1);
  }
}

template <class T>
inline void prefetchSpan(const T* row, int c0, int c1) {
  const char* p = reinterpret_cast<const char*>(row + c0);
  const char* end = reinterpret_cast<const char*>(row + c1 + 1);
  for (; p < end; p += 64) __builtin_prefetch(p, 0, 1);
}

// Spreads the processed source span of a row over the drawn columns.
inline void spread(const Plan& p, const std::uint8_t* __restrict span, std::uint8_t* __restrict out) {
  const std::size_t n = p.rel.size();
  const std::int32_t* __restrict rel = p.rel.data();
  for (std::size_t i = 0; i < n; ++i) out[i] = span[rel[i]];
}

// Drawn columns are taken in chunks, each first asking for the lines of the
// next row it will read: spread out, the requests keep memory busy without
// holding up the work on this row. They go to the second-level cache, which
// keeps far more requests in flight than the first.
constexpr std::size_t kChunk = 64;

template <class T>
inline void prefetchColumns(const T* row, int a, int b) {
  const char* p = reinterpret_cast<const char*>(row + a);
  const char* end = reinterpret_cast<const char*>(row + b);
  for (; p < end; p += 64) __builtin_prefetch(p, 0, 1);
  __builtin_prefetch(end, 0, 1);
}

// One table lookup per source sample of a span.
template <class T>
inline void lookupRow(const T* __restrict s, const T* next, const std::uint8_t* __restrict lut,
                      std::uint8_t* __restrict d, std::size_t m) {
  for (std::size_t j0 = 0; j0 < m; j0 += kChunk) {
    const std::size_t j1 = std::min(m, j0 + kChunk);
    if (next) prefetchColumns(next, int(j0), int(j1 - 1));
    for (std::size_t j = j0; j < j1; ++j) d[j] = lut[s[j]];
  }
}

template <class T>
inline void gatherRow(const T* __restrict r, const T* next, const std::int32_t* __restrict cols,
                      const std::uint8_t* __restrict lut, std::uint8_t* __restrict out, std::size_t n) {
  for (std::size_t i0 = 0; i0 < n; i0 += kChunk) {
    const std::size_t i1 = std::min(n, i0 + kChunk);
    if (next) prefetchColumns(next, cols[i0], cols[i1 - 1]);
    for (std::size_t i = i0; i < i1; ++i) out[i] = lut[r[cols[i]]];
  }
}

template <class T>
void renderPlain(const Source<T>& src, const std::uint8_t* lut, const Plan& p, int rowLength,
                 std::uint8_t* bits) {
  const SourceTables& t = *p.tables;
  const std::size_t n = std::size_t(t.x1 - t.x0);
  const std::size_t m = std::size_t(p.c1 - p.c0 + 1);
  std::vector<std::uint8_t> span(p.spans && !p.contiguous ? m : 0);
  forDrawnRows(t, rowLength, bits, p.done, [&](int sy, int next, std::uint8_t* out) {
    const T* r = src.row(sy);
    if (p.spans) {
      lookupRow(r + p.c0, next >= 0 ? src.row(next) + p.c0 : nullptr, lut, p.contiguous ? out : span.data(), m);
      if (!p.contiguous) spread(p, span.data(), out);
    } else {
      gatherRow(r, next >= 0 ? src.row(next) : nullptr, t.cols.data(), lut, out, n);
    }
  });
}

// The sharpened values of source columns lo..hi of row r, whose horizontal
// neighbours are all inside the row.
template <class T, class Sharpen>
inline void sharpenInterior(const T* __restrict up, const T* __restrict r, const T* __restrict dn, int lo, int hi,
                            const Sharpen f, std::uint16_t* __restrict v) {
  for (int c = lo; c <= hi; ++c) v[c] = std::uint16_t(f(r[c], std::int32_t(r[c - 1]) + r[c + 1] + up[c] + dn[c]));
}

// The same for k = 2^-m in 16-bit lanes, which hold every step while the
// samples have at most 12 bits; false when one had more, and the row must be
// taken again in 32 bits.
template <class T>
inline bool sharpenInterior12(const T* __restrict up, const T* __restrict r, const T* __restrict dn, int lo,
                              int hi, int shift, std::uint16_t* __restrict v) {
  unsigned seen = unsigned(r[lo - 1]) | unsigned(r[hi + 1]);
  for (int c = lo; c <= hi; ++c) {
    const std::int16_t x = std::int16_t(r[c]);
    const std::int16_t sum = std::int16_t(r[c - 1] + r[c + 1] + up[c] + dn[c]);
    std::int16_t t = std::int16_t(x + std::int16_t(std::int16_t(4 * x - sum) >> shift));
    t = t < 0 ? std::int16_t(0) : t;
    t = t > kTableEnd ? std::int16_t(kTableEnd) : t;
    v[c] = std::uint16_t(t);
    seen |= unsigned(r[c] | up[c] | dn[c]);
  }
  return seen <= unsigned(kTableEnd);
}

template <class T, class Sharpen>
inline void sharpenSpan(const T* up, const T* r, const T* dn, int lo, int hi, const Sharpen& f, std::uint16_t* v) {
  if constexpr (std::is_same_v<Sharpen, HalvingSharpen>)
    if (sharpenInterior12(up, r, dn, lo, hi, f.shift, v)) return;
  sharpenInterior(up, r, dn, lo, hi, f, v);
}

inline void lookupValues(const std::uint16_t* __restrict v, const std::uint8_t* __restrict table,
                         std::uint8_t* __restrict d, std::size_t m) {
  for (std::size_t j = 0; j < m; ++j) d[j] = table[v[j]];
}

template <class T, class Sharpen>
void renderSharp(const Source<T>& src, const std::uint8_t* table, const Sharpen& f, const Plan& p,
                 int rowLength, std::uint8_t* bits) {
  const SourceTables& t = *p.tables;
  const std::size_t n = std::size_t(t.x1 - t.x0);
  const int w = src.width;
  const std::size_t m = std::size_t(p.c1 - p.c0 + 1);
  std::vector<std::uint16_t> values(p.spans ? m : 0);
  std::vector<std::uint8_t> span(p.spans && !p.contiguous ? m : 0);
  const auto above = [&](int sy) { return src.row(sy > 0 ? sy - 1 : sy); };
  const auto below = [&](int sy) { return src.row(sy + 1 < src.height ? sy + 1 : sy); };
  forDrawnRows(
      t, rowLength, bits, p.done,
      [&](int sy, int next, std::uint8_t* out) {
        const T* r = src.row(sy);
        const T* up = above(sy);
        const T* dn = below(sy);
        if (p.spans) {
          if (next >= 0) {
            prefetchSpan(above(next), p.c0, p.c1);
            prefetchSpan(src.row(next), p.c0, p.c1);
            prefetchSpan(below(next), p.c0, p.c1);
          }
          // Interior columns read both horizontal neighbours directly; the
          // image's first and last column use themselves for the missing one.
          const int lo = std::max(p.c0, 1), hi = std::min(p.c1, w - 2);
          std::uint16_t* v = values.data() - p.c0;
          if (lo <= hi) sharpenSpan(up, r, dn, lo, hi, f, v);
          for (int c : {p.c0, p.c1})
            if (c < lo || c > hi) {
              const int wc = c > 0 ? c - 1 : c, ec = c + 1 < w ? c + 1 : c;
              v[c] = std::uint16_t(f(r[c], std::int32_t(r[wc]) + r[ec] + up[c] + dn[c]));
            }
          lookupValues(values.data(), table, p.contiguous ? out : span.data(), m);
          if (!p.contiguous) spread(p, span.data(), out);
        } else {
          const std::int32_t* cols = t.cols.data();
          const auto edge = [&](std::size_t i) {
            const int c = cols[i], wc = c > 0 ? c - 1 : c, ec = c + 1 < w ? c + 1 : c;
            out[i] = table[f(r[c], std::int32_t(r[wc]) + r[ec] + up[c] + dn[c])];
          };
          for (std::size_t i = 0; i < p.i0; ++i) edge(i);
          for (std::size_t i0 = p.i0; i0 < p.i1; i0 += kChunk) {
            const std::size_t i1 = std::min(p.i1, i0 + kChunk);
            if (next >= 0)
              for (const T* row : {above(next), src.row(next), below(next)})
                prefetchColumns(row, cols[i0] - 1, cols[i1 - 1] + 1);
            for (std::size_t i = i0; i < i1; ++i) {
              const int c = cols[i];
              out[i] = table[f(r[c], std::int32_t(r[c - 1]) + r[c + 1] + up[c] + dn[c])];
            }
          }
          for (std::size_t i = p.i1; i < n; ++i) edge(i);
        }
      });
}

template <class T>
void renderSource(const Source<T>& src, const std::array<std::uint8_t, 4096>& table, double sharpness,
                  const SourceTables& t, int rowLength, std::uint8_t* bits, const RowsDone* done) {
  const double k = 0.5 * sharpness;
  const Plan plan = makePlan(t, src.width, done);
  if (!(k > 0.0)) {
    if constexpr (sizeof(T) == 1) {
      renderPlain(src, table.data(), plan, rowLength, bits);
    } else {
      // Every 16-bit value indexes directly; those past the table show its end.
      std::vector<std::uint8_t> wide(65536, table[kTableEnd]);
      std::copy(table.begin(), table.end(), wide.begin());
      renderPlain(src, wide.data(), plan, rowLength, bits);
    }
    return;
  }
  for (int shift = 0; shift <= 12; ++shift) {
    const double scaled = std::ldexp(k, shift);
    if (scaled == std::floor(scaled)) {
      const auto kk = std::int32_t(scaled);
      if (kk == 1) {
        renderSharp(src, table.data(), HalvingSharpen{shift}, plan, rowLength, bits);
      } else {
        const IntegerSharpen f{(std::int32_t(1) << shift) + 4 * kk, kk, shift};
        renderSharp(src, table.data(), f, plan, rowLength, bits);
      }
      return;
    }
  }
  renderSharp(src, table.data(), DoubleSharpen{1.0 + 4.0 * k, k}, plan, rowLength, bits);
}

// A source coordinate as an index inside 0..limit-1; u is the unrounded value.
inline int insideIndex(double u, int limit) {
  if (!(u >= 0.0)) return 0;
  if (u >= double(limit)) return limit - 1;
  return std::min(int(u), limit - 1);
}

bool drawSamples(const CImageBuffer& image, int left, int top, int width, int height,
                 const std::array<std::uint8_t, 4096>& table, const RenderParams& params, Bitmap& bm,
                 Rect* covered = nullptr, const RowsDone* done = nullptr) {
  if (!image.hasPixels() || width < 1 || height < 1 || left < 0 || top < 0 ||
      left + width > image.width() || top + height > image.height())
    return false;
  if (bm.width < 0 || bm.height < 0 || bm.rowLength < bm.width ||
      bm.bits.size() < std::size_t(bm.rowLength) * std::size_t(bm.height))
    return false;
  if (!(params.zoom > 0.0) || !std::isfinite(params.zoom) || !std::isfinite(params.centreX) ||
      !std::isfinite(params.centreY))
    return false;
  SourceTables t;
  if (!sourceTables(width, height, bm.width, bm.height, params.zoom, params.centreX, params.centreY, t))
    t = SourceTables();
  fillBackground(t, bm.rowLength, bm.height, params.background, bm.bits.data());
  if (covered) *covered = t.x0 < t.x1 && t.y0 < t.y1 ? Rect{t.x0, t.y0, t.x1, t.y1} : Rect{};
  if (t.x0 == t.x1 || t.y0 == t.y1) {
    if (done && bm.height > 0) (*done)(0, bm.height);
    return true;
  }
  // The background rows above the picture are final now, those below it
  // once the picture is drawn.
  if (done && t.y0 > 0) (*done)(0, t.y0);
  // A sharpness outside 0..2 (or none at all) is taken at the nearest end.
  const double s = params.sharpness > 0.0 ? std::min(params.sharpness, kMaxSharpness) : 0.0;
  const std::ptrdiff_t stride = image.width();
  if (image.bytesPerSample() == 1) {
    const Source<std::uint8_t> src{image.data() + top * stride + left, stride, width, height};
    renderSource(src, table, s, t, bm.rowLength, bm.bits.data(), done);
  } else {
    const Source<std::uint16_t> src{image.data16() + top * stride + left, stride, width, height};
    renderSource(src, table, s, t, bm.rowLength, bm.bits.data(), done);
  }
  if (done && t.y1 < bm.height) (*done)(t.y1, bm.height);
  return true;
}

// A bitmap of width x height with rows rounded up to 4 bytes; false when its
// size cannot be held.
bool makeBitmap(int width, int height, Bitmap& bm) {
  if (width < 0 || height < 0) return false;
  const std::int64_t row = (std::int64_t(width) + 3) / 4 * 4;
  const std::int64_t bytes = row * std::int64_t(height);
  if (row > std::numeric_limits<int>::max() || bytes > std::int64_t(kMaxImageBytes)) return false;
  try {
    bm.bits.assign(std::size_t(bytes), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  bm.width = width;
  bm.rowLength = int(row);
  bm.height = height;
  return true;
}

bool pictureOf(const CImageItem& image, const Rect& r, const CDisplayLUT& lut, std::uint8_t background,
               Bitmap& out) {
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (!image.hasPixels() || w < 1 || h < 1) return false;
  Bitmap bm;
  if (!makeBitmap(w, h, bm)) return false;
  RenderParams p;
  p.background = background;
  if (!drawSamples(image, r.left, r.top, w, h, lut.table, p, bm)) return false;
  out = std::move(bm);
  return true;
}

// The unrounded source coordinate of bitmap column or row x.
inline double sourceCoordinate(int x, int half, double zoom, double centre) {
  return double(x - half) / zoom + centre;
}

// The first drawn row: the one at or above the image's top edge.
inline double firstRow(int half, double centre, double zoom) { return std::floor(double(half) - centre * zoom); }

}  // namespace

bool sourceTables(int imageWidth, int imageHeight, int bitmapWidth, int bitmapHeight, double zoom,
                  double centreX, double centreY, SourceTables& out) {
  out = SourceTables();
  if (imageWidth < 1 || imageHeight < 1 || bitmapWidth < 1 || bitmapHeight < 1) return false;
  if (!(zoom > 0.0) || !std::isfinite(zoom) || !std::isfinite(centreX) || !std::isfinite(centreY))
    return false;
  const double cx = double(imageWidth) * centreX;
  const double cy = double(imageHeight) * centreY;
  const int hw = bitmapWidth / 2, hh = bitmapHeight / 2;

  // Columns whose unrounded source lies left of the image are skipped; the
  // drawn ones end where it reaches the image width.
  int x = 0;
  for (; x < bitmapWidth; ++x)
    if (sourceCoordinate(x, hw, zoom, cx) >= 0.0) break;
  out.x0 = x;
  for (; x < bitmapWidth; ++x) {
    const double u = sourceCoordinate(x, hw, zoom, cx);
    if (u >= double(imageWidth)) break;
    out.cols.push_back(insideIndex(u, imageWidth));
  }
  out.x1 = x;

  // The first row is the one at or above the image's top edge; its source
  // can lie above the image, so every row is kept inside it. Rows end where
  // the unrounded source reaches the image height, as the columns do: a
  // truncated end would drop the last row of an odd-sized picture at zoom 1.
  const double first = firstRow(hh, cy, zoom);
  out.y0 = first <= 0.0 ? 0 : (first >= double(bitmapHeight) ? bitmapHeight : int(first));
  int y = out.y0;
  for (; y < bitmapHeight; ++y) {
    const double u = sourceCoordinate(y, hh, zoom, cy);
    if (u >= double(imageHeight)) break;
    out.rows.push_back(insideIndex(u, imageHeight));
  }
  out.y1 = y;
  return out.x0 < out.x1 && out.y0 < out.y1;
}

Point sourceAt(int imageWidth, int imageHeight, int bitmapWidth, int bitmapHeight, double zoom, double centreX,
               double centreY, int px, int py) {
  if (!(zoom > 0.0) || !std::isfinite(zoom) || !std::isfinite(centreX) || !std::isfinite(centreY))
    return Point{-1, -1};
  const double cx = double(imageWidth) * centreX;
  const double cy = double(imageHeight) * centreY;
  const int hw = bitmapWidth / 2, hh = bitmapHeight / 2;
  // Far outside any image; keeps the conversion defined.
  const auto index = [](double u) { return int(std::floor(std::clamp(u, -1e9, 1e9))); };
  const int x = index(sourceCoordinate(px, hw, zoom, cx));
  int y = index(sourceCoordinate(py, hh, zoom, cy));
  // The first drawn row shows the top row even where its source lies above.
  if (y < 0 && double(py) >= firstRow(hh, cy, zoom)) y = 0;
  return Point{x, y};
}

bool renderImage(const CImageBuffer& image, const std::array<std::uint8_t, 4096>& greyTable,
                 const RenderParams& params, Bitmap& bitmap, Rect* covered, const RowsDone* rowsDone) {
  return drawSamples(image, 0, 0, image.width(), image.height(), greyTable, params, bitmap, covered, rowsDone);
}

bool printPicture(const CImageItem& image, const CDisplayLUT& lut, Bitmap& out) {
  return pictureOf(image, Rect{0, 0, image.width(), image.height()}, lut, 255, out);
}

bool copyPicture(const CImageItem& image, const CDisplayLUT& lut, Bitmap& out) {
  Rect r = normalisedRoi(image);
  if (r.empty()) r = Rect{0, 0, image.width(), image.height()};
  return pictureOf(image, r, lut, 0, out);
}

bool RenderCache::make(int width, int height) {
  stamp = 0;
  covered = Rect{};
  if (width < 0 || height < 0) return false;
  Bitmap bm;
  // The picture is laid out over the client width, the width the pointer is
  // mapped with; the row padding stays background.
  if (!makeBitmap(width, height, bm)) return false;
  bitmap = std::move(bm);
  return true;
}

}  // namespace viewer::display
