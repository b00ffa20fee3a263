#include "log_helpers.h"

#include "testsupport/testsupport.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace logtest {
namespace {

bool digits(const std::string& s, std::size_t from, std::size_t count) {
  if (from + count > s.size()) return false;
  for (std::size_t i = from; i < from + count; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

}  // namespace

Line parseLine(const std::string& s) {
  Line out;
  // Fixed-width stamp: "YYYY/MM/DD hh:mm:ss.mmm".
  if (s.size() < 23 || !digits(s, 0, 4) || s[4] != '/' || !digits(s, 5, 2) || s[7] != '/' || !digits(s, 8, 2) ||
      s[10] != ' ' || !digits(s, 11, 2) || s[13] != ':' || !digits(s, 14, 2) || s[16] != ':' ||
      !digits(s, 17, 2) || s[19] != '.' || !digits(s, 20, 3))
    return out;
  out.stamp = s.substr(0, 23);
  std::size_t pos = 23;
  if (pos >= s.size() || s[pos] != '[') return out;
  std::size_t close = s.find(']', pos);
  if (close == std::string::npos || close - pos - 1 < 4) return out;
  std::string hex = s.substr(pos + 1, close - pos - 1);
  if (hex.find_first_not_of("0123456789abcdef") != std::string::npos) return out;
  out.threadId = static_cast<unsigned>(std::stoul(hex, nullptr, 16));
  pos = close + 1;
  if (s.compare(pos, 2, " (") != 0) return out;
  pos += 2;
  std::size_t end = s.find(')', pos);
  if (end == std::string::npos || end == pos) return out;
  std::string level = s.substr(pos, end - pos);
  if (level.find_first_not_of("-0123456789") != std::string::npos) return out;
  out.level = std::stoi(level);
  pos = end + 1;
  if (s.compare(pos, 2, "<F") == 0) {
    std::size_t tagEnd = s.find('>', pos);
    if (tagEnd == std::string::npos || tagEnd - pos - 2 < 2 || !digits(s, pos + 2, tagEnd - pos - 2)) return out;
    out.facility = std::stoi(s.substr(pos + 2, tagEnd - pos - 2));
    pos = tagEnd + 1;
  }
  if (s.compare(pos, 2, ": ") != 0) return out;
  out.message = s.substr(pos + 2);
  out.ok = out.message.find_first_of("\r\n") == std::string::npos;
  return out;
}

std::vector<std::string> readLines(const std::filesystem::path& file) {
  std::string text = testsupport::readFile(file);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start) + "\n");  // unterminated: cannot parse
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::vector<std::string> fileNames(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

StderrCapture::StderrCapture(std::filesystem::path file) : file_(std::move(file)) {
  std::fflush(stderr);
  saved_ = ::dup(2);
  int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ::dup2(fd, 2);
  ::close(fd);
}

StderrCapture::~StderrCapture() {
  if (saved_ >= 0) {
    std::fflush(stderr);
    ::dup2(saved_, 2);
    ::close(saved_);
  }
}

std::string StderrCapture::text() {
  std::fflush(stderr);
  if (saved_ >= 0) {
    ::dup2(saved_, 2);
    ::close(saved_);
    saved_ = -1;
  }
  return testsupport::readFile(file_);
}

}  // namespace logtest
