// Smoothing and interpolation kernels of the moire filter. t and s are distances
// in source samples, h the smoothing half-width in samples.
#pragma once

#include <cmath>
#include <numbers>

namespace fennick {

inline double sinc(double u) {
  const double pu = std::numbers::pi * u;
  return std::sin(pu) / pu;
}

inline double lanczos(double t, int h) {
  const double x = 2.0 * t / h;
  if (std::fabs(x) >= 2.0) return 0.0;
  if (x == 0.0) return 1.0;
  return sinc(x) * sinc(x / 2.0);
}

inline double gauss(double t, int h) {
  const double x = 2.0 * t / h;
  if (std::fabs(x) >= 2.0) return 0.0;
  const double k = double(h) * double(h) / (8.0 * std::numbers::ln2);
  return std::exp(-(x * x) / k);
}

// Cubic convolution with a = -1.
inline double cubic(double s) {
  const double a = std::fabs(s);
  if (a <= 1.0) return 1.0 - 2.0 * s * s + a * a * a;
  if (a < 2.0) return 4.0 - 8.0 * a + 5.0 * s * s - a * a * a;
  return 0.0;
}

inline double triangle(double s) {
  const double a = std::fabs(s / 2.0);
  return a < 1.0 ? 1.0 - a : 0.0;
}

}  // namespace fennick
