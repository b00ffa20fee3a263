// Test doubles: a log recorder, an in-process CR reader behind a table loader,
// and a fixture that installs a fresh engine for each test.
#pragma once

#include "crengine/internal/elog.h"
#include "crengine/internal/exports.h"
#include "crengine/internal/scanclass.h"
#include "devapi/cr/zentrac_functions.h"
#include "devapi/records.h"

#include "platform/clock.h"
#include "platform/messages.h"
#include "testsupport/testsupport.h"

#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace crtest {

class RecordingSink : public crengine::LogSink {
 public:
  void write(int level, const std::string& line) override;
  void writeLastError(int level, const std::string& line, int error) override;
  std::string logFileName() override;
  void configureDefault(const std::string& directory) override;
  void setFacilityLevel(int level) override;

  bool contains(const std::string& text);
  int count(const std::string& text);
  std::vector<std::string> lines();

  std::mutex mutex;
  std::vector<std::pair<int, std::string>> entries;
  // Runs on the writing thread after a line is kept.
  std::function<void(const std::string&)> onWrite;
  std::string fileName;
  std::string configuredDirectory;
  int facilityLevel = -1;
};

// The reader behind the in-process fake functions. Process-wide, as the
// functions are plain pointers; never destroyed, so a thread given up inside
// a call cannot outlive it.
struct FakeReader {
  std::mutex mutex;
  devapi::ScanCondition condition{};
  devapi::KtGOption option{};
  devapi::DeviceNewParam lastNew{};
  devapi::ScanCondition lastSet{};
  devapi::KtGOption lastOption{};
  devapi::BlockScanParam lastScan{};
  int blocksDone = 0;
  bool failNew = false;
  bool failGetCondition = false;
  bool failSetCondition = false;
  bool failScanM = false;
  bool failGetScanStatus = false;
  bool failSetOption = false;
  std::uint16_t errorCode = 0;
  std::string errorText;
  std::vector<std::string> calls;

  // The call of this name ("GetCondition", "GetScanStatusM", "EightLine")
  // waits inside the reader until released, holding whatever locks it holds.
  std::string holdCall;
  bool insideHeldCall = false;
  std::condition_variable cv;

  void reset();
  void release();
  bool waitUntilHeld(int ms);
  int callCount(const std::string& name);
};
FakeReader& fake();

// The pixel the fake reader writes at a block's index.
std::uint16_t fakePixel(std::uint32_t block, std::size_t index);

// Hands out the fake functions by name; names in `missing` are not found.
std::unique_ptr<crengine::DeviceLoader> makeFakeLoader(std::set<std::string> missing = {});

struct Notification {
  std::uint32_t id;
  std::intptr_t lParam;
  bool operator==(const Notification&) const = default;
};

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A fresh engine over `ini` (the text of HalcyoneHard.ini in the temporary directory).
  void makeEngine(const std::string& ini, bool startThread = false, std::set<std::string> missing = {});
  crengine::ScanClass& eng() { return crengine::engine(); }
  std::vector<Notification> pump();
  std::uint32_t lastError();

  platform::clock::FakeSource clock;
  RecordingSink sink;
  testsupport::TempDir dir;
  std::vector<Notification> received;
  std::unique_ptr<platform::QueueTarget> target;
  crengine::EngineConfig config;  // fields copied into each new engine

 private:
  std::unique_ptr<platform::clock::ScopedSource> scoped_;
};

}  // namespace crtest
