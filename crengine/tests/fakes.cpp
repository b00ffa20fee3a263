#include "fakes.h"

#include <chrono>
#include <cstring>

namespace crtest {

using namespace crengine;

void RecordingSink::write(int level, const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex);
  entries.emplace_back(level, line);
}

void RecordingSink::writeLastError(int level, const std::string& line, int error) {
  std::lock_guard<std::mutex> lock(mutex);
  entries.emplace_back(level, line + " -- " + std::to_string(error));
}

std::string RecordingSink::logFileName() {
  std::lock_guard<std::mutex> lock(mutex);
  return fileName;
}

void RecordingSink::configureDefault(const std::string& directory) {
  std::lock_guard<std::mutex> lock(mutex);
  configuredDirectory = directory;
}

void RecordingSink::setFacilityLevel(int level) {
  std::lock_guard<std::mutex> lock(mutex);
  facilityLevel = level;
}

bool RecordingSink::contains(const std::string& text) { return count(text) > 0; }

int RecordingSink::count(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex);
  int n = 0;
  for (auto& e : entries)
    if (e.second.find(text) != std::string::npos) ++n;
  return n;
}

std::vector<std::string> RecordingSink::lines() {
  std::lock_guard<std::mutex> lock(mutex);
  std::vector<std::string> out;
  for (auto& e : entries) out.push_back(e.second);
  return out;
}

FakeReader& fake() {
  static FakeReader* reader = new FakeReader;
  return *reader;
}

void FakeReader::reset() {
  std::lock_guard<std::mutex> lock(mutex);
  condition = {};
  condition.unit = 1;
  condition.pitch = 100;
  condition.mode = 1;
  condition.od_min = 2;
  condition.od_max = 38;
  condition.out_bit_depth = 16;
  condition.pixel_bit_n = 16;
  option = {};
  option.SerialNumber = 4321;
  option.scanner_condition = 1;
  option.HV = 500;
  lastNew = {};
  lastSet = {};
  lastOption = {};
  lastScan = {};
  blocksDone = 0;
  failNew = failGetCondition = failSetCondition = failScanM = failGetScanStatus = failSetOption = false;
  errorCode = 0;
  errorText.clear();
  calls.clear();
  holdGetCondition = false;
  insideHeldCall = false;
}

void FakeReader::release() {
  std::lock_guard<std::mutex> lock(mutex);
  holdGetCondition = false;
  cv.notify_all();
}

bool FakeReader::waitUntilHeld(int ms) {
  std::unique_lock<std::mutex> lock(mutex);
  return cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return insideHeldCall; });
}

int FakeReader::callCount(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex);
  int n = 0;
  for (auto& c : calls) n += c == name;
  return n;
}

std::uint16_t fakePixel(std::uint32_t block, std::size_t index) {
  return static_cast<std::uint16_t>(block * 1000 + index % 997);
}

