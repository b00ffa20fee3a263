#include "viewer/formats/diconde.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/text.h"
#include "viewer/formats/format_support.h"
#include "viewer/formats/internal/file_io.h"
#include "viewer/formats/jpeg.h"

namespace viewer::formats {

namespace {

constexpr const char* kSecondaryCapture = "1.2.840.10008.5.1.4.1.1.7";
constexpr const char* kImplicitLittle = "1.2.840.10008.1.2";
constexpr const char* kJpegBaseline = "1.2.840.10008.1.2.4.50";
// 12-bit progressive streams: the label under which DICOM decoders pick a
// 12-bit codec.
constexpr const char* kJpegProgressive12 = "1.2.840.10008.1.2.4.55";
// (00FF,0000) is placed so that the filler group ends here, whatever the texts.
constexpr std::uint64_t kFillerEnd = 16388;
constexpr std::uint16_t kPixelGroup = 0x7FE0;

// The standard's value representations with reserved bytes and a 32-bit length.
bool isLongVr(const char vr[2]) {
  static const char* const kLong[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"};
  for (const char* v : kLong)
    if (vr[0] == v[0] && vr[1] == v[1]) return true;
  return false;
}

// ---------------------------------------------------------------- writer

class DataSetWriter {
 public:
  explicit DataSetWriter(bool explicitVr) : explicit_(explicitVr) {}

  // Items and delimiters (group FFFE) carry no VR in any syntax.
  void header(std::uint16_t g, std::uint16_t e, const char* vr, std::uint32_t length) {
    put16(g);
    put16(e);
    if (!explicit_ || g == 0xFFFE) {
      put32(length);
    } else if (isLongVr(vr)) {
      bytes_.push_back(std::uint8_t(vr[0]));
      bytes_.push_back(std::uint8_t(vr[1]));
      put16(0);
      put32(length);
    } else {
      bytes_.push_back(std::uint8_t(vr[0]));
      bytes_.push_back(std::uint8_t(vr[1]));
      put16(std::uint16_t(length));
    }
  }
  void raw(const void* data, std::size_t n) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + n);
  }
  // Text values of odd length are padded with a blank, UIDs with a zero byte.
  void text(std::uint16_t g, std::uint16_t e, const char* vr, std::string_view value) {
    std::string v(value.substr(0, 65534));
    if (v.size() % 2) v += (vr[0] == 'U' && vr[1] == 'I') ? '\0' : ' ';
    header(g, e, vr, std::uint32_t(v.size()));
    raw(v.data(), v.size());
  }
  void us(std::uint16_t g, std::uint16_t e, std::uint16_t v) {
    header(g, e, "US", 2);
    put16(v);
  }
  void ul(std::uint16_t g, std::uint16_t e, std::uint32_t v) {
    header(g, e, "UL", 4);
    put32(v);
  }
  void put16(std::uint16_t v) {
    bytes_.push_back(std::uint8_t(v));
    bytes_.push_back(std::uint8_t(v >> 8));
  }
  void put32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(std::uint8_t(v >> (8 * i)));
  }
  // Appends a group: its length element, computed from the body, then the body.
  void group(std::uint16_t g, const DataSetWriter& body) {
    ul(g, 0x0000, std::uint32_t(body.bytes_.size()));
    raw(body.bytes_.data(), body.bytes_.size());
  }
  bool isExplicit() const { return explicit_; }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  bool explicit_;
  std::vector<std::uint8_t> bytes_;
};

int toInt(const char* s) {
  int v = 0;
  std::from_chars(s, s + std::strlen(s), v);
  return v;
}

// "%04d%02d%02d" when the fields form a real calendar date, else empty.
std::string daValue(const char* year, const char* month, const char* day) {
  const int y = toInt(year), m = toInt(month), d = toInt(day);
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return {};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (d > kDays[m - 1] + (m == 2 && leap ? 1 : 0)) return {};
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
  return buf;
}

std::atomic<unsigned> g_uidSequence{0};

