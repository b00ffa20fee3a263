// Writing objects as Part-10 files or into a caller's buffer.
//
// Every length is known before it is written: a counting pass over the same
// encoder gives group lengths, the defined length of one-item sequences and the
// exact size of the whole, so the output is sized once and never overrun. Files
// are written beside their final name and renamed over it once complete.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "dicom/internal/jis.h"
#include "platform/text.h"
#include "dicom/internal/guarded.h"
#include "dicom/internal/object.h"
#include "dicom/internal/vr.h"
#include "dicom/internal/writer_log.h"

namespace dicom {
namespace {

constexpr uint32_t kUndefinedLength = 0xFFFFFFFF;
constexpr uint64_t kMaxLength = 0xFFFFFFFE;

// Writes into a buffer, into a file, or only counts.
class Output {
 public:
  // Counting when buffer is null.
  Output(uint8_t* buffer, size_t capacity, size_t position)
      : buffer_(buffer), capacity_(capacity), position_(position) {}
  // Into a file: small pieces gather in a staging buffer, large values go
  // straight from the element to the file.
  explicit Output(int fd) : fd_(fd), capacity_(SIZE_MAX) { staging_.reserve(kStaging); }

  size_t position() const { return position_; }
  bool ok() const { return ok_; }
  int error() const { return error_; }
  void refuse() { ok_ = false; }

  void bytes(const void* data, size_t length) {
    if (!ok_) return;
    if (fd_ >= 0) {
      const uint8_t* p = static_cast<const uint8_t*>(data);
      if (length >= kDirect) {
        flush();
        writeAll(p, length);
      } else {
        staging_.insert(staging_.end(), p, p + length);
        if (staging_.size() >= kStaging) flush();
      }
    } else if (buffer_) {
      if (length > capacity_ - position_) {
        ok_ = false;
        return;
      }
      if (length) std::memcpy(buffer_ + position_, data, length);
    }
    position_ += length;
  }
  void u16(uint32_t v) {
    uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
    bytes(b, 2);
  }
  void u32(uint64_t v) {
    if (v > 0xFFFFFFFF) {
      ok_ = false;
      return;
    }
    uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                    static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
    bytes(b, 4);
  }
  void tag(uint32_t group, uint32_t element) {
    u16(group);
    u16(element);
  }
  void zeros(size_t count) {
    static const uint8_t kZeros[128] = {};
    while (count && ok_) {
      size_t n = std::min(count, sizeof kZeros);
      bytes(kZeros, n);
      count -= n;
    }
  }
  void flush() {
    if (fd_ < 0 || staging_.empty()) return;
    writeAll(staging_.data(), staging_.size());
    staging_.clear();
  }

 private:
  static constexpr size_t kStaging = size_t{1} << 20;
  static constexpr size_t kDirect = size_t{256} << 10;

  void writeAll(const uint8_t* p, size_t length) {
    while (length && ok_) {
      ssize_t n = ::write(fd_, p, length);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error_ = n < 0 ? errno : EIO;
        ok_ = false;
        return;
      }
      p += n;
      length -= static_cast<size_t>(n);
    }
  }

