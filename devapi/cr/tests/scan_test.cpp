// The scan paths over the simulated reader: blocks straight into the caller's
// memory, a plate that ends early, errors and cancels between blocks, the
// library's buffer with its corrections, and the corrections over the caller's blocks.
#include <algorithm>
#include <cstring>
#include <thread>

#include "devapi/cr/internal/corrections.h"
#include "devapi/cr/tests/zentrac_fixture.h"

namespace zentrac_test {
namespace {

// Blocks of the caller, as the CR engine holds them.
struct Blocks {
  Blocks(std::uint16_t width, std::uint16_t lines, std::uint16_t count, std::uint16_t fill = 0x1234)
      : data(count, std::vector<std::uint16_t>(std::size_t(width) * lines, fill)) {
    for (auto& b : data) pointers.push_back(b.data());
    param.buff_sz = std::uint32_t(width) * lines * count * 2;
    param.buff_pp = pointers.data();
    param.pix_w = width;
    param.pix_h = lines;
    param.pixel_bit_n = 16;
    param.out_bit_depth = 16;
    param.block_size = count;
  }
  std::vector<std::vector<std::uint16_t>> data;
  std::vector<std::uint16_t*> pointers;
  devapi::BlockScanParam param{};
};

class ScanTest : public ZentracTest {
 protected:
  static constexpr std::uint16_t kWidth = 40, kLines = 20, kBlocks = 10;
  // A plate of kWidth x kLines pixels per block at 1 mm pitch, then the block geometry.
  void openForBlocks(std::uint16_t format = 0x1010) {
    presetScanner(bus, format);
    load();
    ASSERT_EQ(open(), 1);
    setCondition(condition(kWidth, kLines, 1000, 16));
    cr.clearLog();
  }
  // The simulator's image of block i of a plate of this geometry.
  std::vector<std::uint16_t> block(std::uint32_t i) const { return expectedLines(i * kLines, kLines); }
};

TEST_F(ScanTest, BlocksArriveInTheCallersMemoryOneCommandEach) {
  openForBlocks();
  Blocks b(kWidth, kLines, 3);
  ASSERT_EQ(api.ScanM(handle, &b.param), 1) << lastCode();
  waitBlocks(3);
  ASSERT_TRUE(eventually([&] { return countWord(kBlockScanWord) == 3; }));
  const auto p = cr.scanParameters();
  EXPECT_EQ(p[4], kLines);  // lines per block
  EXPECT_EQ(p[8], 3);       // blocks of the plate
  for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(b.data[i], block(i)) << "block " << i;
}

TEST_F(ScanTest, PlateEndingAfterThreeOfTenBlocksFillsTheRestWithTheMask) {
  struct Case {
    std::uint16_t format;
    const char* settings;
    std::uint16_t fill;
  } cases[] = {
      {0x1010, "", 0xFFFF},
      {0x100C, "", 0x0FFF},
      {0x100E, "MASK_DATA=32768\n", 0x2000},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.format);
    TearDown();
    bus = std::make_shared<sim::Bus>();
    cr = bus->plug(sim::crReader());
    lendPort(bus);
    writeSettings(k.settings);
    openForBlocks(k.format);
    cr.endPlateAfter(3);
    Blocks b(kWidth, kLines, kBlocks);
    ASSERT_EQ(api.ScanM(handle, &b.param), 1) << lastCode();
    waitBlocks(kBlocks);
    EXPECT_EQ(countWord(kBlockScanWord), 3);
    for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(b.data[i], block(i)) << "block " << i;
    for (std::uint32_t i = 3; i < kBlocks; ++i)
      EXPECT_TRUE(std::all_of(b.data[i].begin(), b.data[i].end(),
                              [&](std::uint16_t v) { return v == k.fill; }))
          << "block " << i << " " << b.data[i][0];
  }
}

TEST_F(ScanTest, ScannerErrorBetweenBlocksEndsTheScan) {
  openForBlocks();
  // The first block comes, then the reader reports an error (condition bit 7).
  cr.arm(sim::Fault{sim::Fault::Kind::ErrorInterrupt, 128, 0x4003, 0, 1});
  Blocks b(kWidth, kLines, kBlocks);
  ASSERT_EQ(api.ScanM(handle, &b.param), 1) << lastCode();
  ASSERT_TRUE(eventually([&] { return countWord(0x100 | 36) >= 1; }));
  // No more blocks are asked for and none is filled by the mask.
  ASSERT_TRUE(eventually([&] {
    int done = -1;
    api.GetScanStatusM(handle, &done);
    return done == 1;
  }));
  // The next scan waits for the reader to have ended, so its count is final.
  devapi::ScanCondition c{};
  api.GetCondition(handle, &c);
  EXPECT_EQ(countWord(kBlockScanWord), 1);
  EXPECT_EQ(b.data[1][0], 0x1234);
  EXPECT_EQ(b.data[9][0], 0x1234);
}

TEST_F(ScanTest, WrongBlockHeightIsRefusedAsIncorrectParameter) {
  openForBlocks();
  Blocks b(kWidth, kLines + 1, 2);
  EXPECT_EQ(api.ScanM(handle, &b.param), 0);
  EXPECT_EQ(lastCode(), 513);
  EXPECT_EQ(errorText(), "Incorrect or invalid parameter is passed");
  EXPECT_TRUE(commands().empty());
  Blocks small(kWidth, kLines, 2);
  small.param.buff_sz -= 1;
  EXPECT_EQ(api.ScanM(handle, &small.param), 0);
  EXPECT_EQ(lastCode(), 513);
  Blocks missing(kWidth, kLines, 2);
  missing.pointers[1] = nullptr;
  EXPECT_EQ(api.ScanM(handle, &missing.param), 0);
  Blocks narrow(kWidth, kLines, 2);
  narrow.param.pixel_bit_n = 8;
  api.ClearHardError(handle);
  EXPECT_EQ(api.ScanM(handle, &narrow.param), 0);
  EXPECT_EQ(lastCode(), 513);
  EXPECT_TRUE(commands().empty());
}

TEST_F(ScanTest, CancelIsSentAfterTheCurrentBlockAndEndsTheScan) {
  openForBlocks();
  // Slow blocks, so the cancel arrives while the first one is being read.
  cr.setRateLimit(4000);
  Blocks b(kWidth, kLines, kBlocks);
  ASSERT_EQ(api.ScanM(handle, &b.param), 1) << lastCode();
  ASSERT_TRUE(eventually([&] { return countWord(kBlockScanWord) == 1; }));
  EXPECT_EQ(api.Cancel(handle), 1);
  // Cancel waited for the reader: everything is on the wire now.
  EXPECT_EQ(countWord(kCancelWord), 1);
  EXPECT_EQ(countWord(kBlockScanWord), 1);
  const auto log = commands();
  EXPECT_EQ(log.back().word, kCancelWord);
  int done = -1;
  EXPECT_EQ(api.GetScanStatusM(handle, &done), 1);
  EXPECT_EQ(done, 1);
  EXPECT_EQ(b.data[0], block(0));
}

TEST_F(ScanTest, CancelWithoutScanIsSentAtOnce) {
  openForBlocks();
  EXPECT_EQ(api.Cancel(handle), 1) << lastCode();
  EXPECT_EQ(countWord(kCancelWord), 1);
}

// The library's buffer: ZNTR_Scan, then ZNTR_ReadBuffer in chunks.
std::vector<std::uint16_t> readAll(Api& api, int handle, std::size_t samples, std::size_t chunk) {
  std::vector<std::uint16_t> out(samples);
  for (std::size_t at = 0; at < samples; at += chunk) {
    devapi::ReadBufferParam r{};
    r.first = at == 0 ? 0 : 1;
    r.length = std::uint32_t(std::min(chunk, samples - at) * 2);
    r.buffer = out.data() + at;
    if (api.ReadBuffer(handle, &r) != 1) return {};
  }
  return out;
}

TEST_F(ScanTest, LibraryBufferWithoutCorrectionsIsTheScanAndEndsThere) {
  writeSettings("EIGHT_LINE=0\n");
  openForBlocks();
  setCondition(condition(kWidth, 60, 1000, 16));
  ASSERT_EQ(api.Scan(handle), 1) << lastCode();
  const auto image = readAll(api, handle, std::size_t(kWidth) * 60, 200);
  EXPECT_EQ(image, expectedLines(0, 60));
  std::uint32_t lines = 0;
  EXPECT_EQ(api.GetScanStatus(handle, &lines), 1);
  EXPECT_EQ(lines, 60u);
  std::uint16_t more[4];
  devapi::ReadBufferParam r{1, {}, sizeof more, more};
  EXPECT_EQ(api.ReadBuffer(handle, &r), 0);
  EXPECT_EQ(lastCode(), 513);
}

TEST_F(ScanTest, LibraryBufferInSplitBlocksIsCorrectedOnce) {
  writeSettings("SPLIT_FLAG=1\nSPLIT_LINE=16\n");
  openForBlocks(0x100C);
  setCondition(condition(kWidth, 64, 1000, 12));
  ASSERT_EQ(api.Scan(handle), 1) << lastCode();
  const auto image = readAll(api, handle, std::size_t(kWidth) * 64, 320);
  ASSERT_FALSE(image.empty()) << lastCode();
  EXPECT_EQ(countWord(kBlockScanWord), 4);

  // The same corrections over the same samples, here.
  std::vector<std::uint16_t> want;
  for (std::uint32_t i = 0; i < 4; ++i) {
    const auto part = expectedLines(i * 16, 16);
    want.insert(want.end(), part.begin(), part.end());
  }
  const auto raw = want;
  std::uint16_t* blocks[1] = {want.data()};
  zentrac::Corrections corrections;
  zentrac::ScanContext context;
  const auto p = cr.scanParameters();
  context.outBitDepth = 12;
  context.option1 = p[10];
  context.option2 = p[11];
  context.scanPitch = p[0];
  ASSERT_EQ(corrections.apply({blocks, 1, 64, kWidth}, 64, context),
            zentrac::CorrectionOutcome::Corrected);
  EXPECT_NE(want, raw);  // the radiograph's noise gives the line correction work
  EXPECT_EQ(image, want);
}

TEST_F(ScanTest, EightLineCorrectsTheCallersBlocksInPlace) {
  openForBlocks(0x100C);
  Blocks b(kWidth, kLines, 3);
  b.param.out_bit_depth = 12;
  ASSERT_EQ(api.ScanM(handle, &b.param), 1) << lastCode();
  waitBlocks(3);
  auto want = b.data;
  std::vector<std::uint16_t*> pointers;
  for (auto& d : want) pointers.push_back(d.data());
  zentrac::Corrections corrections;
  zentrac::ScanContext context;
  const auto p = cr.scanParameters();
  context.outBitDepth = 12;
  context.option1 = p[10];
  context.option2 = p[11];
  context.scanPitch = p[0];
  ASSERT_EQ(corrections.apply({pointers.data(), 3, kLines, kWidth}, 3 * kLines, context),
            zentrac::CorrectionOutcome::Corrected);
  ASSERT_EQ(api.EightLine(handle, &b.param), 1) << lastCode();
  EXPECT_EQ(b.data, want);

  b.param.out_bit_depth = 11;
  EXPECT_EQ(api.EightLine(handle, &b.param), 0);
  EXPECT_EQ(lastCode(), 513);
  b.param.out_bit_depth = 12;
  b.param.buff_sz = kWidth * kLines * 3 - 1;
  EXPECT_EQ(api.EightLine(handle, &b.param), 0);
}

TEST_F(ScanTest, EightLineOffLeavesTheBlocksAlone) {
  writeSettings("EIGHT_LINE=0\n");
  openForBlocks();
  Blocks b(kWidth, kLines, 2);
  for (std::size_t i = 0; i < b.data[0].size(); ++i) b.data[0][i] = std::uint16_t(i * 31 % 4000);
  const auto before = b.data;
  EXPECT_EQ(api.EightLine(handle, &b.param), 1);
  EXPECT_EQ(b.data, before);
}

}  // namespace
}  // namespace zentrac_test

