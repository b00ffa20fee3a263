// Writes and reads a 7300 x 8640 16-bit film scan with our formats and lets
// the peers do the same work on the same files in the same run: tiffcp for
// TIFF, dcmconv for DICONDE, cjpeg/djpeg for 8-bit JPEG and the 12-bit IJG
// build driven directly for 12-bit JPEG. Prints the best of a few runs and the
// ratio peer / ours (above 1: we are faster).
//   bench_formats [work folder] [repetitions]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include "ijg12_direct.h"
#include "viewer/formats/diconde.h"
#include "viewer/formats/format_support.h"
#include "viewer/formats/jpeg.h"
#include "viewer/formats/pgm_bmp.h"
#include "viewer/formats/tiff.h"

namespace fs = std::filesystem;
using viewer::CImageItem;
namespace vf = viewer::formats;

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

bool shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// A radiograph-like 12-bit image: a slow density wave, a weld seam and noise.
void makeFilm(CImageItem& image, int bps) {
  image.allocate(bps, kWidth, kHeight);
  std::uint32_t noise = 12345;
  for (int y = 0; y < kHeight; ++y) {
    const double seam = std::exp(-std::pow((y - kHeight / 2) / 300.0, 2));
    for (int x = 0; x < kWidth; ++x) {
      noise = noise * 1664525u + 1013904223u;
      double v = 1800 + 900 * std::sin(x / 450.0) * std::cos(y / 520.0) + 1100 * seam + double(noise >> 27);
      v = std::clamp(v, 0.0, 4095.0);
      const std::size_t i = std::size_t(y) * kWidth + x;
      if (bps == 2) image.data16()[i] = std::uint16_t(v);
      else image.data()[i] = std::uint8_t(int(v) >> 4);
    }
  }
  image.bitsStored = bps == 2 ? 12 : 8;
  image.pitch = 50;
  image.odRange = 40;
}

struct Line {
  std::string name, peer;
  double ours, theirs;
};

}  // namespace

int main(int argc, char** argv) {
  const fs::path work = argc > 1 && argv[1][0]
                            ? fs::path(argv[1])
                            : fs::temp_directory_path() / ("bench_formats-" + std::to_string(::getpid()));
  const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  fs::create_directories(work);
  auto file = [&](const char* name) { return (work / name).string(); };
  vf::settings().jpegQuality = 75;
  vf::settings().useMih = 1;

  CImageItem film16, film8;
  makeFilm(film16, 2);
  makeFilm(film8, 1);
  std::vector<Line> lines;

  // TIFF: our write then read of the same image; tiffcp reads and rewrites it.
  {
    const double ours = bestMs(reps, [&] {
      CImageItem back;
      return vf::WriteTiffFile(film16, file("ours.tif")) && vf::ReadTiffFile(back, file("ours.tif"));
    });
    const double peer = bestMs(reps, [&] { return shell("tiffcp " + file("ours.tif") + " " + file("peer.tif")); });
    lines.push_back({"TIFF 16-bit write + read", "tiffcp", ours, peer});
  }
  // DICONDE: the same, against dcmconv reading and writing the file.
  {
    const double ours = bestMs(reps, [&] {
      CImageItem back;
      return vf::WriteDicondeFile(film16, file("ours.dcm"), false) && vf::ReadDicondeFile(back, file("ours.dcm"));
    });
    const double peer = bestMs(reps, [&] { return shell("dcmconv " + file("ours.dcm") + " " + file("peer.dcm")); });
    lines.push_back({"DICONDE 16-bit write + read", "dcmconv", ours, peer});
  }
  // 8-bit JPEG: cjpeg from a PGM of the same samples, djpeg of our file.
  {
    vf::WritePgmFile(film8, file("film8.pgm"));
    const double enc = bestMs(reps, [&] { return vf::WriteJpegFile(film8, file("ours8.jpg")) == 1; });
    const double peerEnc = bestMs(reps, [&] {
      return shell("cjpeg -grayscale -progressive -quality 75 -outfile " + file("peer8.jpg") + " " + file("film8.pgm"));
    });
    lines.push_back({"JPEG 8-bit encode", "cjpeg", enc, peerEnc});
    const double dec = bestMs(reps, [&] {
      CImageItem back;
      return vf::ReadJpegFile(back, file("ours8.jpg")) == 1;
    });
    const double peerDec =
        bestMs(reps, [&] { return shell("djpeg -pnm -outfile " + file("peer8.pgm") + " " + file("ours8.jpg")); });
    lines.push_back({"JPEG 8-bit decode", "djpeg", dec, peerDec});
  }
  // 12-bit JPEG: the same library driven directly through its stdio managers.
  {
    const double enc = bestMs(reps, [&] { return vf::WriteJpegFile(film16, file("ours12.jpg")) == 1; });
    const double peerEnc = bestMs(reps, [&] {
      return bench_formats::ijg12Encode(file("peer12.jpg"), kWidth, kHeight, film16.data16(), 75);
    });
    lines.push_back({"JPEG 12-bit encode", "IJG 12-bit", enc, peerEnc});
    const double dec = bestMs(reps, [&] {
      CImageItem back;
      return vf::ReadJpegFile(back, file("ours12.jpg")) == 1;
    });
    const double peerDec = bestMs(reps, [&] {
      std::vector<std::uint16_t> out;
      int w = 0, h = 0;
      return bench_formats::ijg12Decode(file("ours12.jpg"), out, w, h) && w == kWidth && h == kHeight;
    });
    lines.push_back({"JPEG 12-bit decode", "IJG 12-bit", dec, peerDec});
  }

  std::printf("%d x %d, best of %d\n", kWidth, kHeight, reps);
  std::printf("%-30s %12s %-12s %12s %8s\n", "line", "ours ms", "peer", "peer ms", "ratio");
  bool allFaster = true;
  for (const Line& l : lines) {
    const double ratio = l.theirs / l.ours;
    std::printf("%-30s %12.1f %-12s %12.1f %8.2f\n", l.name.c_str(), l.ours, l.peer.c_str(), l.theirs, ratio);
    allFaster = allFaster && ratio >= 1.0;
  }
  std::printf("%s\n", allFaster ? "ours is at least as fast on every line" : "a peer is faster on some line");
  fs::remove_all(work);
  return 0;
}
