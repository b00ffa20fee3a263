// The scan dialog driven by control id, offscreen, over the fake device library.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <functional>
#include <tuple>

#include "platform/ini.h"
#include "platform/qt/control.h"
#include "platform/qt/testing/record_field_check.h"
#include "platform/qt/translations.h"
#include "scanui/internal/mini_screen.h"
#include "scanui/internal/moire_dialog.h"
#include "scanui/internal/scan_message.h"
#include "scanui/internal/strings.h"
#include "scanui/tests/scanui_fixture.h"

namespace scanui_test {
namespace {

using platform::qt::control;
using scanui::internal::CScanDlg;

// Runs `act` on the next modal box once it is open (it may come from a nested loop).
void onNextBox(std::function<void(QWidget*)> act) {
  QTimer::singleShot(0, [act] {
    QWidget* box = QApplication::activeModalWidget();
    if (box == nullptr) return onNextBox(act);
    act(box);
  });
}
void pressInNextBox(int id) {
  onNextBox([id](QWidget* box) { QTest::mouseClick(control<QPushButton>(box, id), Qt::LeftButton); });
}

// Closes every modal box that opens while it lives, noting its template.
struct BoxWatch {
  BoxWatch() {
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        seen.push_back(box->objectName());
        box->reject();
      }
    });
    timer.start();
  }
  QTimer timer;
  std::vector<QString> seen;
};

class ScanDialog : public ScanUiTest {
 protected:
  void SetUp() override {
    ScanUiTest::SetUp();
    closeRequests = 0;
    dlg().settings() = {};
    dlg().preview().reset();
    dlg().scan = [this] { ++scans; };
    SetDSProcAddress(nullptr, onCloseHideAndTerm);
    ASSERT_EQ(InitUI(0), 1);
  }
  void TearDown() override {
    dlg().scan = nullptr;
    dlg().settings() = {};
    ScanUiTest::TearDown();
  }
  CScanDlg& dlg() { return scanui::internal::library().dialog; }
  QWidget* show() { return w = static_cast<QWidget*>(ShowUI(&host, nullptr)); }
  template <typename T>
  T* c(int id) {
    T* found = control<T>(w, id);
    EXPECT_NE(found, nullptr) << id;
    return found;
  }
  QString text(int id) { return c<QLineEdit>(id)->text(); }
  void type(int id, const QString& value) { typeInto(w, id, value); }
  void choose(int id, int index) { chooseIn(w, id, index); }
  void ticks(int n) {
    for (int i = 0; i < n; ++i) dlg().tick();
  }

  QWidget host;
  QWidget* w = nullptr;
  int scans = 0;
};

TEST_F(ScanDialog, AutosenseFeedsWithoutAFilmAndPicksTheFilmUpAtTheNextCheck) {
  brightel.filmCode = 0;
  show();
  EXPECT_EQ(c<QComboBox>(1001)->currentIndex(), 1);
  EXPECT_EQ(c<QComboBox>(1001)->count(), 28);
  auto* scan = c<QPushButton>(1022);
  EXPECT_EQ(scan->text(), "&Feed");
  EXPECT_TRUE(scan->isEnabled());
  EXPECT_EQ(c<QLabel>(1038)->text(), "Maximum O.D.:");
  QTest::mouseClick(scan, Qt::LeftButton);
  EXPECT_EQ(brightel.count("NextFilm(1)"), 1);
  EXPECT_EQ(scans, 0);

  brightel.filmCode = 205;
  ticks(10);
  EXPECT_EQ(scan->text(), "&Feed");  // the film is checked every 1.1 s
  ticks(1);
  EXPECT_EQ(scan->text(), "&Scan");
  EXPECT_EQ(text(1018), "356");
  EXPECT_EQ(text(1019), "300");
  EXPECT_EQ(text(1020), "1780");  // the general profile's 200 micrometres
  EXPECT_EQ(c<QLabel>(1038)->text(), "Maximum O.D. in Marquee:");
  EXPECT_EQ(c<QLabel>(1024)->text(), "-");
  EXPECT_EQ(c<QLabel>(1025)->text(), "5,340,000");  // 2 bytes x 1780 x 1500
}