struct Uids {
  std::string sop, study, series, implementationClass;
};

}  // namespace

std::string uidComponent(std::string_view text, std::string_view fallback) {
  // Ten digits hold the time in seconds and keep every UID within 64 characters.
  std::size_t first = 0;
  while (first + 1 < text.size() && text[first] == '0') ++first;  // no leading zeros in a UID component
  const std::string_view digits = text.substr(first);
  const bool ok = !digits.empty() && digits.size() <= 10 &&
                  std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
  return std::string(ok ? digits : fallback);
}

namespace {

Uids makeUids(const CImageItem& image) {
  const FormatSettings& s = settings();
  // Each site's own digits keep its UIDs apart from every other site's.
  const std::string partNo = uidComponent(s.partNo, kDefaultPartNo), instance = uidComponent(s.instance, "0");
  const std::string program = std::string(kUidRoot) + "." + partNo + "." + instance;
  const long t = long(std::time(nullptr));
  const std::string time = std::to_string(t < 0 ? 0 : t);
  // The last component counts saves, so two saves within a second differ.
  const std::string seq = std::to_string(++g_uidSequence % 1000000u);
  Uids u;
  u.implementationClass = std::string(kUidRoot) + "." + partNo + ".1.8";
  if (!image.sopInstanceUid.empty()) {
    u.sop = image.sopInstanceUid;
    u.study = image.studyInstanceUid;
    u.series = image.seriesInstanceUid;
  } else {
    u.study = program + ".4." + time + "." + seq;
    u.series = program + ".5." + time + "." + seq;
    u.sop = program + ".6." + time + "." + std::to_string(unsigned(image.instanceNumber)) + "." + seq;
  }
  return u;
}

class VectorSink : public JpegSink {
 public:
  bool write(const void* data, std::size_t n) override {
    const auto* p = static_cast<const std::uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + n);
    return true;
  }
  std::vector<std::uint8_t> bytes;
};

