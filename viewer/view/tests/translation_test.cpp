// The Japanese and Simplified Chinese catalogues cover every text the view
// and the frame show.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include "platform/qt/control.h"

#include "platform/qt/translations.h"
#include "viewer/view/tests/fixture.h"

namespace viewer::view {
namespace {

using namespace viewtest;

std::vector<int> menuIds() {
  std::vector<int> ids;
  for (int id = 32700; id < 32900; ++id)
    if (!menuText(id).isEmpty()) ids.push_back(id);
  for (int id : {57607, 57634, 57642, 57643}) ids.push_back(id);
  return ids;
}

bool isLayout(int id) {
  for (const LayoutCommand& l : layoutCommands())
    if (l.id == id) return true;
  return false;
}

TEST(Catalogues, EveryMenuAndPopupTextIsTranslated) {
  const std::vector<int> ids = menuIds();
  ASSERT_GT(ids.size(), 50u);
  std::vector<QString> english;
  for (int id : ids) english.push_back(menuText(id));
  QStringList popupEnglish;
  {
    Viewer v(1, 8, 8);
    for (bool dup : {false, true})
      for (QAction* a : v.view->contextMenu(dup)->actions())
        if (!a->isSeparator()) popupEnglish << a->text();
  }
  for (const char* language : {"ja", "zh_CN"}) {
    platform::qt::Translation catalogue;
    ASSERT_TRUE(catalogue.install("tivola_view", QCoreApplication::applicationDirPath() + "/translations",
                                  QLocale(QString::fromLatin1(language))))
        << language;
    for (std::size_t i = 0; i < ids.size(); ++i)
      if (!isLayout(ids[i])) {
        EXPECT_NE(menuText(ids[i]), english[i]) << language << " " << ids[i];
      }
    Viewer v(1, 8, 8);
    int k = 0;
    for (bool dup : {false, true})
      for (QAction* a : v.view->contextMenu(dup)->actions())
        if (!a->isSeparator()) {
          EXPECT_NE(a->text(), popupEnglish[k++]) << language;
        }
    EXPECT_NE(QCoreApplication::translate("CTivolaView", "Failed to copy.\nMarquee may be too large."),
              "Failed to copy.\nMarquee may be too large.");
    EXPECT_NE(QCoreApplication::translate("CMainFrame", "Information"), "Information");
  }
}

// The palettes' own texts: every label, list item, button and title that
// has words, read off palettes made after the catalogue is installed.
QStringList paletteTexts() {
  CInfoPalette info(nullptr);
  QStringList texts;
  for (QLabel* l : info.findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
    if (l->objectName().isEmpty()) texts << l->text();
  for (int id : {1012, 1013})
    for (int i = 0; i < 2; ++i) texts << platform::qt::control<QComboBox>(&info, id)->itemText(i);
  texts << platform::qt::control<QCheckBox>(&info, 1022)->text() << platform::qt::control<QPushButton>(&info, 1023)->text();
  for (int mode : {0, 1})
    for (int unit : {0, 1}) texts << profileTitle(mode, unit);
  return texts;
}

TEST(Catalogues, EveryPaletteTextIsTranslated) {
  const QStringList english = paletteTexts();
  ASSERT_GE(english.size(), 25);
  EXPECT_TRUE(english.contains("Gray Value:"));
  EXPECT_TRUE(english.contains("Vertical Profile(Pixel Value)"));
  for (const char* language : {"ja", "zh_CN"}) {
    platform::qt::Translation catalogue;
    ASSERT_TRUE(catalogue.install("tivola_view", QCoreApplication::applicationDirPath() + "/translations",
                                  QLocale(QString::fromLatin1(language))))
        << language;
    const QStringList translated = paletteTexts();
    ASSERT_EQ(translated.size(), english.size()) << language;
    // Coordinates and the millimetre read the same in every language.
    const QStringList same{"X:", "Y:", "Mx:", "My:", "Mw:", "Mh:", "mm"};
    for (int i = 0; i < english.size(); ++i)
      if (!same.contains(english[i])) {
        EXPECT_NE(translated[i], english[i]) << language;
      }
  }
}

}  // namespace
}  // namespace viewer::view
