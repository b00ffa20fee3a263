// Starts the Tivola program, offscreen, on a 7120 x 8640 16-bit film (123 MB)
// and on a 1024 x 1024 16-bit file, in turn, and times each from the start of
// the process to its first painted image pane (a probe loaded into the
// program says when that paint has been handled). Goal: the film at most
// 2.5 x the 1 MP file. Both are TIFF files written by our writer; the program
// gets the caller's environment, an empty settings folder of its own and the
// offscreen platform.
//   bench_viewer_start [work folder] [repetitions]
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/formats/film.h"
#include "bench/support/bench_support.h"
#include "viewer/formats/tiff.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr double kGoal = 2.5;
constexpr int kFilmWidth = 7120, kFilmHeight = 8640;

long long nowNs() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

bool writeFile(const std::string& path, int width, int height) {
  viewer::CImageItem image;
  bench_formats::makeFilm(image, 2, width, height);
  return image.completeLoad() && viewer::formats::WriteTiffFile(image, path);
}

// Milliseconds from the spawn of Tivola on path to its first painted pane;
// negative when it did not get there within a minute.
double startToFirstPaint(const std::string& path, const fs::path& work) {
  const fs::path mark = work / "first-paint";
  std::error_code ec;
  fs::remove(mark, ec);
  std::vector<std::string> env;
  const auto replaced = [](const std::string& s) {
    for (const char* name : {"LD_PRELOAD=", "QT_QPA_PLATFORM=", "NDT_CONFIG_DIR=", "NDT_FIRST_PAINT_FILE="})
      if (s.rfind(name, 0) == 0) return true;
    return false;
  };
  for (char** e = environ; *e; ++e)
    if (!replaced(*e)) env.emplace_back(*e);
  env.push_back(std::string("LD_PRELOAD=") + NDT_FIRST_PAINT_PROBE);
  env.push_back("QT_QPA_PLATFORM=offscreen");
  env.push_back("NDT_CONFIG_DIR=" + (work / "config").string());
  env.push_back("NDT_FIRST_PAINT_FILE=" + mark.string());
  std::vector<char*> envp;
  for (std::string& s : env) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::string program = NDT_TIVOLA_PROGRAM, file = path;
  char* argv[] = {program.data(), file.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // The offscreen platform says at every window that it cannot pass size hints on.
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const long long start = nowNs();
  const int failed = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (failed) return -1;
  int status = 0;
  for (int waited = 0; ::waitpid(pid, &status, WNOHANG) == 0; waited += 10) {
    if (waited > 60000) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    ::usleep(10000);
  }
  std::ifstream in(mark);
  long long painted = 0;
  if (!(in >> painted) || painted <= start) return -1;
  return double(painted - start) * 1e-6;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? -1 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  // No allocator setting of our own: the program runs in the caller's environment, as a user starts it.
  const fs::path work = argc > 1 && argv[1][0]
                            ? fs::path(argv[1])
                            : fs::temp_directory_path() / ("bench_viewer_start-" + std::to_string(::getpid()));
  const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
  fs::create_directories(work / "config");
  const std::string film = (work / "film.tif").string(), small = (work / "small.tif").string();
  if (!writeFile(film, kFilmWidth, kFilmHeight) || !writeFile(small, 1024, 1024)) {
    std::fprintf(stderr, "could not write the test files in %s\n", work.string().c_str());
    return 1;
  }
  const double limit = bench::warmMemcpyMs(std::size_t(kFilmWidth) * kFilmHeight * 2, reps);
  // In turn, so that a busy moment of the shared machine falls on both alike.
  std::vector<double> filmMs, smallMs;
  for (int i = 0; i < reps; ++i) {
    filmMs.push_back(startToFirstPaint(film, work));
    smallMs.push_back(startToFirstPaint(small, work));
    if (filmMs.back() < 0 || smallMs.back() < 0) {
      std::fprintf(stderr, "Tivola did not paint a pane within a minute (%s)\n", NDT_TIVOLA_PROGRAM);
      return 1;
    }
  }
  const double filmBest = *std::min_element(filmMs.begin(), filmMs.end());
  const double smallBest = *std::min_element(smallMs.begin(), smallMs.end());
  bench::printTable("Tivola from its start to the first painted pane, offscreen, best of " + std::to_string(reps) +
                        "; ours: the " + std::to_string(kFilmWidth) + " x " + std::to_string(kFilmHeight) +
                        " 16-bit film; peer: the same program on a 1024 x 1024 16-bit file; limit: warm memcpy of "
                        "the film's pixels",
                    {{"start to first pane, film TIFF", filmBest, smallBest, limit,
                      "Tivola on the 1 MP TIFF, same run"}});
  std::printf("median: film %.1f ms, 1 MP %.1f ms (%.2f)\n", median(filmMs), median(smallMs),
              median(filmMs) / median(smallMs));
  const bool met = filmBest / smallBest <= kGoal;
  std::printf("goal: film / 1 MP at most %.1f: %s\n", kGoal, met ? "met" : "NOT met");
  std::error_code ec;
  fs::remove_all(work, ec);
  return met ? 0 : 1;
}
