// The library's surface: its export names, the handle rule, opening with the
// settings file reread at every open, and the fixed records.
#include <algorithm>
#include <cstring>
#include <sstream>

#include "devapi/cr/internal/timeouts.h"
#include "platform/clock.h"
#include "devapi/cr/tests/zentrac_fixture.h"

namespace zentrac_test {
namespace {

TEST_F(ZentracTest, DynamicSymbolsAreExactlyTheFiftyExports) {
  const auto r = testsupport::runCommand("nm -D --defined-only '" + libraryFile.string() + "'");
  ASSERT_EQ(r.status, 0) << r.output;
  std::vector<std::string> names;
  std::istringstream lines(r.output);
  std::string line;
  while (std::getline(lines, line)) {
    const auto blank = line.find_last_of(' ');
    if (blank != std::string::npos) names.push_back(line.substr(blank + 1));
  }
  std::vector<std::string> expected = kExportNames;
  std::sort(names.begin(), names.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected.size(), 50u);
  EXPECT_EQ(names, expected);
}

TEST_F(ZentracTest, TheFifteenEngineFunctionsResolve) {
  load();
  for (const auto& name : kEngineNames) EXPECT_NE(library.symbol(name.c_str()), nullptr) << name;
}

TEST_F(ZentracTest, BeforeAnyOpenNothingWorksAndTheErrorIsNone) {
  load();
  devapi::DeviceErrorString s{};
  EXPECT_EQ(api.GetErrorString(&s), 1);
  EXPECT_EQ(s.code, 0);
  EXPECT_STREQ(s.text, "No Error");
  EXPECT_EQ(api.Init(1), 0);
  EXPECT_EQ(api.Erase(1), 0);
  EXPECT_TRUE(commands().empty());
}

TEST_F(ZentracTest, HandleMinusOneIsRefusedAfterOpen) {
  load();
  ASSERT_EQ(open(), 1);
  cr.clearLog();
  EXPECT_EQ(api.Init(-1), 0);
  EXPECT_EQ(api.Erase(-1), 0);
  devapi::ScanCondition c = condition(10, 10, 100, 16);
  EXPECT_EQ(api.SetCondition(-1, &c), 0);
  EXPECT_TRUE(commands().empty());
  EXPECT_EQ(api.Init(0), 1);  // any other handle is accepted
}

TEST_F(ZentracTest, ScannerOfAnotherProductIsRefusedUnlessTheCheckIsOff) {
  bus->unplug(cr);
  cr = bus->plug(sim::filmDigitizer());
  load();
  EXPECT_EQ(open(), -1);
  devapi::DeviceErrorString s{};
  EXPECT_EQ(api.GetErrorString(&s), 1);
  EXPECT_EQ(s.code, 516);
  EXPECT_STREQ(s.text, "No matching device was found for opening");
  EXPECT_EQ(api.Init(1), 0);  // the object went with the refusal
  // The settings file is read again at the next open.
  writeSettings("PRODUCT_ID_CHECK=0\n");
  EXPECT_EQ(open(), 1);
  EXPECT_EQ(api.Init(1), 1);
}

TEST(ZentracTimeouts, RequestedTimeoutReachesScanResetFilmAndResetErrorSlots) {
  const std::array<std::uint32_t, 24> fixed = {5, 5, 5, 120, 60, 0, 5, 0, 60, 0, 60, 60,
                                               5, 5, 60, 60, 60, 60, 60, 60, 60, 60, 120, 5};
  struct Case {
    std::int32_t requested;
    std::uint32_t t;
  } cases[] = {{-1, 181}, {0, 181}, {180, 181}, {181, 181}, {600, 600}};
  for (const auto& c : cases) {
    std::array<std::uint32_t, 24> want = fixed;
    want[5] = want[7] = want[9] = c.t;
    EXPECT_EQ(zentrac::commandTimeouts(c.requested), want) << c.requested;
  }
}

TEST_F(ZentracTest, ScannerTypeAndFunctionAreFixed) {
  load();
  ASSERT_EQ(open(), 1);
  devapi::ScannerTypeInfo t;
  std::memset(&t, 0x55, sizeof t);
  ASSERT_EQ(api.GetScannerType(handle, &t), 1);
  EXPECT_EQ(t.body, 1);
  EXPECT_EQ(t.auto_feeder, 0);
  EXPECT_STREQ(t.vendor_id, "KORVA");
  EXPECT_EQ(t.vendor_id[31], 0);
  EXPECT_STREQ(t.product_id, "Halcyone");
  EXPECT_STREQ(t.product_rev, "1.00");
  EXPECT_EQ(std::string(t.board_name, 8), "7130-122");
  EXPECT_STREQ(t.hardware_rev, "1.00");
  // The simulated reader's firmware word is 0x1203.
  EXPECT_EQ(std::string(t.firm_rev, 8), std::string("1.20.3\0\0", 8));

  devapi::FunctionInfo f;
  std::memset(&f, 0x55, sizeof f);
  ASSERT_EQ(api.GetFunction(handle, &f), 1);
  const auto* b = reinterpret_cast<const std::uint8_t*>(&f);
  EXPECT_EQ(b[0], 2);
  EXPECT_EQ(b[1], 0);
  EXPECT_EQ(b[3], 2);
  EXPECT_EQ(b[56], 16);
  EXPECT_EQ(b[66], 40);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b + 20), 9), std::string("Halcyone\0", 9));
  std::uint16_t v72;
  std::memcpy(&v72, b + 72, 2);
  EXPECT_EQ(v72, 365);
  EXPECT_EQ(b[81], 1);
  EXPECT_EQ(b[82], 0);
  EXPECT_EQ(b[87], 0);
}

