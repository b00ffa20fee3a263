#include "scanui/internal/connection.h"

#include <QApplication>
#include <QWidget>
#include <algorithm>
#include <cstring>

#include "platform/qt/prompt.h"
#include "platform/qt/wait_cursor.h"
#include "platform/text.h"
#include "scanui/internal/settings.h"
#include "scanui/internal/strings.h"

namespace scanui::internal {
namespace {

constexpr int kCommandTimeoutSeconds = 60;
constexpr int kErrorTextLength = 99;
constexpr std::size_t kAdapterNameLength = 33;

QString hex(unsigned value) { return QString::number(value, 16).toUpper(); }

void warn(QWidget* owner, const QString& text, const QString& caption) {
  platform::qt::prompt().message(owner, text, caption, platform::qt::Icon::Warning,
                                 platform::qt::Buttons::Ok);
}

}  // namespace

DigitizerConnection::DigitizerConnection(std::unique_ptr<BrightelSource> source)
    : source_(std::move(source)) {}

DigitizerConnection::~DigitizerConnection() { close(); }

void DigitizerConnection::setSource(std::unique_ptr<BrightelSource> source) {
  close();
  source_ = std::move(source);
}

bool DigitizerConnection::bind() {
  for (int i = 0; i < int(errorTexts_.size()); ++i)
    errorTexts_[std::size_t(i)] = stringTableText(140 + i).left(kErrorTextLength);
  const BindResult r = source_ ? source_->load(table_) : BindResult::CannotLoad;
  if (r == BindResult::CannotLoad) {
    warn(nullptr, dllLoadFailedText(), cannotLoadCaption());
    return false;
  }
  if (r == BindResult::SymbolMissing) {
    warn(nullptr, dllLoadFailedText(), symbolMissingCaption());
    return false;
  }
  loaded_ = true;
  return true;
}

void DigitizerConnection::unload() {
  if (source_) source_->unload();
  table_ = BrightelTable{};
  loaded_ = false;
  connected_ = false;
}

bool DigitizerConnection::failOpen() {
  table_.Delete(1);  // the handle that the device library hands out
  handle_ = -1;
  unload();
  return false;
}

bool DigitizerConnection::open() {
  if (connected_) return true;
  if (!bind()) return false;
  platform::qt::WaitCursor wait;

  const DeviceNames names = readDeviceNames();
  const char* const pairs[][2] = {
      {names.vendor.c_str(), names.product.c_str()},
      {nullptr, nullptr},
      {"TRESSOLA", "KT7163"},
      {"KORVA", "KT7163"},
      {"KORVA", "VKP30GT"},
  };
  found_ = FoundList{};
  bool any = false;
  for (const auto& pair : pairs) {
    FoundList found{};
    std::uint8_t flags[16] = {};
    if (!table_.GetScanner(pair[0], pair[1], reinterpret_cast<devapi::ScannerMatchInfo*>(&found), flags)) {
      errorBox(kErrAdapter, false);
      return failOpen();
    }
    if (found.count >= 1) {
      found.count = std::min<std::uint32_t>(found.count, kMaxFound);
      found_ = found;
      any = true;
      break;
    }
  }
  if (!any) {
    errorBox(kErrNoDevice, false);
    return failOpen();
  }

  adapterNames_ = {};
  if (found_.count > 1) {
    devapi::AdapterInfo info{};
    if (!table_.GetSCSIAdapter(&info)) {
      errorBox(kErrAdapter, false);
      return failOpen();
    }
    // One name slot per adapter, from the first slot on.
    const std::uint32_t listed = std::min<std::uint32_t>(
        info.adapters, (sizeof info - offsetof(devapi::AdapterInfo, adapter_name)) / devapi::kAdapterNameSlot);
    const char* nameSlots = reinterpret_cast<const char*>(&info) + offsetof(devapi::AdapterInfo, adapter_name);
    for (std::uint32_t i = 0; i < found_.count; ++i) {
      const std::uint8_t adapter = found_.adapter[i];
      if (adapter >= listed || adapter >= kMaxFound) continue;
      const char* slot = nameSlots + std::size_t(adapter) * devapi::kAdapterNameSlot;
      std::string name(slot, ::strnlen(slot, devapi::kAdapterNameSlot));
      name.resize(platform::text::cp932CutLength(name, kAdapterNameLength));
      adapterNames_[adapter] = name;
    }
  }

  int opened = -1;
  for (int i = 0; i < int(found_.count) && opened < 0; ++i)
    if (openIndex(i)) opened = i;
  if (opened < 0) return failOpen();

  feeder1_ = feeder2_ = false;
  devapi::ScannerTypeInfo type{};
  if (table_.GetScannerType && table_.GetScannerType(handle_, &type)) {
    feeder1_ = type.auto_feeder == 1;
    feeder2_ = type.auto_feeder == 2;
  }
  // A device that cannot tell keeps the default, not the last device's figure.
  maxOd_ = 40;
  devapi::KtGOption option{};
  if (table_.GetOption && table_.GetOption(handle_, &option)) maxOd_ = option.od_Max;

  if (!table_.Init(handle_)) {
    errorBox(kErrInit, true);
    table_.Delete(handle_);
    handle_ = -1;
    unload();
    return false;
  }
  connected_ = true;
  return true;
}

bool DigitizerConnection::openIndex(int index) {
  devapi::DeviceNewParam param{};
  param.adapter = found_.adapter[index];
  param.device_id = found_.deviceId[index];
  param.timeout = kCommandTimeoutSeconds;
  if (!table_.New(&param)) return false;
  handle_ = param.handle;
  selected_ = index;
  return true;
}

void DigitizerConnection::close() {
  if (!loaded_) return;
  table_.Delete(handle_);
  handle_ = -1;
  unload();
}

std::vector<int> DigitizerConnection::adapters() const {
  std::vector<int> out;
  for (std::uint32_t i = 0; i < found_.count; ++i)
    if (std::find(out.begin(), out.end(), found_.adapter[i]) == out.end()) out.push_back(found_.adapter[i]);
  return out;
}

std::vector<int> DigitizerConnection::deviceIds(int adapter) const {
  std::vector<int> out;
  for (std::uint32_t i = 0; i < found_.count; ++i)
    if (found_.adapter[i] == adapter) out.push_back(found_.deviceId[i]);
  return out;
}

std::string DigitizerConnection::adapterName(int adapter) const {
  if (adapter < 0 || adapter >= kMaxFound) return {};
  return adapterNames_[std::size_t(adapter)];
}

int DigitizerConnection::switchTo(int adapter, int deviceId) {
  if (!loaded_) return 0;
  int index = -1;
  for (std::uint32_t i = 0; i < found_.count; ++i)
    if (found_.adapter[i] == adapter && found_.deviceId[i] == deviceId) index = int(i);
  if (index < 0 || index == selected_) return 0;
  const int previous = selected_;
  table_.Delete(handle_);
  connected_ = false;
  if (openIndex(index)) {
    connected_ = true;
    return 1;
  }
  if (previous >= 0 && openIndex(previous)) {
    connected_ = true;
    return 0;
  }
  warn(owner(), errorTexts_[kErrNoDevice], QString());
  return 0;
}

int DigitizerConnection::sensedFilmCode() {
  if (!connected_ || latch_) return 0;
  devapi::ScanCondition condition{};
  if (table_.GetCondition(handle_, &condition)) {
    latch_ = false;
    return condition.film_sz_id;
  }
  latch_ = true;
  errorBox(kErrStatus, true);
  return 0;
}

std::uint32_t DigitizerConnection::bufferSize() {
  if (!connected_) return 0;
  devapi::ScanCondition condition{};
  if (table_.GetCondition(handle_, &condition)) return condition.img_buff_sz;
  errorBox(kErrStatus, true);
  return 0;
}

int DigitizerConnection::nextFilm() {
  if (!connected_) return 0;
  platform::qt::WaitCursor wait;
  table_.NextFilm(handle_);  // the caller looks for a film afterwards
  return 1;
}

int DigitizerConnection::eject() {
  if (!connected_) return 0;
  if (table_.EjectFilm(handle_)) return 1;
  errorBox(kErrStartUp, true);
  return 0;
}

int DigitizerConnection::reverse() {
  if (!connected_) return 0;
  if (table_.ReverseFilm(handle_)) return 1;
  errorBox(kErrReverse, true);
  return 0;
}

bool DigitizerConnection::deviceText(QString& text, unsigned& code) {
  if (table_.GetErrorString == nullptr) return false;
  devapi::DeviceErrorString record{};
  if (!table_.GetErrorString(&record)) return false;
  // The device's text is read only up to its room, whatever it holds.
  const std::string raw(record.text, ::strnlen(record.text, sizeof record.text));
  text = QString::fromStdString(platform::text::cp932ToUtf8(messageFor(raw)));
  code = record.code;
  return true;
}

QWidget* DigitizerConnection::owner() const {
  // Before ShowUI made us know the host's window, the window the user works in.
  return owner_ != nullptr ? owner_ : QApplication::activeWindow();
}

void DigitizerConnection::showBox(const QString& text) {
  warn(owner(), text, deviceErrorCaption());
}

void DigitizerConnection::errorBox(int code, bool detail) {
  if (quiet_ || !loaded_) return;
  const QString base = code >= 0 && code < int(errorTexts_.size()) ? errorTexts_[std::size_t(code)] : QString();
  if (code == kErrNoDevice || code == kErrReadData) {
    showBox(base);
    return;
  }
  QString device;
  unsigned deviceCode = 0;
  if (deviceText(device, deviceCode)) {
    if (deviceCode == 0) return;
    showBox(device + "(" + hex(deviceCode) + "h)");
  } else if (!detail) {
    showBox(base);
  } else {
    devapi::DeviceErrorInfo info{};
    if (table_.GetError(handle_, &info)) {
      showBox(base + "\n\nsense_key:" + hex(info.error_class & 0xFFu) + "\nasc_ascq:" + hex(info.code) +
              "\ninfo1:" + hex(info.device_error) + "\ninfo2:" + hex(info.result_code) +
              "\ninfo3:" + hex(info.result_category));
    } else {
      showBox(base + "\n\n" + noDetailText());
    }
  }
  // A device error that will not clear is shown once more, as the device now has it.
  if (handle_ >= 0 && table_.ClearHardError && !table_.ClearHardError(handle_) && table_.GetErrorString) {
    if (deviceText(device, deviceCode)) showBox(device + "(" + hex(deviceCode) + ")");
  }
}

}  // namespace scanui::internal
