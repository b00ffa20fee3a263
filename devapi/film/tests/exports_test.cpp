// What callers see of the library file: its names, loading and unloading, and
// the handle rules before anything is open.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <cstring>
#include <sstream>

#include "devapi/film/tests/brightel_fixture.h"
#include "platform/paths.h"
#include "platform/sync.h"

namespace brightel_test {
namespace {

std::string libraryPath() { return (platform::paths::programDir() / "libBrightel.so").string(); }

TEST(BrightelFile, ExportsExactlyTheFortyOneNames) {
  const auto r = testsupport::runCommand("nm -D --defined-only '" + libraryPath() + "'");
  ASSERT_EQ(r.status, 0) << r.output;
  std::vector<std::string> names;
  std::istringstream lines(r.output);
  std::string line;
  while (std::getline(lines, line)) {
    const auto blank = line.find_last_of(' ');
    names.push_back(blank == std::string::npos ? line : line.substr(blank + 1));
  }
  std::sort(names.begin(), names.end());
  std::vector<std::string> expected = kExportNames;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected.size(), 41u);
  EXPECT_EQ(names, expected);
}

TEST(BrightelFile, TheNamesTheFilmScanUiBindsResolve) {
  isolateRuntimeDir();
  platform::Library library;
  static int anchor;
  ASSERT_TRUE(library.open("Brightel.DLL", &anchor)) << library.errorText();
  for (const char* name :
       {"KT7163_W32GetSCSIAdapter", "KT7163_W32GetScanner", "KT7163_W32New", "KT7163_W32Init",
        "KT7163_W32GetError", "KT7163_W32SetCondition", "KT7163_W32GetCondition",
        "KT7163_W32SetLUT", "KT7163_W32Scan", "KT7163_W32ReadBuffer", "KT7163_W32EjectFilm",
        "KT7163_W32NextFilm", "KT7163_W32ReverseFilm", "KT7163_W32Cancel", "KT7163_W32Delete",
        "KT7163_W32ClearHardError", "KT7163_W32GetErrorString", "KT7163_W32GetOption",
        "KT7163_W32GetScannerType"})
    EXPECT_NE(library.symbol(name), nullptr) << name;
}

// The film-scan UI unloads the library after a failed or finished probe
// without Delete; the scanner must be free for the next owner then.
TEST(BrightelFile, UnloadWithoutDeleteReleasesTheOwnerMutexAndUnloads) {
  isolateRuntimeDir();
  auto bus = std::make_shared<sim::Bus>();
  bus->plug(sim::filmDigitizer());
  lendPort(bus);
  {
    platform::Library library;
    Api api{};
    std::string why;
    ASSERT_TRUE(load(library, api, &why)) << why;
    devapi::ScannerMatchInfo match{};
    std::uint8_t flags[2] = {};
    ASSERT_EQ(api.GetScanner(nullptr, nullptr, &match, flags), 1);
    EXPECT_EQ(match.count, 1u);
    EXPECT_EQ(match.device_id, 5);
    EXPECT_EQ(flags[0], 1);
    EXPECT_EQ(flags[1], 1);
    platform::NamedMutex owner("BrightelUSB");
    EXPECT_FALSE(owner.tryLock()) << "the probe holds the scanner";
  }
  EXPECT_EQ(::dlopen(libraryPath().c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr)
      << "the library stayed loaded after its last close";
  platform::NamedMutex owner("BrightelUSB");
  EXPECT_TRUE(owner.tryLock()) << "the unload hook did not let the scanner go";
  lendPort(nullptr);
}

TEST_F(BrightelTest, ErrorStringBeforeAnyOpenIsNoError) {
  devapi::DeviceErrorString text{};
  text.code = 77;
  ASSERT_EQ(api.GetErrorString(&text), 1);
  EXPECT_EQ(text.code, 0);
  EXPECT_STREQ(text.text, "No Error");
}

// Every export that takes a handle refuses -1, and everything refuses to work
// before an open; nothing reaches the scanner.
TEST_F(BrightelTest, HandleMinusOneAndCallsBeforeOpenAreRefused) {
  devapi::ScanCondition c = condition(10, 10, 100, 12);
  devapi::KtGOption o{};
  std::uint16_t lut[4096] = {};
  devapi::TableParam t{2, 4096, lut};
  devapi::ReadBufferParam r{};
  std::uint8_t room[64];
  r.length = 16;
  r.buffer = room;
  devapi::ScanBufferParam sb{sizeof room, room};
  devapi::BlockScanParam bp{};
  devapi::DeviceErrorInfo ei{};
  devapi::DeviceLogBuffer lb{sizeof room, reinterpret_cast<char*>(room), 0};
  std::uint32_t u = 0;
  int n = 0;
  devapi::ScannerTypeInfo st{};
  devapi::FunctionInfo fi{};
  devapi::FuncLimitationInfo fl{};
  devapi::FilmSizeInfo fs{};
  devapi::FilmSizeScope fc{};
  const auto calls = [&](int h) {
    return std::vector<std::pair<const char*, int>>{
        {"Init", api.Init(h)},
        {"GetError", api.GetError(h, &ei)},
        {"GetLog", api.GetLog(h, &lb)},
        {"ClearHardError", api.ClearHardError(h)},
        {"GetBoardAddress", api.GetBoardAddress(h, &u)},
        {"GetPhysData", api.GetPhysData(h, room)},
        {"SetPhysData", api.SetPhysData(h, room)},
        {"SetGetFileData", api.SetGetFileData(h, room)},
        {"SetCondition", api.SetCondition(h, &c)},
        {"GetCondition", api.GetCondition(h, &c)},
        {"SetOption", api.SetOption(h, &o)},
        {"GetOption", api.GetOption(h, &o)},
        {"SetLUT", api.SetLUT(h, &t)},
        {"Calibration", api.Calibration(h)},
        {"NextFilm", api.NextFilm(h)},
        {"ReverseFilm", api.ReverseFilm(h)},
        {"MoveFilm", api.MoveFilm(h, 10)},
        {"EjectFilm", api.EjectFilm(h)},
        {"Cancel", api.Cancel(h)},
        {"Scan", api.Scan(h)},
        {"ReadBuffer", api.ReadBuffer(h, &r)},
        {"ScanA", api.ScanA(h, &sb)},
        {"ScanEx", api.ScanEx(h, &sb)},
        {"ScanM", api.ScanM(h, &bp)},
        {"GetScanStatus", api.GetScanStatus(h, &u)},
        {"GetScanStatusA", api.GetScanStatusA(h, &n)},
        {"GetScanStatusEx", api.GetScanStatusEx(h, &n)},
        {"GetScanStatusM", api.GetScanStatusM(h, &n)},
        {"GetScannerType", api.GetScannerType(h, &st)},
        {"GetFunction", api.GetFunction(h, &fi)},
        {"GetFuncLimitation", api.GetFuncLimitation(h, &fl)},
        {"GetFilmSizeID", api.GetFilmSizeID(h, &fs)},
        {"GetFilmSizeScope", api.GetFilmSizeScope(h, &fc)},
    };
  };
  for (const auto& [name, result] : calls(1)) EXPECT_EQ(result, 0) << name << " before open";
  EXPECT_EQ(api.Delete(-1), 0);
  EXPECT_TRUE(film.log(sim::LogEntry::Kind::Open).empty()) << "nothing may open the scanner";

  ASSERT_EQ(open(), 1);
  film.clearLog();
  for (const auto& [name, result] : calls(-1)) EXPECT_EQ(result, 0) << name << " with handle -1";
  EXPECT_EQ(api.Delete(-1), 0);
  EXPECT_TRUE(commands().empty()) << commands().front().describe();
  EXPECT_EQ(api.Init(handle), 1);
}

TEST_F(BrightelTest, NewTwiceHandsOutHandleOneOnTheSameObject) {
  devapi::DeviceNewParam first{}, second{};
  ASSERT_EQ(api.New(&first), 1);
  EXPECT_EQ(first.handle, 1);
  EXPECT_EQ(first.status, 1);
  EXPECT_EQ(api.New(&second), 1);
  EXPECT_EQ(second.handle, 1);
  EXPECT_EQ(film.log(sim::LogEntry::Kind::Open).size(), 1u) << "the second New opened again";
}

TEST_F(BrightelTest, AllDeleteStopsButOnlyDeleteLetsTheScannerGo) {
  ASSERT_EQ(open(), 1);
  EXPECT_EQ(api.AllDelete(), 1);
  EXPECT_EQ(api.IdDelete(-1, 0), 1) << "the handle is not examined";
  EXPECT_EQ(api.Init(handle), 1) << "the object stays";
  {
    platform::NamedMutex owner("BrightelUSB");
    EXPECT_FALSE(owner.tryLock());
  }
  // The next open starts the driver again on the same object.
  ASSERT_EQ(open(), 1);
  EXPECT_EQ(film.log(sim::LogEntry::Kind::Open).size(), 2u);
  EXPECT_EQ(api.Delete(handle), 1);
  EXPECT_EQ(api.Init(handle), 0);
  platform::NamedMutex owner("BrightelUSB");
  EXPECT_TRUE(owner.tryLock());
}

// Opening and deleting from several threads at once: one object at a time,
// and the scanner free at the end.
TEST_F(BrightelTest, OpenAndDeleteFromSeveralThreadsStayConsistent) {
  std::atomic<int> opened{0};
  auto worker = [&](bool probe) {
    for (int i = 0; i < 3; ++i) {
      if (probe) {
        devapi::ScannerMatchInfo match{};
        std::uint8_t flags[2] = {};
        opened += api.GetScanner(nullptr, nullptr, &match, flags);
      } else {
        devapi::DeviceNewParam param{};
        opened += api.New(&param);
      }
      std::uint32_t address = 0;
      api.GetBoardAddress(1, &address);
      EXPECT_EQ(api.Delete(1), 1);
    }
  };
  std::thread a(worker, false), b(worker, true), c(worker, false);
  a.join();
  b.join();
  c.join();
  EXPECT_EQ(opened, 9);
  EXPECT_EQ(api.Init(1), 0);
  platform::NamedMutex owner("BrightelUSB");
  EXPECT_TRUE(owner.tryLock());
}

TEST_F(BrightelTest, IdentityRecordsAndBoardAddress) {
  devapi::AdapterInfo adapter;
  std::memset(&adapter, 0xEE, sizeof adapter);
  ASSERT_EQ(api.GetSCSIAdapter(&adapter), 1);
  EXPECT_EQ(adapter.adapters, 1u);
  EXPECT_EQ(adapter.host_id, 7);
  EXPECT_STREQ(adapter.adapter_name, "KorvaUSB");

  devapi::DeviceInfo device;
  std::memset(&device, 0xEE, sizeof device);
  ASSERT_EQ(api.GetSCSIDevice(&device), 1);
  EXPECT_EQ(device.field0, 1u);
  EXPECT_EQ(device.field4, 0u);
  EXPECT_EQ(device.field24, 5u);
  EXPECT_EQ(device.field44, 0u);
  EXPECT_EQ(device.field64, 6u);
  EXPECT_EQ(std::string(device.vendor, 8), "TRESSOLA");
  EXPECT_EQ(std::string(device.product, 16), "KT7163          ");
  EXPECT_EQ(std::string(device.revision, 4), "1.00");
  EXPECT_EQ(device.reserved1[0], 0xEE) << "only the filled fields are written";

  handle = 1;  // GetSCSIDevice opened the object
  std::uint32_t address = 0;
  EXPECT_EQ(api.GetBoardAddress(handle, &address), 1);
  EXPECT_EQ(address, 0xD6000000u);
}

}  // namespace
}  // namespace brightel_test