bool buildHeader(const CImageItem& image, bool jpeg, DataSetWriter& out) {
  const FormatSettings& s = settings();
  const CStudyInfo empty;
  const CStudyInfo& st = image.study ? *image.study : empty;
  for (const char* text : {st.studyDescription, st.componentName, st.componentIdNumber, st.studyId})
    if (!platform::text::cp932FitsJisX0208(text)) return false;  // a code JIS X 0208 does not have
  const Uids uids = makeUids(image);
  const bool meta = jpeg || s.useMih == 1;  // a JPEG file cannot be read back without its meta group
  if (meta) {
    std::uint8_t preamble[132] = {};
    std::memcpy(preamble + 128, "DICM", 4);
    out.raw(preamble, sizeof preamble);
    DataSetWriter m(true);
    m.header(0x0002, 0x0001, "OB", 2);
    m.raw("\x00\x01", 2);
    m.text(0x0002, 0x0002, "UI", kSecondaryCapture);
    m.text(0x0002, 0x0003, "UI", uids.sop);  // the media UID names the instance it holds
    const bool twelve = image.bytesPerSample() == 2;
    m.text(0x0002, 0x0010, "UI", jpeg ? (twelve ? kJpegProgressive12 : kJpegBaseline) : kImplicitLittle);
    m.text(0x0002, 0x0012, "UI", uids.implementationClass);
    DataSetWriter metaOut(true);
    metaOut.group(0x0002, m);
    out.raw(metaOut.bytes().data(), metaOut.bytes().size());
  }
  const bool ex = jpeg;
  DataSetWriter g8(ex), g10(ex), g19(ex), g20(ex), g28(ex);
  g8.text(0x0008, 0x0005, "CS", kSpecificCharacterSet);
  g8.text(0x0008, 0x0016, "UI", kSecondaryCapture);
  g8.text(0x0008, 0x0018, "UI", uids.sop);
  g8.text(0x0008, 0x0020, "DA", daValue(st.studyYear, st.studyMonth, st.studyDay));
  g8.text(0x0008, 0x0030, "TM", "");
  g8.text(0x0008, 0x0050, "SH", "");
  g8.text(0x0008, 0x0060, "CS", "RG");
  g8.text(0x0008, 0x0064, "CS", "DF");
  g8.text(0x0008, 0x0070, "LO", "");
  g8.text(0x0008, 0x0090, "PN", "");
  g8.text(0x0008, 0x1030, "LO", toDicondeText(st.studyDescription));
  g8.text(0x0008, 0x1080, "LO", "");
  g10.text(0x0010, 0x0010, "PN", toDicondeText(st.componentName));
  g10.text(0x0010, 0x0020, "LO", toDicondeText(st.componentIdNumber));
  g10.text(0x0010, 0x0030, "DA", daValue(st.manufacturingYear, st.manufacturingMonth, st.manufacturingDay));
  g10.text(0x0010, 0x0040, "CS", st.sex);
  g10.text(0x0010, 0x1010, "AS", "");
  g10.text(0x0010, 0x1020, "DS", "");
  g10.text(0x0010, 0x1030, "DS", "");
  g19.text(0x0019, 0x0030, "LO", kPrivateCreator);
  g19.us(0x0019, 0x3000, std::uint16_t(std::clamp(image.odRange, 0, 65535)));
  g20.text(0x0020, 0x000D, "UI", uids.study);
  g20.text(0x0020, 0x000E, "UI", uids.series);
  g20.text(0x0020, 0x0010, "SH", toDicondeText(st.studyId));
  g20.text(0x0020, 0x0011, "IS", "");
  g20.text(0x0020, 0x0013, "IS", std::to_string(image.instanceNumber));
  // Type 2C of the image and series modules: empty, as nothing is known of them.
  g20.text(0x0020, 0x0020, "CS", "");
  g20.text(0x0020, 0x0060, "CS", "");
  g28.us(0x0028, 0x0002, 1);
  g28.text(0x0028, 0x0004, "CS", image.inverted ? "MONOCHROME1" : "MONOCHROME2");
  g28.us(0x0028, 0x0010, std::uint16_t(image.height()));
  g28.us(0x0028, 0x0011, std::uint16_t(image.width()));
  const std::string mm = fixed3(image.pitch * 0.001);
  g28.text(0x0028, 0x0030, "DS", mm + "\\" + mm);
  const int bits = std::clamp(image.bitsStored, 1, 16);
  g28.us(0x0028, 0x0100, std::uint16_t(8 * image.bytesPerSample()));
  g28.us(0x0028, 0x0101, std::uint16_t(bits));
  g28.us(0x0028, 0x0102, std::uint16_t(bits - 1));
  g28.us(0x0028, 0x0103, 0);
  g28.text(0x0028, 0x1050, "DS", std::to_string(1 << (bits - 1)));
  g28.text(0x0028, 0x1051, "DS", std::to_string(1 << bits));
  g28.text(0x0028, 0x1052, "DS", "0");
  g28.text(0x0028, 0x1053, "DS", "1");
  g28.text(0x0028, 0x1054, "LO", "US");  // the rescale gives unspecified units
  out.group(0x0008, g8);
  out.group(0x0010, g10);
  out.group(0x0019, g19);
  out.group(0x0020, g20);
  out.group(0x0028, g28);

  // The filler: the group ends at a fixed offset, so the pixels always start there.
  const std::uint64_t p = out.bytes().size();
  const std::uint64_t creator = 8 + 40, obHeader = ex ? 12 : 8;
  if (p + 12 + creator + obHeader > kFillerEnd) return false;  // the texts leave no room
  const std::uint32_t groupLength = std::uint32_t(kFillerEnd - 12 - p);
  out.ul(0x00FF, 0x0000, groupLength);
  out.text(0x00FF, 0x0030, "LO", kPrivateCreator);
  const std::uint32_t fill = groupLength - std::uint32_t(creator + obHeader);
  out.header(0x00FF, 0x30FF, "OB", fill);
  out.raw(std::vector<std::uint8_t>(fill, 0).data(), fill);
  return out.bytes().size() == kFillerEnd;
}

