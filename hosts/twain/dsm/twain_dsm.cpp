#include "hosts/twain/dsm/twain_dsm.h"

#include "platform/library.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <vector>

namespace {

struct App {
  TW_UINT32 id = 0;
  bool sourceOpen = false;
  std::deque<TW_UINT16> pending;  // DAT_NULL messages not yet handed over
};

// The manager's whole state. Applications call on one thread, as TWAIN asks;
// the lock covers what a source may reach from another thread (its DAT_NULL
// messages, the records). The source calls back into DSM_Entry from inside a
// forwarded call, so the lock is never held while the source runs.
struct Manager {
  std::mutex lock;
  std::vector<App> apps;
  std::vector<TwainDsmRecord> records;
  TW_UINT32 nextId = 1;
  bool failNull = false;
  TW_UINT16 condition = TWCC_SUCCESS;

  platform::Library source;
  DSENTRYPROC dsEntry = nullptr;
  TW_UINT32 sourceId = 0;
  int openCount = 0;

  App* app(TW_UINT32 id) {
    auto it = std::find_if(apps.begin(), apps.end(), [&](const App& a) { return a.id == id; });
    return it == apps.end() ? nullptr : &*it;
  }
};

Manager& manager() {
  static Manager m;
  return m;
}

// The manager's own memory, for TWAIN 2.x peers that take it: a handle names a
// record of the block, so a peer that reads a handle as its memory reads the
// record instead and shows the fault.
struct Block {
  std::uint64_t tag;
  void* memory;
  std::uint32_t size;
  int locks;
};
constexpr std::uint64_t kBlockTag = 0x4e4454445348444cULL;

struct MemoryBook {
  std::mutex lock;
  bool offered = std::getenv("NDT_TWAIN_DSM_MEMORY") != nullptr && *std::getenv("NDT_TWAIN_DSM_MEMORY") == '1';
  TW_UINT32 live = 0, locked = 0;
};

MemoryBook& book() {
  static MemoryBook b;
  return b;
}

Block* blockOf(TW_HANDLE handle) {
  auto* block = static_cast<Block*>(handle);
  return block != nullptr && block->tag == kBlockTag ? block : nullptr;
}

TW_HANDLE memAllocate(TW_UINT32 size) {
  if (size == 0) return nullptr;
  auto* block = static_cast<Block*>(std::malloc(sizeof(Block)));
  void* memory = std::malloc(size);
  if (block == nullptr || memory == nullptr) {
    std::free(block);
    std::free(memory);
    return nullptr;
  }
  *block = Block{kBlockTag, memory, size, 0};
  std::lock_guard guard(book().lock);
  ++book().live;
  return block;
}

// Handles that are none of the manager's are left alone.
void memFree(TW_HANDLE handle) {
  Block* block = blockOf(handle);
  if (block == nullptr) return;
  {
    std::lock_guard guard(book().lock);
    --book().live;
    book().locked -= static_cast<TW_UINT32>(block->locks);
  }
  block->tag = 0;
  std::free(block->memory);
  std::free(block);
}

TW_MEMREF memLock(TW_HANDLE handle) {
  Block* block = blockOf(handle);
  if (block == nullptr) return nullptr;
  std::lock_guard guard(book().lock);
  ++block->locks;
  ++book().locked;
  return block->memory;
}

void memUnlock(TW_HANDLE handle) {
  Block* block = blockOf(handle);
  if (block == nullptr) return;
  std::lock_guard guard(book().lock);
  if (block->locks == 0) return;
  --block->locks;
  --book().locked;
}

TW_ENTRYPOINT entryPoint() {
  return TW_ENTRYPOINT{sizeof(TW_ENTRYPOINT), &DSM_Entry, &memAllocate, &memFree, &memLock, &memUnlock};
}

bool memoryOffered() {
  std::lock_guard guard(book().lock);
  return book().offered;
}

TW_UINT16 fail(Manager& m, TW_UINT16 cc) {
  std::lock_guard guard(m.lock);
  m.condition = cc;
  return TWRC_FAILURE;
}

// Loads the source named by $NDT_TWAIN_SOURCE once; returns its entry or null.
DSENTRYPROC loadSource(Manager& m) {
  if (m.dsEntry != nullptr) return m.dsEntry;
  const char* path = std::getenv("NDT_TWAIN_SOURCE");
  if (path == nullptr || *path == '\0' || !m.source.open(path, reinterpret_cast<const void*>(&DSM_Entry)))
    return nullptr;
  m.dsEntry = m.source.function<DSENTRYPROC>("DS_Entry");
  if (m.dsEntry == nullptr) {
    m.source.close();
    return nullptr;
  }
  m.sourceId = m.nextId++;
  return m.dsEntry;
}

void unloadSource(Manager& m) {
  m.dsEntry = nullptr;
  m.sourceId = 0;
  m.source.close();
}

// Triplets addressed to the manager itself.
TW_UINT16 toManager(Manager& m, TW_IDENTITY* origin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF data) {
  if (DG != DG_CONTROL) return fail(m, TWCC_BADPROTOCOL);
  App* app = m.app(origin->Id);
  if (DAT == DAT_PARENT && MSG == MSG_OPENDSM) {
    if (app != nullptr) return fail(m, TWCC_SEQERROR);
    origin->Id = m.nextId++;
    std::lock_guard guard(m.lock);
    m.apps.push_back(App{origin->Id, false, {}});
    return TWRC_SUCCESS;
  }
  if (DAT == DAT_ENTRYPOINT && MSG == MSG_GET) {
    // A manager without memory of its own is one of TWAIN 1.x.
    if (!memoryOffered()) return fail(m, TWCC_BADPROTOCOL);
    if (data == nullptr) return fail(m, TWCC_BADVALUE);
    auto* entry = static_cast<TW_ENTRYPOINT*>(data);
    if (entry->Size < sizeof(TW_ENTRYPOINT)) return fail(m, TWCC_BADVALUE);
    *entry = entryPoint();
    return TWRC_SUCCESS;
  }
  if (DAT == DAT_STATUS && MSG == MSG_GET) {
    if (data == nullptr) return fail(m, TWCC_BADVALUE);
    std::lock_guard guard(m.lock);
    auto* status = static_cast<TW_STATUS*>(data);
    status->ConditionCode = m.condition;
    status->Reserved = 0;
    m.condition = TWCC_SUCCESS;
    return TWRC_SUCCESS;
  }
  if (app == nullptr) return fail(m, TWCC_SEQERROR);
  if (DAT == DAT_PARENT && MSG == MSG_CLOSEDSM) {
    if (app->sourceOpen) return fail(m, TWCC_SEQERROR);
    std::lock_guard guard(m.lock);
    m.apps.erase(m.apps.begin() + (app - m.apps.data()));
    return TWRC_SUCCESS;
  }
  if (DAT != DAT_IDENTITY) return fail(m, TWCC_BADPROTOCOL);
  if (MSG == MSG_GETNEXT) return TWRC_ENDOFLIST;
  if (MSG != MSG_GETFIRST && MSG != MSG_GETDEFAULT && MSG != MSG_OPENDS && MSG != MSG_CLOSEDS)
    return fail(m, TWCC_BADPROTOCOL);
  if (data == nullptr) return fail(m, TWCC_BADVALUE);
  auto* identity = static_cast<TW_IDENTITY*>(data);

  if (MSG == MSG_CLOSEDS) {
    if (!app->sourceOpen || identity->Id != m.sourceId) return fail(m, TWCC_BADDEST);
    // The source is told which identity closes, as a manager does.
    TW_UINT16 rc = m.dsEntry(origin, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, identity);
    if (rc == TWRC_SUCCESS) {
      {
        std::lock_guard guard(m.lock);
        app = m.app(origin->Id);
        app->sourceOpen = false;
        app->pending.clear();
      }
      if (--m.openCount == 0) unloadSource(m);
    }
    return rc;
  }
  if (MSG == MSG_OPENDS && app->sourceOpen) return fail(m, TWCC_SEQERROR);
  DSENTRYPROC entry = loadSource(m);
  if (entry == nullptr) return fail(m, TWCC_NODS);
  if (MSG == MSG_OPENDS) {
    identity->Id = m.sourceId;
    // A source of TWAIN 1.x refuses the entry point; it then keeps to plain handles.
    if (memoryOffered()) {
      TW_ENTRYPOINT given = entryPoint();
      entry(origin, DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &given);
    }
    TW_UINT16 rc = entry(origin, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, identity);
    if (rc == TWRC_SUCCESS) {
      std::lock_guard guard(m.lock);
      m.app(origin->Id)->sourceOpen = true;
      ++m.openCount;
    } else {
      // The application asks the manager why: pass on the source's own reason.
      TW_STATUS status{};
      entry(origin, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
      if (m.openCount == 0) unloadSource(m);
      fail(m, status.ConditionCode);
    }
    return rc;
  }
  TW_UINT16 rc = entry(origin, DG_CONTROL, DAT_IDENTITY, MSG_GET, identity);
  identity->Id = m.sourceId;
  if (m.openCount == 0) unloadSource(m);
  return rc;
}

TW_UINT16 handle(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                 TW_MEMREF data) {
  Manager& m = manager();
  if (origin == nullptr) return fail(m, TWCC_BADVALUE);
  if (dest == nullptr) return toManager(m, origin, DG, DAT, MSG, data);

  // The source speaks to an application: only DAT_NULL messages, kept for its next event.
  if (m.sourceId != 0 && origin->Id == m.sourceId) {
    if (DG != DG_CONTROL || DAT != DAT_NULL) return fail(m, TWCC_BADPROTOCOL);
    std::lock_guard guard(m.lock);
    if (m.failNull) return TWRC_FAILURE;
    App* app = m.app(dest->Id);
    if (app == nullptr || !app->sourceOpen) {
      m.condition = TWCC_BADDEST;
      return TWRC_FAILURE;
    }
    app->pending.push_back(MSG);
    return TWRC_SUCCESS;
  }

  App* app = m.app(origin->Id);
  if (app == nullptr || !app->sourceOpen || dest->Id != m.sourceId) return fail(m, TWCC_BADDEST);
  TW_UINT16 rc = m.dsEntry(origin, DG, DAT, MSG, data);
  if (DG == DG_CONTROL && DAT == DAT_EVENT && MSG == MSG_PROCESSEVENT && data != nullptr) {
    std::lock_guard guard(m.lock);
    app = m.app(origin->Id);
    if (app != nullptr && !app->pending.empty()) {
      static_cast<TW_EVENT*>(data)->TWMessage = app->pending.front();
      app->pending.pop_front();
      rc = TWRC_DSEVENT;
    }
  }
  return rc;
}

}  // namespace

TWAIN_DSM_API TW_UINT16 DSM_Entry(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT,
                                  TW_UINT16 MSG, TW_MEMREF pData) {
  TW_UINT32 originId = pOrigin != nullptr ? pOrigin->Id : 0;
  TW_UINT32 destId = pDest != nullptr ? pDest->Id : 0;
  TW_UINT16 rc = handle(pOrigin, pDest, DG, DAT, MSG, pData);
  // An application's first call gets its id on the way: record the one it got.
  if (originId == 0 && pOrigin != nullptr) originId = pOrigin->Id;
  Manager& m = manager();
  std::lock_guard guard(m.lock);
  m.records.push_back(TwainDsmRecord{originId, destId, DG, DAT, MSG, rc});
  return rc;
}

TWAIN_DSM_API TW_UINT32 TwainDsm_RecordCount() {
  Manager& m = manager();
  std::lock_guard guard(m.lock);
  return static_cast<TW_UINT32>(m.records.size());
}

TWAIN_DSM_API int TwainDsm_Record(TW_UINT32 index, TwainDsmRecord* out) {
  Manager& m = manager();
  std::lock_guard guard(m.lock);
  if (out == nullptr || index >= m.records.size()) return 0;
  *out = m.records[index];
  return 1;
}

TWAIN_DSM_API void TwainDsm_ClearRecords() {
  Manager& m = manager();
  std::lock_guard guard(m.lock);
  m.records.clear();
}

TWAIN_DSM_API void TwainDsm_FailNullMessages(int fail) {
  Manager& m = manager();
  std::lock_guard guard(m.lock);
  m.failNull = fail != 0;
}

TWAIN_DSM_API void TwainDsm_OfferMemory(int offer) {
  std::lock_guard guard(book().lock);
  book().offered = offer != 0;
}

TWAIN_DSM_API void TwainDsm_MemoryCounts(TW_UINT32* live, TW_UINT32* locked) {
  std::lock_guard guard(book().lock);
  if (live != nullptr) *live = book().live;
  if (locked != nullptr) *locked = book().locked;
}
