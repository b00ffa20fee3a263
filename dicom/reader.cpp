// Reading Part-10 files and bare data sets into objects.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "dicom/internal/dictionary.h"
#include "dicom/internal/jis.h"
#include "dicom/internal/guarded.h"
#include "dicom/internal/object.h"
#include "dicom/internal/vr.h"
#include "dicom/internal/words.h"

namespace dicom {
namespace {

constexpr uint32_t kMaxGroup = 0x7FE0;
constexpr uint32_t kMaxGroupHeaderOnly = 0x7FDF;
constexpr uint32_t kMaxFragments = 32768;
constexpr int kMaxNesting = 32;
// Elements and items one parse may create: each costs at least 8 bytes of
// input but a few hundred of memory, so a hostile file is held to a budget.
constexpr uint32_t kMaxNodes = 1u << 21;
// A top-level value this large keeps the file's buffer instead of a copy.
constexpr uint32_t kAdoptFrom = 4u << 20;

constexpr uint32_t kItem = 0xFFFEE000;
constexpr uint32_t kItemDelimiter = 0xFFFEE00D;
constexpr uint32_t kSequenceDelimiter = 0xFFFEE0DD;
// The same tags read from a big-endian item.
constexpr uint32_t kItemSwapped = 0xFEFF00E0;
constexpr uint32_t kItemDelimiterSwapped = 0xFEFF0DE0;
constexpr uint32_t kSequenceDelimiterSwapped = 0xFEFFDDE0;

// A tag as two little-endian words, group high.
uint32_t tagLe(const uint8_t* p) { return static_cast<uint32_t>(le16(p)) << 16 | le16(p + 2); }

void swapWords(uint8_t* bytes, uint32_t length, unsigned width) {
  for (uint32_t i = 0; i + width <= length; i += width)
    for (unsigned a = 0, b = width - 1; a < b; ++a, --b) std::swap(bytes[i + a], bytes[i + b]);
}

// Word width of a big-endian value, 1 for byte strings.
unsigned swapWidth(const char* vr) {
  static const char* const k16[] = {"US", "SS", "OW", "AT"};
  static const char* const k32[] = {"UL", "SL", "FL", "OF", "OL"};
  static const char* const k64[] = {"FD", "OD", "SV", "UV", "OV"};
  for (const char* v : k16)
    if (vrIs(vr, v)) return 2;
  for (const char* v : k32)
    if (vrIs(vr, v)) return 4;
  for (const char* v : k64)
    if (vrIs(vr, v)) return 8;
  return 1;
}

enum class Step { Ok, Stop };

class Parser {
 public:
  // source, when given, holds data (with one spare byte) and may be given
  // away to the one large value that finish() hands it to.
  Parser(const uint8_t* data, size_t size, uint32_t maxGroup, Buffer* source = nullptr)
      : data_(data), size_(size), maxGroup_(maxGroup), source_(source) {}
  Parser(const Parser&) = delete;
  Parser& operator=(const Parser&) = delete;
  ~Parser() { finish(true); }

  // Gives the source buffer to the value waiting for it (keep), or forgets it.
  void finish(bool keep) {
    DicomElement* e = pending_;
    pending_ = nullptr;
    if (!e || !keep) return;
    freeValue(e);
    std::memcpy(e->vr, pendingVr_, sizeof e->vr);
    e->valueClass = classFromVr(e->vr);
    e->heapValue = Buffer::adopt(std::move(*source_), pendingOffset_);
    e->value()[pendingLength_] = 0;
    e->length = pendingLength_;
    if (pendingBig_) {
      unsigned width = swapWidth(e->vr);
      if (width > 1) swapWords(e->value(), e->length, width);
    }
  }

  bool lengthError() const { return lengthError_; }
  void clearError() { lengthError_ = false; }
  size_t pos = 0;