// ---------------------------------------------------------------- reader

// A forward reader over the file with a window of buffered bytes.
class Cursor {
 public:
  explicit Cursor(const internal::InputFile& f) : f_(f) {}
  std::uint64_t pos() const { return pos_; }
  std::uint64_t size() const { return f_.size(); }
  void seek(std::uint64_t p) { pos_ = p; }
  bool read(void* dest, std::size_t n) {
    if (!f_.holds(pos_, n)) return false;
    if (pos_ >= start_ && pos_ + n <= start_ + window_.size()) {
      std::memcpy(dest, window_.data() + (pos_ - start_), n);
    } else if (n >= kWindow / 2) {
      if (!f_.readExact(pos_, dest, n)) return false;
    } else {
      window_.resize(std::size_t(std::min<std::uint64_t>(kWindow, f_.size() - pos_)));
      start_ = pos_;
      if (!f_.readExact(pos_, window_.data(), window_.size())) return false;
      std::memcpy(dest, window_.data(), n);
    }
    pos_ += n;
    return true;
  }

 private:
  static constexpr std::size_t kWindow = 65536;
  const internal::InputFile& f_;
  std::uint64_t pos_ = 0;
  std::uint64_t start_ = 0;
  std::vector<std::uint8_t> window_;
};

constexpr std::uint32_t kUndefined = 0xFFFFFFFFu;
constexpr int kMaxDepth = 32;

struct Element {
  std::uint16_t group = 0, element = 0;
  char vr[2] = {0, 0};
  std::uint32_t length = 0;
  std::uint64_t valueStart = 0;
};

enum class Step { kOk, kEnd, kFail };

struct StudyValues {
  std::string sop, studyDate, description, name, componentId, manufacturingDate, sex, studyUid, seriesUid, studyId;
  int instanceNumber = 0;
};

class DicondeReader {
 public:
  DicondeReader(const internal::InputFile& f, CImageItem& image) : f_(f), c_(f), image_(image) {}

  int run();

 private:
  std::uint16_t r16(const std::uint8_t* p) const { return big_ ? internal::get16be(p) : internal::get16le(p); }
  std::uint32_t r32(const std::uint8_t* p) const { return big_ ? internal::get32be(p) : internal::get32le(p); }

  // Reads an element header; kEnd at the end of the file, kFail (with the
  // reason recorded) for one that cannot be in it.
  Step header(Element& e) {
    std::uint8_t b[8];
    if (c_.pos() == c_.size()) return Step::kEnd;
    if (!c_.read(b, 4)) return failStep(kNotSupported, "(1FFFFFFFF03)");
    e.group = r16(b);
    e.element = r16(b + 2);
    e.vr[0] = e.vr[1] = 0;
    if (e.group == 0xFFFE || !explicit_) {
      if (!c_.read(b, 4)) return failStep(kNotSupported, "(1FFFFFFFF03)");
      e.length = r32(b);
    } else {
      if (!c_.read(b, 4)) return failStep(kNotSupported, "(1FFFFFFFF03)");
      e.vr[0] = char(b[0]);
      e.vr[1] = char(b[1]);
      if (isLongVr(e.vr)) {
        if (!c_.read(b, 4)) return failStep(kNotSupported, "(1FFFFFFFF03)");
        e.length = r32(b);
      } else {
        e.length = r16(b + 2);
      }
    }
    e.valueStart = c_.pos();
    if (e.length != kUndefined) {
      if (e.length & 0x80000000u) return failStep(kNotSupported, "(1FFFFFFFF02)");
      // A value that ends exactly at the end of the file is whole.
      if (!f_.holds(e.valueStart, e.length)) return failStep(kNotSupported, "(1FFFFFFFF03)");
    }
    return Step::kOk;
  }

  Step failStep(int reason, const char* detail = "") {
    fail(reason, detail);
    return Step::kFail;
  }

