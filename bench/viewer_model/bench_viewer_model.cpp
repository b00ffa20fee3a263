// The image model's per-pixel work on film-sized 16-bit images, on one
// pinned core, both sides in this process on the same pixels:
// - the line profile of a whole-image ROI, horizontal and vertical, against
//   one row-major pass over the same pixels (each row summed), at three sizes
//   so that it shows whether the profile grows with the pixels (goal: at
//   most 1.5 x the pass at every size);
// - an ROI drag on the 7120 x 8640 film: each step the active image's new ROI
//   with its statistics and line profile (goal: 30 steps a second or more);
// - the open's 12-bit check and statistics against the same loop built for
//   this processor (-march=native) (goal: at most 1.5 x).
// The references are in native_loops.cpp; the limit is a warm memcpy.
//   bench_viewer_model [repetitions]
#include <sched.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/formats/film.h"
#include "bench/support/bench_support.h"
#include "bench/viewer_model/native_loops.h"
#include "viewer/image_model.h"

using viewer::CImageItem;
using viewer::Rect;

namespace {

constexpr double kProfileGoal = 1.5, kStatisticsGoal = 1.5, kDragFps = 30;

// The first CPU this process may use, which every row then runs on.
bool pinToOneCpu() {
  cpu_set_t allowed;
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return false;
  for (int c = 0; c < CPU_SETSIZE; ++c)
    if (CPU_ISSET(c, &allowed)) {
      cpu_set_t one;
      CPU_ZERO(&one);
      CPU_SET(c, &one);
      return sched_setaffinity(0, sizeof one, &one) == 0;
    }
  return false;
}

// The profile's definition: the integer mean of each column (or row) of r.
std::vector<int> definedMeans(const CImageItem& image, const Rect& r, bool vertical) {
  const int lines = std::min(10000, vertical ? r.bottom - r.top : r.right - r.left);
  const int across = vertical ? r.right - r.left : r.bottom - r.top;
  std::vector<std::uint64_t> sums(std::size_t(lines), 0);
  const std::size_t w = std::size_t(image.width());
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x) {
      const int i = vertical ? y - r.top : x - r.left;
      if (i < lines) sums[std::size_t(i)] += image.data16()[std::size_t(y) * w + std::size_t(x)];
    }
  std::vector<int> means;
  for (const std::uint64_t s : sums) means.push_back(int(s / std::uint64_t(across)));
  return means;
}

// The definition's means scaled as the profile keeps them (raw values).
std::vector<int> scaled(std::vector<int> means) {
  const auto [mn, mx] = std::minmax_element(means.begin(), means.end());
  const int lo = *mn, span = *mx - *mn;
  for (int& m : means) m = 255 - (span >= 1 ? (m - lo) * 255 / span : m);
  return means;
}

struct ProfileRow {
  bench::Row row;
  double msPerMp;
};

ProfileRow profileAt(int width, int height, bool vertical, int reps) {
  CImageItem film;
  bench_formats::makeFilm(film, 2, width, height);
  film.completeLoad();
  film.profileVertical = vertical;
  const Rect whole{0, 0, width, height};
  film.roi = whole;
  film.computeProfile();
  bench::requireEqual(film.profile.samples == scaled(definedMeans(film, whole, vertical)),
                      "the line profile and the plain means of its columns or rows");
  std::uint64_t keep = 0;
  double ours = 1e300, pass = 1e300;
  for (int i = 0; i < reps; ++i) {  // in turn, so that a busy moment falls on both
    ours = std::min(ours, bench::bestMs(1, [&] {
                      film.computeProfile();
                      return !film.profile.samples.empty();
                    }));
    pass = std::min(pass, bench::bestMs(1, [&] {
                      keep += bench_model::rowPassNative(film.data16(), std::size_t(width), 0, width, 0, height);
                      return true;
                    }));
  }
  asm volatile("" : : "r"(keep));
  const double mp = double(width) * height * 1e-6;
  const double limit = bench::warmMemcpyMs(film.byteCount(), reps);
  char what[64];
  std::snprintf(what, sizeof what, "%s profile %.0f MP", vertical ? "vertical" : "horizontal", mp);
  return {{what, ours, pass, limit, "one row-major pass (row sums), -march=native"}, ours / mp};
}

}  // namespace

