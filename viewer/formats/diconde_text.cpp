// ISO 2022 IR 87 text of DICONDE values to and from CP932.
#include "viewer/formats/diconde.h"

#include "platform/text.h"

namespace viewer::formats {

namespace {

bool isLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool isTrail(unsigned char c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }
bool isJis(unsigned char c) { return c >= 0x21 && c <= 0x7E; }

void jisToSjis(unsigned char j1, unsigned char j2, unsigned char& s1, unsigned char& s2) {
  const int rowOffset = j1 < 0x5F ? 0x70 : 0xB0;
  const int cellOffset = (j1 & 1) ? (j2 > 0x5F ? 0x20 : 0x1F) : 0x7E;
  s1 = static_cast<unsigned char>(((j1 + 1) >> 1) + rowOffset);
  s2 = static_cast<unsigned char>(j2 + cellOffset);
}

}  // namespace

void sjisToJis(unsigned char s1, unsigned char s2, unsigned char& j1, unsigned char& j2) {
  const int adjust = s2 < 0x9F ? 1 : 0;
  const int rowOffset = s1 < 0xA0 ? 0x70 : 0xB0;
  const int cellOffset = adjust ? (s2 > 0x7F ? 0x20 : 0x1F) : 0x7E;
  j1 = static_cast<unsigned char>(((s1 - rowOffset) << 1) - adjust);
  j2 = static_cast<unsigned char>(s2 - cellOffset);
}

std::string toDicondeText(std::string_view in) {
  std::string out;
  bool kanji = false;
  for (std::size_t i = 0; i < in.size(); ++i) {
    const auto c = static_cast<unsigned char>(in[i]);
    if (c >= 0x20 && c < 0x7F) {
      if (kanji) out += "\x1b(B";
      kanji = false;
      out += char(c);
    } else if (isLead(c) && i + 1 < in.size() && isTrail(static_cast<unsigned char>(in[i + 1]))) {
      const auto trail = static_cast<unsigned char>(in[++i]);
      if (!platform::text::isJisX0208Pair(c, trail)) continue;  // no code in JIS X 0208
      unsigned char j1, j2;
      sjisToJis(c, trail, j1, j2);
      if (!kanji) out += "\x1b$B";
      kanji = true;
      out += char(j1);
      out += char(j2);
    }
    // control characters, half-width katakana and broken pairs are dropped
  }
  if (kanji) out += "\x1b(B";
  return out;
}

std::string fromDicondeText(std::string_view in) {
  std::string out;
  enum { kAscii, kKanji, kKatakana } mode = kAscii;
  for (std::size_t i = 0; i < in.size(); ++i) {
    const auto c = static_cast<unsigned char>(in[i]);
    if (c == 0x1B && i + 2 < in.size()) {
      const char a = in[i + 1], b = in[i + 2];
      if (a == '$' && (b == 'B' || b == '@')) mode = kKanji;
      else if (a == '(' && (b == 'B' || b == 'J')) mode = kAscii;
      else if (a == '(' && b == 'I') mode = kKatakana;
      else if (a == ')' && b == 'I') { /* G1 katakana: bytes A1..DF stand for themselves */ }
      else continue;  // an unknown escape: drop the ESC
      i += 2;
      continue;
    }
    if (mode == kKanji && isJis(c) && i + 1 < in.size() && isJis(static_cast<unsigned char>(in[i + 1]))) {
      unsigned char s1, s2;
      jisToSjis(c, static_cast<unsigned char>(in[++i]), s1, s2);
      out += char(s1);
      out += char(s2);
    } else if (mode == kKatakana && c >= 0x21 && c <= 0x5F) {
      out += char(c + 0x80);
    } else {
      out += char(c);
    }
  }
  return out;
}

}  // namespace viewer::formats
