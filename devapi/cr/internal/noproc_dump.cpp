#include "devapi/cr/internal/noproc_dump.h"

#include <bit>
#include <cstdio>
#include <ctime>
#include <system_error>

namespace zentrac {
namespace {

static_assert(std::endian::native == std::endian::little, "the dump writes the samples as they lie in memory");

constexpr std::string_view kSopClass = "1.2.840.10008.5.1.4.1.1.7";
constexpr std::string_view kImplicitLittle = "1.2.840.10008.1.2";

std::string printed(const char* fmt, auto... args) {
  char buf[256];
  const int n = std::snprintf(buf, sizeof buf, fmt, args...);
  return std::string(buf, n < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buf - 1));
}

class HeaderWriter {
 public:
  void bytes(std::string_view b) { out_.append(b); }
  void u16(std::uint16_t v) {
    out_.push_back(static_cast<char>(v & 0xFF));
    out_.push_back(static_cast<char>(v >> 8));
  }
  void u32(std::uint32_t v) {
    u16(static_cast<std::uint16_t>(v & 0xFFFF));
    u16(static_cast<std::uint16_t>(v >> 16));
  }
  void tag(std::uint16_t group, std::uint16_t element) {
    u16(group);
    u16(element);
  }
  // Explicit VR with a 2-byte length (the file meta group's UI and UL).
  void explicitShort(std::uint16_t group, std::uint16_t element, std::string_view vr, std::string_view value) {
    tag(group, element);
    bytes(vr);
    u16(static_cast<std::uint16_t>(value.size()));
    bytes(value);
  }
  // Implicit VR: tag, 4-byte length, value.
  void implicit(std::uint16_t group, std::uint16_t element, std::string_view value) {
    tag(group, element);
    u32(static_cast<std::uint32_t>(value.size()));
    bytes(value);
  }
  void implicitUs(std::uint16_t group, std::uint16_t element, std::uint16_t value) {
    tag(group, element);
    u32(2);
    u16(value);
  }
  std::string& str() { return out_; }

