// Scans, erases and the locks of the engine, driven step by step on a fake clock.
#include "fakes.h"

#include "crengine/quorin.h"

#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/process.h"

#include <atomic>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace crengine;
using crtest::fake;
using crtest::Notification;

constexpr const char* kTestIni = "[Common]\r\nMode=Test\r\n[Test]\r\nImageDir=images\r\n";

struct Miniscreen {
  Miniscreen(int w, int h, std::string path) : image16(std::size_t(w) * h), image8(std::size_t(w) * h), raw(std::move(path)) {
    info.pRescaledImage = image16.data();
    info.pBitsImage = image8.data();
    info.nRescanedWidth = w;
    info.nRescaledHeight = h;
    info.szRawFilePath = raw.c_str();
  }
  std::vector<std::uint16_t> image16;
  std::vector<std::uint8_t> image8;
  std::string raw;
  miniscreen_info info{};
};

std::string le16(const std::vector<std::uint16_t>& pixels) {
  std::string out;
  for (auto v : pixels) {
    out.push_back(char(v & 0xFF));
    out.push_back(char(v >> 8));
  }
  return out;
}

class ScanTest : public crtest::EngineTest {
 protected:
  // A 7 x 30 stored image, pixel (x, y) = 1000 + 7y + x.
  void writeStoredImage() {
    std::filesystem::create_directory(dir / "images");
    std::vector<std::uint16_t> pixels;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 7; ++x) pixels.push_back(std::uint16_t(1000 + 7 * y + x));
    testsupport::writeFile(dir / "images" / "plate.raw", le16(pixels));
    testsupport::writeFile(dir / "images" / "plate.raw.info",
                           "[ImageInfo]\r\nImageWidth=7\r\nImageHeight=30\r\nBitsPerPixel=16\r\n");
  }
  int initialiseAndCheck() {
    int r = QuorinScannerInintialize(target->handle());
    if (r) eng().firstCheck();
    return r;
  }
  // A Test-mode engine, idle, set for 20 blocks over the stored image.
  void readyTestModeScan(Miniscreen& mini) {
    writeStoredImage();
    makeEngine(kTestIni);
    ASSERT_EQ(initialiseAndCheck(), 1);
    ASSERT_EQ(QuorinSetMiniscreenInfo(&mini.info), 1);
    set_scan_para para{4, 100, 200, 2, 3, 900, 5};
    ASSERT_EQ(QuorinSetScanPara(&para), 1);
  }
};

TEST_F(ScanTest, TestModeScanOfTwentyBlocks) {
  writeStoredImage();
  makeEngine(kTestIni);
  ASSERT_EQ(initialiseAndCheck(), 1);
  ASSERT_EQ(eng().state(), kIdle);
  Miniscreen mini(10, 500, (dir / "scan.raw").string());
  ASSERT_EQ(QuorinSetMiniscreenInfo(&mini.info), 1);
  set_scan_para para{4, 100, 200, 2, 3, 900, 5};
  ASSERT_EQ(QuorinSetScanPara(&para), 1);
  EXPECT_EQ(para.height_mm, 100);
  get_scan_para got{};
  ASSERT_EQ(QuorinGetScanPara(&got), 1);
  EXPECT_EQ(got.width, 20);
  EXPECT_EQ(got.height, 500);
  EXPECT_EQ(got.depth, 16);
  EXPECT_EQ(got.blk_buff_sz, 1000);
  EXPECT_EQ(got.blk_pix_w, 20);
  EXPECT_EQ(got.blk_pix_h, 25);
  EXPECT_EQ(got.blk_n, 20);
  EXPECT_EQ(got.SerialNumber, 1234);

  ASSERT_EQ(QuorinScan(), 1);
  for (int i = 0; i < 20; ++i) {
    clock.advance(50);  // one block per 50 ms
    eng().step();
  }
  EXPECT_EQ(eng().state(), kScanErase);
  clock.advance(1999);  // standard mode erases for 2000 ms, then the plate moves for 2000 more
  eng().step();
  clock.advance(2000);
  eng().step();
  EXPECT_EQ(eng().state(), kScanErase);
  clock.advance(1);
  eng().step();
  EXPECT_EQ(eng().state(), kIdle);

  std::vector<Notification> expected{{IDM_ACQUIRE_STARTED, 0}};
  for (int b = 1; b <= 20; ++b) expected.push_back({IDM_ACQUIRE_REFRESH, 25 * b});
  expected.push_back({IDM_ACQUIRE_COMPLETE, 500});
  expected.push_back({IDM_ACQUIRE_COMPLETE_ALL, 500});
  EXPECT_EQ(pump(), expected);

  scan_status status{};
  EXPECT_EQ(QuorinGetScanningStatus(&status), 1);
  EXPECT_EQ(status.MiniLine, 500);
  EXPECT_EQ(status.ScanLine, 500);
  EXPECT_EQ(status.Block, 19);
  EXPECT_EQ(status.info, 2);

  // The stored image tiled across and down the 20 x 500 scan.
  std::vector<std::uint16_t> tiled;
  for (int k = 0; k < 500; ++k)
    for (int x = 0; x < 20; ++x) tiled.push_back(std::uint16_t(1000 + 7 * (k % 30) + x % 7));
  EXPECT_TRUE(testsupport::readFile(mini.raw) == le16(tiled));
  EXPECT_EQ(testsupport::readFile(mini.raw + ".info"),
            "[ImageInfo]\r\nImageWidth=20\r\nImageHeight=500\r\nBitsPerPixel=16\r\nXpitch=200\r\nYpitch=200\r\n"
            "ScanMode=1\r\nod_min=0\r\nod_max=40\r\nsensitivity=900\r\nStatus=Complete\r\n");
  EXPECT_EQ(testsupport::readFile(mini.raw + ".mini.raw.info"),
            "[ImageInfo]\r\nImageWidth=10\r\nImageHeight=500\r\nBitsPerPixel=16\r\n");
  EXPECT_TRUE(testsupport::readFile(mini.raw + ".mini.raw") == le16(mini.image16));
  EXPECT_FALSE(std::filesystem::exists(mini.raw + ".part"));
}

