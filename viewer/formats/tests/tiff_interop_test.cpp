// libtiff's tools judge the TIFF files we write and make files for our reader.
#include <gtest/gtest.h>

#include "format_test_util.h"
#include "testsupport/testsupport.h"
#include "viewer/formats/format_support.h"
#include "viewer/formats/tiff.h"

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

std::string goldenListing(const std::string& path, int bits, int bytes, int grc, int rows, const char* block) {
  return path + ":\n"
         "Magic: 0x4949 <little-endian> Version: 0x2a <ClassicTIFF>\n"
         "Directory 0: offset 8 (0x8) next 0 (0)\n"
         "SubFileType (254) LONG (4) 1<0>\n"
         "ImageWidth (256) SHORT (3) 1<5>\n"
         "ImageLength (257) SHORT (3) 1<" + std::to_string(rows) + ">\n"
         "BitsPerSample (258) SHORT (3) 1<" + std::to_string(bits) + ">\n"
         "Compression (259) SHORT (3) 1<1>\n"
         "Photometric (262) SHORT (3) 1<1>\n"
         "StripOffsets (273) SHORT (3) 1<350>\n"
         "SamplesPerPixel (277) SHORT (3) 1<1>\n"
         "RowsPerStrip (278) SHORT (3) 1<" + std::to_string(rows) + ">\n"
         "StripByteCounts (279) LONG (4) 1<" + std::to_string(bytes) + ">\n"
         "XResolution (282) RATIONAL (5) 1<254>\n"
         "YResolution (283) RATIONAL (5) 1<254>\n"
         "GrayResponseUnit (290) SHORT (3) 1<3>\n"
         "GrayResponseCurve (291) SHORT (3) 1<" + std::to_string(grc) + ">\n"
         "ResolutionUnit (296) SHORT (3) 1<2>\n"
         "65171 (0xfe93) SHORT (3) 64<13419 23124 " + block + " 0 0 4095 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 ...>\n";
}

class TiffInterop : public ::testing::Test {
 protected:
  std::string path(const std::string& name) { return (dir / name).string(); }
  testsupport::TempDir dir;
};

}  // namespace

TEST_F(TiffInterop, TiffdumpListsTheFixedLayout) {
  struct Case {
    int bps, top;
    const char* block;
  };
  for (const Case c : {Case{1, 255, "8 128 256"}, Case{2, 4095, "12 2048 4096"}}) {
    CImageItem image;
    makeImage(image, c.bps, 5, 3, c.top);
    image.odRange = 45;
    image.pitch = 100;  // 25400 / 100 = 254 pixels per inch
    const std::string file = path("dump" + std::to_string(c.bps) + ".tif");
    ASSERT_EQ(WriteTiffFile(image, file), 1);
    EXPECT_EQ(run("tiffdump " + file), goldenListing(file, 8 * c.bps, 15 * c.bps, 4500, 3, c.block));
    EXPECT_EQ(testsupport::readFile(file).size(), 350u + 15u * unsigned(c.bps));
    const std::string info = run("tiffinfo " + file + " 2>&1");
    EXPECT_NE(info.find("Image Width: 5 Image Length: 3"), std::string::npos) << info;
    EXPECT_NE(info.find("Bits/Sample: " + std::to_string(8 * c.bps)), std::string::npos) << info;
  }
}

TEST_F(TiffInterop, FilesRewrittenByTiffcpReadBackToTheSameSamples) {
  for (int bps : {1, 2}) {
    SCOPED_TRACE(bps);
    CImageItem image;
    makeImage(image, bps, 61, 23, bps == 1 ? 255 : 4095);
    const std::string ours = path("ours.tif");
    ASSERT_EQ(WriteTiffFile(image, ours), 1);
    for (std::string options : {"-B", "-c packbits", "-r 7", "-B -c packbits -r 5", "-L"}) {
      SCOPED_TRACE(options);
      const std::string copy = path("copy.tif");
      run("tiffcp " + options + " " + ours + " " + copy + " 2>/dev/null");
      CImageItem back;
      ASSERT_EQ(ReadTiffFile(back, copy), 1) << failures().reason();
      EXPECT_EQ(back.width(), 61);
      EXPECT_EQ(back.height(), 23);
      EXPECT_EQ(back.bytesPerSample(), bps);
      EXPECT_EQ(samples(back), samples(image));
    }
  }
}

TEST_F(TiffInterop, TwoDirectoriesReadTheValuesOfTheLast) {
  CImageItem first, second;
  makeImage(first, 1, 9, 4, 200);
  makeImage(second, 1, 17, 6, 100);
  ASSERT_EQ(WriteTiffFile(first, path("a.tif")), 1);
  ASSERT_EQ(WriteTiffFile(second, path("b.tif")), 1);
  run("tiffcp " + path("a.tif") + " " + path("b.tif") + " " + path("ab.tif") + " 2>/dev/null");
  EXPECT_NE(run("tiffinfo " + path("ab.tif") + " 2>&1").find("TIFF directory 1"), std::string::npos);
  CImageItem back;
  ASSERT_EQ(ReadTiffFile(back, path("ab.tif")), 1);
  EXPECT_EQ(back.width(), 17);
  EXPECT_EQ(samples(back), samples(second));
}

TEST_F(TiffInterop, WhiteIsZeroReadsTheStoredSamplesInverted) {
  CImageItem image;
  makeImage(image, 2, 13, 7, 1000);
  ASSERT_EQ(WriteTiffFile(image, path("w.tif")), 1);
  run("tiffcp " + path("w.tif") + " " + path("wz.tif") + " 2>/dev/null");
  run("tiffset -s 262 0 " + path("wz.tif"));
  EXPECT_NE(run("tiffinfo " + path("wz.tif") + " 2>&1").find("min-is-white"), std::string::npos);
  CImageItem back;
  ASSERT_EQ(ReadTiffFile(back, path("wz.tif")), 1);
  EXPECT_EQ(back.inverted, 1);
  EXPECT_EQ(samples(back), samples(image));
}

TEST_F(TiffInterop, InvertedImagesAreWrittenMinIsWhite) {
  CImageItem image;
  makeImage(image, 1, 13, 7, 200);
  image.inverted = 1;
  ASSERT_EQ(WriteTiffFile(image, path("inv.tif")), 1);
  EXPECT_NE(run("tiffinfo " + path("inv.tif") + " 2>&1").find("min-is-white"), std::string::npos);
  image.inverted = 0;
  ASSERT_EQ(WriteTiffFile(image, path("plain.tif")), 1);
  EXPECT_NE(run("tiffinfo " + path("plain.tif") + " 2>&1").find("min-is-black"), std::string::npos);
}

TEST_F(TiffInterop, LzwIsRefusedAsCompressed) {
  CImageItem image;
  makeImage(image, 1, 20, 20, 255);
  ASSERT_EQ(WriteTiffFile(image, path("plain.tif")), 1);
  run("tiffcp -c lzw " + path("plain.tif") + " " + path("lzw.tif") + " 2>/dev/null");
  CImageItem back;
  EXPECT_EQ(ReadTiffFile(back, path("lzw.tif")), 0);
  EXPECT_EQ(failures().reason(), kCompressedImageData);
}
