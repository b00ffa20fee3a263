// The two roads from a scanner into the viewer, run in this process by the
// viewer's own application object with nobody at the controls: its windows
// driven by control id and menu command, its questions answered by script.
// The process must run from a demo tree's program directory (the viewer finds
// its scan UI and the CR program there) with a QApplication made.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/demo/tree.h"

namespace demo {

struct Left {
  std::string what;
  std::filesystem::path where;
};

struct RoadRun {
  std::string fault;       // empty when the road went through
  std::vector<Left> left;  // what the run left where, in order
  std::filesystem::path dicom, tiff;
  std::vector<std::string> asked;  // every message box the viewer showed
};

// The study data the film's operator types into the scan dialog.
inline constexpr const char* kFilmComponentName = "Valve body 12";
inline constexpr const char* kFilmComponentId = "VB-12";

// New Scan over the film digitizer: the scan dialog's region entered, one
// film scanned, Exit; the document saved as DICONDE and as TIFF into
// tree.results(), the scan dialog and the viewer photographed there.
RoadRun filmRoad(const Tree& tree);

// New Scan over the CR link: the CR program runs and exits on its own, its
// plate arrives in a document, which is saved as DICONDE into tree.results()
// and photographed there.
RoadRun crRoad(const Tree& tree);

}  // namespace demo
