// Binding the device library for real: one that cannot be loaded, one that
// lacks a required function, one without the optional ones.
#include <gtest/gtest.h>

#include "scanui/tests/scanui_fixture.h"

namespace scanui_test {
namespace {

std::filesystem::path fakeLibrary(const char* variant) {
  return testsupport::selfExecutable().parent_path() / "fake_brightel" / variant / "libBrightel.so";
}

class Binding : public ScanUiTest {
 protected:
  void use(const std::filesystem::path& path) {
    connection().setSource(std::make_unique<scanui::internal::BrightelLibrary>(path));
  }
};

TEST_F(Binding, ALibraryThatCannotBeLoadedOrLacksARequiredFunctionHasItsOwnCaption) {
  struct Case {
    std::filesystem::path path;
    const char* caption;
  };
  const Case cases[] = {
      {fakeLibrary("unloadable"), "Initialize Error1"},
      {fakeLibrary("nowhere"), "Initialize Error1"},
      {fakeLibrary("missing_symbol"), "Initialize Error2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.string());
    prompts.asked.clear();
    use(c.path);
    EXPECT_EQ(InitUI(0), 0);
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].text, "Failed to load the necessary DLL.");
    EXPECT_EQ(prompts.asked[0].caption, c.caption);
    EXPECT_EQ(prompts.asked[0].owner, nullptr);
    EXPECT_EQ(prompts.asked[0].icon, platform::qt::Icon::Warning);
    EXPECT_FALSE(connection().loaded());
    EXPECT_FALSE(mapped(c.path));
  }
}

TEST_F(Binding, TheProbeStillSaysThatTheLibraryIsMissing) {
  use(fakeLibrary("missing_symbol"));
  EXPECT_EQ(IsThereAnyDigitizerAvailable(0), 0);
  EXPECT_EQ(boxes(), std::vector<std::string>{"Initialize Error2|Failed to load the necessary DLL."});
}

TEST_F(Binding, MissingOptionalFunctionsStillBind) {
  use(fakeLibrary("no_optional"));
  EXPECT_EQ(InitUI(0), 0);  // this stand-in finds no scanner
  // Past binding: discovery failed with the device's error box, and the library went again.
  EXPECT_EQ(boxes(), std::vector<std::string>{"Scan|Unable to use SCSI adapter."});
  EXPECT_FALSE(mapped(fakeLibrary("no_optional")));
}

}  // namespace
}  // namespace scanui_test
