#include <gtest/gtest.h>

#include <QCoreApplication>

#include "platform/qt/translations.h"

namespace platform::qt {
namespace {

QString scan() { return QCoreApplication::translate("Probe", "Scan"); }

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
