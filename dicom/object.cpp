// Objects, groups, elements and the entry points that fill and query them.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "dicom/internal/dictionary.h"
#include "dicom/internal/guarded.h"
#include "dicom/internal/object.h"
#include "dicom/internal/vr.h"

namespace dicom {

const char* const kSignature = "Korva DICOM Object";

namespace {

std::atomic<unsigned> gGroupLength{1};
std::atomic<unsigned> gJisConversion{1};

// Unlinks and frees a chain of elements without recursion on the chain.
void freeElements(DicomElement* element) {
  while (element) {
    DicomElement* next = element->next;
    freeValue(element);
    delete element;
    element = next;
  }
}

}  // namespace

bool groupLengthSwitch() { return gGroupLength.load() != 0; }
bool jisConversionSwitch() { return gJisConversion.load() != 0; }

bool isValid(const DicomObject* object) { return object && object->signature == kSignature; }

DicomObject* newObject(bool nested) {
  DicomObject* object = new (std::nothrow) DicomObject;
  if (!object) return nullptr;
  try {
    object->name = "No Name";
  } catch (const std::bad_alloc&) {
    delete object;
    return nullptr;
  }
  object->signature = kSignature;
  object->nested = nested ? 1 : 0;
  return object;
}

void clearObject(DicomObject* object) {
  DicomGroup* group = object->groups;
  object->groups = nullptr;
  while (group) {
    DicomGroup* next = group->next;
    freeElements(group->elements);
    delete group;
    group = next;
  }
}

void freeObject(DicomObject* object) {
  if (!object) return;
  clearObject(object);
  object->signature = nullptr;
  delete object;
}

DicomTransferSyntax syntaxFromUid(std::string_view uid) {
  // Stored UIDs carry a NUL pad, some writers a blank.
  while (!uid.empty() && (uid.back() == '\0' || uid.back() == ' ')) uid.remove_suffix(1);
  if (uid == "1.2.840.10008.1.2.1") return kDicomExplicitLittle;
  if (uid == "1.2.840.10008.1.2.2") return kDicomExplicitBig;
  if (uid == "1.2.840.10008.1.2.5") return kDicomRle;
  constexpr std::string_view kJpegRoot = "1.2.840.10008.1.2.4.";
  if (uid.size() > kJpegRoot.size() && uid.substr(0, kJpegRoot.size()) == kJpegRoot) {
    uint32_t number = 0;
    for (char c : uid.substr(kJpegRoot.size())) {
      if (c < '0' || c > '9') break;
      number = std::min<uint32_t>(number * 10 + static_cast<uint32_t>(c - '0'), 100000);
    }
    switch (number) {
      case 57: case 58: case 65: case 66: case 70: return kDicomJpegLossless;
      case 90: return kDicomJpeg2000Lossless;
      case 91: return kDicomJpeg2000;
      default: return kDicomJpeg;
    }
  }
  return kDicomImplicitLittle;
}

const char* uidFromSyntax(uint32_t syntax) {
  switch (syntax) {
    case kDicomImplicitLittle: return "1.2.840.10008.1.2";
    case kDicomExplicitLittle: return "1.2.840.10008.1.2.1";
    case kDicomExplicitBig: return "1.2.840.10008.1.2.2";
    case kDicomRle: return "1.2.840.10008.1.2.5";
    case kDicomJpeg2000Lossless: return "1.2.840.10008.1.2.4.90";
    case kDicomJpeg2000: return "1.2.840.10008.1.2.4.91";
    default: return nullptr;  // each JPEG code stands for several processes
  }
}

bool isCompressed(uint32_t syntax) { return syntax >= kDicomJpegLossless && syntax <= kDicomJpeg2000; }

DicomValueClass classFromVr(const char* vr) {
  static const char* const kIntegers[] = {"SL", "SS", "UL", "US"};
  static const char* const kText[] = {"AE", "AS", "CS", "DA", "DS", "DT", "IS", "LO", "LT",
                                      "OB", "OW", "PN", "SH", "ST", "TM", "UI", "UT"};
  for (const char* v : kIntegers)
    if (vrIs(vr, v)) return kDicomIntegers;
  if (vrIs(vr, "AT")) return kDicomTag;
  for (const char* v : kText)
    if (vrIs(vr, v)) return kDicomText;
  return kDicomOpaque;
}

DicomGroup* findGroup(DicomObject* object, uint32_t group) {
  for (DicomGroup* g = object->groups; g && g->group <= group; g = g->next)
    if (g->group == group) return g;
  return nullptr;
}

DicomElement* findElement(DicomObject* object, uint32_t group, uint32_t element) {
  DicomGroup* g = findGroup(object, group);
  if (!g) return nullptr;
  for (DicomElement* e = g->elements; e && e->element <= element; e = e->next)
    if (e->element == element) return e;
  return nullptr;
}

const DicomElement* findElement(const DicomObject* object, uint32_t group, uint32_t element) {
  return findElement(const_cast<DicomObject*>(object), group, element);
}

DicomElement* findOrCreateElement(DicomObject* object, uint32_t group, uint32_t element) {
  DicomGroup** link = &object->groups;
  while (*link && (*link)->group < group) link = &(*link)->next;
  if (!*link || (*link)->group != group) {
    DicomGroup* g = new DicomGroup;
    g->group = group;
    g->next = *link;
    *link = g;
  }
  DicomElement** at = &(*link)->elements;
  while (*at && (*at)->element < element) at = &(*at)->next;
  if (*at && (*at)->element == element) return *at;
  DicomElement* e = new DicomElement;
  DictResult dict = lookupElement(group, element);
  e->group = group;
  e->element = element;
  std::memcpy(e->vr, dict.vr, sizeof e->vr);
  e->valueClass = classFromVr(e->vr);
  e->name = dict.name;
  e->next = *at;
  *at = e;
  return e;
}

void freeValue(DicomElement* element) {
  element->heapValue.reset();
  element->length = 0;
  element->inlineValue[0] = 0;
  element->fragments.clear();
  std::vector<DicomObject*> items;
  items.swap(element->items);
  for (DicomObject* item : items) freeObject(item);
}

void storeValue(DicomElement* element, const char* vr, const uint8_t* bytes, uint32_t length) {
  // Allocate first so that a failure leaves the old value in place.
  Buffer heap;
  if (length >= DicomElement::kInlineSize) heap = Buffer::allocate(static_cast<size_t>(length) + 1);
  freeValue(element);
  element->keepBytes = false;  // a caller's value is Shift-JIS
  if (vr) {
    element->vr[0] = vr[0];
    element->vr[1] = vr[0] ? vr[1] : '\0';
    element->vr[2] = '\0';
  }
  element->valueClass = classFromVr(element->vr);
  element->heapValue = std::move(heap);
  uint8_t* target = element->value();
  if (!element->heapValue) std::memset(target, 0, DicomElement::kInlineSize);
  if (length) std::memcpy(target, bytes, length);
  target[length] = 0;
  element->length = length;
}

void makeFragmentList(DicomElement* element, const char* vr, uint32_t count) {
  std::vector<DicomFragment> fragments(count);
  freeValue(element);
  element->vr[0] = vr[0];
  element->vr[1] = vr[0] ? vr[1] : '\0';
  element->vr[2] = '\0';
  element->valueClass = kDicomFragments;
  element->fragments = std::move(fragments);
}

bool setFragment(DicomElement* element, uint32_t index, const uint8_t* bytes, uint32_t length) {
  if (element->valueClass != kDicomFragments || index >= element->fragments.size()) return false;
  if (element->fragments.size() == 1) {
    storeValue(element, nullptr, bytes, length);
    return true;
  }
  DicomFragment& fragment = element->fragments[index];
  if (!fragment.bytes || length > fragment.length)
    fragment.bytes = Buffer::allocate(static_cast<size_t>(length) + 1);
  if (length) std::memcpy(fragment.bytes.get(), bytes, length);
  fragment.bytes.get()[length] = 0;
  fragment.length = length;
  return true;
}

void makeSequence(DicomElement* element, DicomValueClass valueClass, uint32_t count) {
  std::vector<DicomObject*> items;
  items.reserve(count);
  try {
    for (uint32_t i = 0; i < count; ++i) {
      DicomObject* item = newObject(true);
      if (!item) throw std::bad_alloc();
      items.push_back(item);
    }
  } catch (...) {
    for (DicomObject* item : items) freeObject(item);
    throw;
  }
  freeValue(element);
  element->vr[0] = 'S';
  element->vr[1] = 'Q';
  element->vr[2] = '\0';
  element->valueClass = valueClass;
  element->items = std::move(items);
}

}  // namespace dicom

