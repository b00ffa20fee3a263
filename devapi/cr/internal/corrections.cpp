#include "devapi/cr/internal/corrections.h"

#include "devapi/cr/internal/noproc_dump.h"
#include "platform/cpus.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <thread>

#if defined(__x86_64__) && defined(__GNUC__)
// GCC 12's AVX-512 headers start vectors from an uninitialised value on purpose.
#pragma GCC diagnostic push
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#endif

namespace zentrac {
namespace {

// A horizontal window of boxWidth columns whose output column x sees the
// columns x - (boxWidth - 1 - (boxWidth - 1) / 2) .. x + (boxWidth - 1) / 2,
// clipped at the image's edges. Each column enters and leaves once, so the
// cost is the width, whatever the box. boxWidth must be at least 1. Only
// output columns from .. to - 1: the window fills from the left edge of from's.
template <class Add, class Remove, class Emit>
void slideWindow(std::size_t width, int boxWidth, std::size_t from, std::size_t to, Add add, Remove remove,
                 Emit emit) {
  const std::int64_t w = static_cast<std::int64_t>(width);
  const std::int64_t right = (boxWidth - 1) / 2;
  const std::int64_t left = boxWidth - 1 - right;
  std::int64_t lo = std::max<std::int64_t>(0, static_cast<std::int64_t>(from) - left);  // first column not yet removed
  std::int64_t hi = lo - 1;  // last column added
  for (std::int64_t x = static_cast<std::int64_t>(from); x < static_cast<std::int64_t>(to); ++x) {
    const std::int64_t wantHi = std::min(w - 1, x + right);
    while (hi < wantHi) add(static_cast<std::size_t>(++hi));
    // wantLo <= x <= hi: only columns that entered leave.
    const std::int64_t wantLo = std::max<std::int64_t>(0, x - left);
    while (lo < wantLo) remove(static_cast<std::size_t>(lo++));
    emit(static_cast<std::size_t>(x));
  }
}

// Division by a divisor that stays the same for many pixels: one multiply
// instead of a 64-bit division per pixel. With M = ceil(2^64 / d) the high
// half of M * n is n / d exactly when n and d are both below 2^32; other
// operands divide.
class Divider {
 public:
  explicit Divider(std::uint64_t d = 1) { set(d); }
  void set(std::uint64_t d) {
    d_ = d;
    m_ = d > 1 && (d >> 32) == 0 ? std::numeric_limits<std::uint64_t>::max() / d + 1 : 0;
  }
  std::uint64_t divisor() const { return d_; }
  std::uint64_t divide(std::uint64_t n) const {
    if (m_ == 0 || (n >> 32)) return n / d_;
    return static_cast<std::uint64_t>((static_cast<unsigned __int128>(m_) * n) >> 64);
  }

