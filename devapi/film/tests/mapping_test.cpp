// Conditions and options: what the caller gives, the 15 words the scanner
// receives, and what the caller reads back.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "devapi/film/tests/brightel_fixture.h"

namespace brightel_test {
namespace {

struct MappingCase {
  const char* name;
  devapi::ScanCondition condition;
  bool accepted;
  std::array<std::uint16_t, 12> words;  // the first twelve words; Option3 on are the device's
  // What GetCondition reports back.
  std::uint32_t xStart, yStart, pixW, pixH;
};

devapi::ScanCondition make(std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h,
                           std::uint16_t pitch, std::uint8_t bits, std::uint8_t out,
                           std::uint8_t mode = 0, std::uint8_t feeder = 0, std::uint8_t roll = 0,
                           std::uint8_t odMin = 0, std::uint8_t odMax = 0) {
  devapi::ScanCondition c{};
  c.x_start = x;
  c.y_start = y;
  c.width = w;
  c.height = h;
  c.pitch = pitch;
  c.pixel_bit_n = bits;
  c.out_bit_depth = out;
  c.mode = mode;
  c.auto_feeder = feeder;
  c.roll_film = roll;
  c.od_min = odMin;
  c.od_max = odMax;
  return c;
}

TEST_F(BrightelTest, ConditionMappingTable) {
  const MappingCase cases[] = {
      {"1 mm square at pitch 200, 12 bits", make(0, 0, 1, 1, 200, 12, 12), true,
       {200, 0, 0, 5, 5, 0x0C0C, 1, 1, 0, 0, 0, 0}, 0, 0, 5, 5},
      {"1 mm square at pitch 200, 8 bits: odd sizes rounded up", make(0, 0, 1, 1, 200, 8, 8), true,
       {200, 0, 0, 6, 6, 0x0808, 1, 1, 0, 0, 0, 0}, 0, 0, 6, 6},
      {"1001 x 2001 pixels at 8 bits become 1002 x 2002", make(0, 0, 1001, 2001, 1000, 8, 8), true,
       {1000, 0, 0, 1002, 2002, 0x0808, 1001, 2001, 0, 0, 0, 0}, 0, 0, 1002, 2002},
      {"offsets truncate, read back truncated", make(3, 7, 20, 30, 150, 12, 10, 2, 1, 1, 3, 40),
       true, {150, 20, 46, 133, 200, 0x0C0A, 20, 30, 0x0101, 0, 2, 0x0328}, 3, 6, 133, 200},
  };
  ASSERT_EQ(open(), 1);
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    ASSERT_EQ(api.SetCondition(handle, &tc.condition), 1) << lastCode();
    const std::vector<std::uint16_t> got = film.scanParameters();
    ASSERT_EQ(got.size(), 15u);
    for (std::size_t i = 0; i < tc.words.size(); ++i) {
      if (i == 9) continue;  // NumberOfLUT stays as the scanner reported it
      // Option1: the mode is the low byte, the option byte above it is kept.
      const std::uint16_t mask = i == 10 ? 0x00FF : 0xFFFF;
      EXPECT_EQ(got[i] & mask, tc.words[i]) << "word " << i + 1;
    }
    devapi::ScanCondition back;
    std::memset(&back, 0xAB, sizeof back);
    ASSERT_EQ(api.GetCondition(handle, &back), 1);
    EXPECT_EQ(back.unit, 1);
    EXPECT_EQ(back.endian, 0);
    EXPECT_EQ(back.pitch, tc.condition.pitch);
    EXPECT_EQ(back.x_start, tc.xStart);
    EXPECT_EQ(back.y_start, tc.yStart);
    EXPECT_EQ(back.width, tc.condition.width);
    EXPECT_EQ(back.height, tc.condition.height);
    EXPECT_EQ(back.pixel_bit_n, tc.condition.pixel_bit_n);
    EXPECT_EQ(back.out_bit_depth, tc.condition.out_bit_depth);
    EXPECT_EQ(back.mode, tc.condition.mode);
    EXPECT_EQ(back.auto_feeder, tc.condition.auto_feeder);
    EXPECT_EQ(back.roll_film, tc.condition.roll_film);
    EXPECT_EQ(back.od_min, tc.condition.od_min);
    EXPECT_EQ(back.od_max, tc.condition.od_max);
    EXPECT_EQ(back.img_buff_sz, 0x20000000u);
    EXPECT_EQ(back.pix_w, tc.pixW);
    EXPECT_EQ(back.pix_h, tc.pixH);
    EXPECT_EQ(back.film_sz_id, got[12] & 0xFF);
    EXPECT_EQ(back.film_w, got[13]) << "film_w must be written in full";
  }
}

TEST_F(BrightelTest, RefusedConditionsSendNothingAndKeep513) {
  ASSERT_EQ(open(), 1);
  const devapi::ScanCondition refused[] = {
      make(0, 0, 10, 10, 0, 12, 12),        // pitch 0
      make(0, 0, 70000, 10, 1000, 12, 12),  // 70000 pixels do not fit a word
      make(70000, 0, 10, 10, 1000, 12, 12),
  };
  film.clearLog();
  for (const auto& c : refused) {
    EXPECT_EQ(api.SetCondition(handle, &c), 0);
    EXPECT_EQ(lastCode(), 513);
  }
  EXPECT_EQ(api.SetCondition(handle, nullptr), 0);
  EXPECT_TRUE(commands().empty()) << commands().front().describe();
}

TEST_F(BrightelTest, SetOptionSetsTheHighByteOfOption1AndKeepsTheDeviceOutcome) {
  ASSERT_EQ(open(), 1);
  const auto c = make(0, 0, 10, 10, 100, 12, 12, /*mode*/ 2);
  ASSERT_EQ(api.SetCondition(handle, &c), 1);
  devapi::KtGOption option{};
  option.ScanOption = 0x12345A;
  ASSERT_EQ(api.SetOption(handle, &option), 1);
  EXPECT_EQ(film.scanParameters()[10], 0x5A02);

  film.arm(sim::Fault{sim::Fault::Kind::StatusError, 2, 0x2004, 0, 1});
  option.ScanOption = 0x11;
  // The object exists, so the call succeeds; the refusal is left for the error queries.
  EXPECT_EQ(api.SetOption(handle, &option), 1);
  EXPECT_EQ(lastCode(), 0x2004);
  EXPECT_EQ(film.scanParameters()[10], 0x5A02);
}

TEST(BrightelOption, MaximumDensityBySerialNumber) {
  const std::pair<std::uint16_t, std::uint16_t> cases[] = {
      {4321, 40}, {4999, 40}, {5000, 47}, {9999, 47}, {10000, 43}, {12000, 43}, {14999, 43},
      {15000, 47}, {60000, 47}};
  isolateRuntimeDir();
  for (const auto& [serial, density] : cases) {
    SCOPED_TRACE(serial);
    auto bus = std::make_shared<sim::Bus>();
    sim::DeviceConfig config = sim::filmDigitizer();
    config.serialNumber = serial;
    bus->plug(config);
    lendPort(bus);
    platform::Library library;
    Api api{};
    std::string why;
    ASSERT_TRUE(load(library, api, &why)) << why;
    devapi::DeviceNewParam param{};
    ASSERT_EQ(api.New(&param), 1);
    devapi::KtGOption option{};
    option.scanner_condition = 0x7777;
    ASSERT_EQ(api.GetOption(param.handle, &option), 1);
    EXPECT_EQ(option.od_Max, density);
    EXPECT_EQ(option.SerialNumber, serial);
    EXPECT_EQ(option.scanner_condition, 0x7777) << "not written";
    EXPECT_EQ(api.Delete(param.handle), 1);
  }
  lendPort(nullptr);
}

TEST_F(BrightelTest, LookUpTableNeedsType2And4096Entries) {
  ASSERT_EQ(open(), 1);
  std::vector<std::uint16_t> lut(4096);
  for (std::size_t i = 0; i < lut.size(); ++i) lut[i] = std::uint16_t(4095 - i);
  film.clearLog();
  devapi::TableParam shortTable{2, 1024, lut.data()};
  devapi::TableParam wrongType{1, 4096, lut.data()};
  EXPECT_EQ(api.SetLUT(handle, &shortTable), 0);
  EXPECT_EQ(api.SetLUT(handle, &wrongType), 0);
  EXPECT_TRUE(commands().empty());
  devapi::TableParam table{2, 4096, lut.data()};
  ASSERT_EQ(api.SetLUT(handle, &table), 1);
  const std::vector<std::uint8_t> stored = film.stored(16);
  ASSERT_EQ(stored.size(), 8192u);
  EXPECT_EQ(std::memcmp(stored.data(), lut.data(), 8192), 0);
}

}  // namespace
}  // namespace brightel_test
