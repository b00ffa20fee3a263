// A stand-in film-scan UI for the data source's tests: the library's exports
// over scanui/scanui.h, with scripted images. Images come from the test's calls
// below, or from $NDT_FAKE_SCANUI_IMAGES ("WxHxBYTESxBITS,..."): those are
// offered one by one once the dialog is shown, from a Qt timer, and then the
// dialog asks to be closed.
#pragma once

#include <cstddef>
#include <cstdint>

// Sample (x, y) of scripted image `index`, within its bits.
inline std::uint16_t fakeScanUiSample(std::uint32_t x, std::uint32_t y, int bits, int index) {
  return static_cast<std::uint16_t>((x * 5 + y * 3 + static_cast<std::uint32_t>(index) * 17) &
                                    ((1u << bits) - 1));
}

// Test controls, looked up by name.
using FakeScanUiQueueProc = void (*)(std::uint32_t width, std::uint32_t height, int bytes, int bits);
// Calls the source's callbacks as the dialog would; their results.
using FakeScanUiCallbackProc = int (*)();
// Copies the calls the source made so far, ';'-separated; their length.
using FakeScanUiCallsProc = std::size_t (*)(char* out, std::size_t room);
// The automatic feeder's film count that GetAutofeederCount answers.
using FakeScanUiSetFeederProc = void (*)(int count);
using FakeScanUiResetProc = void (*)();
