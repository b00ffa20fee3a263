// The scan program's own DICOM files: a bare implicit little-endian data set
// whose header always ends at byte 1028, so that it can be rewritten in place
// at the end of the run without moving the pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scanui/scanui.h"

namespace ombrel {

inline constexpr std::size_t kDicomHeaderBytes = 1028;  // where (7FE0,0000) stands
inline constexpr std::size_t kDicomPixelOffset = 1048;
inline constexpr std::size_t kMaxUidLength = 64;
// The organisation root when the ini names none.
inline constexpr const char* kDefaultUidRoot = "2.25.96174239281906427";
// The O.D. byte of a CR-link image that is MONOCHROME1.
inline constexpr std::uint8_t kCrMonochrome1 = 255;

// Section DICOM of "Ombrel.ini": the values that reach the files.
struct DicomSettings {
  std::string specificCharacterSet;  // (0008,0005)
  std::string sopClassUid;           // (0008,0016)
  std::string modality;              // (0008,0060)
  std::string conversionType;        // (0008,0064)
  std::string manufacturer;          // (0008,0070)
  std::string uidRoot;               // UID_HEADER
};
DicomSettings readDicomSettings(const std::filesystem::path& iniFile);

// Study and series UIDs of one run and the instance UID of each file: the root,
// the run's start in seconds since 1970, and the file's number as the last
// component. A root that is empty or no UID is the default; a long one is cut
// so that every UID stays within 64 characters.
class RunUids {
 public:
  RunUids(std::string_view root, std::int64_t seconds);
  const std::string& study() const { return study_; }
  const std::string& series() const { return series_; }
  std::string instance(long number) const;

 private:
  std::string study_, series_, instancePrefix_;
};

// CP932 to ISO 2022 IR 87 text of even length: ESC "$B" before double-byte
// characters, ESC "(B" back to ASCII, control characters dropped. A value with
// half-width katakana, or a pair that is incomplete or has no JIS X 0208 code,
// becomes the 192-character placeholder.
std::string toIso2022Jp(std::string_view cp932);
// The same cut to at most maxBytes: whole characters only, still ending in
// ASCII and of even length.
std::string toIso2022JpWithin(std::string_view cp932, std::size_t maxBytes);

// The 1028 bytes from (0008,0000) to the end of group 00FF; nullopt when even
// with every converted value empty the fixed values leave no room, or the
// record is no image these files can hold.
std::optional<std::vector<std::uint8_t>> buildDicomHeader(const scanui::StudyData& study,
                                                          const scanui::ScanData& scan,
                                                          const DicomSettings& settings,
                                                          const RunUids& uids, long number);

// The pixel bytes of the record's shape (rows x columns x bytes per pixel), or
// 0 when the shape is no image these files can hold: empty or wider or taller
// than 65535, bytes per pixel not 1 or 2, bits outside 1..8 x bytes per pixel.
// The pixel pointer is not looked at.
std::uint64_t pixelBytes(const scanui::ScanData& scan);

// The 20 bytes from 1028 to the pixels: (7FE0,0000) and the head of
// (7FE0,0010), whose length is the pixel bytes made even (an odd count of
// 8-bit samples is followed by one zero byte).
std::vector<std::uint8_t> pixelDataHead(const scanui::ScanData& scan);

// Writes the header again over the file's first 1028 bytes, leaving the rest
// untouched; false when the file is not one of these files or the write fails.
bool rewriteDicomHeader(const std::filesystem::path& file, const std::vector<std::uint8_t>& header);

}  // namespace ombrel
