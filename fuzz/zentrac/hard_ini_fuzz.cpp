// Zentrac_Hard.ini lies beside the library where anyone may edit it: whatever
// it says, the corrections it sets up must stay inside the image.
//   input: [mode byte][depth byte][ini text]
#include "devapi/cr/internal/corrections.h"
#include "devapi/cr/internal/hard_params.h"

#include <cstdint>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int mode = 1 + data[0] % 3;
  static constexpr int kDepths[] = {12, 14, 16};
  const int depth = kDepths[data[1] % 3];
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
  zentrac::Corrections corrections(zentrac::parseHardParams(text));

  // Three blocks of a small plate with a step wedge and a darker band across it.
  constexpr std::size_t kWidth = 48, kLinesPerBlock = 40, kBlocks = 3;
  std::vector<std::vector<std::uint16_t>> blocks(kBlocks, std::vector<std::uint16_t>(kWidth * kLinesPerBlock));
  std::vector<std::uint16_t*> table;
  const unsigned top = (1u << (depth == 16 ? 14 : depth)) - 1;
  for (std::size_t b = 0; b < kBlocks; ++b) {
    for (std::size_t i = 0; i < blocks[b].size(); ++i) {
      const std::size_t y = b * kLinesPerBlock + i / kWidth, x = i % kWidth;
      unsigned v = unsigned(x * top / kWidth);
      if (y >= 50 && y < 56) v /= 2;
      blocks[b][i] = std::uint16_t(v);
    }
    table.push_back(blocks[b].data());
  }
  zentrac::CorrectionImage image{table.data(), kBlocks, kLinesPerBlock, kWidth};
  zentrac::ScanContext scan;
  scan.outBitDepth = depth;
  scan.option1 = std::uint16_t(mode);
  scan.option2 = 40;
  scan.scanPitch = 100;
  corrections.apply(image, image.lines(), scan);
  return 0;
}
