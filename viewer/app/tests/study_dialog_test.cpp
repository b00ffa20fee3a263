#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <filesystem>

#include "modal_script.h"
#include "platform/qt/control.h"
#include "platform/qt/testing/record_field_check.h"
#include "viewer/app/dialogs.h"
#include "viewer/app/pipeline.h"

using namespace viewer::app;

namespace {

StudyFields validFields() {
  StudyFields f;
  f.componentName = "PIPE-7";
  f.componentId = "W-0042";
  f.manufacturingYear = "1999";
  f.manufacturingMonth = "12";
  f.manufacturingDay = "31";
  f.sex = 3;
  f.studyYear = "2026";
  f.studyMonth = "1";
  f.studyDay = "15";
  f.studyId = "S1";
  f.studyDescription = "Girth weld";
  return f;
}

TEST(EditStudyData, StudyFieldsTakeOnlyWhatTheFilesCarry) {
  EditStudyDataDialog d(validFields(), {{}}, {{}}, {true}, {true}, false, 2026);
  d.show();
  for (int id : {1040, 1041, 1048, 1049}) platform::qt::testing::expectGuardedField(&d, id);
  platform::qt::testing::typeText(platform::qt::control<QLineEdit>(&d, 1040), QString::fromUtf8("\xE8\xA9\xA6\xC3\x98 7"));
  EXPECT_EQ(d.fields().componentName, QString::fromUtf8("\xE8\xA9\xA6 7"));
  std::filesystem::create_directories(SCREENSHOT_DIR);
  EXPECT_TRUE(d.grab().save(QStringLiteral(SCREENSHOT_DIR "/edit_study_data_refused.png")));
}

TEST(EditStudyData, OkChecksEachFieldInOrder) {
  const QString kanji17 = QString::fromUtf8("溶接溶接溶接溶接溶接溶接溶接溶接溶");  // 34 bytes encoded
  const struct {
    const char* what;
    std::function<void(StudyFields&)> change;
    StudyDate ownStudy;
    bool imageHasName;
    int year;  // the current year
    int invalid;
  } cases[] = {
      {"valid", [](StudyFields&) {}, {}, true, 2026, 0},
      {"empty name, the image has one", [](StudyFields& f) { f.componentName.clear(); }, {}, true, 2026, 0},
      {"empty name, the image has none", [](StudyFields& f) { f.componentName.clear(); }, {}, false, 2026, 1040},
      {"name of 34 bytes", [&](StudyFields& f) { f.componentName = kanji17; }, {}, true, 2026, 1040},
      {"name of 32 bytes", [](StudyFields& f) { f.componentName = QString(32, 'N'); }, {}, true, 2026, 0},
      {"ID of 33 characters", [](StudyFields& f) { f.componentId = QString(33, 'A'); }, {}, true, 2026, 1041},
      {"made in 1799", [](StudyFields& f) { f.manufacturingYear = "1799"; }, {}, true, 2026, 1042},
      {"month 13", [](StudyFields& f) { f.manufacturingMonth = "13"; }, {}, true, 2026, 1043},
      {"30 February", [](StudyFields& f) { f.manufacturingMonth = "2"; f.manufacturingDay = "30"; }, {}, true, 2026, 1044},
      {"29 February 2024", [](StudyFields& f) { f.manufacturingYear = "2024"; f.manufacturingMonth = "2"; f.manufacturingDay = "29"; }, {}, true, 2026, 0},
      {"29 February 2023", [](StudyFields& f) { f.manufacturingYear = "2023"; f.manufacturingMonth = "2"; f.manufacturingDay = "29"; }, {}, true, 2026, 1044},
      {"studied next year", [](StudyFields& f) { f.studyYear = "2027"; }, {}, true, 2026, 1045},
      {"a clock past 2100 allows 2100", [](StudyFields& f) { f.studyYear = "2100"; }, {}, true, 2150, 0},
      {"blank study date, the image's own is valid", [](StudyFields& f) { f.studyYear = f.studyMonth = f.studyDay = ""; }, {"2020", "5", "6"}, true, 2026, 0},
      {"blank study date, the image has none", [](StudyFields& f) { f.studyYear = f.studyMonth = f.studyDay = ""; }, {}, true, 2026, 1045},
      {"study ID of 17 bytes", [](StudyFields& f) { f.studyId = QString(17, '1'); }, {}, true, 2026, 1048},
      {"description of 129 bytes", [](StudyFields& f) { f.studyDescription = QString(129, 'd'); }, {}, true, 2026, 1049},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StudyFields f = validFields();
    c.change(f);
    EditStudyDataDialog d(f, {{"1999", "12", "31"}}, {c.ownStudy}, {c.imageHasName}, {true}, false, c.year);
    EXPECT_EQ(d.firstInvalidField(), c.invalid);
  }
}

TEST(EditStudyData, InvalidDataAreRefusedUnlessSavedAnyway) {
  StudyFields f = validFields();
  f.studyMonth = "13";
  const struct {
    bool saveMode;
    bool confirm;
    bool accepted;
    std::size_t asked;
  } cases[] = {{false, true, false, 0}, {true, false, false, 1}, {true, true, true, 1}};
  for (const auto& c : cases) {
    app_test::ModalScript modals;
    modals.handlers.push_back([&c](QDialog* d) {
      if (c.confirm) d->accept();
      else d->reject();
    });
    EditStudyDataDialog d(f, {{}}, {{}}, {true}, {true}, c.saveMode, 2026);
    d.show();
    d.accept();
    EXPECT_EQ(d.result() == QDialog::Accepted, c.accepted) << c.saveMode << c.confirm;
    ASSERT_EQ(modals.titles.size(), c.asked);
    if (c.asked) {
      EXPECT_EQ(modals.titles[0], "Confirmation");
    }
    if (!c.accepted) {
      EXPECT_TRUE(d.isVisible());
    }
  }
}

TEST(EditStudyData, TypingPastTheLimitStripsWhatTheEncodingDrops) {
  EditStudyDataDialog d(validFields(), {{}}, {{}}, {true}, {true}, false, 2026);
  auto* name = platform::qt::control<QLineEdit>(&d, 1040);
  ASSERT_NE(name, nullptr);
  // Half-width katakana and a tab in a text already past 189 bytes.
  const QString typed = QString(185, 'a') + QString::fromUtf8("ｶﾀｶﾅ\t") + "bcdef";
  name->setText(typed);
  emit name->textEdited(typed);
  EXPECT_EQ(name->text(), QString(185, 'a') + "bcdef");
  // Below the limit nothing is touched.
  const QString shortText = QString::fromUtf8("ｶﾅ\t");
  name->setText(shortText);
  emit name->textEdited(shortText);
  EXPECT_EQ(name->text(), shortText);
  // The input method is off where identifiers and dates are typed.
  EXPECT_TRUE(name->testAttribute(Qt::WA_InputMethodEnabled));
  for (int id : {1041, 1042, 1043, 1044, 1045, 1046, 1047, 1048})
    EXPECT_FALSE(platform::qt::control<QLineEdit>(&d, id)->testAttribute(Qt::WA_InputMethodEnabled)) << id;
  // For a person to look at.
  EditStudyDataDialog shown(validFields(), {{}}, {{}}, {true}, {true}, true, 2026);
  const std::filesystem::path shots(SCREENSHOT_DIR);
  std::filesystem::create_directories(shots);
  shown.grab().save(QString::fromStdString((shots / "edit_study_data.png").string()));
}

TEST(EditStudyData, TheDocumentShowsDifferencesAsStarsAndKeepsThemOnOk) {
  CTivolaDoc doc;
  for (const char* name : {"Pipe 1", "Pipe 2"}) {
    auto item = std::make_unique<viewer::CImageItem>();
    viewer::CStudyInfo::set(item->study->componentName, name);
    viewer::CStudyInfo::set(item->study->studyId, "S9");
    viewer::CStudyInfo::set(item->study->componentIdNumber, "W-1");
    viewer::CStudyInfo::set(item->study->studyYear, "0000");
    viewer::CStudyInfo::set(item->study->sex, name[5] == '1' ? "M " : "F ");
    ASSERT_TRUE(doc.images.add(std::move(item)));
  }
  app_test::ModalScript modals;
  QString shownName, shownId, shownYear;
  bool mixed = false;
  modals.handlers.push_back([&](QDialog* d) {
    shownName = platform::qt::control<QLineEdit>(d, 1040)->text();
    shownId = platform::qt::control<QLineEdit>(d, 1048)->text();
    shownYear = platform::qt::control<QLineEdit>(d, 1045)->text();
    mixed = platform::qt::control<QRadioButton>(d, 1054)->isChecked();
    platform::qt::control<QPlainTextEdit>(d, 1049)->setPlainText("Both");
    platform::qt::control<QLineEdit>(d, 1042)->setText("2001");
    platform::qt::control<QLineEdit>(d, 1043)->setText("2");
    platform::qt::control<QLineEdit>(d, 1044)->setText("3");
    platform::qt::control<QLineEdit>(d, 1045)->setText("2026");
    platform::qt::control<QLineEdit>(d, 1046)->setText("4");
    platform::qt::control<QLineEdit>(d, 1047)->setText("5");
    d->accept();
  });
  ASSERT_TRUE(doc.editStudyDataForImages(CTivolaDoc::Scope::All, false, 2026, nullptr));
  EXPECT_EQ(shownName, "*");
  EXPECT_EQ(shownId, "S9");
  EXPECT_EQ(shownYear, "");  // a zero date part is shown empty
  EXPECT_TRUE(mixed);
  for (int i = 0; i < 2; ++i) {
    const viewer::CStudyInfo& s = *doc.images.get(i)->study;
    EXPECT_STREQ(s.componentName, i == 0 ? "Pipe 1" : "Pipe 2");
    EXPECT_STREQ(s.sex, i == 0 ? "M " : "F ");
    EXPECT_STREQ(s.studyDescription, "Both");
    EXPECT_STREQ(s.studyYear, "2026");
    EXPECT_STREQ(s.manufacturingDay, "3");
  }
}

}  // namespace
