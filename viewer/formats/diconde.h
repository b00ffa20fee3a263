// The viewer's own DICONDE files: secondary capture, modality "RG", written in
// implicit VR little endian or, with JPEG pixel data, explicit VR little
// endian; read from Part-10 files of any little-endian, big-endian or JPEG
// transfer syntax and from bare data sets.
#pragma once

#include <string>
#include <string_view>

#include "viewer/image_model.h"

namespace viewer::formats {

// The organisation root of every UID the viewer makes.
inline constexpr const char* kUidRoot = "2.25.527413318770943";
inline constexpr const char* kPrivateCreator = "Korva DICOM private elements version1.0";
inline constexpr const char* kSpecificCharacterSet = "\\ISO 2022 IR 87\\ISO 2022 IR 13";

// CP932 text to the ISO 2022 form of "\ISO 2022 IR 87\ISO 2022 IR 13": runs of
// double-byte characters become JIS X 0208 behind ESC "$B", ESC "(B" returns
// to ASCII, the value ends in ASCII; control characters, half-width katakana
// and characters outside JIS X 0208 are dropped.
std::string toDicondeText(std::string_view cp932);
// The arithmetic mapping of one Shift-JIS pair to its JIS X 0208 code; pairs
// outside JIS X 0208 give bytes outside 0x21..0x7E.
void sjisToJis(unsigned char s1, unsigned char s2, unsigned char& j1, unsigned char& j2);
// The reverse: ISO 2022 escapes and JIS X 0208 pairs back to CP932.
std::string fromDicondeText(std::string_view iso2022);

inline constexpr const char* kDefaultPartNo = "58274613";

// A UID component from a setting: its run of decimal digits without leading
// zeros; anything else (blank, signs, letters, more than ten digits) gives the fallback.
std::string uidComponent(std::string_view text, std::string_view fallback);

int ReadDicondeFile(CImageItem& image, const std::string& path);
// jpeg: the "DICONDE(JPEG)" variant. The settings give UseMIH, PartNo,
// Instance and the JPEG quality.
int WriteDicondeFile(const CImageItem& image, const std::string& path, bool jpeg);

}  // namespace viewer::formats
