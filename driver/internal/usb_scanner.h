// The transport: finds the scanner on the USB port, moves command blocks, data
// and status blocks over the bulk pipes, reads interrupt packets, sends the
// vendor requests and recovers stalled pipes. Results are internal statuses.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "driver/internal/status.h"
#include "driver/pravik.h"
#include "platform/usb.h"

namespace pravik {

// The driver's view of its callback towards the layer above.
using LayerCallback = void (*)(CALLBACK_MESSAGE message, void* data, void* context);

// What one command needs from the transport.
struct Transfer {
  const std::uint8_t* command = nullptr;  // command block (+ host header, + prefix and payload)
  std::size_t commandBytes = 0;
  bool read = false;
  std::uint16_t commandWord = 0;
  std::uint8_t* readBuffer = nullptr;  // one buffer ...
  std::uint16_t** blocks = nullptr;    // ... or a list of blocks of blockSize bytes
  std::int64_t dataLength = 0;         // bytes of the data phase (read commands)
  std::uint32_t timeoutMs = 0;
  bool shortReadOk = false;
  std::int64_t blockSize = 0;
  BlockReadCallback progress = nullptr;
  void* progressContext = nullptr;
};

struct TransferOutcome {
  Status status = Status::Done;
  std::uint16_t deviceCode = 0;
  std::int64_t received = 0;
};

class UsbScanner {
 public:
  static constexpr std::size_t kInterruptPacketBytes = 32;
  static constexpr std::size_t kInterruptBufferBytes = 2048;
  static constexpr std::size_t kMaxDevices = 127;

  explicit UsbScanner(std::shared_ptr<platform::usb::Port> port);
  ~UsbScanner();
  UsbScanner(const UsbScanner&) = delete;
  UsbScanner& operator=(const UsbScanner&) = delete;

  // storedPath is updated with the path of the device taken.
  Status OpenUsbScanner(std::string& storedPath, LayerCallback callback, void* context);
  Status CloseUsbScanner();
  bool isOpen() const { return device_ != nullptr; }

  TransferOutcome SendReceiveScanner(const Transfer& transfer);

  // Reads one interrupt packet into buffer (kInterruptBufferBytes); signals
  // readPosted() just before it waits.
  Status ReadScannerInterrupt(std::uint8_t* buffer);
  void cancelInterruptRead();
  bool waitReadPosted(std::uint32_t timeoutMs);

  bool SendApplicationReadyRequest();
  Status SendHostError();

  std::atomic<bool> disconnected{false};
  std::atomic<bool> cancelling{false};
  // Set while the machine goes to standby: operations are refused and a failing
  // interrupt read is retried quietly.
  std::atomic<bool> standby{false};

 private:
  enum class Pipe { Read, Write };
  // The bytes of a packet that a piece of the data phase took but did not use.
  struct PacketCarry {
    std::vector<std::uint8_t> bytes;
    std::size_t pos = 0;
    bool endsTransfer = false;  // the packet was short: the data phase ends with it
    std::size_t left() const { return bytes.size() - pos; }
  };
  Status ReadPiece(std::uint8_t* to, std::size_t ask, std::size_t phaseLeft, std::uint32_t timeoutMs,
                   std::size_t& got, bool shortReadOk, PacketCarry& carry);
  Status shortReadFailed();
  Status ReadScanner(void* buffer, std::size_t bytes, std::uint32_t timeoutMs,
                     std::size_t& done, bool shortReadOk);
  Status WriteScanner(const void* buffer, std::size_t bytes, std::uint32_t timeoutMs);
  Status CheckStatus(std::uint16_t commandWord, std::uint32_t timeoutMs, std::uint16_t& code);
  Status CheckStallAndSendClearFeature(Pipe pipe);
  Status recoverFailedTransfer(Pipe pipe, bool shortRead);
  bool CheckPipeConfiguration(platform::usb::Device& device);
  bool vendorRequest(std::uint8_t request);

  std::shared_ptr<platform::usb::Port> port_;
  std::unique_ptr<platform::usb::Device> device_;
  std::uint8_t bulkOut_ = 0, interruptIn_ = 0, bulkIn_ = 0;
  std::uint32_t interruptPacketSize_ = 0;
  std::uint16_t bulkInPacketSize_ = 0;

  std::mutex postedMutex_;
  std::condition_variable postedCv_;
  bool posted_ = false;
};

}  // namespace pravik
