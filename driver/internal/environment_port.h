// The USB port that the NDT_USB setting selects for this process.
#pragma once

#include <memory>

#include "platform/usb.h"

namespace pravik {

std::shared_ptr<platform::usb::Port> environmentPort();

}  // namespace pravik
