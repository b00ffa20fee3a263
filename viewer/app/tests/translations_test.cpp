#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QRegularExpression>
#include <map>
#include <filesystem>

#include "platform/qt/control.h"
#include "platform/qt/prompt.h"
#include "platform/qt/translations.h"
#include "viewer/app/control_ids.h"
#include "viewer/app/dialogs.h"
#include "viewer/app/format_prompt.h"
#include "viewer/app/main_window.h"
#include "viewer/app/application.h"
#include "app_test_util.h"
#include "testsupport/testsupport.h"

using namespace viewer::app;

TEST(Catalogues, JapaneseAndChineseReplaceTheEnglishTexts) {
  const struct {
    QLocale::Language language;
    QLocale::Territory territory;
    const char* options;
    const char* reason;
    const char* writeFailed;
  } cases[] = {
      {QLocale::Japanese, QLocale::Japan, "オプション", "a.tif          ファイルアクセスの失敗",
       "ファイル(/x/a.tif)に書き込めませんでした。"},
      {QLocale::Chinese, QLocale::China, "选项", "a.tif          文件访问失败", "无法写入文件(/x/a.tif)。"},
  };
  for (const auto& c : cases) {
    platform::qt::Translation t;
    ASSERT_TRUE(t.install("tivola", CATALOGUE_DIR, QLocale(c.language, c.territory))) << c.options;
    OptionsDialog options(0, 1, 0, "");
    EXPECT_EQ(options.windowTitle(), QString::fromUtf8(c.options));
    FailedFilesDialog failed({"a.tif          File access failure"});
    auto* list = platform::qt::control<QListWidget>(&failed, ids::kFailedList);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->item(0)->text(), QString::fromUtf8(c.reason));
    platform::qt::ScriptedPrompt script;
    FormatPrompt prompt;
    viewer::formats::reportWriteFailure("/x/a.tif");
    ASSERT_EQ(script.asked.size(), 1u);
    EXPECT_EQ(script.asked[0].text, QString::fromUtf8(c.writeFailed));
    // For a person to check that the longer and the wider texts fit.
    RawParametersDialog raw("plate.raw", 1000000, {});
    const std::filesystem::path shots(SCREENSHOT_DIR);
    std::filesystem::create_directories(shots);
    raw.grab().save(QString::fromStdString((shots / ("raw_" + QLocale(c.language).name().toStdString() + ".png")).string()));
  }
}

namespace {

// Every menu title and item of the main window, by its place in the menus.
void collectMenuTexts(QMenu* menu, const std::string& at, std::map<std::string, QString>& out) {
  int n = 0;
  for (QAction* a : menu->actions()) {
    const std::string place = at + "/" + std::to_string(n++);
    if (a->isSeparator()) continue;
    out[place] = a->text();
    if (a->menu() != nullptr) collectMenuTexts(a->menu(), place, out);
  }
}

std::map<std::string, QString> menuTexts(MainWindow* main) {
  std::map<std::string, QString> out;
  int n = 0;
  for (QAction* a : main->menuBar()->actions()) {
    const std::string place = std::to_string(n++);
    out[place] = a->text();
    if (a->menu() != nullptr) collectMenuTexts(a->menu(), place, out);
  }
  return out;
}

// The window with the menu open over it (and the submenu, if one is given),
// as a person sees it; offscreen every popup is a window of its own.
QPixmap withMenuOpen(MainWindow* main, QAction* title, QAction* sub) {
  QMenuBar* bar = main->menuBar();
  QMenu* menu = title->menu();
  menu->popup(bar->mapToGlobal(bar->actionGeometry(title).bottomLeft()));
  QApplication::processEvents();
  QMenu* submenu = nullptr;
  if (sub != nullptr) {
    submenu = sub->menu();
    const QRect r = menu->actionGeometry(sub);
    submenu->popup(menu->mapToGlobal(QPoint(r.right(), r.top())));
    QApplication::processEvents();
  }
  const QPoint origin = main->mapToGlobal(QPoint(0, 0));
  QPoint far = origin + QPoint(main->width(), main->height());
  for (QMenu* m : {menu, submenu})
    if (m != nullptr) far = QPoint(std::max(far.x(), m->geometry().right() + 1), std::max(far.y(), m->geometry().bottom() + 1));
  QPixmap shot(far.x() - origin.x(), far.y() - origin.y());
  shot.fill(Qt::darkGray);
  QPainter p(&shot);
  p.drawPixmap(0, 0, main->grab());
  for (QMenu* m : {menu, submenu})
    if (m != nullptr) p.drawPixmap(m->geometry().topLeft() - origin, m->grab());
  p.end();
  if (submenu != nullptr) submenu->hide();
  menu->hide();
  QApplication::processEvents();
  return shot;
}

}  // namespace

// The menu bar reads wholly in the user's language: no title or item that has
// words keeps its English text, and a screenshot of each menu, opened, is left
// for a person to look at.
TEST(Catalogues, EveryMenuTitleAndItemOfTheMainWindowIsTranslated) {
  platform::qt::ScriptedPrompt script;
  std::map<std::string, QString> english;
  {
    testsupport::TempDir dir;
    TivolaApp app;
    ASSERT_TRUE(app.initInstance({}, app_test::startIn(dir.path())));
    english = menuTexts(app.mainWindow());
    app.exitInstance();
  }
  ASSERT_GE(english.size(), 40u);
  const std::filesystem::path shots(SCREENSHOT_DIR);
  std::filesystem::create_directories(shots);
  for (const QLocale& locale : {QLocale(QLocale::Japanese, QLocale::Japan), QLocale(QLocale::Chinese, QLocale::China)}) {
    const std::string language = locale.name().toStdString();
    platform::qt::Translation program, windows;
    ASSERT_TRUE(program.install("tivola", CATALOGUE_DIR, locale)) << language;
    ASSERT_TRUE(windows.install("tivola_view", CATALOGUE_DIR, locale)) << language;
    testsupport::TempDir dir;
    TivolaApp app;
    ASSERT_TRUE(app.initInstance({}, app_test::startIn(dir.path())));
    MainWindow* main = app.mainWindow();
    const auto shown = menuTexts(main);
    ASSERT_EQ(shown.size(), english.size()) << language;
    for (const auto& [place, text] : english) {
      // Words, not a layout such as "2x2".
      if (!text.contains(QRegularExpression("[A-Za-z]{2}"))) continue;
      EXPECT_NE(shown.at(place), text) << language << ": menu entry " << place << " stays English";
    }
    main->resize(900, 560);
    main->show();
    QApplication::processEvents();
    int n = 0;
    for (QAction* title : main->menuBar()->actions()) {
      if (title->menu() == nullptr) continue;
      QAction* sub = nullptr;
      for (QAction* a : title->menu()->actions())
        if (a->menu() != nullptr) sub = a;
      const std::string name = "menu" + std::to_string(++n) + "_" + language + ".png";
      EXPECT_TRUE(withMenuOpen(main, title, sub).save(QString::fromStdString((shots / name).string())));
    }
    app.exitInstance();
  }
}
