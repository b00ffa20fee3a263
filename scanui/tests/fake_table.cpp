#include "scanui/tests/fake_table.h"

#include <algorithm>
#include <cstring>

namespace scanui_test {

FakeBrightel* fake = nullptr;

namespace {

std::string name(const char* s) { return s ? s : "-"; }

void log(const std::string& call) { fake->log.push_back(call); }

int GetSCSIAdapter(devapi::AdapterInfo* info) {
  log("GetSCSIAdapter");
  if (!fake->adapterOk) return 0;
  info->adapters = std::uint32_t(fake->adapterNames.size());
  char* slot = reinterpret_cast<char*>(info) + offsetof(devapi::AdapterInfo, adapter_name);
  for (std::size_t i = 0; i < fake->adapterNames.size(); ++i)
    std::strncpy(slot + i * devapi::kAdapterNameSlot, fake->adapterNames[i].c_str(), devapi::kAdapterNameSlot);
  return 1;
}

int GetScanner(const char* vendor, const char* product, devapi::ScannerMatchInfo* match, std::uint8_t*) {
  const std::string key = name(vendor) + "/" + name(product);
  log("GetScanner(" + key + ")");
  if (!fake->getScannerOk) return 0;
  auto* found = reinterpret_cast<scanui::internal::FoundList*>(match);
  auto it = fake->devices.find(key);
  found->count = 0;
  if (it != fake->devices.end()) {
    // The record has room for ten; a library may claim more.
    found->count = std::uint32_t(it->second.size());
    for (std::size_t i = 0; i < it->second.size() && i < scanui::internal::kMaxFound; ++i) {
      found->adapter[i] = std::uint8_t(it->second[i].first);
      found->deviceId[i] = std::uint8_t(it->second[i].second);
    }
  }
  return 1;
}

int New(devapi::DeviceNewParam* p) {
  log("New(" + std::to_string(p->adapter) + "," + std::to_string(p->device_id) + "," +
      std::to_string(p->timeout) + ")");
  const auto refused = std::find(fake->refuseNew.begin(), fake->refuseNew.end(),
                                 std::pair<int, int>(p->adapter, p->device_id));
  if (refused != fake->refuseNew.end()) return 0;
  p->handle = 1;
  p->status = 1;
  return 1;
}

int Init(int h) { log("Init(" + std::to_string(h) + ")"); return fake->initOk; }
int Delete(int h) { log("Delete(" + std::to_string(h) + ")"); return 1; }
int GetError(int h, devapi::DeviceErrorInfo* info) {
  log("GetError(" + std::to_string(h) + ")");
  if (!fake->getErrorOk) return 0;
  *info = fake->error;
  return 1;
}
int GetCondition(int h, devapi::ScanCondition* c) {
  log("GetCondition(" + std::to_string(h) + ")");
  if (!fake->conditionOk) return 0;
  if (!fake->conditions.empty()) {
    const devapi::ScanCondition& set = fake->conditions.back();
    *c = set;
    const std::uint32_t pitch = set.pitch != 0 ? set.pitch : 200;
    c->pix_w = fake->lineWidth >= 0 ? std::uint32_t(fake->lineWidth) : set.width * 1000 / pitch + fake->extraColumns;
    c->pix_h = set.height * 1000 / pitch;
  }
  c->film_sz_id = std::uint8_t(fake->filmCode);
  c->img_buff_sz = fake->bufferSize;
  return 1;
}
int SetCondition(int, const devapi::ScanCondition* c) {
  log("SetCondition");
  fake->conditions.push_back(*c);
  return 1;
}
int SetLUT(int, const devapi::TableParam* t) {
  log("SetLUT");
  fake->lutType = t->type;
  fake->lut.assign(t->table, t->table + t->count);
  return 1;
}
int Scan(int) {
  log("Scan");
  fake->linesDelivered = 0;
  return fake->scanOk;
}
int ReadBuffer(int, const devapi::ReadBufferParam* p) {
  log("ReadBuffer(" + std::to_string(p->first) + "," + std::to_string(p->length) + ")");
  const int n = ++fake->reads;
  if (n == fake->failRead) return 0;
  const devapi::ScanCondition& set = fake->conditions.back();
  const std::uint32_t pitch = set.pitch != 0 ? set.pitch : 200;
  const std::uint32_t width = fake->lineWidth >= 0 ? std::uint32_t(fake->lineWidth) : set.width * 1000 / pitch + fake->extraColumns;
  const std::uint32_t bpp = set.pixel_bit_n / 8;
  if (p->first == 0) fake->linesDelivered = 0;
  auto* out = static_cast<std::uint8_t*>(p->buffer);
  const std::uint32_t lines = width * bpp != 0 ? p->length / (width * bpp) : 0;
  for (std::uint32_t y = 0; y < lines; ++y, ++fake->linesDelivered)
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::uint16_t v = FakeBrightel::pixel(x, fake->linesDelivered);
      std::uint8_t* at = out + (std::size_t(y) * width + x) * bpp;
      if (bpp == 1) {
        *at = std::uint8_t(v);
      } else {
        at[0] = std::uint8_t(v);
        at[1] = std::uint8_t(v >> 8);
      }
    }
  if (fake->onRead) fake->onRead(n);
  return 1;
}
int ReverseFilm(int h) { log("ReverseFilm(" + std::to_string(h) + ")"); return fake->reverseOk; }
int EjectFilm(int h) { log("EjectFilm(" + std::to_string(h) + ")"); return fake->ejectOk; }
int NextFilm(int h) {
  log("NextFilm(" + std::to_string(h) + ")");
  if (!fake->nextFilmCodes.empty()) {
    fake->filmCode = fake->nextFilmCodes.front();
    fake->nextFilmCodes.erase(fake->nextFilmCodes.begin());
  }
  return 0;
}
int Cancel(int) { log("Cancel"); return 1; }
int GetScannerType(int h, devapi::ScannerTypeInfo* t) {
  log("GetScannerType(" + std::to_string(h) + ")");
  t->auto_feeder = std::uint8_t(fake->feeder);
  return 1;
}
int GetOption(int h, devapi::KtGOption* o) {
  log("GetOption(" + std::to_string(h) + ")");
  o->od_Max = std::uint16_t(fake->odMax);
  return 1;
}
int GetErrorString(devapi::DeviceErrorString* s) {
  log("GetErrorString");
  if (fake->errorStrings.empty()) return 0;
  const auto e = fake->errorStrings.front();
  if (fake->errorStrings.size() > 1) fake->errorStrings.erase(fake->errorStrings.begin());
  s->code = e.first;
  // A device text fills its room to the last byte, without a NUL.
  std::memset(s->text, 0, sizeof s->text);
  std::memcpy(s->text, e.second.data(), std::min(e.second.size(), sizeof s->text));
  return 1;
}
int ClearHardError(int h) { log("ClearHardError(" + std::to_string(h) + ")"); return fake->clearOk; }

}  // namespace

