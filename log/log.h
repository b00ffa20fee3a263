// The log library: levelled, facility-tagged text lines in time-stamped or
// daily files, one process-wide writer shared by every module of a process.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <mutex>
#include <string>

#define NDT_LOG_EXPORT __attribute__((visibility("default")))

namespace Log {

// Levels are plain numbers 0 to 9; the two named ones come from the functions below.
enum LogLevel_t : int {};

// The level of every logLastError call without an explicit level (1).
NDT_LOG_EXPORT LogLevel_t errorLogLevel();
// The level of start and end messages (0).
NDT_LOG_EXPORT LogLevel_t exitLogLevel();

class NDT_LOG_EXPORT Clogfile {
 public:
  Clogfile();
  Clogfile(const Clogfile& other);
  virtual ~Clogfile();

  // Writes "Logging started"; 0, or the system error code when the lock cannot be made.
  int initLog();
  int initLogTmp();

  // 0 when written or filtered, 1 when dropped for nesting.
  int log(const char* format, ...) __attribute__((format(printf, 2, 3)));
  int log(int code, const char* format, ...) __attribute__((format(printf, 3, 4)));
  int log(int facility, int level, const char* format, ...) __attribute__((format(printf, 4, 5)));
  // As log, with " -- <code>:<text>" of the last system error appended.
  int logLastError(const char* format, ...) __attribute__((format(printf, 2, 3)));
  int logLastError(int code, const char* format, ...) __attribute__((format(printf, 3, 4)));
  int logLastError(int facility, int level, const char* format, ...)
      __attribute__((format(printf, 4, 5)));

  // Setters return 0 when done, 1 when rejected.
  int setLogLevel(int level);
  int setLogLevel(int facility, int level);
  int getLogLevel();
  int getLogLevel(int facility);
  int setDefaultLogLevel(int level);
  int getDefaultLogLevel();
  int setLogFileDir(const char* path);
  std::string getLogFileName();
  int setLogFileNameBase(const char* text);
  int setDailyLogFile(bool daily);
  bool getLogFileIsDaily();
  int setLogFacilityZero(bool on);
  int setMaxLogFileSize(std::uint32_t bytes);
  int setLongDayLogFileName(bool on);

 protected:
  int log_internal(int facility, int level, const char* format, va_list args);
  int logLastErrorInternal(int facility, int level, const char* format, va_list args);
  bool getFinalLock();
  void releaseFinalLock();
  bool openLogFile();
  bool openLogFileInternal();
  void closeLogFile();
  void checkLogDate();
  std::string createNumberedLogFileName(const std::string& path, int number);
  void resolveFileSize();
  void deleteLogFiles(const std::string& path);
  void deleteOldDayFiles();
  void initFacilityLoglevel();
  std::string getLogFileDir();

 private:
  static constexpr int kFacilities = 101;  // facilities 0 to 100

  Clogfile& operator=(const Clogfile&) { return *this; }

  void setCurrentPath(std::string path);

  // Directory, base and current path change under the process lock and
  // stateMutex_; readers outside the process lock take stateMutex_.
  mutable std::mutex stateMutex_;
  std::string logDir_;
  std::string baseName_;
  std::string currentPath_;
  std::atomic<bool> daily_;
  bool fileOpen_ = false;
  std::atomic<bool> facilityZero_;
  std::atomic<std::uint32_t> maxFileSize_;
  std::atomic<bool> longDayNames_;
  std::atomic<bool> newNameNeeded_;
  int fileHandle_ = -1;
  // The date of the current name: a switch needs year and month as well as the day.
  int nameYear_ = 0;
  int nameMonth_ = 0;
  int nameDay_ = 0;
  std::atomic<int> levels_[kFacilities];
  std::atomic<int> defaultLevel_;
  bool oldDayFilesChecked_ = false;
  std::int64_t lastOldDayCheck_ = 0;  // file time of the last clean-up
};

// The process-wide instance: made on first use and never destroyed.
NDT_LOG_EXPORT Clogfile& getClogfileZero();

// Each acts on the process-wide instance.
NDT_LOG_EXPORT int initLog();
NDT_LOG_EXPORT int initLogTmp();
NDT_LOG_EXPORT int log(const char* format, ...) __attribute__((format(printf, 1, 2)));
NDT_LOG_EXPORT int log(int code, const char* format, ...) __attribute__((format(printf, 2, 3)));
NDT_LOG_EXPORT int log(int facility, int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
NDT_LOG_EXPORT int logLastError(const char* format, ...) __attribute__((format(printf, 1, 2)));
NDT_LOG_EXPORT int logLastError(int code, const char* format, ...) __attribute__((format(printf, 2, 3)));
NDT_LOG_EXPORT int logLastError(int facility, int level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
NDT_LOG_EXPORT int setLogLevel(int level);
NDT_LOG_EXPORT int setLogLevel(int facility, int level);
NDT_LOG_EXPORT int getLogLevel();
NDT_LOG_EXPORT int getLogLevel(int facility);
NDT_LOG_EXPORT int setDefaultLogLevel(int level);
NDT_LOG_EXPORT int getDefaultLogLevel();
NDT_LOG_EXPORT int setLogFileDir(const char* path);
NDT_LOG_EXPORT std::string getLogFileName();
NDT_LOG_EXPORT int setLogFileNameBase(const char* text);
NDT_LOG_EXPORT int setDailyLogFile(bool daily);
NDT_LOG_EXPORT bool getLogFileIsDaily();
NDT_LOG_EXPORT int setLogFacilityZero(bool on);
NDT_LOG_EXPORT int setMaxLogFileSize(std::uint32_t bytes);
NDT_LOG_EXPORT int setLongDayLogFileName(bool on);

}  // namespace Log
