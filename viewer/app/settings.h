// The viewer's process-wide settings, kept in the ini file beside the
// program, and the work root under which scan runs make their folders.
#pragma once
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>

namespace viewer::app {

struct Settings {
  int infomation = 1;  // Window/Infomation
  int overview = 1;
  int main = 0;
  int scale = 0;  // Unit/Scale
  int value = 0;  // Unit/Value
  int newImageFormat = 3;
  int showDicom = 0;
  int useMih = 1;
  int rawBitsPixel = 2;  // 0..2, the RAW dialog's depth list
  int usePrivateTemp = 0;
  std::string privateTempPath;
  std::string scanUiModuleName = "Oskelu.DLL";
  int saveNewFolder = 1;
  int makeTemp = 1;
  int openSeries = 0;
  int xOrg = 0, yOrg = 0;  // both read from Setting/XYOrg
  int jpegQuality = 75;
  int movePosition = 1;
  std::string partNo = "58274613";
  std::string instance;

  // Reads every key with its default; an empty Instance becomes `now` in
  // decimal seconds and is written to the file at once.
  void load(const std::filesystem::path& ini, std::time_t now);
  // Writes back the keys that live from run to run; the others are never
  // written, so a missing one keeps its default.
  bool save(const std::filesystem::path& ini) const;

  // The scan UI library's file name by the platform's library rule.
  std::string scanUiLibraryFile() const;
  // Copies what the readers and writers use into their settings.
  void handToFormats() const;
  // Takes back what a reader or dialog changed there.
  void takeFromFormats();
};

// The program file with its extension replaced by "INI".
std::filesystem::path iniPathFor(const std::filesystem::path& program);

// The decision of the work root at start-up.
struct WorkRoot {
  std::filesystem::path root;
  bool privateMissing = false;  // the private path did not exist
};
// "TEMP", replaced by "TMP", replaced by an existing private path (created,
// one trailing separator dropped); with none of them "TEMP" under the start
// directory, created.
WorkRoot decideWorkRoot(const Settings& settings, const std::filesystem::path& startDir,
                        const std::function<const char*(const char*)>& getenv);

// Whether a folder is the work root; both are resolved first, and names are
// compared exactly, since Linux file names are case-sensitive.
bool isWorkRoot(const std::filesystem::path& folder, const std::filesystem::path& root);

}  // namespace viewer::app
