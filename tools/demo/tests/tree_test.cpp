// What a demo tree holds, before any road runs in it.
#include <gtest/gtest.h>

#include <string>

#include "platform/ini.h"
#include "testsupport/testsupport.h"
#include "tools/demo/tree.h"

namespace {

TEST(Tree, HoldsTheTwainSourceWithItsFilesAndLooksBesideItselfOnly) {
  testsupport::TempDir root;
  const demo::Tree tree{root.path()};
  std::string fault;
  ASSERT_TRUE(demo::installTree(NDT_BIN_DIR, NDT_DEMO_STANDIN, tree, demo::CrProgram::StandIn, &fault)) << fault;
  for (const char* file : {"Selvane.ds", "Selvane.ini", "Selvane.cap", "libTwainDsm.so", "libOskelu.so"})
    EXPECT_TRUE(std::filesystem::is_regular_file(tree.bin() / file)) << file;
  EXPECT_EQ(platform::ini::getString(tree.bin() / "Selvane.ini", "Environment", "TwainManager", ""), "libTwainDsm.so");
  EXPECT_NE(platform::ini::getString(tree.bin() / "Selvane.cap", "ICAP_BITDEPTH", "Type", ""), "");

  const auto paths = testsupport::runPathsIn(tree.bin());
  int libraries = 0;
  for (const auto& [name, path] : paths) {
    if (name.size() < 3 || (name.substr(name.size() - 3) != ".so" && name.substr(name.size() - 3) != ".ds")) continue;
    ++libraries;
    EXPECT_EQ(path, "$ORIGIN") << name;
  }
  EXPECT_GE(libraries, 11) << "every library of the tree was looked at";
}

}  // namespace
