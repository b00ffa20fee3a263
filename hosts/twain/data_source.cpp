#include "hosts/twain/internal/data_source.h"

#include "hosts/twain/internal/fix32.h"
#include "hosts/twain/twain_memory.h"
#include "platform/ini.h"

#include <algorithm>
#include <cstring>

namespace twain {
namespace {

// A pitch for layouts in pixels before any image has told the real one.
constexpr std::uint16_t kDefaultPitchUm = 100;
// The default layout: the whole scanning area.
constexpr double kDefaultWidthMm = 360, kDefaultHeightMm = 432;
// Images larger than this are refused rather than allocated (a 14 x 17 inch
// film at 50 um and 16 bits is about 140 MB).
constexpr std::uint64_t kImageLimit = std::uint64_t{1} << 31;

constexpr std::uint32_t kBiRgb = 0, kBiBitfields = 3;

void copyText(char* out, std::size_t room, const std::string& text) {
  std::memset(out, 0, room);
  std::memcpy(out, text.data(), std::min(text.size(), room));
}

bool complete(const ScanUiFunctions& f) {
  return f.SetDSProcAddress && f.IsThereAnyDigitizerAvailable && f.IsDigitizerAvailable && f.InitUI && f.ShowUI &&
         f.HideUI && f.TermUI && f.GetScanData && f.ReleaseScanData && f.GetAutofeederCount &&
         f.ResetAutofeederCount && f.CeaseScan;
}

const std::uint8_t* bytesOf(const scanui::ScanData& image) { return static_cast<const std::uint8_t*>(image.pixels); }

template <typename T>
void put(std::uint8_t* out, const T& value) {
  std::memcpy(out, &value, sizeof value);
}

}  // namespace

TW_IDENTITY sourceIdentityFrom(const std::filesystem::path& ini) {
  platform::ini::IniFile file = platform::ini::IniFile::load(ini);
  TW_IDENTITY id{};
  id.Version.MajorNum = static_cast<TW_UINT16>(file.getInt("DS Identity", "versionMAJOR", 0));
  id.Version.MinorNum = static_cast<TW_UINT16>(file.getInt("DS Identity", "versionMINOR", 0));
  id.Version.Language = TWLG_ENGLISH;
  id.Version.Country = TWCY_JAPAN;
  // Each text keeps at most 32 characters and its NUL; the version text 31.
  copyText(id.Version.Info, 31, file.getString("DS Identity", "versionINFO", ""));
  id.ProtocolMajor = TWON_PROTOCOLMAJOR;
  id.ProtocolMinor = TWON_PROTOCOLMINOR;
  id.SupportedGroups = DG_CONTROL | DG_IMAGE;
  copyText(id.Manufacturer, 32, file.getString("DS Identity", "Manufacturer", ""));
  copyText(id.ProductFamily, 32, file.getString("DS Identity", "ProductFamily", ""));
  copyText(id.ProductName, 32, file.getString("DS Identity", "ProductName", ""));
  return id;
}

DataSource::DataSource(TW_IDENTITY identity, std::filesystem::path capabilityFile, ScanUiFunctions ui,
                       DSMENTRYPROC manager, EventPump pump)
    : identity_(identity),
      capabilities_(std::move(capabilityFile)),
      ui_(ui),
      manager_(manager),
      pump_(pump) {
  identity_.Id = 0;  // the manager gives it at open
}

TW_UINT16 DataSource::fail(TW_UINT16 cc) {
  condition_ = cc;
  return TWRC_FAILURE;
}

TW_UINT16 DataSource::entry(TW_IDENTITY* origin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF data) {
  // Without every function of the UI and the manager's entry nothing can work.
  if (!complete(ui_) || manager_ == nullptr) return fail(TWCC_OPERATIONERROR);
  if (DG == DG_CONTROL) return control(origin, DAT, MSG, data);
  if (DG == DG_IMAGE) return image(DAT, MSG, data);
  return fail(TWCC_BADPROTOCOL);
}

TW_UINT16 DataSource::control(TW_IDENTITY* origin, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF data) {
  switch (DAT) {
    case DAT_EVENT: {
      if (MSG != MSG_PROCESSEVENT) return fail(TWCC_BADPROTOCOL);
      if (data == nullptr) return fail(TWCC_BADVALUE);
      auto* event = static_cast<TW_EVENT*>(data);
      event->TWMessage = MSG_NULL;
      bool taken = dialog_ != nullptr && pump_ != nullptr && pump_(event->pEvent);
      return taken ? TWRC_DSEVENT : TWRC_NOTDSEVENT;
    }
    case DAT_IDENTITY:
      if (data == nullptr) return fail(TWCC_BADVALUE);
      return identity(origin, MSG, static_cast<TW_IDENTITY*>(data));
    case DAT_USERINTERFACE:
      if (data == nullptr) return fail(TWCC_BADVALUE);
      return userInterface(MSG, static_cast<TW_USERINTERFACE*>(data));
    case DAT_CAPABILITY: {
      if (MSG != MSG_GET && MSG != MSG_GETCURRENT && MSG != MSG_GETDEFAULT && MSG != MSG_SET && MSG != MSG_RESET)
        return fail(TWCC_BADPROTOCOL);
      bool changes = MSG == MSG_SET || MSG == MSG_RESET;
      if (changes ? state_ != 4 : !inState(4, 7)) return fail(TWCC_SEQERROR);
      if (data == nullptr) return fail(TWCC_BADVALUE);
      TW_UINT16 cc = capabilities_.answer(MSG, *static_cast<TW_CAPABILITY*>(data), memory_);
      return cc == TWCC_SUCCESS ? TWRC_SUCCESS : fail(cc);
    }
    case DAT_STATUS: {
      if (MSG != MSG_GET) return fail(TWCC_BADPROTOCOL);
      if (!inState(4, 7)) return fail(TWCC_SEQERROR);
      if (data == nullptr) return fail(TWCC_BADVALUE);
      auto* status = static_cast<TW_STATUS*>(data);
      status->ConditionCode = condition_;
      status->Reserved = 0;
      condition_ = TWCC_SUCCESS;
      return TWRC_SUCCESS;
    }
    case DAT_PENDINGXFERS:
      if (data == nullptr) return fail(TWCC_BADVALUE);
      return pendingTransfers(MSG, static_cast<TW_PENDINGXFERS*>(data));
    case DAT_SETUPMEMXFER: {
      if (MSG != MSG_GET) return fail(TWCC_BADPROTOCOL);
      if (!inState(4, 6)) return fail(TWCC_SEQERROR);
      if (data == nullptr) return fail(TWCC_BADVALUE);
      // With an image ready, the sizes told are those of this image; without
      // its pixels the file's sizes stand.
      if (state_ == 6) fetchImage();
      *static_cast<TW_SETUPMEMXFER*>(data) = memoryLimits();
      return TWRC_SUCCESS;
    }
    case DAT_ENTRYPOINT: {
      // A manager hands its memory functions over before the source is opened.
      if (MSG != MSG_SET) return fail(TWCC_BADPROTOCOL);
      if (state_ != 3) return fail(TWCC_SEQERROR);
      if (data == nullptr) return fail(TWCC_BADVALUE);
      auto memory = Memory::fromEntryPoint(*static_cast<const TW_ENTRYPOINT*>(data));
      if (!memory) return fail(TWCC_BADVALUE);
      memory_ = *memory;
      return TWRC_SUCCESS;
    }
    case DAT_XFERGROUP: {
      if (MSG != MSG_GET) return fail(TWCC_BADPROTOCOL);
      if (!inState(4, 6)) return fail(TWCC_SEQERROR);
      if (data == nullptr) return fail(TWCC_BADVALUE);
      *static_cast<TW_UINT32*>(data) = DG_IMAGE;
      return TWRC_SUCCESS;
    }
    default: return fail(TWCC_BADPROTOCOL);
  }
}

TW_UINT16 DataSource::identity(TW_IDENTITY* origin, TW_UINT16 MSG, TW_IDENTITY* data) {
  switch (MSG) {
    case MSG_GET:
      if (!inState(3, 7)) return fail(TWCC_SEQERROR);
      *data = identity_;
      // The probe opens and closes the device: with a session open it would
      // take the device away from it.
      if (state_ == 3) ui_.IsThereAnyDigitizerAvailable(0);
      return TWRC_SUCCESS;
    case MSG_OPENDS:
      if (hasApp_) return fail(TWCC_MAXCONNECTIONS);
      if (state_ != 3) return fail(TWCC_SEQERROR);
      if (origin == nullptr) return fail(TWCC_BADVALUE);
      if (ui_.IsThereAnyDigitizerAvailable(0) == 0 || ui_.InitUI(0) == 0) return fail(TWCC_OPERATIONERROR);
      app_ = *origin;
      // The application's texts come from outside: each ends within its field.
      for (char* text : {app_.Version.Info, app_.Manufacturer, app_.ProductFamily, app_.ProductName})
        text[32] = text[33] = '\0';
      hasApp_ = true;
      identity_.Id = data->Id;
      state_ = 4;
      return TWRC_SUCCESS;
    case MSG_CLOSEDS:
      if (state_ != 4) return fail(TWCC_SEQERROR);
      app_ = TW_IDENTITY{};
      hasApp_ = false;
      ui_.TermUI(0);
      state_ = 3;
      return TWRC_SUCCESS;
    default: return fail(TWCC_BADPROTOCOL);
  }
}

TW_UINT16 DataSource::userInterface(TW_UINT16 MSG, TW_USERINTERFACE* ui) {
  switch (MSG) {
    case MSG_ENABLEDS: {
      if (state_ != 4) return fail(TWCC_SEQERROR);
      parent_ = ui->hParent;
      // The application's window is no Qt widget: the dialog is a window of its own.
      dialog_ = ui_.ShowUI(nullptr, app_.ProductName);
      if (dialog_ == nullptr) return fail(TWCC_OPERATIONERROR);
      ui->ModalUI = 0;
      state_ = 5;
      // The dialog cannot be hidden: with ShowUI FALSE it is shown all the same,
      // and the application learns so from TWRC_CHECKSTATUS.
      return ui->ShowUI == 0 ? TWRC_CHECKSTATUS : TWRC_SUCCESS;
    }
    case MSG_DISABLEDS:
      if (state_ != 5) return fail(TWCC_SEQERROR);
      if (feeder_ != 0) {
        ui_.ResetAutofeederCount();
        ui_.CeaseScan();
      }
      releaseImage();
      ui_.HideUI(0);
      dialog_ = nullptr;
      state_ = 4;
      return TWRC_SUCCESS;
    default: return fail(TWCC_BADPROTOCOL);
  }
}

TW_UINT16 DataSource::pendingTransfers(TW_UINT16 MSG, TW_PENDINGXFERS* pending) {
  switch (MSG) {
    case MSG_GET:
      if (!inState(4, 7)) return fail(TWCC_SEQERROR);
      feeder_ = ui_.GetAutofeederCount();
      pending->Count = 0;
      return TWRC_SUCCESS;
    case MSG_ENDXFER:
      if (!inState(6, 7)) return fail(TWCC_SEQERROR);
      strip_ = rowsPerStrip_ = stripCount_ = firstLength_ = 0;
      feeder_ = std::max(0, ui_.GetAutofeederCount());
      pending->Count = 0;
      releaseImage();
      state_ = 5;
      return TWRC_SUCCESS;
    case MSG_RESET:
      if (state_ != 6) return fail(TWCC_SEQERROR);
      feeder_ = 0;
      pending->Count = 0;
      ui_.ResetAutofeederCount();
      ui_.CeaseScan();
      releaseImage();
      strip_ = rowsPerStrip_ = stripCount_ = firstLength_ = 0;
      state_ = 5;
      return TWRC_SUCCESS;
    default: return fail(TWCC_BADPROTOCOL);
  }
}

TW_UINT16 DataSource::image(TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF data) {
  switch (DAT) {
    case DAT_IMAGEINFO: {
      if (MSG != MSG_GET) return fail(TWCC_BADPROTOCOL);
      if (state_ != 6) return fail(TWCC_SEQERROR);
      if (data == nullptr) return fail(TWCC_BADVALUE);
      if (TW_UINT16 cc = fetchImage(); cc != TWCC_SUCCESS) return fail(cc);
      TW_IMAGEINFO info{};
      // A fixed resolution of 28.34, whatever the pitch.
      info.XResolution = info.YResolution = *fix32FromDouble(28.34);
      info.ImageWidth = static_cast<TW_INT32>(image_.width);
      info.ImageLength = static_cast<TW_INT32>(image_.height);
      info.SamplesPerPixel = 1;
      info.BitsPerSample[0] = info.BitsPerPixel = image_.bits > 8 ? 16 : 8;
      info.Planar = 0;
      info.PixelType = TWPT_GRAY;
      info.Compression = TWCP_NONE;
      *static_cast<TW_IMAGEINFO*>(data) = info;
      return TWRC_SUCCESS;
    }
    case DAT_IMAGELAYOUT:
      if (data == nullptr) return fail(TWCC_BADVALUE);
      return imageLayout(MSG, static_cast<TW_IMAGELAYOUT*>(data));
    case DAT_IMAGEMEMXFER:
      if (MSG != MSG_GET) return fail(TWCC_BADPROTOCOL);
      if (!inState(6, 7)) return fail(TWCC_SEQERROR);
      if (data == nullptr) return fail(TWCC_BADVALUE);
      return memoryTransfer(static_cast<TW_IMAGEMEMXFER*>(data));
    case DAT_IMAGENATIVEXFER:
      if (MSG != MSG_GET) return fail(TWCC_BADPROTOCOL);
      if (state_ != 6) return fail(TWCC_SEQERROR);
      if (data == nullptr) return fail(TWCC_BADVALUE);
      return nativeTransfer(static_cast<TW_HANDLE*>(data));
    default: return fail(TWCC_BADPROTOCOL);
  }
}

TW_UINT16 DataSource::imageLayout(TW_UINT16 MSG, TW_IMAGELAYOUT* layout) {
  double left = 0, top = 0, width = 0, height = 0;
  switch (MSG) {
    case MSG_GET:
      if (!inState(4, 6)) return fail(TWCC_SEQERROR);
      left = image_.left, top = image_.top, width = image_.frameWidth, height = image_.frameHeight;
      break;
    case MSG_GETDEFAULT:
      if (!inState(4, 6)) return fail(TWCC_SEQERROR);
      width = kDefaultWidthMm, height = kDefaultHeightMm;
      break;
    case MSG_SET: return TWRC_SUCCESS;  // the frame is chosen in the dialog
    case MSG_RESET:
      if (state_ != 4) return fail(TWCC_SEQERROR);
      break;
    default: return fail(TWCC_BADPROTOCOL);
  }
  // Millimetres to the current unit; inches and the rest stay in millimetres.
  const double pitch = MSG == MSG_GET && imageSeen_ && image_.pitch != 0 ? image_.pitch : kDefaultPitchUm;
  double scale = 1;
  switch (capabilities_.currentValue(ICAP_UNITS).value_or(TWUN_INCHES)) {
    case TWUN_CENTIMETERS: scale = 0.1; break;
    case TWUN_PIXELS: scale = 1000.0 / pitch; break;
    default: break;
  }
  auto fix = [&](double mm) { return fix32FromDouble(mm * scale).value_or(TW_FIX32{}); };
  TW_IMAGELAYOUT out{};
  out.Frame = TW_FRAME{fix(left), fix(top), fix(left + width), fix(top + height)};
  out.DocumentNumber = out.PageNumber = out.FrameNumber = 1;
  *layout = out;
  return TWRC_SUCCESS;
}

TW_SETUPMEMXFER DataSource::memoryLimits() const {
  TW_SETUPMEMXFER setup = capabilities_.setupMemXfer();
  if (!held_) return setup;
  // No buffer smaller than one of the image's rows can work. Worked on
  // copies: packed fields must not be bound to references.
  const TW_UINT32 row = static_cast<TW_UINT32>(paddedRow());
  const TW_UINT32 fileMin = setup.MinBufSize, fileMax = setup.MaxBufSize, preferred = setup.Preferred;
  const TW_UINT32 min = std::max(fileMin, row);
  const TW_UINT32 max = std::max(fileMax, min);
  setup.MinBufSize = min;
  setup.MaxBufSize = max;
  setup.Preferred = std::clamp(preferred, min, max);
  return setup;
}

std::size_t DataSource::paddedRow() const {
  std::size_t row = static_cast<std::size_t>(image_.width) * image_.bytesPerPixel;
  return (row + 3) / 4 * 4;
}

TW_UINT16 DataSource::fetchImage() {
  if (held_) return TWCC_SUCCESS;
  // The UI leaves the record as it was when it has no image: start from nothing.
  scanui::ScanData fetched{};
  if (ui_.GetScanData(&fetched) == nullptr) return TWCC_OPERATIONERROR;
  image_ = fetched;
  imageSeen_ = true;
  // Rows padded to 4 bytes, as both transfers lay them out.
  const std::uint64_t bytes = (std::uint64_t{image_.width} * image_.bytesPerPixel + 3) / 4 * 4 * image_.height;
  if (image_.pixels == nullptr || image_.width == 0 || image_.height == 0 ||
      (image_.bytesPerPixel != 1 && image_.bytesPerPixel != 2) || bytes > kImageLimit) {
    // An image without pixels, or one no transfer could carry, is given back at once.
    if (image_.pixels != nullptr) ui_.ReleaseScanData(&image_);
    image_.pixels = nullptr;
    return TWCC_OPERATIONERROR;
  }
  held_ = true;
  strip_ = rowsPerStrip_ = stripCount_ = firstLength_ = 0;
  return TWCC_SUCCESS;
}

void DataSource::releaseImage() {
  if (!held_) return;
  ui_.ReleaseScanData(&image_);
  image_.pixels = nullptr;
  held_ = false;
}

TW_UINT16 DataSource::memoryTransfer(TW_IMAGEMEMXFER* xfer) {
  if (TW_UINT16 cc = fetchImage(); cc != TWCC_SUCCESS) return fail(cc);
  const TW_UINT32 length = xfer->Memory.Length;
  // The same limits as DAT_SETUPMEMXFER gave: every size told is taken.
  const TW_SETUPMEMXFER setup = memoryLimits();
  const std::size_t padded = paddedRow();
  if (stripCount_ != 0 && strip_ >= stripCount_) return fail(TWCC_SEQERROR);  // every strip was sent
  if (length < setup.MinBufSize || length > setup.MaxBufSize || length < padded) return fail(TWCC_BADVALUE);
  if (rowsPerStrip_ != 0 && length != firstLength_) return fail(TWCC_BADVALUE);
  // A handle buffer is locked by the rule of the handles; its length, like a
  // pointer buffer's, is the application's word.
  const bool handle = (xfer->Memory.Flags & TWMF_HANDLE) != 0;
  auto* out = static_cast<std::uint8_t*>(handle ? memory_.lock(xfer->Memory.TheMem) : xfer->Memory.TheMem);
  if (out == nullptr) return fail(TWCC_BADVALUE);
  // The first strip that is accepted fixes the strip geometry.
  if (rowsPerStrip_ == 0) {
    rowsPerStrip_ = static_cast<std::uint32_t>(std::min<std::size_t>(length / padded, image_.height));
    stripCount_ = image_.height / rowsPerStrip_ + (image_.height % rowsPerStrip_ != 0 ? 1 : 0);
    firstLength_ = length;
  }

  const std::uint32_t first = strip_ * rowsPerStrip_;
  const std::uint32_t rows = std::min(rowsPerStrip_, image_.height - first);
  const std::size_t row = static_cast<std::size_t>(image_.width) * image_.bytesPerPixel;
  std::memset(out, 0, length);
  for (std::uint32_t r = 0; r < rows; ++r)
    std::memcpy(out + r * padded, bytesOf(image_) + (static_cast<std::size_t>(first) + r) * row, row);
  if (handle) memory_.unlock(xfer->Memory.TheMem);

  xfer->Compression = TWCP_NONE;
  xfer->BytesPerRow = static_cast<TW_UINT32>(padded);
  xfer->Columns = image_.width;
  xfer->Rows = rows;
  xfer->XOffset = 0;
  xfer->YOffset = first;
  xfer->BytesWritten = static_cast<TW_UINT32>(padded * rows);
  ++strip_;
  state_ = 7;
  return strip_ < stripCount_ ? TWRC_SUCCESS : TWRC_XFERDONE;
}

TW_UINT16 DataSource::nativeTransfer(TW_HANDLE* handle) {
  if (TW_UINT16 cc = fetchImage(); cc != TWCC_SUCCESS) return fail(cc);
  const bool wide = image_.bytesPerPixel == 2;
  const std::size_t colours = wide ? 3 * 4 : 256 * 4;  // colour masks or the grey palette
  const std::size_t head = 40 + colours;
  const std::size_t padded = paddedRow();
  const std::size_t row = static_cast<std::size_t>(image_.width) * image_.bytesPerPixel;
  TW_HANDLE dib = memory_.allocate(head + padded * image_.height);
  auto* p = static_cast<std::uint8_t*>(memory_.lock(dib));
  if (p == nullptr) {
    memory_.free(dib);
    return fail(TWCC_LOWMEMORY);
  }
  std::memset(p, 0, head + padded * image_.height);
  put(p + 0, std::uint32_t{40});
  put(p + 4, static_cast<std::int32_t>(image_.width));
  put(p + 8, static_cast<std::int32_t>(image_.height));  // positive: bottom-up rows
  put(p + 12, std::uint16_t{1});
  put(p + 14, static_cast<std::uint16_t>(wide ? 16 : 8));
  put(p + 16, wide ? kBiBitfields : kBiRgb);
  put(p + 20, static_cast<std::uint32_t>(padded * image_.height));
  if (wide) {
    const std::uint32_t mask = image_.bits == 10 ? 1023 : 4095;
    for (int i = 0; i < 3; ++i) put(p + 40 + 4 * i, mask);
  } else {
    for (int i = 0; i < 256; ++i) p[40 + 4 * i] = p[41 + 4 * i] = p[42 + 4 * i] = static_cast<std::uint8_t>(i);
  }
  for (std::uint32_t y = 0; y < image_.height; ++y)
    std::memcpy(p + head + static_cast<std::size_t>(image_.height - 1 - y) * padded,
                bytesOf(image_) + static_cast<std::size_t>(y) * row, row);
  memory_.unlock(dib);
  *handle = dib;
  state_ = 7;
  return TWRC_XFERDONE;
}

TW_UINT16 DataSource::sendToApplication(TW_UINT16 msg) {
  return manager_(&identity_, &app_, DG_CONTROL, DAT_NULL, msg, nullptr);
}

int DataSource::transferReady() {
  if (state_ != 5) {
    condition_ = TWCC_SEQERROR;
    return 0;
  }
  if (sendToApplication(MSG_XFERREADY) != TWRC_SUCCESS) {
    condition_ = TWCC_OPERATIONERROR;
    return 0;
  }
  // A memory transfer takes the image now, while the UI still holds it.
  if (capabilities_.currentValue(ICAP_XFERMECH) == TWSX_MEMORY) {
    if (TW_UINT16 cc = fetchImage(); cc != TWCC_SUCCESS) {
      condition_ = cc;
      return 0;
    }
    strip_ = rowsPerStrip_ = stripCount_ = firstLength_ = 0;
  }
  state_ = 6;
  return 1;
}

int DataSource::closeRequest() {
  if (!inState(5, 7)) {
    condition_ = TWCC_SEQERROR;
    return 0;
  }
  if (sendToApplication(MSG_CLOSEDSREQ) != TWRC_SUCCESS) {
    condition_ = TWCC_OPERATIONERROR;
    return 0;
  }
  state_ = 5;
  return 1;
}

}  // namespace twain
