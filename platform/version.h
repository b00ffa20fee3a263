// The version string compiled into every deliverable.
#pragma once

namespace platform {
inline constexpr const char* kVersion = NDT_VERSION_STRING;
}
