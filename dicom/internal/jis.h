// Japanese text between the ISO 2022 form of the files and the Shift-JIS
// (CP932) form of the callers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dicom {

// True for the VRs whose text is converted: SH, LO, LT, PN, ST, UT.
bool isConvertedTextVr(const char* vr);

// ISO 2022 (escape sequences, JIS X 0208 pairs, half-width katakana) to
// Shift-JIS. Never longer than the input; an escape sequence or a kanji pair
// cut off by the end of the value is dropped.
std::string jisToSjis(const uint8_t* text, size_t length);

// Shift-JIS to ISO 2022, ending in the Roman set with an even length. Control
// bytes are dropped, except tab, line feed, form feed and carriage return when
// keepLineControls is set (the multi-line VRs LT, ST and UT).
// romanIsJisX0201: single bytes after kanji are designated JIS X 0201 Roman
// (ESC "(J"), else ASCII (ESC "(B"), for a character set without IR 13.
std::string sjisToJis(const uint8_t* text, size_t length, bool keepLineControls,
                      bool romanIsJisX0201 = true);

// True when a (0008,0005) value names only the Japanese ISO 2022 sets whose
// text the reader turns into Shift-JIS: JIS X 0201 and JIS X 0208.
bool japaneseCharset(const uint8_t* value, uint32_t length);
// True when a (0008,0005) value names JIS X 0201 (IR 13).
bool charsetNamesJisX0201(const uint8_t* value, uint32_t length);

}  // namespace dicom
