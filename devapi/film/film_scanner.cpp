#include "devapi/film/film_scanner.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>

#include "platform/clock.h"

namespace brightel {

using devapi::kIncorrectParameter;
using devapi::kSystemCallFailed;

namespace {

constexpr std::uint64_t kPiece = 1048576;  // progress every 1 MiB
constexpr std::uint64_t kHeaderBytes = 16;  // prefix and scan header ahead of the samples
// The driver carries a signed 32-bit byte count, with the header on top for
// the scan into the library's buffer.
constexpr std::uint64_t kMaxTransfer = INT32_MAX - kHeaderBytes;

constexpr int kRawInquiry = 37;
constexpr int kRawFilmTable = 38;
constexpr int kRawCancel = 39;
constexpr int kRawTimeoutSeconds = 5;

std::uint16_t low16(std::uint64_t v) { return std::uint16_t(v & 0xFFFF); }

// The local date and time as MM/DD/YYYY HH:MM:SS.
std::string dateTime() {
  const auto t = platform::clock::localTime();
  char text[32];
  std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", t.month % 100, t.day % 100,
                t.year % 10000, t.hour % 100, t.minute % 100, t.second % 100);
  return text;
}

std::string parameterDump(const ScanParameters& p) {
  static const char* const labels[15] = {
      ";\t01\t(ScanPitch) (um)\n",         ";\t02\t(ScanStartAddressX) (pixel)\n",
      ";\t03\t(ScanStartAddressY) (line)\n", ";\t04\t(ScanXSize) (pixel)\n",
      ";\t05\t(ScanYSize) (line)\n",        ";\t06\t(ImageDataFormat)\n",
      ";\t07\t(FilmXSize) (mm)\n",          ";\t08\t(FilmYSize) (mm)\n",
      ";\t09\t(AFMode)\n",                  ";\t10\t(NumberOfLUT)\n",
      ";\t11\t(Option1)\n",                 ";\t12\t(Option2)\n",
      ";\t13\t(Option3)\n",                 ";\t14\t(Option4)\n",
      ";\t15\t(Option5)\n"};
  std::uint16_t words[15];
  std::memcpy(words, &p, sizeof words);
  const std::string banner(75, '-');
  std::string title = "Scan Parameters";
  title.resize(29, ' ');
  std::string text = banner + "\n--           Model 7168 " + title + dateTime() + "\n";
  text += "--                         0xNNNN:     Hex\n";
  text += "--                         NNNN:       Decimal\n";
  text += banner + "\n";
  for (int i = 0; i < 15; ++i) {
    char value[16];
    std::snprintf(value, sizeof value, "%04u", unsigned(words[i]));
    text += value;
    text += labels[i];
  }
  text += banner + "\n--     End\n" + banner + "\n";
  return text;
}

void fillText(char* field, std::size_t size, const std::uint8_t* from, std::size_t count) {
  std::memcpy(field, from, std::min(count, size));
}

}  // namespace

std::uint16_t maximumDensity(std::uint16_t serialNumber) {
  if (serialNumber < 5000) return 40;
  if (serialNumber < 10000) return 47;
  if (serialNumber < 15000) return 43;
  return 47;
}

// ---------------------------------------------------------------------------
// Conditions and options

bool FilmScanner::SendParameters(const ScanParameters& parameters) {
  if (!ProcessDriverResult("SetScanParameters", driver.SetScanParameters(parameters)))
    return false;
  // The cache holds what the scanner has.
  std::lock_guard<std::mutex> lock(mutex);
  scanParameters = parameters;
  return true;
}

