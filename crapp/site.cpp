#include "crapp/site.h"

#include <string>
#include <system_error>

#include "platform/ini.h"
#include "platform/paths.h"

namespace crapp {
namespace {

namespace fs = std::filesystem;

// The settings' text buffers hold 255 characters and a terminator.
constexpr std::size_t kMaxSetting = 255;
// szRawFilePath of the engine's miniscreen record.
constexpr std::size_t kMaxRawPath = 259;

fs::path resolveFolder(std::string_view configured, const fs::path& programDir) {
  fs::path p = platform::paths::resolve(configured, programDir).lexically_normal();
  // "a/b/" and "a/b" are one folder.
  if (!p.has_filename() && p.has_parent_path() && p != p.root_path()) p = p.parent_path();
  return p;
}

// The folder as the file system sees it, links followed as far as it exists.
fs::path real(const fs::path& folder) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(folder, ec);
  return ec ? folder : p;
}

// True when `inner` is `outer` or lies below it.
bool within(const fs::path& inner, const fs::path& outer) {
  auto i = inner.begin();
  for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
    if (o->empty()) continue;  // a trailing separator
    if (i == inner.end() || *i != *o) return false;
  }
  return true;
}

}  // namespace

SiteFolders siteFolders(const fs::path& programDir) {
  SiteFolders f;
  f.data = resolveFolder(".\\halcData", programDir);
  f.rawImage = f.data / "Halcyone.raw";
  const auto site = platform::ini::IniFile::load(programDir / "HalcyoneSite.ini");
  std::string exportPath = site.getString("Settings", "ExportPath", "");
  if (exportPath.empty()) exportPath = ".\\halcExport";
  f.exportFolder = resolveFolder(exportPath, programDir);

  if (exportPath.size() > kMaxSetting) {
    // Cut to its room it would name another folder, which would then be made.
    f.problem = {FolderProblem::Kind::ExportPathTooLong, f.exportFolder, kMaxSetting, exportPath.size()};
    return f;
  }
  const std::size_t rawLength = f.rawImage.native().size();
  if (rawLength > kMaxRawPath) {
    const std::size_t room = kMaxRawPath - (rawLength - f.data.native().size());
    f.problem = {FolderProblem::Kind::PathTooLong, f.data, room, f.data.native().size()};
    return f;
  }
  // The data folder is emptied at every start and scan: saved plates must
  // never lie in it.
  const fs::path data = real(f.data), exported = real(f.exportFolder);
  if (within(exported, data)) {
    const bool same = within(data, exported);
    f.problem = {same ? FolderProblem::Kind::ExportIsData : FolderProblem::Kind::ExportInsideData,
                 f.exportFolder, 0, 0};
  } else if (within(data, exported)) {
    f.problem = {FolderProblem::Kind::DataInsideExport, f.exportFolder, 0, 0};
  }
  return f;
}

}  // namespace crapp
