// The 50 exports of the CR reader's library over its one device object.
#include "devapi/cr/zentrac.h"

#include "devapi/cr/cr_scanner.h"
#include "devapi/device_library.h"
#include <utility>

namespace {

using zentrac::CrScanner;

devapi::KorvaScanner* createDevice() { return new CrScanner(); }
void destroyDevice(devapi::KorvaScanner* device) { delete static_cast<CrScanner*>(device); }

bool usable(const devapi::KorvaScanner& device) {
  return !zentrac::currentSettings().productIdCheck || device.usbProductId == zentrac::kProductId;
}

devapi::DeviceTraits crTraits() {
  devapi::DeviceTraits t;
  t.noDeviceText = "No matching device was found for opening";
  t.alreadyOpenText = "Driver is already started.";
  t.logLimit = CrScanner::kLogLimit;
  t.create = &createDevice;
  t.destroy = &destroyDevice;
  t.deletePausesAlways = false;
  t.beforeOpen = &zentrac::rereadSettings;
  t.usable = &usable;
  t.dropUnusableAtNew = true;
  t.wholeRecords = true;
  return t;
}

// Constructed when the library is loaded; its destructor is the unload hook.
devapi::DeviceLibrary library(crTraits());

using devapi::guarded;

// The handle rule, then the call on the CR reader's object.
template <typename F>
int onCr(int handle, F&& body) {
  return devapi::onDevice<CrScanner>(library, handle, std::forward<F>(body));
}

}  // namespace

int ZNTR_GetSCSIAdapter(devapi::AdapterInfo* info) {
  return guarded([&] { return library.GetSCSIAdapter(info); });
}
int ZNTR_GetSCSIDevice(devapi::DeviceInfo* info) {
  return guarded([&] { return library.GetSCSIDevice(info); });
}
int ZNTR_GetScanner(const char* vendor, const char* product, devapi::ScannerMatchInfo* match,
                    std::uint8_t* flags) {
  return guarded([&] { return library.GetScanner(vendor, product, match, flags); });
}
int ZNTR_New(devapi::DeviceNewParam* param) {
  return guarded([&] {
    if (!param) return 0;
    const std::int32_t timeout = param->timeout;
    if (library.New(param) != 1) return 0;
    return onCr(1, [&](CrScanner& cr) {
      cr.ApplyTimeouts(timeout);
      return 1;
    });
  });
}
int ZNTR_Init(int handle) {
  return guarded([&] { return library.Init(handle); });
}
int ZNTR_AllDelete() {
  return guarded([&] { return library.AllDelete(); });
}
int ZNTR_IdDelete(int handle, int unused) {
  return guarded([&] { return library.IdDelete(handle, unused); });
}
int ZNTR_Delete(int handle) {
  return guarded([&] { return library.Delete(handle); });
}
int ZNTR_GetError(int handle, devapi::DeviceErrorInfo* info) {
  return guarded([&] { return library.GetError(handle, info); });
}
int ZNTR_GetErrorString(devapi::DeviceErrorString* info) {
  return guarded([&] { return library.GetErrorString(info); });
}
int ZNTR_GetLog(int handle, devapi::DeviceLogBuffer* log) {
  return guarded([&] { return library.GetLog(handle, log); });
}
int ZNTR_ClearHardError(int handle) {
  return guarded([&] { return library.ClearHardError(handle); });
}
int ZNTR_GetBoardAddress(int handle, std::uint32_t* address) {
  return guarded([&] { return library.GetBoardAddress(handle, address); });
}
int ZNTR_GetPhysData(int handle, void*) {
  return guarded([&] { return library.NoEffect(handle); });
}
int ZNTR_SetPhysData(int handle, void*) {
  return guarded([&] { return library.NoEffect(handle); });
}
int ZNTR_SetGetFileData(int handle, void*) {
  return guarded([&] { return library.NoEffect(handle); });
}

int ZNTR_SetCondition(int handle, devapi::ScanCondition* condition) {
  return onCr(handle, [&](CrScanner& cr) { return cr.SetCondition(condition); });
}
int ZNTR_GetCondition(int handle, devapi::ScanCondition* condition) {
  return onCr(handle, [&](CrScanner& cr) { return cr.GetCondition(condition); });
}
int ZNTR_SetOption(int handle, const devapi::KtGOption* option) {
  return onCr(handle, [&](CrScanner& cr) { return cr.SetOption(option); });
}
int ZNTR_GetOption(int handle, devapi::KtGOption* option) {
  return onCr(handle, [&](CrScanner& cr) { return cr.GetOption(option); });
}

