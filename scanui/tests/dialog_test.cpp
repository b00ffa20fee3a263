// The scan dialog's frame: made at ShowUI, gone at HideUI or TermUI.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "platform/qt/control.h"
#include "platform/qt/translations.h"
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
  EnableDICOMField(&study, 1, 0);
  const std::filesystem::path dir = testsupport::selfExecutable().parent_path() / "screenshots";
  std::filesystem::create_directories(dir);
  QWidget* w = show("Screenshot");
  w->adjustSize();
  EXPECT_TRUE(w->grab().save(QString::fromStdString((dir / "scan_dialog.png").string())));
  // The same window in Japanese, for a person to check the glyphs.
  platform::qt::Translation japanese;
  ASSERT_TRUE(japanese.install("oskelu", QString::fromStdString(scanui::internal::translationsDir().string()),
                               QLocale(QLocale::Japanese, QLocale::Japan)));
  w = show("Screenshot");
  w->adjustSize();
  EXPECT_TRUE(w->grab().save(QString::fromStdString((dir / "scan_dialog_ja.png").string())));
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
