#include "devapi/cr/cr_scanner.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <vector>

#include "devapi/cr/internal/hard_params.h"
#include "devapi/device_library.h"
#include "platform/clock.h"
#include "platform/ini.h"
#include "platform/paths.h"

namespace zentrac {

using devapi::kIncorrectParameter;
using devapi::kSystemCallFailed;

namespace {

constexpr std::uint64_t kPiece = 1048576;  // progress every 1 MiB
constexpr int kRawShadingWrite = 37;
constexpr int kRawShadingRead = 38;
constexpr int kRawCancel = 39;
constexpr int kRawErase = 40;
constexpr int kShadingEntries = 8192;
constexpr std::uint32_t kCancelWaitMs = 180000;
constexpr std::uint32_t kEjectPollMs = 500;
// Far above any plate (7120 x 8640 pixels are 123 MB), far below what a
// corrupt cached geometry could ask for.
constexpr std::uint64_t kMaxImageBufferBytes = std::uint64_t(1) << 30;

std::mutex settingsMutex;
DllSettings settings;

void anchor() {}

std::uint16_t low16(std::uint64_t v) { return std::uint16_t(v & 0xFFFF); }

// Rounded to the nearest integer, kept within a 16-bit word.
std::uint16_t scaleRounded(std::uint64_t value, std::uint64_t numerator, std::uint64_t denominator) {
  const std::uint64_t scaled = (value * numerator * 2 + denominator) / (denominator * 2);
  return std::uint16_t(std::min<std::uint64_t>(scaled, 0xFFFF));
}

// The fill value of the samples of a plate that ended early.
std::uint16_t maskValue(int maskData, std::uint32_t outBitDepth) {
  const int shift = std::clamp(16 - int(outBitDepth), 0, 16);
  return std::uint16_t((std::uint32_t(maskData) & 0xFFFF) >> shift);
}

}  // namespace

DllSettings loadDllSettings(const std::filesystem::path& file) {
  namespace ini = platform::ini;
  constexpr std::string_view s = "KVDEV";
  DllSettings d;
  d.splitFlag = ini::getInt(file, s, "SPLIT_FLAG", d.splitFlag);
  d.splitLine = ini::getInt(file, s, "SPLIT_LINE", d.splitLine);
  d.maskData = ini::getInt(file, s, "MASK_DATA", d.maskData);
  d.eightLine = ini::getInt(file, s, "EIGHT_LINE", d.eightLine);
  d.eraseMode = ini::getInt(file, s, "ERASE_MODE", d.eraseMode);
  d.region1mm = ini::getInt(file, s, "7163W1mH1m", d.region1mm);
  d.modePlusOne = ini::getInt(file, s, "7163Smode", d.modePlusOne);
  d.fineMode = ini::getInt(file, s, "FINE_Smode", d.fineMode);
  d.productIdCheck = ini::getInt(file, s, "PRODUCT_ID_CHECK", d.productIdCheck);
  d.noProcImage = ini::getInt(file, s, "NoPROC_IMAGE", d.noProcImage);
  return d;
}

std::filesystem::path libraryDir() {
  return platform::paths::moduleDir(reinterpret_cast<const void*>(&anchor));
}

DllSettings currentSettings() {
  std::lock_guard<std::mutex> lock(settingsMutex);
  return settings;
}

void rereadSettings() {
  const DllSettings fresh = loadDllSettings(libraryDir() / "Zentrac_DLL.ini");
  std::lock_guard<std::mutex> lock(settingsMutex);
  settings = fresh;
}

// ---------------------------------------------------------------------------

CrScanner::CrScanner()
    : KorvaScanner(kLogLimit),
      settings_(currentSettings()),
      corrections_(loadHardParams(libraryDir() / std::string(kHardIniName))) {}

CrScanner::~CrScanner() { JoinReader(); }

void CrScanner::ApplyTimeouts(std::int32_t requested) {
  const auto slots = commandTimeouts(requested);
  {
    std::lock_guard<std::mutex> lock(mutex);
    commandTimeout_ = std::int32_t(slots[5]);
  }
  driver.SetCommandTimeouts(slots);
}

bool CrScanner::SendParameters(const ScanParameters& parameters) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    scanParameters = parameters;
  }
  return ProcessDriverResult("SetScanParameters", driver.SetScanParameters(parameters));
}

// ---------------------------------------------------------------------------
// Conditions and options

