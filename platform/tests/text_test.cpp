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

TEST(Text, NecAndIbmRowsHaveNoCodeInTheFiles) {
  // Rows 13 (NEC) and 89 to 92 (NEC-selected IBM), and the IBM rows at FA to FC.
  EXPECT_EQ(platform::text::utf8ToCp932("\xE2\x91\xA0"), "?");      // circled one
  EXPECT_EQ(platform::text::utf8ToCp932("\xE9\xAB\x99\xE6\xA9\x8B"), "?\x8B\xB4");  // taka (ladder) + hashi
  EXPECT_EQ(platform::text::utf8ToCp932("\xEF\xA8\x91"), "?");      // saki (tall form)
  EXPECT_EQ(platform::text::utf8ToCp932("\xE2\x85\xA1"), "?");      // Roman numeral two
  // Their codes still read back: records and files written before keep them.
  EXPECT_EQ(platform::text::cp932ToUtf8("\x87\x40"), "\xE2\x91\xA0");
}

TEST(Text, JisX0208PairsAreRowsOneToEightAndSixteenToEightyFour) {
  struct Case {
    unsigned char lead, trail;
    bool jis;
  } cases[] = {
      {0x81, 0x40, true},   // ideographic space, row 1
      {0x84, 0xBE, true},   // last box-drawing character, row 8
      {0x88, 0x9F, true},   // first kanji, row 16
      {0xEA, 0xA4, true},   // last kanji, row 84
      {0x87, 0x40, false},  // circled one, NEC row 13
      {0xED, 0x40, false},  // NEC-selected IBM row 89
      {0xEE, 0xE0, false},  // taka (ladder), row 92
      {0xFA, 0x40, false},  // IBM extension
      {0xF0, 0x40, false},  // user-defined area
      {0x81, 0xAD, false},  // a gap in row 2
      {0x85, 0x40, false},  // row 9, empty
      {0xA1, 0x40, false},  // not a lead byte
  };
  for (const Case& c : cases)
    EXPECT_EQ(platform::text::isJisX0208Pair(c.lead, c.trail), c.jis) << std::hex << int(c.lead) << int(c.trail);
}

TEST(Text, FieldsHoldAsciiAndJisX0208Only) {
  struct Case {
    const char* utf8;
    bool singleValue;
    char32_t refused;
  } cases[] = {
      {"Weld-7 #12 (A/B)", true, 0},
      {"\xE5\xB1\xB1\xE7\x94\xB0\xE3\x80\x80\xE3\x82\xA2\xE2\x88\xB5", true, 0},  // kanji, space, katakana, because
      {"M\xC3\xBCller", true, 0xFC},                     // u umlaut: not in CP932
      {"Pr\xC3\xBC""fst\xC3\xBC""ck \xC3\x98 7", true, 0xFC},
      {"\xE9\xAB\x99\xE6\xA9\x8B\xE2\x91\xA0", true, 0x9AD9},   // IBM row first
      {"\xE6\xA9\x8B\xE2\x91\xA0", true, 0x2460},                 // then NEC row 13
      {"\xE2\x85\xA1", true, 0x2161},
      {"A\\B", true, '\\'},
      {"A\\B", false, 0},                                // a multi-valued text may
      {"\xEF\xBD\xB1", true, 0xFF71},                    // half-width katakana: dropped by writers
      {"line\nbreak", false, '\n'},
      {"tab\t", true, '\t'},
      {"\xF0\x9F\x98\x80", true, 0x1F600},
      {"\xE5\xB1", true, 0xFFFD},                         // cut UTF-8
  };
  for (const Case& c : cases)
    EXPECT_EQ(platform::text::firstRefused(c.utf8, c.singleValue), c.refused) << c.utf8;
}

}  // namespace
