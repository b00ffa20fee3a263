#include "devapi/film/tests/brightel_fixture.h"

#include <cstdlib>
#include <mutex>

#include "platform/clock.h"
#include "simulator/radiograph.h"

namespace {
std::shared_ptr<platform::usb::Port> lentPort;
}

// Found by the library with dlsym: the test lends it its simulated bus.
extern "C" __attribute__((visibility("default"))) void* ndt_usb_host_port() { return &lentPort; }

namespace brightel_test {

void lendPort(std::shared_ptr<platform::usb::Port> port) { lentPort = std::move(port); }

void isolateRuntimeDir() {
  static testsupport::TempDir runtime;
  ::setenv("NDT_RUNTIME_DIR", runtime.path().c_str(), 1);
}

bool eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 5000; ++i) {
    if (done()) return true;
    platform::clock::sleep(1);
  }
  return done();
}

const std::vector<std::string> kExportNames = {
    "KT7163_W32GetSCSIAdapter", "KT7163_W32GetSCSIDevice",   "KT7163_W32GetScanner",
    "KT7163_W32New",            "KT7163_W32Init",            "KT7163_W32AllDelete",
    "KT7163_W32IdDelete",       "KT7163_W32Delete",          "KT7163_W32GetError",
    "KT7163_W32GetErrorString", "KT7163_W32GetLog",          "KT7163_W32ClearHardError",
    "KT7163_W32GetBoardAddress", "KT7163_W32GetPhysData",    "KT7163_W32SetPhysData",
    "KT7163_W32SetGetFileData", "KT7163_W32SetCondition",    "KT7163_W32GetCondition",
    "KT7163_W32SetOption",      "KT7163_W32GetOption",       "KT7163_W32SetLUT",
    "KT7163_W32Calibration",    "KT7163_W32NextFilm",        "KT7163_W32ReverseFilm",
    "KT7163_W32MoveFilm",       "KT7163_W32EjectFilm",       "KT7163_W32Cancel",
    "KT7163_W32Scan",           "KT7163_W32ReadBuffer",      "KT7163_W32ScanA",
    "KT7163_W32ScanEx",         "KT7163_W32ScanM",           "KT7163_W32GetScanStatus",
    "KT7163_W32GetScanStatusA", "KT7163_W32GetScanStatusEx", "KT7163_W32GetScanStatusM",
    "KT7163_W32GetScannerType", "KT7163_W32GetFunction",     "KT7163_W32GetFuncLimitation",
    "KT7163_W32GetFilmSizeID",  "KT7163_W32GetFilmSizeScope",
};

bool Api::bind(platform::Library& library, std::string* missing) {
  bool ok = true;
  auto get = [&](auto& pointer, const char* name) {
    pointer = library.function<std::remove_reference_t<decltype(pointer)>>(name);
    if (!pointer) {
      ok = false;
      if (missing) *missing = name;
    }
  };
  get(GetSCSIAdapter, "KT7163_W32GetSCSIAdapter");
  get(GetSCSIDevice, "KT7163_W32GetSCSIDevice");
  get(GetScanner, "KT7163_W32GetScanner");
  get(New, "KT7163_W32New");
  get(Init, "KT7163_W32Init");
  get(AllDelete, "KT7163_W32AllDelete");
  get(IdDelete, "KT7163_W32IdDelete");
  get(Delete, "KT7163_W32Delete");
  get(GetError, "KT7163_W32GetError");
  get(GetErrorString, "KT7163_W32GetErrorString");
  get(GetLog, "KT7163_W32GetLog");
  get(ClearHardError, "KT7163_W32ClearHardError");
  get(GetBoardAddress, "KT7163_W32GetBoardAddress");
  get(GetPhysData, "KT7163_W32GetPhysData");
  get(SetPhysData, "KT7163_W32SetPhysData");
  get(SetGetFileData, "KT7163_W32SetGetFileData");
  get(SetCondition, "KT7163_W32SetCondition");
  get(GetCondition, "KT7163_W32GetCondition");
  get(SetOption, "KT7163_W32SetOption");
  get(GetOption, "KT7163_W32GetOption");
  get(SetLUT, "KT7163_W32SetLUT");
  get(Calibration, "KT7163_W32Calibration");
  get(NextFilm, "KT7163_W32NextFilm");
  get(ReverseFilm, "KT7163_W32ReverseFilm");
  get(MoveFilm, "KT7163_W32MoveFilm");
  get(EjectFilm, "KT7163_W32EjectFilm");
  get(Cancel, "KT7163_W32Cancel");
  get(Scan, "KT7163_W32Scan");
  get(ReadBuffer, "KT7163_W32ReadBuffer");
  get(ScanA, "KT7163_W32ScanA");
  get(ScanEx, "KT7163_W32ScanEx");
  get(ScanM, "KT7163_W32ScanM");
  get(GetScanStatus, "KT7163_W32GetScanStatus");
  get(GetScanStatusA, "KT7163_W32GetScanStatusA");
  get(GetScanStatusEx, "KT7163_W32GetScanStatusEx");
  get(GetScanStatusM, "KT7163_W32GetScanStatusM");
  get(GetScannerType, "KT7163_W32GetScannerType");
  get(GetFunction, "KT7163_W32GetFunction");
  get(GetFuncLimitation, "KT7163_W32GetFuncLimitation");
  get(GetFilmSizeID, "KT7163_W32GetFilmSizeID");
  get(GetFilmSizeScope, "KT7163_W32GetFilmSizeScope");
  return ok;
}

bool load(platform::Library& library, Api& api, std::string* why) {
  static int anchor;
  if (!library.open("Brightel.DLL", &anchor)) {
    if (why) *why = library.errorText();
    return false;
  }
  return api.bind(library, why);
}

void BrightelTest::SetUp() {
  isolateRuntimeDir();
  bus = std::make_shared<sim::Bus>();
  film = bus->plug(sim::filmDigitizer());
  lendPort(bus);
  std::string why;
  ASSERT_TRUE(load(library, api, &why)) << why;
}

void BrightelTest::TearDown() {
  if (library.isOpen() && api.Delete) api.Delete(1);
  library.close();
  lendPort(nullptr);
}

int BrightelTest::open() {
  devapi::DeviceNewParam param{};
  param.timeout = 60;
  if (api.New(&param) != 1) return -1;
  handle = param.handle;
  return handle;
}

int BrightelTest::lastCode() {
  devapi::DeviceErrorInfo info{};
  if (api.GetError(handle, &info) != 1) return -1;
  return info.code;
}

devapi::ScanCondition BrightelTest::condition(std::uint32_t widthMm, std::uint32_t heightMm,
                                              std::uint16_t pitch, std::uint8_t bits) {
  devapi::ScanCondition c{};
  c.width = widthMm;
  c.height = heightMm;
  c.pitch = pitch;
  c.pixel_bit_n = bits;
  c.out_bit_depth = bits;
  return c;
}

std::vector<std::uint8_t> BrightelTest::expectedImage(std::uint16_t code) const {
  const std::vector<std::uint16_t> p = film.scanParameters();
  return sim::radiograph(sim::scanImageSpec(p, code, 0, p[4], 0));
}

}  // namespace brightel_test
