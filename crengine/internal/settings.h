// The engine's settings in HalcyoneHard.ini, shared with the CR program.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace crengine {

enum Mode { kModeScan = 1, kModeDemo = 2, kModeTest = 3 };

struct Settings {
  int mode = kModeScan;
  int newCommandTimeoutSec = -1;
  int alwaysOnIpSetFlag = 0;
  int idleMs = 250;
  std::optional<int> serialNo;
  std::string demoImageDir = ".\\halcDemoData\\";
  std::string testImageDir = ".\\halcDemoData\\";

  // Missing keys keep the defaults above; each value read is logged.
  static Settings read(const std::filesystem::path& iniFile);
};

// Key LogLevel of section Log, when present.
std::optional<int> readLogLevel(const std::filesystem::path& iniFile);

// Writes the reader's serial number when it differs from the stored one.
void storeSerialNumber(const std::filesystem::path& iniFile, Settings& settings, int serial);

}  // namespace crengine
