#include "crengine/internal/binding.h"

#include "crengine/internal/elog.h"

#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <sys/stat.h>
#include <utility>

namespace crengine {
namespace {

class LibraryLoader : public DeviceLoader {
 public:
  bool open(const std::string& baseName) override {
    return library_.open(baseName, reinterpret_cast<const void*>(&makeLibraryLoader));
  }
  void* symbol(const char* name) override { return library_.symbol(name); }
  bool close() override {
    library_.close();
    return true;
  }
  std::string errorText() override { return library_.errorText(); }
  std::string path() override {
    void* any = library_.symbol("ZNTR_New");
    Dl_info info{};
    if (any != nullptr && ::dladdr(any, &info) != 0 && info.dli_fname != nullptr) return info.dli_fname;
    return {};
  }

 private:
  platform::Library library_;
};

void logCondition(const devapi::ScanCondition& c, bool output) {
  if (engineLogLevel() < 9) return;
  elog(9, output ? "  Output Parameter:" : "  Input Parameter:");
  elog(9, "    unit = %u", unsigned(c.unit));
  elog(9, "    auto_feeder = %u", unsigned(c.auto_feeder));
  elog(9, "    roll_film = %u", unsigned(c.roll_film));
  elog(9, "    endian = %u", unsigned(c.endian));
  elog(9, "    x_start = %u", unsigned(c.x_start));
  elog(9, "    y_start = %u", unsigned(c.y_start));
  elog(9, "    width = %u", unsigned(c.width));
  elog(9, "    height = %u", unsigned(c.height));
  elog(9, "    pixel_bit_n = %u", unsigned(c.pixel_bit_n));
  elog(9, "    mode = %u", unsigned(c.mode));
  elog(9, "    pitch = %u", unsigned(c.pitch));
  elog(9, "    film_sz_id = %u", unsigned(c.film_sz_id));
  elog(9, "    od_min = %u", unsigned(c.od_min));
  elog(9, "    od_max = %u", unsigned(c.od_max));
  elog(9, "    out_bit_depth = %u", unsigned(c.out_bit_depth));
  if (output) {
    elog(9, "    img_buff_sz = %u", unsigned(c.img_buff_sz));
    elog(9, "    pix_w = %u", unsigned(c.pix_w));
    elog(9, "    pix_h = %u", unsigned(c.pix_h));
    elog(9, "    film_w = %u", unsigned(c.film_w));
  }
}

void logBlockParam(const devapi::BlockScanParam& p) {
  if (engineLogLevel() < 9) return;
  elog(9, "  Input Parameter:");
  elog(9, "    buff_sz = 0x%X", unsigned(p.buff_sz));
  elog(9, "    buff_pp = 0x%lX", static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(p.buff_pp)));
  elog(9, "    pix_w = %u", unsigned(p.pix_w));
  elog(9, "    pix_h = %u", unsigned(p.pix_h));
  elog(9, "    out_bit_depth = %u", unsigned(p.out_bit_depth));
  elog(9, "    pixel_bit_n = %u", unsigned(p.pixel_bit_n));
  elog(9, "    block_size = %u", unsigned(p.block_size));
  elog(9, "    calib_flag = %u", unsigned(p.calib_flag));
  elog(9, "    option1 = %u", unsigned(p.option1));
  elog(9, "    option2 = %u", unsigned(p.option2));
}

void logOption(const devapi::KtGOption& o, bool output) {
  if (engineLogLevel() < 9) return;
  elog(9, output ? "  Output Parameter:" : "  Input Parameter:");
  elog(9, "    ScanOption = 0x%X", unsigned(o.ScanOption));
  if (output) {
    elog(9, "    MechaSW = %u", unsigned(o.MechaSW));
    elog(9, "    HV = %u", unsigned(o.HV));
    elog(9, "    od_Max = %u", unsigned(o.od_Max));
    elog(9, "    SerialNumber = %u", unsigned(o.SerialNumber));
    elog(9, "    scanner_condition = %u", unsigned(o.scanner_condition));
  }
}

}  // namespace

std::string fileTimeText(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return {};
  std::tm tm{};
  ::localtime_r(&st.st_mtime, &tm);
  char text[80];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text;
}

std::unique_ptr<DeviceLoader> makeLibraryLoader() { return std::make_unique<LibraryLoader>(); }

ZentracDll::ZentracDll(std::unique_ptr<DeviceLoader> loader, std::string baseName, Timeouts timeouts)
    : loader_(std::move(loader)), baseName_(std::move(baseName)), timeouts_(timeouts) {}