  // Walks an element of undefined length item by item to its delimiter.
  Step skipUndefined(int depth) {
    if (depth > kMaxDepth) return failStep(kNotSupported, "(1FFFFFFFF02)");
    for (;;) {
      Element e;
      const Step s = header(e);
      if (s == Step::kEnd) return failStep(kNotSupported, "(1FFFFFFFF03)");
      if (s != Step::kOk) return s;
      if (e.group == 0xFFFE && (e.element == 0xE0DD || e.element == 0xE00D)) return Step::kOk;
      if (e.length == kUndefined) {
        const Step inner = skipUndefined(depth + 1);
        if (inner != Step::kOk) return inner;
      } else {
        c_.seek(e.valueStart + e.length);
      }
    }
  }

  std::string value(const Element& e, std::size_t cap = 4096) {
    std::string v(std::min<std::size_t>(e.length, cap), '\0');
    f_.readExact(e.valueStart, v.data(), v.size());
    while (!v.empty() && (v.back() == ' ' || v.back() == '\0')) v.pop_back();
    std::size_t start = 0;
    while (start < v.size() && v[start] == ' ') ++start;
    return v.substr(start);
  }

  int us(const Element& e) {
    std::uint8_t b[2] = {0, 0};
    if (e.length < 2 || !f_.readExact(e.valueStart, b, 2)) return 0;
    return r16(b);
  }

  void readMeta();
  void detectBareByteOrder();
  Step take(const Element& e);
  Step pixelData(const Element& e);
  int finish();

  const internal::InputFile& f_;
  Cursor c_;
  CImageItem& image_;
  bool big_ = false;
  bool explicit_ = false;
  bool sopRead_ = false;
  int rows_ = 0, columns_ = 0, bitsAllocated_ = 0, bitsStored_ = 0, odRange_ = 0;
  bool inverted_ = false;
  int pitch_ = -1;
  StudyValues study_;
  // Native samples are read straight into the image while the load counts them.
  bool nativePixels_ = false;
  std::uint64_t pixelsAt_ = 0;
};

void DicondeReader::readMeta() {
  // Group 0002 is always explicit VR little endian.
  c_.seek(132);
  explicit_ = true;
  std::string syntax;
  for (;;) {
    const std::uint64_t at = c_.pos();
    std::uint8_t tag[2];
    if (!f_.readExact(at, tag, 2) || internal::get16le(tag) != 0x0002) break;
    Element e;
    if (header(e) != Step::kOk || e.length == kUndefined) break;
    if (e.element == 0x0010) syntax = value(e, 64);
    c_.seek(e.valueStart + e.length);
  }
  failures().beginRead();  // a broken meta group only leaves the syntax unknown
  if (syntax == "1.2.840.10008.1.2.1") {
    explicit_ = true;
  } else if (syntax == "1.2.840.10008.1.2.2") {
    explicit_ = true;
    big_ = true;
  } else if (syntax.rfind("1.2.840.10008.1.2.4", 0) == 0) {
    explicit_ = true;
  } else {
    explicit_ = false;
  }
}

void DicondeReader::detectBareByteOrder() {
  std::uint8_t b[8];
  if (!f_.readExact(0, b, 8)) return;
  const std::uint16_t group = internal::get16le(b), element = internal::get16le(b + 2);
  if (group > 8) big_ = true;
  else if (group == 0 && element == 0 && internal::get32le(b + 4) > 65536) big_ = true;
}

