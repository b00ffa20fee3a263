// Where the CR program keeps its plates: the data folder it empties at every
// scan and the export folder it publishes saved plates into, as its site ini
// names them, with the checks that let the program start. The film-scan UI's
// CR link reads the same, so both always agree on the export folder.
#pragma once

#include <cstddef>
#include <filesystem>

namespace crapp {

// Why the folders cannot be used; the program refuses to start then.
struct FolderProblem {
  enum class Kind {
    None,
    ExportPathTooLong,  // the ExportPath setting is longer than its 255 characters
    PathTooLong,        // a path built in `folder` would not fit the engine's record
    ExportIsData,       // the export folder is the data folder
    ExportInsideData,   // the export folder lies inside the data folder
    DataInsideExport,   // the data folder lies inside the export folder
  };
  Kind kind = Kind::None;
  std::filesystem::path folder;  // the folder concerned
  std::size_t limit = 0;         // the *TooLong kinds: the most characters allowed
  std::size_t length = 0;        // ... and how many there are
  explicit operator bool() const { return kind != Kind::None; }
};

struct SiteFolders {
  std::filesystem::path data;          // ".\halcData" beside the program
  std::filesystem::path exportFolder;  // ExportPath, ".\halcExport" when empty
  std::filesystem::path rawImage;      // the raw image the engine writes, in the data folder
  FolderProblem problem;
};

// Reads "HalcyoneSite.ini" in programDir and checks what it names.
SiteFolders siteFolders(const std::filesystem::path& programDir);

}  // namespace crapp
