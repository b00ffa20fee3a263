#include "bench/support/bench_support.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

namespace bench {

void sameAllocator(char** argv) {
  static const char kMarker[] = "NDT_BENCH_ALLOCATOR";
  if (std::getenv(kMarker)) return;
  std::string tunables = "glibc.malloc.hugetlb=1";
  if (const char* old = std::getenv("GLIBC_TUNABLES"); old && *old) tunables = std::string(old) + ":" + tunables;
  ::setenv("GLIBC_TUNABLES", tunables.c_str(), 1);
  ::setenv(kMarker, "glibc.malloc.hugetlb=1", 1);
  ::execv("/proc/self/exe", argv);
  std::perror("cannot run the benchmark again under the huge-page tunable");
  std::exit(1);
}

bool syncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool ok = fd >= 0 && ::fsync(fd) == 0;
  return fd >= 0 && ::close(fd) == 0 && ok;
}

bool makeDurable(const std::string& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  const bool ok = fd >= 0 && ::fsync(fd) == 0;
  if (fd < 0 || ::close(fd) != 0 || !ok) return false;
  const std::string folder = std::filesystem::path(file).parent_path().string();
  return syncFolder(folder.empty() ? "." : folder);
}

double processCpuMs() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
}

double warmMemcpyMs(std::size_t bytes, int runs, unsigned threads) {
  std::unique_ptr<char[]> from(new char[bytes]), to(new char[bytes]);
  std::memset(from.get(), 0x5A, bytes);
  std::memset(to.get(), 0, bytes);
  threads = std::max(1u, threads);
  const auto copyPart = [&](unsigned i) {
    const std::size_t a = bytes / threads * i, b = i + 1 == threads ? bytes : bytes / threads * (i + 1);
    std::memcpy(to.get() + a, from.get() + a, b - a);
  };
  return bestMs(runs, [&] {
    // Threads are started inside the timed copy, as the moire filter starts
    // its own; for the CR corrections, which keep theirs, this limit is
    // the start of a few threads too generous.
    std::vector<std::thread> helpers;
    for (unsigned i = 1; i < threads; ++i) helpers.emplace_back(copyPart, i);
    copyPart(0);
    for (std::thread& t : helpers) t.join();
    asm volatile("" : : "r"(to.get()) : "memory");  // the copy must happen
    return true;
  });
}

namespace {

using F32x16 = float __attribute__((vector_size(64)));

// Eight independent chains, so the loop waits on throughput, not latency.
template <class Vec>
float multiplyAdds(long rounds) {
  Vec a[8];
  for (int k = 0; k < 8; ++k)
    for (int l = 0; l < int(sizeof(Vec) / sizeof(float)); ++l) a[k][l] = 1.0f + float(k);
  Vec m, c;
  for (int l = 0; l < int(sizeof(Vec) / sizeof(float)); ++l) m[l] = 1.0000001f, c[l] = 1e-9f;
  for (long i = 0; i < rounds; ++i)
    for (int k = 0; k < 8; ++k) a[k] = a[k] * m + c;
  float s = 0;
  for (int k = 0; k < 8; ++k) s += a[k][0];
  return s;
}

__attribute__((target("avx512f,fma"))) float wideMultiplyAdds(long rounds) { return multiplyAdds<F32x16>(rounds); }

float someMultiplyAdds(long rounds) {
#if defined(__x86_64__) && defined(__GNUC__)
  if (__builtin_cpu_supports("avx512f")) return wideMultiplyAdds(rounds);
#endif
  return multiplyAdds<F32x16>(rounds);
}

}  // namespace

double vectorScaling(unsigned threads) {
  threads = std::max(1u, threads);
  constexpr long kRounds = 20000000;
  const auto on = [&](unsigned n) {
    std::vector<float> results(n);  // one each, so that no result is dropped
    return bestMs(3, [&] {
      std::vector<std::thread> helpers;
      for (unsigned i = 1; i < n; ++i) helpers.emplace_back([&results, i] { results[i] = someMultiplyAdds(kRounds); });
      results[0] = someMultiplyAdds(kRounds);
      for (std::thread& t : helpers) t.join();
      asm volatile("" : : "r"(results.data()) : "memory");
      return true;
    });
  };
  const double one = on(1);
  return double(threads) * one / on(threads);
}

void printTable(const std::string& title, const std::vector<Row>& rows) {
  std::printf("%s\nallocator: %s for the whole process, ours and peer alike\n", title.c_str(),
              std::getenv("NDT_BENCH_ALLOCATOR") ? std::getenv("NDT_BENCH_ALLOCATOR") : "glibc default");
  std::printf("%-34s %10s %10s %10s %9s %9s  %s\n", "work", "ours ms", "peer ms", "limit ms", "ours/peer",
              "ours/lim", "peer run as");
  auto num = [](double v, const char* fmt) {
    char b[32];
    if (v < 0) return std::string("-");
    std::snprintf(b, sizeof b, fmt, v);
    return std::string(b);
  };
  // Times below 10 ms keep more decimals, so that sub-millisecond work still shows.
  auto ms = [&](double v) { return num(v, v < 1 ? "%.3f" : (v < 10 ? "%.2f" : "%.1f")); };
  for (const Row& r : rows)
    std::printf("%-34s %10s %10s %10s %9s %9s  %s\n", r.what.c_str(), ms(r.ours).c_str(), ms(r.peer).c_str(),
                ms(r.limit).c_str(), num(r.peer > 0 && r.ours >= 0 ? r.ours / r.peer : -1, "%.2f").c_str(),
                num(r.limit > 0 && r.ours >= 0 ? r.ours / r.limit : -1, "%.2f").c_str(),
                r.peerHow.empty() ? "-" : r.peerHow.c_str());
  std::fflush(stdout);
}

void requireEqual(bool equal, const std::string& what) {
  if (equal) return;
  std::fprintf(stderr, "outputs differ: %s\n", what.c_str());
  std::exit(3);
}

}  // namespace bench
