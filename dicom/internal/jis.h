// Japanese text between the ISO 2022 form of the files and the Shift-JIS
// (CP932) form of the callers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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
std::string sjisToJis(const uint8_t* text, size_t length, bool keepLineControls);

}  // namespace dicom
