#include "platform/text.h"

#include <algorithm>
#include <cstdint>

namespace platform::text {
namespace {

struct CodePair {
  std::uint16_t from;
  std::uint16_t to;
};

#include "platform/internal/cp932_table.inc"

int lookup(const CodePair* begin, const CodePair* end, std::uint32_t key) {
  if (key > 0xFFFF) return -1;
  auto it = std::lower_bound(begin, end, key, [](const CodePair& p, std::uint32_t k) { return p.from < k; });
  return (it != end && it->from == key) ? it->to : -1;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at s[i]; a malformed one yields U+FFFD and one byte.
std::uint32_t nextCodePoint(std::string_view s, std::size_t& i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
  if (extra == 0) {
    ++i;
    return c;
  }
  if (extra < 0 || i + static_cast<std::size_t>(extra) >= s.size()) {
    ++i;
    return 0xFFFD;
  }
  std::uint32_t cp = c & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    unsigned char cc = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
    if ((cc & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (cc & 0x3F);
  }
  i += static_cast<std::size_t>(extra) + 1;
  return cp;
}

// The JIS X 0208 row (1 to 94) of a Shift-JIS lead and trail byte pair.
int jisRow(unsigned char lead, unsigned char trail) {
  const int l = lead >= 0xE0 ? lead - 0x40 : lead;
  return (l - 0x81) * 2 + (trail >= 0x9F ? 2 : 1);
}

bool holdsJisRow(unsigned code) {
  const int row = jisRow(static_cast<unsigned char>(code >> 8), static_cast<unsigned char>(code & 0xFF));
  return (row >= 1 && row <= 8) || (row >= 16 && row <= 84);
}

}  // namespace

bool isJisX0208Pair(unsigned char lead, unsigned char trail) {
  if (!isCp932LeadByte(lead)) return false;
  const unsigned code = static_cast<unsigned>(lead) << 8 | trail;
  return holdsJisRow(code) && lookup(std::begin(kCp932Decode), std::end(kCp932Decode), code) >= 0;
}

bool cp932FitsJisX0208(std::string_view cp932) {
  for (std::size_t i = 0; i < cp932.size(); ++i) {
    const auto b = static_cast<unsigned char>(cp932[i]);
    if (b < 0x80 || (b >= 0xA1 && b <= 0xDF)) continue;
    if (i + 1 == cp932.size() && isCp932LeadByte(b)) return true;
    if (i + 1 == cp932.size() || !isJisX0208Pair(b, static_cast<unsigned char>(cp932[i + 1]))) return false;
    ++i;
  }
  return true;
}

bool fieldHolds(char32_t c, bool singleValue) {
  if (c < 0x80) return c >= 0x20 && c != 0x7F && !(singleValue && c == '\\');
  const int code = lookup(std::begin(kCp932Encode), std::end(kCp932Encode), c);
  return code >= 0x100 && holdsJisRow(static_cast<unsigned>(code));
}

char32_t firstRefused(std::string_view utf8, bool singleValue) {
  for (std::size_t i = 0; i < utf8.size();) {
    const std::uint32_t cp = nextCodePoint(utf8, i);
    if (!fieldHolds(cp, singleValue)) return cp;
  }
  return 0;
}

bool isCp932LeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

std::string utf8ToCp932(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    std::uint32_t cp = nextCodePoint(utf8, i);
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp >= 0xFF61 && cp <= 0xFF9F) {
      out += static_cast<char>(0xA1 + (cp - 0xFF61));
    } else if (int code = lookup(std::begin(kCp932Encode), std::end(kCp932Encode), cp);
               code >= 0 && holdsJisRow(static_cast<unsigned>(code))) {
      out += static_cast<char>(code >> 8);
      out += static_cast<char>(code & 0xFF);
    } else {
      out += '?';
    }
  }
  return out;
}

std::string cp932ToUtf8(std::string_view cp932) {
  std::string out;
  out.reserve(cp932.size() * 3 / 2);
  for (std::size_t i = 0; i < cp932.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(cp932[i]);
    if (b < 0x80) {
      out += static_cast<char>(b);
    } else if (b >= 0xA1 && b <= 0xDF) {
      appendUtf8(out, 0xFF61 + (b - 0xA1));
    } else if (isCp932LeadByte(b) && i + 1 < cp932.size()) {
      unsigned char t = static_cast<unsigned char>(cp932[i + 1]);
      int cp = lookup(std::begin(kCp932Decode), std::end(kCp932Decode), (b << 8) | t);
      if (cp >= 0) {
        appendUtf8(out, static_cast<std::uint32_t>(cp));
        ++i;
      } else {
        out += '?';
        if (t >= 0x40 && t != 0x7F && t <= 0xFC) ++i;  // the pair is one bad character
      }
    } else {
      out += '?';
    }
  }
  return out;
}

std::size_t cp932CutLength(std::string_view cp932, std::size_t maxBytes) {
  std::size_t i = 0;
  while (i < cp932.size()) {
    std::size_t len = isCp932LeadByte(static_cast<unsigned char>(cp932[i])) ? 2 : 1;
    if (i + len > maxBytes || i + len > cp932.size()) break;
    i += len;
  }
  return i;
}

}  // namespace platform::text
