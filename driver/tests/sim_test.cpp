// The driver against the simulated scanners: what goes over the wire for every
// command, what every injected fault gives, and scans checked to the byte.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <regex>
#include <thread>

#include "driver/pravik.h"
#include "driver/tests/support.h"
#include "platform/clock.h"
#include "platform/usb_libusb.h"
#include "simulator/radiograph.h"
#include "simulator/sim.h"

namespace {

using drivertest::Messages;
using drivertest::R;
using sim::LogEntry;
using Bytes = std::vector<std::uint8_t>;

std::uint16_t le16(const Bytes& b, std::size_t at) { return std::uint16_t(b[at] | b[at + 1] << 8); }

std::array<std::uint32_t, 24> timeouts(std::uint32_t seconds) {
  std::array<std::uint32_t, 24> t;
  t.fill(seconds);
  return t;
}

// 1001 pixels of 16 bits, 8 lines, at 100 um.
ScanParameters scanParameters(std::uint16_t width = 1001, std::uint16_t lines = 8,
                              std::uint16_t blocks = 1) {
  ScanParameters p{};
  p.ScanPitch = 100;
  p.ScanXSize = width;
  p.ScanYSize = lines;
  p.ImageDataFormat = (16 << 8) | 16;
  p.FilmXSize = 356;
  p.FilmYSize = 432;
  p.AFMode = blocks;
  return p;
}

std::vector<std::uint16_t> wordsOf(const ScanParameters& p) {
  const auto* w = reinterpret_cast<const std::uint16_t*>(&p);
  return std::vector<std::uint16_t>(w, w + 15);
}

Bytes expectedImage(const sim::Scanner& scanner, std::uint16_t code, std::uint32_t lines,
                    std::uint32_t lineOffset = 0) {
  const auto words = scanner.scanParameters();
  const auto spec = scanner.config().personality == sim::Personality::Cr
                        ? sim::plateImageSpec(words, code, lineOffset, lines, 0)
                        : sim::scanImageSpec(words, code, lineOffset, lines, 0);
  return sim::radiograph(spec);
}

class OnSimulator : public ::testing::Test {
 protected:
  void plug(const sim::DeviceConfig& config) {
    scanner = bus->plug(config);
    driver = std::make_unique<Pravik>(bus);
  }
  void plugAndOpen(const sim::DeviceConfig& config = sim::filmDigitizer()) {
    plug(config);
    ASSERT_EQ(open(), R(0, 0));
  }
  OperationResult open() { return driver->OpenAndInitializeScanner(&Messages::callback, &messages); }
  std::size_t mark() const { return scanner.log().size(); }
  std::vector<LogEntry> since(std::size_t at, LogEntry::Kind kind) const {
    auto all = scanner.log();
    std::vector<LogEntry> out;
    for (std::size_t i = at; i < all.size(); ++i)
      if (all[i].kind == kind) out.push_back(all[i]);
    return out;
  }
  std::vector<LogEntry> commandsSince(std::size_t at) const { return since(at, LogEntry::Kind::Command); }
  // The vendor requests since `at`, as request numbers with the stall index: 15 and
  // its endpoint become 1506 or 1502.
  std::vector<int> requestsSince(std::size_t at) const {
    std::vector<int> out;
    for (const auto& e : since(at, LogEntry::Kind::Request))
      out.push_back(e.request == 15 ? 1500 + e.word : e.request);
    return out;
  }
  std::string logText() const {
    std::string s;
    for (const auto& e : scanner.log()) s += e.describe() + "\n";
    return s;
  }
  // Waits until the driver's client has seen `n` of `message`.
  bool awaitMessage(int message, int n = 1) {
    std::unique_lock<std::mutex> lock(messages.mutex);
    return messages.cv.wait_for(lock, std::chrono::seconds(10), [&] {
      int count = 0;
      for (int m : messages.seen) count += m == message;
      return count >= n;
    });
  }
  // Waits until the driver has seen the scanner's current status word.
  void awaitStatus(std::uint16_t mask, bool set) {
    std::unique_lock<std::mutex> lock(messages.mutex);
    ASSERT_TRUE(messages.cv.wait_for(lock, std::chrono::seconds(10), [&] {
      return !messages.interrupts.empty() &&
             ((messages.interrupts.back().statusWord & mask) != 0) == set;
    }));
  }

