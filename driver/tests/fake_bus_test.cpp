// Driver cases that need exact control of what the scanner sends and when:
// discovery limits, interrupt ordering, short and overlong replies, argument
// checks that must send nothing, progress calls.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <functional>
#include <thread>

#include "simulator/sim.h"
#include "driver/pravik.h"
#include "driver/tests/fake_usb.h"
#include "driver/tests/support.h"

namespace {

using drivertest::Messages;
using drivertest::R;
using faketest::Bytes;
using faketest::FakeBus;
using faketest::FakeScannerState;

constexpr std::uint16_t kVendor = sim::kVendorId;
constexpr std::uint16_t kReady = 0x0001;
constexpr std::uint16_t kMoving = 0x0020;

std::array<std::uint32_t, 24> shortTimeouts(std::uint32_t seconds) {
  std::array<std::uint32_t, 24> t;
  t.fill(seconds);
  return t;
}

class FakeScanner : public ::testing::Test {
 protected:
  void SetUp() override {
    state = bus->add("fake:1", kVendor, 16);
    driver = std::make_unique<Pravik>(bus);
  }
  OperationResult open() { return driver->OpenAndInitializeScanner(&Messages::callback, &messages); }
  std::size_t sent() { return state->commandsSent(); }
  // Waits until the driver has seen n interrupts.
  void awaitInterrupts(std::size_t n) {
    std::unique_lock<std::mutex> lock(messages.mutex);
    ASSERT_TRUE(messages.cv.wait_for(lock, std::chrono::seconds(5),
                                     [&] { return messages.interrupts.size() >= n; }));
  }
  std::vector<std::uint16_t> commandWords() {
    std::lock_guard<std::mutex> lock(state->mutex);
    std::vector<std::uint16_t> out;
    for (auto& w : state->writes) out.push_back(faketest::word(w.data()));
    return out;
  }

  std::shared_ptr<FakeBus> bus = std::make_shared<FakeBus>();
  std::shared_ptr<FakeScannerState> state;
  Messages messages;
  std::unique_ptr<Pravik> driver;
};

TEST_F(FakeScanner, OpenTellsConnectedParametersAndReady) {
  ASSERT_EQ(open(), R(0, 0));
  EXPECT_EQ(messages.withoutInterrupts(), (std::vector<int>{3, 6, 7, 8}));
  ASSERT_EQ(messages.descriptor.size(), 18u);
  EXPECT_EQ(messages.descriptor[8] | messages.descriptor[9] << 8, kVendor);
  EXPECT_EQ(messages.descriptor[10], 16);
  // Not yet initialised: initialise (1), then read scan (0x124) and maintenance (0x113) parameters.
  EXPECT_EQ(commandWords(), (std::vector<std::uint16_t>{0x0001, 0x0124, 0x0113}));
  std::lock_guard<std::mutex> lock(state->mutex);
  const Bytes& init = state->writes[0];
  ASSERT_EQ(init.size(), 6u + 16u);
  EXPECT_EQ(faketest::word(init.data() + 6), 0x1001);
  for (std::size_t i = 8; i < init.size(); ++i) EXPECT_TRUE(std::isdigit(init[i])) << i;
  // The vendor requests: ready (16) then initialise (14).
  ASSERT_GE(state->controls.size(), 2u);
  EXPECT_EQ(state->controls[0].request, 16);
  EXPECT_EQ(state->controls[1].request, 14);
}

TEST_F(FakeScanner, AnInitialisedScannerIsNotInitialisedAgain) {
  state->initialised = true;
  ASSERT_EQ(open(), R(0, 0));
  EXPECT_EQ(commandWords(), (std::vector<std::uint16_t>{0x0124, 0x0113}));
}

TEST_F(FakeScanner, CloseSendsTheClosingRequestOnce) {
  ASSERT_EQ(open(), R(0, 0));
  ASSERT_EQ(driver->CloseOpenedScanner(), R(0, 0));
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    EXPECT_EQ(state->controls.back().request, 16);
  }
  EXPECT_EQ(driver->CloseOpenedScanner(), R(518, 4));
  FilmStatus status{};
  const std::size_t before = sent();
  EXPECT_EQ(driver->ReadFilmStatus(status), R(518, 4));
  EXPECT_EQ(sent(), before);
  // The same object opens again.
  EXPECT_EQ(open(), R(0, 0));
}

