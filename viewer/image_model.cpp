#include "viewer/image_model.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>
#include <thread>
#include <sys/mman.h>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "platform/cpus.h"
#include "platform/text.h"
#include "viewer/strings.h"

namespace viewer {

// ---------------------------------------------------------------- buffer

// Under AddressSanitizer every buffer comes from the heap, where overruns are caught.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

void PixelDeleter::operator()(std::uint8_t* p) const {
  if (mappedBytes) ::munmap(p, mappedBytes);
  else ::operator delete(p, std::nothrow);
}

CImageBuffer::Storage CImageBuffer::allocateStorage(std::size_t bytes) {
  if (bytes == 0 || bytes > kMaxImageBytes) return Storage();
  // A film-sized buffer gets huge pages where the system offers them: filling
  // it then costs a few hundred page faults instead of tens of thousands.
  constexpr std::size_t kLarge = std::size_t(8) << 20;
  if (bytes >= kLarge && !kAddressSanitizer) {
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return Storage();
    ::madvise(p, bytes, MADV_HUGEPAGE);
    return Storage(static_cast<std::uint8_t*>(p), PixelDeleter{bytes});
  }
  return Storage(static_cast<std::uint8_t*>(::operator new(bytes, std::nothrow)));
}

void CImageBuffer::adopt(Storage storage, int width, int height) {
  pixels_ = std::move(storage);
  width_ = width;
  height_ = height;
}

bool CImageBuffer::allocate(int bytesPerSample, int width, int height) {
  if (bytesPerSample < 1 || bytesPerSample > 2 || width < 1 || height < 1 || width > kMaxImageSide ||
      height > kMaxImageSide)
    return false;
  Storage s = allocateStorage(std::uint64_t(width) * std::uint64_t(height) * std::uint64_t(bytesPerSample));
  if (!s) return false;
  second_.reset();
  bytesPerSample_ = bytesPerSample;
  adopt(std::move(s), width, height);
  return true;
}

void CImageBuffer::freePixels() {
  pixels_.reset();
  second_.reset();
  width_ = height_ = 0;
}

void CImageBuffer::freeSecondBuffer() { second_.reset(); }

void CImageBuffer::takePixelsFrom(CImageBuffer& other) {
  if (&other == this) return;
  pixels_ = std::move(other.pixels_);
  second_ = std::move(other.second_);
  width_ = other.width_;
  height_ = other.height_;
  bytesPerSample_ = other.bytesPerSample_;
  other.width_ = other.height_ = 0;
}

bool CImageBuffer::keepSecondBuffer() {
  if (!pixels_) return false;
  Storage s = allocateStorage(byteCount());
  if (!s) return false;
  std::memcpy(s.get(), pixels_.get(), byteCount());
  second_ = std::move(s);
  return true;
}

int CImageBuffer::pixel(int x, int y) const {
  if (!pixels_ || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  std::size_t i = std::size_t(y) * std::size_t(width_) + std::size_t(x);
  return bytesPerSample_ == 2 ? data16()[i] : data()[i];
}

bool CImageBuffer::crop(const Rect& rect) {
  if (!pixels_ || rect.empty() || rect.left < 0 || rect.top < 0 || rect.right > width_ || rect.bottom > height_)
    return false;
  const int w = rect.right - rect.left, h = rect.bottom - rect.top;
  const std::size_t bps = std::size_t(bytesPerSample_);
  Storage s = allocateStorage(std::size_t(w) * std::size_t(h) * bps);
  if (!s) return false;
  for (int y = 0; y < h; ++y)
    std::memcpy(s.get() + std::size_t(y) * w * bps,
                pixels_.get() + (std::size_t(y + rect.top) * width_ + std::size_t(rect.left)) * bps, std::size_t(w) * bps);
  second_.reset();
  adopt(std::move(s), w, h);
  return true;
}

namespace {

template <typename T>
void mirrorRows(T* p, int w, int h) {
  for (int y = 0; y < h; ++y) std::reverse(p + std::size_t(y) * w, p + std::size_t(y + 1) * w);
}

// new(row x, column y) = old(row h - 1 - y, column x): new width is old h.
template <typename T>
void rotateCw(const T* src, T* dst, int w, int h) {
  const int nw = h;
  for (int oy = 0; oy < h; ++oy) {
    const T* row = src + std::size_t(oy) * w;
    const int ny = h - 1 - oy;  // column in the new image
    for (int ox = 0; ox < w; ++ox) dst[std::size_t(ox) * nw + ny] = row[ox];
  }
}

// new(row x, column y) = old(row y, column w - 1 - x).
template <typename T>
void rotateCcw(const T* src, T* dst, int w, int h) {
  const int nw = h;
  for (int oy = 0; oy < h; ++oy) {
    const T* row = src + std::size_t(oy) * w;
    for (int ox = 0; ox < w; ++ox) dst[std::size_t(w - 1 - ox) * nw + oy] = row[ox];
  }
}

}  // namespace

bool CImageBuffer::flipHorizontal() {
  if (!pixels_) return false;
  if (bytesPerSample_ == 2) mirrorRows(data16(), width_, height_);
  else mirrorRows(data(), width_, height_);
  return true;
}

bool CImageBuffer::flipVertical() {
  if (!pixels_) return false;
  const std::size_t row = std::size_t(width_) * bytesPerSample_;
  for (int y = 0; y < height_ / 2; ++y)
    std::swap_ranges(data() + y * row, data() + (y + 1) * row, data() + std::size_t(height_ - 1 - y) * row);
  return true;
}

bool CImageBuffer::rotateClockwise() {
  if (!pixels_) return false;
  Storage s = allocateStorage(byteCount());
  if (!s) return false;
  if (bytesPerSample_ == 2)
    rotateCw(data16(), reinterpret_cast<std::uint16_t*>(s.get()), width_, height_);
  else
    rotateCw(data(), s.get(), width_, height_);
  second_.reset();
  adopt(std::move(s), height_, width_);
  return true;
}

bool CImageBuffer::rotateCounterClockwise() {
  if (!pixels_) return false;
  Storage s = allocateStorage(byteCount());
  if (!s) return false;
  if (bytesPerSample_ == 2)
    rotateCcw(data16(), reinterpret_cast<std::uint16_t*>(s.get()), width_, height_);
  else
    rotateCcw(data(), s.get(), width_, height_);
  second_.reset();
  adopt(std::move(s), height_, width_);
  return true;
}

bool CImageBuffer::cutToTwelveBits() {
  if (!pixels_ || bytesPerSample_ != 2) return true;
  std::uint16_t* p = data16();
  const std::size_t n = sampleCount();
  std::uint16_t high = 0;
  for (std::size_t i = 0; i < n; ++i) high |= p[i];
  if ((high & 0xF000) == 0) return true;
  for (std::size_t i = 0; i < n; ++i) p[i] &= 0x0FFF;
  return false;
}

// ---------------------------------------------------------------- study

void CStudyInfo::setField(char* field, std::size_t size, std::string_view text) {
  const std::size_t n = platform::text::cp932CutLength(text, size - 1);
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

std::string CStudyInfo::fieldText(int field) const {
  switch (field) {
    case kSopInstanceUid: return sopInstanceUid;
    case kStudyDate: return dateText(studyYear, studyMonth, studyDay);
    case kStudyDescription: return studyDescription;
    case kComponentName: return componentName;
    case kComponentIdNumber: return componentIdNumber;
    case kManufacturingDate: return dateText(manufacturingYear, manufacturingMonth, manufacturingDay);
    case kSex: return sex;
    case kStudyId: return studyId;
    case kStudyUid: return studyInstanceUid;
    case kSeriesUid: return seriesInstanceUid;
    case kInstanceUid: return instanceUid;
    default: return {};
  }
}

int CStudyInfo::labelId(int field) {
  switch (field) {
    case kSopInstanceUid: return 30;
    case kStudyDate: return 31;
    case kStudyId: return 32;
    case kStudyDescription: return 33;
    case kComponentName: return 34;
    case kComponentIdNumber: return 35;
    case kManufacturingDate: return 36;
    case kSex: return 37;
    case kStudyUid: return 38;
    case kSeriesUid: return 39;
    case kInstanceUid: return 40;
    default: return 0;
  }
}

std::string CStudyInfo::label(int field) {
  const char* s = viewerString(labelId(field));
  return s ? s : "";
}

namespace {

// atoi: leading blanks, optional sign, digits up to the first non-digit; 0 when none.
int toInt(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  long v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    v = v * 10 + (s[i] - '0');
    if (v > 1000000000) break;
  }
  return int(neg ? -v : v);
}

}  // namespace

std::string dateText(std::string_view year, std::string_view month, std::string_view day) {
  const int y = toInt(year), m = toInt(month), d = toInt(day);
  if (y < 1800 || y > 2100 || m < 1 || m > 12 || d < 1 || d > 31) return viewerString(27);
  return std::to_string(y) + "/" + std::to_string(m) + "/" + std::to_string(d);
}

std::string fixed3(double value) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 3);
  if (r.ec != std::errc()) return "0.000";
  return std::string(buf, r.ptr);
}