TEST_F(ScanTest, ScanModeDrivesTheReaderAndWritesItsBlocks) {
  makeEngine("[Common]\r\nZNTR_New_CommandTimeoutSec=240\r\n");
  ASSERT_EQ(initialiseAndCheck(), 1);
  EXPECT_EQ(fake().lastNew.timeout, 240);
  EXPECT_EQ(fake().lastNew.status, 0x80);
  ASSERT_EQ(eng().state(), kIdle);
  EXPECT_EQ(platform::ini::getInt(config.iniFile, "Common", "ScannerSerialNo", -1), 4321);

  Miniscreen mini(20, 500, (dir / "plate.raw").string());
  ASSERT_EQ(QuorinSetMiniscreenInfo(&mini.info), 1);
  set_scan_para para{4, 100, 200, 3, 1, 700, 2};
  ASSERT_EQ(QuorinSetScanPara(&para), 1);
  EXPECT_EQ(fake().lastSet.width, 4u);
  EXPECT_EQ(fake().lastSet.height, 5u);  // mm per block
  EXPECT_EQ(fake().lastSet.mode, 2);
  EXPECT_EQ(fake().lastSet.pitch, 200);
  EXPECT_EQ(fake().lastSet.out_bit_depth, 14);
  EXPECT_EQ(fake().lastOption.ScanOption, 2u * 65536u + 1u);
  EXPECT_EQ(fake().lastOption.HV, 700);

  ASSERT_EQ(QuorinScan(), 1);
  EXPECT_EQ(fake().lastScan.pix_w, 20);
  EXPECT_EQ(fake().lastScan.pix_h, 25);
  EXPECT_EQ(fake().lastScan.block_size, 20);
  EXPECT_EQ(fake().lastScan.buff_sz, 20000u);
  EXPECT_EQ(fake().lastScan.out_bit_depth, 14);
  fake().blocksDone = 7;
  eng().step();
  EXPECT_EQ(pump().size(), 8u);  // STARTED and seven refreshes
  fake().blocksDone = 20;
  eng().step();
  EXPECT_EQ(eng().state(), kScanErase);
  EXPECT_EQ(fake().callCount("EightLine"), 1);
  auto messages = pump();
  ASSERT_EQ(messages.size(), 22u);
  EXPECT_EQ(messages.back(), (Notification{IDM_ACQUIRE_COMPLETE, 500}));
  std::vector<std::uint16_t> expected;
  for (std::uint32_t b = 0; b < 20; ++b)
    for (std::size_t i = 0; i < 500; ++i) expected.push_back(crtest::fakePixel(b, i));
  EXPECT_TRUE(testsupport::readFile(mini.raw) == le16(expected));

  fake().option.scanner_condition = 8;  // erasing
  eng().step();
  EXPECT_EQ(eng().state(), kScanErase);
  fake().option.scanner_condition = 0;
  eng().step();
  EXPECT_EQ(eng().state(), kIdle);
  EXPECT_EQ(pump().back(), (Notification{IDM_ACQUIRE_COMPLETE_ALL, 500}));
}