int FilmScanner::SetCondition(const devapi::ScanCondition* c) {
  if (!c) return Refuse();
  const std::uint32_t pitch = c->pitch;
  if (pitch == 0) return Refuse();
  const bool narrow = c->pixel_bit_n <= 8;
  // Integer divisions in 64 bits; a value the scanner's 16-bit word cannot hold
  // is refused rather than cut.
  auto pixels = [pitch](std::uint32_t mm) { return std::uint64_t(mm) * 1000 / pitch; };
  std::uint64_t startX = pixels(c->x_start), startY = pixels(c->y_start);
  std::uint64_t sizeX = pixels(c->width), sizeY = pixels(c->height);
  if (narrow) {
    sizeX += sizeX & 1;
    sizeY += sizeY & 1;
  }
  ScanParameters p;
  if (!RegionParameters(pitch, startX, startY, sizeX, sizeY, p)) return Refuse();
  p.ImageDataFormat = std::uint16_t(c->pixel_bit_n << 8 | c->out_bit_depth);
  p.FilmXSize = low16(c->width);
  p.FilmYSize = low16(c->height);
  p.AFMode = std::uint16_t(c->auto_feeder | c->roll_film << 8);
  p.Option1 = std::uint16_t((p.Option1 & 0xFF00) | c->mode);
  p.Option2 = std::uint16_t(c->od_min << 8 | c->od_max);
  return SendParameters(p) ? 1 : 0;
}

int FilmScanner::GetCondition(devapi::ScanCondition* c) {
  if (!c) return Refuse();
  ScanParameters p{};
  if (!ProcessDriverResult("ReadScanParameters", driver.ReadScanParameters(p))) return 0;
  log.write(parameterDump(p));
  c->unit = 1;
  c->endian = 0;
  c->pitch = p.ScanPitch;
  c->x_start = std::uint32_t(std::uint64_t(p.ScanStartAddressX) * p.ScanPitch / 1000);
  c->y_start = std::uint32_t(std::uint64_t(p.ScanStartAddressY) * p.ScanPitch / 1000);
  c->width = p.FilmXSize;
  c->height = p.FilmYSize;
  c->pixel_bit_n = std::uint8_t(p.ImageDataFormat >> 8);
  c->out_bit_depth = std::uint8_t(p.ImageDataFormat & 0xFF);
  c->auto_feeder = std::uint8_t(p.AFMode & 0xFF);
  c->roll_film = std::uint8_t(p.AFMode >> 8);
  c->mode = std::uint8_t(p.Option1 & 0xFF);
  c->od_min = std::uint8_t(p.Option2 >> 8);
  c->od_max = std::uint8_t(p.Option2 & 0xFF);
  c->film_sz_id = std::uint8_t(p.Option3 & 0xFF);
  c->film_w = p.Option4;  // the whole field, upper half zero
  c->img_buff_sz = 0x20000000;
  c->pix_w = p.ScanXSize;
  c->pix_h = p.ScanYSize;
  return deviceError == 0 ? 1 : 0;
}

int FilmScanner::SetOption(const devapi::KtGOption* option) {
  if (!option) return Refuse();
  ScanParameters p;
  {
    std::lock_guard<std::mutex> lock(mutex);
    p = scanParameters;
  }
  p.Option1 = std::uint16_t((option->ScanOption & 0xFF) << 8 | (p.Option1 & 0xFF));
  // The outcome stays in the last result; the caller is told the object exists.
  SendParameters(p);
  return 1;
}

int FilmScanner::GetOption(devapi::KtGOption* option) {
  if (!option) return Refuse();
  FilmStatus status{};
  if (!ProcessDriverResult("ReadFilmStatus", driver.ReadFilmStatus(status))) return 0;
  option->ScanOption = status.words[17] >> 8;
  option->MechaSW = std::uint32_t(status.words[20]) << 16 | status.words[21];
  option->HV = status.words[11];
  option->od_Max = maximumDensity(serialNumber);
  option->SerialNumber = serialNumber;
  return 1;
}

int FilmScanner::SetLUT(const devapi::TableParam* table) {
  if (!table) return Refuse();
  const std::uint16_t type = table->type, count = table->count;
  const std::uint16_t* entries = table->table;
  if (type != 2 || count != 4096 || !entries) return Refuse();
  return Finish("SetScanLut", driver.SetScanLut(entries, 4096 * 2));
}