TEST(FakeDiscovery, RefusesWhatIsNotAScanner) {
  struct Case {
    const char* name;
    std::function<void(FakeBus&)> plug;
  };
  const Case cases[] = {
      {"nothing plugged", [](FakeBus&) {}},
      {"bulk packet size 0", [](FakeBus& b) { b.add("a", kVendor, 17, faketest::standardPipes(0, 32)); }},
      {"interrupt packet size 0", [](FakeBus& b) { b.add("a", kVendor, 18, faketest::standardPipes(512, 0)); }},
      {"two pipes", [](FakeBus& b) {
         auto pipes = faketest::standardPipes();
         pipes.pop_back();
         b.add("a", kVendor, 19, pipes);
       }},
      {"pipes out of order", [](FakeBus& b) {
         auto pipes = faketest::standardPipes();
         std::swap(pipes[1], pipes[2]);
         b.add("a", kVendor, 16, pipes);
       }},
      {"another product", [](FakeBus& b) { b.add("a", kVendor, 20); }},
  };
  for (const auto& c : cases) {
    auto bus = std::make_shared<FakeBus>();
    c.plug(*bus);
    Messages messages;  // outlives the driver that calls it
    Pravik driver(bus);
    EXPECT_EQ(driver.OpenAndInitializeScanner(&Messages::callback, &messages), R(516, 4)) << c.name;
    EXPECT_EQ(messages.count(SCANNER_CONNECTED), 0) << c.name;
  }
}

TEST(FakeDiscovery, StopsAfter127Devices) {
  auto bus = std::make_shared<FakeBus>();
  for (int i = 0; i < 127; ++i) bus->add("bad" + std::to_string(i), kVendor, 16, faketest::standardPipes(0, 32));
  auto good = bus->add("good", kVendor, 16);
  Messages messages;  // outlives the driver that calls it
  Pravik driver(bus);
  EXPECT_EQ(driver.OpenAndInitializeScanner(&Messages::callback, &messages), R(516, 4));
  EXPECT_EQ(bus->opens(), 127);
  EXPECT_EQ(good->commandsSent(), 0u);
}

TEST(FakeDiscovery, SeveralScannersAskTheClient) {
  for (int choice : {0, 1, 2, 3}) {
    auto bus = std::make_shared<FakeBus>();
    auto first = bus->add("one", kVendor, 16);
    auto second = bus->add("two", kVendor, 19);
    Messages messages;  // outlives the driver that calls it
    Pravik driver(bus);
    messages.choose = choice;
    const OperationResult r = driver.OpenAndInitializeScanner(&Messages::callback, &messages);
    EXPECT_EQ(messages.selectionOffered, 2) << choice;
    if (choice == 1 || choice == 2) {
      EXPECT_EQ(r, R(0, 0)) << choice;
      EXPECT_GT((choice == 1 ? first : second)->commandsSent(), 0u);
      EXPECT_EQ((choice == 1 ? second : first)->commandsSent(), 0u);
    } else {
      EXPECT_EQ(r, R(516, 4)) << choice;
      EXPECT_EQ(first->commandsSent() + second->commandsSent(), 0u);
      EXPECT_EQ(messages.count(SCANNER_CONNECTED), 0);
    }
  }
}

TEST(FakeInterruptPipe, AsksForAtLeastOnePacket) {
  for (auto [packet, asked] : {std::pair<std::uint16_t, std::size_t>{8, 32}, {32, 32}, {64, 64},
                               {4096, 2048}}) {
    auto bus = std::make_shared<FakeBus>();
    auto state = bus->add("a", kVendor, 16, faketest::standardPipes(512, packet));
    Messages messages;  // outlives the driver that calls it
    Pravik driver(bus);
    ASSERT_EQ(driver.OpenAndInitializeScanner(&Messages::callback, &messages), R(0, 0));
    std::lock_guard<std::mutex> lock(state->mutex);
    ASSERT_FALSE(state->interruptAsks.empty());
    EXPECT_EQ(state->interruptAsks.front(), asked) << packet;
  }
}

