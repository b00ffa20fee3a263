#include "log/log.h"

#include "log/internal/format.h"
#include "platform/clock.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace Log {
namespace {

constexpr int kMaxNesting = 2;
constexpr auto kLockWait = std::chrono::milliseconds(2000);
constexpr int kOpenAttempts = 100;
constexpr std::uint32_t kOpenRetryMs = 10;
constexpr std::int64_t kOldDayInterval = 864000000000LL;  // 24 hours as a file time
constexpr std::size_t kMaxDirChars = 2048;
constexpr std::size_t kMaxBaseChars = 1023;
constexpr int kDefaultLevel = 3;
constexpr int kUnset = -10;
constexpr int kMaxLevel = 9;
constexpr int kMaxNumbered = 999;

// A recursive lock with a timed wait, measured on the steady clock. A release
// hands the lock to the longest waiter, so a thread that logs without pause
// cannot keep the others out past their time-out.
class RecursiveTimedLock {
 public:
  bool lockFor(std::chrono::milliseconds timeout) {
    std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(mutex_);
    if (depth_ > 0 && owner_ == self) {
      ++depth_;
      return true;
    }
    if (depth_ == 0 && waiters_.empty()) {
      owner_ = self;
      depth_ = 1;
      return true;
    }
    Waiter waiter;
    waiters_.push_back(&waiter);
    if (waiter.handedOver.wait_for(lock, timeout, [&] { return waiter.granted; })) return true;
    waiters_.erase(std::find(waiters_.begin(), waiters_.end(), &waiter));
    return false;
  }

  void unlock() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (depth_ == 0 || owner_ != std::this_thread::get_id()) return;
    if (--depth_ > 0) return;
    owner_ = std::thread::id();
    if (waiters_.empty()) return;
    Waiter* next = waiters_.front();
    waiters_.pop_front();
    owner_ = next->self;
    depth_ = 1;
    next->granted = true;
    next->handedOver.notify_one();
  }

 private:
  struct Waiter {
    std::thread::id self = std::this_thread::get_id();
    bool granted = false;
    std::condition_variable handedOver;
  };

  std::mutex mutex_;
  std::thread::id owner_;
  int depth_ = 0;
  std::deque<Waiter*> waiters_;
};

// The per-process lock of every writer and of directory and base changes. It is
// recursive because the open-failure report logs from inside a write; it is
// never destroyed, so a line written while the process ends still finds it.
RecursiveTimedLock& processLock() {
  static auto* lock = new RecursiveTimedLock;
  return *lock;
}

thread_local int nesting = 0;

std::atomic<Clogfile*> zeroInstance{nullptr};

// Counts the calling thread's depth in the writer, and leaves the caller's
// errno as it was, so a logLastError after a log call still reports the
// caller's error.
struct NestingGuard {
  NestingGuard() { ++nesting; }
  ~NestingGuard() {
    --nesting;
    errno = savedErrno;
  }
  bool tooDeep() const { return nesting > kMaxNesting; }
  int savedErrno = errno;
};

// Language-neutral text of a system error code, empty when there is none.
std::string systemMessage(int code) {
  const char* text = ::strerrordesc_np(code);
  return text ? std::string(text) : std::string();
}

void writeAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

// Creates every missing directory of an absolute or relative path, stopping at
// a component that exists as something else (the open then reports it).
void makeDirectories(const std::string& dir) {
  for (std::size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos != dir.size() && dir[pos] != '/') continue;
    std::string part = dir.substr(0, pos);
    struct stat st {};
    if (::stat(part.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) return;
      continue;
    }
    if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return;
  }
}

bool entryExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// Renames without replacing a file that appeared meanwhile (another process
// rotating the same log). False when the target exists.
bool renameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the flag: a hard link fails on an existing target too.
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return true;
  }
  if (errno == EEXIST) return false;
  if (entryExists(to)) return false;
  return ::rename(from.c_str(), to.c_str()) == 0;
}