TEST_F(ScanDialog, WithOneDeviceTheDialogEndsAboveTheDeviceSelectors) {
  show();
  EXPECT_FALSE(w->findChild<QWidget*>("1011")->isVisible());
  EXPECT_FALSE(c<QComboBox>(1004)->isEnabled());
  EXPECT_FALSE(c<QComboBox>(1006)->isEnabled());
  EXPECT_FALSE(c<QComboBox>(1013)->isVisible());

  brightel.devices["TRESSOLA/KT7163"] = {{0, 5}, {1, 3}, {1, 4}};
  brightel.adapterNames = {"first", "second"};
  TermUI(0);
  ASSERT_EQ(InitUI(0), 1);
  platform::ini::writeInt(config.ini(), "Profile", "Host", 1);
  platform::ini::writeInt(config.ini(), "Profile", "Digitizer", 9);  // no such entry: left as it is
  show();
  EXPECT_TRUE(w->findChild<QWidget*>("1011")->isVisible());
  auto* adapters = c<QComboBox>(1004);
  ASSERT_EQ(adapters->count(), 2);
  EXPECT_EQ(adapters->itemText(1), "#1 second");
  EXPECT_EQ(adapters->currentIndex(), 1);
  auto* ids = c<QComboBox>(1006);
  ASSERT_EQ(ids->count(), 2);
  EXPECT_EQ(ids->itemText(0), "#3");
  EXPECT_EQ(ids->currentIndex(), 0);
  EXPECT_EQ(connection().selectedIndex(), 1);
}

TEST_F(ScanDialog, TheRegionListReadsClearWhileOpenAndIsNotSensedThen) {
  show();
  auto* regions = c<QComboBox>(1001);
  regions->showPopup();
  EXPECT_EQ(regions->itemText(0), "Clear");
  EXPECT_EQ(regions->currentIndex(), 1);
  const int checks = brightel.count("GetCondition(1)");
  ticks(11);
  EXPECT_EQ(brightel.count("GetCondition(1)"), checks);
  regions->hidePopup();
  EXPECT_EQ(regions->itemText(0), "Custom");
  ticks(11);
  EXPECT_EQ(brightel.count("GetCondition(1)"), checks + 1);
  auto* mini = w->findChild<scanui::internal::CMiniScreen*>("99");
  EXPECT_EQ(mini->phase(), 22 * 6 % 8);  // the marquee's dots moved every tick
}

TEST(MiniScreen, CursorsFollowTheHitCode) {
  using scanui::internal::CMiniScreen;
  const std::pair<int, Qt::CursorShape> cases[] = {
      {0, Qt::SizeAllCursor},   {1, Qt::SizeHorCursor},   {2, Qt::SizeHorCursor},   {4, Qt::SizeVerCursor},
      {8, Qt::SizeVerCursor},   {5, Qt::SizeFDiagCursor}, {10, Qt::SizeFDiagCursor}, {6, Qt::SizeBDiagCursor},
      {9, Qt::SizeBDiagCursor}, {-1, Qt::ArrowCursor},    {3, Qt::ArrowCursor}};
  for (auto [code, shape] : cases) EXPECT_EQ(CMiniScreen::cursorFor(code), shape) << code;
}

TEST_F(ScanDialog, RegionFieldsClampKeepTypedPixelsAndSwitchToCustom) {
  show();
  choose(1007, 2);  // 100 micrometres
  type(1018, "0");
  EXPECT_EQ(c<QComboBox>(1001)->currentIndex(), 0);
  EXPECT_EQ(c<QComboBox>(1001)->currentText(), "Custom");
  type(1015, "300");
  type(1018, "100");
  EXPECT_EQ(text(1018), "65");
  EXPECT_EQ(text(1020), "650");
  EXPECT_EQ(c<QLineEdit>(1018)->selectedText(), "65");
  type(1021, "1234");
  EXPECT_EQ(text(1021), "1234");
  EXPECT_EQ(text(1019), "124");
  // A pitch of 0 typed into the spacing field is stored as 1.
  auto* pitch = c<QComboBox>(1007);
  pitch->lineEdit()->selectAll();
  QTest::keyClicks(pitch->lineEdit(), "0");
  EXPECT_EQ(dlg().region().pitch, 1);
  EXPECT_EQ(text(1020), "65000");
  EXPECT_FALSE(c<QCheckBox>(1037)->isEnabled());
  EXPECT_FALSE(c<QPushButton>(1031)->isEnabled());
}

