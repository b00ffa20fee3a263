// The cancel that cannot pass a running scan command: held back while the
// reader's command runs, sent right after it, exactly once.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "devapi/film/tests/brightel_fixture.h"
#include "platform/clock.h"

namespace brightel_test {
namespace {

class CancelTest : public BrightelTest {
 protected:
  void SetUp() override {
    BrightelTest::SetUp();
    ASSERT_EQ(open(), 1);
  }
  void setCondition(std::uint32_t widthMm, std::uint32_t heightMm) {
    const auto c = condition(widthMm, heightMm, 100, 12);
    ASSERT_EQ(api.SetCondition(handle, &c), 1) << lastCode();
  }
  bool readAll(std::size_t bytes) {
    std::vector<std::uint8_t> image(bytes);
    devapi::ReadBufferParam p{};
    p.length = std::uint32_t(bytes);
    p.buffer = image.data();
    return api.ReadBuffer(handle, &p) == 1;
  }
  std::size_t count(std::uint16_t word) const {
    const auto all = commands();
    return std::size_t(std::count_if(all.begin(), all.end(),
                                     [word](const sim::LogEntry& e) { return e.word == word; }));
  }
};

TEST_F(CancelTest, BeforeAnyScanTheCancelIsSentAtOnce) {
  film.clearLog();
  ASSERT_EQ(api.Cancel(handle), 1);
  const auto sent = commands();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].word, kCancelWord);
  ASSERT_GE(sent[0].bytes.size(), 10u);
  EXPECT_EQ(sent[0].bytes[8] | sent[0].bytes[9] << 8, 1) << "the cancel value";
}

TEST_F(CancelTest, DuringAScanTheCancelFollowsTheScanWithNothingBetween) {
  setCondition(100, 100);  // 2 MB
  film.setRateLimit(2'000'000);  // about a second, well past the check below even under sanitizers
  film.clearLog();
  ASSERT_EQ(api.Scan(handle), 1);
  // Wait until the scan command is on the wire.
  eventually([&] { return count(kScanWord) > 0; });
  ASSERT_EQ(count(kScanWord), 1u);
  ASSERT_EQ(api.Cancel(handle), 1);
  EXPECT_EQ(count(kCancelWord), 0u) << "Cancel waited for the scan instead of returning";
  std::uint32_t lines = 0;
  api.GetScanStatus(handle, &lines);
  EXPECT_LT(lines, 1000u) << "the scan had already ended; the test proves nothing";

  ASSERT_TRUE(readAll(1000 * 1000 * 2));
  const auto sent = commands();
  const auto scan = std::find_if(sent.begin(), sent.end(),
                                 [](const sim::LogEntry& e) { return e.word == kScanWord; });
  ASSERT_NE(scan, sent.end());
  ASSERT_NE(scan + 1, sent.end()) << "no cancel was sent";
  EXPECT_EQ((scan + 1)->word, kCancelWord) << (scan + 1)->describe();
  EXPECT_EQ(count(kCancelWord), 1u);
  // The status block of the scan came before the cancel command.
  const auto all = film.log();
  std::uint64_t scanStatus = 0, cancelAt = 0;
  for (const auto& e : all) {
    if (e.kind == sim::LogEntry::Kind::Status && e.word == (kScanWord | 0x2000)) scanStatus = e.timeUs;
    if (e.kind == sim::LogEntry::Kind::Command && e.word == kCancelWord) cancelAt = e.timeUs;
  }
  EXPECT_GT(scanStatus, 0u);
  EXPECT_LE(scanStatus, cancelAt) << "the cancel overtook the scan";
}

TEST_F(CancelTest, ACancelAfterTheScanEndedIsSentAtOnce) {
  setCondition(20, 10);
  ASSERT_EQ(api.Scan(handle), 1);
  // Every byte has arrived only after the reader's command returned.
  ASSERT_TRUE(readAll(200 * 100 * 2));
  film.clearLog();
  ASSERT_EQ(api.Cancel(handle), 1);
  EXPECT_EQ(count(kCancelWord), 1u) << "a cancel after the scan was held back and lost";
}

// Cancels timed all around the end of a scan: before the command returns,
// as it returns, after the reader ended. Every one reaches the scanner once.
TEST_F(CancelTest, TwoHundredCancelsAtTheScansEndLoseNone) {
  setCondition(10, 10);  // 100 x 100, 20 kB
  film.clearLog();
  int accepted = 0;
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(api.Scan(handle), 1) << i;
    // Spread the cancel over the scan's last moments.
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds((i % 20) * 50);
    while (std::chrono::steady_clock::now() < until) std::this_thread::yield();
    accepted += api.Cancel(handle);
    ASSERT_TRUE(readAll(100 * 100 * 2)) << i << ": code " << lastCode();
  }
  EXPECT_EQ(accepted, 200);
  ASSERT_EQ(api.Delete(handle), 1);  // the last reader has finished
  EXPECT_EQ(count(kScanWord), 200u);
  EXPECT_EQ(count(kCancelWord), 200u);
}

}  // namespace
}  // namespace brightel_test
