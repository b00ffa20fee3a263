// The 41 exports of the film digitizer's library over its one device object.
#include "devapi/film/brightel.h"

#include "devapi/device_library.h"
#include "devapi/film/film_scanner.h"
#include <utility>

namespace {

using brightel::FilmScanner;

devapi::KorvaScanner* createDevice() { return new FilmScanner(); }
void destroyDevice(devapi::KorvaScanner* device) { delete static_cast<FilmScanner*>(device); }

devapi::DeviceTraits filmTraits() {
  devapi::DeviceTraits t;
  t.noDeviceText = nullptr;  // this library never reports 516 without an object
  t.alreadyOpenText = "Device is already open";
  t.logLimit = FilmScanner::kLogLimit;
  t.create = &createDevice;
  t.destroy = &destroyDevice;
  t.deletePausesAlways = true;
  return t;
}

// Constructed when the library is loaded; its destructor is the unload hook.
devapi::DeviceLibrary library(filmTraits());

using devapi::guarded;

// The handle rule, then the call on the film digitizer's object.
template <typename F>
int onFilm(int handle, F&& body) {
  return devapi::onDevice<FilmScanner>(library, handle, std::forward<F>(body));
}

}  // namespace

int KT7163_W32GetSCSIAdapter(devapi::AdapterInfo* info) {
  return guarded([&] { return library.GetSCSIAdapter(info); });
}
int KT7163_W32GetSCSIDevice(devapi::DeviceInfo* info) {
  return guarded([&] { return library.GetSCSIDevice(info); });
}
int KT7163_W32GetScanner(const char* vendor, const char* product, devapi::ScannerMatchInfo* match,
                         std::uint8_t* flags) {
  return guarded([&] { return library.GetScanner(vendor, product, match, flags); });
}
int KT7163_W32New(devapi::DeviceNewParam* param) {
  return guarded([&] { return library.New(param); });
}
int KT7163_W32Init(int handle) {
  return guarded([&] { return library.Init(handle); });
}
int KT7163_W32AllDelete() {
  return guarded([&] { return library.AllDelete(); });
}
int KT7163_W32IdDelete(int handle, int unused) {
  return guarded([&] { return library.IdDelete(handle, unused); });
}
int KT7163_W32Delete(int handle) {
  return guarded([&] { return library.Delete(handle); });
}
int KT7163_W32GetError(int handle, devapi::DeviceErrorInfo* info) {
  return guarded([&] { return library.GetError(handle, info); });
}
int KT7163_W32GetErrorString(devapi::DeviceErrorString* info) {
  return guarded([&] { return library.GetErrorString(info); });
}
int KT7163_W32GetLog(int handle, devapi::DeviceLogBuffer* log) {
  return guarded([&] { return library.GetLog(handle, log); });
}
int KT7163_W32ClearHardError(int handle) {
  return guarded([&] { return library.ClearHardError(handle); });
}
int KT7163_W32GetBoardAddress(int handle, std::uint32_t* address) {
  return guarded([&] { return library.GetBoardAddress(handle, address); });
}
int KT7163_W32GetPhysData(int handle, void*) {
  return guarded([&] { return library.NoEffect(handle); });
}
int KT7163_W32SetPhysData(int handle, void*) {
  return guarded([&] { return library.NoEffect(handle); });
}
int KT7163_W32SetGetFileData(int handle, void*) {
  return guarded([&] { return library.NoEffect(handle); });
}

