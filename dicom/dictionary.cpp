#include "dicom/internal/dictionary.h"

namespace dicom {
namespace {

constexpr DicomDictEntry kTable[] = {
#include "dicom/internal/dictionary_table.inc"
};

// 50xx and 60xx stand once under 5000 and 6000, (0020,31xx) once as (0020,3100).
void foldRepeaters(uint32_t& group, uint32_t& element) {
  uint32_t high = group & 0xFF00;
  if (high == 0x5000 || high == 0x6000) group = high;
  if (group == 0x0020 && (element & 0xFF00) == 0x3100) element = 0x3100;
}

DictResult search(uint32_t group, uint32_t element) {
  foldRepeaters(group, element);
  for (const DicomDictEntry& row : kTable) {
    if (row.group == group && row.element == element) {
      DictResult result{{row.vr[0], row.vr[0] ? row.vr[1] : '\0', '\0'}, row.name};
      return result;
    }
  }
  return DictResult{{'U', 'N', '\0'}, "Unknown"};
}

}  // namespace

std::span<const DicomDictEntry> dictionaryTable() { return kTable; }

DictResult lookupElement(uint32_t group, uint32_t element) {
  if (group & 1) {
    if (element < 0x0100) return DictResult{{'L', 'O', '\0'}, "Private Identification Code"};
    return DictResult{{'U', 'N', '\0'}, "Unknown"};
  }
  return search(group, element);
}

DictResult lookupVr(uint32_t group, uint32_t element) { return search(group, element); }

}  // namespace dicom