  std::shared_ptr<sim::Bus> bus = std::make_shared<sim::Bus>();
  sim::Scanner scanner;
  Messages messages;
  std::unique_ptr<Pravik> driver;
};

TEST_F(OnSimulator, OpenInitialisesAndReportsTheScannersParameters) {
  plugAndOpen(sim::crReader());
  EXPECT_EQ(messages.withoutInterrupts(), (std::vector<int>{3, 6, 7, 8}));
  EXPECT_EQ(messages.descriptor[8] | messages.descriptor[9] << 8, sim::kVendorId);
  EXPECT_EQ(messages.descriptor[10], 19);
  EXPECT_EQ(messages.maintenance.words[10], scanner.config().serialNumber);
  EXPECT_EQ(messages.maintenance.words[8], scanner.config().firmwareWord);
  EXPECT_TRUE(scanner.initialized());
  const auto commands = scanner.log(LogEntry::Kind::Command);
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(commands[0].word, 0x0001);
  EXPECT_EQ(commands[1].word, 0x0124);
  EXPECT_EQ(commands[2].word, 0x0113);
  // A second open of the same scanner skips the initialise command.
  ASSERT_EQ(driver->CloseOpenedScanner(), R(0, 0));
  const std::size_t at = mark();
  ASSERT_EQ(open(), R(0, 0));
  const auto again = commandsSince(at);
  ASSERT_EQ(again.size(), 2u);
  EXPECT_EQ(again[0].word, 0x0124);
}

TEST_F(OnSimulator, OpenAndCloseSendTheVendorRequests) {
  plug(sim::filmDigitizer());
  ASSERT_EQ(open(), R(0, 0));
  EXPECT_EQ(requestsSince(0), (std::vector<int>{16, 14}));
  const auto requests = scanner.log(LogEntry::Kind::Request);
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_GE(requests[1].timeUs - requests[0].timeUs, 500000u) << "14 follows 16 after 500 ms";
  const std::size_t at = mark();
  ASSERT_EQ(driver->CloseOpenedScanner(), R(0, 0));
  EXPECT_EQ(requestsSince(at), (std::vector<int>{16}));
  EXPECT_EQ(driver->CloseOpenedScanner(), R(518, 4));
  EXPECT_EQ(driver->OpenAndInitializeScanner(&Messages::callback, &messages), R(0, 0));
  EXPECT_EQ(driver->OpenAndInitializeScanner(&Messages::callback, &messages), R(517, 4));
}

// What each command puts on the wire: the command word, the data length and the
// prefix of its data (or, for the block scan, the host header).
TEST_F(OnSimulator, EveryCommandRowGoesOverTheWireAsTabled) {
  plugAndOpen();
  const ScanParameters sp = scanParameters(1001, 8);
  const CalibrationParameters cal{{0, 0}};
  const std::int32_t imageBytes = 1001 * 8 * 2;
  std::vector<std::uint16_t> image(imageBytes / 2 + 8);
  std::vector<std::uint16_t> blockStore(imageBytes / 2 * 2);
  std::uint16_t* blocks[2] = {blockStore.data(), blockStore.data() + imageBytes / 2};
  std::uint16_t hostHeader[7] = {1001, 8, 0x1010, 2, 0, 0, 0};
  std::vector<std::uint16_t> data(4096 + 2);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = std::uint16_t(i);
  std::int32_t received = 0;
  FILM_SIZE_CODE size = FILM_SIZE_NONE;
  ScanSize scanSize{};
  MaintenanceParameters maintenance{};
  for (int i = 0; i < 15; ++i) maintenance.words[i] = std::uint16_t(100 + i);
  FilmStatus filmStatus{};
  DiagnosticReport report{};
  SenseInfo sense;
  ScanParameters readBack{};
  Pravik& d = *driver;

  struct Row {
    const char* name;
    std::function<OperationResult()> call;
    std::uint16_t word;
    std::uint32_t length;
    int prefix;  // -1: none in the command block's transfer
  };
  const Row rows[] = {
      {"1 set scan parameters", [&] { return d.SetScanParameters(sp); }, 0x0002, 32, 0x1002},
      {"2 film set", [&] { return d.LoadFilm({{1, 0}}, size, scanSize); }, 0x0003, 6, 0x1003},
      {"3 calibrate", [&] { return d.Calibrate(cal); }, 0x0004, 6, 0x1004},
      {"4 scan", [&] { return d.ScanAndReadFilm(sp, cal, image.data(), imageBytes, true, true, 0, nullptr, nullptr); }, 0x0105, std::uint32_t(imageBytes + 16), -1},
      {"5 film status", [&] { return d.ReadFilmStatus(filmStatus); }, 0x0106, 48, -1},
      {"7 move film", [&] { return d.MoveFilm(2); }, 0x0008, 4, 0x1008},
      {"6 reset film", [&] { return d.ResetFilm(); }, 0x0007, 0, -1},
      {"9 set scan table", [&] { return d.SetScanLut(data.data(), 8192); }, 0x0010, 8194, 0x1010},
      {"10 read scan table", [&] { return d.ReadScanLut(data.data(), 8192, received); }, 0x0111, 8194, -1},
      {"11 set maintenance", [&] { return d.SetScanMaintenanceParameters(maintenance); }, 0x0012, 32, 0x1012},
      {"12 read maintenance", [&] { return d.ReadScanMaintenanceParameters(maintenance); }, 0x0113, 32, -1},
      {"13 set scan program", [&] { return d.SetScanProgram(data.data(), 100); }, 0x0014, 102, 0x1014},
      {"14 read scan program", [&] { return d.ReadScanProgram(data.data(), 100, received); }, 0x0115, 102, -1},
      {"15 set scan EEPROM", [&] { return d.SetScanEeprom(data.data(), 64); }, 0x0016, 66, 0x1016},
      {"16 read scan EEPROM", [&] { return d.ReadScanEeprom(data.data(), 64, received); }, 0x0117, 66, -1},
      {"17 set device program", [&] { return d.SetDeviceProgram(data.data(), 300); }, 0x0018, 302, 0x1018},
      {"18 read log file", [&] { return d.ReadLogFile(data.data(), 1000, received); }, 0x0119, 1002, -1},
      {"19 set device EEPROM", [&] { return d.SetDeviceEeprom(data.data(), 32); }, 0x0020, 34, 0x1020},
      {"20 read device EEPROM", [&] { return d.ReadDeviceEeprom(data.data(), 32, received); }, 0x0121, 34, -1},
      {"21 diagnose", [&] { return d.Diagnose(report); }, 0x0122, 48, -1},
      {"22 request sense", [&] { return d.RequestSense(sense); }, 0x0123, 34, -1},
      {"23 read scan parameters", [&] { return d.ReadScanParameters(readBack); }, 0x0124, 32, -1},
      {"24 scan without header", [&] { return d.ScanAndReadFilmWithoutHeader(sp, cal, image.data(), imageBytes, true, true, 0, nullptr, nullptr); }, 0x0180, std::uint32_t(imageBytes), -1},
      {"25 scan in blocks", [&] { return d.ScanAndReadFilmWithoutHeaderMultiBlock(sp, cal, hostHeader, 14, blocks, imageBytes, 2, true, true, nullptr, nullptr); }, 0x0181, std::uint32_t(imageBytes * 2), -1},
      // Raw codes get their row on the spot.
      {"raw read", [&] { return d.OperateScanner(37, data.data(), 128, 5, received, RAW_READ, true); }, 0x0125, 130, -1},
      {"raw write", [&] { std::uint16_t one = 1; return d.OperateScanner(39, &one, 2, 5, received, RAW_WRITE, false); }, 0x0027, 4, 0x1027},
      {"raw read variable", [&] { return d.OperateScanner(38, data.data(), 512, 5, received, RAW_READ_VARIABLE, true); }, 0x0126, 514, -1},
      {"raw read wait", [&] { return d.OperateScanner(37, data.data(), 128, 5, received, RAW_READ_WAIT, true); }, 0x0125, 130, -1},
      {"raw write wait", [&] { std::uint16_t one = 1; return d.OperateScanner(39, &one, 2, 5, received, RAW_WRITE_WAIT, false); }, 0x0027, 4, 0x1027},
      {"raw read variable wait", [&] { return d.OperateScanner(38, data.data(), 512, 5, received, RAW_READ_VARIABLE_WAIT, true); }, 0x0126, 514, -1},
  };
  for (const auto& row : rows) {
    const std::size_t at = mark();
    EXPECT_EQ(row.call(), R(0, 0)) << row.name << "\n" << logText();
    const auto sent = commandsSince(at);
    ASSERT_FALSE(sent.empty()) << row.name;
    const LogEntry& c = sent.front();
    EXPECT_EQ(c.word, row.word) << row.name;
    EXPECT_EQ(c.length, row.length) << row.name;
    ASSERT_GE(c.bytes.size(), 6u) << row.name;
    EXPECT_EQ(le16(c.bytes, 0), row.word) << row.name;
    EXPECT_EQ(std::uint32_t(c.bytes[2] | c.bytes[3] << 8 | c.bytes[4] << 16 | c.bytes[5] << 24), row.length) << row.name;
    if (row.prefix >= 0) {
      ASSERT_GE(c.bytes.size(), 8u) << row.name;
      EXPECT_EQ(le16(c.bytes, 6), row.prefix) << row.name;
    } else if (row.word == 0x0181) {
      ASSERT_GE(c.bytes.size(), 20u);
      EXPECT_EQ(Bytes(c.bytes.begin() + 6, c.bytes.begin() + 20),
                Bytes(reinterpret_cast<std::uint8_t*>(hostHeader), reinterpret_cast<std::uint8_t*>(hostHeader) + 14));
    } else {
      EXPECT_EQ(c.bytes.size(), 6u) << row.name << ": nothing after the command block";
    }
  }
  // Row 8: reset error sends the error code the driver last saw.
  scanner.raiseError(0x4001, "COVER OPEN");
  awaitStatus(sim::bits::kError, true);
  const std::size_t at = mark();
  EXPECT_EQ(d.ResetError(), R(0, 0));
  const auto sent = commandsSince(at);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].word, 0x0009);
  EXPECT_EQ(sent[0].length, 4u);
  EXPECT_EQ(le16(sent[0].bytes, 6), 0x1009);
  EXPECT_EQ(le16(sent[0].bytes, 8), 0x4001);
  // Row 0, initialise, came first in the open: 14 digits of local time.
  const auto first = scanner.log(LogEntry::Kind::Command).front();
  EXPECT_EQ(first.word, 0x0001);
  EXPECT_EQ(first.length, 16u);
  ASSERT_EQ(first.bytes.size(), 22u);
  EXPECT_EQ(le16(first.bytes, 6), 0x1001);
  for (std::size_t i = 8; i < 22; ++i) EXPECT_TRUE(std::isdigit(first.bytes[i])) << i;
}

