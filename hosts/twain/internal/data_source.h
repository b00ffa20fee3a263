// The data source's state machine (states 3 to 7): every triplet DS_Entry
// receives, the two callbacks the film-scan UI calls, the identity, and the
// image transfers. It knows the film-scan UI only through a table of functions,
// so it runs in tests without the UI library.
#pragma once

#include "hosts/twain/internal/capability_db.h"
#include "hosts/twain/twain.h"
#include "hosts/twain/twain_memory.h"
#include "scanui/scanui.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace twain {

// The film-scan UI's twelve exports that the source calls, bound by name from
// the UI library.
struct ScanUiFunctions {
  scanui::SetDSProcAddressFn SetDSProcAddress = nullptr;
  scanui::IsThereAnyDigitizerAvailableFn IsThereAnyDigitizerAvailable = nullptr;
  scanui::IsDigitizerAvailableFn IsDigitizerAvailable = nullptr;
  scanui::InitUIFn InitUI = nullptr;
  scanui::ShowUIFn ShowUI = nullptr;
  scanui::HideUIFn HideUI = nullptr;
  scanui::TermUIFn TermUI = nullptr;
  scanui::GetScanDataFn GetScanData = nullptr;
  scanui::ReleaseScanDataFn ReleaseScanData = nullptr;
  scanui::GetAutofeederCountFn GetAutofeederCount = nullptr;
  scanui::ResetAutofeederCountFn ResetAutofeederCount = nullptr;
  scanui::CeaseScanFn CeaseScan = nullptr;
};

// The ini values the identity is built from ("Selvane.ini", section "DS Identity").
TW_IDENTITY sourceIdentityFrom(const std::filesystem::path& ini);

class DataSource {
 public:
  // Events for a dialog that runs in this process: true when the dialog took it.
  using EventPump = bool (*)(void* event);

  DataSource(TW_IDENTITY identity, std::filesystem::path capabilityFile, ScanUiFunctions ui, DSMENTRYPROC manager,
             EventPump pump = nullptr);

  TW_UINT16 entry(TW_IDENTITY* origin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF data);
  // The film-scan UI's two callbacks: 1 on success, 0 on failure.
  int transferReady();
  int closeRequest();

  int state() const { return state_; }
  TW_UINT16 conditionCode() const { return condition_; }

 private:
  TW_UINT16 control(TW_IDENTITY* origin, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF data);
  TW_UINT16 image(TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF data);
  TW_UINT16 identity(TW_IDENTITY* origin, TW_UINT16 MSG, TW_IDENTITY* data);
  TW_UINT16 userInterface(TW_UINT16 MSG, TW_USERINTERFACE* ui);
  TW_UINT16 pendingTransfers(TW_UINT16 MSG, TW_PENDINGXFERS* pending);
  TW_UINT16 imageLayout(TW_UINT16 MSG, TW_IMAGELAYOUT* layout);
  TW_UINT16 memoryTransfer(TW_IMAGEMEMXFER* xfer);
  TW_UINT16 nativeTransfer(TW_HANDLE* handle);
  TW_UINT16 fail(TW_UINT16 cc);
  bool inState(int low, int high) const { return state_ >= low && state_ <= high; }
  TW_UINT16 fetchImage();  // condition code
  void releaseImage();
  std::size_t paddedRow() const;
  TW_UINT16 sendToApplication(TW_UINT16 msg);
  // The buffer sizes that a memory transfer takes now, as DAT_SETUPMEMXFER tells them.
  TW_SETUPMEMXFER memoryLimits() const;

  TW_IDENTITY identity_;
  CapabilityDatabase capabilities_;
  ScanUiFunctions ui_;
  DSMENTRYPROC manager_;
  EventPump pump_;
  Memory memory_;  // the manager's, once it gave its functions

  int state_ = 3;
  TW_UINT16 condition_ = TWCC_SUCCESS;
  bool hasApp_ = false;
  TW_IDENTITY app_{};
  void* dialog_ = nullptr;
  TW_HANDLE parent_ = nullptr;
  int feeder_ = 0;
  scanui::ScanData image_{};  // the current record; pixels only while held
  bool held_ = false;
  bool imageSeen_ = false;
  // Memory transfer progress; rowsPerStrip 0 before the first strip.
  std::uint32_t strip_ = 0, rowsPerStrip_ = 0, stripCount_ = 0, firstLength_ = 0;
};

}  // namespace twain