int CrScanner::SetCondition(devapi::ScanCondition* c) {
  if (!c) return Refuse();
  const DllSettings s = currentSettings();
  const std::uint32_t pitch = c->pitch;
  if (pitch == 0) return Refuse();
  if (s.region1mm && c->width == 1 && c->height == 1 && pitch > 50) {
    std::uint32_t n = pitch / 50;
    if (n * 1000 / pitch < 20) ++n;
    c->width = n;
    c->height = n;
  }
  auto pixels = [pitch](std::uint32_t mm) { return std::uint64_t(mm) * 1000 / pitch; };
  const std::uint64_t startX = pixels(c->x_start), startY = pixels(c->y_start);
  const std::uint64_t sizeX = pixels(c->width), sizeY = pixels(c->height);
  if (s.eightLine && sizeY <= 15) return Refuse();
  ScanParameters p;
  if (!RegionParameters(pitch, startX, startY, sizeX, sizeY, p)) return Refuse();
  p.FilmXSize = low16(c->width);
  p.FilmYSize = low16(c->height);
  p.AFMode = 1;
  std::uint32_t mode = c->mode;
  if (s.modePlusOne) ++mode;
  if (!s.fineMode && mode > 2) mode = 2;
  const std::uint16_t high = s.eraseMode ? (p.Option1 & 0xFF00) : 0;
  p.Option1 = std::uint16_t(high | (mode & 0xFF));
  p.Option2 = std::uint16_t(c->od_min << 8 | c->od_max);
  return SendParameters(p) ? 1 : 0;
}

bool CrScanner::ReadCondition(ScanParameters& p) {
  if (!ProcessDriverResult("ReadScanParameters", driver.ReadScanParameters(p))) return false;
  // Option3 is the scanner condition; bit 7 is its error.
  if (p.Option3 & 0x80) CatchUpDeviceError();
  return true;
}

int CrScanner::GetCondition(devapi::ScanCondition* c) {
  if (!c) return Refuse();
  const DllSettings s = currentSettings();
  ScanParameters p{};
  if (!ReadCondition(p)) return 0;
  {
    std::lock_guard<std::mutex> lock(mutex);
    scanParameters = p;
  }
  const std::uint64_t pitch = p.ScanPitch;
  c->unit = 1;
  c->auto_feeder = 0;
  c->roll_film = 0;
  c->endian = 0;
  c->pitch = p.ScanPitch;
  c->x_start = std::uint32_t((p.ScanStartAddressX * pitch + 999) / 1000);
  c->y_start = std::uint32_t((p.ScanStartAddressY * pitch + 999) / 1000);
  c->width = p.FilmXSize;
  c->height = p.FilmYSize;
  c->pixel_bit_n = std::uint8_t(p.ImageDataFormat >> 8);
  c->out_bit_depth = std::uint8_t(p.ImageDataFormat & 0xFF);
  std::uint32_t mode = p.Option1 & 0xFF;
  if (!s.fineMode && mode > 2) mode = 2;
  if (s.modePlusOne && mode != 0) --mode;
  c->mode = std::uint8_t(mode);
  c->od_min = std::uint8_t(p.Option2 >> 8);
  c->od_max = std::uint8_t(p.Option2 & 0xFF);
  const unsigned size = p.Option3 & 0x7F;
  c->film_sz_id = (size == 1 || size == 6) ? 1 : 0;
  c->img_buff_sz = 0x20000000;
  c->pix_w = p.ScanXSize;
  c->pix_h = p.ScanYSize;
  c->film_w = c->film_sz_id == 1 ? 356 : 0;
  return deviceError == 0 ? 1 : 0;
}

int CrScanner::SetOption(const devapi::KtGOption* option) {
  if (!option) return Refuse();
  const DllSettings s = currentSettings();
  const std::uint32_t scanOption = option->ScanOption;
  const std::uint16_t hv = option->HV;
  ScanParameters p;
  {
    std::lock_guard<std::mutex> lock(mutex);
    p = scanParameters;
  }
  const std::uint16_t high = s.eraseMode ? std::uint16_t((scanOption & 0xFF) << 8) : 0;
  p.Option1 = std::uint16_t(high | (p.Option1 & 0xFF));
  p.NumberOfLUT = std::uint16_t(scanOption >> 16);
  p.Option5 = scaleRounded(hv, 9000, 2477);
  // The outcome stays in the last result; the caller is told the object exists.
  SendParameters(p);
  return 1;
}

