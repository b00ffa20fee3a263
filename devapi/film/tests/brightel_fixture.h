// libBrightel.so loaded as its callers load it, over the real driver and a
// simulated film digitizer that the test process lends the library.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "devapi/records.h"
#include "platform/library.h"
#include "simulator/sim.h"
#include "testsupport/testsupport.h"

namespace brightel_test {

// The port that the library's driver takes (see ndt_usb_host_port).
void lendPort(std::shared_ptr<platform::usb::Port> port);

// A fresh runtime directory for the named mutexes of this test process, so
// that tests running side by side do not share "BrightelUSB".
void isolateRuntimeDir();

// The exports, bound by name.
struct Api {
  int (*GetSCSIAdapter)(devapi::AdapterInfo*);
  int (*GetSCSIDevice)(devapi::DeviceInfo*);
  int (*GetScanner)(const char*, const char*, devapi::ScannerMatchInfo*, std::uint8_t*);
  int (*New)(devapi::DeviceNewParam*);
  int (*Init)(int);
  int (*AllDelete)();
  int (*IdDelete)(int, int);
  int (*Delete)(int);
  int (*GetError)(int, devapi::DeviceErrorInfo*);
  int (*GetErrorString)(devapi::DeviceErrorString*);
  int (*GetLog)(int, devapi::DeviceLogBuffer*);
  int (*ClearHardError)(int);
  int (*GetBoardAddress)(int, std::uint32_t*);
  int (*GetPhysData)(int, void*);
  int (*SetPhysData)(int, void*);
  int (*SetGetFileData)(int, void*);
  int (*SetCondition)(int, const devapi::ScanCondition*);
  int (*GetCondition)(int, devapi::ScanCondition*);
  int (*SetOption)(int, const devapi::KtGOption*);
  int (*GetOption)(int, devapi::KtGOption*);
  int (*SetLUT)(int, const devapi::TableParam*);
  int (*Calibration)(int);
  int (*NextFilm)(int);
  int (*ReverseFilm)(int);
  int (*MoveFilm)(int, int);
  int (*EjectFilm)(int);
  int (*Cancel)(int);
  int (*Scan)(int);
  int (*ReadBuffer)(int, const devapi::ReadBufferParam*);
  int (*ScanA)(int, const devapi::ScanBufferParam*);
  int (*ScanEx)(int, const devapi::ScanBufferParam*);
  int (*ScanM)(int, const devapi::BlockScanParam*);
  int (*GetScanStatus)(int, std::uint32_t*);
  int (*GetScanStatusA)(int, int*);
  int (*GetScanStatusEx)(int, int*);
  int (*GetScanStatusM)(int, int*);
  int (*GetScannerType)(int, devapi::ScannerTypeInfo*);
  int (*GetFunction)(int, devapi::FunctionInfo*);
  int (*GetFuncLimitation)(int, devapi::FuncLimitationInfo*);
  int (*GetFilmSizeID)(int, devapi::FilmSizeInfo*);
  int (*GetFilmSizeScope)(int, devapi::FilmSizeScope*);

  // Binds every export; false with the missing name when one is absent.
  bool bind(platform::Library& library, std::string* missing);
};

// Polls every millisecond for up to five seconds until `done` holds.
bool eventually(const std::function<bool()>& done);

// The 41 export names.
extern const std::vector<std::string> kExportNames;

// Loads the library (as "Brightel.DLL", the way its callers name it) and binds it.
bool load(platform::Library& library, Api& api, std::string* why = nullptr);

// A film digitizer on a simulated bus, the library loaded, not yet opened.
class BrightelTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // KT7163_W32New; the handle it hands out.
  int open();
  // The last result code that GetError reports.
  int lastCode();
  // A condition for a region of width x height mm at a pitch and depth.
  static devapi::ScanCondition condition(std::uint32_t widthMm, std::uint32_t heightMm,
                                         std::uint16_t pitch, std::uint8_t bits);
  // The commands the simulator received, in order.
  std::vector<sim::LogEntry> commands() const { return film.log(sim::LogEntry::Kind::Command); }
  // The image the simulator sends for the scan parameters it holds.
  std::vector<std::uint8_t> expectedImage(std::uint16_t code) const;

  std::shared_ptr<sim::Bus> bus;
  sim::Scanner film;
  platform::Library library;
  Api api{};
  int handle = -1;
};

// Command words on the wire: reads carry the direction bit.
inline constexpr std::uint16_t kScanWord = 5 | 0x100;
inline constexpr std::uint16_t kCancelWord = 39;
inline constexpr std::uint16_t kSetParametersWord = 2;

}  // namespace brightel_test
