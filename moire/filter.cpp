// The moire filter pass.
//
// Every target sample is, inside the zone where its windows fit, a fixed chain
// of double-precision operations on the source: the smoothing sum
// (sum of weight x sample in tap order, times the normaliser) and then the
// interpolation (or, in direction 2, a second smoothing sum) over smoothed
// values in offset order. The passes below keep exactly that chain per sample
// but run it row by row over blocks of target columns, so that the source is
// read along its rows and each smoothed value is computed once.
//
// Settled choices, pinned by the tests:
// - accumulation is in double throughout;
// - when the protection of bright marks fires on any line that takes part in
//   a target sample, that sample takes its own nearest source sample, so a
//   mark is neither smeared nor copied onto the neighbouring line;
// - where the window of one axis does not fit, the left and right zones win
//   over the top and bottom zones (corners copy the first or last sample of the
//   source row);
// - line and column indices are clamped to the image: the window tests of
//   the interpolated and the second smoothed axis let a window reach one line
//   past the last;
// - every written sample, copies included, is limited to 2^bits - 1.
#include "moire/internal/filter.h"

#include "moire/internal/kernels.h"
#include "platform/cpus.h"

#include <pthread.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <map>
#include <new>
#include <thread>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace fennick {
namespace {

// The vector passes are built for AVX-512, AVX and the baseline; the best the
// machine has runs. The thread sanitizer instruments the clones' resolvers,
// which may run before it is set up: there, the baseline only.
#if defined(__SANITIZE_THREAD__)
#define FENNICK_VECTOR_CLONES
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define FENNICK_VECTOR_CLONES
#endif
#endif
#ifndef FENNICK_VECTOR_CLONES
#define FENNICK_VECTOR_CLONES __attribute__((target_clones("avx512f", "avx", "default")))
#endif

// Beyond this the work storage is refused rather than risked.
constexpr double kWorkLimitBytes = 1024.0 * 1024.0 * 1024.0;
// Most target columns handled together in the passes that smooth along x:
// wide blocks read the source and write the target in long runs.
constexpr int kBlock = 512;
// Tiles per thread where there are several threads: enough that a thread
// that starts late or meets a busier core evens out on the others.
constexpr std::size_t kTilesPerThread = 8;
// Stack of each thread the filter starts.
constexpr std::size_t kThreadStack = 512 * 1024;

// Storage for whole vectors: 64-byte aligned, so that no vector load or
// store is split over two cache lines.
template <typename T>
struct VectorAllocator {
  using value_type = T;
  VectorAllocator() = default;
  template <typename U>
  VectorAllocator(const VectorAllocator<U>&) {}
  T* allocate(std::size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), std::align_val_t(64))); }
  void deallocate(T* p, std::size_t) { ::operator delete(p, std::align_val_t(64)); }
  template <typename U>
  bool operator==(const VectorAllocator<U>&) const { return true; }
};
template <typename T>
using AlignedVector = std::vector<T, VectorAllocator<T>>;

// Where one target index falls on one source axis.
struct Place {
  double pos = 0;  // source position
  int n = 0;       // nearest source sample
  double f = 0;    // pos - n
  int trunc = 0;   // floor(pos), within the axis
  bool fits = false;
  bool lowOut = false;  // the window sticks out on the low side
};

// The outer axis needs one more sample on each side than the inner one.
struct Margins {
  int low, high;
};
constexpr Margins kOuter{1, 2};
constexpr Margins kInner{0, 0};

int clampIndex(int i, int size) { return i < 0 ? 0 : (i >= size ? size - 1 : i); }

std::vector<Place> placeAxis(int srcSize, int dstSize, bool smoothed, int h, Margins m) {
  std::vector<Place> out(static_cast<std::size_t>(dstSize));
  for (int t = 0; t < dstSize; ++t) {
    Place& p = out[static_cast<std::size_t>(t)];
    p.pos = double(t) * double(srcSize) / double(dstSize);
    p.n = int(std::floor(p.pos + 0.5));
    p.f = p.pos - double(p.n);
    if (smoothed && p.f == 0.0) p.f = 0.0001;
    p.trunc = clampIndex(int(std::floor(p.pos)), srcSize);
    const bool lowOk = p.pos - double(h) > double(m.low);
    const bool highOk = p.pos + double(h) < double(srcSize - m.high);
    p.fits = lowOk && highOk;
    p.lowOut = !lowOk;
  }
  return out;
}

std::size_t countFits(const std::vector<Place>& axis) {
  return std::size_t(std::count_if(axis.begin(), axis.end(), [](const Place& p) { return p.fits; }));
}

std::vector<int> fittingIndices(const std::vector<Place>& axis) {
  std::vector<int> out;
  for (std::size_t i = 0; i < axis.size(); ++i)
    if (axis[i].fits) out.push_back(int(i));
  return out;
}

// w[0..2h] the weights of the taps n-h .. n+h, w[2h+1] the reciprocal of their sum.
void smoothingWeights(double f, int h, bool gaussian, double* w) {
  double sum = 0.0;
  for (int i = 0; i <= 2 * h; ++i) {
    const double t = f - double(i - h);
    w[i] = gaussian ? gauss(t, h) : lanczos(t, h);
    sum += w[i];
  }
  w[2 * h + 1] = 1.0 / sum;
}

// smoothingWeights of the positions at[j] of an axis, once for each distinct
// fraction, which at whole ratios is once for them all.
struct WeightSets {
  std::size_t stride;          // 2h + 2
  std::vector<double> tables;  // set k at k * stride
  std::vector<std::size_t> of;  // the set of position j
  const double* operator[](std::size_t j) const { return &tables[of[j] * stride]; }
};
WeightSets weightSets(const std::vector<Place>& axis, const std::vector<int>& at, int h, bool gaussian) {
  WeightSets sets{std::size_t(2 * h + 2), {}, std::vector<std::size_t>(at.size())};
  std::unordered_map<std::uint64_t, std::size_t> setOf;  // fraction's bits -> set
  for (std::size_t j = 0; j < at.size(); ++j) {
    const double f = axis[std::size_t(at[j])].f;
    const auto [it, fresh] = setOf.try_emplace(std::bit_cast<std::uint64_t>(f), setOf.size());
    if (fresh) {
      sets.tables.resize(sets.tables.size() + sets.stride);
      smoothingWeights(f, h, gaussian, &sets.tables[it->second * sets.stride]);
    }
    sets.of[j] = it->second;
  }
  return sets;
}

// smoothingWeights for each position at[j] of the axis, stride apart from out.
void weightsPerPosition(const std::vector<Place>& axis, const std::vector<int>& at, int h, bool gaussian,
                        double* out, std::size_t stride) {
  const WeightSets sets = weightSets(axis, at, h, gaussian);
  for (std::size_t j = 0; j < at.size(); ++j) std::copy_n(sets[j], sets.stride, out + j * stride);
}

