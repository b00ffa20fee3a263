// Halcyone, the CR acquisition program. Whether it runs a window at all is
// decided before any Qt application exists: "-connect" runs on hosts without a display.
#include <QApplication>

#include <string>
#include <vector>

#include "crapp/app.h"
#include "crapp/datacontainer.h"
#include "crapp/dialog.h"
#include "log/log.h"
#include "platform/paths.h"

namespace {

void runDialog(int& argc, char** argv, const std::filesystem::path& programDir) {
  QApplication application(argc, argv);
  crapp::CHalcyoneDlg dialog(programDir);
  if (dialog.initFailed()) return;
  Log::setLogLevel(dialog.container()->GetLogLevel());
  if (dialog.OnInitDialog()) dialog.exec();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const std::filesystem::path programDir = platform::paths::programDir();
  crapp::CHalcyoneApp app(args, programDir);
  switch (app.InitInstance()) {
    case crapp::CHalcyoneApp::Start::SecondInstance:
    case crapp::CHalcyoneApp::Start::ConnectMode:
      break;
    case crapp::CHalcyoneApp::Start::LockFailed:
      // "-connect" runs without a display: its log line and exit code say it.
      if (!app.connectMode()) {
        QApplication application(argc, argv);
        crapp::showStartFailure(nullptr, crapp::lockFailureText(app.lockFolder(), app.lockError()));
      }
      break;
    case crapp::CHalcyoneApp::Start::RunDialog:
      runDialog(argc, argv, programDir);
      break;
  }
  return app.ExitInstance();
}
