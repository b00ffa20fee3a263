// What every reader and writer of the viewer shares: the process-wide list of
// failure reasons, the questions they ask the user, and the settings they use.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace viewer::formats {

enum Reason : int {
  kReasonNone = 0,
  kUnknownReason = 150,
  kLargerThan12Bits = 151,
  kOutOfMemory = 152,
  kSignedPixelData = 153,
  kCompressedImageData = 154,
  kFileAccessFailure = 155,
  kNotSupported = 156,
  kCancelled = 157,
};

// The failed-files list of one open: the current reason with its detail, and
// one line per file that could not be opened.
class FailureList {
 public:
  // Readers start every read with no reason.
  void beginRead();
  void setReason(int reason);
  void setNotSupported(const std::string& detail);
  int reason() const;
  std::string detail() const;
  // Adds "<name>          <reason text><detail>"; a read that left no reason
  // is listed as "Unknown reason".
  void addCurrent(const std::string& fileName);
  void clear();
  int count() const;
  std::vector<std::string> lines() const;
  bool outOfMemory() const;

 private:
  mutable std::mutex mutex_;
  int reason_ = kReasonNone;
  std::string detail_;
  bool outOfMemory_ = false;
  std::vector<std::string> lines_;
};

FailureList& failures();

// Records a reason and returns 0, the readers' failure result.
int fail(int reason, const std::string& detail = {});

// The values of the "Raw File Parameters" dialog.
struct RawDialogValues {
  int width = 0;
  int height = 0;
  std::int64_t headerSize = 0;
  int depthIndex = 2;  // 0 " 8 bits", 1 "10 bits", 2 "12 bits"
  int byteOrder = 1;   // 0 Macintosh, 1 Windows
  int adopt = 1;
};

// Every question a reader or writer puts to the user; the viewer answers with
// dialogs, tests with scripted answers.
class Prompt {
 public:
  virtual ~Prompt() = default;
  // The RAW parameter dialog over the offered values; false for "&Cancel".
  virtual bool rawParameters(const std::string& fileName, std::uint64_t fileSize, RawDialogValues& values) = 0;
  // A message box without owner, exclamation icon and OK.
  virtual void message(const std::string& text, const std::string& caption) = 0;
  // The "Settings of the JPEG Compression" dialog, starting from a quality;
  // false for "&Cancel".
  virtual bool jpegQuality(int& quality) = 0;
};

// The installed prompt; a default that cancels every dialog and drops every
// message when none was installed.
Prompt& prompt();
void setPrompt(Prompt* p);

// The settings the formats read (the viewer copies them from its settings file).
struct FormatSettings {
  int jpegQuality = 75;  // Setting/JpegQuality, 65..95
  int rawBitsPixel = 2;  // Setting/RawBitsPixel, written back after every RAW dialog
  int useMih = 1;        // UseMIH: preamble and meta group in DICONDE files
  std::string partNo = "58274613";  // PartNo, Instance: digit strings, components of the program's UID root
  std::string instance;
};
FormatSettings& settings();

// Asks for the JPEG quality, starting from Setting/JpegQuality; an accepted
// value (0..95, the dialog's own range) becomes the setting. False when cancelled.
bool chooseJpegQuality();

// The writers' message: "Failed to write the file(<path>)." / "Failed to write.".
void reportWriteFailure(const std::string& path);

// While one lives on this thread, a writer's failure is kept in it instead of
// shown, for a caller whose user never chose the file to word its own message.
class WriteFailureCapture {
 public:
  WriteFailureCapture();
  ~WriteFailureCapture();
  WriteFailureCapture(const WriteFailureCapture&) = delete;
  WriteFailureCapture& operator=(const WriteFailureCapture&) = delete;
  bool failed() const { return failed_; }
  // The system's error number of the failure; 0 when it had none.
  int error() const { return error_; }

 private:
  friend void reportWriteFailure(const std::string& path);
  WriteFailureCapture* outer_;
  bool failed_ = false;
  int error_ = 0;
};

}  // namespace viewer::formats
