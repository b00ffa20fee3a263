// The scan dialog's frame: made at ShowUI, gone at HideUI or TermUI.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cstring>

#include "platform/qt/control.h"
#include "platform/qt/translations.h"
#include "scanui/internal/preview_model.h"
#include "scanui/internal/strings.h"
#include "scanui/tests/scanui_fixture.h"

namespace scanui_test {
namespace {

using platform::qt::control;

class Dialog : public ScanUiTest {
 protected:
  void SetUp() override {
    ScanUiTest::SetUp();
    closeRequests = 0;
    ASSERT_EQ(InitUI(0), 1);
  }
  QWidget* show(const char* suffix) { return static_cast<QWidget*>(ShowUI(&host, suffix)); }
  QWidget host;
};

TEST_F(Dialog, TheCaptionIsTheTemplatesWithTheSuffixInBrackets) {
  QWidget* w = show(nullptr);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->windowTitle(), "SCAN");
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->parentWidget(), &host);
  EXPECT_TRUE(w->isWindow());
  EXPECT_EQ(HideUI(0), 1);
  EXPECT_EQ(HideUI(0), 0);
  w = show("Tivola");
  EXPECT_EQ(w->windowTitle(), "SCAN (Tivola)");
  w = show("");  // a new dialog replaces the old one
  EXPECT_EQ(w->windowTitle(), "SCAN ()");
  EXPECT_EQ(host.findChildren<QDialog*>().size(), 1);
}

TEST_F(Dialog, TheStudyButtonShowsOnlyWhenStudyDataIsEnabled) {
  scanui::StudyData study{};
  EnableDICOMField(&study, 0, 0);
  EXPECT_FALSE(control<QPushButton>(show(nullptr), 1016)->isVisible());
  EnableDICOMField(&study, 1, 0);
  EXPECT_TRUE(control<QPushButton>(show(nullptr), 1016)->isVisible());
}

TEST_F(Dialog, TheAutofeederCountIsTheFilmsFieldWhileAutoScanIsOn) {
  EXPECT_EQ(GetAutofeederCount(), 0);  // no window
  QWidget* w = show(nullptr);
  auto* autoScan = control<QCheckBox>(w, 1000);
  auto* films = control<QLineEdit>(w, 1002);
  ASSERT_TRUE(autoScan && films);
  struct Case {
    bool on;
    const char* text;
    int count;
  };
  const Case cases[] = {{false, "12", 0}, {true, "12", 12}, {true, "-3", -3}, {true, "x", 0},
                        {true, "", 0},    {true, "99999999999", 0}};
  for (const Case& c : cases) {
    autoScan->setChecked(c.on);
    films->setText(c.text);
    EXPECT_EQ(GetAutofeederCount(), c.count) << c.text;
  }
  autoScan->setChecked(true);
  films->setText("5");
  EXPECT_TRUE(films->isEnabled());
  EXPECT_EQ(ResetAutofeederCount(), 1);
  EXPECT_FALSE(autoScan->isChecked());
  EXPECT_EQ(films->text(), "0");
  EXPECT_FALSE(films->isEnabled());
}

TEST_F(Dialog, ExitAndEscapeAskTheHostToCloseWhichMayEndTheLibraryThere) {
  SetDSProcAddress(nullptr, onCloseHideAndTerm);
  QWidget* w = show(nullptr);
  QTest::mouseClick(control<QPushButton>(w, 1054), Qt::LeftButton);
  EXPECT_EQ(closeRequests, 0);  // after the click has been handled
  QApplication::processEvents();
  EXPECT_EQ(closeRequests, 1);
  EXPECT_EQ(scanui::internal::library().dialog.window(), nullptr);
  EXPECT_FALSE(connection().loaded());

  ASSERT_EQ(InitUI(0), 1);
  w = show(nullptr);
  QTest::keyClick(w, Qt::Key_Escape);
  QApplication::processEvents();
  EXPECT_EQ(closeRequests, 2);
  EXPECT_EQ(scanui::internal::library().dialog.window(), nullptr);
}

TEST_F(Dialog, AnExitStillQueuedWhenTheHostHidesTheDialogIsDropped) {
  SetDSProcAddress(nullptr, onCloseHideAndTerm);
  QWidget* w = show(nullptr);
  QTest::keyClick(w, Qt::Key_Escape);
  HideUI(0);
  QApplication::processEvents();
  EXPECT_EQ(closeRequests, 0);
}

TEST_F(Dialog, DeviceBoxesBelongToTheHostsWindowOnceShown) {
  show(nullptr);
  connection().errorBox(2, false);
  ASSERT_EQ(prompts.asked.size(), 1u);
  EXPECT_EQ(prompts.asked[0].owner, &host);
}

