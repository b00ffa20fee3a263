#include "crapp/app.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <system_error>

#include "crapp/internal/applog.h"
#include "crengine/quorin.h"
#include "log/log.h"
#include "platform/paths.h"
#include "platform/version.h"

namespace crapp {
namespace {

namespace fs = std::filesystem;

// The file's last-modified time, or empty when it is missing.
std::string fileTimeStamp(const fs::path& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return {};
  std::tm t{};
  localtime_r(&st.st_mtime, &t);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &t);
  return text;
}

// Where the loader found the engine and the log library: the suite's libraries
// live together, one level above the program's own folder.
fs::path libraryDir() {
  return platform::paths::moduleDir(reinterpret_cast<const void*>(&QuorinScannerInintialize));
}

}  // namespace

bool isConnectCommandLine(const std::vector<std::string>& args) {
  return args.size() == 1 && args[0] == "-connect";
}

CHalcyoneApp::CHalcyoneApp(std::vector<std::string> args, fs::path programDir)
    : args_(std::move(args)), programDir_(std::move(programDir)) {}

CHalcyoneApp::~CHalcyoneApp() = default;

CHalcyoneApp::Start CHalcyoneApp::InitInstance() {
  instanceMutex_ = std::make_unique<platform::NamedMutex>("Halcyone");
  if (!instanceMutex_->createAndHold()) {
    // Only another holder means another instance; a lock that cannot be made
    // must not pass for one, or the program would end without a word.
    if (instanceMutex_->error() == 0) return Start::SecondInstance;
    lockError_ = instanceMutex_->error();
  }

  const fs::path logDir = platform::paths::resolve(".\\halcLog", programDir_).lexically_normal();
  std::error_code ec;
  fs::create_directories(logDir, ec);
  logReady_ = true;
  Log::setDailyLogFile(true);
  Log::setLogFileDir(logDir.c_str());
  Log::setLogFileNameBase("Halcyone");
  Log::setLogLevel(9);
  appLog(0, "%s", std::string(74, '-').c_str());
  appLog(0, "#### Start Halcyone ####");
  logVersionLines();

  if (lockError_ != 0) {
    connectMode_ = isConnectCommandLine(args_);
    appLog(1, "---CHalcyoneApp::InitInstance: Cannot make the instance lock in %s: %s", lockFolder().c_str(),
           std::strerror(lockError_));
    return Start::LockFailed;
  }
  if (isConnectCommandLine(args_)) {
    connectMode_ = true;
    appLog(0, " -Execution of checking Connect");
    return Start::ConnectMode;
  }
  return Start::RunDialog;
}

fs::path CHalcyoneApp::lockFolder() const {
  return instanceMutex_ ? instanceMutex_->file().parent_path() : fs::path();
}

void CHalcyoneApp::logVersionLines() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  // The program carries its version; the libraries carry no version block
  // that could be read from their files.
  appLog(0, " -exefile=%s  version=%s  timestmp=%s", exe.c_str(), platform::kVersion,
         fileTimeStamp(exe).c_str());
  const fs::path dir = libraryDir();
  for (const char* name : {"libQuorin2.so", "libLog.so", "libTrevanil.so"}) {
    const fs::path file = dir / name;
    appLog(0, " -dllfile=%s  version=%s  timestmp=%s", file.c_str(), "", fileTimeStamp(file).c_str());
  }
}

int CHalcyoneApp::ExitInstance() {
  if (instanceMutex_) {
    instanceMutex_->unlock();
    instanceMutex_.reset();
  }
  if (lockError_ != 0) {
    if (logReady_) appLog(0, "#### End Halcyone #### [ExitInstance]  ret = %d", -1);
    return -1;
  }
  if (connectMode_) {
    const int result = CheckConnect();
    if (logReady_) appLog(0, "#### End Halcyone #### [ExitInstance]  ret = %d", result);
    return result;
  }
  if (logReady_) appLog(0, "#### End Halcyone #### [ExitInstance]");
  return 0;
}

int CHalcyoneApp::CheckConnect() {
  const bool connected = QuorinScannerInintialize(0) != 0;
  if (connected) {
    appLog(0, "---CheckConnect::Connect OK");
  } else {
    char text[512] = {};
    int code = 0;
    if (QuorinGetErrorInformation(&code, text)) {
      text[sizeof text - 1] = '\0';
      char info[600];
      std::snprintf(info, sizeof info, "%08Xh : %s", static_cast<unsigned>(code), text);
      appLog(6, "---CheckConnect::Connect NG [Error info(%s)]", info);
    } else {
      appLog(6, "---CheckConnect::Connect NG [Not be able to get error info.]");
    }
  }
  QuorinScannerFinish();
  return connected ? 1 : -1;
}

}  // namespace crapp