TEST_F(ScanTest, DemoModeScansIntoOneDemoBlockAndKeepsTheStoredImage) {
  writeStoredImage();
  makeEngine("[Common]\r\nMode=demo\r\n[Demo]\r\nImageDir=images\r\n");
  ASSERT_EQ(initialiseAndCheck(), 1);
  EXPECT_TRUE(sink.contains("-- DEMO mode --"));
  Miniscreen mini(10, 500, (dir / "demo.raw").string());
  ASSERT_EQ(QuorinSetMiniscreenInfo(&mini.info), 1);
  set_scan_para para{4, 100, 200, 2, 3, 900, 5};
  ASSERT_EQ(QuorinSetScanPara(&para), 1);
  ASSERT_EQ(QuorinScan(), 1);
  ASSERT_EQ(fake().lastScan.block_size, 20);
  buffer_info buffer{};
  ASSERT_EQ(QuorinGetBuffer(&buffer), 1);
  std::uint16_t** device = fake().lastScan.buff_pp;  // packed records: use copies
  std::uint16_t** engineBlocks = buffer.blk_table;
  for (int b = 1; b < 20; ++b) EXPECT_EQ(device[b], device[0]);
  for (int b = 0; b < 20; ++b) EXPECT_NE(engineBlocks[b], device[0]);
  fake().blocksDone = 20;
  eng().step();
  ASSERT_EQ(eng().state(), kScanErase);
  EXPECT_EQ(fake().callCount("EightLine"), 0) << "only scans of the reader's own image are corrected";
  std::vector<std::uint16_t> tiled;
  for (int k = 0; k < 500; ++k)
    for (int x = 0; x < 20; ++x) tiled.push_back(std::uint16_t(1000 + 7 * (k % 30) + x % 7));
  EXPECT_TRUE(testsupport::readFile(mini.raw) == le16(tiled));
}

TEST_F(ScanTest, ScannerThreadRunsATestModeScanToTheEnd) {
  writeStoredImage();
  makeEngine("[Common]\r\nMode=Test\r\nScannerThread_IdleMs=2\r\n[Test]\r\nImageDir=images\r\n",
             /*startThread=*/true);
  ASSERT_EQ(QuorinScannerInintialize(target->handle()), 1);
  int busy = 1;
  for (int i = 0; i < 10000 && busy != 0; ++i) {
    QuorinGetBusyFlag(&busy);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(busy, 0);
  Miniscreen mini(10, 500, (dir / "threaded.raw").string());
  ASSERT_EQ(QuorinSetMiniscreenInfo(&mini.info), 1);
  set_scan_para para{4, 100, 200, 1, 3, 900, 5};  // high speed: 300 ms of erasing
  ASSERT_EQ(QuorinSetScanPara(&para), 1);
  ASSERT_EQ(QuorinScan(), 1);
  // The host's side while the thread works: the clock moves, status is read.
  bool done = false;
  for (int i = 0; i < 20000 && !done; ++i) {
    clock.advance(10);
    scan_status status{};
    QuorinGetScanningStatus(&status);
    QuorinGetBusyFlag(&busy);
    target->pump();
    done = !received.empty() && received.back().id == IDM_ACQUIRE_COMPLETE_ALL;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  ASSERT_TRUE(done);
  std::vector<Notification> expected{{IDM_ACQUIRE_STARTED, 0}};
  for (int b = 1; b <= 20; ++b) expected.push_back({IDM_ACQUIRE_REFRESH, 25 * b});
  expected.push_back({IDM_ACQUIRE_COMPLETE, 500});
  expected.push_back({IDM_ACQUIRE_COMPLETE_ALL, 500});
  EXPECT_EQ(received, expected);
  EXPECT_EQ(testsupport::readFile(mini.raw).size(), 20u * 500u * 2u);
  EXPECT_EQ(QuorinScannerFinish(), 1);
  EXPECT_TRUE(sink.contains("ScannerThread Stop event received."));
}

TEST_F(ScanTest, DeviceAndFileFailuresDuringAScanPostError) {
  enum Fault { kScanCall, kStatusPoll, kRawFile };
  for (Fault fault : {kScanCall, kStatusPoll, kRawFile}) {
    SCOPED_TRACE(int(fault));
    fake().reset();
    received.clear();
    makeEngine("");
    ASSERT_EQ(initialiseAndCheck(), 1);
    std::filesystem::create_directories(dir / "out");
    Miniscreen mini(20, 500, (dir / "out" / "plate.raw").string());
    ASSERT_EQ(QuorinSetMiniscreenInfo(&mini.info), 1);
    set_scan_para para{4, 100, 200, 2, 3, 900, 5};
    ASSERT_EQ(QuorinSetScanPara(&para), 1);
    fake().failScanM = fault == kScanCall;
    fake().failGetScanStatus = fault == kStatusPoll;
    if (fault == kRawFile) std::filesystem::remove_all(dir / "out");
    const int started = QuorinScan();
    EXPECT_EQ(started, fault == kScanCall ? 0 : 1);
    fake().blocksDone = 20;
    if (started) eng().step();
    EXPECT_EQ(eng().state(), kError);
    auto messages = pump();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), (Notification{IDM_ACQUIRE_ERROR, 0}));
    for (auto& m : messages) EXPECT_NE(m.id, IDM_ACQUIRE_COMPLETE);
    if (fault == kRawFile) {
      EXPECT_TRUE(sink.contains("Error: WriteRawFile failed."));
      EXPECT_EQ(lastError(), QUORIN_ERR_FILE_ACCESS);
    }
    if (fault == kStatusPoll) {
      EXPECT_TRUE(sink.contains("Error ZNTR_GetScanStatusM failed."));
    }
    ASSERT_EQ(QuorinScannerFinish(), 1);
  }
}