// Offsets of the lines that the interpolation combines, and their weights.
struct Interp {
  int count;
  int offset[5];
};
Interp interpOffsets(bool linear) {
  if (linear) return {2, {-1, 1, 0, 0, 0}};
  return {5, {-2, -1, 0, 1, 2}};
}
void interpWeights(const Interp& in, bool linear, double f, double* w) {
  for (int k = 0; k < in.count; ++k) {
    const double s = f - double(in.offset[k]);
    w[k] = linear ? triangle(s) : cubic(s);
  }
}

struct Limits {
  double high, low;  // protection thresholds
  unsigned maxValue;
};

unsigned toSample(double v, unsigned maxValue) {
  const double r = std::floor(v + 0.5);
  if (!(r >= 0.0)) return 0;
  if (r >= double(maxValue) + 1.0) return maxValue;
  return unsigned(r);
}


// A thread of runTasks: its part number and the work it runs.
template <class Work>
struct Worker {
  Work* work;
  std::size_t part;
  pthread_t thread;
  static void* start(void* self) {
    const Worker& w = *static_cast<Worker*>(self);
    (*w.work)(w.part);
    return nullptr;
  }
};

// task(i, part) for i = 0 .. tasks - 1 on up to threads threads, part
// numbering them (the caller's is 0), each thread first through join(part),
// which says whether it takes part. Tasks are handed out one at a time,
// so a thread that starts late or runs slower than the others takes fewer;
// threads that cannot be had leave theirs to the rest. The tasks need little
// stack: a small one stays in the C library's cache of stacks between calls
// and is never backed by a huge page that each start would clear anew.
template <class Join, class Task>
void runTasks(unsigned threads, std::size_t tasks, Join join, Task task) {
  std::atomic<std::size_t> next{0};
  auto work = [&](std::size_t part) {
    if (!join(part)) return;
    for (std::size_t i; (i = next.fetch_add(1, std::memory_order_relaxed)) < tasks;) task(i, part);
  };
  using W = Worker<decltype(work)>;
  const std::size_t parts = std::max<std::size_t>(1, std::min<std::size_t>(threads, tasks));
  std::vector<W> workers;
  workers.reserve(parts - 1);
  pthread_attr_t attr;
  const bool small = pthread_attr_init(&attr) == 0;
  if (small) pthread_attr_setstacksize(&attr, kThreadStack);
  for (std::size_t part = 1; part < parts; ++part) {
    workers.push_back(W{&work, part, {}});
    if (pthread_create(&workers.back().thread, small ? &attr : nullptr, &W::start, &workers.back()) != 0) {
      workers.pop_back();
      break;
    }
  }
  if (small) pthread_attr_destroy(&attr);
  work(0);
  for (W& w : workers) pthread_join(w.thread, nullptr);
}

// runTasks with scratch for each thread, made by setUp: the caller's before
// any task runs, so that a lack of memory there fails the call before
// anything is written; each other thread's on its way in, and one that
// cannot have it takes no task.
template <class Scratch, class SetUp, class Task>
void runWithScratch(unsigned threads, std::size_t tasks, SetUp setUp, Task task) {
  std::vector<Scratch> scratch(std::max<std::size_t>(1, std::min<std::size_t>(threads, tasks)));
  setUp(scratch[0]);
  auto join = [&](std::size_t part) {
    try {
      if (part > 0) setUp(scratch[part]);
      return true;
    } catch (const std::bad_alloc&) {
      return false;
    }
  };
  runTasks(threads, tasks, join, [&](std::size_t i, std::size_t part) { task(i, scratch[part]); });
}

// Eight source rows at once: rows8[k * 8 + r] is sample k of row r. Every
// lane runs the chain of the scalar sum (taps in order from 0.0, then the
// normaliser), so the samples are the same as one row at a time.
constexpr int kLanes = 8;
using F64x8 = double __attribute__((vector_size(64)));
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

// Turns an 8 x 8 block round: lane r of a[c] goes to element c of the
// vector stored at out + r * stride.
[[gnu::always_inline]] inline void storeTransposed(const F64x8* a, double* out, std::size_t stride) {
  using V = F64x8;
  const V t0 = __builtin_shufflevector(a[0], a[1], 0, 8, 2, 10, 4, 12, 6, 14);
  const V t1 = __builtin_shufflevector(a[0], a[1], 1, 9, 3, 11, 5, 13, 7, 15);
  const V t2 = __builtin_shufflevector(a[2], a[3], 0, 8, 2, 10, 4, 12, 6, 14);
  const V t3 = __builtin_shufflevector(a[2], a[3], 1, 9, 3, 11, 5, 13, 7, 15);
  const V t4 = __builtin_shufflevector(a[4], a[5], 0, 8, 2, 10, 4, 12, 6, 14);
  const V t5 = __builtin_shufflevector(a[4], a[5], 1, 9, 3, 11, 5, 13, 7, 15);
  const V t6 = __builtin_shufflevector(a[6], a[7], 0, 8, 2, 10, 4, 12, 6, 14);
  const V t7 = __builtin_shufflevector(a[6], a[7], 1, 9, 3, 11, 5, 13, 7, 15);
  const V u0 = __builtin_shufflevector(t0, t2, 0, 1, 8, 9, 4, 5, 12, 13);  // rows 0, 4
  const V u2 = __builtin_shufflevector(t0, t2, 2, 3, 10, 11, 6, 7, 14, 15);  // rows 2, 6
  const V u1 = __builtin_shufflevector(t1, t3, 0, 1, 8, 9, 4, 5, 12, 13);  // rows 1, 5
  const V u3 = __builtin_shufflevector(t1, t3, 2, 3, 10, 11, 6, 7, 14, 15);  // rows 3, 7
  const V u4 = __builtin_shufflevector(t4, t6, 0, 1, 8, 9, 4, 5, 12, 13);
  const V u6 = __builtin_shufflevector(t4, t6, 2, 3, 10, 11, 6, 7, 14, 15);
  const V u5 = __builtin_shufflevector(t5, t7, 0, 1, 8, 9, 4, 5, 12, 13);
  const V u7 = __builtin_shufflevector(t5, t7, 2, 3, 10, 11, 6, 7, 14, 15);
  auto row = [&](int r) { return out + std::size_t(r) * stride; };
  NDT_STORE_VECTOR(V, row(0), __builtin_shufflevector(u0, u4, 0, 1, 2, 3, 8, 9, 10, 11));
  NDT_STORE_VECTOR(V, row(4), __builtin_shufflevector(u0, u4, 4, 5, 6, 7, 12, 13, 14, 15));
  NDT_STORE_VECTOR(V, row(1), __builtin_shufflevector(u1, u5, 0, 1, 2, 3, 8, 9, 10, 11));
  NDT_STORE_VECTOR(V, row(5), __builtin_shufflevector(u1, u5, 4, 5, 6, 7, 12, 13, 14, 15));
  NDT_STORE_VECTOR(V, row(2), __builtin_shufflevector(u2, u6, 0, 1, 2, 3, 8, 9, 10, 11));
  NDT_STORE_VECTOR(V, row(6), __builtin_shufflevector(u2, u6, 4, 5, 6, 7, 12, 13, 14, 15));
  NDT_STORE_VECTOR(V, row(3), __builtin_shufflevector(u3, u7, 0, 1, 2, 3, 8, 9, 10, 11));
  NDT_STORE_VECTOR(V, row(7), __builtin_shufflevector(u3, u7, 4, 5, 6, 7, 12, 13, 14, 15));
}

