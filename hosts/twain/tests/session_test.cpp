// The stand-in manager and the test applications' session, over the small test source.
#include "hosts/twain/dsm/twain_dsm.h"
#include "hosts/twain/testapp/session.h"
#include "platform/library.h"
#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::filesystem::path binDir() { return testsupport::selfExecutable().parent_path(); }
std::filesystem::path managerPath() { return binDir() / "libTwainDsm.so"; }
std::filesystem::path sourcePath() { return binDir() / "FakeSource.ds"; }

// The expected sample of the test source's image.
std::uint8_t sample(int x, int y) { return static_cast<std::uint8_t>(x + 16 * y); }
constexpr int kWidth = 10, kHeight = 7;

class Manager : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("NDT_TWAIN_SOURCE", sourcePath().c_str(), 1);
    ASSERT_TRUE(library.open(managerPath().string(), nullptr)) << library.errorText();
    dsm = library.function<DSMENTRYPROC>("DSM_Entry");
    recordCount = library.function<TwainDsmRecordCountProc>("TwainDsm_RecordCount");
    record = library.function<TwainDsmRecordProc>("TwainDsm_Record");
    failNull = library.function<TwainDsmFailNullMessagesProc>("TwainDsm_FailNullMessages");
    ASSERT_TRUE(dsm && recordCount && record && failNull);
    library.function<TwainDsmClearRecordsProc>("TwainDsm_ClearRecords")();
  }
  void TearDown() override { failNull(0); }

  std::vector<TwainDsmRecord> records() {
    std::vector<TwainDsmRecord> all(recordCount());
    for (TW_UINT32 i = 0; i < all.size(); ++i) record(i, &all[i]);
    return all;
  }
  // The DAT_NULL messages the source sent, with the manager's answers.
  std::vector<std::pair<TW_UINT16, TW_UINT16>> nullMessages() {
    std::vector<std::pair<TW_UINT16, TW_UINT16>> out;
    for (const auto& r : records())
      if (r.DAT == DAT_NULL) out.emplace_back(r.MSG, r.rc);
    return out;
  }
  TW_UINT16 managerStatus(TW_IDENTITY& app) {
    TW_STATUS s{};
    EXPECT_EQ(dsm(&app, nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &s), TWRC_SUCCESS);
    return s.ConditionCode;
  }

  twain::Session session(bool memory, TW_UINT32 buffer = 0) {
    twain::SessionOptions o;
    o.manager = managerPath();
    o.outDir = out.path();
    o.memory = memory;
    o.bufferSize = buffer;
    return twain::Session(o);
  }
  static void run(twain::Session& s) {
    ASSERT_TRUE(s.open());
    for (int turn = 0; turn < 100 && s.processEvent(nullptr); ++turn) {
    }
  }

  platform::Library library;
  DSMENTRYPROC dsm = nullptr;
  TwainDsmRecordCountProc recordCount = nullptr;
  TwainDsmRecordProc record = nullptr;
  TwainDsmFailNullMessagesProc failNull = nullptr;
  testsupport::TempDir out;
};

TEST_F(Manager, NativeSessionDeliversTheSourcesMessagesAndImage) {
  twain::Session s = session(false);
  run(s);
  EXPECT_TRUE(s.ended());
  EXPECT_EQ(s.images(), 1);
  const std::vector<std::string> expected = {
      "OPENDSM rc=0", "GETDEFAULT rc=0", "source Fake Source", "OPENDS rc=0", "SET XFERMECH rc=0",
      "ENABLEDS rc=0", "event XFERREADY", "IMAGEINFO rc=0", "info 10x7 bits 8", "IMAGENATIVEXFER rc=6",
      "native 1148 bytes", "ENDXFER rc=0", "event CLOSEDSREQ", "DISABLEDS rc=0", "CLOSEDS rc=0", "CLOSEDSM rc=0"};
  EXPECT_EQ(s.log(), expected);
  EXPECT_EQ(nullMessages(), (std::vector<std::pair<TW_UINT16, TW_UINT16>>{{MSG_XFERREADY, TWRC_SUCCESS},
                                                                          {MSG_CLOSEDSREQ, TWRC_SUCCESS}}));

  // The DIB became a BMP file whose rows, bottom-up, hold the source's image.
  std::string bmp = testsupport::readFile(out / "image1.bmp");
  ASSERT_EQ(bmp.size(), 14u + 1148u);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  std::uint32_t offset;
  std::memcpy(&offset, bmp.data() + 10, 4);
  EXPECT_EQ(offset, 14u + 40u + 1024u);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      ASSERT_EQ(static_cast<std::uint8_t>(bmp[offset + (kHeight - 1 - y) * 12 + x]), sample(x, y)) << x << "," << y;
}

