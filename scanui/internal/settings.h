// "Oskelu.INI" in the configuration directory, shared by every process that
// hosts the scan UI: every key, its default, its reader and its writer.
#pragma once

#include <filesystem>
#include <string>

namespace scanui::internal {

std::filesystem::path settingsFile();

// [Device]: the discovery names, at most 99 characters each.
struct DeviceNames {
  std::string vendor;
  std::string product;
};
DeviceNames readDeviceNames();

// [Message]: the site's text for a device error text; the text itself when the
// site has none. At most 999 characters.
std::string messageFor(const std::string& deviceText);

// [Profile]: profile 0 is the general one, any other number a film size code.
struct Profile {
  int host = 0;       // adapter selector index (profile 0 only)
  int digitizer = 0;  // device-id selector index (profile 0 only)
  int bits = 2;       // index: 0 "8", 1 "10", 2 "12"
  int od = 3;         // index into the O.D. range list
  std::string pitch = "200";  // the pixel-spacing selector's text, micrometres
  int mode = 1;       // index: 0 Speed, 1 Standard, 2 Quality, 3 Moire Reduction
};
Profile readProfile(int n);
// False when the file could not be written.
bool writeProfile(int n, const Profile& profile);

// [AntiMoire].
struct AntiMoire {
  int scanPitch = 100;
  int horizontalGrid = 0;
  int verticalGrid = 1;
  int filterAmplitudeH = 600;
  int filterAmplitudeV = 600;
  int filterType = 1;         // 0 gauss, 1 lanczos
  int interpolationType = 1;  // 0 linear, 1 cubic
};
AntiMoire readAntiMoire();
bool writeAntiMoire(const AntiMoire& settings);

}  // namespace scanui::internal
