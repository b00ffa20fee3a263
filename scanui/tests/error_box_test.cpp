// The device error box: its texts for every code, with and without the
// device's own text, the site's [Message] texts and the second box.
#include <gtest/gtest.h>

#include "platform/ini.h"
#include "scanui/tests/scanui_fixture.h"

namespace scanui_test {
namespace {

const char* const kBase[] = {
    "Unable to use SCSI adapter.",
    "Unable to detect digitizer.\nPlease check all connections and switches.",
    "Failed to initialize digitizer.",
    "Failed to detect digitizer status.\nPlease check all connections and switches.",
    "Failed to set up digitizer",
    "Failed to start up digitizer.",
    "Failed to start scanning.",
    "Failed to read scan data.",
    "Failed to delete object.(Internal Error)",
    "Failed to reverse film.",
};
const std::string kSense = "\n\nsense_key:9\nasc_ascq:20A\ninfo1:1234\ninfo2:20A\ninfo3:3";

class ErrorBox : public ScanUiTest {
 protected:
  // The table is taken when the library is bound: arrange the fake first.
  void open() {
    ASSERT_EQ(InitUI(0), 1);
    prompts.asked.clear();
  }
  std::vector<std::string> box(int code, bool detail) {
    prompts.asked.clear();
    connection().errorBox(code, detail);
    for (const auto& a : prompts.asked) {
      EXPECT_EQ(a.icon, platform::qt::Icon::Warning);
      EXPECT_EQ(a.buttons, platform::qt::Buttons::Ok);
    }
    return boxes();
  }
};

TEST_F(ErrorBox, WithoutTheDevicesTextEveryCodeShowsItsTextAndTheSenseLinesOnDetail) {
  brightel.hasErrorString = false;
  open();
  for (int code = 0; code <= 9; ++code) {
    SCOPED_TRACE(code);
    const std::string base = std::string("Scan|") + kBase[code];
    const bool alone = code == 1 || code == 7;
    EXPECT_EQ(box(code, true), std::vector<std::string>{alone ? base : base + kSense});
    EXPECT_EQ(box(code, false), std::vector<std::string>{base});
  }
  brightel.getErrorOk = false;
  EXPECT_EQ(box(5, true), std::vector<std::string>{std::string("Scan|") + kBase[5] + "\n\nNo detail."});
  EXPECT_EQ(box(-1, false), std::vector<std::string>{"Scan|"});
}

TEST_F(ErrorBox, TheDevicesTextWithItsCodeTakesThePlaceOfAllButCodesOneAndSeven) {
  brightel.errorStrings = {{0x4012, "Film jam"}};
  open();
  for (int code = 0; code <= 9; ++code) {
    SCOPED_TRACE(code);
    const bool alone = code == 1 || code == 7;
    for (bool detail : {false, true})
      EXPECT_EQ(box(code, detail),
                std::vector<std::string>{alone ? std::string("Scan|") + kBase[code] : "Scan|Film jam(4012h)"});
  }
}

TEST_F(ErrorBox, ADeviceErrorOfCodeZeroShowsNoBox) {
  brightel.errorStrings = {{0, "No error"}};
  open();
  EXPECT_TRUE(box(2, true).empty());
  EXPECT_TRUE(box(9, false).empty());
  EXPECT_EQ(box(7, true), std::vector<std::string>{std::string("Scan|") + kBase[7]});
}

TEST_F(ErrorBox, TheSitesMessageTextStandsForTheDevicesText) {
  platform::ini::writeString(config.ini(), "Message", "Film jam", "Open the cover and remove the film");
  brightel.errorStrings = {{0x4012, "Film jam"}};
  open();
  EXPECT_EQ(box(3, true), std::vector<std::string>{"Scan|Open the cover and remove the film(4012h)"});
  // A device text that is also a format is only ever shown.
  brightel.errorStrings = {{0x4013, "%s%n%x"}};
  EXPECT_EQ(box(3, true), std::vector<std::string>{"Scan|%s%n%x(4013h)"});
}

TEST_F(ErrorBox, ADeviceTextFillingItsRoomIsReadOnlyUpToItsRoom) {
  const std::string full(devapi::kErrorTextRoom, 'E');
  brightel.errorStrings = {{0x4001, full}};
  open();
  EXPECT_EQ(box(4, true), std::vector<std::string>{"Scan|" + full + "(4001h)"});
}

TEST_F(ErrorBox, AnErrorThatWillNotClearIsShownASecondTimeAsTheDeviceNowHasIt) {
  brightel.clearOk = false;
  brightel.errorStrings = {{0x4012, "Film jam"}, {0x4016, "Cover open"}};
  open();
  EXPECT_EQ(box(5, true), (std::vector<std::string>{"Scan|Film jam(4012h)", "Scan|Cover open(4016)"}));
  EXPECT_EQ(brightel.count("ClearHardError(1)"), 1);
  // Without the device's text there is no second box.
  brightel.hasErrorString = false;
  brightel.log.clear();
  TermUI(0);
  open();
  EXPECT_EQ(box(5, true), std::vector<std::string>{std::string("Scan|") + kBase[5] + kSense});
  EXPECT_EQ(brightel.count("ClearHardError(1)"), 1);
}

TEST_F(ErrorBox, QuietOrUnloadedShowsNothing) {
  brightel.hasErrorString = false;
  open();
  connection().setQuiet(true);
  EXPECT_TRUE(box(2, true).empty());
  connection().setQuiet(false);
  TermUI(0);
  EXPECT_TRUE(box(2, true).empty());
}

}  // namespace
}  // namespace scanui_test