// A disk that fills while the raw file is written ends the scan as failed,
// and the host hears why even when it still answers the scan's refreshes
// (each export clears the engine error) before its error notification.
TEST_F(ScanTest, ARawFileWithoutRoomEndsTheScanWithTheFileAccessError) {
  makeEngine("");
  ASSERT_EQ(initialiseAndCheck(), 1);
  Miniscreen mini(20, 500, (dir / "plate.raw").string());
  ASSERT_EQ(QuorinSetMiniscreenInfo(&mini.info), 1);
  set_scan_para para{4, 100, 200, 2, 3, 900, 5};
  ASSERT_EQ(QuorinSetScanPara(&para), 1);
  ASSERT_EQ(QuorinScan(), 1);
  fake().blocksDone = 20;
  {
    const testsupport::FileSizeLimit room(20 * 500 * 2 / 2);  // half the plate fits
    eng().step();
  }
  EXPECT_EQ(eng().state(), kError);
  const auto messages = pump();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back(), (Notification{IDM_ACQUIRE_ERROR, 0}));
  for (const auto& m : messages) EXPECT_NE(m.id, IDM_ACQUIRE_COMPLETE);
  EXPECT_TRUE(sink.contains("Error: WriteRawFile failed."));
  EXPECT_EQ(std::filesystem::file_size(mini.raw), 0u) << "nothing of the plate stands in the raw file";
  EXPECT_FALSE(std::filesystem::exists(mini.raw + ".part"));
  EXPECT_FALSE(std::filesystem::exists(mini.raw + ".info"));

  scan_status status{};
  EXPECT_EQ(QuorinGetScanningStatus(&status), 0);  // a late refresh of the failed scan
  int code = 0;
  char text[512] = {};
  ASSERT_EQ(QuorinGetErrorInformation(&code, text), 1);
  EXPECT_EQ(unsigned(code), unsigned(QUORIN_ERR_FILE_ACCESS));
  EXPECT_STREQ(text, "File access error.");
  ASSERT_EQ(QuorinGetErrorInformation(&code, text), 1);
  EXPECT_EQ(unsigned(code), unsigned(QUORIN_ERR_FILE_ACCESS)) << "asked again, still the scan's failure";

  // The reader itself is well: the engine is ready again, and the next scan
  // starts clean and, with room again, completes.
  eng().step();
  ASSERT_EQ(eng().state(), kIdle);
  ASSERT_EQ(QuorinScan(), 1);
  ASSERT_EQ(QuorinGetErrorInformation(&code, text), 1);
  EXPECT_EQ(code, 0);
  eng().step();
  EXPECT_EQ(eng().state(), kScanErase);
  EXPECT_EQ(std::filesystem::file_size(mini.raw), 20u * 500 * 2);
}

// The scanner thread may step as soon as QuorinScan leaves the engine lock;
// the host still hears of the start before any block of the scan.
TEST_F(ScanTest, StartIsPostedBeforeAnyRefreshOfTheScan) {
  Miniscreen mini(10, 500, (dir / "scan.raw").string());
  readyTestModeScan(mini);
  pump();
  received.clear();
  std::thread scanner;
  std::atomic<bool> stepped{false};
  sink.onWrite = [&](const std::string& line) {
    if (line != "Start: Scan") return;
    // A block is in, and the thread steps in the gap before the start is posted.
    clock.advance(60);
    scanner = std::thread([&] {
      eng().step();
      stepped = true;
    });
    for (int i = 0; i < 200 && !stepped; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  const int started = QuorinScan();
  if (scanner.joinable()) scanner.join();
  sink.onWrite = nullptr;
  ASSERT_EQ(started, 1);
  const auto messages = pump();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].id, IDM_ACQUIRE_STARTED);
  EXPECT_EQ(messages[1].id, IDM_ACQUIRE_REFRESH);
}