int KT7163_W32SetCondition(int handle, const devapi::ScanCondition* condition) {
  return onFilm(handle, [&](FilmScanner& d) { return d.SetCondition(condition); });
}
int KT7163_W32GetCondition(int handle, devapi::ScanCondition* condition) {
  return onFilm(handle, [&](FilmScanner& d) { return d.GetCondition(condition); });
}
int KT7163_W32SetOption(int handle, const devapi::KtGOption* option) {
  return onFilm(handle, [&](FilmScanner& d) { return d.SetOption(option); });
}
int KT7163_W32GetOption(int handle, devapi::KtGOption* option) {
  return onFilm(handle, [&](FilmScanner& d) { return d.GetOption(option); });
}
int KT7163_W32SetLUT(int handle, const devapi::TableParam* table) {
  return onFilm(handle, [&](FilmScanner& d) { return d.SetLUT(table); });
}
int KT7163_W32Calibration(int handle) {
  return onFilm(handle, [&](FilmScanner& d) { return d.Calibration(); });
}
int KT7163_W32NextFilm(int handle) {
  return onFilm(handle, [&](FilmScanner& d) { return d.NextFilm(); });
}
int KT7163_W32ReverseFilm(int handle) {
  return onFilm(handle, [&](FilmScanner& d) { return d.ReverseFilm(); });
}
int KT7163_W32MoveFilm(int handle, int length) {
  return onFilm(handle, [&](FilmScanner& d) { return d.MoveFilm(length); });
}
int KT7163_W32EjectFilm(int handle) {
  return onFilm(handle, [&](FilmScanner& d) { return d.EjectFilm(); });
}
int KT7163_W32Cancel(int handle) {
  return onFilm(handle, [&](FilmScanner& d) { return d.Cancel(); });
}
int KT7163_W32Scan(int handle) {
  return onFilm(handle, [&](FilmScanner& d) { return d.Scan(); });
}
int KT7163_W32ReadBuffer(int handle, const devapi::ReadBufferParam* param) {
  return onFilm(handle, [&](FilmScanner& d) { return d.ReadBuffer(param); });
}
int KT7163_W32ScanA(int handle, const devapi::ScanBufferParam* param) {
  return onFilm(handle, [&](FilmScanner& d) { return d.ScanA(param); });
}
int KT7163_W32ScanEx(int handle, const devapi::ScanBufferParam* param) {
  return onFilm(handle, [&](FilmScanner& d) { return d.ScanEx(param); });
}
int KT7163_W32ScanM(int handle, const devapi::BlockScanParam* param) {
  return onFilm(handle, [&](FilmScanner& d) { return d.ScanM(param); });
}
int KT7163_W32GetScanStatus(int handle, std::uint32_t* lines) {
  return onFilm(handle, [&](FilmScanner& d) { return d.GetScanStatus(lines); });
}
int KT7163_W32GetScanStatusA(int handle, int* count) {
  return onFilm(handle, [&](FilmScanner& d) { return d.GetRawScanStatus(count); });
}
int KT7163_W32GetScanStatusEx(int handle, int* count) {
  return onFilm(handle, [&](FilmScanner& d) { return d.GetRawScanStatus(count); });
}
int KT7163_W32GetScanStatusM(int handle, int* count) {
  return onFilm(handle, [&](FilmScanner& d) { return d.GetRawScanStatus(count); });
}
int KT7163_W32GetScannerType(int handle, devapi::ScannerTypeInfo* info) {
  return onFilm(handle, [&](FilmScanner& d) { return d.GetScannerType(info); });
}
int KT7163_W32GetFunction(int handle, devapi::FunctionInfo* info) {
  return onFilm(handle, [&](FilmScanner& d) { return d.GetFunction(info); });
}
int KT7163_W32GetFuncLimitation(int handle, devapi::FuncLimitationInfo* info) {
  return onFilm(handle, [&](FilmScanner& d) { return d.GetFuncLimitation(info); });
}
int KT7163_W32GetFilmSizeID(int handle, devapi::FilmSizeInfo* info) {
  return onFilm(handle, [&](FilmScanner& d) { return d.GetFilmSizeID(info); });
}
int KT7163_W32GetFilmSizeScope(int handle, devapi::FilmSizeScope* info) {
  return onFilm(handle, [&](FilmScanner& d) { return d.GetFilmSizeScope(info); });
}
