#include "hosts/twain/internal/capability_db.h"

#include "hosts/twain/internal/fix32.h"
#include "hosts/twain/twain_memory.h"
#include "platform/ini.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace twain {
namespace {

using platform::ini::IniFile;

struct Named {
  const char* name;
  TW_UINT16 value;
};

// The capabilities the source knows; their sections carry these names.
constexpr Named kCapabilities[] = {
    {"CAP_XFERCOUNT", CAP_XFERCOUNT},
    {"ICAP_COMPRESSION", ICAP_COMPRESSION},
    {"ICAP_PIXELTYPE", ICAP_PIXELTYPE},
    {"ICAP_UNITS", ICAP_UNITS},
    {"ICAP_XFERMECH", ICAP_XFERMECH},
    {"CAP_FEEDERENABLED", CAP_FEEDERENABLED},
    {"CAP_FEEDERLOADED", CAP_FEEDERLOADED},
    {"CAP_SUPPORTEDCAPS", CAP_SUPPORTEDCAPS},
    {"CAP_AUTOFEED", CAP_AUTOFEED},
    {"CAP_UICONTROLLABLE", CAP_UICONTROLLABLE},
    {"CAP_DEVICEONLINE", CAP_DEVICEONLINE},
    {"ICAP_PHYSICALWIDTH", ICAP_PHYSICALWIDTH},
    {"ICAP_PHYSICALHEIGHT", ICAP_PHYSICALHEIGHT},
    {"ICAP_XRESOLUTION", ICAP_XRESOLUTION},
    {"ICAP_YRESOLUTION", ICAP_YRESOLUTION},
    {"ICAP_BITORDER", ICAP_BITORDER},
    {"ICAP_PIXELFLAVOR", ICAP_PIXELFLAVOR},
    {"ICAP_PLANARCHUNKY", ICAP_PLANARCHUNKY},
    {"ICAP_BITDEPTH", ICAP_BITDEPTH},
};

constexpr Named kCompression[] = {
    {"TWCP_NONE", TWCP_NONE},         {"TWCP_PACKBITS", TWCP_PACKBITS}, {"TWCP_GROUP31D", TWCP_GROUP31D},
    {"TWCP_GROUP31DEOL", TWCP_GROUP31DEOL}, {"TWCP_GROUP32D", TWCP_GROUP32D}, {"TWCP_GROUP4", TWCP_GROUP4},
    {"TWCP_JPEG", TWCP_JPEG},         {"TWCP_LZW", TWCP_LZW},           {"TWCP_JBIG", TWCP_JBIG},
};
constexpr Named kPixelType[] = {
    {"TWPT_BW", TWPT_BW},   {"TWPT_GRAY", TWPT_GRAY}, {"TWPT_RGB", TWPT_RGB},
    {"TWPT_PALETTE", TWPT_PALETTE}, {"TWPT_CMY", TWPT_CMY}, {"TWPT_CMYK", TWPT_CMYK},
    {"TWPT_YUV", TWPT_YUV}, {"TWPT_YUVK", TWPT_YUVK}, {"TWPT_CIEXYZ", TWPT_CIEXYZ},
};
constexpr Named kUnits[] = {
    {"TWUN_INCHES", TWUN_INCHES}, {"TWUN_CENTIMETERS", TWUN_CENTIMETERS}, {"TWUN_PICAS", TWUN_PICAS},
    {"TWUN_POINTS", TWUN_POINTS}, {"TWUN_TWIPS", TWUN_TWIPS},             {"TWUN_PIXELS", TWUN_PIXELS},
};
constexpr Named kXferMech[] = {{"TWSX_NATIVE", TWSX_NATIVE}, {"TWSX_FILE", TWSX_FILE}, {"TWSX_MEMORY", TWSX_MEMORY}};
constexpr Named kFileFormat[] = {
    {"TWFF_TIFF", TWFF_TIFF}, {"TWFF_PICT", TWFF_PICT}, {"TWFF_BMP", TWFF_BMP}, {"TWFF_XBM", TWFF_XBM},
    {"TWFF_JFIF", TWFF_JFIF}, {"TWFF_FPX", TWFF_FPX}, {"TWFF_TIFFMULTI", TWFF_TIFFMULTI},
    {"TWFF_PNG", TWFF_PNG},   {"TWFF_SPIFF", TWFF_SPIFF}, {"TWFF_EXIF", TWFF_EXIF},
};
constexpr Named kBitOrder[] = {{"TWBO_LSBFIRST", TWBO_LSBFIRST}, {"TWBO_MSBFIRST", TWBO_MSBFIRST}};
constexpr Named kPixelFlavor[] = {{"TWPF_CHOCOLATE", TWPF_CHOCOLATE}, {"TWPF_VANILLA", TWPF_VANILLA}};
constexpr Named kPlanarChunky[] = {{"TWPC_CHUNKY", TWPC_CHUNKY}, {"TWPC_PLANAR", TWPC_PLANAR}};

constexpr Named kItemTypes[] = {
    {"TWTY_INT8", TWTY_INT8},     {"TWTY_INT16", TWTY_INT16},   {"TWTY_INT32", TWTY_INT32},
    {"TWTY_UINT8", TWTY_UINT8},   {"TWTY_UINT16", TWTY_UINT16}, {"TWTY_UINT32", TWTY_UINT32},
    {"TWTY_BOOL", TWTY_BOOL},     {"TWTY_FIX32", TWTY_FIX32},   {"TWTY_FRAME", TWTY_FRAME},
    {"TWTY_STR32", TWTY_STR32},   {"TWTY_STR64", TWTY_STR64},   {"TWTY_STR128", TWTY_STR128},
    {"TWTY_STR255", TWTY_STR255},
};
constexpr Named kContainers[] = {
    {"TWON_ARRAY", TWON_ARRAY},
    {"TWON_ENUMERATION", TWON_ENUMERATION},
    {"TWON_ONEVALUE", TWON_ONEVALUE},
    {"TWON_RANGE", TWON_RANGE},
};

// An unknown constant name in a value text counts as this.
constexpr std::int64_t kUnknownName = 99;

bool equalNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

template <std::size_t N>
std::optional<TW_UINT16> lookUp(const Named (&table)[N], std::string_view name) {
  for (const Named& n : table)
    if (equalNoCase(n.name, name)) return n.value;
  return std::nullopt;
}

const char* capName(TW_UINT16 cap) {
  for (const Named& n : kCapabilities)
    if (n.value == cap) return n.name;
  return nullptr;
}

// The names a capability's items may be written with; empty for plain numbers.
std::pair<const Named*, std::size_t> namesOf(TW_UINT16 cap) {
  switch (cap) {
    case ICAP_COMPRESSION: return {kCompression, std::size(kCompression)};
    case ICAP_PIXELTYPE: return {kPixelType, std::size(kPixelType)};
    case ICAP_UNITS: return {kUnits, std::size(kUnits)};
    case ICAP_XFERMECH: return {kXferMech, std::size(kXferMech)};
    case CAP_SUPPORTEDCAPS: return {kCapabilities, std::size(kCapabilities)};
    case ICAP_IMAGEFILEFORMAT: return {kFileFormat, std::size(kFileFormat)};
    case ICAP_BITORDER: return {kBitOrder, std::size(kBitOrder)};
    case ICAP_PIXELFLAVOR: return {kPixelFlavor, std::size(kPixelFlavor)};
    case ICAP_PLANARCHUNKY: return {kPlanarChunky, std::size(kPlanarChunky)};
    default: return {nullptr, 0};
  }
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> splitList(std::string_view s, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    std::size_t at = s.find(separator);
    parts.push_back(trim(s.substr(0, at)));
    if (at == std::string_view::npos) return parts;
    s.remove_prefix(at + 1);
  }
}

std::size_t itemSize(TW_UINT16 type) {
  switch (type) {
    case TWTY_INT8:
    case TWTY_UINT8: return 1;
    case TWTY_INT16:
    case TWTY_UINT16:
    case TWTY_BOOL: return 2;
    case TWTY_INT32:
    case TWTY_UINT32:
    case TWTY_FIX32: return 4;
    case TWTY_FRAME: return sizeof(TW_FRAME);
    case TWTY_STR32: return sizeof(TW_STR32);
    case TWTY_STR64: return sizeof(TW_STR64);
    case TWTY_STR128: return sizeof(TW_STR128);
    case TWTY_STR255: return sizeof(TW_STR255);
    default: return 0;
  }
}

bool isNumeric(TW_UINT16 type) { return type <= TWTY_FIX32; }

// Characters a string item holds before its NUL.
std::size_t textRoom(TW_UINT16 type) {
  switch (type) {
    case TWTY_STR32: return 32;
    case TWTY_STR64: return 64;
    case TWTY_STR128: return 128;
    case TWTY_STR255: return 255;
    default: return 0;
  }
}

// One item in the width of its type, with its number for range checks (for
// FIX32 the count of 65536ths).
struct Item {
  std::vector<std::uint8_t> bytes;
  std::int64_t number = 0;
};

bool sameItem(const Item& a, const Item& b) { return a.bytes == b.bytes; }

// A number as the 32 bits a container holds for it: a FIX32 as its Whole and
// Frac fields, every other type in the low bytes (little-endian).
TW_UINT32 toField(TW_UINT16 type, std::int64_t number) {
  if (type != TWTY_FIX32) return static_cast<TW_UINT32>(number);
  TW_FIX32 f = fix32FromRaw(static_cast<std::int32_t>(number));
  TW_UINT32 field;
  std::memcpy(&field, &f, sizeof field);
  return field;
}

Item numericItem(TW_UINT16 type, std::int64_t number) {
  Item item;
  item.number = number;
  item.bytes.resize(itemSize(type));
  TW_UINT32 field = toField(type, number);
  std::memcpy(item.bytes.data(), &field, item.bytes.size());
  return item;
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  std::int64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool fitsType(TW_UINT16 type, std::int64_t v) {
  switch (type) {
    case TWTY_INT8: return v >= INT8_MIN && v <= INT8_MAX;
    case TWTY_UINT8: return v >= 0 && v <= UINT8_MAX;
    case TWTY_INT16: return v >= INT16_MIN && v <= INT16_MAX;
    case TWTY_UINT16: return v >= 0 && v <= UINT16_MAX;
    case TWTY_BOOL: return v == 0 || v == 1;
    case TWTY_INT32:
    case TWTY_FIX32: return v >= INT32_MIN && v <= INT32_MAX;
    case TWTY_UINT32: return v >= 0 && v <= UINT32_MAX;
    default: return false;
  }
}

std::optional<Item> parseItem(TW_UINT16 cap, TW_UINT16 type, std::string_view text) {
  text = trim(text);
  if (text.empty()) return std::nullopt;
  switch (type) {
    case TWTY_BOOL:
      if (equalNoCase(text, "TRUE")) return numericItem(type, 1);
      if (equalNoCase(text, "FALSE")) return numericItem(type, 0);
      break;
    case TWTY_FIX32: {
      auto f = parseFix32(text);
      if (!f) return std::nullopt;
      return numericItem(type, fix32Raw(*f));
    }
    case TWTY_FRAME: {
      // Four fixed-point numbers, left top right bottom, parted by blanks.
      TW_FRAME frame{};
      TW_FIX32* parts[] = {&frame.Left, &frame.Top, &frame.Right, &frame.Bottom};
      std::size_t n = 0;
      while (!text.empty()) {
        std::size_t at = text.find_first_of(" \t");
        if (n == 4) return std::nullopt;
        auto f = parseFix32(text.substr(0, at));
        if (!f) return std::nullopt;
        *parts[n++] = *f;
        text = trim(at == std::string_view::npos ? std::string_view() : text.substr(at));
      }
      if (n != 4) return std::nullopt;
      Item item;
      item.bytes.resize(sizeof frame);
      std::memcpy(item.bytes.data(), &frame, sizeof frame);
      return item;
    }
    case TWTY_STR32:
    case TWTY_STR64:
    case TWTY_STR128:
    case TWTY_STR255: {
      Item item;
      item.bytes.assign(itemSize(type), 0);
      if (text.size() > textRoom(type)) return std::nullopt;
      std::memcpy(item.bytes.data(), text.data(), text.size());
      return item;
    }
    default: break;
  }
  if (!isNumeric(type)) return std::nullopt;
  if (auto [names, count] = namesOf(cap); names != nullptr) {
    unsigned char first = static_cast<unsigned char>(text.front());
    if (std::isalpha(first) || first == '_') {
      std::int64_t value = kUnknownName;
      for (std::size_t i = 0; i < count; ++i)
        if (equalNoCase(names[i].name, text)) value = names[i].value;
      return fitsType(type, value) ? std::optional(numericItem(type, value)) : std::nullopt;
    }
  }
  auto value = parseInteger(text);
  if (!value || !fitsType(type, *value)) return std::nullopt;
  return numericItem(type, *value);
}

template <typename T>
std::string decimal(const std::uint8_t* bytes) {
  T v;
  std::memcpy(&v, bytes, sizeof v);
  return std::to_string(+v);
}

// The text an item is written back with.
std::optional<std::string> formatItem(TW_UINT16 type, const std::uint8_t* bytes) {
  switch (type) {
    case TWTY_BOOL: {
      TW_UINT16 v;
      std::memcpy(&v, bytes, 2);
      return std::string(v != 0 ? "TRUE" : "FALSE");
    }
    case TWTY_FIX32: {
      TW_FIX32 f;
      std::memcpy(&f, bytes, 4);
      return formatFix32(f);
    }
    case TWTY_FRAME: {
      TW_FRAME frame;
      std::memcpy(&frame, bytes, sizeof frame);
      return formatFix32(frame.Left) + " " + formatFix32(frame.Top) + " " + formatFix32(frame.Right) + " " +
             formatFix32(frame.Bottom);
    }
    case TWTY_STR32:
    case TWTY_STR64:
    case TWTY_STR128:
    case TWTY_STR255: {
      const auto* chars = reinterpret_cast<const char*>(bytes);
      std::string text(chars, strnlen(chars, itemSize(type)));
      if (text.size() > textRoom(type)) return std::nullopt;
      // Texts that the file's list syntax or its lines cannot hold are refused.
      if (text.find_first_of(",[]\r\n") != std::string::npos || trim(text) != text || text.empty() ||
          text.find("_to_") != std::string::npos)
        return std::nullopt;
      return text;
    }
    case TWTY_INT8: return decimal<std::int8_t>(bytes);
    case TWTY_UINT8: return decimal<std::uint8_t>(bytes);
    case TWTY_INT16: return decimal<std::int16_t>(bytes);
    case TWTY_UINT16: return decimal<std::uint16_t>(bytes);
    case TWTY_INT32: return decimal<std::int32_t>(bytes);
    case TWTY_UINT32: return decimal<std::uint32_t>(bytes);
    default: return std::nullopt;
  }
}

// A range's number as the item it would be: TW_RANGE holds every type in 32 bits.
std::int64_t rangeNumber(TW_UINT16 type, TW_UINT32 raw) {
  switch (type) {
    case TWTY_INT8: return static_cast<std::int8_t>(raw);
    case TWTY_INT16: return static_cast<std::int16_t>(raw);
    case TWTY_INT32: return static_cast<std::int32_t>(raw);
    case TWTY_FIX32: {
      TW_FIX32 f;
      std::memcpy(&f, &raw, sizeof f);
      return fix32Raw(f);
    }
    case TWTY_UINT8: return static_cast<std::uint8_t>(raw);
    case TWTY_UINT16:
    case TWTY_BOOL: return static_cast<std::uint16_t>(raw);
    default: return raw;
  }
}

std::string formatNumber(TW_UINT16 type, std::int64_t number) {
  if (type == TWTY_FIX32) return formatFix32(fix32FromRaw(static_cast<std::int32_t>(number)));
  return std::to_string(number);
}

// A value text in one of its four forms.
struct ValueText {
  TW_UINT16 form = TWON_ONEVALUE;
  std::vector<std::string_view> items;  // for a range: minimum, maximum, step
};

std::optional<ValueText> parseValueText(std::string_view text) {
  ValueText v;
  text = trim(text);
  if (std::size_t to = text.find("_to_"); to != std::string_view::npos) {
    std::string_view rest = text.substr(to + 4);
    std::size_t comma = rest.rfind(',');
    if (comma == std::string_view::npos) return std::nullopt;
    v.form = TWON_RANGE;
    v.items = {trim(text.substr(0, to)), trim(rest.substr(0, comma)), trim(rest.substr(comma + 1))};
    return v;
  }
  if (!text.empty() && text.front() == '[') {
    if (text.size() < 2 || text.back() != ']') return std::nullopt;
    v.form = TWON_ARRAY;
    v.items = splitList(text.substr(1, text.size() - 2), ',');
    return v;
  }
  v.items = splitList(text, ',');
  v.form = v.items.size() > 1 ? TWON_ENUMERATION : TWON_ONEVALUE;
  return v;
}

struct Range {
  std::int64_t min = 0, max = 0, step = 0;
};

std::optional<Range> parseRange(TW_UINT16 cap, TW_UINT16 type, const ValueText& v) {
  if (v.form != TWON_RANGE || !isNumeric(type)) return std::nullopt;
  auto min = parseItem(cap, type, v.items[0]);
  auto max = parseItem(cap, type, v.items[1]);
  auto step = parseItem(cap, type, v.items[2]);
  if (!min || !max || !step || min->number > max->number || step->number < 0) return std::nullopt;
  return Range{min->number, max->number, step->number};
}

// A step of 0 lets every value between the bounds through.
bool inRange(const Range& r, std::int64_t v) {
  return v >= r.min && v <= r.max && (r.step == 0 || (v - r.min) % r.step == 0);
}

std::optional<std::vector<Item>> parseItems(TW_UINT16 cap, TW_UINT16 type, const ValueText& v) {
  if (v.form == TWON_RANGE) return std::nullopt;
  std::vector<Item> items;
  for (std::string_view text : v.items) {
    auto item = parseItem(cap, type, text);
    if (!item) return std::nullopt;
    items.push_back(std::move(*item));
  }
  return items;
}

// The one section of a request, read once per request.
struct Section {
  const IniFile& ini;
  const char* name;
  std::optional<std::string> get(const char* key) const { return ini.value(name, key); }
};

// Container key: one type, or a list of them (then the value text decides).
struct ContainerKey {
  bool refused = true;
  std::vector<TW_UINT16> types;
};

ContainerKey parseContainerKey(const std::optional<std::string>& text) {
  ContainerKey key;
  if (!text || trim(*text) == "TWCC_BADCAP") return key;
  for (std::string_view part : splitList(*text, ',')) {
    auto type = lookUp(kContainers, part);
    if (!type) return key;
    key.types.push_back(*type);
  }
  key.refused = key.types.empty();
  return key;
}

// The answer, built in plain memory first; the caller puts it in a handle.
struct Built {
  TW_UINT16 cc = TWCC_SUCCESS;
  TW_UINT16 conType = 0;
  std::vector<std::uint8_t> bytes;
};

Built failed(TW_UINT16 cc) {
  Built b;
  b.cc = cc;
  return b;
}

template <typename T>
void put(std::vector<std::uint8_t>& out, std::size_t at, const T& value) {
  std::memcpy(out.data() + at, &value, sizeof value);
}

std::optional<Item> singleItem(TW_UINT16 cap, TW_UINT16 type, const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  auto v = parseValueText(*text);
  if (!v || v->form != TWON_ONEVALUE) return std::nullopt;
  return parseItem(cap, type, v->items[0]);
}

std::optional<std::int64_t> singleNumber(TW_UINT16 cap, TW_UINT16 type, const std::optional<std::string>& text) {
  auto item = singleItem(cap, type, text);
  return item ? std::optional(item->number) : std::nullopt;
}

// Steps 1 to 5 of an answer: the container named by containerKey over the text of valueKey.
Built build(const Section& s, TW_UINT16 cap, TW_UINT16 type, const char* containerKey, const char* valueKey) {
  ContainerKey key = parseContainerKey(s.get(containerKey));
  std::optional<std::string> valueText = s.get(valueKey);
  if (key.refused || !valueText) return failed(TWCC_BADCAP);
  auto v = parseValueText(*valueText);
  if (!v) return failed(TWCC_BADCAP);
  TW_UINT16 conType = key.types.size() == 1 ? key.types[0] : v->form;

  Built b;
  b.conType = conType;
  const std::size_t width = itemSize(type);
  switch (conType) {
    case TWON_ONEVALUE: {
      auto items = parseItems(cap, type, *v);
      if (!items || items->size() != 1) return failed(TWCC_BADCAP);
      b.bytes.assign(offsetof(TW_ONEVALUE, Item) + std::max<std::size_t>(width, sizeof(TW_UINT32)), 0);
      put(b.bytes, 0, type);
      std::memcpy(b.bytes.data() + offsetof(TW_ONEVALUE, Item), (*items)[0].bytes.data(), width);
      return b;
    }
    case TWON_ENUMERATION:
    case TWON_ARRAY: {
      auto items = parseItems(cap, type, *v);
      if (!items) return failed(TWCC_BADCAP);
      const std::size_t head = conType == TWON_ARRAY ? offsetof(TW_ARRAY, ItemList) : offsetof(TW_ENUMERATION, ItemList);
      b.bytes.assign(std::max(head + items->size() * width, conType == TWON_ARRAY ? sizeof(TW_ARRAY) : sizeof(TW_ENUMERATION)), 0);
      put(b.bytes, 0, type);
      put(b.bytes, 2, static_cast<TW_UINT32>(items->size()));
      for (std::size_t i = 0; i < items->size(); ++i)
        std::memcpy(b.bytes.data() + head + i * width, (*items)[i].bytes.data(), width);
      if (conType == TWON_ENUMERATION) {
        // Indices are found item by item, so "30" is not taken for "300".
        auto indexOf = [&](const char* k) -> TW_UINT32 {
          auto item = singleItem(cap, type, s.get(k));
          if (!item) return 0;
          for (std::size_t i = 0; i < items->size(); ++i)
            if (sameItem((*items)[i], *item)) return static_cast<TW_UINT32>(i);
          return 0;
        };
        put(b.bytes, offsetof(TW_ENUMERATION, CurrentIndex), indexOf("Current"));
        put(b.bytes, offsetof(TW_ENUMERATION, DefaultIndex), indexOf("Default"));
      }
      return b;
    }
    case TWON_RANGE: {
      auto range = parseRange(cap, type, *v);
      if (!range) return failed(TWCC_BADCAP);
      TW_RANGE r{};
      r.ItemType = type;
      r.MinValue = toField(type, range->min);
      r.MaxValue = toField(type, range->max);
      r.StepSize = toField(type, range->step);
      // Current and default come from their keys when these hold one value.
      r.CurrentValue = toField(type, singleNumber(cap, type, s.get("Current")).value_or(0));
      r.DefaultValue = toField(type, singleNumber(cap, type, s.get("Default")).value_or(0));
      b.bytes.resize(sizeof r);
      std::memcpy(b.bytes.data(), &r, sizeof r);
      return b;
    }
    default: return failed(TWCC_BADCAP);
  }
}

// The caller's container for MSG_SET. Its block tells no size: the container
// holds what its own header says it holds, and is read no further.
struct Incoming {
  const std::uint8_t* bytes = nullptr;
  std::size_t size = 0;
};

// Lists longer than this are taken for a damaged header, not read.
constexpr TW_UINT32 kMostItems = 1u << 16;

// The bytes a container of this type holds by its header, 0 when it cannot be
// one; the header's own fields are read only once known to be there.
std::size_t heldSize(TW_UINT16 conType, TW_UINT16 type, const std::uint8_t* bytes) {
  const std::size_t width = itemSize(type);
  if (width == 0) return 0;
  switch (conType) {
    case TWON_ONEVALUE: return offsetof(TW_ONEVALUE, Item) + width;
    case TWON_RANGE: return sizeof(TW_RANGE);
    case TWON_ENUMERATION:
    case TWON_ARRAY: {
      TW_UINT32 count;
      std::memcpy(&count, bytes + offsetof(TW_ARRAY, NumItems), sizeof count);
      if (count > kMostItems) return 0;
      const std::size_t head = conType == TWON_ARRAY ? offsetof(TW_ARRAY, ItemList) : offsetof(TW_ENUMERATION, ItemList);
      return head + std::size_t{count} * width;
    }
    default: return 0;
  }
}

bool holds(const Incoming& in, std::size_t head, std::size_t count, std::size_t width) {
  if (width != 0 && count > (in.size - std::min(in.size, head)) / width) return false;
  return in.size >= head;
}

// Writes the caller's container back as text; returns the key written, or a condition code.
struct Written {
  TW_UINT16 cc = TWCC_SUCCESS;
  const char* key = nullptr;
};

Written writeBack(const std::filesystem::path& file, const Section& s, TW_UINT16 cap, TW_UINT16 type,
                  TW_UINT16 conType, const Incoming& in) {
  const std::size_t width = itemSize(type);
  TW_UINT16 itemType;
  if (in.size < sizeof itemType) return {TWCC_BADVALUE};
  std::memcpy(&itemType, in.bytes, sizeof itemType);
  if (itemType != type) return {TWCC_BADVALUE};
  auto write = [&](const char* key, const std::string& value) {
    return platform::ini::writeString(file, s.name, key, value);
  };

  switch (conType) {
    case TWON_ONEVALUE: {
      if (!holds(in, offsetof(TW_ONEVALUE, Item), 1, width)) return {TWCC_BADVALUE};
      const std::uint8_t* bytes = in.bytes + offsetof(TW_ONEVALUE, Item);
      auto text = formatItem(type, bytes);
      if (!text) return {TWCC_BADVALUE};
      auto item = parseItem(cap, type, *text);
      if (!item) return {TWCC_BADVALUE};
      std::string written = *text;
      std::optional<std::string> allowed = s.get("Allowed");
      if (type != TWTY_FIX32 && allowed) {
        auto v = parseValueText(*allowed);
        if (!v) return {TWCC_BADVALUE};
        if (v->form == TWON_RANGE) {
          auto range = parseRange(cap, type, *v);
          if (!range || !inRange(*range, item->number)) return {TWCC_BADVALUE};
        } else {
          auto it = std::find_if(v->items.begin(), v->items.end(), [&](std::string_view t) {
            auto listed = parseItem(cap, type, t);
            return listed && sameItem(*listed, *item);
          });
          if (it == v->items.end()) return {TWCC_BADVALUE};
          written = std::string(*it);
        }
      }
      if (!write("Current", written)) return {TWCC_OPERATIONERROR};
      return {TWCC_SUCCESS, "Current"};
    }
    case TWON_RANGE: {
      if (!isNumeric(type) || !holds(in, sizeof(TW_RANGE), 0, 0)) return {TWCC_BADVALUE};
      TW_RANGE r;
      std::memcpy(&r, in.bytes, sizeof r);
      std::int64_t min = rangeNumber(type, r.MinValue), max = rangeNumber(type, r.MaxValue),
                   step = rangeNumber(type, r.StepSize);
      if (min > max || step < 0) return {TWCC_BADVALUE};
      std::string allowed = formatNumber(type, min) + "_to_" + formatNumber(type, max) + "," + formatNumber(type, step);
      if (!write("Allowed", allowed) || !write("Default", formatNumber(type, rangeNumber(type, r.DefaultValue))) ||
          !write("Current", formatNumber(type, rangeNumber(type, r.CurrentValue))))
        return {TWCC_OPERATIONERROR};
      return {TWCC_SUCCESS, "Allowed"};
    }
    case TWON_ENUMERATION:
    case TWON_ARRAY: {
      const std::size_t head = conType == TWON_ARRAY ? offsetof(TW_ARRAY, ItemList) : offsetof(TW_ENUMERATION, ItemList);
      if (in.size < head) return {TWCC_BADVALUE};
      TW_UINT32 count;
      std::memcpy(&count, in.bytes + 2, sizeof count);
      if (count == 0 || !holds(in, head, count, width)) return {TWCC_BADVALUE};
      std::string list;
      for (TW_UINT32 i = 0; i < count; ++i) {
        auto text = formatItem(type, in.bytes + head + i * width);
        if (!text) return {TWCC_BADVALUE};
        if (i != 0) list += ',';
        list += *text;
      }
      if (conType == TWON_ARRAY) list = "[" + list + "]";
      if (!write("Allowed", list)) return {TWCC_OPERATIONERROR};
      return {TWCC_SUCCESS, "Allowed"};
    }
    default: return {TWCC_BADVALUE};
  }
}

// Hands a built answer over in a new handle.
TW_UINT16 handOver(const Built& b, TW_CAPABILITY& cap, const Memory& memory) {
  TW_HANDLE h = memory.allocate(b.bytes.size());
  void* p = memory.lock(h);
  if (p == nullptr) {
    memory.free(h);
    return TWCC_LOWMEMORY;
  }
  std::memcpy(p, b.bytes.data(), b.bytes.size());
  memory.unlock(h);
  cap.ConType = b.conType;
  cap.hContainer = h;
  return TWCC_SUCCESS;
}

}  // namespace

TW_UINT16 CapabilityDatabase::answer(TW_UINT16 msg, TW_CAPABILITY& cap, const Memory& memory) const {
  const char* name = capName(cap.Cap);
  if (name == nullptr) return TWCC_BADCAP;
  IniFile ini = IniFile::load(file_);
  Section s{ini, name};
  auto typeText = s.get("Type");
  if (!typeText) return TWCC_BADCAP;
  auto type = lookUp(kItemTypes, trim(*typeText));
  if (!type) return TWCC_BADCAP;

  switch (msg) {
    case MSG_GET: {
      auto get = s.get("Get");
      bool one = get && trim(*get) == "TWON_ONEVALUE";
      Built b = build(s, cap.Cap, *type, "Get", one ? "Current" : "Allowed");
      return b.cc != TWCC_SUCCESS ? b.cc : handOver(b, cap, memory);
    }
    case MSG_GETCURRENT: {
      Built b = build(s, cap.Cap, *type, "GetCurrent", "Current");
      return b.cc != TWCC_SUCCESS ? b.cc : handOver(b, cap, memory);
    }
    case MSG_GETDEFAULT: {
      Built b = build(s, cap.Cap, *type, "GetDefault", "Default");
      return b.cc != TWCC_SUCCESS ? b.cc : handOver(b, cap, memory);
    }
    case MSG_SET: {
      ContainerKey accepted = parseContainerKey(s.get("Set"));
      if (accepted.refused) return TWCC_BADCAP;
      if (std::find(accepted.types.begin(), accepted.types.end(), cap.ConType) == accepted.types.end())
        return TWCC_BADVALUE;
      // Every container type starts with its item type and, for lists, the count.
      const auto* bytes = static_cast<std::uint8_t*>(memory.lock(cap.hContainer));
      if (bytes == nullptr) return TWCC_BADVALUE;
      TW_UINT16 itemType;
      std::memcpy(&itemType, bytes, sizeof itemType);
      const std::size_t held = itemType == *type ? heldSize(cap.ConType, *type, bytes) : 0;
      memory.unlock(cap.hContainer);
      if (held == 0) return TWCC_BADVALUE;
      Incoming in{static_cast<const std::uint8_t*>(memory.lock(cap.hContainer)), held};
      Written w = writeBack(file_, s, cap.Cap, *type, cap.ConType, in);
      memory.unlock(cap.hContainer);
      if (w.cc != TWCC_SUCCESS) return w.cc;
      IniFile after = IniFile::load(file_);
      Built b = build(Section{after, name}, cap.Cap, *type, "Set", w.key);
      if (b.cc != TWCC_SUCCESS) return b.cc;
      // The caller owns its container: it is refilled only when the answer
      // fits in what the container held.
      const std::size_t answer = b.conType == cap.ConType ? heldSize(b.conType, *type, b.bytes.data()) : 0;
      if (answer != 0 && answer <= held && answer <= b.bytes.size()) {
        if (auto* out = static_cast<std::uint8_t*>(memory.lock(cap.hContainer)); out != nullptr) {
          std::memcpy(out, b.bytes.data(), answer);
          memory.unlock(cap.hContainer);
        }
      }
      return TWCC_SUCCESS;
    }
    case MSG_RESET: {
      if (parseContainerKey(s.get("Reset")).refused) return TWCC_BADCAP;
      auto powerOn = s.get("PowerON");
      auto def = s.get("Default");
      if (powerOn && !platform::ini::writeString(file_, name, "Allowed", *powerOn)) return TWCC_OPERATIONERROR;
      if (def && !platform::ini::writeString(file_, name, "Current", *def)) return TWCC_OPERATIONERROR;
      IniFile after = IniFile::load(file_);
      Built b = build(Section{after, name}, cap.Cap, *type, "Reset", "Current");
      return b.cc != TWCC_SUCCESS ? b.cc : handOver(b, cap, memory);
    }
    default: return TWCC_BADPROTOCOL;
  }
}

TW_SETUPMEMXFER CapabilityDatabase::setupMemXfer() const {
  IniFile ini = IniFile::load(file_);
  auto read = [&](const char* key) { return static_cast<TW_UINT32>(std::max(0, ini.getInt("Setup Memory Transfer", key, 0))); };
  TW_SETUPMEMXFER s;
  s.MinBufSize = read("Min");
  s.MaxBufSize = read("Max");
  s.Preferred = read("Preferred");
  return s;
}

std::optional<TW_UINT32> CapabilityDatabase::currentValue(TW_UINT16 cap) const {
  const char* name = capName(cap);
  if (name == nullptr) return std::nullopt;
  IniFile ini = IniFile::load(file_);
  auto typeText = ini.value(name, "Type");
  auto type = typeText ? lookUp(kItemTypes, trim(*typeText)) : std::nullopt;
  if (!type || !isNumeric(*type)) return std::nullopt;
  auto number = singleNumber(cap, *type, ini.value(name, "Current"));
  if (!number) return std::nullopt;
  return static_cast<TW_UINT32>(*number);
}

}  // namespace twain