TEST_F(OnSimulator, AScanWithEverythingDoneSendsOnlyTheScan) {
  plugAndOpen();
  const ScanParameters sp = scanParameters(64, 4);
  std::vector<std::uint16_t> image(64 * 4 + 8);
  const CalibrationParameters cal{{0, 0}};
  ASSERT_EQ(driver->SetScanParameters(sp), R(0, 0));
  std::size_t at = mark();
  ASSERT_EQ(driver->ScanAndReadFilm(sp, cal, image.data(), 64 * 4 * 2, true, true, 0, nullptr, nullptr), R(0, 0));
  auto sent = commandsSince(at);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].word, 0x0105);
  // Otherwise parameters, then calibration, then the scan.
  at = mark();
  ASSERT_EQ(driver->ScanAndReadFilm(sp, cal, image.data(), 64 * 4 * 2, false, false, 0, nullptr, nullptr), R(0, 0));
  sent = commandsSince(at);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].word, 0x0002);
  EXPECT_EQ(sent[1].word, 0x0004);
  EXPECT_EQ(sent[2].word, 0x0105);
}

struct Progress {
  std::mutex mutex;
  std::vector<std::int32_t> counts;
  static void callback(std::int32_t blocks, void* context) {
    auto* self = static_cast<Progress*>(context);
    std::lock_guard<std::mutex> lock(self->mutex);
    self->counts.push_back(blocks);
  }
  std::vector<std::int32_t> get() {
    std::lock_guard<std::mutex> lock(mutex);
    return counts;
  }
};