TEST_F(ZentracTest, LutOf4096EntriesIsAcceptedWithoutSending) {
  load();
  ASSERT_EQ(open(), 1);
  std::vector<std::uint16_t> table(16384, 7);
  devapi::TableParam t{2, 4096, table.data()};
  cr.clearLog();
  EXPECT_EQ(api.SetLUT(handle, &t), 1);
  EXPECT_TRUE(commands().empty());
  t.count = 100;
  EXPECT_EQ(api.SetLUT(handle, &t), 1);
  EXPECT_EQ(countWord(kSetLutWord), 1);
  t.table = nullptr;
  EXPECT_EQ(api.SetLUT(handle, &t), 0);
  EXPECT_EQ(countWord(kSetLutWord), 1);
}

TEST_F(ZentracTest, ShadingWrittenIsReadBackWhole) {
  load();
  ASSERT_EQ(open(), 1);
  std::vector<std::uint16_t> shading(8192);
  for (std::size_t i = 0; i < shading.size(); ++i) shading[i] = std::uint16_t(i * 7 + 3);
  devapi::TableParam set{2, 8192, shading.data()};
  ASSERT_EQ(api.SetShading(handle, &set), 1) << lastCode();
  // One entry more than the table, to see that nothing is written past it.
  std::vector<std::uint16_t> back(8193, 0xBEEF);
  devapi::TableParam get{2, 8192, back.data()};
  ASSERT_EQ(api.GetShading(handle, &get), 1) << lastCode();
  EXPECT_TRUE(std::equal(shading.begin(), shading.end(), back.begin()));
  EXPECT_EQ(back[8192], 0xBEEF);
  get.count = 8191;
  EXPECT_EQ(api.GetShading(handle, &get), 0);
  EXPECT_EQ(lastCode(), 513);
}

TEST_F(ZentracTest, EraseThenEjectWaitsForTheEraseAndSendsNoEject) {
  cr.setTiming(sim::Timing{.erasePhaseMs = 400});
  load();
  ASSERT_EQ(open(), 1);
  cr.clearLog();
  ASSERT_EQ(api.Erase(handle), 1) << lastCode();
  EXPECT_EQ(countWord(kEraseWord), 1);
  EXPECT_EQ(api.EjectFilm(handle), 1) << lastCode();
  EXPECT_EQ(countWord(kResetFilmWord), 0);
  // Idle now: the eject command goes out.
  EXPECT_EQ(api.EjectFilm(handle), 1) << lastCode();
  EXPECT_EQ(countWord(kResetFilmWord), 1);
}

// The scanner tells of its error twice: in the condition word a command reads
// and by interrupt. Whichever reaches the library first, the error queries give
// the scanner's code and text as soon as the condition shows the error.
TEST_F(ZentracTest, AnErrorTheConditionShowsIsToldAtOnceHoweverLateItsInterrupt) {
  for (const std::uint32_t latencyMs : {0u, 400u}) {
    SCOPED_TRACE(latencyMs);
    // A reader of its own for each case, without the error of the one before.
    bus->unplug(cr);
    cr = bus->plug(sim::crReader());
    load();
    ASSERT_EQ(open(), 1);
    cr.setTiming(sim::Timing{.interruptLatencyMs = latencyMs});
    cr.raiseError(0x4001, "COVER OPEN");
    devapi::KtGOption option{};
    ASSERT_EQ(api.GetOption(handle, &option), 1) << lastCode();
    EXPECT_EQ(option.scanner_condition & 0x80, 0x80);
    devapi::DeviceErrorString s{};
    EXPECT_EQ(api.GetErrorString(&s), 1);
    EXPECT_EQ(s.code, 0x4001);
    EXPECT_STREQ(s.text, "COVER OPEN");
    EXPECT_EQ(lastCode(), 0x4001);
    devapi::ScanCondition c{};
    EXPECT_EQ(api.GetCondition(handle, &c), 0);
    EXPECT_EQ(api.Delete(handle), 1);
    library.close();
  }
}

