#include "crengine/internal/image.h"

#include "crengine/internal/elog.h"

#include "platform/ini.h"
#include "platform/paths.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>
#include <system_error>

namespace crengine {

static_assert(std::endian::native == std::endian::little, "raw files are little-endian 16-bit");

namespace {

constexpr std::uint64_t k4GiB = std::uint64_t(1) << 32;

std::unique_ptr<std::uint16_t[]> zeroed(std::size_t pixels) {
  return std::unique_ptr<std::uint16_t[]>(new (std::nothrow) std::uint16_t[pixels]());
}

// Writes under a temporary name and renames, so a reader never takes a partial
// file for a whole one. `body` returns false after logging its own failure.
bool writeFileWhole(const std::string& path, const std::function<bool(std::FILE*)>& body) {
  std::string part = path + ".part";
  std::FILE* f = std::fopen(part.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = body(f);
  if (std::fclose(f) != 0) ok = false;
  if (ok && std::rename(part.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) std::remove(part.c_str());
  return ok;
}

bool writeText(const std::string& path, const std::string& text) {
  return writeFileWhole(path, [&](std::FILE* f) { return std::fwrite(text.data(), 1, text.size(), f) == text.size(); });
}

void appendLine(std::string& out, const char* key, long value) {
  out += key;
  out += '=';
  out += std::to_string(value);
  out += "\r\n";
}

std::uint16_t invertWithin(std::uint16_t v, std::uint32_t depth) {
  std::uint32_t mask = depth >= 16 ? 0xFFFFu : ((1u << depth) - 1);
  return static_cast<std::uint16_t>(mask & ~std::uint32_t(v));
}

}  // namespace

std::shared_ptr<BlockImageData> BlockImageData::allocate(std::uint32_t width, std::uint32_t linesPerBlock,
                                                         std::uint32_t blockCount, std::uint32_t depth,
                                                         bool invert) {
  if (width == 0 || linesPerBlock == 0 || blockCount == 0 || blockCount > 500) return nullptr;
  std::uint64_t pixelsPerBlock = std::uint64_t(width) * linesPerBlock;
  std::uint64_t total = pixelsPerBlock * 2 * blockCount;
  if (total >= k4GiB) return nullptr;  // the reader's record counts bytes in 32 bits
  auto data = std::make_shared<BlockImageData>();
  data->width = width;
  data->linesPerBlock = linesPerBlock;
  data->blockCount = blockCount;
  data->depth = depth;
  data->invert = invert;
  data->pixelsPerBlock = static_cast<std::size_t>(pixelsPerBlock);
  data->totalBytes = total;
  try {
    data->blocks.reserve(blockCount);
    for (std::uint32_t i = 0; i < blockCount; ++i) {
      auto block = zeroed(data->pixelsPerBlock);
      if (!block) return nullptr;
      data->table.push_back(block.get());
      data->blocks.push_back(std::move(block));
    }
    data->ring.assign(std::size_t(8) * width, 0);
    data->averaged.assign(width, 0);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return data;
}

bool BlockImageData::allocateDemoBlock() {
  demoBlock = zeroed(pixelsPerBlock);
  if (!demoBlock) return false;
  try {
    demoTable.assign(blockCount, demoBlock.get());
  } catch (const std::bad_alloc&) {
    demoBlock.reset();
    return false;
  }
  return true;
}

bool clearPreview(const Preview& preview) {
  if (std::int64_t(preview.width) * preview.height <= 0 || preview.width <= 0 || !preview.image16 ||
      !preview.image8) {
    elog(1, "Error: Miniscreen width=%d height=%d", preview.width, preview.height);
    return false;
  }
  std::size_t pixels = std::size_t(preview.width) * std::size_t(preview.height);
  std::memset(preview.image16, 0, pixels * 2);
  std::memset(preview.image8, 0, pixels);
  return true;
}

bool processBlock(BlockImageData& data, std::uint32_t b, const Preview& preview, Progress& progress) {
  if (b >= data.blockCount) {
    elog(1, "Error: ProcessBlockImage_Block Max block number %d <= %d", int(data.blockCount), int(b));
    return false;
  }
  const std::uint32_t w = data.width;
  const std::uint32_t hb = data.linesPerBlock;
  const std::uint16_t* block = data.blocks[b].get();
  if (engineLogLevel() >= 9) {
    auto [mn, mx] = std::minmax_element(block, block + data.pixelsPerBlock);
    elog(9, "  Block%d Min=%u Max=%u", int(b), unsigned(*mn), unsigned(*mx));
  }
  const int wp = preview.width;
  const int hp = preview.height;
  if (b == 0) {
    data.scale = double(hp) / double(data.totalLines());
    for (std::uint32_t i = 0; i < 8; ++i) {
      std::uint16_t* slot = &data.ring[std::size_t(i) * w];
      if (i < hb)
        std::memcpy(slot, block + std::size_t(i) * w, std::size_t(w) * 2);
      else
        std::fill(slot, slot + w, 0);
    }
    elog(6, "Miniscreen size = (%d,%d)", wp, hp);
    elog(6, "X_Resize=%5.2lf%%%% Y_Resize=%5.2f%%%%", double(wp) / double(w) * 100.0, data.scale * 100.0);
  }
  const double xStep = double(w) / double(wp);
  const std::uint32_t depth = data.depth;
  const int shift8 = depth > 8 ? int(depth) - 8 : 0;
  for (std::uint32_t j = 0; j < hb; ++j) {
    const std::uint32_t k = b * hb + j;
    progress.scanLine = int(k + 1);
    const std::uint16_t* line = block + std::size_t(j) * w;
    std::uint16_t* slot = &data.ring[std::size_t(k % 8) * w];
    // 7-pixel mean; the three pixels at each end are copied.
    for (std::uint32_t x = 0; x < w; ++x) {
      if (x >= 3 && x + 3 < w) {
        std::uint32_t sum = 0;
        for (std::uint32_t t = x - 3; t <= x + 3; ++t) sum += line[t];
        slot[x] = static_cast<std::uint16_t>(sum / 7);
      } else {
        slot[x] = line[x];
      }
    }
    const int y = int(data.scale * double(k));
    const int mini = progress.miniLine.load();
    if (y < mini || y >= hp) continue;
    for (std::uint32_t x = 0; x < w; ++x) {
      std::uint32_t sum = 0;
      for (std::uint32_t s = 0; s < 8; ++s) sum += data.ring[std::size_t(s) * w + x];
      data.averaged[x] = static_cast<std::uint16_t>(sum / 8);
    }
    std::uint16_t* row16 = preview.image16 + std::size_t(y) * wp;
    std::uint8_t* row8 = preview.image8 + std::size_t(y) * wp;
    for (int i = 0; i < wp; ++i) {
      std::uint32_t src = static_cast<std::uint32_t>(xStep * i);
      if (src > w - 1) src = w - 1;
      std::uint16_t v = data.averaged[src];
      if (data.invert) v = invertWithin(v, depth);
      row16[i] = v;
      row8[i] = static_cast<std::uint8_t>(v >> shift8);
    }
    for (int r = mini; r < y; ++r) {
      std::memcpy(preview.image16 + std::size_t(r) * wp, row16, std::size_t(wp) * 2);
      std::memcpy(preview.image8 + std::size_t(r) * wp, row8, std::size_t(wp));
    }
    progress.miniLine = y + 1;
  }
  progress.block = int(b);
  progress.processed = int(b + 1);
  if (progress.info.load() < 1) progress.info = 1;
  return true;
}

bool writeRawFile(const BlockImageData& data, const std::string& path, const devapi::ScanCondition& condition,
                  const devapi::KtGOption& option) {
  elog(9, " CreateFile %s", path.c_str());
  bool opened = false;
  bool ok = writeFileWhole(path, [&](std::FILE* f) {
    opened = true;
    bool all = true;
    for (std::uint32_t i = 0; i < data.blockCount; ++i) {
      if (std::fwrite(data.blocks[i].get(), 2, data.pixelsPerBlock, f) != data.pixelsPerBlock) {
        elog(1, "Error: WriteFile %s failed. block=%u/%u", path.c_str(), unsigned(i), unsigned(data.blockCount));
        all = false;
      }
    }
    return all;
  });
  if (!opened) {
    elog(1, "Error: CreateFile %s failed.", path.c_str());
    return false;
  }
  if (!ok) return false;
  std::string infoPath = path + ".info";
  elog(6, "  Image size %d x %d", int(data.width), int(data.totalLines()));
  elog(6, "  InfoFileName = %s", infoPath.c_str());
  std::string info = "[ImageInfo]\r\n";
  appendLine(info, "ImageWidth", data.width);
  appendLine(info, "ImageHeight", data.totalLines());
  appendLine(info, "BitsPerPixel", data.depth);
  appendLine(info, "Xpitch", condition.pitch);
  appendLine(info, "Ypitch", condition.pitch);
  appendLine(info, "ScanMode", condition.mode);
  appendLine(info, "od_min", condition.od_min);
  appendLine(info, "od_max", condition.od_max);
  appendLine(info, "sensitivity", option.HV);
  info += "Status=Complete\r\n";
  if (!writeText(infoPath, info)) {
    elog(1, "Error: write failed. %s", infoPath.c_str());
    return false;
  }
  return true;
}

bool writePreviewFiles(const Preview& preview, const std::string& path, int depth) {
  if (!preview.image16 || preview.width <= 0 || preview.height <= 0) return false;
  std::string mini = path + ".mini.raw";
  std::size_t pixels = std::size_t(preview.width) * std::size_t(preview.height);
  if (!writeFileWhole(mini, [&](std::FILE* f) { return std::fwrite(preview.image16, 2, pixels, f) == pixels; })) {
    elog(1, "Error: CreateFile %s failed.", mini.c_str());
    return false;
  }
  std::string infoPath = mini + ".info";
  elog(9, " fopen %s", infoPath.c_str());
  std::string info = "[ImageInfo]\r\n";
  appendLine(info, "ImageWidth", preview.width);
  appendLine(info, "ImageHeight", preview.height);
  appendLine(info, "BitsPerPixel", depth);
  if (!writeText(infoPath, info)) {
    elog(1, "Error: write failed. %s", infoPath.c_str());
    return false;
  }
  return true;
}

bool StoredImages::setDirectory(const std::string& configured, const std::filesystem::path& programDir) {
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::absolute(platform::paths::resolve(configured, programDir), ec);
  if (ec || configured.empty()) {
    elog(1, "Error: DummyImageFile::SetDirectory failed. %s", configured.c_str());
    return false;
  }
  directory_ = dir.lexically_normal();
  std::string text = directory_.string();
  if (text.empty() || text.back() != '/') text += '/';
  directory_ = text;
  elog(6, "  DummyImageDirectory = %s", text.c_str());
  return true;
}

bool StoredImages::fill(BlockImageData& data, int outputDepth, bool invert) {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(directory_, ec); !ec && it != std::filesystem::directory_iterator();
       it.increment(ec)) {
    std::string ext = it->path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (ext == ".raw" && it->is_regular_file(ec)) files.push_back(it->path());
  }
  if (files.empty()) {
    elog(1, "Error: Dummy raw file nothing.");
    return false;
  }
  std::sort(files.begin(), files.end());
  // Every attempt moves on, so one unreadable image does not repeat forever.
  const std::string raw = files[attempts_++ % files.size()].string();
  const std::string infoPath = raw + ".info";
  if (!std::filesystem::exists(infoPath, ec)) {
    elog(1, "Error: %s nothing.", infoPath.c_str());
    return false;
  }
  auto ini = platform::ini::IniFile::load(infoPath);
  auto w = ini.value("ImageInfo", "ImageWidth");
  auto h = ini.value("ImageInfo", "ImageHeight");
  auto bits = ini.value("ImageInfo", "BitsPerPixel");
  if (!w || !h || !bits) {
    elog(1, "Error: %s read failed.", infoPath.c_str());
    return false;
  }
  const long long storedW = platform::ini::parseInt(*w);
  const long long storedH = platform::ini::parseInt(*h);
  const int storedBits = platform::ini::parseInt(*bits);
  const long long lineBytes = storedW * 2;
  if (storedW <= 0 || storedH <= 0 || storedBits < 1 || storedBits > 16 ||
      std::uint64_t(lineBytes) * std::uint64_t(storedH) >= k4GiB) {
    elog(1, "Error: %s read failed.", infoPath.c_str());
    return false;
  }
  std::FILE* f = std::fopen(raw.c_str(), "rb");
  if (f == nullptr) {
    elog(1, "Error: %s open failed.(CreateFile)", raw.c_str());
    return false;
  }
  auto size = std::filesystem::file_size(raw, ec);
  if (ec || size < std::uint64_t(lineBytes) * std::uint64_t(storedH)) {
    elog(1, "Error: %s open failed.(GetFileSize)", raw.c_str());
    std::fclose(f);
    return false;
  }
  std::vector<std::uint16_t> line;
  try {
    line.resize(std::size_t(storedW));
  } catch (const std::bad_alloc&) {
    elog(1, "Error: malloc failed. size=%d", int(lineBytes));
    std::fclose(f);
    return false;
  }
  elog(6, "    DummyRawFile %s", raw.c_str());
  const std::uint32_t w32 = data.width;
  const std::uint64_t lines = data.totalLines();
  bool ok = true;
  for (std::uint64_t k = 0; k < lines && ok; ++k) {
    if (k % std::uint64_t(storedH) == 0) std::fseek(f, 0, SEEK_SET);
    std::size_t got = std::fread(line.data(), 2, line.size(), f);
    if (got != line.size()) {
      if (std::ferror(f))
        elog(1, "Error: ReadFile failed.");
      else
        elog(1, "Error: ReadFile size failed. want size=%d read size=%d", int(lineBytes), int(got * 2));
      ok = false;
      break;
    }
    for (std::uint16_t& v : line) {
      std::uint32_t x = v;
      if (outputDepth >= storedBits)
        x <<= (outputDepth - storedBits);
      else
        x >>= (storedBits - outputDepth);
      v = static_cast<std::uint16_t>(x);
      if (invert) v = invertWithin(v, std::uint32_t(outputDepth));
    }
    std::uint16_t* out = data.blocks[k / data.linesPerBlock].get() + std::size_t(k % data.linesPerBlock) * w32;
    for (std::uint32_t x = 0; x < w32; ++x) out[x] = line[x % line.size()];
  }
  std::fclose(f);
  return ok;
}

}  // namespace crengine
