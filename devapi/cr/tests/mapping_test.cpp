// The caller's scan condition and options against the scanner's parameters.
#include "devapi/cr/tests/zentrac_fixture.h"

namespace zentrac_test {
namespace {

enum Word { Pitch, StartX, StartY, XSize, YSize, Format, FilmX, FilmY, AFMode, Lut, Option1,
            Option2, Option3, Option4, Option5 };

TEST_F(ZentracTest, ConditionIsMappedToTheScanParameters) {
  load();
  ASSERT_EQ(open(), 1);
  devapi::ScanCondition c = condition(100, 200, 100, 16);
  c.x_start = 3;
  c.y_start = 5;
  c.od_min = 2;
  c.od_max = 40;
  ASSERT_EQ(api.SetCondition(handle, &c), 1) << lastCode();
  const auto p = cr.scanParameters();
  EXPECT_EQ(p[Pitch], 100);
  EXPECT_EQ(p[StartX], 30);
  EXPECT_EQ(p[StartY], 50);
  EXPECT_EQ(p[XSize], 1000);
  EXPECT_EQ(p[YSize], 2000);
  EXPECT_EQ(p[FilmX], 100);
  EXPECT_EQ(p[FilmY], 200);
  EXPECT_EQ(p[AFMode], 1);
  EXPECT_EQ(p[Option1] & 0xFF, 2);  // mode 1, sent plus one
  EXPECT_EQ(p[Option2], 2 * 256 + 40);
  EXPECT_EQ(p[Format], 0x0E10);  // the scanner's own sensor and output depth stay

  devapi::ScanCondition back{};
  ASSERT_EQ(api.GetCondition(handle, &back), 1) << lastCode();
  EXPECT_EQ(back.unit, 1);
  EXPECT_EQ(back.mode, 1);
  EXPECT_EQ(back.x_start, 3u);
  EXPECT_EQ(back.y_start, 5u);
  EXPECT_EQ(back.width, 100u);
  EXPECT_EQ(back.height, 200u);
  EXPECT_EQ(back.pix_w, 1000u);
  EXPECT_EQ(back.pix_h, 2000u);
  EXPECT_EQ(back.od_min, 2);
  EXPECT_EQ(back.od_max, 40);
  EXPECT_EQ(back.pixel_bit_n, 14);
  EXPECT_EQ(back.out_bit_depth, 16);
  EXPECT_EQ(back.img_buff_sz, 0x20000000u);
  EXPECT_EQ(back.film_sz_id, 1);  // the idle reader's condition is 1
  EXPECT_EQ(back.film_w, 356u);
}

TEST_F(ZentracTest, OneMillimetreRegionIsEnlargedWhenAsked) {
  writeSettings("7163W1mH1m=1\n");
  load();
  ASSERT_EQ(open(), 1);
  devapi::ScanCondition c = condition(1, 1, 200, 16);
  // The 16-line minimum does not hold here: 4 mm at 200 um are 20 lines.
  ASSERT_EQ(api.SetCondition(handle, &c), 1) << lastCode();
  EXPECT_EQ(c.width, 4u);
  EXPECT_EQ(c.height, 4u);
  const auto p = cr.scanParameters();
  EXPECT_EQ(p[XSize], 20);
  EXPECT_EQ(p[YSize], 20);
}

TEST_F(ZentracTest, RefusedConditionsSendNothing) {
  struct Case {
    std::uint32_t heightMm;
    std::uint16_t pitch;
  } cases[] = {
      {10, 0},        // pitch 0
      {15, 1000},     // 15 lines with the corrections on
      {1, 100},       // 10 lines
      {7000, 100},    // 70,000 lines do not fit the scanner's word
  };
  load();
  ASSERT_EQ(open(), 1);
  for (const auto& k : cases) {
    cr.clearLog();
    devapi::ScanCondition c = condition(10, k.heightMm, k.pitch, 16);
    EXPECT_EQ(api.SetCondition(handle, &c), 0) << k.heightMm << " " << k.pitch;
    EXPECT_EQ(lastCode(), 513);
    EXPECT_TRUE(commands().empty());
  }
}

TEST_F(ZentracTest, FewLinesAreAcceptedWithoutTheCorrections) {
  writeSettings("EIGHT_LINE=0\n");
  load();
  ASSERT_EQ(open(), 1);
  devapi::ScanCondition c = condition(10, 15, 1000, 16);
  EXPECT_EQ(api.SetCondition(handle, &c), 1) << lastCode();
  EXPECT_EQ(cr.scanParameters()[YSize], 15);
}

TEST_F(ZentracTest, FineModeOffLimitsTheModeToTwo) {
  writeSettings("FINE_Smode=0\n");
  load();
  ASSERT_EQ(open(), 1);
  devapi::ScanCondition c = condition(10, 10, 100, 16);
  c.mode = 3;
  ASSERT_EQ(api.SetCondition(handle, &c), 1);
  EXPECT_EQ(cr.scanParameters()[Option1] & 0xFF, 2);
  devapi::ScanCondition back{};
  ASSERT_EQ(api.GetCondition(handle, &back), 1);
  EXPECT_EQ(back.mode, 1);
}

TEST_F(ZentracTest, OptionCarriesEraseByteLutWordAndHighVoltage) {
  load();
  ASSERT_EQ(open(), 1);
  devapi::KtGOption o{};
  o.ScanOption = 0x00030005;  // photometric word 3, option byte 5
  o.HV = 2477;
  ASSERT_EQ(api.SetOption(handle, &o), 1);
  auto p = cr.scanParameters();
  EXPECT_EQ(p[Option1] >> 8, 5);
  EXPECT_EQ(p[Lut], 3);
  EXPECT_EQ(p[Option5], 9000);
  // The erase byte survives a new condition.
  devapi::ScanCondition c = condition(10, 10, 100, 16);
  ASSERT_EQ(api.SetCondition(handle, &c), 1);
  EXPECT_EQ(cr.scanParameters()[Option1] >> 8, 5);

  devapi::KtGOption back{};
  ASSERT_EQ(api.GetOption(handle, &back), 1);
  EXPECT_EQ(back.ScanOption, 0x00030005u);
  EXPECT_EQ(back.HV, 2477);
  EXPECT_EQ(back.od_Max, 40);
  EXPECT_EQ(back.SerialNumber, cr.config().serialNumber);
  EXPECT_EQ(back.scanner_condition, 1);
}

TEST_F(ZentracTest, EraseModeOffClearsTheOptionByte) {
  writeSettings("ERASE_MODE=0\n");
  load();
  ASSERT_EQ(open(), 1);
  devapi::KtGOption o{};
  o.ScanOption = 5;
  ASSERT_EQ(api.SetOption(handle, &o), 1);
  EXPECT_EQ(cr.scanParameters()[Option1] >> 8, 0);
}

}  // namespace
}  // namespace zentrac_test
