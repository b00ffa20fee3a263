// The library's code in process, with the device library replaced by a fake,
// prompts answered by script and the settings file in a fresh directory.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "platform/qt/prompt.h"
#include "platform/qt/testing/input.h"
#include "scanui/internal/library.h"
#include "scanui/tests/fake_table.h"
#include "testsupport/testsupport.h"

namespace scanui_test {

using platform::qt::testing::chooseIn;
using platform::qt::testing::typeInto;

// A host that copies every image in its transfer-ready callback and, unless
// holding, releases it there. install() makes it the library's host.
struct TestHost {
  void install();
  void clear();
  void letGo();  // releases a held image
  int deliveries = 0;
  bool hold = false;
  bool onUiThread = true;
  scanui::ScanData data{};
  std::vector<std::uint8_t> pixels;
};

// True when the file is mapped into this process.
bool mapped(const std::filesystem::path& file);

// NDT_CONFIG_DIR for the length of a test.
class ConfigDir {
 public:
  ConfigDir();
  ~ConfigDir();
  std::filesystem::path ini() const { return dir_ / "Oskelu.INI"; }

 private:
  testsupport::TempDir dir_;
};

// A host's close-request callback: counts, then HideUI and TermUI as hosts do.
extern int closeRequests;
int onCloseHideAndTerm();

class ScanUiTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  scanui::internal::DigitizerConnection& connection() { return scanui::internal::library().connection; }
  // The dialog shown over `window` with fresh settings, `host` taking the
  // images and the dialog's timer stopped; null when InitUI or ShowUI fails.
  QWidget* openForScans(TestHost& host, QWidget& window);
  // Every box as "caption|text".
  std::vector<std::string> boxes() const;

  ConfigDir config;
  // An empty program directory for the CR link, so that the film road is taken.
  testsupport::TempDir noCrProgram;
  platform::qt::ScriptedPrompt prompts;
  FakeBrightel brightel;
};

}  // namespace scanui_test