int CrScanner::GetOption(devapi::KtGOption* option) {
  if (!option) return Refuse();
  ScanParameters p{};
  if (!ReadCondition(p)) return 0;
  option->ScanOption = std::uint32_t(p.Option1 >> 8) + std::uint32_t(p.NumberOfLUT) * 65536u;
  option->MechaSW = p.Option4;
  option->HV = scaleRounded(p.Option5, 2477, 9000);
  option->od_Max = 40;
  option->SerialNumber = serialNumber;
  option->scanner_condition = p.Option3;
  return 1;
}

// ---------------------------------------------------------------------------
// Scans

bool CrScanner::SendBlockGeometry(std::uint32_t linesPerBlock, std::uint32_t count) {
  if (count > kMaxBlocks - 1 || linesPerBlock > 0xFFFF) {
    Fail(kIncorrectParameter);
    return false;
  }
  ScanParameters p;
  {
    std::lock_guard<std::mutex> lock(mutex);
    scanParameters.ScanYSize = std::uint16_t(linesPerBlock);
    scanParameters.AFMode = std::uint16_t(count);
    p = scanParameters;
  }
  return ProcessDriverResult("SetScanParameters", driver.SetScanParameters(p));
}

bool CrScanner::PrepareGeometry(const DllSettings& s) {
  // Under `mutex`.
  const ScanParameters& p = scanParameters;
  if (p.ScanPitch == 0) return false;
  width = p.ScanXSize;
  const std::uint32_t lines = std::uint32_t(std::uint64_t(p.FilmYSize) * 1000 / p.ScanPitch);
  height = lines;
  outBitDepth_ = p.ImageDataFormat & 0xFF;
  bytesPerSample = 2;
  if (width == 0 || lines == 0) return false;
  if (s.splitFlag) {
    multiBlock_ = true;
    const std::uint32_t split = s.splitLine > 0 ? std::uint32_t(s.splitLine) : lines;
    linesPerBlock_ = std::min(split, lines);
    blockCount = (lines + linesPerBlock_ - 1) / linesPerBlock_;
  } else {
    multiBlock_ = false;
    linesPerBlock_ = lines;
    blockCount = 1;
  }
  bytesPerBlock_ = std::uint64_t(width) * linesPerBlock_ * 2;
  expectedBytes = bytesPerBlock_ * blockCount;
  imageBytes = std::uint64_t(width) * 2 * lines;
  // The driver carries a signed 32-bit byte count per command.
  return bytesPerBlock_ <= INT32_MAX && blockCount < kMaxBlocks;
}

int CrScanner::StartReader(ReaderClaim& claim, ReaderKind kind) {
  if (!StartReaderThread(claim, [this, kind] { ReaderMain(kind); })) return 0;
  platform::clock::sleep(1);
  return 1;
}

bool CrScanner::BeginCacheScan(const DllSettings& s) {
  std::uint32_t perBlockLines, count;
  {
    std::lock_guard<std::mutex> lock(mutex);
    settings_ = s;
    if (!PrepareGeometry(s)) {
      Fail(kIncorrectParameter);
      return false;
    }
    perBlockLines = linesPerBlock_;
    count = blockCount;
  }
  return !s.splitFlag || SendBlockGeometry(perBlockLines, count);
}

int CrScanner::Scan() {
  ReaderClaim claim = ClaimReader();
  const DllSettings s = currentSettings();
  if (!BeginCacheScan(s)) return 0;
  {
    std::lock_guard<std::mutex> lock(mutex);
    readCursor = 0;
    ResetScanProgressLocked();
    if (!UseLibraryBufferLocked(expectedBytes, kMaxImageBufferBytes)) return 0;
    correctionsPending_ = s.eightLine != 0;
    if (correctionsPending_) validLines_ = blockCount * linesPerBlock_;
    for (std::uint32_t i = 0; i < blockCount; ++i)
      blockTable_[i] = imageBuffer.get() + std::uint64_t(i) * (bytesPerBlock_ / 2);
  }
  return StartReader(claim, multiBlock_ ? ReaderKind::MultiBlock : ReaderKind::LibraryBuffer);
}

