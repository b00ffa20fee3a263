// A small CR reader library for the binding tests: the functions the engine
// binds, with fixed answers; variants leave one function out.
// Defined against the reader library's own declarations, so a signature that
// differs from the real one does not compile.
#include "devapi/cr/zentrac.h"

#include <atomic>
#include <cstring>
#include <unistd.h>

using namespace devapi;

#define FAKE_EXPORT ZENTRAC_API

FAKE_EXPORT int ZNTR_New(DeviceNewParam* p) {
  p->status = 1;
  p->handle = 1;
  return 1;
}
FAKE_EXPORT int ZNTR_Delete(int) { return 1; }
FAKE_EXPORT int ZNTR_SetCondition(int, ScanCondition*) { return 1; }
namespace {
std::atomic<bool> holdGetCondition{false};
std::atomic<bool> insideHeldCall{false};
}  // namespace

// A condition read that waits until released, in short sleeps: a thread held
// here keeps running this library's code.
FAKE_EXPORT void fake_hold_get_condition(int on) { holdGetCondition = on != 0; }
FAKE_EXPORT int fake_inside_held_call() { return insideHeldCall ? 1 : 0; }

FAKE_EXPORT int ZNTR_GetCondition(int h, ScanCondition* c) {
  while (holdGetCondition) {
    insideHeldCall = true;
    ::usleep(1000);
  }
  insideHeldCall = false;
  std::memset(c, 0, sizeof *c);
  c->pitch = 100;
  c->pix_w = 77;
  c->pix_h = 33;
  return h == 0 ? 1 : 0;  // the engine always passes handle 0
}
FAKE_EXPORT int ZNTR_ScanM(int, const BlockScanParam*) { return 1; }
FAKE_EXPORT int ZNTR_GetScanStatusM(int, int* n) {
  *n = 3;
  return 1;
}
FAKE_EXPORT int ZNTR_Erase(int) { return 0; }  // fails, so the error text is fetched
#ifndef FAKE_WITHOUT_EJECT
FAKE_EXPORT int ZNTR_EjectFilm(int) { return 1; }
#endif
FAKE_EXPORT int ZNTR_GetErrorString(DeviceErrorString* e) {
  e->code = 0x4012;
  std::memset(e->text, 'E', sizeof e->text);  // the whole room, unterminated
  return 1;
}
FAKE_EXPORT int ZNTR_ClearHardError(int) { return 1; }
FAKE_EXPORT int ZNTR_GetLog(int, DeviceLogBuffer*) { return 1; }
FAKE_EXPORT int ZNTR_SetOption(int, const KtGOption*) { return 1; }
FAKE_EXPORT int ZNTR_GetOption(int, KtGOption* o) {
  std::memset(o, 0, sizeof *o);
  o->scanner_condition = 1;
  return 1;
}
FAKE_EXPORT int ZNTR_GetScannerType(int, ScannerTypeInfo* t) {
  std::memset(t, 0, sizeof *t);
  std::strcpy(t->vendor_id, "FAKE");
  return 1;
}
#ifndef FAKE_WITHOUT_EIGHTLINE
FAKE_EXPORT int ZNTR_EightLine(int, const BlockScanParam*) { return 1; }
#endif
