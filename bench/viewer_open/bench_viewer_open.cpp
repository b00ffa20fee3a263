// Opens a 7300 x 8640 16-bit film scan as TIFF and as DICONDE through the
// viewer's open command and lets libtiff and DCMTK's data library read the
// same files in this process, each into its own memory, whose pixels are then
// compared with ours. Both sides read into fresh memory of the same kind: the
// process runs under glibc's huge-page tunable, so the peers' heap buffers
// get huge pages as our film buffers do. The open does more than a read: type
// detection, the reader with its checks, the 12-bit check and statistics, the
// item with its display defaults and the progress window; its goal is at most
// 1.2 x libtiff's read, pinned to one CPU (the open then reads on one
// thread) and on all the CPUs the process may use (the peers read on one
// thread either way). The DICONDE open is measured against DCMTK for scale.
#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <sched.h>
#include <unistd.h>

#include "bench/formats/film.h"
#include "bench/formats/peers.h"
#include "bench/support/bench_support.h"
#include "platform/cpus.h"
#include "platform/qt/prompt.h"
#include "viewer/app/pipeline.h"
#include "viewer/app/settings.h"
#include "viewer/formats/diconde.h"
#include "viewer/formats/tiff.h"

namespace fs = std::filesystem;
using bench_formats::kFilmHeight;
using bench_formats::kFilmWidth;
using bench_formats::Pixels;
using viewer::CImageItem;

namespace {

constexpr double kGoal = 1.2;
constexpr std::size_t kSamples = std::size_t(kFilmWidth) * kFilmHeight;

// The open command as File Open runs it, display table included; the opened
// item stays in doc for the comparison.
bool openWithViewer(viewer::app::CTivolaDoc& doc, const std::string& path, viewer::app::Settings& settings) {
  if (!viewer::app::openIntoDocument(doc, {path, false}, settings, nullptr) || doc.images.count() != 1) return false;
  CImageItem* item = doc.images.get(0);
  item->lut.maxValue = item->maxValue;
  item->lut.setWindow(item->windowCentre, item->windowWidth, 0);
  return item->width() == kFilmWidth && item->height() == kFilmHeight && item->bytesPerSample() == 2;
}

bool openOnce(const std::string& path, viewer::app::Settings& settings) {
  viewer::app::CTivolaDoc doc;
  return openWithViewer(doc, path, settings);
}

// The offscreen platform says at every progress window that it cannot pass
// size hints on; every other message goes through.
QtMessageHandler g_qtMessages = nullptr;
void quietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text.contains("propagateSizeHints")) return;
  if (g_qtMessages) g_qtMessages(type, context, text);
  else std::fprintf(stderr, "%s\n", qPrintable(text));
}

bool samePixels(const CImageItem& ours, const Pixels<std::uint16_t>& peer) {
  return peer.data && peer.width == ours.width() && peer.height == ours.height() &&
         std::memcmp(ours.data16(), peer.data.get(), kSamples * 2) == 0;
}

// Ours opened path once more and the peer's read of it hold the same pixels.
void requireSameRead(const std::string& path, viewer::app::Settings& settings, bool peerRead,
                     const Pixels<std::uint16_t>& peer, const std::string& what) {
  viewer::app::CTivolaDoc doc;
  bench::requireEqual(openWithViewer(doc, path, settings) && peerRead && samePixels(*doc.images.get(0), peer),
                      what);
}

}  // namespace