 private:
  std::uint64_t d_ = 1, m_ = 0;
};

// The mean rounded half away from zero. Adding count / 2 alone would round
// every negative mean up: a band 30 too bright would only come down by 29.
inline std::int64_t roundedMean(std::int64_t sum, Divider& count) {
  const std::int64_t c = static_cast<std::int64_t>(count.divisor());
  if (sum >= 0) return static_cast<std::int64_t>(count.divide(static_cast<std::uint64_t>(sum + c / 2)));
  return -static_cast<std::int64_t>(count.divide(static_cast<std::uint64_t>(c / 2 - sum)));
}
inline std::int64_t roundedMean(std::int64_t sum, std::int64_t count, Divider& cache) {
  if (cache.divisor() != static_cast<std::uint64_t>(count)) cache.set(static_cast<std::uint64_t>(count));
  return roundedMean(sum, cache);
}

inline std::uint16_t clampSample(std::int64_t v, std::int64_t maxval) {
  return static_cast<std::uint16_t>(std::clamp<std::int64_t>(v, 0, maxval));
}

template <class T>
bool grow(std::vector<T>& v, std::size_t n) {
  try {
    if (v.size() < n) v.resize(n);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
}

bool validRange(const CorrectionImage& image, std::size_t first, std::size_t last) {
  return image.valid() && first <= last && last < image.lines();
}

// The 32-bit line correction's box means divide in float, exactly while a
// box sum plus the box, at most 255 x 65535 + 382, stays below 2^24 (see
// windowMeans); taller boxes take the 64-bit pass.
constexpr int kMaxNarrowBox = 255;
constexpr std::size_t kMinLinesPerThread = 64;
// Bands the band correction measures at once, at most.
constexpr std::size_t kBandsAtOnce = 8;

// What every thread of one line correction reads.
struct LineTask {
  CorrectionImage image;
  std::size_t width = 0, half = 0, slots = 0;
  std::size_t left = 0, right = 0;  // window extents, at most the width
  std::int32_t roundBox = 0;
  float box = 1;
  std::int32_t minDev = 0, maxDev = 0, minPix = 0, maxPix = 0, maxval = 0;
  // A valid column counts as its deviation plus 2^countShift, so one running
  // sum carries both; see packedShift.
  std::uint32_t countShift = 0;
  bool avx512 = false;  // the machine runs the AVX-512 passes
  int boxShift = -1;     // n for a box of 2^n lines, else -1
};

// The shift that packs a window's count of valid columns above the sum of
// their deviations in 32 bits, or 0 when none fits. Running sums wrap, but
// a window's difference of two of them is exact modulo 2^32: n * 2^k + sum,
// with |sum| <= window * delta < 2^(k - 1) and n + 1 <= window + 1 <= 2^(32 - k).
std::uint32_t packedShift(std::int64_t window, std::int64_t delta) {
  for (std::uint32_t k = 1; k < 32; ++k)
    if (window * delta < (std::int64_t{1} << (k - 1)) && window + 1 <= (std::int64_t{1} << (32 - k))) return k;
  return 0;
}

// The passes over one line, written so that the compiler runs them over whole
// vectors; built for AVX-512, AVX2 and the baseline (NDT_VECTOR_CLONES), the
// best of which the machine has runs.

// Vectors read from and written to any address through memcpy: an
// under-aligned vector type is honoured by one compiler and not by another.
// Macros, since a function returning a wide vector has an ABI that depends on
// the target of each clone.
#define NDT_LOAD_VECTOR(V, p)            \
  __extension__({                        \
    V ndt_v_;                            \
    std::memcpy(&ndt_v_, (p), sizeof(V)); \
    ndt_v_;                              \
  })
#define NDT_STORE_VECTOR(V, p, value)    \
  do {                                   \
    const V ndt_v_ = (value);            \
    std::memcpy((p), &ndt_v_, sizeof(V)); \
  } while (0)
using I32x16 = std::int32_t __attribute__((vector_size(64)));
using U32x16 = std::uint32_t __attribute__((vector_size(64)));
using F32x16 = float __attribute__((vector_size(64)));

// packed has left entries before index 0 and right entries after index
// width: a window clipped at an edge reads the edge's sum there.
NDT_VECTOR_CLONES void windowMeans(const LineTask& t, const std::uint32_t* __restrict packed,
                                   std::int32_t* __restrict corr) {
  const std::size_t width = t.width;
  const std::uint32_t* pHi = packed + t.right + 1;
  const std::uint32_t* pLo = packed - t.left;
  const std::uint32_t shift = t.countShift, roundCount = std::uint32_t{1} << (shift - 1);
  // The mean rounded half away from zero: adding n / 2 alone would round
  // every negative mean up, and a band 30 too bright would come down by 29.
  // An empty window divides 0 by 1: no correction. A packed window's |sum| is
  // below 2^(k - 1) and below n * 65536 with n < 2^(32 - k), so a + n1 < 2^24:
  // both are exact floats, and the rounded quotient, at least 1 / n1 short of
  // the next integer, never reaches it. Truncating it is the integer division.
  std::size_t x = 0;
  for (; x + 16 <= width; x += 16) {
    const U32x16 v = NDT_LOAD_VECTOR(U32x16, pHi + x) - NDT_LOAD_VECTOR(U32x16, pLo + x);
    const U32x16 count = (v + roundCount) >> shift;
    const I32x16 n = reinterpret_cast<I32x16>(count);
    const I32x16 sum = reinterpret_cast<I32x16>(v - (count << shift));
    const I32x16 negative = sum >> 31;  // 0 or -1
    const I32x16 a = ((sum ^ negative) - negative) + (n >> 1);
    const I32x16 n1 = n + (((n - 1) >> 31) & 1);
    const I32x16 m =
        __builtin_convertvector(__builtin_convertvector(a, F32x16) / __builtin_convertvector(n1, F32x16), I32x16);
    NDT_STORE_VECTOR(I32x16, corr + x, (m ^ negative) - negative);
  }
  for (; x < width; ++x) {
    const std::uint32_t v = pHi[x] - pLo[x];
    const std::uint32_t count = (v + roundCount) >> shift;
    const std::int32_t n = static_cast<std::int32_t>(count);
    const std::int32_t sum = static_cast<std::int32_t>(v - (count << shift));
    const std::int32_t a = (sum < 0 ? -sum : sum) + (n >> 1);
    const std::int32_t m = static_cast<std::int32_t>(static_cast<float>(a) / static_cast<float>(n + (n == 0)));
    corr[x] = sum < 0 ? -m : m;
  }
}

NDT_VECTOR_CLONES void correctRow(const LineTask& t, std::uint16_t* __restrict row,
                                  const std::int32_t* __restrict corr) {
  const std::size_t width = t.width;
  const std::int32_t minPix = t.minPix, maxPix = t.maxPix, maxval = t.maxval;
  for (std::size_t x = 0; x < width; ++x) {
    const std::int32_t v = row[x];
    const std::int32_t c = std::min(std::max(v + corr[x], 0), maxval);
    const std::int32_t inRange = (v >= minPix) & (v <= maxPix);
    row[x] = static_cast<std::uint16_t>(inRange ? c : v);
  }
}

using U16x16 = std::uint16_t __attribute__((vector_size(32)));

// v + v shifted up by 1, 2, 4 and 8 lanes: the running sums within the vector.
#define NDT_RUNNING_SUMS(v)                                                                                \
  do {                                                                                                     \
    v += __builtin_shufflevector(zero, v, 0, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30); \
    v += __builtin_shufflevector(zero, v, 0, 0, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29);  \
    v += __builtin_shufflevector(zero, v, 0, 0, 0, 0, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27);    \
    v += __builtin_shufflevector(zero, v, 0, 0, 0, 0, 0, 0, 0, 0, 16, 17, 18, 19, 20, 21, 22, 23);        \
  } while (0)

// One pass along the centre line: the box sums move on by one line (in enters,
// out leaves; both null for the first centre of a run), each column's
// deviation from its box mean is taken, and the running sum of the valid
// columns' packed deviations and counts is written, packed[x + 1] for columns
// 0 .. x; the line at ahead is fetched into the cache on the way. Returns the
// line's total.
NDT_VECTOR_CLONES std::uint32_t deviationSums(const LineTask& t, std::int32_t* __restrict sum,
                                              const std::uint16_t* __restrict in,
                                              const std::uint16_t* __restrict out,
                                              const std::uint16_t* __restrict row,
                                              std::uint32_t* __restrict packed, const std::uint16_t* ahead) {
  const std::size_t width = t.width;
  const std::int32_t roundBox = t.roundBox, minDev = t.minDev, maxDev = t.maxDev;
  const std::uint32_t one = std::uint32_t{1} << t.countShift;
  const float box = t.box;
  const bool slide = in != nullptr;
  const U32x16 zero = {};
  // The sum so far in every lane, kept in a vector: the loop waits on one add and one shuffle.
  U32x16 carryV = {};
  std::size_t x = 0;
  for (; x + 16 <= width; x += 16) {
    __builtin_prefetch(ahead + x);
    I32x16 s = NDT_LOAD_VECTOR(I32x16, sum + x);
    if (slide) {
      s += __builtin_convertvector(NDT_LOAD_VECTOR(U16x16, in + x), I32x16) -
           __builtin_convertvector(NDT_LOAD_VECTOR(U16x16, out + x), I32x16);
      NDT_STORE_VECTOR(I32x16, sum + x, s);
    }
    const F32x16 mean = __builtin_convertvector(s + roundBox, F32x16) / box;
    const I32x16 d = __builtin_convertvector(mean, I32x16) -
                     __builtin_convertvector(NDT_LOAD_VECTOR(U16x16, row + x), I32x16);
    // -1 where minDev <= d <= maxDev, else 0; no differences here leave 32 bits.
    const I32x16 ok = ~((d - minDev) >> 31) & ~((maxDev - d) >> 31);
    U32x16 pv = (reinterpret_cast<U32x16>(d) + one) & reinterpret_cast<U32x16>(ok);
    NDT_RUNNING_SUMS(pv);
    pv += carryV;
    NDT_STORE_VECTOR(U32x16, packed + x + 1, pv);
    carryV = __builtin_shufflevector(pv, pv, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15);
  }
  std::uint32_t carry = carryV[0];
  for (; x < width; ++x) {
    if (slide) sum[x] += static_cast<std::int32_t>(in[x]) - out[x];
    const std::int32_t mean = static_cast<std::int32_t>(static_cast<float>(sum[x] + roundBox) / box);
    const std::int32_t d = mean - static_cast<std::int32_t>(row[x]);
    const bool ok = d >= minDev && d <= maxDev;
    carry += ok ? static_cast<std::uint32_t>(d) + one : 0;
    packed[x + 1] = carry;
  }
  return carry;
}
#undef NDT_RUNNING_SUMS

// The same passes written out for AVX-512, which the compiler's vectors
// reach only in part: their widening loads take four instructions, their
// lane shifts a copy each, and their tails run column by column. Whole
// vectors load and store plainly (masked stores cost more); masks take the tails.
#if defined(__x86_64__) && defined(__GNUC__)
#define NDT_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl"), always_inline)) inline

// Lanes 0 .. n - 1 of a vector at p; all 16 when Tail is false.
template <bool Tail>
NDT_AVX512 __m512i load512(const void* p, __mmask16 m) {
  if constexpr (Tail) return _mm512_maskz_loadu_epi32(m, p);
  else return _mm512_loadu_si512(p);
}
template <bool Tail>
NDT_AVX512 void store512(void* p, __mmask16 m, __m512i v) {
  if constexpr (Tail) _mm512_mask_storeu_epi32(p, m, v);
  else _mm512_storeu_si512(p, v);
}
template <bool Tail>
NDT_AVX512 __m512i widen512(const std::uint16_t* p, __mmask16 m) {
  if constexpr (Tail) return _mm512_cvtepu16_epi32(_mm256_maskz_loadu_epi16(m, p));
  else return _mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
}
template <bool Tail>
NDT_AVX512 void narrow512(std::uint16_t* p, __mmask16 m, __m512i v) {
  if constexpr (Tail) _mm256_mask_storeu_epi16(p, m, _mm512_cvtepi32_epi16(v));
  else _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm512_cvtepi32_epi16(v));
}
NDT_AVX512 __mmask16 tailMask(std::size_t n) { return static_cast<__mmask16>((1u << n) - 1); }

struct Consts512 {
  __m512i roundBox, minDev, maxDev, one, zero, last, minPix, maxPix, maxval;
  __m512 box;
  __m128i boxShift;
};

// One vector of deviationSums512; returns the running sums within the vector.
template <bool Slide, bool Correct, bool Shift, bool Tail>
NDT_AVX512 __m512i deviationStep512(const Consts512& k, std::size_t x, __mmask16 m, std::int32_t* sum,
                                    const std::uint16_t* in, std::uint16_t* out, const std::int32_t* outCorr,
                                    const std::uint16_t* row, std::uint32_t* packed, __m512i carry) {
  __m512i s = load512<Tail>(sum + x, m);
  if constexpr (Slide) {
    const __m512i o = widen512<Tail>(out + x, m);
    s = _mm512_add_epi32(s, _mm512_sub_epi32(widen512<Tail>(in + x, m), o));
    store512<Tail>(sum + x, m, s);
    if constexpr (Correct) {
      // The pixel plus its correction, clamped, where it lies within MIN .. MAX.
      const __m512i c = _mm512_min_epi32(
          _mm512_max_epi32(_mm512_add_epi32(o, load512<Tail>(outCorr + x, m)), k.zero), k.maxval);
      const __mmask16 inRange = _mm512_mask_cmple_epi32_mask(_mm512_cmpge_epi32_mask(o, k.minPix), o, k.maxPix);
      narrow512<Tail>(out + x, m, _mm512_mask_mov_epi32(o, inRange, c));
    }
  }
  // A box of 2^n lines divides by a shift; box sums are never negative.
  const __m512i rounded = _mm512_add_epi32(s, k.roundBox);
  __m512i mean;
  if constexpr (Shift) mean = _mm512_srl_epi32(rounded, k.boxShift);
  else mean = _mm512_cvttps_epi32(_mm512_div_ps(_mm512_cvtepi32_ps(rounded), k.box));
  const __m512i d = _mm512_sub_epi32(mean, widen512<Tail>(row + x, m));
  __mmask16 ok = _mm512_mask_cmple_epi32_mask(_mm512_cmpge_epi32_mask(d, k.minDev), d, k.maxDev);
  if constexpr (Tail) ok &= m;
  __m512i pv = _mm512_maskz_add_epi32(ok, d, k.one);
  pv = _mm512_add_epi32(pv, _mm512_alignr_epi32(pv, k.zero, 15));
  pv = _mm512_add_epi32(pv, _mm512_alignr_epi32(pv, k.zero, 14));
  pv = _mm512_add_epi32(pv, _mm512_alignr_epi32(pv, k.zero, 12));
  pv = _mm512_add_epi32(pv, _mm512_alignr_epi32(pv, k.zero, 8));
  store512<Tail>(packed + x + 1, m, _mm512_add_epi32(pv, carry));
  return pv;
}

// deviationSums, and with Correct the line leaving the box corrected in the
// same pass, as it is read for the last time; the line at ahead is fetched
// into the cache on the way.
template <bool Slide, bool Correct, bool Shift>
__attribute__((target("avx512f,avx512bw,avx512vl"))) std::uint32_t deviationSums512(
    const LineTask& t, std::int32_t* __restrict sum, const std::uint16_t* __restrict in,
    std::uint16_t* __restrict out, const std::int32_t* __restrict outCorr, const std::uint16_t* __restrict row,
    std::uint32_t* __restrict packed, const std::uint16_t* ahead) {
  const std::size_t width = t.width;
  Consts512 k;
  k.roundBox = _mm512_set1_epi32(t.roundBox);
  k.minDev = _mm512_set1_epi32(t.minDev);
  k.maxDev = _mm512_set1_epi32(t.maxDev);
  k.one = _mm512_set1_epi32(static_cast<std::int32_t>(std::uint32_t{1} << t.countShift));
  k.zero = _mm512_setzero_si512();
  k.last = _mm512_set1_epi32(15);
  k.minPix = _mm512_set1_epi32(t.minPix);
  k.maxPix = _mm512_set1_epi32(t.maxPix);
  k.maxval = _mm512_set1_epi32(t.maxval);
  k.box = _mm512_set1_ps(t.box);
  k.boxShift = _mm_cvtsi32_si128(t.boxShift);
  __m512i carry = k.zero;  // the sum so far, in every lane
  std::size_t x = 0;
  for (; x + 16 <= width; x += 16) {
    _mm_prefetch(reinterpret_cast<const char*>(ahead + x), _MM_HINT_T0);
    const __m512i pv =
        deviationStep512<Slide, Correct, Shift, false>(k, x, 0xFFFF, sum, in, out, outCorr, row, packed, carry);
    // Off the loop's chain: the next carry waits on one add only.
    carry = _mm512_add_epi32(carry, _mm512_permutexvar_epi32(k.last, pv));
  }
  if (x < width) {
    const __m512i pv = deviationStep512<Slide, Correct, Shift, true>(k, x, tailMask(width - x), sum, in, out,
                                                                     outCorr, row, packed, carry);
    carry = _mm512_add_epi32(carry, _mm512_permutexvar_epi32(k.last, pv));
  }
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm512_castsi512_si128(carry)));
}

