// The shared layer on its own: the operations log, the result processing and
// the driver's messages as the device object takes them.
#include <gtest/gtest.h>

#include <cstring>

#include "devapi/device_library.h"
#include "devapi/korva_scanner.h"
#include "platform/clock.h"

namespace devapi {
namespace {

class SharedLayer : public ::testing::Test {
 protected:
  SharedLayer() {
    platform::clock::LocalTime t;
    t.year = 2026;
    t.month = 3;
    t.day = 4;
    t.hour = 5;
    t.minute = 6;
    t.second = 7;
    t.millisecond = 8;
    clock.setLocalTime(t);
  }
  platform::clock::FakeSource clock;
  platform::clock::ScopedSource scoped{clock};
};

TEST_F(SharedLayer, LogEntriesAreStampedAndTheTextIsClearedPastItsLimit) {
  OperationsLog log(8);
  EXPECT_EQ(log.name(), "SCAN_DLL.TXT");
  log.write("Start Successful\n");
  EXPECT_EQ(log.text(), "05:06:07.008 Start Successful\n");
  log.write("\nnext");  // a leading line feed goes ahead of the stamp
  EXPECT_EQ(log.text(), "\n05:06:07.008 next") << "the text past 8 characters was cleared first";
  log.write("\n");
  EXPECT_EQ(log.text(), "\n") << "a lone line feed is not stamped";
  log.error("Buffer Size.");
  EXPECT_EQ(log.text(), "\n05:06:07.008 ERROR: Buffer Size.\n");

  OperationsLog longer(128);
  longer.write("a");
  longer.warning("b");
  EXPECT_EQ(longer.text(), "05:06:07.008 a05:06:07.008 WARNING: b\n");
}

struct ResultCase {
  OperationResult result;
  bool success;
  int keptCode;
  const char* logTail;  // the end of the log text after the call
};

TEST_F(SharedLayer, ProcessDriverResultKeepsTheCodeAndLogsByCategory) {
  const ResultCase cases[] = {
      {{PRAVIK_NO_ERROR, 0}, true, 0, "Calibrate Successful\n"},
      {{PRAVIK_NO_MATCHING_DEVICE, 0}, true, 516, "Calibrate Successful\n"},
      {{PRAVIK_INTERRUPT_PIPE_FAILED, 1}, false, 0x101,
       "ERROR: System error.\nPlease connect the scanner if it is in disconnected state.\n"
       "Otherwise reset it.\n"},
      {{OPERATION_ERROR_CODE(0x4111), 2}, false, 0x4111,
       "ERROR: Scanner error.\nPlease reset the error using ErrorReset command.\n"},
      {{OPERATION_ERROR_CODE(0x2004), 3}, false, 0x2004, "ERROR: Scanner error.\n"},
      {{PRAVIK_NOT_NOW, 4}, false, 519, "ERROR: Other Error.\n"},
      {{PRAVIK_NOT_NOW, 9}, false, 519, "ERROR: Unknown Error.\n"},
      // A failure without a code must not read as "no error".
      {{PRAVIK_NO_ERROR, 4}, false, 525, "ERROR: Other Error.\n"},
  };
  KorvaScanner device(1 << 20);
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.logTail);
    EXPECT_EQ(device.ProcessDriverResult("Calibrate", tc.result), tc.success);
    EXPECT_EQ(device.lastResultCode, tc.keptCode);
    EXPECT_EQ(device.lastResultCategory, tc.result.category);
    const std::string text = device.log.text();
    ASSERT_GE(text.size(), std::strlen(tc.logTail));
    EXPECT_EQ(text.substr(text.size() - std::strlen(tc.logTail)), tc.logTail);
  }
  const std::string text = device.log.text();
  EXPECT_NE(text.find("ERROR: Calibrate Failed; Unrecoverable USB System Error"), std::string::npos);
  EXPECT_NE(text.find("Error Code: 0x4111 - Calibration failed"), std::string::npos);
  EXPECT_NE(text.find("ERROR: Calibrate Failed; Synchronous Error at Scanner"), std::string::npos);
  EXPECT_NE(text.find("Unknown Status: 0x9"), std::string::npos);
  device.ProcessDriverResult("", {});
  EXPECT_NE(device.log.text().find("Invalid parameter at ProcessDriverResult."), std::string::npos);

  // The error queries log but keep the code they explain.
  device.lastResultCode = 0x4111;
  EXPECT_TRUE(device.LogDriverResult("RequestSense", {}));
  EXPECT_EQ(device.lastResultCode, 0x4111);
}