// ---------------------------------------------------------------- LUT

CDisplayLUT::CDisplayLUT() {
  windowCentre = maxValue / 2;
  windowWidth = 1;
  build();
}

bool CDisplayLUT::setWindow(int centre, int width, int invert) {
  centre = std::clamp(centre, 0, maxValue);
  width = std::clamp(width, 1, 2 * maxValue + 2);
  if (centre == windowCentre && width == windowWidth && invert == userInvert) return false;
  windowCentre = centre;
  windowWidth = width;
  userInvert = invert;
  build();
  return true;
}

void CDisplayLUT::build() {
  const bool invert = (invertedImage != 0) != (userInvert != 0);
  const int w = std::max(windowWidth, 1);
  for (int v = 0; v < 4096; ++v) {
    int g = (256 * v - 256 * windowCentre) / w + 128;
    g = std::clamp(g, 0, 255);
    if (invert) g = 255 - g;
    table[std::size_t(v)] = std::uint8_t(std::max(g, 21));
  }
}

// ---------------------------------------------------------------- item

CImageItem::CImageItem() : study(std::make_unique<CStudyInfo>()) {}

CImageItem::~CImageItem() {
  if (tempPath.empty()) return;
  std::error_code ec;
  const std::filesystem::path p(tempPath);
  if (std::filesystem::exists(p, ec)) std::filesystem::remove(p, ec);
  const auto folder = p.parent_path();
  if (!folder.empty() && std::filesystem::is_directory(folder, ec) && std::filesystem::is_empty(folder, ec))
    std::filesystem::remove(folder, ec);
}