int CrScanner::ScanEx(const devapi::ScanBufferParam* param) {
  if (!param) return Refuse();
  const std::uint32_t size = param->size;
  auto* buffer = static_cast<std::uint16_t*>(param->buffer);
  ReaderClaim claim = ClaimReader();
  const DllSettings s = currentSettings();
  if (!BeginCacheScan(s)) return 0;
  {
    std::lock_guard<std::mutex> lock(mutex);
    ResetScanProgressLocked();
    if (!UseCallerBufferLocked(buffer, size, expectedBytes)) return 0;
    correctionsPending_ = false;
    for (std::uint32_t i = 0; i < blockCount; ++i)
      blockTable_[i] = buffer + std::uint64_t(i) * (bytesPerBlock_ / 2);
  }
  return StartReader(claim, multiBlock_ ? ReaderKind::MultiBlock : ReaderKind::CallerBuffer);
}

int CrScanner::ScanM(const devapi::BlockScanParam* param) {
  if (!param) return Refuse();
  const std::uint32_t bufferBytes = param->buff_sz;
  std::uint16_t** blocks = param->buff_pp;
  const std::uint16_t pixW = param->pix_w, pixH = param->pix_h, count = param->block_size;
  const std::uint8_t pixelBits = param->pixel_bit_n;
  ReaderClaim claim = ClaimReader();
  const DllSettings s = currentSettings();
  {
    std::lock_guard<std::mutex> lock(mutex);
    settings_ = s;
    outBitDepth_ = scanParameters.ImageDataFormat & 0xFF;
    if (pixelBits <= 8) {
      Fail(kIncorrectParameter);
      return 0;
    }
    const std::uint64_t perBlock = std::uint64_t(pixW) * pixH * 2;
    const std::uint64_t expected = perBlock * count;
    ResetScanProgressLocked();
    // The blocks and their table must be there as well: the reader writes them.
    bool fits = scanParameters.ScanXSize == pixW && scanParameters.ScanYSize == pixH &&
                bufferBytes >= expected && blocks && pixW != 0 && pixH != 0 && count != 0 &&
                perBlock <= INT32_MAX;
    for (std::uint32_t i = 0; fits && i < count; ++i) fits = blocks[i] != nullptr;
    if (!fits) {
      Fail(kIncorrectParameter, "INCORRECT PARAMETER");
      return 0;
    }
    bytesPerBlock_ = perBlock;
    expectedBytes = expected;
  }
  if (!SendBlockGeometry(pixH, count)) return 0;
  {
    std::lock_guard<std::mutex> lock(mutex);
    multiBlock_ = true;
    width = pixW;
    height = std::uint32_t(pixH) * count;
    bytesPerSample = 2;
    linesPerBlock_ = pixH;
    blockCount = count;
    std::copy(blocks, blocks + count, blockTable_.begin());
    imageBytes = bytesPerBlock_ * count;
    correctionsPending_ = false;
    validLines_ = blockCount * linesPerBlock_;
    callerBuffer = nullptr;
    scanIntoLibraryBuffer = false;
  }
  return StartReader(claim, ReaderKind::MultiBlock);
}

bool CrScanner::SendCancel(std::uint16_t value) {
  std::int32_t received = 0;
  return ProcessDriverResult("SetCancel", driver.OperateScanner(kRawCancel, &value, 2, 5, received,
                                                                RAW_WRITE, false));
}

void CrScanner::ReaderMain(ReaderKind kind) {
  if (kind == ReaderKind::MultiBlock)
    ReadBlocks();
  else
    ReadOneCommand(kind);
}

void CrScanner::ReadOneCommand(ReaderKind kind) {
  const bool library = kind == ReaderKind::LibraryBuffer;
  if (library) log.write("ReadTread Start");
  ScanParameters parameters;
  CalibrationParameters words;
  std::uint16_t* target;
  std::uint64_t bytes;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!library) {
      scanParameters.ScanXSize = std::uint16_t(width);
      scanParameters.ScanYSize = std::uint16_t(height);
    }
    calibration = CalibrationParameters{};
    words = calibration;
    parameters = scanParameters;
    target = blockTable_[0];
    bytes = expectedBytes;
  }
  const std::int32_t piece = bytes > kPiece ? std::int32_t(kPiece) : 0;
  BlockReadCallback progress = nullptr;
  if (piece) progress = library ? &KorvaScanner::SignallingProgress : &KorvaScanner::QuietProgress;
  const bool ok = ProcessDriverResult(
      "ScanAndReadFilmWithoutHeader",
      driver.ScanAndReadFilmWithoutHeader(parameters, words, target, std::int32_t(bytes), true,
                                          library, piece, progress, this));
  std::uint16_t held;
  {
    std::lock_guard<std::mutex> lock(mutex);
    held = heldCancel;
    heldCancel = 0;
    cancelHandOffOpen = false;
    if (ok) bytesReceived = expectedBytes;
  }
  if (ok && held) SendCancel(held);
  if (library) dataEvent.set();
  log.write(library ? "ReadTread END E\n" : "ReadTreadEx END\n");
  readerRunning = false;
  if (library) dataEvent.set();
}

