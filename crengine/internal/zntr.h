// The CR device API as the engine binds it: the byte-packed records its
// functions take and their signatures. Kept in this one file so it can give
// way to the device library's own header.
#pragma once

#include <cstddef>
#include <cstdint>

namespace crengine::zntr {

#pragma pack(push, 1)

struct ScanCondition {
  std::uint8_t unit;
  std::uint8_t auto_feeder;
  std::uint8_t roll_film;
  std::uint8_t endian;
  std::uint32_t x_start;
  std::uint32_t y_start;
  std::uint32_t width;   // mm
  std::uint32_t height;  // mm
  std::uint8_t pixel_bit_n;
  std::uint8_t mode;
  std::uint16_t pitch;  // um
  std::uint8_t film_sz_id;
  std::uint8_t od_min;
  std::uint8_t od_max;
  std::uint8_t out_bit_depth;
  std::uint32_t img_buff_sz;
  std::uint32_t pix_w;
  std::uint32_t pix_h;
  std::uint32_t film_w;
};
static_assert(sizeof(ScanCondition) == 44);
static_assert(offsetof(ScanCondition, pitch) == 22);
static_assert(offsetof(ScanCondition, img_buff_sz) == 28);

struct KtGOption {
  std::uint32_t ScanOption;  // bits 0-7 erase option, bits 16-31 photometric word
  std::uint32_t MechaSW;
  std::uint16_t HV;
  std::uint16_t od_Max;
  std::uint16_t SerialNumber;
  std::uint16_t scanner_condition;
  std::uint8_t reserved[16];
};
static_assert(sizeof(KtGOption) == 32);

// Holds a pointer: 8 bytes per pointer larger than the 32-bit layout.
struct BlockScanParam {
  std::uint32_t buff_sz;     // bytes of all blocks
  std::uint16_t** buff_pp;   // block_size pointers to the blocks
  std::uint16_t pix_w;
  std::uint16_t pix_h;       // lines per block
  std::uint8_t out_bit_depth;
  std::uint8_t pixel_bit_n;
  std::uint16_t block_size;  // number of blocks
  std::uint16_t calib_flag;
  std::uint16_t option1;
  std::uint16_t option2;
};
static_assert(sizeof(BlockScanParam) == 22 + sizeof(void*) - 4);

struct DeviceNewParam {
  std::uint8_t adapter;
  std::uint8_t device;
  std::uint8_t pad0[2];
  std::int32_t timeout_sec;
  std::uint8_t status;
  std::uint8_t pad1[3];
  std::int32_t handle;
};
static_assert(sizeof(DeviceNewParam) == 16);

struct ScannerTypeInfo {
  std::uint8_t body;
  std::uint8_t auto_feeder;
  std::uint8_t roll_film;
  std::uint8_t special;
  char vendor_id[32];
  char product_id[32];
  char product_rev[8];
  char board_name[8];
  char hardware_rev[8];
  char firm_rev[8];
};
static_assert(sizeof(ScannerTypeInfo) == 100);

// The device writes its text without being told the room; the engine reports
// 79 characters but leaves far more room so a longer text cannot overrun.
inline constexpr std::size_t kErrorTextRoom = 1024;
struct DeviceErrorString {
  std::uint16_t code;
  char text[kErrorTextRoom];
};

struct DeviceLogBuffer {
  std::uint32_t buff_sz;
  char* buff_p;
  std::uint32_t log_sz;
};

#pragma pack(pop)

using Handle = std::int32_t;

using NewFn = int (*)(DeviceNewParam*);
using DeleteFn = int (*)(Handle);
using SetConditionFn = int (*)(Handle, ScanCondition*);
using GetConditionFn = int (*)(Handle, ScanCondition*);
using ScanMFn = int (*)(Handle, BlockScanParam*);
using GetScanStatusMFn = int (*)(Handle, std::int32_t*);
using EraseFn = int (*)(Handle);
using EjectFilmFn = int (*)(Handle);
using GetErrorStringFn = int (*)(DeviceErrorString*);
using ClearHardErrorFn = int (*)(Handle);
using GetLogFn = int (*)(Handle, DeviceLogBuffer*);
using SetOptionFn = int (*)(Handle, KtGOption*);
using GetOptionFn = int (*)(Handle, KtGOption*);
using GetScannerTypeFn = int (*)(Handle, ScannerTypeInfo*);
using EightLineFn = int (*)(Handle, BlockScanParam*);

}  // namespace crengine::zntr