TEST_F(ScanDialog, EnterInAFieldStartsNothingButTheScanButtonDoes) {
  show();
  choose(1001, 2);  // 14"X17"
  auto* width = c<QLineEdit>(1018);
  width->setFocus();
  BoxWatch watch;
  QTest::keyClick(width, Qt::Key_Return);
  QTest::keyClick(width, Qt::Key_Enter);
  QApplication::processEvents();
  EXPECT_EQ(scans, 0);
  EXPECT_TRUE(prompts.asked.empty());
  EXPECT_TRUE(watch.seen.empty()) << watch.seen[0].toStdString();
  for (int id : {1008, 1010, 1022, 1031, 1036, 1050, 1054, 1016})
    EXPECT_FALSE(c<QPushButton>(id)->autoDefault()) << id;
  QTest::mouseClick(c<QPushButton>(1022), Qt::LeftButton);
  EXPECT_EQ(scans, 1);
}

TEST_F(ScanDialog, DraggingOnThePreviewFillsTheRegionAndSelectsCustom) {
  show();
  auto* mini = w->findChild<scanui::internal::CMiniScreen*>("99");
  ASSERT_NE(mini, nullptr);
  EXPECT_EQ(mini->windowTitle(), "MiniScreen");
  choose(1001, 0);  // no region: the press starts a new marquee
  QTest::mousePress(mini, Qt::LeftButton, {}, QPoint(20, 30));
  QTest::mouseMove(mini, QPoint(80, 120));
  QTest::mouseRelease(mini, Qt::LeftButton, {}, QPoint(80, 120));
  QApplication::processEvents();
  EXPECT_EQ(c<QComboBox>(1001)->currentIndex(), 0);
  const auto& r = dlg().region();
  EXPECT_GT(r.leftMm, 30);
  EXPECT_GT(r.widthMm, 100);
  const std::pair<int, int> fields[] = {{1015, r.leftMm},  {1017, r.topMm},    {1018, r.widthMm},
                                        {1019, r.heightMm}, {1020, r.widthPx}, {1021, r.heightPx}};
  for (auto [id, value] : fields) EXPECT_EQ(text(id), QString::number(value)) << id;
  // The right button empties the marquee and the region.
  QTest::mousePress(mini, Qt::RightButton, {}, QPoint(50, 50));
  QApplication::processEvents();
  EXPECT_EQ(text(1018), "0");
  EXPECT_EQ(c<QPushButton>(1022)->text(), "&Scan");
  EXPECT_FALSE(c<QPushButton>(1022)->isEnabled());
}

TEST_F(ScanDialog, TheStudyToggleWidensTheDialogAndEnablesItsFields) {
  scanui::StudyData study{};
  std::strcpy(study.componentName, "Pipe 7");
  std::strcpy(study.manufacturingDate, "20240307");
  study.sex[0] = 'O';
  EnableDICOMField(&study, 1, 0);
  show();
  const int narrow = w->width();
  EXPECT_FALSE(c<QLineEdit>(1040)->isEnabled());
  EXPECT_EQ(text(1040), "Pipe 7");
  EXPECT_EQ(text(1043), "3");
  EXPECT_TRUE(c<QRadioButton>(2007)->isChecked());
  QTest::mouseClick(c<QPushButton>(1016), Qt::LeftButton);
  EXPECT_GT(w->width(), narrow);
  EXPECT_TRUE(c<QLineEdit>(1040)->isEnabled());
  EXPECT_EQ(c<QPushButton>(1016)->text(), "Study Data &<<");
  QTest::mouseClick(c<QPushButton>(1036), Qt::LeftButton);
  EXPECT_EQ(text(1040), "");
  EXPECT_TRUE(c<QRadioButton>(2008)->isChecked());
  QTest::mouseClick(c<QPushButton>(1016), Qt::LeftButton);
  EXPECT_EQ(w->width(), narrow);
  EXPECT_FALSE(c<QLineEdit>(1049)->isEnabled());
}