bool CImageItem::flipHorizontal() {
  if (!CImageBuffer::flipHorizontal()) return false;
  roi = {width() - roi.right, roi.top, width() - roi.left, roi.bottom};
  roiChanged();
  return true;
}

bool CImageItem::flipVertical() {
  if (!CImageBuffer::flipVertical()) return false;
  roi = {roi.left, height() - roi.bottom, roi.right, height() - roi.top};
  roiChanged();
  return true;
}

bool CImageItem::rotateClockwise() {
  if (!CImageBuffer::rotateClockwise()) return false;
  const int nw = width();
  roi = {nw - roi.bottom, roi.left, nw - roi.top, roi.right};
  roiChanged();
  return true;
}

bool CImageItem::rotateCounterClockwise() {
  if (!CImageBuffer::rotateCounterClockwise()) return false;
  const int nh = height();
  roi = {roi.top, nh - roi.right, roi.bottom, nh - roi.left};
  roiChanged();
  return true;
}

bool CImageItem::cutOut() {
  const Rect r = clampedRoi(roi);
  if (!crop(r)) return false;
  roi = {0, 0, width(), height()};
  roiChanged();
  return true;
}

Rect CImageItem::clampedRoi(const Rect& in) const {
  Rect r{std::min(in.left, in.right), std::min(in.top, in.bottom), std::max(in.left, in.right),
         std::max(in.top, in.bottom)};
  r.left = std::clamp(r.left, 0, width());
  r.right = std::clamp(r.right, 0, width());
  r.top = std::clamp(r.top, 0, height());
  r.bottom = std::clamp(r.bottom, 0, height());
  // A ROI that clamping leaves empty means the whole image.
  if (r.empty()) r = {0, 0, width(), height()};
  return r;
}