Step DicondeReader::take(const Element& e) {
  const std::uint32_t tag = std::uint32_t(e.group) << 16 | e.element;
  switch (tag) {
    case 0x00080018: study_.sop = value(e, 64); sopRead_ = true; break;
    case 0x00080020: study_.studyDate = value(e, 16); break;
    case 0x00081030: study_.description = value(e); break;
    case 0x00100010: study_.name = value(e); break;
    case 0x00100020: study_.componentId = value(e); break;
    case 0x00100030: study_.manufacturingDate = value(e, 16); break;
    case 0x00100040: study_.sex = value(e, 16); break;
    case 0x00193000: odRange_ = us(e); break;
    case 0x0020000D: study_.studyUid = value(e, 64); break;
    case 0x0020000E: study_.seriesUid = value(e, 64); break;
    case 0x00200010: study_.studyId = value(e); break;
    case 0x00200013: {
      const std::string v = value(e, 16);
      int n = 0;
      std::from_chars(v.data(), v.data() + v.size(), n);
      study_.instanceNumber = n;
      break;
    }
    case 0x00280004: {
      const std::string v = value(e, 16);
      if (v.rfind("MONOCHROME", 0) != 0) return failStep(kNotSupported);
      inverted_ = v == "MONOCHROME1";
      break;
    }
    case 0x00280010: rows_ = us(e); break;
    case 0x00280011: columns_ = us(e); break;
    case 0x00280030: {
      const std::string v = value(e, 64);
      double mm = 0;
      const auto r = std::from_chars(v.data(), v.data() + v.size(), mm);
      // Rounded: "0.087" is 87 micrometres, not 86.99...
      if (r.ec == std::errc() && std::isfinite(mm)) pitch_ = int(std::clamp(std::lround(mm * 1000.0), 0L, 65535L));
      break;
    }
    case 0x00280100: bitsAllocated_ = us(e); break;
    case 0x00280101:
      bitsStored_ = us(e);
      if (bitsStored_ > 12) return failStep(kLargerThan12Bits);
      break;
    case 0x00280103:
      if (us(e) != 0) return failStep(kSignedPixelData);
      break;
    default: break;
  }
  return Step::kOk;
}

Step DicondeReader::pixelData(const Element& e) {
  if (bitsAllocated_ != 8 && bitsAllocated_ != 16) return failStep(kNotSupported);
  const int bps = bitsAllocated_ / 8;
  if (rows_ < 1 || columns_ < 1) return failStep(kNotSupported);
  const std::uint64_t bytes = std::uint64_t(rows_) * std::uint64_t(columns_) * std::uint64_t(bps);
  if (e.length != kUndefined) {
    if (e.length < bytes) return failStep(kFileAccessFailure);
    if (!image_.allocate(bps, columns_, rows_)) return failStep(kOutOfMemory);
    nativePixels_ = true;
    pixelsAt_ = e.valueStart;
    return Step::kEnd;
  }
  // Encapsulated: the basic offset table, then the fragments up to the
  // sequence delimiter. A frame may span several fragments: the stream is
  // their bytes joined.
  Element item;
  if (header(item) != Step::kOk || item.group != 0xFFFE || item.element != 0xE000 || item.length == kUndefined)
    return failStep(kNotSupported, "(1FFFFFFFF04)");
  c_.seek(item.valueStart + item.length);
  std::vector<std::uint8_t> stream;
  for (;;) {
    const Step s = header(item);
    if (s == Step::kEnd || (s == Step::kOk && item.group == 0xFFFE && item.element == 0xE0DD)) break;
    if (s != Step::kOk || item.group != 0xFFFE || item.element != 0xE000 || item.length == kUndefined)
      return failStep(kNotSupported, "(1FFFFFFFF04)");
    // Each fragment was checked to lie inside the file, so the whole is no
    // larger than the file.
    const std::size_t at = stream.size();
    stream.resize(at + item.length);
    if (!f_.readExact(item.valueStart, stream.data() + at, item.length)) return failStep(kFileAccessFailure);
    c_.seek(item.valueStart + item.length);
  }
  // Decoded only when the stream is the image the data set describes.
  JpegFrame frame;
  if (!probeJpeg(stream.data(), stream.size(), frame))
    return startsAsJpeg(stream.data(), stream.size()) ? failStep(kFileAccessFailure)
                                                      : failStep(kNotSupported, "(1FFFFFFFF04)");
  if (frame.width != columns_ || frame.height != rows_ || frame.components != 1 ||
      frame.precision != (bps == 1 ? 8 : 12))
    return failStep(kNotSupported, "(1FFFFFFFF04)");
  bool noMemory = false;
  const JpegAllocate allocate = [&](const JpegFrame& f) -> void* {
    if (f.width != columns_ || f.height != rows_ || !image_.allocate(bps, columns_, rows_)) {
      noMemory = f.width == columns_ && f.height == rows_;
      return nullptr;
    }
    return image_.data();
  };
  const int r = bps == 1 ? DecodeJpegToBuffer8(stream.data(), stream.size(), allocate)
                         : DecodeJpegToBuffer12(stream.data(), stream.size(), allocate);
  if (r == -2 && noMemory) return failStep(kOutOfMemory);
  if (r == kJpegDamaged) return failStep(kFileAccessFailure);
  if (r != 0) return failStep(kNotSupported, "(1FFFFFFFF04)");
  return Step::kEnd;
}

