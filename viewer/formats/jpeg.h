// JPEG files and the JPEG codec glue: greyscale progressive encoding of 8-bit
// samples (the system's 8-bit libjpeg) and 12-bit samples (the IJG 12-bit
// build), and decoding of grey and colour streams from memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "viewer/image_model.h"

namespace viewer::formats {

// Where an encoder's bytes go; false when they could not be written.
class JpegSink {
 public:
  virtual ~JpegSink() = default;
  virtual bool write(const void* data, std::size_t n) = 0;
};

// What the frame header (SOF) of a stream says.
struct JpegFrame {
  int width = 0, height = 0, components = 0, precision = 0;
};

// Finds the first frame header of a stream without decoding; false when there
// is none before the first scan or the data end.
bool probeJpeg(const std::uint8_t* data, std::size_t size, JpegFrame& frame);

// Whether data opens as a JPEG stream (its start-of-image marker): a stream
// that does and then fails is damaged, not of another kind.
bool startsAsJpeg(const std::uint8_t* data, std::size_t size);

// One complete greyscale progressive stream of width x height samples at the
// given quality (baseline tables forced). 0 on success, -1 on any failure,
// including a sink that refused bytes.
int EncodeJpeg8(JpegSink& sink, int width, int height, const std::uint8_t* pixels, int quality);
int EncodeJpeg12(JpegSink& sink, int width, int height, const std::uint16_t* pixels, int quality);

// Asked once the header is read: where to put the frame's width x height
// samples (for a three-component 8-bit stream, its green samples); null when
// there is no memory.
using JpegAllocate = std::function<void*(const JpegFrame&)>;

// Decodes a whole stream from memory, never reading past size. 0 on success,
// -2 when allocate gave no buffer, -1 for a stream the build cannot decode,
// -3 for a damaged one (cut short, or corrupt in its markers or coded data).
constexpr int kJpegDamaged = -3;
int DecodeJpegToBuffer8(const std::uint8_t* data, std::size_t size, const JpegAllocate& allocate);
int DecodeJpegToBuffer12(const std::uint8_t* data, std::size_t size, const JpegAllocate& allocate);

int ReadJpegFile(CImageItem& image, const std::string& path);
int WriteJpegFile(const CImageItem& image, const std::string& path);

}  // namespace viewer::formats
