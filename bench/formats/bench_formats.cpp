// Writes and reads a 7300 x 8640 film scan with our formats, and lets each
// peer library do the same work on the same file in this process: libtiff for
// TIFF, DCMTK's data library for DICONDE, libjpeg-turbo for 8-bit JPEG and the
// 12-bit IJG build for 12-bit JPEG. Our writers end with the file on the disk
// (fsync, rename, folder sync), so each peer's write ends with an fsync of its
// file and folder. Every read is checked against the other side's read of the
// same file (and the source where the format is lossless).
//   bench_formats [work folder] [repetitions]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/support/bench_support.h"
#include "film.h"
#include "peers.h"
#include "viewer/formats/diconde.h"
#include "viewer/formats/format_support.h"
#include "viewer/formats/jpeg.h"
#include "viewer/formats/tiff.h"

namespace fs = std::filesystem;
using viewer::CImageItem;
namespace vf = viewer::formats;
using bench_formats::Pixels;

namespace {

constexpr int kWidth = bench_formats::kFilmWidth, kHeight = bench_formats::kFilmHeight, kQuality = 75;
constexpr std::size_t kSamples = std::size_t(kWidth) * kHeight;
using bench_formats::makeFilm;

template <class T>
bool same(const CImageItem& ours, const Pixels<T>& peer) {
  const void* p = ours.bytesPerSample() == 2 ? static_cast<const void*>(ours.data16()) : ours.data();
  return ours.width() == peer.width && ours.height() == peer.height && peer.data &&
         std::memcmp(p, peer.data.get(), kSamples * sizeof(T)) == 0;
}
bool same(const CImageItem& a, const CImageItem& b) {
  return a.width() == b.width() && a.height() == b.height() && a.bytesPerSample() == b.bytesPerSample() &&
         std::memcmp(a.data(), b.data(), kSamples * std::size_t(a.bytesPerSample())) == 0;
}

// Encode and decode with the same settings on both sides; each decoder reads
// our file, and the two encoders' files must decode alike.
template <class T>
void jpegRows(std::vector<bench::Row>& rows, const std::string& name, const CImageItem& film, const std::string& ours,
              const std::string& theirs, int reps, double limit, const std::string& how,
              bool (*encode)(const std::string&, int, int, const T*, int),
              bool (*decode)(const std::string&, Pixels<T>&)) {
  const T* samples = reinterpret_cast<const T*>(film.data());
  const double enc = bench::bestMs(reps, [&] { return vf::WriteJpegFile(film, ours) == 1; });
  const double peerEnc = bench::bestMs(
      reps, [&] { return encode(theirs, kWidth, kHeight, samples, kQuality) && bench::makeDurable(theirs); });
  const double dec = bench::bestMs(reps, [&] {
    CImageItem back;
    return vf::ReadJpegFile(back, ours) == 1;
  });
  const double peerDec = bench::bestMs(reps, [&] {
    Pixels<T> back;
    return decode(ours, back);
  });
  CImageItem mine, mineOfPeer;
  Pixels<T> peer;
  bench::requireEqual(vf::ReadJpegFile(mine, ours) == 1 && decode(ours, peer) && same(mine, peer),
                      name + " decoded by us and by the peer");
  bench::requireEqual(vf::ReadJpegFile(mineOfPeer, theirs) == 1 && same(mine, mineOfPeer),
                      name + ": the two encoders' files decode alike");
  rows.push_back({name + " encode", enc, peerEnc, limit, how});
  rows.push_back({name + " decode", dec, peerDec, limit, how + ", our file"});
}

}  // namespace

