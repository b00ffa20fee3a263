// Helpers shared by the format tests: test images, sample comparison, a
// prompt that answers from a script, and a file-size limit for short writes.
#pragma once

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <deque>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "viewer/formats/format_support.h"
#include "viewer/image_model.h"

namespace formats_test {

// A w x h image with a ramp that touches every row and column differently,
// its largest sample `top` (at the last pixel).
inline void makeImage(viewer::CImageItem& item, int bps, int w, int h, int top) {
  ASSERT_TRUE(item.allocate(bps, w, h));
  const std::size_t n = item.sampleCount();
  for (std::size_t i = 0; i < n; ++i) {
    const int v = int((i * 7919 + i / std::size_t(w) * 31) % std::size_t(top + 1));
    if (bps == 2) item.data16()[i] = std::uint16_t(v);
    else item.data()[i] = std::uint8_t(v);
  }
  if (bps == 2) item.data16()[n - 1] = std::uint16_t(top);
  else item.data()[n - 1] = std::uint8_t(top);
  item.bitsStored = bps == 1 ? 8 : top > 1023 ? 12 : 10;
}

inline std::vector<int> samples(const viewer::CImageBuffer& b) {
  std::vector<int> out;
  out.reserve(b.sampleCount());
  for (int y = 0; y < b.height(); ++y)
    for (int x = 0; x < b.width(); ++x) out.push_back(b.pixel(x, y));
  return out;
}

// Answers the RAW dialog from a queue of answers (nothing queued: Cancel) and
// records every question and message.
class ScriptedPrompt : public viewer::formats::Prompt {
 public:
  ScriptedPrompt() { viewer::formats::setPrompt(this); }
  ~ScriptedPrompt() override { viewer::formats::setPrompt(nullptr); }
  struct RawAnswer {
    bool ok;
    viewer::formats::RawDialogValues values;
  };
  bool rawParameters(const std::string& name, std::uint64_t size, viewer::formats::RawDialogValues& v) override {
    offered.push_back(v);
    askedNames.push_back(name);
    askedSizes.push_back(size);
    if (answers.empty()) return false;
    RawAnswer a = answers.front();
    answers.pop_front();
    if (a.ok) v = a.values;
    return a.ok;
  }
  void message(const std::string& text, const std::string& caption) override {
    messages.push_back(caption + "|" + text);
  }
  std::deque<RawAnswer> answers;
  std::vector<viewer::formats::RawDialogValues> offered;
  std::vector<std::string> askedNames;
  std::vector<std::uint64_t> askedSizes;
  std::vector<std::string> messages;
};

// Limits the size of files this process may write, so writes come short;
// SIGXFSZ is ignored so the write returns EFBIG instead.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit r = old_;
    r.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &r);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit old_{};
  void (*oldHandler_)(int) = nullptr;
};

}  // namespace formats_test
