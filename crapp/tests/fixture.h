// What the CR program's tests share: a program folder with its ini files, a
// generated 16-bit raw image and the scan records of a saved plate.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>

#include "crapp/datacontainer.h"
#include "testsupport/testsupport.h"

namespace crapptest {

// Halcyone.ini with three plate sizes (ids 1 to 3).
void writeMainIni(const std::filesystem::path& programDir);

// rows x columns samples of a deterministic pattern within bits, little endian.
std::string makeRaw(int rows, int columns, int bits);

// Writes the raw file where the container expects it and makes the records of
// a scan of that size; the raw image is returned.
std::string prepareScan(crapp::CDataContainer& container, int rows, int columns, int bits,
                        const crapp::ScanInformation& info);

// A local time, for the clock of the saves.
std::time_t localTime(int year, int month, int day, int hour, int minute, int second);

// Every file name in a folder, sorted.
std::string listFolder(const std::filesystem::path& folder);

struct FolderOptions {
  bool testMode = true;          // HalcyoneHard.ini Mode=Test
  bool readerLibraries = false;  // the CR reader library and the driver beside the engine
  bool storedImage = true;       // the image the engine plays back in Test mode
  int storedWidth = 48, storedHeight = 64;
};

// A program folder of its own: root/Halcyone/<program> with its settings, the
// suite's libraries (from binDir) in root, as the build lays them out.
class ProgramFolder {
 public:
  ProgramFolder(const std::filesystem::path& binDir, const std::filesystem::path& program,
                const FolderOptions& options);
  const std::filesystem::path& root() const { return root_.path(); }
  std::filesystem::path dir() const { return root_.path() / "Halcyone"; }
  std::filesystem::path program() const { return dir() / programName_; }
  // Every log file of the program's log folder, one after the other.
  std::string log() const;

 private:
  testsupport::TempDir root_;
  std::filesystem::path programName_;
};

}  // namespace crapptest