  int fd_ = -1;
  uint8_t* buffer_ = nullptr;
  size_t capacity_ = 0;
  size_t position_ = 0;
  bool ok_ = true;
  int error_ = 0;
  std::vector<uint8_t> staging_;
};

// Sizes of one-item sequence contents, keyed by their element: each is
// measured once per write, however deep it is nested.
using SequenceSizes = std::unordered_map<const DicomElement*, uint64_t>;

struct Context {
  uint32_t syntax;
  bool groupLengths;
  bool jis;
  // Kanji runs end in JIS X 0201 Roman (ESC "(J"), which only a character
  // set naming IR 13 declares; under another Japanese set they end in ASCII.
  bool romanIsJisX0201;
  SequenceSizes* sizes;
  // (0002,0010) of a top-level object with file meta that has none of its own.
  const DicomElement* metaSyntax;
};

void writeObject(Output& out, const DicomObject* object, const Context& context, bool topLevel);

// Bytes the writer produces for something, by a counting pass.
template <typename Body>
uint64_t measure(Body body) {
  Output counter(nullptr, 0, 0);
  body(counter);
  return counter.ok() ? counter.position() : UINT64_MAX;
}

void writeItemContent(Output& out, const DicomObject* item, const Context& context) {
  Context inner = context;
  inner.groupLengths = false;  // items carry no group lengths
  writeObject(out, item, inner, false);
}

void writeSequence(Output& out, const DicomElement& e, const Context& context) {
  const bool implicit = context.syntax == kDicomImplicitLittle;
  if (!implicit) {
    out.bytes("SQ", 2);
    out.u16(0);
  }
  if (!implicit && e.valueClass == kDicomOneItem && e.items.size() == 1) {
    auto known = context.sizes->find(&e);
    uint64_t content;
    if (known != context.sizes->end()) {
      content = known->second;
    } else {
      content = measure([&](Output& o) { writeItemContent(o, e.items[0], context); });
      context.sizes->emplace(&e, content);
    }
    if (content > kMaxLength - 8) return out.refuse();
    out.u32(content + 8);
    out.tag(0xFFFE, 0xE000);
    out.u32(content);
    writeItemContent(out, e.items[0], context);
    return;
  }
  out.u32(kUndefinedLength);
  for (const DicomObject* item : e.items) {
    out.tag(0xFFFE, 0xE000);
    out.u32(kUndefinedLength);
    writeItemContent(out, item, context);
    out.tag(0xFFFE, 0xE00D);
    out.u32(0);
  }
  out.tag(0xFFFE, 0xE0DD);
  out.u32(0);
}

// (7FE0,0010) of a compressed syntax: offset table and fragments; a single
// value counts as one fragment.
void writeEncapsulated(Output& out, const DicomElement& e) {
  struct Piece {
    const uint8_t* bytes;
    uint32_t length;
  };
  std::vector<Piece> pieces;
  if (e.valueClass == kDicomFragments) {
    for (const DicomFragment& f : e.fragments) pieces.push_back({f.bytes.get(), f.length});
  } else {
    pieces.push_back({e.value(), e.length});
  }
  out.bytes("OB", 2);
  out.u16(0);
  out.u32(kUndefinedLength);
  out.tag(0xFFFE, 0xE000);
  out.u32(4 * static_cast<uint64_t>(pieces.size()));
  uint64_t offset = 0;
  for (const Piece& p : pieces) {
    out.u32(offset);
    offset += (static_cast<uint64_t>(p.length) + 1) / 2 * 2 + 8;
  }
  for (const Piece& p : pieces) {
    uint64_t even = (static_cast<uint64_t>(p.length) + 1) / 2 * 2;
    out.tag(0xFFFE, 0xE000);
    out.u32(even);
    if (p.length) out.bytes(p.bytes, p.length);
    if (p.length % 2) out.zeros(1);
  }
  out.tag(0xFFFE, 0xE0DD);
  out.u32(0);
}

void writeElement(Output& out, const DicomElement& e, const Context& context) {
  const bool implicit = context.syntax == kDicomImplicitLittle;
  const bool pixelData = e.group == 0x7FE0 && e.element == 0x0010;
  out.tag(e.group, e.element);
  if (e.isSequence()) return writeSequence(out, e, context);
  if (pixelData && isCompressed(context.syntax)) return writeEncapsulated(out, e);
  // Fragments have no encoding outside encapsulated pixel data.
  if (e.valueClass == kDicomFragments) return out.refuse();

  const uint8_t* bytes = e.value();
  uint64_t length = e.length;
  std::string converted;
  if (context.jis && isConvertedTextVr(e.vr) && !e.keepBytes) {
    // A code JIS X 0208 does not have would be written wrong: refused.
    if (!platform::text::cp932FitsJisX0208(
            std::string_view(reinterpret_cast<const char*>(bytes), strnlen(reinterpret_cast<const char*>(bytes), e.length))))
      return out.refuse();
    bool multiLine = vrIs(e.vr, "LT") || vrIs(e.vr, "ST") || vrIs(e.vr, "UT");
    converted = sjisToJis(bytes, e.length, multiLine, context.romanIsJisX0201);
    bytes = reinterpret_cast<const uint8_t*>(converted.data());
    length = converted.size();
  }
  const uint64_t even = (length + 1) / 2 * 2;
  if (even > kMaxLength) return out.refuse();
  if (implicit) {
    out.u32(even);
  } else {
    const char* vr = e.vr[0] ? e.vr : "UN";
    out.bytes(vr, 2);
    if (hasLongLength(vr)) {
      out.u16(0);
      out.u32(even);
    } else {
      if (even > 0xFFFF) return out.refuse();
      out.u16(static_cast<uint32_t>(even));
    }
  }
  out.bytes(bytes, length);
  if (length % 2) {
    const uint8_t pad = vrIs(e.vr, "OB") || vrIs(e.vr, "UI") ? 0 : ' ';
    out.bytes(&pad, 1);
  }
}

// extra, when given, is written in its place among the group's elements.
void writeGroupElements(Output& out, const DicomGroup& g, const Context& context,
                        const DicomElement* extra) {
  for (const DicomElement* e = g.elements; e && out.ok(); e = e->next) {
    if (extra && extra->element < e->element) {
      writeElement(out, *extra, context);
      extra = nullptr;
    }
    // A stored group length would stand beside the computed one.
    if (context.groupLengths && e->element == 0) continue;
    writeElement(out, *e, context);
  }
  if (extra) writeElement(out, *extra, context);
}

void writeGroup(Output& out, const DicomGroup& g, const Context& context,
                const DicomElement* extra) {
  if (context.groupLengths) {
    uint64_t length = measure([&](Output& o) { writeGroupElements(o, g, context, extra); });
    if (length > kMaxLength) return out.refuse();
    out.tag(g.group, 0x0000);
    if (context.syntax == kDicomImplicitLittle) {
      out.u32(4);
    } else {
      out.bytes("UL", 2);
      out.u16(4);
    }
    out.u32(length);
  }
  writeGroupElements(out, g, context, extra);
}

void writeObject(Output& out, const DicomObject* object, const Context& context, bool topLevel) {
  const bool fileMeta = topLevel && object->fileMeta;
  if (fileMeta) {
    out.zeros(128);
    out.bytes("DICM", 4);
  }
  Context metaContext = context;
  metaContext.syntax = kDicomExplicitLittle;  // file meta is always explicit little endian
  const DicomElement* metaSyntax = fileMeta ? context.metaSyntax : nullptr;
  // An object without group 0002 gets one holding only the syntax.
  const DicomGroup emptyMeta{0x0002, nullptr, nullptr};
  auto writeMissingMeta = [&] {
    if (metaSyntax && out.ok()) writeGroup(out, emptyMeta, metaContext, metaSyntax);
    metaSyntax = nullptr;
  };
  Context own = context;
  if (const DicomElement* cs = findElement(object, 0x0008, 0x0005)) {
    own.romanIsJisX0201 = charsetNamesJisX0201(cs->value(), cs->length);
  }
  for (const DicomGroup* g = object->groups; g && out.ok(); g = g->next) {
    if (g->group > 0x0002) writeMissingMeta();
    if (g->group == 0x0002) {
      if (!fileMeta) continue;
      writeGroup(out, *g, metaContext, metaSyntax);
      metaSyntax = nullptr;
      continue;
    }
    writeGroup(out, *g, own, nullptr);
  }
  writeMissingMeta();
}

// What one write needs beside the object: the switches, the sizes measured so
// far, and the transfer syntax element that a file must carry.
class Encoding {
 public:
  explicit Encoding(DicomObject* object) : object_(object) {}
  Encoding(const Encoding&) = delete;
  Encoding& operator=(const Encoding&) = delete;

