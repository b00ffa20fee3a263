#include "driver/internal/usb_scanner.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <strings.h>
#include <vector>

#include "driver/internal/trace.h"
#include "platform/clock.h"

namespace pravik {
namespace usb = platform::usb;

namespace {

constexpr const char* kSource = "UsbScanner";
constexpr std::uint8_t kVendorOut = 0x40;
constexpr std::uint8_t kVendorIn = 0xC0;
constexpr std::uint8_t kHostErrorRequest = 13;
constexpr std::uint8_t kInitialiseRequest = 14;
constexpr std::uint8_t kStallCheckRequest = 15;
constexpr std::uint8_t kApplicationRequest = 16;
constexpr std::uint16_t kStallIndexRead = 6;
constexpr std::uint16_t kStallIndexWrite = 2;
constexpr std::uint32_t kControlTimeoutMs = 5000;
constexpr std::int64_t kMaxPiece = 0x800000;  // 8 MiB
// After a lost status block the pipe is drained, but never for ever: a device
// that keeps talking must not hold the command.
constexpr std::size_t kDrainLimitBytes = 1 << 20;
constexpr std::uint32_t kDrainLimitMs = 5000;
constexpr std::uint32_t kDrainReadMs = 1000;
constexpr std::uint16_t kProducts[] = {16, 17, 18, 19};

std::uint32_t atLeastOneMs(std::uint32_t ms) { return ms == 0 ? 1 : ms; }

struct PipeLayout {
  std::uint8_t bulkOut = 0, interruptIn = 0, bulkIn = 0;
  std::uint16_t interruptPacket = 0, bulkInPacket = 0;
};

// Bulk-OUT, interrupt-IN, bulk-IN in descriptor order; a packet size of 0 would
// make every read and drain of that pipe meaningless.
bool readPipeLayout(usb::Device& device, PipeLayout& layout) {
  const auto pipes = device.pipes();
  if (pipes.size() < 3) return false;
  const auto& out = pipes[0];
  const auto& irq = pipes[1];
  const auto& in = pipes[2];
  if (out.type != usb::PipeType::Bulk || (out.endpointAddress & 0x80) != 0) return false;
  if (irq.type != usb::PipeType::Interrupt || (irq.endpointAddress & 0x80) == 0) return false;
  if (in.type != usb::PipeType::Bulk || (in.endpointAddress & 0x80) == 0) return false;
  if (out.maxPacketSize == 0 || irq.maxPacketSize == 0 || in.maxPacketSize == 0) return false;
  layout = {out.endpointAddress, irq.endpointAddress, in.endpointAddress, irq.maxPacketSize,
            in.maxPacketSize};
  return true;
}

// Progress calls of one command, made in order on one worker so that the reading
// thread never waits for the client; finish() returns when the last call is done.
class ProgressWorker {
 public:
  ProgressWorker(BlockReadCallback callback, void* context) : callback_(callback), context_(context) {}
  ~ProgressWorker() { finish(); }
  ProgressWorker(const ProgressWorker&) = delete;
  ProgressWorker& operator=(const ProgressWorker&) = delete;

  void blockFilled() {
    if (!callback_) return;
    if (!started_) {
      started_ = true;
      try {
        thread_ = std::thread([this] { run(); });
      } catch (...) {
        inline_ = true;  // no worker: call on the reading thread rather than lose the calls
      }
    }
    if (inline_) {
      callback_(++done_, context_);
      return;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++pending_;
    }
    cv_.notify_one();
  }

  void finish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ending_ = true;
    }
    cv_.notify_one();
    if (thread_.joinable()) thread_.join();
  }

 private:
  void run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      cv_.wait(lock, [this] { return pending_ > 0 || ending_; });
      if (pending_ == 0) return;
      --pending_;
      const std::int32_t count = ++done_;
      lock.unlock();
      callback_(count, context_);
      lock.lock();
    }
  }

  BlockReadCallback callback_;
  void* context_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::thread thread_;
  bool started_ = false;
  bool inline_ = false;
  bool ending_ = false;
  std::int64_t pending_ = 0;
  std::int32_t done_ = 0;
};

}  // namespace

UsbScanner::UsbScanner(std::shared_ptr<usb::Port> port) : port_(std::move(port)) {}

UsbScanner::~UsbScanner() = default;