ZentracDll::~ZentracDll() { FreeDLL(); }

void ZentracDll::clearFunctions() {
  fn_.New = nullptr;
  fn_.Delete = nullptr;
  fn_.SetCondition = nullptr;
  fn_.GetCondition = nullptr;
  fn_.ScanM = nullptr;
  fn_.GetScanStatusM = nullptr;
  fn_.Erase = nullptr;
  fn_.EjectFilm = nullptr;
  fn_.GetErrorString = nullptr;
  fn_.ClearHardError = nullptr;
  fn_.GetLog = nullptr;
  fn_.SetOption = nullptr;
  fn_.GetOption = nullptr;
  fn_.GetScannerType = nullptr;
  fn_.EightLine = nullptr;
}

int ZentracDll::LoadDLL() {
  result_ = kOk;
  elog(9, "Start: ZENTRAC_DLL::LoadDLL");
  if (loaded_) {
    elog(3, "Warning: Already LoadDLL ZENTRAC.dll.  FreeDLL calling...");
    FreeDLL();
  }
  if (!loader_->open(baseName_)) {
    elog(1, "Error: LoadLibrary(ZENTRAC.DLL) failed. -- %s", loader_->errorText().c_str());
    result_ = kLoadFailed;
    return 0;
  }
  std::string path = loader_->path();
  elog(6, "  %s version:%s  timestamp:%s", path.c_str(), "", fileTimeText(path).c_str());

  // Bound in this order, and reported missing in the same order.
  struct Binding {
    const char* symbol;
    const char* reported;
    bool required;
    void* address;
  };
  Binding table[] = {
      {"ZNTR_New", "ZNTR_New", true, nullptr},
      {"ZNTR_Delete", "ZNTR_Delete", true, nullptr},
      {"ZNTR_SetCondition", "ZNTR_SetCondition", true, nullptr},
      {"ZNTR_GetCondition", "ZNTR_GetCondition", true, nullptr},
      {"ZNTR_ScanM", "ZNTR_ScanM", true, nullptr},
      {"ZNTR_GetScanStatusM", "ZNTR_GetScanStatusM", true, nullptr},
      {"ZNTR_Erase", "ZNTR_Erase", true, nullptr},
      {"ZNTR_EjectFilm", "ZNTR_Eject", true, nullptr},
      {"ZNTR_GetErrorString", "ZNTR_GetErrorString", true, nullptr},
      {"ZNTR_ClearHardError", "ZNTR_ClearHardError", true, nullptr},
      {"ZNTR_GetLog", "ZNTR_GetLog", true, nullptr},
      {"ZNTR_SetOption", "ZNTR_SetOption", true, nullptr},
      {"ZNTR_GetOption", "ZNTR_GetOption", true, nullptr},
      {"ZNTR_GetScannerType", "ZNTR_GetScannerType", true, nullptr},
      {"ZNTR_EightLine", "ZNTR_EightLine", false, nullptr},
  };
  for (Binding& b : table) b.address = loader_->symbol(b.symbol);
  bool complete = true;
  for (const Binding& b : table) {
    if (b.address != nullptr) continue;
    elog(1, "Error: GetProcAddress failed. %s", b.reported);
    if (b.required) complete = false;
  }
  if (!complete) {
    result_ = kNotBound;
    loader_->close();
    clearFunctions();
    return 0;
  }
  fn_.New = reinterpret_cast<zentrac::NewFn>(table[0].address);
  fn_.Delete = reinterpret_cast<zentrac::DeleteFn>(table[1].address);
  fn_.SetCondition = reinterpret_cast<zentrac::SetConditionFn>(table[2].address);
  fn_.GetCondition = reinterpret_cast<zentrac::GetConditionFn>(table[3].address);
  fn_.ScanM = reinterpret_cast<zentrac::ScanMFn>(table[4].address);
  fn_.GetScanStatusM = reinterpret_cast<zentrac::GetScanStatusMFn>(table[5].address);
  fn_.Erase = reinterpret_cast<zentrac::EraseFn>(table[6].address);
  fn_.EjectFilm = reinterpret_cast<zentrac::EjectFilmFn>(table[7].address);
  fn_.GetErrorString = reinterpret_cast<zentrac::GetErrorStringFn>(table[8].address);
  fn_.ClearHardError = reinterpret_cast<zentrac::ClearHardErrorFn>(table[9].address);
  fn_.GetLog = reinterpret_cast<zentrac::GetLogFn>(table[10].address);
  fn_.SetOption = reinterpret_cast<zentrac::SetOptionFn>(table[11].address);
  fn_.GetOption = reinterpret_cast<zentrac::GetOptionFn>(table[12].address);
  fn_.GetScannerType = reinterpret_cast<zentrac::GetScannerTypeFn>(table[13].address);
  fn_.EightLine = reinterpret_cast<zentrac::EightLineFn>(table[14].address);
  loaded_ = true;
  return 1;
}

