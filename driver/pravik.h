// The scanner driver: one object drives a film digitizer or a CR plate reader
// over USB. Every operation returns an OperationResult; nothing throws.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#define PRAVIK_API __attribute__((visibility("default")))

namespace platform::usb {
class Port;
}

// Result codes: the driver's own below 0x1000, the scanner's device codes from
// 0x1000 up (those arrive in status blocks and interrupts and are passed on as
// they came, so any 16-bit value may appear).
enum OPERATION_ERROR_CODE : std::uint32_t {
  PRAVIK_NO_ERROR = 0x000,
  PRAVIK_INTERRUPT_PIPE_FAILED = 0x101,
  PRAVIK_INTERRUPT_WAIT_FAILED = 0x102,
  PRAVIK_HOST_ERROR_NOT_SIGNALLED = 0x103,
  PRAVIK_STALL_NOT_RESET = 0x104,
  PRAVIK_INVALID_PARAMETER = 0x201,
  PRAVIK_ALREADY_STARTED = 0x202,
  PRAVIK_NOT_STARTED = 0x203,
  PRAVIK_NO_MATCHING_DEVICE = 0x204,
  PRAVIK_ALREADY_OPEN = 0x205,
  PRAVIK_NOT_OPEN = 0x206,
  PRAVIK_NOT_NOW = 0x207,
  PRAVIK_INTERNAL_ERROR = 0x208,
  PRAVIK_SYSTEM_CALL_FAILED = 0x209,
  PRAVIK_TRANSFER_FAILED = 0x20A,
  PRAVIK_INCOMPLETE_DATA = 0x20B,
  PRAVIK_COMPLETION_TIMED_OUT = 0x20C,
  PRAVIK_UNDEFINED_ERROR = 0x20D,
};

enum CALLBACK_MESSAGE : std::int32_t {
  EVENT_SYSTEM_FAILED = 0,
  EVENT_SYSTEM_FAILED_DEVICE_CLOSED = 1,
  INTERRUPT = 2,                     // data: InterruptInfo
  SCANNER_CONNECTED = 3,             // data: the 18-byte device descriptor
  SCANNER_SELECTION = 4,             // data: ScannerSelection
  SCANNER_ATTACH_CONFIRMATION = 5,   // data: one byte, set to 1 to attach
  SCAN_PARAMETERS_RETRIEVED = 6,     // data: ScanParameters
  MAINTENANCE_PARAMETERS_RETRIEVED = 7,  // data: MaintenanceParameters
  SCANNER_READY = 8,
  SCANNER_DISCONNECTED = 9,
};

enum COMMAND_TYPE : std::int32_t {
  TABLE_COMMAND = 0,
  RAW_READ = 1,
  RAW_WRITE = 2,
  RAW_READ_VARIABLE = 3,
  RAW_READ_WAIT = 4,
  RAW_WRITE_WAIT = 5,
  RAW_READ_VARIABLE_WAIT = 6,
};

// 1 to 7: the film sizes the scanner reports; 0 none or unknown.
enum FILM_SIZE_CODE : std::int32_t { FILM_SIZE_NONE = 0 };

// Records sent to and read from the scanner word by word; the driver gives the
// words no meaning of its own.
struct ScanParameters {
  std::uint16_t ScanPitch;  // micrometres
  std::uint16_t ScanStartAddressX;
  std::uint16_t ScanStartAddressY;
  std::uint16_t ScanXSize;
  std::uint16_t ScanYSize;
  std::uint16_t ImageDataFormat;
  std::uint16_t FilmXSize;  // mm
  std::uint16_t FilmYSize;  // mm
  std::uint16_t AFMode;
  std::uint16_t NumberOfLUT;
  std::uint16_t Option1;
  std::uint16_t Option2;
  std::uint16_t Option3;
  std::uint16_t Option4;
  std::uint16_t Option5;
};
struct MaintenanceParameters {
  std::uint16_t words[15];
};
struct CalibrationParameters {
  std::uint16_t words[2];
};
struct FilmSetParameters {
  std::uint16_t words[2];
};
struct FilmStatus {
  std::uint16_t words[23];
};
struct DiagnosticReport {
  std::uint16_t words[23];
};
// Words 3 and 4 of the film status, in that order.
struct ScanSize {
  std::uint16_t words[2];
};
static_assert(sizeof(ScanParameters) == 30 && sizeof(MaintenanceParameters) == 30);
static_assert(sizeof(CalibrationParameters) == 4 && sizeof(FilmSetParameters) == 4);
static_assert(sizeof(FilmStatus) == 46 && sizeof(DiagnosticReport) == 46 && sizeof(ScanSize) == 4);

