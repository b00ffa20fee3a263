#include "viewer/formats/raw.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "format_test_util.h"
#include "testsupport/testsupport.h"
#include "viewer/formats/format_support.h"

using namespace viewer;
using namespace viewer::formats;
using formats_test::makeImage;
using formats_test::samples;

namespace {

class RawTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rawParameters() = RawLastParameters();
    settings() = FormatSettings();
  }
  std::string path(const std::string& name) { return (dir / name).string(); }
  std::string put(const std::string& name, const std::string& bytes) {
    testsupport::writeFile(dir / name, bytes);
    return path(name);
  }
  static formats_test::ScriptedPrompt::RawAnswer answer(int w, int h, int depth, int order, int adopt = 1,
                                                        std::int64_t header = 0) {
    RawDialogValues v;
    v.width = w;
    v.height = h;
    v.depthIndex = depth;
    v.byteOrder = order;
    v.adopt = adopt;
    v.headerSize = header;
    return {true, v};
  }
  testsupport::TempDir dir;
  formats_test::ScriptedPrompt promptScript;
};

}  // namespace

TEST_F(RawTest, SixteenBitWindowsSampleKeepsItsLowTwelveBits) {
  const std::string bytes("\x34\x12\x05\x00\xff\x0f\x00\x01", 8);
  promptScript.answers.push_back(answer(2, 2, 2, 1));
  CImageItem image;
  ASSERT_EQ(ReadRawFile(image, put("a.raw", bytes)), 1);
  EXPECT_EQ(samples(image), (std::vector<int>{0x234, 0x005, 0xfff, 0x100}));
  EXPECT_EQ(image.bitsStored, 12);
  EXPECT_EQ(image.maxValue, 4095);
  EXPECT_EQ(image.rawLayout.width, 2);
  EXPECT_EQ(image.rawLayout.swap, 0);
  EXPECT_EQ(settings().rawBitsPixel, 2);
}

TEST_F(RawTest, MacintoshOrderWithHeaderAndTenBitDecision) {
  const std::string bytes = std::string(5, 'H') + std::string("\x01\x02\x03\xff", 4);
  promptScript.answers.push_back(answer(2, 1, 1, 0, 1, 5));
  CImageItem image;
  ASSERT_EQ(ReadRawFile(image, put("m.raw", bytes)), 1);
  EXPECT_EQ(samples(image), (std::vector<int>{0x102, 0x3ff}));
  EXPECT_EQ(image.bitsStored, 10);  // the samples decide, not the depth item
  EXPECT_EQ(image.rawLayout.header, 5);
  EXPECT_EQ(image.rawLayout.swap, 1);
}

TEST_F(RawTest, AdoptAsksOncePerSizeAndAgainForEveryOpenCommand) {
  const std::string mb(1048576, '\x07');
  promptScript.answers.push_back(answer(1024, 1024, 0, 1, 1));
  promptScript.answers.push_back(answer(10, 10, 0, 1, 1));
  promptScript.answers.push_back(answer(10, 10, 0, 1, 1));
  rawBeginOpenCommand();
  for (int i = 0; i < 3; ++i) {
    CImageItem image;
    ASSERT_EQ(ReadRawFile(image, put("f" + std::to_string(i) + ".raw", mb)), 1);
    EXPECT_EQ(image.width(), 1024);
  }
  EXPECT_EQ(promptScript.offered.size(), 1u);
  CImageItem other;
  ASSERT_EQ(ReadRawFile(other, put("g.raw", std::string(100, '\x01'))), 1);
  ASSERT_EQ(promptScript.offered.size(), 2u);
  EXPECT_EQ(promptScript.offered[1].width, 0);  // another size: width and height offered as 0
  EXPECT_EQ(promptScript.offered[1].height, 0);
  EXPECT_EQ(promptScript.askedSizes[1], 100u);
  EXPECT_EQ(promptScript.askedNames[1], "g.raw");
  // A new open command asks again even for a file of the adopted size.
  rawBeginOpenCommand();
  CImageItem again;
  ASSERT_EQ(ReadRawFile(again, put("f9.raw", std::string(100, '\x01'))), 1);
  EXPECT_EQ(promptScript.offered.size(), 3u);
  EXPECT_EQ(promptScript.offered[2].width, 10);  // same size as the last file: its values are offered
}

