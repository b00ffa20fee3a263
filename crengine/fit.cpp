#include "crengine/internal/fit.h"

#include <array>

namespace crengine {
namespace {

constexpr std::array<std::uint32_t, 95> kPrimes = [] {
  std::array<std::uint32_t, 95> primes{};
  std::size_t n = 0;
  for (std::uint32_t c = 2; c < 500; ++c) {
    bool prime = true;
    for (std::uint32_t d = 2; d * d <= c; ++d)
      if (c % d == 0) prime = false;
    if (prime) primes[n++] = c;
  }
  return primes;
}();
static_assert(kPrimes[94] == 499);

std::uint32_t isqrt(std::uint32_t v) {
  std::uint32_t r = 0;
  while ((r + 1) * (r + 1) <= v) ++r;
  return r;
}

}  // namespace

std::pair<std::uint32_t, std::uint32_t> splitFactors(std::uint32_t h) {
  std::uint32_t fallback = h / 10;
  if (fallback % 10 != 0) fallback -= 1;
  if (fallback < 1) fallback = 1;

  // Trial division by the primes below the square root of h itself: a prime
  // factor that is the square root of the remainder (1058 = 2 * 23 * 23) must still
  // be found.
  std::uint32_t factors[64];
  std::size_t count = 0;
  std::uint32_t rest = h;
  std::uint32_t limit = isqrt(h);
  for (std::uint32_t p : kPrimes) {
    if (rest == 1 || p >= limit) break;
    while (rest % p == 0) {
      if (count == 64) return {fallback, 0};
      factors[count++] = p;
      rest /= p;
    }
  }
  if (rest > 1 || count == 0) {
    if (count == 64) return {fallback, 0};
    factors[count++] = rest;
  }
  if (count > 63) return {fallback, 0};
  if (count == 1) return {h <= 500 ? h : fallback, 0};

  std::uint32_t q = 1;
  std::size_t used = 0;
  while (used + 1 < count && q * factors[used] <= 500) q *= factors[used++];
  std::uint32_t r = 1;
  for (std::size_t i = used; i < count; ++i) r *= factors[i];
  if (r > q && r < 500) return {r, q};
  return {q, r};
}

BlockFit fitScanLength(std::uint32_t heightMm, std::uint32_t pitchUm) {
  const std::uint64_t target = std::uint64_t(heightMm) * 1000 / pitchUm;
  for (std::uint32_t h = heightMm; h <= heightMm + 20 && h <= 5000; ++h) {
    auto [a, b] = splitFactors(h);
    for (std::uint32_t n : {a, b}) {
      if (n == 0 || (h > 6 && n < 6) || n > 500) continue;
      std::uint64_t lines = std::uint64_t(h / n) * 1000 / pitchUm;
      if (lines * n >= target && lines >= 20 && lines <= 65535)
        return {h / n * n, n, static_cast<std::uint32_t>(lines)};
    }
  }
  std::uint32_t total = (heightMm + 9) / 10 * 10;
  return {total, 20, static_cast<std::uint32_t>(std::uint64_t(total / 20) * 1000 / pitchUm)};
}

}  // namespace crengine
