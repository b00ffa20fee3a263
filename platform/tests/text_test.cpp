#include "platform/text.h"

#include <gtest/gtest.h>

namespace {

TEST(Text, Cp932RoundTripsAndReplacement) {
  struct Case {
    const char* utf8;
    std::string cp932;
  } cases[] = {
      {"ABC 123", "ABC 123"},
      {"\xE5\xB1\xB1\xE7\x94\xB0", "\x8E\x52\x93\x63"},          // kanji: yama da
      {"\xEF\xBD\xB1\xEF\xBE\x9D", "\xB1\xDD"},                 // half-width katakana
      {"\xE3\x82\xA2-x", "\x83\x41-x"},                         // full-width katakana and ASCII
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::text::utf8ToCp932(c.utf8), c.cp932) << c.utf8;
    EXPECT_EQ(platform::text::cp932ToUtf8(c.cp932), c.utf8) << c.utf8;
  }
  EXPECT_EQ(platform::text::utf8ToCp932("\xF0\x9F\x98\x80!"), "?!");  // no emoji in CP932
  EXPECT_EQ(platform::text::utf8ToCp932("\xE5\xB1"), "??");           // cut UTF-8
  EXPECT_EQ(platform::text::cp932ToUtf8(std::string("\x80\xFF", 2)), "??");
  EXPECT_EQ(platform::text::cp932ToUtf8("\x8E"), "?");  // lead byte at the end
}

TEST(Text, CutNeverSplitsADoubleByteCharacter) {
  std::string s = "A\x8E\x52\x93\x63";
  EXPECT_EQ(platform::text::cp932CutLength(s, 5), 5u);
  EXPECT_EQ(platform::text::cp932CutLength(s, 4), 3u);
  EXPECT_EQ(platform::text::cp932CutLength(s, 2), 1u);
  EXPECT_EQ(platform::text::cp932CutLength("\x8E", 4), 0u);
}

}  // namespace
