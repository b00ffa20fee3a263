#include "viewer/formats/format_support.h"

#include "viewer/formats/internal/file_io.h"
#include "viewer/strings.h"

namespace viewer::formats {

void FailureList::beginRead() {
  std::lock_guard lock(mutex_);
  reason_ = kReasonNone;
  detail_.clear();
}

void FailureList::setReason(int reason) {
  std::lock_guard lock(mutex_);
  reason_ = reason;
  detail_.clear();
  if (reason == kOutOfMemory) outOfMemory_ = true;
}

void FailureList::setNotSupported(const std::string& detail) {
  std::lock_guard lock(mutex_);
  reason_ = kNotSupported;
  detail_ = detail;
}

int FailureList::reason() const {
  std::lock_guard lock(mutex_);
  return reason_;
}

std::string FailureList::detail() const {
  std::lock_guard lock(mutex_);
  return detail_;
}

void FailureList::addCurrent(const std::string& fileName) {
  std::lock_guard lock(mutex_);
  const int r = reason_ >= kUnknownReason && reason_ <= kCancelled ? reason_ : kUnknownReason;
  lines_.push_back(fileName + std::string(10, ' ') + viewerString(r) + detail_);
}

void FailureList::clear() {
  std::lock_guard lock(mutex_);
  lines_.clear();
  reason_ = kReasonNone;
  detail_.clear();
  outOfMemory_ = false;
}

int FailureList::count() const {
  std::lock_guard lock(mutex_);
  return int(lines_.size());
}

std::vector<std::string> FailureList::lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

bool FailureList::outOfMemory() const {
  std::lock_guard lock(mutex_);
  return outOfMemory_;
}

FailureList& failures() {
  static FailureList list;
  return list;
}

int fail(int reason, const std::string& detail) {
  if (reason == kNotSupported && !detail.empty()) failures().setNotSupported(detail);
  else failures().setReason(reason);
  return 0;
}

namespace {

class SilentPrompt : public Prompt {
 public:
  bool rawParameters(const std::string&, std::uint64_t, RawDialogValues&) override { return false; }
  void message(const std::string&, const std::string&) override {}
  bool jpegQuality(int&) override { return false; }
};

Prompt* g_prompt = nullptr;

}  // namespace

Prompt& prompt() {
  static SilentPrompt silent;
  return g_prompt ? *g_prompt : silent;
}

void setPrompt(Prompt* p) { g_prompt = p; }

FormatSettings& settings() {
  static FormatSettings s;
  return s;
}

bool chooseJpegQuality() {
  int quality = settings().jpegQuality;
  if (!prompt().jpegQuality(quality) || quality < 0 || quality > 95) return false;
  settings().jpegQuality = quality;
  return true;
}

namespace {
thread_local WriteFailureCapture* t_capture = nullptr;
}

WriteFailureCapture::WriteFailureCapture() : outer_(t_capture) { t_capture = this; }
WriteFailureCapture::~WriteFailureCapture() { t_capture = outer_; }

void reportWriteFailure(const std::string& path) {
  if (t_capture != nullptr) {
    t_capture->failed_ = true;
    t_capture->error_ = internal::OutputFile::lastError();
    return;
  }
  std::string text = viewerString(41);
  text.replace(text.find("%s"), 2, path);
  prompt().message(text, viewerString(42));
}

}  // namespace viewer::formats
