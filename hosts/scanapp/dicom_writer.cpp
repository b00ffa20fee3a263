#include "hosts/scanapp/dicom_writer.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "platform/ini.h"
#include "platform/text.h"
#include "viewer/formats/diconde.h"

namespace ombrel {
namespace {

constexpr std::size_t kMaxIniValue = 63;
constexpr const char* kCreator = "Korva DICOM private elements version1.0";
// (00FF,0000) may stand no later than this for the filler to fit.
constexpr std::size_t kLastPrivateGroupStart = 1000 - 40;

std::string iniValue(const platform::ini::IniFile& ini, std::string_view key) {
  std::string v = ini.getString("DICOM", key, "");
  v.resize(platform::text::cp932CutLength(v, kMaxIniValue));
  return v;
}

bool isUidRoot(std::string_view root) {
  if (root.empty() || root.front() == '.' || root.back() == '.') return false;
  for (char c : root)
    if (!(c == '.' || (c >= '0' && c <= '9'))) return false;
  return true;
}

std::string field(const char* text, std::size_t size) { return std::string(text, strnlen(text, size)); }

void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(std::uint8_t(v));
  out.push_back(std::uint8_t(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  put16(out, std::uint16_t(v));
  put16(out, std::uint16_t(v >> 16));
}

// One group: its (gggg,0000) length comes first, computed when it is closed.
class Group {
 public:
  Group(std::vector<std::uint8_t>& out, std::uint16_t group) : out_(out), group_(group) {
    put16(out_, group);
    put16(out_, 0);
    put32(out_, 4);
    lengthAt_ = out_.size();
    put32(out_, 0);
  }
  ~Group() {
    const std::uint32_t length = std::uint32_t(out_.size() - lengthAt_ - 4);
    for (int i = 0; i < 4; ++i) out_[lengthAt_ + i] = std::uint8_t(length >> (8 * i));
  }
  void text(std::uint16_t element, std::string_view value) { add(element, value, ' '); }
  void uid(std::uint16_t element, std::string_view value) { add(element, value, '\0'); }
  void us(std::uint16_t element, std::uint16_t value) {
    head(element, 2);
    put16(out_, value);
  }

 private:
  void head(std::uint16_t element, std::uint32_t length) {
    put16(out_, group_);
    put16(out_, element);
    put32(out_, length);
  }
  void add(std::uint16_t element, std::string_view value, char pad) {
    const std::size_t padded = (value.size() + 1) & ~std::size_t(1);
    head(element, std::uint32_t(padded));
    out_.insert(out_.end(), value.begin(), value.end());
    if (padded != value.size()) out_.push_back(std::uint8_t(pad));
  }

  std::vector<std::uint8_t>& out_;
  std::uint16_t group_;
  std::size_t lengthAt_;
};

std::string decimal(long v) { return std::to_string(v); }

std::string pitchText(unsigned pitchMicrometres) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, pitchMicrometres / 1000.0, std::chars_format::fixed, 3);
  const std::string one(buf, r.ptr);
  return one + "\\" + one;
}

// The values that the scan UI's operator types, converted; the header is built
// with them as they fit.
struct Converted {
  std::string name, id, studyId, description;
};

std::vector<std::uint8_t> layout(const scanui::StudyData& study, const scanui::ScanData& scan,
                                 const DicomSettings& s, const RunUids& uids, long number,
                                 const Converted& c) {
  std::vector<std::uint8_t> out;
  out.reserve(kDicomHeaderBytes);
  const bool monochrome1 = scan.odRange == kCrMonochrome1;
  {
    Group g(out, 0x0008);
    g.text(0x0005, s.specificCharacterSet);
    g.uid(0x0016, s.sopClassUid);
    g.uid(0x0018, uids.instance(number));
    g.text(0x0020, field(study.studyDate, sizeof study.studyDate));
    g.text(0x0030, "");
    g.text(0x0050, "");
    g.text(0x0060, s.modality);
    g.text(0x0064, s.conversionType);
    g.text(0x0070, s.manufacturer);
    g.text(0x0090, "");
    g.text(0x1030, c.description);
    g.text(0x1090, "");
  }
  {
    Group g(out, 0x0010);
    g.text(0x0010, c.name);
    g.text(0x0020, c.id);
    g.text(0x0030, field(study.manufacturingDate, sizeof study.manufacturingDate));
    g.text(0x0040, field(study.sex, sizeof study.sex));
    g.text(0x1010, "");
    g.text(0x1020, "");
    g.text(0x1030, "");
  }
  {
    Group g(out, 0x0019);
    g.text(0x0010, kCreator);
    // A CR-link image carries no density range: its byte only marks MONOCHROME1.
    g.us(0x3000, monochrome1 ? 0 : scan.odRange);
  }
  {
    Group g(out, 0x0020);
    g.uid(0x000D, uids.study());
    g.uid(0x000E, uids.series());
    g.text(0x0010, c.studyId);
    g.text(0x0011, "");
    g.text(0x0013, "");
    // Type 2C of the image and series modules: empty, as nothing is known of them.
    g.text(0x0020, "");
    g.text(0x0060, "");
  }
  {
    Group g(out, 0x0028);
    g.us(0x0002, 1);
    g.text(0x0004, monochrome1 ? "MONOCHROME1" : "MONOCHROME2");
    g.us(0x0010, std::uint16_t(scan.height));
    g.us(0x0011, std::uint16_t(scan.width));
    g.text(0x0030, pitchText(scan.pitch));
    g.us(0x0100, std::uint16_t(scan.bytesPerPixel * 8));
    g.us(0x0101, scan.bits);
    g.us(0x0102, std::uint16_t(scan.bits - 1));
    g.us(0x0103, 0);
    g.text(0x1050, decimal(1L << (scan.bits - 1)));
    g.text(0x1051, decimal(1L << scan.bits));
    g.text(0x1052, "0");
    g.text(0x1053, "1");
    g.text(0x1054, "US");  // the rescale gives unspecified units
  }
  return out;
}

void appendPrivateFiller(std::vector<std::uint8_t>& out) {
  const std::size_t at = out.size();
  const std::size_t creator = (std::strlen(kCreator) + 1) & ~std::size_t(1);
  put16(out, 0x00FF);
  put16(out, 0x0000);
  put32(out, 4);
  put32(out, std::uint32_t(1016 - at));
  put16(out, 0x00FF);
  put16(out, 0x0010);
  put32(out, std::uint32_t(creator));
  out.insert(out.end(), kCreator, kCreator + std::strlen(kCreator));
  out.resize(out.size() + creator - std::strlen(kCreator), ' ');
  const std::size_t filler = 1000 - creator - at;
  put16(out, 0x00FF);
  put16(out, 0x30FF);
  put32(out, std::uint32_t(filler));
  out.resize(out.size() + filler, 0);
}

}  // namespace