namespace {

// The least, greatest and sum of the samples counted, each clipped to 4095
// as the 12-bit display sees it, and every 16-bit sample ORed together.
struct RowCounts {
  unsigned lo = 4095, hi = 0;
  std::uint64_t sum = 0, count = 0;
  unsigned high = 0;
};

// One row's part as plain reductions, which the compiler vectorises, in the
// samples' own width so that a vector holds as many as it can; a row of at
// most 65535 samples of 4095 keeps its sum within 32 bits.
template <class T>
[[gnu::always_inline]] inline void countRow(const T* p, int x0, int x1, RowCounts& c) {
  constexpr T kClip = sizeof(T) == 1 ? T(255) : T(4095);
  T lo = kClip, hi = 0, high = 0;
  std::uint32_t sum = 0;
  for (int x = x0; x < x1; ++x) {
    const T v = p[x];
    high |= v;
    const T b = v < kClip ? v : kClip;
    lo = b < lo ? b : lo;
    hi = b > hi ? b : hi;
    sum += b;
  }
  c.lo = std::min(c.lo, unsigned(lo));
  c.hi = std::max(c.hi, unsigned(hi));
  c.high |= high;
  c.sum += sum;
  c.count += std::uint64_t(x1 - x0);
}

template <class T>
[[gnu::always_inline]] inline void countBlock(const T* p, std::size_t w, int x0, int x1, int y0, int y1,
                                              RowCounts& c) {
  for (int y = y0; y < y1; ++y) countRow(p + std::size_t(y) * w, x0, x1, c);
}

// Built for the vector units the machine has: the baseline's 128-bit
// reductions take four times as long as the wide ones.
NDT_VECTOR_CLONES void countBlock8(const std::uint8_t* p, std::size_t w, int x0, int x1, int y0, int y1,
                                   RowCounts& c) {
  countBlock(p, w, x0, x1, y0, y1, c);
}
NDT_VECTOR_CLONES void countBlock16(const std::uint16_t* p, std::size_t w, int x0, int x1, int y0, int y1,
                                    RowCounts& c) {
  countBlock(p, w, x0, x1, y0, y1, c);
}
// Counts whole rows, packed, then copies them to out.
void copyCountBlock16(const std::uint16_t* p, std::size_t w, int rows, std::uint16_t* out, RowCounts& c) {
  countBlock16(p, w, 0, int(w), 0, rows, c);
  std::memcpy(out, p, std::size_t(rows) * w * 2);
}

// AVX-512 for bytes and words, which the clones' AVX-512F lacks: only with
// it do 8- and 16-bit samples fill the wide registers, for twice the speed
// on rows the open has just read into the cache.
#if defined(__x86_64__)
#define NDT_WIDE_WORDS __attribute__((target("avx512f,avx512bw")))
NDT_WIDE_WORDS void countBlock8Wide(const std::uint8_t* p, std::size_t w, int x0, int x1, int y0, int y1,
                                    RowCounts& c) {
  countBlock(p, w, x0, x1, y0, y1, c);
}
// The row sums by pairwise multiply-add against ones: one instruction per 32
// samples where widening to 32 bits takes four. Clipped samples are at most
// 4095, so the signed pairs cannot overflow. With out, the rows are also
// stored there as read (rows w apart, from column x0), so that rows the open
// has just read are copied and counted in one pass over them.
template <bool kCopy>
[[gnu::always_inline]] NDT_WIDE_WORDS inline void countBlock16WideInto(const std::uint16_t* p, std::size_t w, int x0,
                                                                       int x1, int y0, int y1, RowCounts& c,
                                                                       std::uint16_t* out) {
  const __m512i clip = _mm512_set1_epi16(4095), ones = _mm512_set1_epi16(1);
  __m512i lo = clip, hi = _mm512_setzero_si512(), high = _mm512_setzero_si512();
  const int vectorEnd = x0 + (x1 - x0) / 32 * 32;
  RowCounts tail;
  for (int y = y0; y < y1; ++y) {
    const std::uint16_t* row = p + std::size_t(y) * w;
    std::uint16_t* copy = kCopy ? out + std::size_t(y) * w : nullptr;
    __m512i sums = _mm512_setzero_si512();
    for (int x = x0; x < vectorEnd; x += 32) {
      const __m512i v = _mm512_loadu_si512(row + x);
      if constexpr (kCopy) _mm512_storeu_si512(copy + x, v);
      high = _mm512_or_si512(high, v);
      const __m512i b = _mm512_min_epu16(v, clip);
      lo = _mm512_min_epu16(lo, b);
      hi = _mm512_max_epu16(hi, b);
      sums = _mm512_add_epi32(sums, _mm512_madd_epi16(b, ones));
    }
    alignas(64) std::uint32_t lanes[16];
    _mm512_store_si512(lanes, sums);
    std::uint32_t sum = 0;
    for (const std::uint32_t part : lanes) sum += part;
    c.sum += sum;
    if (vectorEnd < x1) {
      if constexpr (kCopy) std::memcpy(copy + vectorEnd, row + vectorEnd, std::size_t(x1 - vectorEnd) * 2);
      countRow(row, vectorEnd, x1, tail);
    }
  }
  if (vectorEnd > x0) {
    alignas(64) std::uint16_t l[32], h[32], g[32];
    _mm512_store_si512(l, lo);
    _mm512_store_si512(h, hi);
    _mm512_store_si512(g, high);
    for (int i = 0; i < 32; ++i) {
      c.lo = std::min(c.lo, unsigned(l[i]));
      c.hi = std::max(c.hi, unsigned(h[i]));
      c.high |= g[i];
    }
    c.count += std::uint64_t(vectorEnd - x0) * std::uint64_t(y1 - y0);
  }
  if (tail.count) {
    c.lo = std::min(c.lo, tail.lo);
    c.hi = std::max(c.hi, tail.hi);
    c.high |= tail.high;
    c.sum += tail.sum;
    c.count += tail.count;
  }
}
NDT_WIDE_WORDS void countBlock16Wide(const std::uint16_t* p, std::size_t w, int x0, int x1, int y0, int y1,
                                     RowCounts& c) {
  countBlock16WideInto<false>(p, w, x0, x1, y0, y1, c, nullptr);
}
NDT_WIDE_WORDS void copyCountBlock16Wide(const std::uint16_t* p, std::size_t w, int rows, std::uint16_t* out,
                                         RowCounts& c) {
  countBlock16WideInto<true>(p, w, 0, int(w), 0, rows, c, out);
}
#undef NDT_WIDE_WORDS
bool wideWords() {
  static const bool yes = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
  return yes;
}
#else
constexpr bool wideWords() { return false; }
#define countBlock8Wide countBlock8
#define countBlock16Wide countBlock16
#define copyCountBlock16Wide copyCountBlock16
#endif

// Counts columns [x0, x1) of rows [y0, y1).
void countRows(const CImageBuffer& image, int x0, int x1, int y0, int y1, RowCounts& c) {
  static_assert(kMaxImageSide <= 65535, "a row's sum must stay within 32 bits");
  if (x1 <= x0 || y1 <= y0) return;
  const std::size_t w = std::size_t(image.width());
  const bool wide = wideWords();
  if (image.bytesPerSample() == 2) (wide ? countBlock16Wide : countBlock16)(image.data16(), w, x0, x1, y0, y1, c);
  else (wide ? countBlock8Wide : countBlock8)(image.data(), w, x0, x1, y0, y1, c);
}

// Rows [y0, y1) of image as read into rows (packed, whole rows), counted
// while they are in the cache and copied into the image; the wide 16-bit
// path does both in one pass.
void copyCountRows(const std::uint8_t* rows, CImageBuffer& image, int y0, int y1, RowCounts& c) {
  if (y1 <= y0) return;
  const std::size_t w = std::size_t(image.width()), n = std::size_t(y1 - y0);
  if (image.bytesPerSample() == 2) {
    const auto* in = reinterpret_cast<const std::uint16_t*>(rows);
    (wideWords() ? copyCountBlock16Wide : copyCountBlock16)(in, w, int(n), image.data16() + std::size_t(y0) * w, c);
  } else {
    (wideWords() ? countBlock8Wide : countBlock8)(rows, w, 0, image.width(), 0, int(n), c);
    std::memcpy(image.data() + std::size_t(y0) * w, rows, n * w);
  }
}

// The profile's sums, taken in memory order so that a profile costs one pass
// over its samples: per column of [x0, x0 + n) over rows [y0, y1), or per
// row of [y0, y0 + n) over columns [x0, x1). Sums of at most 65535 samples
// below 2^16 stay within 32 bits.
static_assert(std::uint64_t(kMaxImageSide) * 65535u <= 0xFFFFFFFFu, "a profile sum must stay within 32 bits");

// Eight rows at a time: the sums are read and written once per eight rows
// instead of once per row, which keeps the pass at the speed of the reads.
template <class T>
[[gnu::always_inline]] inline void sumColumns(const T* p, std::size_t w, int x0, int n, int y0, int y1,
                                              std::uint32_t* sums) {
  int y = y0;
  for (; y + 8 <= y1; y += 8) {
    const T* r = p + std::size_t(y) * w + std::size_t(x0);
    for (int i = 0; i < n; ++i)
      sums[i] += std::uint32_t(r[i]) + r[w + i] + r[2 * w + i] + r[3 * w + i] + r[4 * w + i] + r[5 * w + i] +
                 r[6 * w + i] + r[7 * w + i];
  }
  for (; y < y1; ++y) {
    const T* row = p + std::size_t(y) * w + std::size_t(x0);
    for (int i = 0; i < n; ++i) sums[i] += row[i];
  }
}

template <class T>
[[gnu::always_inline]] inline void sumRows(const T* p, std::size_t w, int x0, int x1, int y0, int n,
                                           std::uint32_t* sums) {
  for (int i = 0; i < n; ++i) {
    const T* row = p + std::size_t(y0 + i) * w;
    std::uint32_t s = 0;
    for (int x = x0; x < x1; ++x) s += row[x];
    sums[i] = s;
  }
}

NDT_VECTOR_CLONES void sumColumns8(const std::uint8_t* p, std::size_t w, int x0, int n, int y0, int y1,
                                   std::uint32_t* sums) {
  sumColumns(p, w, x0, n, y0, y1, sums);
}
NDT_VECTOR_CLONES void sumColumns16(const std::uint16_t* p, std::size_t w, int x0, int n, int y0, int y1,
                                    std::uint32_t* sums) {
  sumColumns(p, w, x0, n, y0, y1, sums);
}
NDT_VECTOR_CLONES void sumRows8(const std::uint8_t* p, std::size_t w, int x0, int x1, int y0, int n,
                                std::uint32_t* sums) {
  sumRows(p, w, x0, x1, y0, n, sums);
}
NDT_VECTOR_CLONES void sumRows16(const std::uint16_t* p, std::size_t w, int x0, int x1, int y0, int n,
                                 std::uint32_t* sums) {
  sumRows(p, w, x0, x1, y0, n, sums);
}

struct Summary {
  int lo = 4095, hi = 0, mean = 0;
};

Summary summarise(const std::vector<RowCounts>& counts) {
  Summary s;
  std::uint64_t sum = 0, count = 0;
  unsigned lo = 4095, hi = 0;
  for (const RowCounts& c : counts) {
    if (!c.count) continue;
    lo = std::min(lo, c.lo);
    hi = std::max(hi, c.hi);
    sum += c.sum;
    count += c.count;
  }
  if (count) {
    s.lo = int(lo);
    s.hi = int(hi);
  }
  s.mean = count ? int((sum + count / 2) / count) : 0;
  return s;
}

// Rows per piece of work: about 512 KB, which the system's copy reads in
// one call and which still fits the cache the load copies and counts it from.
int rowsPerPiece(const CImageBuffer& image) {
  const std::size_t rowBytes = std::max<std::size_t>(1, image.byteCount() / std::size_t(std::max(1, image.height())));
  return int(std::clamp<std::size_t>((512u << 10) / rowBytes, 1, 1u << 16));
}

}  // namespace

