#include "scanui/internal/region.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "platform/text.h"

namespace scanui::internal {

const std::array<FilmSize, kFilmSizeCount> kFilmSizes = {{
    {0, "NONE", 0, 0},         {1, "14\"X17\"", 356, 432},  {2, "14\"X14\"", 356, 356},
    {3, "11\"X14\"", 279, 356}, {4, "10\"X12\"", 254, 305},  {5, " 8\"X10\"", 203, 254},
    {6, "100mm", 100, 432},    {7, "30X40mm", 30, 40},      {8, "B4Land.", 364, 257},
    {9, "14\"X11\"", 356, 279}, {10, "12\"X10\"", 305, 254}, {11, "10\"X 8\"", 254, 203},
    {12, "B4Port.", 257, 364}, {200, "24X30cm", 240, 300},  {201, "30X35cm", 300, 356},
    {202, "18X24cm", 180, 240}, {203, "30X40cm", 300, 400}, {204, "30X24cm", 300, 240},
    {205, "35X30cm", 356, 300}, {16, "5\"X12\"", 127, 305},  {17, "15X30cm", 150, 300},
    {18, "15X40cm", 150, 400}, {19, "18X43cm", 180, 430},  {20, "20X40cm", 200, 400},
    {21, "24X24cm", 240, 240}, {22, "30X30cm", 300, 300},  {23, "12\"X15\"", 305, 381},
}};

const FilmSize& filmByCode(int code) {
  for (const FilmSize& f : kFilmSizes)
    if (f.code == code) return f;
  return kFilmSizes[1];
}

int filmCodeAtRow(std::size_t row) { return row < kFilmSizes.size() ? kFilmSizes[row].code : 0; }

namespace {

// Typed values may be anything; the region's words stay small.
std::int64_t clampTo(std::int64_t v, std::int64_t lo, std::int64_t hi) { return std::max(lo, std::min(v, hi)); }

}  // namespace

int ScanRegion::mmToPx(std::int64_t mm) const {
  return int(clampTo(mm * 1000 / pitch, INT32_MIN, INT32_MAX));
}

int ScanRegion::pxToMm(std::int64_t px) const {
  return int(clampTo((std::int64_t(pitch) * px + 999) / 1000, INT32_MIN, INT32_MAX));
}

void ScanRegion::setLeft(std::int64_t mm) {
  const std::int64_t v = clampTo(mm < 1 ? 0 : mm, 0, std::max(0, kFilmWidthMm - widthMm));
  changed = v != mm;
  leftMm = std::int32_t(v);
}

void ScanRegion::setTop(std::int64_t mm) {
  const std::int64_t v = clampTo(mm < 1 ? 0 : mm, 0, std::max(0, maxLength - heightMm));
  changed = v != mm;
  topMm = std::int32_t(v);
}

// One side of the frame in pixels against the room left on the film.
void ScanRegion::setSidePx(std::int64_t px, std::int32_t room, std::int32_t& mmOut, std::int32_t& pxOut) {
  px = clampTo(px, INT32_MIN, INT32_MAX);
  const std::int64_t mm = pxToMm(px);
  const std::int64_t v = clampTo(mm, 0, std::max(0, room));
  changed = v != mm;
  mmOut = std::int32_t(v);
  pxOut = changed ? mmToPx(v) : std::int32_t(px);
}

void ScanRegion::setWidthPx(std::int64_t px) { setSidePx(px, kFilmWidthMm - leftMm, widthMm, widthPx); }
void ScanRegion::setHeightPx(std::int64_t px) { setSidePx(px, maxLength - topMm, heightMm, heightPx); }

void ScanRegion::setWidthMm(std::int64_t mm) { setWidthPx(mmToPx(clampTo(mm, -kLongestFilmMm * 1000LL, kLongestFilmMm * 1000LL))); }
void ScanRegion::setHeightMm(std::int64_t mm) { setHeightPx(mmToPx(clampTo(mm, -kLongestFilmMm * 1000LL, kLongestFilmMm * 1000LL))); }

void ScanRegion::setPitch(std::int64_t um) {
  pitch = std::int32_t(clampTo(um, 1, INT32_MAX));
  setWidthMm(widthMm);
  setHeightMm(heightMm);
}

void ScanRegion::setFilm(int code) {
  const FilmSize& f = filmByCode(code);
  leftMm = 0;
  topMm = 0;
  setWidthMm(f.widthMm);
  setHeightMm(f.heightMm);
}

void ScanRegion::setMaxLength(std::int64_t mm) {
  maxLength = std::int32_t(clampTo(mm, 0, kLongestFilmMm));
  topMm = std::min(topMm, maxLength);
  if (topMm + heightMm > maxLength) setHeightMm(maxLength - topMm);
}

// Both sides are below 2^31 and bytes per pixel is 1 or 2: no overflow in 64 bits.
std::uint64_t ScanRegion::dataSize(int bytesPerPixel) const {
  if (!valid() || bytesPerPixel < 1) return 0;
  return std::uint64_t(bytesPerPixel) * std::uint64_t(widthPx) * std::uint64_t(heightPx);
}

int deviceScanMode(int modeIndex) { return modeIndex == 1 || modeIndex == 2 ? modeIndex : 0; }

int offeredOdCount(int deviceMaxOd) {
  int n = 0;
  for (int od : kOdList)
    if (od * 0.1 <= deviceMaxOd * 0.1 + 0.005) ++n;
  return n;
}

std::string odText(int tenths) {
  char text[16];
  std::snprintf(text, sizeof text, "%d.%d", tenths / 10, tenths % 10);
  return text;
}

int odRangeFor(double d) {
  if (d > 4.3) return 47;
  if (d > 4.0) return 43;
  if (d > 3.0) return 40;
  if (d > 2.0) return 30;
  if (d > 1.0) return 20;
  return 10;
}

std::string groupedDecimal(std::uint64_t value) {
  const std::string digits = std::to_string(value);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

namespace {

template <std::size_t N>
std::string fieldText(const char (&field)[N]) {
  return platform::text::cp932ToUtf8(std::string_view(field, ::strnlen(field, N)));
}

// The text in CP932, cut to at most `limit` bytes (and the field's room), with its NUL.
template <std::size_t N>
void putText(char (&field)[N], const std::string& utf8, std::size_t limit) {
  const std::string cp932 = platform::text::utf8ToCp932(utf8);
  const std::size_t n = platform::text::cp932CutLength(cp932, std::min(limit, N - 1));
  std::memcpy(field, cp932.data(), n);
  std::memset(field + n, 0, N - n);
}

// Leading digits of a date part; the number only when above 0.
std::string datePart(std::string_view part) {
  int v = 0;
  std::from_chars(part.data(), part.data() + part.size(), v);
  return v > 0 ? std::to_string(v) : std::string();
}

// An empty or non-numeric field counts 0.
std::int64_t fieldNumber(const std::string& text) {
  std::size_t b = text.find_first_not_of(' ');
  std::size_t e = text.find_last_not_of(' ');
  if (b == std::string::npos) return 0;
  std::int64_t v = 0;
  const char* first = text.data() + b;
  const char* last = text.data() + e + 1;
  auto [p, ec] = std::from_chars(first, last, v);
  return ec == std::errc() && p == last ? v : 0;
}

void splitDate(const char (&date)[9], std::string& y, std::string& m, std::string& d) {
  const std::string_view s(date, ::strnlen(date, sizeof date));
  y.clear();
  m.clear();
  d.clear();
  if (s.empty()) return;
  y = datePart(s.substr(0, 4));
  if (s.size() > 4) m = datePart(s.substr(4, 2));
  if (s.size() > 6) d = datePart(s.substr(6, 2));
}

void putDate(char (&date)[9], const std::string& y, const std::string& m, const std::string& d) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02d%02d", int(clampTo(fieldNumber(y), 0, 9999)),
                int(clampTo(fieldNumber(m), 0, 99)), int(clampTo(fieldNumber(d), 0, 99)));
  std::memcpy(date, text, 8);
  date[8] = '\0';
}

constexpr std::size_t kNameLimit = 63;
constexpr std::size_t kDescriptionLimit = 127;

}  // namespace