using namespace dicom;

namespace {

// The value number index of an element: a fragment, or the single value.
bool valueAt(const DicomElement* e, uint32_t index, const uint8_t** bytes, uint32_t* length) {
  if (e->valueClass == kDicomFragments) {
    if (index >= e->fragments.size()) return false;
    const DicomFragment& f = e->fragments[index];
    *bytes = f.bytes.get();
    *length = f.length;
    return true;
  }
  if (index != 0 || e->isSequence()) return false;
  *bytes = e->value();
  *length = e->length;
  return true;
}

}  // namespace

extern "C" {

unsigned CreateDicomObject(DicomObject** handle) {
  if (!handle) return 0;
  *handle = newObject(false);
  return *handle ? 1 : 0;
}

unsigned DeleteDicomObject(DicomObject* handle) {
  // An item belongs to its sequence element and goes with it.
  if (!isValid(handle) || handle->nested) return 0;
  freeObject(handle);
  return 1;
}

unsigned SetDicomFileMeta(DicomObject* handle, unsigned flag) {
  if (!isValid(handle)) return 0;
  handle->fileMeta = flag;
  return 1;
}

unsigned SetDicomObjectName(DicomObject* handle, const char* name) {
  if (!isValid(handle)) return 0;
  return guarded([&] {
    if (!name) {
      handle->name = "No Name";
    } else {
      handle->name.assign(name, strnlen(name, kMaxNameLength));
    }
    return 1u;
  });
}

unsigned SetDicomElement(DicomObject* handle, uint32_t group, uint32_t element, const char* vr,
                         const void* value, uint32_t length) {
  if (!isValid(handle)) return 0;
  if (element == 0) return 1;  // group lengths are the writer's
  if (!value && length) return 0;
  if (group > 0xFFFF || element > 0xFFFF) return 0;
  return guarded([&] {
    const uint8_t* bytes = static_cast<const uint8_t*>(value);
    if (group == 0x0002 && element == 0x0010)
      handle->transferSyntax =
          syntaxFromUid(std::string_view(reinterpret_cast<const char*>(bytes), length));
    DicomElement* e = findOrCreateElement(handle, group, element);
    storeValue(e, vr, bytes, length);
    return 1u;
  });
}

unsigned GetDicomElement(DicomObject* handle, uint32_t group, uint32_t element, uint32_t index,
                         void* buffer, uint32_t bufferSize) {
  if (!buffer) return 0;
  std::memset(buffer, 0, bufferSize);
  if (!isValid(handle)) return 0;
  const DicomElement* e = findElement(handle, group, element);
  const uint8_t* bytes = nullptr;
  uint32_t length = 0;
  if (!e || !valueAt(e, index, &bytes, &length) || bufferSize < length) return 0;
  if (length) std::memcpy(buffer, bytes, length);
  return 1;
}

unsigned GetDicomElementLength(DicomObject* handle, uint32_t group, uint32_t element,
                               uint32_t index, uint32_t* length) {
  if (!isValid(handle) || !length) return 0;
  const DicomElement* e = findElement(handle, group, element);
  const uint8_t* bytes = nullptr;
  if (!e || !valueAt(e, index, &bytes, length)) return 0;
  return 1;
}

unsigned GetDicomString(DicomObject* handle, uint32_t group, uint32_t element, uint32_t index,
                        char* buffer, uint32_t bufferSize) {
  if (!buffer || bufferSize == 0) return 0;
  buffer[0] = '\0';
  if (!isValid(handle)) return 0;
  const DicomElement* e = findElement(handle, group, element);
  const uint8_t* bytes = nullptr;
  uint32_t length = 0;
  if (!e || !valueAt(e, index, &bytes, &length)) return 0;
  if (static_cast<uint64_t>(length) + 1 > bufferSize) return 0;
  if (length) std::memcpy(buffer, bytes, length);
  buffer[length] = '\0';
  return 1;
}

unsigned GetDicomVR(DicomObject* handle, uint32_t group, uint32_t element, char* buffer) {
  if (!isValid(handle) || !buffer) return 0;
  const DicomElement* e = findElement(handle, group, element);
  if (!e) return 0;
  std::memcpy(buffer, e->vr, 3);
  return 1;
}

unsigned GetDicomItem(DicomObject* handle, uint32_t group, uint32_t element, uint32_t index,
                      DicomObject** item) {
  if (!item) return 0;
  *item = nullptr;
  if (!isValid(handle)) return 0;
  const DicomElement* e = findElement(handle, group, element);
  if (!e || !e->isSequence() || index >= e->items.size()) return 0;
  *item = e->items[index];
  return 1;
}

unsigned CreateDicomSequence(DicomObject* handle, uint32_t group, uint32_t element) {
  if (!isValid(handle) || group > 0xFFFF || element > 0xFFFF) return 0;
  return guarded([&] {
    makeSequence(findOrCreateElement(handle, group, element), kDicomOneItem, 1);
    return 1u;
  });
}

unsigned CreateDicomSequenceItems(DicomObject* handle, uint32_t group, uint32_t element,
                                  uint32_t count) {
  if (!isValid(handle) || group > 0xFFFF || element > 0xFFFF) return 0;
  return guarded([&] {
    makeSequence(findOrCreateElement(handle, group, element), kDicomItems, count);
    return 1u;
  });
}

unsigned RemoveDicomElement(DicomObject* handle, uint32_t group, uint32_t element) {
  if (!isValid(handle)) return 0;
  DicomGroup** glink = &handle->groups;
  while (*glink && (*glink)->group != group) glink = &(*glink)->next;
  if (!*glink) return 0;
  DicomElement** link = &(*glink)->elements;
  while (*link && (*link)->element != element) link = &(*link)->next;
  if (!*link) return 0;
  DicomElement* e = *link;
  *link = e->next;
  freeValue(e);
  delete e;
  if (!(*glink)->elements) {  // an empty group would still get a group length
    DicomGroup* g = *glink;
    *glink = g->next;
    delete g;
  }
  return 1;
}

unsigned IsDicomBigEndian(DicomObject* handle) {
  return isValid(handle) && handle->transferSyntax == kDicomExplicitBig;
}
unsigned IsDicomCompressed(DicomObject* handle) {
  return isValid(handle) && isCompressed(handle->transferSyntax);
}
unsigned IsDicomRLE(DicomObject* handle) {
  return isValid(handle) && handle->transferSyntax == kDicomRle;
}
unsigned IsDicomJPEG(DicomObject* handle) {
  return isValid(handle) &&
         (handle->transferSyntax == kDicomJpegLossless || handle->transferSyntax == kDicomJpeg);
}
unsigned IsDicomJPEG2000(DicomObject* handle) {
  return isValid(handle) && (handle->transferSyntax == kDicomJpeg2000Lossless ||
                             handle->transferSyntax == kDicomJpeg2000);
}

unsigned SetDicomGroupLength(unsigned flag) {
  gGroupLength.store(flag);
  return 1;
}

unsigned SetDicomJisConversion(unsigned flag) {
  gJisConversion.store(flag);
  return 1;
}

}  // extern "C"
