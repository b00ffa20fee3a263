// Fuzzes the RAW reader: the first ten bytes answer the parameter dialog
// (width, height, header size, depth, byte order), the rest is the file.
#include <cstring>

#include "fuzz_support.h"
#include "viewer/formats/raw.h"

namespace {

class InputPrompt : public viewer::formats::Prompt {
 public:
  bool rawParameters(const std::string&, std::uint64_t, viewer::formats::RawDialogValues& v) override {
    if (size < 10) return false;
    v.width = data[0] | data[1] << 8;
    v.height = data[2] | data[3] << 8;
    v.headerSize = std::int64_t(data[4] | data[5] << 8 | data[6] << 16) - 16;
    v.depthIndex = data[7] % 4;  // 3 is out of range on purpose
    v.byteOrder = data[8] % 2;
    v.adopt = data[9] % 2;
    return true;
  }
  void message(const std::string&, const std::string&) override {}
  bool jpegQuality(int&) override { return false; }
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static InputPrompt prompt;
  prompt.data = data;
  prompt.size = size;
  viewer::formats::setPrompt(&prompt);
  viewer::formats::rawBeginOpenCommand();
  const std::size_t skip = size < 10 ? size : 10;
  formats_fuzz::readThroughFile(data + skip, size - skip, [](viewer::CImageItem& image, const std::string& path) {
    return viewer::formats::ReadRawFile(image, path);
  });
  return 0;
}