Status UsbScanner::OpenUsbScanner(std::string& storedPath, LayerCallback callback, void* context) {
  static constexpr const char* kFunction = "UsbScanner::OpenUsbScanner";
  if (!callback) {
    printTrace(kSource, kFunction, "Parameter error (Callback).");
    return Status::BadParameter;
  }
  if (device_) {
    printTrace(kSource, kFunction, "Device is already open.");
    return Status::AlreadyOpen;
  }
  if (!port_) {
    printTrace(kSource, kFunction, "No USB port.");
    return Status::NoDevice;
  }
  std::vector<usb::DeviceInfo> present = port_->list(kVendorId, kProducts);
  if (present.size() > kMaxDevices) present.resize(kMaxDevices);

  struct Candidate {
    std::string path;
    std::unique_ptr<usb::Device> device;
    PipeLayout layout;
  };
  std::vector<Candidate> accepted;
  for (const auto& info : present) {
    if (!storedPath.empty() && ::strcasecmp(info.path.c_str(), storedPath.c_str()) != 0) continue;
    auto device = port_->open(info.path);
    if (!device) continue;
    const auto& descriptor = device->descriptor();
    const auto product = descriptor.productId();
    if (descriptor.vendorId() != kVendorId || product < 16 || product > 19) continue;
    PipeLayout layout;
    if (!readPipeLayout(*device, layout)) {
      printTrace(kSource, kFunction, "Pipe configuration of %s refused.", info.path.c_str());
      continue;
    }
    if (!storedPath.empty()) {
      std::uint8_t attach = 0;
      callback(SCANNER_ATTACH_CONFIRMATION, &attach, context);
      if (attach == 1) accepted.push_back({info.path, std::move(device), layout});
      break;
    }
    accepted.push_back({info.path, std::move(device), layout});
  }
  if (accepted.empty()) {
    printTrace(kSource, kFunction, "No matching device found.");
    return Status::NoDevice;
  }
  std::size_t chosen = 0;
  if (accepted.size() > 1) {
    ScannerSelection selection;
    selection.scannersFound = static_cast<std::int32_t>(accepted.size());
    callback(SCANNER_SELECTION, &selection, context);
    if (selection.chosenScanner < 1 || selection.chosenScanner > selection.scannersFound) {
      printTrace(kSource, kFunction, "Invalid scanner selection.");
      return Status::NoDevice;
    }
    chosen = static_cast<std::size_t>(selection.chosenScanner - 1);
  }
  Candidate& taken = accepted[chosen];
  device_ = std::move(taken.device);
  storedPath = taken.path;
  bulkOut_ = taken.layout.bulkOut;
  interruptIn_ = taken.layout.interruptIn;
  bulkIn_ = taken.layout.bulkIn;
  interruptPacketSize_ = taken.layout.interruptPacket;
  bulkInPacketSize_ = taken.layout.bulkInPacket;
  {
    std::lock_guard<std::mutex> lock(postedMutex_);
    posted_ = false;
  }
  cancelling = false;  // a cancel of the last session must not end this one's first read
  std::uint8_t descriptor[18];
  std::memcpy(descriptor, device_->descriptor().bytes, sizeof descriptor);
  callback(SCANNER_CONNECTED, descriptor, context);
  return Status::Done;
}

Status UsbScanner::CloseUsbScanner() {
  if (!device_) {
    printTrace(kSource, "UsbScanner::CloseUsbScanner", "Device not open.");
    return Status::NotOpen;
  }
  if (!disconnected && !vendorRequest(kApplicationRequest))
    printTrace(kSource, "UsbScanner::CloseUsbScanner",
               "DeviceIoControl APPLICATION_CLOSING_VENDOR_REQUEST failed.");
  device_.reset();
  disconnected = false;
  return Status::Done;
}

bool UsbScanner::vendorRequest(std::uint8_t request) {
  auto r = device_->controlTransfer(kVendorOut, request, 0, 0, nullptr, 0, kControlTimeoutMs);
  return r.status == usb::Status::Ok;
}

bool UsbScanner::SendApplicationReadyRequest() {
  bool ok = device_ && vendorRequest(kApplicationRequest);
  if (ok) {
    platform::clock::sleep(500);
    ok = vendorRequest(kInitialiseRequest);
  }
  if (!ok)
    printTrace(kSource, "UsbScanner::SendApplicationReadyRequest",
               "DeviceIoControl APPLICATION_READY_VENDOR_REQUEST failed.");
  return ok;
}

