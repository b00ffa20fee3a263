// Prints the times of reading and writing a 7120 x 8640 16-bit image (about
// 123 MB) with our library, with DCMTK's dcmdump and dcmconv on the same file,
// and a memcpy of the pixel bytes, with the ratios between them.
//
//   bench_dicom [work directory] [repetitions]
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dicom/dicom.h"

namespace {

constexpr uint16_t kColumns = 7120, kRows = 8640;

double seconds(const std::function<void()>& work, int repetitions) {
  double best = 1e30;
  for (int i = 0; i < repetitions; ++i) {
    auto start = std::chrono::steady_clock::now();
    work();
    std::chrono::duration<double> d = std::chrono::steady_clock::now() - start;
    best = std::min(best, d.count());
  }
  return best;
}

void run(const std::string& command) {
  int status = std::system(command.c_str());
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    std::exit(1);
  }
}

void setText(DicomObject* o, uint32_t g, uint32_t e, const char* vr, const char* text) {
  SetDicomElement(o, g, e, vr, text, static_cast<uint32_t>(std::strlen(text)));
}

void setU16(DicomObject* o, uint32_t g, uint32_t e, uint16_t v) { SetDicomElement(o, g, e, "US", &v, 2); }

DicomObject* buildImage(const std::vector<uint8_t>& pixels) {
  DicomObject* o = nullptr;
  CreateDicomObject(&o);
  setText(o, 0x0002, 0x0010, "UI", "1.2.840.10008.1.2.1");
  setText(o, 0x0008, 0x0016, "UI", "1.2.840.10008.5.1.4.1.1.1");
  setText(o, 0x0008, 0x0018, "UI", "1.2.3.4.5");
  setText(o, 0x0008, 0x0060, "CS", "CR");
  setText(o, 0x0010, 0x0010, "PN", "Bench^Weld");
  setU16(o, 0x0028, 0x0002, 1);
  setText(o, 0x0028, 0x0004, "CS", "MONOCHROME2");
  setU16(o, 0x0028, 0x0010, kRows);
  setU16(o, 0x0028, 0x0011, kColumns);
  setU16(o, 0x0028, 0x0100, 16);
  setU16(o, 0x0028, 0x0101, 16);
  setU16(o, 0x0028, 0x0102, 15);
  setU16(o, 0x0028, 0x0103, 0);
  SetDicomElement(o, 0x7FE0, 0x0010, "OW", pixels.data(), static_cast<uint32_t>(pixels.size()));
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "bench_dicom";
  int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  fs::create_directories(dir);
  const fs::path ours = dir / "ours.dcm", theirs = dir / "dcmconv.dcm";

  std::vector<uint8_t> pixels(size_t{kRows} * kColumns * 2);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
  std::vector<uint8_t> copy(pixels.size());

  double tMemcpy = seconds([&] {
    std::memcpy(copy.data(), pixels.data(), pixels.size());
    asm volatile("" : : "r"(copy.data()) : "memory");
  }, repetitions);
  // The same copy into memory never touched before, as every reader's copy is.
  double tMemcpyFresh = seconds([&] {
    std::unique_ptr<uint8_t[]> fresh(new uint8_t[pixels.size()]);
    std::memcpy(fresh.get(), pixels.data(), pixels.size());
    asm volatile("" : : "r"(fresh.get()) : "memory");  // the copy must happen
  }, repetitions);

  DicomObject* image = buildImage(pixels);
  double tWrite = seconds([&] {
    if (!WriteDicomFile(image, ours.c_str())) {
      std::fprintf(stderr, "WriteDicomFile failed\n");
      std::exit(1);
    }
  }, repetitions);
  DeleteDicomObject(image);

  double tRead = seconds([&] {
    DicomObject* o = nullptr;
    CreateDicomObject(&o);
    uint32_t length = 0;
    if (!ReadDicomFile(o, ours.c_str(), 0) || !GetDicomElementLength(o, 0x7FE0, 0x0010, 0, &length) ||
        length != pixels.size()) {
      std::fprintf(stderr, "ReadDicomFile failed\n");
      std::exit(1);
    }
    DeleteDicomObject(o);
  }, repetitions);

  const std::string in = "'" + ours.string() + "'", out = "'" + theirs.string() + "'";
  double tDcmdump = seconds([&] { run("dcmdump -q +M " + in + " > /dev/null"); }, repetitions);
  double tDcmconv = seconds([&] { run("dcmconv -q " + in + " " + out); }, repetitions);

  std::printf("image %u x %u, 16 bits, %zu pixel bytes, best of %d\n", kColumns, kRows, pixels.size(),
              repetitions);
  std::printf("memcpy of the pixels      %8.1f ms\n", tMemcpy * 1e3);
  std::printf("memcpy into fresh memory  %8.1f ms   %5.2f x memcpy\n", tMemcpyFresh * 1e3,
              tMemcpyFresh / tMemcpy);
  std::printf("our WriteDicomFile        %8.1f ms   %5.2f x memcpy\n", tWrite * 1e3, tWrite / tMemcpy);
  std::printf("our ReadDicomFile         %8.1f ms   %5.2f x memcpy\n", tRead * 1e3, tRead / tMemcpy);
  std::printf("dcmdump +M (read)         %8.1f ms   ours/dcmdump %5.2f\n", tDcmdump * 1e3, tRead / tDcmdump);
  std::printf("dcmconv (read and write)  %8.1f ms   ours/dcmconv %5.2f\n", tDcmconv * 1e3,
              (tRead + tWrite) / tDcmconv);
  fs::remove(ours);
  fs::remove(theirs);
  return 0;
}
