#include "hosts/scanapp/output_pattern.h"

#include <filesystem>
#include <system_error>

namespace ombrel {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

constexpr std::size_t kMaxRun = 8;

}  // namespace

std::string OutputPattern::fileName(long number) const {
  std::string digits = std::to_string(number < 0 ? 0 : number);
  if (digits.size() < std::size_t(width)) digits.insert(0, std::size_t(width) - digits.size(), '0');
  return prefix + digits + suffix;
}

OutputPattern makePattern(std::string_view path) {
  OutputPattern p;
  const std::size_t slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  const std::size_t dot = path.rfind('.');
  const std::string_view extension =
      dot != std::string_view::npos && dot >= nameStart ? path.substr(dot) : std::string_view();
  if (equalsNoCase(extension, ".tif")) p.format = Format::Tiff;
  else if (equalsNoCase(extension, ".dcm")) p.format = Format::Dicom;

  std::size_t runEnd = 0, runStart = std::string_view::npos;
  for (std::size_t i = path.size(); i > nameStart; --i) {
    if (!isDigit(path[i - 1])) continue;
    if (runStart == std::string_view::npos) runEnd = i;
    if (runEnd - (i - 1) > kMaxRun) break;
    runStart = i - 1;
    if (runEnd - runStart >= kMaxRun) break;
  }
  if (runStart == std::string_view::npos) {
    const std::size_t cut = extension.empty() ? path.size() : dot;
    p.prefix = std::string(path.substr(0, cut));
    p.suffix = std::string(path.substr(cut));
    return p;
  }
  p.prefix = std::string(path.substr(0, runStart));
  p.suffix = std::string(path.substr(runEnd));
  p.width = int(runEnd - runStart);
  long start = 0;
  for (std::size_t i = runStart; i < runEnd && isDigit(path[i]); ++i) start = start * 10 + (path[i] - '0');
  p.start = start;
  return p;
}

bool outputFolderExists(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return true;
  const std::string folder = slash == 0 ? std::string("/") : std::string(path.substr(0, slash));
  std::error_code ec;
  return std::filesystem::is_directory(folder, ec);
}

}  // namespace ombrel