StudyFields studyFieldsFrom(const StudyData& study) {
  StudyFields f;
  f.componentName = fieldText(study.componentName);
  f.componentId = fieldText(study.componentId);
  splitDate(study.manufacturingDate, f.manufacturingYear, f.manufacturingMonth, f.manufacturingDay);
  switch (study.sex[0]) {
    case 'M': f.sex = StudyFields::Male; break;
    case 'F': f.sex = StudyFields::Female; break;
    case 'O': f.sex = StudyFields::Other; break;
    default: f.sex = StudyFields::Blank; break;
  }
  splitDate(study.studyDate, f.studyYear, f.studyMonth, f.studyDay);
  f.studyId = fieldText(study.studyId);
  f.studyDescription = fieldText(study.studyDescription);
  return f;
}

void writeStudy(const StudyFields& f, StudyData& study) {
  putText(study.componentName, f.componentName, kNameLimit);
  putText(study.componentId, f.componentId, kNameLimit);
  putDate(study.manufacturingDate, f.manufacturingYear, f.manufacturingMonth, f.manufacturingDay);
  static constexpr const char* kSex[] = {"M ", "F ", "O ", ""};
  putText(study.sex, kSex[f.sex], sizeof study.sex - 1);
  putDate(study.studyDate, f.studyYear, f.studyMonth, f.studyDay);
  putText(study.studyId, f.studyId, kNameLimit);
  putText(study.studyDescription, f.studyDescription, kDescriptionLimit);
}

}  // namespace scanui::internal
