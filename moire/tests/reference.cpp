#include "reference.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

namespace moire_test {
namespace {

double sinc(double u) {
  const double pu = std::numbers::pi * u;
  return std::sin(pu) / pu;
}

// The kernels with the same expressions as the plug-in, so that agreement is
// bit for bit and any difference lies in the loops around them.
double kernel(bool gaussian, double t, int h) {
  const double x = 2.0 * t / h;
  if (std::fabs(x) >= 2.0) return 0.0;
  if (gaussian) {
    const double k = double(h) * double(h) / (8.0 * std::numbers::ln2);
    return std::exp(-(x * x) / k);
  }
  if (x == 0.0) return 1.0;
  return sinc(x) * sinc(x / 2.0);
}

double cubic(double s) {
  const double a = std::fabs(s);
  if (a <= 1.0) return 1.0 - 2.0 * s * s + a * a * a;
  if (a < 2.0) return 4.0 - 8.0 * a + 5.0 * s * s - a * a * a;
  return 0.0;
}

double triangle(double s) {
  const double a = std::fabs(s / 2.0);
  return a < 1.0 ? 1.0 - a : 0.0;
}

struct Weights {
  std::vector<double> w;  // 2h + 1 weights, then the normaliser
};

Weights smoothing(bool gaussian, double f, int h) {
  Weights out;
  out.w.resize(std::size_t(2 * h + 2));
  double sum = 0.0;
  for (int i = 0; i <= 2 * h; ++i) {
    out.w[std::size_t(i)] = kernel(gaussian, f - double(i - h), h);
    sum += out.w[std::size_t(i)];
  }
  out.w[std::size_t(2 * h + 1)] = 1.0 / sum;
  return out;
}

struct Pos {
  double pos;
  int n;
  double f;
};

Pos place(int t, int srcSize, int dstSize, bool smoothed) {
  Pos p;
  p.pos = double(t) * double(srcSize) / double(dstSize);
  p.n = int(std::floor(p.pos + 0.5));
  p.f = p.pos - double(p.n);
  if (smoothed && p.f == 0.0) p.f = 0.0001;
  return p;
}

}  // namespace

ReferenceResult referenceFilter(const MoireParams& p, int filterType, int interpType,
                                bool detectChars) {
  ReferenceResult result;
  if (p.src == nullptr || p.dst == nullptr || p.scanPitch == 0) return result;
  if (p.bits < 1 || p.bits > 16 || p.direction < 0 || p.direction > 2) return result;
  if (p.srcWidth <= 0 || p.srcHeight <= 0 || p.dstWidth <= 0 || p.dstHeight <= 0) return result;
  result.rc = 0;
  result.rawMax = -std::numeric_limits<double>::infinity();

  const int W = p.srcWidth, H = p.srcHeight, DW = p.dstWidth, DH = p.dstHeight;
  const bool words = p.bits > 8;
  const bool gaussian = filterType == 1;
  const bool linear = interpType == 1;
  auto sample = [&](int r, int c) -> unsigned {
    r = std::clamp(r, 0, H - 1);
    c = std::clamp(c, 0, W - 1);
    const std::size_t i = std::size_t(r) * std::size_t(W) + std::size_t(c);
    return words ? static_cast<const std::uint16_t*>(p.src)[i]
                 : static_cast<const std::uint8_t*>(p.src)[i];
  };
  const unsigned maxOut = (1u << p.bits) - 1u;
  auto put = [&](int r, int c, unsigned v) {
    v = std::min(v, maxOut);
    const std::size_t i = std::size_t(r) * std::size_t(DW) + std::size_t(c);
    if (words)
      static_cast<std::uint16_t*>(p.dst)[i] = std::uint16_t(v);
    else
      static_cast<std::uint8_t*>(p.dst)[i] = std::uint8_t(v);
  };
  auto putFiltered = [&](int r, int c, double v) {
    result.rawMax = std::max(result.rawMax, v);
    const double rounded = std::floor(v + 0.5);
    if (rounded < 0.0)
      put(r, c, 0);
    else if (rounded >= double(maxOut) + 1.0)
      put(r, c, maxOut);
    else
      put(r, c, unsigned(rounded));
  };

  // Set-up.
  const float high = 0.75f * std::ldexp(1.0f, p.bits);
  const float low = 0.5f * std::ldexp(1.0f, p.bits);
  const int cap = std::max({2, W, H});
  auto halfWidth = [&](double amplitude) {
    const double h = std::ceil(amplitude / double(p.scanPitch));
    if (!(h >= 2.0)) return 2;
    return h >= double(cap) ? cap : int(h);
  };
  const int hV = halfWidth(p.FilterAmplitudeV), hH = halfWidth(p.FilterAmplitudeH);

  auto outerFits = [](double pos, int h, int size) { return pos - h > 1 && pos + h < size - 2; };
  auto innerFits = [](double pos, int h, int size) { return pos - h > 0 && pos + h < size; };

  // Border zones: left and right first, then top and bottom.
  auto border = [&](int r, int c, const Pos& x, const Pos& y, bool xFits, bool xLowOk,
                    bool yLowOk) {
    if (!xFits)
      put(r, c, sample(int(std::floor(y.pos)), xLowOk ? W - 1 : 0));
    else
      put(r, c, sample(yLowOk ? H - 1 : 0, int(std::floor(x.pos))));
  };

  // One smoothing window along a source line; `at(i)` is the i-th sample of the window.
  auto smooth = [&](const Weights& w, int h, unsigned centre, auto at, bool& fired) {
    double acc = 0.0;
    double runningMin = std::numeric_limits<double>::infinity();
    for (int i = 0; i <= 2 * h; ++i) {
      const double s = double(at(i));
      acc += w.w[std::size_t(i)] * s;
      runningMin = std::min(runningMin, s);
      if (detectChars && double(centre) > high && double(centre) - runningMin > low) fired = true;
    }
    return acc * w.w[std::size_t(2 * h + 1)];
  };

  std::vector<int> offsets = linear ? std::vector<int>{-1, 1} : std::vector<int>{-2, -1, 0, 1, 2};
  auto interp = [&](double f, int off) { return linear ? triangle(f - off) : cubic(f - off); };

  if (p.direction == 0 || p.direction == 2) {
    const int hy = p.direction == 0 ? hV : hH;
    std::vector<Weights> rowWeights;
    if (p.direction == 2)
      for (int r = 0; r < DH; ++r) rowWeights.push_back(smoothing(gaussian, place(r, H, DH, true).f, hH));
    std::vector<double> cache(static_cast<std::size_t>(H));
    std::vector<char> cacheFired(static_cast<std::size_t>(H));
    for (int c = 0; c < DW; ++c) {
      const Pos x = place(c, W, DW, true);
      const Weights wx = smoothing(gaussian, x.f, hV);
      std::fill(cache.begin(), cache.end(), 0.0);
      const bool xFits = outerFits(x.pos, hV, W);
      const bool xLowOk = x.pos - hV > 1;
      auto line = [&](int row) {
        row = std::clamp(row, 0, H - 1);
        if (cache[std::size_t(row)] == 0.0) {
          bool fired = false;
          cache[std::size_t(row)] =
              smooth(wx, hV, sample(row, x.n), [&](int i) { return sample(row, x.n - hV + i); }, fired);
          cacheFired[std::size_t(row)] = fired;
        }
        return row;
      };
      for (int r = 0; r < DH; ++r) {
        const Pos y = place(r, H, DH, p.direction == 2);
        const bool yFits = innerFits(y.pos, hy, H);
        if (!(xFits && yFits)) {
          border(r, c, x, y, xFits, xLowOk, y.pos - hy > 0);
          continue;
        }
        bool fired = false;
        double v = 0.0;
        if (p.direction == 0) {
          for (int off : offsets) {
            const int row = line(y.n + off);
            fired = fired || cacheFired[std::size_t(row)];
            v += interp(y.f, off) * cache[std::size_t(row)];
          }
        } else {
          const Weights& wy = rowWeights[std::size_t(r)];
          const unsigned centre = sample(y.n, x.n);
          double runningMin = std::numeric_limits<double>::infinity();
          for (int j = 0; j <= 2 * hH; ++j) {
            const int row = line(y.n - hH + j);
            fired = fired || cacheFired[std::size_t(row)];
            v += wy.w[std::size_t(j)] * cache[std::size_t(row)];
            runningMin = std::min(runningMin, cache[std::size_t(row)]);
            if (detectChars && double(centre) > high && double(centre) - runningMin > low) fired = true;
          }
          v *= wy.w[std::size_t(2 * hH + 1)];
        }
        if (fired)
          put(r, c, sample(y.n, x.n));
        else
          putFiltered(r, c, v);
      }
    }
  } else {
    std::vector<double> cache(static_cast<std::size_t>(W));
    std::vector<char> cacheFired(static_cast<std::size_t>(W));
    for (int r = 0; r < DH; ++r) {
      const Pos y = place(r, H, DH, true);
      const Weights wy = smoothing(gaussian, y.f, hH);
      std::fill(cache.begin(), cache.end(), 0.0);
      const bool yFits = outerFits(y.pos, hH, H);
      const bool yLowOk = y.pos - hH > 1;
      for (int c = 0; c < DW; ++c) {
        const Pos x = place(c, W, DW, false);
        const bool xFits = innerFits(x.pos, hH, W);
        if (!(xFits && yFits)) {
          border(r, c, x, y, xFits, x.pos - hH > 0, yLowOk);
          continue;
        }
        bool fired = false;
        double v = 0.0;
        for (int off : offsets) {
          const int col = std::clamp(x.n + off, 0, W - 1);
          if (cache[std::size_t(col)] == 0.0) {
            bool f = false;
            cache[std::size_t(col)] =
                smooth(wy, hH, sample(y.n, col), [&](int i) { return sample(y.n - hH + i, col); }, f);
            cacheFired[std::size_t(col)] = f;
          }
          fired = fired || cacheFired[std::size_t(col)];
          v += interp(x.f, off) * cache[std::size_t(col)];
        }
        if (fired)
          put(r, c, sample(y.n, x.n));
        else
          putFiltered(r, c, v);
      }
    }
  }
  return result;
}

}  // namespace moire_test