Status UsbScanner::SendHostError() {
  if (!device_) {
    printTrace(kSource, "UsbScanner::SendHostError", "Device not open.");
    return Status::NotOpen;
  }
  if (vendorRequest(kHostErrorRequest)) {
    printTrace(kSource, "UsbScanner::SendHostError", "Host error");
    return Status::HostErrorSent;
  }
  printTrace(kSource, "UsbScanner::SendHostError", "Host error indication failure");
  return Status::HostErrorFailed;
}

Status UsbScanner::CheckStallAndSendClearFeature(Pipe pipe) {
  static constexpr const char* kFunction = "UsbScanner::CheckStallAndSendClearFeature";
  std::uint8_t reply[2] = {};
  auto r = device_->controlTransfer(kVendorIn, kStallCheckRequest, 0,
                                    pipe == Pipe::Read ? kStallIndexRead : kStallIndexWrite,
                                    reply, sizeof reply, kControlTimeoutMs);
  if (r.status != usb::Status::Ok || r.transferred != sizeof reply) {
    printTrace(kSource, kFunction, "Checking endpoint stall failed; Error Code: %d; Bytes Received: %d.",
               static_cast<int>(r.status), static_cast<int>(r.transferred));
    return Status::Undefined;
  }
  if ((reply[0] & 1) == 0) {
    printTrace(kSource, kFunction, "Endpoint not stalled");
    return Status::Undefined;
  }
  const bool readReset = device_->clearHalt(bulkIn_) == usb::Status::Ok;
  const bool writeReset = readReset && device_->clearHalt(bulkOut_) == usb::Status::Ok;
  if (readReset && writeReset) {
    printTrace(kSource, kFunction, "Device error.");
    return Status::StallReset;
  }
  printTrace(kSource, kFunction, "Device error reset failed.");
  return Status::StallNotReset;
}

Status UsbScanner::recoverFailedTransfer(Pipe pipe, bool shortRead) {
  const Status stall = CheckStallAndSendClearFeature(pipe);
  if (stall != Status::Undefined) return stall;
  const Status host = SendHostError();
  if (shortRead) return host == Status::HostErrorFailed ? Status::HostErrorFailed : Status::ShortRead;
  return host;
}

Status UsbScanner::shortReadFailed() {
  printTrace(kSource, "UsbScanner::ReadScanner", "Reading full amount of data failed; Error Code: %d.",
             static_cast<int>(usb::Status::Ok));
  return recoverFailedTransfer(Pipe::Read, true);
}

Status UsbScanner::ReadScanner(void* buffer, std::size_t bytes, std::uint32_t timeoutMs,
                               std::size_t& done, bool shortReadOk) {
  auto r = device_->bulkRead(bulkIn_, buffer, bytes, atLeastOneMs(timeoutMs));
  done = std::min(r.transferred, bytes);
  if (r.status == usb::Status::Ok) {
    if (done == bytes || shortReadOk) return Status::Done;
    return shortReadFailed();
  }
  printTrace(kSource, "UsbScanner::ReadScanner", "Reading data failed (%s); Bytes Received: %d.",
             usb::statusText(r.status), static_cast<int>(done));
  return recoverFailedTransfer(Pipe::Read, false);
}

