#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <filesystem>

#include "platform/qt/control.h"
#include "platform/qt/prompt.h"
#include "platform/qt/translations.h"
#include "viewer/app/control_ids.h"
#include "viewer/app/dialogs.h"
#include "viewer/app/format_prompt.h"

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
