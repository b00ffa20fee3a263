// What the driver tests share: a recorder of the client messages.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <ostream>
#include <vector>

#include "driver/pravik.h"

namespace drivertest {

struct Messages {
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<int> seen;
  std::vector<InterruptInfo> interrupts;
  std::vector<std::uint8_t> descriptor;
  ScanParameters scanParameters{};
  MaintenanceParameters maintenance{};
  int selectionOffered = 0;
  int choose = 1;             // answer to message 4
  std::uint8_t attach = 1;    // answer to message 5

  static void callback(CALLBACK_MESSAGE message, void* data, void* context) {
    auto* self = static_cast<Messages*>(context);
    std::lock_guard<std::mutex> lock(self->mutex);
    self->seen.push_back(message);
    switch (message) {
      case INTERRUPT: self->interrupts.push_back(*static_cast<InterruptInfo*>(data)); break;
      case SCANNER_CONNECTED: {
        auto* p = static_cast<std::uint8_t*>(data);
        self->descriptor.assign(p, p + 18);
        break;
      }
      case SCANNER_SELECTION: {
        auto* s = static_cast<ScannerSelection*>(data);
        self->selectionOffered = s->scannersFound;
        s->chosenScanner = self->choose;
        break;
      }
      case SCANNER_ATTACH_CONFIRMATION: *static_cast<std::uint8_t*>(data) = self->attach; break;
      case SCAN_PARAMETERS_RETRIEVED:
        std::memcpy(&self->scanParameters, data, sizeof self->scanParameters);
        break;
      case MAINTENANCE_PARAMETERS_RETRIEVED:
        std::memcpy(&self->maintenance, data, sizeof self->maintenance);
        break;
      default: break;
    }
    self->cv.notify_all();
  }
  std::vector<int> withoutInterrupts() {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<int> out;
    for (int m : seen)
      if (m != INTERRUPT) out.push_back(m);
    return out;
  }
  int count(int message) {
    std::lock_guard<std::mutex> lock(mutex);
    int n = 0;
    for (int m : seen) n += m == message;
    return n;
  }
};

inline OperationResult R(std::uint32_t code, int category) {
  return {static_cast<OPERATION_ERROR_CODE>(code), category};
}

}  // namespace drivertest

inline bool operator==(const OperationResult& a, const OperationResult& b) {
  return a.code == b.code && a.category == b.category;
}
inline std::ostream& operator<<(std::ostream& os, const OperationResult& r) {
  return os << "{0x" << std::hex << r.code << std::dec << ", " << r.category << "}";
}
