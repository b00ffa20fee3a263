#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <filesystem>
#include <utility>

#include "modal_script.h"
#include "platform/qt/control.h"
#include "testsupport/testsupport.h"
#include "platform/qt/testing/record_field_check.h"
#include "viewer/app/dialogs.h"
#include "viewer/app/pipeline.h"
#include "viewer/formats/diconde.h"

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
      // The boxes take 32 and 16 characters typed; the bytes are checked on OK.
      {"ID of 34 bytes", [&](StudyFields& f) { f.componentId = kanji17; }, {}, true, 2026, 1041},
      {"made in 1799", [](StudyFields& f) { f.manufacturingYear = "1799"; }, {}, true, 2026, 1042},
      {"month 13", [](StudyFields& f) { f.manufacturingMonth = "13"; }, {}, true, 2026, 1043},
      {"30 February", [](StudyFields& f) { f.manufacturingMonth = "2"; f.manufacturingDay = "30"; }, {}, true, 2026, 1044},
      {"29 February 2024", [](StudyFields& f) { f.manufacturingYear = "2024"; f.manufacturingMonth = "2"; f.manufacturingDay = "29"; }, {}, true, 2026, 0},
      {"29 February 2023", [](StudyFields& f) { f.manufacturingYear = "2023"; f.manufacturingMonth = "2"; f.manufacturingDay = "29"; }, {}, true, 2026, 1044},
      {"studied next year", [](StudyFields& f) { f.studyYear = "2027"; }, {}, true, 2026, 1045},
      {"a clock past 2100 allows 2100", [](StudyFields& f) { f.studyYear = "2100"; }, {}, true, 2150, 0},
      {"blank study date, the image's own is valid", [](StudyFields& f) { f.studyYear = f.studyMonth = f.studyDay = ""; }, {"2020", "5", "6"}, true, 2026, 0},
      {"blank study date, the image has none", [](StudyFields& f) { f.studyYear = f.studyMonth = f.studyDay = ""; }, {}, true, 2026, 1045},
      {"study ID of 18 bytes", [&](StudyFields& f) { f.studyId = kanji17.left(9); }, {}, true, 2026, 1048},
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
  // A box without a typing limit of its own, so the text can pass 189 bytes.
  auto* name = platform::qt::control<QLineEdit>(&d, 1042);
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
  EXPECT_TRUE(platform::qt::control<QLineEdit>(&d, 1040)->testAttribute(Qt::WA_InputMethodEnabled));
  for (int id : {1041, 1042, 1043, 1044, 1045, 1046, 1047, 1048})
    EXPECT_FALSE(platform::qt::control<QLineEdit>(&d, id)->testAttribute(Qt::WA_InputMethodEnabled)) << id;
  // For a person to look at.
  EditStudyDataDialog shown(validFields(), {{}}, {{}}, {true}, {true}, true, 2026);
  const std::filesystem::path shots(SCREENSHOT_DIR);
  std::filesystem::create_directories(shots);
  shown.grab().save(QString::fromStdString((shots / "edit_study_data.png").string()));
}

TEST(EditStudyData, TheTextFieldsTakeNoMoreCharactersThanTheirLimits) {
  StudyFields f = validFields();
  f.componentName = f.componentId = f.studyId = f.studyDescription = "";
  EditStudyDataDialog d(f, {{}}, {{}}, {true}, {true}, false, 2026);
  for (const auto& [id, limit] : {std::pair{1040, 32}, {1041, 32}, {1048, 16}}) {
    auto* box = platform::qt::control<QLineEdit>(&d, id);
    for (int i = 0; i < limit + 5; ++i) box->insert(QStringLiteral("N"));
    EXPECT_EQ(box->text(), QString(limit, 'N')) << id;
  }
  auto* description = platform::qt::control<QPlainTextEdit>(&d, 1049);
  for (int i = 0; i < 70; ++i) description->insertPlainText(QStringLiteral("d"));
  EXPECT_EQ(description->toPlainText(), QString(64, 'd'));
  // A longer description an image brought along is not cut when shown.
  StudyFields longer = validFields();
  longer.studyDescription = QString(100, 'x');
  EditStudyDataDialog e(longer, {{}}, {{}}, {true}, {true}, false, 2026);
  EXPECT_EQ(platform::qt::control<QPlainTextEdit>(&e, 1049)->toPlainText(), QString(100, 'x'));
}