std::vector<std::int32_t> oneTo(int n) {
  std::vector<std::int32_t> v;
  for (int i = 1; i <= n; ++i) v.push_back(i);
  return v;
}

// The scans' roads: straight onto the simulated bus, and through the adapter
// that the real scanners get, with the simulated bus as its transfer layer.
enum class Road { Bus, Adapter };

class Scans : public OnSimulator, public ::testing::WithParamInterface<Road> {
 protected:
  void plugAndOpen(const sim::DeviceConfig& config = sim::filmDigitizer()) {
    scanner = bus->plug(config);
    if (GetParam() == Road::Adapter)
      driver = std::make_unique<Pravik>(platform::usb::throughAdapter(bus));
    else
      driver = std::make_unique<Pravik>(bus);
    ASSERT_EQ(open(), R(0, 0));
  }
};

INSTANTIATE_TEST_SUITE_P(Roads, Scans, ::testing::Values(Road::Bus, Road::Adapter),
                         [](const ::testing::TestParamInfo<Road>& info) {
                           return std::string(info.param == Road::Bus ? "Bus" : "Adapter");
                         });

TEST_P(Scans, OddBlocksArriveByteExact) {
  auto config = sim::crReader();
  config.bulkInPacket = 512;
  plugAndOpen(config);
  const ScanParameters sp = scanParameters(1001, 8, 3);
  ASSERT_EQ(driver->SetScanParameters(sp), R(0, 0));
  const std::int32_t blockBytes = 1001 * 8 * 2;  // 16016: not a whole number of packets
  const std::int32_t count = 3;
  std::vector<std::vector<std::uint16_t>> store(count, std::vector<std::uint16_t>(blockBytes / 2));
  std::uint16_t* blocks[count];
  for (int i = 0; i < count; ++i) blocks[i] = store[std::size_t(i)].data();
  std::uint16_t header[7] = {1001, 8, 0x1010, std::uint16_t(count), 0, 0, 0};
  Progress progress;
  ASSERT_EQ(driver->ScanAndReadFilmWithoutHeaderMultiBlock(sp, {{0, 0}}, header, 14, blocks, blockBytes,
                                                           count, true, true, &Progress::callback, &progress),
            R(0, 0));
  EXPECT_EQ(progress.get(), oneTo(count));
  const Bytes expected = expectedImage(scanner, 129, 8 * count);
  ASSERT_EQ(expected.size(), std::size_t(blockBytes) * count);
  for (int i = 0; i < count; ++i) {
    const auto* got = reinterpret_cast<const std::uint8_t*>(blocks[i]);
    EXPECT_EQ(Bytes(got, got + blockBytes),
              Bytes(expected.begin() + std::ptrdiff_t(i) * blockBytes, expected.begin() + std::ptrdiff_t(i + 1) * blockBytes))
        << "block " << i;
  }
}

