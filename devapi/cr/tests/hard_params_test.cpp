#include "devapi/cr/internal/hard_params.h"

#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace zentrac {
namespace {

void expectDefaults(const CorrectionParams& p) {
  EXPECT_EQ(p.delta, 20);
  EXPECT_EQ(p.boxWidth, 401);
  EXPECT_EQ(p.boxHeight, 8);
  EXPECT_EQ(p.maxPixValue, 4095);
  EXPECT_EQ(p.minPixValue, 0);
  EXPECT_FALSE(p.rollerBanding);
  EXPECT_TRUE(p.bands.empty());
}

TEST(HardParams, MissingFileGivesDefaults) {
  testsupport::TempDir dir;
  const HardParams params = loadHardParams(dir / "Zentrac_Hard.ini");
  for (const CorrectionParams& p : params.sets) expectDefaults(p);
}

TEST(HardParams, EachSectionFeedsItsModes) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "Zentrac_Hard.ini",
                         "[HighspeedPara_M1]\r\nDELTA=11\r\nBOX_WIDTH=101\r\n"
                         "[standradpara_m2]\r\nbox_height=4\r\nMAX_PIX_VALUE=16383\r\nMIN_PIX_VALUE=12\r\n"
                         "[FinePara_M3]\r\nPROCESS_ROLLER_BANDING=1\r\nDELTA=33\r\n");
  const HardParams params = loadHardParams(dir / "Zentrac_Hard.ini");
  EXPECT_EQ(&params.forMode(0), &params.sets[0]);
  EXPECT_EQ(&params.forMode(1), &params.sets[0]);
  EXPECT_EQ(&params.forMode(2), &params.sets[1]);
  EXPECT_EQ(&params.forMode(3), &params.sets[2]);
  EXPECT_EQ(&params.forMode(4), &params.sets[2]);
  EXPECT_EQ(params.forMode(1).delta, 11);
  EXPECT_EQ(params.forMode(1).boxWidth, 101);
  EXPECT_EQ(params.forMode(1).boxHeight, 8);
  EXPECT_EQ(params.forMode(2).boxHeight, 4);
  EXPECT_EQ(params.forMode(2).maxPixValue, 16383);
  EXPECT_EQ(params.forMode(2).minPixValue, 12);
  EXPECT_EQ(params.forMode(2).delta, 20);
  EXPECT_TRUE(params.forMode(3).rollerBanding);
  EXPECT_FALSE(params.forMode(2).rollerBanding);
  EXPECT_EQ(params.forMode(3).delta, 33);
}

TEST(HardParams, BandListStopsAtAGapOrAZeroPosition) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "Zentrac_Hard.ini",
                         "[HighspeedPara_M1]\n"
                         "BAND_PARAM1=12.5,15,5,6,4,10,100\n"
                         "BAND_PARAM2=not a record\n"
                         "BAND_PARAM3=30.25,21,7,8,3,12,90\n"
                         "BAND_PARAM5=40,1,1,1,1,1,1\n"
                         "[StandradPara_M2]\n"
                         "BAND_PARAM1=7.5,15,5,6,4,10,100\n"
                         "BAND_PARAM2=0.0,1,1,1,1,1,1\n"
                         "BAND_PARAM3=9.5,15,5,6,4,10,100\n"
                         "[FinePara_M3]\n"
                         "BAND_PARAM1=5,15,5,6,4,10,100\n"
                         "BAND_PARAM2=\n"
                         "BAND_PARAM3=6,15,5,6,4,10,100\n");
  const HardParams params = loadHardParams(dir / "Zentrac_Hard.ini");
  const auto& m1 = params.sets[0].bands;
  ASSERT_EQ(m1.size(), 2u);
  EXPECT_DOUBLE_EQ(m1[0].position, 12.5);
  EXPECT_EQ(m1[0].window, 15);
  EXPECT_EQ(m1[0].minValid, 5);
  EXPECT_EQ(m1[0].refLines, 6);
  EXPECT_EQ(m1[0].bandLines, 4);
  EXPECT_EQ(m1[0].maxRefRange, 10);
  EXPECT_EQ(m1[0].maxRange, 100);
  EXPECT_DOUBLE_EQ(m1[1].position, 30.25);
  EXPECT_EQ(m1[1].maxRange, 90);
  ASSERT_EQ(params.sets[1].bands.size(), 1u);
  EXPECT_DOUBLE_EQ(params.sets[1].bands[0].position, 7.5);
  ASSERT_EQ(params.sets[2].bands.size(), 1u);
  EXPECT_DOUBLE_EQ(params.sets[2].bands[0].position, 5.0);
}

TEST(HardParams, BandTextIsCutAt127Characters) {
  testsupport::TempDir dir;
  const std::string pad(127 - std::string("1.5,2,3,4,5,6,").size(), ' ');
  testsupport::writeFile(dir / "Zentrac_Hard.ini", "[HighspeedPara_M1]\nBAND_PARAM1=1.5,2,3,4,5,6," + pad +
                                                       "7\nBAND_PARAM2=2.5,2,3,4,5,6," + pad.substr(1) + "7\n");
  const HardParams params = loadHardParams(dir / "Zentrac_Hard.ini");
  ASSERT_EQ(params.sets[0].bands.size(), 1u);
  EXPECT_DOUBLE_EQ(params.sets[0].bands[0].position, 2.5);
}

TEST(BandRecordText, ParsedWithRangeChecks) {
  struct Case {
    const char* text;
    bool ok;
  };
  const Case cases[] = {
      {"12.5,15,5,6,4,10,100", true},
      {" 12.5, 15, 5,\t6, 4, 10, 100", true},
      {"+12.5,+15,-5,6,4,10,100", true},
      {"1e1,15,5,6,4,10,100 trailing text", true},
      {"12,15,5,6,4,10,100,8", true},
      {"12.5 ,15,5,6,4,10,100", false},
      {"12.5,15,5,6,4,10", false},
      {"12.5,15,5,6,4,10,", false},
      {"12.5;15;5;6;4;10;100", false},
      {"", false},
      {",15,5,6,4,10,100", false},
      {"12.5,15,5,6,4,10,2147483648", false},
      {"12.5,15,5,6,4,10,-2147483649", false},
      {"12.5,15,5,6,4,99999999999999999999,1", false},
      {"nan,15,5,6,4,10,100", false},
      {"inf,15,5,6,4,10,100", false},
      {"1e400,15,5,6,4,10,100", false},
      {"+-1,15,5,6,4,10,100", false},
      {"12.5,15,5,6,4,10,x", false},
  };
  for (const Case& c : cases) EXPECT_EQ(parseBandRecord(c.text).has_value(), c.ok) << c.text;
  const auto r = parseBandRecord("+12.5,+15,-5,6,4,10,2147483647");
  ASSERT_TRUE(r);
  EXPECT_DOUBLE_EQ(r->position, 12.5);
  EXPECT_EQ(r->window, 15);
  EXPECT_EQ(r->minValid, -5);
  EXPECT_EQ(r->maxRange, 2147483647);
  EXPECT_EQ(parseBandRecord("-3.5,1,2,3,4,5,-2147483648")->maxRange, INT_MIN);
}

}  // namespace
}  // namespace zentrac