TEST(EditStudyData, AnEmptiedFieldIsWrittenEmptyAndOnlyAStarKeeps) {
  CTivolaDoc doc;
  for (const char* name : {"Pipe 1", "Pipe 2"}) {
    auto item = std::make_unique<viewer::CImageItem>();
    ASSERT_TRUE(item->allocate(1, 4, 3));
    item->bitsStored = 8;
    item->completeLoad();
    viewer::CStudyInfo::set(item->study->componentName, name);
    viewer::CStudyInfo::set(item->study->componentIdNumber, "W-1");
    viewer::CStudyInfo::set(item->study->studyId, "S9");
    viewer::CStudyInfo::set(item->study->studyDescription, "Weld seam");
    viewer::CStudyInfo::set(item->study->studyYear, "2020");
    viewer::CStudyInfo::set(item->study->studyMonth, "5");
    viewer::CStudyInfo::set(item->study->studyDay, "6");
    viewer::CStudyInfo::set(item->study->manufacturingYear, "2001");
    viewer::CStudyInfo::set(item->study->manufacturingMonth, "2");
    viewer::CStudyInfo::set(item->study->manufacturingDay, "3");
    ASSERT_TRUE(doc.images.add(std::move(item)));
  }
  app_test::ModalScript modals;
  modals.handlers.push_back([](QDialog* d) {
    // The names differ and show "*"; the rest is cleared, the dates too.
    for (int id : {1041, 1048, 1045, 1046, 1047}) platform::qt::control<QLineEdit>(d, id)->clear();
    platform::qt::control<QPlainTextEdit>(d, 1049)->clear();
    d->accept();
    if (d->isVisible()) d->reject();  // refused: the test fails below instead of waiting
  });
  ASSERT_TRUE(doc.editStudyDataForImages(CTivolaDoc::Scope::All, false, 2026, nullptr));
  ASSERT_EQ(modals.titles.size(), 1u);
  testsupport::TempDir dir;
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const viewer::CStudyInfo& s = *doc.images.get(i)->study;
    EXPECT_STREQ(s.componentName, i == 0 ? "Pipe 1" : "Pipe 2");
    EXPECT_STREQ(s.componentIdNumber, "");
    EXPECT_STREQ(s.studyId, "");
    EXPECT_STREQ(s.studyDescription, "");
    // A blank date part stands for the image's own.
    EXPECT_STREQ(s.studyYear, "2020");
    // What reaches the file, as an outside reader sees it.
    const std::string file = (dir / ("s" + std::to_string(i) + ".dcm")).string();
    ASSERT_EQ(viewer::formats::WriteDicondeFile(*doc.images.get(i), file, false), 1);
    const testsupport::CommandResult dump = testsupport::runCommand("dcmdump +E " + file);
    ASSERT_EQ(dump.status, 0) << dump.output;
    for (const char* tag : {"(0010,0020) LO", "(0020,0010) SH", "(0008,1030) LO"}) {
      const auto at = dump.output.find(tag);
      ASSERT_NE(at, std::string::npos) << tag << "\n" << dump.output;
      EXPECT_NE(dump.output.substr(at, dump.output.find('\n', at) - at).find("(no value available)"), std::string::npos)
          << dump.output.substr(at, 80);
    }
    EXPECT_NE(dump.output.find(i == 0 ? "[Pipe 1]" : "[Pipe 2]"), std::string::npos);
  }
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
