// The binding over real shared libraries opened with dlopen.
#include "crengine/internal/binding.h"

#include "fakes.h"

#include <gtest/gtest.h>

namespace {

using crengine::ZentracDll;
using crtest::RecordingSink;

class BindingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    crengine::setLogSink(&sink);
    crengine::setEngineLogLevel(9);
  }
  void TearDown() override {
    crengine::setLogSink(nullptr);
    crengine::setEngineLogLevel(6);
  }
  std::unique_ptr<ZentracDll> binding(const std::string& name) {
    return std::make_unique<ZentracDll>(crengine::makeLibraryLoader(), name, ZentracDll::Timeouts{});
  }
  RecordingSink sink;
};

TEST_F(BindingTest, FullLibraryBindsAndCallsWithHandleZero) {
  auto dll = binding("ZentracFakeFull");
  ASSERT_EQ(dll->LoadDLL(), 1);
  EXPECT_TRUE(dll->loaded());
  EXPECT_TRUE(sink.contains("libZentracFakeFull.so version:"));
  devapi::DeviceNewParam param{};
  ASSERT_EQ(dll->New(&param), 1);
  EXPECT_TRUE(dll->connected());
  devapi::ScanCondition c{};
  ASSERT_EQ(dll->GetCondition(&c), 1);  // the fake refuses any handle but 0
  EXPECT_EQ(c.pix_w, 77u);
  devapi::BlockScanParam p{};
  EXPECT_EQ(dll->EightLine(&p), 1);
  EXPECT_EQ(dll->result(), ZentracDll::kOk);
  EXPECT_EQ(dll->FreeDLL(), 1);  // deletes the connected device first
  EXPECT_FALSE(dll->loaded());
  EXPECT_FALSE(dll->connected());
  EXPECT_TRUE(sink.contains("Warning: FreeDLL ZENTRAC.dll called. but connecting scanner."));
}

TEST_F(BindingTest, WithoutEightLineLoadsAndItsCallFails) {
  auto dll = binding("ZentracFakeNoEightLine");
  ASSERT_EQ(dll->LoadDLL(), 1);
  EXPECT_TRUE(sink.contains("Error: GetProcAddress failed. ZNTR_EightLine"));
  devapi::DeviceNewParam param{};
  ASSERT_EQ(dll->New(&param), 1);
  devapi::BlockScanParam p{};
  EXPECT_EQ(dll->EightLine(&p), 0);
  EXPECT_EQ(dll->result(), ZentracDll::kNotBound);
  EXPECT_TRUE(sink.contains("Error: no GetProcAddress ZNTR_EightLine"));
}

TEST_F(BindingTest, WithoutEjectFilmIsRefusedNamingZntrEject) {
  auto dll = binding("ZentracFakeNoEject");
  EXPECT_EQ(dll->LoadDLL(), 0);
  EXPECT_FALSE(dll->loaded());
  EXPECT_EQ(dll->result(), ZentracDll::kNotBound);
  EXPECT_TRUE(sink.contains("Error: GetProcAddress failed. ZNTR_Eject"));
  EXPECT_EQ(dll->EjectFilm(), 0);  // nothing stays bound
  EXPECT_TRUE(sink.contains("Error: no GetProcAddress ZNTR_Eject"));
}

TEST_F(BindingTest, MissingLibraryGivesLoadFailure) {
  auto dll = binding("ZentracNoSuchLibrary");
  EXPECT_EQ(dll->LoadDLL(), 0);
  EXPECT_EQ(dll->result(), ZentracDll::kLoadFailed);
  EXPECT_TRUE(sink.contains("Error: LoadLibrary(ZENTRAC.DLL) failed."));
}

TEST_F(BindingTest, CallsNeedAConnectionAndFailuresFetchTheCutDeviceText) {
  auto dll = binding("ZentracFakeFull");
  ASSERT_EQ(dll->LoadDLL(), 1);
  EXPECT_EQ(dll->Erase(), 0);
  EXPECT_EQ(dll->result(), ZentracDll::kNotConnected);
  EXPECT_TRUE(sink.contains("Error: no connect Scanner. ZNTR_Erase"));
  devapi::DeviceNewParam param{};
  ASSERT_EQ(dll->New(&param), 1);
  EXPECT_EQ(dll->Erase(), 0);  // the fake's erase fails
  EXPECT_EQ(dll->result(), ZentracDll::kCallFailed);
  EXPECT_TRUE(sink.contains("Error: ZNTR_Erase failed."));
  // A text that fills the device's whole room reaches the log cut to 79.
  EXPECT_TRUE(sink.contains("  ZNTR_GetErrorString code=0x4012 string=" + std::string(79, 'E')));
  EXPECT_FALSE(sink.contains(std::string(80, 'E')));
}

