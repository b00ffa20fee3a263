#include "devapi/cr/tests/zentrac_fixture.h"

#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "platform/clock.h"
#include "platform/paths.h"
#include "simulator/radiograph.h"

namespace {
std::shared_ptr<platform::usb::Port> lentPort;
}

// Found by the library with dlsym: the test lends it its simulated bus.
extern "C" __attribute__((visibility("default"))) void* ndt_usb_host_port() { return &lentPort; }

namespace zentrac_test {

void lendPort(std::shared_ptr<platform::usb::Port> port) { lentPort = std::move(port); }

bool eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 10000; ++i) {
    if (done()) return true;
    platform::clock::sleep(1);
  }
  return done();
}

const std::vector<std::string> kExportNames = {
    "ZNTR_GetSCSIAdapter", "ZNTR_GetSCSIDevice",  "ZNTR_GetScanner",      "ZNTR_New",
    "ZNTR_Init",           "ZNTR_AllDelete",      "ZNTR_IdDelete",        "ZNTR_Delete",
    "ZNTR_GetError",       "ZNTR_GetErrorString", "ZNTR_GetLog",          "ZNTR_ClearHardError",
    "ZNTR_GetBoardAddress", "ZNTR_GetPhysData",   "ZNTR_SetPhysData",     "ZNTR_SetGetFileData",
    "ZNTR_SetCondition",   "ZNTR_GetCondition",   "ZNTR_SetOption",       "ZNTR_GetOption",
    "ZNTR_Scan",           "ZNTR_ScanEx",         "ZNTR_ScanM",           "ZNTR_ReadBuffer",
    "ZNTR_GetScanStatus",  "ZNTR_GetScanStatusEx", "ZNTR_GetScanStatusM", "ZNTR_EightLine",
    "ZNTR_Cancel",         "ZNTR_Erase",          "ZNTR_EjectFilm",       "ZNTR_SetLUT",
    "ZNTR_GetLUT",         "ZNTR_SetShading",     "ZNTR_GetShading",      "ZNTR_SetScanEeprom",
    "ZNTR_GetScanEeprom",  "ZNTR_SetScanProgram", "ZNTR_GetScanProgram",  "ZNTR_SetMaintenance",
    "ZNTR_GetMaintenance", "ZNTR_GetScannerType", "ZNTR_GetFunction",     "ZNTR_GetFilmSizeID",
    "ZNTR_GetFilmSizeScope", "ZNTR_GetFuncLimitation", "ZNTR_MoveFilm",   "ZNTR_NextFilm",
    "ZNTR_ReverseFilm",    "ZNTR_Calibration",
};

const std::vector<std::string> kEngineNames = {
    "ZNTR_New",         "ZNTR_Delete",         "ZNTR_SetCondition",   "ZNTR_GetCondition",
    "ZNTR_ScanM",       "ZNTR_GetScanStatusM", "ZNTR_Erase",          "ZNTR_EjectFilm",
    "ZNTR_GetErrorString", "ZNTR_ClearHardError", "ZNTR_GetLog",      "ZNTR_SetOption",
    "ZNTR_GetOption",   "ZNTR_GetScannerType", "ZNTR_EightLine",
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
  get(New, "ZNTR_New");
  get(Delete, "ZNTR_Delete");
  get(GetError, "ZNTR_GetError");
  get(GetErrorString, "ZNTR_GetErrorString");
  get(ClearHardError, "ZNTR_ClearHardError");
  get(SetCondition, "ZNTR_SetCondition");
  get(GetCondition, "ZNTR_GetCondition");
  get(SetOption, "ZNTR_SetOption");
  get(GetOption, "ZNTR_GetOption");
  get(Scan, "ZNTR_Scan");
  get(ScanEx, "ZNTR_ScanEx");
  get(ScanM, "ZNTR_ScanM");
  get(ReadBuffer, "ZNTR_ReadBuffer");
  get(GetScanStatus, "ZNTR_GetScanStatus");
  get(GetScanStatusEx, "ZNTR_GetScanStatusEx");
  get(GetScanStatusM, "ZNTR_GetScanStatusM");
  get(EightLine, "ZNTR_EightLine");
  get(Cancel, "ZNTR_Cancel");
  get(Erase, "ZNTR_Erase");
  get(EjectFilm, "ZNTR_EjectFilm");
  get(SetLUT, "ZNTR_SetLUT");
  get(GetLUT, "ZNTR_GetLUT");
  get(SetShading, "ZNTR_SetShading");
  get(GetShading, "ZNTR_GetShading");
  get(GetMaintenance, "ZNTR_GetMaintenance");
  get(GetScannerType, "ZNTR_GetScannerType");
  get(GetFunction, "ZNTR_GetFunction");
  get(Init, "ZNTR_Init");
  return ok;
}