std::uint32_t deviationSums512(const LineTask& t, std::int32_t* sum, const std::uint16_t* in, std::uint16_t* out,
                               const std::int32_t* outCorr, const std::uint16_t* row, std::uint32_t* packed,
                               const std::uint16_t* ahead) {
  if (t.boxShift >= 0) {
    if (!in) return deviationSums512<false, false, true>(t, sum, in, out, outCorr, row, packed, ahead);
    if (!outCorr) return deviationSums512<true, false, true>(t, sum, in, out, outCorr, row, packed, ahead);
    return deviationSums512<true, true, true>(t, sum, in, out, outCorr, row, packed, ahead);
  }
  if (!in) return deviationSums512<false, false, false>(t, sum, in, out, outCorr, row, packed, ahead);
  if (!outCorr) return deviationSums512<true, false, false>(t, sum, in, out, outCorr, row, packed, ahead);
  return deviationSums512<true, true, false>(t, sum, in, out, outCorr, row, packed, ahead);
}

// One vector of windowMeans512. The rounding half away from zero moves the
// sum by n / 2 away from zero, and the truncating division is symmetric in the sign.
template <bool Tail>
NDT_AVX512 void windowStep512(std::size_t x, __mmask16 m, const std::uint32_t* pHi, const std::uint32_t* pLo,
                              std::int32_t* corr, __m128i shift, __m512i roundCount, __m512i one, __m512i zero) {
  const __m512i v = _mm512_sub_epi32(load512<Tail>(pHi + x, m), load512<Tail>(pLo + x, m));
  const __m512i n = _mm512_srl_epi32(_mm512_add_epi32(v, roundCount), shift);
  const __m512i s = _mm512_sub_epi32(v, _mm512_sll_epi32(n, shift));
  const __m512i h = _mm512_srli_epi32(n, 1);
  const __m512i a = _mm512_mask_sub_epi32(_mm512_add_epi32(s, h), _mm512_cmplt_epi32_mask(s, zero), s, h);
  const __m512 q = _mm512_div_ps(_mm512_cvtepi32_ps(a), _mm512_cvtepi32_ps(_mm512_max_epu32(n, one)));
  store512<Tail>(corr + x, m, _mm512_cvttps_epi32(q));
}

