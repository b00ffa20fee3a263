#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/process.h"
#include "platform/qt/translations.h"
#include "testsupport/testsupport.h"

namespace platform::qt {
namespace {

QString scan() { return QCoreApplication::translate("Probe", "Scan"); }

// Installs the catalogue for the locale the process was started with: exit 0
// when the Japanese text is in force, 2 when nothing was installed.
testsupport::ChildRegistration fromLocale("translation-from-locale", [](const std::vector<std::string>&) {
  int argc = 1;
  char name[] = "child";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  Translation t;
  if (!t.install("probe", PROBE_CATALOGUE_DIR)) return 2;
  return scan() == QString::fromUtf8("スキャン") ? 0 : 1;
});

TEST(Translation, TheCatalogueIsChosenFromTheUsersLocale) {
  struct Case {
    const char* lcAll;
    const char* language;
    int exitCode;
  };
  const Case cases[] = {{"ja_JP.UTF-8", "ja", 0}, {"C", nullptr, 2}, {"en_US.UTF-8", "en", 2}};
  auto saved = [](const char* name) {
    const char* v = std::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
  };
  const std::optional<std::string> lcAll = saved("LC_ALL"), language = saved("LANGUAGE");
  auto restore = [](const char* name, const std::optional<std::string>& v) {
    if (v)
      ::setenv(name, v->c_str(), 1);
    else
      ::unsetenv(name);
  };
  for (const Case& c : cases) {
    ::setenv("LC_ALL", c.lcAll, 1);
    if (c.language)
      ::setenv("LANGUAGE", c.language, 1);
    else
      ::unsetenv("LANGUAGE");
    platform::Process child;
    ASSERT_TRUE(child.start(testsupport::selfExecutable(), testsupport::childArgs("translation-from-locale")));
    EXPECT_EQ(child.wait().code, c.exitCode) << c.lcAll;
  }
  restore("LC_ALL", lcAll);
  restore("LANGUAGE", language);
}

TEST(Translation, JapaneseLocaleInstallsTheCatalogueUntilRemoved) {
  {
    Translation t;
    ASSERT_TRUE(t.install("probe", PROBE_CATALOGUE_DIR, QLocale(QLocale::Japanese, QLocale::Japan)));
    EXPECT_EQ(scan(), QString::fromUtf8("スキャン"));
  }
  EXPECT_EQ(scan(), "Scan");
}

TEST(Translation, EnglishOrALanguageWithoutCatalogueKeepsTheTextsOfTheCode) {
  Translation t;
  EXPECT_FALSE(t.install("probe", PROBE_CATALOGUE_DIR, QLocale(QLocale::English, QLocale::UnitedStates)));
  EXPECT_FALSE(t.install("probe", PROBE_CATALOGUE_DIR, QLocale(QLocale::French, QLocale::France)));
  EXPECT_FALSE(t.installed());
  EXPECT_EQ(scan(), "Scan");
}

}  // namespace
}  // namespace platform::qt
