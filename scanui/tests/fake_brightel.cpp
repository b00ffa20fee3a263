// Stand-ins for the film digitizer library that fail to bind: built once per
// variant, each as a libBrightel.so of its own directory.
#include <cstdint>

// The real declarations: a stand-in of another type would be called through a
// mismatched function type.
#include "devapi/film/brightel.h"

#define FAKE_API BRIGHTEL_API

#if defined(FAKE_UNLOADABLE)
// Never defined anywhere: loading with every symbol resolved fails.
extern "C" int ndt_fake_brightel_absent_dependency();
FAKE_API int KT7163_W32Init(int h) { return ndt_fake_brightel_absent_dependency() + h; }
#else
FAKE_API int KT7163_W32Init(int) { return 0; }
#endif

FAKE_API int KT7163_W32GetSCSIAdapter(devapi::AdapterInfo*) { return 0; }
FAKE_API int KT7163_W32GetScanner(const char*, const char*, devapi::ScannerMatchInfo*, std::uint8_t*) { return 0; }
FAKE_API int KT7163_W32New(devapi::DeviceNewParam*) { return 0; }
FAKE_API int KT7163_W32Delete(int) { return 1; }
FAKE_API int KT7163_W32GetError(int, devapi::DeviceErrorInfo*) { return 0; }
FAKE_API int KT7163_W32GetCondition(int, devapi::ScanCondition*) { return 0; }
FAKE_API int KT7163_W32SetCondition(int, const devapi::ScanCondition*) { return 0; }
FAKE_API int KT7163_W32SetLUT(int, const devapi::TableParam*) { return 0; }
FAKE_API int KT7163_W32Scan(int) { return 0; }
FAKE_API int KT7163_W32ReadBuffer(int, const devapi::ReadBufferParam*) { return 0; }
FAKE_API int KT7163_W32ReverseFilm(int) { return 0; }
FAKE_API int KT7163_W32EjectFilm(int) { return 0; }
FAKE_API int KT7163_W32NextFilm(int) { return 0; }
#if !defined(FAKE_MISSING_SYMBOL)
FAKE_API int KT7163_W32Cancel(int) { return 0; }
#endif
#if !defined(FAKE_NO_OPTIONAL)
FAKE_API int KT7163_W32GetScannerType(int, devapi::ScannerTypeInfo*) { return 0; }
FAKE_API int KT7163_W32GetOption(int, devapi::KtGOption*) { return 0; }
FAKE_API int KT7163_W32GetErrorString(devapi::DeviceErrorString*) { return 0; }
FAKE_API int KT7163_W32ClearHardError(int) { return 0; }
#endif