int ZNTR_Scan(int handle) {
  return onCr(handle, [&](CrScanner& cr) { return cr.Scan(); });
}
int ZNTR_ScanEx(int handle, const devapi::ScanBufferParam* param) {
  return onCr(handle, [&](CrScanner& cr) { return cr.ScanEx(param); });
}
int ZNTR_ScanM(int handle, const devapi::BlockScanParam* param) {
  return onCr(handle, [&](CrScanner& cr) { return cr.ScanM(param); });
}
int ZNTR_ReadBuffer(int handle, const devapi::ReadBufferParam* param) {
  return onCr(handle, [&](CrScanner& cr) { return cr.ReadBuffer(param); });
}
int ZNTR_GetScanStatus(int handle, std::uint32_t* lines) {
  return onCr(handle, [&](CrScanner& cr) { return cr.GetScanStatus(lines); });
}
int ZNTR_GetScanStatusEx(int handle, int* bytes) {
  return onCr(handle, [&](CrScanner& cr) { return cr.GetScanStatusEx(bytes); });
}
int ZNTR_GetScanStatusM(int handle, int* blocks) {
  return onCr(handle, [&](CrScanner& cr) { return cr.GetScanStatusM(blocks); });
}
int ZNTR_EightLine(int handle, const devapi::BlockScanParam* param) {
  return onCr(handle, [&](CrScanner& cr) { return cr.EightLine(param); });
}
int ZNTR_Cancel(int handle) {
  return onCr(handle, [&](CrScanner& cr) { return cr.Cancel(); });
}

int ZNTR_Erase(int handle) {
  return onCr(handle, [&](CrScanner& cr) { return cr.Erase(); });
}
int ZNTR_EjectFilm(int handle) {
  return onCr(handle, [&](CrScanner& cr) { return cr.EjectFilm(); });
}
int ZNTR_MoveFilm(int handle, int) {
  return guarded([&] { return library.NoEffect(handle); });
}
int ZNTR_NextFilm(int handle) {
  return guarded([&] { return library.NoEffect(handle); });
}
int ZNTR_ReverseFilm(int handle) {
  return guarded([&] { return library.NoEffect(handle); });
}
int ZNTR_Calibration(int handle) {
  return guarded([&] { return library.NoEffect(handle); });
}

int ZNTR_SetLUT(int handle, const devapi::TableParam* table) {
  return onCr(handle, [&](CrScanner& cr) { return cr.SetLUT(table); });
}
int ZNTR_GetLUT(int handle, const devapi::TableParam* table) {
  return onCr(handle, [&](CrScanner& cr) { return cr.GetLUT(table); });
}
int ZNTR_SetShading(int handle, const devapi::TableParam* table) {
  return onCr(handle, [&](CrScanner& cr) { return cr.SetShading(table); });
}
int ZNTR_GetShading(int handle, const devapi::TableParam* table) {
  return onCr(handle, [&](CrScanner& cr) { return cr.GetShading(table); });
}
int ZNTR_SetScanEeprom(int handle, const zentrac::ProgramParam* param) {
  return onCr(handle, [&](CrScanner& cr) { return cr.SetScanEeprom(param); });
}
int ZNTR_GetScanEeprom(int handle, const zentrac::ProgramParam* param) {
  return onCr(handle, [&](CrScanner& cr) { return cr.GetScanEeprom(param); });
}
int ZNTR_SetScanProgram(int handle, const zentrac::ProgramParam* param) {
  return onCr(handle, [&](CrScanner& cr) { return cr.SetScanProgram(param); });
}
int ZNTR_GetScanProgram(int handle, const zentrac::ProgramParam* param) {
  return onCr(handle, [&](CrScanner& cr) { return cr.GetScanProgram(param); });
}
int ZNTR_SetMaintenance(int handle, const zentrac::MaintenanceRecord* record) {
  return onCr(handle, [&](CrScanner& cr) { return cr.SetMaintenance(record); });
}
int ZNTR_GetMaintenance(int handle, zentrac::MaintenanceRecord* record) {
  return onCr(handle, [&](CrScanner& cr) { return cr.GetMaintenance(record); });
}

int ZNTR_GetScannerType(int handle, devapi::ScannerTypeInfo* info) {
  return onCr(handle, [&](CrScanner& cr) { return cr.GetScannerType(info); });
}
int ZNTR_GetFunction(int handle, devapi::FunctionInfo* info) {
  return onCr(handle, [&](CrScanner& cr) { return cr.GetFunction(info); });
}
int ZNTR_GetFilmSizeID(int handle, devapi::FilmSizeInfo* info) {
  return onCr(handle, [&](CrScanner&) {
    if (!info) return 0;
    info->sub_id = 1;
    info->width = 356;
    info->height = 432;
    return 1;
  });
}
int ZNTR_GetFilmSizeScope(int handle, devapi::FilmSizeScope* info) {
  return onCr(handle, [&](CrScanner&) {
    if (!info) return 0;
    info->min_width = 310;
    info->min_height = 359;
    info->max_width = 376;
    info->max_height = 432;
    return 1;
  });
}
int ZNTR_GetFuncLimitation(int handle, devapi::FuncLimitationInfo* info) {
  return onCr(handle, [&](CrScanner&) {
    if (!info) return 0;
    for (auto& flag : info->flags) flag = 1;
    return 1;
  });
}
