// The source as `cmake --install` lays it out: beside Selvane.ds its two
// files, the manager they name and the libraries it loads, each looking
// beside itself only; and a manager loaded from there opens it as shipped.
#include "hosts/twain/twain.h"
#include "platform/qt/prompt.h"
#include "testsupport/testsupport.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

namespace fs = std::filesystem;

TEST(InstalledSource, HoldsItsFilesFindsItsLibrariesAndOpens) {
  testsupport::TempDir prefix;
  const auto install = testsupport::runCommand("'" CMAKE_COMMAND "' --install '" NDT_BUILD_DIR "' --prefix '" +
                                               prefix.path().string() + "' --component twain");
  ASSERT_EQ(install.status, 0) << install.output;
  const fs::path bin = prefix / "bin";
  for (const char* file : {"Selvane.ds", "Selvane.ini", "Selvane.cap", "libTwainDsm.so", "libOskelu.so"})
    EXPECT_TRUE(fs::is_regular_file(bin / file)) << file;

  const auto paths = testsupport::runPathsIn(bin);
  EXPECT_GE(paths.size(), 9u) << "the source, the manager and the libraries they load";
  for (const auto& [name, path] : paths) EXPECT_EQ(path, "$ORIGIN") << name;

  // The manager from the installed tree opens the source it names, which reads
  // its settings and finds the manager and the film-scan library beside itself.
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::setenv("NDT_TWAIN_SOURCE", (bin / "Selvane.ds").c_str(), 1);
  platform::qt::ScriptedPrompt prompt;
  void* manager = ::dlopen((bin / "libTwainDsm.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(manager, nullptr) << ::dlerror();
  auto dsm = reinterpret_cast<DSMENTRYPROC>(::dlsym(manager, "DSM_Entry"));
  ASSERT_NE(dsm, nullptr);
  TW_IDENTITY app{}, source{};
  TW_HANDLE parent = nullptr;
  ASSERT_EQ(dsm(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent), TWRC_SUCCESS);
  EXPECT_EQ(dsm(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &source), TWRC_SUCCESS);
  EXPECT_STREQ(source.ProductName, "Film digitizer 7163");
  EXPECT_EQ(source.Version.MajorNum, 0);
  EXPECT_EQ(source.Version.MinorNum, 1);
  for (const auto& asked : prompt.asked) ADD_FAILURE() << "box: " << asked.text.toStdString();
  EXPECT_EQ(dsm(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent), TWRC_SUCCESS);
  ::dlclose(manager);
  ::unsetenv("NDT_TWAIN_SOURCE");
}

}  // namespace
