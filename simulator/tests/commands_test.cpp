// Every command of the table, from the device side.
#include <gtest/gtest.h>

#include <thread>

#include "host.h"
#include "simulator/sim.h"

namespace {

using namespace simtest;
namespace bits = sim::bits;

std::uint16_t wordOf(const std::array<std::uint8_t, 32>& p) {
  return std::uint16_t(p[0] | p[1] << 8);
}

class Commands : public ::testing::TestWithParam<sim::Personality> {
 protected:
  sim::Bus bus;
  sim::Scanner scanner =
      bus.plug(GetParam() == sim::Personality::Film ? sim::filmDigitizer() : sim::crReader());
  Host host{bus, scanner};
  void SetUp() override { host.initialise(); }
};

// Fixed-length reads give exactly their length, prefixed with code | 0x1000.
TEST_P(Commands, FixedLengthReadsAndTheirPrefix) {
  struct Row {
    std::uint16_t code;
    std::uint32_t length;
  };
  for (Row r : {Row{6, 48}, Row{19, 32}, Row{34, 48}, Row{35, 34}, Row{36, 32}}) {
    StatusBlock st;
    Reply reply = host.ask(r.code, r.length, &st);
    EXPECT_EQ(reply.status, Status::Ok) << r.code;
    ASSERT_EQ(reply.data.size(), r.length) << r.code;
    EXPECT_EQ(le16(reply.data, 0), r.code | 0x1000) << r.code;
    EXPECT_EQ(st.echo, r.code | 0x2100) << r.code;
    EXPECT_EQ(st.code, 0) << r.code;
    // The wrong length is refused with the size error, after a data phase of that length.
    Reply wrong = host.ask(r.code, r.length + 2, &st);
    EXPECT_EQ(wrong.data.size(), r.length + 2);
    EXPECT_EQ(st.code, sim::protocol::kBadDataSize) << r.code;
  }
}

TEST_P(Commands, StorageKeepsWhatWasWritten) {
  // write code, read code
  for (std::uint16_t code : {16, 20, 22, 32}) {
    Bytes data;
    for (int i = 0; i < 1001; ++i) data.push_back(std::uint8_t(i * 13 + code));
    auto st = host.send(code, data);
    EXPECT_EQ(st.code, 0) << code;
    EXPECT_EQ(scanner.stored(code), data);
    // Asking for more gives what is kept: a shorter reply ended by a short packet.
    StatusBlock rs;
    Reply r = host.ask(code + 1, 4002, &rs);
    ASSERT_EQ(r.data.size(), 1003u) << code;
    EXPECT_EQ(le16(r.data, 0), (code + 1) | 0x1000);
    EXPECT_EQ(Bytes(r.data.begin() + 2, r.data.end()), data);
    EXPECT_EQ(rs.code, 0);
    // Asking for less gives that much.
    r = host.ask(code + 1, 12, &rs);
    ASSERT_EQ(r.data.size(), 12u);
    EXPECT_EQ(Bytes(r.data.begin() + 2, r.data.end()), Bytes(data.begin(), data.begin() + 10));
  }
  Bytes program(300, 0x42);
  EXPECT_EQ(host.send(24, program).code, 0);
  EXPECT_EQ(scanner.stored(24), program);

  Bytes maintenance = words({1, 2, 3, 4, 5, 6, 7, 8, 0x1304, 10, 9999, 12, 13, 14, 15});
  EXPECT_EQ(host.send(18, maintenance).code, 0);
  Reply m = host.ask(19, 32);
  EXPECT_EQ(Bytes(m.data.begin() + 2, m.data.end()), maintenance);
}

TEST_P(Commands, LogFileKeepsTheEndOfFileByte) {
  Reply r = host.ask(25, 4096);
  ASSERT_GT(r.data.size(), 2u);
  std::string text(r.data.begin() + 2, r.data.end());
  auto eof = text.find('\x1a');
  ASSERT_NE(eof, std::string::npos);
  EXPECT_NE(text.find("INITIALIZE 20261210101500", eof), std::string::npos)
      << "text goes on after the 0x1A byte";
}

TEST_P(Commands, SenseAndDiagnose) {
  scanner.raiseError(0x4003, "TWO FILMS");
  host.drainInterrupts();
  Reply s = host.ask(35, 34);
  ASSERT_EQ(s.data.size(), 34u);
  std::uint16_t word = le16(s.data, 2);
  EXPECT_TRUE(word & bits::kError);
  EXPECT_TRUE(word & bits::kReady);
  EXPECT_TRUE(word & bits::kInitialized);
  EXPECT_EQ(le16(s.data, 4), 0x4003);
  EXPECT_EQ(std::string(s.data.begin() + 6, s.data.begin() + 15), "TWO FILMS");
  EXPECT_EQ(s.data[15], 0);
  Reply d = host.ask(34, 48);
  EXPECT_EQ(le16(d.data, 2), 0) << "all checks passed";
  EXPECT_EQ(le16(d.data, 4), scanner.config().serialNumber);
}

TEST_P(Commands, ResetErrorClearsTheErrorWithAFallingEdge) {
  scanner.raiseError(0x4001);
  auto raised = host.interrupt();
  ASSERT_TRUE(raised);
  EXPECT_TRUE(wordOf(*raised) & bits::kError);
  EXPECT_EQ((*raised)[2] | (*raised)[3] << 8, 0x4001);
  // While in error, commands that change the state are refused.
  EXPECT_EQ(host.send(4, words({0, 0})).code, sim::protocol::kInError);
  EXPECT_EQ(host.send(9, words({0x4001})).code, 0);
  auto cleared = host.interrupt();
  ASSERT_TRUE(cleared);
  EXPECT_FALSE(wordOf(*cleared) & bits::kError);
  EXPECT_EQ(scanner.errorCode(), 0);
  EXPECT_EQ(host.send(4, words({0, 0})).code, 0);
}

TEST_P(Commands, CalibrationFallsAndRises) {
  EXPECT_EQ(host.send(4, words({0, 0})).code, 0);
  auto words = host.drainInterrupts();
  ASSERT_EQ(words.size(), 2u);
  EXPECT_FALSE(words[0] & bits::kCalibrationDone);
  EXPECT_TRUE(words[1] & bits::kCalibrationDone);
  // A second calibration again shows the bit clear before it is done.
  EXPECT_EQ(host.send(4, simtest::words({0, 0})).code, 0);
  words = host.drainInterrupts();
  ASSERT_EQ(words.size(), 2u);
  EXPECT_FALSE(words[0] & bits::kCalibrationDone);
  EXPECT_TRUE(words[1] & bits::kCalibrationDone);
}

TEST_P(Commands, CancelAndRawCompletion) {
  EXPECT_EQ(host.send(39, words({1})).code, 0);
  auto w = host.drainInterrupts();
  ASSERT_EQ(w.size(), 1u) << "the bit was clear: only its rise";
  EXPECT_TRUE(w[0] & bits::kCommandCompleted);
  EXPECT_EQ(host.send(39, words({1})).code, 0);
  w = host.drainInterrupts();
  ASSERT_EQ(w.size(), 2u);
  EXPECT_FALSE(w[0] & bits::kCommandCompleted);
  EXPECT_TRUE(w[1] & bits::kCommandCompleted);
  EXPECT_EQ(host.send(39, words({2})).code, sim::protocol::kUnknownDataParameter);
}

INSTANTIATE_TEST_SUITE_P(Both, Commands,
                         ::testing::Values(sim::Personality::Film, sim::Personality::Cr),
                         [](const auto& info) {
                           return info.param == sim::Personality::Film ? "Film" : "Cr";
                         });

class FilmCommands : public ::testing::Test {
 protected:
  sim::Bus bus;
  sim::Scanner scanner = bus.plug(sim::filmDigitizer());
  Host host{bus, scanner};
  void SetUp() override { host.initialise(); }
};

TEST_F(FilmCommands, FilmSetFromTheFeederAndFilmStatus) {
  scanner.setFeeder({{7}, {2}});
  host.drainInterrupts();
  EXPECT_EQ(host.send(3, words({1, 0})).code, 0);
  auto w = host.drainInterrupts();
  ASSERT_FALSE(w.empty());
  EXPECT_TRUE(w.back() & bits::kFilmSet);
  EXPECT_FALSE(w.back() & bits::kFilmReset);

  Reply st = host.ask(6, 48);
  ASSERT_EQ(st.data.size(), 48u);
  auto word = [&](int i) { return le16(st.data, 2 + 2 * i); };
  EXPECT_TRUE(word(0) & bits::kFilmSet);
  EXPECT_EQ(word(2), 1) << "one film left in the feeder";
  EXPECT_EQ(word(3), 300) << "30 mm at 100 um";
  EXPECT_EQ(word(4), 400) << "40 mm at 100 um";
  EXPECT_EQ(word(22), 7);

  Reply params = host.ask(36, 32);
  EXPECT_EQ(le16(params.data, 2 + 2 * 12), 7) << "Option3: the loaded film's size code";
  EXPECT_EQ(le16(params.data, 2 + 2 * 13), 30) << "Option4: its width";

  // Reverse keeps the film and sets it again.
  EXPECT_EQ(host.send(3, words({2, 0})).code, 0);
  w = host.drainInterrupts();
  ASSERT_FALSE(w.empty());
  EXPECT_TRUE(w.back() & bits::kFilmSet);
  EXPECT_EQ(le16(host.ask(6, 48).data, 2 + 44), 7);

  // Reset ejects it.
  EXPECT_EQ(host.send(7, {}).code, 0);
  w = host.drainInterrupts();
  ASSERT_FALSE(w.empty());
  EXPECT_FALSE(w.back() & bits::kFilmSet);
  EXPECT_TRUE(w.back() & bits::kFilmReset);
  EXPECT_EQ(le16(host.ask(6, 48).data, 2 + 44), 0);

  EXPECT_EQ(host.send(3, words({2, 0})).code, sim::protocol::kCommandFailed)
      << "nothing to reverse";
  EXPECT_EQ(host.send(3, words({3, 0})).code, sim::protocol::kUnknownDataParameter);
}

TEST_F(FilmCommands, EmptyFeederRaisesTheFilmPickupError) {
  scanner.setFeeder({});
  host.drainInterrupts();
  EXPECT_EQ(host.send(3, words({1, 0})).code, 0);
  auto p = host.interrupt();
  ASSERT_TRUE(p);
  EXPECT_TRUE(wordOf(*p) & bits::kError);
  EXPECT_EQ((*p)[2] | (*p)[3] << 8, sim::device::kFilmPickup);
}

TEST_F(FilmCommands, MoveRisesThenFallsInOneBurstOrLater) {
  EXPECT_EQ(host.send(8, words({500})).code, 0);
  auto w = host.drainInterrupts();
  ASSERT_EQ(w.size(), 2u);
  EXPECT_TRUE(w[0] & bits::kFilmMoving);
  EXPECT_FALSE(w[1] & bits::kFilmMoving);

  sim::Timing t;
  t.moveMs = 80;
  scanner.setTiming(t);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(host.send(8, words({500})).code, 0);
  auto rise = host.interrupt();
  ASSERT_TRUE(rise);
  EXPECT_TRUE(wordOf(*rise) & bits::kFilmMoving);
  auto fall = host.interrupt();
  ASSERT_TRUE(fall);
  EXPECT_FALSE(wordOf(*fall) & bits::kFilmMoving);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(80));
}

