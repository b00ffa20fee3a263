// Text at the user's edge: UTF-8 (what the user and Qt see) to and from CP932
// (the single-byte and Shift-JIS text that records and files carry).
#pragma once

#include <string>
#include <string_view>

namespace platform::text {

// Characters CP932 cannot hold become '?'.
std::string utf8ToCp932(std::string_view utf8);
// Bytes that are no CP932 character become '?'.
std::string cp932ToUtf8(std::string_view cp932);
// True when `b` starts a two-byte CP932 character.
bool isCp932LeadByte(unsigned char b);
// The longest prefix of at most maxBytes that does not cut a two-byte character.
std::size_t cp932CutLength(std::string_view cp932, std::size_t maxBytes);

}  // namespace platform::text