TEST_F(BindingTest, RepeatedGetConditionFailureIsLoggedOnce) {
  crtest::fake().reset();
  crtest::fake().failGetCondition = true;
  ZentracDll dll(crtest::makeFakeLoader(), "Zentrac.dll", ZentracDll::Timeouts{});
  ASSERT_EQ(dll.LoadDLL(), 1);
  devapi::DeviceNewParam param{};
  ASSERT_EQ(dll.New(&param), 1);
  devapi::ScanCondition c{};
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(dll.GetCondition(&c), 0);
    EXPECT_EQ(dll.result(), ZentracDll::kCallFailed);
  }
  EXPECT_EQ(sink.count("Error: ZNTR_GetCondition failed."), 1);
  crtest::fake().failGetCondition = false;
  EXPECT_EQ(dll.GetCondition(&c), 1);
  crtest::fake().failGetCondition = true;
  EXPECT_EQ(dll.GetCondition(&c), 0);
  EXPECT_EQ(sink.count("Error: ZNTR_GetCondition failed."), 2);
  crtest::fake().reset();
}

TEST_F(BindingTest, ScannerTypeTextsAreCutAtTheirLastByte) {
  crtest::fake().reset();
  ZentracDll dll(crtest::makeFakeLoader(), "Zentrac.dll", ZentracDll::Timeouts{});
  ASSERT_EQ(dll.LoadDLL(), 1);
  devapi::DeviceNewParam param{};
  ASSERT_EQ(dll.New(&param), 1);
  devapi::ScannerTypeInfo t{};
  ASSERT_EQ(dll.GetScannerType(&t), 1);
  EXPECT_EQ(std::string(t.vendor_id), std::string(31, 'x'));
  EXPECT_EQ(std::string(t.firm_rev), std::string(7, 'x'));
}


