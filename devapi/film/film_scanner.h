// The film digitizer's device object: the shared KorvaScanner first, then the
// film transport state and the caches of the scanner's inquiry data and film
// table. Each member is one export after the handle rule.
#pragma once

#include <cstdint>
#include <vector>

#include "devapi/korva_scanner.h"
#include "devapi/records.h"

namespace brightel {

// Below 8 bits per sensor sample a scan carries one byte per sample, else two.
inline std::uint32_t bytesPerSensorSample(std::uint32_t pixelBits) { return pixelBits <= 8 ? 1 : 2; }

// The maximum optical density (times 10) of a scanner by its serial number.
std::uint16_t maximumDensity(std::uint16_t serialNumber);

class FilmScanner : public devapi::KorvaScanner {
 public:
  static constexpr std::size_t kLogLimit = 8;
  FilmScanner() : KorvaScanner(kLogLimit) {}

  int SetCondition(const devapi::ScanCondition* condition);
  int GetCondition(devapi::ScanCondition* condition);
  int SetOption(const devapi::KtGOption* option);
  int GetOption(devapi::KtGOption* option);
  int SetLUT(const devapi::TableParam* table);
  int Calibration();

  int NextFilm();
  int ReverseFilm();
  int MoveFilm(int length);
  int EjectFilm();

  int Cancel();
  int Scan();
  int ReadBuffer(const devapi::ReadBufferParam* param);
  int ScanA(const devapi::ScanBufferParam* param);
  int ScanEx(const devapi::ScanBufferParam* param);
  int ScanM(const devapi::BlockScanParam* param);
  int GetScanStatus(std::uint32_t* lines);
  int GetRawScanStatus(int* count);

  int GetScannerType(devapi::ScannerTypeInfo* info);
  int GetFunction(devapi::FunctionInfo* info);
  int GetFuncLimitation(devapi::FuncLimitationInfo* info);
  int GetFilmSizeID(devapi::FilmSizeInfo* info);
  int GetFilmSizeScope(devapi::FilmSizeScope* info);

 private:
  enum class ReaderKind { LibraryBuffer, CallerBuffer, WithoutHeader, MultiBlock };
  bool SendParameters(const ScanParameters& parameters);
  int LoadFilm(std::uint16_t direction, const char* operation);
  bool SendCancel(std::uint16_t value);
  // Under `mutex`: the geometry of the next scan from the cached parameters.
  void PrepareScanLocked(std::uint64_t expected);
  // The cached condition's image of 16-bit samples, in `image` bytes; false,
  // with 513, when it is empty or too large for one transfer.
  bool TakeImageGeometryLocked(std::uint64_t& image);
  int StartReader(ReaderClaim& claim, ReaderKind kind);
  void ReaderMain(ReaderKind kind);
  static void BlockProgress(std::int32_t blocksDone, void* context);
  bool ReadInquiry();
  bool ReadFilmTable();
  const std::uint8_t* FindFilm(std::uint8_t id) const;

  // The multi-block host block, in its 14-byte wire order, and the caller's blocks.
  std::uint16_t hostBlock_[7] = {};
  std::vector<std::uint16_t*> blockList_;
  std::uint32_t bytesPerBlock_ = 0;
  FilmSetParameters filmSet_{};
  bool inquiryValid_ = false;
  std::uint8_t inquiry_[128] = {};
  bool filmTableValid_ = false;
  std::uint32_t filmTableGeneration_ = 0;
  std::uint8_t filmTable_[512] = {};
};

}  // namespace brightel