__attribute__((target("avx512f,avx512bw,avx512vl"))) void windowMeans512(const LineTask& t,
                                                                         const std::uint32_t* __restrict packed,
                                                                         std::int32_t* __restrict corr) {
  const std::size_t width = t.width;
  const std::uint32_t* pHi = packed + t.right + 1;
  const std::uint32_t* pLo = packed - t.left;
  const __m128i shift = _mm_cvtsi32_si128(static_cast<int>(t.countShift));
  const __m512i roundCount = _mm512_set1_epi32(std::int32_t{1} << (t.countShift - 1)), one = _mm512_set1_epi32(1),
                zero = _mm512_setzero_si512();
  std::size_t x = 0;
  for (; x + 16 <= width; x += 16) windowStep512<false>(x, 0xFFFF, pHi, pLo, corr, shift, roundCount, one, zero);
  if (x < width) windowStep512<true>(x, tailMask(width - x), pHi, pLo, corr, shift, roundCount, one, zero);
}

bool haveAvx512() {
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512vl");
}
#else
bool haveAvx512() { return false; }
#endif

NDT_VECTOR_CLONES void addRow(std::size_t width, std::int32_t* __restrict sum, const std::uint16_t* __restrict row) {
  for (std::size_t x = 0; x < width; ++x) sum[x] += row[x];
}

// A reference line of the band correction: added to the column sums, and
// taken into the columns' least and greatest values.
NDT_VECTOR_CLONES void addReference(std::size_t width, const std::uint16_t* __restrict row, double* __restrict acc,
                                    std::int32_t* __restrict lo, std::int32_t* __restrict hi) {
  for (std::size_t x = 0; x < width; ++x) {
    acc[x] += row[x];
    lo[x] = std::min<std::int32_t>(lo[x], row[x]);
    hi[x] = std::max<std::int32_t>(hi[x], row[x]);
  }
}

// The deviations of one band line from the straight line between the two
// reference blocks' means, and the line taken into the columns' range. The
// file is built without contracting products and sums into fused ones, so
// that every lane rounds as one column by itself would.
NDT_VECTOR_CLONES void bandDeviations(std::size_t width, const double* __restrict before,
                                      const double* __restrict after, double wBefore, double wAfter, double denom,
                                      const std::uint16_t* __restrict row, std::int32_t* __restrict dev,
                                      std::int32_t* __restrict lo, std::int32_t* __restrict hi) {
  for (std::size_t x = 0; x < width; ++x) {
    // A mean of samples plus 0.5, far within 32 bits: both weights are
    // positive, so truncating it is the floor, which the vectoriser leaves alone.
    const double expected = (before[x] * wBefore + after[x] * wAfter) / denom + 0.5;
    dev[x] = static_cast<std::int32_t>(expected) - row[x];
    lo[x] = std::min<std::int32_t>(lo[x], row[x]);
    hi[x] = std::max<std::int32_t>(hi[x], row[x]);
  }
}

