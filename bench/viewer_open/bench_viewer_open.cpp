// Opens a 7300 x 8640 16-bit film scan as TIFF and as DICONDE through the
// viewer's open command (type detection, reader with its checks, the item and
// its display defaults) and lets libtiff and DCMTK read the same files into
// memory in the same run. Prints the best of N runs, the ratio ours / peer
// (goal: at most 1.5) and a memcpy of the pixels as the bandwidth limit.
//   bench_viewer_open [work folder] [repetitions]
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <tiffio.h>
#include <unistd.h>

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>

#include "platform/qt/prompt.h"
#include "viewer/app/pipeline.h"
#include "viewer/app/settings.h"
#include "viewer/formats/diconde.h"
#include "viewer/formats/tiff.h"

namespace fs = std::filesystem;
using viewer::CImageItem;

namespace {

constexpr int kWidth = 7300, kHeight = 8640;

double bestMs(int reps, const std::function<bool()>& work) {
  double best = 1e300;
  for (int i = 0; i < reps; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    if (!work()) {
      std::fprintf(stderr, "a step failed\n");
      std::exit(1);
    }
    const auto t1 = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
  }
  return best;
}

// A radiograph-like 12-bit image: a slow density wave, a weld seam and noise.
void makeFilm(CImageItem& image) {
  image.allocate(2, kWidth, kHeight);
  std::uint32_t noise = 12345;
  for (int y = 0; y < kHeight; ++y) {
    const double seam = std::exp(-std::pow((y - kHeight / 2) / 300.0, 2));
    for (int x = 0; x < kWidth; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const double v = 1800 + 900 * std::sin(x / 450.0) * std::cos(y / 520.0) + 1100 * seam + double(noise >> 27);
      image.data16()[std::size_t(y) * kWidth + std::size_t(x)] = std::uint16_t(std::clamp(v, 0.0, 4095.0));
    }
  }
  image.bitsStored = 12;
  image.pitch = 50;
  image.odRange = 40;
  image.completeLoad();
}

// The open command as File Open runs it, display table included.
bool openWithViewer(const std::string& path, viewer::app::Settings& settings) {
  viewer::app::CTivolaDoc doc;
  if (!viewer::app::openIntoDocument(doc, {path, false}, settings, nullptr)) return false;
  CImageItem* item = doc.images.get(0);
  item->lut.maxValue = item->maxValue;
  item->lut.setWindow(item->windowCentre, item->windowWidth, 0);
  return doc.images.count() == 1 && item->width() == kWidth;
}

bool readWithLibtiff(const std::string& path) {
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (tif == nullptr) return false;
  std::uint32_t w = 0, h = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
  const tmsize_t bytes = tmsize_t(w) * tmsize_t(h) * 2;
  std::unique_ptr<std::uint8_t[]> pixels(new std::uint8_t[std::size_t(bytes)]);
  tmsize_t at = 0;
  for (tstrip_t s = 0, n = TIFFNumberOfStrips(tif); s < n && at < bytes; ++s) {
    const tmsize_t got = TIFFReadEncodedStrip(tif, s, pixels.get() + at, bytes - at);
    if (got < 0) break;
    at += got;
  }
  TIFFClose(tif);
  return at == bytes;
}

bool readWithDcmtk(const std::string& path) {
  DcmFileFormat file;
  if (file.loadFile(path.c_str()).bad()) return false;
  const Uint16* pixels = nullptr;
  unsigned long count = 0;
  return file.getDataset()->findAndGetUint16Array(DCM_PixelData, pixels, &count).good() &&
         count == static_cast<unsigned long>(kWidth) * kHeight;
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  int qargc = 1;
  char name[] = "bench_viewer_open";
  char* qargv[] = {name, nullptr};
  QApplication app(qargc, qargv);
  TIFFSetWarningHandler(nullptr);  // our private tag is unknown to libtiff; printing that is no part of a read
  platform::qt::ScriptedPrompt answers;  // nothing is asked; any question would fail the run

  const fs::path work = argc > 1 && argv[1][0]
                            ? fs::path(argv[1])
                            : fs::temp_directory_path() / ("bench_viewer_open-" + std::to_string(::getpid()));
  const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  fs::create_directories(work);
  const std::string tif = (work / "film.tif").string(), dcm = (work / "film.dcm").string();
  {
    CImageItem film;
    makeFilm(film);
    if (!viewer::formats::WriteTiffFile(film, tif) || !viewer::formats::WriteDicondeFile(film, dcm, false)) {
      std::fprintf(stderr, "could not write the test files in %s\n", work.string().c_str());
      return 1;
    }
  }
  viewer::app::Settings settings;
  const std::size_t bytes = std::size_t(kWidth) * kHeight * 2;
  std::vector<std::uint8_t> from(bytes, 1), to(bytes);
  const double copy = bestMs(reps, [&] {
    std::memcpy(to.data(), from.data(), bytes);
    return to[bytes / 2] == 1;
  });

  struct Line {
    const char* name;
    const char* peer;
    double ours, theirs;
  };
  const Line lines[] = {
      {"open 16-bit TIFF", "libtiff", bestMs(reps, [&] { return openWithViewer(tif, settings); }),
       bestMs(reps, [&] { return readWithLibtiff(tif); })},
      {"open 16-bit DICONDE", "DCMTK dcmdata", bestMs(reps, [&] { return openWithViewer(dcm, settings); }),
       bestMs(reps, [&] { return readWithDcmtk(dcm); })},
  };
  std::printf("%d x %d 16-bit, best of %d; memcpy of the pixels %.1f ms\n", kWidth, kHeight, reps, copy);
  bool met = true;
  for (const Line& l : lines) {
    const double ratio = l.ours / l.theirs;
    met &= ratio <= 1.5;
    std::printf("%-22s ours %8.1f ms  %-14s %8.1f ms  ours/peer %.2f (goal <= 1.5)  %.1f x memcpy\n", l.name,
                l.ours, l.peer, l.theirs, ratio, l.ours / copy);
  }
  if (!answers.asked.empty()) {
    std::fprintf(stderr, "the open asked a question: %s\n", answers.asked[0].text.toStdString().c_str());
    met = false;
  }
  std::error_code ec;
  fs::remove_all(work, ec);
  return met ? 0 : 1;
}
