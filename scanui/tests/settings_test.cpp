#include <gtest/gtest.h>

#include <filesystem>

#include "platform/ini.h"
#include "scanui/internal/settings.h"
#include "scanui/tests/scanui_fixture.h"

namespace scanui_test {
namespace {

using namespace scanui::internal;

TEST(Settings, WithoutAFileEveryKeyHasItsDefaultAndNothingIsWritten) {
  ConfigDir config;
  EXPECT_EQ(settingsFile(), config.ini());
  const DeviceNames names = readDeviceNames();
  EXPECT_EQ(names.vendor, "TRESSOLA");
  EXPECT_EQ(names.product, "KT7163");
  EXPECT_EQ(messageFor("Film jam"), "Film jam");
  for (int n : {0, 1, 200}) {
    const Profile p = readProfile(n);
    EXPECT_EQ(p.host, 0);
    EXPECT_EQ(p.digitizer, 0);
    EXPECT_EQ(p.bits, 2);
    EXPECT_EQ(p.od, 3);
    EXPECT_EQ(p.pitch, "200");
    EXPECT_EQ(p.mode, 1);
  }
  const AntiMoire a = readAntiMoire();
  EXPECT_EQ(a.scanPitch, 100);
  EXPECT_EQ(a.horizontalGrid, 0);
  EXPECT_EQ(a.verticalGrid, 1);
  EXPECT_EQ(a.filterAmplitudeH, 600);
  EXPECT_EQ(a.filterAmplitudeV, 600);
  EXPECT_EQ(a.filterType, 1);
  EXPECT_EQ(a.interpolationType, 1);
  EXPECT_FALSE(std::filesystem::exists(config.ini()));
}

TEST(Settings, ProfileKeysCarryTheFilmSizeCodeAndOnlyProfileZeroHasTheSelectors) {
  ConfigDir config;
  testsupport::writeFile(config.ini(),
                         "[Profile]\r\nHost=1\r\nDigitizer=2\r\nBits0=0\r\nBits1=1\r\nOD1=5\r\n"
                         "Pitch1=75\r\nMode1=3\r\nPitch200=123\r\n[Device]\r\nVendor ID=ACME\r\n");
  const Profile p0 = readProfile(0);
  EXPECT_EQ(p0.host, 1);
  EXPECT_EQ(p0.digitizer, 2);
  EXPECT_EQ(p0.bits, 0);
  EXPECT_EQ(p0.pitch, "200");
  const Profile p1 = readProfile(1);
  EXPECT_EQ(p1.host, 0);  // not read for a film size
  EXPECT_EQ(p1.bits, 1);
  EXPECT_EQ(p1.od, 5);
  EXPECT_EQ(p1.pitch, "75");
  EXPECT_EQ(p1.mode, 3);
  EXPECT_EQ(readProfile(200).pitch, "123");  // a spacing not in the list is kept as text
  EXPECT_EQ(readProfile(200).bits, 2);
  EXPECT_EQ(readDeviceNames().vendor, "ACME");
  EXPECT_EQ(readDeviceNames().product, "KT7163");
}

TEST(Settings, WritersUseTheSameKeysInDecimal) {
  ConfigDir config;
  Profile p;
  p.host = 3;
  p.digitizer = 4;
  p.bits = 0;
  p.od = 5;
  p.pitch = "50";
  p.mode = 2;
  ASSERT_TRUE(writeProfile(0, p));
  ASSERT_TRUE(writeProfile(17, p));
  AntiMoire a;
  a.scanPitch = 50;
  a.filterType = 0;
  ASSERT_TRUE(writeAntiMoire(a));
  const auto ini = platform::ini::IniFile::load(config.ini());
  EXPECT_EQ(ini.keys("Profile"), (std::vector<std::string>{"Host", "Digitizer", "Bits0", "OD0", "Pitch0", "Mode0",
                                                           "Bits17", "OD17", "Pitch17", "Mode17"}));
  EXPECT_EQ(ini.getString("Profile", "Pitch17", ""), "50");
  EXPECT_EQ(ini.getInt("Profile", "Mode17", -1), 2);
  EXPECT_EQ(ini.getInt("AntiMoire", "ScanPitch", -1), 50);
  EXPECT_EQ(ini.getInt("AntiMoire", "FilterType", -1), 0);
  const Profile back = readProfile(17);
  EXPECT_EQ(back.od, 5);
  EXPECT_EQ(back.pitch, "50");
}

TEST(Settings, LongValuesAreCutToTheirRoom) {
  ConfigDir config;
  const std::string longName(300, 'V');
  platform::ini::writeString(config.ini(), "Device", "Vendor ID", longName);
  platform::ini::writeString(config.ini(), "Message", "jam", std::string(2000, 'm'));
  EXPECT_EQ(readDeviceNames().vendor, std::string(99, 'V'));
  EXPECT_EQ(messageFor("jam"), std::string(999, 'm'));
  // 98 single bytes and a two-byte character: cut before the character, not inside it.
  platform::ini::writeString(config.ini(), "Device", "Product ID", std::string(98, 'P') + "\x83\x41");
  EXPECT_EQ(readDeviceNames().product, std::string(98, 'P'));
}

}  // namespace
}  // namespace scanui_test