// Every sample of the row replaced by its table entry. Mask fill and device
// data may exceed 14 bits; they take the last entry.
NDT_VECTOR_CLONES void tableRow(std::uint16_t* __restrict row, std::size_t width,
                                const std::uint16_t* __restrict table) {
  for (std::size_t x = 0; x < width; ++x) row[x] = table[std::min<std::size_t>(row[x], kTableSize - 1)];
}

bool prepareLineWork(Corrections::LineWork& w, const LineTask& t) {
  const std::size_t padded = t.left + t.width + 1 + t.right;
  if (!grow(w.sum, t.width) || !grow(w.packed, padded) || !grow(w.ring, t.slots * t.width)) return false;
  // Windows clipped at the left edge read 0 before the line.
  std::fill(w.packed.begin(), w.packed.begin() + static_cast<std::ptrdiff_t>(t.left + 1), 0);
  return true;
}

// Centres a .. b - 1. The box of centre c holds lines c - half + 1 .. c + half;
// a line is corrected once no later box of this run reads it. The first half
// lines, which the run before reads, keep their corrections in head, and the
// last half past those, which the run after reads, in tail, for correctHead
// and correctTail.
void correctCentres(const LineTask& t, Corrections::LineWork& w, std::size_t a, std::size_t b,
                    std::int32_t* head, std::int32_t* tail) {
  const std::size_t width = t.width, half = t.half;
  std::int32_t* sum = w.sum.data();
  std::uint32_t* packed = w.packed.data() + t.left;
  std::fill(sum, sum + width, 0);
  for (std::size_t y = a + 1 - half; y <= a + half; ++y) addRow(width, sum, t.image.line(y));
  for (std::size_t c = a; c < b; ++c) {
    // Running sums along the line, so that any window's sum is one difference.
    const bool moved = c > a;
    const std::uint16_t* in = moved ? t.image.line(c + half) : nullptr;
    std::uint16_t* out = moved ? t.image.line(c - half) : nullptr;
    // Line c - half leaves the box with this move, and is corrected then.
    const std::int32_t* outCorr = c >= a + 2 * half ? w.ring.data() + ((c - half - a) % t.slots) * width : nullptr;
    std::int32_t* corr = c < a + half    ? head + (c - a) * width
                         : c >= b - half ? tail + (c - (b - half)) * width
                                         : w.ring.data() + ((c - a) % t.slots) * width;
    // The next centre's entering line is fetched during this one: the
    // hardware alone fetches it too late.
    const std::uint16_t* ahead = t.image.line(c + 1 < b ? c + 1 + half : c);
    std::uint32_t total;
#if defined(__x86_64__) && defined(__GNUC__)
    if (t.avx512) {
      total = deviationSums512(t, sum, in, out, outCorr, t.image.line(c), packed, ahead);
      std::fill(packed + width + 1, packed + width + 1 + t.right, total);
      windowMeans512(t, packed, corr);
      continue;
    }
#endif
    total = deviationSums(t, sum, in, out, t.image.line(c), packed, ahead);
    std::fill(packed + width + 1, packed + width + 1 + t.right, total);
    windowMeans(t, packed, corr);
    if (outCorr) correctRow(t, out, outCorr);
  }
}

void correctHead(const LineTask& t, std::size_t a, std::size_t b, const std::int32_t* head) {
  for (std::size_t line = a; line < std::min(b, a + t.half); ++line)
    correctRow(t, t.image.line(line), head + (line - a) * t.width);
}

void correctTail(const LineTask& t, std::size_t a, std::size_t b, const std::int32_t* tail) {
  for (std::size_t line = std::max(a + t.half, b - t.half); line < b; ++line)
    correctRow(t, t.image.line(line), tail + (line - (b - t.half)) * t.width);
}


// The band's reference sums and ranges, its lines' deviations and which
// columns count, over columns x0 .. x1 - 1: every column by itself.
void measureBand(const CorrectionImage& image, Corrections::BandWork& b, std::size_t x0, std::size_t x1) {
  const std::size_t width = image.width, n = x1 - x0;
  double* before = b.before.data() + x0;
  double* after = b.after.data() + x0;
  std::int32_t* rmin = b.refMin.data() + x0;
  std::int32_t* rmax = b.refMax.data() + x0;
  std::int32_t* fmin = b.fullMin.data() + x0;
  std::int32_t* fmax = b.fullMax.data() + x0;
  std::fill(before, before + n, 0);
  std::fill(after, after + n, 0);
  std::fill(rmin, rmin + n, std::numeric_limits<std::int32_t>::max());
  std::fill(rmax, rmax + n, std::numeric_limits<std::int32_t>::min());
  for (std::size_t y = b.start - b.refs; y < b.start; ++y) addReference(n, image.line(y) + x0, before, rmin, rmax);
  for (std::size_t y = b.start + b.lines; y < b.start + b.lines + b.refs; ++y)
    addReference(n, image.line(y) + x0, after, rmin, rmax);
  std::copy(rmin, rmin + n, fmin);
  std::copy(rmax, rmax + n, fmax);

  // Each band line is expected on the straight line between the means of the
  // two reference blocks, whose centres lie t/2 + 0.5 lines before it and
  // t/2 - 0.5 lines after its end.
  const double t = static_cast<double>(b.refs), o = static_cast<double>(b.lines);
  const double denom = t * (t + o);
  const double halfT = t / 2.0;
  for (std::size_t k = 0; k < b.lines; ++k) {
    const double wBefore = halfT + o - static_cast<double>(k) - 0.5;
    const double wAfter = halfT + static_cast<double>(k) + 0.5;
    bandDeviations(n, before, after, wBefore, wAfter, denom, image.line(b.start + k) + x0,
                   b.deviation.data() + k * width + x0, fmin, fmax);
  }
  for (std::size_t x = 0; x < n; ++x) {
    const std::int64_t refRange = std::int64_t{rmax[x]} - rmin[x];
    const std::int64_t fullRange = std::int64_t{fmax[x]} - fmin[x];
    b.valid[x0 + x] = !(refRange > b.record->maxRefRange || fullRange > b.record->maxRange);
  }
}

