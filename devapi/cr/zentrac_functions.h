// The types of the CR reader library's functions, taken from their own
// declarations, for a caller that binds them by name at run time: a pointer
// of any other type would call through a mismatched function type.
#pragma once

#include "devapi/cr/zentrac.h"

namespace zentrac {

using NewFn = decltype(&ZNTR_New);
using DeleteFn = decltype(&ZNTR_Delete);
using SetConditionFn = decltype(&ZNTR_SetCondition);
using GetConditionFn = decltype(&ZNTR_GetCondition);
using ScanMFn = decltype(&ZNTR_ScanM);
using GetScanStatusMFn = decltype(&ZNTR_GetScanStatusM);
using EraseFn = decltype(&ZNTR_Erase);
using EjectFilmFn = decltype(&ZNTR_EjectFilm);
using GetErrorStringFn = decltype(&ZNTR_GetErrorString);
using ClearHardErrorFn = decltype(&ZNTR_ClearHardError);
using GetLogFn = decltype(&ZNTR_GetLog);
using SetOptionFn = decltype(&ZNTR_SetOption);
using GetOptionFn = decltype(&ZNTR_GetOption);
using GetScannerTypeFn = decltype(&ZNTR_GetScannerType);
using EightLineFn = decltype(&ZNTR_EightLine);

}  // namespace zentrac
