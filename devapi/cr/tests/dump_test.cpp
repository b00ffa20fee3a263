#include "devapi/cr/internal/noproc_dump.h"
#include "devapi/cr/tests/test_image.h"

#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace zentrac {
namespace {

using testing::BlockImage;

DumpStamp stamp() {
  DumpStamp s;
  s.local = {2026, 12, 10, 10, 18, 12, 345, 4};
  s.epochSeconds = 0x6757A1B2;
  return s;
}

ScanContext scan(int depth) {
  ScanContext c;
  c.outBitDepth = depth;
  c.option1 = 0x0102;  // erase option 1, mode 2
  c.option2 = 0x0028;  // od_max 40
  c.option5 = 436;     // 120 kV
  c.numberOfLut = 0;
  c.scanPitch = 125;
  c.serialNumber = 12;
  return c;
}

std::uint16_t u16At(const std::string& s, std::size_t pos) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(s[pos]) | static_cast<unsigned char>(s[pos + 1]) << 8);
}
std::uint32_t u32At(const std::string& s, std::size_t pos) { return u16At(s, pos) | std::uint32_t{u16At(s, pos + 2)} << 16; }

// The value of an implicit-VR element of the data set, found by its tag.
std::string implicitValue(const std::string& header, std::uint16_t group, std::uint16_t element) {
  std::size_t pos = 132;
  pos += 12 + u32At(header, 140);  // the file meta group
  while (pos + 8 <= header.size()) {
    const std::uint32_t len = u32At(header, pos + 4);
    if (u16At(header, pos) == group && u16At(header, pos + 2) == element) return header.substr(pos + 8, len);
    pos += 8 + len;
  }
  ADD_FAILURE() << std::hex << group << "," << element << " missing";
  return {};
}

TEST(NoProcDump, FileName) {
  EXPECT_EQ(noProcDumpName(scan(12), stamp(), 20, 16), "NoProc_0012_HV120_M2_20261210_101812_20x16.dcm");
  ScanContext s = scan(12);
  s.serialNumber = 54321;
  s.option5 = 0;
  s.option1 = 3;
  EXPECT_EQ(noProcDumpName(s, stamp(), 7120, 8640), "NoProc_54321_HV000_M3_20261210_101812_7120x8640.dcm");
}

TEST(NoProcDump, TwelveBitHeaderLayout) {
  const std::string h = noProcDumpHeader(scan(12), stamp(), 20, 16);
  ASSERT_EQ(h.size(), 836u);
  EXPECT_EQ(h.substr(0, 128), std::string(128, '\0'));
  EXPECT_EQ(h.substr(128, 4), "DICM");
  EXPECT_EQ(u32At(h, 140), 170u);
  EXPECT_EQ(h.substr(144, 14), std::string("\x02\x00\x01\x00OB\x00\x00\x02\x00\x00\x00\x00\x01", 14));
  EXPECT_NE(h.find(std::string("1.2.840.10008.1.2") + '\0'), std::string::npos);
  EXPECT_NE(h.find(kDumpImplementationUid), std::string::npos);
  EXPECT_EQ(implicitValue(h, 0x0008, 0x0016), std::string("1.2.840.10008.5.1.4.1.1.7") + '\0');
  const std::string sop = implicitValue(h, 0x0008, 0x0018);
  EXPECT_EQ(sop, std::string(kDumpUidRoot) + ".300012.20261210101812.1");
  EXPECT_EQ(sop.size(), 52u);
  EXPECT_EQ(implicitValue(h, 0x0020, 0x000D), std::string(kDumpUidRoot) + ".100012.20261210101812.0");
  EXPECT_EQ(implicitValue(h, 0x0020, 0x000E), std::string(kDumpUidRoot) + ".200012.20261210101812.0");
  EXPECT_NE(h.find(std::string(kDumpUidRoot) + ".900012.20261210101812.0"), std::string::npos);
  EXPECT_EQ(implicitValue(h, 0x0008, 0x0020), "20261210");
  EXPECT_EQ(implicitValue(h, 0x0008, 0x0030), "101812");
  EXPECT_EQ(implicitValue(h, 0x0008, 0x0050), "000126757a1b2 ");
  EXPECT_EQ(implicitValue(h, 0x0020, 0x0010), "000126757a1b2 ");
  EXPECT_EQ(implicitValue(h, 0x0010, 0x0010), "00012 ");
  EXPECT_EQ(implicitValue(h, 0x0010, 0x0020), "00012 ");
  EXPECT_EQ(implicitValue(h, 0x0008, 0x0060), "RG");
  EXPECT_EQ(implicitValue(h, 0x0008, 0x0064), "DF");
  EXPECT_EQ(implicitValue(h, 0x0010, 0x0040), "O ");
  EXPECT_EQ(implicitValue(h, 0x0028, 0x0004), "MONOCHROME2 ");
  EXPECT_EQ(u16At(implicitValue(h, 0x0028, 0x0010), 0), 16);
  EXPECT_EQ(u16At(implicitValue(h, 0x0028, 0x0011), 0), 20);
  EXPECT_EQ(implicitValue(h, 0x0028, 0x0030), "0.125\\0.125 ");
  EXPECT_EQ(u16At(implicitValue(h, 0x0028, 0x0100), 0), 16);
  EXPECT_EQ(u16At(implicitValue(h, 0x0028, 0x0101), 0), 12);
  EXPECT_EQ(u16At(implicitValue(h, 0x0028, 0x0102), 0), 11);
  EXPECT_EQ(implicitValue(h, 0x0028, 0x1050), "2048");
  EXPECT_EQ(implicitValue(h, 0x0028, 0x1051), "4096");
  // The header ends with the pixel data's tag and length.
  EXPECT_EQ(u16At(h, 828), 0x7FE0);
  EXPECT_EQ(u16At(h, 830), 0x0010);
  EXPECT_EQ(u32At(h, 832), 20u * 16 * 2);
}