TEST_F(Manager, MemoryStripsAreReassembled) {
  struct Case {
    TW_UINT32 buffer;
    std::vector<std::string> strips;
  } cases[] = {
      {36, {"strip rows=3 yoffset=0 bytesperrow=12 written=36", "strip rows=3 yoffset=3 bytesperrow=12 written=36",
            "strip rows=1 yoffset=6 bytesperrow=12 written=12"}},
      {100, {"strip rows=7 yoffset=0 bytesperrow=12 written=84"}},
  };
  for (const Case& c : cases) {
    twain::Session s = session(true, c.buffer);
    run(s);
    EXPECT_TRUE(s.ended());
    EXPECT_EQ(s.images(), 1);
    std::vector<std::string> strips;
    for (const std::string& line : s.log())
      if (line.rfind("strip", 0) == 0) strips.push_back(line);
    EXPECT_EQ(strips, c.strips) << c.buffer;
    std::string raw = testsupport::readFile(out / "image1.raw");
    ASSERT_EQ(raw.size(), static_cast<std::size_t>(kWidth * kHeight));
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) ASSERT_EQ(static_cast<std::uint8_t>(raw[y * kWidth + x]), sample(x, y));
  }
}

TEST_F(Manager, AFailedNullMessageReachesNoApplication) {
  failNull(1);
  twain::Session s = session(false);
  run(s);
  EXPECT_FALSE(s.ended());
  EXPECT_EQ(s.images(), 0);
  EXPECT_EQ(nullMessages(), (std::vector<std::pair<TW_UINT16, TW_UINT16>>{{MSG_XFERREADY, TWRC_FAILURE}}));
  s.close();
  EXPECT_EQ(s.log().back(), "CLOSEDSM rc=0");
  EXPECT_TRUE(s.ended());
}

