// Scans into the library's buffer read chunk by chunk, and the other scan forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "devapi/film/tests/brightel_fixture.h"
#include "platform/clock.h"
#include "simulator/radiograph.h"

namespace brightel_test {
namespace {

class ScanTest : public BrightelTest {
 protected:
  void setCondition(std::uint32_t widthMm, std::uint32_t heightMm, std::uint16_t pitch,
                    std::uint8_t bits) {
    ASSERT_EQ(open(), 1);
    const auto c = condition(widthMm, heightMm, pitch, bits);
    ASSERT_EQ(api.SetCondition(handle, &c), 1) << lastCode();
  }
  int read(std::uint8_t* to, std::uint32_t length, bool first) {
    devapi::ReadBufferParam p{};
    p.first = first ? 0 : 1;
    p.length = length;
    p.buffer = to;
    return api.ReadBuffer(handle, &p);
  }
};

TEST_F(ScanTest, TwelveBitScanReadInChunksEqualsTheScannersImage) {
  setCondition(100, 200, 100, 12);  // 1000 x 2000 pixels
  const std::vector<std::uint8_t> expected = expectedImage(5);
  ASSERT_EQ(expected.size(), 4000000u);
  ASSERT_EQ(api.Scan(handle), 1);
  std::vector<std::uint8_t> image(expected.size());
  for (int chunk = 0; chunk < 2000; ++chunk)
    ASSERT_EQ(read(image.data() + chunk * 2000, 2000, chunk == 0), 1) << "chunk " << chunk;
  EXPECT_TRUE(image == expected) << "the delivered image differs from the scanned one";
  std::uint32_t lines = 0;
  EXPECT_EQ(api.GetScanStatus(handle, &lines), 1);
  EXPECT_EQ(lines, 2000u);
  int bytes = 0;
  EXPECT_EQ(api.GetScanStatusA(handle, &bytes), 1);
  EXPECT_EQ(bytes, 4000016);

  // Past the end of the finished scan.
  std::uint8_t more[2];
  EXPECT_EQ(read(more, 2, false), 0);
  EXPECT_EQ(lastCode(), 513);
}

TEST_F(ScanTest, FirstZeroRereadsFromTheStartAndTheScanCalibratesFirst) {
  setCondition(20, 10, 100, 12);
  film.clearLog();
  ASSERT_EQ(api.Scan(handle), 1);
  const std::vector<std::uint8_t> expected = expectedImage(5);
  std::vector<std::uint8_t> whole(expected.size()), again(expected.size());
  ASSERT_EQ(read(whole.data(), std::uint32_t(whole.size()), true), 1);
  ASSERT_EQ(read(again.data(), std::uint32_t(again.size()), true), 1);
  EXPECT_TRUE(whole == expected);
  EXPECT_TRUE(again == expected);
  std::vector<std::uint16_t> words;
  for (const auto& e : commands()) words.push_back(e.word);
  EXPECT_EQ(words, (std::vector<std::uint16_t>{4, kScanWord})) << "calibrate, then scan";
}

TEST_F(ScanTest, EightBitScanDeliversTheLowBytes) {
  setCondition(30, 20, 100, 8);  // 300 x 200
  ASSERT_EQ(api.Scan(handle), 1);
  const std::vector<std::uint8_t> samples = expectedImage(5);  // two bytes per sample
  ASSERT_EQ(samples.size(), 300u * 200 * 2);
  std::vector<std::uint8_t> image(300 * 200);
  for (int line = 0; line < 200; ++line)
    ASSERT_EQ(read(image.data() + line * 300, 300, line == 0), 1);
  for (std::size_t i = 0; i < image.size(); ++i)
    ASSERT_EQ(image[i], samples[2 * i]) << "sample " << i;
}

TEST_F(ScanTest, ReadBufferIsRefusedAfterAScanIntoCallerMemory) {
  setCondition(20, 10, 100, 12);
  std::uint8_t one[2];
  EXPECT_EQ(read(one, 2, true), 0) << "no scan yet";
  EXPECT_EQ(lastCode(), 513);
  const std::vector<std::uint8_t> expected = expectedImage(128);
  std::vector<std::uint8_t> buffer(expected.size());
  devapi::ScanBufferParam param{std::uint32_t(buffer.size()), buffer.data()};
  ASSERT_EQ(api.ScanEx(handle, &param), 1);
  int count = 0;
  eventually([&] { api.GetScanStatusEx(handle, &count); return count >= int(buffer.size()); });
  ASSERT_EQ(count, int(buffer.size()));
  ASSERT_EQ(api.ClearHardError(handle), 1);
  EXPECT_EQ(read(one, 2, true), 0) << "ScanEx does not fill the library's buffer";
  EXPECT_EQ(lastCode(), 513);
  EXPECT_TRUE(buffer == expected);
}

TEST_F(ScanTest, ScanIntoCallerMemoryCarriesTheHeader) {
  setCondition(20, 10, 100, 12);
  const std::vector<std::uint8_t> expected = expectedImage(5);
  const std::vector<std::uint8_t> header = sim::scanHeader(film.scanParameters());
  std::vector<std::uint8_t> buffer(expected.size() + 16);
  devapi::ScanBufferParam tooSmall{std::uint32_t(buffer.size() - 1), buffer.data()};
  EXPECT_EQ(api.ScanA(handle, &tooSmall), 0);
  EXPECT_EQ(lastCode(), 513);
  devapi::ScanBufferParam param{std::uint32_t(buffer.size()), buffer.data()};
  ASSERT_EQ(api.ClearHardError(handle), 1);
  ASSERT_EQ(api.ScanA(handle, &param), 1);
  std::uint8_t none[2];
  EXPECT_EQ(read(none, 2, true), 0) << "ScanA does not read through the library's buffer";
  ASSERT_EQ(api.ClearHardError(handle), 1);
  std::uint32_t lines = 0;
  eventually([&] { api.GetScanStatus(handle, &lines); return lines >= 100; });
  EXPECT_EQ(lines, 100u);
  EXPECT_EQ(std::memcmp(buffer.data() + 2, header.data(), header.size()), 0);
  EXPECT_EQ(std::memcmp(buffer.data() + 16, expected.data(), expected.size()), 0);
}

TEST_F(ScanTest, EightBitScanWithoutHeaderRefusesAnOddWidth) {
  setCondition(20, 10, 100, 8);
  const std::vector<std::uint8_t> expected = expectedImage(128);
  ASSERT_EQ(expected.size(), 200u * 100);
  std::vector<std::uint8_t> buffer(expected.size());
  devapi::ScanBufferParam small{std::uint32_t(buffer.size() - 1), buffer.data()};
  EXPECT_EQ(api.ScanEx(handle, &small), 0);
  EXPECT_EQ(lastCode(), 513);
  devapi::ScanBufferParam param{std::uint32_t(buffer.size()), buffer.data()};
  ASSERT_EQ(api.ScanEx(handle, &param), 1);
  int count = 0;
  eventually([&] { api.GetScanStatusEx(handle, &count); return count >= int(buffer.size()); });
  EXPECT_EQ(count, int(buffer.size()));
  EXPECT_TRUE(buffer == expected);
}

TEST_F(ScanTest, MultiBlockScanFillsTheCallersBlocks) {
  setCondition(20, 10, 100, 12);  // 200 x 100 per block
  const std::vector<std::uint16_t> p = film.scanParameters();
  const std::vector<std::uint8_t> expected =
      sim::radiograph(sim::scanImageSpec(p, 129, 0, 300, 0));  // three blocks of 100 lines
  const std::size_t perBlock = 200 * 100 * 2;
  ASSERT_EQ(expected.size(), 3 * perBlock);
  std::vector<std::vector<std::uint16_t>> blocks(3, std::vector<std::uint16_t>(perBlock / 2));
  std::uint16_t* list[3] = {blocks[0].data(), blocks[1].data(), blocks[2].data()};
  devapi::BlockScanParam param{};
  param.buff_sz = std::uint32_t(3 * perBlock);
  param.buff_pp = list;
  param.pix_w = 200;
  param.pix_h = 100;
  param.out_bit_depth = 12;
  param.pixel_bit_n = 12;
  param.block_size = 3;
  param.calib_flag = 1;

  devapi::BlockScanParam wrong = param;
  wrong.pix_h = 99;
  EXPECT_EQ(api.ScanM(handle, &wrong), 0);
  EXPECT_EQ(lastCode(), 513);
  wrong = param;
  wrong.buff_sz -= 1;
  EXPECT_EQ(api.ScanM(handle, &wrong), 0);
  wrong = param;
  wrong.block_size = 0;
  EXPECT_EQ(api.ScanM(handle, &wrong), 0);
  wrong = param;
  wrong.buff_pp = nullptr;
  EXPECT_EQ(api.ScanM(handle, &wrong), 0);
  ASSERT_EQ(api.ClearHardError(handle), 1);

  ASSERT_EQ(api.ScanM(handle, &param), 1);
  int done = 0;
  eventually([&] { api.GetScanStatusM(handle, &done); return done >= 3; });
  EXPECT_EQ(done, 3);
  for (int b = 0; b < 3; ++b)
    EXPECT_EQ(std::memcmp(blocks[b].data(), expected.data() + b * perBlock, perBlock), 0)
        << "block " << b;
}

TEST_F(ScanTest, AFailedScanLeavesItsCodeAndReadBufferFails) {
  setCondition(20, 10, 100, 12);
  film.arm(sim::Fault{sim::Fault::Kind::StatusError, 5, 0x4121, 0, 1});
  ASSERT_EQ(api.Scan(handle), 1);
  std::vector<std::uint8_t> image(200 * 100 * 2);
  EXPECT_EQ(read(image.data(), std::uint32_t(image.size()), true), 0);
  EXPECT_EQ(lastCode(), 0x4121);
}

TEST_F(ScanTest, AnImageBeyondWhatTheDriverCarriesIsRefusedBeforeAnything) {
  setCondition(60000, 60000, 1000, 12);  // 60000 x 60000 samples: 7.2 GB
  film.clearLog();
  EXPECT_EQ(api.Scan(handle), 0);
  EXPECT_EQ(lastCode(), 513);
  std::vector<std::uint8_t> small(16);
  devapi::ScanBufferParam param{std::uint32_t(small.size()), small.data()};
  EXPECT_EQ(api.ScanEx(handle, &param), 0);
  EXPECT_EQ(api.ScanA(handle, &param), 0);
  EXPECT_TRUE(commands().empty()) << commands().front().describe();
}

TEST_F(ScanTest, DeleteDuringAScanWaitsForTheReader) {
  setCondition(100, 100, 100, 12);  // 2 MB: progress callbacks every MiB
  film.setRateLimit(20'000'000);
  ASSERT_EQ(api.Scan(handle), 1);
  EXPECT_EQ(api.Delete(handle), 1);
  // The object and its buffer are gone; a new open works on a fresh one.
  ASSERT_EQ(open(), 1);
  std::uint32_t lines = 7;
  EXPECT_EQ(api.GetScanStatus(handle, &lines), 1);
  EXPECT_EQ(lines, 0u);
}

// Scans and deletes from several threads at once: the reader thread of one
// scan is never joined by one caller while another starts the next.
TEST_F(ScanTest, ScansFromTwoThreadsRunOneAfterTheOther) {
  setCondition(20, 10, 100, 12);
  film.clearLog();
  int results[2] = {-1, -1};
  std::thread first([&] { results[0] = api.Scan(handle); });
  std::thread second([&] { results[1] = api.Scan(handle); });
  first.join();
  second.join();
  EXPECT_EQ(results[0], 1);
  EXPECT_EQ(results[1], 1);
  const std::vector<std::uint8_t> expected = expectedImage(5);
  std::vector<std::uint8_t> image(expected.size());
  ASSERT_EQ(read(image.data(), std::uint32_t(image.size()), true), 1);
  EXPECT_TRUE(image == expected);
  const auto sent = commands();
  EXPECT_EQ(std::count_if(sent.begin(), sent.end(), [](const sim::LogEntry& e) { return e.word == kScanWord; }),
            2);
}

TEST_F(ScanTest, DeleteRacingAScanLeavesNoReaderBehind) {
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    setCondition(20, 10, 100, 12);
    int deleted = -1;
    std::thread scan([&] { api.Scan(handle); });
    std::thread remove([&] { deleted = api.Delete(handle); });
    scan.join();
    remove.join();
    EXPECT_EQ(deleted, 1);
  }
  // A fresh object scans as ever.
  setCondition(20, 10, 100, 12);
  ASSERT_EQ(api.Scan(handle), 1);
  const std::vector<std::uint8_t> expected = expectedImage(5);
  std::vector<std::uint8_t> image(expected.size());
  ASSERT_EQ(read(image.data(), std::uint32_t(image.size()), true), 1);
  EXPECT_TRUE(image == expected);
}

}  // namespace
}  // namespace brightel_test
