#include "peers.h"

#include <tiffio.h>

namespace bench_formats {

bool tiffWrite(const std::string& path, int width, int height, const std::uint16_t* pixels) {
  TIFF* t = TIFFOpen(path.c_str(), "w");
  if (!t) return false;
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, std::uint32_t(width));
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, std::uint32_t(height));
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 16);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, std::uint32_t(height));
  const tmsize_t bytes = tmsize_t(width) * height * 2;
  const bool ok = TIFFWriteEncodedStrip(t, 0, const_cast<std::uint16_t*>(pixels), bytes) == bytes;
  TIFFClose(t);
  return ok;
}

bool tiffRead(const std::string& path, Pixels<std::uint16_t>& out) {
  // Our files carry a private tag that libtiff does not know; that is no fault.
  TIFFSetWarningHandler(nullptr);
  TIFF* t = TIFFOpen(path.c_str(), "r");
  if (!t) return false;
  std::uint32_t w = 0, h = 0;
  std::uint16_t bps = 0;
  TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
  TIFFGetField(t, TIFFTAG_BITSPERSAMPLE, &bps);
  bool ok = bps == 16 && w > 0 && h > 0;
  if (ok) {
    const tmsize_t total = tmsize_t(w) * h * 2;
    out.data.reset(new std::uint16_t[std::size_t(w) * h]);
    out.width = int(w);
    out.height = int(h);
    char* dst = reinterpret_cast<char*>(out.data.get());
    tmsize_t done = 0;
    for (tstrip_t s = 0; ok && s < TIFFNumberOfStrips(t) && done < total; ++s) {
      const tmsize_t n = TIFFReadEncodedStrip(t, s, dst + done, total - done);
      ok = n > 0;
      done += n;
    }
    ok = ok && done == total;
  }
  TIFFClose(t);
  return ok;
}

}  // namespace bench_formats
