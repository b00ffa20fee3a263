// What the DICOM tests share: an owning handle, a byte builder for hand-made
// encodings and the dump as a list of lines.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "dicom/dicom.h"

namespace dicomtest {

// A new data set that passes as its handle.
class Object : public dicom::OwnedObject {
 public:
  Object() : dicom::OwnedObject(create()) {}
  operator DicomObject*() const { return get(); }
};

// Little-endian unless told otherwise.
class Bytes {
 public:
  Bytes& raw(const std::string& s) {
    data_ += s;
    return *this;
  }
  Bytes& u16(uint32_t v, bool big = false) {
    if (big) return raw({char(v >> 8), char(v)});
    return raw({char(v), char(v >> 8)});
  }
  Bytes& u32(uint32_t v, bool big = false) {
    if (big) return raw({char(v >> 24), char(v >> 16), char(v >> 8), char(v)});
    return raw({char(v), char(v >> 8), char(v >> 16), char(v >> 24)});
  }
  Bytes& tag(uint32_t g, uint32_t e, bool big = false) { return u16(g, big).u16(e, big); }
  // Explicit VR element with a short or long length form.
  Bytes& ex(uint32_t g, uint32_t e, const char* vr, const std::string& value, bool big = false) {
    tag(g, e, big).raw(vr);
    static const char* const kLong[] = {"OB", "OW", "SQ", "UN", "UT", "OF", "OD", "OL",
                                        "OV", "SV", "UC", "UR", "UV"};
    bool isLong = false;
    for (const char* l : kLong) isLong = isLong || std::strcmp(l, vr) == 0;
    if (isLong) u16(0).u32(static_cast<uint32_t>(value.size()), big);
    else u16(static_cast<uint32_t>(value.size()), big);
    return raw(value);
  }
  // Implicit VR element.
  Bytes& im(uint32_t g, uint32_t e, const std::string& value) {
    return tag(g, e).u32(static_cast<uint32_t>(value.size())).raw(value);
  }
  Bytes& preamble() { return raw(std::string(128, '\0')).raw("DICM"); }
  const std::string& str() const { return data_; }
  const uint8_t* data() const { return reinterpret_cast<const uint8_t*>(data_.data()); }
  uint32_t size() const { return static_cast<uint32_t>(data_.size()); }

 private:
  std::string data_;
};

inline std::vector<std::string> dumpLines(DicomObject* object) {
  std::vector<std::string> lines;
  // The context is 32 bits: the lines go through a process-wide slot.
  static std::vector<std::string>* target = nullptr;
  target = &lines;
  DumpDicomObject(object, [](uint32_t, const char* line) { target->push_back(line); }, 0);
  target = nullptr;
  return lines;
}

inline std::string getString(DicomObject* object, uint32_t g, uint32_t e, uint32_t index = 0) {
  uint32_t length = 0;
  if (!GetDicomElementLength(object, g, e, index, &length)) return "<absent>";
  std::string value(length, '\0');
  if (!GetDicomElement(object, g, e, index, value.data(), length)) return "<absent>";
  return value;
}

inline uint16_t getU16(DicomObject* object, uint32_t g, uint32_t e) {
  uint16_t v = 0;
  GetDicomElement(object, g, e, 0, &v, sizeof v);
  return v;
}

// Sets a text value without its terminator, as the callers do.
inline unsigned setText(DicomObject* object, uint32_t g, uint32_t e, const char* vr,
                        const std::string& text) {
  return SetDicomElement(object, g, e, vr, text.data(), static_cast<uint32_t>(text.size()));
}

inline unsigned setU16(DicomObject* object, uint32_t g, uint32_t e, uint16_t v) {
  return SetDicomElement(object, g, e, "US", &v, 2);
}

// The writer's bytes of the object (its size query first).
inline std::string encode(DicomObject* object) {
  size_t size = 0;
  if (!GetDicomWriteSize(object, &size)) return "<refused>";
  std::string out(size, '\0');
  size_t position = 0;
  if (!WriteDicomBufferSized(object, out.data(), out.size(), &position)) return "<refused>";
  out.resize(position);
  return out;
}

}  // namespace dicomtest
