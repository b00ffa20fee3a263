// The records that cross the boundary of the device libraries: byte-packed,
// little-endian, owned by the caller and valid only during the call. Records
// that hold a pointer are 8 bytes per pointer larger than on the 32-bit
// original; their users take sizeof, and the libraries read them field by
// field (never through a pointer to a packed member).
#pragma once

#include <cstddef>
#include <cstdint>

namespace devapi {

#pragma pack(push, 1)

struct ScanCondition {
  std::uint8_t unit;
  std::uint8_t auto_feeder;
  std::uint8_t roll_film;
  std::uint8_t endian;
  std::uint32_t x_start;  // mm
  std::uint32_t y_start;
  std::uint32_t width;
  std::uint32_t height;
  std::uint8_t pixel_bit_n;  // bits per pixel read from the sensor
  std::uint8_t mode;
  std::uint16_t pitch;  // um per pixel
  std::uint8_t film_sz_id;
  std::uint8_t od_min;
  std::uint8_t od_max;
  std::uint8_t out_bit_depth;
  std::uint32_t img_buff_sz;
  std::uint32_t pix_w;
  std::uint32_t pix_h;
  std::uint32_t film_w;
};

struct KtGOption {
  std::uint32_t ScanOption;  // bits 0-7 option byte, bits 16-31 photometric word
  std::uint32_t MechaSW;
  std::uint16_t HV;
  std::uint16_t od_Max;
  std::uint16_t SerialNumber;
  std::uint16_t scanner_condition;
  std::uint8_t reserved[16];
};

struct BlockScanParam {
  std::uint32_t buff_sz;  // bytes of all blocks
  std::uint16_t** buff_pp;
  std::uint16_t pix_w;
  std::uint16_t pix_h;  // lines per block
  std::uint8_t out_bit_depth;
  std::uint8_t pixel_bit_n;
  std::uint16_t block_size;  // number of blocks
  std::uint16_t calib_flag;
  std::uint16_t option1;
  std::uint16_t option2;
};

struct ReadBufferParam {
  std::uint16_t first;  // 0: the read cursor restarts
  std::uint8_t padding[2];
  std::uint32_t length;
  void* buffer;
};

struct ScanBufferParam {
  std::uint32_t size;
  void* buffer;
};

struct TableParam {
  std::uint16_t type;   // must be 2
  std::uint16_t count;  // 16-bit entries
  std::uint16_t* table;
};

struct DeviceNewParam {
  std::uint8_t adapter;
  std::uint8_t device_id;
  std::uint8_t padding1[2];
  std::int32_t timeout;  // seconds
  std::uint8_t status;   // out: 1 when opened
  std::uint8_t padding2[3];
  std::int32_t handle;  // out: -1, then 1 when opened
};

struct DeviceErrorInfo {
  std::uint16_t error_class;  // 0 none, 9 code below 0x1000, 4 from 0x1000
  std::uint16_t code;
  std::uint32_t device_error;
  std::uint32_t result_code;
  std::uint32_t result_category;
};

// The text is cut to fit the room; it always ends with a NUL.
inline constexpr std::size_t kErrorTextRoom = 80;
struct DeviceErrorString {
  std::uint16_t code;
  char text[kErrorTextRoom];
};

struct DeviceLogBuffer {
  std::uint32_t buff_sz;  // bytes, must exceed 1
  char* buff_p;
  std::uint32_t log_sz;  // out
};

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

struct ScannerMatchInfo {
  std::uint32_t count;  // 1 when connected
  std::uint32_t zero;
  std::uint8_t reserved1[6];
  std::uint8_t device_id;  // 5 when connected
  std::uint8_t reserved2;
};

inline constexpr std::size_t kAdapterNameSlot = 17;
struct AdapterInfo {
  std::uint32_t adapters;
  std::uint32_t zero;
  std::uint8_t reserved1[6];
  std::uint8_t host_id;
  std::uint8_t reserved2[9];
  char adapter_name[kAdapterNameSlot];
  std::uint8_t reserved3[155];
};

struct DeviceInfo {
  std::uint32_t field0;  // 1
  std::uint32_t field4;  // 0
  std::uint8_t reserved1[16];
  std::uint32_t field24;  // 5
  std::uint8_t reserved2[16];
  std::uint32_t field44;  // 0
  std::uint8_t reserved3[16];
  std::uint32_t field64;  // 6
  std::uint8_t reserved4[16];
  char vendor[8];
  std::uint8_t reserved5[172];
  char product[16];
  std::uint8_t reserved6[324];
  char revision[4];
  std::uint8_t reserved7[96];
};

// One byte per capability, laid out as the scanner's inquiry data.
struct FunctionInfo {
  std::uint8_t version[3];
  std::uint8_t response_format;
  std::uint8_t flag4;
  std::uint8_t flags5_10[6];
  char vendor[8];
  char vendor_end;
  char product[16];
  char product_end;
  char revision[4];
  std::uint8_t byte41;
  std::uint8_t bits42_62[21];
  std::uint8_t bytes63_66[4];
  std::uint8_t padding67;
  std::uint16_t value68;
  std::uint16_t value70;
  std::uint16_t value72;
  std::uint8_t bits74_87[14];
};

struct FilmSizeInfo {
  std::uint8_t film_sz_id;  // in
  std::uint8_t sub_id;
  std::uint8_t padding[2];
  std::uint32_t width;  // mm
  std::uint32_t height;
};

struct FilmSizeScope {
  std::uint8_t film_sz_id;  // in
  std::uint8_t padding[3];
  std::uint32_t min_width;
  std::uint32_t min_height;
  std::uint32_t max_width;
  std::uint32_t max_height;
};

struct FuncLimitationInfo {
  std::int32_t flags[10];  // 1 = the function is available
};

#pragma pack(pop)

static_assert(sizeof(ScanCondition) == 44);
static_assert(offsetof(ScanCondition, unit) == 0 && offsetof(ScanCondition, auto_feeder) == 1 &&
              offsetof(ScanCondition, roll_film) == 2 && offsetof(ScanCondition, endian) == 3 &&
              offsetof(ScanCondition, x_start) == 4 && offsetof(ScanCondition, y_start) == 8 &&
              offsetof(ScanCondition, width) == 12 && offsetof(ScanCondition, height) == 16 &&
              offsetof(ScanCondition, pixel_bit_n) == 20 && offsetof(ScanCondition, mode) == 21 &&
              offsetof(ScanCondition, pitch) == 22 && offsetof(ScanCondition, film_sz_id) == 24 &&
              offsetof(ScanCondition, od_min) == 25 && offsetof(ScanCondition, od_max) == 26 &&
              offsetof(ScanCondition, out_bit_depth) == 27 &&
              offsetof(ScanCondition, img_buff_sz) == 28 && offsetof(ScanCondition, pix_w) == 32 &&
              offsetof(ScanCondition, pix_h) == 36 && offsetof(ScanCondition, film_w) == 40);

static_assert(sizeof(KtGOption) == 32);
static_assert(offsetof(KtGOption, ScanOption) == 0 && offsetof(KtGOption, MechaSW) == 4 &&
              offsetof(KtGOption, HV) == 8 && offsetof(KtGOption, od_Max) == 10 &&
              offsetof(KtGOption, SerialNumber) == 12 &&
              offsetof(KtGOption, scanner_condition) == 14 && offsetof(KtGOption, reserved) == 16);

static_assert(sizeof(DeviceNewParam) == 16);
static_assert(offsetof(DeviceNewParam, adapter) == 0 && offsetof(DeviceNewParam, device_id) == 1 &&
              offsetof(DeviceNewParam, timeout) == 4 && offsetof(DeviceNewParam, status) == 8 &&
              offsetof(DeviceNewParam, handle) == 12);

static_assert(sizeof(DeviceErrorInfo) == 16);
static_assert(offsetof(DeviceErrorInfo, error_class) == 0 && offsetof(DeviceErrorInfo, code) == 2 &&
              offsetof(DeviceErrorInfo, device_error) == 4 &&
              offsetof(DeviceErrorInfo, result_code) == 8 &&
              offsetof(DeviceErrorInfo, result_category) == 12);

static_assert(sizeof(DeviceErrorString) == 2 + kErrorTextRoom);
static_assert(offsetof(DeviceErrorString, code) == 0 && offsetof(DeviceErrorString, text) == 2);

static_assert(sizeof(ScannerTypeInfo) == 100);
static_assert(offsetof(ScannerTypeInfo, body) == 0 && offsetof(ScannerTypeInfo, auto_feeder) == 1 &&
              offsetof(ScannerTypeInfo, roll_film) == 2 && offsetof(ScannerTypeInfo, special) == 3 &&
              offsetof(ScannerTypeInfo, vendor_id) == 4 &&
              offsetof(ScannerTypeInfo, product_id) == 36 &&
              offsetof(ScannerTypeInfo, product_rev) == 68 &&
              offsetof(ScannerTypeInfo, board_name) == 76 &&
              offsetof(ScannerTypeInfo, hardware_rev) == 84 &&
              offsetof(ScannerTypeInfo, firm_rev) == 92);

static_assert(sizeof(ScannerMatchInfo) == 16);
static_assert(offsetof(ScannerMatchInfo, count) == 0 && offsetof(ScannerMatchInfo, zero) == 4 &&
              offsetof(ScannerMatchInfo, device_id) == 14);

static_assert(sizeof(AdapterInfo) == 196);
static_assert(offsetof(AdapterInfo, adapters) == 0 && offsetof(AdapterInfo, zero) == 4 &&
              offsetof(AdapterInfo, host_id) == 14 && offsetof(AdapterInfo, adapter_name) == 24);

static_assert(sizeof(DeviceInfo) == 704);
static_assert(offsetof(DeviceInfo, field0) == 0 && offsetof(DeviceInfo, field4) == 4 &&
              offsetof(DeviceInfo, field24) == 24 && offsetof(DeviceInfo, field44) == 44 &&
              offsetof(DeviceInfo, field64) == 64 && offsetof(DeviceInfo, vendor) == 84 &&
              offsetof(DeviceInfo, product) == 264 && offsetof(DeviceInfo, revision) == 604);

static_assert(sizeof(FunctionInfo) == 88);
static_assert(offsetof(FunctionInfo, response_format) == 3 && offsetof(FunctionInfo, flag4) == 4 &&
              offsetof(FunctionInfo, flags5_10) == 5 && offsetof(FunctionInfo, vendor) == 11 &&
              offsetof(FunctionInfo, vendor_end) == 19 && offsetof(FunctionInfo, product) == 20 &&
              offsetof(FunctionInfo, product_end) == 36 && offsetof(FunctionInfo, revision) == 37 &&
              offsetof(FunctionInfo, byte41) == 41 && offsetof(FunctionInfo, bits42_62) == 42 &&
              offsetof(FunctionInfo, bytes63_66) == 63 && offsetof(FunctionInfo, padding67) == 67 &&
              offsetof(FunctionInfo, value68) == 68 && offsetof(FunctionInfo, value70) == 70 &&
              offsetof(FunctionInfo, value72) == 72 && offsetof(FunctionInfo, bits74_87) == 74);

static_assert(sizeof(FilmSizeInfo) == 12);
static_assert(offsetof(FilmSizeInfo, film_sz_id) == 0 && offsetof(FilmSizeInfo, sub_id) == 1 &&
              offsetof(FilmSizeInfo, width) == 4 && offsetof(FilmSizeInfo, height) == 8);

static_assert(sizeof(FilmSizeScope) == 20);
static_assert(offsetof(FilmSizeScope, film_sz_id) == 0 && offsetof(FilmSizeScope, min_width) == 4 &&
              offsetof(FilmSizeScope, min_height) == 8 && offsetof(FilmSizeScope, max_width) == 12 &&
              offsetof(FilmSizeScope, max_height) == 16);

static_assert(sizeof(FuncLimitationInfo) == 40);

// Records with a pointer: the field order of the original, with 64-bit pointers.
static_assert(sizeof(BlockScanParam) == 22 + sizeof(void*) - 4);
static_assert(sizeof(ReadBufferParam) == 12 + sizeof(void*) - 4);
static_assert(sizeof(ScanBufferParam) == 8 + sizeof(void*) - 4);
static_assert(sizeof(TableParam) == 8 + sizeof(void*) - 4);
static_assert(sizeof(DeviceLogBuffer) == 12 + sizeof(void*) - 4);

}  // namespace devapi