// Every call of the binding, succeeding, failing and refused, writes these
// lines at these levels: the transcript of the wrappers as they first were.
TEST_F(BindingTest, EveryCallLogsItsLinesAtItsLevels) {
  crtest::fake().reset();
  ZentracDll dll(crtest::makeFakeLoader(), "Zentrac.dll", ZentracDll::Timeouts{});
  ASSERT_EQ(dll.LoadDLL(), 1);
  devapi::ScanCondition c{};
  c.width = 20;
  c.height = 10;
  c.pitch = 100;
  devapi::BlockScanParam p{};  // no blocks: nothing written, no address logged
  devapi::KtGOption o{};
  devapi::ScannerTypeInfo t{};
  std::int32_t blocks = 0;
  char text[64] = {};
  devapi::DeviceLogBuffer log{sizeof text, text, 0};
  auto all = [&] {
    dll.SetCondition(&c);
    dll.GetCondition(&c);
    dll.ScanM(&p);
    dll.GetScanStatusM(&blocks);
    dll.Erase();
    dll.EjectFilm();
    dll.ClearHardError();
    dll.GetLog(&log);
    dll.SetOption(&o);
    dll.GetOption(&o);
    dll.GetScannerType(&t);
    dll.EightLine(&p);
    dll.Delete();
  };
  auto transcript = [&] {
    std::string out;
    std::lock_guard<std::mutex> lock(sink.mutex);
    for (const auto& [level, line] : sink.entries) out += std::to_string(level) + "|" + line + "\n";
    sink.entries.clear();
    return out;
  };
  transcript();
  all();  // not connected
  const std::string refused = transcript();
  devapi::DeviceNewParam param{};
  crtest::fake().failNew = true;
  dll.New(&param);
  crtest::fake().failNew = false;
  dll.New(&param);
  all();  // connected, each succeeding as the fake lets it
  const std::string succeeding = transcript();
  dll.New(&param);
  crtest::fake().failSetCondition = crtest::fake().failGetCondition = crtest::fake().failScanM = true;
  crtest::fake().failGetScanStatus = crtest::fake().failSetOption = true;
  all();
  const std::string failing = transcript();
  EXPECT_EQ(refused, R"(9|Function Call: ZENTRAC_DLL::ZNTR_SetCondition
1|Error: no connect Scanner. ZNTR_SetCondition
9|Function Call: ZENTRAC_DLL::ZNTR_GetCondition
1|Error: no connect Scanner. ZNTR_GetCondition
9|Function Call: ZENTRAC_DLL::ZNTR_ScanM
1|Error: no connect Scanner. ZNTR_ScanM
9|Function Call: ZENTRAC_DLL::ZNTR_GetScanStatusM
1|Error: no connect Scanner. ZNTR_GetScanStatusM
9|Function Call: ZENTRAC_DLL::ZNTR_Erase
1|Error: no connect Scanner. ZNTR_Erase
9|Function Call: ZENTRAC_DLL::ZNTR_Eject
1|Error: no connect Scanner. ZNTR_Eject
1|Error: no connect Scanner. ZNTR_ClearHardError
1|Error: no connect Scanner. ZNTR_GetLog
1|Error: no connect Scanner. ZNTR_SetOption
1|Error: no connect Scanner. ZNTR_GetOption
1|Error: no connect Scanner. ZNTR_GetScannerType
1|Error: no connect Scanner. ZNTR_EightLine
9|Function Call: ZENTRAC_DLL::ZNTR_Delete
3|Warning: blConnect flag is FALSE. ZNTR_Delete
6|Success: ZNTR_Delete
)");
  EXPECT_EQ(succeeding, R"(9|Function Call: ZENTRAC_DLL::ZNTR_New
1|Error: ZNTR_New failed. status=0x0 obj=0x0 time=0
9|Function Call: ZENTRAC_DLL::ZNTR_GetErrorString
6|Success: ZNTR_GetErrorString code=0x0 string=
9|Function Call: ZENTRAC_DLL::ZNTR_New
6|Success: ZNTR_New , status=0x1 obj=0x1 time=0
9|Function Call: ZENTRAC_DLL::ZNTR_SetCondition
9|  Input Parameter:
9|    unit = 0
9|    auto_feeder = 0
9|    roll_film = 0
9|    endian = 0
9|    x_start = 0
9|    y_start = 0
9|    width = 20
9|    height = 10
9|    pixel_bit_n = 0
9|    mode = 0
9|    pitch = 100
9|    film_sz_id = 0
9|    od_min = 0
9|    od_max = 0
9|    out_bit_depth = 0
6|Success: ZNTR_SetCondition
9|Function Call: ZENTRAC_DLL::ZNTR_GetCondition
9|Success: ZNTR_GetCondition
9|  Output Parameter:
9|    unit = 1
9|    auto_feeder = 0
9|    roll_film = 0
9|    endian = 0
9|    x_start = 0
9|    y_start = 0
9|    width = 20
9|    height = 10
9|    pixel_bit_n = 16
9|    mode = 0
9|    pitch = 100
9|    film_sz_id = 0
9|    od_min = 2
9|    od_max = 38
9|    out_bit_depth = 16
9|    img_buff_sz = 0
9|    pix_w = 200
9|    pix_h = 100
9|    film_w = 0
9|Function Call: ZENTRAC_DLL::ZNTR_ScanM
9|  Input Parameter:
9|    buff_sz = 0x0
9|    buff_pp = 0x0
9|    pix_w = 0
9|    pix_h = 0
9|    out_bit_depth = 0
9|    pixel_bit_n = 0
9|    block_size = 0
9|    calib_flag = 0
9|    option1 = 0
9|    option2 = 0
6|Success: ZNTR_ScanM
9|Function Call: ZENTRAC_DLL::ZNTR_GetScanStatusM
9|Success: ZNTR_GetScanStatusM
9|  Output Parameter:
9|    Size = 0
9|Function Call: ZENTRAC_DLL::ZNTR_Erase
6|Success: ZNTR_Erase
9|Function Call: ZENTRAC_DLL::ZNTR_Eject
6|Success: ZNTR_Eject
6|Success: ZNTR_ClearHardError
6|Success: ZNTR_GetLog
9|  Input Parameter:
9|    ScanOption = 0x0
6|Success: ZNTR_SetOption
9|Success: ZNTR_GetOption
9|  Output Parameter:
9|    ScanOption = 0x0
9|    MechaSW = 0
9|    HV = 0
9|    od_Max = 0
9|    SerialNumber = 4321
9|    scanner_condition = 1
6|Success: ZNTR_GetScannerType
9|  Input Parameter:
9|    buff_sz = 0x0
9|    buff_pp = 0x0
9|    pix_w = 0
9|    pix_h = 0
9|    out_bit_depth = 0
9|    pixel_bit_n = 0
9|    block_size = 0
9|    calib_flag = 0
9|    option1 = 0
9|    option2 = 0
6|Success: ZNTR_EightLine
9|Function Call: ZENTRAC_DLL::ZNTR_Delete
6|Success: ZNTR_Delete
)");
  EXPECT_EQ(failing, R"(9|Function Call: ZENTRAC_DLL::ZNTR_New
6|Success: ZNTR_New , status=0x1 obj=0x1 time=0
9|Function Call: ZENTRAC_DLL::ZNTR_SetCondition
9|  Input Parameter:
9|    unit = 1
9|    auto_feeder = 0
9|    roll_film = 0
9|    endian = 0
9|    x_start = 0
9|    y_start = 0
9|    width = 20
9|    height = 10
9|    pixel_bit_n = 16
9|    mode = 0
9|    pitch = 100
9|    film_sz_id = 0
9|    od_min = 2
9|    od_max = 38
9|    out_bit_depth = 16
1|Error: ZNTR_SetCondition failed.
9|Function Call: ZENTRAC_DLL::ZNTR_GetErrorString
6|Success: ZNTR_GetErrorString code=0x0 string=
9|Function Call: ZENTRAC_DLL::ZNTR_GetCondition
1|Error: ZNTR_GetCondition failed.
9|Function Call: ZENTRAC_DLL::ZNTR_GetErrorString
6|Success: ZNTR_GetErrorString code=0x0 string=
9|Function Call: ZENTRAC_DLL::ZNTR_ScanM
9|  Input Parameter:
9|    buff_sz = 0x0
9|    buff_pp = 0x0
9|    pix_w = 0
9|    pix_h = 0
9|    out_bit_depth = 0
9|    pixel_bit_n = 0
9|    block_size = 0
9|    calib_flag = 0
9|    option1 = 0
9|    option2 = 0
1|Error: ZNTR_ScanM failed.
9|Function Call: ZENTRAC_DLL::ZNTR_GetErrorString
6|Success: ZNTR_GetErrorString code=0x0 string=
9|Function Call: ZENTRAC_DLL::ZNTR_GetScanStatusM
1|Error ZNTR_GetScanStatusM failed.
9|Function Call: ZENTRAC_DLL::ZNTR_GetErrorString
6|Success: ZNTR_GetErrorString code=0x0 string=
9|Function Call: ZENTRAC_DLL::ZNTR_Erase
6|Success: ZNTR_Erase
9|Function Call: ZENTRAC_DLL::ZNTR_Eject
6|Success: ZNTR_Eject
6|Success: ZNTR_ClearHardError
6|Success: ZNTR_GetLog
9|  Input Parameter:
9|    ScanOption = 0x0
1|Error: ZNTR_SetOption failed.
9|Function Call: ZENTRAC_DLL::ZNTR_GetErrorString
6|Success: ZNTR_GetErrorString code=0x0 string=
9|Success: ZNTR_GetOption
9|  Output Parameter:
9|    ScanOption = 0x0
9|    MechaSW = 0
9|    HV = 0
9|    od_Max = 0
9|    SerialNumber = 4321
9|    scanner_condition = 1
6|Success: ZNTR_GetScannerType
9|  Input Parameter:
9|    buff_sz = 0x0
9|    buff_pp = 0x0
9|    pix_w = 0
9|    pix_h = 0
9|    out_bit_depth = 0
9|    pixel_bit_n = 0
9|    block_size = 0
9|    calib_flag = 0
9|    option1 = 0
9|    option2 = 0
6|Success: ZNTR_EightLine
9|Function Call: ZENTRAC_DLL::ZNTR_Delete
6|Success: ZNTR_Delete
)");
  crtest::fake().reset();
}

}  // namespace