TEST_P(Scans, AFilmScanCarriesPrefixHeaderAndImage) {
  plugAndOpen();
  const ScanParameters sp = scanParameters(1001, 8);
  const std::int32_t imageBytes = 1001 * 8 * 2;
  std::vector<std::uint16_t> buffer(imageBytes / 2 + 8);
  Progress progress;
  // Blocks of 1000 bytes, counted from the prefix on: 16032 bytes end 16 of them.
  ASSERT_EQ(driver->ScanAndReadFilm(sp, {{0, 0}}, buffer.data(), imageBytes, false, false, 1000,
                                    &Progress::callback, &progress),
            R(0, 0));
  EXPECT_EQ(progress.get(), oneTo(16));
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(buffer.data());
  EXPECT_EQ(le16(Bytes(bytes, bytes + 2), 0), 0x1005);
  EXPECT_EQ(Bytes(bytes + 2, bytes + 16), sim::scanHeader(wordsOf(sp)));
  EXPECT_EQ(Bytes(bytes + 16, bytes + 16 + imageBytes), expectedImage(scanner, 5, 8));
  // Without the header: the image alone, no progress with a block size of 0.
  std::vector<std::uint16_t> image(imageBytes / 2);
  Progress none;
  ASSERT_EQ(driver->ScanAndReadFilmWithoutHeader(sp, {{0, 0}}, image.data(), imageBytes, true, true, 0,
                                                 &Progress::callback, &none),
            R(0, 0));
  EXPECT_TRUE(none.get().empty());
  const auto* raw = reinterpret_cast<const std::uint8_t*>(image.data());
  EXPECT_EQ(Bytes(raw, raw + imageBytes), expectedImage(scanner, 128, 8));
}

// A scan larger than any one request, in progress blocks that end inside packets.
TEST_P(Scans, ALargeScanArrivesByteExact) {
  plugAndOpen();
  const ScanParameters sp = scanParameters(3001, 3000);
  const std::int32_t imageBytes = 3001 * 3000 * 2;  // 18 MB
  const std::int32_t blockBytes = 3001 * 2 * 100;   // 100 lines: not a whole number of packets
  std::vector<std::uint16_t> image(imageBytes / 2);
  Progress progress;
  ASSERT_EQ(driver->ScanAndReadFilmWithoutHeader(sp, {{0, 0}}, image.data(), imageBytes, false, true, blockBytes,
                                                 &Progress::callback, &progress),
            R(0, 0));
  EXPECT_EQ(progress.get(), oneTo(30));
  const auto* raw = reinterpret_cast<const std::uint8_t*>(image.data());
  EXPECT_TRUE(Bytes(raw, raw + imageBytes) == expectedImage(scanner, 128, 3000));
}

TEST_F(OnSimulator, StorageKeepsWhatTheDriverWrote) {
  plugAndOpen();
  std::vector<std::uint16_t> lut(1001);
  for (std::size_t i = 0; i < lut.size(); ++i) lut[i] = std::uint16_t(4095 - i);
  ASSERT_EQ(driver->SetScanLut(lut.data(), 2002), R(0, 0));
  const auto* raw = reinterpret_cast<const std::uint8_t*>(lut.data());
  EXPECT_EQ(scanner.stored(16), Bytes(raw, raw + 2002));
  std::vector<std::uint16_t> back(4096, 0xEEEE);
  std::int32_t received = 0;
  ASSERT_EQ(driver->ReadScanLut(back.data(), 8192, received), R(0, 0));
  EXPECT_EQ(received, 2002);
  EXPECT_TRUE(std::equal(lut.begin(), lut.end(), back.begin()));
  EXPECT_EQ(back[1001], 0xEEEE);
  // The log file comes as the device wrote it, 0x1A included.
  std::vector<std::uint16_t> log(2048);
  ASSERT_EQ(driver->ReadLogFile(log.data(), 4096, received), R(0, 0));
  ASSERT_GT(received, 0);
  const auto* text = reinterpret_cast<const char*>(log.data());
  const Bytes expected = scanner.stored(25);
  ASSERT_EQ(std::size_t(received), std::min<std::size_t>(expected.size(), 4096));
  EXPECT_TRUE(std::equal(text, text + received, expected.begin()));
  EXPECT_NE(std::string(text, std::size_t(received)).find('\x1a'), std::string::npos);
}

TEST_F(OnSimulator, OnlyVariableRawReadsAcceptAShorterReply) {
  plugAndOpen();
  std::vector<std::uint16_t> program(50, 0x4242);
  ASSERT_EQ(driver->SetScanProgram(program.data(), 100), R(0, 0));
  std::vector<std::uint16_t> buffer(256);
  std::int32_t received = -1;
  // The program read answers with what is kept, 100 bytes of the 400 asked.
  EXPECT_EQ(driver->OperateScanner(21, buffer.data(), 400, 5, received, RAW_READ_VARIABLE, true), R(0, 0));
  EXPECT_EQ(received, 100);
  EXPECT_EQ(buffer[49], 0x4242);
  EXPECT_EQ(buffer[50], 0);
  const std::size_t at = mark();
  EXPECT_EQ(driver->OperateScanner(21, buffer.data(), 400, 5, received, RAW_READ, true), R(523, 4));
  EXPECT_EQ(requestsSince(at), (std::vector<int>{1506, 13}));
}

