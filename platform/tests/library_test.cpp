#include "platform/library.h"

#include <gtest/gtest.h>

namespace {

TEST(Library, FileNameForBaseNames) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {{"Zentrac.dll", "libZentrac.so"}, {"Zentrac.DLL", "libZentrac.so"},
               {"Zentrac", "libZentrac.so"},     {"libZentrac.so", "libZentrac.so"},
               {"Fennick.so", "libFennick.so"},  {"/opt/x/libA.so", "/opt/x/libA.so"}};
  for (const Case& c : cases) EXPECT_EQ(platform::Library::fileNameFor(c.in), c.out) << c.in;
}

TEST(Library, LoadsFromTheModuleDirectoryAndTellsTheFailures) {
  platform::Library lib;
  static int anchor;
  ASSERT_TRUE(lib.open("PlatformProbe.dll", &anchor)) << lib.errorText();
  auto answer = lib.function<int (*)()>("probeAnswer");
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(lib.symbol("noSuchSymbol"), nullptr);
  EXPECT_EQ(lib.error(), platform::Library::Error::SymbolMissing);
  EXPECT_FALSE(lib.errorText().empty());

  platform::Library missing;
  EXPECT_FALSE(missing.open("NoSuchLibrary.dll", &anchor));
  EXPECT_EQ(missing.error(), platform::Library::Error::CannotLoad);
  EXPECT_NE(missing.errorText().find("libNoSuchLibrary.so"), std::string::npos) << missing.errorText();
}

}  // namespace