TEST_F(Dialog, CeaseScanWithoutAScanRunningPostsNothing) {
  show(nullptr);
  EXPECT_EQ(CeaseScan(), 0);
}

TEST_F(Dialog, Screenshot) {
  scanui::StudyData study{};
  std::strcpy(study.componentName, "Pipe 7, weld 3");
  std::strcpy(study.manufacturingDate, "20240307");
  std::strcpy(study.studyId, "S-0042");
  EnableDICOMField(&study, 1, 1);
  // A scout image: a step wedge across, darker down the film, and a weld seam.
  auto& preview = scanui::internal::library().dialog.preview();
  for (int r = 0; r < scanui::internal::kPreviewRows; ++r)
    for (int c = 0; c < scanui::internal::kPreviewColumns; ++c) {
      int v = 4095 - (c / 30) * 500 - r * 4;
      if (r > 90 && r < 110) v -= 900;
      preview.stored()[r * scanui::internal::kPreviewColumns + c] = std::uint16_t(std::clamp(v, 0, 4095));
    }
  preview.setScoutPresent();
  const std::filesystem::path dir = testsupport::selfExecutable().parent_path() / "screenshots";
  std::filesystem::create_directories(dir);
  QWidget* w = show("Screenshot");
  auto* width = control<QLineEdit>(w, 1018);
  width->setText("200");
  emit width->textEdited("200");  // a custom frame, drawn as the marquee
  EXPECT_TRUE(control<QLineEdit>(w, 1040)->isEnabled());
  EXPECT_TRUE(w->grab().save(QString::fromStdString((dir / "scan_dialog.png").string())));
  // The same window in Japanese and Chinese, for a person to check the glyphs.
  for (const auto& [locale, file] : {std::pair{QLocale(QLocale::Japanese, QLocale::Japan), "scan_dialog_ja.png"},
                                     std::pair{QLocale(QLocale::Chinese, QLocale::China), "scan_dialog_zh.png"}}) {
    platform::qt::Translation t;
    ASSERT_TRUE(t.install("oskelu", QString::fromStdString(scanui::internal::translationsDir().string()), locale));
    w = show("Screenshot");
    EXPECT_TRUE(w->grab().save(QString::fromStdString((dir / file).string())));
  }
  preview.reset();
}

TEST_F(Dialog, WithAJapaneseOrChineseLocaleTheCaptionAndButtonsComeFromTheCatalogue) {
  const QString dir = QString::fromStdString(scanui::internal::translationsDir().string());
  const std::pair<QLocale, const char*> cases[] = {
      {QLocale(QLocale::Japanese, QLocale::Japan), "終了(&X)"},
      {QLocale(QLocale::Chinese, QLocale::China), "退出(&X)"},
  };
  for (const auto& [locale, exitText] : cases) {
    platform::qt::Translation t;
    ASSERT_TRUE(t.install("oskelu", dir, locale));
    QWidget* w = show(nullptr);
    EXPECT_NE(w->windowTitle(), "SCAN");
    EXPECT_EQ(w->windowTitle(), QCoreApplication::translate("Oskelu", "SCAN"));
    EXPECT_EQ(control<QPushButton>(w, 1054)->text(), QString::fromUtf8(exitText));
    EXPECT_NE(control<QComboBox>(w, 1001)->itemText(1), "Autosense");
  }
  EXPECT_EQ(control<QPushButton>(show(nullptr), 1054)->text(), "E&xit");
}

TEST(Catalogues, JapaneseAndChineseTextsComeFromTheLibrarysCatalogues) {
  const QString dir = QString::fromStdString(scanui::internal::translationsDir().string());
  const QString english = scanui::internal::stringTableText(141);
  for (const QLocale& locale : {QLocale(QLocale::Japanese, QLocale::Japan), QLocale(QLocale::Chinese, QLocale::China)}) {
    platform::qt::Translation t;
    ASSERT_TRUE(t.install("oskelu", dir, locale)) << locale.name().toStdString();
    const QString translated = scanui::internal::stringTableText(141);
    EXPECT_NE(translated, english);
    EXPECT_TRUE(translated.contains('\n'));
    EXPECT_NE(scanui::internal::dllLoadFailedText(), "Failed to load the necessary DLL.");
  }
  EXPECT_EQ(scanui::internal::stringTableText(141), english);
  EXPECT_EQ(scanui::internal::stringTableText(139), "");
  EXPECT_EQ(scanui::internal::stringTableText(150), "");
}

}  // namespace
}  // namespace scanui_test
