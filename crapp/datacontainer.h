// The CR program's store of configuration and of the current scan: its three
// ini files, the working folders, the plate sizes, the scan records and the
// export of a scanned plate as a DICONDE export set.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "crapp/site.h"

namespace crapp {

// One plate size of the IP Size list. Texts are as the ini file holds them (CP932).
struct IPSizeDefinition {
  int id = 0;
  int mmWidth = 0;
  int mmHeight = 0;
  std::string dispName;
  std::string cassetteSize;
};

// What the operator typed, in UTF-8 as the user sees it.
struct ScanInformation {
  std::string id;
  std::string name;
  std::string description;
};

struct ScanCondition {
  std::int32_t ipSizeId = 0;
  std::int32_t pitchUm = 0;
  std::int32_t sensitivity = 0;
  std::int32_t scanSpeed = 0;  // 1 high speed, 2 standard, 3 fine
};

struct ScanImage {
  std::int32_t rows = 0;
  std::int32_t columns = 0;
  std::int32_t bitsStored = 0;
  std::int64_t pixelBytes = 0;  // rows * columns * 2
};

struct UISettings {
  int ipSizeId = 1;
  int scanPitch = 40;
  int sensitivity = 100;
  int scanSpeed = 2;
};

struct WindowRect {
  int left = 0, top = 0, right = 0, bottom = 0;
};

class CDataContainer {
 public:
  static constexpr std::size_t kCopyBufferSize = 10485760;  // 10 MiB

  // Reads the settings beside the program in programDir, resolves and creates
  // the log, data and export folders, empties the data folder and allocates the
  // copy buffer.
  explicit CDataContainer(std::filesystem::path programDir);
  ~CDataContainer();
  CDataContainer(const CDataContainer&) = delete;
  CDataContainer& operator=(const CDataContainer&) = delete;

  const std::filesystem::path& programDir() const { return programDir_; }
  const std::filesystem::path& mainIniPath() const { return mainIni_; }
  const std::filesystem::path& siteIniPath() const { return siteIni_; }
  const std::filesystem::path& hardIniPath() const { return hardIni_; }
  const std::filesystem::path& logFolder() const { return logFolder_; }
  const std::filesystem::path& dataFolder() const { return dataFolder_; }
  const std::filesystem::path& exportFolder() const { return exportFolder_; }
  const std::filesystem::path& internalDicomPath() const { return internalDicom_; }
  const std::filesystem::path& rawImagePath() const { return rawImage_; }
  // Set when the folders cannot be used: then nothing was made or emptied,
  // and the program must not go on.
  const FolderProblem& startProblem() const { return startProblem_; }

  // Plate sizes.
  int GetIPSizeCount() const { return static_cast<int>(ipSizes_.size()); }
  // By 1-based position; null past the end.
  const IPSizeDefinition* GetIPSizeByIndex(int index) const;
  const IPSizeDefinition* GetIPSizeById(int id) const;
  // 1 when an image of that plate at that pitch stays below the image-memory limit.
  int CheckPairPitchAndSize(int ipSizeId, int pitchUm) const;

  int GetAvailableImageSize() const { return availableImageSize_; }
  int GetEraseMode() const { return eraseMode_; }
  int GetImagePhotometrics() const { return imagePhotometrics_; }
  int GetDescriptionCategoryStudy() const { return descriptionCategoryStudy_; }
  int GetScanSpeedSlow() const { return scanSpeedSlow_; }
  int GetLogLevel() const { return logLevel_; }

  UISettings ReadUISettings() const;
  void WriteUISettings(const UISettings& settings) const;
  WindowRect ReadWindowRect() const;
  void WriteWindowRect(const WindowRect& rect) const;
  int ReadStudyCounter() const;
  bool WriteStudyCounter(int value) const;
  int ReadBusyWaitLimitMs() const;

  // Deletes everything inside the data folder and keeps the folder.
  bool EmptyDataFolder() const;
  // Removes the hidden copies that saves of processes no longer running left
  // in the export folder; nothing else there is touched.
  void RemoveStaleTemporaries() const;

  // Scan records: each absent until made.
  void CreateScanInfomation(ScanInformation info) { scanInfo_ = std::move(info); }
  void CreateScanCondition(ScanCondition condition) { scanCondition_ = condition; }
  void CreateScanImage(ScanImage image) { scanImage_ = image; }
  void DeleteScanRecords();
  const std::optional<ScanInformation>& scanInformation() const { return scanInfo_; }
  const std::optional<ScanCondition>& scanCondition() const { return scanCondition_; }
  const std::optional<ScanImage>& scanImage() const { return scanImage_; }

  // Builds the DICOM file from the raw image file and publishes it with its
  // companions in the export folder; 1 when the set is complete, else 0 with
  // nothing of it marked ready.
  int OutputDICOM();
  // Builds the internal DICOM file in the data folder for a save at saveTime.
  int MakeFileDICOM(const std::tm& saveTime);
  // The path of the DICOM file the last successful OutputDICOM published.
  const std::filesystem::path& lastExportedFile() const { return lastExported_; }

  // Test seam: called before each file operation of an export, numbered from 0
  // in the order they run; returning false makes that operation fail.
  using FileStepHook = std::function<bool(int step, std::string_view what)>;
  void setFileStepHook(FileStepHook hook) { fileStepHook_ = std::move(hook); }
  // Test seam: the local time of the next saves.
  void setClockForTest(std::function<std::time_t()> clock) { clock_ = std::move(clock); }

 private:
  class Export;

  void CreateListIPsize();
  void ReadSettings();
  bool fileStep(std::string_view what);

  std::filesystem::path programDir_;
  std::filesystem::path mainIni_, siteIni_, hardIni_;
  std::filesystem::path logFolder_, dataFolder_, exportFolder_;
  std::filesystem::path internalDicom_, rawImage_;
  FolderProblem startProblem_;
  std::vector<IPSizeDefinition> ipSizes_;
  int availableImageSize_ = 500;
  int eraseMode_ = 2;
  int imagePhotometrics_ = 1;
  int descriptionCategoryStudy_ = 0;
  int scanSpeedSlow_ = 0;
  int logLevel_ = 6;
  std::unique_ptr<std::uint8_t[]> copyBuffer_;
  std::optional<ScanInformation> scanInfo_;
  std::optional<ScanCondition> scanCondition_;
  std::optional<ScanImage> scanImage_;
  std::filesystem::path lastExported_;
  FileStepHook fileStepHook_;
  int fileStepCounter_ = 0;
  std::function<std::time_t()> clock_;
};

// The hidden name a save copies a plate under in the export folder until it
// is whole: ".<candidate>.dcm.<pid>.tmp".
std::string exportTemporaryName(std::string_view candidate, long pid);
// The process id in a name of exactly that form; 0 for any other name.
long exportTemporaryOwner(std::string_view fileName);

// Path-safe form of a typed ID: '/', '\' and control characters become '_'.
std::string fileNameSafe(std::string_view utf8);

}  // namespace crapp
