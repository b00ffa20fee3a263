#include "platform/usb.h"

namespace platform::usb {

const char* statusText(Status status) {
  switch (status) {
    case Status::Ok: return "ok";
    case Status::Timeout: return "timed out";
    case Status::Stall: return "endpoint stalled";
    case Status::NoDevice: return "no device";
    case Status::Cancelled: return "cancelled";
    case Status::Overflow: return "overflow";
    case Status::Error: break;
  }
  return "error";
}

}  // namespace platform::usb
