// The data dictionary: one constant row per tag, searched linearly.
#pragma once

#include <cstdint>
#include <span>

struct DicomDictEntry {
  uint32_t group;
  uint32_t element;
  const char* name;
  const char* vr;  // one VR, alternatives split by '\', or two blanks for the item tags
  const char* vm;
};

namespace dicom {

struct DictResult {
  char vr[3];
  const char* name;
};

std::span<const DicomDictEntry> dictionaryTable();
// VR and name for a new element: private groups first, then the repeaters,
// then the table; "UN" "Unknown" when not found.
DictResult lookupElement(uint32_t group, uint32_t element);
// The VR alone, as the implicit-VR reader wants it (no private-group rule).
DictResult lookupVr(uint32_t group, uint32_t element);

}  // namespace dicom
