// Reads and writes a 7120 x 8640 16-bit CR image (about 123 MB) with our
// library and with DCMTK's data library driven in this process: the same
// elements, the same file in the same folder, the pixel data loaded into
// memory on both sides. Both written files are read back by the other side and
// their pixels compared with the source; a warm memcpy of the pixel bytes is
// the limit.
//
//   bench_dicom [work folder] [repetitions]
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdict.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcuid.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/support/bench_support.h"
#include "dicom/dicom.h"

namespace {

constexpr uint16_t kColumns = 7120, kRows = 8640;

struct Text {
  uint32_t group, element;
  const char* vr;
  const char* value;
};
// Meta and data set elements both sides write.
const Text kTexts[] = {
    {0x0008, 0x0016, "UI", "1.2.840.10008.5.1.4.1.1.1"},
    {0x0008, 0x0018, "UI", "1.2.3.4.5"},
    {0x0008, 0x0060, "CS", "CR"},
    {0x0010, 0x0010, "PN", "Bench^Weld"},
    {0x0028, 0x0004, "CS", "MONOCHROME2"},
};
struct Word {
  uint32_t group, element;
  uint16_t value;
};
const Word kWords[] = {{0x0028, 0x0002, 1},  {0x0028, 0x0010, kRows}, {0x0028, 0x0011, kColumns},
                       {0x0028, 0x0100, 16}, {0x0028, 0x0101, 16},    {0x0028, 0x0102, 15},
                       {0x0028, 0x0103, 0}};

DicomObject* ourImage(const std::vector<uint16_t>& pixels) {
  DicomObject* o = nullptr;
  CreateDicomObject(&o);
  const char* ts = "1.2.840.10008.1.2.1";
  SetDicomElement(o, 0x0002, 0x0010, "UI", ts, uint32_t(std::strlen(ts)));
  for (const Text& t : kTexts) SetDicomElement(o, t.group, t.element, t.vr, t.value, uint32_t(std::strlen(t.value)));
  for (const Word& w : kWords) SetDicomElement(o, w.group, w.element, "US", &w.value, 2);
  SetDicomElement(o, 0x7FE0, 0x0010, "OW", pixels.data(), uint32_t(pixels.size() * 2));
  return o;
}

void peerImage(DcmFileFormat& file, const std::vector<uint16_t>& pixels) {
  DcmDataset* d = file.getDataset();
  for (const Text& t : kTexts) d->putAndInsertString(DcmTagKey(Uint16(t.group), Uint16(t.element)), t.value);
  for (const Word& w : kWords) d->putAndInsertUint16(DcmTagKey(Uint16(w.group), Uint16(w.element)), w.value);
  d->putAndInsertUint16Array(DCM_PixelData, pixels.data(), static_cast<unsigned long>(pixels.size()));
}

// The pixels of a file as DCMTK reads them, all loaded.
bool peerRead(const std::string& path, std::vector<uint16_t>* copy) {
  DcmFileFormat file;
  if (file.loadFile(path.c_str(), EXS_Unknown, EGL_noChange, Uint32(0xFFFFFFFFu)).bad()) return false;
  const Uint16* p = nullptr;
  unsigned long count = 0;
  if (file.getDataset()->findAndGetUint16Array(DCM_PixelData, p, &count).bad() || count != size_t(kRows) * kColumns)
    return false;
  if (copy) copy->assign(p, p + count);
  return true;
}

bool ourRead(const std::string& path, std::vector<uint16_t>* copy) {
  DicomObject* o = nullptr;
  CreateDicomObject(&o);
  uint32_t length = 0;
  bool ok = ReadDicomFile(o, path.c_str(), 0) && GetDicomElementLength(o, 0x7FE0, 0x0010, 0, &length) &&
            length == size_t(kRows) * kColumns * 2;
  if (ok && copy) {
    copy->resize(length / 2);
    ok = GetDicomElement(o, 0x7FE0, 0x0010, 0, copy->data(), length);
  }
  DeleteDicomObject(o);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  bench::sameAllocator(argv);
  namespace fs = std::filesystem;
  const fs::path dir = argc > 1 ? fs::path(argv[1])
                                : fs::temp_directory_path() / ("bench_dicom-" + std::to_string(::getpid()));
  const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  fs::create_directories(dir);
  const std::string ours = (dir / "ours.dcm").string(), peer = (dir / "dcmtk.dcm").string();

  std::vector<uint16_t> pixels(size_t{kRows} * kColumns);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint16_t((i * 2654435761u) >> 13);

  // DCMTK loads its dictionary once per process; that start-up is not the work.
  if (!dcmDataDict.isDictionaryLoaded()) {
    std::fprintf(stderr, "DCMTK has no data dictionary (DCMDICTPATH)\n");
    return 1;
  }

  DicomObject* image = ourImage(pixels);
  const double ourWrite = bench::bestMs(reps, [&] { return WriteDicomFile(image, ours.c_str()) != 0; });
  DeleteDicomObject(image);
  DcmFileFormat peerFile;
  peerImage(peerFile, pixels);
  const double peerWrite = bench::bestMs(reps, [&] {
    return peerFile.saveFile(peer.c_str(), EXS_LittleEndianExplicit).good();
  });

  const double ourReadMs = bench::bestMs(reps, [&] { return ourRead(ours, nullptr); });
  const double peerReadMs = bench::bestMs(reps, [&] { return peerRead(ours, nullptr); });
  const double limit = bench::warmMemcpyMs(pixels.size() * 2, reps);

  // Each side reads the other's file: the same pixels as the source.
  std::vector<uint16_t> a, b, c;
  bench::requireEqual(peerRead(ours, &a) && a == pixels, "DCMTK reading our file");
  bench::requireEqual(ourRead(peer, &b) && b == pixels, "our library reading DCMTK's file");
  bench::requireEqual(ourRead(ours, &c) && c == pixels, "our library reading our file");

  const std::string how = "DCMTK dcmdata in this process";
  bench::printTable("DICOM, " + std::to_string(kColumns) + " x " + std::to_string(kRows) +
                        " 16-bit, explicit little endian, file in " + dir.string() + ", best of " +
                        std::to_string(reps),
                    {{"write the file", ourWrite, peerWrite, limit, how + " (saveFile)"},
                     {"read the file, pixels in memory", ourReadMs, peerReadMs, limit,
                      how + " (loadFile, all loaded)"}});
  std::printf("outputs equal: each side reads the other's file back to the source pixels\n");
  fs::remove_all(dir);
  return 0;
}
