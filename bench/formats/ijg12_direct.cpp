#include "ijg12_direct.h"

#include <cstdio>

extern "C" {
#include <gdcmjpeg/12/jpeglib.h>
}

namespace bench_formats {

bool ijg12Encode(const std::string& path, int width, int height, const std::uint16_t* pixels, int quality) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  jpeg_compress_struct c;
  jpeg_error_mgr e;
  c.err = jpeg_std_error(&e);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, f);
  c.image_width = JDIMENSION(width);
  c.image_height = JDIMENSION(height);
  c.input_components = 1;
  c.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(width));
  JSAMPROW rows[1] = {row.data()};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) row[std::size_t(x)] = JSAMPLE(pixels[std::size_t(y) * width + x]);
    jpeg_write_scanlines(&c, rows, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  return std::fclose(f) == 0;
}

bool ijg12Decode(const std::string& path, std::vector<std::uint16_t>& out, int& width, int& height) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  jpeg_decompress_struct d;
  jpeg_error_mgr e;
  d.err = jpeg_std_error(&e);
  jpeg_create_decompress(&d);
  jpeg_stdio_src(&d, f);
  jpeg_read_header(&d, TRUE);
  jpeg_start_decompress(&d);
  width = int(d.output_width);
  height = int(d.output_height);
  out.resize(std::size_t(width) * std::size_t(height));
  std::vector<JSAMPLE> row(static_cast<std::size_t>(width));
  JSAMPROW rows[1] = {row.data()};
  while (d.output_scanline < d.output_height) {
    std::uint16_t* dst = out.data() + std::size_t(d.output_scanline) * std::size_t(width);
    jpeg_read_scanlines(&d, rows, 1);
    for (int x = 0; x < width; ++x) dst[x] = std::uint16_t(row[std::size_t(x)]);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  std::fclose(f);
  return true;
}

}  // namespace bench_formats
