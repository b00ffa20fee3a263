#include "crengine/internal/settings.h"

#include "crengine/internal/elog.h"

#include "platform/ini.h"

#include <string_view>

namespace crengine {
namespace {

std::optional<int> readInt(const platform::ini::IniFile& ini, const char* section, const char* key) {
  auto value = ini.value(section, key);
  if (!value) return std::nullopt;
  int v = platform::ini::parseInt(*value);
  elog(9, "  %s = %d\n", key, v);
  return v;
}

std::optional<std::string> readText(const platform::ini::IniFile& ini, const char* section, const char* key) {
  auto value = ini.value(section, key);
  if (!value) return std::nullopt;
  if (value->empty())
    elog(9, "  %s = (NULL)\n", key);
  else
    elog(9, "  %s = %s\n", key, value->c_str());
  return value;
}

bool equalNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

Settings Settings::read(const std::filesystem::path& iniFile) {
  Settings s;
  auto ini = platform::ini::IniFile::load(iniFile);
  if (auto mode = readText(ini, "Common", "Mode")) {
    if (equalNoCase(*mode, "Demo"))
      s.mode = kModeDemo;
    else if (equalNoCase(*mode, "Test"))
      s.mode = kModeTest;
  }
  if (auto v = readInt(ini, "Common", "ZNTR_New_CommandTimeoutSec")) s.newCommandTimeoutSec = *v;
  if (auto v = readInt(ini, "Common", "AlwaysON_IPSetFlag")) {
    s.alwaysOnIpSetFlag = *v;
    if (*v > 0) elog(6, "  DebugFlag ON: AlwaysON_IPSetFlag");
  }
  if (auto v = readInt(ini, "Common", "ScannerThread_IdleMs")) {
    // A wait of 0 would spin; a negative one is no wait at all.
    if (*v > 0) s.idleMs = *v;
    elog(6, "  ScannerThread_IdleMs = %dms", s.idleMs);
  }
  s.serialNo = readInt(ini, "Common", "ScannerSerialNo");
  if (auto v = readText(ini, "Demo", "ImageDir")) s.demoImageDir = *v;
  if (auto v = readText(ini, "Test", "ImageDir")) s.testImageDir = *v;
  return s;
}

std::optional<int> readLogLevel(const std::filesystem::path& iniFile) {
  auto ini = platform::ini::IniFile::load(iniFile);
  return readInt(ini, "Log", "LogLevel");
}

void storeSerialNumber(const std::filesystem::path& iniFile, Settings& settings, int serial) {
  if (settings.serialNo.value_or(-1) == serial) return;
  settings.serialNo = serial;
  platform::ini::writeString(iniFile, "Common", "ScannerSerialNo", std::to_string(serial));
}

}  // namespace crengine
