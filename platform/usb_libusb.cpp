#include "platform/usb_libusb.h"

#include "platform/internal/usb_io.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>
#include <libusb.h>
#include <mutex>
#include <thread>

namespace platform::usb {
namespace {

using internal::Io;

Io fromLibusb(int code) {
  switch (code) {
    case LIBUSB_SUCCESS: return Io::Ok;
    case LIBUSB_ERROR_TIMEOUT: return Io::Timeout;
    case LIBUSB_ERROR_PIPE: return Io::Pipe;
    case LIBUSB_ERROR_NO_DEVICE: return Io::NoDevice;
    case LIBUSB_ERROR_OVERFLOW: return Io::Overflow;
    case LIBUSB_ERROR_INTERRUPTED: return Io::Cancelled;
    default: return Io::Error;
  }
}

Io fromTransferStatus(libusb_transfer_status s) {
  switch (s) {
    case LIBUSB_TRANSFER_COMPLETED: return Io::Ok;
    case LIBUSB_TRANSFER_TIMED_OUT: return Io::Timeout;
    case LIBUSB_TRANSFER_CANCELLED: return Io::Cancelled;
    case LIBUSB_TRANSFER_STALL: return Io::Pipe;
    case LIBUSB_TRANSFER_NO_DEVICE: return Io::NoDevice;
    case LIBUSB_TRANSFER_OVERFLOW: return Io::Overflow;
    default: return Io::Error;
  }
}

// The libusb context with the one thread that runs its events (the completions
// of interrupt transfers). Devices keep it alive.
class Context {
 public:
  static std::shared_ptr<Context> make() {
    libusb_context* ctx = nullptr;
    if (libusb_init(&ctx) != 0) return nullptr;
    return std::shared_ptr<Context>(new Context(ctx));
  }
  ~Context() {
    stop_ = true;
    libusb_interrupt_event_handler(ctx_);
    if (events_.joinable()) events_.join();
    libusb_exit(ctx_);
  }
  libusb_context* get() const { return ctx_; }

 private:
  explicit Context(libusb_context* ctx) : ctx_(ctx) {
    events_ = std::thread([this] {
      while (!stop_) libusb_handle_events_completed(ctx_, nullptr);
    });
  }
  libusb_context* ctx_;
  std::atomic<bool> stop_{false};
  std::thread events_;
};

class LibusbIo : public internal::UsbIo {
 public:
  LibusbIo(std::shared_ptr<Context> ctx, libusb_device_handle* handle)
      : ctx_(std::move(ctx)), handle_(handle), transfer_(libusb_alloc_transfer(0)) {}
  ~LibusbIo() override {
    if (transfer_) libusb_free_transfer(transfer_);
    libusb_release_interface(handle_, 0);
    libusb_close(handle_);
  }

  Io bulk(std::uint8_t endpoint, std::uint8_t* data, std::size_t length, std::size_t* transferred,
          std::uint32_t timeoutMs) override {
    int done = 0;
    int r = libusb_bulk_transfer(handle_, endpoint, data, static_cast<int>(length), &done, timeoutMs);
    *transferred = done > 0 ? static_cast<std::size_t>(done) : 0;
    return fromLibusb(r);
  }

  Io control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value, std::uint16_t index,
             std::uint8_t* data, std::uint16_t length, std::size_t* transferred,
             std::uint32_t timeoutMs) override {
    int r = libusb_control_transfer(handle_, requestType, request, value, index, data, length, timeoutMs);
    *transferred = r > 0 ? static_cast<std::size_t>(r) : 0;
    return r >= 0 ? Io::Ok : fromLibusb(r);
  }

  Io clearHalt(std::uint8_t endpoint) override { return fromLibusb(libusb_clear_halt(handle_, endpoint)); }