// Eight columns whose windows start S source samples apart (S = 1: equal
// size, S = 2: halving): column c's tap i is sample S c + i of the group, so
// a window of 8 S sample vectors that moves on by S per S taps holds every
// sample the columns need, and each is loaded once instead of once per
// column. X[(j + S R) % 8S] is window position j at rotation R; the
// rotations unroll so that the window stays in registers. Each lane runs the
// chain of the scalar sum from 0.0 in tap order.
template <int S, int R>
[[gnu::always_inline]] inline bool slideStep(F64x8 (&a)[8], F64x8 (&X)[8 * S], const double* w, const double* x,
                                             int& i, int taps) {
#pragma GCC unroll 2
  for (int e = 0; e < S; ++e) {
    if (i + e == taps) return false;
    const double* wi = w + std::size_t(i + e) * 8;
#pragma GCC unroll 8
    for (int c = 0; c < 8; ++c) a[c] += wi[c] * X[(S * c + e + S * R) % (8 * S)];
  }
  i += S;
  if (i >= taps) return false;
  // The S oldest positions take the next samples; the buffer holds two vectors past the span.
#pragma GCC unroll 2
  for (int e = 0; e < S; ++e)
    X[(S * R + e) % (8 * S)] = NDT_LOAD_VECTOR(F64x8, x + std::size_t(i + 7 * S + e) * kLanes);
  return true;
}
template <int S>
[[gnu::always_inline]] inline void slideEight(const double* x, const double* w, int taps, F64x8 (&a)[8]) {
  F64x8 X[8 * S];
#pragma GCC unroll 16
  for (int j = 0; j < 8 * S; ++j) X[j] = NDT_LOAD_VECTOR(F64x8, x + std::size_t(j) * kLanes);
#pragma GCC unroll 8
  for (int c = 0; c < 8; ++c) a[c] = F64x8{};
  int i = 0;
  while (slideStep<S, 0>(a, X, w, x, i, taps) && slideStep<S, 1>(a, X, w, x, i, taps) &&
         slideStep<S, 2>(a, X, w, x, i, taps) && slideStep<S, 3>(a, X, w, x, i, taps) &&
         slideStep<S, 4>(a, X, w, x, i, taps) && slideStep<S, 5>(a, X, w, x, i, taps) &&
         slideStep<S, 6>(a, X, w, x, i, taps) && slideStep<S, 7>(a, X, w, x, i, taps)) {
  }
}

// S when the eight columns from base[0] start their windows S = 1 or 2
// samples apart, else 0.
inline int evenStep(const int* base) {
  const int step = base[1] - base[0];
  if (step != 1 && step != 2) return 0;
  for (int c = 2; c < 8; ++c)
    if (base[c] - base[c - 1] != step) return 0;
  return step;
}

// groups[g] holds the weights of the whole group g of eight columns side by
// side: groups[g][i * 8 + c] is tap i (the normaliser at i = taps) of column
// 8g + c; weights, stride apart, those of the columns after the whole groups.
FENNICK_VECTOR_CLONES void smoothEight(
    const double* __restrict rows8, const double* __restrict weights, const double* const* __restrict groups,
    int stride, int taps, const int* base, int nb, double* __restrict out, std::size_t outStride) {
  auto store = [&](int b, const F64x8& acc) {
    for (int r = 0; r < kLanes; ++r) out[std::size_t(r) * outStride + std::size_t(b)] = acc[r];
  };
  int b = 0;
  // Eight columns at a time keep eight independent sums in flight, and their
  // 8 x 8 block is turned round in registers so that each row gets one store.
  using V = F64x8;
  for (; b + 8 <= nb; b += 8) {
    // One pointer walks the weights and one the samples, the other columns'
    // samples at fixed distances from it: few enough registers that nothing
    // is spilled in the loop.
    const double* w = groups[b / 8];
    const double* in = rows8 + std::size_t(base[b]) * kLanes;
    if (const int step = evenStep(base + b)) {
      V acc[8];
      if (step == 2)
        slideEight<2>(in, w, taps, acc);
      else
        slideEight<1>(in, w, taps, acc);
      const double* norm = w + std::size_t(taps) * 8;
#pragma GCC unroll 8
      for (int c = 0; c < 8; ++c) acc[c] *= norm[c];
      storeTransposed(acc, out + std::size_t(b), outStride);
      continue;
    }
    std::ptrdiff_t d[8];
    for (int c = 0; c < 8; ++c) d[c] = std::ptrdiff_t(base[b + c] - base[b]) * kLanes;
    const std::ptrdiff_t d1 = d[1], d2 = d[2], d3 = d[3], d4 = d[4], d5 = d[5], d6 = d[6], d7 = d[7];
    // The first tap starts each sum: 0 + x is x.
    V a0 = w[0] * NDT_LOAD_VECTOR(F64x8, in);
    V a1 = w[1] * NDT_LOAD_VECTOR(F64x8, in + d1);
    V a2 = w[2] * NDT_LOAD_VECTOR(F64x8, in + d2);
    V a3 = w[3] * NDT_LOAD_VECTOR(F64x8, in + d3);
    V a4 = w[4] * NDT_LOAD_VECTOR(F64x8, in + d4);
    V a5 = w[5] * NDT_LOAD_VECTOR(F64x8, in + d5);
    V a6 = w[6] * NDT_LOAD_VECTOR(F64x8, in + d6);
    V a7 = w[7] * NDT_LOAD_VECTOR(F64x8, in + d7);
    for (int i = 1; i < taps; ++i) {
      // The eight weights come in one load and are spread in registers,
      // which leaves the loads to the samples.
      const V wi = NDT_LOAD_VECTOR(V, w + std::size_t(i) * 8);
      const double* x = in + std::size_t(i) * kLanes;
#define NDT_SPREAD(c) __builtin_shufflevector(wi, wi, c, c, c, c, c, c, c, c)
      a0 += NDT_SPREAD(0) * NDT_LOAD_VECTOR(F64x8, x);
      a1 += NDT_SPREAD(1) * NDT_LOAD_VECTOR(F64x8, x + d1);
      a2 += NDT_SPREAD(2) * NDT_LOAD_VECTOR(F64x8, x + d2);
      a3 += NDT_SPREAD(3) * NDT_LOAD_VECTOR(F64x8, x + d3);
      a4 += NDT_SPREAD(4) * NDT_LOAD_VECTOR(F64x8, x + d4);
      a5 += NDT_SPREAD(5) * NDT_LOAD_VECTOR(F64x8, x + d5);
      a6 += NDT_SPREAD(6) * NDT_LOAD_VECTOR(F64x8, x + d6);
      a7 += NDT_SPREAD(7) * NDT_LOAD_VECTOR(F64x8, x + d7);
#undef NDT_SPREAD
    }
    const double* norm = w + std::size_t(taps) * 8;
    a0 *= norm[0];
    a1 *= norm[1];
    a2 *= norm[2];
    a3 *= norm[3];
    a4 *= norm[4];
    a5 *= norm[5];
    a6 *= norm[6];
    a7 *= norm[7];
    // Lane r of column c goes to row r at column b + c: one store a row.
    const V acc[8] = {a0, a1, a2, a3, a4, a5, a6, a7};
    storeTransposed(acc, out + std::size_t(b), outStride);
  }
  const int whole = b;
  for (; b + 4 <= nb; b += 4) {
    const double* w0 = weights + std::size_t(b - whole) * std::size_t(stride);
    const double* w1 = w0 + stride;
    const double* w2 = w1 + stride;
    const double* w3 = w2 + stride;
    const double* i0 = rows8 + std::size_t(base[b]) * kLanes;
    const double* i1 = rows8 + std::size_t(base[b + 1]) * kLanes;
    const double* i2 = rows8 + std::size_t(base[b + 2]) * kLanes;
    const double* i3 = rows8 + std::size_t(base[b + 3]) * kLanes;
    F64x8 a0 = {}, a1 = {}, a2 = {}, a3 = {};
    for (int i = 0; i < taps; ++i) {
      const std::size_t k = std::size_t(i) * kLanes;
      a0 += w0[i] * NDT_LOAD_VECTOR(F64x8, i0 + k);
      a1 += w1[i] * NDT_LOAD_VECTOR(F64x8, i1 + k);
      a2 += w2[i] * NDT_LOAD_VECTOR(F64x8, i2 + k);
      a3 += w3[i] * NDT_LOAD_VECTOR(F64x8, i3 + k);
    }
    store(b, a0 * w0[taps]);
    store(b + 1, a1 * w1[taps]);
    store(b + 2, a2 * w2[taps]);
    store(b + 3, a3 * w3[taps]);
  }
  for (; b < nb; ++b) {
    const double* w = weights + std::size_t(b - whole) * std::size_t(stride);
    const double* in = rows8 + std::size_t(base[b]) * kLanes;
    F64x8 a = {};
    for (int i = 0; i < taps; ++i) a += w[i] * NDT_LOAD_VECTOR(F64x8, in + std::size_t(i) * kLanes);
    store(b, a * w[taps]);
  }
}

