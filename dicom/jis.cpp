#include "dicom/internal/jis.h"

#include "dicom/internal/vr.h"

namespace dicom {
namespace {

constexpr uint8_t kEsc = 0x1B;

// JIS X 0208 row/cell bytes to the Shift-JIS pair (the standard arithmetic mapping).
void jisPairToSjis(uint8_t j1, uint8_t j2, std::string& out) {
  unsigned s1 = ((j1 - 0x21u) >> 1) + 0x81u;
  if (s1 > 0x9F) s1 += 0x40;
  unsigned s2;
  if (j1 & 1) {
    s2 = j2 + 0x1Fu;
    if (s2 >= 0x7F) ++s2;
  } else {
    s2 = j2 + 0x7Eu;
  }
  out.push_back(static_cast<char>(s1 & 0xFF));
  out.push_back(static_cast<char>(s2 & 0xFF));
}

// The Shift-JIS pair to JIS X 0208; a pair that is no Shift-JIS character
// becomes the full-width question mark, so that no control byte can leak out.
// (The writer refuses CP932's NEC and IBM rows before it gets here.)
void sjisPairToJis(uint8_t s1, uint8_t s2, std::string& out) {
  unsigned lead = s1 >= 0xE0 ? s1 - 0x40u : s1;
  int j1 = static_cast<int>(lead - 0x81u) * 2 + 0x21;
  int j2;
  if (s2 >= 0x9F) {
    ++j1;
    j2 = s2 - 0x7E;
  } else {
    j2 = s2 - (s2 >= 0x80 ? 0x20 : 0x1F);
  }
  bool valid = s1 >= 0x81 && s1 <= 0xFC && s2 >= 0x40 && s2 <= 0xFC && s2 != 0x7F && j1 >= 0x21 &&
               j1 <= 0x7E && j2 >= 0x21 && j2 <= 0x7E;
  if (!valid) {
    j1 = 0x21;
    j2 = 0x29;
  }
  out.push_back(static_cast<char>(j1));
  out.push_back(static_cast<char>(j2));
}

// Calls f with each term of a (0008,0005) value, blanks trimmed, until f
// returns false; returns whether every call returned true.
template <typename F>
bool everyTerm(const uint8_t* value, uint32_t length, F f) {
  std::string_view rest(reinterpret_cast<const char*>(value), length);
  for (;;) {
    const size_t cut = rest.find('\\');
    std::string_view term = rest.substr(0, cut);
    while (!term.empty() && (term.front() == ' ' || term.front() == 0)) term.remove_prefix(1);
    while (!term.empty() && (term.back() == ' ' || term.back() == 0)) term.remove_suffix(1);
    if (!f(term)) return false;
    if (cut == std::string_view::npos) return true;
    rest.remove_prefix(cut + 1);
  }
}

}  // namespace

bool japaneseCharset(const uint8_t* value, uint32_t length) {
  static const std::string_view kTerms[] = {"", "ISO 2022 IR 6", "ISO_IR 13", "ISO 2022 IR 13", "ISO 2022 IR 87"};
  return everyTerm(value, length, [](std::string_view term) {
    for (std::string_view k : kTerms)
      if (term == k) return true;
    return false;
  });
}

bool charsetNamesJisX0201(const uint8_t* value, uint32_t length) {
  return !everyTerm(value, length, [](std::string_view term) { return term != "ISO 2022 IR 13" && term != "ISO_IR 13"; });
}

bool isConvertedTextVr(const char* vr) {
  static const char* const kVrs[] = {"SH", "LO", "LT", "PN", "ST", "UT"};
  for (const char* v : kVrs)
    if (vrIs(vr, v)) return true;
  return false;
}

std::string jisToSjis(const uint8_t* text, size_t length) {
  std::string out;
  out.reserve(length);
  bool kanji = false;
  size_t i = 0;
  while (i < length) {
    uint8_t b = text[i];
    if (b == kEsc && i + 1 < length &&
        (text[i + 1] == '$' || text[i + 1] == '(' || text[i + 1] == ')')) {
      size_t escapeLength = 3;
      if (text[i + 1] == '$' && i + 2 < length && (text[i + 2] == '(' || text[i + 2] == ')'))
        escapeLength = 4;
      if (length - i < escapeLength) break;  // cut off by the end: dropped
      if (text[i + 1] == '$') kanji = true;
      else if (text[i + 1] == '(') kanji = false;
      i += escapeLength;
      continue;
    }
    if (b >= 0x80 || !kanji || b < 0x21) {
      // Katakana and single-byte text as they are; blanks and controls stand
      // alone even inside kanji text.
      out.push_back(static_cast<char>(b));
      ++i;
      continue;
    }
    if (i + 1 >= length) break;  // half a kanji pair: dropped
    jisPairToSjis(b, text[i + 1], out);
    i += 2;
  }
  return out;
}

std::string sjisToJis(const uint8_t* text, size_t length, bool keepLineControls, bool romanIsJisX0201) {
  enum class Mode { Roman, Katakana, Kanji };
  const char kToRoman[] = {static_cast<char>(kEsc), '(', romanIsJisX0201 ? 'J' : 'B'};
  static const char kToKatakana[] = {static_cast<char>(kEsc), ')', 'I'};
  static const char kToKanji[] = {static_cast<char>(kEsc), '$', 'B'};
  std::string out;
  out.reserve(length * 2 + 4);
  Mode mode = Mode::Roman;
  auto enter = [&](Mode wanted, const char (&escape)[3]) {
    if (mode != wanted) out.append(escape, 3);
    mode = wanted;
  };
  for (size_t i = 0; i < length; ++i) {
    uint8_t b = text[i];
    if (b == 0) break;  // the value is a C string
    if (b < 0x20) {
      bool lineControl = b == '\t' || b == '\n' || b == '\f' || b == '\r';
      if (!keepLineControls || !lineControl) continue;
      enter(Mode::Roman, kToRoman);
      out.push_back(static_cast<char>(b));
    } else if (b <= 0x7F) {
      enter(Mode::Roman, kToRoman);
      out.push_back(static_cast<char>(b));
    } else if (b >= 0xA0 && b <= 0xDF) {
      enter(Mode::Katakana, kToKatakana);
      out.push_back(static_cast<char>(b));
    } else {
      if (i + 1 >= length || text[i + 1] == 0) break;  // a lead byte without its trail byte
      enter(Mode::Kanji, kToKanji);
      sjisPairToJis(b, text[i + 1], out);
      ++i;
    }
  }
  // End in the Roman set with an even length.
  if (out.size() % 2) {
    if (mode == Mode::Kanji) out.append(kToRoman, 3);
    else out.push_back(' ');
  } else if (mode != Mode::Roman) {
    out.append(kToRoman, 3);
    out.push_back(' ');
  }
  return out;
}

}  // namespace dicom