// Names of the entries of a directory (none when it cannot be read).
template <typename Visit>
void forEachEntry(const std::string& dir, Visit visit) {
  std::error_code ec;
  std::filesystem::directory_iterator it(dir, ec), end;
  for (; !ec && it != end; it.increment(ec)) visit(it->path().filename().string());
}

// The free functions reach the protected writers of the process-wide instance.
struct Access : Clogfile {
  using Clogfile::log_internal;
  using Clogfile::logLastErrorInternal;
};

}  // namespace

LogLevel_t errorLogLevel() { return static_cast<LogLevel_t>(1); }
LogLevel_t exitLogLevel() { return static_cast<LogLevel_t>(0); }

Clogfile::Clogfile()
    : logDir_("."),
      baseName_("logFile"),
      daily_(false),
      facilityZero_(false),
      maxFileSize_(0),
      longDayNames_(false),
      newNameNeeded_(true),
      defaultLevel_(kDefaultLevel) {
  initFacilityLoglevel();
}

Clogfile::Clogfile(const Clogfile& other)
    : daily_(other.daily_.load()),
      facilityZero_(other.facilityZero_.load()),
      maxFileSize_(other.maxFileSize_.load()),
      longDayNames_(other.longDayNames_.load()),
      newNameNeeded_(other.newNameNeeded_.load()),
      defaultLevel_(other.defaultLevel_.load()) {
  {
    std::lock_guard<std::mutex> lock(other.stateMutex_);
    logDir_ = other.logDir_;
    baseName_ = other.baseName_;
    currentPath_ = other.currentPath_;
    nameYear_ = other.nameYear_;
    nameMonth_ = other.nameMonth_;
    nameDay_ = other.nameDay_;
  }
  for (int i = 0; i < kFacilities; ++i) levels_[i].store(other.levels_[i].load());
  // The copy opens its own file when it writes.
}

Clogfile::~Clogfile() { closeLogFile(); }

void Clogfile::initFacilityLoglevel() {
  for (auto& level : levels_) level.store(kUnset);
  levels_[0].store(kDefaultLevel);
}

int Clogfile::initLog() { return log("Logging started"); }
int Clogfile::initLogTmp() { return 0; }

int Clogfile::log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = log_internal(0, defaultLevel_.load(), format, args);
  va_end(args);
  return result;
}

int Clogfile::log(int code, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = log_internal(code / 100, code % 100, format, args);
  va_end(args);
  return result;
}

int Clogfile::log(int facility, int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = log_internal(facility, level, format, args);
  va_end(args);
  return result;
}

int Clogfile::logLastError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = logLastErrorInternal(0, errorLogLevel(), format, args);
  va_end(args);
  return result;
}

int Clogfile::logLastError(int code, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = logLastErrorInternal(code / 100, code % 100, format, args);
  va_end(args);
  return result;
}

int Clogfile::logLastError(int facility, int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = logLastErrorInternal(facility, level, format, args);
  va_end(args);
  return result;
}

int Clogfile::log_internal(int facility, int level, const char* format, va_list args) {
  NestingGuard guard;
  if (guard.tooDeep()) return 1;

  if (facility < 0 || facility >= kFacilities) facility = 0;
  int limit = levels_[facility].load();
  if (limit < 0) limit = levels_[0].load();
  if (level > limit) return 0;

  platform::clock::LocalTime now = platform::clock::localTime();
  std::string prefix = internal::linePrefix(now, static_cast<unsigned>(::gettid()), level, facility,
                                            facility != 0 || facilityZero_.load());
  // The prefix holds digits and fixed text only, so it can lead the caller's format.
  std::string lineFormat = prefix + (format ? format : "");
  char line[internal::kMaxLineChars + 3];
  int n = std::vsnprintf(line, internal::kMaxLineChars + 1, lineFormat.c_str(), args);
  std::size_t length;
  if (n >= 0) {
    length = std::min<std::size_t>(static_cast<std::size_t>(n), internal::kMaxLineChars);
  } else {  // an argument that cannot be converted: keep at least the stamp
    length = std::min<std::size_t>(prefix.size(), internal::kMaxLineChars);
    std::memcpy(line, prefix.data(), length);
  }
  line[length++] = '\r';
  line[length++] = '\n';

  if (getFinalLock()) {
    checkLogDate();
    // A report logged from inside a reopen closes the file when it is done.
    if (fileHandle_ >= 0 || openLogFile()) writeAll(fileHandle_, line, length);
    releaseFinalLock();
  }
  return 0;
}