std::uint16_t CrScanner::TakeHeldCancel(std::uint32_t done) {
  std::lock_guard<std::mutex> lock(mutex);
  const std::uint16_t held = heldCancel;
  if (held) {
    heldCancel = 0;
    cancelHandOffOpen = false;
    validLines_ = linesPerBlock_ * done;
  }
  return held;
}

void CrScanner::FillUnreadBlocks(std::uint32_t done, std::uint32_t count, std::int32_t perBlock, std::uint16_t fill) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    validLines_ = linesPerBlock_ * done;
  }
  const std::size_t samples = std::size_t(perBlock) / 2;
  for (std::uint32_t i = done; i < count; ++i) {
    std::uint16_t* target;
    {
      std::lock_guard<std::mutex> lock(mutex);
      target = blockTable_[i];
    }
    std::fill(target, target + samples, fill);
    std::lock_guard<std::mutex> lock(mutex);
    ++blocksDone;
    bytesReceived = std::uint64_t(blocksDone) * std::uint64_t(perBlock);
  }
}

void CrScanner::ReadBlocks() {
  readerRunning = true;
  ScanParameters parameters;
  CalibrationParameters words;
  std::uint32_t count;
  std::int32_t perBlock;
  {
    std::lock_guard<std::mutex> lock(mutex);
    calibration = CalibrationParameters{};
    words = calibration;
    parameters = scanParameters;
    count = blockCount;
    perBlock = std::int32_t(bytesPerBlock_);
  }
  std::uint16_t fill;
  {
    std::lock_guard<std::mutex> lock(mutex);
    fill = maskValue(settings_.maskData, outBitDepth_);
  }
  const char* endText = "ReadTreadM END";
  for (;;) {
    std::uint16_t* block;
    {
      std::lock_guard<std::mutex> lock(mutex);
      block = blockTable_[blocksDone];
    }
    if (!ProcessDriverResult("ScanAndReadFilmWithoutHeader",
                             driver.ScanAndReadFilmWithoutHeader(parameters, words, block, perBlock,
                                                                 true, true, 0, nullptr, this))) {
      endText = "ReadTreadM END  Scan Error";
      break;
    }
    std::uint32_t done;
    {
      std::lock_guard<std::mutex> lock(mutex);
      done = ++blocksDone;
      bytesReceived = std::uint64_t(done) * std::uint64_t(perBlock);
    }
    ScanParameters state{};
    if (!ProcessDriverResult("ReadScanParameters", driver.ReadScanParameters(state))) {
      endText = "ReadTreadM END  StatusRead Error";
      break;
    }
    const std::uint8_t condition = state.Option3 & 0xFF;
    if (condition & 0x80) {
      endText = "ReadTreadM END  Error";
      break;
    }
    if (done == count) break;
    if (condition & 0x04) {
      const std::uint16_t held = TakeHeldCancel(done);
      if (!held) {
        dataEvent.set();
        continue;
      }
      SendCancel(held);
      endText = "ReadImgTread END  Host Cancel";
      break;
    }
    FillUnreadBlocks(done, count, perBlock, fill);
    endText = "ReadImgTread END  Eject Cancel";
    break;
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    heldCancel = 0;
    cancelHandOffOpen = false;
  }
  log.write(std::string(endText) + "\n");
  platform::clock::sleep(1);
  readerRunning = false;
  dataEvent.set();
  platform::clock::sleep(1);
}

ScanContext CrScanner::Context(int outBitDepth) {
  ScanContext c;
  c.outBitDepth = outBitDepth;
  c.option1 = scanParameters.Option1;
  c.option2 = scanParameters.Option2;
  c.option5 = scanParameters.Option5;
  c.numberOfLut = scanParameters.NumberOfLUT;
  c.scanPitch = scanParameters.ScanPitch;
  c.serialNumber = serialNumber;
  c.dumpUnprocessed = settings_.noProcImage != 0;
  c.dumpDir = libraryDir();
  c.log = [this](std::string_view entry) { log.write(entry); };
  return c;
}

