// Named mutexes across processes, auto-reset events and polled recursive locks.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

namespace platform {

// A mutex shared by every process of the user under one name: an flock on a lock
// file in the runtime directory that is never unlinked. The lock is per object,
// not per thread or process: two objects of one name exclude each other even in
// one process. The holder's death releases it, whatever the cause.
class NamedMutex {
 public:
  explicit NamedMutex(std::string name);
  ~NamedMutex();
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // False when the lock file cannot be made (then every acquisition fails).
  bool valid() const { return fd_ >= 0; }
  const std::string& name() const { return name_; }
  // The lock file, in the runtime directory.
  const std::filesystem::path& file() const { return file_; }
  // The errno of the last failure to make or lock the file; 0 when the last
  // failure was only that another holder has it.
  int error() const { return error_; }

  bool tryLock();
  bool lockFor(std::chrono::milliseconds timeout);
  bool lock();
  void unlock();
  bool locked() const { return locked_; }

  // The create-and-test form: takes the mutex when nobody holds it and keeps it
  // for the object's life. Returns false when it already existed (another
  // holder, error() 0) or could not be made (error() says why).
  bool createAndHold() { return tryLock(); }

 private:
  std::string name_;
  std::filesystem::path file_;
  int fd_ = -1;
  int error_ = 0;
  bool locked_ = false;
};

// An event that remembers one set until exactly one wait takes it.
class AutoResetEvent {
 public:
  AutoResetEvent() = default;
  AutoResetEvent(const AutoResetEvent&) = delete;
  AutoResetEvent& operator=(const AutoResetEvent&) = delete;

  void set();
  void reset();
  void wait();
  // True when the event was set within the time-out (and is now reset).
  bool waitFor(std::chrono::milliseconds timeout);

  // The event of that name within this process, made on first use.
  static std::shared_ptr<AutoResetEvent> named(const std::string& name);

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool signalled_ = false;
};

// A recursive lock for the critical sections that callers take by polling with
// a time-out, measured on the platform clock (so tests can run it instantly).
class PolledRecursiveLock {
 public:
  bool tryLock() { return mutex_.try_lock(); }
  // Polls every pollMs until the lock is taken or timeoutMs have passed.
  bool lockWithin(std::uint32_t timeoutMs, std::uint32_t pollMs = 1);
  void unlock() { mutex_.unlock(); }

 private:
  std::recursive_mutex mutex_;
};

}  // namespace platform
