// What crosses the boundary: the records, the current record and its pixels.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "scanui/tests/scanui_fixture.h"

namespace scanui_test {
namespace {

// Layouts are fixed at compile time in the header; the hosts' view of them here.
static_assert(sizeof(scanui::StudyData) == 1240);
static_assert(offsetof(scanui::StudyData, studyDescription) == 216);
static_assert(sizeof(scanui::ScanData) == 40 && offsetof(scanui::ScanData, left) == 24);
static_assert(sizeof(scanui::ScanRecord) == 56 && offsetof(scanui::ScanRecord, deviceLineWidth) == 40);

int transfers = 0;
int closes = 0;
int onTransfer() { return ++transfers; }
int onClose() { return 42 + ++closes; }

scanui::ScanRecord record(void* pixels) {
  scanui::ScanRecord r{};
  r.width = 640;
  r.height = 480;
  r.pixels = pixels;
  r.bits = 12;
  r.unused = 0x77;
  r.pitch = 100;
  r.odRange = 40;
  r.bytesPerPixel = 2;
  r.scanMode = 1;
  r.autoScan = 1;
  r.left = -3;
  r.top = 5;
  r.frameWidth = 356;
  r.frameHeight = 432;
  r.deviceLineWidth = 3560;
  r.deviceLineCount = 4320;
  r.fullFilm = 1;
  r.readInProgress = 1;
  return r;
}

class Records : public ScanUiTest {
 protected:
  void SetUp() override {
    ScanUiTest::SetUp();
    transfers = closes = 0;
  }
};

TEST_F(Records, GetScanDataSwapsBytesAndBitsAndLeavesTheHostsOtherBytes) {
  void* pixels = std::malloc(16);
  scanui::ScanRecord r = record(pixels);
  XFerReady(&r);
  unsigned char host[sizeof(scanui::ScanData)];
  std::memset(host, 0xA5, sizeof host);
  auto* data = reinterpret_cast<scanui::ScanData*>(host);
  EXPECT_EQ(GetScanData(data), data);
  EXPECT_EQ(data->width, 640u);
  EXPECT_EQ(data->height, 480u);
  EXPECT_EQ(data->pixels, pixels);
  EXPECT_EQ(host[16], 2);  // bytes per pixel
  EXPECT_EQ(host[17], 12);  // bits
  EXPECT_EQ(data->pitch, 100);
  EXPECT_EQ(data->odRange, 40);
  for (int i = 21; i < 24; ++i) EXPECT_EQ(host[i], 0xA5) << i;
  EXPECT_EQ(data->left, -3);
  EXPECT_EQ(data->top, 5);
  EXPECT_EQ(data->frameWidth, 356);
  EXPECT_EQ(data->frameHeight, 432);
  ReleaseScanData(data);
  EXPECT_EQ(data->pixels, nullptr);
  EXPECT_EQ(r.pixels, nullptr);
}

TEST_F(Records, BeforeAnyImageGetScanDataWritesNothing) {
  unsigned char host[sizeof(scanui::ScanData)];
  std::memset(host, 0x5A, sizeof host);
  GetScanData(reinterpret_cast<scanui::ScanData*>(host));
  for (unsigned char b : host) EXPECT_EQ(b, 0x5A);
  EXPECT_EQ(GetScanData(nullptr), nullptr);
  ReleaseScanData(nullptr);
}

TEST_F(Records, ReleasingARecordWithoutPixelsStillClearsTheCurrentOne) {
  void* pixels = std::malloc(16);
  scanui::ScanRecord r = record(pixels);
  XFerReady(&r);
  scanui::ScanData data{};
  ReleaseScanData(&data);  // frees nothing: the host's pointer is null
  EXPECT_EQ(r.pixels, nullptr);
  std::free(pixels);
}

TEST_F(Records, XFerReadyCallsTheTransferCallbackOnlyWhenOneIsRegistered) {
  scanui::ScanRecord r = record(nullptr);
  XFerReady(&r);
  EXPECT_EQ(transfers, 0);
  EXPECT_EQ(scanui::internal::library().current, &r);
  SetDSProcAddress(onTransfer, nullptr);
  XFerReady(&r);
  EXPECT_EQ(transfers, 1);
}

TEST(LibraryStartUp, BrightelIsBesideTheLibraryAndTheMoireFilterIsLoaded) {
  const auto& lib = scanui::internal::library();
  EXPECT_EQ(lib.brightelPath, testsupport::selfExecutable().parent_path() / "libBrightel.so");
  EXPECT_TRUE(lib.dialog.moireLoaded());
  EXPECT_EQ(lib.transferReady, nullptr);
  EXPECT_EQ(lib.closeRequest, nullptr);
}

TEST_F(Records, CloseRequestPassesOnTheCallbacksResult) {
  EXPECT_EQ(CloseRequest(), 0);
  SetDSProcAddress(nullptr, onClose);
  EXPECT_EQ(CloseRequest(), 43);
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(IsDigitizerAvailable(12345), 1);
}

}  // namespace
}  // namespace scanui_test
