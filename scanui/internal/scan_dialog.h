// CScanDlg: the library's one scan dialog object. The object lives as long as
// the library and keeps the scan settings, the region, the preview's cells and
// the counters; its window exists only between create() and destroy(), so no
// widget outlives the host's application or the library.
#pragma once

#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>

#include "moire/moire.h"
#include "platform/library.h"
#include "scanui/internal/library_link.h"
#include "scanui/internal/preview_model.h"
#include "scanui/internal/region.h"
#include "scanui/internal/settings.h"
#include "scanui/scanui.h"

class QCheckBox;
class QComboBox;
class QDialog;
class QGridLayout;
class QHBoxLayout;
class QTimer;
class QWidget;

namespace scanui::internal {

class CMiniScreen;

// The scan settings that outlive the window.
struct ScanSettings {
  int odRange = 40;  // O.D. times 10
  int bits = 12;
  int bytesPerPixel = 2;
  int deviceScanMode = 0;
  int autoScan = 0;
  int autoSetup = 0;  // remembered "Auto Acquisition Set Up"
  int lastFilmCode = 0;
  int filmsAtStart = 0;
  std::uint64_t dataSize = 0;
  int scanning = 0;
  int rePostArmed = 0;
};

// The application's property that marks the 19 cm warning suppressed for
// the rest of the host process, whichever library instance set it.
inline constexpr char kSuppressMarker[] = "Oskelu Suppress190mmWarning";

class CScanDlg {
 public:
  explicit CScanDlg(LibraryLink& link);  // loads the moire filter library
  ~CScanDlg();
  CScanDlg(const CScanDlg&) = delete;
  CScanDlg& operator=(const CScanDlg&) = delete;

  void enableStudy(StudyData* study, int enable, int expanded);

  // The modeless window over `host` (may be null); `visible` false keeps it
  // hidden. Null when there is no widget application.
  QWidget* create(QWidget* host, const QString& caption, bool visible);
  // Destroys the window; 1 when there was one.
  int destroy();
  QWidget* window() const;

  bool suppress190mmWarning() const { return suppress190_; }
  bool moireLoaded() const { return moire_.isOpen(); }
  int cease();
  // The CR link's study texts (CP932) into the hidden fields, which Exit writes back.
  void importedStudy(const std::string& componentName, const std::string& componentId,
                     const std::string& description);
  // Exit as the button gives it: queued, so it runs after the caller returns.
  void postExit();
  int autofeederCount() const;
  int resetAutofeeder();

  // One tick of the 100 ms timer; tests call it in place of waiting, so it
  // is also the clock of the re-post.
  void tick();
  // The scan itself, run after the checks of the Scan button pass; the scout
  // scan likewise. Empty: the button's checks run and nothing is scanned.
  std::function<void()> scan;
  std::function<void()> scoutScan;

  // The scan command (1055), the scout scan and the next film (32782).
  void scanCommand();
  void scoutScanCommand();
  void nextFilmCommand();
  ScanRecord& scanRecord() { return record_; }
  ScanRecord& scoutRecord() { return scout_; }

  ScanSettings& settings() { return settings_; }
  const ScanRegion& region() const { return region_; }
  PreviewModel& preview() { return preview_; }
  const AntiMoire& antiMoire() const { return antiMoire_; }
  int scanCount() const { return scanCount_; }
  std::uint64_t scannedBytes() const { return scannedBytes_; }

 private:
  LibraryLink& link_;  // the library that drives this dialog, for the connection
  void build(QDialog* w);
  QGridLayout* buildRegion(QDialog* w);
  QHBoxLayout* buildPreview(QDialog* w);
  void fillLists();
  void fillDevices(QWidget* w, DigitizerConnection& connection, QComboBox* adapters, QComboBox* ids);
  void connectSettings(QWidget* w, QComboBox* regions, QCheckBox* setup);
  void connectScanControls(QWidget* w, QCheckBox* autoScan, QComboBox* adapters, QComboBox* ids);
  void fillStudy();
  void layoutStudy(bool open);
  void applyFilmCode(int code);
  void regionChosen(int index);
  void switchToCustom();
  void regionEdited(int id);
  void writeRegionFields();
  void setupToggled(bool remember);
  void readProfile(int n);
  Profile currentProfile() const;
  void bitsChosen();
  void odChosen();
  void pitchChosen();
  void modeChosen();
  void adapterChosen();
  void deviceChosen();
  void adjustOd();
  void moireSettings();
  void applyChanges();
  void scanPressed();
  void marqueeDrawn();
  void settingChanged();
  void updateLabels();
  void clearStudy();
  void exit();

  // The scan execution (scan_execution.cpp).
  int setUp(ScanRecord& record);
  int readChunk(bool first);
  void cancelCheck();
  void startDevice();
  void endCurrent() { current_ = nullptr; }
  bool scanWithProgress(std::uint32_t lines);
  void placeProgress(QDialog& progress);
  int readChunks(std::uint32_t untilLeft);
  bool waitForFilm(bool loadFirst);
  void filmHandling(int count, bool counted);
  void deliver();
  void sampleLive();
  void autosenseFilm(QWidget* w, DigitizerConnection& connection, QComboBox* regions, bool type2, int rePost);
  bool scanAllowed(QWidget* w, bool& counted, std::int64_t& count);
  void fillRecord(ScanRecord& r);
  bool moireScan(ScanRecord& r, void* image, DeMoireFuncPtr moireFunc);

  QPointer<QDialog> window_;
  CMiniScreen* mini_ = nullptr;
  QTimer* timer_ = nullptr;
  platform::Library moire_;
  StudyData* study_ = nullptr;
  int studyEnable_ = 0;
  int studyExpanded_ = 0;
  bool studyOpen_ = false;
  int ceased_ = 0;
  bool suppress190_ = false;
  int scanCount_ = 0;
  std::uint64_t scannedBytes_ = 0;
  std::uint32_t deviceBuffer_ = 0;
  int ticks_ = 0;
  bool regionListOpen_ = false;
  ScanSettings settings_;
  ScanRegion region_;
  PreviewModel preview_;
  AntiMoire antiMoire_;
  ScanRecord record_{};
  ScanRecord scout_{};
  ScanRecord* current_ = nullptr;
  std::uint32_t linesRead_ = 0;
  std::uint64_t outOffset_ = 0;
  std::uint64_t outSize_ = 0;
  bool deviceCease_ = false;
  bool cancelSent_ = false;
  bool failed_ = false;  // a device failure during the running scan
  QPointer<QDialog> progress_;
};

// The caption of the dialog: the template's, then " (", the suffix and ")".
QString scanCaption(const char* suffix);

}  // namespace scanui::internal
