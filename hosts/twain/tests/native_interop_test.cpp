// ImageMagick reads the data source's native transfers back as BMP files.
#include "hosts/twain/testapp/session.h"
#include "hosts/twain/tests/source_fixture.h"

#include <gtest/gtest.h>

namespace {

using namespace sourcetest;

TEST_F(Source, NativeImagesReadBackByImageMagick) {
  struct Case {
    std::uint32_t width;
    int bytes, bits;
    int depth;     // the depth the pixels are read back in
    int scale;     // what ImageMagick multiplies a stored sample by at that depth
  } cases[] = {
      {37, 1, 8, 8, 1},      // grey palette, rows padded from 37 to 40 bytes
      {37, 2, 12, 16, 16},   // masks 4095
      {37, 2, 10, 16, 64},   // masks 1023
  };
  for (const Case& c : cases) {
    SetUp();
    ASSERT_TRUE(platform::ini::writeString(dir / "Selvane.cap", "ICAP_XFERMECH", "Current", "TWSX_NATIVE"));
    pictures.make(c.width, 11, c.bytes, c.bits);
    reach(6);
    TW_HANDLE dib = nullptr;
    ASSERT_EQ(call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
    const std::filesystem::path bmp = dir / "native.bmp";
    ASSERT_TRUE(twain::writeBmpFile(recording::bytesOf(dib), recording::sizeOf(dib), bmp));
    recording::free(dib);

    auto shape = testsupport::runCommand("identify -format '%w %h %[type]' '" + bmp.string() + "'");
    EXPECT_EQ(shape.status, 0) << shape.output;
    EXPECT_EQ(shape.output, std::to_string(c.width) + " 11 Grayscale") << c.bits;

    auto pixels = testsupport::runCommand("convert '" + bmp.string() + "' -colorspace Gray -depth " +
                                          std::to_string(c.depth) + " -endian MSB gray:-");
    ASSERT_EQ(pixels.status, 0);
    const std::size_t sampleBytes = c.depth / 8;
    ASSERT_EQ(pixels.output.size(), std::size_t{c.width} * 11 * sampleBytes) << c.bits;
    for (std::size_t i = 0; i < std::size_t{c.width} * 11; ++i) {
      // 16-bit samples come most significant byte first, as asked for.
      unsigned read = sampleBytes == 1 ? static_cast<std::uint8_t>(pixels.output[i])
                                       : static_cast<std::uint8_t>(pixels.output[2 * i]) << 8 |
                                             static_cast<std::uint8_t>(pixels.output[2 * i + 1]);
      unsigned stored = c.bytes == 1 ? pictures.pixels[i] : pictures.pixels[2 * i] | pictures.pixels[2 * i + 1] << 8;
      ASSERT_EQ(read, stored * c.scale) << "bits " << c.bits << " sample " << i;
    }
  }
}

}  // namespace