TEST_F(OnSimulator, LoadFilmReportsTheFilmsSizeAndCode) {
  plugAndOpen();
  scanner.setFeeder({sim::Film{7}, sim::Film{3}});
  FILM_SIZE_CODE code = FILM_SIZE_NONE;
  ScanSize size{};
  ASSERT_EQ(driver->LoadFilm({{1, 0}}, code, size), R(0, 0));
  EXPECT_EQ(code, 7);
  FilmStatus status{};
  ASSERT_EQ(driver->ReadFilmStatus(status), R(0, 0));
  EXPECT_EQ(size.words[0], status.words[3]);
  EXPECT_EQ(size.words[1], status.words[4]);
  EXPECT_NE(size.words[0], 0);
}

TEST_F(OnSimulator, MoveFilmCompletesWithOrWithoutAPauseBetweenEdges) {
  plugAndOpen();
  for (std::uint32_t moveMs : {0u, 50u}) {
    sim::Timing timing;
    timing.moveMs = moveMs;
    scanner.setTiming(timing);
    EXPECT_EQ(driver->MoveFilm(1), R(0, 0)) << moveMs;
  }
}

// One injected fault each: the result, and the recovery requests the scanner saw.
struct FaultCase {
  const char* name;
  std::function<void(sim::Scanner&)> inject;
  std::function<OperationResult(Pravik&)> call;
  OperationResult expected;
  std::vector<int> requests;  // vendor requests during the call (1506: stall check of bulk-IN)
  int clearHalts;
};

const std::vector<FaultCase>& faultCases() {
  using K = sim::Fault::Kind;
  static const auto filmStatus = [](Pravik& d) {
    FilmStatus s{};
    return d.ReadFilmStatus(s);
  };
  static const auto calibrate = [](Pravik& d) { return d.Calibrate({{0, 0}}); };
  static const auto setParameters = [](Pravik& d) { return d.SetScanParameters(scanParameters()); };
  static const std::vector<FaultCase> table = {
      {"device code in the status", [](sim::Scanner& s) { s.arm({K::StatusError, 6, 0x3001}); }, filmStatus, R(0x3001, 3), {}, 0},
      {"device code on a write", [](sim::Scanner& s) { s.arm({K::StatusError, 2, 0x1001}); }, setParameters, R(0x1001, 3), {}, 0},
      {"bad echo", [](sim::Scanner& s) { s.arm({K::BadEcho, 6, 0, 100}); }, filmStatus, R(525, 4), {}, 0},
      {"short read", [](sim::Scanner& s) { s.arm({K::ShortData, 6, 0, 10}); }, filmStatus, R(523, 4), {1506, 13}, 0},
      // Ten more bytes in the reply's one packet overflow the read, as on a real bus.
      {"long data", [](sim::Scanner& s) { s.arm({K::LongData, 6, 0, 10}); }, filmStatus, R(522, 4), {1506, 13}, 0},
      {"overflowing data", [](sim::Scanner& s) { s.arm({K::Overflow, 6}); }, filmStatus, R(522, 4), {1506, 13}, 0},
      {"stall and error interrupt", [](sim::Scanner& s) { s.arm({K::Stall, 6, 0x4121}); }, filmStatus, R(0x4121, 2), {1506}, 2},
      {"stall alone", [](sim::Scanner& s) { s.arm({K::Stall, 6}); }, filmStatus, R(525, 4), {1506}, 2},
      {"stall of the write pipe", [](sim::Scanner& s) { s.arm({K::Stall, 2}); }, setParameters, R(525, 4), {1502}, 2},
      {"silence", [](sim::Scanner& s) { s.arm({K::Silence, 6}); }, filmStatus, R(522, 4), {1506, 13}, 0},
      {"missing completion", [](sim::Scanner& s) { s.arm({K::MissingCompletion, 4}); }, calibrate, R(524, 4), {13}, 0},
      {"error interrupt during the wait", [](sim::Scanner& s) { s.arm({K::ErrorInterrupt, 4, 0x4111}); }, calibrate, R(0x4111, 2), {}, 0},
      // Unrecoverable: the driver closes the scanner, without the closing request.
      {"stall that cannot be cleared", [](sim::Scanner& s) { s.arm({K::StallUnclearable, 6}); }, filmStatus, R(260, 1), {1506}, 1},
      {"host error refused", [](sim::Scanner& s) {
         s.arm({K::Silence, 6});
         s.arm({K::HostErrorFails, 0, 0, 0, -1});
       }, filmStatus, R(259, 1), {1506, 13}, 0},
      {"unplugged during the data", [](sim::Scanner& s) { s.arm({K::UnplugDuringCommand, 6, 0, 10}); }, filmStatus, R(259, 1), {}, 0},
  };
  return table;
}