scanui::internal::BrightelTable FakeBrightel::table() const {
  scanui::internal::BrightelTable t;
  t.GetSCSIAdapter = GetSCSIAdapter;
  t.GetScanner = GetScanner;
  t.New = New;
  t.Init = Init;
  t.Delete = Delete;
  t.GetError = GetError;
  t.GetCondition = GetCondition;
  t.SetCondition = SetCondition;
  t.SetLUT = SetLUT;
  t.Scan = Scan;
  t.ReadBuffer = ReadBuffer;
  t.ReverseFilm = ReverseFilm;
  t.EjectFilm = EjectFilm;
  t.NextFilm = NextFilm;
  t.Cancel = Cancel;
  if (hasScannerType) t.GetScannerType = GetScannerType;
  if (hasOption) t.GetOption = GetOption;
  if (hasErrorString) t.GetErrorString = GetErrorString;
  if (hasClearHardError) t.ClearHardError = ClearHardError;
  return t;
}

int FakeBrightel::count(const std::string& call) const {
  return int(std::count(log.begin(), log.end(), call));
}

scanui::internal::BindResult FakeSource::load(scanui::internal::BrightelTable& table) {
  ++fake->loads;
  fake->log.push_back("load");
  table = fake->table();
  return scanui::internal::BindResult::Bound;
}

void FakeSource::unload() {
  ++fake->unloads;
  fake->log.push_back("unload");
}

}  // namespace scanui_test
