// The scan dialog's arithmetic without windows: the film-size table, the scan
// region, the lists the dialog offers and the study record's fields.
#pragma once

#include <QtGlobal>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "scanui/scanui.h"

namespace scanui::internal {

struct FilmSize {
  int code;
  const char* name;  // as the region list shows it
  int widthMm;
  int heightMm;
};

inline constexpr std::size_t kFilmSizeCount = 27;
extern const std::array<FilmSize, kFilmSizeCount> kFilmSizes;

// The row of a code; a code not in the table gives row 1.
const FilmSize& filmByCode(int code);
// The code of a row; a row beyond the table gives 0.
int filmCodeAtRow(std::size_t row);

// The film frame to scan, in millimetres on the film and in pixels at the pitch.
// Every setter clamps and says so in `changed`.
struct ScanRegion {
  static constexpr int kFilmWidthMm = 365;
  static constexpr int kLongestFilmMm = 3000;

  std::int32_t changed = 0;
  std::int32_t widthPx = 0;
  std::int32_t heightPx = 0;
  std::int32_t widthMm = 0;
  std::int32_t heightMm = 0;
  std::int32_t leftMm = 0;
  std::int32_t topMm = 0;
  std::int32_t pitch = 1;  // micrometres per pixel, never below 1
  std::int32_t maxLength = 432;

  int mmToPx(std::int64_t mm) const;
  int pxToMm(std::int64_t px) const;

  void setLeft(std::int64_t mm);
  void setTop(std::int64_t mm);
  void setWidthPx(std::int64_t px);
  void setHeightPx(std::int64_t px);
  void setWidthMm(std::int64_t mm);
  void setHeightMm(std::int64_t mm);
  void setPitch(std::int64_t um);
  void setFilm(int code);
  void setMaxLength(std::int64_t mm);
  bool valid() const { return widthPx >= 1 && heightPx >= 1; }
  // Bytes of one scan of this region.
  std::uint64_t dataSize(int bytesPerPixel) const;

 private:
  void setSidePx(std::int64_t px, std::int32_t room, std::int32_t& mmOut, std::int32_t& pxOut);
};

// Bits per pixel, O.D. range (tenths), pixel spacing (micrometres) and scan
// mode as the dialog's lists offer them.
inline constexpr std::array<int, 3> kBitsList = {8, 10, 12};
inline constexpr std::array<int, 6> kOdList = {10, 20, 30, 40, 43, 47};
inline constexpr std::array<const char*, 11> kPitchList = {"50",  "75",  "100", "125", "150", "175",
                                                            "200", "250", "300", "400", "500"};
inline constexpr std::array<const char*, 4> kModeNames = {
    QT_TRANSLATE_NOOP("Oskelu", "Speed"), QT_TRANSLATE_NOOP("Oskelu", "Standard"),
    QT_TRANSLATE_NOOP("Oskelu", "Quality"), QT_TRANSLATE_NOOP("Oskelu", "Moire Reduction")};
inline constexpr int kMoireModeIndex = 3;
// The device's scan mode for an entry of the scan-mode list.
int deviceScanMode(int modeIndex);
// How many O.D. entries a device with that maximum (tenths) is offered.
int offeredOdCount(int deviceMaxOd);
// "4.7" etc., the text of an O.D. entry.
std::string odText(int tenths);
// The O.D. entry (tenths) that "Adjust O.D. Range" picks for a maximum density.
int odRangeFor(double maxDensity);
// Decimal with a comma between groups of three digits.
std::string groupedDecimal(std::uint64_t value);

// The study panel's fields as the widgets hold them (UTF-8).
struct StudyFields {
  enum Sex { Male, Female, Other, Blank };
  std::string componentName;
  std::string componentId;
  std::string manufacturingYear, manufacturingMonth, manufacturingDay;
  Sex sex = Blank;
  std::string studyYear, studyMonth, studyDay;
  std::string studyId;
  std::string studyDescription;
};

// The fields from the host's record; texts there need not end with a NUL.
StudyFields studyFieldsFrom(const StudyData& study);
// The fields into the record: texts cut to their room by bytes of CP932,
// dates clamped to four and two digits, nothing written past a field.
void writeStudy(const StudyFields& fields, StudyData& study);

}  // namespace scanui::internal