TEST_F(ScanDialog, StudyFieldsTakeOnlyWhatTheFilesCarryAndExitWritesItAsTyped) {
  scanui::StudyData study{};
  EnableDICOMField(&study, 1, 1);
  show();
  for (int id : {1040, 1041, 1048, 1049}) platform::qt::testing::expectGuardedField(w, id);
  platform::qt::testing::typeText(c<QLineEdit>(1041), QString::fromUtf8("A\\"));  // the note, for a person to see
  const std::filesystem::path shots = testsupport::selfExecutable().parent_path() / "screenshots";
  std::filesystem::create_directories(shots);
  EXPECT_TRUE(w->grab().save(QString::fromStdString((shots / "scan_dialog_refused.png").string())));
  c<QLineEdit>(1041)->clear();
  for (int id : {1040, 1041, 1048, 1049})
    platform::qt::testing::typeText(c<QLineEdit>(id), QString::fromUtf8("M\xC3\xBC\xE5\xB1\xB1\xE2\x91\xA0\\1"));
  QTest::mouseClick(c<QPushButton>(1054), Qt::LeftButton);
  QApplication::processEvents();
  // Only what was accepted, in CP932: "M", yama, "1"; never a '?'.
  for (const char* field : {study.componentName, study.componentId, study.studyId, study.studyDescription})
    EXPECT_STREQ(field, "M\x8E\x52" "1");
}

TEST_F(ScanDialog, ExitWritesTheStudyBackUnlessAnAutoFeederRunIsArmed) {
  scanui::StudyData study{};
  std::strcpy(study.studyId, "kept");
  EnableDICOMField(&study, 1, 1);
  show();
  c<QLineEdit>(1040)->setText(QString(70, 'n'));
  c<QLineEdit>(1042)->setText("12345");
  c<QLineEdit>(1043)->setText("");
  c<QLineEdit>(1044)->setText("7");
  c<QRadioButton>(2005)->setChecked(true);
  c<QLineEdit>(1045)->setText("2026");
  c<QLineEdit>(1046)->setText("150");
  c<QLineEdit>(1047)->setText("x");
  c<QLineEdit>(1049)->setText(QString::fromUtf8("\xe6\x97\xa5").repeated(70));  // 140 bytes in CP932

  dlg().settings().rePostArmed = 1;
  QTest::mouseClick(c<QPushButton>(1054), Qt::LeftButton);
  QTest::keyClick(w, Qt::Key_Escape);
  QApplication::processEvents();
  EXPECT_EQ(closeRequests, 0);
  EXPECT_STREQ(study.componentName, "");
  EXPECT_FALSE(std::filesystem::exists(config.ini()));

  dlg().settings().rePostArmed = 0;
  QTest::mouseClick(c<QPushButton>(1054), Qt::LeftButton);
  QApplication::processEvents();
  EXPECT_EQ(closeRequests, 1);
  EXPECT_EQ(std::string(study.componentName), std::string(63, 'n'));
  EXPECT_STREQ(study.manufacturingDate, "99990007");
  EXPECT_EQ(std::string(study.sex, 3), std::string("M \0", 3));
  EXPECT_STREQ(study.studyDate, "20269900");
  EXPECT_STREQ(study.studyId, "kept");
  EXPECT_EQ(std::strlen(study.studyDescription), 126u);  // 63 whole characters of two bytes
  EXPECT_EQ(platform::ini::getString(config.ini(), "Profile", "Pitch0", "-"), "200");
}

TEST_F(ScanDialog, NothingIsWrittenToTheSettingsFileBeforeExitApplyOrMoireOk) {
  show();
  choose(1003, 0);
  choose(1012, 2);
  choose(1001, 3);  // a film size: set-up and Apply Changes are offered
  EXPECT_TRUE(c<QCheckBox>(1037)->isEnabled());
  EXPECT_TRUE(c<QPushButton>(1031)->isEnabled());
  type(1015, "5");
  QTest::mouseClick(c<QCheckBox>(1000), Qt::LeftButton);
  EXPECT_FALSE(std::filesystem::exists(config.ini()));

  choose(1001, 3);
  pressInNextBox(scanui::internal::kIdCancel);
  QTest::mouseClick(c<QPushButton>(1031), Qt::LeftButton);
  EXPECT_FALSE(std::filesystem::exists(config.ini()));
  pressInNextBox(scanui::internal::kIdOk);
  QTest::mouseClick(c<QPushButton>(1031), Qt::LeftButton);
  EXPECT_EQ(platform::ini::getString(config.ini(), "Profile", "Bits2", "-"), "0");  // code 2: 14"X14"
  EXPECT_EQ(platform::ini::getString(config.ini(), "Profile", "Mode2", "-"), "2");
  EXPECT_EQ(platform::ini::getString(config.ini(), "Profile", "Bits0", "-"), "-");
}