TEST_F(FakeScanner, MoveFilmSeesRiseAndFallArrivingTogether) {
  ASSERT_EQ(open(), R(0, 0));
  driver->SetCommandTimeouts(shortTimeouts(30));
  state->hooks[8] = [](FakeScannerState& s, const Bytes& block) {
    s.pushStatus(faketest::word(block.data()));
    s.pushInterrupt(kReady | kMoving);
    s.pushInterrupt(kReady);
  };
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(driver->MoveFilm(3), R(0, 0));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  std::lock_guard<std::mutex> lock(state->mutex);
  const Bytes& move = state->writes.back();
  ASSERT_EQ(move.size(), 10u);
  EXPECT_EQ(faketest::word(move.data() + 6), 0x1008);
  EXPECT_EQ(faketest::word(move.data() + 8), 3);
}

TEST_F(FakeScanner, MoveFilmNeedsTheRiseBeforeTheFall) {
  ASSERT_EQ(open(), R(0, 0));
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->pushInterrupt(kReady | kMoving);  // already moving before the command
  }
  awaitInterrupts(2);
  driver->SetCommandTimeouts(shortTimeouts(1));
  state->hooks[8] = [](FakeScannerState& s, const Bytes& block) {
    s.pushStatus(faketest::word(block.data()));
    s.pushInterrupt(kReady);           // a fall first: not yet
    s.pushInterrupt(kReady | kMoving);  // the rise; no fall follows
  };
  EXPECT_EQ(driver->MoveFilm(1), R(524, 4));
  // The time-out told the scanner that the host gave up.
  std::lock_guard<std::mutex> lock(state->mutex);
  EXPECT_EQ(state->controls.back().request, 13);
}

TEST_F(FakeScanner, AnErrorInterruptWinsOverAPredicateThatHolds) {
  ASSERT_EQ(open(), R(0, 0));
  // The device text looks like a format: it must arrive as text.
  state->hooks[3] = [](FakeScannerState& s, const Bytes& block) {
    s.pushStatus(faketest::word(block.data()));
    s.pushInterrupt(kReady | 0x0008 | 0x8000, 0x40F3, "%s%n%s%n jam");
  };
  FILM_SIZE_CODE size = FILM_SIZE_NONE;
  ScanSize scanSize{};
  testing::internal::CaptureStderr();
  EXPECT_EQ(driver->LoadFilm(FilmSetParameters{{1, 0}}, size, scanSize), R(0x40F3, 2));
  const std::string trace = testing::internal::GetCapturedStderr();
  EXPECT_NE(trace.find("%s%n%s%n jam"), std::string::npos) << trace;
  std::lock_guard<std::mutex> lock(messages.mutex);
  ASSERT_FALSE(messages.interrupts.empty());
  EXPECT_EQ(messages.interrupts.back().errorText, "%s%n%s%n jam");
  EXPECT_EQ(messages.interrupts.back().errorCode, 0x40F3);
}

TEST_F(FakeScanner, LoadFilmKeepsOnlyKnownSizeCodes) {
  ASSERT_EQ(open(), R(0, 0));
  state->hooks[3] = [](FakeScannerState& s, const Bytes& block) {
    s.pushStatus(faketest::word(block.data()));
    s.pushInterrupt(kReady | 0x0008);
  };
  for (std::uint16_t reported : {0, 1, 7, 8, 0xFFFF}) {
    state->hooks[6] = [reported](FakeScannerState& s, const Bytes& block) {
      Bytes reply(48, 0);
      reply[0] = 0x06;
      reply[1] = 0x10;
      reply[2 + 3 * 2] = 0x34;  // word 3
      reply[2 + 4 * 2] = 0x56;  // word 4
      reply[2 + 22 * 2] = std::uint8_t(reported);
      reply[2 + 22 * 2 + 1] = std::uint8_t(reported >> 8);
      s.bulkIn.push_back(reply);
      s.pushStatus(faketest::word(block.data()));
    };
    FILM_SIZE_CODE size = FILM_SIZE_CODE(99);
    ScanSize scanSize{};
    ASSERT_EQ(driver->LoadFilm(FilmSetParameters{{1, 0}}, size, scanSize), R(0, 0));
    EXPECT_EQ(size, reported >= 1 && reported <= 7 ? reported : 0) << reported;
    EXPECT_EQ(scanSize.words[0], 0x34);
    EXPECT_EQ(scanSize.words[1], 0x56);
  }
}

