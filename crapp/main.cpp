// Halcyone, the CR acquisition program. Whether it runs a window at all is
// decided before any Qt application exists: "-connect" runs on hosts without a display.
#include <QApplication>
#include <QWidget>

#include <string>
#include <vector>

#include "crapp/app.h"
#include "crapp/datacontainer.h"
#include "crapp/internal/applog.h"
#include "log/log.h"
#include "platform/paths.h"

namespace {

// Stands in for the main dialog: its data container and one plain window.
void runDialog(int& argc, char** argv, const std::filesystem::path& programDir) {
  QApplication application(argc, argv);
  crapp::CDataContainer container(programDir);
  Log::setLogLevel(container.GetLogLevel());
  QWidget window;
  window.setObjectName("Halcyone");
  window.setWindowTitle("Halcyone");
  window.resize(640, 480);
  window.show();
  application.exec();
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
    case crapp::CHalcyoneApp::Start::RunDialog:
      runDialog(argc, argv, programDir);
      break;
  }
  return app.ExitInstance();
}