TEST_F(RawTest, CancelAndImpossibleLayoutsFail) {
  CImageItem image;
  EXPECT_EQ(ReadRawFile(image, put("c.raw", "abcd")), 0);  // no answer queued: Cancel
  EXPECT_EQ(failures().reason(), kCancelled);
  EXPECT_EQ(rawParameters().lastFileSize, 0u);  // a cancelled dialog records nothing
  promptScript.answers.push_back(answer(3, 3, 0, 1, 0));
  EXPECT_EQ(ReadRawFile(image, put("c.raw", "abcd")), 0);  // more than the file holds
  EXPECT_EQ(failures().reason(), kFileAccessFailure);
  promptScript.answers.push_back(answer(65535, 65535, 2, 1, 0));
  EXPECT_EQ(ReadRawFile(image, put("c.raw", "abcd")), 0);  // checked before any allocation
  EXPECT_EQ(failures().reason(), kFileAccessFailure);
  promptScript.answers.push_back(answer(0, 3, 0, 1, 0));
  EXPECT_EQ(ReadRawFile(image, put("c.raw", "abcd")), 0);
  EXPECT_EQ(failures().reason(), kNotSupported);
  EXPECT_EQ(ReadRawFile(image, path("missing.raw")), 0);
  EXPECT_EQ(failures().reason(), kFileAccessFailure);
}

TEST_F(RawTest, DepthIndexStartsFromTheSetting) {
  settings().rawBitsPixel = 0;
  CImageItem image;
  ReadRawFile(image, put("d.raw", "abcd"));
  ASSERT_EQ(promptScript.offered.size(), 1u);
  EXPECT_EQ(promptScript.offered[0].depthIndex, 0);
}

TEST_F(RawTest, WrittenInBothOrdersAndReadBack) {
  CImageItem image;
  makeImage(image, 2, 33, 17, 4095);
  for (int order : {0, 1}) {
    ASSERT_EQ(WriteRawFile(image, path("w.raw"), order), 1);
    const std::string bytes = testsupport::readFile(dir / "w.raw");
    ASSERT_EQ(bytes.size(), 33u * 17u * 2u);  // no header
    const auto* b = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const int last = order == 0 ? (b[bytes.size() - 2] | b[bytes.size() - 1] << 8) : (b[bytes.size() - 2] << 8 | b[bytes.size() - 1]);
    EXPECT_EQ(last, 4095);
    EXPECT_EQ(lastRawLayout().width, 33);
    EXPECT_EQ(lastRawLayout().swap, 0);
    promptScript.answers.push_back(answer(33, 17, 2, order == 1 ? 0 : 1, 0));
    CImageItem back;
    ASSERT_EQ(ReadRawFile(back, path("w.raw")), 1);
    EXPECT_EQ(samples(back), samples(image));
  }
}

TEST_F(RawTest, ReloadUsesTheRememberedLayoutWithoutTheDialog) {
  const std::string bytes = std::string(3, 'x') + std::string("\x00\x10\x00\x20\x00\x30", 6);
  promptScript.answers.push_back(answer(3, 1, 2, 0, 0, 3));
  CImageItem image;
  ASSERT_EQ(ReadRawFile(image, put("r.raw", bytes)), 1);
  image.pitch = 50;
  image.odRange = 30;
  put("r.raw", std::string(3, 'x') + std::string("\x00\x11\x00\x22\x0f\xff", 6));
  ASSERT_EQ(ReloadRawFile(image, path("r.raw")), 1);
  EXPECT_EQ(promptScript.offered.size(), 1u);
  EXPECT_EQ(samples(image), (std::vector<int>{0x11, 0x22, 0xfff}));
  EXPECT_EQ(image.pitch, 50);  // kept
  EXPECT_EQ(image.odRange, 30);
  EXPECT_EQ(image.bitsStored, 12);
  put("r.raw", "xx");
  EXPECT_EQ(ReloadRawFile(image, path("r.raw")), 0);
  EXPECT_EQ(failures().reason(), kFileAccessFailure);
}

TEST_F(RawTest, FailedWriteLeavesNoFile) {
  CImageItem image;
  makeImage(image, 2, 400, 400, 4095);
  {
    formats_test::FileSizeLimit limit(50000);
    EXPECT_EQ(WriteRawFile(image, path("s.raw"), 1), 0);
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "s.raw"));
  ASSERT_EQ(promptScript.messages.size(), 1u);
  EXPECT_EQ(promptScript.messages[0], "Failed to write.|Failed to write the file(" + path("s.raw") + ").");
}
