// Helpers shared by the format tests: test images, sample comparison, a
// prompt that answers from a script, and a file-size limit for short writes.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdlib>
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
  bool jpegQuality(int& quality) override {
    offeredQualities.push_back(quality);
    if (qualityAnswers.empty()) return false;
    quality = qualityAnswers.front();
    qualityAnswers.pop_front();
    return true;
  }
  std::deque<int> qualityAnswers;
  std::vector<int> offeredQualities;
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

namespace formats_test {

// A smooth w x h image (what JPEG is made for): a diagonal ramp from 0 to top.
inline void makeSmoothImage(viewer::CImageItem& item, int bps, int w, int h, int top) {
  ASSERT_TRUE(item.allocate(bps, w, h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int v = int(std::int64_t(top) * (x + y) / (w + h - 2));
      if (bps == 2) item.data16()[std::size_t(y) * w + x] = std::uint16_t(v);
      else item.data()[std::size_t(y) * w + x] = std::uint8_t(v);
    }
  item.bitsStored = bps == 1 ? 8 : top > 1023 ? 12 : 10;
}

// The largest difference between two sample lists of the same length.
inline int maxDifference(const std::vector<int>& a, const std::vector<int>& b) {
  EXPECT_EQ(a.size(), b.size());
  int worst = 0;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

// The samples of a binary PGM (8 or 16 bits per sample, big-endian), with its maxval.
inline std::vector<int> pgmSamples(const std::string& bytes, int& width, int& height, int& maxval) {
  std::size_t pos = 0;
  auto token = [&]() {
    while (pos < bytes.size() && (isspace(static_cast<unsigned char>(bytes[pos])) || bytes[pos] == '#')) {
      if (bytes[pos] == '#') while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
      else ++pos;
    }
    std::string t;
    while (pos < bytes.size() && !isspace(static_cast<unsigned char>(bytes[pos]))) t += bytes[pos++];
    return t;
  };
  width = height = maxval = 0;
  if (token() != "P5") return {};
  width = std::stoi(token());
  height = std::stoi(token());
  maxval = std::stoi(token());
  ++pos;
  std::vector<int> out;
  const int bytesPer = maxval > 255 ? 2 : 1;
  for (std::size_t i = 0; i < std::size_t(width) * std::size_t(height); ++i) {
    const std::size_t at = pos + i * std::size_t(bytesPer);
    if (at + std::size_t(bytesPer) > bytes.size()) break;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + at;
    out.push_back(bytesPer == 2 ? (p[0] << 8 | p[1]) : p[0]);
  }
  return out;
}

// A binary PGM of the given samples.
inline std::string makePgm(int width, int height, int maxval, const std::vector<int>& s) {
  std::string out = "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n" + std::to_string(maxval) + "\n";
  for (int v : s) {
    if (maxval > 255) out += char(v >> 8);
    out += char(v & 0xFF);
  }
  return out;
}

}  // namespace formats_test