// The device sends the data phase in whole packets, and a read that ends inside
// one would overflow. So a piece (a block, say) that ends inside a packet takes
// that packet whole and keeps the rest for the next piece.
Status UsbScanner::ReadPiece(std::uint8_t* to, std::size_t ask, std::size_t phaseLeft,
                             std::uint32_t timeoutMs, std::size_t& got, bool shortReadOk,
                             PacketCarry& carry) {
  got = std::min(ask, carry.left());
  if (got > 0) std::memcpy(to, carry.bytes.data() + carry.pos, got);
  carry.pos += got;
  std::size_t deviceLeft = phaseLeft - got - carry.left();  // not yet taken from the device
  if (got == ask) return Status::Done;
  if (carry.endsTransfer) return shortReadOk ? Status::Done : shortReadFailed();

  const std::size_t packet = bulkInPacketSize_;
  const std::size_t need = ask - got;
  const std::size_t whole = need / packet * packet;
  if (whole > 0) {
    std::size_t n = 0;
    const Status read = ReadScanner(to + got, whole, timeoutMs, n, shortReadOk);
    got += n;
    if (read != Status::Done || n < whole) return read;
    deviceLeft -= std::min(deviceLeft, whole);
  }
  const std::size_t rest = need - whole;
  if (rest == 0) return Status::Done;
  if (rest >= deviceLeft) {
    // The transfer's last packet, which is short and fits.
    std::size_t n = 0;
    const Status read = ReadScanner(to + got, rest, timeoutMs, n, shortReadOk);
    got += n;
    return read;
  }
  const std::size_t bounce = std::min(packet, deviceLeft);
  carry.bytes.resize(bounce);
  std::size_t n = 0;
  const Status read = ReadScanner(carry.bytes.data(), bounce, timeoutMs, n, true);
  carry.bytes.resize(n);
  carry.endsTransfer = n < bounce;  // a short packet: nothing more comes in this phase
  carry.pos = std::min(n, rest);
  std::memcpy(to + got, carry.bytes.data(), carry.pos);
  got += carry.pos;
  if (read != Status::Done) return read;
  if (carry.pos < rest && !shortReadOk) return shortReadFailed();
  return Status::Done;
}

Status UsbScanner::WriteScanner(const void* buffer, std::size_t bytes, std::uint32_t timeoutMs) {
  auto r = device_->bulkWrite(bulkOut_, buffer, bytes, atLeastOneMs(timeoutMs));
  if (r.status == usb::Status::Ok && r.transferred == bytes) return Status::Done;
  printTrace(kSource, "UsbScanner::WriteScanner", "Writing data failed (%s); Bytes Written: %d.",
             usb::statusText(r.status), static_cast<int>(r.transferred));
  return recoverFailedTransfer(Pipe::Write, false);
}

Status UsbScanner::CheckStatus(std::uint16_t commandWord, std::uint32_t timeoutMs,
                               std::uint16_t& code) {
  std::uint8_t block[4] = {};
  std::size_t got = 0;
  const Status read = ReadScanner(block, sizeof block, timeoutMs, got, false);
  if (read != Status::Done) return read;
  const std::uint16_t echo = std::uint16_t(block[0] | block[1] << 8);
  const std::uint16_t status = std::uint16_t(block[2] | block[3] << 8);
  if (echo == (commandWord | 0x2000)) {
    if (status == 0) return Status::Done;
    code = status;
    printTrace(kSource, "UsbScanner::CheckStatus", "Status read failed.");
    return Status::DeviceError;
  }
  // Out of step: throw away what the scanner still sends, within limits.
  std::vector<std::uint8_t> junk(bulkInPacketSize_);
  std::size_t drained = 0;
  const std::uint32_t start = platform::clock::tickCount();
  while (drained < kDrainLimitBytes && platform::clock::elapsedSince(start) < kDrainLimitMs) {
    auto r = device_->bulkRead(bulkIn_, junk.data(), junk.size(), kDrainReadMs);
    if (r.status != usb::Status::Ok || r.transferred == 0) break;
    drained += r.transferred;
  }
  printTrace(kSource, "UsbScanner::CheckStatus", "Data synchronization lost with scanner.");
  return Status::Undefined;
}

