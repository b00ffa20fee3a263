// One text line per element, handed to the caller's callback.
#include <cstdio>
#include <cstring>
#include <string>

#include "dicom/internal/object.h"
#include "dicom/internal/vr.h"
#include "dicom/internal/words.h"

namespace dicom {
namespace {

constexpr size_t kMaxValueText = 296;
constexpr unsigned kMaxNumbers = 10;

void appendf(std::string& out, const char* format, auto... args) {
  char piece[64];
  int n = std::snprintf(piece, sizeof piece, format, args...);
  if (n > 0) out.append(piece, std::min<size_t>(static_cast<size_t>(n), sizeof piece - 1));
}

// Up to ten numbers; with more, the tenth place says "... ".
template <typename Print>
void appendNumbers(std::string& out, uint32_t available, Print print) {
  for (uint32_t i = 0; i < available && i < kMaxNumbers; ++i) {
    if (i == kMaxNumbers - 1 && available > kMaxNumbers) {
      out += "... ";
      break;
    }
    print(i);
  }
}

// The bytes of a fragment list as one run, for the short hex forms.
std::string fragmentBytes(const DicomElement& e) {
  std::string bytes;
  for (const DicomFragment& f : e.fragments)
    if (f.bytes) bytes.append(reinterpret_cast<const char*>(f.bytes.get()), f.length);
  return bytes;
}

std::string valueText(const DicomElement& e) {
  std::string text;
  const char* vr = e.vr;
  std::string joined;
  const uint8_t* bytes = e.value();
  uint32_t length = e.length;
  if (e.valueClass == kDicomFragments) {
    joined = fragmentBytes(e);
    bytes = reinterpret_cast<const uint8_t*>(joined.data());
    length = static_cast<uint32_t>(joined.size());
  }
  if (vrIs(vr, "SQ")) {
    if (!e.isSequence()) text = "---";
  } else if (e.isSequence()) {
    // A sequence made on an element whose VR was something else.
  } else if (vrIs(vr, "SS") || vrIs(vr, "US")) {
    appendNumbers(text, length / 2, [&](uint32_t i) {
      unsigned v = le16(bytes + 2 * i);
      appendf(text, "%d(%XH) ", static_cast<int>(v), v);
    });
  } else if (vrIs(vr, "SL") || vrIs(vr, "UL")) {
    appendNumbers(text, length / 4, [&](uint32_t i) {
      appendf(text, "%d ", static_cast<int>(static_cast<int32_t>(le32(bytes + 4 * i))));
    });
  } else if (vrIs(vr, "AT")) {
    if (length >= 4) appendf(text, "%04X,%04X", le16(bytes), le16(bytes + 2));
  } else if (vrIs(vr, "OB")) {
    if (length >= 16) text = "###";
    else
      for (uint32_t i = 0; i < length; ++i) appendf(text, "%02X ", bytes[i]);
  } else if (vrIs(vr, "OW")) {
    if (length >= 16) text = "###";
    else
      for (uint32_t i = 0; i + 2 <= length; i += 2) appendf(text, "%04X ", le16(bytes + i));
  } else if (vrIs(vr, "FD") || vrIs(vr, "FL") || vrIs(vr, "UN")) {
    text = "---";
  } else {
    const char* s = reinterpret_cast<const char*>(bytes);
    text.assign(s, strnlen(s, std::min<uint32_t>(length, 64)));
  }
  if (text.size() > kMaxValueText) text.resize(kMaxValueText);
  return text;
}

void dumpObject(const DicomObject* object, DicomDumpProc proc, uint32_t context) {
  for (const DicomGroup* g = object->groups; g; g = g->next) {
    for (const DicomElement* e = g->elements; e; e = e->next) {
      if (proc) {
        std::string value = valueText(*e);
        char line[1024];
        std::snprintf(line, sizeof line, "%04X,%04X : [%s] %-64s // %s", e->group, e->element,
                      e->vr, value.c_str(), e->name ? e->name : "Unknown");
        proc(context, line);
      }
      if (e->isSequence())
        for (const DicomObject* item : e->items) dumpObject(item, proc, context);
    }
  }
}

}  // namespace
}  // namespace dicom

extern "C" void DumpDicomObject(DicomObject* handle, DicomDumpProc proc, uint32_t context) {
  if (!dicom::isValid(handle)) return;
  try {
    dicom::dumpObject(handle, proc, context);
  } catch (...) {
    // Out of memory for a line: the dump ends early.
  }
}
