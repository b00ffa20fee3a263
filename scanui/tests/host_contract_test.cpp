// The host contract, run as a host of its own: see host_contract.cpp.
#include <gtest/gtest.h>

#include <cstdlib>

#include "scanui/tests/scanui_fixture.h"

namespace scanui_test {
namespace {

TEST(HostContract, FiveRoundsOfLoadShowCloseFromTheCallbackAndUnload) {
  ConfigDir config;
  testsupport::TempDir runtime;
  ::setenv("NDT_RUNTIME_DIR", runtime.path().c_str(), 1);
  const auto host = testsupport::selfExecutable().parent_path() / "scanui_host_contract";
  const testsupport::CommandResult r = testsupport::runCommand(host.string());
  ::unsetenv("NDT_RUNTIME_DIR");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("5 rounds"), std::string::npos) << r.output;
}

TEST(Exports, TheLibraryExportsExactlyItsFifteenNames) {
  const auto library = testsupport::selfExecutable().parent_path() / "libOskelu.so";
  const testsupport::CommandResult r =
      testsupport::runCommand("nm -D --defined-only " + library.string() + " | awk '{print $NF}' | sort");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output,
            "CeaseScan\nCloseRequest\nEnableDICOMField\nGetAutofeederCount\nGetScanData\nHideUI\nInitUI\n"
            "IsDigitizerAvailable\nIsThereAnyDigitizerAvailable\nReleaseScanData\nResetAutofeederCount\n"
            "SetDSProcAddress\nShowUI\nTermUI\nXFerReady\n");
}

}  // namespace
}  // namespace scanui_test