void CrScanner::CorrectLibraryBuffer(std::size_t lines) {
  CorrectionImage image;
  ScanContext context;
  {
    std::lock_guard<std::mutex> lock(mutex);
    image.blocks = blockTable_.data();
    image.blockCount = blockCount;
    image.linesPerBlock = linesPerBlock_;
    image.width = width;
    context = Context(int(outBitDepth_));
  }
  lines = std::min(lines, image.lines());
  // A refused correction leaves the data as scanned; they are delivered in any case.
  corrections_.apply(image, lines, context);
}

int CrScanner::ReadBuffer(const devapi::ReadBufferParam* param) {
  if (!param) return Refuse();
  const std::uint16_t first = param->first;
  const std::uint64_t length = param->length;
  auto* out = static_cast<std::uint8_t*>(param->buffer);
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!scanIntoLibraryBuffer || !imageBuffer || (length && !out)) {
      Fail(kIncorrectParameter);
      return 0;
    }
    if (first == 0 && !multiBlock_) readCursor = 0;
  }
  while (StatusQueryOk()) {
    bool running;
    std::uint64_t received, cursor;
    std::size_t correctLines = 0;
    {
      std::lock_guard<std::mutex> lock(mutex);
      running = readerRunning;
      received = bytesReceived;
      cursor = readCursor;
      if (correctionsPending_) {
        const std::uint64_t linesIn = width ? received / (std::uint64_t(width) * 2) : 0;
        if (validLines_ < linesIn) {
          correctionsPending_ = false;
          correctLines = validLines_;
        } else if (received >= expectedBytes) {
          correctionsPending_ = false;
          correctLines = std::size_t(linesIn);
        }
        if (correctionsPending_) received = 0;  // nothing goes out before the corrections
      }
    }
    if (correctLines) CorrectLibraryBuffer(correctLines);
    const std::uint64_t end = cursor + length;
    if (received >= end && end <= expectedBytes) {
      std::lock_guard<std::mutex> lock(mutex);
      std::memcpy(out, reinterpret_cast<const std::uint8_t*>(imageBuffer.get()) + cursor, length);
      readCursor = end;
      return 1;
    }
    if (!running) {
      if (lastResultCode == 0) Fail(kIncorrectParameter);
      return 0;
    }
    dataEvent.waitFor(std::chrono::milliseconds(1000));
  }
  return 0;
}

int CrScanner::GetScanStatus(std::uint32_t* lines) {
  return ScanStatusQuery(lines, [this] {
    if (bytesReceived == 0 || width == 0) return std::uint32_t(0);
    return std::uint32_t(std::min<std::uint64_t>(bytesReceived / (2 * std::uint64_t(width)), height));
  });
}

int CrScanner::GetScanStatusEx(int* bytes) {
  return ScanStatusQuery(bytes, [this] { return int(std::min<std::uint64_t>(std::min(imageBytes, bytesReceived), INT_MAX)); });
}

int CrScanner::GetScanStatusM(int* blocks) {
  return ScanStatusQuery(blocks, [this] { return int(blocksDone); });
}

int CrScanner::EightLine(const devapi::BlockScanParam* param) {
  if (!param) return Refuse();
  const std::uint32_t bufferBytes = param->buff_sz;
  std::uint16_t** blocks = param->buff_pp;
  const std::uint16_t pixW = param->pix_w, pixH = param->pix_h, count = param->block_size;
  const std::uint8_t outBits = param->out_bit_depth;
  if (!blocks || pixW == 0 || pixH == 0 || count == 0 || outBits < 12 || outBits > 16 ||
      bufferBytes < std::uint64_t(pixW) * pixH * count)
    return Refuse();
  for (std::uint32_t i = 0; i < count; ++i)
    if (!blocks[i]) return Refuse();
  const DllSettings s = currentSettings();
  if (!s.eightLine) return 1;
  CorrectionImage image;
  image.blocks = blocks;
  image.blockCount = count;
  image.linesPerBlock = pixH;
  image.width = pixW;
  ScanContext context;
  {
    std::lock_guard<std::mutex> lock(mutex);
    context = Context(outBits);
    context.dumpUnprocessed = s.noProcImage != 0;
  }
  if (corrections_.apply(image, image.lines(), context) != CorrectionOutcome::Corrected)
    return Refuse();
  return 1;
}

