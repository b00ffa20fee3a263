#include "hosts/twain/testapp/session.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace twain {
namespace {

bool parseNumber(const std::string& text, long long& out) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

bool writeFile(const std::filesystem::path& file, const void* data, std::size_t size) {
  std::ofstream out(file, std::ios::binary);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  return static_cast<bool>(out.flush());
}

template <typename T>
T readAt(const std::uint8_t* p, std::size_t at) {
  T v;
  std::memcpy(&v, p + at, sizeof v);
  return v;
}

}  // namespace

bool writeBmpFile(const std::uint8_t* dib, std::size_t size, const std::filesystem::path& file) {
  if (size < 40) return false;
  auto headerSize = readAt<std::uint32_t>(dib, 0);
  auto bits = readAt<std::uint16_t>(dib, 14);
  auto compression = readAt<std::uint32_t>(dib, 16);
  auto colours = readAt<std::uint32_t>(dib, 32);
  std::uint64_t palette = bits <= 8 ? (colours != 0 ? colours : 1u << bits) * 4ull : 0;
  std::uint64_t offset = 14ull + headerSize + palette + (compression == 3 ? 12 : 0);
  if (headerSize < 40 || offset - 14 > size || size + 14 > UINT32_MAX) return false;
  std::uint8_t head[14] = {'B', 'M'};
  auto total = static_cast<std::uint32_t>(size + 14);
  auto pixels = static_cast<std::uint32_t>(offset);
  std::memcpy(head + 2, &total, 4);
  std::memcpy(head + 10, &pixels, 4);
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(head), sizeof head);
  out.write(reinterpret_cast<const char*>(dib), static_cast<std::streamsize>(size));
  return static_cast<bool>(out.flush());
}

std::optional<std::size_t> packedDibSize(const std::uint8_t* dib) {
  const auto headerSize = readAt<std::uint32_t>(dib, 0);
  const auto width = readAt<std::int32_t>(dib, 4), height = readAt<std::int32_t>(dib, 8);
  const auto bits = readAt<std::uint16_t>(dib, 14);
  const auto compression = readAt<std::uint32_t>(dib, 16);
  const auto colours = readAt<std::uint32_t>(dib, 32);
  if (headerSize < 40 || headerSize > 1024 || width <= 0 || height == 0 || height == INT32_MIN) return std::nullopt;
  if (!((bits == 8 && compression == 0) || (bits == 16 && compression == 3))) return std::nullopt;
  if (bits == 8 && colours > 256) return std::nullopt;
  const std::uint64_t table = bits == 8 ? (colours != 0 ? colours : 256u) * 4ull : 12;
  const std::uint64_t row = (std::uint64_t(width) * (bits / 8) + 3) / 4 * 4;
  const std::uint64_t rows = height < 0 ? -std::int64_t{height} : height;
  const std::uint64_t size = headerSize + table + row * rows;
  if (size > (std::uint64_t{1} << 31)) return std::nullopt;
  return static_cast<std::size_t>(size);
}

std::optional<SessionOptions> parseArguments(const std::vector<std::string>& args, std::string& error) {
  SessionOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool hasValue = i + 1 < args.size();
    long long n = 0;
    if (a == "--memory") {
      o.memory = true;
    } else if (a == "--hide-ui") {
      o.showUI = false;
    } else if (a == "--manager" && hasValue) {
      o.manager = args[++i];
    } else if (a == "--out" && hasValue) {
      o.outDir = args[++i];
    } else if (a == "--buffer" && hasValue && parseNumber(args[i + 1], n) && n > 0 && n <= UINT32_MAX) {
      o.bufferSize = static_cast<TW_UINT32>(n);
      ++i;
    } else if (a == "--timeout-ms" && hasValue && parseNumber(args[i + 1], n) && n > 0 && n <= INT32_MAX) {
      o.timeoutMs = static_cast<int>(n);
      ++i;
    } else {
      error = "unknown or incomplete argument: " + a;
      return std::nullopt;
    }
  }
  if (o.manager.empty() || o.outDir.empty()) {
    error = "--manager and --out are needed";
    return std::nullopt;
  }
  return o;
}