  bool submitBulk(std::uint8_t endpoint, std::uint8_t* data, std::size_t length, std::uint32_t timeoutMs,
                  Completion done) override {
    if (length > static_cast<std::size_t>(INT_MAX)) return false;
    libusb_transfer* t = libusb_alloc_transfer(0);
    if (t == nullptr) return false;
    auto* pending = new BulkTransfer{this, endpoint, std::move(done)};
    libusb_fill_bulk_transfer(t, handle_, endpoint, data, static_cast<int>(length), &LibusbIo::onBulkComplete,
                              pending, timeoutMs);
    std::lock_guard<std::mutex> lock(mutex_);
    if (libusb_submit_transfer(t) != 0) {
      delete pending;
      libusb_free_transfer(t);
      return false;
    }
    bulk_.push_back(t);
    return true;
  }

  void cancelBulk(std::uint8_t endpoint) override {
    std::lock_guard<std::mutex> lock(mutex_);
    for (libusb_transfer* t : bulk_)
      if (t->endpoint == endpoint) libusb_cancel_transfer(t);
  }

  bool submitInterrupt(std::uint8_t endpoint, std::uint8_t* data, std::size_t length, Completion done) override {
    if (transfer_ == nullptr) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    completion_ = std::move(done);
    libusb_fill_interrupt_transfer(transfer_, handle_, endpoint, data, static_cast<int>(length),
                                   &LibusbIo::onComplete, this, 0);
    int r = libusb_submit_transfer(transfer_);
    if (r != 0) {
      completion_ = nullptr;
      return false;
    }
    submitted_ = true;
    return true;
  }

  void cancelInterrupt() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (submitted_) libusb_cancel_transfer(transfer_);
  }

 private:
  struct BulkTransfer {
    LibusbIo* self;
    std::uint8_t endpoint;
    Completion done;
  };

  static void LIBUSB_CALL onBulkComplete(libusb_transfer* t) {
    std::unique_ptr<BulkTransfer> pending(static_cast<BulkTransfer*>(t->user_data));
    {
      std::lock_guard<std::mutex> lock(pending->self->mutex_);
      auto& list = pending->self->bulk_;
      list.erase(std::remove(list.begin(), list.end(), t), list.end());
    }
    const Io io = fromTransferStatus(t->status);
    const std::size_t got = t->actual_length > 0 ? static_cast<std::size_t>(t->actual_length) : 0;
    libusb_free_transfer(t);
    pending->done(io, got);
  }

  static void LIBUSB_CALL onComplete(libusb_transfer* t) {
    auto* self = static_cast<LibusbIo*>(t->user_data);
    Completion done;
    {
      std::lock_guard<std::mutex> lock(self->mutex_);
      self->submitted_ = false;
      done = std::move(self->completion_);
    }
    if (done) done(fromTransferStatus(t->status), t->actual_length > 0 ? static_cast<std::size_t>(t->actual_length) : 0);
  }

  std::shared_ptr<Context> ctx_;
  libusb_device_handle* handle_;
  libusb_transfer* transfer_;
  std::mutex mutex_;
  Completion completion_;
  bool submitted_ = false;
  std::vector<libusb_transfer*> bulk_;  // submitted bulk transfers, under mutex_
};

std::string pathOf(libusb_device* dev) {
  std::uint8_t ports[8];
  int n = libusb_get_port_numbers(dev, ports, sizeof ports);
  std::string path = "usb:" + std::to_string(libusb_get_bus_number(dev));
  for (int i = 0; i < n; ++i) path += (i == 0 ? "-" : ".") + std::to_string(ports[i]);
  return path;
}

// Hot-plug reports from libusb's event thread; they only post to the handler.
class HotplugWatch : public Port::Watch {
 public:
  HotplugWatch(std::shared_ptr<Context> ctx, std::uint16_t vendorId, std::span<const std::uint16_t> products,
               Port::ChangeHandler handler)
      : ctx_(std::move(ctx)), products_(products.begin(), products.end()), handler_(std::move(handler)) {
    int r = libusb_hotplug_register_callback(
        ctx_->get(),
        static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
        LIBUSB_HOTPLUG_NO_FLAGS, vendorId, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
        &HotplugWatch::onEvent, this, &handle_);
    ok_ = r == LIBUSB_SUCCESS;
  }
  ~HotplugWatch() override {
    if (ok_) libusb_hotplug_deregister_callback(ctx_->get(), handle_);
  }
  bool ok() const { return ok_; }

