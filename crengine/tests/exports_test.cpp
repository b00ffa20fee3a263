// The common frame of the exports, the checks of their arguments, the log
// set-up and the library's export table.
#include "fakes.h"

#include "crengine/quorin.h"

#include <gtest/gtest.h>
#include <set>
#include <sstream>

namespace {

using namespace crengine;
using crtest::fake;

constexpr const char* kTestIni = "[Common]\r\nMode=Test\r\n";

class ExportsTest : public crtest::EngineTest {};

TEST_F(ExportsTest, EveryExportBeforeInitialiseFails) {
  makeEngine(kTestIni);
  int i = 0;
  char text[512];
  miniscreen_info mini{};
  set_scan_para set{};
  get_scan_para get{};
  scan_status status{};
  buffer_info buffer{};
  const std::vector<std::pair<const char*, std::function<int()>>> calls{
      {"Finish", [] { return QuorinScannerFinish(); }},
      {"SetMiniscreenInfo", [&] { return QuorinSetMiniscreenInfo(&mini); }},
      {"SetScanPara", [&] { return QuorinSetScanPara(&set); }},
      {"GetScanPara", [&] { return QuorinGetScanPara(&get); }},
      {"Scan", [] { return QuorinScan(); }},
      {"GetScanningStatus", [&] { return QuorinGetScanningStatus(&status); }},
      {"Erase", [] { return QuorinErase(); }},
      {"Eject", [] { return QuorinEject(); }},
      {"ErrorReset", [] { return QuorinErrorReset(); }},
      {"GetErrorInformation", [&] { return QuorinGetErrorInformation(&i, text); }},
      {"GetDeviceLogInfo", [&] { return QuorinGetDeviceLogInfo(text, 512, &i); }},
      {"GetBusyFlag", [&] { return QuorinGetBusyFlag(&i); }},
      {"GetBuffer", [&] { return QuorinGetBuffer(&buffer); }},
      {"GetIPSetFlag", [&] { return QuorinGetIPSetFlag(&i); }},
  };
  for (auto& [name, call] : calls) {
    eng().SetErrorCode(0);
    EXPECT_EQ(call(), 0) << name;
    EXPECT_EQ(lastError(), QUORIN_ERR_NOT_INITIALIZED) << name;
  }
  EXPECT_EQ(eng().errorText(), "Device is not initialization.");
  EXPECT_TRUE(sink.contains("End: QuorinScan"));
}

TEST_F(ExportsTest, SecondInitialiseIsRefusedAndLeavesTheEngineRunning) {
  makeEngine(kTestIni);
  ASSERT_EQ(QuorinScannerInintialize(target->handle()), 1);
  eng().firstCheck();
  ASSERT_EQ(QuorinErase(), 1);
  EXPECT_EQ(QuorinScannerInintialize(target->handle()), 0);
  EXPECT_EQ(lastError(), QUORIN_ERR_ALREADY_INITIALIZED);
  EXPECT_TRUE(initialised());
  EXPECT_EQ(eng().state(), kErase);
  EXPECT_TRUE(sink.contains("scanclass.Init() success"));
}

TEST_F(ExportsTest, BusyFlagWithNullPointerStillSucceeds) {
  makeEngine(kTestIni);
  ASSERT_EQ(QuorinScannerInintialize(target->handle()), 1);
  EXPECT_EQ(QuorinGetBusyFlag(nullptr), 1);
  int code = 0;
  char text[512];
  ASSERT_EQ(QuorinGetErrorInformation(&code, text), 1);
  EXPECT_EQ(std::uint32_t(code), QUORIN_ERR_PARAMETER);
  EXPECT_STREQ(text, "Invalid parameter.");
  EXPECT_TRUE(sink.contains("  error_code=0x10006081 error_msg=Invalid parameter."));

  int busy = -1;
  EXPECT_EQ(QuorinGetBusyFlag(&busy), 1);
  EXPECT_EQ(busy, 1) << "before the thread's first check";
  eng().firstCheck();
  EXPECT_EQ(QuorinGetBusyFlag(&busy), 1);
  EXPECT_EQ(busy, 0);
  EXPECT_EQ(QuorinGetBusyFlag(&busy), 1);
  EXPECT_EQ(sink.count("  BusyFlag changed. FALSE"), 1);
  EXPECT_EQ(sink.count("  BusyFlag changed. TRUE"), 1);
}

TEST_F(ExportsTest, NullRecordsAreInvalidParameters) {
  makeEngine(kTestIni);
  ASSERT_EQ(QuorinScannerInintialize(target->handle()), 1);
  eng().firstCheck();
  int n = 0;
  char text[16];
  const std::vector<std::pair<const char*, std::function<int()>>> calls{
      {"SetMiniscreenInfo", [] { return QuorinSetMiniscreenInfo(nullptr); }},
      {"SetScanPara", [] { return QuorinSetScanPara(nullptr); }},
      {"GetScanPara", [] { return QuorinGetScanPara(nullptr); }},
      {"GetScanningStatus", [] { return QuorinGetScanningStatus(nullptr); }},
      {"GetBuffer", [] { return QuorinGetBuffer(nullptr); }},
      {"GetIPSetFlag", [] { return QuorinGetIPSetFlag(nullptr); }},
      {"GetDeviceLogInfo buffer", [&] { return QuorinGetDeviceLogInfo(nullptr, 16, &n); }},
      {"GetDeviceLogInfo size", [&] { return QuorinGetDeviceLogInfo(text, 0, &n); }},
      {"GetDeviceLogInfo length", [&] { return QuorinGetDeviceLogInfo(text, 16, nullptr); }},
  };
  for (auto& [name, call] : calls) {
    EXPECT_EQ(call(), 0) << name;
    EXPECT_EQ(lastError(), QUORIN_ERR_PARAMETER) << name;
  }
  EXPECT_TRUE(sink.contains("Error: ScanClass::GetDeviceLogInfo log_size==NULL"));
}

TEST_F(ExportsTest, MiniscreenInfoIsCheckedBeforeAnythingIsStored) {
  makeEngine(kTestIni);
  ASSERT_EQ(QuorinScannerInintialize(target->handle()), 1);
  std::vector<std::uint16_t> image16(100);
  std::vector<std::uint8_t> image8(100);
  const std::string path = (dir / "raw.raw").string();
  const miniscreen_info good{image16.data(), image8.data(), 10, 10, path.c_str()};
  struct Case {
    miniscreen_info info;
    const char* line;
  };
  const std::string longPath(300, 'p');
  const std::vector<Case> cases{
      {{image16.data(), image8.data(), 10, 0, path.c_str()}, "Error: miniscreen_info::nRescaledHeight=0"},
      {{image16.data(), image8.data(), -1, 10, path.c_str()}, "Error: miniscreen_info::nRescanedWidth=-1"},
      {{image16.data(), nullptr, 10, 10, path.c_str()}, "Error: miniscreen_info::pBitsImage=NULL"},
      {{nullptr, image8.data(), 10, 10, path.c_str()}, "Error: miniscreen_info::pRescaledImage=NULL"},
      {{image16.data(), image8.data(), 10, 10, nullptr}, "Error: miniscreen_info::szRawFilePath=NULL"},
      {{image16.data(), image8.data(), 10, 10, ""}, "Error: miniscreen_info::szRawFilePath=NULL"},
      {{image16.data(), image8.data(), 10, 10, longPath.c_str()}, "Error: miniscreen_info::szRawFilePath=NULL"},
  };
  for (auto c : cases) {
    EXPECT_EQ(QuorinSetMiniscreenInfo(&c.info), 0) << c.line;
    EXPECT_EQ(lastError(), QUORIN_ERR_PARAMETER) << c.line;
    EXPECT_TRUE(sink.contains(c.line));
  }
  const std::string unreachable = (dir / "missing" / "raw.raw").string();
  miniscreen_info bad = good;
  bad.szRawFilePath = unreachable.c_str();
  EXPECT_EQ(QuorinSetMiniscreenInfo(&bad), 0);
  EXPECT_EQ(lastError(), QUORIN_ERR_FILE_ACCESS);
  EXPECT_FALSE(std::filesystem::exists(path));
  miniscreen_info ok = good;
  EXPECT_EQ(QuorinSetMiniscreenInfo(&ok), 1);
  EXPECT_TRUE(std::filesystem::exists(path)) << "made empty when missing";
}

TEST_F(ExportsTest, IpSetFlagFollowsThePlateBits) {
  makeEngine("");
  ASSERT_EQ(QuorinScannerInintialize(target->handle()), 1);
  int flag = -1;
  EXPECT_EQ(QuorinGetIPSetFlag(&flag), 0) << "no valid read before the first check";
  EXPECT_EQ(flag, 0);
  eng().firstCheck();
  EXPECT_EQ(QuorinGetIPSetFlag(&flag), 1);
  EXPECT_EQ(flag, 1);
  fake().option.scanner_condition = 0;
  eng().step();
  EXPECT_EQ(QuorinGetIPSetFlag(&flag), 1);
  EXPECT_EQ(flag, 0);
  EXPECT_TRUE(sink.contains("  IPSetFlag changed. TRUE"));
  EXPECT_TRUE(sink.contains("  IPSetFlag changed. FALSE"));
}

TEST_F(ExportsTest, AlwaysOnIpSetFlag) {
  makeEngine("[Common]\r\nMode=Test\r\nAlwaysON_IPSetFlag=1\r\n");
  ASSERT_EQ(QuorinScannerInintialize(target->handle()), 1);
  int flag = 0;
  EXPECT_EQ(QuorinGetIPSetFlag(&flag), 1);
  EXPECT_EQ(flag, 1);
}

TEST_F(ExportsTest, LogIsConfiguredOnlyWhenTheHostHasNot) {
  makeEngine("[Common]\r\nMode=Test\r\n[Log]\r\nLogLevel=4\r\n");
  ASSERT_EQ(QuorinScannerInintialize(target->handle()), 1);
  EXPECT_EQ(sink.configuredDirectory, std::filesystem::current_path().string() + "/");
  EXPECT_EQ(sink.facilityLevel, 4);
  EXPECT_EQ(engineLogLevel(), 4);
  ASSERT_EQ(QuorinScannerFinish(), 1);

  sink.configuredDirectory.clear();
  sink.fileName = "/var/log/host/Halcyone_10.txt";
  ASSERT_EQ(QuorinScannerInintialize(target->handle()), 1);
  EXPECT_EQ(sink.configuredDirectory, "") << "the host's log settings stay";
  ASSERT_EQ(QuorinScannerFinish(), 1);

  sink.fileName = "/work/logFile_20260101000000.txt";  // the library's default name
  ASSERT_EQ(QuorinScannerInintialize(target->handle()), 1);
  EXPECT_FALSE(sink.configuredDirectory.empty());
}

TEST_F(ExportsTest, TestModeDeviceLogIsFixedAndCut) {
  makeEngine(kTestIni);
  ASSERT_EQ(QuorinScannerInintialize(target->handle()), 1);
  char buffer[256];
  int length = -1;
  ASSERT_EQ(QuorinGetDeviceLogInfo(buffer, sizeof buffer, &length), 1);
  std::string text(buffer, length);
  EXPECT_EQ(text.rfind("--- start log ---\nThis is TEST MODE now.\n", 0), 0u);
  EXPECT_TRUE(text.ends_with("--- end log ---\n"));
  char small[10];
  ASSERT_EQ(QuorinGetDeviceLogInfo(small, sizeof small, &length), 1);
  EXPECT_EQ(length, 9);
  EXPECT_STREQ(small, "--- start");
}

TEST_F(ExportsTest, InitialiseWithoutTheDeviceLibraryFails) {
  config.deviceLibrary = "ZentracFakeNoEject";  // opened with dlopen, lacks ZNTR_EjectFilm
  makeEngine("");
  EXPECT_EQ(QuorinScannerInintialize(target->handle()), 0);
  EXPECT_FALSE(initialised());
  EXPECT_EQ(lastError(), QUORIN_ERR_DLL_LOAD);
  EXPECT_TRUE(sink.contains("Error: GetProcAddress failed. ZNTR_Eject"));
  EXPECT_TRUE(sink.contains("scanclass.Init() failed"));
}

TEST_F(ExportsTest, FailedNewIsAScannerInitialiseError) {
  fake().failNew = true;
  makeEngine("");
  EXPECT_EQ(QuorinScannerInintialize(target->handle()), 0);
  EXPECT_EQ(lastError(), QUORIN_ERR_SCANNER_INIT);
  EXPECT_TRUE(sink.contains("Error: Scanner init failed. (ZNTR_New() return FALSE)"));
}

TEST_F(ExportsTest, WhyTheStartFailedIsToldUntilTheNextStart) {
  struct Case {
    const char* name;
    bool failNew;
    const char* library;
    std::uint32_t code;
    const char* text;
  } cases[] = {
      {"no reader library", false, "ZentracFakeNoEject", QUORIN_ERR_DLL_LOAD, "ZENTRAC.dll load error."},
      {"reader refuses", true, "Zentrac.dll", QUORIN_ERR_SCANNER_INIT, "Scanner initialize failed."},
  };
  for (const Case& c : cases) {
    fake().failNew = c.failNew;
    config.deviceLibrary = c.library;
    makeEngine("");
    int code = -1;
    char text[512] = "old";
    // Nothing was started yet: nothing to tell.
    EXPECT_EQ(QuorinGetErrorInformation(&code, text), 0) << c.name;
    ASSERT_EQ(QuorinScannerInintialize(target->handle()), 0) << c.name;
    // Other exports still refuse, and their refusal does not hide the reason.
    EXPECT_EQ(QuorinScan(), 0) << c.name;
    EXPECT_EQ(lastError(), QUORIN_ERR_NOT_INITIALIZED) << c.name;
    ASSERT_EQ(QuorinGetErrorInformation(&code, text), 1) << c.name;
    EXPECT_EQ(std::uint32_t(code), c.code) << c.name;
    EXPECT_STREQ(text, c.text) << c.name;
    EXPECT_EQ(QuorinGetErrorInformation(nullptr, text), 0) << c.name;
    EXPECT_EQ(lastError(), QUORIN_ERR_PARAMETER) << c.name;
  }
  // A fresh engine knows of no earlier failure.
  fake().failNew = false;
  config.deviceLibrary = "Zentrac.dll";
  makeEngine(kTestIni);
  int code = -1;
  char text[512];
  EXPECT_EQ(QuorinGetErrorInformation(&code, text), 0);
  // A start that succeeds ends the reason too.
  ASSERT_EQ(QuorinScannerInintialize(target->handle()), 1);
  ASSERT_EQ(QuorinGetErrorInformation(&code, text), 1);
  EXPECT_EQ(code, 0);
  EXPECT_STREQ(text, "");
}

TEST(SharedLibrary, ExportsExactlyTheFifteenNames) {
  auto result = testsupport::runCommand(std::string("nm -D --defined-only ") + QUORIN2_LIBRARY);
  ASSERT_EQ(result.status, 0) << result.output;
  std::set<std::string> names;
  std::istringstream lines(result.output);
  std::string address, kind, name;
  while (lines >> address >> kind >> name) names.insert(name);
  const std::set<std::string> expected{
      "QuorinScannerInintialize", "QuorinScannerFinish",  "QuorinSetMiniscreenInfo", "QuorinSetScanPara",
      "QuorinGetScanPara",        "QuorinScan",           "QuorinGetScanningStatus", "QuorinErase",
      "QuorinEject",              "QuorinErrorReset",     "QuorinGetErrorInformation", "QuorinGetDeviceLogInfo",
      "QuorinGetBusyFlag",        "QuorinGetBuffer",      "QuorinGetIPSetFlag"};
  EXPECT_EQ(names, expected);
}

}  // namespace
