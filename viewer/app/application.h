// The viewer's application object: start-up, the process-wide settings, the
// work root, the application's commands and the write-back at exit.
#pragma once
#include <QPointer>
#include <QStringList>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "viewer/app/format_prompt.h"
#include "viewer/app/settings.h"

class QWidget;

namespace viewer::app {

class MainWindow;
class CTivolaDoc;

struct StartEnvironment {
  std::filesystem::path iniPath;   // the ini file beside the program
  std::filesystem::path startDir;  // the current directory at start
  std::function<const char*(const char*)> getenv;
  std::time_t now = 0;
  bool splash = true;
};

// The ini file beside the running program, the current directory, the real
// environment and the current time.
StartEnvironment processEnvironment();

class TivolaApp {
 public:
  TivolaApp();
  ~TivolaApp();
  TivolaApp(const TivolaApp&) = delete;
  TivolaApp& operator=(const TivolaApp&) = delete;

  // args: the command line after the program name. False ends the program.
  bool initInstance(const QStringList& args, const StartEnvironment& env);
  // Writes the settings back.
  void exitInstance();

  void fileOpen();
  // Opens the chosen files onto the end of a document and tells its views.
  bool openAndAdd(CTivolaDoc& doc);
  // Scans films into a new document (command 32813).
  void newScan();
  void option();
  void about();
  bool openDocumentFile(const std::string& path, bool dropped = false);

  MainWindow* mainWindow() const { return main_.get(); }
  Settings settings;
  std::filesystem::path workRoot;
  std::filesystem::path startDir;

 private:
  // The open dialog's selection; empty when cancelled.
  std::vector<std::string> chooseFilesToOpen();
  StartEnvironment env_;
  FormatPrompt formatPrompt_;
  std::unique_ptr<MainWindow> main_;
  QPointer<QWidget> splash_;
  std::unique_ptr<CTivolaDoc> scanned_;  // waits for the posted File New
};

}  // namespace viewer::app