TEST_F(ScanTest, ScanRefusedWhileScanningKeepsTheRunningScan) {
  Miniscreen mini(10, 500, (dir / "scan.raw").string());
  readyTestModeScan(mini);
  ASSERT_EQ(QuorinScan(), 1);
  buffer_info before{};
  ASSERT_EQ(QuorinGetBuffer(&before), 1);

  EXPECT_EQ(QuorinScan(), 0);
  int code = 0;
  char text[512];
  QuorinGetErrorInformation(&code, text);
  EXPECT_EQ(std::uint32_t(code), QUORIN_ERR_BLOCKED_SCAN);
  EXPECT_STREQ(text, "Execution blocked 'GetScanStatus'");
  EXPECT_EQ(eng().state(), kScan);
  EXPECT_TRUE(sink.contains("Error: ScanClass::GetScanStatus, now status SCAN."));

  set_scan_para other{10, 350, 100, 2, 3, 900, 5};
  EXPECT_EQ(QuorinSetScanPara(&other), 0);
  EXPECT_EQ(lastError(), QUORIN_ERR_BLOCKED_SETCONDITION);
  EXPECT_EQ(other.height_mm, 350);
  buffer_info after{};
  ASSERT_EQ(QuorinGetBuffer(&after), 1);
  std::uint16_t** tableBefore = before.blk_table;  // packed records: compare copies
  std::uint16_t** tableAfter = after.blk_table;
  EXPECT_EQ(tableAfter, tableBefore);
  EXPECT_EQ(after.blk_n, 20);

  for (int i = 0; i < 20; ++i) {
    clock.advance(50);
    eng().step();
  }
  auto messages = pump();
  EXPECT_EQ(messages.size(), 22u);
  EXPECT_EQ(messages.back(), (Notification{IDM_ACQUIRE_COMPLETE, 500}));
  for (auto& m : messages) EXPECT_NE(m.id, IDM_ACQUIRE_ERROR);
}

// Outside SCAN nothing runs that a refusal could protect: a refused scan is
// an error the host hears of.
TEST_F(ScanTest, ScanRefusedOutsideScanPostsErrorAndGoesToError) {
  struct Case {
    const char* name;
    int stateBefore;
  };
  for (const Case& c : {Case{"erasing after a scan", kScanErase}, Case{"erasing", kErase}}) {
    SCOPED_TRACE(c.name);
    Miniscreen mini(10, 500, (dir / "scan.raw").string());
    readyTestModeScan(mini);
    if (c.stateBefore == kScanErase) {
      ASSERT_EQ(QuorinScan(), 1);
      for (int i = 0; i < 20 && eng().state() == kScan; ++i) {
        clock.advance(50);
        eng().step();
      }
    } else {
      ASSERT_EQ(QuorinErase(), 1);
    }
    ASSERT_EQ(eng().state(), c.stateBefore);
    pump();
    received.clear();

    EXPECT_EQ(QuorinScan(), 0);
    EXPECT_EQ(lastError(), QUORIN_ERR_BLOCKED_SCAN);
    EXPECT_EQ(eng().state(), kError);
    EXPECT_EQ(pump(), (std::vector<Notification>{{IDM_ACQUIRE_ERROR, 0}}));
    EXPECT_TRUE(sink.contains("Error: ScanClass::GetScanStatus, now status " + stateName(c.stateBefore) + "."));
    QuorinScannerFinish();
  }
}