void CImageItem::takeStatistics(const Rect& in) {
  const Rect r = clampedRoi(in);
  statisticsRect = r;
  std::vector<RowCounts> counts(1);
  if (hasPixels()) countRows(*this, r.left, r.right, r.top, r.bottom, counts[0]);
  const Summary s = summarise(counts);
  roiMin = s.lo;
  roiMax = s.hi;
  roiMeanValue = s.mean;
}

void CImageItem::roiChanged() {
  // The first refresh after an open asks for the statistics the open has just
  // taken over the same pixels: they are kept, not taken again.
  if (!statisticsFromLoad_ || clampedRoi(roi) != statisticsRect) takeStatistics(roi);
  statisticsFromLoad_ = false;
  if (active) computeProfile();
  if (repaintPane) repaintPane();
}

void CImageItem::setRoi(const Rect& r) {
  roi = r;
  roiChanged();
}

void CImageItem::roiToWholeImage() { setRoi({0, 0, width(), height()}); }

void CImageItem::copyRoi(std::uint8_t* dest) const {
  const Rect& r = statisticsRect;
  if (!hasPixels() || r.empty() || r.right > width() || r.bottom > height()) return;
  const std::size_t bps = std::size_t(bytesPerSample());
  const std::size_t len = std::size_t(r.right - r.left) * bps;
  for (int y = r.top; y < r.bottom; ++y) {
    std::memcpy(dest, data() + (std::size_t(y) * width() + std::size_t(r.left)) * bps, len);
    dest += len;
  }
}

