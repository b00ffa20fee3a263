// Feeds one input to every reader entry point: as a whole file (header only
// from memory, complete through a file), and as a bare data set in each kind
// of syntax. Whatever was read is dumped and encoded again.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "dicom/dicom.h"

namespace {

void exercise(DicomObject* object) {
  DumpDicomObject(object, [](uint32_t, const char* line) { (void)line; }, 0);
  size_t size = 0;
  if (GetDicomWriteSize(object, &size) && size < (64u << 20)) {
    std::vector<uint8_t> out(size);
    size_t position = 0;
    WriteDicomBufferSized(object, out.data(), out.size(), &position);
  }
}

template <typename Read>
void readOne(Read read) {
  DicomObject* object = nullptr;
  if (!CreateDicomObject(&object)) return;
  read(object);
  exercise(object);
  DeleteDicomObject(object);
}

// A file in memory for the complete file read.
int memoryFile() {
  static int fd = memfd_create("dicom-fuzz", MFD_CLOEXEC);
  return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > UINT32_MAX) return 0;
  const uint32_t n = static_cast<uint32_t>(size);
  readOne([&](DicomObject* o) { ReadDicomMemory(o, data, n); });
  static const char* const kSyntaxes[] = {"1.2.840.10008.1.2", "1.2.840.10008.1.2.1",
                                          "1.2.840.10008.1.2.2", "1.2.840.10008.1.2.4.50",
                                          "1.2.840.10008.1.2.5"};
  for (const char* uid : kSyntaxes)
    readOne([&](DicomObject* o) { ReadDicomDataSet(o, data, n, uid, 0); });
  int fd = memoryFile();
  if (fd >= 0 && ftruncate(fd, 0) == 0 && pwrite(fd, data, size, 0) == static_cast<ssize_t>(size)) {
    std::string path = "/proc/self/fd/" + std::to_string(fd);
    readOne([&](DicomObject* o) { ReadDicomFile(o, path.c_str(), 0); });
  }
  return 0;
}