DicomSettings readDicomSettings(const std::filesystem::path& iniFile) {
  const auto ini = platform::ini::IniFile::load(iniFile);
  DicomSettings s;
  s.specificCharacterSet = iniValue(ini, "(0008,0005)");
  s.sopClassUid = iniValue(ini, "(0008,0016)");
  s.modality = iniValue(ini, "(0008,0060)");
  s.conversionType = iniValue(ini, "(0008,0064)");
  s.manufacturer = iniValue(ini, "(0008,0070)");
  s.uidRoot = iniValue(ini, "UID_HEADER");
  return s;
}

RunUids::RunUids(std::string_view root, std::int64_t seconds) {
  std::string r = isUidRoot(root) ? std::string(root) : std::string(kDefaultUidRoot);
  const std::string time = std::to_string(seconds < 0 ? 0 : seconds);
  // Room for ".6.<time>." and a file number of up to ten digits.
  const std::size_t tail = 3 + time.size() + 1 + 10;
  if (r.size() + tail > kMaxUidLength) {
    r.resize(kMaxUidLength - tail);
    while (!r.empty() && r.back() == '.') r.pop_back();
  }
  study_ = r + ".4." + time + ".0";
  series_ = r + ".5." + time + ".0";
  instancePrefix_ = r + ".6." + time + ".";
}

std::string RunUids::instance(long number) const { return instancePrefix_ + std::to_string(number < 0 ? 0 : number); }

std::string toIso2022Jp(std::string_view in) {
  std::string out;
  bool kanji = false;
  for (std::size_t i = 0; i < in.size(); ++i) {
    const auto c = static_cast<unsigned char>(in[i]);
    if (c < 0x20) continue;
    if (c <= 0x7F) {
      if (kanji) out += "\x1b(B";
      kanji = false;
      out += char(c);
      continue;
    }
    bool usable = c < 0xA0 || c >= 0xE0;  // half-width katakana cannot be written
    unsigned char j1 = 0, j2 = 0;
    if (usable) {
      const auto t = i + 1 < in.size() ? static_cast<unsigned char>(in[i + 1]) : 0;
      usable = platform::text::isJisX0208Pair(c, t);
      if (usable) viewer::formats::sjisToJis(c, t, j1, j2);
    }
    if (!usable) return "*" + std::string(190, ' ') + "*";
    if (!kanji) out += "\x1b$B";
    kanji = true;
    out += char(j1);
    out += char(j2);
    ++i;
  }
  if (out.size() % 2 != 0) out += kanji ? "\x1b(B" : " ";
  else if (kanji) out += "\x1b(B ";
  return out;
}