bool CImageItem::completeLoad() { return completeLoad(RowSource{}) == LoadResult::kLoaded; }

CImageItem::LoadResult CImageItem::completeLoad(const RowSource& fill) {
  statisticsFromLoad_ = false;
  if (!hasPixels()) {
    if (fill) return LoadResult::kReadFailed;
    roi = {0, 0, width(), height()};
    takeStatistics(roi);
    applyLoadDefaults();
    return LoadResult::kLoaded;
  }
  // Pieces of rows go to every core: each is read into a small buffer of the
  // thread's own, which stays in the cache, and copied into the image while
  // it is counted, so the 12-bit check, the statistics and the read make one
  // pass over the samples.
  const int piece = rowsPerPiece(*this);
  const std::size_t rowBytes = std::size_t(width()) * std::size_t(bytesPerSample());
  const int pieces = (height() + piece - 1) / piece;
  const bool small = byteCount() < (std::size_t(4) << 20);
  const int threads = small ? 1 : std::clamp(int(platform::usableCpus()), 1, std::min(8, pieces));
  std::vector<RowCounts> counts(static_cast<std::size_t>(threads));
  std::atomic<int> next{0};
  std::atomic<bool> failed{false};
  auto work = [&](RowCounts& c) {
    // Kept from one open to the next: a fresh one would fault its pages in again.
    thread_local std::vector<std::uint8_t> rows;
    if (fill) {
      try {
        if (rows.size() < std::size_t(piece) * rowBytes) rows.resize(std::size_t(piece) * rowBytes);
      } catch (const std::bad_alloc&) {
        failed = true;
        return;
      }
    }
    for (int k = next.fetch_add(1); k < pieces && !failed.load(std::memory_order_relaxed); k = next.fetch_add(1)) {
      const int y0 = k * piece, y1 = std::min(height(), y0 + piece);
      if (!fill) {
        countRows(*this, 0, width(), y0, y1, c);
      } else if (fill(y0, y1, rows.data())) {
        copyCountRows(rows.data(), *this, y0, y1, c);
      } else {
        failed = true;
        return;
      }
    }
  };
  std::vector<std::thread> helpers;
  for (int i = 1; i < threads; ++i) {
    try {
      helpers.emplace_back(work, std::ref(counts[std::size_t(i)]));
    } catch (const std::system_error&) {
      break;  // the calling thread takes the pieces no helper could
    }
  }
  work(counts[0]);
  for (std::thread& t : helpers) t.join();
  if (failed) return LoadResult::kReadFailed;

  unsigned high = 0;
  for (const RowCounts& c : counts) high |= c.high;
  if (high & 0xF000u) {
    cutToTwelveBits();
    return LoadResult::kLargerThan12Bits;
  }
  roi = {0, 0, width(), height()};
  statisticsRect = roi;
  const Summary s = summarise(counts);
  roiMin = s.lo;
  roiMax = s.hi;
  roiMeanValue = s.mean;
  statisticsFromLoad_ = true;
  applyLoadDefaults();
  return LoadResult::kLoaded;
}

