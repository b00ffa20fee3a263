#include "platform/sync.h"

#include "platform/clock.h"
#include "platform/paths.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace platform {
namespace {

// Lock file names keep to a safe alphabet whatever the mutex is called.
std::string lockFileName(const std::string& name) {
  std::string out = "mutex-";
  for (unsigned char c : name) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.')
      out += static_cast<char>(c);
    else {
      static const char hex[] = "0123456789abcdef";
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out + ".lock";
}

}  // namespace

NamedMutex::NamedMutex(std::string name) : name_(std::move(name)) {
  file_ = paths::runtimeDir() / lockFileName(name_);
  fd_ = ::open(file_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) error_ = errno;
}

NamedMutex::~NamedMutex() {
  if (fd_ >= 0) ::close(fd_);  // closing releases the flock
}

bool NamedMutex::tryLock() {
  if (fd_ < 0) return false;
  if (locked_) return true;
  while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EINTR) {
      error_ = errno == EWOULDBLOCK ? 0 : errno;
      return false;
    }
  }
  error_ = 0;
  locked_ = true;
  return true;
}

bool NamedMutex::lockFor(std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!tryLock()) {
    if (fd_ < 0 || std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

bool NamedMutex::lock() {
  if (fd_ < 0) return false;
  if (locked_) return true;
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) return false;
  }
  locked_ = true;
  return true;
}

void NamedMutex::unlock() {
  if (fd_ >= 0 && locked_) ::flock(fd_, LOCK_UN);
  locked_ = false;
}

void AutoResetEvent::set() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = true;
  }
  cv_.notify_one();
}

void AutoResetEvent::reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = false;
}

void AutoResetEvent::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  cv_.wait(lock, [this] { return signalled_; });
  signalled_ = false;
}

bool AutoResetEvent::waitFor(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!cv_.wait_for(lock, timeout, [this] { return signalled_; })) return false;
  signalled_ = false;
  return true;
}

std::shared_ptr<AutoResetEvent> AutoResetEvent::named(const std::string& name) {
  static std::mutex registryMutex;
  static std::map<std::string, std::weak_ptr<AutoResetEvent>> registry;
  std::lock_guard<std::mutex> lock(registryMutex);
  auto& slot = registry[name];
  if (auto existing = slot.lock()) return existing;
  auto made = std::make_shared<AutoResetEvent>();
  slot = made;
  return made;
}

bool PolledRecursiveLock::lockWithin(std::uint32_t timeoutMs, std::uint32_t pollMs) {
  std::uint32_t start = clock::tickCount();
  while (!mutex_.try_lock()) {
    if (clock::elapsedSince(start) >= timeoutMs) return false;
    clock::sleep(pollMs);
  }
  return true;
}

}  // namespace platform