int main(int argc, char** argv) {
  bench::sameAllocator(argv);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  g_qtMessages = qInstallMessageHandler(quietOffscreen);
  int qargc = 1;
  char name[] = "bench_viewer_open";
  char* qargv[] = {name, nullptr};
  QApplication app(qargc, qargv);
  platform::qt::ScriptedPrompt answers;  // nothing is asked; any question fails the run

  const fs::path work = argc > 1 && argv[1][0]
                            ? fs::path(argv[1])
                            : fs::temp_directory_path() / ("bench_viewer_open-" + std::to_string(::getpid()));
  const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  fs::create_directories(work);
  const std::string tif = (work / "film.tif").string(), dcm = (work / "film.dcm").string();
  {
    CImageItem film;
    bench_formats::makeFilm(film, 2);
    film.completeLoad();
    if (!viewer::formats::WriteTiffFile(film, tif) || !viewer::formats::WriteDicondeFile(film, dcm, false)) {
      std::fprintf(stderr, "could not write the test files in %s\n", work.string().c_str());
      return 1;
    }
  }
  viewer::app::Settings settings;
  const double limit = bench::warmMemcpyMs(kSamples * 2, reps);

  // Taken in turn, so that a busy moment of the shared machine falls on all
  // four alike; each keeps its best run, whose CPU time tells how many cores
  // ours used. Once pinned to one CPU, once on all the process may use.
  struct Figures {
    bench::Timing tiffOurs, tiffPeer, dcmOurs, dcmPeer;
  };
  const auto measure = [&] {
    Figures f;
    const auto keepBest = [](bench::Timing& best, const bench::Timing& run) {
      if (run.wallMs < best.wallMs) best = run;
    };
    for (int i = 0; i < reps; ++i) {
      keepBest(f.tiffOurs, bench::bestTiming(1, [&] { return openOnce(tif, settings); }));
      keepBest(f.tiffPeer, bench::bestTiming(1, [&] {
                 Pixels<std::uint16_t> back;
                 return bench_formats::tiffRead(tif, back);
               }));
      keepBest(f.dcmOurs, bench::bestTiming(1, [&] { return openOnce(dcm, settings); }));
      keepBest(f.dcmPeer, bench::bestTiming(1, [&] { return bench_formats::dcmtkRead(dcm, nullptr); }));
    }
    return f;
  };
  cpu_set_t all;
  if (sched_getaffinity(0, sizeof all, &all) != 0) {
    std::fprintf(stderr, "cannot read the CPUs this process may use\n");
    return 1;
  }
  const unsigned cpus = platform::usableCpus();
  const Figures every = measure();
  cpu_set_t one;
  CPU_ZERO(&one);
  for (int c = 0; c < CPU_SETSIZE; ++c)
    if (CPU_ISSET(c, &all)) {
      CPU_SET(c, &one);
      break;
    }
  if (sched_setaffinity(0, sizeof one, &one) != 0 || platform::usableCpus() != 1) {
    std::fprintf(stderr, "cannot pin the benchmark to one CPU\n");
    return 1;
  }
  const Figures single = measure();
  sched_setaffinity(0, sizeof all, &all);
  {
    Pixels<std::uint16_t> peer;
    const bool read = bench_formats::tiffRead(tif, peer);
    requireSameRead(tif, settings, read, peer, "the viewer's TIFF open and libtiff's read of the same file");
  }
  {
    Pixels<std::uint16_t> peer;
    const bool read = bench_formats::dcmtkRead(dcm, &peer);
    requireSameRead(dcm, settings, read, peer, "the viewer's DICONDE open and DCMTK's read of the same file");
  }
  if (!answers.asked.empty()) {
    std::fprintf(stderr, "the open asked a question: %s\n", answers.asked[0].text.toStdString().c_str());
    return 1;
  }

  const std::string on = ", " + std::to_string(cpus) + " CPUs";
  const std::vector<bench::Row> rows = {
      {"open 16-bit TIFF, 1 CPU", single.tiffOurs.wallMs, single.tiffPeer.wallMs, limit,
       "libtiff in this process, strips into one buffer"},
      {"open 16-bit DICONDE, 1 CPU", single.dcmOurs.wallMs, single.dcmPeer.wallMs, limit,
       "DCMTK dcmdata in this process, whole file loaded"},
      {"open 16-bit TIFF" + on, every.tiffOurs.wallMs, every.tiffPeer.wallMs, limit, "the same, on one thread"},
      {"open 16-bit DICONDE" + on, every.dcmOurs.wallMs, every.dcmPeer.wallMs, limit, "the same, on one thread"},
  };
  bench::printTable(std::to_string(kFilmWidth) + " x " + std::to_string(kFilmHeight) + " 16-bit film, best of " +
                        std::to_string(reps) +
                        "; ours: the viewer's open command (type detection, reader and its checks, 12-bit check "
                        "and statistics, display defaults, progress window); peer: a plain read; limit: warm "
                        "memcpy of the pixels",
                    rows);
  std::printf("pixels equal: each open holds the pixels its peer read from the same file\n");
  std::printf("CPU time in the best run on %u CPUs: TIFF ours %.1f ms, peer %.1f ms; DICONDE ours %.1f ms, peer %.1f ms\n",
              cpus, every.tiffOurs.cpuMs, every.tiffPeer.cpuMs, every.dcmOurs.cpuMs, every.dcmPeer.cpuMs);
  // The goal is libtiff's read; DCMTK's, which takes the pixels in one call,
  // stands beside it for scale.
  bool met = true;
  for (const bench::Row& r : rows)
    if (r.what.find("TIFF") != std::string::npos) met = met && r.ours / r.peer <= kGoal;
  std::printf("goal: the TIFF open at most %.1f x libtiff's read, on 1 and on %u CPUs: %s\n", kGoal, cpus,
              met ? "met" : "NOT met");
  std::printf("the DICONDE open against DCMTK's read (no goal): %.2f on 1 CPU, %.2f on %u\n",
              single.dcmOurs.wallMs / single.dcmPeer.wallMs, every.dcmOurs.wallMs / every.dcmPeer.wallMs, cpus);
  std::error_code ec;
  fs::remove_all(work, ec);
  return met ? 0 : 1;
}
