// The film-scan UI library, libOskelu.so, as its hosts see it: the records that
// cross its boundary, the host callback type, the source mode and the 15
// exports. Hosts load the library at run time and bind every export by name.
// Records are byte-packed and little-endian; those holding a pointer keep the
// original field order with an 8-byte pointer, so every user takes sizeof.
#pragma once

#include <cstddef>
#include <cstdint>

namespace scanui {

// A host callback: no arguments; its result is ignored except where
// CloseRequest passes it on.
using DSProc = int (*)();

// Which source serves the host.
enum SourceMode : int {
  SOURCE_NONE = 0,       // nothing chosen yet
  SOURCE_DIGITIZER = 1,  // the film digitizer through Brightel
  SOURCE_CR_LINK = 2,    // the CR acquisition program; the dialog stays hidden
};

#pragma pack(push, 1)

// What GetScanData fills in the host's memory.
struct ScanData {
  std::uint32_t width;   // pixels per line
  std::uint32_t height;  // lines
  void* pixels;          // the library's until ReleaseScanData
  std::uint8_t bytesPerPixel;  // 1 or 2
  std::uint8_t bits;           // bits stored
  std::uint16_t pitch;         // micrometres
  std::uint8_t odRange;        // O.D. times 10; CR link: 255 for MONOCHROME1, else 0
  std::uint8_t notWritten[3];  // never written by the library
  std::int32_t left;           // frame on the film, mm
  std::int32_t top;
  std::int32_t frameWidth;
  std::int32_t frameHeight;
};

// The library's own scan record, the argument of XFerReady.
struct ScanRecord {
  std::uint32_t width;
  std::uint32_t height;
  void* pixels;
  std::uint8_t bits;
  std::uint8_t unused;
  std::uint16_t pitch;
  std::uint8_t odRange;
  std::uint8_t bytesPerPixel;
  std::uint8_t scanMode;  // sent to the device: 0, 1 or 2
  std::uint8_t autoScan;  // 1 inside an auto-feeder run
  std::int32_t left;
  std::int32_t top;
  std::int32_t frameWidth;
  std::int32_t frameHeight;
  std::uint32_t deviceLineWidth;  // pixels per line the device reported
  std::uint32_t deviceLineCount;
  std::uint32_t fullFilm;        // 1: the scout scan over the whole sensed film
  std::uint32_t readInProgress;
};

// The host's study record, lent with EnableDICOMField; NUL-terminated CP932 texts.
struct StudyData {
  char componentName[65];
  char componentId[65];
  char manufacturingDate[9];  // YYYYMMDD
  char sex[3];                // "M ", "F ", "O " or empty
  char studyDate[9];          // YYYYMMDD
  char studyId[65];
  char studyDescription[1024];
};

#pragma pack(pop)

static_assert(sizeof(StudyData) == 1240);
static_assert(offsetof(StudyData, componentName) == 0 && offsetof(StudyData, componentId) == 65 &&
              offsetof(StudyData, manufacturingDate) == 130 && offsetof(StudyData, sex) == 139 &&
              offsetof(StudyData, studyDate) == 142 && offsetof(StudyData, studyId) == 151 &&
              offsetof(StudyData, studyDescription) == 216);

#if defined(__x86_64__)
// The 36-byte and 52-byte originals with an 8-byte pointer at offset 8.
static_assert(sizeof(ScanData) == 40);
static_assert(offsetof(ScanData, width) == 0 && offsetof(ScanData, height) == 4 &&
              offsetof(ScanData, pixels) == 8 && offsetof(ScanData, bytesPerPixel) == 16 &&
              offsetof(ScanData, bits) == 17 && offsetof(ScanData, pitch) == 18 &&
              offsetof(ScanData, odRange) == 20 && offsetof(ScanData, notWritten) == 21 &&
              offsetof(ScanData, left) == 24 && offsetof(ScanData, top) == 28 &&
              offsetof(ScanData, frameWidth) == 32 && offsetof(ScanData, frameHeight) == 36);
static_assert(sizeof(ScanRecord) == 56);
static_assert(offsetof(ScanRecord, width) == 0 && offsetof(ScanRecord, height) == 4 &&
              offsetof(ScanRecord, pixels) == 8 && offsetof(ScanRecord, bits) == 16 &&
              offsetof(ScanRecord, unused) == 17 && offsetof(ScanRecord, pitch) == 18 &&
              offsetof(ScanRecord, odRange) == 20 && offsetof(ScanRecord, bytesPerPixel) == 21 &&
              offsetof(ScanRecord, scanMode) == 22 && offsetof(ScanRecord, autoScan) == 23 &&
              offsetof(ScanRecord, left) == 24 && offsetof(ScanRecord, top) == 28 &&
              offsetof(ScanRecord, frameWidth) == 32 && offsetof(ScanRecord, frameHeight) == 36 &&
              offsetof(ScanRecord, deviceLineWidth) == 40 &&
              offsetof(ScanRecord, deviceLineCount) == 44 && offsetof(ScanRecord, fullFilm) == 48 &&
              offsetof(ScanRecord, readInProgress) == 52);
#endif

// The exports as hosts bind them. Arguments that the library does not read are
// intptr_t; windows are opaque pointers (a QWidget* or null).
using SetDSProcAddressFn = void (*)(DSProc transferReady, DSProc closeRequest);
using InitUIFn = int (*)(std::intptr_t notRead);
using IsThereAnyDigitizerAvailableFn = int (*)(std::intptr_t notRead);
using IsDigitizerAvailableFn = int (*)(std::intptr_t notRead);
using EnableDICOMFieldFn = void (*)(StudyData* study, int enable, int expanded);
using ShowUIFn = void* (*)(void* hostWindow, const char* captionSuffix);
using HideUIFn = int (*)(std::intptr_t notRead);
using TermUIFn = void (*)(std::intptr_t notRead);
using XFerReadyFn = void (*)(ScanRecord* record);
using GetScanDataFn = ScanData* (*)(ScanData* out);
using ReleaseScanDataFn = void (*)(ScanData* data);
using CeaseScanFn = int (*)();
using CloseRequestFn = int (*)();
using GetAutofeederCountFn = int (*)();
using ResetAutofeederCountFn = int (*)();

}  // namespace scanui

#define OSKELU_API extern "C" __attribute__((visibility("default")))

OSKELU_API void SetDSProcAddress(scanui::DSProc transferReady, scanui::DSProc closeRequest);
OSKELU_API int InitUI(std::intptr_t notRead);
OSKELU_API int IsThereAnyDigitizerAvailable(std::intptr_t notRead);
OSKELU_API int IsDigitizerAvailable(std::intptr_t notRead);
OSKELU_API void EnableDICOMField(scanui::StudyData* study, int enable, int expanded);
OSKELU_API void* ShowUI(void* hostWindow, const char* captionSuffix);
OSKELU_API int HideUI(std::intptr_t notRead);
OSKELU_API void TermUI(std::intptr_t notRead);
OSKELU_API void XFerReady(scanui::ScanRecord* record);
OSKELU_API scanui::ScanData* GetScanData(scanui::ScanData* out);
OSKELU_API void ReleaseScanData(scanui::ScanData* data);
OSKELU_API int CeaseScan();
OSKELU_API int CloseRequest();
OSKELU_API int GetAutofeederCount();
OSKELU_API int ResetAutofeederCount();