TEST_F(ScanDialog, AutomaticSetUpReadsTheFilmsProfileAndLocksTheLists) {
  platform::ini::writeInt(config.ini(), "Profile", "Bits203", 0);
  platform::ini::writeString(config.ini(), "Profile", "Pitch203", "125");
  show();
  choose(1001, 2 + 15);  // row 16: code 203
  QTest::mouseClick(c<QCheckBox>(1037), Qt::LeftButton);
  EXPECT_EQ(c<QComboBox>(1003)->currentText(), "8");
  EXPECT_EQ(c<QComboBox>(1007)->currentText(), "125");
  EXPECT_EQ(dlg().settings().bits, 8);
  EXPECT_FALSE(c<QComboBox>(1005)->isEnabled());
  EXPECT_FALSE(c<QPushButton>(1031)->isEnabled());
  // Custom clears the box but the remembered flag stays, and the next film size takes it up again.
  choose(1001, 0);
  EXPECT_FALSE(c<QCheckBox>(1037)->isChecked());
  EXPECT_TRUE(c<QComboBox>(1005)->isEnabled());
  choose(1001, 2);
  EXPECT_TRUE(c<QCheckBox>(1037)->isChecked());
  EXPECT_EQ(c<QComboBox>(1003)->currentText(), "12");  // profile 1 never written: the defaults
}

TEST_F(ScanDialog, TheOdListStopsAtTheDevicesMaximumAndABadProfileIndexChangesNothing) {
  brightel.odMax = 40;
  TermUI(0);
  ASSERT_EQ(InitUI(0), 1);
  platform::ini::writeInt(config.ini(), "Profile", "OD0", 4);
  platform::ini::writeInt(config.ini(), "Profile", "Bits0", 7);
  show();
  auto* od = c<QComboBox>(1005);
  ASSERT_EQ(od->count(), 4);
  EXPECT_EQ(od->itemText(3), "4.0");
  EXPECT_EQ(od->currentText(), "4.0");
  EXPECT_EQ(c<QComboBox>(1003)->currentText(), "12");
  EXPECT_EQ(dlg().settings().odRange, 40);
}

TEST_F(ScanDialog, AdjustOdPicksTheRangeOfTheDarkestCellInTheMarquee) {
  auto& p = dlg().preview();
  p.stored()[0] = 4095 - 4095 * 41 / 47;  // O.D. 4.1 of a 4.7 device in the top-left cell
  p.setScoutPresent();
  show();
  EXPECT_TRUE(c<QPushButton>(1008)->isEnabled());
  choose(1001, 8);  // 30X40mm at the top left
  EXPECT_EQ(c<QLabel>(1024)->text(), "4.100");
  QTest::mouseClick(c<QPushButton>(1008), Qt::LeftButton);
  EXPECT_EQ(c<QComboBox>(1005)->currentText(), "4.3");
  EXPECT_EQ(dlg().settings().odRange, 43);
}