Session::Session(SessionOptions options) : options_(std::move(options)) {
  app_.Version.MajorNum = 1;
  app_.Version.Language = TWLG_ENGLISH;
  app_.ProtocolMajor = TWON_PROTOCOLMAJOR;
  app_.ProtocolMinor = TWON_PROTOCOLMINOR;
  app_.SupportedGroups = DG_CONTROL | DG_IMAGE;
  std::strcpy(app_.Manufacturer, "NDT suite tests");
  std::strcpy(app_.ProductFamily, "TWAIN test application");
  std::strcpy(app_.ProductName, "TWAIN test application");
}

Session::~Session() { close(); }

TW_UINT16 Session::call(TW_IDENTITY* dest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF data,
                        const char* what) {
  TW_UINT16 rc = dsm_(&app_, dest, DG, DAT, MSG, data);
  std::string line = std::string(what) + " rc=" + std::to_string(rc);
  if (rc == TWRC_FAILURE) {
    TW_STATUS status{};
    dsm_(&app_, dest, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
    line += " cc=" + std::to_string(status.ConditionCode);
  }
  note(line);
  return rc;
}

bool Session::open() {
  if (phase_ != Phase::Closed) return false;
  if (!library_.open(options_.manager.string(), reinterpret_cast<const void*>(&parseArguments)) ||
      (dsm_ = library_.function<DSMENTRYPROC>("DSM_Entry")) == nullptr) {
    note("manager not loaded: " + library_.errorText());
    return false;
  }
  TW_HANDLE parent = nullptr;
  if (call(nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent, "OPENDSM") != TWRC_SUCCESS) return false;
  phase_ = Phase::ManagerOpen;
  // A manager of TWAIN 2.x gives its memory functions; without them handles
  // are plain blocks.
  TW_ENTRYPOINT entry{};
  entry.Size = sizeof entry;
  if (dsm_(&app_, nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &entry) == TWRC_SUCCESS) {
    auto memory = Memory::fromEntryPoint(entry);
    if (!memory) {
      note("entry point unusable");
      return false;
    }
    memory_ = *memory;
    note("manager memory");
  }
  if (call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &source_, "GETDEFAULT") != TWRC_SUCCESS) return false;
  note(std::string("source ") + source_.ProductName);
  if (call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source_, "OPENDS") != TWRC_SUCCESS) return false;
  phase_ = Phase::SourceOpen;

  TW_HANDLE h = memory_.allocate(sizeof(TW_ONEVALUE));
  if (auto* one = static_cast<TW_ONEVALUE*>(memory_.lock(h)); one != nullptr) {
    one->ItemType = TWTY_UINT16;
    one->Item = options_.memory ? TWSX_MEMORY : TWSX_NATIVE;
    memory_.unlock(h);
    TW_CAPABILITY cap{ICAP_XFERMECH, TWON_ONEVALUE, h};
    call(&source_, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap, "SET XFERMECH");
  }
  memory_.free(h);

  TW_USERINTERFACE ui{static_cast<TW_BOOL>(options_.showUI ? 1 : 0), 0, nullptr};
  TW_UINT16 rc = call(&source_, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui, "ENABLEDS");
  if (rc != TWRC_SUCCESS && rc != TWRC_CHECKSTATUS) return false;
  phase_ = Phase::Enabled;
  return true;
}

bool Session::processEvent(void* event) {
  if (phase_ != Phase::Enabled) return false;
  TW_EVENT ev{event, MSG_NULL};
  TW_UINT16 rc = dsm_(&app_, &source_, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &ev);
  if (rc != TWRC_DSEVENT) return true;
  if (ev.TWMessage == MSG_XFERREADY) {
    note("event XFERREADY");
    transfer();
  } else if (ev.TWMessage == MSG_CLOSEDSREQ) {
    note("event CLOSEDSREQ");
    close();
    return false;
  }
  return true;
}

void Session::transfer() {
  // The source keeps offering images while the pending count stays above 0.
  for (;;) {
    TW_IMAGEINFO info{};
    if (call(&source_, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info, "IMAGEINFO") != TWRC_SUCCESS) return;
    note("info " + std::to_string(info.ImageWidth) + "x" + std::to_string(info.ImageLength) + " bits " +
         std::to_string(info.BitsPerPixel));
    std::filesystem::path file = options_.outDir / ("image" + std::to_string(images_ + 1) + (options_.memory ? ".raw" : ".bmp"));
    if (options_.memory ? memoryTransfer(info, file) : nativeTransfer(file)) ++images_;
    TW_PENDINGXFERS pending{};
    if (call(&source_, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending, "ENDXFER") != TWRC_SUCCESS ||
        pending.Count == 0)
      return;
  }
}

