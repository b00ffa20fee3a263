#include "devapi/cr/internal/noproc_dump.h"
#include "devapi/cr/tests/test_image.h"

#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

namespace zentrac {
namespace {

using testing::BlockImage;

struct Dumped {
  testsupport::TempDir dir;
  std::filesystem::path file;
};

// A 20 x 16 dump in blocks of 6 lines, pixel (y, x) = y * 200 + x * 3.
void dump(Dumped& d, int depth, std::uint16_t pitch) {
  BlockImage img(20, 16, 6);
  for (std::size_t y = 0; y < 16; ++y)
    for (std::size_t x = 0; x < 20; ++x) img.at(y, x) = static_cast<std::uint16_t>(y * 200 + x * 3);
  ScanContext s;
  s.outBitDepth = depth;
  s.option1 = 2;
  s.scanPitch = pitch;
  s.serialNumber = 321;
  s.dumpDir = d.dir.path();
  DumpStamp stamp;
  stamp.local = {2026, 12, 10, 9, 8, 7, 0, 4};
  stamp.epochSeconds = 1796000000;
  ASSERT_TRUE(writeNoProcDump(img.view(), 16, s, stamp));
  d.file = d.dir / noProcDumpName(s, stamp, 20, 16);
}

TEST(DumpInterop, DcmdumpReadsTheDump) {
  for (int depth : {12, 16}) {
    Dumped d;
    dump(d, depth, 100);
    const auto r = testsupport::runCommand("dcmdump '" + d.file.string() + "'");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("W: "), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("E: "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("(0002,0010) UI =LittleEndianImplicit"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("(0028,0010) US 16"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("(0028,0011) US 20"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("(0028,0030) DS [0.100\\0.100]"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("(0028,0101) US " + std::to_string(depth)), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("(0008,0060) CS [RG]"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("(7fe0,0010) OW"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("# 640,"), std::string::npos) << r.output;
  }
}

TEST(DumpInterop, PydicomReadsRowsColumnsBitsSpacingAndPixels) {
  Dumped d;
  dump(d, 12, 50);
  const std::string script =
      "import sys, pydicom\n"
      "ds = pydicom.dcmread(sys.argv[1])\n"
      "a = ds.pixel_array\n"
      "ok = all(int(a[y, x]) == y * 200 + x * 3 for y in range(16) for x in range(20))\n"
      "print(ds.Rows, ds.Columns, ds.BitsAllocated, ds.BitsStored, ds.HighBit,\n"
      "      [float(v) for v in ds.PixelSpacing], ds.PhotometricInterpretation,\n"
      "      ds.file_meta.TransferSyntaxUID, a.shape, ok)\n";
  testsupport::writeFile(d.dir / "judge.py", script);
  const auto r = testsupport::runCommand("/usr/bin/python3 '" + (d.dir / "judge.py").string() + "' '" +
                                         d.file.string() + "'");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, "16 20 16 12 11 [0.05, 0.05] MONOCHROME2 1.2.840.10008.1.2 (16, 20) True\n");
}

}  // namespace
}  // namespace zentrac