using U16x8 = std::uint16_t __attribute__((vector_size(16)));
using I32x8 = std::int32_t __attribute__((vector_size(32)));

// rows8[k * 8 + r] = in[r][k] for k < span: eight 16-bit rows side by side as
// doubles, eight columns at a time through a transpose in registers.
FENNICK_VECTOR_CLONES void interleaveEight(
    const std::uint16_t* const* __restrict in, std::size_t span, double* __restrict rows8) {
  const std::uint16_t* row[8];
  for (int r = 0; r < 8; ++r) row[r] = in[r];
  if (span < 8) {
    for (std::size_t k = 0; k < span; ++k)
      for (std::size_t r = 0; r < std::size_t(kLanes); ++r) rows8[k * kLanes + r] = double(row[r][k]);
    return;
  }
  // The last eight columns overlap the ones before them: the same values land twice.
  for (std::size_t k0 = 0; k0 < span; k0 += 8) {
    const std::size_t k = std::min(k0, span - 8);
#define NDT_LOAD(r) NDT_LOAD_VECTOR(U16x8, row[r] + k)
    const U16x8 v0 = NDT_LOAD(0), v1 = NDT_LOAD(1), v2 = NDT_LOAD(2), v3 = NDT_LOAD(3);
    const U16x8 v4 = NDT_LOAD(4), v5 = NDT_LOAD(5), v6 = NDT_LOAD(6), v7 = NDT_LOAD(7);
#undef NDT_LOAD
    // Each row widened to doubles, then the block turned round: one vector a column.
#define NDT_WIDEN(v) __builtin_convertvector(__builtin_convertvector(v, I32x8), F64x8)
    const F64x8 wide[8] = {NDT_WIDEN(v0), NDT_WIDEN(v1), NDT_WIDEN(v2), NDT_WIDEN(v3),
                           NDT_WIDEN(v4), NDT_WIDEN(v5), NDT_WIDEN(v6), NDT_WIDEN(v7)};
#undef NDT_WIDEN
    storeTransposed(wide, rows8 + k * kLanes, kLanes);
  }
}

// out[b] = the rounded, limited sample of the sum over k of w[k] x
// lines[k][b], lines in order, then times norm where one is given: the chain
// of the scalar interpolation, rounded as toSample rounds.
using U8x8 = std::uint8_t __attribute__((vector_size(8)));
template <typename T>
[[gnu::always_inline]] inline void storeSamples(const F64x8& a, double top, T* __restrict out) {
  using TV = std::conditional_t<std::is_same_v<T, std::uint8_t>, U8x8, U16x8>;
  // For values limited to 0 .. top, floor(a + 0.5) is the truncation of
  // the limited a + 0.5; what is not a number goes to 0 as well.
  F64x8 r = a + 0.5;
  r = r > 0.0 ? r : F64x8{};
  r = r < top ? r : top;
  NDT_STORE_VECTOR(TV, out, __builtin_convertvector(__builtin_convertvector(r, I32x8), TV));
}
// The interpolations' fixed line counts: weights and line pointers stay in
// registers over the whole row.
template <int N, typename T>
[[gnu::always_inline]] inline int combineFixed(const double* const* lines, const double* w, int nb, double top,
                                               T* __restrict out) {
  const double* l[N];
  double wk[N];
#pragma GCC unroll 5
  for (int k = 0; k < N; ++k) {
    l[k] = lines[k];
    wk[k] = w[k];
  }
  int b = 0;
  for (; b + kLanes <= nb; b += kLanes) {
    F64x8 a = {};
#pragma GCC unroll 5
    for (int k = 0; k < N; ++k) a += wk[k] * NDT_LOAD_VECTOR(F64x8, l[k] + b);
    storeSamples(a, top, out + b);
  }
  return b;
}
template <typename T>
[[gnu::always_inline]] inline void combineInto(const double* const* lines, const double* w, int count, int nb,
                                               const double* norm, unsigned maxValue, T* __restrict out) {
  const double top = double(maxValue);
  int b = 0;
  if (!norm && count == 5) {
    b = combineFixed<5>(lines, w, nb, top, out);
  } else if (!norm && count == 2) {
    b = combineFixed<2>(lines, w, nb, top, out);
  } else {
    for (; b + kLanes <= nb; b += kLanes) {
      F64x8 a = {};
      for (int k = 0; k < count; ++k) a += w[k] * NDT_LOAD_VECTOR(F64x8, lines[k] + b);
      if (norm) a *= *norm;
      storeSamples(a, top, out + b);
    }
  }
  for (; b < nb; ++b) {
    double a = 0.0;
    for (int k = 0; k < count; ++k) a += w[k] * lines[k][b];
    if (norm) a *= *norm;
    out[b] = T(toSample(a, maxValue));
  }
}
FENNICK_VECTOR_CLONES void combineLines(const double* const* lines, const double* w, int count, int nb,
                                        const double* norm, unsigned maxValue, std::uint8_t* out) {
  combineInto(lines, w, count, nb, norm, maxValue, out);
}
FENNICK_VECTOR_CLONES void combineLines(const double* const* lines, const double* w, int count, int nb,
                                        const double* norm, unsigned maxValue, std::uint16_t* out) {
  combineInto(lines, w, count, nb, norm, maxValue, out);
}

