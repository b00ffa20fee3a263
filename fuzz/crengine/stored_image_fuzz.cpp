// Stored images are read from a directory anyone may fill: a description and
// pixel data of any content must never overrun the blocks.
//   input: [depth byte][length n][n bytes of ".info" text][raw pixel bytes]
#include "crengine/internal/elog.h"
#include "crengine/internal/image.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

class QuietSink : public crengine::LogSink {
 public:
  void write(int, const std::string&) override {}
  void writeLastError(int, const std::string&, int) override {}
  std::string logFileName() override { return "fuzz"; }
  void configureDefault(const std::string&) override {}
  void setFacilityLevel(int) override {}
};

// Never destroyed: the clean-up at exit runs after static destructors of
// this file and must still find the path.
const std::filesystem::path& directory() {
  static const std::filesystem::path* const dir = [] {
    auto* d = new std::filesystem::path(std::filesystem::temp_directory_path() /
                                        ("crengine-fuzz-" + std::to_string(::getpid())));
    std::filesystem::create_directories(*d);
    static QuietSink sink;
    crengine::setLogSink(&sink);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(directory(), ec);
    });
    return d;
  }();
  return *dir;
}

void put(const std::filesystem::path& file, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(file.c_str(), "wb");
  if (f == nullptr) return;
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int depth = 8 + data[0] % 9;  // 8 to 16
  const std::size_t infoSize = std::min<std::size_t>(data[1], size - 2);
  const auto& dir = directory();
  put(dir / "s.raw.info", data + 2, infoSize);
  put(dir / "s.raw", data + 2 + infoSize, size - 2 - infoSize);
  crengine::StoredImages stored;
  if (!stored.setDirectory(dir.string(), dir)) return 0;
  auto blocks = crengine::BlockImageData::allocate(24, 5, 3, std::uint32_t(depth), data[0] & 1);
  stored.fill(*blocks, depth, data[0] & 1);
  return 0;
}