 private:
  std::string out_;
};

// Values of even length: UIDs padded with NUL, texts with a blank.
std::string uid(std::string v) {
  if (v.size() % 2) v.push_back('\0');
  return v;
}
std::string text(std::string v) {
  if (v.size() % 2) v.push_back(' ');
  return v;
}

int scanMode(const ScanContext& scan) { return scan.option1 & 0xFF; }
int highVoltage(const ScanContext& scan) { return (scan.option5 * 2477 + 4500) / 9000; }

std::string dateTime(const platform::clock::LocalTime& t) {
  return printed("%04d%02d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
}

// Root, kind (9 media SOP instance, 3 SOP instance, 1 study, 2 series), serial, time.
std::string dumpUid(const ScanContext& scan, const DumpStamp& stamp, int kind) {
  return std::string(kDumpUidRoot) + printed(".%d%05d.", kind, scan.serialNumber) + dateTime(stamp.local) +
         (kind == 3 ? ".1" : ".0");
}

bool describable(std::size_t width, std::size_t lines) {
  return width <= 0xFFFF && lines <= 0xFFFF &&
         static_cast<std::uint64_t>(width) * lines * 2 <= 0xFFFFFFFEull;
}

}  // namespace

DumpStamp DumpStamp::now() {
  DumpStamp s;
  s.local = platform::clock::localTime();
  s.epochSeconds = static_cast<std::uint32_t>(std::time(nullptr));
  return s;
}

std::string noProcDumpName(const ScanContext& scan, const DumpStamp& stamp, std::size_t width,
                           std::size_t lines) {
  const platform::clock::LocalTime& t = stamp.local;
  return printed("NoProc_%04d_HV%03d_M%d_%04d%02d%02d_%02d%02d%02d_%llux%llu.dcm", scan.serialNumber,
                highVoltage(scan), scanMode(scan), t.year, t.month, t.day, t.hour, t.minute, t.second,
                static_cast<unsigned long long>(width), static_cast<unsigned long long>(lines));
}

std::string noProcDumpHeader(const ScanContext& scan, const DumpStamp& stamp, std::size_t width,
                             std::size_t lines) {
  if (!describable(width, lines)) return {};
  const platform::clock::LocalTime& t = stamp.local;
  const bool twelve = scan.outBitDepth == 12;
  const std::uint16_t bitsStored = twelve ? 12 : (scan.outBitDepth == 16 ? 16 : 14);
  const int odMax = scan.option2 & 0xFF;
  const bool inverted = odMax != 0 && scan.numberOfLut != 0 && scan.numberOfLut != 2;
  const std::string serialStamp = printed("%05d%08x ", scan.serialNumber, stamp.epochSeconds);
  const std::string serialName = printed("%05d ", scan.serialNumber);
  const double pitchMm = scan.scanPitch / 1000.0;

  HeaderWriter meta;
  meta.tag(0x0002, 0x0001);
  meta.bytes("OB");
  meta.u16(0);
  meta.u32(2);
  meta.bytes(std::string_view("\0\1", 2));
  meta.explicitShort(0x0002, 0x0002, "UI", uid(std::string(kSopClass)));
  meta.explicitShort(0x0002, 0x0003, "UI", uid(dumpUid(scan, stamp, 9)));
  meta.explicitShort(0x0002, 0x0010, "UI", uid(std::string(kImplicitLittle)));
  meta.explicitShort(0x0002, 0x0012, "UI", uid(std::string(kDumpImplementationUid)));

  HeaderWriter h;
  h.bytes(std::string(128, '\0'));
  h.bytes("DICM");
  h.tag(0x0002, 0x0000);
  h.bytes("UL");
  h.u16(4);
  h.u32(static_cast<std::uint32_t>(meta.str().size()));
  h.bytes(meta.str());

  h.implicit(0x0008, 0x0016, uid(std::string(kSopClass)));
  h.implicit(0x0008, 0x0018, uid(dumpUid(scan, stamp, 3)));
  h.implicit(0x0008, 0x0020, printed("%04d%02d%02d", t.year, t.month, t.day));
  h.implicit(0x0008, 0x0030, printed("%02d%02d%02d", t.hour, t.minute, t.second));
  h.implicit(0x0008, 0x0050, serialStamp);
  h.implicit(0x0008, 0x0060, "RG");
  h.implicit(0x0008, 0x0064, "DF");
  h.implicit(0x0008, 0x0090, "");
  h.implicit(0x0010, 0x0010, serialName);
  h.implicit(0x0010, 0x0020, serialName);
  h.implicit(0x0010, 0x0030, "");
  h.implicit(0x0010, 0x0040, "O ");
  h.implicit(0x0020, 0x000D, uid(dumpUid(scan, stamp, 1)));
  h.implicit(0x0020, 0x000E, uid(dumpUid(scan, stamp, 2)));
  h.implicit(0x0020, 0x0010, serialStamp);
  h.implicit(0x0020, 0x0011, "");
  h.implicit(0x0020, 0x0013, "1 ");
  h.implicitUs(0x0028, 0x0002, 1);
  h.implicit(0x0028, 0x0004, inverted ? "MONOCHROME1 " : "MONOCHROME2 ");
  h.implicitUs(0x0028, 0x0010, static_cast<std::uint16_t>(lines));
  h.implicitUs(0x0028, 0x0011, static_cast<std::uint16_t>(width));
  h.implicit(0x0028, 0x0030, text(printed("%4.3f\\%4.3f", pitchMm, pitchMm)));
  h.implicitUs(0x0028, 0x0100, 16);
  h.implicitUs(0x0028, 0x0101, bitsStored);
  h.implicitUs(0x0028, 0x0102, static_cast<std::uint16_t>(bitsStored - 1));
  h.implicitUs(0x0028, 0x0103, 0);
  h.implicit(0x0028, 0x1050, twelve ? "2048" : "8192");
  h.implicit(0x0028, 0x1051, twelve ? "4096" : "16384 ");
  h.tag(0x7FE0, 0x0010);
  h.u32(static_cast<std::uint32_t>(width * lines * 2));
  return std::move(h.str());
}

bool writeNoProcDump(const CorrectionImage& image, std::size_t lines, const ScanContext& scan,
                     const DumpStamp& stamp) {
  auto log = [&](std::string_view entry) {
    if (scan.log) scan.log(entry);
  };
  log("SaveImage.\n");
  if (!image.valid() || lines > image.lines()) return false;
  const std::filesystem::path file = scan.dumpDir / noProcDumpName(scan, stamp, image.width, lines);
  const std::string header = noProcDumpHeader(scan, stamp, image.width, lines);
  // Written under a temporary name so that no half-written dump is left behind.
  std::filesystem::path part = file;
  part += ".part";
  std::FILE* out = std::fopen(part.c_str(), "wb");
  if (!out) return false;
  bool ok = true;
  if (header.empty() || std::fwrite(header.data(), 1, header.size(), out) != header.size()) {
    log("Error : WriteDicomHeader.\n");
    ok = false;
  }
  for (std::size_t y = 0; ok && y < lines; y += image.linesPerBlock) {
    const std::size_t n = std::min(image.linesPerBlock, lines - y) * image.width;
    if (std::fwrite(image.line(y), sizeof(std::uint16_t), n, out) != n) {
      log("Error : WriteFile.\n");
      ok = false;
    }
  }
  if (std::fclose(out) != 0 && ok) {
    log("Error : WriteFile.\n");
    ok = false;
  }
  std::error_code ec;
  if (ok) {
    std::filesystem::rename(part, file, ec);
    if (ec) ok = false;
  }
  if (!ok) std::filesystem::remove(part, ec);
  return ok;
}

}  // namespace zentrac
