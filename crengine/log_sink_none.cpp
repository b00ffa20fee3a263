// Default sink while the engine is built without the log library.
#include "crengine/internal/elog.h"

namespace crengine {
namespace {

class NoLogSink : public LogSink {
 public:
  void write(int, const std::string&) override {}
  void writeLastError(int, const std::string&, int) override {}
  std::string logFileName() override { return {}; }
  void configureDefault(const std::string&) override {}
  void setFacilityLevel(int) override {}
};

}  // namespace

LogSink& defaultLogSink() {
  static LogSink* sink = new NoLogSink;  // never destroyed: lines may come while the process ends
  return *sink;
}

}  // namespace crengine
