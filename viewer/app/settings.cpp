#include "viewer/app/settings.h"

#include <algorithm>
#include <system_error>

#include "platform/ini.h"
#include "platform/library.h"
#include "viewer/formats/format_support.h"

namespace viewer::app {

namespace fs = std::filesystem;

void Settings::load(const fs::path& ini, std::time_t now) {
  const platform::ini::IniFile f = platform::ini::IniFile::load(ini);
  infomation = f.getInt("Window", "Infomation", 1);
  overview = f.getInt("Window", "Overview", 1);
  main = f.getInt("Window", "Main", 0);
  scale = f.getInt("Unit", "Scale", 0);
  value = f.getInt("Unit", "Value", 0);
  newImageFormat = f.getInt("Setting", "NewImageFormat", 3);
  showDicom = f.getInt("Setting", "ShowDICOM", 0);
  useMih = f.getInt("Setting", "UseMIH", 1);
  // The value indexes the RAW dialog's list of three depths.
  rawBitsPixel = std::clamp(f.getInt("Setting", "RawBitsPixel", 2), 0, 2);
  usePrivateTemp = f.getInt("Setting", "UsePrivateTemp", 0);
  privateTempPath = f.getString("Setting", "PrivateTempPath", "");
  scanUiModuleName = f.getString("Setting", "ScanUIModuleName", "Oskelu.DLL");
  saveNewFolder = f.getInt("Setting", "SaveNewFolder", 1);
  makeTemp = f.getInt("Setting", "MakeTemp", 1);
  openSeries = f.getInt("Setting", "OpenSeries", 0);
  xOrg = f.getInt("Setting", "XYOrg", 0);
  yOrg = f.getInt("Setting", "XYOrg", 0);
  jpegQuality = f.getInt("Setting", "JpegQuality", 75);
  movePosition = f.getInt("Zoom", "MovePosition", 1);
  partNo = f.getString("Data", "PartNo", "58274613");
  instance = f.getString("Data", "Instance", "");
  if (instance.empty()) {
    instance = std::to_string(static_cast<long long>(now));
    platform::ini::writeString(ini, "Data", "Instance", instance);
  }
}

bool Settings::save(const fs::path& ini) const {
  using platform::ini::writeInt;
  bool ok = true;
  ok &= writeInt(ini, "Window", "Infomation", infomation);
  ok &= writeInt(ini, "Window", "Overview", overview);
  ok &= writeInt(ini, "Window", "Main", main);
  ok &= writeInt(ini, "Unit", "Scale", scale);
  ok &= writeInt(ini, "Unit", "Value", value);
  ok &= writeInt(ini, "Setting", "NewImageFormat", newImageFormat);
  ok &= writeInt(ini, "Setting", "ShowDICOM", showDicom);
  ok &= writeInt(ini, "Setting", "UseMIH", useMih);
  ok &= writeInt(ini, "Setting", "RawBitsPixel", rawBitsPixel);
  ok &= writeInt(ini, "Setting", "UsePrivateTemp", usePrivateTemp);
  ok &= platform::ini::writeString(ini, "Setting", "PrivateTempPath", privateTempPath);
  ok &= writeInt(ini, "Setting", "SaveNewFolder", saveNewFolder);
  ok &= writeInt(ini, "Setting", "OpenSeries", openSeries);
  ok &= writeInt(ini, "Setting", "JpegQuality", jpegQuality);
  return ok;
}

std::string Settings::scanUiLibraryFile() const { return platform::Library::fileNameFor(scanUiModuleName); }

void Settings::handToFormats() const {
  formats::FormatSettings& s = formats::settings();
  // The coder takes qualities 1 to 100 only.
  s.jpegQuality = std::clamp(jpegQuality, 1, 100);
  s.rawBitsPixel = std::clamp(rawBitsPixel, 0, 2);
  s.useMih = useMih;
  s.partNo = partNo;
  s.instance = instance;
}

void Settings::takeFromFormats() {
  const formats::FormatSettings& s = formats::settings();
  jpegQuality = s.jpegQuality;
  rawBitsPixel = std::clamp(s.rawBitsPixel, 0, 2);
}

fs::path iniPathFor(const fs::path& program) {
  fs::path ini = program;
  ini.replace_extension("INI");
  return ini;
}

WorkRoot decideWorkRoot(const Settings& settings, const fs::path& startDir,
                        const std::function<const char*(const char*)>& getenv) {
  WorkRoot w;
  w.root = startDir;
  bool fromEnvironment = false;
  if (const char* temp = getenv("TEMP"); temp != nullptr) {
    w.root = temp;
    fromEnvironment = true;
  }
  if (const char* tmp = getenv("TMP"); tmp != nullptr) {
    w.root = tmp;
    fromEnvironment = true;
  }
  bool tookPrivate = false;
  if (settings.usePrivateTemp == 1 && !settings.privateTempPath.empty()) {
    std::error_code ec;
    if (!fs::exists(settings.privateTempPath, ec)) {
      w.privateMissing = true;
    } else {
      std::string path = settings.privateTempPath;
      fs::create_directories(path, ec);
      if (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
      w.root = path;
      tookPrivate = true;
    }
  }
  if (!fromEnvironment && !tookPrivate) {
    w.root = startDir / "TEMP";
    std::error_code ec;
    fs::create_directories(w.root, ec);
  }
  return w;
}

bool isWorkRoot(const fs::path& folder, const fs::path& root) {
  std::error_code ec1, ec2;
  const fs::path a = fs::weakly_canonical(fs::absolute(folder), ec1);
  const fs::path b = fs::weakly_canonical(fs::absolute(root), ec2);
  if (ec1 || ec2) return false;
  return a.lexically_normal() == b.lexically_normal();
}

}  // namespace viewer::app