TEST_F(FakeScanner, ReadMembersCopyThePayloadOnly) {
  ASSERT_EQ(open(), R(0, 0));
  struct Case {
    std::int32_t asked;
    Bytes reply;  // prefix included
    std::int32_t received;
  };
  const Case cases[] = {
      {10, {0x11}, 0},                               // shorter than its prefix
      {10, {0x11, 0x10}, 0},                         // the prefix alone
      {5, {0x11, 0x10, 1, 2, 3, 4, 5}, 5},           // odd size, exactly
      {10, {0x11, 0x10, 9, 8, 7}, 3},                // shorter reply accepted
  };
  for (const auto& c : cases) {
    state->hooks[17] = [&](FakeScannerState& s, const Bytes& block) {
      s.bulkIn.push_back(c.reply);
      s.pushStatus(faketest::word(block.data()));
    };
    std::uint8_t buffer[32];
    std::memset(buffer, 0xEE, sizeof buffer);
    std::int32_t received = -1;
    EXPECT_EQ(driver->ReadScanLut(reinterpret_cast<std::uint16_t*>(buffer), c.asked, received), R(0, 0));
    EXPECT_EQ(received, c.received);
    for (std::int32_t i = 0; i < c.received; ++i) EXPECT_EQ(buffer[i], c.reply[std::size_t(i) + 2]);
    for (std::size_t i = std::size_t(c.received); i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], 0xEE) << i;
  }
}

