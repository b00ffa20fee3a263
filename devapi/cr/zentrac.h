// The CR plate reader's device library, libZentrac.so: 50 plain functions that
// the CR engine loads at run time and binds by name. Every function returns 1
// for success and 0 for failure; the cause is fetched with ZNTR_GetError or
// ZNTR_GetErrorString. The handle that ZNTR_New hands out is 1.
#pragma once

#include <cstddef>
#include <cstdint>

#include "devapi/records.h"

#define ZENTRAC_API extern "C" __attribute__((visibility("default")))

namespace zentrac {

#pragma pack(push, 1)
// Scan EEPROM and scan program transfers.
struct ProgramParam {
  std::uint16_t word_size;  // the EEPROM calls require 2
  std::uint8_t padding[2];
  std::uint32_t count;  // words
  std::uint16_t* words;
};
// The 15 maintenance words behind one unused word.
struct MaintenanceRecord {
  std::uint16_t unused;
  std::uint16_t words[15];
};
#pragma pack(pop)
static_assert(sizeof(ProgramParam) == 12 + sizeof(void*) - 4);
static_assert(offsetof(ProgramParam, count) == 4 && offsetof(ProgramParam, words) == 8);
static_assert(sizeof(MaintenanceRecord) == 32);

}  // namespace zentrac

// Opening, deleting and the error queries.
ZENTRAC_API int ZNTR_GetSCSIAdapter(devapi::AdapterInfo* info);
ZENTRAC_API int ZNTR_GetSCSIDevice(devapi::DeviceInfo* info);
ZENTRAC_API int ZNTR_GetScanner(const char* vendor, const char* product,
                                devapi::ScannerMatchInfo* match, std::uint8_t* flags);
ZENTRAC_API int ZNTR_New(devapi::DeviceNewParam* param);
ZENTRAC_API int ZNTR_Init(int handle);
ZENTRAC_API int ZNTR_AllDelete();
ZENTRAC_API int ZNTR_IdDelete(int handle, int unused);
ZENTRAC_API int ZNTR_Delete(int handle);
ZENTRAC_API int ZNTR_GetError(int handle, devapi::DeviceErrorInfo* info);
ZENTRAC_API int ZNTR_GetErrorString(devapi::DeviceErrorString* info);
ZENTRAC_API int ZNTR_GetLog(int handle, devapi::DeviceLogBuffer* log);
ZENTRAC_API int ZNTR_ClearHardError(int handle);
ZENTRAC_API int ZNTR_GetBoardAddress(int handle, std::uint32_t* address);
ZENTRAC_API int ZNTR_GetPhysData(int handle, void* data);
ZENTRAC_API int ZNTR_SetPhysData(int handle, void* data);
ZENTRAC_API int ZNTR_SetGetFileData(int handle, void* data);

// Scan set-up.
ZENTRAC_API int ZNTR_SetCondition(int handle, devapi::ScanCondition* condition);
ZENTRAC_API int ZNTR_GetCondition(int handle, devapi::ScanCondition* condition);
ZENTRAC_API int ZNTR_SetOption(int handle, const devapi::KtGOption* option);
ZENTRAC_API int ZNTR_GetOption(int handle, devapi::KtGOption* option);

// Scans and their corrections.
ZENTRAC_API int ZNTR_Scan(int handle);
ZENTRAC_API int ZNTR_ScanEx(int handle, const devapi::ScanBufferParam* param);
ZENTRAC_API int ZNTR_ScanM(int handle, const devapi::BlockScanParam* param);
ZENTRAC_API int ZNTR_ReadBuffer(int handle, const devapi::ReadBufferParam* param);
ZENTRAC_API int ZNTR_GetScanStatus(int handle, std::uint32_t* lines);
ZENTRAC_API int ZNTR_GetScanStatusEx(int handle, int* bytes);
ZENTRAC_API int ZNTR_GetScanStatusM(int handle, int* blocks);
ZENTRAC_API int ZNTR_EightLine(int handle, const devapi::BlockScanParam* param);
ZENTRAC_API int ZNTR_Cancel(int handle);

// Plate handling.
ZENTRAC_API int ZNTR_Erase(int handle);
ZENTRAC_API int ZNTR_EjectFilm(int handle);
ZENTRAC_API int ZNTR_MoveFilm(int handle, int length);
ZENTRAC_API int ZNTR_NextFilm(int handle);
ZENTRAC_API int ZNTR_ReverseFilm(int handle);
ZENTRAC_API int ZNTR_Calibration(int handle);

// Tables and stored words, passed through to the scanner.
ZENTRAC_API int ZNTR_SetLUT(int handle, const devapi::TableParam* table);
ZENTRAC_API int ZNTR_GetLUT(int handle, const devapi::TableParam* table);
ZENTRAC_API int ZNTR_SetShading(int handle, const devapi::TableParam* table);
ZENTRAC_API int ZNTR_GetShading(int handle, const devapi::TableParam* table);
ZENTRAC_API int ZNTR_SetScanEeprom(int handle, const zentrac::ProgramParam* param);
ZENTRAC_API int ZNTR_GetScanEeprom(int handle, const zentrac::ProgramParam* param);
ZENTRAC_API int ZNTR_SetScanProgram(int handle, const zentrac::ProgramParam* param);
ZENTRAC_API int ZNTR_GetScanProgram(int handle, const zentrac::ProgramParam* param);
ZENTRAC_API int ZNTR_SetMaintenance(int handle, const zentrac::MaintenanceRecord* record);
ZENTRAC_API int ZNTR_GetMaintenance(int handle, zentrac::MaintenanceRecord* record);

// The reader's fixed description.
ZENTRAC_API int ZNTR_GetScannerType(int handle, devapi::ScannerTypeInfo* info);
ZENTRAC_API int ZNTR_GetFunction(int handle, devapi::FunctionInfo* info);
ZENTRAC_API int ZNTR_GetFilmSizeID(int handle, devapi::FilmSizeInfo* info);
ZENTRAC_API int ZNTR_GetFilmSizeScope(int handle, devapi::FilmSizeScope* info);
ZENTRAC_API int ZNTR_GetFuncLimitation(int handle, devapi::FuncLimitationInfo* info);
