#include "testsupport/testsupport.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <sstream>
#include <csignal>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/process.h"

namespace testsupport {
namespace {

std::map<std::string, ChildMain>& children() {
  static std::map<std::string, ChildMain> m;  // filled before main()
  return m;
}

constexpr const char* kChildFlag = "--testsupport-child";

}  // namespace

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "ndt-test-XXXXXX").string();
  char* made = ::mkdtemp(pattern.data());
  if (made == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = made;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

FileSizeLimit::FileSizeLimit(std::uint64_t bytes) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) != 0) throw std::runtime_error("getrlimit failed");
  previous_ = limit.rlim_cur;
  previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
  limit.rlim_cur = rlim_t(bytes);
  if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) throw std::runtime_error("setrlimit failed");
}

FileSizeLimit::~FileSizeLimit() {
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = rlim_t(previous_);
  ::setrlimit(RLIMIT_FSIZE, &limit);
  std::signal(SIGXFSZ, previousHandler_);
}

std::string readFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void writeFile(const std::filesystem::path& file, const std::string& content) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << content;
}

ChildRegistration::ChildRegistration(const std::string& name, ChildMain main) {
  children()[name] = std::move(main);
}

std::filesystem::path selfExecutable() { return std::filesystem::read_symlink("/proc/self/exe"); }

std::vector<std::string> childArgs(const std::string& name, const std::vector<std::string>& args) {
  std::vector<std::string> out{kChildFlag, name};
  out.insert(out.end(), args.begin(), args.end());
  return out;
}

CommandResult runCommand(const std::string& command) {
  CommandResult result;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 4096> buf;
  std::size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) result.output.append(buf.data(), n);
  int status = ::pclose(pipe);
  if (WIFEXITED(status))
    result.status = WEXITSTATUS(status);
  else if (WIFSIGNALED(status))
    result.status = 128 + WTERMSIG(status);
  return result;
}

std::vector<std::string> dicomJudgeComplaints(const std::filesystem::path& file,
                                              std::map<std::string, std::string>* texts) {
  std::vector<std::string> complaints;
  const std::string quoted = "'" + file.string() + "'";
  const CommandResult verify = runCommand("dciodvfy " + quoted);
  if (verify.status == 127) complaints.push_back("dciodvfy is missing");
  std::istringstream verdicts(verify.output);
  for (std::string line; std::getline(verdicts, line);)
    if (line.rfind("Error", 0) == 0) complaints.push_back("dciodvfy: " + line);
  const CommandResult judged = runCommand("/usr/bin/python3 '" NDT_TESTSUPPORT_DIR "/dicom_text_judge.py' " + quoted);
  if (judged.status != 0) complaints.push_back("pydicom failed: " + judged.output);
  std::istringstream lines(judged.output);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("text ", 0) == 0) {
      if (texts && line.size() >= 14) (*texts)[line.substr(5, 9)] = line.size() > 15 ? line.substr(15) : "";
    } else if (!line.empty()) {
      complaints.push_back("pydicom: " + line);
    }
  }
  return complaints;
}

void rerunCurrentTest(const std::filesystem::path& program, const std::map<std::string, std::string>& env,
                      const std::filesystem::path& workingDir, const std::filesystem::path& report,
                      const std::function<std::string()>& whenFailed) {
  std::map<std::string, std::optional<std::string>> saved;
  for (const auto& [name, value] : env) {
    const char* old = std::getenv(name.c_str());
    saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
    ::setenv(name.c_str(), value.c_str(), 1);
  }
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  platform::Process child;
  const bool started = child.start(program,
                                   {std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name(),
                                    "--gtest_brief=1", "--gtest_output=xml:" + report.string()},
                                   workingDir);
  for (const auto& [name, value] : saved) {
    if (value)
      ::setenv(name.c_str(), value->c_str(), 1);
    else
      ::unsetenv(name.c_str());
  }
  EXPECT_TRUE(started) << program;
  if (!started) return;
  const platform::ProcessExit exit = child.wait();
  EXPECT_EQ(exit.kind, platform::ProcessExit::Kind::Exited);
  EXPECT_EQ(exit.code, 0) << "the test failed inside its copy at " << program << "\n"
                          << (whenFailed && exit.code != 0 ? whenFailed() : std::string());
  // The test really ran there: one test, no failure, none skipped.
  const std::string xml = readFile(report);
  EXPECT_NE(xml.find("tests=\"1\" failures=\"0\" disabled=\"0\""), std::string::npos) << xml;
  EXPECT_EQ(xml.find("<skipped"), std::string::npos) << xml;
}

}  // namespace testsupport

// One main for every test executable: either a child routine or the tests.
int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == testsupport::kChildFlag) {
    auto& registry = testsupport::children();
    auto it = registry.find(argv[2]);
    if (it == registry.end()) {
      std::fprintf(stderr, "no child routine named %s\n", argv[2]);
      return 127;
    }
    std::vector<std::string> args(argv + 3, argv + argc);
    return it->second(args);
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

namespace testsupport {

std::map<std::string, std::string> runPathsIn(const std::filesystem::path& dir) {
  std::map<std::string, std::string> paths;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    if (!entry.is_regular_file()) continue;
    char magic[4] = {};
    std::ifstream(entry.path(), std::ios::binary).read(magic, 4);
    if (std::string(magic, 4) != "\x7f" "ELF") continue;
    const CommandResult r = runCommand("readelf -d '" + entry.path().string() + "'");
    const std::string key = "Library runpath: [";
    const std::size_t at = r.output.find(key);
    std::string path;
    if (at != std::string::npos) path = r.output.substr(at + key.size(), r.output.find(']', at) - at - key.size());
    paths[entry.path().filename().string()] = path;
  }
  return paths;
}

}  // namespace testsupport
