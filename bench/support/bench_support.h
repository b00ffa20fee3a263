// The rules every benchmark keeps: the whole process under one allocator
// setting, so that our code and the peer get the same kind of memory; best of
// N on both sides; a warm memcpy of the same bytes as the limit; and one table
// with ours, the peer, the limit and the ratio ours / peer (below 1: we win).
#pragma once

#include <chrono>
#include <cstddef>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// Runs the process again, once, with glibc's huge-page tunable set, unless it
// already runs so. Call first thing in main().
void sameAllocator(char** argv);

// CPU time of the whole process so far, all threads, in milliseconds.
double processCpuMs();

// The fastest of runs calls of work, wall clock, and the CPU time all threads
// spent in that run: on a shared machine their ratio tells how many cores the
// run really had.
struct Timing {
  double wallMs = 1e300, cpuMs = 0;
};
template <class Work>
Timing bestTiming(int runs, Work&& work) {
  Timing best;
  for (int i = 0; i < runs; ++i) {
    const double c0 = processCpuMs();
    const auto t0 = std::chrono::steady_clock::now();
    const bool ok = work();
    const auto t1 = std::chrono::steady_clock::now();
    const double cpu = processCpuMs() - c0;
    if (!ok) {
      std::fprintf(stderr, "a benchmark step failed\n");
      std::exit(1);
    }
    const double wall = std::chrono::duration<double, std::milli>(t1 - t0).count();
    if (wall < best.wallMs) best = {wall, cpu};
  }
  return best;
}

// The fastest of runs calls of each of two works, taken in turn, so that a
// busy moment of the machine or of the disk falls on both alike.
template <class First, class Second>
std::pair<double, double> bestInTurn(int runs, First&& first, Second&& second) {
  std::pair<double, double> best{1e300, 1e300};
  for (int i = 0; i < runs; ++i) {
    best.first = std::min(best.first, bestTiming(1, first).wallMs);
    best.second = std::min(best.second, bestTiming(1, second).wallMs);
  }
  return best;
}

// The fastest of runs calls of work, in milliseconds. work returns false on failure, which ends the program.
template <class Work>
double bestMs(int runs, Work&& work) {
  return bestTiming(runs, work).wallMs;
}

// Puts a folder's entries on the disk (fsync of the folder).
bool syncFolder(const std::string& folder);
// Puts a file just written, and its folder's entry, on the disk: what our
// writers do before they rename a finished file over the old one, done to a
// peer's file so that both sides end with the file on the disk.
bool makeDurable(const std::string& file);

// Best of runs copies of bytes between two buffers touched before, the
// bytes split into equal parts over threads (the caller's among them).
double warmMemcpyMs(std::size_t bytes, int runs, unsigned threads = 1);

// How much more vector arithmetic threads do together than one alone: a
// loop of multiply-adds held in registers (AVX-512 where the processor has
// it), the same work on every thread. Frequency and shared units on a busy
// or virtual machine make it fall short of the thread count; it bounds what
// any all-core speed-up of vector code can reach here.
double vectorScaling(unsigned threads);

// Where a figure is missing (no peer for the line), pass a negative value.
struct Row {
  std::string what;
  double ours = -1, peer = -1, limit = -1;
  std::string peerHow;  // how the peer was run
};

// Prints the rows; the ratio column is ours / peer where there is a peer, and
// ours / limit beside it.
void printTable(const std::string& title, const std::vector<Row>& rows);

// Stops the program with a message when the two sides disagree.
void requireEqual(bool equal, const std::string& what);

}  // namespace bench
