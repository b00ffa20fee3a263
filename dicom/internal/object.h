// The in-memory model behind the handles, shared by the reader, the writer and
// the dump.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dicom/dicom.h"
#include "dicom/internal/buffer.h"

struct DicomElement;

struct DicomGroup {
  uint32_t group = 0;
  DicomGroup* next = nullptr;
  DicomElement* elements = nullptr;  // ascending element numbers
};

struct DicomFragment {
  uint32_t length = 0;
  dicom::Buffer bytes;  // length + 1 bytes, NUL-terminated
};

struct DicomElement {
  static constexpr uint32_t kInlineSize = 65;

  uint32_t group = 0;
  uint32_t element = 0;
  char vr[3] = {0, 0, 0};
  DicomValueClass valueClass = kDicomOpaque;
  uint32_t length = 0;  // of the single value (classes 0 to 3)
  uint8_t inlineValue[kInlineSize] = {};
  dicom::Buffer heapValue;  // values of kInlineSize bytes or more
  std::vector<DicomFragment> fragments;  // class 4
  std::vector<DicomObject*> items;       // classes 5 and 6, owned
  const char* name = nullptr;            // the dictionary's
  // Text read in a character set other than the Japanese ISO 2022 form: its
  // bytes are written back as they were read, never taken for Shift-JIS.
  bool keepBytes = false;
  DicomElement* next = nullptr;

  const uint8_t* value() const { return heapValue ? heapValue.get() : inlineValue; }
  uint8_t* value() { return heapValue ? heapValue.get() : inlineValue; }
  // 1 for a single value, else the number of fragments or items.
  uint32_t count() const {
    if (valueClass == kDicomFragments) return static_cast<uint32_t>(fragments.size());
    if (isSequence()) return static_cast<uint32_t>(items.size());
    return 1;
  }
  bool isSequence() const { return valueClass == kDicomOneItem || valueClass == kDicomItems; }
};

struct DicomObject {
  uint32_t transferSyntax = kDicomImplicitLittle;
  uint32_t fileMeta = 0;
  const char* signature = nullptr;
  DicomGroup* groups = nullptr;  // ascending group numbers
  uint32_t nested = 0;
  std::string name;
};

namespace dicom {

inline constexpr uint32_t kMaxNameLength = 300;

// The library's own signature; a handle is ours when it points at this text.
extern const char* const kSignature;

bool isValid(const DicomObject* object);
// The process-wide switches of the writer.
bool groupLengthSwitch();
bool jisConversionSwitch();
// A new object, or null when memory runs out.
DicomObject* newObject(bool nested);
// Frees an object with everything it holds.
void freeObject(DicomObject* object);
// Removes every group and element, keeping the object itself.
void clearObject(DicomObject* object);

DicomTransferSyntax syntaxFromUid(std::string_view uid);
// The one UID a code stands for; null for the JPEG codes, which name a family.
const char* uidFromSyntax(uint32_t syntax);
bool isCompressed(uint32_t syntax);
DicomValueClass classFromVr(const char* vr);

DicomGroup* findGroup(DicomObject* object, uint32_t group);
DicomElement* findElement(DicomObject* object, uint32_t group, uint32_t element);
const DicomElement* findElement(const DicomObject* object, uint32_t group, uint32_t element);
// Inserts in ascending order; a new element takes its VR and name from the
// dictionary. Throws std::bad_alloc.
DicomElement* findOrCreateElement(DicomObject* object, uint32_t group, uint32_t element);

// Frees whatever value the element holds.
void freeValue(DicomElement* element);
// Stores a single value (class from the VR; vr null keeps the element's).
// Throws std::bad_alloc.
void storeValue(DicomElement* element, const char* vr, const uint8_t* bytes, uint32_t length);
// Makes the element a fragment list of n empty fragments with the given VR.
void makeFragmentList(DicomElement* element, const char* vr, uint32_t count);
// Sets fragment i; a list of exactly one fragment becomes a single value.
bool setFragment(DicomElement* element, uint32_t index, const uint8_t* bytes, uint32_t length);
// Makes the element a sequence of count empty items (class 5 for one item made
// by CreateDicomSequence, else class 6). Throws std::bad_alloc.
void makeSequence(DicomElement* element, DicomValueClass valueClass, uint32_t count);

}  // namespace dicom
