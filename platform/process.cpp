#include "platform/process.h"

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {
namespace {

ProcessExit fromStatus(int status) {
  if (WIFEXITED(status)) return {ProcessExit::Kind::Exited, WEXITSTATUS(status)};
  if (WIFSIGNALED(status)) return {ProcessExit::Kind::Signalled, WTERMSIG(status)};
  return {ProcessExit::Kind::FailedToStart, 0};
}

}  // namespace

Process::~Process() = default;

bool Process::start(const std::filesystem::path& program, const std::vector<std::string>& args,
                    const std::filesystem::path& workingDir) {
  pid_ = -1;
  exit_.reset();
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(program, ec);
  if (ec) {
    exit_ = ProcessExit{ProcessExit::Kind::FailedToStart, 0};
    return false;
  }
  std::string path = absolute.string();
  std::vector<char*> argv;
  argv.push_back(path.data());
  std::vector<std::string> copies(args);
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // Nothing of ours but the standard streams crosses into the child.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  if (!workingDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str());
  pid_t pid = -1;
  int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    startErrno_ = rc;
    exit_ = ProcessExit{ProcessExit::Kind::FailedToStart, rc};
    return false;
  }
  pid_ = pid;
  return true;
}

ProcessExit Process::wait() {
  if (exit_) return *exit_;
  if (pid_ < 0) return {ProcessExit::Kind::FailedToStart, 0};
  int status = 0;
  pid_t r;
  do {
    r = ::waitpid(pid_, &status, 0);
  } while (r < 0 && errno == EINTR);
  exit_ = r == pid_ ? fromStatus(status) : ProcessExit{ProcessExit::Kind::FailedToStart, errno};
  return *exit_;
}

std::optional<ProcessExit> Process::poll() {
  if (exit_) return exit_;
  if (pid_ < 0) return ProcessExit{ProcessExit::Kind::FailedToStart, 0};
  int status = 0;
  pid_t r = ::waitpid(pid_, &status, WNOHANG);
  if (r == 0) return std::nullopt;
  exit_ = r == pid_ ? fromStatus(status) : ProcessExit{ProcessExit::Kind::FailedToStart, errno};
  return exit_;
}

}  // namespace platform
