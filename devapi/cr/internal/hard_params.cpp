#include "devapi/cr/internal/hard_params.h"

#include "platform/ini.h"

#include <charconv>
#include <cmath>
#include <string>

namespace zentrac {
namespace {

// The band texts were read into 128-byte buffers; longer values lose their tail.
constexpr std::size_t kBandTextMax = 127;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  void skipBlanks() {
    while (pos_ < text_.size() && isBlank(text_[pos_])) ++pos_;
  }

  bool readDouble(double& out) {
    skipBlanks();
    bool negative = false;
    if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) negative = text_[pos_++] == '-';
    // A second sign ("+-1") is no number.
    if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) return false;
    const char* begin = text_.data() + pos_;
    const char* end = text_.data() + text_.size();
    auto [ptr, ec] = std::from_chars(begin, end, out, std::chars_format::general);
    if (ec != std::errc() || !std::isfinite(out)) return false;
    pos_ += static_cast<std::size_t>(ptr - begin);
    if (negative) out = -out;
    return true;
  }

  bool readInt(int& out) {
    skipBlanks();
    bool negative = false;
    if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) negative = text_[pos_++] == '-';
    std::size_t start = pos_;
    long long value = 0;
    while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
      value = value * 10 + (text_[pos_++] - '0');
      if (value > 2147483648LL) return false;
    }
    if (pos_ == start) return false;
    if (negative) value = -value;
    if (value > 2147483647LL || value < -2147483648LL) return false;
    out = static_cast<int>(value);
    return true;
  }

  bool readComma() {
    if (pos_ >= text_.size() || text_[pos_] != ',') return false;
    ++pos_;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

const CorrectionParams& HardParams::forMode(int mode) const {
  if (mode <= 1) return sets[0];
  if (mode == 2) return sets[1];
  // Modes above 3 have no set of their own; the finest one is the nearest.
  return sets[2];
}

std::optional<BandRecord> parseBandRecord(std::string_view text) {
  Cursor in(text);
  BandRecord r;
  if (!in.readDouble(r.position)) return std::nullopt;
  int* fields[] = {&r.window, &r.minValid, &r.refLines, &r.bandLines, &r.maxRefRange, &r.maxRange};
  for (int* field : fields) {
    if (!in.readComma() || !in.readInt(*field)) return std::nullopt;
  }
  return r;
}

namespace {

HardParams fromIni(const platform::ini::IniFile& ini) {
  HardParams params;
  for (std::size_t s = 0; s < kHardSections.size(); ++s) {
    const std::string_view section = kHardSections[s];
    CorrectionParams& p = params.sets[s];
    p.delta = ini.getInt(section, "DELTA", p.delta);
    p.boxWidth = ini.getInt(section, "BOX_WIDTH", p.boxWidth);
    p.boxHeight = ini.getInt(section, "BOX_HEIGHT", p.boxHeight);
    p.maxPixValue = ini.getInt(section, "MAX_PIX_VALUE", p.maxPixValue);
    p.minPixValue = ini.getInt(section, "MIN_PIX_VALUE", p.minPixValue);
    p.rollerBanding = ini.getInt(section, "PROCESS_ROLLER_BANDING", 0) == 1;
    for (int n = 1;; ++n) {
      std::optional<std::string> text = ini.value(section, "BAND_PARAM" + std::to_string(n));
      if (!text || text->empty()) break;
      if (text->size() > kBandTextMax) text->resize(kBandTextMax);
      std::optional<BandRecord> record = parseBandRecord(*text);
      if (!record) continue;
      if (record->position == 0.0) break;  // a record of position 0.0 ends the list
      p.bands.push_back(*record);
    }
  }
  return params;
}

}  // namespace

HardParams loadHardParams(const std::filesystem::path& file) {
  return fromIni(platform::ini::IniFile::load(file));
}

HardParams parseHardParams(std::string_view content) {
  return fromIni(platform::ini::IniFile::parse(content));
}

}  // namespace zentrac
