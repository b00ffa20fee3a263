#include <memory>
#include <new>

#include "viewer/formats/format_support.h"
#include "viewer/formats/internal/file_io.h"
#include "viewer/formats/jpeg.h"

namespace viewer::formats {

bool startsAsJpeg(const std::uint8_t* data, std::size_t size) {
  return data != nullptr && size >= 2 && data[0] == 0xFF && data[1] == 0xD8;
}

bool probeJpeg(const std::uint8_t* data, std::size_t size, JpegFrame& frame) {
  if (!startsAsJpeg(data, size) || size < 4) return false;
  std::size_t pos = 2;
  while (pos < size) {
    if (data[pos] != 0xFF) {
      ++pos;  // stray bytes between segments are skipped, as decoders do
      continue;
    }
    while (pos < size && data[pos] == 0xFF) ++pos;  // fill bytes
    if (pos >= size) return false;
    const std::uint8_t marker = data[pos++];
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    if (marker == 0xD9 || marker == 0xDA) return false;  // end or scan before any frame
    if (size - pos < 2) return false;
    const std::size_t length = std::size_t(data[pos] << 8 | data[pos + 1]);
    if (length < 2 || length > size - pos) return false;
    const bool sof = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (sof) {
      if (length < 8) return false;
      const std::uint8_t* p = data + pos;
      frame.precision = p[2];
      frame.height = p[3] << 8 | p[4];
      frame.width = p[5] << 8 | p[6];
      frame.components = p[7];
      return true;
    }
    pos += length;
  }
  return false;
}

namespace {

class FileSink : public JpegSink {
 public:
  explicit FileSink(internal::OutputFile& out) : out_(out) {}
  bool write(const void* data, std::size_t n) override { return out_.write(data, n); }

 private:
  internal::OutputFile& out_;
};

}  // namespace

int ReadJpegFile(CImageItem& image, const std::string& path) {
  failures().beginRead();
  image.freePixels();
  internal::InputFile f;
  if (!f.open(path)) return fail(kFileAccessFailure);
  if (f.size() > kMaxImageBytes) return fail(kOutOfMemory);
  // Not cleared first: the read fills every byte, and clearing a large file's
  // worth costs a pass over it.
  const std::size_t length = std::size_t(f.size());
  std::unique_ptr<std::uint8_t[]> bytes(new (std::nothrow) std::uint8_t[length ? length : 1]);
  if (!bytes) return fail(kOutOfMemory);
  if (!f.readExact(0, bytes.get(), length)) return fail(kFileAccessFailure);

  // The frame header decides the build, so a 12-bit file never meets the
  // 8-bit decoder.
  JpegFrame frame;
  if (!probeJpeg(bytes.get(), length, frame))
    return fail(startsAsJpeg(bytes.get(), length) ? kFileAccessFailure : kNotSupported);
  int bps = 0;
  if (frame.precision == 8 && (frame.components == 1 || frame.components == 3)) bps = 1;
  else if (frame.precision == 12 && frame.components == 1) bps = 2;
  else return fail(kNotSupported);

  const JpegAllocate allocate = [&](const JpegFrame& header) -> void* {
    return image.allocate(bps, header.width, header.height) ? image.data() : nullptr;
  };
  const int r = bps == 1 ? DecodeJpegToBuffer8(bytes.get(), length, allocate)
                         : DecodeJpegToBuffer12(bytes.get(), length, allocate);
  if (r == -2) return fail(kOutOfMemory);
  // A damaged file is no file of another kind: its reason says it could not be read.
  if (r == kJpegDamaged) return fail(kFileAccessFailure);
  if (r != 0) return fail(kNotSupported);

  image.bitsStored = bps == 1 ? 8 : 12;
  image.pitch = 200;
  image.odRange = 0;
  image.sopInstanceUid.clear();
  image.studyInstanceUid.clear();
  image.seriesInstanceUid.clear();
  if (!image.completeLoad()) return fail(kLargerThan12Bits);
  return 1;
}

int WriteJpegFile(const CImageItem& image, const std::string& path) {
  internal::OutputFile out;
  if (!out.open(path)) {
    reportWriteFailure(path);
    return 0;
  }
  FileSink sink(out);
  const int quality = settings().jpegQuality;
  const int r = !image.hasPixels() ? -1
                : image.bytesPerSample() == 2
                    ? EncodeJpeg12(sink, image.width(), image.height(), image.data16(), quality)
                    : EncodeJpeg8(sink, image.width(), image.height(), image.data(), quality);
  // A stream that did not reach the disk in full is no file.
  if (r != 0) out.discard();
  if (r != 0 || !out.finish()) {
    reportWriteFailure(path);
    return 0;
  }
  return 1;
}

}  // namespace viewer::formats
