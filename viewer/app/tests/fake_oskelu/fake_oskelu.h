// The control entry of the tests' stand-in film-scan UI: what it delivers
// and what it saw of its host.
#pragma once
#include <cstdint>

#include "scanui/scanui.h"

struct FakeScanScript {
  int images = 0;              // scans delivered after ShowUI
  int bytesPerPixel = 1;       // 1 or 2 (anything else: a bad record)
  int bits = 8;
  int width = 7, height = 5;
  int odByte = 40;
  int fromWorker = 0;          // 1: delivered from a thread of the library
  int nullPixels = 0;          // 1: a record without pixels
  int available = 0;           // IsThereAnyDigitizerAvailable's answer
  int initOk = 1;
  char studyDateAtClose[9] = {};  // written into the lent record at close
};

// What the stand-in saw, for the test to check.
struct FakeScanLog {
  int setProcs = 0, inits = 0, shows = 0, hides = 0, terms = 0, releases = 0, probes = 0;
  int enableArg = -1, expandedArg = -1;
  int hostEnabledAtShow = -1;
  char caption[32] = {};
  scanui::StudyData lentAtShow{};
};

// Sample k's value at (x, y); one sample of a 2-byte scan is past 12 bits.
inline unsigned fakeSample(int k, int x, int y, int bytes) {
  if (bytes == 2) return x == 1 && y == 0 ? 0xF123u : unsigned(x * 300 + y * 17 + k * 5) & 0x0FFFu;
  return unsigned(x * 31 + y * 7 + k * 3) & 0xFFu;
}

using FakeOskeluScriptFn = void (*)(const FakeScanScript*);
using FakeOskeluLogFn = const FakeScanLog* (*)();