int ZentracDll::FreeDLL() {
  if (!loaded_) return 1;
  elog(9, "Start: ZENTRAC_DLL::FreeDLL");
  if (connected_) {
    elog(3, "Warning: FreeDLL ZENTRAC.dll called. but connecting scanner.");
    Delete();
  }
  bool locked = lock_.lockWithin(timeouts_.lockMs, 1);
  if (!locked)
    elog(1, "Warning: ZENTRAC_DLL Wait for TryEnterCriticalSection time out(%ldms).", long(timeouts_.lockMs));
  clearFunctions();
  int ok = loader_->close() ? 1 : 0;
  if (ok) {
    loaded_ = false;
    result_ = kOk;
    elog(6, "Success: FreeDLL ZENTRAC.dll");
  } else {
    elogLastError(1, "Failed: FreeDLL ZENTRAC.dll. hDLL=0x%X", 0u);
    result_ = kFreeFailed;
  }
  if (locked) lock_.unlock();
  return ok;
}

void ZentracDll::logDeviceError() {
  devapi::DeviceErrorString error{};
  GetErrorString(&error);
}

namespace {
auto nothing = [] {};
auto nothingAfter = [](bool) {};
}  // namespace

template <typename Fn, typename Before, typename After, typename... Args>
int ZentracDll::call(const CallSpec& spec, const std::atomic<Fn>& fn, Before before, After after, Args... args) {
  if (spec.logEntry) elog(9, "Function Call: ZENTRAC_DLL::%s", spec.name);
  const Fn f = fn.load();
  if (f == nullptr) {
    elog(1, "Error: no GetProcAddress %s", spec.name);
    result_ = kNotBound;
    return 0;
  }
  if (spec.needConnection && !connected_) {
    elog(1, "Error: no connect Scanner. %s", spec.name);
    result_ = kNotConnected;
    return 0;
  }
  before();
  const std::uint32_t lockMs = spec.hardErrorLock ? timeouts_.clearHardErrorLockMs : timeouts_.lockMs;
  const bool locked = lock_.lockWithin(lockMs, 1);
  if (!locked) elog(1, "Warning: ZENTRAC_DLL Wait for TryEnterCriticalSection time out(%ldms).", long(lockMs));
  const int r = f(args...);
  if (locked) lock_.unlock();
  if (r == 1) {
    if (spec.successLine) elog(spec.successLevel, spec.successLine, spec.name);
    result_ = kOk;
    after(true);
    if (spec.lastOk) spec.lastOk->store(true);
  } else {
    if (!spec.lastOk || spec.lastOk->exchange(false)) {
      if (spec.failureLine) elog(1, spec.failureLine, spec.name);
      after(false);
      logDeviceError();
    }
    result_ = kCallFailed;
  }
  return r;
}

int ZentracDll::New(devapi::DeviceNewParam* param) {
  const CallSpec spec{.name = "ZNTR_New", .needConnection = false, .successLine = nullptr, .failureLine = nullptr};
  return call(
      spec, fn_.New,
      [&] {
        if (connected_) Delete();
      },
      [&](bool ok) {
        connected_ = ok;
        elog(ok ? 6 : 1, ok ? "Success: %s , status=0x%X obj=0x%X time=%d" : "Error: %s failed. status=0x%X obj=0x%X time=%d",
             spec.name, unsigned(param->status), unsigned(param->handle), int(param->timeout));
      },
      param);
}

int ZentracDll::Delete() {
  const CallSpec spec{.name = "ZNTR_Delete", .needConnection = false};
  return call(
      spec, fn_.Delete,
      [&] {
        if (!connected_) {
          elog(3, "Warning: blConnect flag is FALSE. %s", spec.name);
          result_ = kNotConnected;
        }
      },
      [&](bool ok) {
        if (ok) connected_ = false;
      },
      kHandle);
}

int ZentracDll::SetCondition(devapi::ScanCondition* condition) {
  return call({.name = "ZNTR_SetCondition"}, fn_.SetCondition, [&] { logCondition(*condition, false); }, nothingAfter,
              kHandle, condition);
}

