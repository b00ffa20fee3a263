// What the stand-in CR program enters for its plate and what it leaves in the
// results folder that NDT_DEMO_RESULTS names, for whoever checks the import.
#pragma once

namespace demo::plate {

inline constexpr const char* kResultsVariable = "NDT_DEMO_RESULTS";

inline constexpr const char* kId = "W-0731";
inline constexpr const char* kName = "Pipe weld 7";
inline constexpr const char* kDescription = "Girth weld, plate 1";

inline constexpr const char* kScreenshot = "halcyone.png";      // the CR program's window after the scan
inline constexpr const char* kExportCopy = "exported.dcm";      // the set's DICOM file as it was published
inline constexpr const char* kExportName = "exported.txt";      // its file name in the export folder
inline constexpr const char* kRendered = "plate-rendered.raw";  // what the reader rendered
inline constexpr const char* kExpected = "plate-expected.raw";  // the same after the line correction
inline constexpr const char* kFault = "halcyone-fault.txt";     // present only when the run failed

}  // namespace demo::plate
