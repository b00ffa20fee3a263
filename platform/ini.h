// Private-profile (ini) files: read values by section and key, write them back in place.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::ini {

// Parses an integer the way profile readers do: leading blanks, an optional
// sign, decimal digits up to the first non-digit ("55zz" is 55); no digits is 0.
// Values beyond the range of int are clamped.
int parseInt(std::string_view text);

// One parsed file. Sections and keys compare without case; the first match wins.
class IniFile {
 public:
  // A missing or unreadable file gives an empty IniFile.
  static IniFile load(const std::filesystem::path& file);
  static IniFile parse(std::string_view content);

  // The trimmed value with one pair of surrounding quotes removed; nullopt when
  // the section or key is absent (an empty value is "", not nullopt).
  std::optional<std::string> value(std::string_view section, std::string_view key) const;
  std::string getString(std::string_view section, std::string_view key,
                        std::string_view def) const;
  int getInt(std::string_view section, std::string_view key, int def) const;
  bool hasSection(std::string_view section) const;
  // The keys of a section in file order.
  std::vector<std::string> keys(std::string_view section) const;

 private:
  struct Entry {
    std::string section, key, value;
  };
  std::vector<Entry> entries_;
  std::vector<std::string> sections_;
};

// Single look-ups that read the file each time, as the profile functions do.
std::optional<std::string> readString(const std::filesystem::path& file, std::string_view section,
                                      std::string_view key);
std::string getString(const std::filesystem::path& file, std::string_view section,
                      std::string_view key, std::string_view def);
// Copies at most size-1 bytes and a terminating NUL into out; returns the bytes copied.
std::size_t getString(const std::filesystem::path& file, std::string_view section,
                      std::string_view key, std::string_view def, char* out, std::size_t size);
int getInt(const std::filesystem::path& file, std::string_view section, std::string_view key,
           int def);

// Sets section/key to value, creating the file, section or key as needed; every
// other line, its order and the file's line endings are kept. The file is
// replaced atomically under a lock shared by all processes of the user.
// Refuses (false) a section, key or value with CR or LF, and a key with '='.
bool writeString(const std::filesystem::path& file, std::string_view section, std::string_view key,
                 std::string_view value);
bool writeInt(const std::filesystem::path& file, std::string_view section, std::string_view key,
              int value);

}  // namespace platform::ini