TransferOutcome UsbScanner::SendReceiveScanner(const Transfer& t) {
  static constexpr const char* kFunction = "UsbScanner::SendReceiveScanner";
  TransferOutcome out;
  if (!t.command) {
    printTrace(kSource, kFunction, "Parameter error (pusCommandAndData).");
    out.status = Status::BadParameter;
    return out;
  }
  if (!device_) {
    printTrace(kSource, kFunction, "Device not open.");
    out.status = Status::NotOpen;
    return out;
  }
  if (t.blockSize < 0 || (t.blockSize > 0 && !t.progress && !t.blocks)) {
    printTrace(kSource, kFunction, "Parameter error (Callback).");
    out.status = Status::BadParameter;
    return out;
  }
  if (!t.read) {
    out.status = WriteScanner(t.command, t.commandBytes, t.timeoutMs);
    if (out.status == Status::Done) out.status = CheckStatus(t.commandWord, t.timeoutMs, out.deviceCode);
    return out;
  }
  if (t.dataLength > 0) {
    if ((t.readBuffer != nullptr) == (t.blocks != nullptr)) {
      printTrace(kSource, kFunction, "Parameter error (pusReadBuffer/ppusReadBufferBlocks).");
      out.status = Status::BadParameter;
      return out;
    }
    if (t.blocks) {
      if (t.blockSize <= 0 || t.dataLength % t.blockSize != 0) {
        printTrace(kSource, kFunction, "Parameter error (iBlockSize).");
        out.status = Status::BadParameter;
        return out;
      }
      const std::int64_t count = t.dataLength / t.blockSize;
      for (std::int64_t i = 0; i < count; ++i) {
        if (!t.blocks[i]) {
          printTrace(kSource, kFunction, "Parameter error (ppusReadBufferBlocks[%d]).", int(i));
          out.status = Status::BadParameter;
          return out;
        }
      }
    }
  }
  out.status = WriteScanner(t.command, t.commandBytes, t.timeoutMs);
  if (out.status != Status::Done) return out;

  ProgressWorker progress(t.progress, t.progressContext);
  const std::int64_t piece = (t.blockSize == 0 || t.blockSize > kMaxPiece) ? kMaxPiece : t.blockSize;
  std::int64_t received = 0;
  std::int64_t blockIndex = 0, inBlock = 0;
  PacketCarry carry;
  while (received < t.dataLength) {
    std::int64_t ask = std::min(piece, t.dataLength - received);
    std::uint8_t* target;
    if (t.blocks) {
      ask = std::min(ask, t.blockSize - inBlock);
      target = reinterpret_cast<std::uint8_t*>(t.blocks[blockIndex]) + inBlock;
    } else {
      target = t.readBuffer + received;
    }
    std::size_t got = 0;
    const Status read = ReadPiece(target, std::size_t(ask), std::size_t(t.dataLength - received),
                                  t.timeoutMs, got, t.shortReadOk, carry);
    const std::int64_t before = received;
    received += std::int64_t(got);
    if (t.blockSize > 0) {
      // Every block end that this piece reached, even several at once.
      for (std::int64_t b = before / t.blockSize; b < received / t.blockSize; ++b) progress.blockFilled();
    }
    if (t.blocks) {
      inBlock += std::int64_t(got);
      if (inBlock == t.blockSize) {
        ++blockIndex;
        inBlock = 0;
      }
    }
    if (read != Status::Done) {
      out.status = read;
      out.received = received;
      return out;
    }
    if (std::int64_t(got) < ask) break;
  }
  progress.finish();
  out.received = received;
  out.status = CheckStatus(t.commandWord, t.timeoutMs, out.deviceCode);
  return out;
}

Status UsbScanner::ReadScannerInterrupt(std::uint8_t* buffer) {
  if (!buffer) {
    printTrace(kSource, "UsbScanner::ReadScannerInterrupt", "Parameter error (pusBuffer).");
    return Status::BadParameter;
  }
  if (!device_) {
    printTrace(kSource, "UsbScanner::ReadScannerInterrupt", "Device not open.");
    return Status::NotOpen;
  }
  // A packet is at most one interrupt packet of the pipe, and never less than ours.
  const std::size_t ask =
      std::min<std::size_t>(std::max<std::size_t>(kInterruptPacketBytes, interruptPacketSize_),
                            kInterruptBufferBytes);
  {
    std::lock_guard<std::mutex> lock(postedMutex_);
    posted_ = true;
  }
  postedCv_.notify_all();
  auto r = device_->interruptRead(interruptIn_, buffer, ask);
  if (r.status == usb::Status::Ok && r.transferred == kInterruptPacketBytes) {
    cancelling = false;
    return Status::Done;
  }
  if (cancelling.exchange(false) || standby) return Status::Undefined;
  printTrace(kSource, "UsbScanner::ReadScannerInterrupt",
             "Interrupt read failed (%s); Bytes Received: %d.", usb::statusText(r.status),
             static_cast<int>(r.transferred));
  return SendHostError();
}

void UsbScanner::cancelInterruptRead() {
  if (device_) device_->cancelInterruptRead();
}

bool UsbScanner::waitReadPosted(std::uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(postedMutex_);
  const bool posted =
      postedCv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return posted_; });
  posted_ = false;
  return posted;
}

}  // namespace pravik
