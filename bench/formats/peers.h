// The peers of our formats, each driven directly in this process: libtiff,
// libjpeg-turbo, the 12-bit IJG build and DCMTK's data library. Readers fill
// memory that is allocated and not cleared, as our image buffers are.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace bench_formats {

template <class T>
struct Pixels {
  std::unique_ptr<T[]> data;
  int width = 0, height = 0;
};

bool tiffWrite(const std::string& path, int width, int height, const std::uint16_t* pixels);
bool tiffRead(const std::string& path, Pixels<std::uint16_t>& out);

bool jpeg8Encode(const std::string& path, int width, int height, const std::uint8_t* pixels, int quality);
bool jpeg8Decode(const std::string& path, Pixels<std::uint8_t>& out);

bool ijg12Encode(const std::string& path, int width, int height, const std::uint16_t* pixels, int quality);
bool ijg12Decode(const std::string& path, Pixels<std::uint16_t>& out);

// A 16-bit monochrome image with its size elements in a data set of DCMTK's,
// built once so that a timed save does only the write, as ours writes an
// image it holds.
class DcmtkImage {
 public:
  DcmtkImage(int width, int height, const std::uint16_t* pixels);
  ~DcmtkImage();
  DcmtkImage(const DcmtkImage&) = delete;
  DcmtkImage& operator=(const DcmtkImage&) = delete;
  // Writes the file, explicit little endian.
  bool save(const std::string& path);

 private:
  struct File;
  std::unique_ptr<File> file_;
};
// Loads the whole file, pixel data included, into the data set's own memory;
// copy, when given, receives the pixels for a comparison.
bool dcmtkRead(const std::string& path, Pixels<std::uint16_t>* copy);

}  // namespace bench_formats
