// The open and save pipeline: file names become image items of a document,
// image items become files.
#pragma once
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "viewer/image_model.h"

namespace viewer::app {

struct Settings;
class OpeningDialog;

// What a document holds until the document class of the view lands.
class CTivolaDoc {
 public:
  CImageTable images;
  std::string folderTitle;
  std::string title;
  int nextScanNumber = 1;
  int hasScans = 0;

  // Takes the scanned images from position `first` of the list in as unsaved
  // scans "scan%03d" whose files are their temporary files; the first scans of
  // an empty document give it the next "New scan%1d" title. False when none.
  bool takeScannedImages(int first);
};

// The files of one open: a folder and names in it, with their sizes.
struct FileList {
  std::string folder;
  std::vector<std::string> names;
  std::vector<std::uint64_t> sizes;
  std::vector<long> seriesNumbers;  // per name; -1 outside a series
  int seriesWidth = 0;
};

// The open dialog's selection, published for the length of one File Open.
class PublishedSelection {
 public:
  explicit PublishedSelection(const std::vector<std::string>& paths);
  ~PublishedSelection();
  PublishedSelection(const PublishedSelection&) = delete;
  PublishedSelection& operator=(const PublishedSelection&) = delete;
};

// The file and the numbers after it in its folder, up to the first gap and
// at most 999 numbers; the name alone when it holds no number.
FileList numberedSeries(const std::string& folder, const std::string& name);

// The system's available memory plus free swap, in bytes.
std::uint64_t availableMemory();
// Tests put a smaller machine in; null restores the real one.
void setAvailableMemoryProbe(std::function<std::uint64_t()> probe);

// The "Opening" dialog of the open in progress, or null; the RAW dialog hides it.
OpeningDialog* openingDialog();

struct OpenRequest {
  std::string path;
  bool dropped = false;
};
// Reads the named file (or the published selection, or the series) into the
// document; true when at least one image was added.
bool openIntoDocument(CTivolaDoc& doc, const OpenRequest& request, Settings& settings, QWidget* owner);

// Writes one item by the path's extension. byteOrder: 0 Windows, 1 Macintosh,
// for RAW. With adoptPath the item takes the new path and name (and, with
// seriesDigits > 0, the series number as its shown name).
bool saveItem(CImageItem& item, const std::string& path, bool adoptPath, int seriesDigits, long seriesNumber,
              int byteOrder, bool dicondeJpeg = false);

// Whether the item's study data fit the DICONDE value limits; an item without
// study data passes.
bool studyDataFitsDiconde(const CImageItem& item);

}  // namespace viewer::app