template <typename T>
class Image {
 public:
  Image(const void* p, int width, int height)
      : p_(static_cast<const T*>(p)), width_(width), height_(height) {}
  const T* row(int r) const { return p_ + std::size_t(r) * std::size_t(width_); }
  unsigned at(int r, int c) const { return row(clampIndex(r, height_))[clampIndex(c, width_)]; }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  const T* p_;
  int width_, height_;
};

template <typename T>
T* targetRow(const Job& job, int r) {
  return static_cast<T*>(job.dst) + std::size_t(r) * std::size_t(job.dstWidth);
}

// Samples whose windows do not fit copy a border sample of the source
// unfiltered; target rows rowBegin .. rowEnd - 1.
template <typename T>
void fillBorders(const Job& job, const Image<T>& src, const std::vector<Place>& xs,
                 const std::vector<Place>& ys, unsigned maxValue, int rowBegin, int rowEnd) {
  // The columns where the window fits are one run: rows that fit skip it.
  const auto firstFit = std::find_if(xs.begin(), xs.end(), [](const Place& p) { return p.fits; });
  const int fitBegin = int(firstFit - xs.begin());
  const int fitEnd = int(std::find_if(firstFit, xs.end(), [](const Place& p) { return !p.fits; }) - xs.begin());
  for (int r = rowBegin; r < rowEnd; ++r) {
    const Place& y = ys[std::size_t(r)];
    T* out = targetRow<T>(job, r);
    for (int c = 0; c < job.dstWidth; ++c) {
      if (y.fits && c == fitBegin) c = fitEnd;
      if (c >= job.dstWidth) break;
      const Place& x = xs[std::size_t(c)];
      if (x.fits && y.fits) continue;
      unsigned v;
      if (!x.fits)
        v = src.at(y.trunc, x.lowOut ? 0 : src.width() - 1);
      else
        v = src.at(y.lowOut ? 0 : src.height() - 1, x.trunc);
      out[c] = T(std::min(v, maxValue));
    }
  }
}

// Border zones go after the filtered samples, in pieces small enough to fill
// the threads' last gaps.
inline std::size_t borderPiecesFor(const Job& job, unsigned threads) {
  return std::min<std::size_t>(std::size_t(threads), std::size_t(job.dstHeight));
}

// Piece piece of pieces of the target rows' border zones.
template <typename T>
void fillBorderPiece(const Job& job, const Image<T>& src, const std::vector<Place>& xs,
                     const std::vector<Place>& ys, unsigned maxValue, std::size_t piece, std::size_t pieces) {
  const std::size_t rows = std::size_t(job.dstHeight);
  fillBorders(job, src, xs, ys, maxValue, int(rows * piece / pieces), int(rows * (piece + 1) / pieces));
}

// Directions 0 and 2: smoothing along x at the target columns, then per
// target row either the interpolation over the neighbouring source rows
// (direction 0) or the smoothing along y (direction 2).
template <typename T>
class AlongX {
 public:
  AlongX(const Job& job, const Image<T>& src, const std::vector<Place>& xs,
         const std::vector<Place>& ys, const Limits& lim)
      : job_(job), src_(src), xs_(xs), ys_(ys), lim_(lim) {}

  // Work storage in bytes, before anything is allocated; only the positions
  // where the windows fit need any.
  double workBytes(unsigned threads) const {
    const double nc = double(countFits(xs_)), nr = double(countFits(ys_));
    if (nc == 0 || nr == 0) return 0;
    const double lines = job_.direction == 2 ? 2.0 * job_.hH + 1.0 : 5.0;
    const double neededRows = double(ringRows());
    double b = (nc + nr) * 4.0;                           // fitting index lists
    b += 2.0 * nc * (2.0 * job_.hV + 2.0) * 8.0;          // x weights, by column and by group
    b += double(job_.srcHeight) * 4.0;                    // row slots
    b += nr * (lines + 1.0) * 8.0;                        // y weights
    b += std::max(nc, nr) * 64.0 + nc / 8.0 * 160.0;     // fractions and groups already weighted
    // Per thread: a ring of smoothed values and flags, eight converted source rows.
    b += double(threads) * (neededRows * (4.0 + kBlock * 9.0) + double(job_.srcWidth) * 8.0 * kLanes);
    return b;
  }

