// Builds the mutation corpus of the format fuzz targets: seed files written by
// our own writers and by outside tools (the seeds folder), each also cut short
// at many lengths and with bytes flipped at many places. Deterministic, so the
// corpus test is the same in every build.
//   formats_corpus_gen <seeds folder> <output folder>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "viewer/formats/diconde.h"
#include "viewer/formats/format_support.h"
#include "viewer/formats/jpeg.h"
#include "viewer/formats/pgm_bmp.h"
#include "viewer/formats/raw.h"
#include "viewer/formats/tiff.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeAll(const fs::path& p, const Bytes& b) {
  std::ofstream out(p, std::ios::binary);
  out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

void fillImage(viewer::CImageItem& image, int bps, int w, int h) {
  image.allocate(bps, w, h);
  for (std::size_t i = 0; i < image.sampleCount(); ++i) {
    const unsigned v = unsigned(i * 37 + i / std::size_t(w) * 11);
    if (bps == 2) image.data16()[i] = std::uint16_t(v % 4096);
    else image.data()[i] = std::uint8_t(v);
  }
  image.bitsStored = bps == 1 ? 8 : 12;
  image.odRange = 40;
  image.pitch = 100;
}

// Seeds of one reader: name -> bytes.
using Seeds = std::map<std::string, Bytes>;

void addWritten(Seeds& seeds, const fs::path& scratch, const std::string& name,
                int (*write)(const viewer::CImageItem&, const std::string&), int bps) {
  viewer::CImageItem image;
  fillImage(image, bps, 13, 7);
  const fs::path p = scratch / name;
  if (write(image, p.string())) seeds[name] = readAll(p);
}

std::uint32_t next(std::uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

// The seed, truncations of it and byte flips, the flips mostly where the
// header lies (limit) and some anywhere.
void mutate(const fs::path& dir, const std::string& name, const Bytes& seed, std::size_t headerLimit) {
  writeAll(dir / (name + ".seed"), seed);
  std::uint32_t state = 2166136261u;
  for (char c : name) state = (state ^ std::uint8_t(c)) * 16777619u;
  const std::size_t n = seed.size();
  int k = 0;
  for (std::size_t cut : {std::size_t(0), std::size_t(1), std::size_t(2), std::size_t(4), std::size_t(8),
                          std::size_t(9), std::size_t(14), std::size_t(54), std::size_t(132)}) {
    if (cut < n) writeAll(dir / (name + ".cut" + std::to_string(k++)), Bytes(seed.begin(), seed.begin() + std::ptrdiff_t(cut)));
  }
  for (int i = 1; i < 24; ++i) {
    const std::size_t cut = n * std::size_t(i) / 24;
    writeAll(dir / (name + ".cut" + std::to_string(k++)), Bytes(seed.begin(), seed.begin() + std::ptrdiff_t(cut)));
  }
  if (n == 0) return;
  const std::size_t limit = std::min(n, headerLimit);
  for (int i = 0; i < 72; ++i) {
    Bytes b = seed;
    const int flips = 1 + int(next(state) % 3);
    for (int f = 0; f < flips; ++f) {
      const std::size_t at = (i % 4 == 3) ? next(state) % n : next(state) % limit;
      switch (next(state) % 4) {
        case 0: b[at] ^= std::uint8_t(1u << (next(state) % 8)); break;
        case 1: b[at] = 0xFF; break;
        case 2: b[at] = 0x00; break;
        default: b[at] = std::uint8_t(0x80 | next(state)); break;
      }
    }
    writeAll(dir / (name + ".flip" + std::to_string(i)), b);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: formats_corpus_gen <seeds> <output>\n");
    return 2;
  }
  const fs::path seedsDir = argv[1], out = argv[2];
  fs::remove_all(out);
  const fs::path scratch = out / "scratch";
  fs::create_directories(scratch);

  std::map<std::string, Seeds> readers;
  addWritten(readers["tiff"], scratch, "ours8.tif", viewer::formats::WriteTiffFile, 1);
  addWritten(readers["tiff"], scratch, "ours16.tif", viewer::formats::WriteTiffFile, 2);
  addWritten(readers["jpeg"], scratch, "ours8.jpg", viewer::formats::WriteJpegFile, 1);
  addWritten(readers["jpeg"], scratch, "ours12.jpg", viewer::formats::WriteJpegFile, 2);
  addWritten(readers["pgm"], scratch, "ours.pgm", viewer::formats::WritePgmFile, 1);
  addWritten(readers["bmp"], scratch, "ours.bmp", viewer::formats::WriteBmpFile, 1);
  auto dicom = [&](const std::string& name, int bps, bool jpeg, int meta) {
    viewer::formats::settings().useMih = meta;
    viewer::CImageItem image;
    fillImage(image, bps, 13, 7);
    viewer::CStudyInfo::set(image.study->componentName, "\x8e\x8e\x8c\xb1 A");  // kanji, then ASCII
    viewer::CStudyInfo::set(image.study->studyYear, "2026");
    viewer::CStudyInfo::set(image.study->studyMonth, "1");
    viewer::CStudyInfo::set(image.study->studyDay, "2");
    const fs::path p = scratch / name;
    if (viewer::formats::WriteDicondeFile(image, p.string(), jpeg)) readers["diconde"][name] = readAll(p);
  };
  dicom("implicit8.dcm", 1, false, 1);
  dicom("bare16.dcm", 2, false, 0);
  dicom("jpeg8.dcm", 1, true, 1);
  dicom("jpeg12.dcm", 2, true, 1);
  // RAW: ten bytes of dialog answers, then the file.
  Bytes raw = {13, 0, 7, 0, 16, 0, 0, 2, 1, 1};
  for (int i = 0; i < 13 * 7 * 2; ++i) raw.push_back(std::uint8_t(i * 7));
  readers["raw"]["layout16.raw"] = raw;
  raw[7] = 0;
  raw[8] = 0;
  readers["raw"]["layout8.raw"] = raw;

  const std::map<std::string, std::string> prefixes = {
      {"tiff_", "tiff"}, {"jpeg_", "jpeg"}, {"dicom_", "diconde"}, {"bmp_", "bmp"}, {"pgm_", "pgm"}};
  for (const auto& e : fs::directory_iterator(seedsDir)) {
    const std::string name = e.path().filename().string();
    for (const auto& [prefix, reader] : prefixes)
      if (name.rfind(prefix, 0) == 0) readers[reader][name] = readAll(e.path());
  }
  int files = 0;
  for (const auto& [reader, seeds] : readers) {
    const fs::path dir = out / reader;
    fs::create_directories(dir);
    const std::size_t headerLimit = reader == "diconde" ? 1100 : 600;
    for (const auto& [name, bytes] : seeds) {
      mutate(dir, name, bytes, headerLimit);
      files += 1;
    }
  }
  fs::remove_all(scratch);
  writeAll(out / "stamp", Bytes());
  std::printf("corpus of %d seeds in %s\n", files, out.string().c_str());
  return 0;
}
