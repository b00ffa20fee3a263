// The process-wide side of a device library: the one device object, the open
// sequence under the owner mutex, deletion, and the exports common to both
// libraries. Each library holds one DeviceLibrary as a static object, so its
// destructor is the library's unload hook.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>

#include "devapi/korva_scanner.h"
#include "devapi/records.h"
#include "platform/sync.h"

namespace devapi {

// What differs between the CR reader's and the film digitizer's library.
struct DeviceTraits {
  // Texts of GetErrorString while no device object exists.
  const char* noDeviceText = nullptr;  // 516, when the library reports it
  const char* alreadyOpenText = "Device is already open";  // 517
  std::size_t logLimit = 8;
  // Makes and destroys the library's own device object (a KorvaScanner first).
  KorvaScanner* (*create)() = nullptr;
  void (*destroy)(KorvaScanner*) = nullptr;
  // Delete pauses 100 ms always, or only after stopping a started driver.
  bool deletePausesAlways = true;
  // Run at every open before the object is made (the CR reader rereads its settings).
  void (*beforeOpen)() = nullptr;
  // Beyond being connected, whether the scanner may be used (the CR reader's product id).
  bool (*usable)(const KorvaScanner&) = nullptr;
  // New without a usable scanner stops and deletes the object (no-object code
  // 516) instead of keeping it for a scanner that arrives later.
  bool dropUnusableAtNew = false;
  // GetSCSIAdapter and GetSCSIDevice clear the whole record before filling it,
  // and GetSCSIDevice without a connected scanner succeeds with it left zero.
  bool wholeRecords = false;
};

// Each export that works on the object holds an Access for its whole call:
// the object cannot be deleted under it.
class DeviceLibrary;
class Access {
 public:
  // Refuses the handle -1 and the time before the object exists.
  Access(DeviceLibrary& library, int handle);
  // Without a handle (the queries that take none).
  explicit Access(DeviceLibrary& library);
  explicit operator bool() const { return device_ != nullptr; }
  KorvaScanner* operator->() const { return device_; }
  KorvaScanner& operator*() const { return *device_; }
  KorvaScanner* get() const { return device_; }

 private:
  std::shared_lock<std::shared_mutex> lock_;
  KorvaScanner* device_ = nullptr;
};

class DeviceLibrary {
 public:
  explicit DeviceLibrary(const DeviceTraits& traits);
  // Unload: joins the reader, stops the driver, frees the object and lets the
  // owner mutex go, so another process can open the scanner.
  ~DeviceLibrary();
  DeviceLibrary(const DeviceLibrary&) = delete;
  DeviceLibrary& operator=(const DeviceLibrary&) = delete;

  static constexpr const char* kOwnerMutex = "BrightelUSB";
  static constexpr const char* kObjectMutex = "KtObjMutex";
  static constexpr const char* kProbeMutex = "GetScannerMutex";

  // The common exports.
  int GetSCSIAdapter(AdapterInfo* info);
  int GetSCSIDevice(DeviceInfo* info);
  int GetScanner(const char* vendor, const char* product, ScannerMatchInfo* match,
                 std::uint8_t* flags);
  int New(DeviceNewParam* param);
  int Init(int handle);
  int AllDelete();
  int IdDelete(int handle, int unused);
  int Delete(int handle);
  int GetError(int handle, DeviceErrorInfo* info);
  int GetErrorString(DeviceErrorString* info);
  int GetLog(int handle, DeviceLogBuffer* log);
  int ClearHardError(int handle);
  int GetBoardAddress(int handle, std::uint32_t* address);
  int NoEffect(int handle);

  const DeviceTraits& traits() const { return traits_; }

 private:
  friend class Access;
  enum class Opened { Failed, NotConnected, Connected };
  // Under openMutex_.
  Opened OpenSequence();
  bool StopIfStarted();
  void DestroyDevice();

  DeviceTraits traits_;
  // Open and close are one critical section within the process.
  std::mutex openMutex_;
  // Exports share it while they use the object; creation and deletion own it.
  std::shared_mutex objectGuard_;
  KorvaScanner* device_ = nullptr;
  bool started_ = false;
  std::unique_ptr<platform::NamedMutex> owner_;
  std::atomic<int> noObjectCode_{0};
};

// Copies a text into a fixed field, cut to fit, padded with NULs.
void copyField(char* field, std::size_t size, const char* text);

// Nothing thrown inside may cross an export.
template <typename F>
int guarded(F&& body) {
  try {
    return body();
  } catch (...) {
    return 0;
  }
}

// The handle rule, then the call on the library's device object, of type T.
template <typename T, typename F>
int onDevice(DeviceLibrary& library, int handle, F&& body) {
  return guarded([&] {
    Access device(library, handle);
    if (!device) return 0;
    return body(static_cast<T&>(*device));
  });
}

}  // namespace devapi