int Clogfile::logLastErrorInternal(int facility, int level, const char* format, va_list args) {
  int code = errno;
  std::string withError = internal::lastErrorFormat(format, code, systemMessage(code));
  return log_internal(facility, level, withError.c_str(), args);
}

bool Clogfile::getFinalLock() {
  if (!processLock().lockFor(kLockWait)) return false;
  if (!openLogFile()) {
    processLock().unlock();
    return false;
  }
  return true;
}

void Clogfile::releaseFinalLock() {
  closeLogFile();
  processLock().unlock();
}

bool Clogfile::openLogFile() {
  makeDirectories(logDir_);
  return openLogFileInternal();
}

bool Clogfile::openLogFileInternal() {
  platform::clock::LocalTime now = platform::clock::localTime();
  // A daily file of a past day is not opened again only to be left at once
  // (it would be made anew after the month's clean-up deleted it).
  if (daily_.load() && (now.day != nameDay_ || now.month != nameMonth_ || now.year != nameYear_))
    newNameNeeded_.store(true);
  if (newNameNeeded_.load()) {
    char tail[64];
    if (!daily_.load())
      std::snprintf(tail, sizeof tail, "_%04d%02d%02d%02d%02d%02d.txt", now.year, now.month, now.day,
                    now.hour, now.minute, now.second);
    else if (longDayNames_.load())
      std::snprintf(tail, sizeof tail, "_%04d%02d_%02d.txt", now.year, now.month, now.day);
    else
      std::snprintf(tail, sizeof tail, "_%02d.txt", now.day);
    setCurrentPath(logDir_ + "/" + baseName_ + tail);
    nameYear_ = now.year;
    nameMonth_ = now.month;
    nameDay_ = now.day;
    newNameNeeded_.store(false);
  }

  if (longDayNames_.load()) deleteOldDayFiles();

  const std::string path = currentPath_;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    if (internal::olderThanAgeLimit(internal::fileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec),
                                    internal::fileTime(now)))
      deleteLogFiles(path);
    else
      resolveFileSize();
  }

  // Exclusive use of the file for one line: an flock, retried while another
  // process holds it. A lock won on a file that was renamed or deleted
  // meanwhile is given up, so the line lands under the current name.
  int fd = -1;
  int error = 0;
  for (int attempt = 1; attempt <= kOpenAttempts; ++attempt) {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) {
      error = errno;
      break;
    }
    int locked;
    while ((locked = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (locked == 0) {
      struct stat opened {}, named {};
      if (::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
          opened.st_ino == named.st_ino)
        break;
      error = EWOULDBLOCK;
    } else {
      error = errno;
    }
    ::close(fd);
    fd = -1;
    if (error != EWOULDBLOCK) break;
    if (attempt < kOpenAttempts) platform::clock::sleep(kOpenRetryMs);
  }
  if (fd < 0) {
    std::fprintf(stderr, "cannot open log file (%d)\n", error);
    errno = error;
    logLastError("cannot open log file '%s'", path.c_str());
    return false;
  }

  // O_APPEND keeps every write at the end of the file, whoever wrote last.
  if (fileHandle_ >= 0) ::close(fileHandle_);
  fileHandle_ = fd;
  fileOpen_ = true;
  return true;
}

void Clogfile::closeLogFile() {
  if (fileHandle_ >= 0) ::close(fileHandle_);
  fileHandle_ = -1;
  fileOpen_ = false;
}