void splitDate(const std::string& v, char* year, char* month, char* day) {
  year[0] = month[0] = day[0] = '\0';
  if (v.empty()) return;
  const std::string d = (v + "00000000").substr(0, 8);
  auto part = [&](std::size_t at, std::size_t n, char* out) {
    int x = 0;
    std::from_chars(d.data() + at, d.data() + at + n, x);
    const std::string s = std::to_string(x);
    CStudyInfo::setField(out, 9, s);
  };
  part(0, 4, year);
  part(4, 2, month);
  part(6, 2, day);
}

int DicondeReader::finish() {
  const int bps = image_.bytesPerSample();
  image_.bitsStored = bitsStored_ >= 8 && bitsStored_ <= 12 ? bitsStored_ : (bps == 1 ? 8 : 12);
  image_.inverted = inverted_ ? 1 : 0;
  image_.odRange = odRange_;
  image_.pitch = pitch_ >= 0 ? std::uint16_t(pitch_) : std::uint16_t(200);
  image_.sopInstanceUid = study_.sop;
  image_.studyInstanceUid = study_.studyUid;
  image_.seriesInstanceUid = study_.seriesUid;
  image_.instanceNumber = study_.instanceNumber;
  CStudyInfo& s = *image_.study;
  CStudyInfo::set(s.sopInstanceUid, study_.sop);
  CStudyInfo::set(s.instanceUid, study_.sop);
  CStudyInfo::set(s.studyInstanceUid, study_.studyUid);
  CStudyInfo::set(s.seriesInstanceUid, study_.seriesUid);
  splitDate(study_.studyDate, s.studyYear, s.studyMonth, s.studyDay);
  splitDate(study_.manufacturingDate, s.manufacturingYear, s.manufacturingMonth, s.manufacturingDay);
  CStudyInfo::set(s.studyDescription, fromDicondeText(study_.description));
  CStudyInfo::set(s.componentName, fromDicondeText(study_.name));
  CStudyInfo::set(s.componentIdNumber, fromDicondeText(study_.componentId));
  CStudyInfo::set(s.studyId, fromDicondeText(study_.studyId));
  const char first = study_.sex.empty() ? '\0' : study_.sex[0];
  CStudyInfo::set(s.sex, first == 'M' ? "M " : first == 'F' ? "F " : first == 'O' ? "O " : "");
  const std::size_t rowBytes = std::size_t(columns_) * std::size_t(bps);
  const CImageItem::RowSource readRows = [&](int y0, int y1, std::uint8_t* dest) {
    const std::size_t n = std::size_t(y1 - y0) * rowBytes;
    if (!f_.readExact(pixelsAt_ + std::uint64_t(y0) * rowBytes, dest, n)) return false;
    if (bps == 2 && big_) internal::swap16(reinterpret_cast<std::uint16_t*>(dest), n / 2);
    return true;
  };
  switch (image_.completeLoad(nativePixels_ ? readRows : CImageItem::RowSource{})) {
    case CImageItem::LoadResult::kLoaded: return 1;
    case CImageItem::LoadResult::kReadFailed: return fail(kFileAccessFailure);
    case CImageItem::LoadResult::kLargerThan12Bits: return fail(kLargerThan12Bits);
  }
  return 0;
}