  // The exact size of the encoding, or false when it cannot be written.
  bool size(size_t* size) {
    if (!prepare()) return false;
    uint64_t total = measure([&](Output& o) { writeObject(o, object_, context_, true); });
    if (total == UINT64_MAX) return false;
    *size = static_cast<size_t>(total);
    return true;
  }
  void write(Output& out) { writeObject(out, object_, context_, true); }

 private:
  bool prepare() {
    if (prepared_) return true;
    // Big endian is read but never written.
    if (object_->transferSyntax == kDicomExplicitBig) return false;
    if (object_->transferSyntax != kDicomImplicitLittle) object_->fileMeta = 1;
    context_ = Context{object_->transferSyntax, groupLengthSwitch(), jisConversionSwitch(),
                       true, &sizes_, nullptr};
    // A reader takes the data set's syntax from the file meta alone: a preamble
    // without (0002,0010) would make the file unreadable. An object read from a
    // bare data set has none, so its code names it, or the write is refused.
    if (object_->fileMeta && !findElement(object_, 0x0002, 0x0010)) {
      const char* uid = uidFromSyntax(object_->transferSyntax);
      if (!uid) return false;
      metaSyntax_.group = 0x0002;
      metaSyntax_.element = 0x0010;
      storeValue(&metaSyntax_, "UI", reinterpret_cast<const uint8_t*>(uid),
                 static_cast<uint32_t>(std::strlen(uid)));
      context_.metaSyntax = &metaSyntax_;
    }
    prepared_ = true;
    return true;
  }