namespace zentrac_test {
namespace {

TEST_F(ScanTest, PlateEndingEarlyInTheLibraryBufferCorrectsOnlyTheValidLines) {
  writeSettings("SPLIT_FLAG=1\nSPLIT_LINE=16\n");
  // Every column counts, so that filled lines inside the box would show.
  std::string hard;
  for (const char* section : {"HighspeedPara_M1", "StandradPara_M2", "FinePara_M3"})
    hard += std::string("[") + section + "]\nDELTA=5000\n";
  writeHardSettings(hard);
  openForBlocks(0x100C);
  setCondition(condition(kWidth, 64, 1000, 12));
  // A fill near the image's level, so that lines of it inside the box would
  // change the corrections; the settings are read again at the next open.
  const auto scanned = expectedLines(0, 48);
  std::uint64_t sum = 0;
  for (auto v : scanned) sum += v;
  const std::uint16_t fill = std::uint16_t(sum / scanned.size() + 5);
  writeSettings("SPLIT_FLAG=1\nSPLIT_LINE=16\nMASK_DATA=" + std::to_string(fill << 4) + "\n");
  ASSERT_EQ(open(), 1);
  cr.endPlateAfter(3);
  ASSERT_EQ(api.Scan(handle), 1) << lastCode();
  const auto image = readAll(api, handle, std::size_t(kWidth) * 64, 320);
  ASSERT_FALSE(image.empty()) << lastCode();
  EXPECT_EQ(countWord(kBlockScanWord), 3);

  std::vector<std::uint16_t> want;
  for (std::uint32_t i = 0; i < 3; ++i) {
    const auto part = expectedLines(i * 16, 16);
    want.insert(want.end(), part.begin(), part.end());
  }
  want.resize(std::size_t(kWidth) * 64, fill);
  auto whole = want;
  std::uint16_t* blocks[1] = {want.data()};
  std::uint16_t* wholeBlocks[1] = {whole.data()};
  zentrac::Corrections corrections(zentrac::loadHardParams(dir.path() / "Zentrac_Hard.ini"));
  zentrac::ScanContext context;
  const auto p = cr.scanParameters();
  context.outBitDepth = 12;
  context.option1 = p[10];
  context.option2 = p[11];
  context.scanPitch = p[0];
  ASSERT_EQ(corrections.apply({blocks, 1, 64, kWidth}, 48, context),
            zentrac::CorrectionOutcome::Corrected);
  ASSERT_EQ(corrections.apply({wholeBlocks, 1, 64, kWidth}, 64, context),
            zentrac::CorrectionOutcome::Corrected);
  ASSERT_NE(whole, want);  // correcting the filled lines as well would show
  EXPECT_EQ(image, want);
}

TEST_F(ScanTest, CancelDuringOneCommandScanIsSentWhenTheCommandReturns) {
  writeSettings("EIGHT_LINE=0\n");
  openForBlocks();
  setCondition(condition(kWidth, 60, 1000, 16));
  cr.setRateLimit(8000);
  ASSERT_EQ(api.Scan(handle), 1) << lastCode();
  ASSERT_TRUE(eventually([&] { return countWord(kBlockScanWord) == 1; }));
  EXPECT_EQ(api.Cancel(handle), 1);
  EXPECT_EQ(countWord(kCancelWord), 0);  // not while the scan command runs
  // The whole image still arrives, then the held cancel goes out.
  const auto image = readAll(api, handle, std::size_t(kWidth) * 60, 600);
  EXPECT_EQ(image, expectedLines(0, 60));
  ASSERT_TRUE(eventually([&] { return countWord(kCancelWord) == 1; }));
  EXPECT_EQ(commands().back().word, kCancelWord);
}

TEST_F(ScanTest, ScanIntoTheCallersBufferNeedsRoomForTheWholeImage) {
  openForBlocks();
  setCondition(condition(kWidth, 30, 1000, 16));
  std::vector<std::uint16_t> buffer(std::size_t(kWidth) * 30, 0x1234);
  devapi::ScanBufferParam small{std::uint32_t(buffer.size() * 2 - 2), buffer.data()};
  EXPECT_EQ(api.ScanEx(handle, &small), 0);
  EXPECT_EQ(lastCode(), 513);
  devapi::ScanBufferParam whole{std::uint32_t(buffer.size() * 2), buffer.data()};
  ASSERT_EQ(api.ScanEx(handle, &whole), 1) << lastCode();
  int bytes = 0;
  ASSERT_TRUE(eventually([&] {
    api.GetScanStatusEx(handle, &bytes);
    return bytes == int(buffer.size() * 2);
  })) << bytes;
  // The next scan call waits for the reader; a refused one changes nothing.
  EXPECT_EQ(api.ScanEx(handle, &small), 0);
  EXPECT_EQ(buffer, expectedLines(0, 30));
}

}  // namespace
}  // namespace zentrac_test

