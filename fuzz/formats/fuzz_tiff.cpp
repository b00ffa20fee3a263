// Fuzzes the tiff reader with whole files.
#include "fuzz_support.h"
#include "viewer/formats/tiff.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  formats_fuzz::readThroughFile(data, size, [](viewer::CImageItem& image, const std::string& path) {
    return viewer::formats::ReadTiffFile(image, path);
  });
  return 0;
}
