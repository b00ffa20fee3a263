// Scans: the three forms, CR plates in blocks, and the test radiograph itself.
#include <gtest/gtest.h>

#include <chrono>
#include <numeric>
#include <thread>

#include "host.h"
#include "simulator/radiograph.h"
#include "simulator/sim.h"

namespace {

using namespace simtest;
namespace bits = sim::bits;

std::vector<std::uint16_t> parameters(std::uint16_t pitch, std::uint16_t x0, std::uint16_t y0,
                                      std::uint16_t width, std::uint16_t lines,
                                      std::uint16_t format, std::uint16_t blocks = 1) {
  return {pitch, x0, y0, width, lines, format, 356, 432, blocks, 3, 1, 0x0028, 0, 0, 0};
}

Bytes toBytes(const std::vector<std::uint16_t>& w) {
  Bytes b;
  for (auto v : w) {
    b.push_back(std::uint8_t(v));
    b.push_back(std::uint8_t(v >> 8));
  }
  return b;
}

// Reads `total` bytes in pieces of `piece`, as a driver reading block by block.
Bytes readAll(Host& host, std::size_t total, std::size_t piece) {
  Bytes all;
  while (all.size() < total) {
    Reply r = host.read(std::min(piece, total - all.size()));
    EXPECT_EQ(r.status, Status::Ok);
    if (r.data.empty()) break;
    all.insert(all.end(), r.data.begin(), r.data.end());
  }
  return all;
}

class Scan : public ::testing::Test {
 protected:
  sim::Bus bus;
  sim::Scanner scanner = bus.plug(sim::filmDigitizer());
  Host host{bus, scanner};
  void SetUp() override { host.initialise(); }
  void set(const std::vector<std::uint16_t>& p) { ASSERT_EQ(host.send(2, toBytes(p)).code, 0); }
};

TEST_F(Scan, WithHeaderIsExactToTheByte) {
  scanner.setImageSeed(7);
  auto p = parameters(200, 10, 20, 301, 205, 0x0C0C);
  set(p);
  const std::uint32_t image = 301 * 205 * 2;
  ASSERT_EQ(host.write(commandBlock(0x105, image + 16)), Status::Ok);
  Bytes data = readAll(host, image + 16, 4096);
  ASSERT_EQ(data.size(), image + 16);
  StatusBlock st = host.status();
  EXPECT_EQ(st.echo, 0x2105);
  EXPECT_EQ(st.code, 0);
  EXPECT_EQ(le16(data, 0), 0x1005);
  EXPECT_EQ(Bytes(data.begin() + 2, data.begin() + 16), sim::scanHeader(p));
  EXPECT_EQ(le16(data, 2), 301);
  EXPECT_EQ(le16(data, 4), 205);
  auto expected = sim::radiograph(sim::scanImageSpec(p, 5, 0, 205, 7));
  EXPECT_EQ(Bytes(data.begin() + 16, data.end()), expected);
  // 12 significant bits.
  for (std::size_t i = 16; i < data.size(); i += 2) ASSERT_LT(le16(data, i), 4096) << i;
}

TEST_F(Scan, WithoutHeaderEightBitsAreOneBytePerSample) {
  auto p = parameters(100, 0, 0, 250, 64, 0x0808);
  set(p);
  StatusBlock st;
  Reply r = host.ask(128, 250 * 64, &st);
  EXPECT_EQ(st.code, 0);
  auto spec = sim::scanImageSpec(p, 128, 0, 64, 0);
  EXPECT_EQ(spec.bytesPerSample, 1);
  EXPECT_EQ(r.data, sim::radiograph(spec));
  // A length that does not match the parameters is refused.
  r = host.ask(128, 250 * 64 * 2, &st);
  EXPECT_EQ(st.code, sim::protocol::kBadDataSize);
  EXPECT_EQ(r.data, Bytes(250 * 64 * 2, 0));
}

// Odd block sizes with a 512-byte packet size: the blocks arrive byte-exact.
TEST_F(Scan, BlocksAfterAHostHeader) {
  auto p = parameters(100, 0, 300, 1001, 8, 0x1010);
  set(p);
  const std::uint32_t block = 1001 * 8 * 2;
  Bytes command = commandBlock(0x181, block * 2);
  Bytes header = words({1001, 8, 0x1010, 2, 0, 0, 0});
  command.insert(command.end(), header.begin(), header.end());
  ASSERT_EQ(host.write(command), Status::Ok);
  Bytes data = readAll(host, block * 2, 16384);
  StatusBlock st = host.status();
  EXPECT_EQ(st.echo, 0x2181);
  EXPECT_EQ(st.code, 0);
  EXPECT_EQ(data, sim::radiograph(sim::scanImageSpec(p, 129, 0, 16, 0)));
  // The log keeps block and host header.
  auto commands = scanner.log(sim::LogEntry::Kind::Command);
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(Bytes(commands.back().bytes.begin() + 6, commands.back().bytes.end()), header);

  // The header split from the block, and a header that does not match the parameters.
  ASSERT_EQ(host.write(commandBlock(0x181, block * 2)), Status::Ok);
  Bytes bad = words({1000, 8, 0x1010, 2, 0, 0, 0});
  ASSERT_EQ(host.write(bad), Status::Ok);
  Bytes zeros = readAll(host, block * 2, 65536);
  EXPECT_EQ(zeros, Bytes(block * 2, 0));
  EXPECT_EQ(host.status().code, sim::protocol::kUnknownDataParameter);
}

TEST_F(Scan, ShortReadStopsAtTheTransferEnd) {
  // A reply shorter than asked ends with a short packet: the read returns it.
  scanner.setStored(16, Bytes(510, 1));  // 512 bytes with the prefix: a whole packet
  Reply r;
  ASSERT_EQ(host.write(commandBlock(0x111, 8194)), Status::Ok);
  r = host.read(8194);
  EXPECT_EQ(r.status, Status::Ok);
  EXPECT_EQ(r.data.size(), 512u);
  EXPECT_EQ(host.status().code, 0);
}

class Plate : public ::testing::Test {
 protected:
  sim::Bus bus;
  sim::Scanner scanner = bus.plug(sim::crReader());
  Host host{bus, scanner};
  void SetUp() override { host.initialise(); }
  std::uint16_t condition() { return le16(host.ask(36, 32).data, 2 + 24); }
  Bytes block(std::uint32_t bytes) {
    StatusBlock st;
    Reply r = host.ask(128, bytes, &st);
    EXPECT_EQ(st.code, 0);
    return r.data;
  }
};

TEST_F(Plate, BlocksContinueDownThePlate) {
  auto p = parameters(100, 0, 0, 400, 50, 0x1010, 3);
  ASSERT_EQ(host.send(2, toBytes(p)).code, 0);
  EXPECT_EQ(condition(), 1);
  Bytes all;
  for (int i = 0; i < 3; ++i) {
    Bytes b = block(400 * 50 * 2);
    all.insert(all.end(), b.begin(), b.end());
    EXPECT_EQ(condition(), i < 2 ? 6 : 1) << "block " << i;
  }
  // Photometric word 3: 14 bits, whatever depth the host asked for.
  const auto kept = scanner.scanParameters();
  EXPECT_EQ(kept[5], 0x100E);
  EXPECT_EQ(all, sim::radiograph(sim::plateImageSpec(kept, 128, 0, 150, 0)));
  // The next plate starts at the top again.
  EXPECT_EQ(block(400 * 50 * 2), sim::radiograph(sim::plateImageSpec(kept, 128, 0, 50, 0)));
}

// The photometric word sets the output depth, and for 1, 3 and 4 the reader
// sends every sample inverted within that depth.
TEST_F(Plate, PhotometricWordSetsTheOutputDepthAndTheInversion) {
  struct Case {
    std::uint16_t format, word, kept, ceiling;
    bool inverted;
  } cases[] = {{0x1010, 0, 0x100C, 4095, false},  {0x1010, 1, 0x100C, 4095, true},
               {0x100C, 2, 0x100E, 16383, false}, {0x1010, 3, 0x100E, 16383, true},
               {0x100C, 4, 0x1010, 65535, true},  {0x100C, 5, 0x1010, 65535, false},
               {0x100C, 9, 0x1010, 65535, false}, {0x0E10, 4, 0x0E10, 16383, true},
               {0x0E0C, 1, 0x0E0C, 4095, true}};
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << k.format << " word " << k.word);
    auto p = parameters(1000, 0, 0, 260, 40, k.format);
    p[9] = k.word;
    ASSERT_EQ(host.send(2, toBytes(p)).code, 0);
    EXPECT_EQ(le16(host.ask(36, 32).data, 2 + 10), k.kept) << "the depth read back";
    Bytes b = block(260 * 40 * 2);
    std::uint16_t top = 0;
    for (std::size_t i = 0; i + 1 < b.size(); i += 2) top = std::max(top, le16(b, i));
    EXPECT_LE(top, k.ceiling);
    EXPECT_GT(top, k.ceiling / 2) << "the samples use the depth's range";