int main(int argc, char** argv) {
  bench::sameAllocator(argv);
  const fs::path work = argc > 1 && argv[1][0]
                            ? fs::path(argv[1])
                            : fs::temp_directory_path() / ("bench_formats-" + std::to_string(::getpid()));
  const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  fs::create_directories(work);
  auto file = [&](const char* name) { return (work / name).string(); };
  vf::settings().jpegQuality = kQuality;
  vf::settings().useMih = 1;

  CImageItem film16, film8;
  makeFilm(film16, 2);
  makeFilm(film8, 1);
  const double limit16 = bench::warmMemcpyMs(kSamples * 2, reps);
  const double limit8 = bench::warmMemcpyMs(kSamples, reps);
  std::vector<bench::Row> rows;
  const std::string inProcess = " in this process";

  // TIFF: the same samples uncompressed in one file each; both read our file.
  {
    const auto [write, peerWrite] = bench::bestInTurn(
        reps, [&] { return vf::WriteTiffFile(film16, file("ours.tif")) != 0; },
        [&] {
          return bench_formats::tiffWrite(file("peer.tif"), kWidth, kHeight, film16.data16()) &&
                 bench::makeDurable(file("peer.tif"));
        });
    const double read = bench::bestMs(reps, [&] {
      CImageItem back;
      return vf::ReadTiffFile(back, file("ours.tif")) != 0;
    });
    const double peerRead = bench::bestMs(reps, [&] {
      Pixels<std::uint16_t> back;
      return bench_formats::tiffRead(file("ours.tif"), back);
    });
    CImageItem ours;
    Pixels<std::uint16_t> peer, peerOwn;
    bench::requireEqual(vf::ReadTiffFile(ours, file("ours.tif")) && same(ours, film16), "our TIFF read of our file");
    bench::requireEqual(bench_formats::tiffRead(file("ours.tif"), peer) && same(film16, peer), "libtiff reading our file");
    bench::requireEqual(bench_formats::tiffRead(file("peer.tif"), peerOwn) && same(film16, peerOwn), "libtiff's own file");
    rows.push_back({"TIFF 16-bit write", write, peerWrite, limit16, "libtiff" + inProcess});
    rows.push_back({"TIFF 16-bit read", read, peerRead, limit16, "libtiff" + inProcess + ", our file"});
  }
  // DICONDE: our writer's object against a small image object; both read our file.
  {
    // DCMTK's data set is built, its pixels copied in, before the timing:
    // ours writes an image it holds, so does the peer.
    bench_formats::DcmtkImage peerImage(kWidth, kHeight, film16.data16());
    const auto [write, peerWrite] = bench::bestInTurn(
        reps, [&] { return vf::WriteDicondeFile(film16, file("ours.dcm"), false) != 0; },
        [&] { return peerImage.save(file("peer.dcm")) && bench::makeDurable(file("peer.dcm")); });
    const double read = bench::bestMs(reps, [&] {
      CImageItem back;
      return vf::ReadDicondeFile(back, file("ours.dcm")) != 0;
    });
    const double peerRead = bench::bestMs(reps, [&] { return bench_formats::dcmtkRead(file("ours.dcm"), nullptr); });
    CImageItem ours;
    Pixels<std::uint16_t> peer, peerOwn;
    bench::requireEqual(vf::ReadDicondeFile(ours, file("ours.dcm")) && same(ours, film16), "our DICONDE read");
    bench::requireEqual(bench_formats::dcmtkRead(file("ours.dcm"), &peer) && same(film16, peer), "DCMTK reading our file");
    bench::requireEqual(bench_formats::dcmtkRead(file("peer.dcm"), &peerOwn) && same(film16, peerOwn),
                        "DCMTK's own file");
    rows.push_back({"DICONDE 16-bit write", write, peerWrite, limit16, "DCMTK dcmdata" + inProcess + ", fewer elements"});
    rows.push_back({"DICONDE 16-bit read", read, peerRead, limit16, "DCMTK dcmdata" + inProcess + ", our file, all loaded"});
  }
  jpegRows(rows, "JPEG 8-bit", film8, file("ours8.jpg"), file("peer8.jpg"), reps, limit8, "libjpeg-turbo" + inProcess,
           bench_formats::jpeg8Encode, bench_formats::jpeg8Decode);
  jpegRows(rows, "JPEG 12-bit", film16, file("ours12.jpg"), file("peer12.jpg"), reps, limit16, "IJG 12-bit" + inProcess,
           bench_formats::ijg12Encode, bench_formats::ijg12Decode);

  bench::printTable(std::to_string(kWidth) + " x " + std::to_string(kHeight) + " film, files in " + work.string() +
                        ", best of " + std::to_string(reps) + "; limit: warm memcpy of the samples",
                    rows);
  std::printf("outputs equal: every read matches the other side's read of the same file\n");
  bool met = true;
  for (const bench::Row& r : rows)
    if (r.what == "TIFF 16-bit read" || r.what == "DICONDE 16-bit write" || r.what == "DICONDE 16-bit read")
      met = met && r.ours <= r.peer;
  std::printf("goal: DICONDE write, DICONDE read and TIFF read at most 1.0 x their peer: %s\n", met ? "met" : "NOT met");
  fs::remove_all(work);
  return met ? 0 : 1;
}