TEST_F(FilmCommands, InquiryAndFilmTable) {
  Reply q = host.ask(0x25, 130);
  ASSERT_EQ(q.data.size(), 130u);
  EXPECT_EQ(std::string(q.data.begin() + 2 + 8, q.data.begin() + 2 + 13), "KORVA");
  EXPECT_EQ(q.data[2 + 120], 1) << "auto feeder";
  Reply t = host.ask(0x26, 514);
  ASSERT_EQ(t.data.size(), 514u);
  // Entry of size code 1: 356 x 432 mm.
  EXPECT_EQ(t.data[2], 1);
  EXPECT_EQ(le16(t.data, 2 + 4), 356);
  EXPECT_EQ(le16(t.data, 2 + 6), 432);
  EXPECT_EQ(t.data[2 + 16 * 6], 7);
  EXPECT_EQ(t.data[2 + 16 * 7], 0) << "entries after the last size are empty";
  // Erase is the CR reader's.
  EXPECT_EQ(host.send(40, words({1})).code, sim::protocol::kUnknownCommand);
}

class CrCommands : public ::testing::Test {
 protected:
  sim::Bus bus;
  sim::Scanner scanner = bus.plug(sim::crReader());
  Host host{bus, scanner};
  void SetUp() override { host.initialise(); }
  std::uint16_t condition() { return le16(host.ask(36, 32).data, 2 + 24); }
};