int main(int argc, char** argv) {
  bench::sameAllocator(argv);
  const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  if (!pinToOneCpu()) {
    std::fprintf(stderr, "cannot pin the benchmark to one CPU\n");
    return 1;
  }
  std::vector<bench::Row> rows;
  bool met = true;

  // The profile at a quarter, one and two films' worth of pixels.
  std::vector<double> perMp;
  for (const auto& [w, h] : {std::pair{3560, 4320}, {7120, 8640}, {10070, 12220}}) {
    const ProfileRow p = profileAt(w, h, false, reps);
    rows.push_back(p.row);
    perMp.push_back(p.msPerMp);
    met = met && p.row.ours / p.row.peer <= kProfileGoal;
  }
  {
    const ProfileRow p = profileAt(7120, 8640, true, reps);
    rows.push_back(p.row);
    met = met && p.row.ours / p.row.peer <= kProfileGoal;
  }

  CImageItem film;
  bench_formats::makeFilm(film, 2, 7120, 8640);
  const std::size_t w = std::size_t(film.width());

  // The open's statistics (after the read) on this one core, and the same loop built for it.
  bench_model::Counts native;
  double ours = 1e300, peer = 1e300;
  for (int i = 0; i < reps; ++i) {
    ours = std::min(ours, bench::bestMs(1, [&] { return film.completeLoad(); }));
    peer = std::min(peer, bench::bestMs(1, [&] {
                      native = bench_model::countRowsNative(film.data16(), w, 0, film.width(), 0, film.height());
                      return true;
                    }));
  }
  const std::uint64_t n = film.sampleCount();
  bench::requireEqual(native.high < 4096 && film.roiMinimum() == int(native.lo) && film.roiMaximum() == int(native.hi) &&
                          film.roiMean() == int((native.sum + n / 2) / n),
                      "the open's statistics and the loop built for this processor");
  const double filmCopy = bench::warmMemcpyMs(film.byteCount(), reps);
  rows.push_back({"open's 12-bit check and statistics", ours, peer, filmCopy, "the same loop, -march=native"});
  const bool statisticsMet = ours / peer <= kStatisticsGoal;

  // An ROI drag: the marquee grows from a corner to nearly the whole film, as
  // a Rectangle drag does, every step taking the statistics and the profile.
  film.active = 1;
  std::vector<Rect> steps;
  for (int k = 1; k <= 40; ++k) steps.push_back({60, 40, 60 + (7000 * k) / 40, 40 + (8560 * k) / 40});
  double drag = 1e300, dragPass = 1e300;
  std::uint64_t keep = 0;
  for (int i = 0; i < reps; ++i) {
    drag = std::min(drag, bench::bestMs(1, [&] {
                      for (const Rect& r : steps) film.setRoi(r);
                      return !film.profile.samples.empty();
                    }));
    dragPass = std::min(dragPass, bench::bestMs(1, [&] {
                          for (const Rect& r : steps)
                            keep += bench_model::rowPassNative(film.data16(), w, r.left, r.right, r.top, r.bottom);
                          return true;
                        }));
  }
  asm volatile("" : : "r"(keep));
  const double step = drag / double(steps.size());
  rows.push_back({"ROI drag step (statistics, profile)", step, dragPass / double(steps.size()), -1,
                  "one row-major pass over the step's ROI"});
  const bool dragMet = 1000.0 / step >= kDragFps;

  bench::printTable("viewer image model, 16-bit samples, one pinned core, best of " + std::to_string(reps) +
                        "; ours / peer: against a row-major pass or the same loop built for this processor",
                    rows);
  const double growth = perMp.back() / perMp.front();
  std::printf("profile per MP: %.3f, %.3f, %.3f ms (largest / smallest %.2f)\n", perMp[0], perMp[1], perMp[2],
              growth);
  std::printf("goal: profile at most %.1f x one row-major pass at every size: %s\n", kProfileGoal,
              met ? "met" : "NOT met");
  std::printf("goal: open's statistics at most %.1f x the loop built for this processor: %s\n", kStatisticsGoal,
              statisticsMet ? "met" : "NOT met");
  std::printf("goal: ROI drag on the 7120 x 8640 film at %.0f steps a second or more (%.1f): %s\n", kDragFps,
              1000.0 / step, dragMet ? "met" : "NOT met");
  return met && statisticsMet && dragMet ? 0 : 1;
}
