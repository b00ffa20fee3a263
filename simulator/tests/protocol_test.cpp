#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "host.h"
#include "simulator/sim.h"

namespace {

using namespace simtest;
using sim::LogEntry;

class Film : public ::testing::Test {
 protected:
  sim::Bus bus;
  sim::Scanner scanner = bus.plug(sim::filmDigitizer());
  Host host{bus, scanner};
};

TEST_F(Film, SessionStartReportsReadyAndTheInitialisedBitWhenAlreadyInitialised) {
  host.initialise();
  EXPECT_TRUE(scanner.initialized());
  ASSERT_EQ(host.vendor(16).status, Status::Ok);
  auto notReady = host.interrupt();
  ASSERT_TRUE(notReady);
  EXPECT_FALSE((*notReady)[0] & 1);
  ASSERT_EQ(host.vendor(14).status, Status::Ok);
  auto p = host.interrupt();
  ASSERT_TRUE(p);
  std::uint16_t word = std::uint16_t((*p)[0] | (*p)[1] << 8);
  EXPECT_TRUE(word & sim::bits::kReady);
  EXPECT_TRUE(word & sim::bits::kInitialized);
}

TEST_F(Film, SessionStartCarriesAPendingError) {
  scanner.raiseError(0x4001, "COVER OPEN");
  ASSERT_EQ(host.vendor(16).status, Status::Ok);
  // The error's own packet may reach the host before the session start drops
  // the device's queue: the session's packet is the one after these.
  host.drainInterrupts();
  ASSERT_EQ(host.vendor(14).status, Status::Ok);
  auto p = host.interrupt();
  ASSERT_TRUE(p);
  std::uint16_t word = std::uint16_t((*p)[0] | (*p)[1] << 8);
  EXPECT_TRUE(word & sim::bits::kReady);
  EXPECT_TRUE(word & sim::bits::kError);
  EXPECT_EQ((*p)[2] | (*p)[3] << 8, 0x4001);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p->data() + 4), 10), "COVER OPEN");
  EXPECT_EQ((*p)[14], 0);
}

TEST_F(Film, ReadyComesAfterItsDelayAndNotAfterTheSessionEnded) {
  sim::Timing t;
  t.readyDelayMs = 60;
  scanner.setTiming(t);
  ASSERT_EQ(host.vendor(16).status, Status::Ok);
  ASSERT_EQ(host.vendor(14).status, Status::Ok);
  EXPECT_FALSE(host.interrupt(std::chrono::milliseconds(20))) << "not yet";
  auto p = host.interrupt();
  ASSERT_TRUE(p);
  EXPECT_TRUE((*p)[0] & 1);
  // A session that ends within the delay never reports ready.
  ASSERT_EQ(host.vendor(16).status, Status::Ok);
  ASSERT_EQ(host.vendor(14).status, Status::Ok);
  ASSERT_EQ(host.vendor(16).status, Status::Ok);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(scanner.statusWord() & sim::bits::kReady);
}

TEST_F(Film, CommandsBeforeInitialiseAreRefused) {
  host.startSession();
  auto st = host.send(2, Bytes(30, 0));
  EXPECT_EQ(st.echo, 0x2002);
  EXPECT_EQ(st.code, sim::protocol::kNotInitialized);
  // Reads of the state are allowed, and refused reads still get their data phase.

  StatusBlock s36;
  auto r = host.ask(36, 32, &s36);
  EXPECT_EQ(r.data.size(), 32u);
  EXPECT_EQ(s36.echo, 0x2124);
  EXPECT_EQ(s36.code, 0);
  StatusBlock s5;
  auto scan = host.ask(5, 100, &s5);
  EXPECT_EQ(scan.data.size(), 100u);
  EXPECT_EQ(s5.code, sim::protocol::kNotInitialized);
}

TEST_F(Film, ScanParametersAreKeptAndReadBackWithTheStateWords) {
  host.initialise();
  Bytes w = words({200, 10, 20, 1780, 2160, 0x0C0C, 356, 432, 1, 0, 0x0301, 0x0028, 77, 88, 9});
  auto st = host.send(2, w);
  EXPECT_EQ(st.echo, 0x2002);
  EXPECT_EQ(st.code, 0);
  StatusBlock rs;
  auto r = host.ask(36, 32, &rs);
  ASSERT_EQ(r.data.size(), 32u);
  EXPECT_EQ(rs.echo, 0x2124);
  EXPECT_EQ(le16(r.data, 0), 0x1024) << "the device's prefix";
  for (int i = 0; i < 15; ++i) {
    std::uint16_t expected = le16(w, 2 * i);
    if (i == 12) expected = 0;  // no film loaded: size code 0
    if (i == 13) expected = 0;  // and no film width
    EXPECT_EQ(le16(r.data, 2 + 2 * i), expected) << "word " << i;
  }
}

TEST_F(Film, TheLogShowsBlockPrefixAndStatus) {
  host.initialise();
  scanner.clearLog();
  host.send(2, words({100, 0, 0, 100, 100, 0x1010, 10, 10, 0, 0, 0, 0, 0, 0, 0}));
  auto commands = scanner.log(LogEntry::Kind::Command);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].word, 0x0002);
  EXPECT_EQ(commands[0].length, 32u);
  Bytes head(commands[0].bytes.begin(), commands[0].bytes.begin() + 10);
  EXPECT_EQ(head, (Bytes{0x02, 0x00, 0x20, 0x00, 0x00, 0x00, 0x02, 0x10, 100, 0}));
  auto statuses = scanner.log(LogEntry::Kind::Status);
  ASSERT_EQ(statuses.size(), 1u);
  EXPECT_EQ(statuses[0].word, 0x2002);
  EXPECT_EQ(statuses[0].code, 0);
  EXPECT_LE(commands[0].timeUs, statuses[0].timeUs);
}

}  // namespace
