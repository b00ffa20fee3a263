// The CR program's start-up and shut-down: one instance per user, the shared
// log, the version lines, and the connection test of "-connect".
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/sync.h"

namespace crapp {

class CHalcyoneApp {
 public:
  // The program's arguments (argv[1..]); programDir holds its settings and logs.
  CHalcyoneApp(std::vector<std::string> args, std::filesystem::path programDir);
  ~CHalcyoneApp();

  // LockFailed: the instance lock could not be made at all (not another
  // instance); the process shows why, unless in connect mode, and ends with -1.
  enum class Start { SecondInstance, LockFailed, ConnectMode, RunDialog };
  // Takes the instance mutex, configures the log, writes the version lines and
  // decides what the process does. Makes no window.
  Start InitInstance();
  // Releases the instance mutex; in connect mode runs the connection test.
  // Returns the process's exit code.
  int ExitInstance();

  // After LockFailed: the folder the lock file belongs in, and the errno.
  std::filesystem::path lockFolder() const;
  int lockError() const { return lockError_; }

  // 1 when the CR engine initialises, else -1; the engine is always finished.
  static int CheckConnect();

  bool connectMode() const { return connectMode_; }

 private:
  void logVersionLines();

  std::vector<std::string> args_;
  std::filesystem::path programDir_;
  std::unique_ptr<platform::NamedMutex> instanceMutex_;
  bool connectMode_ = false;
  bool logReady_ = false;
  int lockError_ = 0;
};

// "-connect" only as the whole command line, exactly so.
bool isConnectCommandLine(const std::vector<std::string>& args);

}  // namespace crapp
