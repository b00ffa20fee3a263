// The export set of a saved plate: the DICOM file built in the data folder,
// published in the export folder under a name that never replaces another
// set's, its ".info" companion next and the empty ".ready" marker last, so that
// whoever imports the folder never sees a set before it is whole.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "crapp/datacontainer.h"
#include "crapp/internal/applog.h"
#include "dicom/dicom.h"
#include "platform/ini.h"
#include "platform/text.h"

namespace crapp {
namespace {

namespace fs = std::filesystem;

// The organisation's UID root; every UID of an export follows it.
constexpr std::string_view kUidRoot = "2.25.316405921987346";
constexpr std::size_t kMaxUidLength = 64;
constexpr const char* kSopClassCr = "1.2.840.10008.5.1.4.1.1.1";
constexpr const char* kExplicitLittle = "1.2.840.10008.1.2.1";
constexpr const char* kManufacturer = "Korva corporation";
constexpr int kMaxNameTries = 1000;
// Room left for "_NNN.dcm.ready" in a file name of at most 255 bytes.
constexpr std::size_t kMaxIdNameBytes = 200;

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { close(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // The result of close(2): a late write error shows here.
  bool close() {
    if (fd_ < 0) return true;
    const int r = ::close(fd_);
    fd_ = -1;
    return r == 0;
  }

 private:
  int fd_;
};

bool writeAll(int fd, const std::uint8_t* data, std::size_t length) {
  while (length > 0) {
    const ssize_t n = ::write(fd, data, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    data += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

// Reads exactly length bytes; a file that ends early is an error (ENODATA).
bool readAll(int fd, std::uint8_t* data, std::size_t length) {
  while (length > 0) {
    const ssize_t n = ::read(fd, data, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENODATA;
      return false;
    }
    data += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

// Moves from onto to unless to exists (EEXIST then).
bool renameNoReplace(const fs::path& from, const fs::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without the flag: a hard link fails on an existing name too.
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  ::unlink(from.c_str());
  return true;
}

bool syncFolder(const fs::path& folder) {
  Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return fd.valid() && ::fsync(fd.get()) == 0;
}

std::string format(const char* pattern, auto... args) {
  char text[512];
  std::snprintf(text, sizeof text, pattern, args...);
  return text;
}

// The serial number as a UID component: its digits without leading zeros, "0"
// when there are none, cut so that the UID keeps within 64 characters.
std::string serialComponent(std::string_view serial, std::size_t room) {
  std::string digits;
  for (char c : serial)
    if (c >= '0' && c <= '9' && !(digits.empty() && c == '0')) digits.push_back(c);
  if (digits.empty()) digits = "0";
  if (room == 0) room = 1;
  if (digits.size() > room) digits.resize(room);
  return digits;
}

// root + ".31020000.<kind>.<S>.<T>" [+ ".0"].
std::string makeUid(int kind, std::string_view serial, const std::string& dateTime, bool withIndex) {
  const std::string head = std::string(kUidRoot) + ".31020000." + std::to_string(kind) + ".";
  const std::string tail = "." + dateTime + (withIndex ? ".0" : "");
  const std::size_t fixed = head.size() + tail.size();
  const std::size_t room = fixed < kMaxUidLength ? kMaxUidLength - fixed : 1;
  return head + serialComponent(serial, room) + tail;
}

// "ISO_IR 100" while every text is ASCII; the ISO 2022 sets that the writer's
// escapes switch to as soon as one holds Japanese characters.
std::string characterSet(const std::vector<const std::string*>& texts) {
  bool doubleByte = false, katakana = false;
  for (const std::string* text : texts) {
    for (std::size_t i = 0; i < text->size(); ++i) {
      const auto b = static_cast<unsigned char>((*text)[i]);
      if (platform::text::isCp932LeadByte(b)) {
        doubleByte = true;
        ++i;
      } else if (b >= 0xA1 && b <= 0xDF) {
        katakana = true;
      }
    }
  }
  // The writer returns to single bytes through the JIS X 0201 Roman set, which
  // belongs to IR 13: declared first, readers follow every escape it writes.
  if (doubleByte) return "ISO 2022 IR 13\\ISO 2022 IR 87";
  if (katakana) return "ISO 2022 IR 13";
  return "ISO_IR 100";
}

// A new data set filled element by element; ok() stays false once a value
// was refused.
class DataSetBuilder {
 public:
  DicomObject* get() const { return object_.get(); }

  void text(std::uint32_t group, std::uint32_t element, const char* vr, std::string_view value) {
    ok_ = SetDicomElement(object_.get(), group, element, vr, value.data(),
                          static_cast<std::uint32_t>(value.size())) &&
          ok_;
  }
  void u16(std::uint32_t group, std::uint32_t element, unsigned value) {
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
    ok_ = SetDicomElement(object_.get(), group, element, "US", bytes, 2) && ok_;
  }
  void bytes(std::uint32_t group, std::uint32_t element, const char* vr, const void* value,
             std::uint32_t length) {
    ok_ = SetDicomElement(object_.get(), group, element, vr, value, length) && ok_;
  }
  bool ok() const { return ok_; }

 private:
  dicom::OwnedObject object_ = dicom::OwnedObject::create();
  bool ok_ = true;
};

// The values of one export that the rows of its data set take.
struct ExportValues {
  std::string date, time, charset, instanceUid, studyUid, seriesUid, implementationUid;
  std::string studyDescription, seriesDescription, name, id, pitchPair, orientation, cassette;
  std::string sensitivity, counter, photometric, windowCenter, windowWidth;
  unsigned rows = 0, columns = 0, bitsStored = 0, highBit = 0;
};

// One element of the data set: its tag, its VR and where its value comes
// from, either a fixed value or a field of ExportValues.
struct Row {
  std::uint16_t group, element;
  const char* vr;
  std::string_view fixed;
  const std::string ExportValues::*text = nullptr;
  unsigned ExportValues::*number = nullptr;
  unsigned fixedNumber = 0;
};

using V = ExportValues;
constexpr Row fixed(std::uint16_t g, std::uint16_t e, const char* vr, std::string_view value) {
  return {g, e, vr, value};
}
constexpr Row from(std::uint16_t g, std::uint16_t e, const char* vr, const std::string V::*value) {
  return {g, e, vr, {}, value};
}
constexpr Row us(std::uint16_t g, std::uint16_t e, unsigned V::*value) { return {g, e, "US", {}, nullptr, value}; }
constexpr Row fixedUs(std::uint16_t g, std::uint16_t e, unsigned value) {
  return {g, e, "US", {}, nullptr, nullptr, value};
}

// The data set of every export, in the order its elements are set.
constexpr Row kDataSet[] = {
    // The file meta group that readers of DICOM files expect beside the transfer syntax.
    fixed(0x0002, 0x0001, "OB", std::string_view("\x00\x01", 2)),
    fixed(0x0002, 0x0002, "UI", kSopClassCr),
    from(0x0002, 0x0003, "UI", &V::instanceUid),
    from(0x0002, 0x0012, "UI", &V::implementationUid),

    fixed(0x0002, 0x0010, "UI", kExplicitLittle),
    from(0x0008, 0x0005, "CS", &V::charset),
    fixed(0x0008, 0x0016, "UI", kSopClassCr),
    from(0x0008, 0x0018, "UI", &V::instanceUid),
    from(0x0008, 0x0020, "DA", &V::date),
    from(0x0008, 0x0021, "DA", &V::date),
    from(0x0008, 0x0030, "TM", &V::time),
    from(0x0008, 0x0031, "TM", &V::time),
    fixed(0x0008, 0x0050, "SH", ""),
    fixed(0x0008, 0x0060, "CS", "CR"),
    fixed(0x0008, 0x0070, "LO", kManufacturer),
    // Type 2 and 2C elements of the CR IOD that nothing here knows: empty.
    fixed(0x0008, 0x0090, "PN", ""),
    from(0x0008, 0x1030, "LO", &V::studyDescription),
    from(0x0008, 0x103E, "LO", &V::seriesDescription),
    fixed(0x0008, 0x1090, "LO", "Halcyone"),
    from(0x0010, 0x0010, "PN", &V::name),
    from(0x0010, 0x0020, "LO", &V::id),
    fixed(0x0010, 0x0030, "DA", ""),
    fixed(0x0010, 0x0040, "CS", ""),
    fixed(0x0018, 0x0015, "CS", ""),
    from(0x0018, 0x1164, "DS", &V::pitchPair),
    from(0x0028, 0x0030, "DS", &V::pitchPair),
    from(0x0018, 0x1402, "CS", &V::orientation),
    from(0x0018, 0x1403, "CS", &V::cassette),
    fixed(0x0018, 0x5101, "CS", ""),
    from(0x0018, 0x6000, "DS", &V::sensitivity),
    from(0x0020, 0x000D, "UI", &V::studyUid),
    from(0x0020, 0x000E, "UI", &V::seriesUid),
    from(0x0020, 0x0010, "SH", &V::counter),
    fixed(0x0020, 0x0011, "IS", "1"),
    fixed(0x0020, 0x0013, "IS", "1"),
    fixed(0x0020, 0x0020, "CS", ""),
    fixed(0x0020, 0x0060, "CS", ""),
    fixedUs(0x0028, 0x0002, 1),
    from(0x0028, 0x0004, "CS", &V::photometric),
    us(0x0028, 0x0010, &V::rows),
    us(0x0028, 0x0011, &V::columns),
    fixedUs(0x0028, 0x0100, 16),
    us(0x0028, 0x0101, &V::bitsStored),
    us(0x0028, 0x0102, &V::highBit),
    fixedUs(0x0028, 0x0103, 0),
    from(0x0028, 0x1050, "DS", &V::windowCenter),
    from(0x0028, 0x1051, "DS", &V::windowWidth),
};

// What the site's OptionDICOM_F=ON adds, set after the rows above.
constexpr Row kOptionF[] = {
    from(0x0008, 0x0023, "DA", &V::date),
    from(0x0008, 0x0033, "TM", &V::time),
    fixed(0x0008, 0x0064, "CS", "DF"),
    fixed(0x0008, 0x0080, "LO", ""),
    fixed(0x0008, 0x0090, "PN", ""),
    fixed(0x0008, 0x1060, "PN", ""),
    fixed(0x0008, 0x1080, "LO", ""),
    fixed(0x0010, 0x0030, "DA", ""),
    fixed(0x0010, 0x0040, "CS", ""),
    fixed(0x0010, 0x1010, "AS", ""),
    fixed(0x0010, 0x1020, "DS", ""),
    fixed(0x0010, 0x1030, "DS", ""),
    fixed(0x0010, 0x21B0, "LT", ""),
    fixed(0x0018, 0x0015, "CS", ""),
    from(0x0018, 0x1012, "DA", &V::date),
    from(0x0018, 0x1014, "TM", &V::time),
    fixed(0x0018, 0x1016, "LO", kManufacturer),
    fixed(0x0018, 0x5100, "CS", ""),
    fixed(0x0020, 0x0020, "CS", ""),
    fixed(0x0020, 0x0060, "CS", ""),
    fixed(0x0028, 0x1052, "DS", "0"),
    fixed(0x0028, 0x1053, "DS", "1"),
    fixed(0x0028, 0x1054, "LO", "US"),  // a rescale asks for its type: unspecified units
};

// The values that follow from the image itself and its photometric setting.
void setImageValues(ExportValues& values, const ScanImage& image, int photometrics) {
  values.orientation = image.columns > image.rows ? "PORTRAIT" : "LANDSCAPE";
  values.photometric =
      photometrics == 1 || photometrics == 3 || photometrics == 4 ? "MONOCHROME1" : "MONOCHROME2";
  const std::int64_t range = std::int64_t{1} << image.bitsStored;
  values.windowCenter = std::to_string(range / 2);
  values.windowWidth = std::to_string(range);
  values.rows = static_cast<unsigned>(image.rows);
  values.columns = static_cast<unsigned>(image.columns);
  values.bitsStored = static_cast<unsigned>(image.bitsStored);
  values.highBit = static_cast<unsigned>(image.bitsStored - 1);
}

// Sets the rows in their order, each from its fixed value or its field of values.
void fill(DataSetBuilder& dicom, std::span<const Row> rows, const ExportValues& values) {
  for (const Row& row : rows) {
    const std::string_view vr = row.vr;
    if (vr == "US") {
      dicom.u16(row.group, row.element, row.number ? values.*row.number : row.fixedNumber);
    } else if (vr == "OB") {
      dicom.bytes(row.group, row.element, row.vr, row.fixed.data(), static_cast<std::uint32_t>(row.fixed.size()));
    } else {
      dicom.text(row.group, row.element, row.vr, row.text ? std::string_view(values.*row.text) : row.fixed);
    }
  }
}

// The 24 bytes before the pixels: the group length of 7FE0 and the header of
// the pixel data element, explicit VR little endian.
std::array<std::uint8_t, 24> pixelHeader(std::uint64_t n) {
  std::array<std::uint8_t, 24> header{};
  auto put16 = [&](std::size_t at, std::uint32_t v) {
    header[at] = static_cast<std::uint8_t>(v);
    header[at + 1] = static_cast<std::uint8_t>(v >> 8);
  };
  auto put32 = [&](std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 4; ++i) header[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  put16(0, 0x7FE0);
  put16(2, 0x0000);
  std::memcpy(header.data() + 4, "UL", 2);
  put16(6, 4);
  put32(8, n + 12);
  put16(12, 0x7FE0);
  put16(14, 0x0010);
  std::memcpy(header.data() + 16, "OW", 2);
  put16(18, 0);
  put32(20, n);
  return header;
}

// Appends the pixel data element to the written data set, its n bytes copied
// from the raw file through buffer; on a failure the data set file is removed.
int appendPixels(const std::string& internal, const std::string& raw, std::uint64_t n, std::uint8_t* buffer,
                 const std::function<bool(std::string_view)>& fileStep) {
  const std::string* failedFile = &internal;
  auto fail = [&] {
    const int error = errno;
    appLog(1, "---CDicondeObj::MakeFileDICOM(pixel info.): Fail Read/Write File(file=%s, error=%d)",
           failedFile->c_str(), error);
    ::unlink(internal.c_str());
    return 0;
  };
  auto step = [&](std::string_view what) {
    if (fileStep(what)) return true;
    errno = EIO;
    return false;
  };

  if (!step("open internal file")) return fail();
  Fd out(::open(internal.c_str(), O_WRONLY | O_CLOEXEC));
  if (!out.valid() || ::lseek(out.get(), 0, SEEK_END) < 0) return fail();

  const std::array<std::uint8_t, 24> header = pixelHeader(n);
  if (!step("write pixel header") || !writeAll(out.get(), header.data(), header.size())) return fail();

  failedFile = &raw;
  if (!step("open raw file")) return fail();
  Fd in(::open(raw.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat rawStat {};
  if (!in.valid() || ::fstat(in.get(), &rawStat) != 0) return fail();
  // A short raw file is a lost part of the image, never zeros in the export.
  if (static_cast<std::uint64_t>(rawStat.st_size) < n) {
    errno = ENODATA;
    return fail();
  }
  ::posix_fadvise(in.get(), 0, static_cast<off_t>(n), POSIX_FADV_SEQUENTIAL);

  const off_t start = ::lseek(out.get(), 0, SEEK_CUR);
  for (std::uint64_t done = 0; done < n;) {
    const std::size_t chunk =
        static_cast<std::size_t>(std::min<std::uint64_t>(CDataContainer::kCopyBufferSize, n - done));
    failedFile = &raw;
    if (!step("read pixel chunk") || !readAll(in.get(), buffer, chunk)) return fail();
    failedFile = &internal;
    if (!step("write pixel chunk") || !writeAll(out.get(), buffer, chunk)) return fail();
    // The disk starts on each piece while the next one is read, so that the
    // sync below waits for little more than the last piece.
    if (start >= 0)
      ::sync_file_range(out.get(), start + static_cast<off_t>(done), static_cast<off_t>(chunk),
                        SYNC_FILE_RANGE_WRITE);
    done += chunk;
  }
  failedFile = &internal;
  // On disk before anything names it complete.
  if (!step("sync internal file") || ::fdatasync(out.get()) != 0 || !out.close()) return fail();
  appLog(6, "---CDataContainer::MakeFileDICOM  file=%s", internal.c_str());
  return 1;
}

}  // namespace

std::string fileNameSafe(std::string_view utf8) {
  std::string out(utf8.substr(0, kMaxIdNameBytes));
  // Never end in the middle of a UTF-8 sequence.
  while (out.size() < utf8.size() && !out.empty() &&
         (static_cast<unsigned char>(utf8[out.size()]) & 0xC0) == 0x80)
    out.pop_back();
  for (char& c : out) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || b < 0x20 || b == 0x7F) c = '_';
  }
  return out;
}

int CDataContainer::MakeFileDICOM(const std::tm& t) {
  if (!scanInfo_ || !scanCondition_ || !scanImage_) return 0;
  const ScanImage& image = *scanImage_;
  const ScanCondition& condition = *scanCondition_;
  // What the file's fields can hold: 16-bit rows and columns, a 32-bit pixel length.
  if (image.rows <= 0 || image.columns <= 0 || image.rows > 0xFFFF || image.columns > 0xFFFF ||
      image.bitsStored < 1 || image.bitsStored > 16 ||
      image.pixelBytes != std::int64_t{image.rows} * image.columns * 2 ||
      image.pixelBytes > std::int64_t{0xFFFFFFFF} - 12) {
    appLog(1, "---CDataContainer::MakeFileDICOM: Bad image (rows=%d columns=%d bits=%d bytes=%lld)",
           image.rows, image.columns, image.bitsStored, static_cast<long long>(image.pixelBytes));
    return 0;
  }
  if (!copyBuffer_) return 0;

  const std::string date = format("%04d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
  const std::string time = format("%02d%02d%02d", t.tm_hour, t.tm_min, t.tm_sec);
  const std::string dateTime = date + time;

  DataSetBuilder dicom;
  if (!dicom.get()) {
    appLog(1, "---CDataContainer::MakeFileDICOM: Fail CreateDicomObject");
    return 0;
  }
  const std::string serial =
      platform::ini::getString(hardIni_, "Common", "ScannerSerialNo", "").substr(0, 255);

  // Text reaches the library as CP932; its writer turns Japanese into ISO 2022.
  const std::string id = platform::text::utf8ToCp932(scanInfo_->id);
  const std::string name = platform::text::utf8ToCp932(scanInfo_->name);
  const std::string description = platform::text::utf8ToCp932(scanInfo_->description);
  // A character the file has no code for would come out as '?': refused.
  for (const auto& [typed, converted] : {std::pair{&scanInfo_->id, &id}, std::pair{&scanInfo_->name, &name},
                                         std::pair{&scanInfo_->description, &description}}) {
    if (std::count(typed->begin(), typed->end(), '?') != std::count(converted->begin(), converted->end(), '?')) {
      appLog(1, "---CDataContainer::MakeFileDICOM: Fail text without a code in the file(%s)", typed->c_str());
      return 0;
    }
  }
  const IPSizeDefinition* size = GetIPSizeById(condition.ipSizeId);
  const std::string cassette = size ? size->cassetteSize : std::string();

  ExportValues values;
  values.date = date;
  values.time = time;
  values.charset = characterSet({&id, &name, &description, &cassette});
  values.instanceUid = makeUid(3, serial, dateTime, true);
  values.studyUid = makeUid(1, serial, dateTime, false);
  values.seriesUid = makeUid(2, serial, dateTime, true);
  values.implementationUid = std::string(kUidRoot) + ".31020000.9";
  const bool study = descriptionCategoryStudy_ == 1;
  values.studyDescription = study ? description : std::string();
  values.seriesDescription = study ? std::string() : description;
  values.name = name;
  values.id = id;
  const std::string pitch = format("%5.3f", condition.pitchUm / 1000.0);
  values.pitchPair = pitch + "\\" + pitch;
  values.cassette = cassette;
  values.sensitivity = std::to_string(condition.sensitivity);
  values.counter = std::to_string(ReadStudyCounter());
  setImageValues(values, image, imagePhotometrics_);

  fill(dicom, kDataSet, values);
  if (platform::ini::getString(siteIni_, "Settings", "OptionDICOM_F", "") == "ON") fill(dicom, kOptionF, values);

  const std::string internal = internalDicom_.string();
  if (!dicom.ok() || !fileStep("write data set") || !WriteDicomFile(dicom.get(), internal.c_str())) {
    appLog(1, "---CDataContainer::MakeFileDICOM(from file): Fail WriteDicomFile(%s)", internal.c_str());
    return 0;
  }
  return appendPixels(internal, rawImage_.string(), static_cast<std::uint64_t>(image.pixelBytes), copyBuffer_.get(),
                      [this](std::string_view what) { return fileStep(what); });
}

// The moves and companions of one export, and the undoing of them on failure.
class CDataContainer::Export {
 public:
  Export(CDataContainer& owner) : owner_(owner) {}
  ~Export() {
    if (published_) return;
    for (const fs::path& made : made_) ::unlink(made.c_str());
  }

  bool step(std::string_view what) {
    if (owner_.fileStep(what)) return true;
    errno = EIO;
    return false;
  }

  // Copies from into a new temporary file in folder (for another file system).
  bool copyInto(const fs::path& from, const fs::path& temporary) {
    made_.push_back(temporary);
    if (!step("create export copy")) return false;
    Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    Fd out(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!in.valid() || !out.valid()) return false;
    std::uint8_t* buffer = owner_.copyBuffer_.get();
    for (;;) {
      if (!step("copy chunk to export folder")) return false;
      const ssize_t got = ::read(in.get(), buffer, kCopyBufferSize);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return false;
      if (got == 0) break;
      if (!writeAll(out.get(), buffer, static_cast<std::size_t>(got))) return false;
    }
    return step("sync export copy") && ::fdatasync(out.get()) == 0 && out.close();
  }

  // Puts the internal file under base (or base_1, base_2, ...) + ".dcm" in the
  // export folder without ever replacing a file there; the chosen base in *chosen.
  bool publishDicom(const fs::path& folder, const std::string& base, std::string* chosen) {
    fs::path source = owner_.internalDicom_;
    bool copied = false;
    for (int n = 0; n < kMaxNameTries; ++n) {
      const std::string candidate = n == 0 ? base : base + "_" + std::to_string(n);
      const fs::path dcm = folder / (candidate + ".dcm");
      std::error_code ec;
      // A stray companion of an older set would join this one.
      if (fs::exists(folder / (candidate + ".dcm.info"), ec) ||
          fs::exists(folder / (candidate + ".dcm.ready"), ec))
        continue;
      bool moved = false;
      for (int attempt = 0; attempt < 2 && !moved; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!step("move to export folder")) continue;
        moved = renameNoReplace(source, dcm);
        if (!moved && errno == EEXIST) break;
        if (!moved && errno == EXDEV && !copied) {
          const fs::path temporary = folder / exportTemporaryName(candidate, ::getpid());
          if (!copyInto(source, temporary)) return false;
          source = temporary;
          copied = true;
          --attempt;  // the copy is not a try of the move
        }
      }
      if (moved) {
        made_.push_back(dcm);
        if (copied) ::unlink(owner_.internalDicom_.c_str());
        *chosen = candidate;
        return true;
      }
      if (errno != EEXIST) return false;
    }
    errno = EEXIST;
    return false;
  }

  bool writeInfo(const fs::path& info) {
    made_.push_back(info);
    return step("write info file") && platform::ini::writeString(info, "ImportInfo", "Source", "Halcyone");
  }

  bool writeReady(const fs::path& folder, const fs::path& ready) {
    if (!step("sync export folder") || !syncFolder(folder)) return false;
    made_.push_back(ready);
    if (!step("write ready file")) return false;
    Fd fd(::open(ready.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd.valid() || !fd.close()) return false;
    published_ = true;
    return true;
  }

 private:
  CDataContainer& owner_;
  std::vector<fs::path> made_;
  bool published_ = false;
};

int CDataContainer::OutputDICOM() {
  appLog(6, "---CDataContainer::OutputDICOM");
  if (!scanInfo_ || !scanCondition_ || !scanImage_) {
    appLog(1, "---CDataContainer::OutputDICOM: Nothing Scan Attr(Info=0x%04x  Cond=0x%04x  Img=0x%04x)",
           scanInfo_ ? 1u : 0u, scanCondition_ ? 1u : 0u, scanImage_ ? 1u : 0u);
    return 0;
  }
  if (!copyBuffer_) {
    appLog(1, "---CDataContainer::OutputDICOM: Fail Memory allocate temp imgbuff(size=%d)",
           static_cast<int>(kCopyBufferSize));
    return 0;
  }
  const std::time_t now = clock_ ? clock_() : std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  const std::string stamp = format("%04d%02d%02d%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                                   t.tm_hour, t.tm_min, t.tm_sec);
  const std::string base = scanInfo_->id.empty() ? stamp : fileNameSafe(scanInfo_->id) + "_" + stamp;

  if (!MakeFileDICOM(t)) return 0;

  Export job(*this);
  std::string chosen;
  if (!job.publishDicom(exportFolder_, base, &chosen)) {
    appLog(1, "---CDataContainer::OutputDICOM: Fail MoveFile(Internal DICOM file=%s To file=%s)",
           internalDicom_.c_str(), (exportFolder_ / (base + ".dcm")).c_str());
    ::unlink(internalDicom_.c_str());
    return 0;
  }
  const fs::path dcm = exportFolder_ / (chosen + ".dcm");
  const fs::path info = exportFolder_ / (chosen + ".dcm.info");
  const fs::path ready = exportFolder_ / (chosen + ".dcm.ready");
  appLog(6, "---CDataContainer::OutputDICOM(to export)  dcmfile=%s", dcm.c_str());
  if (!job.writeInfo(info)) {
    appLog(1, "---CDataContainer::OutputDICOM: Fail WriteInfoFile(%s)", info.c_str());
    return 0;
  }
  if (!job.writeReady(exportFolder_, ready)) {
    appLog(1, "---CDataContainer::OutputDICOM: Fail CreateFile(%s)", ready.c_str());
    return 0;
  }
  appLog(6, "---CDataContainer::OutputDICOM(to export)  infofile=%s", info.c_str());
  appLog(6, "---CDataContainer::OutputDICOM(to export)  readyfile=%s", ready.c_str());
  lastExported_ = dcm;

  // The set is out; a counter that cannot be written only repeats its number.
  if (!fileStep("write study counter") || !WriteStudyCounter(ReadStudyCounter() + 1))
    appLog(1, "---CDataContainer::OutputDICOM: Fail WriteStudyCounter(%s)", siteIni_.c_str());
  return 1;
}

}  // namespace crapp