  // Reads elements of the syntax into object until end, a stop or an error.
  void readDataSet(DicomObject* object, size_t end, uint32_t syntax) {
    for (;;) {
      if (lengthError_) return;
      Step step;
      if (syntax == kDicomImplicitLittle) {
        if (end - pos < 8) return;
        step = readImplicit(object, end);
      } else {
        if (pos >= end) return;
        step = readExplicit(object, end, syntax);
      }
      if (step != Step::Ok) return;
    }
  }

  // File meta information: explicit little endian while the group is at most 2.
  void readFileMeta(DicomObject* object) {
    while (!lengthError_ && size_ - pos >= 2 && le16(data_ + pos) <= 2)
      if (readExplicit(object, size_, kDicomExplicitLittle) != Step::Ok) return;
  }

 private:
  void fail() { lengthError_ = true; }

  bool spend() {
    if (++nodes_ > kMaxNodes) {
      fail();
      return false;
    }
    return true;
  }

  DicomElement* element(DicomObject* object, uint32_t group, uint32_t number) {
    DicomElement* e = findOrCreateElement(object, group, number);
    if (e == pending_) {  // read twice: the first value is copied before it is replaced
      pending_ = nullptr;
      storeValue(e, pendingVr_, data_ + pendingOffset_, pendingLength_);
      if (pendingBig_) {
        unsigned width = swapWidth(e->vr);
        if (width > 1) swapWords(e->value(), e->length, width);
      }
    }
    return e;
  }

  // vr decides how the value is read; the element is stored with storedVr
  // (the same but for the private creators of an implicit data set, which
  // keep the VR a new element gets).
  void storeRead(DicomObject* object, uint32_t group, uint32_t number, const char* vr,
                 const uint8_t* bytes, uint32_t length, bool bigEndian,
                 const char* storedVr = nullptr) {
    if (!spend()) return;
    if (!storedVr) storedVr = vr;
    DicomElement* e = element(object, group, number);
    if (source_ && *source_ && !pending_ && depth_ == 0 && length >= kAdoptFrom &&
        !isConvertedTextVr(vr)) {
      pending_ = e;
      std::memcpy(pendingVr_, storedVr, sizeof pendingVr_);
      pendingOffset_ = static_cast<size_t>(bytes - data_);
      pendingLength_ = length;
      pendingBig_ = bigEndian;
      return;
    }
    if (isConvertedTextVr(vr) && japaneseText(object)) {
      std::string text = jisToSjis(bytes, length);
      storeValue(e, storedVr, reinterpret_cast<const uint8_t*>(text.data()),
                 static_cast<uint32_t>(text.size()));
    } else if (isConvertedTextVr(vr)) {
      storeValue(e, storedVr, bytes, length);
      e->keepBytes = true;
    } else {
      storeValue(e, storedVr, bytes, length);
      if (bigEndian) {
        unsigned width = swapWidth(vr);
        if (width > 1) swapWords(e->value(), e->length, width);
      }
    }
    if (group == 0x0002 && number == 0x0010)
      object->transferSyntax =
          syntaxFromUid(std::string_view(reinterpret_cast<const char*>(e->value()), e->length));
  }

  // The character set of a data set is its own (0008,0005), else that of the
  // data sets around it. Without one (the default repertoire, which holds no
  // escape or byte above 0x7F to misread) text is converted as the suite's own
  // writers have always stored it.
  bool japaneseText(const DicomObject* object) const {
    const DicomElement* cs = findElement(object, 0x0008, 0x0005);
    for (auto it = enclosing_.rbegin(); !cs && it != enclosing_.rend(); ++it)
      cs = findElement(*it, 0x0008, 0x0005);
    return !cs || cs == pending_ || japaneseCharset(cs->value(), cs->length);
  }