TEST_F(ScanDialog, PreScanChecksInOrderAndThe19cmWarningSuppressedForTheProcess) {
  show();
  choose(1007, 0);
  type(1018, "100");
  type(1019, "100");
  auto* scan = c<QPushButton>(1022);
  // A pixel spacing beyond the device: the box, no scan.
  auto* pitch = c<QComboBox>(1007);
  pitch->lineEdit()->selectAll();
  QTest::keyClicks(pitch->lineEdit(), "2500");
  QTest::mouseClick(scan, Qt::LeftButton);
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0], "Scan|Unable to scan with this pixel spacing.");
  choose(1007, 0);
  // More data than the device holds: box 148.
  brightel.bufferSize = 1000;
  TermUI(0);
  ASSERT_EQ(InitUI(0), 1);
  show();
  choose(1001, 2);
  QString shown;
  onNextBox([&shown](QWidget* box) {
    shown = box->objectName();
    QTest::mouseClick(control<QPushButton>(box, scanui::internal::kIdOk), Qt::LeftButton);
  });
  QTest::mouseClick(c<QPushButton>(1022), Qt::LeftButton);
  EXPECT_EQ(shown, "148");
  EXPECT_EQ(scans, 0);

  brightel.bufferSize = 64u << 20;
  TermUI(0);
  ASSERT_EQ(InitUI(0), 1);
  show();
  type(1018, "100");
  type(1019, "100");  // Custom, and below 19 cm
  shown.clear();
  onNextBox([&shown](QWidget* box) {
    shown = box->objectName();
    QTest::mouseClick(control<QPushButton>(box, scanui::internal::kIdCancel), Qt::LeftButton);
  });
  QTest::mouseClick(c<QPushButton>(1022), Qt::LeftButton);
  EXPECT_EQ(shown, "150");
  EXPECT_EQ(scans, 0);
  onNextBox([](QWidget* box) {
    control<QCheckBox>(box, scanui::internal::kIdDontShow)->setChecked(true);
    QTest::mouseClick(control<QPushButton>(box, scanui::internal::kIdOk), Qt::LeftButton);
  });
  QTest::mouseClick(c<QPushButton>(1022), Qt::LeftButton);
  EXPECT_EQ(scans, 1);
  EXPECT_TRUE(qApp->property(scanui::internal::kSuppressMarker).toBool());
  QTest::mouseClick(c<QPushButton>(1022), Qt::LeftButton);  // no box now
  EXPECT_EQ(scans, 2);
  qApp->setProperty(scanui::internal::kSuppressMarker, QVariant());
}

TEST_F(ScanDialog, MoireSettingsAreWrittenOnOkOnlyInTheirOrder) {
  show();
  EXPECT_FALSE(c<QPushButton>(1050)->isEnabled());
  choose(1012, 3);
  ASSERT_TRUE(c<QPushButton>(1050)->isEnabled());
  pressInNextBox(2);
  QTest::mouseClick(c<QPushButton>(1050), Qt::LeftButton);
  EXPECT_FALSE(std::filesystem::exists(config.ini()));
  onNextBox([](QWidget* box) {
    EXPECT_EQ(box->objectName(), "151");
    EXPECT_EQ(control<QComboBox>(box, 1057)->currentText(), "100");  // the defaults, loaded
    control<QComboBox>(box, 1057)->setEditText("200");
    control<QComboBox>(box, 1053)->setEditText("400");
    control<QCheckBox>(box, 1052)->setChecked(false);
    control<QComboBox>(box, 1055)->setCurrentIndex(0);
    QTest::mouseClick(control<QPushButton>(box, 1), Qt::LeftButton);
  });
  QTest::mouseClick(c<QPushButton>(1050), Qt::LeftButton);
  EXPECT_EQ(testsupport::readFile(config.ini()),
            "[AntiMoire]\r\nScanPitch=200\r\nHorizontalGrid=0\r\nVerticalGrid=1\r\nFilterAmplitudeH=600\r\n"
            "FilterAmplitudeV=400\r\nFilterType=0\r\nInterpolationType=1\r\n");
  EXPECT_EQ(dlg().antiMoire().scanPitch, 200);
}

TEST(MoireCheck, OkRefusesWhatTheFilterCannotUse) {
  using scanui::internal::AntiMoire;
  using scanui::internal::MoireCheck;
  struct Case {
    AntiMoire values;
    MoireCheck want;
  };
  // pitch, horizontal, vertical, width H, width V, type, interpolation
  const Case cases[] = {
      {{200, 0, 1, 600, 400, 1, 1}, MoireCheck::Ok},
      {{200, 0, 1, 600, 399, 1, 1}, MoireCheck::FilterWidth},
      {{200, 0, 1, 100, 400, 1, 1}, MoireCheck::Ok},  // horizontal off: its width is not checked
      {{200, 1, 0, 399, 100, 1, 1}, MoireCheck::FilterWidth},
      {{200, 1, 0, 400, 100, 1, 1}, MoireCheck::Ok},
      {{200, 0, 0, 600, 600, 1, 1}, MoireCheck::NoDirection},
      {{49, 0, 1, 600, 600, 1, 1}, MoireCheck::BadPitch},
      {{2001, 0, 1, 600, 600, 1, 1}, MoireCheck::BadPitch},
      {{0, 0, 0, 0, 0, 1, 1}, MoireCheck::BadPitch},
      {{50, 1, 0, 50, 0, 1, 1}, MoireCheck::FilterWidth},  // before the direction
  };
  for (const Case& c : cases)
    EXPECT_EQ(scanui::internal::checkMoire(c.values), c.want)
        << c.values.scanPitch << " " << c.values.filterAmplitudeH << " " << c.values.filterAmplitudeV;
}