// The scanner thread's step for a scan may be inside the reader when the host
// resets the error and starts the next scan; what it does when it returns must
// not land in the new scan.
TEST_F(ScanTest, AStepOfASupersededScanLeavesTheNextScanAlone) {
  for (const char* held : {"GetScanStatusM", "EightLine"}) {
    SCOPED_TRACE(held);
    config.engineLockMs = 50;
    config.resetLockMs = 50;
    config.bindingLockMs = 50;
    config.clearHardErrorLockMs = 50;
    makeEngine("");
    ASSERT_EQ(initialiseAndCheck(), 1);
    Miniscreen mini(20, 500, (dir / (std::string(held) + ".raw")).string());
    ASSERT_EQ(QuorinSetMiniscreenInfo(&mini.info), 1);
    set_scan_para para{4, 100, 200, 3, 1, 700, 2};
    ASSERT_EQ(QuorinSetScanPara(&para), 1);
    ASSERT_EQ(QuorinScan(), 1);

    fake().blocksDone = 20;  // the first scan is all in when the step asks
    fake().holdCall = held;
    std::thread scanner([&] { eng().step(); });
    ASSERT_TRUE(fake().waitUntilHeld(10000));
    EXPECT_EQ(QuorinErrorReset(), 1);
    EXPECT_EQ(eng().state(), kIdle);
    fake().blocksDone = 0;
    ASSERT_EQ(QuorinScan(), 1);
    pump();
    received.clear();
    fake().release();
    scanner.join();

    EXPECT_EQ(eng().state(), kScan);
    EXPECT_EQ(pump(), std::vector<Notification>{}) << "nothing from the superseded scan";
    scan_status status{};
    QuorinGetScanningStatus(&status);
    EXPECT_EQ(status.info, 1);
    EXPECT_EQ(status.MiniLine, 0);
    EXPECT_EQ(std::filesystem::file_size(mini.raw), 0u) << "no raw file of the old scan";

    // The new scan runs to its own end.
    fake().blocksDone = 20;
    eng().step();
    EXPECT_EQ(eng().state(), kScanErase);
    auto messages = pump();
    ASSERT_EQ(messages.size(), 21u);  // twenty refreshes and the completion
    EXPECT_EQ(messages.back(), (Notification{IDM_ACQUIRE_COMPLETE, 500}));
    EXPECT_EQ(std::filesystem::file_size(mini.raw), 20u * 500 * 2);
    QuorinScannerFinish();
  }
}

TEST_F(ScanTest, ScanWithoutPreviewFailsAndPostsError) {
  makeEngine(kTestIni);
  ASSERT_EQ(initialiseAndCheck(), 1);
  set_scan_para para{4, 100, 200, 2, 3, 900, 5};
  ASSERT_EQ(QuorinSetScanPara(&para), 1);
  EXPECT_EQ(QuorinScan(), 0);
  EXPECT_EQ(lastError(), QUORIN_ERR_MINISCREEN);
  EXPECT_EQ(eng().state(), kError);
  EXPECT_EQ(pump(), (std::vector<Notification>{{IDM_ACQUIRE_ERROR, 0}}));
}

TEST_F(ScanTest, ScanParametersThatCannotWorkAreRefused) {
  makeEngine(kTestIni);
  ASSERT_EQ(initialiseAndCheck(), 1);
  const std::vector<set_scan_para> cases{
      {0, 100, 100, 2, 3, 900, 5},  {4, 0, 100, 2, 3, 900, 5},   {4, 5001, 100, 2, 3, 900, 5},
      {4, 100, 0, 2, 3, 900, 5},    {4, 100, 256, 2, 3, 900, 5}, {4, 11, 255, 2, 3, 900, 5},  // 3 lines per block
  };
  for (auto c : cases) {
    set_scan_para para = c;
    EXPECT_EQ(QuorinSetScanPara(&para), 0) << c.width_mm << " " << c.height_mm << " " << c.pitch_um;
    EXPECT_EQ(lastError(), QUORIN_ERR_PARAMETER);
    EXPECT_EQ(eng().state(), kIdle);
  }
}

TEST_F(ScanTest, ReaderRefusingTheConditionOrTheOptionFailsTheCall) {
  for (bool optionFails : {false, true}) {
    fake().reset();
    makeEngine("");
    ASSERT_EQ(initialiseAndCheck(), 1);
    fake().failSetCondition = !optionFails;
    fake().failSetOption = optionFails;
    set_scan_para para{4, 100, 200, 2, 3, 900, 5};
    EXPECT_EQ(QuorinSetScanPara(&para), 0) << optionFails;
    EXPECT_EQ(eng().state(), kError);
    EXPECT_EQ(fake().callCount("SetOption"), optionFails ? 1 : 0);
    ASSERT_EQ(QuorinScannerFinish(), 1);
  }
}

TEST_F(ScanTest, PhotometricsGiveDepthAndInversion) {
  makeEngine("");
  ASSERT_EQ(initialiseAndCheck(), 1);
  struct Case {
    int photometrics, depth;
  };
  for (Case c : {Case{0, 12}, Case{1, 12}, Case{2, 14}, Case{3, 14}, Case{4, 16}, Case{5, 16}, Case{-1, 16}}) {
    set_scan_para para{4, 100, 200, 2, 3, 900, c.photometrics};
    ASSERT_EQ(QuorinSetScanPara(&para), 1);
    get_scan_para got{};
    ASSERT_EQ(QuorinGetScanPara(&got), 1);
    EXPECT_EQ(got.depth, c.depth) << c.photometrics;
    EXPECT_EQ(fake().lastSet.out_bit_depth, c.depth);
    EXPECT_EQ(fake().lastOption.ScanOption, std::uint32_t(c.photometrics) * 65536u + 3u);
  }
}