TEST_F(Manager, RefusalsAndRecords) {
  TW_IDENTITY first{}, second{}, source{};
  TW_HANDLE parent = nullptr;
  // Nothing before the manager is open.
  EXPECT_EQ(dsm(&first, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &source), TWRC_FAILURE);
  EXPECT_EQ(managerStatus(first), TWCC_SEQERROR);

  ASSERT_EQ(dsm(&first, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent), TWRC_SUCCESS);
  ASSERT_EQ(dsm(&second, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent), TWRC_SUCCESS);
  EXPECT_NE(+first.Id, 0u);
  EXPECT_NE(+first.Id, +second.Id);
  EXPECT_EQ(managerStatus(first), TWCC_SUCCESS);  // read once, then cleared

  EXPECT_EQ(dsm(&first, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &source), TWRC_SUCCESS);
  EXPECT_STREQ(source.ProductName, "Fake Source");
  EXPECT_EQ(dsm(&first, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &source), TWRC_ENDOFLIST);

  ASSERT_EQ(dsm(&first, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source), TWRC_SUCCESS);
  // A second application: the source's own refusal is what the manager reports.
  TW_IDENTITY sourceForSecond = source;
  EXPECT_EQ(dsm(&second, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &sourceForSecond), TWRC_FAILURE);
  EXPECT_EQ(managerStatus(second), TWCC_MAXCONNECTIONS);
  TW_UINT32 xferGroup = 0;
  EXPECT_EQ(dsm(&second, &source, DG_CONTROL, DAT_XFERGROUP, MSG_GET, &xferGroup), TWRC_FAILURE);
  EXPECT_EQ(managerStatus(second), TWCC_BADDEST);

  // Triplets reach the source and come back with its answer.
  EXPECT_EQ(dsm(&first, &source, DG_AUDIO, DAT_NULL, MSG_GET, nullptr), TWRC_FAILURE);
  TW_STATUS status{};
  EXPECT_EQ(dsm(&first, &source, DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_SUCCESS);
  EXPECT_EQ(status.ConditionCode, TWCC_BADPROTOCOL);

  EXPECT_EQ(dsm(&first, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent), TWRC_FAILURE);  // source still open
  EXPECT_EQ(managerStatus(first), TWCC_SEQERROR);
  EXPECT_EQ(dsm(&first, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source), TWRC_SUCCESS);
  EXPECT_EQ(dsm(&first, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent), TWRC_SUCCESS);
  EXPECT_EQ(dsm(&second, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent), TWRC_SUCCESS);

  // Without a source to open, the manager says so.
  ::unsetenv("NDT_TWAIN_SOURCE");
  TW_IDENTITY third{};
  ASSERT_EQ(dsm(&third, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent), TWRC_SUCCESS);
  EXPECT_EQ(dsm(&third, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source), TWRC_FAILURE);
  EXPECT_EQ(managerStatus(third), TWCC_NODS);
  EXPECT_EQ(dsm(&third, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent), TWRC_SUCCESS);

  // The records name who spoke to whom.
  auto all = records();
  auto forwarded = std::find_if(all.begin(), all.end(), [](const TwainDsmRecord& r) { return r.DG == DG_AUDIO; });
  ASSERT_NE(forwarded, all.end());
  EXPECT_EQ(forwarded->originId, +first.Id);
  EXPECT_EQ(forwarded->destId, +source.Id);
  EXPECT_EQ(forwarded->rc, TWRC_FAILURE);
  EXPECT_EQ(all.front().MSG, MSG_GETDEFAULT);
  EXPECT_EQ(all.back().MSG, MSG_CLOSEDSM);
}

// The two programs run whole sessions as separate processes; ImageMagick judges the BMP.
TEST(TestApplications, RunWholeSessions) {
  struct Case {
    const char* program;
    const char* arguments;
    const char* expectedLine;
  } cases[] = {
      {"twain_testapp", "", "native 1148 bytes"},
      {"twain_testapp", "--memory --buffer 24", "strip rows=1 yoffset=6 bytesperrow=12 written=12"},
      {"twain_testapp_qt", "", "native 1148 bytes"},
      {"twain_testapp_qt", "--memory", "strip rows=3 yoffset=3 bytesperrow=12 written=36"},
  };
  for (const Case& c : cases) {
    testsupport::TempDir out;
    std::string command = "NDT_TWAIN_SOURCE='" + sourcePath().string() + "' QT_QPA_PLATFORM=offscreen '" +
                          (binDir() / c.program).string() + "' --manager '" + managerPath().string() + "' --out '" +
                          out.path().string() + "' --timeout-ms 20000 " + c.arguments;
    auto result = testsupport::runCommand(command);
    EXPECT_EQ(result.status, 0) << command << "\n" << result.output;
    EXPECT_NE(result.output.find(std::string("\n") + c.expectedLine + "\n"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("CLOSEDSM rc=0\nimages 1\n"), std::string::npos) << result.output;
    if (std::string(c.arguments).find("--memory") == std::string::npos) {
      const std::string bmp = "'" + (out / "image1.bmp").string() + "'";
      auto judged = testsupport::runCommand("identify -format '%m %w %h' " + bmp);
      EXPECT_EQ(judged.status, 0) << judged.output;
      EXPECT_EQ(judged.output, "BMP3 10 7") << c.program;
      // Its pixels as ImageMagick reads them, top row first.
      auto pixels = testsupport::runCommand("convert " + bmp + " -colorspace Gray -depth 8 gray:-");
      EXPECT_EQ(pixels.status, 0);
      std::string expected;
      for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) expected += static_cast<char>(sample(x, y));
      EXPECT_EQ(pixels.output, expected) << c.program;
    }
  }
  auto usage = testsupport::runCommand("'" + (binDir() / "twain_testapp").string() + "' --out /tmp");
  EXPECT_EQ(usage.status, 64) << usage.output;
}

}  // namespace
