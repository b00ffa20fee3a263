// What every folder's tests share: a temporary directory, and a second process
// running a child routine of the same test executable.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

// A fresh directory removed with everything in it at the end of the scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// While it lives, no file of this process can grow past `bytes`: a write
// beyond fails as on a full disk (with EFBIG, the signal for it ignored).
// The whole process is limited, so keep its scope to the writes under test.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(std::uint64_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  std::uint64_t previous_;
  void (*previousHandler_)(int);
};

std::string readFile(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, const std::string& content);

// A child routine: runs in a second process started by ChildProcess; its return
// value is the process's exit code.
using ChildMain = std::function<int(const std::vector<std::string>& args)>;

// Registers a child routine under a name, at static-initialisation time:
//   static testsupport::ChildRegistration holder("hold-lock", [](auto& args) { ... });
struct ChildRegistration {
  ChildRegistration(const std::string& name, ChildMain main);
};

// The path of the running test executable.
std::filesystem::path selfExecutable();

// Runs the named child routine of this executable as a new process. The
// environment is inherited (so NDT_RUNTIME_DIR and friends carry over).
// Returns the argument vector for platform::Process: use with
//   platform::Process p; p.start(testsupport::selfExecutable(), testsupport::childArgs("name", {...}));
std::vector<std::string> childArgs(const std::string& name, const std::vector<std::string>& args = {});

// Runs a shell command and returns its exit status (0..255, or 128+signal) and its output.
struct CommandResult {
  int status = -1;
  std::string output;  // standard output and standard error together
};
CommandResult runCommand(const std::string& command);

// The run path (DT_RUNPATH, "" when none) that readelf finds in each ELF file
// directly inside dir, by file name; files that are no ELF file are left out.
std::map<std::string, std::string> runPathsIn(const std::filesystem::path& dir);

// What the outside judges hold against a DICOM file the suite wrote, one line
// each: every line of dciodvfy that begins with "Error", and every warning or
// undecodable value of pydicom decoding its text elements. Empty when both
// accept the file. texts, when given, receives "GGGG,EEEE" -> the text pydicom
// decoded for each string and person-name element.
std::vector<std::string> dicomJudgeComplaints(const std::filesystem::path& file,
                                              std::map<std::string, std::string>* texts = nullptr);

// Runs the current test again in `program` (a copy of this test executable)
// in `workingDir`, with `env` added to the environment, writing its XML report
// to `report`. Adds a failure, followed by what `whenFailed` tells, unless the
// copy ran exactly this one test and it passed.
void rerunCurrentTest(const std::filesystem::path& program, const std::map<std::string, std::string>& env,
                      const std::filesystem::path& workingDir, const std::filesystem::path& report,
                      const std::function<std::string()>& whenFailed = {});

}  // namespace testsupport
