#include "crengine/internal/errors.h"

#include "crengine/quorin.h"

namespace crengine {
namespace {

constexpr ErrorEntry kErrors[] = {
    {QUORIN_ERR_NOT_INITIALIZED, 7000, "Device is not initialization."},
    {QUORIN_ERR_ALREADY_INITIALIZED, 7001, "Quorin2.dll already initialized."},
    {QUORIN_ERR_DLL_LOAD, 7002, "ZENTRAC.dll load error."},
    {QUORIN_ERR_DLL_UNLOAD, 7003, "ZENTRAC.dll unload error."},
    {QUORIN_ERR_SCANNER_INIT, 7004, "Scanner initialize failed."},
    {QUORIN_ERR_SCANNER_NOT_CONNECT, 7005, "Scanner not connect."},
    {QUORIN_ERR_BEGIN_THREAD, 7006, "Begin thread failed."},
    {QUORIN_ERR_STOP_THREAD, 7007, "Stop thread failed."},
    {QUORIN_ERR_DISCONNECT, 7008, "Scanner disconnect failed."},
    {QUORIN_ERR_CONDITION_UNEXPECTED, 7009, "Scanner condition unexpected."},
    {QUORIN_ERR_GETCONDITION_IN_SET, 7010, "GetCondition failed in SetCondition."},
    {QUORIN_ERR_BLOCKED_SETCONDITION, 7011, "Execution blocked 'SetCondition'"},
    {QUORIN_ERR_BLOCKED_SCAN, 7012, "Execution blocked 'GetScanStatus'"},
    {QUORIN_ERR_BLOCKED_ERASE, 7013, "Execution blocked 'Erase'"},
    {QUORIN_ERR_BLOCKED_EJECT, 7014, "Execution blocked 'Eject'"},
    {QUORIN_ERR_MINISCREEN, 7015, "Miniscreen data error."},
    {QUORIN_ERR_MEMORY, 7016, "Memory allocation failed."},
    {QUORIN_ERR_PARAMETER, 7017, "Invalid parameter."},
    {QUORIN_ERR_FILE_ACCESS, 7018, "File access error."},
    {QUORIN_ERR_ACTION_FAILED, 7019, "This action failed."},
};
static_assert(sizeof kErrors / sizeof kErrors[0] == 20);

}  // namespace

const ErrorEntry* findError(std::uint32_t code) {
  for (const ErrorEntry& e : kErrors)
    if (e.code == code) return &e;
  return nullptr;
}

}  // namespace crengine