class Faults : public OnSimulator, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(Faults, GiveTheirResultsAndRecoveries) {
  const FaultCase& c = faultCases()[GetParam()];
  plugAndOpen();
  driver->SetCommandTimeouts(timeouts(1));
  const std::size_t at = mark();
  c.inject(scanner);
  EXPECT_EQ(c.call(*driver), c.expected) << logText();
  EXPECT_EQ(requestsSince(at), c.requests) << logText();
  EXPECT_EQ(int(since(at, LogEntry::Kind::ClearHalt).size()), c.clearHalts) << logText();
  if (c.expected.category == 1) {
    EXPECT_EQ(messages.count(SCANNER_DISCONNECTED), 1);
    EXPECT_EQ(driver->CloseOpenedScanner(), R(518, 4)) << "already closed";
  } else {
    // The scanner is back in step: the next command works.
    scanner.clearFaults();
    FilmStatus s{};
    EXPECT_EQ(driver->ReadFilmStatus(s), R(0, 0)) << logText();
    EXPECT_EQ(messages.count(SCANNER_DISCONNECTED), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Injected, Faults, ::testing::Range<std::size_t>(0, faultCases().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                           std::string name;
                           bool upper = true;
                           for (const char* p = faultCases()[info.param].name; *p; ++p) {
                             if (std::isalnum(static_cast<unsigned char>(*p))) {
                               name += upper ? char(std::toupper(static_cast<unsigned char>(*p))) : *p;
                               upper = false;
                             } else {
                               upper = true;
                             }
                           }
                           return name;
                         });

TEST_F(OnSimulator, ADeadInterruptPipeEndsTheWaitingCommand) {
  plugAndOpen();
  sim::Timing timing;
  timing.calibrationMs = 3000;
  scanner.setTiming(timing);
  std::thread killer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    scanner.arm({sim::Fault::Kind::DeadInterrupt, 0, 0, 0, -1});
  });
  const std::size_t at = mark();
  EXPECT_EQ(driver->Calibrate({{0, 0}}), R(257, 1));
  killer.join();
  EXPECT_TRUE(awaitMessage(SCANNER_DISCONNECTED));
  // Host errors from the interrupt thread and from the waiting command; no closing request.
  const auto requests = requestsSince(at);
  EXPECT_FALSE(requests.empty());
  for (int r : requests) EXPECT_EQ(r, 13) << logText();
  EXPECT_EQ(driver->CloseOpenedScanner(), R(518, 4));
}

TEST_F(OnSimulator, AFailedInterruptReadIsReportedAndTheScannerKept) {
  plugAndOpen();
  const std::size_t at = mark();
  scanner.arm({sim::Fault::Kind::DeadInterrupt, 0, 0, 0, 1});
  ASSERT_TRUE(awaitMessage(EVENT_SYSTEM_FAILED));
  // The driver asked for the sense data before it told the client.
  const auto commands = commandsSince(at);
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands[0].word, 0x0123);
  EXPECT_EQ(messages.count(SCANNER_DISCONNECTED), 0);
  FilmStatus s{};
  EXPECT_EQ(driver->ReadFilmStatus(s), R(0, 0));
}

TEST_F(OnSimulator, AnInterruptFailureThatCannotBeSignalledClosesTheScanner) {
  plugAndOpen();
  scanner.arm({sim::Fault::Kind::HostErrorFails, 0, 0, 0, -1});
  scanner.arm({sim::Fault::Kind::DeadInterrupt, 0, 0, 0, 1});
  ASSERT_TRUE(awaitMessage(SCANNER_DISCONNECTED));
  EXPECT_EQ(messages.count(EVENT_SYSTEM_FAILED), 0);
  EXPECT_EQ(messages.count(EVENT_SYSTEM_FAILED_DEVICE_CLOSED), 0) << "the client gets 9 instead";
  EXPECT_EQ(driver->CloseOpenedScanner(), R(518, 4));
}

TEST_F(OnSimulator, AFirstInterruptReadThatFailsDoesNotHoldUpTheOpen) {
  plug(sim::filmDigitizer());
  scanner.arm({sim::Fault::Kind::DeadInterrupt, 0, 0, 0, 1});
  EXPECT_EQ(open(), R(0, 0));
  EXPECT_EQ(messages.count(EVENT_SYSTEM_FAILED), 1);
  EXPECT_EQ(messages.count(SCANNER_READY), 1);
}