  void prepare() {
    fc_ = fittingIndices(xs_);
    fr_ = fittingIndices(ys_);
    if (fc_.empty() || fr_.empty()) return;
    const int h = job_.hV;
    stride_ = 2 * h + 2;
    // The weights of each whole group of eight columns side by side, one
    // table for groups of the same fractions: at whole ratios one for all,
    // so that no table is made and stored per column.
    const WeightSets sets = weightSets(xs_, fc_, h, job_.gaussian);
    const std::size_t groups = fc_.size() / 8, stride = sets.stride;
    std::map<std::array<std::size_t, 8>, std::size_t> tableOf;
    groupTable_.resize(groups);
    for (std::size_t g = 0; g < groups; ++g) {
      std::array<std::size_t, 8> key;
      for (std::size_t c = 0; c < 8; ++c) key[c] = sets.of[g * 8 + c];
      const auto [it, fresh] = tableOf.try_emplace(key, tableOf.size());
      groupTable_[g] = it->second;
      if (!fresh) continue;
      xw8_.resize(xw8_.size() + stride * 8);
      double* table = &xw8_[it->second * stride * 8];
      for (std::size_t c = 0; c < 8; ++c)
        for (std::size_t i = 0; i < stride; ++i) table[i * 8 + c] = sets[g * 8 + c][i];
    }
    for (std::size_t j = groups * 8; j < fc_.size(); ++j) xwTail_.insert(xwTail_.end(), sets[j], sets[j] + stride);

    // The lines each fitting target row combines.
    if (job_.direction == 2) {
      lineCount_ = 2 * job_.hH + 1;
      for (int k = 0; k < lineCount_; ++k) lineOffset_.push_back(k - job_.hH);
      yStride_ = 2 * job_.hH + 2;
    } else {
      const Interp in = interpOffsets(job_.linear);
      lineCount_ = in.count;
      lineOffset_.assign(in.offset, in.offset + in.count);
      yStride_ = in.count;
    }
    yw_.resize(fr_.size() * std::size_t(yStride_));
    slot_.assign(std::size_t(job_.srcHeight), -1);
    if (job_.direction == 2) weightsPerPosition(ys_, fr_, job_.hH, job_.gaussian, yw_.data(), std::size_t(yStride_));
    for (std::size_t q = 0; q < fr_.size(); ++q) {
      const Place& y = ys_[std::size_t(fr_[q])];
      if (job_.direction != 2)
        interpWeights(interpOffsets(job_.linear), job_.linear, y.f, &yw_[q * std::size_t(yStride_)]);
      for (int off : lineOffset_) slot_[std::size_t(clampIndex(y.n + off, job_.srcHeight))] = 0;
    }
    for (int row = 0; row < job_.srcHeight; ++row)
      if (slot_[std::size_t(row)] == 0) {
        slot_[std::size_t(row)] = int(rows_.size());
        rows_.push_back(row);
      }
    // Lines rise with the target row, so its last line has its highest slot.
    for (const int r : fr_) {
      const int n = ys_[std::size_t(r)].n;
      int last = 0;
      for (int off : lineOffset_) last = std::max(last, slot_[std::size_t(clampIndex(n + off, job_.srcHeight))]);
      lastSlot_.push_back(last);
    }
  }

  // Tiles of target columns and target rows are independent, and so are the
  // border zones: all are handed out to the threads one at a time, each
  // thread with its own scratch.
  void run(unsigned threads) {
    std::size_t colBlocks = 0, bands = 0;
    if (!fc_.empty() && !fr_.empty()) {
      // Blocks as wide as they may be, of even widths; narrower where that gives every thread one.
      colBlocks = std::max((fc_.size() + kBlock - 1) / kBlock, std::min<std::size_t>(threads, (fc_.size() + 7) / 8));
      block_ = ((fc_.size() + colBlocks - 1) / colBlocks + 7) / 8 * 8;
      colBlocks = (fc_.size() + block_ - 1) / block_;
      // Bands of target rows make the tiles small enough for the threads to
      // even out; each band smooths the lines it shares with the next again,
      // so a band keeps many times that many rows.
      const std::size_t wanted = threads > 1 ? std::size_t(threads) * kTilesPerThread : 1;
      const std::size_t mostBands = std::max<std::size_t>(1, fr_.size() / (4 * ringRows()));
      bands = std::min((wanted + colBlocks - 1) / colBlocks, mostBands);
    }
    const std::size_t tiles = colBlocks * bands;
    const std::size_t borderPieces = borderPiecesFor(job_, threads);

    std::size_t span = 0;
    if (tiles > 0)
      for (std::size_t j0 = 0; j0 < fc_.size(); j0 += block_) span = std::max(span, blockSpan(j0, blockWidth(j0)));
    auto setUp = [&](Scratch& sc) {
      if (tiles == 0) return;
      // Rows come in whole groups of eight; the last group's spare lanes are never read.
      sc.smoothed.resize(ringRows() * block_);
      if (job_.detectChars) sc.fired.resize(ringRows() * block_);
      // Two vectors past the span: the sliding window may load them, never uses them.
      sc.rows8.resize((span + 2) * kLanes);
      sc.lineSums.resize(std::size_t(lineCount_));
      sc.lineFlags.resize(std::size_t(lineCount_));
    };
    runWithScratch<Scratch>(threads, tiles + borderPieces, setUp, [&](std::size_t task, Scratch& sc) {
      if (task < tiles) {
        // Neighbouring tasks take neighbouring blocks of one band.
        const std::size_t band = task / colBlocks, j0 = (task % colBlocks) * block_;
        smoothBlock(sc, j0, blockWidth(j0), fr_.size() * band / bands, fr_.size() * (band + 1) / bands);
        return;
      }
      fillBorderPiece(job_, src_, xs_, ys_, lim_.maxValue, task - tiles, borderPieces);
    });
  }

 private:
  // Smoothed rows are kept in a ring: a target row is combined in the group
  // of eight that brings its last line, and its lines span at most the
  // interpolation's or the y window's reach, so that many rows and one group
  // more are never overwritten too early. Whole groups keep a group's rows
  // side by side in the ring.
  std::size_t ringRows() const {
    const std::size_t reach = job_.direction == 2 ? 2 * std::size_t(job_.hH) + 1 : 5;
    return std::min((reach + kLanes - 1) / kLanes * kLanes, std::size_t(job_.srcHeight) + kLanes) + kLanes;
  }

  struct Scratch {
    AlignedVector<double> smoothed, rows8;
    std::vector<unsigned char> fired;
    std::vector<const double*> lineSums;
    std::vector<const unsigned char*> lineFlags;
  };

  int blockWidth(std::size_t j0) const { return int(std::min(block_, fc_.size() - j0)); }

  // Source samples the block of target columns from j0 reads, from the first one.
  std::size_t blockSpan(std::size_t j0, int nb, int* first = nullptr, int* base = nullptr) const {
    const int h = job_.hV;
    int lo = std::numeric_limits<int>::max(), hi = 0;
    for (int b = 0; b < nb; ++b) {
      const int start = xs_[std::size_t(fc_[j0 + std::size_t(b)])].n - h;
      if (base) base[b] = start;
      lo = std::min(lo, start);
      hi = std::max(hi, start + 2 * h);
    }
    if (base)
      for (int b = 0; b < nb; ++b) base[b] -= lo;
    if (first) *first = lo;
    return std::size_t(hi - lo + 1);
  }

  // The ring place of a slot, for a band whose first line has slot from.
  std::size_t ringPlace(std::size_t slot, std::size_t from) const { return (slot - from) % ringRows(); }

