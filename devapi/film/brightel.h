// The film digitizer's device library, libBrightel.so: 41 plain functions that
// callers load at run time and bind by name. Every function returns 1 for
// success and 0 for failure; the cause is fetched with KT7163_W32GetError or
// KT7163_W32GetErrorString. The handle that KT7163_W32New hands out is 1.
#pragma once

#include <cstdint>

#include "devapi/records.h"

#define BRIGHTEL_API extern "C" __attribute__((visibility("default")))

// Opening, deleting and the error queries.
BRIGHTEL_API int KT7163_W32GetSCSIAdapter(devapi::AdapterInfo* info);
BRIGHTEL_API int KT7163_W32GetSCSIDevice(devapi::DeviceInfo* info);
BRIGHTEL_API int KT7163_W32GetScanner(const char* vendor, const char* product,
                                      devapi::ScannerMatchInfo* match, std::uint8_t* flags);
BRIGHTEL_API int KT7163_W32New(devapi::DeviceNewParam* param);
BRIGHTEL_API int KT7163_W32Init(int handle);
BRIGHTEL_API int KT7163_W32AllDelete();
BRIGHTEL_API int KT7163_W32IdDelete(int handle, int unused);
BRIGHTEL_API int KT7163_W32Delete(int handle);
BRIGHTEL_API int KT7163_W32GetError(int handle, devapi::DeviceErrorInfo* info);
BRIGHTEL_API int KT7163_W32GetErrorString(devapi::DeviceErrorString* info);
BRIGHTEL_API int KT7163_W32GetLog(int handle, devapi::DeviceLogBuffer* log);
BRIGHTEL_API int KT7163_W32ClearHardError(int handle);
BRIGHTEL_API int KT7163_W32GetBoardAddress(int handle, std::uint32_t* address);
BRIGHTEL_API int KT7163_W32GetPhysData(int handle, void* data);
BRIGHTEL_API int KT7163_W32SetPhysData(int handle, void* data);
BRIGHTEL_API int KT7163_W32SetGetFileData(int handle, void* data);

// Scan set-up.
BRIGHTEL_API int KT7163_W32SetCondition(int handle, const devapi::ScanCondition* condition);
BRIGHTEL_API int KT7163_W32GetCondition(int handle, devapi::ScanCondition* condition);
BRIGHTEL_API int KT7163_W32SetOption(int handle, const devapi::KtGOption* option);
BRIGHTEL_API int KT7163_W32GetOption(int handle, devapi::KtGOption* option);
BRIGHTEL_API int KT7163_W32SetLUT(int handle, const devapi::TableParam* table);
BRIGHTEL_API int KT7163_W32Calibration(int handle);

// Film transport.
BRIGHTEL_API int KT7163_W32NextFilm(int handle);
BRIGHTEL_API int KT7163_W32ReverseFilm(int handle);
BRIGHTEL_API int KT7163_W32MoveFilm(int handle, int length);
BRIGHTEL_API int KT7163_W32EjectFilm(int handle);

// Scans.
BRIGHTEL_API int KT7163_W32Cancel(int handle);
BRIGHTEL_API int KT7163_W32Scan(int handle);
BRIGHTEL_API int KT7163_W32ReadBuffer(int handle, const devapi::ReadBufferParam* param);
BRIGHTEL_API int KT7163_W32ScanA(int handle, const devapi::ScanBufferParam* param);
BRIGHTEL_API int KT7163_W32ScanEx(int handle, const devapi::ScanBufferParam* param);
BRIGHTEL_API int KT7163_W32ScanM(int handle, const devapi::BlockScanParam* param);
BRIGHTEL_API int KT7163_W32GetScanStatus(int handle, std::uint32_t* lines);
BRIGHTEL_API int KT7163_W32GetScanStatusA(int handle, int* count);
BRIGHTEL_API int KT7163_W32GetScanStatusEx(int handle, int* count);
BRIGHTEL_API int KT7163_W32GetScanStatusM(int handle, int* count);

// The scanner's own description.
BRIGHTEL_API int KT7163_W32GetScannerType(int handle, devapi::ScannerTypeInfo* info);
BRIGHTEL_API int KT7163_W32GetFunction(int handle, devapi::FunctionInfo* info);
BRIGHTEL_API int KT7163_W32GetFuncLimitation(int handle, devapi::FuncLimitationInfo* info);
BRIGHTEL_API int KT7163_W32GetFilmSizeID(int handle, devapi::FilmSizeInfo* info);
BRIGHTEL_API int KT7163_W32GetFilmSizeScope(int handle, devapi::FilmSizeScope* info);