void Clogfile::checkLogDate() {
  if (fileOpen_ && !daily_.load()) return;
  if (fileOpen_) {
    platform::clock::LocalTime now = platform::clock::localTime();
    if (now.day == nameDay_ && now.month == nameMonth_ && now.year == nameYear_) return;
  }
  newNameNeeded_.store(true);
  openLogFile();
}

std::string Clogfile::createNumberedLogFileName(const std::string& path, int number) {
  std::string stem = path.size() >= 4 ? path.substr(0, path.size() - 4) : path;
  char digits[16];
  std::snprintf(digits, sizeof digits, "%05d", number);
  return stem + "-" + digits + ".txt";
}

void Clogfile::resolveFileSize() {
  std::uint32_t limit = maxFileSize_.load();
  if (limit == 0) return;
  struct stat st {};
  if (::stat(currentPath_.c_str(), &st) != 0 || st.st_size <= static_cast<off_t>(limit)) return;
  for (int number = 1; number <= kMaxNumbered; ++number) {
    std::string numbered = createNumberedLogFileName(currentPath_, number);
    if (entryExists(numbered)) continue;
    if (renameNoReplace(currentPath_, numbered)) return;
    if (!entryExists(currentPath_)) return;  // another process moved it first
  }
}

void Clogfile::deleteLogFiles(const std::string& path) {
  ::unlink(path.c_str());
  std::filesystem::path file(path);
  std::string name = file.filename().string();
  std::string stem = name.size() >= 4 ? name.substr(0, name.size() - 4) : name;
  std::string dir = file.has_parent_path() ? file.parent_path().string() : std::string(".");
  forEachEntry(dir, [&](const std::string& entry) {
    if (internal::matchesWildcard(entry, stem + "-", ".txt")) ::unlink((dir + "/" + entry).c_str());
  });
}

void Clogfile::deleteOldDayFiles() {
  platform::clock::LocalTime now = platform::clock::localTime();
  std::int64_t nowTime = internal::fileTime(now);
  if (oldDayFilesChecked_ && nowTime - lastOldDayCheck_ < kOldDayInterval) return;
  oldDayFilesChecked_ = true;
  lastOldDayCheck_ = nowTime;
  const std::string cutoff = internal::oldDayCutoff(baseName_, now);
  forEachEntry(logDir_, [&](const std::string& entry) {
    if (internal::isYearMonthDayFile(entry, baseName_) && entry.compare(cutoff) <= 0)
      ::unlink((logDir_ + "/" + entry).c_str());
  });
}

void Clogfile::setCurrentPath(std::string path) {
  std::lock_guard<std::mutex> lock(stateMutex_);
  currentPath_ = std::move(path);
}

int Clogfile::setLogLevel(int level) {
  if (level < 0 || level > kMaxLevel) return 1;
  levels_[0].store(level);
  return 0;
}

int Clogfile::setLogLevel(int facility, int level) {
  if (facility < 0 || facility >= kFacilities || level > kMaxLevel) return 1;
  levels_[facility].store(level < 0 ? kUnset : level);
  return 0;
}

int Clogfile::getLogLevel() { return levels_[0].load(); }

int Clogfile::getLogLevel(int facility) {
  if (facility < 0 || facility >= kFacilities) return kUnset;
  return levels_[facility].load();
}

int Clogfile::setDefaultLogLevel(int level) {
  if (level < 0 || level > kMaxLevel) return 1;
  defaultLevel_.store(level);
  return 0;
}

int Clogfile::getDefaultLogLevel() { return defaultLevel_.load(); }

int Clogfile::setLogFileDir(const char* path) {
  if (path == nullptr || *path == '\0') return 1;
  std::error_code ec;
  std::filesystem::path full = std::filesystem::absolute(path, ec);
  if (ec) return 1;
  std::string dir = full.lexically_normal().string();
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  if (dir.size() > kMaxDirChars) return 1;
  if (!processLock().lockFor(kLockWait)) return 1;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    logDir_ = dir;
  }
  newNameNeeded_.store(true);
  processLock().unlock();
  return 0;
}

