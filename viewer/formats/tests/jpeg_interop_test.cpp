// djpeg, cjpeg, ImageMagick and the 12-bit capable `jpeg` program judge our
// JPEG files and make files for our reader.
#include <gtest/gtest.h>

#include "format_test_util.h"
#include "testsupport/testsupport.h"
#include "viewer/formats/format_support.h"
#include "viewer/formats/jpeg.h"

using namespace viewer;
using namespace viewer::formats;
using formats_test::makeSmoothImage;
using formats_test::maxDifference;
using formats_test::samples;

namespace {

std::string run(const std::string& command) {
  const auto r = testsupport::runCommand(command);
  EXPECT_EQ(r.status, 0) << command << "\n" << r.output;
  return r.output;
}

class JpegInterop : public ::testing::Test {
 protected:
  std::string path(const std::string& name) { return (dir / name).string(); }
  testsupport::TempDir dir;
};

}  // namespace

TEST_F(JpegInterop, DjpegSeesAProgressiveOneComponentFrameAtQuality75) {
  CImageItem image;
  makeSmoothImage(image, 1, 77, 33, 255);
  settings().jpegQuality = 75;
  ASSERT_EQ(WriteJpegFile(image, path("p.jpg")), 1);
  const std::string verbose = run("djpeg -verbose -pnm -outfile " + path("p.pgm") + " " + path("p.jpg") + " 2>&1");
  EXPECT_NE(verbose.find("Start Of Frame 0xc2: width=77, height=33, components=1"), std::string::npos) << verbose;
  int w, h, maxval;
  const auto decoded = formats_test::pgmSamples(testsupport::readFile(dir / "p.pgm"), w, h, maxval);
  EXPECT_EQ(maxval, 255);
  CImageItem back;
  ASSERT_EQ(ReadJpegFile(back, path("p.jpg")), 1);
  EXPECT_LE(maxDifference(decoded, samples(back)), 1);  // the same library
  EXPECT_EQ(run("identify -format '%Q %[colorspace]' " + path("p.jpg")), "75 Gray");
}

TEST_F(JpegInterop, TwelveBitOutputDecodesWithTheJpegProgram) {
  CImageItem image;
  makeSmoothImage(image, 2, 70, 50, 4095);
  ASSERT_EQ(WriteJpegFile(image, path("t.jpg")), 1);
  run("jpeg " + path("t.jpg") + " " + path("t.pgm") + " >/dev/null 2>&1");
  int w, h, maxval;
  const auto decoded = formats_test::pgmSamples(testsupport::readFile(dir / "t.pgm"), w, h, maxval);
  EXPECT_EQ(w, 70);
  EXPECT_EQ(h, 50);
  EXPECT_EQ(maxval, 4095);
  // Quality 75 on a smooth ramp: a few levels of 4096 at most.
  EXPECT_LE(maxDifference(decoded, samples(image)), 48);
  CImageItem back;
  ASSERT_EQ(ReadJpegFile(back, path("t.jpg")), 1);
  EXPECT_LE(maxDifference(decoded, samples(back)), 2);  // two decoders of one stream
}

TEST_F(JpegInterop, TwelveBitFilesOfTheJpegProgramReadBack) {
  CImageItem image;
  makeSmoothImage(image, 2, 45, 31, 4095);
  testsupport::writeFile(dir / "in.pgm", formats_test::makePgm(45, 31, 4095, samples(image)));
  for (const char* options : {"-q 90", "-q 90 -v", "-q 85 -h"}) {
    SCOPED_TRACE(options);
    run(std::string("jpeg ") + options + " " + path("in.pgm") + " " + path("in.jpg") + " >/dev/null 2>&1");
    CImageItem back;
    ASSERT_EQ(ReadJpegFile(back, path("in.jpg")), 1) << failures().reason();
    EXPECT_EQ(back.bitsStored, 12);
    EXPECT_EQ(back.bytesPerSample(), 2);
    EXPECT_LE(maxDifference(samples(back), samples(image)), 40);
  }
}

TEST_F(JpegInterop, AColourJpegOpensAsItsGreenSamples) {
  // Red, green and blue differ everywhere: green is a ramp along x.
  std::string ppm = "P6\n64 16\n255\n";
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 64; ++x) ppm += {char(255 - y * 8), char(x * 4), char(y * 16)};
  testsupport::writeFile(dir / "c.ppm", ppm);
  run("cjpeg -quality 100 -sample 1x1 -outfile " + path("c.jpg") + " " + path("c.ppm"));
  CImageItem back;
  ASSERT_EQ(ReadJpegFile(back, path("c.jpg")), 1);
  EXPECT_EQ(back.bitsStored, 8);
  EXPECT_EQ(back.bytesPerSample(), 1);
  std::vector<int> green;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 64; ++x) green.push_back(x * 4);
  EXPECT_LE(maxDifference(samples(back), green), 6);
}

// Arithmetic coding spends far less than a bit on a flat block: a valid file
// can hold many thousand samples per byte.
TEST_F(JpegInterop, ArithmeticCodedFilesOfCjpegReadBack) {
  const int w = 2048, h = 1536;
  std::vector<int> flat(std::size_t(w) * h, 128);
  for (int x = 0; x < w; ++x) flat[std::size_t(100) * w + std::size_t(x)] = 40;  // one dark line
  testsupport::writeFile(dir / "in.pgm", formats_test::makePgm(w, h, 255, flat));
  for (const char* options : {"-arithmetic", "-arithmetic -progressive"}) {
    SCOPED_TRACE(options);
    run(std::string("cjpeg -grayscale -quality 90 ") + options + " -outfile " + path("a.jpg") + " " + path("in.pgm"));
    ASSERT_LT(testsupport::readFile(dir / "a.jpg").size(), std::size_t(w) * h / 1024);
    run("djpeg -pnm -outfile " + path("a.pgm") + " " + path("a.jpg"));
    int dw, dh, maxval;
    const auto decoded = formats_test::pgmSamples(testsupport::readFile(dir / "a.pgm"), dw, dh, maxval);
    CImageItem back;
    ASSERT_EQ(ReadJpegFile(back, path("a.jpg")), 1) << failures().reason();
    EXPECT_EQ(back.width(), w);
    EXPECT_EQ(back.height(), h);
    EXPECT_EQ(samples(back), decoded);  // the same library
    EXPECT_LE(maxDifference(samples(back), flat), 8);
  }
}
