// A small CR reader library for the binding tests: the functions the engine
// binds, with fixed answers; variants leave one function out.
#include "crengine/internal/zntr.h"

#include <cstring>

using namespace crengine::zntr;

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

FAKE_EXPORT int ZNTR_New(DeviceNewParam* p) {
  p->status = 1;
  p->handle = 1;
  return 1;
}
FAKE_EXPORT int ZNTR_Delete(Handle) { return 1; }
FAKE_EXPORT int ZNTR_SetCondition(Handle, ScanCondition*) { return 1; }
FAKE_EXPORT int ZNTR_GetCondition(Handle h, ScanCondition* c) {
  std::memset(c, 0, sizeof *c);
  c->pitch = 100;
  c->pix_w = 77;
  c->pix_h = 33;
  return h == 0 ? 1 : 0;  // the engine always passes handle 0
}
FAKE_EXPORT int ZNTR_ScanM(Handle, BlockScanParam*) { return 1; }
FAKE_EXPORT int ZNTR_GetScanStatusM(Handle, std::int32_t* n) {
  *n = 3;
  return 1;
}
FAKE_EXPORT int ZNTR_Erase(Handle) { return 0; }  // fails, so the error text is fetched
#ifndef FAKE_WITHOUT_EJECT
FAKE_EXPORT int ZNTR_EjectFilm(Handle) { return 1; }
#endif
FAKE_EXPORT int ZNTR_GetErrorString(DeviceErrorString* e) {
  e->code = 0x4012;
  std::memset(e->text, 'E', 100);
  e->text[100] = '\0';
  return 1;
}
FAKE_EXPORT int ZNTR_ClearHardError(Handle) { return 1; }
FAKE_EXPORT int ZNTR_GetLog(Handle, DeviceLogBuffer*) { return 1; }
FAKE_EXPORT int ZNTR_SetOption(Handle, KtGOption*) { return 1; }
FAKE_EXPORT int ZNTR_GetOption(Handle, KtGOption* o) {
  std::memset(o, 0, sizeof *o);
  o->scanner_condition = 1;
  return 1;
}
FAKE_EXPORT int ZNTR_GetScannerType(Handle, ScannerTypeInfo* t) {
  std::memset(t, 0, sizeof *t);
  std::strcpy(t->vendor_id, "FAKE");
  return 1;
}
#ifndef FAKE_WITHOUT_EIGHTLINE
FAKE_EXPORT int ZNTR_EightLine(Handle, BlockScanParam*) { return 1; }
#endif