int ZentracDll::GetCondition(devapi::ScanCondition* condition) {
  // Polled continuously: a failure is reported once, not on every poll.
  return call({.name = "ZNTR_GetCondition", .successLevel = 9, .lastOk = &getConditionOk_}, fn_.GetCondition, nothing,
              [&](bool ok) {
                if (ok) logCondition(*condition, true);
              },
              kHandle, condition);
}

int ZentracDll::ScanM(devapi::BlockScanParam* param) {
  return call({.name = "ZNTR_ScanM"}, fn_.ScanM, [&] { logBlockParam(*param); }, nothingAfter, kHandle, param);
}

int ZentracDll::GetScanStatusM(std::int32_t* blocks) {
  return call({.name = "ZNTR_GetScanStatusM", .successLevel = 9, .failureLine = "Error %s failed."}, fn_.GetScanStatusM,
              nothing,
              [&](bool ok) {
                if (!ok) return;
                elog(9, "  Output Parameter:");
                elog(9, "    Size = %u", unsigned(*blocks));
              },
              kHandle, blocks);
}

int ZentracDll::Erase() { return call({.name = "ZNTR_Erase"}, fn_.Erase, nothing, nothingAfter, kHandle); }

int ZentracDll::EjectFilm() { return call({.name = "ZNTR_Eject"}, fn_.EjectFilm, nothing, nothingAfter, kHandle); }

int ZentracDll::ClearHardError() {
  return call({.name = "ZNTR_ClearHardError", .logEntry = false, .hardErrorLock = true}, fn_.ClearHardError, nothing,
              nothingAfter, kHandle);
}

int ZentracDll::GetLog(devapi::DeviceLogBuffer* log) {
  return call({.name = "ZNTR_GetLog", .logEntry = false}, fn_.GetLog, nothing, nothingAfter, kHandle, log);
}

int ZentracDll::SetOption(devapi::KtGOption* option) {
  return call({.name = "ZNTR_SetOption", .logEntry = false}, fn_.SetOption, [&] { logOption(*option, false); },
              nothingAfter, kHandle, option);
}

int ZentracDll::GetOption(devapi::KtGOption* option) {
  return call({.name = "ZNTR_GetOption", .logEntry = false, .successLevel = 9, .lastOk = &getOptionOk_}, fn_.GetOption,
              nothing,
              [&](bool ok) {
                if (ok) logOption(*option, true);
              },
              kHandle, option);
}

int ZentracDll::GetScannerType(devapi::ScannerTypeInfo* info) {
  // The texts need not be terminated: cut each at its last byte.
  return call({.name = "ZNTR_GetScannerType", .logEntry = false}, fn_.GetScannerType, nothing,
              [&](bool ok) {
                if (!ok) return;
                info->vendor_id[sizeof info->vendor_id - 1] = '\0';
                info->product_id[sizeof info->product_id - 1] = '\0';
                info->product_rev[sizeof info->product_rev - 1] = '\0';
                info->board_name[sizeof info->board_name - 1] = '\0';
                info->hardware_rev[sizeof info->hardware_rev - 1] = '\0';
                info->firm_rev[sizeof info->firm_rev - 1] = '\0';
              },
              kHandle, info);
}

int ZentracDll::EightLine(devapi::BlockScanParam* param) {
  return call({.name = "ZNTR_EightLine", .logEntry = false}, fn_.EightLine, [&] { logBlockParam(*param); },
              nothingAfter, kHandle, param);
}

int ZentracDll::GetErrorString(devapi::DeviceErrorString* error) {
  const char* name = "ZNTR_GetErrorString";
  elog(9, "Function Call: ZENTRAC_DLL::%s", name);
  const auto f = fn_.GetErrorString.load();
  if (f == nullptr) {
    elog(1, "Error: no GetProcAddress %s", name);
    result_ = kNotBound;
    return 0;
  }
  error->text[0] = '\0';
  int r = f(error);
  error->text[79] = '\0';
  if (r == 1) {
    if (error->code != 0)
      elog(1, "  %s code=0x%X string=%s", name, unsigned(error->code), error->text);
    else
      elog(6, "Success: %s code=0x%X string=%s", name, unsigned(error->code), error->text);
    result_ = kOk;
  } else {
    elog(1, "Error: %s failed.", name);
    result_ = kCallFailed;
  }
  return r;
}

}  // namespace crengine