TEST_F(ScanTest, TestModeEraseEjectAndResetFinishOnTheFakeClock) {
  makeEngine(kTestIni);
  ASSERT_EQ(initialiseAndCheck(), 1);
  ASSERT_EQ(QuorinErase(), 1);
  EXPECT_EQ(eng().state(), kErase);
  int busy = -1;
  QuorinGetBusyFlag(&busy);
  EXPECT_EQ(busy, 1);
  EXPECT_EQ(QuorinEject(), 0);
  EXPECT_EQ(lastError(), QUORIN_ERR_BLOCKED_EJECT);
  clock.advance(3999);
  eng().step();
  EXPECT_EQ(eng().state(), kErase);
  clock.advance(1);
  eng().step();
  EXPECT_EQ(eng().state(), kIdle);
  EXPECT_TRUE(pump().empty());
  const std::uint32_t before = clock.tickCount();
  EXPECT_EQ(QuorinEject(), 1);
  EXPECT_GE(clock.tickCount() - before, 2000u);
  EXPECT_EQ(eng().state(), kIdle);
  EXPECT_EQ(QuorinErrorReset(), 1);
  EXPECT_EQ(eng().state(), kIdle);
  EXPECT_TRUE(sink.contains("Success: ErrorReset"));
}

TEST_F(ScanTest, DeviceErrorTextIsCutTo79Characters) {
  makeEngine("");
  ASSERT_EQ(initialiseAndCheck(), 1);
  fake().errorCode = 0x4012;
  fake().errorText = std::string(100, 'd');
  int code = 0;
  char text[512];
  ASSERT_EQ(QuorinGetErrorInformation(&code, text), 1);
  EXPECT_EQ(code, 0x4012);
  EXPECT_EQ(std::string(text), std::string(79, 'd'));
  // Without a device error the engine's own is reported.
  fake().errorCode = 0;
  EXPECT_EQ(QuorinEject(), 1);
  ASSERT_EQ(QuorinErase(), 1);
  EXPECT_EQ(QuorinEject(), 0);
  ASSERT_EQ(QuorinGetErrorInformation(&code, text), 1);
  EXPECT_EQ(std::uint32_t(code), QUORIN_ERR_BLOCKED_EJECT);
  EXPECT_STREQ(text, "Execution blocked 'Eject'");
}

TEST_F(ScanTest, FirstCheckWithBusyReaderGoesToError) {
  fake().option.scanner_condition = 0x86;
  makeEngine("");
  ASSERT_EQ(initialiseAndCheck(), 1);
  EXPECT_EQ(eng().state(), kError);
  EXPECT_EQ(lastError(), QUORIN_ERR_CONDITION_UNEXPECTED);
  EXPECT_TRUE(sink.contains("Error: Scanner condition error.  KtGOption::scanner_condition = 0x0086"));
  fake().option.scanner_condition = 1;
  eng().step();
  EXPECT_EQ(eng().state(), kIdle);
}

TEST_F(ScanTest, LockTimeOutsWarnAndTheCallProceeds) {
  config.engineLockMs = 50;
  config.bindingLockMs = 50;
  makeEngine("");
  ASSERT_EQ(initialiseAndCheck(), 1);
  fake().holdCall = "GetCondition";
  std::thread scanner([&] { eng().step(); });  // holds both locks inside the reader
  ASSERT_TRUE(fake().waitUntilHeld(10000));
  EXPECT_EQ(QuorinErase(), 1);
  EXPECT_EQ(fake().callCount("Erase"), 1);
  EXPECT_TRUE(sink.contains("Warning: [ScannerInfo] Wait for TryEnterCriticalSection time out(50ms)."));
  EXPECT_TRUE(sink.contains("Warning: ZENTRAC_DLL Wait for TryEnterCriticalSection time out(50ms)."));
  fake().release();
  scanner.join();
  EXPECT_EQ(eng().state(), kErase);
}

