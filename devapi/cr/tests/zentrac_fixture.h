// libZentrac.so loaded as the CR engine loads it, over the real driver and a
// simulated CR reader that the test process lends the library. Each test gets
// its own copy of the library in a directory of its own, so that the two
// settings files beside it are the test's.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "devapi/cr/zentrac.h"
#include "devapi/records.h"
#include "platform/library.h"
#include "simulator/sim.h"
#include "testsupport/testsupport.h"

namespace zentrac_test {

void lendPort(std::shared_ptr<platform::usb::Port> port);

// Polls every millisecond for up to ten seconds until `done` holds.
bool eventually(const std::function<bool()>& done);

// The 50 export names, and the 15 the CR engine binds.
extern const std::vector<std::string> kExportNames;
extern const std::vector<std::string> kEngineNames;

// The exports the tests call, bound by name.
struct Api {
  int (*New)(devapi::DeviceNewParam*);
  int (*Delete)(int);
  int (*GetError)(int, devapi::DeviceErrorInfo*);
  int (*GetErrorString)(devapi::DeviceErrorString*);
  int (*ClearHardError)(int);
  int (*SetCondition)(int, devapi::ScanCondition*);
  int (*GetCondition)(int, devapi::ScanCondition*);
  int (*SetOption)(int, const devapi::KtGOption*);
  int (*GetOption)(int, devapi::KtGOption*);
  int (*Scan)(int);
  int (*ScanEx)(int, const devapi::ScanBufferParam*);
  int (*ScanM)(int, const devapi::BlockScanParam*);
  int (*ReadBuffer)(int, const devapi::ReadBufferParam*);
  int (*GetScanStatus)(int, std::uint32_t*);
  int (*GetScanStatusEx)(int, int*);
  int (*GetScanStatusM)(int, int*);
  int (*EightLine)(int, const devapi::BlockScanParam*);
  int (*Cancel)(int);
  int (*Erase)(int);
  int (*EjectFilm)(int);
  int (*SetLUT)(int, const devapi::TableParam*);
  int (*GetLUT)(int, const devapi::TableParam*);
  int (*SetShading)(int, const devapi::TableParam*);
  int (*GetShading)(int, const devapi::TableParam*);
  int (*GetMaintenance)(int, zentrac::MaintenanceRecord*);
  int (*GetScannerType)(int, devapi::ScannerTypeInfo*);
  int (*GetFunction)(int, devapi::FunctionInfo*);
  int (*Init)(int);

  bool bind(platform::Library& library, std::string* missing);
};

// A CR reader on a simulated bus and a private copy of the library, not yet loaded.
class ZentracTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes Zentrac_DLL.ini beside the library: "KEY=value" lines of [KVDEV].
  void writeSettings(const std::string& lines);
  void writeHardSettings(const std::string& text);
  // Loads the library and binds it.
  void load();
  // ZNTR_New with a time-out; the handle it hands out, or -1.
  int open(std::int32_t timeout = -1);
  int lastCode();
  std::string errorText();
  // A condition of width x height mm at a pitch and depth (sensor 16 bits).
  static devapi::ScanCondition condition(std::uint32_t widthMm, std::uint32_t heightMm,
                                         std::uint16_t pitch, std::uint8_t outBits);
  // Sets the condition, and the output depth the corrections read, on the scanner.
  void setCondition(devapi::ScanCondition c);
  // Waits for the blocks of a ZNTR_ScanM to be done and its reader to end.
  void waitBlocks(int count);
  std::vector<sim::LogEntry> commands() const { return cr.log(sim::LogEntry::Kind::Command); }
  // How many commands with this word went over the wire.
  int countWord(std::uint16_t word) const;
  // The samples the simulator sends for `lines` lines from line `offset`.
  std::vector<std::uint16_t> expectedLines(std::uint32_t offset, std::uint32_t lines) const;

  testsupport::TempDir dir;
  testsupport::TempDir runtime;
  std::filesystem::path libraryFile;
  std::shared_ptr<sim::Bus> bus;
  sim::Scanner cr;
  platform::Library library;
  Api api{};
  int handle = -1;
};

// Command words on the wire: reads carry the direction bit.
inline constexpr std::uint16_t kBlockScanWord = 128 | 0x100;
inline constexpr std::uint16_t kSetParametersWord = 2;
inline constexpr std::uint16_t kResetFilmWord = 7;
inline constexpr std::uint16_t kCancelWord = 39;
inline constexpr std::uint16_t kEraseWord = 40;
inline constexpr std::uint16_t kSetLutWord = 16;

}  // namespace zentrac_test

namespace zentrac_test {
// Sets the scanner's scan parameters before the library opens it, with the
// photometric word of that output depth (the library keeps the output depth
// the scanner reports).
void presetScanner(std::shared_ptr<sim::Bus> bus, std::uint16_t imageDataFormat);
}  // namespace zentrac_test