// The scanner's state as the driver last knew it.
struct SenseInfo {
  bool digitizerReady = false;
  bool filmAvailable = false;
  bool afSwitchOn = false;
  bool filmSet = false;
  bool filmReset = false;
  bool filmMoving = false;
  bool commandCompleted = false;
  bool calibrationDone = false;
  bool digitizerInitialized = false;
  bool scannerError = false;
  std::int32_t statusNibble = 0;  // bits 11 to 14 of the status word
  std::uint32_t errorCode = 0;    // a 16-bit device code
  std::string errorText;          // at most 28 characters
};

// One interrupt packet, decoded against the one before it.
struct InterruptInfo {
  bool digitizerReady = false;
  bool digitizerNotReady = false;
  bool filmAvailable = false;
  bool filmNotAvailable = false;
  bool afSwitchOn = false;
  bool afSwitchOff = false;
  bool filmSet = false;
  bool filmReset = false;
  bool filmMoving = false;
  bool filmMovementCompleted = false;
  bool genericCommandCompleted = false;
  bool calibrationDone = false;
  bool digitizerInitialized = false;
  bool scannerError = false;
  bool errorCleared = false;
  std::uint16_t statusWord = 0;
  std::uint16_t errorCode = 0;
  std::string errorText;  // 28 characters
};

struct ScannerSelection {
  std::int32_t scannersFound = 0;  // in
  std::int32_t chosenScanner = 0;  // out, 1-based
};

// category: 0 success, 1 unrecoverable USB error (the scanner was closed and
// message 9 sent), 2 asynchronous device error, 3 synchronous device error,
// 4 any other failure.
struct OperationResult {
  OPERATION_ERROR_CODE code = PRAVIK_NO_ERROR;
  std::int32_t category = 0;
};

// Data is valid only during the call.
using MessageCallback = void (*)(CALLBACK_MESSAGE message, void* data, void* context);
// Once per filled block of a scan with the count so far (1, 2, ...), on a worker
// thread; every call has been made when the scan member returns.
using BlockReadCallback = void (*)(std::int32_t blocksDone, void* context);

class PRAVIK_API Pravik {
 public:
  static constexpr int LENGTH_OF_COMMAND = 6;
  static constexpr int SET_SCAN_INITIALIZE_DATA_LENGTH = 14;
  static constexpr int SET_SCAN_PARAMETERS_DATA_LENGTH = 30;
  static constexpr int READ_SCAN_PARAMETERS_DATA_LENGTH = 30;
  static constexpr int SET_SCAN_MAINTENANCE_PARAMETERS_DATA_LENGTH = 30;
  static constexpr int READ_SCAN_MAINTENANCE_PARAMETERS_DATA_LENGTH = 30;
  static constexpr int SET_SCAN_CALIBRATION_DATA_LENGTH = 4;
  static constexpr int SET_SCAN_FILM_SET_DATA_LENGTH = 4;
  static constexpr int READ_SCAN_FILM_STATUS_DATA_LENGTH = 46;
  static constexpr int DIGNOSTIC_REPORT_DATA_LENGTH = 46;
  static constexpr int SENSE_INFO_DATA_LENGTH = 32;
  static constexpr int DIGITIZER_READY_WAIT = 10;    // seconds
  static constexpr int ASYNCHRONOUS_ERROR_WAIT = 1;  // seconds
  static constexpr int COMMAND_TIMEOUT_SLOTS = 24;

  // Takes the USB port that NDT_USB selects.
  Pravik();
  // Drives scanners on the given port (tests hand in a simulated bus).
  explicit Pravik(std::shared_ptr<platform::usb::Port> port);
  ~Pravik();
  // One object owns the device handle and the interrupt thread.
  Pravik(const Pravik&) = delete;
  Pravik& operator=(const Pravik&) = delete;