int CrScanner::Cancel() {
  bool held, waitForReader;
  {
    // The driver runs one command at a time, so a cancel sent now would wait
    // behind the scan: the reader sends it when its command returns. The
    // hand-off is decided under the lock, so it is sent exactly once.
    std::lock_guard<std::mutex> lock(mutex);
    held = cancelHandOffOpen;
    if (held) heldCancel = 1;
    waitForReader = held && multiBlock_;
  }
  if (!held) return SendCancel(1) ? 1 : 0;
  if (waitForReader) {
    const std::uint32_t start = platform::clock::tickCount();
    while (readerRunning && platform::clock::elapsedSince(start) < kCancelWaitMs)
      platform::clock::sleep(1);
  }
  return 1;
}

// ---------------------------------------------------------------------------
// Plate handling

int CrScanner::Erase() {
  std::uint16_t value = 1;
  std::int32_t received = 0;
  return Finish("SetScanErase",
                driver.OperateScanner(kRawErase, &value, 2, 5, received, RAW_WRITE, false));
}

int CrScanner::EjectFilm() {
  std::int32_t timeoutSeconds;
  {
    std::lock_guard<std::mutex> lock(mutex);
    timeoutSeconds = commandTimeout_;
  }
  const std::uint64_t limitMs = std::uint64_t(std::max(timeoutSeconds, 0)) * 1000;
  const std::uint32_t start = platform::clock::tickCount();
  bool waited = false;
  for (;;) {
    ScanParameters p{};
    if (!ProcessDriverResult("ReadScanParameters", driver.ReadScanParameters(p))) return 0;
    const std::uint16_t c = p.Option3;
    if (c != 4 && c != 6 && c != 8 && c != 16) {
      if (waited) return (c & 0x80) ? 0 : 1;
      return Finish("ResetFilm", driver.ResetFilm());
    }
    // A plate that never settles must not hold the caller for ever.
    if (platform::clock::elapsedSince(start) >= limitMs) {
      Fail(kEjectTimedOut);
      return 0;
    }
    waited = true;
    platform::clock::sleep(kEjectPollMs);
  }
}

// ---------------------------------------------------------------------------
// Tables and stored words

int CrScanner::SetLUT(const devapi::TableParam* table) {
  if (!table) return Refuse();
  const std::uint16_t type = table->type, count = table->count;
  const std::uint16_t* entries = table->table;
  if (!entries || type != 2) return Refuse();
  if (count == 4096) return 1;  // the scanner's own table stays
  return Finish("SetScanLut", driver.SetScanLut(entries, std::int32_t(count) * 2));
}

int CrScanner::GetLUT(const devapi::TableParam* table) {
  if (!table) return Refuse();
  std::uint16_t* entries = table->table;
  if (!entries || table->type != 2 || table->count != 16384) return Refuse();
  std::int32_t received = 0;
  return Finish("ReadScanLut", driver.ReadScanLut(entries, 32768, received));
}

int CrScanner::SetShading(const devapi::TableParam* table) {
  if (!table) return Refuse();
  std::uint16_t* entries = table->table;
  if (!entries || table->type != 2 || table->count != kShadingEntries) return Refuse();
  std::int32_t received = 0;
  return Finish("SetScanShading", driver.OperateScanner(kRawShadingWrite, entries, 16384, 60,
                                                        received, RAW_WRITE, false));
}

int CrScanner::GetShading(const devapi::TableParam* table) {
  if (!table) return Refuse();
  std::uint16_t* entries = table->table;
  if (!entries || table->type != 2 || table->count != kShadingEntries) return Refuse();
  // The data phase carries the 2-byte prefix ahead of the table: room for both.
  std::vector<std::uint16_t> phase(kShadingEntries + 1);
  std::int32_t received = 0;
  if (!ProcessDriverResult("GetScanShading",
                           driver.OperateScanner(kRawShadingRead, phase.data(), 16384, 60, received,
                                                 RAW_READ, false)))
    return 0;
  std::memcpy(entries, phase.data() + 1, 16384);
  return 1;
}

namespace {
// Bytes of a word transfer, or -1 when the driver's 32-bit count cannot carry them.
std::int64_t transferBytes(std::uint64_t count, std::uint64_t wordSize) {
  const std::uint64_t bytes = count * wordSize;
  return bytes > INT32_MAX ? -1 : std::int64_t(bytes);
}
}  // namespace

