// Test side: the elements of one of our implicit little-endian headers, and a
// check of every group length, read without our writer's help.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ombrel::testing {

struct Element {
  std::size_t offset;  // of the tag
  std::string value;
};

inline std::uint32_t le(const std::uint8_t* p, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// Tags as gggg'eeee; stops at `end` or at an element running past the data.
inline std::map<std::uint32_t, Element> walk(const std::vector<std::uint8_t>& data, std::size_t end) {
  std::map<std::uint32_t, Element> out;
  std::size_t at = 0;
  while (at + 8 <= end && at + 8 <= data.size()) {
    const std::uint32_t tag = (le(&data[at], 2) << 16) | le(&data[at + 2], 2);
    const std::uint32_t length = le(&data[at + 4], 4);
    if (at + 8 + length > data.size()) break;
    out[tag] = Element{at, std::string(reinterpret_cast<const char*>(&data[at + 8]), length)};
    at += 8 + length;
  }
  return out;
}

inline std::uint16_t us(const Element& e) { return std::uint16_t(le(reinterpret_cast<const std::uint8_t*>(e.value.data()), 2)); }

// Every (gggg,0000) holds the byte count of its group's other elements.
inline bool groupLengthsHold(const std::map<std::uint32_t, Element>& elements) {
  for (auto it = elements.begin(); it != elements.end(); ++it) {
    if ((it->first & 0xFFFF) != 0) continue;
    const std::uint32_t group = it->first >> 16;
    std::size_t last = it->second.offset + 12;
    for (auto e = std::next(it); e != elements.end() && (e->first >> 16) == group; ++e)
      last = e->second.offset + 8 + e->second.value.size();
    const std::uint32_t stated = le(reinterpret_cast<const std::uint8_t*>(it->second.value.data()), 4);
    if (stated != last - (it->second.offset + 12)) return false;
  }
  return true;
}

}  // namespace ombrel::testing