// The band's output columns x0 .. x1 - 1 corrected by the rounded mean
// deviation of the valid columns in their windows. Sums of integers: any
// split of the columns gives the same.
void correctBand(const CorrectionImage& image, const Corrections::BandWork& b, std::size_t x0, std::size_t x1,
                 std::int64_t maxval) {
  const std::size_t width = image.width, lines = b.lines;
  const std::uint8_t* ok = b.valid.data();
  const std::int32_t* dev = b.deviation.data();
  std::int64_t sums[kMaxBandLines] = {};
  std::int64_t count = 0;
  Divider byCount;
  std::uint16_t* rows[kMaxBandLines];
  for (std::size_t k = 0; k < lines; ++k) rows[k] = image.line(b.start + k);
  const std::int64_t minValid = std::max(b.record->minValid, 1);
  slideWindow(
      width, b.record->window, x0, x1,
      [&](std::size_t x) {
        if (!ok[x]) return;
        for (std::size_t k = 0; k < lines; ++k) sums[k] += dev[k * width + x];
        ++count;
      },
      [&](std::size_t x) {
        if (!ok[x]) return;
        for (std::size_t k = 0; k < lines; ++k) sums[k] -= dev[k * width + x];
        --count;
      },
      [&](std::size_t x) {
        if (count < minValid) return;
        if (byCount.divisor() != static_cast<std::uint64_t>(count)) byCount.set(static_cast<std::uint64_t>(count));
        for (std::size_t k = 0; k < lines; ++k)
          rows[k][x] = clampSample(rows[k][x] + roundedMean(sums[k], byCount), maxval);
      });
}

}  // namespace

int correctionDepth(int outBitDepth) { return outBitDepth == 16 ? 14 : outBitDepth; }

Corrections::Corrections(HardParams params) : params_(std::move(params)) { setThreads(0); }

void Corrections::setThreads(unsigned threads) {
  std::lock_guard lock(mutex_);
  threads_ = threads ? threads : platform::usableCpus();
}

void Corrections::setAvx512(bool allowed) {
  std::lock_guard lock(mutex_);
  avx512_ = allowed;
}

CorrectionOutcome Corrections::apply(const CorrectionImage& image, std::size_t lines, const ScanContext& scan) {
  std::lock_guard lock(mutex_);
  if (!image.valid() || lines > image.lines()) return CorrectionOutcome::LineRefused;
  const CorrectionParams& p = params_.forMode(scan.option1 & 0xFF);
  if (scan.dumpUnprocessed) writeNoProcDump(image, lines, scan, DumpStamp::now());
  if (lines < 2 || !lineCorrectionLocked(image, 0, lines - 1, scan.outBitDepth, p))
    return CorrectionOutcome::LineRefused;
  if (p.rollerBanding && !bandCorrectionLocked(image, 0, lines - 1, scan.outBitDepth, p, scan.scanPitch))
    return CorrectionOutcome::BandRefused;
  if (scan.outBitDepth == 16) tableLocked(image, 0, lines, scan.option2 & 0xFF);
  return CorrectionOutcome::Corrected;
}

bool Corrections::boxFilterLineCorrection(const CorrectionImage& image, std::size_t first, std::size_t last,
                                          int depth, const CorrectionParams& p) {
  std::lock_guard lock(mutex_);
  return lineCorrectionLocked(image, first, last, depth, p);
}

bool Corrections::rollerBandingCorrection(const CorrectionImage& image, std::size_t first, std::size_t last,
                                          int depth, const CorrectionParams& p, std::uint16_t scanPitch) {
  std::lock_guard lock(mutex_);
  return bandCorrectionLocked(image, first, last, depth, p, scanPitch);
}

void Corrections::logToLinearTable(const CorrectionImage& image, std::size_t first, std::size_t lines,
                                   int odMax) {
  std::lock_guard lock(mutex_);
  tableLocked(image, first, lines, odMax);
}

namespace {

// The line pass's parameters over a checked image and parameter set.
LineTask lineTask(const CorrectionImage& image, const CorrectionParams& p, int cdepth, std::uint32_t countShift,
                  bool avx512) {
  LineTask task;
  task.image = image;
  task.width = image.width;
  task.half = static_cast<std::size_t>(p.boxHeight / 2);
  task.slots = task.half + 1;
  task.roundBox = p.boxHeight / 2;
  task.box = static_cast<float>(p.boxHeight);
  // A negative delta admits no column; -1 keeps that without negating INT_MIN.
  task.minDev = -std::max(p.delta, -1);
  task.maxDev = std::max(p.delta, -1);
  task.minPix = p.minPixValue;
  task.maxPix = p.maxPixValue;
  task.maxval = static_cast<std::int32_t>((std::int64_t{1} << cdepth) - 1);
  // A window reaching past both ends of the line sees the whole line.
  const std::int64_t right = (static_cast<std::int64_t>(p.boxWidth) - 1) / 2;
  task.right = static_cast<std::size_t>(std::min<std::int64_t>(right, static_cast<std::int64_t>(image.width)));
  task.left = static_cast<std::size_t>(
      std::min<std::int64_t>(p.boxWidth - 1 - right, static_cast<std::int64_t>(image.width)));
  task.countShift = countShift;
  task.avx512 = avx512;
  for (int n = 1; n < 31; ++n)
    if (p.boxHeight == 1 << n) task.boxShift = n;
  return task;
}

// Where the runs of centres begin, the end last: runs are handed out largest
// first, each a share of the centres left, so that threads the shared memory
// slows take fewer and all end together.
std::vector<std::size_t> runStarts(std::size_t firstCentre, std::size_t lastCentre, std::size_t parts,
                                   std::size_t runMin) {
  std::vector<std::size_t> start{firstCentre};
  for (std::size_t at = firstCentre; parts > 1;) {
    const std::size_t left = lastCentre + 1 - at;
    const std::size_t n = std::max(runMin, left / (2 * parts));
    if (left < n + runMin) break;
    at += n;
    start.push_back(at);
  }
  start.push_back(lastCentre + 1);
  return start;
}

}  // namespace