  // Opens and initialises the scanner on the calling thread ({516, 0} when none
  // is attached: it is opened when it arrives), then follows arrival, removal,
  // standby and resume on a monitor thread of its own until Stop.
  //
  // The callback contract: messages arrive on the calling thread (during Start),
  // on the monitor thread (arrival, removal, resume) and on the interrupt thread
  // (0, 1, 2); a callback must return promptly and must not call members of this
  // object, which may hold the driver lock while it calls.
  OperationResult Start(MessageCallback callback, void* context);
  // Ends the monitor thread (in bounded time, also during an arrival's open) and
  // closes the scanner.
  OperationResult Stop();
  // The open without a monitor: no hot-plug, no standby handling.
  OperationResult OpenAndInitializeScanner(MessageCallback callback, void* context);
  OperationResult CloseOpenedScanner();

  OperationResult SetScanParameters(const ScanParameters& parameters);
  OperationResult ReadScanParameters(ScanParameters& parameters);
  OperationResult LoadFilm(const FilmSetParameters& parameters, FILM_SIZE_CODE& sizeCode,
                           ScanSize& scanSize);
  OperationResult Calibrate(const CalibrationParameters& parameters);
  // The buffer receives the 2-byte prefix, the 14-byte scan header and the image:
  // it must hold imageBytes + 16 bytes.
  OperationResult ScanAndReadFilm(const ScanParameters& parameters,
                                  const CalibrationParameters& calibration, std::uint16_t* buffer,
                                  std::int32_t imageBytes, bool parametersSet, bool calibrated,
                                  std::int32_t blockSize, BlockReadCallback callback,
                                  void* context);
  // The buffer receives the image only.
  OperationResult ScanAndReadFilmWithoutHeader(const ScanParameters& parameters,
                                               const CalibrationParameters& calibration,
                                               std::uint16_t* buffer, std::int32_t imageBytes,
                                               bool parametersSet, bool calibrated,
                                               std::int32_t blockSize, BlockReadCallback callback,
                                               void* context);
  // blockCount blocks of blockSize bytes each.
  OperationResult ScanAndReadFilmWithoutHeaderMultiBlock(
      const ScanParameters& parameters, const CalibrationParameters& calibration,
      std::uint16_t* hostHeader, std::int32_t hostHeaderBytes, std::uint16_t** blocks,
      std::int32_t blockSize, std::int32_t blockCount, bool parametersSet, bool calibrated,
      BlockReadCallback callback, void* context);
  OperationResult ReadFilmStatus(FilmStatus& status);
  OperationResult ResetFilm();
  OperationResult MoveFilm(std::uint16_t value);
  OperationResult ResetError();
  OperationResult ResetScanner();
  OperationResult SetScanLut(const std::uint16_t* table, std::int32_t bytes);
  OperationResult ReadScanLut(std::uint16_t* buffer, std::int32_t bytes, std::int32_t& received);
  OperationResult SetScanMaintenanceParameters(const MaintenanceParameters& parameters);
  OperationResult ReadScanMaintenanceParameters(MaintenanceParameters& parameters);
  OperationResult SetScanProgram(const std::uint16_t* data, std::int32_t bytes);
  OperationResult ReadScanProgram(std::uint16_t* buffer, std::int32_t bytes,
                                  std::int32_t& received);
  OperationResult SetScanEeprom(const std::uint16_t* data, std::int32_t bytes);
  OperationResult ReadScanEeprom(std::uint16_t* buffer, std::int32_t bytes,
                                 std::int32_t& received);
  OperationResult SetDeviceProgram(const std::uint16_t* data, std::int32_t bytes);
  OperationResult ReadLogFile(std::uint16_t* buffer, std::int32_t bytes, std::int32_t& received);
  OperationResult SetDeviceEeprom(const std::uint16_t* data, std::int32_t bytes);
  OperationResult ReadDeviceEeprom(std::uint16_t* buffer, std::int32_t bytes,
                                   std::int32_t& received);
  OperationResult Diagnose(DiagnosticReport& report);
  OperationResult RequestSense(SenseInfo& sense);
  // One command: a table row (TABLE_COMMAND) or a raw code. bytes -1 takes the
  // row's length. Without stripPrefix a read lands whole in data, the scanner's
  // 2-byte prefix first (so data holds bytes + 2); with it data gets the payload.
  OperationResult OperateScanner(std::int32_t command, std::uint16_t* data, std::int32_t bytes,
                                 std::int32_t timeoutSeconds, std::int32_t& received,
                                 COMMAND_TYPE type, bool stripPrefix);

  static const char* GetErrorMessage(OPERATION_ERROR_CODE code);
  // The 24 command time-outs in seconds, in slot order.
  void SetCommandTimeouts(const std::array<std::uint32_t, COMMAND_TIMEOUT_SLOTS>& seconds);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