  // Target columns fc_[j0 .. j0 + nb - 1] of the target rows fr_[q0 .. q1 - 1].
  void smoothBlock(Scratch& sc, std::size_t j0, int nb, std::size_t q0, std::size_t q1) {
    if (q0 >= q1) return;
    const int h = job_.hV, taps = 2 * h + 1;
    int lo = 0;
    int base[kBlock];
    const std::size_t span = blockSpan(j0, nb, &lo, base);
    // Blocks start at whole groups; only the last has columns after them.
    const double* groups[kBlock / 8];
    for (int g = 0; g < nb / 8; ++g) groups[g] = &xw8_[groupTable_[j0 / 8 + std::size_t(g)] * std::size_t(stride_) * 8];
    double* rows8 = sc.rows8.data();

    // The band's lines: lines rise with the target row, the lowest offset comes first.
    const std::size_t from = std::size_t(slot_[std::size_t(clampIndex(ys_[std::size_t(fr_[q0])].n + lineOffset_[0],
                                                                      job_.srcHeight))]);
    const std::size_t to = std::size_t(lastSlot_[q1 - 1]) + 1;
    std::size_t q = q0;  // next target row to combine
    for (std::size_t s0 = from; s0 < to; s0 += kLanes) {
      const std::size_t nr = std::min<std::size_t>(kLanes, to - s0);
      // The spare lanes of the last group repeat its last row.
      const T* in[kLanes];
      for (std::size_t r = 0; r < std::size_t(kLanes); ++r) in[r] = src_.row(rows_[s0 + std::min(r, nr - 1)]) + lo;
      if constexpr (std::is_same_v<T, std::uint16_t>) {
        interleaveEight(in, span, rows8);
      } else {
        for (std::size_t k = 0; k < span; ++k)
          for (std::size_t r = 0; r < std::size_t(kLanes); ++r) rows8[k * kLanes + r] = double(in[r][k]);
      }
      smoothEight(rows8, xwTail_.data(), groups, stride_, taps, base, nb, &sc.smoothed[ringPlace(s0, from) * block_], block_);
      if (job_.detectChars) {
        for (std::size_t r = 0; r < nr; ++r) {
          unsigned char* fired = &sc.fired[ringPlace(s0 + r, from) * block_];
          for (int b = 0; b < nb; ++b) {
            const double* v = rows8 + std::size_t(base[b]) * kLanes + r;
            const double centre = v[std::size_t(h) * kLanes];
            double least = v[0];
            for (int i = 1; i < taps; ++i) least = std::min(least, v[std::size_t(i) * kLanes]);
            fired[b] = centre > lim_.high && centre - least > lim_.low;
          }
        }
      }
      // Target rows whose lines are all smoothed are combined while those are still in the cache.
      std::size_t qEnd = q;
      while (qEnd < q1 && std::size_t(lastSlot_[qEnd]) < s0 + nr) ++qEnd;
      if (qEnd > q) combineBlock(sc, j0, nb, q, qEnd, from);
      q = qEnd;
    }
  }

  // Target rows fr_[q0 .. q1 - 1].
  void combineBlock(Scratch& sc, std::size_t j0, int nb, std::size_t q0, std::size_t q1, std::size_t from) {
    std::vector<const double*>& sums = sc.lineSums;
    std::vector<const unsigned char*>& flags = sc.lineFlags;
    for (std::size_t q = q0; q < q1; ++q) {
      const int r = fr_[q];
      const Place& y = ys_[std::size_t(r)];
      const double* w = &yw_[q * std::size_t(yStride_)];
      for (int k = 0; k < lineCount_; ++k) {
        const int s = slot_[std::size_t(clampIndex(y.n + lineOffset_[std::size_t(k)], job_.srcHeight))];
        sums[std::size_t(k)] = &sc.smoothed[ringPlace(std::size_t(s), from) * block_];
        if (job_.detectChars) flags[std::size_t(k)] = &sc.fired[ringPlace(std::size_t(s), from) * block_];
      }
      T samples[kBlock];
      combineLines(sums.data(), w, lineCount_, nb, job_.direction == 2 ? &w[lineCount_] : nullptr, lim_.maxValue,
                   samples);
      T* out = targetRow<T>(job_, r);
      if (!job_.detectChars) {
        // The fitting columns are one run.
        std::memcpy(out + fc_[j0], samples, std::size_t(nb) * sizeof(T));
        continue;
      }
      for (int b = 0; b < nb; ++b) {
        const int c = fc_[j0 + std::size_t(b)];
        if (job_.detectChars && fires(sc, y.n, xs_[std::size_t(c)].n, b)) {
          out[c] = T(std::min(src_.at(y.n, xs_[std::size_t(c)].n), lim_.maxValue));
          continue;
        }
        out[c] = T(samples[b]);
      }
    }
  }

  // Protection for one target sample: on any line that took part, and in
  // direction 2 again over the smoothed rows.
  bool fires(const Scratch& sc, int ny, int nx, int b) const {
    for (int k = 0; k < lineCount_; ++k)
      if (sc.lineFlags[std::size_t(k)][b]) return true;
    if (job_.direction != 2) return false;
    const double centre = double(src_.at(ny, nx));
    if (!(centre > lim_.high)) return false;
    double least = sc.lineSums[0][b];
    for (int k = 1; k < lineCount_; ++k) least = std::min(least, sc.lineSums[std::size_t(k)][b]);
    return centre - least > lim_.low;
  }

  const Job& job_;
  const Image<T>& src_;
  const std::vector<Place>& xs_;
  const std::vector<Place>& ys_;
  const Limits& lim_;
  std::vector<int> fc_, fr_;
  int stride_ = 0, yStride_ = 0, lineCount_ = 0;
  std::vector<int> lineOffset_;
  std::vector<double> xwTail_, yw_;  // x weights of the columns after the whole groups, y weights per row
  AlignedVector<double> xw8_;         // x weight tables of whole groups
  std::vector<std::size_t> groupTable_;  // per whole group, its table in xw8_
  std::vector<int> slot_, rows_;  // source row -> slot in the smoothed values, slot -> source row
  std::vector<int> lastSlot_;     // per fitting target row, the highest slot it combines
  std::size_t block_ = kBlock;    // target columns per block
};

// Direction 1: smoothing along y at each target row over the source columns,
// then the interpolation over the neighbouring source columns.
template <typename T>
class AlongY {
 public:
  AlongY(const Job& job, const Image<T>& src, const std::vector<Place>& xs,
         const std::vector<Place>& ys, const Limits& lim)
      : job_(job), src_(src), xs_(xs), ys_(ys), lim_(lim) {}

  double workBytes(unsigned threads) const {
    const double nc = double(countFits(xs_)), nr = double(countFits(ys_));
    if (nc == 0 || nr == 0) return 0;
    double b = (nc + nr) * 4.0;                          // fitting index lists
    b += nc * 5.0 * 8.0;                                 // interpolation weights
    // Per thread: sums, running minima, flags, y weights.
    b += double(threads) * (double(job_.srcWidth) * 17.0 + (2.0 * job_.hH + 2.0) * 8.0);
    return b;
  }