int DicondeReader::run() {
  image_.freePixels();
  if (!image_.study) image_.study = std::make_unique<CStudyInfo>();
  std::uint8_t magic[4];
  if (f_.readExact(128, magic, 4) && std::memcmp(magic, "DICM", 4) == 0) {
    readMeta();
  } else {
    c_.seek(0);
    explicit_ = false;
    detectBareByteOrder();
  }
  for (;;) {
    Element e;
    const Step s = header(e);
    if (s == Step::kEnd) return fail(kUnknownReason);  // no pixel data
    if (s == Step::kFail) return 0;
    if (e.group > 0x0008 && !sopRead_ && e.element != 0x00FF) return fail(kUnknownReason);
    if (e.group == kPixelGroup && e.element == 0x0010) {
      const Step p = pixelData(e);
      if (p == Step::kFail) return 0;
      return finish();
    }
    if (e.length == kUndefined) {
      if (skipUndefined(0) != Step::kOk) return 0;
      continue;
    }
    if (take(e) == Step::kFail) return 0;
    c_.seek(e.valueStart + e.length);
  }
}

}  // namespace

int ReadDicondeFile(CImageItem& image, const std::string& path) {
  failures().beginRead();
  internal::InputFile f;
  if (!f.open(path)) {
    image.freePixels();
    return fail(kFileAccessFailure);
  }
  DicondeReader reader(f, image);
  return reader.run();
}

int WriteDicondeFile(const CImageItem& image, const std::string& path, bool jpeg) {
  internal::OutputFile out;
  if (!out.open(path)) {
    reportWriteFailure(path);
    return 0;
  }
  bool ok = image.hasPixels();
  DataSetWriter header(jpeg);
  if (ok) ok = buildHeader(image, jpeg, header);
  if (ok) ok = out.write(header.bytes().data(), header.bytes().size());
  if (ok && !jpeg) {
    const std::uint64_t count = image.byteCount();
    const std::uint32_t padded = std::uint32_t(count + (count & 1));
    DataSetWriter px(false);
    px.ul(kPixelGroup, 0x0000, padded + 8);
    px.header(kPixelGroup, 0x0010, image.bytesPerSample() == 2 ? "OW" : "OB", padded);
    ok = out.write(px.bytes().data(), px.bytes().size()) && out.write(image.data(), count) &&
         (!(count & 1) || out.writeZeros(1));
  } else if (ok) {
    VectorSink sink;
    const int quality = settings().jpegQuality;
    const int r = image.bytesPerSample() == 2
                      ? EncodeJpeg12(sink, image.width(), image.height(), image.data16(), quality)
                      : EncodeJpeg8(sink, image.width(), image.height(), image.data(), quality);
    ok = r == 0;
    if (ok) {
      if (sink.bytes.size() & 1) sink.bytes.push_back(0);
      const std::uint32_t fragment = std::uint32_t(sink.bytes.size());
      DataSetWriter px(true);
      // The group's length runs from the end of (7FE0,0000) to the end of the file.
      px.ul(kPixelGroup, 0x0000, 12 + 8 + 8 + fragment + 8);
      px.header(kPixelGroup, 0x0010, "OB", kUndefined);
      px.header(0xFFFE, 0xE000, "", 0);  // an empty basic offset table
      px.header(0xFFFE, 0xE000, "", fragment);
      DataSetWriter end(true);
      end.header(0xFFFE, 0xE0DD, "", 0);
      ok = out.write(px.bytes().data(), px.bytes().size()) && out.write(sink.bytes.data(), sink.bytes.size()) &&
           out.write(end.bytes().data(), end.bytes().size());
    }
  }
  if (!ok) out.discard();
  if (!ok || !out.finish()) {
    reportWriteFailure(path);
    return 0;
  }
  return 1;
}

}  // namespace viewer::formats