int FilmScanner::Calibration() {
  CalibrationParameters words{};
  {
    std::lock_guard<std::mutex> lock(mutex);
    calibration = words;
  }
  return Finish("Calibrate", driver.Calibrate(words));
}

// ---------------------------------------------------------------------------
// Film transport

int FilmScanner::LoadFilm(std::uint16_t direction, const char* operation) {
  filmSet_ = FilmSetParameters{{direction, 0}};
  FILM_SIZE_CODE code = FILM_SIZE_NONE;
  ScanSize size{};
  if (!ProcessDriverResult(operation, driver.LoadFilm(filmSet_, code, size))) return 0;
  if (direction == 1) {
    std::lock_guard<std::mutex> lock(mutex);
    loadedFilmSize = size;
  }
  return 1;
}

int FilmScanner::NextFilm() { return LoadFilm(1, "NextFilm"); }
int FilmScanner::ReverseFilm() { return LoadFilm(2, "ReverseFilm"); }

int FilmScanner::MoveFilm(int length) {
  if (length < 0 || length > 0xFFFF) return Refuse();
  char entry[32];
  std::snprintf(entry, sizeof entry, "MoveLength: %5d\n", length);
  log.write(entry);
  return Finish("MoveFilm", driver.MoveFilm(std::uint16_t(length)));
}

int FilmScanner::EjectFilm() { return Finish("ResetFilm", driver.ResetFilm()); }

// ---------------------------------------------------------------------------
// Cancel

bool FilmScanner::SendCancel(std::uint16_t value) {
  std::int32_t received = 0;
  return ProcessDriverResult("SetCancel", driver.OperateScanner(kRawCancel, &value, 2,
                                                                kRawTimeoutSeconds, received,
                                                                RAW_WRITE, false));
}