std::string toIso2022JpWithin(std::string_view in, std::size_t maxBytes) {
  std::string whole = toIso2022Jp(in);
  maxBytes &= ~std::size_t(1);
  if (whole.size() <= maxBytes) return whole;
  if (whole.front() == '*' && whole.size() == 192 && whole.back() == '*' && whole[1] == ' ') {
    // The placeholder shrinks between its stars.
    if (maxBytes < 2) return std::string();
    return "*" + std::string(maxBytes - 2, ' ') + "*";
  }
  // The longest whole-character prefix whose text fits; a longer prefix never
  // converts shorter, so the search may halve.
  std::vector<std::size_t> ends{0};
  for (std::size_t i = 0; i < in.size();) {
    i += platform::text::isCp932LeadByte(static_cast<unsigned char>(in[i])) && i + 1 < in.size() ? 2 : 1;
    ends.push_back(i);
  }
  std::size_t fits = 0, tooLong = ends.size() - 1;
  while (tooLong - fits > 1) {
    const std::size_t mid = fits + (tooLong - fits) / 2;
    if (toIso2022Jp(in.substr(0, ends[mid])).size() <= maxBytes) fits = mid;
    else tooLong = mid;
  }
  return toIso2022Jp(in.substr(0, ends[fits]));
}

std::uint64_t pixelBytes(const scanui::ScanData& scan) {
  if (scan.width == 0 || scan.height == 0) return 0;
  if (scan.width > 0xFFFF || scan.height > 0xFFFF) return 0;
  if (scan.bytesPerPixel != 1 && scan.bytesPerPixel != 2) return 0;
  if (scan.bits < 1 || scan.bits > 8 * scan.bytesPerPixel) return 0;
  return std::uint64_t(scan.width) * scan.height * scan.bytesPerPixel;
}

std::optional<std::vector<std::uint8_t>> buildDicomHeader(const scanui::StudyData& study,
                                                          const scanui::ScanData& scan,
                                                          const DicomSettings& settings,
                                                          const RunUids& uids, long number) {
  if (pixelBytes(scan) == 0) return std::nullopt;
  const std::string values[4] = {
      field(study.studyDescription, sizeof study.studyDescription),
      field(study.studyId, sizeof study.studyId),
      field(study.componentId, sizeof study.componentId),
      field(study.componentName, sizeof study.componentName),
  };
  for (const std::string& v : values)
    if (!platform::text::cp932FitsJisX0208(v)) return std::nullopt;  // a code JIS X 0208 does not have
  const std::size_t fixed = layout(study, scan, settings, uids, number, Converted{}).size();
  if (fixed > kLastPrivateGroupStart) return std::nullopt;
  // The room left is shared out; the description gives way first, then the
  // study identifier, the component identifier and the name.
  std::string converted[4];
  std::size_t need = 0;
  for (int i = 0; i < 4; ++i) need += (converted[i] = toIso2022Jp(values[i])).size();
  std::size_t room = kLastPrivateGroupStart - fixed;
  for (int i = 0; i < 4 && need > room; ++i) {
    const std::size_t others = need - converted[i].size();
    const std::size_t allowed = room > others ? room - others : 0;
    need -= converted[i].size();
    converted[i] = toIso2022JpWithin(values[i], allowed);
    need += converted[i].size();
  }
  const Converted c{converted[3], converted[2], converted[1], converted[0]};
  std::vector<std::uint8_t> out = layout(study, scan, settings, uids, number, c);
  if (out.size() > kLastPrivateGroupStart) return std::nullopt;
  appendPrivateFiller(out);
  if (out.size() != kDicomHeaderBytes) return std::nullopt;
  return out;
}

std::vector<std::uint8_t> pixelDataHead(const scanui::ScanData& scan) {
  const std::uint64_t padded = (pixelBytes(scan) + 1) & ~std::uint64_t(1);
  std::vector<std::uint8_t> out;
  put16(out, 0x7FE0);
  put16(out, 0x0000);
  put32(out, 4);
  put32(out, std::uint32_t(padded + 8));
  put16(out, 0x7FE0);
  put16(out, 0x0010);
  put32(out, std::uint32_t(padded));
  return out;
}

bool rewriteDicomHeader(const std::filesystem::path& file, const std::vector<std::uint8_t>& header) {
  if (header.size() != kDicomHeaderBytes) return false;
  std::FILE* f = std::fopen(file.c_str(), "r+b");
  if (f == nullptr) return false;
  // Only a file that still has our pixel data group at 1028 is written over.
  std::uint8_t tag[8];
  bool ok = std::fseek(f, long(kDicomHeaderBytes), SEEK_SET) == 0 && std::fread(tag, 1, 8, f) == 8 &&
            std::memcmp(tag, "\xE0\x7F\x00\x00\x04\x00\x00\x00", 8) == 0;
  ok = ok && std::fseek(f, 0, SEEK_SET) == 0 && std::fwrite(header.data(), 1, header.size(), f) == header.size();
  ok = std::fflush(f) == 0 && ok;
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

}  // namespace ombrel
