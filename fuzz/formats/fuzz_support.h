// The shared body of the format fuzz targets: the input becomes a file in
// memory, the reader reads it, and a failure must carry one of the reasons.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "viewer/formats/format_support.h"
#include "viewer/image_model.h"

namespace formats_fuzz {

template <typename Reader>
void readThroughFile(const std::uint8_t* data, std::size_t size, Reader reader) {
  const int fd = memfd_create("fuzz-input", MFD_CLOEXEC);
  if (fd < 0) std::abort();
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) std::abort();
    done += std::size_t(n);
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  viewer::CImageItem image;
  const int r = reader(image, path);
  ::close(fd);
  if (r == 1) {
    if (!image.hasPixels() || image.maxValue < 255) std::abort();
  } else {
    const int reason = viewer::formats::failures().reason();
    if (r != 0 || reason < viewer::formats::kUnknownReason || reason > viewer::formats::kCancelled) std::abort();
  }
}

}  // namespace formats_fuzz
