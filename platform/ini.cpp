#include "platform/ini.h"

#include "platform/internal/strings.h"
#include "platform/paths.h"
#include "platform/sync.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <sstream>
#include <unistd.h>

namespace platform::ini {
namespace {

using internal::equalsNoCase;
using internal::trim;

std::string unquote(std::string_view v) {
  v = trim(v);
  if (v.size() >= 2 && ((v.front() == '"' && v.back() == '"') || (v.front() == '\'' && v.back() == '\'')))
    v = v.substr(1, v.size() - 2);
  return std::string(v);
}

// One line of a file without its line ending, and the ending it had.
struct Line {
  std::string_view text;
  std::string_view ending;
};

std::vector<Line> splitLines(std::string_view content) {
  std::vector<Line> lines;
  std::size_t pos = 0;
  while (pos < content.size()) {
    std::size_t end = content.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) {
      lines.push_back({content.substr(pos), {}});
      break;
    }
    std::size_t endLen = (content[end] == '\r' && end + 1 < content.size() && content[end + 1] == '\n') ? 2 : 1;
    lines.push_back({content.substr(pos, end - pos), content.substr(end, endLen)});
    pos = end + endLen;
  }
  return lines;
}

// "[name]" gives name; anything else nullopt.
std::optional<std::string_view> sectionName(std::string_view line) {
  line = trim(line);
  if (line.size() < 2 || line.front() != '[') return std::nullopt;
  std::size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return trim(line.substr(1, close - 1));
}

bool readFile(const std::filesystem::path& file, std::string& out) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  out = ss.str();
  return true;
}

bool hasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

int parseInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

IniFile IniFile::parse(std::string_view content) {
  IniFile ini;
  std::string current;
  bool inSection = false;
  for (const Line& line : splitLines(content)) {
    if (auto name = sectionName(line.text)) {
      current = std::string(*name);
      inSection = true;
      ini.sections_.push_back(current);
      continue;
    }
    if (!inSection) continue;
    std::string_view text = trim(line.text);
    if (text.empty() || text.front() == ';') continue;
    std::size_t eq = text.find('=');
    if (eq == std::string_view::npos) continue;
    ini.entries_.push_back({current, std::string(trim(text.substr(0, eq))), unquote(text.substr(eq + 1))});
  }
  return ini;
}

IniFile IniFile::load(const std::filesystem::path& file) {
  std::string content;
  if (!readFile(file, content)) return {};
  return parse(content);
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const {
  for (const Entry& e : entries_)
    if (equalsNoCase(e.section, section) && equalsNoCase(e.key, key)) return e.value;
  return std::nullopt;
}

std::string IniFile::getString(std::string_view section, std::string_view key,
                               std::string_view def) const {
  auto v = value(section, key);
  return v ? *v : std::string(def);
}

int IniFile::getInt(std::string_view section, std::string_view key, int def) const {
  auto v = value(section, key);
  return v ? parseInt(*v) : def;
}

bool IniFile::hasSection(std::string_view section) const {
  return std::any_of(sections_.begin(), sections_.end(),
                     [&](const std::string& s) { return equalsNoCase(s, section); });
}

std::vector<std::string> IniFile::keys(std::string_view section) const {
  std::vector<std::string> out;
  for (const Entry& e : entries_)
    if (equalsNoCase(e.section, section)) out.push_back(e.key);
  return out;
}

std::optional<std::string> readString(const std::filesystem::path& file, std::string_view section,
                                      std::string_view key) {
  return IniFile::load(file).value(section, key);
}

std::string getString(const std::filesystem::path& file, std::string_view section,
                      std::string_view key, std::string_view def) {
  return IniFile::load(file).getString(section, key, def);
}

std::size_t getString(const std::filesystem::path& file, std::string_view section,
                      std::string_view key, std::string_view def, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  std::string v = getString(file, section, key, def);
  std::size_t n = std::min(v.size(), size - 1);
  std::memcpy(out, v.data(), n);
  out[n] = '\0';
  return n;
}

int getInt(const std::filesystem::path& file, std::string_view section, std::string_view key,
           int def) {
  return IniFile::load(file).getInt(section, key, def);
}

bool writeString(const std::filesystem::path& file, std::string_view section, std::string_view key,
                 std::string_view value) {
  if (hasLineBreak(section) || hasLineBreak(key) || hasLineBreak(value) ||
      key.find('=') != std::string_view::npos || trim(key).empty())
    return false;

  // One lock per file for every process of the user, so concurrent writers of
  // different keys never lose each other's change.
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(file, ec);
  if (ec) return false;
  NamedMutex lock("ini-" + std::to_string(std::hash<std::string>{}(absolute.lexically_normal().string())));
  if (!lock.lock()) return false;

  std::string content;
  readFile(absolute, content);  // a missing file is an empty one
  std::vector<Line> lines = splitLines(content);

  std::string_view newline = "\r\n";
  for (const Line& l : lines)
    if (!l.ending.empty()) {
      newline = l.ending;
      break;
    }

  std::string keyLine = std::string(key) + "=" + std::string(value);
  bool inTarget = false, seenTarget = false, done = false;
  std::size_t insertAfter = std::string::npos;  // end of the last key line of the target section
  std::vector<std::string> out;
  out.reserve(lines.size() + 2);
  for (const Line& l : lines) {
    std::string whole = std::string(l.text) + std::string(l.ending);
    if (auto name = sectionName(l.text)) {
      inTarget = !done && equalsNoCase(*name, section);
      if (inTarget && !seenTarget) {
        seenTarget = true;
        out.push_back(whole);
        insertAfter = out.size();
        continue;
      }
      if (inTarget) inTarget = false;  // only the first section of that name counts
      out.push_back(whole);
      continue;
    }
    if (inTarget && !done) {
      std::string_view t = trim(l.text);
      std::size_t eq = t.find('=');
      if (!t.empty() && t.front() != ';' && eq != std::string_view::npos &&
          equalsNoCase(trim(t.substr(0, eq)), key)) {
        out.push_back(keyLine + std::string(l.ending.empty() ? std::string_view() : l.ending));
        done = true;
        continue;
      }
      if (!t.empty()) insertAfter = out.size() + 1;
    }
    out.push_back(whole);
  }
  if (!done) {
    if (seenTarget) {
      // A last line without an ending must get one before a line is added after it.
      if (insertAfter > 0 && insertAfter <= out.size()) {
        std::string& prev = out[insertAfter - 1];
        if (prev.empty() || (prev.back() != '\n' && prev.back() != '\r')) prev += newline;
      }
      out.insert(out.begin() + static_cast<std::ptrdiff_t>(insertAfter), keyLine + std::string(newline));
    } else {
      if (!out.empty()) {
        std::string& last = out.back();
        if (last.back() != '\n' && last.back() != '\r') last += newline;
      }
      out.push_back("[" + std::string(section) + "]" + std::string(newline));
      out.push_back(keyLine + std::string(newline));
    }
  }
  std::string result;
  for (const std::string& s : out) result += s;

  std::filesystem::path tmp = absolute;
  tmp += ".tmp" + std::to_string(::getpid());
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::size_t written = 0;
  while (written < result.size()) {
    ssize_t n = ::write(fd, result.data() + written, result.size() - written);
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  bool ok = written == result.size() && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (!ok || std::rename(tmp.c_str(), absolute.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return false;
  }
  return true;
}

bool writeInt(const std::filesystem::path& file, std::string_view section, std::string_view key,
              int value) {
  char buf[16];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  return writeString(file, section, key, std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
}

}  // namespace platform::ini