int FilmScanner::Cancel() {
  {
    // The driver runs one command at a time, so a cancel sent now would wait
    // behind the scan: the reader sends it when its command returns. The
    // hand-off is decided under the lock, so it is sent exactly once.
    std::lock_guard<std::mutex> lock(mutex);
    if (cancelHandOffOpen) {
      heldCancel = 1;
      return 1;
    }
  }
  return SendCancel(1) ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Scans

void FilmScanner::PrepareScanLocked(std::uint64_t expected) {
  expectedBytes = expected;
  ResetScanProgressLocked();
  readCursor = kHeaderBytes;
}

bool FilmScanner::TakeImageGeometryLocked(std::uint64_t& image) {
  width = scanParameters.ScanXSize;
  height = scanParameters.ScanYSize;
  bytesPerSample = bytesPerSensorSample(scanParameters.ImageDataFormat >> 8);
  image = std::uint64_t(width) * height * 2;
  if (width == 0 || height == 0 || image > kMaxTransfer) {
    Fail(kIncorrectParameter);
    return false;
  }
  return true;
}

int FilmScanner::StartReader(ReaderClaim& claim, ReaderKind kind) {
  return StartReaderThread(claim, [this, kind] { ReaderMain(kind); });
}

int FilmScanner::Scan() {
  ReaderClaim claim = ClaimReader();
  {
    std::lock_guard<std::mutex> lock(mutex);
    std::uint64_t image = 0;
    if (!TakeImageGeometryLocked(image)) return 0;
    const std::uint64_t expected = image + kHeaderBytes;
    PrepareScanLocked(expected);
    imageBytes = image;
    if (!UseLibraryBufferLocked(expected)) return 0;
  }
  return StartReader(claim, ReaderKind::LibraryBuffer);
}

int FilmScanner::ScanA(const devapi::ScanBufferParam* param) {
  if (!param) return Refuse();
  const std::uint32_t size = param->size;
  void* buffer = param->buffer;
  ReaderClaim claim = ClaimReader();
  {
    std::lock_guard<std::mutex> lock(mutex);
    std::uint64_t image = 0;
    if (!TakeImageGeometryLocked(image) || !UseCallerBufferLocked(buffer, size, image + kHeaderBytes)) return 0;
    PrepareScanLocked(image + kHeaderBytes);
    imageBytes = image;
  }
  return StartReader(claim, ReaderKind::CallerBuffer);
}

int FilmScanner::ScanEx(const devapi::ScanBufferParam* param) {
  if (!param) return Refuse();
  const std::uint32_t size = param->size;
  void* buffer = param->buffer;
  ReaderClaim claim = ClaimReader();
  {
    std::lock_guard<std::mutex> lock(mutex);
    width = scanParameters.ScanXSize;
    height = scanParameters.ScanYSize;
    bytesPerSample = scanParameters.ImageDataFormat > 2303 ? 2 : 1;
    const std::uint64_t expected = std::uint64_t(width) * height * bytesPerSample;
    if (width == 0 || height == 0 || expected > INT32_MAX ||
        (bytesPerSample == 1 && width % 2 != 0)) {
      Fail(kIncorrectParameter);
      return 0;
    }
    if (!UseCallerBufferLocked(buffer, size, expected)) return 0;
    PrepareScanLocked(expected);
    readCursor = 0;
    imageBytes = expected;
  }
  return StartReader(claim, ReaderKind::WithoutHeader);
}

int FilmScanner::ScanM(const devapi::BlockScanParam* param) {
  if (!param) return Refuse();
  const std::uint32_t bufferBytes = param->buff_sz;
  std::uint16_t** blocks = param->buff_pp;
  const std::uint16_t pixW = param->pix_w, pixH = param->pix_h, count = param->block_size;
  const std::uint8_t outBits = param->out_bit_depth, pixelBits = param->pixel_bit_n;
  const std::uint16_t calibFlag = param->calib_flag;
  const std::uint16_t option1 = param->option1, option2 = param->option2;
  const std::uint32_t perSample = bytesPerSensorSample(pixelBits);
  const std::uint64_t perBlock = std::uint64_t(pixW) * pixH * perSample;
  const std::uint64_t expected = perBlock * count;
  ReaderClaim claim = ClaimReader();
  {
    std::lock_guard<std::mutex> lock(mutex);
    const bool fits = blocks && pixW != 0 && pixH != 0 && count != 0 &&
                      !(perSample == 1 && pixW % 2 != 0) && expected <= INT32_MAX &&
                      scanParameters.ScanXSize == pixW && scanParameters.ScanYSize == pixH &&
                      bufferBytes >= expected;
    if (!fits) {
      Fail(kIncorrectParameter, "INCORRECT PARAMETER");
      return 0;
    }
    try {
      // The caller's pointer table is valid only during the call; the blocks
      // themselves are the caller's to keep until the scan ends.
      blockList_.assign(blocks, blocks + count);
    } catch (const std::bad_alloc&) {
      Fail(kSystemCallFailed, "Memory Allocation Failed at Scan.");
      return 0;
    }
    std::uint8_t header[14];
    std::memcpy(header + 0, &pixW, 2);
    std::memcpy(header + 2, &pixH, 2);
    header[4] = outBits;
    header[5] = pixelBits;
    std::memcpy(header + 6, &count, 2);
    std::memcpy(header + 8, &calibFlag, 2);
    std::memcpy(header + 10, &option1, 2);
    std::memcpy(header + 12, &option2, 2);
    std::memcpy(hostBlock_, header, sizeof header);
    width = pixW;
    height = pixH;
    bytesPerSample = perSample;
    bytesPerBlock_ = std::uint32_t(perBlock);
    blockCount = count;
    PrepareScanLocked(expected);
    readCursor = 0;
    imageBytes = expected;
    callerBuffer = nullptr;
    scanIntoLibraryBuffer = false;
  }
  return StartReader(claim, ReaderKind::MultiBlock);
}

void FilmScanner::BlockProgress(std::int32_t done, void* context) {
  auto* self = static_cast<FilmScanner*>(context);
  {
    std::lock_guard<std::mutex> lock(self->mutex);
    self->blocksDone = std::uint32_t(std::max(done, 0));
    self->bytesReceived = self->blocksDone;
  }
  self->dataEvent.set();
}

void FilmScanner::ReaderMain(ReaderKind kind) {
  ScanParameters parameters;
  CalibrationParameters words;
  std::uint16_t* target;
  std::uint64_t bytes;
  const bool header = kind == ReaderKind::LibraryBuffer || kind == ReaderKind::CallerBuffer;
  if (header) log.write("ReadTread Start");
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (header) {
      scanParameters.ScanXSize = std::uint16_t(width);
      scanParameters.ScanYSize = std::uint16_t(height);
    }
    calibration = CalibrationParameters{};
    words = calibration;
    parameters = scanParameters;
    target = callerBuffer;
    bytes = imageBytes;
  }
  const std::int32_t transfer = std::int32_t(bytes);
  const std::int32_t piece = bytes > kPiece ? std::int32_t(kPiece) : 0;
  bool ok = false;
  const char* endText = "";
  switch (kind) {
    case ReaderKind::LibraryBuffer:
    case ReaderKind::CallerBuffer:
      ok = ProcessDriverResult(
          "ScanAndReadFilm",
          driver.ScanAndReadFilm(parameters, words, target, transfer, true, false, piece,
                                 piece ? &KorvaScanner::SignallingProgress : nullptr, this));
      endText = kind == ReaderKind::LibraryBuffer ? "ReadTread END E" : "ReadTread END";
      break;
    case ReaderKind::WithoutHeader:
      ok = ProcessDriverResult(
          "ScanAndReadFilmWithoutHeader",
          driver.ScanAndReadFilmWithoutHeader(parameters, words, target, transfer, true, false,
                                              piece,
                                              piece ? &KorvaScanner::QuietProgress : nullptr,
                                              this));
      endText = "ReadTreadEx END";
      break;
    case ReaderKind::MultiBlock: {
      const std::uint16_t calibFlag = hostBlock_[4];
      ok = ProcessDriverResult(
          "ScanAndReadFilmWithoutHeaderMultiBlock",
          driver.ScanAndReadFilmWithoutHeaderMultiBlock(
              parameters, words, hostBlock_, 14, blockList_.data(), std::int32_t(bytesPerBlock_),
              std::int32_t(blockCount), true, calibFlag == 0,
              blockCount >= 2 ? &FilmScanner::BlockProgress : nullptr, this));
      endText = "ReadTreadM END";
      break;
    }
  }
  std::uint16_t held;
  {
    std::lock_guard<std::mutex> lock(mutex);
    held = heldCancel;
    heldCancel = 0;
    cancelHandOffOpen = false;
  }
  if (ok && held) SendCancel(held);
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (ok) {
      bytesReceived = kind == ReaderKind::MultiBlock ? blockCount : expectedBytes;
      if (kind == ReaderKind::MultiBlock) blocksDone = blockCount;
    }
    readerRunning = false;
  }
  if (kind != ReaderKind::WithoutHeader) dataEvent.set();
  log.write(endText);
}

