// Stands in for the CR program where nobody presses its buttons: "-connect"
// goes to the real program beside it; any other start scans one plate in the
// real dialog, offscreen, over the real engine and the simulated reader that
// NDT_USB names, saves it through the real export and exits.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "crapp/app.h"
#include "crapp/datacontainer.h"
#include "crapp/dialog.h"
#include "crengine/quorin.h"
#include "log/log.h"
#include "platform/paths.h"
#include "platform/qt/control.h"
#include "platform/qt/prompt.h"
#include "simulator/sim.h"
#include "testsupport/pump.h"
#include "testsupport/simulated_plate.h"
#include "tools/demo/cr_plate.h"
#include "tools/demo/tree.h"

namespace {
std::shared_ptr<platform::usb::Port> lentPort;
}

// The reader library takes the bus from here, so that this program can ask
// the simulated reader what it rendered.
extern "C" __attribute__((visibility("default"))) void* ndt_usb_host_port() { return &lentPort; }

namespace {

namespace fs = std::filesystem;
using crapp::CHalcyoneDlg;

using testsupport::pumpUntil;

bool writeBytes(const fs::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  return bool(out);
}

template <typename T>
T* control(QWidget* root, int id) {
  return platform::qt::control<T>(root, id);
}

// The plate scanned, its expectation computed and the set saved; "" or what went wrong.
std::string scanOnePlate(CHalcyoneDlg& dlg, sim::Scanner& reader, const fs::path& results) {
  auto* scan = control<QPushButton>(&dlg, crapp::IDC_BTN_SCAN);
  auto* close = control<QPushButton>(&dlg, crapp::IDC_BTN_CLOSE);
  auto* status = control<QLabel>(&dlg, crapp::IDC_STATUS);
  auto* sizes = control<QComboBox>(&dlg, crapp::IDC_COMBO_IPSIZE);
  auto* pitch = control<QComboBox>(&dlg, crapp::IDC_COMBO_PITCH);
  if (!scan || !close || !status || !sizes || !pitch) return "a control of the CR program's window is missing";
  // Scan is enabled once the reader reports a plate in place.
  if (!pumpUntil([&] { return scan->isEnabled(); }, 120000)) return "the reader never reported a plate";
  const int strip = sizes->findText("Strip");
  if (strip < 0) return "the plate sizes offer no Strip";
  sizes->setCurrentIndex(strip);
  pitch->setCurrentText("200");
  control<QLineEdit>(&dlg, crapp::IDC_EDIT_ID)->setText(demo::plate::kId);
  control<QLineEdit>(&dlg, crapp::IDC_EDIT_NAME)->setText(demo::plate::kName);
  control<QLineEdit>(&dlg, crapp::IDC_EDIT_DESCRIPTION)->setText(demo::plate::kDescription);
  scan->click();
  if (!pumpUntil([&] { return close->isEnabled(); }, 300000)) return "the scan never ended";
  if (status->text() != "End of scan.") return "the scan ended with \"" + status->text().toStdString() + "\"";

  // The plate in the preview, for a person to look at.
  if (!dlg.grab().save(QString::fromStdString((results / demo::plate::kScreenshot).string())))
    return "cannot save the screenshot";

  get_scan_para got{};
  if (QuorinGetScanPara(&got) != 1) return "the engine does not describe its scan";
  const std::string rendered = testsupport::renderedPlate(reader, got);
  std::string fault;
  const auto expected = testsupport::lineCorrected(
      rendered, got, platform::paths::programDir().parent_path() / "libZentrac.so", &fault);
  if (!expected) return fault;
  if (!writeBytes(results / demo::plate::kRendered, rendered) || !writeBytes(results / demo::plate::kExpected, *expected))
    return "cannot write the plates into " + results.string();

  control<QPushButton>(&dlg, crapp::IDC_BTN_SAVE)->click();
  if (status->text() != "End of saving data.")
    return "the save ended with \"" + status->text().toStdString() + "\"";
  const fs::path exported = dlg.container()->lastExportedFile();
  std::error_code ec;
  fs::copy_file(exported, results / demo::plate::kExportCopy, fs::copy_options::overwrite_existing, ec);
  if (ec || !writeBytes(results / demo::plate::kExportName, exported.filename().string()))
    return "cannot keep a copy of " + exported.string();
  close->click();
  return dlg.isVisible() ? "the window did not close" : "";
}

int run(int argc, char** argv, const fs::path& programDir) {
  const char* resultsDir = std::getenv(demo::plate::kResultsVariable);
  const fs::path results = resultsDir ? fs::path(resultsDir) : programDir;
  std::error_code ec;
  fs::remove(results / demo::plate::kFault, ec);
  auto fail = [&](const std::string& why) {
    writeBytes(results / demo::plate::kFault, why + "\n");
    std::fprintf(stderr, "Halcyone stand-in: %s\n", why.c_str());
    return 1;
  };

  std::string error;
  auto bus = sim::busFromEnvironment(&error);
  if (!bus) return fail("no simulated bus: " + error);
  std::vector<sim::Scanner> readers = bus->scanners();
  if (readers.size() != 1) return fail("the simulated bus holds no single CR reader");
  lentPort = bus;

  // Nobody looks at this window while it works.
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  platform::qt::ScriptedPrompt prompt;
  prompt.answers = {platform::qt::Answer::No};  // no retry when the reader is missing
  std::string fault;
  {
    CHalcyoneDlg dlg(programDir);
    if (dlg.initFailed()) return fail("the CR program's window could not be made");
    Log::setLogLevel(dlg.container()->GetLogLevel());
    if (!dlg.OnInitDialog()) return fail("the CR engine did not start");
    dlg.show();
    fault = scanOnePlate(dlg, readers[0], results);
  }
  lentPort.reset();
  for (const auto& asked : prompt.asked) fault += "\nasked: " + asked.text.toStdString();
  return fault.empty() && prompt.asked.empty() ? 0 : fail(fault);
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path programDir = platform::paths::programDir();
  std::vector<std::string> args(argv + 1, argv + argc);
  if (crapp::isConnectCommandLine(args)) {
    const std::string real = (programDir / demo::kRealCrProgram).string();
    ::execl(real.c_str(), real.c_str(), "-connect", static_cast<char*>(nullptr));
    std::perror(real.c_str());
    return -1;
  }
  crapp::CHalcyoneApp app(args, programDir);
  if (app.InitInstance() != crapp::CHalcyoneApp::Start::RunDialog) return app.ExitInstance();
  const int result = run(argc, argv, programDir);
  app.ExitInstance();
  return result;
}