TEST_F(ZentracTest, EjectGivesUpAfterTheResetFilmTimeOutWith524) {
  cr.setTiming(sim::Timing{.erasePhaseMs = 3600 * 1000});  // a plate that never settles
  load();
  ASSERT_EQ(open(), 1);
  ASSERT_EQ(api.Erase(handle), 1) << lastCode();
  cr.clearLog();
  platform::clock::FakeSource fake;  // each poll's pause passes at once
  platform::clock::ScopedSource scoped(fake);
  EXPECT_EQ(api.EjectFilm(handle), 0);
  EXPECT_EQ(lastCode(), 524);
  EXPECT_GE(fake.tickCount(), 181u * 1000);  // it waited out the whole time-out
  EXPECT_EQ(countWord(kResetFilmWord), 0);
}

}  // namespace
}  // namespace zentrac_test

#include "platform/sync.h"

namespace zentrac_test {
namespace {

TEST_F(ZentracTest, AnotherOwnerOfTheScannerGives517WithTheLibrarysText) {
  platform::NamedMutex owner("BrightelUSB");
  ASSERT_TRUE(owner.createAndHold());
  load();
  EXPECT_EQ(open(), -1);
  devapi::DeviceErrorString s{};
  EXPECT_EQ(api.GetErrorString(&s), 1);
  EXPECT_EQ(s.code, 517);
  EXPECT_STREQ(s.text, "Driver is already started.");
}

TEST_F(ZentracTest, DeviceQueryWithoutScannerSucceedsWithTheRecordCleared) {
  bus->unplug(cr);
  load();
  auto getDevice = library.function<int (*)(devapi::DeviceInfo*)>("ZNTR_GetSCSIDevice");
  auto getAdapter = library.function<int (*)(devapi::AdapterInfo*)>("ZNTR_GetSCSIAdapter");
  ASSERT_TRUE(getDevice && getAdapter);
  devapi::DeviceInfo d;
  std::memset(&d, 0x55, sizeof d);
  EXPECT_EQ(getDevice(&d), 1);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&d);
  EXPECT_TRUE(std::all_of(bytes, bytes + sizeof d, [](std::uint8_t b) { return b == 0; }));
  devapi::AdapterInfo a;
  std::memset(&a, 0x55, sizeof a);
  EXPECT_EQ(getAdapter(&a), 1);
  EXPECT_EQ(a.adapters, 1u);
  EXPECT_EQ(a.host_id, 7);
  EXPECT_EQ(std::string(a.adapter_name, 8), "KorvaUSB");
  EXPECT_EQ(a.reserved3[0], 0);
  EXPECT_EQ(a.reserved1[0], 0);
}

}  // namespace
}  // namespace zentrac_test

namespace zentrac_test {
namespace {

TEST_F(ZentracTest, StoredWordsPassThroughToTheScanner) {
  load();
  ASSERT_EQ(open(), 1);
  auto setEeprom = library.function<int (*)(int, const zentrac::ProgramParam*)>("ZNTR_SetScanEeprom");
  auto getEeprom = library.function<int (*)(int, const zentrac::ProgramParam*)>("ZNTR_GetScanEeprom");
  ASSERT_TRUE(setEeprom && getEeprom);
  std::vector<std::uint16_t> words = {1, 2, 3, 0xABCD};
  zentrac::ProgramParam set{2, {}, 4, words.data()};
  ASSERT_EQ(setEeprom(handle, &set), 1) << lastCode();
  std::vector<std::uint8_t> stored = cr.stored(22);
  ASSERT_EQ(stored.size(), 8u);
  EXPECT_EQ(std::memcmp(stored.data(), words.data(), 8), 0);
  std::vector<std::uint16_t> back(4);
  zentrac::ProgramParam get{2, {}, 4, back.data()};
  ASSERT_EQ(getEeprom(handle, &get), 1) << lastCode();
  EXPECT_EQ(back, words);
  // Word size other than 2 and a missing table are refused before the scanner.
  cr.clearLog();
  zentrac::ProgramParam wrong{4, {}, 4, words.data()};
  EXPECT_EQ(setEeprom(handle, &wrong), 0);
  zentrac::ProgramParam none{2, {}, 4, nullptr};
  EXPECT_EQ(getEeprom(handle, &none), 0);
  EXPECT_TRUE(commands().empty());

  zentrac::MaintenanceRecord m{};
  ASSERT_EQ(api.GetMaintenance(handle, &m), 1) << lastCode();
  EXPECT_EQ(m.words[8], cr.config().firmwareWord);
  EXPECT_EQ(m.words[10], cr.config().serialNumber);
}

}  // namespace
}  // namespace zentrac_test
