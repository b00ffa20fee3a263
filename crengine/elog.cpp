#include "crengine/internal/elog.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>

namespace crengine {

LogSink& defaultLogSink();  // log_sink.cpp

namespace {

std::atomic<LogSink*> installed{nullptr};
std::atomic<int> level{6};

std::string format(const char* fmt, va_list args) {
  char buffer[1024];
  int n = std::vsnprintf(buffer, sizeof buffer, fmt, args);
  if (n < 0) return {};
  std::string line(buffer, n < int(sizeof buffer) ? std::size_t(n) : sizeof buffer - 1);
  if (!line.empty() && line.back() == '\n') line.pop_back();
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

LogSink& logSink() {
  LogSink* s = installed.load(std::memory_order_acquire);
  return s ? *s : defaultLogSink();
}

void setLogSink(LogSink* sink) { installed.store(sink, std::memory_order_release); }

int engineLogLevel() { return level.load(); }
void setEngineLogLevel(int l) { level.store(l); }

void elog(int lineLevel, const char* fmt, ...) {
  if (lineLevel > level.load()) return;
  va_list args;
  va_start(args, fmt);
  std::string line = format(fmt, args);
  va_end(args);
  logSink().write(lineLevel, line);
}

void elogLastError(int lineLevel, const char* fmt, ...) {
  int error = errno;
  if (lineLevel > level.load()) return;
  va_list args;
  va_start(args, fmt);
  std::string line = format(fmt, args);
  va_end(args);
  logSink().writeLastError(lineLevel, line, error);
  errno = error;
}

}  // namespace crengine