TEST_F(FakeScanner, RefusedArgumentsSendNothing) {
  ASSERT_EQ(open(), R(0, 0));
  ScanParameters sp{};
  CalibrationParameters cal{};
  std::uint16_t words[64] = {};
  std::uint16_t* blocks[4] = {words, words, words, words};
  std::uint16_t* withNull[4] = {words, nullptr, words, words};
  std::int32_t received = 0;
  Pravik& d = *driver;
  const std::pair<const char*, std::function<OperationResult()>> cases[] = {
      {"scan: null buffer", [&] { return d.ScanAndReadFilm(sp, cal, nullptr, 100, false, false, 0, nullptr, nullptr); }},
      {"scan: negative size", [&] { return d.ScanAndReadFilm(sp, cal, words, -1, false, false, 0, nullptr, nullptr); }},
      {"scan: size + 16 overflows", [&] { return d.ScanAndReadFilm(sp, cal, words, INT32_MAX - 15, false, false, 0, nullptr, nullptr); }},
      {"scan: negative block", [&] { return d.ScanAndReadFilm(sp, cal, words, 64, false, false, -1, nullptr, nullptr); }},
      {"headerless: null buffer", [&] { return d.ScanAndReadFilmWithoutHeader(sp, cal, nullptr, 64, false, false, 0, nullptr, nullptr); }},
      {"headerless: negative size", [&] { return d.ScanAndReadFilmWithoutHeader(sp, cal, words, -2, false, false, 0, nullptr, nullptr); }},
      {"blocks: null header", [&] { return d.ScanAndReadFilmWithoutHeaderMultiBlock(sp, cal, nullptr, 8, blocks, 32, 4, false, false, nullptr, nullptr); }},
      {"blocks: negative header", [&] { return d.ScanAndReadFilmWithoutHeaderMultiBlock(sp, cal, words, -8, blocks, 32, 4, false, false, nullptr, nullptr); }},
      {"blocks: null list", [&] { return d.ScanAndReadFilmWithoutHeaderMultiBlock(sp, cal, words, 8, nullptr, 32, 4, false, false, nullptr, nullptr); }},
      {"blocks: no blocks", [&] { return d.ScanAndReadFilmWithoutHeaderMultiBlock(sp, cal, words, 8, blocks, 32, 0, false, false, nullptr, nullptr); }},
      {"blocks: block size 0", [&] { return d.ScanAndReadFilmWithoutHeaderMultiBlock(sp, cal, words, 8, blocks, 0, 4, false, false, nullptr, nullptr); }},
      {"blocks: negative block size", [&] { return d.ScanAndReadFilmWithoutHeaderMultiBlock(sp, cal, words, 8, blocks, -32, 4, false, false, nullptr, nullptr); }},
      {"blocks: one null block", [&] { return d.ScanAndReadFilmWithoutHeaderMultiBlock(sp, cal, words, 8, withNull, 32, 4, false, false, nullptr, nullptr); }},
      {"blocks: size x count overflows", [&] {
         std::vector<std::uint16_t*> many(65536, words);
         return d.ScanAndReadFilmWithoutHeaderMultiBlock(sp, cal, words, 8, many.data(), 65536, 65536, false, false, nullptr, nullptr);
       }},
      {"lut: null", [&] { return d.SetScanLut(nullptr, 8); }},
      {"lut: negative", [&] { return d.SetScanLut(words, -1); }},
      {"lut read: null", [&] { return d.ReadScanLut(nullptr, 8, received); }},
      {"lut read: negative", [&] { return d.ReadScanLut(words, -1, received); }},
      {"lut read: size + 2 overflows", [&] { return d.ReadScanLut(words, INT32_MAX - 1, received); }},
      {"program: null", [&] { return d.SetScanProgram(nullptr, 8); }},
      {"program read: null", [&] { return d.ReadScanProgram(nullptr, 8, received); }},
      {"scan eeprom: null", [&] { return d.SetScanEeprom(nullptr, 8); }},
      {"scan eeprom read: null", [&] { return d.ReadScanEeprom(nullptr, 8, received); }},
      {"device program: null", [&] { return d.SetDeviceProgram(nullptr, 8); }},
      {"log read: null", [&] { return d.ReadLogFile(nullptr, 8, received); }},
      {"device eeprom: null", [&] { return d.SetDeviceEeprom(nullptr, 8); }},
      {"device eeprom read: null", [&] { return d.ReadDeviceEeprom(nullptr, 8, received); }},
      {"operate: negative time-out", [&] { return d.OperateScanner(1, words, 2, -1, received, RAW_WRITE, false); }},
      {"operate: time-out x 1000 overflows", [&] { return d.OperateScanner(1, words, 2, INT32_MAX, received, RAW_WRITE, false); }},
      {"operate: bytes below -1", [&] { return d.OperateScanner(5, words, -2, 5, received, TABLE_COMMAND, false); }},
      {"operate: bytes without data", [&] { return d.OperateScanner(9, nullptr, 4, 5, received, TABLE_COMMAND, false); }},
      {"operate: unknown type", [&] { return d.OperateScanner(1, words, 2, 5, received, COMMAND_TYPE(7), false); }},
      {"operate: raw code above a byte", [&] { return d.OperateScanner(0x137, words, 2, 5, received, RAW_WRITE, false); }},
      {"operate: raw code negative", [&] { return d.OperateScanner(-1, words, 2, 5, received, RAW_WRITE, false); }},
      {"operate: raw read -1", [&] { return d.OperateScanner(37, words, -1, 5, received, RAW_READ, false); }},
      {"operate: raw write -1", [&] { return d.OperateScanner(39, words, -1, 5, received, RAW_WRITE, false); }},
      {"operate: raw variable -1", [&] { return d.OperateScanner(38, words, -1, 5, received, RAW_READ_VARIABLE, false); }},
      {"operate: raw read wait -1", [&] { return d.OperateScanner(37, words, -1, 5, received, RAW_READ_WAIT, false); }},
      {"operate: raw write wait -1", [&] { return d.OperateScanner(39, words, -1, 5, received, RAW_WRITE_WAIT, false); }},
      {"operate: raw variable wait -1", [&] { return d.OperateScanner(38, words, -1, 5, received, RAW_READ_VARIABLE_WAIT, false); }},
  };
  for (const auto& [name, call] : cases) {
    const std::size_t before = sent();
    EXPECT_EQ(call(), R(513, 4)) << name;
    EXPECT_EQ(sent(), before) << name;
  }
  // Rows outside the table and rows without a length of their own are the
  // library's own parameter errors.
  for (auto [row, bytes] : {std::pair{26, 0}, {-1, 0}, {4, -1}, {9, -1}, {25, -1}}) {
    const std::size_t before = sent();
    EXPECT_EQ(d.OperateScanner(row, words, bytes, 5, received, TABLE_COMMAND, false), R(520, 4)) << row;
    EXPECT_EQ(sent(), before) << row;
  }
  // A slot time-out too large for milliseconds.
  auto huge = shortTimeouts(5);
  huge[1] = UINT32_MAX / 1000 + 1;
  d.SetCommandTimeouts(huge);
  const std::size_t before = sent();
  EXPECT_EQ(d.SetScanParameters(sp), R(513, 4));
  EXPECT_EQ(sent(), before);
}

TEST(FakeArguments, OpenWithoutCallbackIsRefused) {
  auto bus = std::make_shared<FakeBus>();
  auto state = bus->add("a", kVendor, 16);
  Pravik driver(bus);
  EXPECT_EQ(driver.OpenAndInitializeScanner(nullptr, nullptr), R(513, 4));
  EXPECT_EQ(bus->opens(), 0);
}

