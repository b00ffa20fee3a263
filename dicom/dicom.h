// The suite's DICOM library: handle-based data sets that callers fill element
// by element or read from a file, query, dump and write as Part-10 files.
//
// Every entry point returns 1 for success and 0 for failure (the Is- queries 1
// for true), and checks its handle first. Text values are CP932 (Shift-JIS)
// bytes; callers convert from and to UTF-8 with platform/text. Values are kept
// exactly as stored or read, padding included.
//
// One read or write at a time per process: the two switches are process-wide.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

struct DicomObject;

// Codes of the transfer syntaxes the library tells apart.
enum DicomTransferSyntax : uint32_t {
  kDicomImplicitLittle = 0,
  kDicomExplicitLittle = 1,
  kDicomExplicitBig = 2,
  kDicomJpegLossless = 3,
  kDicomJpeg = 4,
  kDicomRle = 5,
  kDicomJpeg2000Lossless = 6,
  kDicomJpeg2000 = 7,
};

// How an element holds its value.
enum DicomValueClass : uint32_t {
  kDicomOpaque = 0,
  kDicomIntegers = 1,
  kDicomTag = 2,
  kDicomText = 3,
  kDicomFragments = 4,
  kDicomOneItem = 5,
  kDicomItems = 6,
};

// Receives one line of DumpDicomObject; the line lives only during the call.
typedef void (*DicomDumpProc)(uint32_t context, const char* line);

unsigned CreateDicomObject(DicomObject** handle);
// Refuses the items of a sequence: they belong to their element.
unsigned DeleteDicomObject(DicomObject* handle);
unsigned SetDicomFileMeta(DicomObject* handle, unsigned flag);
unsigned SetDicomObjectName(DicomObject* handle, const char* name);

unsigned ReadDicomFile(DicomObject* handle, const char* path, unsigned headerOnly);
// A whole file in memory, header only.
unsigned ReadDicomMemory(DicomObject* handle, const void* buffer, uint32_t size);
unsigned ReadDicomDataSet(DicomObject* handle, const void* buffer, uint32_t size,
                          const char* transferSyntaxUid, unsigned headerOnly);

// A file with file meta always names its transfer syntax: an object that lacks
// (0002,0010) gets the UID of its code in the file (the object stays as it is).
unsigned WriteDicomFile(DicomObject* handle, const char* path);
// Writes from *position on and advances it; the caller provides the room
// (GetDicomWriteSize tells how much).
unsigned WriteDicomBuffer(DicomObject* handle, void* buffer, uint32_t* position);
// The sized form: 0, with nothing written, when the encoding does not fit
// between *position and capacity or cannot be written at all.
unsigned WriteDicomBufferSized(DicomObject* handle, void* buffer, size_t capacity,
                               size_t* position);
// The number of bytes WriteDicomBuffer would write now; 0 when the object cannot
// be written (big endian, fragments outside encapsulated pixel data, lengths
// beyond 32 bits, file meta without (0002,0010) for a JPEG code, which names
// no single syntax).
unsigned GetDicomWriteSize(DicomObject* handle, size_t* size);

unsigned SetDicomElement(DicomObject* handle, uint32_t group, uint32_t element, const char* vr,
                         const void* value, uint32_t length);
unsigned GetDicomElement(DicomObject* handle, uint32_t group, uint32_t element, uint32_t index,
                         void* buffer, uint32_t bufferSize);
unsigned GetDicomElementLength(DicomObject* handle, uint32_t group, uint32_t element,
                               uint32_t index, uint32_t* length);
unsigned GetDicomString(DicomObject* handle, uint32_t group, uint32_t element, uint32_t index,
                        char* buffer, uint32_t bufferSize);
// Copies the VR with its NUL: 3 bytes.
unsigned GetDicomVR(DicomObject* handle, uint32_t group, uint32_t element, char* buffer);
unsigned GetDicomItem(DicomObject* handle, uint32_t group, uint32_t element, uint32_t index,
                      DicomObject** item);
unsigned CreateDicomSequence(DicomObject* handle, uint32_t group, uint32_t element);
unsigned CreateDicomSequenceItems(DicomObject* handle, uint32_t group, uint32_t element,
                                  uint32_t count);
unsigned RemoveDicomElement(DicomObject* handle, uint32_t group, uint32_t element);

unsigned IsDicomBigEndian(DicomObject* handle);
unsigned IsDicomCompressed(DicomObject* handle);
unsigned IsDicomRLE(DicomObject* handle);
unsigned IsDicomJPEG(DicomObject* handle);
unsigned IsDicomJPEG2000(DicomObject* handle);

void DumpDicomObject(DicomObject* handle, DicomDumpProc proc, uint32_t context);

// Process-wide: write (gggg,0000) group lengths; convert Shift-JIS text to
// ISO 2022 on writing. Both on at start.
unsigned SetDicomGroupLength(unsigned flag);
unsigned SetDicomJisConversion(unsigned flag);

}  // extern "C"

namespace dicom {

// Owns one top-level data set and deletes it with itself. Empty when the
// library could not make one, and after a move or a release.
class OwnedObject {
 public:
  OwnedObject() noexcept = default;
  // Takes over an object made by CreateDicomObject; never an item of a
  // sequence, which belongs to its element.
  explicit OwnedObject(DicomObject* adopted) noexcept : handle_(adopted) {}
  static OwnedObject create() noexcept {
    DicomObject* handle = nullptr;
    if (!CreateDicomObject(&handle)) handle = nullptr;
    return OwnedObject(handle);
  }
  ~OwnedObject() { drop(); }

  OwnedObject(OwnedObject&& other) noexcept : handle_(other.release()) {}
  OwnedObject& operator=(OwnedObject&& other) noexcept {
    if (this != &other) {
      drop();
      handle_ = other.release();
    }
    return *this;
  }
  OwnedObject(const OwnedObject&) = delete;
  OwnedObject& operator=(const OwnedObject&) = delete;

  DicomObject* get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != nullptr; }
  // Gives the object up; the caller deletes it.
  DicomObject* release() noexcept {
    DicomObject* handle = handle_;
    handle_ = nullptr;
    return handle;
  }

 private:
  void drop() noexcept {
    if (handle_ != nullptr) DeleteDicomObject(handle_);
    handle_ = nullptr;
  }

  DicomObject* handle_ = nullptr;
};

}  // namespace dicom