namespace zentrac_test {
namespace {

// Two block scans from two threads on one object: the second waits for the
// first one's reader, and both plates arrive whole.
TEST_F(ScanTest, BlockScansFromTwoThreadsRunOneAfterTheOther) {
  openForBlocks();
  Blocks first(kWidth, kLines, 3), second(kWidth, kLines, 3);
  int results[2] = {-1, -1};
  std::thread a([&] { results[0] = api.ScanM(handle, &first.param); });
  std::thread b([&] { results[1] = api.ScanM(handle, &second.param); });
  a.join();
  b.join();
  EXPECT_EQ(results[0], 1);
  EXPECT_EQ(results[1], 1);
  ASSERT_TRUE(eventually([&] { return countWord(kBlockScanWord) == 6; }));
  waitBlocks(3);
  for (std::uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(first.data[i], block(i)) << "block " << i;
    EXPECT_EQ(second.data[i], block(i)) << "block " << i;
  }
}

TEST_F(ScanTest, DeleteDuringABlockScanWaitsForTheReader) {
  openForBlocks();
  cr.setRateLimit(8000);
  Blocks b(kWidth, kLines, 3);
  ASSERT_EQ(api.ScanM(handle, &b.param), 1) << lastCode();
  ASSERT_TRUE(eventually([&] { return countWord(kBlockScanWord) == 1; }));
  EXPECT_EQ(api.Delete(handle), 1);
  EXPECT_EQ(api.Init(1), 0);
  // Delete waited for the reader, which finished the block it was reading.
  EXPECT_EQ(b.data[0], block(0));
}

}  // namespace
}  // namespace zentrac_test

