// The default sink: the shared log library, facility 25.
#include "crengine/internal/elog.h"

#include "log/log.h"

#include <cerrno>

namespace crengine {
namespace {

class LibrarySink : public LogSink {
 public:
  void write(int level, const std::string& line) override { Log::log(kLogFacility, level, "%s", line.c_str()); }
  void writeLastError(int level, const std::string& line, int error) override {
    errno = error;
    Log::logLastError(kLogFacility, level, "%s", line.c_str());
  }
  std::string logFileName() override { return Log::getLogFileName(); }
  void configureDefault(const std::string& directory) override {
    Log::setLogFileDir(directory.c_str());
    Log::setDailyLogFile(true);
    Log::setLogFileNameBase("CR");
  }
  void setFacilityLevel(int level) override { Log::setLogLevel(kLogFacility, level); }
};

}  // namespace

LogSink& defaultLogSink() {
  static LogSink* sink = new LibrarySink;  // never destroyed: lines may come while the process ends
  return *sink;
}

}  // namespace crengine
