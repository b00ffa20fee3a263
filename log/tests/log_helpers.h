// Shared by the log tests: reading log files back and checking every line.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace logtest {

// One written line taken apart; ok is false when the line breaks the format
// "YYYY/MM/DD hh:mm:ss.mmm[tid] (level)<Fnn>: message".
struct Line {
  bool ok = false;
  std::string stamp;  // "YYYY/MM/DD hh:mm:ss.mmm"
  unsigned threadId = 0;
  int level = 0;
  int facility = -1;  // -1 when the line carries no tag
  std::string message;
};

Line parseLine(const std::string& line);

// The lines of a file split at CR LF; a file that does not end in CR LF or
// holds a lone CR or LF yields a line that fails to parse.
std::vector<std::string> readLines(const std::filesystem::path& file);

// File names in a directory, sorted.
std::vector<std::string> fileNames(const std::filesystem::path& dir);

// Redirects the standard error stream into a file for the life of the object.
class StderrCapture {
 public:
  explicit StderrCapture(std::filesystem::path file);
  ~StderrCapture();
  std::string text();  // ends the capture

 private:
  std::filesystem::path file_;
  int saved_ = -1;
};

}  // namespace logtest
