// Faults on demand and the protocol errors, as a host sees them.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "host.h"
#include "simulator/sim.h"

namespace {

using namespace simtest;
using namespace std::chrono_literals;
using Kind = sim::Fault::Kind;
namespace bits = sim::bits;

std::uint16_t wordOf(const std::array<std::uint8_t, 32>& p) {
  return std::uint16_t(p[0] | p[1] << 8);
}
std::uint16_t codeOf(const std::array<std::uint8_t, 32>& p) {
  return std::uint16_t(p[2] | p[3] << 8);
}

class Faults : public ::testing::Test {
 protected:
  sim::Bus bus;
  sim::Scanner scanner = bus.plug(sim::filmDigitizer());
  Host host{bus, scanner};
  void SetUp() override { host.initialise(); }

  Bytes haltStatus(std::uint16_t endpoint) {
    Bytes b(2, 0xEE);
    auto t = host.device().controlTransfer(0xC0, 15, 0, endpoint, b.data(), 2, 1000);
    EXPECT_EQ(t.status, Status::Ok);
    EXPECT_EQ(t.transferred, 2u);
    return b;
  }
  // The device still works after a fault was recovered from.
  void expectWorking() {
    StatusBlock st;
    Reply r = host.ask(36, 32, &st);
    EXPECT_EQ(r.data.size(), 32u);
    EXPECT_EQ(st.echo, 0x2124);
    EXPECT_EQ(st.code, 0);
  }
};

TEST_F(Faults, StatusErrorRefusesTheCommand) {
  auto before = scanner.scanParameters();
  scanner.arm({Kind::StatusError, 2, 0x1001});
  EXPECT_EQ(host.send(2, Bytes(30, 1)).code, 0x1001);
  EXPECT_EQ(scanner.scanParameters(), before);
  StatusBlock st;
  Reply r = host.ask(36, 32, &st);
  EXPECT_EQ(st.code, 0) << "armed for command 2 only, once";
  scanner.arm({Kind::StatusError, 36, 0x1004});
  r = host.ask(36, 32, &st);
  EXPECT_EQ(r.data, Bytes(32, 0)) << "a refused read still has its data phase";
  EXPECT_EQ(st.code, 0x1004);
  expectWorking();
}

TEST_F(Faults, ErrorInterruptComesInsteadOfTheCompletion) {
  scanner.arm({Kind::ErrorInterrupt, 4, 0x4112});
  EXPECT_EQ(host.send(4, words({0, 0})).code, 0);
  auto w = host.drainInterrupts();
  ASSERT_EQ(w.size(), 2u);
  EXPECT_FALSE(w[0] & bits::kCalibrationDone);
  EXPECT_TRUE(w[1] & bits::kError);
  EXPECT_FALSE(w[1] & bits::kCalibrationDone);
  EXPECT_EQ(scanner.errorCode(), 0x4112);
  Reply sense = host.ask(35, 34);
  EXPECT_EQ(std::string(sense.data.begin() + 6, sense.data.begin() + 25), "SENSITIVITY TOO LOW");
  // Commands without a completion get the error at once.
  EXPECT_EQ(host.send(9, words({0x4112})).code, 0);
  host.drainInterrupts();
  scanner.arm({Kind::ErrorInterrupt, 2, 0x4101});
  EXPECT_EQ(host.send(2, Bytes(30, 1)).code, 0);
  EXPECT_EQ(scanner.errorCode(), 0x4101);
}

TEST_F(Faults, StallOfAReadAndItsRecovery) {
  scanner.arm({Kind::Stall, 36});
  ASSERT_EQ(host.write(commandBlock(0x124, 32)), Status::Ok);
  EXPECT_EQ(host.read(32).status, Status::Stall);
  EXPECT_EQ(haltStatus(6), (Bytes{1, 0}));
  EXPECT_EQ(haltStatus(0x86), (Bytes{1, 0}));
  EXPECT_EQ(haltStatus(2), (Bytes{0, 0}));
  EXPECT_TRUE(host.drainInterrupts().empty()) << "a stall alone sends no error";
  EXPECT_EQ(host.device().clearHalt(sim::kBulkIn), Status::Ok);
  EXPECT_EQ(host.device().clearHalt(sim::kBulkOut), Status::Ok);
  EXPECT_EQ(haltStatus(6), (Bytes{0, 0}));
  expectWorking();
  auto halts = scanner.log(sim::LogEntry::Kind::ClearHalt);
  ASSERT_EQ(halts.size(), 2u);
  EXPECT_EQ(halts[0].word, sim::kBulkIn);
  EXPECT_EQ(halts[1].word, sim::kBulkOut);
}

TEST_F(Faults, StallWithAnErrorInterrupt) {
  scanner.arm({Kind::Stall, 2, 0x4121});
  EXPECT_EQ(host.write(writeCommand(2, Bytes(30, 1))), Status::Stall);
  EXPECT_EQ(haltStatus(2), (Bytes{1, 0}));
  auto p = host.interrupt();
  ASSERT_TRUE(p);
  EXPECT_TRUE(wordOf(*p) & bits::kError);
  EXPECT_EQ(codeOf(*p), 0x4121);
  EXPECT_EQ(host.device().clearHalt(sim::kBulkOut), Status::Ok);
  EXPECT_EQ(host.write(writeCommand(2, Bytes(30, 1))), Status::Ok);
  EXPECT_EQ(host.status().code, sim::protocol::kInError);
}

TEST_F(Faults, StallThatCannotBeCleared) {
  scanner.arm({Kind::StallUnclearable, 36});
  ASSERT_EQ(host.write(commandBlock(0x124, 32)), Status::Ok);
  EXPECT_EQ(host.read(32).status, Status::Stall);
  EXPECT_EQ(host.device().clearHalt(sim::kBulkIn), Status::Error);
  EXPECT_EQ(host.read(32).status, Status::Stall);
  scanner.clearFaults();
  EXPECT_EQ(host.device().clearHalt(sim::kBulkIn), Status::Ok);
  expectWorking();
}

TEST_F(Faults, SilenceUntilTheHostGivesUp) {
  scanner.arm({Kind::Silence, 36});
  ASSERT_EQ(host.write(commandBlock(0x124, 32)), Status::Ok);
  Reply r = host.read(32, 100);
  EXPECT_EQ(r.status, Status::Timeout);
  EXPECT_TRUE(r.data.empty());
  EXPECT_EQ(haltStatus(6), (Bytes{0, 0}));
  EXPECT_EQ(host.vendor(13).status, Status::Ok);
  expectWorking();
}

TEST_F(Faults, BadEchoWithJunkAfterIt) {
  scanner.arm({Kind::BadEcho, 36, 0, 1500});
  ASSERT_EQ(host.write(commandBlock(0x124, 32)), Status::Ok);
  EXPECT_EQ(host.read(32).data.size(), 32u);
  StatusBlock st = host.status();
  EXPECT_EQ(st.status, Status::Ok);
  EXPECT_NE(st.echo, 0x2124);
  // Draining in packet-sized pieces until a read fails empties the pipe.
  std::size_t junk = 0;
  for (;;) {
    Reply j = host.read(512, 50);
    junk += j.data.size();
    if (j.status != Status::Ok) break;
  }
  EXPECT_EQ(junk, 1500u);
  expectWorking();

  // Junk without end: only the host can stop draining, and a host error clears it.
  scanner.arm({Kind::BadEcho, 36, 0, UINT32_MAX});
  ASSERT_EQ(host.write(commandBlock(0x124, 32)), Status::Ok);
  host.read(32);
  EXPECT_NE(host.status().echo, 0x2124);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(host.read(512, 50).data.size(), 512u);
  EXPECT_EQ(host.vendor(13).status, Status::Ok);
  expectWorking();
}

TEST_F(Faults, ShortLongAndOverflowingData) {
  scanner.arm({Kind::ShortData, 36, 0, 10});
  ASSERT_EQ(host.write(commandBlock(0x124, 32)), Status::Ok);
  Reply r = host.read(32);
  EXPECT_EQ(r.status, Status::Ok);
  EXPECT_EQ(r.data.size(), 22u) << "ended by a short packet";
  EXPECT_EQ(host.status().echo, 0x2124);

  // Within one packet the surplus overflows the read and is lost with its packet.
  scanner.arm({Kind::LongData, 36, 0, 8});
  ASSERT_EQ(host.write(commandBlock(0x124, 32)), Status::Ok);
  r = host.read(32);
  EXPECT_EQ(r.status, Status::Overflow);
  EXPECT_EQ(r.data.size(), 32u);
  EXPECT_EQ(host.status().echo, 0x2124);
  // Past a whole packet it comes where the status was expected.
  scanner.arm({Kind::LongData, 36, 0, 512});
  ASSERT_EQ(host.write(commandBlock(0x124, 32)), Status::Ok);
  EXPECT_EQ(host.read(512).data.size(), 512u);
  StatusBlock st = host.status();
  EXPECT_NE(st.echo, 0x2124) << "the surplus comes where the status was expected";
  while (host.read(512, 50).status == Status::Ok) {
  }

  scanner.arm({Kind::Overflow, 36});
  ASSERT_EQ(host.write(commandBlock(0x124, 32)), Status::Ok);
  r = host.read(32);
  EXPECT_EQ(r.status, Status::Overflow);
  EXPECT_EQ(r.data.size(), 32u);
  EXPECT_EQ(host.status().echo, 0x2124);
  expectWorking();
}

TEST_F(Faults, MissingCompletion) {
  scanner.arm({Kind::MissingCompletion, 8});
  EXPECT_EQ(host.send(8, words({100})).code, 0);
  auto w = host.drainInterrupts();
  ASSERT_EQ(w.size(), 1u);
  EXPECT_TRUE(w[0] & bits::kFilmMoving) << "it rose and never fell";
}

TEST_F(Faults, UnplugDuringAScan) {
  const std::uint16_t products[] = {16};
  scanner.arm({Kind::UnplugDuringCommand, 128, 0, 1000});
  ASSERT_EQ(host.write(commandBlock(0x180, 3560 * 4320 * 2)), Status::Ok);
  Reply r = host.read(65536);
  EXPECT_EQ(r.status, Status::NoDevice);
  EXPECT_EQ(r.data.size(), 1000u);
  EXPECT_TRUE(bus.list(sim::kVendorId, products).empty());
  EXPECT_FALSE(host.interrupt(100ms)) << "the interrupt reader ended too";
  EXPECT_EQ(scanner.log().back().kind, sim::LogEntry::Kind::Unplug);
}

TEST_F(Faults, DeadInterruptPipeHostErrorAndNotReady) {
  scanner.arm({Kind::HostErrorFails});
  EXPECT_EQ(host.vendor(13).status, Status::Stall);
  EXPECT_EQ(host.vendor(13).status, Status::Ok) << "once";

  scanner.arm({Kind::NotReady});
  EXPECT_EQ(host.vendor(16).status, Status::Ok);
  auto p = host.interrupt(100ms);
  ASSERT_TRUE(p) << "the ready bit's fall";
  EXPECT_FALSE(wordOf(*p) & bits::kReady);
  EXPECT_EQ(host.vendor(14).status, Status::Ok);
  EXPECT_FALSE(host.interrupt(100ms)) << "and no ready";
  EXPECT_EQ(scanner.statusWord() & bits::kReady, 0);
  host.startSession();
}

TEST(DeadInterrupt, ReadsFailForTheirCount) {
  sim::Bus bus;
  auto scanner = bus.plug(sim::filmDigitizer());
  Host host(bus, scanner, false);
  scanner.arm({Kind::DeadInterrupt, 0, 0, 0, 2});
  std::uint8_t p[32];
  EXPECT_EQ(host.device().interruptRead(sim::kInterruptIn, p, 32).status, Status::Error);
  EXPECT_EQ(host.device().interruptRead(sim::kInterruptIn, p, 32).status, Status::Error);
  scanner.raiseError(0x4001);
  EXPECT_EQ(host.device().interruptRead(sim::kInterruptIn, p, 32).status, Status::Ok);
  EXPECT_EQ(p[2] | p[3] << 8, 0x4001);
  // Fewer than 32 bytes asked: the packet overflows the read.
  scanner.raiseError(0x4002);
  auto t = host.device().interruptRead(sim::kInterruptIn, p, 16);
  EXPECT_EQ(t.status, Status::Overflow);
  EXPECT_EQ(t.transferred, 16u);
}

TEST_F(Faults, CountAndCommandFilter) {
  scanner.arm({Kind::StatusError, 35, 0x1002, 0, 2});
  StatusBlock st;
  host.ask(36, 32, &st);
  EXPECT_EQ(st.code, 0);
  for (int i = 0; i < 2; ++i) {
    host.ask(35, 34, &st);
    EXPECT_EQ(st.code, 0x1002);
  }
  host.ask(35, 34, &st);
  EXPECT_EQ(st.code, 0);
  auto fired = scanner.log(sim::LogEntry::Kind::Fault);
  EXPECT_EQ(fired.size(), 2u);

  scanner.arm({Kind::StatusError, 0, 0x1003, 0, -1});
  for (int i = 0; i < 3; ++i) EXPECT_EQ(host.send(39, words({1})).code, 0x1003);
  scanner.clearFaults();
  EXPECT_EQ(host.send(39, words({1})).code, 0);
}

// The device's protocol errors, one row per cause.
TEST_F(Faults, ProtocolErrors) {
  struct Row {
    const char* what;
    Bytes write;
    std::uint16_t echo;
    std::uint16_t code;
  };
  const std::string digits = "2026121010150X";
  Bytes badPrefix = writeCommand(2, Bytes(30, 1));
  badPrefix[6] = 0x03;
  Bytes tooMuch = writeCommand(39, words({1}));
  tooMuch.push_back(0);
  const Row rows[] = {
      {"unknown code", writeCommand(0x0B, words({1})), 0x200B, sim::protocol::kUnknownCommand},
      {"high bits in the word", commandBlock(0x0402, 0), 0x2402,
       sim::protocol::kUnknownCommandParameter},
      {"read bit on a write", commandBlock(0x0102, 32), 0x2102,
       sim::protocol::kUnknownCommandParameter},
      {"prefix", badPrefix, 0x2002, sim::protocol::kUnknownDataCode},
      {"initialise digits", writeCommand(1, Bytes(digits.begin(), digits.end())), 0x2001,
       sim::protocol::kUnknownDataParameter},
      {"zero pitch", writeCommand(2, Bytes(30, 0)), 0x2002, sim::protocol::kUnknownDataParameter},
      {"fixed length", writeCommand(39, words({1, 1})), 0x2027, sim::protocol::kBadDataSize},
      {"more data than announced", tooMuch, 0x2027, sim::protocol::kBadDataSize},
      {"short block", Bytes{0x27, 0x00, 0x04}, 0x2027, sim::protocol::kBadDataSize},
  };
  for (const Row& row : rows) {
    ASSERT_EQ(host.write(row.write), Status::Ok) << row.what;
    if (row.write.size() >= 2 && (row.write[1] & 1)) host.read(32);
    StatusBlock st = host.status();
    EXPECT_EQ(st.echo, row.echo) << row.what;
    EXPECT_EQ(st.code, row.code) << row.what;
  }
  expectWorking();
}

TEST_F(Faults, OverlapThenProtocolErrorState) {
  ASSERT_EQ(host.write(commandBlock(0x124, 32)), Status::Ok);
  // The reply is not read; the next command overlaps it.
  ASSERT_EQ(host.write(commandBlock(0x123, 34)), Status::Ok);
  EXPECT_EQ(host.read(34).data, Bytes(34, 0));
  EXPECT_EQ(host.status().code, sim::protocol::kCommandOverlap);
  StatusBlock st;
  host.ask(36, 32, &st);
  EXPECT_EQ(st.code, sim::protocol::kInProtocolError);
  EXPECT_EQ(host.vendor(13).status, Status::Ok);
  expectWorking();
}

TEST_F(Faults, ReceptionTimeOut) {
  sim::Timing t;
  t.receptionTimeoutMs = 40;
  scanner.setTiming(t);
  Bytes full = writeCommand(2, Bytes(30, 1));
  ASSERT_EQ(host.write(Bytes(full.begin(), full.begin() + 20)), Status::Ok);
  StatusBlock st = host.status(500);
  EXPECT_EQ(st.echo, 0x2002);
  EXPECT_EQ(st.code, sim::protocol::kReceptionTimeout);
  EXPECT_EQ(host.send(39, words({1})).code, sim::protocol::kInProtocolError);
  EXPECT_EQ(host.vendor(13).status, Status::Ok);
  // In time, a data phase may come in pieces.
  ASSERT_EQ(host.write(Bytes(full.begin(), full.begin() + 20)), Status::Ok);
  ASSERT_EQ(host.write(Bytes(full.begin() + 20, full.end())), Status::Ok);
  EXPECT_EQ(host.status().code, 0);
}

TEST(TransmitTimeOut, UnreadDataStatusAndPacketsBecomeDeviceErrors) {
  sim::Bus bus;
  auto scanner = bus.plug(sim::filmDigitizer());
  Host host(bus, scanner, false);
  sim::Timing t;
  t.transmitTimeoutMs = 200;
  scanner.setTiming(t);
  ASSERT_EQ(host.vendor(16).status, Status::Ok);
  ASSERT_EQ(host.vendor(14).status, Status::Ok);
  std::this_thread::sleep_for(400ms);
  // Nobody read the ready packet.
  EXPECT_EQ(scanner.errorCode(), sim::protocol::kInterruptTransmitTimeout);
  std::uint8_t p[32];
  ASSERT_EQ(host.device().controlTransfer(0x40, 14, 0, 0, nullptr, 0, 100).status, Status::Ok);
  ASSERT_EQ(host.device().interruptRead(sim::kInterruptIn, p, 32).status, Status::Ok);
  ASSERT_EQ(host.write(writeCommand(9, words({0x2008}))), Status::Ok);
  EXPECT_EQ(host.status().code, 0);
  EXPECT_EQ(scanner.errorCode(), 0);

  // The data phase left unread.
  ASSERT_EQ(host.write(commandBlock(0x124, 32)), Status::Ok);
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(host.read(32, 50).status, Status::Timeout) << "dropped";
  EXPECT_EQ(scanner.errorCode(), sim::protocol::kDataTransmitTimeout);
  ASSERT_EQ(host.write(writeCommand(9, words({0x2006}))), Status::Ok);
  EXPECT_EQ(host.status().code, 0);

  // The status left unread.
  ASSERT_EQ(host.write(commandBlock(0x124, 32)), Status::Ok);
  EXPECT_EQ(host.read(32).data.size(), 32u);
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(host.status(50).status, Status::Timeout);
  EXPECT_EQ(scanner.errorCode(), sim::protocol::kStatusTransmitTimeout);
}

}  // namespace