namespace zentrac_test {
namespace {

TEST_F(ScanTest, ImageBeyondTheBufferLimitIsRefusedBeforeAnyScan) {
  openForBlocks();
  // 25,000 x 25,000 samples: 1.25 GB, within what one command carries.
  setCondition(condition(750, 750, 30, 16));
  cr.clearLog();
  EXPECT_EQ(api.Scan(handle), 0);
  EXPECT_EQ(lastCode(), 521);
  EXPECT_EQ(countWord(kBlockScanWord), 0);
  std::uint32_t lines = 1;
  EXPECT_EQ(api.GetScanStatus(handle, &lines), 0);
  EXPECT_EQ(lines, 0u);
}

}  // namespace
}  // namespace zentrac_test

namespace zentrac_test {
namespace {

TEST_F(ScanTest, BlockRefusedByTheScannerLeavesItsCodeForTheQueries) {
  openForBlocks();
  cr.arm(sim::Fault{sim::Fault::Kind::StatusError, 128, 0x200D, 0, 1});
  Blocks b(kWidth, kLines, 3);
  ASSERT_EQ(api.ScanM(handle, &b.param), 1) << lastCode();
  ASSERT_TRUE(eventually([&] { return lastCode() != 0; }));
  int done = -1;
  EXPECT_EQ(api.GetScanStatusM(handle, &done), 0);
  EXPECT_EQ(done, 0);
  EXPECT_EQ(countWord(kBlockScanWord), 1);
  EXPECT_EQ(lastCode(), 0x200D);
  devapi::DeviceErrorString s{};
  ASSERT_EQ(api.GetErrorString(&s), 1);
  EXPECT_EQ(s.code, 0x200D);
  // A failed block is no early plate end: nothing is filled.
  EXPECT_EQ(b.data[1][0], 0x1234);
}

}  // namespace
}  // namespace zentrac_test

