#include "scanui/internal/settings.h"

#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace scanui::internal {
namespace {

constexpr std::size_t kNameRoom = 100;      // 99 characters and the NUL
constexpr std::size_t kMessageRoom = 1000;  // 999 characters and the NUL
constexpr std::size_t kPitchRoom = 20;      // 19 characters and the NUL

// At most room - 1 bytes, never the first half of a double-byte character.
std::string bounded(const char* section, const std::string& key, const std::string& def,
                    std::size_t room) {
  std::string value = platform::ini::getString(settingsFile(), section, key, def);
  value.resize(platform::text::cp932CutLength(value, room - 1));
  return value;
}

std::string profileKey(const char* name, int n) { return name + std::to_string(n); }

}  // namespace

std::filesystem::path settingsFile() { return platform::paths::configDir() / "Oskelu.INI"; }

DeviceNames readDeviceNames() {
  return {bounded("Device", "Vendor ID", "TRESSOLA", kNameRoom),
          bounded("Device", "Product ID", "KT7163", kNameRoom)};
}

std::string messageFor(const std::string& deviceText) {
  return bounded("Message", deviceText, deviceText, kMessageRoom);
}

Profile readProfile(int n) {
  const platform::ini::IniFile ini = platform::ini::IniFile::load(settingsFile());
  Profile p;
  if (n == 0) {
    p.host = ini.getInt("Profile", "Host", p.host);
    p.digitizer = ini.getInt("Profile", "Digitizer", p.digitizer);
  }
  p.bits = ini.getInt("Profile", profileKey("Bits", n), p.bits);
  p.od = ini.getInt("Profile", profileKey("OD", n), p.od);
  // Shown as text in the editable selector; the number in it is read where it is used.
  p.pitch = ini.getString("Profile", profileKey("Pitch", n), p.pitch);
  p.pitch.resize(platform::text::cp932CutLength(p.pitch, kPitchRoom - 1));
  p.mode = ini.getInt("Profile", profileKey("Mode", n), p.mode);
  return p;
}

bool writeProfile(int n, const Profile& p) {
  const std::filesystem::path file = settingsFile();
  bool ok = true;
  if (n == 0) {
    ok &= platform::ini::writeInt(file, "Profile", "Host", p.host);
    ok &= platform::ini::writeInt(file, "Profile", "Digitizer", p.digitizer);
  }
  ok &= platform::ini::writeInt(file, "Profile", profileKey("Bits", n), p.bits);
  ok &= platform::ini::writeInt(file, "Profile", profileKey("OD", n), p.od);
  ok &= platform::ini::writeString(file, "Profile", profileKey("Pitch", n),
                                   p.pitch.substr(0, platform::text::cp932CutLength(p.pitch, kPitchRoom - 1)));
  ok &= platform::ini::writeInt(file, "Profile", profileKey("Mode", n), p.mode);
  return ok;
}

AntiMoire readAntiMoire() {
  const platform::ini::IniFile ini = platform::ini::IniFile::load(settingsFile());
  AntiMoire a;
  a.scanPitch = ini.getInt("AntiMoire", "ScanPitch", a.scanPitch);
  a.horizontalGrid = ini.getInt("AntiMoire", "HorizontalGrid", a.horizontalGrid);
  a.verticalGrid = ini.getInt("AntiMoire", "VerticalGrid", a.verticalGrid);
  a.filterAmplitudeH = ini.getInt("AntiMoire", "FilterAmplitudeH", a.filterAmplitudeH);
  a.filterAmplitudeV = ini.getInt("AntiMoire", "FilterAmplitudeV", a.filterAmplitudeV);
  a.filterType = ini.getInt("AntiMoire", "FilterType", a.filterType);
  a.interpolationType = ini.getInt("AntiMoire", "InterpolationType", a.interpolationType);
  return a;
}

bool writeAntiMoire(const AntiMoire& a) {
  const std::filesystem::path file = settingsFile();
  bool ok = true;
  ok &= platform::ini::writeInt(file, "AntiMoire", "ScanPitch", a.scanPitch);
  ok &= platform::ini::writeInt(file, "AntiMoire", "HorizontalGrid", a.horizontalGrid);
  ok &= platform::ini::writeInt(file, "AntiMoire", "VerticalGrid", a.verticalGrid);
  ok &= platform::ini::writeInt(file, "AntiMoire", "FilterAmplitudeH", a.filterAmplitudeH);
  ok &= platform::ini::writeInt(file, "AntiMoire", "FilterAmplitudeV", a.filterAmplitudeV);
  ok &= platform::ini::writeInt(file, "AntiMoire", "FilterType", a.filterType);
  ok &= platform::ini::writeInt(file, "AntiMoire", "InterpolationType", a.interpolationType);
  return ok;
}

}  // namespace scanui::internal