int FilmScanner::ReadBuffer(const devapi::ReadBufferParam* param) {
  if (!param) return Refuse();
  const std::uint16_t first = param->first;
  const std::uint64_t length = param->length;
  auto* out = static_cast<std::uint8_t*>(param->buffer);
  std::unique_lock<std::mutex> lock(mutex);
  if (!scanIntoLibraryBuffer || !imageBuffer || (length && !out)) {
    lock.unlock();
    return Refuse();
  }
  if (first == 0) readCursor = kHeaderBytes;
  const std::uint64_t need = bytesPerSample == 2 ? length : 2 * length;
  for (;;) {
    if (!StatusQueryOk()) return 0;
    const std::uint64_t end = readCursor + need;
    if (end > expectedBytes) {
      lock.unlock();
      return Refuse();  // past the end of the image
    }
    if (bytesReceived >= end) break;
    if (!readerRunning) {
      lock.unlock();
      return Refuse();  // the scan ended without delivering them
    }
    lock.unlock();
    dataEvent.wait();
    lock.lock();
  }
  const auto* from = reinterpret_cast<const std::uint8_t*>(imageBuffer.get()) + readCursor;
  if (bytesPerSample == 2) {
    std::memcpy(out, from, length);
  } else {
    for (std::uint64_t i = 0; i < length; ++i) out[i] = from[2 * i];  // low byte, little-endian
  }
  readCursor += need;
  return 1;
}