std::string Clogfile::getLogFileName() {
  std::lock_guard<std::mutex> lock(stateMutex_);
  return currentPath_;
}

std::string Clogfile::getLogFileDir() {
  std::lock_guard<std::mutex> lock(stateMutex_);
  return logDir_;
}

int Clogfile::setLogFileNameBase(const char* text) {
  if (text == nullptr || std::strlen(text) > kMaxBaseChars) return 1;
  if (!processLock().lockFor(kLockWait)) return 1;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    baseName_ = text;
  }
  newNameNeeded_.store(true);
  processLock().unlock();
  return 0;
}

int Clogfile::setDailyLogFile(bool daily) {
  daily_.store(daily);
  return 0;
}

bool Clogfile::getLogFileIsDaily() { return daily_.load(); }

int Clogfile::setLogFacilityZero(bool on) {
  facilityZero_.store(on);
  return 0;
}

int Clogfile::setMaxLogFileSize(std::uint32_t bytes) {
  maxFileSize_.store(bytes);
  return 0;
}

int Clogfile::setLongDayLogFileName(bool on) {
  longDayNames_.store(on);
  return 0;
}

Clogfile& getClogfileZero() {
  // Never destroyed: modules and threads may log until the process is gone.
  static Clogfile* instance = [] {
    auto* made = new Clogfile;
    zeroInstance.store(made);
    return made;
  }();
  return *instance;
}

namespace {

Clogfile& zero() { return getClogfileZero(); }

int forward(int facility, int level, const char* format, va_list args) {
  return (zero().*&Access::log_internal)(facility, level, format, args);
}

int forwardLastError(int facility, int level, const char* format, va_list args) {
  return (zero().*&Access::logLastErrorInternal)(facility, level, format, args);
}

// The process's last line, for the instance that somebody used.
__attribute__((destructor)) void logExiting() {
  if (Clogfile* instance = zeroInstance.load()) instance->log(0, 9, "Logging exiting...");
}

}  // namespace

int initLog() { return zero().initLog(); }
int initLogTmp() { return zero().initLogTmp(); }

int log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = forward(0, zero().getDefaultLogLevel(), format, args);
  va_end(args);
  return result;
}

int log(int code, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = forward(code / 100, code % 100, format, args);
  va_end(args);
  return result;
}

int log(int facility, int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = forward(facility, level, format, args);
  va_end(args);
  return result;
}

int logLastError(const char* format, ...) {
  int code = errno;  // va_start and the instance look-up leave it, but be sure
  va_list args;
  va_start(args, format);
  errno = code;
  int result = forwardLastError(0, errorLogLevel(), format, args);
  va_end(args);
  return result;
}

int logLastError(int code, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = forwardLastError(code / 100, code % 100, format, args);
  va_end(args);
  return result;
}

int logLastError(int facility, int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = forwardLastError(facility, level, format, args);
  va_end(args);
  return result;
}

int setLogLevel(int level) { return zero().setLogLevel(level); }
int setLogLevel(int facility, int level) { return zero().setLogLevel(facility, level); }
int getLogLevel() { return zero().getLogLevel(); }
int getLogLevel(int facility) { return zero().getLogLevel(facility); }
int setDefaultLogLevel(int level) { return zero().setDefaultLogLevel(level); }
int getDefaultLogLevel() { return zero().getDefaultLogLevel(); }
int setLogFileDir(const char* path) { return zero().setLogFileDir(path); }
std::string getLogFileName() { return zero().getLogFileName(); }
int setLogFileNameBase(const char* text) { return zero().setLogFileNameBase(text); }
int setDailyLogFile(bool daily) { return zero().setDailyLogFile(daily); }
bool getLogFileIsDaily() { return zero().getLogFileIsDaily(); }
int setLogFacilityZero(bool on) { return zero().setLogFacilityZero(on); }
int setMaxLogFileSize(std::uint32_t bytes) { return zero().setMaxLogFileSize(bytes); }
int setLongDayLogFileName(bool on) { return zero().setLongDayLogFileName(on); }

}  // namespace Log