namespace {

void record(const char* name) { fake().calls.push_back(name); }

int fakeNew(zntr::DeviceNewParam* p) {
  std::lock_guard<std::mutex> lock(fake().mutex);
  record("New");
  fake().lastNew = *p;
  if (fake().failNew) return 0;
  p->status = 1;
  p->handle = 1;
  return 1;
}
int fakeDelete(zntr::Handle) {
  std::lock_guard<std::mutex> lock(fake().mutex);
  record("Delete");
  return 1;
}
int fakeSetCondition(zntr::Handle, zntr::ScanCondition* c) {
  std::lock_guard<std::mutex> lock(fake().mutex);
  record("SetCondition");
  fake().lastSet = *c;
  if (fake().failSetCondition) return 0;
  // As the reader does: the geometry follows the condition.
  auto& mine = fake().condition;
  mine.width = c->width;
  mine.height = c->height;
  mine.pitch = c->pitch;
  mine.mode = c->mode;
  mine.pix_w = c->width * 1000 / c->pitch;
  mine.pix_h = c->height * 1000 / c->pitch;
  return 1;
}
int fakeGetCondition(zntr::Handle, zntr::ScanCondition* c) {
  std::unique_lock<std::mutex> lock(fake().mutex);
  record("GetCondition");
  if (fake().holdGetCondition) {
    fake().insideHeldCall = true;
    fake().cv.notify_all();
    fake().cv.wait(lock, [] { return !fake().holdGetCondition; });
    fake().insideHeldCall = false;
  }
  if (fake().failGetCondition) return 0;
  *c = fake().condition;
  return 1;
}
int fakeScanM(zntr::Handle, zntr::BlockScanParam* p) {
  std::lock_guard<std::mutex> lock(fake().mutex);
  record("ScanM");
  fake().lastScan = *p;
  if (fake().failScanM) return 0;
  const std::size_t pixels = std::size_t(p->pix_w) * p->pix_h;
  for (std::uint32_t b = 0; b < p->block_size; ++b)
    for (std::size_t i = 0; i < pixels; ++i) p->buff_pp[b][i] = fakePixel(b, i);
  return 1;
}
int fakeGetScanStatusM(zntr::Handle, std::int32_t* blocks) {
  std::lock_guard<std::mutex> lock(fake().mutex);
  record("GetScanStatusM");
  *blocks = fake().blocksDone;
  return fake().failGetScanStatus ? 0 : 1;
}
int fakeErase(zntr::Handle) {
  std::lock_guard<std::mutex> lock(fake().mutex);
  record("Erase");
  return 1;
}
int fakeEject(zntr::Handle) {
  std::lock_guard<std::mutex> lock(fake().mutex);
  record("EjectFilm");
  return 1;
}
int fakeGetErrorString(zntr::DeviceErrorString* e) {
  std::lock_guard<std::mutex> lock(fake().mutex);
  record("GetErrorString");
  e->code = fake().errorCode;
  std::memcpy(e->text, fake().errorText.c_str(), fake().errorText.size() + 1);
  return 1;
}
int fakeClearHardError(zntr::Handle) {
  std::lock_guard<std::mutex> lock(fake().mutex);
  record("ClearHardError");
  return 1;
}
int fakeGetLog(zntr::Handle, zntr::DeviceLogBuffer* log) {
  std::lock_guard<std::mutex> lock(fake().mutex);
  record("GetLog");
  const char text[] = "device log";
  std::size_t n = std::min<std::size_t>(sizeof text, log->buff_sz);
  std::memcpy(log->buff_p, text, n);
  log->log_sz = std::uint32_t(n - 1);
  return 1;
}
int fakeSetOption(zntr::Handle, zntr::KtGOption* o) {
  std::lock_guard<std::mutex> lock(fake().mutex);
  record("SetOption");
  fake().lastOption = *o;
  fake().option.ScanOption = o->ScanOption;
  fake().option.HV = o->HV;
  return fake().failSetOption ? 0 : 1;
}
int fakeGetOption(zntr::Handle, zntr::KtGOption* o) {
  std::lock_guard<std::mutex> lock(fake().mutex);
  record("GetOption");
  *o = fake().option;
  return 1;
}
int fakeGetScannerType(zntr::Handle, zntr::ScannerTypeInfo* t) {
  std::lock_guard<std::mutex> lock(fake().mutex);
  record("GetScannerType");
  std::memset(t, 'x', sizeof *t);  // unterminated texts: the binding must cut them
  return 1;
}
int fakeEightLine(zntr::Handle, zntr::BlockScanParam*) {
  std::lock_guard<std::mutex> lock(fake().mutex);
  record("EightLine");
  return 1;
}

class FakeLoader : public DeviceLoader {
 public:
  explicit FakeLoader(std::set<std::string> missing) : missing_(std::move(missing)) {}
  bool open(const std::string&) override { return true; }
  void* symbol(const char* name) override {
    if (missing_.count(name)) return nullptr;
    static const std::pair<const char*, void*> table[] = {
        {"ZNTR_New", reinterpret_cast<void*>(&fakeNew)},
        {"ZNTR_Delete", reinterpret_cast<void*>(&fakeDelete)},
        {"ZNTR_SetCondition", reinterpret_cast<void*>(&fakeSetCondition)},
        {"ZNTR_GetCondition", reinterpret_cast<void*>(&fakeGetCondition)},
        {"ZNTR_ScanM", reinterpret_cast<void*>(&fakeScanM)},
        {"ZNTR_GetScanStatusM", reinterpret_cast<void*>(&fakeGetScanStatusM)},
        {"ZNTR_Erase", reinterpret_cast<void*>(&fakeErase)},
        {"ZNTR_EjectFilm", reinterpret_cast<void*>(&fakeEject)},
        {"ZNTR_GetErrorString", reinterpret_cast<void*>(&fakeGetErrorString)},
        {"ZNTR_ClearHardError", reinterpret_cast<void*>(&fakeClearHardError)},
        {"ZNTR_GetLog", reinterpret_cast<void*>(&fakeGetLog)},
        {"ZNTR_SetOption", reinterpret_cast<void*>(&fakeSetOption)},
        {"ZNTR_GetOption", reinterpret_cast<void*>(&fakeGetOption)},
        {"ZNTR_GetScannerType", reinterpret_cast<void*>(&fakeGetScannerType)},
        {"ZNTR_EightLine", reinterpret_cast<void*>(&fakeEightLine)},
    };
    for (auto& [n, f] : table)
      if (std::strcmp(n, name) == 0) return f;
    return nullptr;
  }
  bool close() override { return true; }
  std::string errorText() override { return {}; }
  std::string path() override { return {}; }

