// Fuzzes the diconde reader with whole files.
#include "fuzz_support.h"
#include "viewer/formats/diconde.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  formats_fuzz::readThroughFile(data, size, [](viewer::CImageItem& image, const std::string& path) {
    return viewer::formats::ReadDicondeFile(image, path);
  });
  return 0;
}