  DicomObject* object_;
  bool prepared_ = false;
  Context context_{};
  SequenceSizes sizes_;
  DicomElement metaSyntax_;
};

bool writeInto(Encoding& encoding, uint8_t* buffer, size_t capacity, size_t* position) {
  size_t size = 0;
  if (*position > capacity || !encoding.size(&size) || size > capacity - *position) return false;
  Output out(buffer, capacity, *position);
  encoding.write(out);
  if (!out.ok()) return false;
  *position = out.position();
  return true;
}

std::atomic<unsigned> gTemporaryCounter{0};

// A fresh file beside path, renamed over it once complete.
int createTemporary(const std::string& path, std::string* temporary) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".%d.%u.tmp", static_cast<int>(::getpid()),
                  gTemporaryCounter.fetch_add(1));
    *temporary = path + suffix;
    int fd = ::open(temporary->c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

unsigned writeFile(DicomObject* object, const char* path) {
  Encoding encoding(object);
  size_t capacity = 0;
  if (!encoding.size(&capacity)) return 0;
  std::string temporary;
  int fd = createTemporary(path, &temporary);
  if (fd < 0) return 0;
  auto abandon = [&] {
    ::close(fd);
    ::unlink(temporary.c_str());
    return 0u;
  };
  // Reserve the blocks first, so that a full disk fails before anything is written.
  if (capacity > 0 && (capacity > static_cast<size_t>(INT64_MAX) ||
                       ::posix_fallocate(fd, 0, static_cast<off_t>(capacity)) != 0)) {
    writerLog(1, "-----DICOMLib::WriteDicomFile: Fail CreateFileMapping(%d)",
              static_cast<int>(std::min<size_t>(capacity, INT32_MAX)));
    return abandon();
  }
  Output out(fd);
  encoding.write(out);
  out.flush();
  if (out.error()) {
    writerLog(1, "-----DICOMLib::WriteDicomFile: Fail MapViewOfFile statusmsg[0x%x:%s]",
              out.error(), std::strerror(out.error()));
  }
  writerLog(9, "-----DICOMLib::WriteDicomFile: Write bStatus=%d", out.ok() ? 1 : 0);
  if (!out.ok() || out.position() != capacity ||
      ::ftruncate(fd, static_cast<off_t>(out.position())) != 0)
    return abandon();
  if (::close(fd) != 0) {
    ::unlink(temporary.c_str());
    return 0;
  }
  if (::rename(temporary.c_str(), path) != 0) {
    ::unlink(temporary.c_str());
    return 0;
  }
  return 1;
}

}  // namespace
}  // namespace dicom

using namespace dicom;

extern "C" {

unsigned WriteDicomFile(DicomObject* handle, const char* path) {
  if (!isValid(handle) || !path || !*path) return 0;
  return guarded([&] { return writeFile(handle, path); });
}

unsigned WriteDicomBuffer(DicomObject* handle, void* buffer, uint32_t* position) {
  if (!isValid(handle) || !buffer || !position) return 0;
  return guarded([&] {
    Encoding encoding(handle);
    size_t size = 0;
    if (!encoding.size(&size) || size > UINT32_MAX - *position) return 0u;
    // The caller vouches for the room; the size is the encoding's own.
    size_t at = *position;
    if (!writeInto(encoding, static_cast<uint8_t*>(buffer), at + size, &at)) return 0u;
    *position = static_cast<uint32_t>(at);
    return 1u;
  });
}

unsigned WriteDicomBufferSized(DicomObject* handle, void* buffer, size_t capacity,
                               size_t* position) {
  if (!isValid(handle) || !buffer || !position) return 0;
  return guarded([&] {
    Encoding encoding(handle);
    return writeInto(encoding, static_cast<uint8_t*>(buffer), capacity, position) ? 1u : 0u;
  });
}

unsigned GetDicomWriteSize(DicomObject* handle, size_t* size) {
  if (!isValid(handle) || !size) return 0;
  return guarded([&] {
    Encoding encoding(handle);
    return encoding.size(size) ? 1u : 0u;
  });
}

}  // extern "C"