TEST(NoProcDump, FourteenAndSixteenBitHeaders) {
  for (auto [depth, stored] : {std::pair{14, 14}, std::pair{16, 16}, std::pair{13, 14}}) {
    const std::string h = noProcDumpHeader(scan(depth), stamp(), 20, 16);
    ASSERT_EQ(h.size(), 838u) << depth;
    EXPECT_EQ(u16At(implicitValue(h, 0x0028, 0x0101), 0), stored) << depth;
    EXPECT_EQ(u16At(implicitValue(h, 0x0028, 0x0102), 0), stored - 1) << depth;
    EXPECT_EQ(implicitValue(h, 0x0028, 0x1050), "8192");
    EXPECT_EQ(implicitValue(h, 0x0028, 0x1051), "16384 ");
  }
}

TEST(NoProcDump, InvertedPhotometricWithOdAndAnInvertingLut) {
  struct Case {
    std::uint16_t option2, lut;
    const char* want;
  };
  const Case cases[] = {{0x28, 1, "MONOCHROME1 "}, {0x28, 0, "MONOCHROME2 "}, {0x28, 2, "MONOCHROME2 "},
                        {0x1400, 1, "MONOCHROME2 "}, {0x28, 3, "MONOCHROME1 "}};
  for (const Case& c : cases) {
    ScanContext s = scan(12);
    s.option2 = c.option2;
    s.numberOfLut = c.lut;
    EXPECT_EQ(implicitValue(noProcDumpHeader(s, stamp(), 20, 16), 0x0028, 0x0004), c.want) << c.option2 << " " << c.lut;
  }
}

TEST(NoProcDump, ImagesTheHeaderCannotDescribe) {
  EXPECT_TRUE(noProcDumpHeader(scan(12), stamp(), 20, 65536).empty());
  EXPECT_TRUE(noProcDumpHeader(scan(12), stamp(), 65536, 20).empty());
  EXPECT_TRUE(noProcDumpHeader(scan(12), stamp(), 65535, 65535).empty());  // beyond a 32-bit length
  EXPECT_EQ(noProcDumpHeader(scan(12), stamp(), 65535, 32767).size(), 836u);
}

TEST(NoProcDump, WritesTheRawSamplesOfEveryBlock) {
  testsupport::TempDir dir;
  BlockImage img(20, 16, 5);  // four blocks, the last one partly beyond the lines
  for (std::size_t y = 0; y < img.lines(); ++y)
    for (std::size_t x = 0; x < 20; ++x) img.at(y, x) = static_cast<std::uint16_t>(y * 100 + x);
  ScanContext s = scan(12);
  s.dumpDir = dir.path();
  std::string log;
  s.log = [&](std::string_view e) { log += e; };
  ASSERT_TRUE(writeNoProcDump(img.view(), 16, s, stamp()));
  EXPECT_EQ(log, "SaveImage.\n");
  const std::string file = testsupport::readFile(dir / noProcDumpName(s, stamp(), 20, 16));
  ASSERT_EQ(file.size(), 836u + 20 * 16 * 2);
  EXPECT_EQ(file.substr(0, 836), noProcDumpHeader(s, stamp(), 20, 16));
  for (std::size_t y = 0; y < 16; ++y)
    for (std::size_t x = 0; x < 20; ++x) ASSERT_EQ(u16At(file, 836 + (y * 20 + x) * 2), y * 100 + x);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(NoProcDump, OverwritesAnEarlierDump) {
  testsupport::TempDir dir;
  BlockImage img(4, 4, 4, 7);
  ScanContext s = scan(12);
  s.dumpDir = dir.path();
  const auto file = dir / noProcDumpName(s, stamp(), 4, 4);
  testsupport::writeFile(file, std::string(5000, 'x'));
  ASSERT_TRUE(writeNoProcDump(img.view(), 4, s, stamp()));
  EXPECT_EQ(testsupport::readFile(file).size(), 836u + 32);
}

TEST(NoProcDump, FailuresLeaveNoFile) {
  testsupport::TempDir dir;
  ScanContext s = scan(12);
  std::string log;
  s.log = [&](std::string_view e) { log += e; };

  s.dumpDir = dir / "missing";
  BlockImage img(20, 16, 16);
  EXPECT_FALSE(writeNoProcDump(img.view(), 16, s, stamp()));
  EXPECT_EQ(log, "SaveImage.\n");

  // 70,000 lines of one column: more rows than the header holds.
  log.clear();
  s.dumpDir = dir.path();
  BlockImage tall(1, 70000, 70000);
  EXPECT_FALSE(writeNoProcDump(tall.view(), 70000, s, stamp()));
  EXPECT_EQ(log, "SaveImage.\nError : WriteDicomHeader.\n");

  // A full disk: the sample write fails.
  log.clear();
  ASSERT_TRUE(std::filesystem::exists("/dev/full"));
  const auto name = noProcDumpName(s, stamp(), 20, 16);
  std::filesystem::create_symlink("/dev/full", dir / (name + ".part"));
  EXPECT_FALSE(writeNoProcDump(img.view(), 16, s, stamp()));
  EXPECT_EQ(log, "SaveImage.\nError : WriteFile.\n");
  EXPECT_FALSE(std::filesystem::exists(dir / name));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace zentrac
