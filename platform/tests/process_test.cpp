#include "platform/process.h"
#include "testsupport/testsupport.h"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

testsupport::ChildRegistration exiter("exit-with", [](const std::vector<std::string>& args) {
  if (args[0] == "signal") ::raise(SIGKILL);
  if (args[0] == "cwd") {
    testsupport::writeFile(args[1], std::filesystem::current_path().string());
    return 0;
  }
  if (args[0] == "fds") {
    // Counts open descriptors above the standard three.
    int open = 0;
    for (int fd = 3; fd < 256; ++fd)
      if (::fcntl(fd, F_GETFD) != -1) ++open;
    return open;
  }
  return std::stoi(args[0]);
});

TEST(Process, ExitCodesSignalsAndFailures) {
  struct Case {
    const char* arg;
    platform::ProcessExit::Kind kind;
    int code;
  } cases[] = {{"0", platform::ProcessExit::Kind::Exited, 0},
               {"1", platform::ProcessExit::Kind::Exited, 1},
               {"-1", platform::ProcessExit::Kind::Exited, 255},
               {"signal", platform::ProcessExit::Kind::Signalled, SIGKILL}};
  for (const Case& c : cases) {
    platform::Process p;
    ASSERT_TRUE(p.start(testsupport::selfExecutable(), testsupport::childArgs("exit-with", {c.arg})));
    platform::ProcessExit e = p.wait();
    EXPECT_EQ(e.kind, c.kind) << c.arg;
    EXPECT_EQ(e.code, c.code) << c.arg;
  }
  platform::Process none;
  EXPECT_FALSE(none.start("/no/such/program", {}));
  EXPECT_EQ(none.wait().kind, platform::ProcessExit::Kind::FailedToStart);
}

TEST(Process, WorkingDirectoryPollAndNoInheritedDescriptors) {
  testsupport::TempDir dir;
  auto out = dir / "cwd.txt";
  std::filesystem::create_directory(dir / "work");
  platform::Process p;
  // A relative program path still works after the directory change.
  auto self = std::filesystem::relative(testsupport::selfExecutable());
  ASSERT_TRUE(p.start(self, testsupport::childArgs("exit-with", {"cwd", out.string()}), dir / "work"));
  EXPECT_EQ(p.wait().code, 0);
  EXPECT_EQ(testsupport::readFile(out), (dir / "work").string());

  int leaked = ::open("/dev/null", O_RDONLY);  // not close-on-exec on purpose
  platform::Process q;
  ASSERT_TRUE(q.start(testsupport::selfExecutable(), testsupport::childArgs("exit-with", {"fds"})));
  std::optional<platform::ProcessExit> e;
  for (int i = 0; i < 1000 && !(e = q.poll()); ++i) ::usleep(5000);
  ::close(leaked);
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->code, 0);
}

}  // namespace
