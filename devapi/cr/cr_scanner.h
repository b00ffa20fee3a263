// The CR reader's device object: the shared KorvaScanner first, then the block
// bookkeeping of its scan paths, the firmware word and product id of the
// scanner, and the image corrections. Each member is one export after the
// handle rule.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>

#include "devapi/cr/internal/corrections.h"
#include "devapi/cr/internal/timeouts.h"
#include "devapi/cr/zentrac.h"
#include "devapi/korva_scanner.h"
#include "devapi/records.h"

namespace zentrac {

// The eject poll outlasted the reset-film time-out.
inline constexpr int kEjectTimedOut = 524;
inline constexpr std::uint16_t kProductId = 19;
inline constexpr std::size_t kMaxBlocks = 16384;

// Zentrac_DLL.ini, section [KVDEV], reread at every open.
struct DllSettings {
  int splitFlag = 0;
  int splitLine = 400;
  int maskData = 0xFFFF;
  int eightLine = 1;
  int eraseMode = 1;
  int region1mm = 0;   // 7163W1mH1m
  int modePlusOne = 1;  // 7163Smode
  int fineMode = 1;     // FINE_Smode
  int productIdCheck = 1;
  int noProcImage = 0;
};
DllSettings loadDllSettings(const std::filesystem::path& file);

// The settings of the last open, and the library's own directory.
DllSettings currentSettings();
void rereadSettings();
std::filesystem::path libraryDir();


class CrScanner : public devapi::KorvaScanner {
 public:
  static constexpr std::size_t kLogLimit = 128;
  CrScanner();
  ~CrScanner();

  // After a successful New: the command time-outs.
  void ApplyTimeouts(std::int32_t requested);

  int SetCondition(devapi::ScanCondition* condition);
  int GetCondition(devapi::ScanCondition* condition);
  int SetOption(const devapi::KtGOption* option);
  int GetOption(devapi::KtGOption* option);

  int Scan();
  int ScanEx(const devapi::ScanBufferParam* param);
  int ScanM(const devapi::BlockScanParam* param);
  int ReadBuffer(const devapi::ReadBufferParam* param);
  int GetScanStatus(std::uint32_t* lines);
  int GetScanStatusEx(int* bytes);
  int GetScanStatusM(int* blocks);
  int EightLine(const devapi::BlockScanParam* param);
  int Cancel();

  int Erase();
  int EjectFilm();

  int SetLUT(const devapi::TableParam* table);
  int GetLUT(const devapi::TableParam* table);
  int SetShading(const devapi::TableParam* table);
  int GetShading(const devapi::TableParam* table);
  int SetScanEeprom(const ProgramParam* param);
  int GetScanEeprom(const ProgramParam* param);
  int SetScanProgram(const ProgramParam* param);
  int GetScanProgram(const ProgramParam* param);
  int SetMaintenance(const MaintenanceRecord* record);
  int GetMaintenance(MaintenanceRecord* record);

  int GetScannerType(devapi::ScannerTypeInfo* info);
  int GetFunction(devapi::FunctionInfo* info);

 private:
  enum class ReaderKind { LibraryBuffer, CallerBuffer, MultiBlock };
  bool SendParameters(const ScanParameters& parameters);
  // ReadScanParameters for the condition queries; an error the condition
  // shows is caught up at once (KorvaScanner::CatchUpDeviceError).
  bool ReadCondition(ScanParameters& p);
  bool SendBlockGeometry(std::uint32_t linesPerBlock, std::uint32_t count);
  bool SendCancel(std::uint16_t value);
  // Steps shared by Scan and ScanEx: the geometry of the cache, under `mutex`.
  bool PrepareGeometry(const DllSettings& settings);
  // The start of Scan and ScanEx: the settings taken, the geometry of the
  // cache (513 when it has none) and, for a split scan, sent to the reader.
  // The reader's multi-block loop: a cancel held for block `done`, taken (0: none).
  std::uint16_t TakeHeldCancel(std::uint32_t done);
  // The plate ended early after `done` blocks: the unread ones carry the fill value.
  void FillUnreadBlocks(std::uint32_t done, std::uint32_t count, std::int32_t perBlock, std::uint16_t fill);
  bool BeginCacheScan(const DllSettings& settings);
  int StartReader(ReaderClaim& claim, ReaderKind kind);
  void ReaderMain(ReaderKind kind);
  void ReadOneCommand(ReaderKind kind);
  void ReadBlocks();
  void CorrectLibraryBuffer(std::size_t lines);
  // Under `mutex`: what the corrections need to know of the scan.
  ScanContext Context(int outBitDepth);

  DllSettings settings_;  // as at the scan's start
  bool multiBlock_ = false;
  std::uint32_t linesPerBlock_ = 0;
  std::uint64_t bytesPerBlock_ = 0;
  std::uint32_t outBitDepth_ = 0;
  std::array<std::uint16_t*, kMaxBlocks> blockTable_{};
  std::uint32_t validLines_ = 0;
  bool correctionsPending_ = false;
  std::int32_t commandTimeout_ = 181;
  Corrections corrections_;
};

}  // namespace zentrac
