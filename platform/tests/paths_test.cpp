#include "platform/paths.h"
#include "testsupport/testsupport.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

TEST(Paths, ProgramAndModuleDirectory) {
  auto dir = platform::paths::programDir();
  EXPECT_EQ(dir, testsupport::selfExecutable().parent_path());
  static int anchor;
  EXPECT_EQ(platform::paths::moduleDir(&anchor), dir);
}

TEST(Paths, ConfigAndRuntimeDirectoriesFollowTheEnvironment) {
  testsupport::TempDir dir;
  const char* saved = std::getenv("NDT_CONFIG_DIR");
  std::string keep = saved ? saved : "";
  ::setenv("NDT_CONFIG_DIR", (dir / "cfg").c_str(), 1);
  EXPECT_EQ(platform::paths::configDir(), dir / "cfg");
  ::unsetenv("NDT_CONFIG_DIR");
  ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
  EXPECT_EQ(platform::paths::configDir(), dir / "ndt-suite");
  if (saved) ::setenv("NDT_CONFIG_DIR", keep.c_str(), 1);

  const char* savedRt = std::getenv("NDT_RUNTIME_DIR");
  std::string keepRt = savedRt ? savedRt : "";
  ::setenv("NDT_RUNTIME_DIR", (dir / "rt").c_str(), 1);
  EXPECT_EQ(platform::paths::runtimeDir(), dir / "rt");
  EXPECT_TRUE(std::filesystem::is_directory(dir / "rt"));
  if (savedRt) ::setenv("NDT_RUNTIME_DIR", keepRt.c_str(), 1); else ::unsetenv("NDT_RUNTIME_DIR");
}

TEST(Paths, ResolveConfiguredPaths) {
  std::filesystem::path base = "/opt/suite/bin";
  EXPECT_EQ(platform::paths::resolve("..\\images\\raw", base), "/opt/suite/images/raw");
  EXPECT_EQ(platform::paths::resolve("data/x.ini", base), "/opt/suite/bin/data/x.ini");
  EXPECT_EQ(platform::paths::resolve("/var/ndt", base), "/var/ndt");
  EXPECT_EQ(platform::paths::resolve("", base), "");
}

}  // namespace