int FilmScanner::GetScanStatus(std::uint32_t* lines) {
  return ScanStatusQuery(lines, [this] {
    if (bytesReceived < kHeaderBytes || width == 0) return std::uint32_t(0);
    return std::uint32_t((bytesReceived - kHeaderBytes) / (2 * std::uint64_t(width)));
  });
}

int FilmScanner::GetRawScanStatus(int* count) {
  return ScanStatusQuery(count, [this] { return int(std::min<std::uint64_t>(bytesReceived, INT_MAX)); });
}

// ---------------------------------------------------------------------------
// Inquiry data and film table

bool FilmScanner::ReadInquiry() {
  if (inquiryValid_) return true;
  std::uint16_t words[64] = {};
  std::int32_t received = 0;
  if (!ProcessDriverResult("GetInquiry",
                           driver.OperateScanner(kRawInquiry, words, 128, kRawTimeoutSeconds,
                                                 received, RAW_READ, true)))
    return false;
  std::memcpy(inquiry_, words, sizeof inquiry_);
  inquiryValid_ = true;
  return true;
}

bool FilmScanner::ReadFilmTable() {
  const std::uint32_t generation = connectionGeneration;
  if (filmTableValid_ && filmTableGeneration_ == generation) return true;
  std::uint16_t words[256] = {};
  std::int32_t received = 0;
  if (!ProcessDriverResult("GetFilmInformation",
                           driver.OperateScanner(kRawFilmTable, words, 512, kRawTimeoutSeconds,
                                                 received, RAW_READ, true)))
    return false;
  std::memcpy(filmTable_, words, sizeof filmTable_);
  filmTableValid_ = true;
  filmTableGeneration_ = generation;
  return true;
}

int FilmScanner::GetScannerType(devapi::ScannerTypeInfo* info) {
  if (!info) return Refuse();
  if (!ReadInquiry()) return 0;
  const std::uint8_t* q = inquiry_;
  info->body = q[119];
  info->auto_feeder = q[120];
  info->roll_film = q[121];
  info->special = q[122];
  char vendor[32], product[32], revision[8], board[8], hardware[8], firmware[8];
  std::memset(vendor, ' ', sizeof vendor);
  fillText(vendor, sizeof vendor, q + 8, 8);
  std::memset(product, ' ', sizeof product);
  fillText(product, sizeof product, q + 16, 16);
  product[16] = 0;
  std::memset(revision, ' ', sizeof revision);
  fillText(revision, sizeof revision, q + 32, 4);
  revision[4] = 0;
  fillText(board, sizeof board, q + 36, 7);
  board[7] = 0;
  fillText(hardware, sizeof hardware, q + 44, 7);
  hardware[7] = 0;
  fillText(firmware, sizeof firmware, q + 52, 7);
  firmware[7] = 0;
  std::memcpy(info->vendor_id, vendor, sizeof vendor);
  std::memcpy(info->product_id, product, sizeof product);
  std::memcpy(info->product_rev, revision, sizeof revision);
  std::memcpy(info->board_name, board, sizeof board);
  std::memcpy(info->hardware_rev, hardware, sizeof hardware);
  std::memcpy(info->firm_rev, firmware, sizeof firmware);
  return 1;
}

