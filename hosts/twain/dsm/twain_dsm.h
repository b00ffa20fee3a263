// The suite's TWAIN source manager: no source manager comes with this
// platform, so the source's settings name this one, it ships beside the
// source, and the tests and the test applications load it. It opens the one
// source named by $NDT_TWAIN_SOURCE (a path), forwards the application's
// triplets to it, records every triplet that passes, and hands the source's
// DAT_NULL messages to the application in its next MSG_PROCESSEVENT. When it
// offers its memory ($NDT_TWAIN_DSM_MEMORY=1, or TwainDsm_OfferMemory), it
// answers an application's DAT_ENTRYPOINT MSG_GET and hands the source its
// entry point before MSG_OPENDS; its handles are then no memory blocks.
#pragma once

#include "hosts/twain/twain.h"

#define TWAIN_DSM_API extern "C" __attribute__((visibility("default")))

// One triplet as it passed the manager.
struct TwainDsmRecord {
  TW_UINT32 originId;
  TW_UINT32 destId;  // 0 for a call to the manager itself
  TW_UINT32 DG;
  TW_UINT16 DAT;
  TW_UINT16 MSG;
  TW_UINT16 rc;
};

TWAIN_DSM_API TW_UINT16 DSM_Entry(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT,
                                  TW_UINT16 MSG, TW_MEMREF pData);

// Test controls, looked up by name like DSM_Entry.
TWAIN_DSM_API TW_UINT32 TwainDsm_RecordCount();
// Copies record `index` to out; 0 when there is no such record.
TWAIN_DSM_API int TwainDsm_Record(TW_UINT32 index, TwainDsmRecord* out);
TWAIN_DSM_API void TwainDsm_ClearRecords();
// Non-zero makes every DAT_NULL message from the source fail (TWRC_FAILURE).
TWAIN_DSM_API void TwainDsm_FailNullMessages(int fail);

// Non-zero makes the manager offer its memory functions from now on.
TWAIN_DSM_API void TwainDsm_OfferMemory(int offer);
// Blocks of the manager's memory not yet freed, and locks not yet undone.
TWAIN_DSM_API void TwainDsm_MemoryCounts(TW_UINT32* live, TW_UINT32* locked);

using TwainDsmRecordCountProc = TW_UINT32 (*)();
using TwainDsmRecordProc = int (*)(TW_UINT32, TwainDsmRecord*);
using TwainDsmClearRecordsProc = void (*)();
using TwainDsmFailNullMessagesProc = void (*)(int);
using TwainDsmOfferMemoryProc = void (*)(int);
using TwainDsmMemoryCountsProc = void (*)(TW_UINT32*, TW_UINT32*);
