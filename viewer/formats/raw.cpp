#include "viewer/formats/raw.h"

#include <algorithm>
#include <vector>

#include "viewer/formats/format_support.h"
#include "viewer/formats/internal/file_io.h"

namespace viewer::formats {

namespace {
RawLayout g_lastLayout;
}

RawLastParameters& rawParameters() {
  static RawLastParameters p;
  return p;
}

void rawBeginOpenCommand() { rawParameters().ask = 1; }

RawLayout lastRawLayout() { return g_lastLayout; }

namespace {

// Reads width x height samples of the image's depth at the header offset, in
// the given order, keeping the low 12 bits of 16-bit samples; then the
// statistics and defaults of a RAW read.
int readSamples(CImageItem& image, const internal::InputFile& f, int bps, int width, int height,
                std::int64_t header, bool swap) {
  const std::uint64_t bytes = std::uint64_t(width) * std::uint64_t(height) * std::uint64_t(bps);
  if (header < 0 || !f.holds(std::uint64_t(header), bytes)) return fail(kFileAccessFailure);
  if (bytes > kMaxImageBytes) return fail(kOutOfMemory);
  if (!image.allocate(bps, width, height)) return fail(kOutOfMemory);
  if (!f.readExact(std::uint64_t(header), image.data(), image.byteCount())) return fail(kFileAccessFailure);
  if (bps == 2) {
    std::uint16_t* p = image.data16();
    if (swap) internal::swap16(p, image.sampleCount());
    for (std::size_t i = 0, n = image.sampleCount(); i < n; ++i) p[i] &= 0x0FFF;
  }
  if (!image.completeLoad()) return fail(kLargerThan12Bits);
  // For 16-bit data the samples decide, not the depth chosen in the dialog.
  if (bps == 2) image.bitsStored = image.maxValue < 1024 ? 10 : 12;
  image.rawLayout = {width, height, header, swap ? 1 : 0};
  g_lastLayout = image.rawLayout;
  return 1;
}

}  // namespace

int ReadRawFile(CImageItem& image, const std::string& path) {
  failures().beginRead();
  image.freePixels();
  internal::InputFile f;
  if (!f.open(path)) return fail(kFileAccessFailure);
  RawLastParameters& last = rawParameters();
  if (!last.depthLoaded) {
    last.depthIndex = std::clamp(settings().rawBitsPixel, 0, 2);
    last.depthLoaded = true;
  }
  RawDialogValues v;
  v.width = last.width;
  v.height = last.height;
  v.headerSize = last.headerSize;
  v.depthIndex = last.depthIndex;
  v.byteOrder = last.byteOrder;
  v.adopt = last.adopt;
  const bool sameSize = f.size() == last.lastFileSize;
  if (!sameSize) v.width = v.height = 0;
  if (!(last.ask == 0 && last.adopt == 1 && sameSize)) {
    if (!prompt().rawParameters(internal::fileNameOf(path), f.size(), v)) return fail(kCancelled);
    if (v.width < 1 || v.height < 1 || v.width > kMaxImageSide || v.height > kMaxImageSide || v.headerSize < 0 ||
        v.depthIndex < 0 || v.depthIndex > 2 || (v.byteOrder != 0 && v.byteOrder != 1))
      return fail(kNotSupported);
    last.width = v.width;
    last.height = v.height;
    last.headerSize = v.headerSize;
    last.depthIndex = v.depthIndex;
    last.byteOrder = v.byteOrder;
    last.adopt = v.adopt;
    last.lastFileSize = f.size();
    settings().rawBitsPixel = v.depthIndex;
    if (v.adopt == 1) last.ask = 0;
  }
  const int bps = v.depthIndex == 0 ? 1 : 2;
  image.pitch = 200;
  image.odRange = 0;
  image.sopInstanceUid.clear();
  image.studyInstanceUid.clear();
  image.seriesInstanceUid.clear();
  image.bitsStored = 8 * bps;
  return readSamples(image, f, bps, v.width, v.height, v.headerSize, v.byteOrder == 0);
}

int ReloadRawFile(CImageItem& image, const std::string& path) {
  failures().beginRead();
  internal::InputFile f;
  if (!f.open(path)) return fail(kFileAccessFailure);
  const int bps = image.bytesPerSample();
  const RawLayout layout = image.rawLayout;
  image.freePixels();
  if (layout.width < 1 || layout.height < 1) return fail(kFileAccessFailure);
  return readSamples(image, f, bps, layout.width, layout.height, layout.header, layout.swap != 0);
}

int WriteRawFile(const CImageItem& image, const std::string& path, int byteOrder) {
  internal::OutputFile out;
  if (!out.open(path)) {
    reportWriteFailure(path);
    return 0;
  }
  bool ok = image.hasPixels();
  if (ok && image.bytesPerSample() == 2 && byteOrder == 1) {
    // Swapped a block at a time: no copy of the whole image is needed.
    std::vector<std::uint16_t> block(32768);
    const std::uint16_t* p = image.data16();
    for (std::size_t i = 0, n = image.sampleCount(); ok && i < n; i += block.size()) {
      const std::size_t k = std::min(block.size(), n - i);
      std::copy(p + i, p + i + k, block.begin());
      internal::swap16(block.data(), k);
      ok = out.write(block.data(), k * 2);
    }
  } else if (ok) {
    ok = out.write(image.data(), image.byteCount());
  }
  if (!ok) out.discard();
  if (!ok || !out.finish()) {
    reportWriteFailure(path);
    return 0;
  }
  g_lastLayout = {image.width(), image.height(), 0, 0};
  return 1;
}

}  // namespace viewer::formats
