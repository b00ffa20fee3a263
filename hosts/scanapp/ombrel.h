// The stand-alone scan program: hosts the film-scan UI without a window of its
// own and saves every image it delivers under the next number of the output
// pattern, as TIFF, DICOM or raw pixels.
#pragma once

#include <QString>
#include <filesystem>
#include <string>

#include "hosts/scanapp/dicom_writer.h"
#include "hosts/scanapp/output_pattern.h"
#include "scanui/scanui.h"

namespace ombrel {

// The image list's capacity: later images are saved, but not rewritten at the end.
inline constexpr std::size_t kImageListSize = 1024;

// The program's two texts, in the user's language.
QString writeFailedText(const std::string& path);  // string 1 with the path, and a line feed
QString writeFailedCaption();                      // string 2

// Writes one image in the chosen format; a file that cannot be written whole
// is deleted. DICOM takes the study record as it stands and the run's UIDs.
bool saveImage(Format format, const std::filesystem::path& file, const scanui::ScanData& scan,
               const scanui::StudyData& study, const DicomSettings& settings, const RunUids& uids,
               long number);

// The whole program over a scan UI library (the base name "Oskelu.DLL", or a
// path): needs the application object. Every ending gives 0.
int run(const std::string& outputPath, const std::string& libraryName);

}  // namespace ombrel