TEST_F(OnSimulator, AFailureLeavesATimeStampedTraceLine) {
  plugAndOpen();
  testing::internal::CaptureStderr();
  EXPECT_EQ(driver->SetScanLut(nullptr, 8), R(513, 4));
  const std::string refused = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(std::regex_match(refused, std::regex("[0-9]+/[0-9]+/[0-9]{4} [0-9]+:[0-9]+:[0-9]+ "
                                                   "ERROR: Pravik: Pravik::SetScanLut - Parameter error\\.\n")))
      << refused;
  driver->SetCommandTimeouts(timeouts(1));
  scanner.arm({sim::Fault::Kind::Silence, 6});
  testing::internal::CaptureStderr();
  FilmStatus status{};
  EXPECT_EQ(driver->ReadFilmStatus(status), R(522, 4));
  const std::string lost = testing::internal::GetCapturedStderr();
  EXPECT_NE(lost.find("ERROR: UsbScanner: UsbScanner::ReadScanner - "), std::string::npos) << lost;
  EXPECT_NE(lost.find("ERROR: UsbScanner: UsbScanner::SendHostError - Host error\n"), std::string::npos) << lost;
}

TEST_F(OnSimulator, AScannerThatNeverGetsReadyIsGivenUp) {
  plug(sim::filmDigitizer());
  scanner.arm({sim::Fault::Kind::NotReady});
  platform::clock::FakeSource clock;  // the ten seconds of polling for ready pass at once
  platform::clock::ScopedSource scoped(clock);
  EXPECT_EQ(open(), R(524, 4));
  EXPECT_TRUE(scanner.log(LogEntry::Kind::Command).empty());
  // Closed again, and before ready nothing is sent.
  ScanParameters sp = scanParameters();
  EXPECT_EQ(driver->SetScanParameters(sp), R(519, 4));
  FilmStatus status{};
  EXPECT_EQ(driver->ReadFilmStatus(status), R(519, 4));
  EXPECT_EQ(driver->CloseOpenedScanner(), R(518, 4));
  EXPECT_TRUE(scanner.log(LogEntry::Kind::Command).empty());
  EXPECT_EQ(messages.withoutInterrupts(), (std::vector<int>{3}));
}

TEST_F(OnSimulator, APendingErrorIsResetDuringTheOpen) {
  plug(sim::filmDigitizer());
  scanner.raiseError(0x4002, "SUPPLY SW");
  ASSERT_EQ(open(), R(0, 0));
  EXPECT_EQ(scanner.errorCode(), 0);
  const auto commands = scanner.log(LogEntry::Kind::Command);
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands[0].word, 0x0009);
  EXPECT_EQ(le16(commands[0].bytes, 8), 0x4002);
}

TEST_F(OnSimulator, ResetScannerChoosesByTheSense) {
  plugAndOpen();
  std::size_t at = mark();
  ASSERT_EQ(driver->ResetScanner(), R(0, 0));
  auto sent = commandsSince(at);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].word, 0x0123);
  EXPECT_EQ(sent[1].word, 0x0007);
  scanner.raiseError(0x40F6, "JAM");
  awaitStatus(sim::bits::kError, true);
  at = mark();
  ASSERT_EQ(driver->ResetScanner(), R(0, 0)) << logText();
  sent = commandsSince(at);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1].word, 0x0009);
  EXPECT_EQ(le16(sent[1].bytes, 8), 0x40F6);
}

TEST_F(OnSimulator, SenseDecodesTheReply) {
  plugAndOpen();
  scanner.raiseError(0x4003, "TWO FILMS");
  awaitStatus(sim::bits::kError, true);
  SenseInfo sense;
  ASSERT_EQ(driver->RequestSense(sense), R(0, 0));
  EXPECT_TRUE(sense.scannerError);
  EXPECT_TRUE(sense.digitizerReady);
  EXPECT_TRUE(sense.digitizerInitialized);
  EXPECT_EQ(sense.errorCode, 0x4003u);
  EXPECT_EQ(sense.errorText, "TWO FILMS");
  std::lock_guard<std::mutex> lock(messages.mutex);
  const InterruptInfo& last = messages.interrupts.back();
  EXPECT_TRUE(last.scannerError);
  EXPECT_EQ(last.errorCode, 0x4003);
  EXPECT_EQ(last.errorText, "TWO FILMS");
}

TEST_F(OnSimulator, TheEnvironmentSelectsTheSimulatedBus) {
  Messages seen;  // outlives the drivers that call it
  ::setenv("NDT_USB", "sim:cr", 1);
  Pravik fromEnvironment;
  ::unsetenv("NDT_USB");
  ASSERT_EQ(fromEnvironment.OpenAndInitializeScanner(&Messages::callback, &seen), R(0, 0));
  EXPECT_EQ(seen.descriptor[10], 19);
  // Another backend's name gives no port at all; the real bus has no scanner here.
  ::setenv("NDT_USB", "usb3000", 1);
  Pravik unknown;
  ::unsetenv("NDT_USB");
  EXPECT_EQ(unknown.OpenAndInitializeScanner(&Messages::callback, &seen), R(516, 4));
}

}  // namespace