void CImageItem::takeLoaded(CImageItem& loaded) {
  if (&loaded == this) return;
  takePixelsFrom(loaded);
  bitsStored = loaded.bitsStored;
  maxValue = loaded.maxValue;
  roi = loaded.roi;
  statisticsRect = loaded.statisticsRect;
  roiMax = loaded.roiMax;
  roiMin = loaded.roiMin;
  roiMeanValue = loaded.roiMeanValue;
  statisticsFromLoad_ = loaded.statisticsFromLoad_;
  imageMax = loaded.imageMax;
  imageMin = loaded.imageMin;
  windowCentre = loaded.windowCentre;
  windowWidth = loaded.windowWidth;
  thirdDisplayValue = loaded.thirdDisplayValue;
  rawLayout = loaded.rawLayout;
}

void CImageItem::applyLoadDefaults() {
  maxValue = roiMax <= 255 ? 255 : roiMax <= 1023 ? 1023 : 4095;
  imageMax = roiMax;
  imageMin = roiMin;
  windowCentre = maxValue / 2;
  windowWidth = maxValue;
  thirdDisplayValue = 0;
}

double CImageItem::opticalDensity(int value) const {
  if (maxValue <= 0) return 0.0;
  return (1.0 - double(value) / double(maxValue)) * double(odRange) * 0.1;
}