 private:
  static int LIBUSB_CALL onEvent(libusb_context*, libusb_device* dev, libusb_hotplug_event event, void* user) {
    auto* self = static_cast<HotplugWatch*>(user);
    libusb_device_descriptor d{};
    if (libusb_get_device_descriptor(dev, &d) != 0) return 0;
    for (std::uint16_t p : self->products_)
      if (p == d.idProduct) {
        self->handler_(event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED, DeviceInfo{pathOf(dev), d.idVendor, d.idProduct});
        break;
      }
    return 0;  // stay registered
  }

  std::shared_ptr<Context> ctx_;
  std::vector<std::uint16_t> products_;
  Port::ChangeHandler handler_;
  libusb_hotplug_callback_handle handle_ = 0;
  bool ok_ = false;
};

class LibusbPort : public Port {
 public:
  std::unique_ptr<Watch> watch(std::uint16_t vendorId, std::span<const std::uint16_t> products,
                               ChangeHandler handler) override {
    if (!libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG)) return nullptr;
    auto w = std::make_unique<HotplugWatch>(ctx_, vendorId, products, std::move(handler));
    if (!w->ok()) return nullptr;
    return w;
  }

  explicit LibusbPort(std::shared_ptr<Context> ctx) : ctx_(std::move(ctx)) {}

  std::vector<DeviceInfo> list(std::uint16_t vendorId, std::span<const std::uint16_t> products) override {
    std::vector<DeviceInfo> out;
    libusb_device** devices = nullptr;
    ssize_t n = libusb_get_device_list(ctx_->get(), &devices);
    for (ssize_t i = 0; i < n; ++i) {
      libusb_device_descriptor d{};
      if (libusb_get_device_descriptor(devices[i], &d) != 0 || d.idVendor != vendorId) continue;
      for (std::uint16_t p : products)
        if (d.idProduct == p) {
          out.push_back({pathOf(devices[i]), d.idVendor, d.idProduct});
          break;
        }
    }
    if (devices) libusb_free_device_list(devices, 1);
    return out;
  }

  std::unique_ptr<Device> open(const std::string& path) override {
    libusb_device** devices = nullptr;
    ssize_t n = libusb_get_device_list(ctx_->get(), &devices);
    std::unique_ptr<Device> result;
    for (ssize_t i = 0; i < n && !result; ++i)
      if (pathOf(devices[i]) == path) result = openDevice(devices[i]);
    if (devices) libusb_free_device_list(devices, 1);
    return result;
  }

 private:
  std::unique_ptr<Device> openDevice(libusb_device* dev) {
    libusb_device_descriptor d{};
    if (libusb_get_device_descriptor(dev, &d) != 0) return nullptr;
    libusb_device_handle* h = nullptr;
    if (libusb_open(dev, &h) != 0) return nullptr;
    libusb_set_auto_detach_kernel_driver(h, 1);
    if (libusb_claim_interface(h, 0) != 0) {
      libusb_close(h);
      return nullptr;
    }
    DeviceDescriptor descriptor;
    static_assert(sizeof(libusb_device_descriptor) == 18);
    std::memcpy(descriptor.bytes, &d, 18);  // same wire layout; little-endian fields
    std::vector<PipeInfo> pipes;
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(dev, &config) == 0 && config->bNumInterfaces > 0 &&
        config->interface[0].num_altsetting > 0) {
      const libusb_interface_descriptor& alt = config->interface[0].altsetting[0];
      for (int e = 0; e < alt.bNumEndpoints; ++e) {
        const libusb_endpoint_descriptor& ep = alt.endpoint[e];
        pipes.push_back({ep.bEndpointAddress, static_cast<PipeType>(ep.bmAttributes & 3), ep.wMaxPacketSize});
      }
    }
    if (config) libusb_free_config_descriptor(config);
    return internal::makeDevice(std::make_unique<LibusbIo>(ctx_, h), descriptor, std::move(pipes));
  }

  std::shared_ptr<Context> ctx_;
};

}  // namespace

std::unique_ptr<Port> openLibusbPort() {
  auto ctx = Context::make();
  if (!ctx) return nullptr;
  return std::make_unique<LibusbPort>(std::move(ctx));
}

}  // namespace platform::usb
