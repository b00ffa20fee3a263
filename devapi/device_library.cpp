#include "devapi/device_library.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"

namespace devapi {

namespace {

// The identity both libraries report.
constexpr char kVendor[] = "TRESSOLA";
constexpr char kProduct[] = "KT7163          ";
constexpr char kRevision[] = "1.00    ";
constexpr char kAdapterName[] = "KorvaUSB";
static_assert(sizeof kVendor - 1 == 8 && sizeof kProduct - 1 == 16 && sizeof kRevision - 1 == 8 &&
              sizeof kAdapterName - 1 == 8);

// Copies exactly `size` bytes of a fixed identity field (no NUL of its own).
void copyIdentity(char* field, const char* text, std::size_t size) { std::memcpy(field, text, size); }

}  // namespace

void copyField(char* field, std::size_t size, const char* text) {
  if (size == 0) return;
  const std::size_t length = text ? std::min(std::strlen(text), size - 1) : 0;
  if (length) std::memcpy(field, text, length);
  std::memset(field + length, 0, size - length);
}

// ---------------------------------------------------------------------------

Access::Access(DeviceLibrary& library, int handle) : lock_(library.objectGuard_) {
  if (handle != -1) device_ = library.device_;
}

Access::Access(DeviceLibrary& library) : lock_(library.objectGuard_), device_(library.device_) {}

// ---------------------------------------------------------------------------

DeviceLibrary::DeviceLibrary(const DeviceTraits& traits) : traits_(traits) {}

DeviceLibrary::~DeviceLibrary() {
  std::lock_guard<std::mutex> open(openMutex_);
  if (device_) {
    StopIfStarted();
    DestroyDevice();
  }
  owner_.reset();
}

DeviceLibrary::Opened DeviceLibrary::OpenSequence() {
  if (!device_ && !owner_) {
    auto owner = std::make_unique<platform::NamedMutex>(kOwnerMutex);
    if (!owner->createAndHold()) {
      noObjectCode_ = owner->valid() ? kAlreadyOpen : kSystemCallFailed;
      return Opened::Failed;
    }
    owner_ = std::move(owner);
  }
  if (traits_.beforeOpen) traits_.beforeOpen();
  if (!device_) {
    KorvaScanner* created = nullptr;
    try {
      created = traits_.create();
    } catch (...) {
      // The constructors throw their texts when a lock cannot be made; none
      // may cross an export.
      created = nullptr;
    }
    if (!created) {
      noObjectCode_ = kSystemCallFailed;
      return Opened::Failed;
    }
    {
      std::unique_lock<std::shared_mutex> guard(objectGuard_);
      device_ = created;
    }
    started_ = false;
    platform::clock::sleep(10);
  }
  if (!started_) {
    const OperationResult r = device_->StartDriver();
    started_ = device_->ProcessDriverResult("Start", r);
    if (!started_) return Opened::Failed;
  }
  const bool usable = device_->connected && (!traits_.usable || traits_.usable(*device_));
  return usable ? Opened::Connected : Opened::NotConnected;
}

bool DeviceLibrary::StopIfStarted() {
  if (!device_) return true;
  // The reader thread writes the buffer that a successful stop frees.
  device_->JoinReader();
  if (!started_) return true;
  started_ = false;
  return device_->ProcessDriverResult("Stop", device_->StopDriver());
}

void DeviceLibrary::DestroyDevice() {
  KorvaScanner* device;
  {
    std::unique_lock<std::shared_mutex> guard(objectGuard_);
    device = device_;
    device_ = nullptr;
  }
  if (device) traits_.destroy(device);
}

// ---------------------------------------------------------------------------
// Opening and deleting

int DeviceLibrary::GetSCSIAdapter(AdapterInfo* info) {
  if (!info) return 0;
  if (traits_.wholeRecords) std::memset(info, 0, sizeof *info);
  info->adapters = 1;
  info->zero = 0;
  info->host_id = 7;
  std::memset(info->adapter_name, 0, sizeof info->adapter_name);
  copyIdentity(info->adapter_name, kAdapterName, 8);
  return 1;
}

int DeviceLibrary::GetSCSIDevice(DeviceInfo* info) {
  if (!info) return 0;
  std::lock_guard<std::mutex> open(openMutex_);
  const Opened opened = OpenSequence();
  if (traits_.wholeRecords && opened != Opened::Failed) std::memset(info, 0, sizeof *info);
  if (opened != Opened::Connected) return traits_.wholeRecords && opened == Opened::NotConnected;
  info->field0 = 1;
  info->field4 = 0;
  info->field24 = 5;
  info->field44 = 0;
  info->field64 = 6;
  copyIdentity(info->vendor, kVendor, 8);
  copyIdentity(info->product, kProduct, 16);
  copyIdentity(info->revision, kRevision, 4);
  return 1;
}

int DeviceLibrary::GetScanner(const char* /*vendor*/, const char* /*product*/,
                              ScannerMatchInfo* match, std::uint8_t* flags) {
  if (!match || !flags) return 0;
  platform::NamedMutex probe(kProbeMutex);
  if (!probe.lock()) return 0;
  std::lock_guard<std::mutex> open(openMutex_);
  const Opened opened = OpenSequence();
  if (opened == Opened::Failed) return 0;
  const bool connected = opened == Opened::Connected;
  match->count = connected ? 1 : 0;
  match->zero = 0;
  match->device_id = connected ? 5 : 0;
  flags[0] = flags[1] = connected ? 1 : 0;
  return 1;
}

int DeviceLibrary::New(DeviceNewParam* param) {
  if (!param) return 0;
  param->handle = -1;
  platform::NamedMutex objectMutex(kObjectMutex);
  if (!objectMutex.lock()) return 0;
  std::lock_guard<std::mutex> open(openMutex_);
  const Opened opened = OpenSequence();
  if (opened == Opened::NotConnected && traits_.dropUnusableAtNew) {
    StopIfStarted();
    platform::clock::sleep(100);
    DestroyDevice();
    noObjectCode_ = kNoMatchingDevice;
    return 0;
  }
  if (opened != Opened::Connected) return 0;
  param->status = 1;
  param->handle = 1;
  return 1;
}

int DeviceLibrary::Init(int handle) {
  Access device(*this, handle);
  return device ? 1 : 0;
}

int DeviceLibrary::AllDelete() {
  platform::NamedMutex probe(kProbeMutex);
  if (!probe.lock()) return 0;
  std::lock_guard<std::mutex> open(openMutex_);
  return StopIfStarted() ? 1 : 0;
}

int DeviceLibrary::IdDelete(int /*handle*/, int /*unused*/) { return AllDelete(); }

int DeviceLibrary::Delete(int handle) {
  if (handle == -1) return 0;
  platform::NamedMutex objectMutex(kObjectMutex);
  if (!objectMutex.lock()) return 0;
  std::lock_guard<std::mutex> open(openMutex_);
  const bool wasStarted = started_ && device_;
  StopIfStarted();
  if (traits_.deletePausesAlways || wasStarted) platform::clock::sleep(100);
  DestroyDevice();
  owner_.reset();
  return 1;
}

// ---------------------------------------------------------------------------
// Error queries

int DeviceLibrary::GetError(int handle, DeviceErrorInfo* info) {
  Access device(*this, handle);
  if (!device || !info) return 0;
  const int asynchronous = device->deviceError;
  const int last = device->lastResultCode;
  const int code = asynchronous ? asynchronous : last;
  info->error_class = code == 0 ? 0 : (code < 0x1000 ? 9 : 4);
  info->code = std::uint16_t(code);
  info->device_error = std::uint32_t(asynchronous);
  info->result_code = std::uint32_t(last);
  info->result_category = std::uint32_t(device->lastResultCategory.load());
  return 1;
}

int DeviceLibrary::GetErrorString(DeviceErrorString* info) {
  if (!info) return 0;
  Access device(*this);
  if (!device) {
    const int code = noObjectCode_;
    info->code = std::uint16_t(code);
    const char* text = nullptr;
    if (code == 0)
      text = "No Error";
    else if (code == kAlreadyOpen)
      text = traits_.alreadyOpenText;
    else if (code == kNoMatchingDevice)
      text = traits_.noDeviceText;
    if (!text) return 0;
    copyField(info->text, sizeof info->text, text);
    return 1;
  }
  const int asynchronous = device->deviceError;
  const int code = asynchronous ? asynchronous : device->lastResultCode.load();
  info->code = std::uint16_t(code);
  if (code < 0x1000) {
    copyField(info->text, sizeof info->text,
              Pravik::GetErrorMessage(static_cast<OPERATION_ERROR_CODE>(code)));
    return 1;
  }
  // The scanner's own text; asking for it keeps the code that is being explained.
  SenseInfo sense;
  if (!device->LogDriverResult("RequestSense", device->driver.RequestSense(sense))) return 0;
  copyField(info->text, sizeof info->text, sense.errorText.c_str());
  return 1;
}

int DeviceLibrary::GetLog(int handle, DeviceLogBuffer* log) {
  Access device(*this, handle);
  if (!device || !log) return 0;
  const std::uint32_t size = log->buff_sz;
  char* out = log->buff_p;
  if (size <= 1) {
    device->log.error("Buffer Size.");
    return 0;
  }
  if (!out) {
    device->Fail(kIncorrectParameter);
    return 0;
  }
  // The driver carries at most a signed 32-bit count (less its prefix).
  const std::int32_t asked = std::int32_t(std::min<std::uint32_t>(size, INT32_MAX - 2));
  std::vector<std::uint16_t> words;
  try {
    words.resize((std::size_t(asked) + 1) / 2);
  } catch (const std::bad_alloc&) {
    device->Fail(kSystemCallFailed);
    return 0;
  }
  std::int32_t received = 0;
  if (!device->ProcessDriverResult("ReadLogFile",
                                   device->driver.ReadLogFile(words.data(), asked, received)))
    return 0;
  const std::size_t got = std::min<std::size_t>(std::size_t(std::max(received, 0)), asked);
  const char* bytes = reinterpret_cast<const char*>(words.data());
  std::memcpy(out, bytes, got);
  const void* end = std::memchr(out, 0x1A, got);
  if (end) {
    const std::size_t before = std::size_t(static_cast<const char*>(end) - out);
    log->log_sz = std::uint32_t(before);
    out[before] = 0;
  } else {
    log->log_sz = std::uint32_t(got);
    if (got) out[got - 1] = 0;
  }
  return 1;
}

int DeviceLibrary::ClearHardError(int handle) {
  Access device(*this, handle);
  if (!device) return 0;
  const int remembered = device->ClearDeviceError();
  device->lastResultCode = 0;
  device->lastResultCategory = 0;
  if (remembered == 0) return 1;
  return device->ProcessDriverResult("ResetError", device->driver.ResetError()) ? 1 : 0;
}

int DeviceLibrary::GetBoardAddress(int handle, std::uint32_t* address) {
  Access device(*this, handle);
  if (!device || !address) return 0;
  *address = 0xD6000000u;
  return 1;
}

int DeviceLibrary::NoEffect(int handle) {
  Access device(*this, handle);
  return device ? 1 : 0;
}

}  // namespace devapi