    // Against the radiograph as the film digitizer would send it at this depth.
    const Bytes plain = sim::radiograph(sim::scanImageSpec(scanner.scanParameters(), 128, 0, 40, 0));
    ASSERT_EQ(plain.size(), b.size());
    std::size_t wrong = 0;
    for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
      const std::uint16_t v = le16(plain, i);
      wrong += le16(b, i) != (k.inverted ? k.ceiling - v : v);
    }
    EXPECT_EQ(wrong, 0u) << "of " << b.size() / 2 << " samples";
  }
}

TEST(CrReader, StartsWithItsSensorInSixteenBitWords) {
  sim::Bus bus;
  sim::Scanner reader = bus.plug(sim::crReader());
  const auto p = reader.scanParameters();
  EXPECT_EQ(p[5], 0x0E10);
  EXPECT_EQ(p[9], 4);
  EXPECT_EQ(sim::scanImageSpec(p, 128, 0, 1, 0).bits, 14);
}

TEST_F(Plate, EndsEarlyAfterKBlocks) {
  scanner.endPlateAfter(2);
  ASSERT_EQ(host.send(2, toBytes(parameters(100, 0, 0, 100, 10, 0x1010, 10))).code, 0);
  block(2000);
  EXPECT_TRUE(condition() & 4);
  block(2000);
  EXPECT_FALSE(condition() & 4) << "the plate ended: bit 2 clear";
}