  Step readExplicit(DicomObject* object, size_t end, uint32_t syntax) {
    const bool big = syntax == kDicomExplicitBig;
    const uint8_t* p = data_ + pos;
    size_t left = end - pos;
    if (left < 2) return Step::Stop;
    uint32_t group = big ? be16(p) : le16(p);
    if (group > maxGroup_) return Step::Stop;
    if (left < 8) return Step::Stop;  // trailing bytes shorter than a header
    uint32_t number = big ? be16(p + 2) : le16(p + 2);
    if (group == 0 && number == 0 && pos > 0) return Step::Stop;
    char vr[3] = {static_cast<char>(p[4]), static_cast<char>(p[4] ? p[5] : 0), 0};
    uint32_t length;
    size_t header;
    if (hasLongLength(vr)) {
      if (left < 12) return Step::Stop;
      length = big ? be32(p + 8) : le32(p + 8);
      header = 12;
    } else {
      length = big ? be16(p + 6) : le16(p + 6);
      header = 8;
    }
    pos += header;
    const bool pixelData = group == 0x7FE0 && number == 0x0010;
    bool undefined = length == 0xFFFFFFFF ||
                     (length == 0xFFFFFFFE && (vrIs(vr, "OW") || vrIs(vr, "SQ") ||
                                               vrIs(vr, "UN") || vrIs(vr, "UT")));
    if (undefined) {
      if (pixelData) return readEncapsulated(object, end);
      if (vrIs(vr, "SQ")) return readSequence(object, group, number, vr, end, true, syntax);
      // A UN of undefined length is a sequence whose items are implicit VR
      // little endian, whatever the syntax around it.
      if (vrIs(vr, "UN"))
        return readSequence(object, group, number, vr, end, true, kDicomImplicitLittle);
      length = 0;
    }
    if (length > end - pos) {
      fail();
      return Step::Stop;
    }
    size_t valueEnd = pos + length;
    if (vrIs(vr, "SQ")) {
      Step step = readSequence(object, group, number, vr, valueEnd, false, syntax);
      pos = valueEnd;
      return step;
    }
    if (pixelData && isCompressed(syntax)) {
      Step step = readEncapsulated(object, valueEnd);
      pos = valueEnd;
      return lengthError_ ? Step::Stop : step;
    }
    storeRead(object, group, number, vr, data_ + pos, length, big);
    pos = valueEnd;
    return lengthError_ ? Step::Stop : Step::Ok;
  }

  Step readImplicit(DicomObject* object, size_t end) {
    const uint8_t* p = data_ + pos;
    uint32_t group = le16(p);
    if (group > maxGroup_) return Step::Stop;
    uint32_t number = le16(p + 2);
    if (group == 0 && number == 0 && pos > 0) return Step::Stop;
    uint32_t length = le32(p + 4);
    pos += 8;
    DictResult dict = lookupVr(group, number);
    if (length == 0xFFFFFFFF)
      return readSequence(object, group, number, dict.vr, end, true, kDicomImplicitLittle);
    if (length > end - pos) {
      fail();
      return Step::Stop;
    }
    size_t valueEnd = pos + length;
    if (vrIs(dict.vr, "SQ")) {
      Step step = readSequence(object, group, number, dict.vr, valueEnd, false, kDicomImplicitLittle);
      pos = valueEnd;
      return step;
    }
    const char* storedVr = dict.vr;
    DictResult created{};
    if (group & 1) {
      created = lookupElement(group, number);
      storedVr = created.vr;
    }
    storeRead(object, group, number, dict.vr, data_ + pos, length, false, storedVr);
    pos = valueEnd;
    return lengthError_ ? Step::Stop : Step::Ok;
  }