std::string CImageItem::valueText(int value) const {
  return showsOd(odUnit) ? fixed3(opticalDensity(value)) : std::to_string(value);
}

void CImageItem::computeProfile() {
  profile = LineProfile();
  if (!hasPixels()) return;
  const Rect r = clampedRoi(roi);
  const int lines = profileVertical ? r.bottom - r.top : r.right - r.left;
  const int across = profileVertical ? r.right - r.left : r.bottom - r.top;
  const int n = std::min(lines, 10000);
  if (n <= 0 || across <= 0) return;
  std::vector<std::uint32_t> sums(std::size_t(n), 0u);
  const std::size_t w = std::size_t(width());
  const bool wide = bytesPerSample() == 2;
  if (profileVertical) {
    if (wide) sumRows16(data16(), w, r.left, r.right, r.top, n, sums.data());
    else sumRows8(data(), w, r.left, r.right, r.top, n, sums.data());
  } else {
    if (wide) sumColumns16(data16(), w, r.left, n, r.top, r.bottom, sums.data());
    else sumColumns8(data(), w, r.left, n, r.top, r.bottom, sums.data());
  }
  profile.samples.resize(std::size_t(n));
  for (int i = 0; i < n; ++i) profile.samples[std::size_t(i)] = int(sums[std::size_t(i)] / std::uint32_t(across));
  const auto [mn, mx] = std::minmax_element(profile.samples.begin(), profile.samples.end());
  const int lo = *mn, hi = *mx;
  const bool od = showsOd(odUnit);
  if (od) {
    // O.D. falls as the value rises: the maximum's text is the minimum sample's O.D.
    profile.maxText = valueText(lo);
    profile.minText = valueText(hi);
  } else {
    profile.maxText = valueText(hi);
    profile.minText = valueText(lo);
  }
  const int span = hi - lo;
  for (int& s : profile.samples) {
    if (span >= 1) s = (s - lo) * 255 / span;
    if (!od) s = 255 - s;
  }
}

Rect CImageItem::roiToWindow(int paneWidth, int paneHeight, double zoom, double fx, double fy) const {
  auto mapX = [&](int x) { return int(std::lround((x - width() * fx) * zoom)) + paneWidth / 2; };
  auto mapY = [&](int y) { return int(std::lround((y - height() * fy) * zoom)) + paneHeight / 2; };
  return {mapX(roi.left), mapY(roi.top), mapX(roi.right), mapY(roi.bottom)};
}

// ---------------------------------------------------------------- table

bool CImageTable::add(std::unique_ptr<CImageItem> item) {
  if (!item || count_ >= kCapacity) return false;
  items_[std::size_t(count_++)] = std::move(item);
  return true;
}

CImageItem* CImageTable::get(int i) const {
  return i >= 0 && i < count_ ? items_[std::size_t(i)].get() : nullptr;
}

void CImageTable::deleteAll() {
  for (int i = 0; i < count_; ++i) items_[std::size_t(i)].reset();
  count_ = 0;
}

CImageItem* CImageTable::activeItem() const {
  for (int i = 0; i < count_; ++i)
    if (items_[std::size_t(i)]->active) return items_[std::size_t(i)].get();
  return count_ ? items_[0].get() : nullptr;
}

int CImageTable::selectedCount() const {
  int n = 0;
  for (int i = 0; i < count_; ++i) n += items_[std::size_t(i)]->selected ? 1 : 0;
  return n;
}

void CImageTable::setRoiOnSelected(const Rect& r) {
  for (int i = 0; i < count_; ++i)
    if (items_[std::size_t(i)]->selected) items_[std::size_t(i)]->setRoi(r);
}

void CImageTable::moveSelectedRoi(int dx, int dy) {
  const CImageItem* a = activeItem();
  if (!a || a->roi.empty()) return;
  const Rect r{a->roi.left + dx, a->roi.top + dy, a->roi.right + dx, a->roi.bottom + dy};
  setRoiOnSelected(r);
}

}  // namespace viewer