TEST_F(CrCommands, ShadingWriteAndRead) {
  Bytes shading(16384);
  for (std::size_t i = 0; i < shading.size(); ++i) shading[i] = std::uint8_t(i ^ (i >> 7));
  EXPECT_EQ(host.send(37, shading).code, 0);
  // The reader asks for two bytes more than the table; the device pads.
  StatusBlock st;
  Reply r = host.ask(0x26, 16388, &st);
  ASSERT_EQ(r.data.size(), 16388u);
  EXPECT_EQ(st.code, 0);
  EXPECT_EQ(Bytes(r.data.begin() + 2, r.data.begin() + 16386), shading);
  EXPECT_EQ(r.data[16386], 0);
  EXPECT_EQ(r.data[16387], 0);
  EXPECT_EQ(host.send(3, words({1, 0})).code, sim::protocol::kUnknownCommand) << "no film feeder";
}

TEST_F(CrCommands, EraseRunsThroughItsPhases) {
  sim::Timing t;
  t.erasePhaseMs = 250;
  scanner.setTiming(t);
  EXPECT_EQ(host.send(40, words({1})).code, 0);
  // The conditions seen while polling, each once.
  std::vector<std::uint16_t> seen;
  for (int i = 0; i < 400 && (seen.empty() || seen.back() != 1); ++i) {
    std::uint16_t c = condition();
    if (seen.empty() || seen.back() != c) seen.push_back(c);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(seen, (std::vector<std::uint16_t>{8, 16, 1}));
  auto w = host.drainInterrupts();
  ASSERT_FALSE(w.empty());
  EXPECT_TRUE(w.back() & bits::kCommandCompleted);
  EXPECT_EQ(host.send(40, words({0})).code, sim::protocol::kUnknownDataParameter);
}

}  // namespace
