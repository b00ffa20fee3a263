// A film digitizer library made of test functions: every call is logged, every
// answer is set by the test. Installed into the library's connection in place
// of the loaded Brightel.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "scanui/internal/brightel_table.h"
#include "scanui/internal/connection.h"

namespace scanui_test {

struct FakeBrightel {
  std::vector<std::string> log;
  // Discovery: by "vendor/product" ("-/-" for nulls) the devices reported;
  // a pair not listed reports none.
  std::map<std::string, std::vector<std::pair<int, int>>> devices;
  bool getScannerOk = true;
  bool adapterOk = true;
  std::vector<std::string> adapterNames;  // by adapter number
  std::vector<std::pair<int, int>> refuseNew;  // (adapter, device id) that New refuses
  bool initOk = true;
  bool conditionOk = true;
  int filmCode = 1;
  std::uint32_t bufferSize = 64u << 20;
  bool ejectOk = true;
  bool reverseOk = true;
  int feeder = 1;
  int odMax = 47;
  bool getErrorOk = true;
  devapi::DeviceErrorInfo error{0x0109, 0x20A, 0x1234, 0x20A, 3};
  // The device error strings, one a call (the last one repeats).
  std::vector<std::pair<std::uint16_t, std::string>> errorStrings;
  bool clearOk = true;
  // The optional functions that the fake library lacks.
  bool hasScannerType = true, hasOption = true, hasErrorString = true, hasClearHardError = true;
  int loads = 0, unloads = 0;

  // Scanning. The device reports the frame last set, `extraColumns` wider;
  // `lineWidth` of 0 or more reports that width instead. Its sample at column x of
  // line y is pixel(x, y), a byte or a little-endian word.
  std::vector<devapi::ScanCondition> conditions;  // every SetCondition
  std::vector<std::uint16_t> lut;                  // the last SetLUT's entries
  std::uint16_t lutType = 0;
  std::uint32_t extraColumns = 0;
  std::int64_t lineWidth = -1;
  bool scanOk = true;
  int failRead = 0;  // the n-th ReadBuffer (1-based) fails; 0 never
  int reads = 0;
  std::uint32_t linesDelivered = 0;
  std::function<void(int)> onRead;  // after the n-th read, on the caller's thread
  std::vector<int> nextFilmCodes;   // the film codes after each NextFilm; empty: unchanged
  static std::uint16_t pixel(std::uint32_t x, std::uint32_t y) { return std::uint16_t((x * 3 + y * 5) & 0xFFF); }

  scanui::internal::BrightelTable table() const;
  // Calls to one function, e.g. "Delete(1)".
  int count(const std::string& call) const;
};

// The fake of the running test; null outside a fixture.
extern FakeBrightel* fake;

class FakeSource : public scanui::internal::BrightelSource {
 public:
  scanui::internal::BindResult load(scanui::internal::BrightelTable& table) override;
  void unload() override;
};

}  // namespace scanui_test
