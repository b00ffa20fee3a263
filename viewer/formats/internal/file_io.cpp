#include "viewer/formats/internal/file_io.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace viewer::formats::internal {

namespace {
constexpr std::size_t kBufferSize = 65536;
// Why the last output file opened on this thread failed; 0 while it has not.
thread_local int t_lastError = 0;

// Records the failure of a system call, or no room when one wrote nothing.
void noteFailure(bool wroteNothing = false) {
  if (t_lastError == 0) t_lastError = wroteNothing || errno == 0 ? ENOSPC : errno;
}
}  // namespace

int OutputFile::lastError() { return t_lastError; }

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool InputFile::open(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return false;
  struct stat st{};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  size_ = std::uint64_t(st.st_size);
  return true;
}

std::size_t InputFile::readAt(std::uint64_t offset, void* dest, std::size_t n) const {
  if (fd_ < 0 || offset >= size_) return 0;
  if (n > size_ - offset) n = std::size_t(size_ - offset);
  std::size_t done = 0;
  auto* out = static_cast<std::uint8_t*>(dest);
  while (done < n) {
    const ssize_t r = ::pread(fd_, out + done, n - done, off_t(offset + done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    done += std::size_t(r);
  }
  return done;
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) discard();
}

namespace {

// A name beside the target that no other writer, thread or process, takes.
std::string temporaryNameFor(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  static const unsigned salt = std::random_device{}();
  const auto slash = target.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  // Cut so that the marks added still fit a file name's 255 bytes.
  const std::string name = (slash == std::string::npos ? target : target.substr(slash + 1)).substr(0, 200);
  return folder + "." + name + ".part" + std::to_string(::getpid()) + "-" +
         std::to_string(salt ^ counter.fetch_add(1, std::memory_order_relaxed));
}

}  // namespace

bool OutputFile::open(const std::string& path) {
  if (fd_ >= 0) return false;
  t_lastError = 0;
  // A link is followed, so the file it names is replaced and the link stays.
  std::string target = path;
  std::error_code ec;
  if (std::filesystem::is_symlink(path, ec)) {
    const auto resolved = std::filesystem::weakly_canonical(path, ec);
    if (!ec) target = resolved.string();
  }
  // The old file stays whole until the new one is: everything goes to a
  // temporary file beside it, renamed over it only once complete.
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    temporary_ = temporaryNameFor(target);
    fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) {
    noteFailure();
    temporary_.clear();
    return false;
  }
  // A replaced file keeps its permissions.
  struct stat st{};
  if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::fchmod(fd_, st.st_mode & 07777);
  path_ = target;
  buffer_.reserve(kBufferSize);
  return true;
}

namespace {
bool writeAll(int fd, const std::uint8_t* p, std::size_t n) {
  while (n) {
    const ssize_t r = ::write(fd, p, n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      noteFailure(r == 0);
      return false;
    }
    p += r;
    n -= std::size_t(r);
  }
  return true;
}
}  // namespace

bool OutputFile::flush() {
  if (!buffer_.empty()) {
    if (ok_ && !writeAll(fd_, buffer_.data(), buffer_.size())) ok_ = false;
    buffer_.clear();
  }
  return ok_;
}

bool OutputFile::write(const void* data, std::size_t n) {
  if (fd_ < 0 || !ok_) return false;
  const auto* p = static_cast<const std::uint8_t*>(data);
  position_ += n;
  if (buffer_.size() + n <= kBufferSize) {
    buffer_.insert(buffer_.end(), p, p + n);
    return true;
  }
  if (!flush()) return false;
  if (n >= kBufferSize) {
    if (!writeAll(fd_, p, n)) ok_ = false;
    return ok_;
  }
  buffer_.insert(buffer_.end(), p, p + n);
  return true;
}

bool OutputFile::writeZeros(std::size_t n) {
  static const std::uint8_t zeros[4096] = {};
  while (n) {
    const std::size_t k = n < sizeof zeros ? n : sizeof zeros;
    if (!write(zeros, k)) return false;
    n -= k;
  }
  return true;
}

bool OutputFile::patch(std::uint64_t offset, const void* data, std::size_t n) {
  if (fd_ < 0 || !flush()) return false;
  const auto* p = static_cast<const std::uint8_t*>(data);
  std::size_t done = 0;
  while (done < n) {
    const ssize_t r = ::pwrite(fd_, p + done, n - done, off_t(offset + done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      noteFailure(r == 0);
      return ok_ = false;
    }
    done += std::size_t(r);
  }
  return true;
}

bool OutputFile::finish() {
  if (fd_ < 0) return false;
  flush();
  // On the disk before the rename, or a crash could leave an empty file under the old name.
  if (ok_ && ::fsync(fd_) != 0) {
    noteFailure();
    ok_ = false;
  }
  if (::close(fd_) != 0) {
    noteFailure();
    ok_ = false;
  }
  fd_ = -1;
  if (ok_ && ::rename(temporary_.c_str(), path_.c_str()) != 0) {
    noteFailure();
    ok_ = false;
  }
  if (!ok_) {
    ::unlink(temporary_.c_str());
    return false;
  }
  // The rename itself is made durable with the folder.
  const auto slash = path_.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string(".") : path_.substr(0, slash + 1);
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

void OutputFile::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  ok_ = false;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

void swap16(std::uint16_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) p[i] = std::uint16_t((p[i] >> 8) | (p[i] << 8));
}

std::string fileNameOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace viewer::formats::internal
