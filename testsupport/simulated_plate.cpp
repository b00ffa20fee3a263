#include "testsupport/simulated_plate.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "devapi/records.h"
#include "platform/ini.h"
#include "platform/library.h"
#include "simulator/radiograph.h"

namespace testsupport {

void writeLineCorrectionSettings(const std::filesystem::path& libDir) {
  for (const char* set : {"HighspeedPara_M1", "StandradPara_M2", "FinePara_M3"})
    platform::ini::writeString(libDir / "Zentrac_Hard.ini", set, "MAX_PIX_VALUE", "65535");
}

std::string renderedPlate(const sim::Scanner& reader, const get_scan_para& got) {
  const std::vector<std::uint16_t> words = reader.scanParameters();
  std::string plate;
  for (int b = 0; b < got.blk_n; ++b) {
    const auto bytes = sim::radiograph(
        sim::plateImageSpec(words, 128, std::uint32_t(b * got.blk_pix_h), std::uint32_t(got.blk_pix_h), 0));
    plate.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  return plate;
}

std::optional<std::string> lineCorrected(const std::string& raw, const get_scan_para& got,
                                         const std::filesystem::path& zentrac, std::string* fault) {
  const std::size_t blockWords = std::size_t(got.blk_pix_w) * std::size_t(got.blk_pix_h);
  if (got.blk_n <= 0 || blockWords == 0 || raw.size() != blockWords * std::size_t(got.blk_n) * 2) {
    *fault = "the plate does not fill the engine's blocks";
    return std::nullopt;
  }
  platform::Library library;
  if (!library.open(zentrac.string(), nullptr)) {
    *fault = library.errorText();
    return std::nullopt;
  }
  using EightLineFn = int (*)(int, const devapi::BlockScanParam*);
  const auto eightLine = library.function<EightLineFn>("ZNTR_EightLine");
  if (eightLine == nullptr) {
    *fault = library.errorText();
    return std::nullopt;
  }
  std::vector<std::uint16_t> words(raw.size() / 2);
  std::memcpy(words.data(), raw.data(), words.size() * 2);
  std::vector<std::uint16_t*> blocks;
  for (int b = 0; b < got.blk_n; ++b) blocks.push_back(words.data() + std::size_t(b) * blockWords);
  devapi::BlockScanParam param{};
  param.buff_sz = std::uint32_t(words.size() * 2);
  param.buff_pp = blocks.data();
  param.pix_w = std::uint16_t(got.blk_pix_w);
  param.pix_h = std::uint16_t(got.blk_pix_h);
  param.out_bit_depth = std::uint8_t(got.depth);
  param.pixel_bit_n = 16;
  param.block_size = std::uint16_t(got.blk_n);
  if (eightLine(0, &param) != 1) {
    *fault = "ZNTR_EightLine refused the plate";
    return std::nullopt;
  }
  std::string corrected(raw.size(), '\0');
  std::memcpy(corrected.data(), words.data(), corrected.size());
  return corrected;
}

CeilingCount countAtCeiling(const std::string& plate, int depth) {
  const std::uint32_t ceiling = (std::uint32_t(1) << std::clamp(depth, 1, 16)) - 1;
  CeilingCount n;
  for (std::size_t i = 0; i + 1 < plate.size(); i += 2) {
    const std::uint32_t v = std::uint8_t(plate[i]) | std::uint32_t(std::uint8_t(plate[i + 1])) << 8;
    n.above += v > ceiling;
    n.at += v == ceiling;
    ++n.samples;
  }
  return n;
}

}  // namespace testsupport
