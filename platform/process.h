// Child processes: start with arguments and a working directory, wait, exit code.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform {

struct ProcessExit {
  enum class Kind { Exited, Signalled, FailedToStart } kind = Kind::FailedToStart;
  int code = 0;  // exit code 0..255 (a program's -1 arrives as 255), or the signal number
};

class Process {
 public:
  Process() = default;
  ~Process();  // a child still running is left to run and reaped by nobody but init
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Starts `program` (made absolute before the directory change) with `args`
  // (argv[1..]) in `workingDir` (empty: ours). The child inherits no descriptor
  // but standard input, output and error. False when it cannot be started;
  // wait() then reports FailedToStart.
  bool start(const std::filesystem::path& program, const std::vector<std::string>& args,
             const std::filesystem::path& workingDir = {});
  pid_t pid() const { return pid_; }

  // Waits without limit.
  ProcessExit wait();
  // The exit when the child has ended, nullopt while it runs.
  std::optional<ProcessExit> poll();

 private:
  pid_t pid_ = -1;
  std::optional<ProcessExit> exit_;
  int startErrno_ = 0;
};

}  // namespace platform