TEST_F(Plate, CancelEndsThePlate) {
  sim::Timing t;
  t.erasePhaseMs = 250;
  scanner.setTiming(t);
  ASSERT_EQ(host.send(2, toBytes(parameters(100, 0, 0, 100, 10, 0x1010, 10))).code, 0);
  block(2000);
  EXPECT_EQ(condition(), 6);
  EXPECT_EQ(host.send(39, words({1})).code, 0);
  EXPECT_EQ(condition(), 8) << "erasing";
  for (int i = 0; i < 400 && condition() != 1; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(condition(), 1);
}

TEST(Radiograph, FeaturesAndDeterminism) {
  sim::ImageSpec s;
  s.pitchUm = 500;
  s.width = 730;   // 365 mm
  s.height = 864;  // 432 mm
  auto sample = [&](double xMm, double yMm) {
    return sim::radiographSample(s, std::uint32_t(xMm * 1000 / s.pitchUm),
                                 std::uint32_t(yMm * 1000 / s.pitchUm));
  };
  // The step wedge rises step by step along the top.
  for (int step = 0; step + 1 < 10; ++step)
    EXPECT_LT(sample(step * 25 + 12, 20) + 2000, sample(step * 25 + 37, 20)) << step;
  // The seam is brighter than the plain film beside it, its middle line darker.
  EXPECT_GT(sample(100, 115), sample(100, 140) + 10000);
  EXPECT_LT(sample(100, 120), sample(100, 119) - 3000);
  // A wire is darker than the film between the wires.
  EXPECT_LT(sample(60, 170) + 5000, sample(64, 170));

  auto a = sim::radiograph(s);
  EXPECT_EQ(a.size(), 730u * 864 * 2);
  EXPECT_EQ(a, sim::radiograph(s));
  sim::ImageSpec seeded = s;
  seeded.seed = 1;
  EXPECT_NE(a, sim::radiograph(seeded));
  // A window of the film is the same window of the whole.
  sim::ImageSpec window = s;
  window.startX = 100;
  window.startY = 200;
  window.width = 30;
  window.height = 5;
  auto w = sim::radiograph(window);
  for (std::uint32_t r = 0; r < 5; ++r)
    for (std::uint32_t c = 0; c < 30; ++c)
      ASSERT_EQ(w[2 * (r * 30 + c)], a[2 * ((200 + r) * 730 + 100 + c)]);

  sim::ImageSpec eight = s;
  eight.bits = 8;
  eight.bytesPerSample = 1;
  auto e = sim::radiograph(eight);
  EXPECT_EQ(e.size(), 730u * 864);
  EXPECT_EQ(e[0], std::uint8_t(sim::radiographSample(s, 0, 0) >> 8));

  sim::ImageSpec bad = s;
  bad.pitchUm = 0;
  EXPECT_TRUE(sim::radiograph(bad).empty());
  sim::ImageSpec huge = s;
  huge.width = 65535;
  huge.height = 65535;
  EXPECT_EQ(sim::radiographBytes(huge), 0u) << "over the size limit";
}

TEST(RateLimit, BulkInIsThrottledWhenAsked) {
  sim::Bus bus;
  auto scanner = bus.plug(sim::filmDigitizer());
  Host host(bus, scanner);
  host.initialise();
  ASSERT_EQ(host.send(2, toBytes(parameters(100, 0, 0, 500, 100, 0x1010))).code, 0);
  scanner.setRateLimit(1'000'000);
  auto start = std::chrono::steady_clock::now();
  StatusBlock st;
  Reply r = host.ask(128, 100'000, &st);
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(r.data.size(), 100'000u);
  EXPECT_EQ(st.code, 0);
  EXPECT_GE(took, std::chrono::milliseconds(75)) << "100 kB at 1 MB/s";
  // A read whose time-out comes first gets what came in time.
  ASSERT_EQ(host.write(commandBlock(0x180, 100'000)), Status::Ok);
  Reply part = host.read(100'000, 30);
  EXPECT_EQ(part.status, Status::Timeout);
  EXPECT_GT(part.data.size(), 0u);
  EXPECT_LT(part.data.size(), 100'000u);
}

}  // namespace
