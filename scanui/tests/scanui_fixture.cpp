#include "scanui/tests/scanui_fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QThread>
#include <QTimer>
#include <QLineEdit>
#include <QTest>
#include <cstdlib>

#include "platform/paths.h"
#include "platform/qt/control.h"

namespace scanui_test {

int closeRequests = 0;
int onCloseHideAndTerm() {
  ++closeRequests;
  HideUI(0);
  TermUI(0);
  return 7;
}

namespace {
TestHost* host = nullptr;

int onTransferReady() {
  if (host == nullptr) return 0;
  ++host->deliveries;
  host->onUiThread = host->onUiThread && QThread::currentThread() == qApp->thread();
  GetScanData(&host->data);
  const std::size_t bytes = std::size_t(host->data.width) * host->data.height * host->data.bytesPerPixel;
  const auto* p = static_cast<const std::uint8_t*>(host->data.pixels);
  host->pixels.assign(p, p + bytes);
  if (!host->hold) ReleaseScanData(&host->data);
  return 0;
}
}  // namespace

void TestHost::install() {
  host = this;
  SetDSProcAddress(onTransferReady, nullptr);
}

void TestHost::clear() {
  letGo();
  deliveries = 0;
  hold = false;
  onUiThread = true;
  data = {};
  pixels.clear();
}

void TestHost::letGo() {
  if (data.pixels != nullptr) ReleaseScanData(&data);
}

bool mapped(const std::filesystem::path& file) {
  std::error_code ec;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(file, ec);
  return testsupport::readFile("/proc/self/maps").find(canonical.string()) != std::string::npos;
}

ConfigDir::ConfigDir() { ::setenv("NDT_CONFIG_DIR", dir_.path().c_str(), 1); }
ConfigDir::~ConfigDir() { ::unsetenv("NDT_CONFIG_DIR"); }

void ScanUiTest::SetUp() {
  fake = &brightel;
  // One device on adapter 0 with id 5, as the real library reports it.
  brightel.devices["TRESSOLA/KT7163"] = {{0, 5}};
  connection().setSource(std::make_unique<FakeSource>());
  scanui::internal::library().crLink.setProgramDir(noCrProgram.path());
}

void ScanUiTest::TearDown() {
  TermUI(0);
  auto& lib = scanui::internal::library();
  lib.connection.setSource(std::make_unique<scanui::internal::BrightelLibrary>(lib.brightelPath));
  lib.mode = scanui::SOURCE_NONE;
  lib.current = nullptr;
  lib.crLink.setProgramDir(platform::paths::programDir());
  SetDSProcAddress(nullptr, nullptr);
  host = nullptr;
  EnableDICOMField(nullptr, 0, 0);
  fake = nullptr;
}

QWidget* ScanUiTest::openForScans(TestHost& host, QWidget& window) {
  host.install();
  auto& dialog = scanui::internal::library().dialog;
  dialog.settings() = {};
  dialog.preview().reset();
  if (InitUI(0) != 1) return nullptr;
  auto* w = static_cast<QWidget*>(ShowUI(&window, nullptr));
  // The test's ticks are the dialog's only clock.
  if (w != nullptr)
    for (QTimer* t : w->findChildren<QTimer*>(Qt::FindDirectChildrenOnly)) t->stop();
  return w;
}

std::vector<std::string> ScanUiTest::boxes() const {
  std::vector<std::string> out;
  for (const auto& a : prompts.asked) out.push_back((a.caption + "|" + a.text).toStdString());
  return out;
}

}  // namespace scanui_test
