// netpbm and ImageMagick judge our PGM and BMP files and make BMPs for our reader.
#include <gtest/gtest.h>

#include "format_test_util.h"
#include "testsupport/testsupport.h"
#include "viewer/formats/format_support.h"
#include "viewer/formats/pgm_bmp.h"

using namespace viewer;
using namespace viewer::formats;
using formats_test::makeImage;
using formats_test::samples;

namespace {

std::string run(const std::string& command) {
  const auto r = testsupport::runCommand(command);
  EXPECT_EQ(r.status, 0) << command << "\n" << r.output;
  return r.output;
}

// Runs a command whose standard output goes to a file, in a shell of its own so
// that its messages stay out of that file.
std::string runToFile(const std::string& command, const std::string& file) {
  return run("sh -c '" + command + " >" + file + "'");
}

class PgmBmpInterop : public ::testing::Test {
 protected:
  std::string path(const std::string& name) { return (dir / name).string(); }
  testsupport::TempDir dir;
};

}  // namespace

TEST_F(PgmBmpInterop, PamfileAndIdentifyConfirmThePgmHeader) {
  CImageItem image;
  makeImage(image, 1, 31, 7, 255);
  ASSERT_EQ(WritePgmFile(image, path("a.pgm")), 1);
  EXPECT_NE(run("pamfile " + path("a.pgm")).find("PGM raw, 31 by 7  maxval 255"), std::string::npos);
  EXPECT_EQ(run("identify -format '%w %h %z' " + path("a.pgm")), "31 7 8");
  int w, h, maxval;
  EXPECT_EQ(formats_test::pgmSamples(testsupport::readFile(dir / "a.pgm"), w, h, maxval), samples(image));
}

TEST_F(PgmBmpInterop, BmptopnmReadsOurBmp) {
  CImageItem image;
  makeImage(image, 1, 29, 6, 255);  // width 29: rows padded to 32
  ASSERT_EQ(WriteBmpFile(image, path("a.bmp")), 1);
  const std::string verbose = runToFile("bmptopnm -verbose " + path("a.bmp"), path("a.pnm"));
  for (const char* line : {"Read 40 bytes of header", "Width: 29 pixels", "Height: 6 pixels", "Row order: bottom up",
                           "Byte offset of raster within file: 1078", "Bits per pixel in raster: 8",
                           "Compression: none", "Colors in color map: 256"})
    EXPECT_NE(verbose.find(line), std::string::npos) << line << "\n" << verbose;
  int w, h, maxval;
  EXPECT_EQ(formats_test::pgmSamples(testsupport::readFile(dir / "a.pnm"), w, h, maxval), samples(image));
  EXPECT_EQ(run("identify -format '%w %h' " + path("a.bmp")), "29 6");
}

TEST_F(PgmBmpInterop, AnEightBitBmpOfPpmtobmpReadsTheRightGreys) {
  // A few greys in no particular order: ppmtobmp builds a palette of its own.
  std::vector<int> greys;
  for (int i = 0; i < 23 * 9; ++i) greys.push_back((i * 37) % 5 * 60 + 3);
  testsupport::writeFile(dir / "g.pgm", formats_test::makePgm(23, 9, 255, greys));
  runToFile("ppmtobmp -bpp=8 " + path("g.pgm"), path("g.bmp"));
  CImageItem back;
  ASSERT_EQ(ReadBmpFile(back, path("g.bmp")), 1) << failures().reason();
  EXPECT_EQ(samples(back), greys);
}

TEST_F(PgmBmpInterop, OurReaderTakesPgmsOfNetpbm) {
  std::vector<int> greys;
  for (int i = 0; i < 40 * 5; ++i) greys.push_back(i % 256);
  testsupport::writeFile(dir / "r.pgm", formats_test::makePgm(40, 5, 255, greys));
  runToFile("pnmtopnm " + path("r.pgm"), path("n.pgm"));
  CImageItem back;
  ASSERT_EQ(ReadPgmFile(back, path("n.pgm")), 1);
  EXPECT_EQ(samples(back), greys);
}