int FilmScanner::GetFunction(devapi::FunctionInfo* info) {
  if (!info) return Refuse();
  if (!ReadInquiry()) return 0;
  const std::uint8_t* q = inquiry_;
  std::uint8_t f[sizeof(devapi::FunctionInfo)] = {};
  auto bit = [q](int byte, int b) { return std::uint8_t(q[byte] >> b & 1); };
  auto bits = [&f, bit](int at, int byte, int from, int count) {
    for (int i = 0; i < count; ++i) f[at + i] = bit(byte, from + i);
  };
  f[0] = q[2] & 0x07;
  f[1] = q[2] >> 3 & 0x07;
  f[2] = q[2] >> 6 & 0x03;
  f[3] = q[3] & 0x0F;
  f[4] = bit(3, 6);
  f[5] = bit(7, 6);
  f[6] = bit(7, 5);
  f[7] = bit(7, 4);
  f[8] = bit(7, 3);
  f[9] = bit(7, 1);
  f[10] = bit(7, 0);
  std::memcpy(f + 11, q + 8, 8);
  std::memcpy(f + 20, q + 16, 16);
  std::memcpy(f + 37, q + 32, 4);
  f[41] = q[36];
  bits(42, 97, 0, 6);
  bits(48, 98, 0, 3);
  bits(51, 99, 0, 5);
  f[56] = q[100] & 0x1F;
  f[57] = q[101] & 0x07;
  f[58] = q[101] >> 3 & 0x1F;
  bits(59, 102, 0, 4);
  std::memcpy(f + 63, q + 104, 4);
  const std::uint16_t v68 = q[108];
  const std::uint16_t v70 = std::uint16_t(q[109] | q[110] << 8);
  const std::uint16_t v72 = std::uint16_t(q[112] | q[113] << 8);
  std::memcpy(f + 68, &v68, 2);
  std::memcpy(f + 70, &v70, 2);
  std::memcpy(f + 72, &v72, 2);
  bits(74, 114, 0, 8);
  bits(82, 115, 0, 2);
  bits(84, 116, 0, 4);
  std::memcpy(info, f, sizeof f);
  return 1;
}

int FilmScanner::GetFuncLimitation(devapi::FuncLimitationInfo* info) {
  if (!info) return Refuse();
  if (!ReadInquiry()) return 0;
  std::int32_t flags[10];
  for (int i = 0; i < 8; ++i) flags[i] = inquiry_[117] >> i & 1;
  for (int i = 0; i < 2; ++i) flags[8 + i] = inquiry_[118] >> i & 1;
  std::memcpy(info->flags, flags, sizeof flags);
  return 1;
}

const std::uint8_t* FilmScanner::FindFilm(std::uint8_t id) const {
  for (int i = 0; i < 32; ++i)
    if (filmTable_[16 * i] == id) return filmTable_ + 16 * i;
  return nullptr;
}

namespace {
std::uint16_t word(const std::uint8_t* entry, int at) {
  return std::uint16_t(entry[at] | entry[at + 1] << 8);
}
}  // namespace

int FilmScanner::GetFilmSizeID(devapi::FilmSizeInfo* info) {
  if (!info) return Refuse();
  if (!ReadFilmTable()) return 0;
  info->sub_id = 0;
  info->width = 0;
  info->height = 0;
  if (const std::uint8_t* e = FindFilm(info->film_sz_id)) {
    info->sub_id = e[1];
    info->width = word(e, 4);
    info->height = word(e, 6);
  }
  return 1;
}

int FilmScanner::GetFilmSizeScope(devapi::FilmSizeScope* info) {
  if (!info) return Refuse();
  if (!ReadFilmTable()) return 0;
  info->min_width = info->min_height = info->max_width = info->max_height = 0;
  if (const std::uint8_t* e = FindFilm(info->film_sz_id)) {
    info->min_width = word(e, 8);
    info->min_height = word(e, 12);
    info->max_width = word(e, 10);
    info->max_height = word(e, 14);
  }
  return 1;
}

}  // namespace brightel
