// The engine's log lines: facility 25, filtered by the engine's own level, and
// written through a sink (the log library, or a recorder in tests).
#pragma once

#include <string>

namespace crengine {

inline constexpr int kLogFacility = 25;

// Where the lines go, and the log library's set-up the engine may touch.
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void write(int level, const std::string& line) = 0;
  // A line about a failing system call; `error` is the errno it reports.
  virtual void writeLastError(int level, const std::string& line, int error) = 0;
  virtual std::string logFileName() = 0;
  virtual void configureDefault(const std::string& directory) = 0;  // dir, daily, base "CR"
  virtual void setFacilityLevel(int level) = 0;
};

// The process's log sink: the log library unless a test installed another.
LogSink& logSink();
// Replaces the sink (null restores the default). The caller keeps it alive.
void setLogSink(LogSink* sink);

int engineLogLevel();
void setEngineLogLevel(int level);

void elog(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Keeps errno across the formatting and hands it to the sink.
void elogLastError(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace crengine
