// Fuzzes the bmp reader with whole files.
#include "fuzz_support.h"
#include "viewer/formats/pgm_bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  formats_fuzz::readThroughFile(data, size, [](viewer::CImageItem& image, const std::string& path) {
    return viewer::formats::ReadBmpFile(image, path);
  });
  return 0;
}
