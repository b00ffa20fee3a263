// Discovery, open, close and switching against the fake device library.
#include <gtest/gtest.h>

#include "platform/ini.h"
#include "scanui/tests/scanui_fixture.h"

namespace scanui_test {
namespace {

using Log = std::vector<std::string>;

TEST_F(ScanUiTest, OpenWithOneDeviceAsksNoAdapterAndReadsFeederAndMaximumOd) {
  ASSERT_EQ(InitUI(0), 1);
  EXPECT_EQ(brightel.log, (Log{"load", "GetScanner(TRESSOLA/KT7163)", "New(0,5,60)", "GetScannerType(1)",
                               "GetOption(1)", "Init(1)"}));
  EXPECT_TRUE(connection().connected());
  EXPECT_EQ(scanui::internal::library().mode, scanui::SOURCE_DIGITIZER);
  EXPECT_TRUE(connection().feederType1());
  EXPECT_FALSE(connection().feederType2());
  EXPECT_EQ(connection().maxOd(), 47);
  EXPECT_TRUE(prompts.asked.empty());
  // Open again: already connected, nothing called.
  EXPECT_TRUE(connection().open());
  EXPECT_EQ(brightel.log.size(), 6u);
  TermUI(0);
  EXPECT_EQ(brightel.log.back(), "unload");
  EXPECT_EQ(brightel.count("Delete(1)"), 1);
  EXPECT_FALSE(connection().loaded());
  TermUI(0);  // closing what is closed does nothing
  EXPECT_EQ(brightel.count("Delete(1)"), 1);
}

TEST_F(ScanUiTest, DiscoveryTriesTheIniNamesThenAnyThenTheKnownPairsInOrder) {
  platform::ini::writeString(config.ini(), "Device", "Vendor ID", "ACME");
  platform::ini::writeString(config.ini(), "Device", "Product ID", "X1");
  brightel.devices.clear();
  brightel.devices["KORVA/VKP30GT"] = {{0, 5}};
  ASSERT_EQ(InitUI(0), 1);
  const Log expected{"load", "GetScanner(ACME/X1)", "GetScanner(-/-)", "GetScanner(TRESSOLA/KT7163)",
                     "GetScanner(KORVA/KT7163)", "GetScanner(KORVA/VKP30GT)", "New(0,5,60)"};
  EXPECT_EQ(Log(brightel.log.begin(), brightel.log.begin() + 7), expected);
}

TEST_F(ScanUiTest, WithoutOptionalFunctionsTheOpenKeepsItsDefaults) {
  brightel.hasScannerType = brightel.hasOption = false;
  ASSERT_EQ(InitUI(0), 1);
  EXPECT_EQ(brightel.log, (Log{"load", "GetScanner(TRESSOLA/KT7163)", "New(0,5,60)", "Init(1)"}));
  EXPECT_FALSE(connection().feederType1());
  EXPECT_EQ(connection().maxOd(), 40);
}

// Every failed open after discovery began deletes the device before the
// library goes, so the scanner is never left held.
TEST_F(ScanUiTest, FailedOpensDeleteTheDeviceBeforeUnloading) {
  struct Case {
    const char* what;
    void (*arrange)(FakeBrightel&);
    Log tail;
    std::vector<std::string> boxes;
  };
  const std::string noDevice =
      "Scan|Unable to detect digitizer.\nPlease check all connections and switches.";
  const Case cases[] = {
      {"no device anywhere", [](FakeBrightel& b) { b.devices.clear(); },
       {"GetScanner(KORVA/VKP30GT)", "Delete(1)", "unload"}, {noDevice}},
      {"discovery fails", [](FakeBrightel& b) { b.getScannerOk = false; },
       {"GetScanner(TRESSOLA/KT7163)", "GetErrorString", "Delete(1)", "unload"},
       {"Scan|Unable to use SCSI adapter."}},
      {"no device opens", [](FakeBrightel& b) { b.refuseNew = {{0, 5}}; },
       {"New(0,5,60)", "Delete(1)", "unload"}, {}},
      {"two found, the adapter query fails",
       [](FakeBrightel& b) {
         b.devices["TRESSOLA/KT7163"] = {{0, 5}, {1, 5}};
         b.adapterOk = false;
       },
       {"GetSCSIAdapter", "GetErrorString", "Delete(1)", "unload"}, {"Scan|Unable to use SCSI adapter."}},
      {"initialisation fails", [](FakeBrightel& b) { b.initOk = false; },
       {"Init(1)", "GetErrorString", "GetError(1)", "ClearHardError(1)", "Delete(1)", "unload"},
       {"Scan|Failed to initialize digitizer.\n\nsense_key:9\nasc_ascq:20A\ninfo1:1234\ninfo2:20A\ninfo3:3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeBrightel fresh;
    fresh.devices["TRESSOLA/KT7163"] = {{0, 5}};
    brightel = fresh;
    prompts.asked.clear();
    c.arrange(brightel);
    EXPECT_EQ(InitUI(0), 0);
    ASSERT_GE(brightel.log.size(), c.tail.size());
    EXPECT_EQ(Log(brightel.log.end() - std::ptrdiff_t(c.tail.size()), brightel.log.end()), c.tail);
    EXPECT_EQ(boxes(), c.boxes);
    EXPECT_FALSE(connection().loaded());
    EXPECT_FALSE(connection().connected());
  }
}

TEST_F(ScanUiTest, SeveralDevicesNameTheirAdaptersAndTheFirstThatOpensIsKept) {
  brightel.devices["TRESSOLA/KT7163"] = {{0, 5}, {1, 5}, {1, 6}, {7, 2}};
  brightel.adapterNames = {"usb-0", "usb-1"};  // adapter 7 is not listed
  brightel.refuseNew = {{0, 5}};
  ASSERT_EQ(InitUI(0), 1);
  EXPECT_EQ(Log(brightel.log.begin(), brightel.log.begin() + 5),
            (Log{"load", "GetScanner(TRESSOLA/KT7163)", "GetSCSIAdapter", "New(0,5,60)", "New(1,5,60)"}));
  EXPECT_EQ(connection().selectedIndex(), 1);
  EXPECT_EQ(connection().foundCount(), 4);
  EXPECT_EQ(connection().adapters(), (std::vector<int>{0, 1, 7}));
  EXPECT_EQ(connection().deviceIds(1), (std::vector<int>{5, 6}));
  EXPECT_EQ(connection().adapterName(0), "usb-0");
  EXPECT_EQ(connection().adapterName(1), "usb-1");
  EXPECT_EQ(connection().adapterName(7), "");
}

TEST_F(ScanUiTest, ALibraryClaimingMoreDevicesThanTheRecordHoldsIsCutToTen) {
  std::vector<std::pair<int, int>> many;
  for (int i = 0; i < 40; ++i) many.push_back({0, i});
  brightel.devices["TRESSOLA/KT7163"] = many;
  brightel.adapterNames = {"usb-0"};
  ASSERT_EQ(InitUI(0), 1);
  EXPECT_EQ(connection().foundCount(), 10);
  EXPECT_EQ(connection().deviceIds(0).size(), 10u);
}

TEST_F(ScanUiTest, SwitchingOpensTheChosenDeviceOrFallsBackToThePreviousOne) {
  brightel.devices["TRESSOLA/KT7163"] = {{0, 5}, {1, 5}};
  brightel.adapterNames = {"a", "b"};
  ASSERT_EQ(InitUI(0), 1);
  EXPECT_EQ(connection().switchTo(0, 5), 0);  // the open one
  EXPECT_EQ(connection().switchTo(3, 3), 0);  // not found
  brightel.log.clear();
  EXPECT_EQ(connection().switchTo(1, 5), 1);
  EXPECT_EQ(brightel.log, (Log{"Delete(1)", "New(1,5,60)"}));
  EXPECT_EQ(connection().selectedIndex(), 1);

  brightel.refuseNew = {{0, 5}};
  brightel.log.clear();
  EXPECT_EQ(connection().switchTo(0, 5), 0);
  EXPECT_EQ(brightel.log, (Log{"Delete(1)", "New(0,5,60)", "New(1,5,60)"}));
  EXPECT_TRUE(connection().connected());
  EXPECT_TRUE(prompts.asked.empty());

  brightel.refuseNew = {{0, 5}, {1, 5}};
  EXPECT_EQ(connection().switchTo(0, 5), 0);
  EXPECT_FALSE(connection().connected());
  ASSERT_EQ(prompts.asked.size(), 1u);
  EXPECT_EQ(prompts.asked[0].caption, "");
  EXPECT_EQ(prompts.asked[0].text, "Unable to detect digitizer.\nPlease check all connections and switches.");
}

TEST_F(ScanUiTest, TheProbeWithAConnectionOpenAnswersWithoutTouchingIt) {
  ASSERT_EQ(InitUI(0), 1);
  brightel.log.clear();
  EXPECT_EQ(IsThereAnyDigitizerAvailable(0), 1);
  EXPECT_TRUE(brightel.log.empty());
  EXPECT_TRUE(connection().connected());
}

TEST_F(ScanUiTest, TheProbeClosesAgainAtOnceAndIsQuietAboutTheDevice) {
  EXPECT_EQ(IsThereAnyDigitizerAvailable(0), 1);
  EXPECT_EQ(brightel.log.back(), "unload");
  EXPECT_EQ(brightel.count("Delete(1)"), 1);
  EXPECT_FALSE(connection().loaded());
  EXPECT_EQ(scanui::internal::library().mode, scanui::SOURCE_DIGITIZER);

  brightel.initOk = false;
  EXPECT_EQ(IsThereAnyDigitizerAvailable(0), 0);
  EXPECT_TRUE(prompts.asked.empty());  // the device box is silenced
  EXPECT_FALSE(connection().loaded());
  EXPECT_EQ(scanui::internal::library().mode, scanui::SOURCE_NONE);
  // A later InitUI opens again and speaks.
  EXPECT_EQ(InitUI(0), 0);
  EXPECT_EQ(prompts.asked.size(), 1u);
}

TEST_F(ScanUiTest, TheFilmCheckLatchStopsRepeatedStatusBoxesUntilCleared) {
  EXPECT_EQ(connection().sensedFilmCode(), 0);  // not connected: nothing called
  ASSERT_EQ(InitUI(0), 1);
  brightel.filmCode = 12;
  EXPECT_EQ(connection().sensedFilmCode(), 12);
  EXPECT_EQ(connection().bufferSize(), 64u << 20);
  brightel.conditionOk = false;
  EXPECT_EQ(connection().sensedFilmCode(), 0);
  EXPECT_TRUE(connection().filmCheckLatched());
  EXPECT_EQ(connection().sensedFilmCode(), 0);
  EXPECT_EQ(brightel.count("GetCondition(1)"), 3);  // the latched check asks nothing
  ASSERT_EQ(prompts.asked.size(), 1u);
  EXPECT_EQ(prompts.asked[0].text.left(34), "Failed to detect digitizer status.");
  connection().clearFilmCheckLatch();
  brightel.conditionOk = true;
  EXPECT_EQ(connection().sensedFilmCode(), 12);
}

TEST_F(ScanUiTest, FilmTransportReportsItsOwnFailures) {
  EXPECT_EQ(connection().eject(), 0);  // not connected: nothing called
  EXPECT_EQ(connection().reverse(), 0);
  EXPECT_EQ(connection().nextFilm(), 0);
  EXPECT_TRUE(brightel.log.empty());
  ASSERT_EQ(InitUI(0), 1);
  EXPECT_EQ(connection().eject(), 1);
  EXPECT_EQ(connection().reverse(), 1);
  EXPECT_EQ(connection().nextFilm(), 1);  // the library's answer is not the caller's concern
  brightel.ejectOk = brightel.reverseOk = false;
  brightel.getErrorOk = false;
  EXPECT_EQ(connection().eject(), 0);
  EXPECT_EQ(connection().reverse(), 0);
  EXPECT_EQ(boxes(), (std::vector<std::string>{"Scan|Failed to start up digitizer.\n\nNo detail.",
                                               "Scan|Failed to reverse film.\n\nNo detail."}));
}

}  // namespace
}  // namespace scanui_test
