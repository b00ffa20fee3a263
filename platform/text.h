// Text at the user's edge: UTF-8 (what the user and Qt see) to and from CP932
// (the single-byte and Shift-JIS text that records and files carry).
#pragma once

#include <string>
#include <string_view>

namespace platform::text {

// Characters CP932 cannot hold become '?', and so do those of CP932's own
// NEC and IBM rows: no file the suite writes has a code for them.
std::string utf8ToCp932(std::string_view utf8);
// Bytes that are no CP932 character become '?'.
std::string cp932ToUtf8(std::string_view cp932);
// True when `b` starts a two-byte CP932 character.
bool isCp932LeadByte(unsigned char b);
// The longest prefix of at most maxBytes that does not cut a two-byte character.
std::size_t cp932CutLength(std::string_view cp932, std::size_t maxBytes);

// True when the two-byte CP932 character is one of JIS X 0208 (rows 1 to 8 and
// 16 to 84 of the code table), the only double-byte set that the files'
// ISO 2022 form declares; CP932's NEC and IBM rows are not.
bool isJisX0208Pair(unsigned char lead, unsigned char trail);
// False when the CP932 text holds a two-byte character outside JIS X 0208 (or
// a byte that begins none): the files have no code for it, so a writer
// refuses the value rather than write it wrong. Single bytes and a lead byte
// cut off at the end are the writers' own to drop.
bool cp932FitsJisX0208(std::string_view cp932);

// What a study field may hold, so that its text reaches every file the suite
// writes as typed: printable ASCII and the characters of JIS X 0208. Not
// half-width katakana or control characters (the writers drop them), not the
// NEC and IBM rows, and no backslash in a field that becomes one DICOM value
// (the backslash separates values).
bool fieldHolds(char32_t c, bool singleValue);
// The first character of the UTF-8 text that fieldHolds refuses, or 0 when
// every one is held (a malformed sequence counts as U+FFFD).
char32_t firstRefused(std::string_view utf8, bool singleValue);

}  // namespace platform::text
