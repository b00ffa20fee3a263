// The open and save pipeline: file names become image items of a document,
// image items become files.
#pragma once
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "viewer/image_model.h"
#include "viewer/view/view.h"

namespace viewer::app {

struct Settings;
class OpeningDialog;

// The viewer's document: its images, the file commands over them and what
// its view asks of it.
class CTivolaDoc : public view::ImageSource {
 public:
  enum class Scope { All, Selected, Current };
  static constexpr int kImageAdded = 32839;  // posted to the views

  CImageTable images;
  std::string folderTitle;
  std::string title;
  int nextScanNumber = 1;
  int hasScans = 0;
  std::string seriesPath;  // where Save writes; empty until the first Save
  // The document's views; a command posted to them arrives as a queued call.
  std::function<void(int command)> views;
  // Where the view's commands save and whose window owns their dialogs; set
  // by the application when it shows the document.
  Settings* settings = nullptr;
  std::string workRoot;
  QWidget* owner = nullptr;

  // What the view asks of its document.
  int imageCount() const override { return images.count(); }
  CImageItem* imageAt(int i) const override { return images.get(i); }
  void saveCurrentImage() override;
  bool restoreOriginal(CImageItem& item) override;
  bool editStudyData() override;

  // Enable rules of the file commands.
  bool canSave() const { return hasScans == 1; }
  bool canSaveReplica() const { return nextScanNumber == 1; }
  bool canSaveRoiToCsv() const;
  // Some image is a scan that was never written to a file of the operator's.
  bool hasUnsavedScans() const;

  // Writes the images in scope as the numbered series that `path` starts
  // (type index 1..8 of the save dialog); with adopt the files become the
  // images' own. True only when every image was written.
  bool saveDocument(const std::string& path, Scope scope, int typeIndex, bool adopt);
  // Save once the series path is known: one question before overwriting a
  // file no image of the document owns; false on No or a failed write.
  bool saveToSeriesPath(QWidget* owner, int typeIndex);
  // Save Replica, Save Selected and Save Current through the save dialog
  // (title given); Save asks for the series path the first time and then
  // writes there. False when cancelled or failed.
  bool saveReplica(Scope scope, const QString& title, Settings& settings, const std::string& workRoot,
                   QWidget* owner, bool adopt = false);
  bool save(Settings& settings, const std::string& workRoot, QWidget* owner);
  // Edits the study data of the images in scope in "Edit Study Data"; false
  // when cancelled. saveMode: shown before a DICONDE save ("Save Anyway").
  bool editStudyDataForImages(Scope scope, bool saveMode, int currentYear, QWidget* owner);
  // Scans onto the end of the document, prefilled from its last image.
  bool addScan();
  // The current image's region as comma-separated values, CR LF line ends.
  bool saveRoiToCsv(const std::string& path, bool odUnit, QWidget* owner);
  void postToViews(int command);

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

// Reads the item again from its file, or a scan from its temporary copy, a
// RAW file with the layout the item remembers (no dialog). The item keeps
// its pixels when the read fails.
bool reloadItem(CImageItem& item);

// Writes one item by the path's extension. byteOrder: 0 Windows, 1 Macintosh,
// for RAW. With adoptPath the item takes the new path and name (and, with
// seriesDigits > 0, the series number as its shown name).
bool saveItem(CImageItem& item, const std::string& path, bool adoptPath, int seriesDigits, long seriesNumber,
              int byteOrder, bool dicondeJpeg = false);

// Whether the item's study data fit the DICONDE value limits; an item without
// study data passes.
bool studyDataFitsDiconde(const CImageItem& item);

}  // namespace viewer::app
