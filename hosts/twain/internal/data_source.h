// The data source's state machine (states 3 to 7): every triplet DS_Entry
// receives, the two callbacks the film-scan UI calls, the identity, and the
// image transfers. It knows the film-scan UI only through a table of functions,
// so it runs in tests without the UI library.
#pragma once

#include "hosts/twain/internal/capability_db.h"
#include "hosts/twain/twain.h"
#include "platform/messages.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace twain {

// The film-scan UI's exports that the source calls, bound by name from the UI
// library. GetScanData and ReleaseScanData are not in the table yet: they carry
// the UI's image record, whose header the UI library brings; until it is bound,
// images reach the source through ImageSource below.
struct ScanUiFunctions {
  using DSProc = int (*)();
  void (*SetDSProcAddress)(DSProc transferReady, DSProc closeRequest) = nullptr;
  int (*IsThereAnyDigitizerAvailable)(int) = nullptr;
  int (*IsDigitizerAvailable)(int) = nullptr;
  int (*InitUI)(int) = nullptr;
  platform::WindowHandle (*ShowUI)(platform::WindowHandle parent, const char* captionSuffix) = nullptr;
  int (*HideUI)(int) = nullptr;
  void (*TermUI)(int) = nullptr;
  int (*GetAutofeederCount)() = nullptr;
  int (*ResetAutofeederCount)() = nullptr;
  int (*CeaseScan)() = nullptr;
};

// The current image as the source uses it: the fields it reads from the UI's
// image record. Pixels: height rows from the top, each width samples, two-byte
// samples little-endian.
struct SourceImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  const std::uint8_t* pixels = nullptr;
  std::uint8_t bytesPerPixel = 1;
  std::uint8_t bitsStored = 8;
  std::uint16_t pitchUm = 0;
  std::int32_t leftMm = 0, topMm = 0, widthMm = 0, heightMm = 0;
};

// Fetches and releases the current image (GetScanData and ReleaseScanData once bound).
class ImageSource {
 public:
  virtual ~ImageSource() = default;
  // Fills image; false when the UI has none.
  virtual bool fetch(SourceImage& image) = 0;
  virtual void release(SourceImage& image) = 0;
};

// The ini values the identity is built from ("Selvane.ini", section "DS Identity").
TW_IDENTITY sourceIdentityFrom(const std::filesystem::path& ini);

class DataSource {
 public:
  // Events for a dialog that runs in this process: true when the dialog took it.
  using EventPump = bool (*)(void* event);

  DataSource(TW_IDENTITY identity, std::filesystem::path capabilityFile, ScanUiFunctions ui, ImageSource& images,
             DSMENTRYPROC manager, EventPump pump = nullptr);

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

  TW_IDENTITY identity_;
  CapabilityDatabase capabilities_;
  ScanUiFunctions ui_;
  ImageSource& images_;
  DSMENTRYPROC manager_;
  EventPump pump_;

  int state_ = 3;
  TW_UINT16 condition_ = TWCC_SUCCESS;
  bool hasApp_ = false;
  TW_IDENTITY app_{};
  platform::WindowHandle dialog_ = 0;
  TW_HANDLE parent_ = nullptr;
  int feeder_ = 0;
  SourceImage image_;  // the current record; pixels only while held
  bool held_ = false;
  bool imageSeen_ = false;
  // Memory transfer progress; rowsPerStrip 0 before the first strip.
  std::uint32_t strip_ = 0, rowsPerStrip_ = 0, stripCount_ = 0, firstLength_ = 0;
};

}  // namespace twain