bool Corrections::lineCorrectionLocked(const CorrectionImage& image, std::size_t first, std::size_t last,
                                       int depth, const CorrectionParams& p) {
  if (!validRange(image, first, last)) return false;
  const std::size_t width = image.width;
  const std::size_t count = last - first + 1;
  if (width < 2 || count < 2) return false;
  // A box of 0 or 1 lines has no lines above its centre, and a box taller than
  // the lines given would read outside them.
  if (p.boxHeight < 2 || p.boxWidth < 1 || count < static_cast<std::size_t>(p.boxHeight)) return false;
  const int cdepth = correctionDepth(depth);
  if (cdepth < 1 || cdepth > 16) return false;
  // Box sums, and a window's count packed with its sum of deviations, stay
  // within 32 bits only so far; beyond, the 64-bit pass serves.
  const std::int64_t fullWindow = std::min<std::int64_t>(static_cast<std::int64_t>(width), p.boxWidth);
  const std::uint32_t countShift = packedShift(fullWindow, std::max(p.delta, 0));
  if (p.boxHeight > kMaxNarrowBox || countShift == 0) return wideLineCorrection(image, first, last, cdepth, p);

  const LineTask task = lineTask(image, p, cdepth, countShift, avx512_ && haveAvx512());
  const std::size_t half = task.half;
  const std::size_t firstCentre = first + half - 1;
  const std::size_t lastCentre = last - half;
  const std::size_t centres = lastCentre - firstCentre + 1;
  // Threads take runs of centres; a run must hold its first and last half
  // lines apart, and a short run is not worth a thread.
  const std::size_t minRun = std::max<std::size_t>(kMinLinesPerThread, 2 * task.slots);
  const std::size_t parts = std::max<std::size_t>(1, std::min<std::size_t>(threads_, centres / minRun));
  // Tall boxes take longer runs, which keeps the runs' kept edge lines within
  // half the image.
  const std::size_t runMin = std::max(minRun, std::min(16 * half, centres / parts));
  const std::vector<std::size_t> start = runStarts(firstCentre, lastCentre, parts, runMin);
  const std::size_t runs = start.size() - 1;
  try {
    if (lineWork_.size() < parts) lineWork_.resize(parts);
    for (std::size_t i = 0; i < parts; ++i)
      if (!prepareLineWork(lineWork_[i], task)) return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  const std::size_t edgeLines = 2 * half * width;
  if (!grow(lineEdges_, runs * edgeLines)) return false;
  auto headOf = [&](std::size_t r) { return lineEdges_.data() + r * edgeLines; };
  auto tailOf = [&](std::size_t r) { return headOf(r) + half * width; };
  // The lines about the edge between two runs are read by both; the run that
  // ends second corrects them. The image's ends have one run each.
  std::vector<std::atomic<int>> ended(runs + 1);
  ended[0] = 1;
  ended[runs] = 1;
  auto meet = [&](std::size_t edge) {
    if (ended[edge].fetch_add(1, std::memory_order_acq_rel) == 0) return;
    if (edge > 0) correctTail(task, start[edge - 1], start[edge], tailOf(edge - 1));
    if (edge < runs) correctHead(task, start[edge], start[edge + 1], headOf(edge));
  };
  pool_.share(parts, runs, [&](std::size_t r, std::size_t part) {
    correctCentres(task, lineWork_[part], start[r], start[r + 1], headOf(r), tailOf(r));
    meet(r);
    meet(r + 1);
  });
  return true;
}

// On parameters lineCorrectionLocked has checked.
bool Corrections::wideLineCorrection(const CorrectionImage& image, std::size_t first, std::size_t last,
                                     int cdepth, const CorrectionParams& p) {
  const std::size_t width = image.width;
  const std::int64_t maxval = (std::int64_t{1} << cdepth) - 1;

  const std::int64_t boxHeight = p.boxHeight;
  const std::size_t half = static_cast<std::size_t>(p.boxHeight / 2);
  const std::size_t firstCentre = first + half - 1;
  const std::size_t lastCentre = last - half;
  // The box of centre c holds lines c - half + 1 .. c + half; a line is
  // corrected once no later box reads it, so half + 1 lines of corrections wait.
  const std::size_t slots = half + 1;
  if (slots > std::numeric_limits<std::size_t>::max() / width) return false;
  if (!grow(columnSum_, width) || !grow(prefixDeviation_, width + 1) || !grow(prefixValid_, width + 1) ||
      !grow(pending_, slots * width))
    return false;

  const std::int64_t minDev = -static_cast<std::int64_t>(p.delta);
  const std::int64_t maxDev = p.delta;
  const std::int64_t minPix = p.minPixValue;
  const std::int64_t maxPix = p.maxPixValue;

  std::int64_t* sum = columnSum_.data();

  std::fill(sum, sum + width, 0);
  for (std::size_t y = first; y < first + 2 * half; ++y) {
    const std::uint16_t* row = image.line(y);
    for (std::size_t x = 0; x < width; ++x) sum[x] += row[x];
  }

  auto slotOf = [&](std::size_t line) { return pending_.data() + ((line - firstCentre) % slots) * width; };
  auto correctLine = [&](std::size_t line) {
    std::uint16_t* row = image.line(line);
    const std::int32_t* corr = slotOf(line);
    for (std::size_t x = 0; x < width; ++x) {
      const std::int64_t v = row[x];
      if (v >= minPix && v <= maxPix) row[x] = clampSample(v + corr[x], maxval);
    }
  };

  const Divider byBox(static_cast<std::uint64_t>(boxHeight));
  Divider byCount;
  // The window of output column x: x - left .. x + right, clipped to the line.
  const std::int64_t right = (static_cast<std::int64_t>(p.boxWidth) - 1) / 2;
  const std::int64_t left = p.boxWidth - 1 - right;
  const std::int64_t lastColumn = static_cast<std::int64_t>(width) - 1;
  std::int64_t* devSum = prefixDeviation_.data();
  std::int32_t* validCount = prefixValid_.data();
  devSum[0] = 0;
  validCount[0] = 0;
  for (std::size_t c = firstCentre; c <= lastCentre; ++c) {
    // Deviations from the box means, summed along the line over the valid
    // columns, so that any window's sum is one difference.
    const std::uint16_t* row = image.line(c);
    for (std::size_t x = 0; x < width; ++x) {
      const std::int64_t d =
          static_cast<std::int64_t>(byBox.divide(static_cast<std::uint64_t>(sum[x] + boxHeight / 2))) - row[x];
      const bool ok = d >= minDev && d <= maxDev;
      devSum[x + 1] = devSum[x] + (ok ? d : 0);
      validCount[x + 1] = validCount[x] + ok;
    }
    std::int32_t* corr = slotOf(c);
    for (std::int64_t x = 0; x <= lastColumn; ++x) {
      const std::int64_t hi = std::min(lastColumn, x + right) + 1;
      const std::int64_t lo = std::max<std::int64_t>(0, x - left);
      const std::int64_t n = validCount[hi] - validCount[lo];
      corr[x] = n > 0 ? static_cast<std::int32_t>(roundedMean(devSum[hi] - devSum[lo], n, byCount)) : 0;
    }
    // Line c - half left the box with the previous centre.
    if (c >= firstCentre + half) correctLine(c - half);
    if (c < lastCentre) {
      const std::uint16_t* out = image.line(c - half + 1);
      const std::uint16_t* in = image.line(c + half + 1);
      for (std::size_t x = 0; x < width; ++x) sum[x] += static_cast<std::int64_t>(in[x]) - out[x];
    }
  }
  for (std::size_t line = std::max(firstCentre, lastCentre + 1 - half); line <= lastCentre; ++line)
    correctLine(line);
  return true;
}

bool Corrections::bandCorrectionLocked(const CorrectionImage& image, std::size_t first, std::size_t last,
                                       int depth, const CorrectionParams& p, std::uint16_t scanPitch) {
  if (!validRange(image, first, last)) return false;
  const std::size_t width = image.width;
  if (width < 2 || last - first + 1 < 2 || scanPitch == 0) return false;
  const int cdepth = correctionDepth(depth);
  if (cdepth < 1 || cdepth > 16) return false;
  const std::int64_t maxval = (std::int64_t{1} << cdepth) - 1;
  const double pitchMm = scanPitch / 1000.0;

  // Each band in column ranges over all threads. Bands in a row of which
  // none reads lines another corrects are measured together, then corrected
  // together; a band reading an earlier one's lines waits for it. A group
  // holds a few bands, so that a long list needs no more storage.
  const std::size_t ranges = std::min<std::size_t>(threads_, width);
  std::size_t bands = 0;  // in the group not yet applied
  auto applyGroup = [&] {
    const std::size_t tasks = bands * ranges;
    const std::size_t parts = std::min<std::size_t>(threads_, tasks);
    auto columns = [&](std::size_t task) {
      const std::size_t r = task % ranges;
      return std::pair{width * r / ranges, width * (r + 1) / ranges};
    };
    pool_.share(parts, tasks, [&](std::size_t task, std::size_t) {
      const auto [x0, x1] = columns(task);
      measureBand(image, bandWork_[task / ranges], x0, x1);
    });
    pool_.share(parts, tasks, [&](std::size_t task, std::size_t) {
      const auto [x0, x1] = columns(task);
      correctBand(image, bandWork_[task / ranges], x0, x1, maxval);
    });
    bands = 0;
  };
  for (const BandRecord& band : p.bands) {
    if (band.position == 0.0) break;
    // Bands beyond the deviation slots, and records that would divide by zero, are skipped.
    if (band.refLines < 1 || band.bandLines < 1 || band.bandLines > kMaxBandLines || band.window < 1) continue;
    const double start = band.position / pitchMm;
    if (!(start > -1e15 && start < 1e15)) continue;
    const std::int64_t u = static_cast<std::int64_t>(start);
    const std::int64_t t = band.refLines;
    const std::int64_t o = band.bandLines;
    if (u - t < static_cast<std::int64_t>(first) || u + o + t - 1 > static_cast<std::int64_t>(last)) continue;
    const std::size_t from = static_cast<std::size_t>(u - t), to = static_cast<std::size_t>(u + o + t);
    const bool readsGroup = std::any_of(bandWork_.begin(), bandWork_.begin() + static_cast<std::ptrdiff_t>(bands),
                                        [&](const BandWork& b) { return from < b.start + b.lines && b.start < to; });
    if (readsGroup || bands == kBandsAtOnce) applyGroup();
    try {
      if (bandWork_.size() <= bands) bandWork_.emplace_back();
    } catch (const std::bad_alloc&) {
      return false;
    }
    BandWork& b = bandWork_[bands];
    b.record = &band;
    b.start = static_cast<std::size_t>(u);
    b.lines = static_cast<std::size_t>(o);
    b.refs = static_cast<std::size_t>(t);
    if (!grow(b.before, width) || !grow(b.after, width) || !grow(b.refMin, width) || !grow(b.refMax, width) ||
        !grow(b.fullMin, width) || !grow(b.fullMax, width) || !grow(b.valid, width) ||
        !grow(b.deviation, width * b.lines))
      return false;
    ++bands;
  }
  applyGroup();
  return true;
}

void Corrections::buildTable(int odMax) {
  const double od = odMax / 10.0;
  table_[0] = 0;
  for (std::size_t i = 1; i < kTableSize; ++i) {
    const double exponent = (static_cast<double>(i) - 16383.0) * od / 16383.0;
    table_[i] = static_cast<std::uint16_t>(65535.0 * std::pow(10.0, exponent));
  }
  tableOd_ = odMax;
  ++tableBuilds_;
}

void Corrections::tableLocked(const CorrectionImage& image, std::size_t first, std::size_t lines, int odMax) {
  if (odMax != tableOd_) buildTable(odMax);
  if (!image.valid() || first > image.lines() || lines > image.lines() - first) return;
  const std::size_t parts = std::max<std::size_t>(1, std::min<std::size_t>(threads_, lines / kMinLinesPerThread));
  // Runs of lines handed out as threads become free: with equal shares, one
  // thread held up by another program kept all the others waiting.
  constexpr std::size_t kRun = 32;
  pool_.share(parts, (lines + kRun - 1) / kRun, [&](std::size_t run, std::size_t) {
    for (std::size_t y = first + run * kRun; y < first + std::min(lines, (run + 1) * kRun); ++y)
      tableRow(image.line(y), image.width, table_.data());
  });
}

}  // namespace zentrac