TEST_F(SharedLayer, MessagesSetTheStateOfTheObject) {
  KorvaScanner device(1 << 20);
  MaintenanceParameters maintenance{};
  maintenance.words[10] = 12000;
  maintenance.words[8] = 0x1203;
  device.ProcessMessage(MAINTENANCE_PARAMETERS_RETRIEVED, &maintenance);
  EXPECT_EQ(device.serialNumber, 12000);
  EXPECT_EQ(device.firmwareWord, 0x1203);

  ScanParameters scan{};
  scan.ScanPitch = 85;
  scan.Option5 = 9;
  device.ProcessMessage(SCAN_PARAMETERS_RETRIEVED, &scan);
  EXPECT_EQ(device.scanParameters.ScanPitch, 85);
  EXPECT_EQ(device.scanParameters.Option5, 9);

  const std::uint32_t generation = device.connectionGeneration;
  device.ProcessMessage(SCANNER_READY, nullptr);
  EXPECT_TRUE(device.connected);
  EXPECT_NE(device.log.text().find("Scanner (SN: 12000) is ready for operation."), std::string::npos);
  device.ProcessMessage(SCANNER_DISCONNECTED, nullptr);
  EXPECT_FALSE(device.connected);
  EXPECT_EQ(device.connectionGeneration, generation + 2);

  InterruptInfo error;
  error.scannerError = true;
  error.statusWord = 0x8001;
  error.errorCode = 0x4001;
  error.errorText = "COVER OPEN";
  device.ProcessMessage(INTERRUPT, &error);
  EXPECT_EQ(device.deviceError, 0x4001);
  const std::string text = device.log.text();
  EXPECT_NE(text.find("INTERRUPT: Scanner Error; Code: 0x8001\n\tError Code: 0x4001\n"
                      "\tError String: COVER OPEN\n"),
            std::string::npos)
      << text;
  InterruptInfo cleared;
  cleared.digitizerReady = true;
  cleared.errorCleared = true;
  cleared.statusWord = 1;
  device.ProcessMessage(INTERRUPT, &cleared);
  EXPECT_EQ(device.deviceError, 0);
  EXPECT_NE(device.log.text().find("INTERRUPT: Digitizer Ready; Error Cleared; Code: 0x0001"),
            std::string::npos);

  ScannerSelection selection{3, 0};
  device.ProcessMessage(SCANNER_SELECTION, &selection);
  EXPECT_EQ(selection.chosenScanner, 3);
  EXPECT_EQ(device.selectionAnswer, 3);
  std::uint8_t attach = 0;
  device.ProcessMessage(SCANNER_ATTACH_CONFIRMATION, &attach);
  EXPECT_EQ(attach, 1);

  std::uint8_t descriptor[18] = {};
  descriptor[8] = 0x1C;
  descriptor[9] = 0x2A;
  descriptor[10] = 16;
  descriptor[12] = 0x00;
  descriptor[13] = 0x02;
  device.ProcessMessage(SCANNER_CONNECTED, descriptor);
  EXPECT_NE(device.log.text().find("Vendor ID: 2a1c, Product ID: 0010, Version ID: 0200"),
            std::string::npos);
  EXPECT_EQ(device.usbProductId, 16);

  // Messages that carry data refuse a null pointer and change nothing.
  device.ProcessMessage(INTERRUPT, nullptr);
  device.ProcessMessage(MAINTENANCE_PARAMETERS_RETRIEVED, nullptr);
  EXPECT_EQ(device.serialNumber, 12000);
  EXPECT_NE(device.log.text().find("Invalid parameter at ProcessMessage."), std::string::npos);
  // A callback without its object does nothing.
  KorvaScanner::ReceiveMessage(SCANNER_READY, nullptr, nullptr);
}

TEST(CopyField, CutsToTheRoomAndEndsWithNul) {
  char room[kErrorTextRoom];
  std::memset(room, 'x', sizeof room);
  const std::string longText(200, 'a');
  copyField(room, sizeof room, longText.c_str());
  EXPECT_EQ(std::string(room), std::string(kErrorTextRoom - 1, 'a'));
  copyField(room, sizeof room, "short");
  EXPECT_STREQ(room, "short");
  EXPECT_EQ(room[kErrorTextRoom - 1], 0) << "the rest is cleared";
  copyField(room, sizeof room, nullptr);
  EXPECT_STREQ(room, "");
}

}  // namespace
}  // namespace devapi
