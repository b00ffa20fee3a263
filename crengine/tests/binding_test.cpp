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

}  // namespace