int CrScanner::SetScanEeprom(const ProgramParam* param) {
  if (!param || !param->words || param->word_size != 2) return Refuse();
  const std::int64_t bytes = transferBytes(param->count, 2);
  if (bytes < 0) return Refuse();
  return Finish("SetScanEeprom", driver.SetScanEeprom(param->words, std::int32_t(bytes)));
}

int CrScanner::GetScanEeprom(const ProgramParam* param) {
  if (!param || !param->words || param->word_size != 2) return Refuse();
  const std::int64_t bytes = transferBytes(param->count, 2);
  if (bytes < 0) return Refuse();
  std::int32_t received = 0;
  return Finish("ReadScanEeprom",
                driver.ReadScanEeprom(param->words, std::int32_t(bytes), received));
}

int CrScanner::SetScanProgram(const ProgramParam* param) {
  if (!param || !param->words) return Refuse();
  const std::int64_t bytes = transferBytes(param->count, param->word_size);
  if (bytes < 0) return Refuse();
  return Finish("SetScanProgram", driver.SetScanProgram(param->words, std::int32_t(bytes)));
}

int CrScanner::GetScanProgram(const ProgramParam* param) {
  if (!param || !param->words) return Refuse();
  const std::int64_t bytes = transferBytes(param->count, param->word_size);
  if (bytes < 0) return Refuse();
  std::int32_t received = 0;
  return Finish("ReadScanProgram",
                driver.ReadScanProgram(param->words, std::int32_t(bytes), received));
}

int CrScanner::SetMaintenance(const MaintenanceRecord* record) {
  if (!record) return Refuse();
  MaintenanceParameters m;
  std::memcpy(m.words, record->words, sizeof m.words);
  return Finish("SetScanMaintenanceParameters", driver.SetScanMaintenanceParameters(m));
}

int CrScanner::GetMaintenance(MaintenanceRecord* record) {
  if (!record) return Refuse();
  MaintenanceParameters m{};
  if (!ProcessDriverResult("ReadScanMaintenanceParameters",
                           driver.ReadScanMaintenanceParameters(m)))
    return 0;
  std::memcpy(record->words, m.words, sizeof m.words);
  return 1;
}

// ---------------------------------------------------------------------------
// Fixed identity

int CrScanner::GetScannerType(devapi::ScannerTypeInfo* info) {
  if (!info) return Refuse();
  devapi::ScannerTypeInfo t{};
  t.body = 1;
  devapi::copyField(t.vendor_id, sizeof t.vendor_id, "KORVA");
  devapi::copyField(t.product_id, sizeof t.product_id, "Halcyone");
  devapi::copyField(t.product_rev, sizeof t.product_rev, "1.00");
  std::memcpy(t.board_name, "7130-122", 8);
  devapi::copyField(t.hardware_rev, sizeof t.hardware_rev, "1.00");
  const unsigned w = firmwareWord;
  const char firm[8] = {char(0x30 | (w >> 12)),        '.', char(0x30 | ((w >> 8) & 15)),
                        char(0x30 | ((w >> 4) & 15)), '.', char(0x30 | (w & 15)),
                        0,                             0};
  std::memcpy(t.firm_rev, firm, sizeof firm);
  std::memcpy(info, &t, sizeof t);
  return 1;
}

int CrScanner::GetFunction(devapi::FunctionInfo* info) {
  if (!info) return Refuse();
  std::uint8_t f[sizeof(devapi::FunctionInfo)] = {};
  f[0] = 2;
  f[3] = 2;
  f[4] = 1;
  f[6] = 1;
  f[7] = 1;
  std::memcpy(f + 11, "KORVA", 5);
  std::memcpy(f + 20, "Halcyone", 8);
  std::memcpy(f + 37, "1.00", 4);
  for (int at : {45, 47, 48, 54, 55, 58, 60}) f[at] = 1;
  f[56] = 16;
  f[57] = 2;
  f[65] = 10;
  f[66] = 40;
  const std::uint16_t v68 = 30, v70 = 200, v72 = 365;
  std::memcpy(f + 68, &v68, 2);
  std::memcpy(f + 70, &v70, 2);
  std::memcpy(f + 72, &v72, 2);
  for (int at = 75; at <= 81; ++at) f[at] = 1;
  f[86] = 1;
  std::memcpy(info, f, sizeof f);
  return 1;
}

}  // namespace zentrac
