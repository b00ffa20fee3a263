#include "fakes.h"

#include <chrono>
#include <cstring>

namespace crtest {

using namespace crengine;

void RecordingSink::write(int level, const std::string& line) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    entries.emplace_back(level, line);
  }
  if (onWrite) onWrite(line);
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
  holdCall.clear();
  insideHeldCall = false;
}

void FakeReader::release() {
  std::lock_guard<std::mutex> lock(mutex);
  holdCall.clear();
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

void holdIfAsked(std::unique_lock<std::mutex>& lock, const char* name) {
  if (fake().holdCall != name) return;
  fake().insideHeldCall = true;
  fake().cv.notify_all();
  fake().cv.wait(lock, [] { return fake().holdCall.empty(); });
  fake().insideHeldCall = false;
}

int fakeNew(devapi::DeviceNewParam* p) {
  std::lock_guard<std::mutex> lock(fake().mutex);
  record("New");
  fake().lastNew = *p;
  if (fake().failNew) return 0;
  p->status = 1;
  p->handle = 1;
  return 1;
}
int fakeDelete(int) {
  std::lock_guard<std::mutex> lock(fake().mutex);
  record("Delete");
  return 1;
}
int fakeSetCondition(int, devapi::ScanCondition* c) {
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
int fakeGetCondition(int, devapi::ScanCondition* c) {
  std::unique_lock<std::mutex> lock(fake().mutex);
  record("GetCondition");
  holdIfAsked(lock, "GetCondition");
  if (fake().failGetCondition) return 0;
  *c = fake().condition;
  return 1;
}
int fakeScanM(int, const devapi::BlockScanParam* p) {
  std::lock_guard<std::mutex> lock(fake().mutex);
  record("ScanM");
  fake().lastScan = *p;
  if (fake().failScanM) return 0;
  const std::size_t pixels = std::size_t(p->pix_w) * p->pix_h;
  for (std::uint32_t b = 0; b < p->block_size; ++b)
    for (std::size_t i = 0; i < pixels; ++i) p->buff_pp[b][i] = fakePixel(b, i);
  return 1;
}
int fakeGetScanStatusM(int, std::int32_t* blocks) {
  std::unique_lock<std::mutex> lock(fake().mutex);
  record("GetScanStatusM");
  *blocks = fake().blocksDone;
  const int result = fake().failGetScanStatus ? 0 : 1;
  holdIfAsked(lock, "GetScanStatusM");  // answers with the count of when it was asked
  return result;
}
int fakeErase(int) {
  std::lock_guard<std::mutex> lock(fake().mutex);
  record("Erase");
  return 1;
}
int fakeEject(int) {
  std::lock_guard<std::mutex> lock(fake().mutex);
  record("EjectFilm");
  return 1;
}
int fakeGetErrorString(devapi::DeviceErrorString* e) {
  std::lock_guard<std::mutex> lock(fake().mutex);
  record("GetErrorString");
  e->code = fake().errorCode;
  // A text as long as the room fills it with no terminator left.
  const std::string& text = fake().errorText;
  std::memcpy(e->text, text.c_str(), std::min(text.size() + 1, sizeof e->text));
  return 1;
}
int fakeClearHardError(int) {
  std::lock_guard<std::mutex> lock(fake().mutex);
  record("ClearHardError");
  return 1;
}
int fakeGetLog(int, devapi::DeviceLogBuffer* log) {
  std::lock_guard<std::mutex> lock(fake().mutex);
  record("GetLog");
  const char text[] = "device log";
  std::size_t n = std::min<std::size_t>(sizeof text, log->buff_sz);
  std::memcpy(log->buff_p, text, n);
  log->log_sz = std::uint32_t(n - 1);
  return 1;
}
int fakeSetOption(int, const devapi::KtGOption* o) {
  std::lock_guard<std::mutex> lock(fake().mutex);
  record("SetOption");
  fake().lastOption = *o;
  fake().option.ScanOption = o->ScanOption;
  fake().option.HV = o->HV;
  return fake().failSetOption ? 0 : 1;
}
int fakeGetOption(int, devapi::KtGOption* o) {
  std::lock_guard<std::mutex> lock(fake().mutex);
  record("GetOption");
  *o = fake().option;
  return 1;
}
int fakeGetScannerType(int, devapi::ScannerTypeInfo* t) {
  std::lock_guard<std::mutex> lock(fake().mutex);
  record("GetScannerType");
  std::memset(t, 'x', sizeof *t);  // unterminated texts: the binding must cut them
  return 1;
}
int fakeEightLine(int, const devapi::BlockScanParam*) {
  std::unique_lock<std::mutex> lock(fake().mutex);
  record("EightLine");
  holdIfAsked(lock, "EightLine");
  return 1;
}

// Each entry has the reader library's own type, or this does not compile.
template <typename Fn>
void* entry(Fn f) {
  return reinterpret_cast<void*>(f);
}

class FakeLoader : public DeviceLoader {
 public:
  explicit FakeLoader(std::set<std::string> missing) : missing_(std::move(missing)) {}
  bool open(const std::string&) override { return true; }
  void* symbol(const char* name) override {
    if (missing_.count(name)) return nullptr;
    static const std::pair<const char*, void*> table[] = {
        {"ZNTR_New", entry<zentrac::NewFn>(&fakeNew)},
        {"ZNTR_Delete", entry<zentrac::DeleteFn>(&fakeDelete)},
        {"ZNTR_SetCondition", entry<zentrac::SetConditionFn>(&fakeSetCondition)},
        {"ZNTR_GetCondition", entry<zentrac::GetConditionFn>(&fakeGetCondition)},
        {"ZNTR_ScanM", entry<zentrac::ScanMFn>(&fakeScanM)},
        {"ZNTR_GetScanStatusM", entry<zentrac::GetScanStatusMFn>(&fakeGetScanStatusM)},
        {"ZNTR_Erase", entry<zentrac::EraseFn>(&fakeErase)},
        {"ZNTR_EjectFilm", entry<zentrac::EjectFilmFn>(&fakeEject)},
        {"ZNTR_GetErrorString", entry<zentrac::GetErrorStringFn>(&fakeGetErrorString)},
        {"ZNTR_ClearHardError", entry<zentrac::ClearHardErrorFn>(&fakeClearHardError)},
        {"ZNTR_GetLog", entry<zentrac::GetLogFn>(&fakeGetLog)},
        {"ZNTR_SetOption", entry<zentrac::SetOptionFn>(&fakeSetOption)},
        {"ZNTR_GetOption", entry<zentrac::GetOptionFn>(&fakeGetOption)},
        {"ZNTR_GetScannerType", entry<zentrac::GetScannerTypeFn>(&fakeGetScannerType)},
        {"ZNTR_EightLine", entry<zentrac::EightLineFn>(&fakeEightLine)},
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