TEST_F(ScanTest, FinishWithAStuckThreadReturnsAfterTheStopWindow) {
  config.engineLockMs = 50;
  config.bindingLockMs = 50;
  config.stopPolls = 5;
  config.stopPollMs = 10;
  fake().holdCall = "GetCondition";
  makeEngine("", /*startThread=*/true);
  ASSERT_EQ(QuorinScannerInintialize(target->handle()), 1);
  ASSERT_TRUE(fake().waitUntilHeld(10000));  // the thread's first check hangs in the reader
  EXPECT_EQ(QuorinScannerFinish(), 1);
  EXPECT_FALSE(initialised());
  EXPECT_TRUE(sink.contains("Warning: call TerminateThread in StopScannerThread"));
  EXPECT_EQ(eng().abandonedThreads(), 1);
  EXPECT_EQ(fake().callCount("Delete"), 1);
  EXPECT_FALSE(sink.contains("Success: FreeDLL ZENTRAC.dll")) << "the library stays for the thread";

  // The given-up thread ends when its call returns, and leaves the engine alone.
  fake().release();
  for (int i = 0; i < 10000 && eng().abandonedThreads() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(eng().abandonedThreads(), 0);
  EXPECT_EQ(eng().state(), kStarting);

  // A later initialise runs a thread of its own.
  ASSERT_EQ(QuorinScannerInintialize(target->handle()), 1);
  for (int i = 0; i < 10000 && eng().state() != kIdle; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(eng().state(), kIdle);
  EXPECT_EQ(QuorinScannerFinish(), 1);
  EXPECT_TRUE(sink.contains("StopScannerThread: exitcode = 0x0"));
  EXPECT_TRUE(sink.contains("Success: FreeDLL ZENTRAC.dll"));
}

// A host may unload the engine or leave the process without
// QuorinScannerFinish while the scanner thread is stuck in the reader.
TEST_F(ScanTest, EndingWithoutFinishKeepsTheReaderLibraryForAStuckThread) {
  const std::string path = (platform::paths::programDir() / "libZentracFakeFull.so").string();
  config.deviceLibrary = "ZentracFakeFull";
  config.engineLockMs = 50;
  config.bindingLockMs = 50;
  config.stopPolls = 3;
  config.stopPollMs = 10;
  makeEngine("", /*startThread=*/true);
  ASSERT_EQ(QuorinScannerInintialize(target->handle()), 1);
  void (*hold)(int) = nullptr;
  int (*inside)() = nullptr;
  {
    // Looked up without keeping a reference of the test's own on the library.
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(library, nullptr);
    hold = reinterpret_cast<void (*)(int)>(::dlsym(library, "fake_hold_get_condition"));
    inside = reinterpret_cast<int (*)()>(::dlsym(library, "fake_inside_held_call"));
    ::dlclose(library);
    ASSERT_TRUE(hold && inside);
  }
  hold(1);
  for (int i = 0; i < 10000 && !inside(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(inside());

  ScanClass* stuck = &eng();
  retireEngine();
  void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(library, nullptr) << "the reader library was unloaded under the stuck thread";
  ::dlclose(library);
  EXPECT_EQ(stuck->abandonedThreads(), 1);
  EXPECT_TRUE(sink.contains("Warning: call TerminateThread in StopScannerThread"));

  // Once its call returns the thread ends, and the kept engine may go with the library.
  hold(0);
  for (int i = 0; i < 10000 && stuck->abandonedThreads() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(stuck->abandonedThreads(), 0);
  delete stuck;
  EXPECT_EQ(::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
  setInitialised(false);
  makeEngine("");
}

// A process that leaves a thread stuck in the reader must still exit cleanly.
testsupport::ChildRegistration stuckExit("crengine-stuck-exit", [](const std::vector<std::string>& args) {
  crengine::setLogSink(new crtest::RecordingSink);  // no log files from the child
  fake().reset();
  fake().holdCall = "GetCondition";
  EngineConfig c;
  c.iniFile = args.at(0);
  c.programDir = std::filesystem::path(args.at(0)).parent_path();
  c.loader = crtest::makeFakeLoader();
  c.engineLockMs = 50;
  c.bindingLockMs = 50;
  c.stopPolls = 3;
  c.stopPollMs = 10;
  installEngine(std::make_unique<ScanClass>(std::move(c)));
  if (QuorinScannerInintialize(0) != 1) return 2;
  if (!fake().waitUntilHeld(10000)) return 3;
  if (QuorinScannerFinish() != 1) return 4;
  return engine().abandonedThreads() == 1 ? 0 : 5;
});

TEST_F(ScanTest, ProcessExitsCleanlyWithAThreadStuckInTheReader) {
  testsupport::writeFile(dir / "HalcyoneHard.ini", "");
  platform::Process child;
  ASSERT_TRUE(child.start(testsupport::selfExecutable(),
                          testsupport::childArgs("crengine-stuck-exit", {(dir / "HalcyoneHard.ini").string()})));
  auto exit = child.wait();
  EXPECT_EQ(exit.kind, platform::ProcessExit::Kind::Exited);
  EXPECT_EQ(exit.code, 0);
}

}  // namespace