TEST_F(ScanDialog, TheMoireWarningsAreTheSameInEveryLanguage) {
  const QString dir = QString::fromStdString(scanui::internal::translationsDir().string());
  for (const QLocale& locale : {QLocale(QLocale::English), QLocale(QLocale::Japanese, QLocale::Japan),
                                QLocale(QLocale::Chinese, QLocale::China)}) {
    platform::qt::Translation t;
    t.install("oskelu", dir, locale);
    prompts.asked.clear();
    scanui::internal::CMoireSettingsDlg box(nullptr);
    box.load({200, 0, 1, 600, 399, 1, 1});
    QTest::mouseClick(control<QPushButton>(&box, 1), Qt::LeftButton);
    box.load({200, 0, 0, 600, 600, 1, 1});
    QTest::mouseClick(control<QPushButton>(&box, 1), Qt::LeftButton);
    ASSERT_EQ(prompts.asked.size(), 2u);
    EXPECT_EQ(prompts.asked[0].text, QString::fromUtf8("フィルタの幅に適切な値を入力してください"));
    EXPECT_EQ(prompts.asked[1].text, QString::fromUtf8("縦方向または横方向の少なくともどちらかを選択してください"));
    EXPECT_EQ(box.result(), QDialog::Rejected);  // still open
  }
}

// The dialogs of the scan UI's own take their texts from its catalogue, not
// from their Qt base class's context.
TEST_F(ScanDialog, TheMoireAndMessageDialogsReadInJapaneseAndChinese) {
  const QString dir = QString::fromStdString(scanui::internal::translationsDir().string());
  for (const auto& [locale, title, cancel] :
       {std::tuple{QLocale(QLocale::Japanese, QLocale::Japan), "モアレ低減の設定", "キャンセル"},
        std::tuple{QLocale(QLocale::Chinese, QLocale::China), "莫尔纹消除设置", "取消"}}) {
    platform::qt::Translation t;
    ASSERT_TRUE(t.install("oskelu", dir, locale));
    scanui::internal::CMoireSettingsDlg box(nullptr);
    EXPECT_EQ(box.windowTitle(), QString::fromUtf8(title));
    EXPECT_EQ(box.windowTitle(), scanui::internal::Oskelu::tr("Moire Reduction Settings"));
    EXPECT_EQ(control<QPushButton>(&box, 2)->text(), QString::fromUtf8(cancel));
    scanui::internal::CScanMessageDlg message(scanui::internal::kMsgSetFilm, nullptr, [] { return 0; }, [] {});
    EXPECT_NE(message.windowTitle(), "Scan");
  }
}

TEST(ScanMessageBox, AFilmFoundByThePollClosesTheBoxAsOkWhateverItsCode) {
  int moves = 0;
  scanui::internal::CScanMessageDlg box(scanui::internal::kMsgSetFilm, nullptr, [] { return 205; },
                                         [&moves] { ++moves; });
  EXPECT_EQ(box.windowTitle(), "Scan");
  QTest::mouseClick(control<QPushButton>(&box, scanui::internal::kIdMoveFilm), Qt::LeftButton);
  EXPECT_EQ(moves, 1);
  onNextBox([&box](QWidget*) { box.pollOnce(); });
  EXPECT_TRUE(box.run());
  scanui::internal::CScanMessageDlg none(scanui::internal::kMsgSetFilm, nullptr, [] { return 0; });
  onNextBox([&none](QWidget*) {
    none.pollOnce();
    QTest::mouseClick(control<QPushButton>(&none, scanui::internal::kIdCancel), Qt::LeftButton);
  });
  EXPECT_FALSE(none.run());
}

}  // namespace
}  // namespace scanui_test