  // Items from pos up to end (or the sequence delimiter when the length is
  // undefined). A tag that is no item makes a defined-length value plain bytes.
  Step readSequence(DicomObject* object, uint32_t group, uint32_t number, const char* vr,
                    size_t end, bool undefinedLength, uint32_t syntax) {
    if (depth_ >= kMaxNesting) {
      fail();
      return Step::Stop;
    }
    const size_t begin = pos;
    std::vector<DicomObject*> items;
    struct Owner {
      std::vector<DicomObject*>& items;
      ~Owner() {
        for (DicomObject* item : items) freeObject(item);
      }
    } owner{items};
    bool plain = false;
    ++depth_;
    while (end - pos >= 8 && !lengthError_) {
      uint32_t tag = tagLe(data_ + pos);
      if (tag == kSequenceDelimiter || tag == kSequenceDelimiterSwapped) {
        pos += 8;
        break;
      }
      if (tag != kItem && tag != kItemSwapped) {
        plain = !undefinedLength;
        break;
      }
      const bool big = tag == kItemSwapped;
      uint32_t length = big ? be32(data_ + pos + 4) : le32(data_ + pos + 4);
      pos += 8;
      if (!spend()) break;
      DicomObject* item = newObject(true);
      if (!item) throw std::bad_alloc();
      items.push_back(item);
      const uint32_t itemSyntax = big ? static_cast<uint32_t>(kDicomExplicitBig) : syntax;
      // Inside items only the delimiters stop the parse, also when the
      // header alone is wanted.
      uint32_t outerMax = maxGroup_;
      maxGroup_ = kMaxGroup;
      enclosing_.push_back(object);
      if (length == 0xFFFFFFFF) {
        readDataSet(item, end, itemSyntax);
        if (end - pos >= 8) {
          uint32_t next = tagLe(data_ + pos);
          if (next == kItemDelimiter || next == kItemDelimiterSwapped) pos += 8;
        }
      } else if (length > end - pos) {
        fail();
      } else {
        size_t itemEnd = pos + length;
        readDataSet(item, itemEnd, itemSyntax);
        pos = itemEnd;
      }
      enclosing_.pop_back();
      maxGroup_ = outerMax;
    }
    --depth_;
    if (lengthError_) return Step::Stop;
    if (plain) {
      pos = begin;
      storeRead(object, group, number, vr, data_ + begin, static_cast<uint32_t>(end - begin),
                syntax == kDicomExplicitBig);
      pos = end;
      return lengthError_ ? Step::Stop : Step::Ok;
    }
    if (!spend()) return Step::Stop;
    DicomElement* e = element(object, group, number);
    makeSequence(e, kDicomItems, 0);
    e->items.swap(items);
    return Step::Ok;
  }

  // Encapsulated pixel data at pos: the offset table, then fragments up to the
  // sequence delimiter. The fragments are counted by walking them: the table
  // has one entry per frame, not per fragment.
  Step readEncapsulated(DicomObject* object, size_t end) {
    if (end - pos < 8 || tagLe(data_ + pos) != kItem) return Step::Stop;
    uint32_t tableLength = le32(data_ + pos + 4);
    pos += 8;
    if (tableLength > end - pos) {
      fail();
      return Step::Stop;
    }
    pos += tableLength;
    uint32_t count = 0;
    size_t walk = pos;
    while (end - walk >= 8) {
      uint32_t tag = tagLe(data_ + walk);
      if (tag != kItem) break;
      uint32_t length = le32(data_ + walk + 4);
      if (length > end - walk - 8 || count == kMaxFragments) {
        fail();
        return Step::Stop;
      }
      walk += 8 + static_cast<size_t>(length);
      ++count;
    }
    if (!spend()) return Step::Stop;
    DicomElement* e = element(object, 0x7FE0, 0x0010);
    makeFragmentList(e, "OB", count);
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t length = le32(data_ + pos + 4);
      setFragment(e, i, data_ + pos + 8, length);
      pos += 8 + static_cast<size_t>(length);
    }
    if (end - pos >= 8 && tagLe(data_ + pos) == kSequenceDelimiter) pos += 8;
    return Step::Ok;
  }