bool Session::nativeTransfer(const std::filesystem::path& file) {
  TW_HANDLE dib = nullptr;
  if (call(&source_, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib, "IMAGENATIVEXFER") != TWRC_XFERDONE) return false;
  const auto* p = static_cast<const std::uint8_t*>(memory_.lock(dib));
  const std::optional<std::size_t> size = p != nullptr ? packedDibSize(p) : std::nullopt;
  const bool ok = size && writeBmpFile(p, *size, file);
  note(ok ? "native " + std::to_string(*size) + " bytes" : std::string("native DIB unusable"));
  memory_.unlock(dib);
  memory_.free(dib);
  return ok;
}

bool Session::memoryTransfer(const TW_IMAGEINFO& info, const std::filesystem::path& file) {
  TW_SETUPMEMXFER setup{};
  if (call(&source_, DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup, "SETUPMEMXFER") != TWRC_SUCCESS) return false;
  const TW_UINT32 length = options_.bufferSize != 0 ? options_.bufferSize : setup.Preferred;
  const std::size_t bytesPerPixel = info.BitsPerPixel > 8 ? 2 : 1;
  if (info.ImageWidth <= 0 || info.ImageLength <= 0 || length == 0) return false;
  const std::size_t row = static_cast<std::size_t>(info.ImageWidth) * bytesPerPixel;
  const auto height = static_cast<std::size_t>(info.ImageLength);
  if (row > (std::size_t{1} << 30) / height) return false;  // more than a radiograph holds
  std::vector<std::uint8_t> image(row * height), buffer(length);
  std::size_t rowsSeen = 0;
  for (;;) {
    TW_IMAGEMEMXFER x{};
    x.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, length, buffer.data()};
    TW_UINT16 rc = call(&source_, DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &x, "IMAGEMEMXFER");
    if (rc != TWRC_SUCCESS && rc != TWRC_XFERDONE) return false;
    note("strip rows=" + std::to_string(x.Rows) + " yoffset=" + std::to_string(x.YOffset) + " bytesperrow=" +
         std::to_string(x.BytesPerRow) + " written=" + std::to_string(x.BytesWritten));
    // The strip is placed only where it fits both the buffer and the image.
    if (x.BytesPerRow < row || x.Rows > length / x.BytesPerRow || x.YOffset > height || x.Rows > height - x.YOffset) {
      note("strip outside the image");
      return false;
    }
    for (std::size_t r = 0; r < x.Rows; ++r)
      std::memcpy(image.data() + (x.YOffset + r) * row, buffer.data() + r * x.BytesPerRow, row);
    rowsSeen += x.Rows;
    if (rc == TWRC_XFERDONE) break;
  }
  note("memory rows " + std::to_string(rowsSeen));
  return rowsSeen == height && writeFile(file, image.data(), image.size());
}

void Session::close() {
  if (phase_ == Phase::Enabled) {
    TW_USERINTERFACE ui{0, 0, nullptr};
    call(&source_, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui, "DISABLEDS");
    phase_ = Phase::SourceOpen;
  }
  if (phase_ == Phase::SourceOpen) {
    call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_, "CLOSEDS");
    phase_ = Phase::ManagerOpen;
  }
  if (phase_ == Phase::ManagerOpen) {
    TW_HANDLE parent = nullptr;
    call(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent, "CLOSEDSM");
    phase_ = Phase::Ended;
  }
}

int runTestApplication(int argc, char** argv,
                       const std::function<void(Session&, const SessionOptions&)>& loop) {
  std::string error;
  auto options = parseArguments(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 64;
  }
  Session session(*options);
  int code = 1;
  if (session.open()) {
    loop(session, *options);
    code = session.ended() ? 0 : 2;
  }
  session.close();
  for (const std::string& line : session.log()) std::printf("%s\n", line.c_str());
  std::printf("images %d\n", session.images());
  return code;
}

}  // namespace twain
