// Quorin2, the CR acquisition engine: fifteen plain exports over one engine
// object, the records that cross the boundary, the notifications posted to the
// host's window and the engine's error codes.
#pragma once

#include <cstdint>

extern "C" {

// All records are owned by the caller and byte-packed in field order.
#pragma pack(push, 1)

// Argument of QuorinSetScanPara; the engine writes the fitted length back into height_mm.
struct set_scan_para {
  std::int32_t width_mm;            // 1 to 364
  std::int32_t height_mm;           // 1 to 5000; on return the fitted length
  std::int32_t pitch_um;            // 1 to 255
  std::int32_t scan_mode;           // 1 High speed, 2 Standard, 3 Fine
  std::int32_t erase_mode;          // 0 to 3
  std::int32_t sensitivity;         // passed to the reader as HV
  std::int32_t image_photometrics;  // 0 12 bits, 1 12 inverted, 2 14, 3 14 inverted, 4 16 inverted, else 16
};

// Filled by QuorinGetScanPara.
struct get_scan_para {
  std::int32_t width;        // pixels per line
  std::int32_t height;       // lines of the whole image (blk_pix_h * blk_n)
  std::int32_t depth;        // 12, 14 or 16 significant bits
  std::int32_t blk_buff_sz;  // bytes of one block
  std::int32_t blk_pix_w;    // pixels per block line (= width)
  std::int32_t blk_pix_h;    // lines per block
  std::int32_t blk_n;        // number of blocks
  std::int32_t SerialNumber;
};

// Argument of QuorinSetMiniscreenInfo. Both preview buffers stay the host's and
// must live until the next QuorinSetMiniscreenInfo or QuorinScannerFinish.
struct miniscreen_info {
  std::uint16_t* pRescaledImage;  // nRescanedWidth x nRescaledHeight 16-bit pixels
  std::uint8_t* pBitsImage;       // the same size in bytes
  std::int32_t nRescanedWidth;    // (spelt so)
  std::int32_t nRescaledHeight;
  const char* szRawFilePath;      // at most 259 characters
};

// Filled by QuorinGetScanningStatus.
struct scan_status {
  std::int32_t MiniLine;  // preview rows filled so far
  std::int32_t ScanLine;  // image lines processed so far
  std::int32_t Block;     // index of the last processed block
  std::int32_t info;      // 0 before the first scan, 1 scanning, 2 all blocks in, 4 error
};

// Filled by QuorinGetBuffer; the blocks are the engine's until the next scan or finish.
struct buffer_info {
  std::int32_t blk_buff_sz;
  std::uint16_t** blk_table;
  std::int32_t blk_n;
};

#pragma pack(pop)

// WM_COMMAND ids posted to the host window (command id in wParam, value in lParam).
enum : std::uint32_t {
  IDM_ACQUIRE_STARTED = 32772,
  IDM_ACQUIRE_REFRESH = 32773,       // lParam MiniLine
  IDM_ACQUIRE_COMPLETE = 32775,      // lParam MiniLine
  IDM_ACQUIRE_COMPLETE_ALL = 32776,  // lParam MiniLine
  IDM_ACQUIRE_ERROR = 32779,
};

// Engine error codes (QuorinGetErrorInformation).
enum : std::uint32_t {
  QUORIN_ERR_NOT_INITIALIZED = 0x10006001,
  QUORIN_ERR_ALREADY_INITIALIZED = 0x10006002,
  QUORIN_ERR_DLL_LOAD = 0x10006011,
  QUORIN_ERR_DLL_UNLOAD = 0x10006012,
  QUORIN_ERR_SCANNER_INIT = 0x10006021,
  QUORIN_ERR_SCANNER_NOT_CONNECT = 0x10006022,
  QUORIN_ERR_BEGIN_THREAD = 0x10006031,
  QUORIN_ERR_STOP_THREAD = 0x10006032,
  QUORIN_ERR_DISCONNECT = 0x10006041,
  QUORIN_ERR_CONDITION_UNEXPECTED = 0x10006051,
  QUORIN_ERR_GETCONDITION_IN_SET = 0x10006052,
  QUORIN_ERR_BLOCKED_SETCONDITION = 0x10006061,
  QUORIN_ERR_BLOCKED_SCAN = 0x10006062,
  QUORIN_ERR_BLOCKED_ERASE = 0x10006063,
  QUORIN_ERR_BLOCKED_EJECT = 0x10006064,
  QUORIN_ERR_MINISCREEN = 0x10006071,
  QUORIN_ERR_MEMORY = 0x10006072,
  QUORIN_ERR_PARAMETER = 0x10006081,
  QUORIN_ERR_FILE_ACCESS = 0x10006082,
  QUORIN_ERR_ACTION_FAILED = 0x100060FF,
};

#define QUORIN_EXPORT __attribute__((visibility("default")))

// The window is a platform::WindowHandle of the host's message target.
QUORIN_EXPORT int QuorinScannerInintialize(std::uintptr_t window);
QUORIN_EXPORT int QuorinScannerFinish();
QUORIN_EXPORT int QuorinSetMiniscreenInfo(miniscreen_info* info);
QUORIN_EXPORT int QuorinSetScanPara(set_scan_para* para);
QUORIN_EXPORT int QuorinGetScanPara(get_scan_para* para);
QUORIN_EXPORT int QuorinScan();
QUORIN_EXPORT int QuorinGetScanningStatus(scan_status* status);
QUORIN_EXPORT int QuorinErase();
QUORIN_EXPORT int QuorinEject();
QUORIN_EXPORT int QuorinErrorReset();
// text must hold 512 bytes.
QUORIN_EXPORT int QuorinGetErrorInformation(int* code, char* text);
QUORIN_EXPORT int QuorinGetDeviceLogInfo(char* buffer, int bufferSize, int* logSize);
QUORIN_EXPORT int QuorinGetBusyFlag(int* busy);
QUORIN_EXPORT int QuorinGetBuffer(buffer_info* info);
QUORIN_EXPORT int QuorinGetIPSetFlag(int* flag);

}  // extern "C"