  void prepare() {
    fc_ = fittingIndices(xs_);
    fr_ = fittingIndices(ys_);
    if (fc_.empty() || fr_.empty()) return;
    in_ = interpOffsets(job_.linear);
    xw_.resize(fc_.size() * std::size_t(in_.count));
    lo_ = job_.srcWidth;
    hi_ = 0;
    for (std::size_t j = 0; j < fc_.size(); ++j) {
      const Place& x = xs_[std::size_t(fc_[j])];
      interpWeights(in_, job_.linear, x.f, &xw_[j * std::size_t(in_.count)]);
      for (int k = 0; k < in_.count; ++k) {
        const int col = clampIndex(x.n + in_.offset[k], job_.srcWidth);
        lo_ = std::min(lo_, col);
        hi_ = std::max(hi_, col);
      }
    }
  }

  // Target rows are independent, and so are the border zones: pieces of
  // both are handed out to the threads, each with its own sums.
  void run(unsigned threads) {
    const std::size_t pieces = fc_.empty() ? 0 : std::min(fr_.size(), std::size_t(threads) * kTilesPerThread);
    const std::size_t borderPieces = borderPiecesFor(job_, threads);
    auto setUp = [&](Scratch& sc) {
      if (pieces == 0) return;
      sc.yw.resize(std::size_t(2 * job_.hH + 2));
      sc.sums.resize(std::size_t(job_.srcWidth));
      if (job_.detectChars) {
        sc.least.resize(std::size_t(job_.srcWidth));
        sc.fired.resize(std::size_t(job_.srcWidth));
      }
    };
    runWithScratch<Scratch>(threads, pieces + borderPieces, setUp, [&](std::size_t task, Scratch& sc) {
      if (task < pieces) {
        for (std::size_t q = fr_.size() * task / pieces; q < fr_.size() * (task + 1) / pieces; ++q) smoothRow(sc, fr_[q]);
        return;
      }
      fillBorderPiece(job_, src_, xs_, ys_, lim_.maxValue, task - pieces, borderPieces);
    });
  }

 private:
  struct Scratch {
    std::vector<double> yw, sums, least;
    std::vector<unsigned char> fired;
  };

  void smoothRow(Scratch& sc, int r) {
    const int h = job_.hH, taps = 2 * h + 1;
    const Place& y = ys_[std::size_t(r)];
    smoothingWeights(y.f, h, job_.gaussian, sc.yw.data());
    double* acc = sc.sums.data();
    for (int col = lo_; col <= hi_; ++col) acc[col] = 0.0;
    for (int i = 0; i < taps; ++i) {
      const T* in = src_.row(y.n - h + i);
      const double w = sc.yw[std::size_t(i)];
      for (int col = lo_; col <= hi_; ++col) acc[col] += w * double(in[col]);
    }
    const double norm = sc.yw[std::size_t(taps)];
    for (int col = lo_; col <= hi_; ++col) acc[col] *= norm;
    if (job_.detectChars) markFired(sc, y.n);

    T* out = targetRow<T>(job_, r);
    for (std::size_t j = 0; j < fc_.size(); ++j) {
      const int c = fc_[j];
      const Place& x = xs_[std::size_t(c)];
      const double* w = &xw_[j * std::size_t(in_.count)];
      double v = 0.0;
      bool fired = false;
      for (int k = 0; k < in_.count; ++k) {
        const int col = clampIndex(x.n + in_.offset[k], job_.srcWidth);
        v += w[k] * acc[col];
        if (job_.detectChars) fired = fired || sc.fired[std::size_t(col)];
      }
      out[c] = fired ? T(std::min(src_.at(y.n, x.n), lim_.maxValue)) : T(toSample(v, lim_.maxValue));
    }
  }

  void markFired(Scratch& sc, int ny) {
    std::vector<double>& least = sc.least;
    const int h = job_.hH;
    const T* first = src_.row(ny - h);
    for (int col = lo_; col <= hi_; ++col) least[std::size_t(col)] = double(first[col]);
    for (int i = 1; i <= 2 * h; ++i) {
      const T* in = src_.row(ny - h + i);
      for (int col = lo_; col <= hi_; ++col)
        least[std::size_t(col)] = std::min(least[std::size_t(col)], double(in[col]));
    }
    const T* centre = src_.row(ny);
    for (int col = lo_; col <= hi_; ++col) {
      const double c = double(centre[col]);
      sc.fired[std::size_t(col)] = c > lim_.high && c - least[std::size_t(col)] > lim_.low;
    }
  }

  const Job& job_;
  const Image<T>& src_;
  const std::vector<Place>& xs_;
  const std::vector<Place>& ys_;
  const Limits& lim_;
  Interp in_{};
  std::vector<int> fc_, fr_;
  int lo_ = 0, hi_ = -1;
  std::vector<double> xw_;
};

template <typename T>
int runTyped(const Job& job) {
  const Image<T> src(job.src, job.srcWidth, job.srcHeight);
  const double full = std::ldexp(1.0, job.bits);
  const Limits lim{double(float(0.75 * full)), double(float(0.5 * full)), unsigned(full) - 1u};

  // Which axes are smoothed, which half-width each window test uses, and
  // which axis is the outer one.
  const bool dir1 = job.direction == 1;
  const int hx = dir1 ? job.hH : job.hV;
  const int hy = job.direction == 0 ? job.hV : job.hH;
  const double placeBytes = (double(job.dstWidth) + double(job.dstHeight)) * sizeof(Place);
  if (placeBytes > kWorkLimitBytes) return -1;
  const std::vector<Place> xs =
      placeAxis(job.srcWidth, job.dstWidth, !dir1, hx, dir1 ? kInner : kOuter);
  const std::vector<Place> ys =
      placeAxis(job.srcHeight, job.dstHeight, job.direction != 0, hy, dir1 ? kOuter : kInner);

  if (dir1) {
    AlongY<T> pass(job, src, xs, ys, lim);
    unsigned threads = platform::usableCpus();
    while (threads > 1 && placeBytes + pass.workBytes(threads) > kWorkLimitBytes) threads /= 2;
    if (placeBytes + pass.workBytes(threads) > kWorkLimitBytes) return -1;
    pass.prepare();
    pass.run(threads);
  } else {
    AlongX<T> pass(job, src, xs, ys, lim);
    // More threads only where their scratch fits the limit as well.
    unsigned threads = platform::usableCpus();
    while (threads > 1 && placeBytes + pass.workBytes(threads) > kWorkLimitBytes) threads /= 2;
    if (placeBytes + pass.workBytes(threads) > kWorkLimitBytes) return -1;
    pass.prepare();
    pass.run(threads);
  }
  return 0;
}

}  // namespace

int halfWidth(double width, int pitch, int cap) {
  const double h = std::ceil(width / double(pitch));
  if (!(h >= 2.0)) return 2;
  if (h >= double(cap)) return cap;
  return int(h);
}

int run(const Job& job) {
  try {
    return job.bits > 8 ? runTyped<std::uint16_t>(job) : runTyped<std::uint8_t>(job);
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

}  // namespace fennick
