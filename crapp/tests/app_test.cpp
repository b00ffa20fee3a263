#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crapp/app.h"

namespace {

TEST(CommandLine, OnlyExactlyConnectSelectsTheTest) {
  struct Case {
    std::vector<std::string> args;
    bool connect;
  } cases[] = {
      {{"-connect"}, true},      {{}, false},          {{"-Connect"}, false}, {{"-connect "}, false},
      {{"-connect", "x"}, false}, {{" -connect"}, false}, {{""}, false},
  };
  for (const Case& k : cases) {
    std::string shown;
    for (const auto& a : k.args) shown += "[" + a + "]";
    EXPECT_EQ(crapp::isConnectCommandLine(k.args), k.connect) << shown;
  }
}

}  // namespace