  const uint8_t* data_;
  size_t size_;
  uint32_t maxGroup_;
  Buffer* source_;
  DicomElement* pending_ = nullptr;
  char pendingVr_[3] = {};
  size_t pendingOffset_ = 0;
  uint32_t pendingLength_ = 0;
  bool pendingBig_ = false;
  bool lengthError_ = false;
  int depth_ = 0;
  uint32_t nodes_ = 0;
  std::vector<const DicomObject*> enclosing_;
};

uint32_t maxGroupFor(unsigned headerOnly) { return headerOnly ? kMaxGroupHeaderOnly : kMaxGroup; }

unsigned parseFile(DicomObject* object, const uint8_t* data, size_t size, unsigned headerOnly,
                   Buffer* source) {
  Parser parser(data, size, maxGroupFor(headerOnly), source);
  const bool preamble = size >= 133 && std::memcmp(data + 128, "DICM", 4) == 0;
  uint32_t syntax = kDicomImplicitLittle;
  if (preamble) {
    parser.pos = 132;
    object->transferSyntax = kDicomImplicitLittle;  // unless the meta names one
    parser.readFileMeta(object);
    if (parser.lengthError()) return 0;
    syntax = object->transferSyntax;
  } else {
    object->transferSyntax = kDicomImplicitLittle;
  }
  parser.readDataSet(object, size, syntax);
  if (!parser.lengthError()) return 1;
  if (preamble) return 0;
  // A bare data set that is no implicit one may be explicit: start afresh.
  parser.finish(false);
  clearObject(object);
  object->transferSyntax = kDicomExplicitLittle;
  Parser retry(data, size, maxGroupFor(headerOnly), source);
  retry.readDataSet(object, size, kDicomExplicitLittle);
  return retry.lengthError() ? 0 : 1;
}

unsigned parseDataSet(DicomObject* object, const uint8_t* data, size_t size, uint32_t syntax,
                      unsigned headerOnly) {
  Parser parser(data, size, maxGroupFor(headerOnly));
  parser.readDataSet(object, size, syntax);
  return parser.lengthError() ? 0 : 1;
}

}  // namespace
}  // namespace dicom

using namespace dicom;

extern "C" {

unsigned ReadDicomFile(DicomObject* handle, const char* path, unsigned headerOnly) {
  if (!isValid(handle) || !path) return 0;
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
    ::close(fd);
    return 0;
  }
  const size_t size = static_cast<size_t>(st.st_size);
  Buffer data;
  try {
    data = Buffer::allocate(size + 1);  // the spare byte for a value's NUL
  } catch (const std::bad_alloc&) {
    ::close(fd);
    return 0;
  }
  size_t got = 0;
  while (got < size) {
    ssize_t n = ::read(fd, data.get() + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // the file shrank under us: parse what is there
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  return guarded([&] { return parseFile(handle, data.get(), got, headerOnly, &data); });
}

unsigned ReadDicomMemory(DicomObject* handle, const void* buffer, uint32_t size) {
  if (!isValid(handle) || (!buffer && size)) return 0;
  static const uint8_t kEmpty = 0;
  const uint8_t* data = buffer ? static_cast<const uint8_t*>(buffer) : &kEmpty;
  return guarded([&] { return parseFile(handle, data, size, 1, nullptr); });
}

unsigned ReadDicomDataSet(DicomObject* handle, const void* buffer, uint32_t size,
                          const char* transferSyntaxUid, unsigned headerOnly) {
  if (!isValid(handle) || (!buffer && size)) return 0;
  handle->transferSyntax = transferSyntaxUid ? syntaxFromUid(transferSyntaxUid) : kDicomImplicitLittle;
  static const uint8_t kEmpty = 0;
  const uint8_t* data = buffer ? static_cast<const uint8_t*>(buffer) : &kEmpty;
  return guarded(
      [&] { return parseDataSet(handle, data, size, handle->transferSyntax, headerOnly); });
}

}  // extern "C"