TEST_F(FakeScanner, NothingIsSentBeforeTheScannerIsReady) {
  {
    // Not opened: the driver has never seen ready.
    ScanParameters sp{};
    EXPECT_EQ(driver->SetScanParameters(sp), R(519, 4));
    EXPECT_EQ(driver->ReadScanParameters(sp), R(519, 4));
    EXPECT_EQ(driver->ResetScanner(), R(519, 4));
  }
  ASSERT_EQ(open(), R(0, 0));
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->pushInterrupt(0x0100);  // ready falls
  }
  awaitInterrupts(2);
  const std::size_t before = sent();
  FilmStatus status{};
  SenseInfo sense;
  std::uint16_t words[24] = {};  // a whole film-status reply, prefix first
  std::int32_t received = 0;
  EXPECT_EQ(driver->ReadFilmStatus(status), R(519, 4));
  EXPECT_EQ(driver->RequestSense(sense), R(519, 4));
  EXPECT_EQ(driver->MoveFilm(1), R(519, 4));
  EXPECT_EQ(driver->ReadLogFile(words, 8, received), R(519, 4));
  EXPECT_EQ(sent(), before);
  // OperateScanner does not ask for ready.
  EXPECT_EQ(driver->OperateScanner(5, words, -1, 5, received, TABLE_COMMAND, false).category, 0);
  EXPECT_EQ(sent(), before + 1);
}

struct ProgressLog {
  std::mutex mutex;
  std::vector<std::int32_t> counts;
  std::atomic<bool> sawCallerThread{false};
  std::thread::id caller;
  static void callback(std::int32_t blocks, void* context) {
    auto* self = static_cast<ProgressLog*>(context);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));  // a slow client
    if (std::this_thread::get_id() == self->caller) self->sawCallerThread = true;
    std::lock_guard<std::mutex> lock(self->mutex);
    self->counts.push_back(blocks);
  }
};

TEST_F(FakeScanner, EveryBlockEndIsReportedBeforeTheScanReturns) {
  ASSERT_EQ(open(), R(0, 0));
  struct Case {
    std::int32_t imageBytes, blockSize;
    int reports;
  };
  // Blocks larger than the 8 MiB piece are crossed mid-piece.
  const Case cases[] = {{27 << 20, 9 << 20, 3}, {4096, 1000, 4}, {4096, 0, 0}, {4096, 4096, 1}};
  ScanParameters sp{};
  CalibrationParameters cal{};
  for (const auto& c : cases) {
    std::vector<std::uint16_t> image(std::size_t(c.imageBytes) / 2 + 1);
    ProgressLog log;
    log.caller = std::this_thread::get_id();
    ASSERT_EQ(driver->ScanAndReadFilmWithoutHeader(sp, cal, image.data(), c.imageBytes, true, true,
                                                    c.blockSize, &ProgressLog::callback, &log),
              R(0, 0));
    std::vector<std::int32_t> expected;
    for (int i = 1; i <= c.reports; ++i) expected.push_back(i);
    {
      std::lock_guard<std::mutex> lock(log.mutex);
      EXPECT_EQ(log.counts, expected) << c.imageBytes << " / " << c.blockSize;
    }
    EXPECT_FALSE(log.sawCallerThread);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(image.data());
    for (std::int32_t i = 0; i < c.imageBytes; i += 4093) ASSERT_EQ(bytes[i], std::uint8_t(i * 7 + 1)) << i;
    // Nothing arrives after the call.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::lock_guard<std::mutex> lock(log.mutex);
    EXPECT_EQ(log.counts.size(), expected.size());
  }
}

TEST_F(FakeScanner, ALostStatusDrainsWithinLimits) {
  ASSERT_EQ(open(), R(0, 0));
  state->hooks[6] = [](FakeScannerState& s, const Bytes&) {
    s.bulkIn.push_back(Bytes(48, 0));
    s.bulkIn.push_back({0x06, 0x00, 0x00, 0x00});  // a wrong echo
    for (int i = 0; i < 8192; ++i) s.bulkIn.push_back(Bytes(512, 0x5A));  // 4 MiB of junk
  };
  FilmStatus status{};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(driver->ReadFilmStatus(status), R(525, 4));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
  std::lock_guard<std::mutex> lock(state->mutex);
  EXPECT_GT(state->bulkIn.size(), 4096u);  // at most 1 MiB was taken
}

}  // namespace