void ZentracTest::SetUp() {
  ::setenv("NDT_RUNTIME_DIR", runtime.path().c_str(), 1);
  // A copy of the library of its own (the settings files lie beside it); the
  // driver library is found beside it through a link.
  const std::filesystem::path bin = platform::paths::programDir();
  libraryFile = dir.path() / "libZentrac.so";
  std::filesystem::copy_file(bin / "libZentrac.so", libraryFile);
  std::filesystem::create_symlink(bin / "libPravik.so", dir.path() / "libPravik.so");
  bus = std::make_shared<sim::Bus>();
  cr = bus->plug(sim::crReader());
  lendPort(bus);
}

void ZentracTest::TearDown() {
  if (library.isOpen() && api.Delete) api.Delete(1);
  library.close();
  lendPort(nullptr);
}

void ZentracTest::writeSettings(const std::string& lines) {
  testsupport::writeFile(dir.path() / "Zentrac_DLL.ini", "[KVDEV]\n" + lines);
}

void ZentracTest::writeHardSettings(const std::string& text) {
  testsupport::writeFile(dir.path() / "Zentrac_Hard.ini", text);
}

void ZentracTest::load() {
  ASSERT_TRUE(library.open(libraryFile.string(), nullptr)) << library.errorText();
  std::string missing;
  ASSERT_TRUE(api.bind(library, &missing)) << missing;
}

int ZentracTest::open(std::int32_t timeout) {
  devapi::DeviceNewParam param{};
  param.timeout = timeout;
  if (api.New(&param) != 1) return -1;
  handle = param.handle;
  return handle;
}

int ZentracTest::lastCode() {
  devapi::DeviceErrorInfo info{};
  if (api.GetError(handle, &info) != 1) return -1;
  return info.code;
}

std::string ZentracTest::errorText() {
  devapi::DeviceErrorString s{};
  api.GetErrorString(&s);
  return std::string(s.text, strnlen(s.text, sizeof s.text));
}

devapi::ScanCondition ZentracTest::condition(std::uint32_t widthMm, std::uint32_t heightMm,
                                             std::uint16_t pitch, std::uint8_t outBits) {
  devapi::ScanCondition c{};
  c.width = widthMm;
  c.height = heightMm;
  c.pitch = pitch;
  c.pixel_bit_n = 16;
  c.out_bit_depth = outBits;
  c.mode = 1;
  return c;
}

void ZentracTest::setCondition(devapi::ScanCondition c) {
  ASSERT_EQ(api.SetCondition(handle, &c), 1) << lastCode();
}

void ZentracTest::waitBlocks(int count) {
  int done = -1;
  ASSERT_TRUE(eventually([&] {
    api.GetScanStatusM(handle, &done);
    return done == count;
  })) << "blocks done " << done;
}

int ZentracTest::countWord(std::uint16_t word) const {
  int n = 0;
  for (const auto& e : commands())
    if (e.word == word) ++n;
  return n;
}

std::vector<std::uint16_t> ZentracTest::expectedLines(std::uint32_t offset,
                                                      std::uint32_t lines) const {
  const std::vector<std::uint16_t> p = cr.scanParameters();
  const std::vector<std::uint8_t> bytes = sim::radiograph(sim::plateImageSpec(p, 128, offset, lines, 0));
  std::vector<std::uint16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

}  // namespace zentrac_test

#include "driver/pravik.h"

namespace zentrac_test {

namespace {
void answer(CALLBACK_MESSAGE message, void* data, void*) {
  if (message == SCANNER_SELECTION && data) {
    auto* s = static_cast<ScannerSelection*>(data);
    s->chosenScanner = s->scannersFound;
  }
  if (message == SCANNER_ATTACH_CONFIRMATION && data) *static_cast<std::uint8_t*>(data) = 1;
}
}  // namespace

void presetScanner(std::shared_ptr<sim::Bus> bus, std::uint16_t imageDataFormat) {
  Pravik driver(bus);
  ASSERT_EQ(driver.OpenAndInitializeScanner(&answer, nullptr).category, 0);
  ScanParameters p{};
  ASSERT_EQ(driver.ReadScanParameters(p).category, 0);
  p.ImageDataFormat = imageDataFormat;
  // The reader takes its output depth from the photometric word.
  const unsigned bits = imageDataFormat & 0xFF;
  p.NumberOfLUT = std::uint16_t(bits <= 12 ? 0 : bits <= 14 ? 2 : 4);
  ASSERT_EQ(driver.SetScanParameters(p).category, 0);
  driver.CloseOpenedScanner();
}

}  // namespace zentrac_test