namespace zentrac_test {
namespace {

// A plate of the whole step wedge (ten 25 mm steps across 260 mm, 40 lines at
// 1 mm) scanned in two blocks with the reader's output form set by the
// photometric word, as the engine sends it.
class DepthTest : public ScanTest {
 protected:
  struct Case {
    std::uint32_t word;
    std::uint8_t depth;
    std::uint16_t ceiling;
  };
  void SetUp() override {
    ScanTest::SetUp();
    load();
    ASSERT_EQ(open(), 1);
    // The reader's range of optical density, as the engine passes it on.
    devapi::ScanCondition c = condition(260, 20, 1000, 16);
    c.od_max = 40;
    setCondition(c);
  }
  void scan(const Case& k, Blocks& b) {
    devapi::KtGOption o{};
    o.ScanOption = k.word << 16;
    ASSERT_EQ(api.SetOption(handle, &o), 1) << lastCode();
    devapi::ScanCondition back{};
    ASSERT_EQ(api.GetCondition(handle, &back), 1) << lastCode();
    EXPECT_EQ(back.out_bit_depth, k.depth);
    b.param.out_bit_depth = k.depth;
    ASSERT_EQ(api.ScanM(handle, &b.param), 1) << lastCode();
    waitBlocks(2);
  }
};

// The library reports the depth and the samples stay within it (16-bit words
// carry the reader's 14 bits until the table conversion).
TEST_F(DepthTest, PhotometricWordSetsTheDepthOfTheSamples) {
  const Case cases[] = {{0, 12, 4095},  {1, 12, 4095},  {2, 14, 16383},
                        {3, 14, 16383}, {4, 16, 16383}, {5, 16, 16383}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.word);
    Blocks b(260, 20, 2);
    ASSERT_NO_FATAL_FAILURE(scan(k, b));
    std::uint16_t top = 0;
    for (const auto& block : b.data) top = std::max(top, *std::max_element(block.begin(), block.end()));
    EXPECT_LE(top, k.ceiling);
    EXPECT_GT(top, k.ceiling / 2) << "the samples use the depth's range";
  }
}

// The reader's own plate, corrected as the engine corrects it, keeps its
// structure: few samples at the ceiling, the wedge's steps still in order,
// falling where the photometric word has the reader invert its samples.
TEST_F(DepthTest, CorrectedPlateKeepsItsStepWedge) {
  const struct {
    Case k;
    bool inverted;
  } cases[] = {{{1, 12, 4095}, true}, {{4, 16, 65535}, true}, {{0, 12, 4095}, false}, {{5, 16, 65535}, false}};
  for (const auto& [k, inverted] : cases) {
    SCOPED_TRACE(k.word);
    Blocks b(260, 20, 2);
    ASSERT_NO_FATAL_FAILURE(scan(k, b));
    ASSERT_EQ(api.EightLine(handle, &b.param), 1) << lastCode();
    std::size_t atCeiling = 0, samples = 0;
    for (const auto& block : b.data)
      for (auto v : block) atCeiling += v == k.ceiling, ++samples;
    EXPECT_LT(atCeiling * 100, samples) << atCeiling << " of " << samples << " at the ceiling";
    // Mean of each step over both blocks, away from its edges.
    double previous = inverted ? k.ceiling + 1.0 : -1.0;
    for (int step = 0; step < 10; ++step) {
      double sum = 0;
      int n = 0;
      for (const auto& block : b.data)
        for (int y = 0; y < 20; ++y)
          for (int x = step * 25 + 3; x < step * 25 + 22; ++x, ++n) sum += block[std::size_t(y) * 260 + x];
      const double mean = sum / n;
      if (inverted) {
        EXPECT_LT(mean, previous) << "step " << step;
      } else {
        EXPECT_GT(mean, previous) << "step " << step;
      }
      EXPECT_LT(mean, 0.95 * k.ceiling) << "step " << step;
      previous = mean;
    }
  }
}

}  // namespace
}  // namespace zentrac_test