 private:
  std::set<std::string> missing_;
};

}  // namespace

std::unique_ptr<DeviceLoader> makeFakeLoader(std::set<std::string> missing) {
  return std::make_unique<FakeLoader>(std::move(missing));
}

void EngineTest::SetUp() {
  scoped_ = std::make_unique<platform::clock::ScopedSource>(clock);
  setLogSink(&sink);
  setEngineLogLevel(9);
  fake().reset();
  target = std::make_unique<platform::QueueTarget>([this](const platform::Message& m) {
    if (m.id == platform::kCommandMessage) received.push_back({std::uint32_t(m.wParam), m.lParam});
  });
  config.iniFile = dir / "HalcyoneHard.ini";
  config.programDir = dir.path();
  config.engineLockMs = 30000;
  config.stopPolls = 100;
  config.stopPollMs = 100;
}

void EngineTest::TearDown() {
  if (initialised()) QuorinScannerFinish();
  // A thread given up by a stop must be gone before its engine is.
  fake().release();
  for (int i = 0; i < 5000 && eng().abandonedThreads() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  setInitialised(false);
  installEngine(nullptr);
  setLogSink(nullptr);
  setEngineLogLevel(6);
  scoped_.reset();
}

void EngineTest::makeEngine(const std::string& ini, bool startThread, std::set<std::string> missing) {
  testsupport::writeFile(config.iniFile, ini);
  EngineConfig c;
  c.iniFile = config.iniFile;
  c.programDir = config.programDir;
  c.deviceLibrary = config.deviceLibrary;
  c.loader = config.deviceLibrary == "Zentrac.dll" ? makeFakeLoader(std::move(missing)) : nullptr;
  c.engineLockMs = config.engineLockMs;
  c.resetLockMs = config.resetLockMs;
  c.bindingLockMs = config.bindingLockMs;
  c.clearHardErrorLockMs = config.clearHardErrorLockMs;
  c.stopPolls = config.stopPolls;
  c.stopPollMs = config.stopPollMs;
  c.startThread = startThread;
  setInitialised(false);
  installEngine(std::make_unique<ScanClass>(std::move(c)));
}

std::vector<Notification> EngineTest::pump() {
  target->pump();
  return received;
}

std::uint32_t EngineTest::lastError() { return eng().errorCode(); }

}  // namespace crtest
