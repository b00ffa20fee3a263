// The main dialog, offscreen, in program folders of its own. The engine reads
// its settings beside the running program, so each test runs again inside a
// copy of this test executable placed in a fresh program folder.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QAbstractItemView>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "crapp/datacontainer.h"
#include "crapp/dialog.h"
#include "crengine/quorin.h"
#include "devapi/records.h"
#include "dicom/dicom.h"
#include "fixture.h"
#include "log/log.h"
#include "platform/ini.h"
#include "platform/library.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/qt/control.h"
#include "platform/qt/testing/record_field_check.h"
#include "platform/qt/prompt.h"
#include "platform/qt/testing/message_box.h"
#include "simulator/radiograph.h"
#include "simulator/sim.h"
#include "testsupport/pump.h"
#include "testsupport/simulated_plate.h"
#include "testsupport/testsupport.h"

namespace {

std::shared_ptr<platform::usb::Port> lentPort;

}  // namespace

// Found by the reader library with dlsym: the test lends it the bus that
// NDT_USB describes, so it can read back what the simulated reader rendered.
extern "C" __attribute__((visibility("default"))) void* ndt_usb_host_port() { return &lentPort; }

namespace {

namespace fs = std::filesystem;
namespace pq = platform::qt;
using crapp::CHalcyoneDlg;

const fs::path kBinDir = NDT_BIN_DIR;
const fs::path kScreenshotDir = CRAPP_SCREENSHOT_DIR;
constexpr const char* kInside = "CRAPP_DIALOG_IN_FOLDER";

struct Folder {
  crapptest::FolderOptions options;
  std::map<std::string, std::string> env;
  std::function<void(const crapptest::ProgramFolder&)> prepare;
};

// In the first run: makes the program folder, runs the current test again in
// a copy of this executable placed there, and returns true (the test ends).
// In the copy: false, and the test body runs there.
bool ranInProgramFolder(const Folder& setup) {
  if (std::getenv(kInside) != nullptr) return false;
  crapptest::ProgramFolder folder(kBinDir, testsupport::selfExecutable(), setup.options);
  if (setup.prepare) setup.prepare(folder);
  testsupport::TempDir runtime;
  std::map<std::string, std::string> env = setup.env;
  env[kInside] = "1";
  env["NDT_RUNTIME_DIR"] = runtime.path().string();
  env["NDT_CONFIG_DIR"] = (runtime.path() / "config").string();
  // The copied libraries, not the build folder's, so the engine loads the
  // reader library (and its settings) from beside itself.
  env["LD_LIBRARY_PATH"] = folder.root().string();
#if defined(__SANITIZE_THREAD__)
  // The dialog paints; Qt's own painting threads are not instrumented.
  const char* tsan = std::getenv("TSAN_OPTIONS");
  env["TSAN_OPTIONS"] = std::string(tsan ? tsan : "") + " suppressions=" NDT_QT_TSAN_SUPPRESSIONS;
#endif
  testsupport::rerunCurrentTest(folder.program(), env, folder.root(), runtime.path() / "inside.xml", [&] {
    return crapptest::listFolder(folder.dir()) + crapptest::listFolder(folder.dir() / "halcLog") + folder.log();
  });
  return true;
}

using testsupport::pumpUntil;

// The dialog of the program folder this process runs in, started and shown.
class Dialog {
 public:
  explicit Dialog(bool start = true) {
    const fs::path log = platform::paths::programDir() / "halcLog";
    fs::create_directories(log);
    Log::setLogFileDir(log.c_str());
    Log::setDailyLogFile(true);
    Log::setLogFileNameBase("Halcyone");
    Log::setLogLevel(9);
    dlg = std::make_unique<CHalcyoneDlg>(platform::paths::programDir());
    if (start) {
      started = dlg->OnInitDialog();
      if (started) dlg->show();
    }
  }
  template <typename T>
  T* get(int id) const {
    T* c = pq::control<T>(dlg.get(), id);
    if (c == nullptr) ADD_FAILURE() << "no control " << id;
    return c;
  }
  QString status() const { return get<QLabel>(crapp::IDC_STATUS)->text(); }
  QPushButton* button(int id) const { return get<QPushButton>(id); }
  bool scanEnabled() const { return button(crapp::IDC_BTN_SCAN)->isEnabled(); }
  bool idle() const { return button(crapp::IDC_BTN_CLOSE)->isEnabled(); }
  // Scan enabled by the IP-set poll, then pressed; true once the engine runs.
  bool startScan(int ipSizeIndex, const char* pitch) {
    if (!pumpUntil([&] { return scanEnabled(); })) return false;
    get<QComboBox>(crapp::IDC_COMBO_IPSIZE)->setCurrentIndex(ipSizeIndex);
    get<QComboBox>(crapp::IDC_COMBO_PITCH)->setCurrentText(pitch);
    button(crapp::IDC_BTN_SCAN)->click();
    return !idle();
  }
  void escape() {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(dlg.get(), &press);
  }
  std::vector<QString> asked() const {
    std::vector<QString> texts;
    for (const auto& a : prompt.asked) texts.push_back(a.text);
    return texts;
  }

  pq::ScriptedPrompt prompt;
  std::unique_ptr<CHalcyoneDlg> dlg;
  bool started = false;
};

const QString kScanning = "Scanning........";
const QString kEndOfScan = "End of scan.";
const QString kEndOfSaving = "End of saving data.";
const QString k500 = "A scanning previous image is left.  Are you sure to lost this image?";
const QString k503 = "In processing.  Please wait for end of processing.";
const QString k504 = "Not connect to scanner. Do you retry to connect to scanner?";

int countSuffix(const fs::path& folder, const std::string& suffix) {
  int n = 0;
  std::error_code ec;
  for (auto& e : fs::directory_iterator(folder, ec)) {
    const std::string name = e.path().filename().string();
    if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) ++n;
  }
  return n;
}

Folder testMode() { return Folder{crapptest::FolderOptions{true, false, true, 250, 320}, {}, {}}; }

TEST(DialogTestMode, AScanSavedWithAnIdMakesExactlyOneExportSet) {
  if (ranInProgramFolder(testMode())) return;
  Dialog d;
  ASSERT_TRUE(d.started);
  ASSERT_TRUE(d.startScan(0, "200")) << d.status().toStdString();
  EXPECT_EQ(d.status(), kScanning);
  EXPECT_TRUE(d.dlg->miniscreen()->m_DIB.exists());
  ASSERT_TRUE(pumpUntil([&] { return d.idle(); }));
  EXPECT_EQ(d.status(), kEndOfScan);
  // Study fields stay open during the scan and after it.
  EXPECT_TRUE(d.get<QLineEdit>(crapp::IDC_EDIT_ID)->isEnabled());

  // A person looks at this one: the plate aspect-fitted into the pane.
  const QString shot = QString::fromStdString((kScreenshotDir / "halcyone_test_scan.png").string());
  EXPECT_TRUE(d.dlg->grab().save(shot));

  // Scan again with the image held, answered Cancel: image and records stay.
  ASSERT_TRUE(pumpUntil([&] { return d.scanEnabled(); }));
  d.prompt.answers = {pq::Answer::Cancel};
  d.button(crapp::IDC_BTN_SCAN)->click();
  EXPECT_EQ(d.asked(), (std::vector<QString>{k500}));
  EXPECT_TRUE(d.dlg->miniscreen()->m_DIB.exists());
  EXPECT_TRUE(d.dlg->container()->scanImage());
  EXPECT_TRUE(d.idle());
  d.prompt.asked.clear();

  // A save that fails keeps the scan, so the next one still exports it once.
  d.get<QLineEdit>(crapp::IDC_EDIT_ID)->setText("W-17");
  d.dlg->container()->setFileStepHook([](int step, std::string_view) { return step != 0; });
  d.button(crapp::IDC_BTN_SAVE)->click();
  EXPECT_EQ(d.status(), "Failed to output DICOM file.");
  EXPECT_TRUE(d.dlg->container()->scanImage());
  EXPECT_EQ(countSuffix(d.dlg->container()->exportFolder(), ".dcm.ready"), 0);
  d.dlg->container()->setFileStepHook({});
  d.button(crapp::IDC_BTN_SAVE)->click();
  EXPECT_EQ(d.status(), kEndOfSaving);
  const fs::path exported = d.dlg->container()->exportFolder();
  EXPECT_EQ(countSuffix(exported, ".dcm"), 1) << crapptest::listFolder(exported);
  EXPECT_EQ(countSuffix(exported, ".dcm.info"), 1);
  EXPECT_EQ(countSuffix(exported, ".dcm.ready"), 1);
  EXPECT_FALSE(d.dlg->container()->scanImage());
  EXPECT_FALSE(d.dlg->miniscreen()->m_DIB.exists());
  EXPECT_TRUE(d.prompt.asked.empty());

  // Nothing held any more: Save reports it, and nothing more is exported.
  d.button(crapp::IDC_BTN_SAVE)->click();
  EXPECT_EQ(d.status(), "There is no scanning image.");
  EXPECT_EQ(countSuffix(exported, ".dcm.ready"), 1);
}

TEST(DialogTestMode, TheRealBoxsOkToQuestion500DropsThePlate) {
  if (ranInProgramFolder(testMode())) return;
  namespace pt = platform::qt::testing;
  Dialog d;
  ASSERT_TRUE(d.started);
  ASSERT_TRUE(d.startScan(0, "200")) << d.status().toStdString();
  ASSERT_TRUE(pumpUntil([&] { return d.idle(); }));
  ASSERT_TRUE(d.dlg->container()->scanImage());
  // From here the operator answers the real message box.
  pq::setPrompt(nullptr);

  // Escape on Close keeps the window and the plate.
  pt::BoxSeen seen;
  pt::answerTheNextBox(pt::pressing(QMessageBox::NoButton, Qt::Key_Escape), seen);
  d.button(crapp::IDC_BTN_CLOSE)->click();
  EXPECT_TRUE(seen.found && !seen.stuck);
  EXPECT_EQ(seen.text, k500);
  EXPECT_EQ(seen.buttons, QMessageBox::Ok | QMessageBox::Cancel);
  EXPECT_TRUE(d.dlg->isVisible());
  EXPECT_TRUE(d.dlg->container()->scanImage());

  // OK on Scan drops the plate and starts the next scan.
  ASSERT_TRUE(pumpUntil([&] { return d.scanEnabled(); }));
  seen = {};
  pt::answerTheNextBox(pt::pressing(QMessageBox::Ok), seen);
  d.button(crapp::IDC_BTN_SCAN)->click();
  EXPECT_TRUE(seen.found && !seen.stuck);
  EXPECT_EQ(seen.text, k500);
  EXPECT_FALSE(d.idle()) << "no new scan started";
  EXPECT_EQ(d.status(), kScanning);
  ASSERT_TRUE(pumpUntil([&] { return d.idle(); }));
  EXPECT_EQ(d.status(), kEndOfScan);

  // OK on Close ends the program with the plate unsaved.
  seen = {};
  pt::answerTheNextBox(pt::pressing(QMessageBox::Ok), seen);
  d.button(crapp::IDC_BTN_CLOSE)->click();
  EXPECT_TRUE(seen.found && !seen.stuck);
  EXPECT_FALSE(d.dlg->isVisible());
  EXPECT_EQ(d.dlg->result(), QDialog::Rejected);
  pq::setPrompt(&d.prompt);
}

TEST(DialogTestMode, ALongPlateNameKeepsTheWindowOnTheScreen) {
  const std::string longName(300, 'W');
  Folder setup = testMode();
  setup.prepare = [&](const crapptest::ProgramFolder& f) {
    platform::ini::writeString(f.dir() / "Halcyone.ini", "IPSizeID_1", "DispName", longName);
  };
  if (ranInProgramFolder(setup)) return;
  Dialog d;
  ASSERT_TRUE(d.started);
  d.dlg->adjustSize();
  auto* plates = d.get<QComboBox>(crapp::IDC_COMBO_IPSIZE);
  ASSERT_EQ(plates->count(), 3);
  // The whole name as the settings' buffer holds it stays the entry's, for
  // the drop-down and its tool tip.
  const std::string held = longName.substr(0, 255);
  EXPECT_EQ(plates->itemText(0).toStdString(), held);
  EXPECT_EQ(plates->itemData(0, Qt::ToolTipRole).toString().toStdString(), held);
  EXPECT_GT(plates->view()->minimumWidth(), plates->width());

  const QSize screen(1280, 1024);
  const QRect frame = d.dlg->frameGeometry();
  EXPECT_LE(frame.width(), screen.width());
  EXPECT_LE(frame.height(), screen.height());
  // Every button the operator needs lies whole inside the window.
  for (int id : {crapp::IDC_BTN_SCAN, crapp::IDC_BTN_SAVE, crapp::IDC_BTN_CLOSE, crapp::IDC_BTN_CLEAR_INFO,
                 crapp::IDC_BTN_ERASE, crapp::IDC_BTN_EJECT, crapp::IDC_BTN_RESET_ERROR, crapp::IDC_BTN_LOG}) {
    QPushButton* b = d.button(id);
    const QRect r(b->mapTo(d.dlg.get(), QPoint(0, 0)), b->size());
    EXPECT_TRUE(d.dlg->rect().contains(r)) << id;
  }
  // For a person to look at: the window on a 1280 x 1024 screen.
  QImage shot(screen, QImage::Format_RGB32);
  shot.fill(QColor(40, 70, 110));
  {
    QPainter painter(&shot);
    painter.drawPixmap(0, 0, d.dlg->grab());
  }
  EXPECT_TRUE(shot.save(QString::fromStdString((kScreenshotDir / "halcyone_long_plate_name.png").string())));
}

TEST(DialogFolders, UnusableFoldersAreRefusedAtStartWithTheirReason) {
  testsupport::TempDir root;
  Log::setLogFileDir((root / "log").c_str());
  // Deep enough that the raw image path cannot fit the engine's 259 characters.
  fs::path deep = root.path();
  while (deep.native().size() < 300) deep /= std::string(50, 'd');
  struct Case {
    const char* what;
    fs::path program;
    std::string exportPath;
    std::vector<std::string> says;
  } cases[] = {
      {"export folder inside the data folder", root / "a", ".\\halcData\\out",
       {(root / "a" / "halcData" / "out").string(), "inside the data folder"}},
      {"program folder too long", deep, "", {(deep / "halcData").string(), "at most 246"}},
      {"export path too long", root / "b", std::string(300, 'e'), {"ExportPath", "at most 255"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::create_directories(c.program / "halcData");
    testsupport::writeFile(c.program / "halcData" / "saved.dcm", "plate");
    if (!c.exportPath.empty())
      testsupport::writeFile(c.program / "HalcyoneSite.ini", "[Settings]\r\nExportPath=" + c.exportPath + "\r\n");
    pq::ScriptedPrompt prompt;
    CHalcyoneDlg dlg(c.program);
    EXPECT_FALSE(dlg.OnInitDialog());
    ASSERT_EQ(prompt.asked.size(), 1u);
    const std::string said = prompt.asked[0].text.toStdString();
    for (const std::string& part : c.says) EXPECT_NE(said.find(part), std::string::npos) << said;
    EXPECT_EQ(prompt.asked[0].caption, "HalcyoneScan");
    EXPECT_FALSE(dlg.timerRunning());
    // Refused before anything ran: the saved plate is still there.
    EXPECT_EQ(testsupport::readFile(c.program / "halcData" / "saved.dcm"), "plate");
  }
  // For a person to look at: the reason in the real box, as the operator sees it.
  namespace pt = platform::qt::testing;
  crapp::FolderProblem inside{crapp::FolderProblem::Kind::ExportInsideData, root / "a" / "halcData" / "out", 0, 0};
  pt::BoxSeen seen;
  pt::answerTheNextBox(
      [](QMessageBox* box) {
        box->grab().save(QString::fromStdString((kScreenshotDir / "halcyone_refused_folder.png").string()));
        pt::pressing(QMessageBox::Ok)(box);
      },
      seen);
  crapp::showStartFailure(nullptr, crapp::folderProblemText(inside, root / "a" / "halcData", root / "a" / "HalcyoneSite.ini"));
  EXPECT_TRUE(seen.found && !seen.stuck);
  EXPECT_EQ(seen.caption, "HalcyoneScan");
  EXPECT_EQ(seen.buttons, QMessageBox::Ok);
}

TEST(DialogTestMode, CloseAndEscapeAreRefusedDuringAScanAndAskWithAnUnsavedImage) {
  if (ranInProgramFolder(testMode())) return;
  Dialog d;
  ASSERT_TRUE(d.started);
  ASSERT_TRUE(d.startScan(0, "200")) << d.status().toStdString();
  d.dlg->close();
  d.escape();
  EXPECT_EQ(d.asked(), (std::vector<QString>{k503, k503}));
  EXPECT_TRUE(d.dlg->isVisible());

  ASSERT_TRUE(pumpUntil([&] { return d.idle(); }));
  d.prompt.asked.clear();
  d.prompt.answers = {pq::Answer::Cancel, pq::Answer::Cancel, pq::Answer::Ok};
  d.dlg->close();
  EXPECT_TRUE(d.dlg->isVisible());
  d.escape();
  EXPECT_TRUE(d.dlg->isVisible());
  EXPECT_TRUE(d.dlg->container()->scanImage());
  d.escape();
  EXPECT_FALSE(d.dlg->isVisible());
  EXPECT_EQ(d.asked(), (std::vector<QString>{k500, k500, k500}));
  // The window's place is kept for the next start.
  const crapp::WindowRect r = d.dlg->container()->ReadWindowRect();
  EXPECT_GT(r.right - r.left, 0);
  EXPECT_GT(r.bottom - r.top, 0);
}

TEST(DialogTestMode, ACancelledScanShowsItsStatusAndKeepsWhatArrived) {
  if (ranInProgramFolder(testMode())) return;
  Dialog d;
  ASSERT_TRUE(d.started);
  ASSERT_TRUE(d.startScan(0, "200")) << d.status().toStdString();
  ASSERT_TRUE(pumpUntil([&] { return d.idle(); }));
  // The engine never posts it; a reader's cancel would come the same road.
  platform::post(d.dlg->messageHandle(), platform::Message{platform::kCommandMessage, 32774, 0});
  ASSERT_TRUE(pumpUntil([&] { return d.status() == "Cancel a scan."; }));
  scan_status s{};
  ASSERT_EQ(QuorinGetScanningStatus(&s), 1);
  ASSERT_TRUE(d.dlg->container()->scanImage());
  EXPECT_EQ(d.dlg->container()->scanImage()->rows, s.ScanLine);
  EXPECT_FALSE(d.dlg->miniscreen()->scanning);
}

TEST(DialogTestMode, SavedConditionsSelectTheOfferedItems) {
  if (ranInProgramFolder(testMode())) return;
  struct Case {
    int pitch;
    QString shown;
    int speed;
    int checked;
  } cases[] = {
      {40, "50", 2, crapp::IDC_RADIO_STANDARD},  {10, "100", 1, crapp::IDC_RADIO_HIGHSPEED},
      {200, "200", 3, crapp::IDC_RADIO_FINE},    {3, "50", 9, crapp::IDC_RADIO_STANDARD},
  };
  const fs::path site = crapp::CDataContainer(platform::paths::programDir()).siteIniPath();
  for (const Case& c : cases) {
    platform::ini::writeInt(site, "UISettings", "ScanPitch", c.pitch);
    platform::ini::writeInt(site, "UISettings", "ScanSpeed", c.speed);
    Dialog d;
    ASSERT_TRUE(d.started);
    EXPECT_EQ(d.get<QComboBox>(crapp::IDC_COMBO_PITCH)->currentText(), c.shown) << c.pitch;
    EXPECT_TRUE(d.get<QRadioButton>(c.checked)->isChecked()) << c.speed;
    // Without ScanSpeedSlow, Fine stays disabled even when it is the saved speed.
    EXPECT_FALSE(d.get<QRadioButton>(crapp::IDC_RADIO_FINE)->isEnabled());
  }
  platform::ini::writeString(site, "Settings", "ScanSpeedSlow", "ON");
  Dialog d;
  ASSERT_TRUE(d.started);
  EXPECT_TRUE(d.get<QRadioButton>(crapp::IDC_RADIO_FINE)->isEnabled());
}

TEST(DialogTestMode, TheWindowComesBackWhereItWas) {
  if (ranInProgramFolder(testMode())) return;
  const fs::path site = crapp::CDataContainer(platform::paths::programDir()).siteIniPath();
  {
    Dialog d;
    ASSERT_TRUE(d.started);
    d.dlg->move(70, 40);
    d.button(crapp::IDC_BTN_CLOSE)->click();
    EXPECT_FALSE(d.dlg->isVisible());
  }
  const crapp::WindowRect r = crapp::CDataContainer(platform::paths::programDir()).ReadWindowRect();
  EXPECT_EQ(r.left, 70);
  EXPECT_EQ(r.top, 40);
  Dialog again;
  ASSERT_TRUE(again.started);
  EXPECT_EQ(again.dlg->pos(), QPoint(70, 40));
  EXPECT_EQ(again.dlg->frameGeometry().width(), r.right - r.left);
}

TEST(DialogTestMode, ScannerLogIsSavedWhereTheOperatorChose) {
  if (ranInProgramFolder(testMode())) return;
  Dialog d;
  ASSERT_TRUE(d.started);
  const fs::path chosen = platform::paths::programDir() / "chosen";
  char expected[4096] = {};
  int size = 0;
  ASSERT_EQ(QuorinGetDeviceLogInfo(expected, sizeof expected, &size), 1);
  ASSERT_GE(size, 0);
  // The default extension is added to a name without one; a cancel writes nothing.
  d.prompt.fileAnswers = {QString::fromStdString(chosen.string()), QString()};
  d.button(crapp::IDC_BTN_LOG)->click();
  ASSERT_TRUE(fs::exists(chosen.string() + ".txt"));
  EXPECT_EQ(testsupport::readFile(chosen.string() + ".txt"), std::string(expected, std::size_t(size)));
  d.button(crapp::IDC_BTN_LOG)->click();
  EXPECT_EQ(d.prompt.fileCaptions.size(), 2u);
  EXPECT_TRUE(d.idle());
  EXPECT_TRUE(d.dlg->timerRunning());
}

TEST(DialogTestMode, StudyFieldsTakeOnlyWhatTheFilesCarry) {
  if (ranInProgramFolder(testMode())) return;
  Dialog d;
  ASSERT_TRUE(d.started);
  for (int id : {crapp::IDC_EDIT_ID, crapp::IDC_EDIT_NAME, crapp::IDC_EDIT_DESCRIPTION})
    platform::qt::testing::expectGuardedField(d.dlg.get(), id);
  platform::qt::testing::typeText(d.get<QLineEdit>(crapp::IDC_EDIT_NAME), QString::fromUtf8("\xE2\x91\xA0"));
  EXPECT_TRUE(d.dlg->grab().save(QString::fromStdString((kScreenshotDir / "halcyone_refused.png").string())));
}

TEST(DialogTestMode, ClearInfoEmptiesTheStudyFields) {
  if (ranInProgramFolder(testMode())) return;
  Dialog d;
  ASSERT_TRUE(d.started);
  for (int id : {crapp::IDC_EDIT_ID, crapp::IDC_EDIT_NAME, crapp::IDC_EDIT_DESCRIPTION})
    d.get<QLineEdit>(id)->setText("typed");
  d.button(crapp::IDC_BTN_CLEAR_INFO)->click();
  for (int id : {crapp::IDC_EDIT_ID, crapp::IDC_EDIT_NAME, crapp::IDC_EDIT_DESCRIPTION})
    EXPECT_EQ(d.get<QLineEdit>(id)->text(), "") << id;
  // The about item answers with the program's version.
  auto* about = d.dlg->findChild<QAction*>(pq::controlName(crapp::IDM_ABOUTBOX));
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(about->text(), "Halcyone Version Information(&A)...");
  about->trigger();
  ASSERT_EQ(d.prompt.asked.size(), 1u);
  EXPECT_TRUE(d.prompt.asked[0].text.contains("Version")) << d.prompt.asked[0].text.toStdString();
  // No push button presses itself on Enter.
  for (QPushButton* b : d.dlg->findChildren<QPushButton*>()) EXPECT_FALSE(b->autoDefault()) << b->objectName().toStdString();
}

TEST(DialogTestMode, APlateOverTheImageMemoryLimitIsRefused) {
  Folder setup = testMode();
  setup.prepare = [](const crapptest::ProgramFolder& f) {
    // 1 MiB: 10x12 at 200 um needs 1270 x 1525 x 2 bytes.
    platform::ini::writeString(f.dir() / "HalcyoneSite.ini", "Settings", "AvailableImageSize", "1");
  };
  if (ranInProgramFolder(setup)) return;
  Dialog d;
  ASSERT_TRUE(d.started);
  EXPECT_FALSE(d.startScan(0, "200"));
  EXPECT_EQ(d.asked(), (std::vector<QString>{"Over an avalable image data size.  Please change the value of IPsize or "
                                             "pixel spacing."}));
  EXPECT_FALSE(d.dlg->container()->scanCondition());
  EXPECT_EQ(d.status(), "");
}

TEST(DialogTestMode, SensitivityOutsideItsRangeStopsTheScan) {
  if (ranInProgramFolder(testMode())) return;
  Dialog d;
  ASSERT_TRUE(d.started);
  ASSERT_TRUE(pumpUntil([&] { return d.scanEnabled(); }));
  for (const char* typed : {"99", "1001", "abc", ""}) {
    d.prompt.asked.clear();
    d.get<QLineEdit>(crapp::IDC_EDIT_SENSITIVITY)->setText(typed);
    d.button(crapp::IDC_BTN_SCAN)->click();
    EXPECT_TRUE(d.idle()) << typed;
    EXPECT_EQ(d.prompt.asked.size(), 1u) << typed;
    EXPECT_FALSE(d.dlg->container()->scanCondition()) << typed;
  }
}

TEST(DialogTestMode, TheBusyWaitKeepsPaintingAndKeepsItsTimeOut) {
  struct Case {
    const char* limitMs;
    QString status;
  } cases[] = {{"600000", "End of erasing IP."}, {"100", "Waiting device command time-out."}};
  const char* inside = std::getenv("CRAPP_DIALOG_CASE");
  for (const Case& c : cases) {
    const std::string index = std::to_string(&c - cases);
    if (inside != nullptr && index != inside) continue;
    Folder setup = testMode();
    setup.env["CRAPP_DIALOG_CASE"] = index;
    setup.prepare = [&](const crapptest::ProgramFolder& f) {
      platform::ini::writeString(f.dir() / "Halcyone.ini", "Timer", "TimeMs", c.limitMs);
    };
    if (ranInProgramFolder(setup)) continue;
    Dialog d;
    ASSERT_TRUE(d.started);
    // A paint asked for while the reader erases must be done at once, with
    // the controls still disabled.
    struct Painted : QObject {
      int during = 0;
      QPushButton* close = nullptr;
      bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint && !close->isEnabled()) ++during;
        return false;
      }
    } painted;
    painted.close = d.button(crapp::IDC_BTN_CLOSE);
    // The engine takes an erase only once it is idle, as the poll shows.
    ASSERT_TRUE(pumpUntil([&] { return d.scanEnabled(); }));
    d.dlg->miniscreen()->installEventFilter(&painted);
    QTimer::singleShot(30, d.dlg->miniscreen(), [&] { d.dlg->miniscreen()->update(); });
    d.button(crapp::IDC_BTN_ERASE)->click();
    EXPECT_EQ(d.status(), c.status) << c.limitMs;
    EXPECT_GT(painted.during, 0) << c.limitMs;
    EXPECT_TRUE(d.idle());
    EXPECT_TRUE(d.dlg->timerRunning());
    d.dlg->miniscreen()->removeEventFilter(&painted);
  }
}

TEST(DialogNoReader, AFailedStartAsksOnceAndEndsTheDialog) {
  // Scan mode with no reader library: the engine cannot start.
  const Folder setup{crapptest::FolderOptions{false, false, false}, {}, {}};
  if (ranInProgramFolder(setup)) return;
  for (pq::Answer answer : {pq::Answer::No, pq::Answer::Yes}) {
    Dialog d(false);
    d.prompt.answers = {answer};
    EXPECT_FALSE(d.dlg->OnInitDialog());
    // The question says why: the engine's code and text of the failed start.
    ASSERT_EQ(d.asked().size(), 1u);
    EXPECT_EQ(d.asked()[0], k504 + "\n\n10006011h : ZENTRAC.dll load error.");
    EXPECT_FALSE(d.dlg->timerRunning());
  }
}

// Scan mode over the real engine, reader library and driver, on the
// simulated CR reader that NDT_USB names.
// Without lineCorrection the reader library delivers the plate unchanged;
// with it, its line correction works on the simulated plate.
Folder scanMode(bool lineCorrection = false) {
  Folder setup{crapptest::FolderOptions{false, true, false}, {{"NDT_USB", "sim:cr"}}, {}};
  setup.prepare = [lineCorrection](const crapptest::ProgramFolder& f) {
    if (lineCorrection) {
      testsupport::writeLineCorrectionSettings(f.root());
    } else {
      testsupport::writeFile(f.root() / "Zentrac_DLL.ini", "[KVDEV]\nEIGHT_LINE=0\n");
    }
    testsupport::writeFile(f.dir() / "HalcyoneHard.ini", "[Common]\r\nMode=Scan\r\nScannerThread_IdleMs=5\r\n");
  };
  return setup;
}

// The bus NDT_USB describes, lent to the reader library while it lives.
struct LentBus {
  LentBus() {
    std::string error;
    bus = sim::busFromEnvironment(&error);
    EXPECT_TRUE(bus) << error;
    if (bus) readers = bus->scanners();
    EXPECT_EQ(readers.size(), 1u);
    lentPort = bus;
  }
  ~LentBus() { lentPort.reset(); }
  std::shared_ptr<sim::Bus> bus;
  std::vector<sim::Scanner> readers;
};

// One plate scanned to its end, as the dialog holds it and as the engine describes it.
void scanPlate(Dialog& d, crapp::ScanImage& image, get_scan_para& got) {
  ASSERT_TRUE(d.started) << d.status().toStdString();
  ASSERT_TRUE(d.startScan(2, "200")) << d.status().toStdString();
  ASSERT_TRUE(pumpUntil([&] { return d.idle(); }));
  ASSERT_EQ(d.status(), kEndOfScan);
  ASSERT_TRUE(d.dlg->container()->scanImage());
  image = *d.dlg->container()->scanImage();
  ASSERT_EQ(QuorinGetScanPara(&got), 1);
  ASSERT_EQ(got.height, image.rows);
}

// The saved export set's pixels, which close its file; empty when it is not
// a readable, ready export.
std::string savedPixels(Dialog& d, std::size_t bytes) {
  d.button(crapp::IDC_BTN_SAVE)->click();
  EXPECT_EQ(d.status(), kEndOfSaving);
  const fs::path exported = d.dlg->container()->lastExportedFile();
  EXPECT_TRUE(fs::exists(exported.string() + ".ready"));
  DicomObject* o = nullptr;
  CreateDicomObject(&o);
  const bool readable = ReadDicomFile(o, exported.c_str(), 1);
  DeleteDicomObject(o);
  EXPECT_TRUE(readable);
  const std::string file = testsupport::readFile(exported);
  if (!readable || file.size() <= bytes) return {};
  return file.substr(file.size() - bytes);
}

TEST(DialogScanMode, SaveAfterAScanThatFailedReportsThatThereIsNoImage) {
  if (ranInProgramFolder(scanMode())) return;
  LentBus lent;
  ASSERT_EQ(lent.readers.size(), 1u);
  {
    Dialog d;
    ASSERT_TRUE(d.started) << d.status().toStdString();
    // Every image read of the plate is refused with a device error.
    lent.readers[0].arm(sim::Fault{sim::Fault::Kind::StatusError, 128, 0x4001, 0, 1000});
    ASSERT_TRUE(d.startScan(2, "200")) << d.status().toStdString();
    ASSERT_TRUE(pumpUntil([&] { return d.idle(); }));
    EXPECT_NE(d.status(), kEndOfScan);
    EXPECT_FALSE(d.dlg->container()->scanImage());
    // The partial preview goes with it, as after Erase.
    EXPECT_FALSE(d.dlg->miniscreen()->m_DIB.exists());
    d.get<QLineEdit>(crapp::IDC_EDIT_ID)->setText("W-18");
    d.button(crapp::IDC_BTN_SAVE)->click();
    EXPECT_EQ(d.status(), "There is no scanning image.");
    EXPECT_EQ(crapptest::listFolder(d.dlg->container()->exportFolder()), "");
    // Nothing is held, so closing asks nothing.
    d.dlg->close();
    EXPECT_FALSE(d.dlg->isVisible());
    EXPECT_TRUE(d.prompt.asked.empty());
  }
}

// The disk fills while the engine writes the plate's raw file: the scan ends
// as failed and says why and that the image is lost, nothing stands for the
// image, and the reader is ready for the next plate.
TEST(DialogScanMode, APlateWhoseRawFileFindsNoRoomIsReportedLost) {
  if (ranInProgramFolder(scanMode())) return;
  LentBus lent;
  ASSERT_EQ(lent.readers.size(), 1u);
  {
    Dialog d;
    ASSERT_TRUE(d.started) << d.status().toStdString();
    // Room for the logs to go on, not for the plate: the simulated reader
    // may deliver it before a limit set after the start could take hold.
    std::uint64_t room = 0;
    for (const auto& e : fs::directory_iterator(platform::paths::programDir() / "halcLog"))
      room = std::max<std::uint64_t>(room, e.file_size());
    room += 1 << 20;
    {
      const testsupport::FileSizeLimit limit(room);
      ASSERT_TRUE(d.startScan(2, "200")) << d.status().toStdString();
      ASSERT_TRUE(pumpUntil([&] { return d.idle(); }));
    }
    get_scan_para got{};
    ASSERT_EQ(QuorinGetScanPara(&got), 1);
    ASSERT_GT(std::uint64_t(got.width) * std::uint64_t(got.height) * 2, room) << "the plate must not fit";
    EXPECT_EQ(d.status(), " 10006082h : File access error.  The image read from the plate was lost.");
    EXPECT_FALSE(d.dlg->container()->scanImage());
    EXPECT_TRUE(d.dlg->timerRunning());
    const QString shot = QString::fromStdString((kScreenshotDir / "halcyone_raw_file_lost.png").string());
    EXPECT_TRUE(d.dlg->grab().save(shot));
    d.get<QLineEdit>(crapp::IDC_EDIT_ID)->setText("W-20");
    d.button(crapp::IDC_BTN_SAVE)->click();
    EXPECT_EQ(d.status(), "There is no scanning image.");
    EXPECT_EQ(crapptest::listFolder(d.dlg->container()->exportFolder()), "");

    // With room again the next plate scans to its end.
    crapp::ScanImage image;
    ASSERT_NO_FATAL_FAILURE(scanPlate(d, image, got));
    EXPECT_TRUE(d.prompt.asked.empty());
  }
}

TEST(DialogScanMode, APlateWhoseEraseFailsAfterwardsIsKeptAndSaved) {
  if (ranInProgramFolder(scanMode())) return;
  // The reader's condition may show the error before its interrupt is in:
  // the status tells the device's error either way.
  for (const std::uint32_t latencyMs : {0u, 500u}) {
    SCOPED_TRACE(latencyMs);
    LentBus lent;
    ASSERT_EQ(lent.readers.size(), 1u);
    Dialog d;
    ASSERT_TRUE(d.started) << d.status().toStdString();
    // Time enough between the plate's end and the end of its erase, even
    // when a loaded machine slows the scan's own end down.
    sim::Timing slow;
    slow.erasePhaseMs = 15000;
    slow.interruptLatencyMs = latencyMs;
    lent.readers[0].setTiming(slow);
    const int exported = countSuffix(d.dlg->container()->exportFolder(), ".dcm.ready");
    ASSERT_TRUE(d.startScan(2, "200")) << d.status().toStdString();
    ASSERT_TRUE(pumpUntil([&] { return d.status() == kEndOfScan; }));
    ASSERT_FALSE(d.idle());
    lent.readers[0].raiseError(0x4001, "COVER OPEN");
    ASSERT_TRUE(pumpUntil([&] { return d.idle(); }));
    EXPECT_EQ(d.status(), " 00004001h : COVER OPEN");  // the device's code and text
    ASSERT_TRUE(d.dlg->container()->scanImage());
    d.get<QLineEdit>(crapp::IDC_EDIT_ID)->setText("W-19");
    d.button(crapp::IDC_BTN_SAVE)->click();
    EXPECT_EQ(d.status(), kEndOfSaving);
    EXPECT_EQ(countSuffix(d.dlg->container()->exportFolder(), ".dcm.ready"), exported + 1);
  }
}

TEST(DialogScanMode, EjectAndResetErrorWaitForTheReaderAndReport) {
  if (ranInProgramFolder(scanMode())) return;
  LentBus lent;
  ASSERT_EQ(lent.readers.size(), 1u);
  Dialog d;
  ASSERT_TRUE(d.started) << d.status().toStdString();
  struct Case {
    int button;
    QString status;
  } cases[] = {{crapp::IDC_BTN_EJECT, "End of ejecting IP."}, {crapp::IDC_BTN_RESET_ERROR, ""}};
  for (const Case& c : cases) {
    ASSERT_TRUE(pumpUntil([&] { return d.scanEnabled(); })) << c.button;
    d.get<QLabel>(crapp::IDC_STATUS)->setText("before");
    d.button(c.button)->click();
    EXPECT_EQ(d.status(), c.status) << c.button;
    EXPECT_TRUE(d.idle()) << c.button;
    EXPECT_TRUE(d.dlg->timerRunning()) << c.button;
  }
}

TEST(DialogScanMode, APlateFromTheSimulatedReaderIsExportedAsTheReaderSentIt) {
  if (ranInProgramFolder(scanMode())) return;
  LentBus lent;
  ASSERT_EQ(lent.readers.size(), 1u);
  std::vector<sim::Scanner>& readers = lent.readers;
  {
    Dialog d;
    crapp::ScanImage image;
    get_scan_para got{};
    ASSERT_NO_FATAL_FAILURE(scanPlate(d, image, got));
    // The simulator's radiograph after the tone stretch, for a person to look at.
    EXPECT_TRUE(d.dlg->grab().save(QString::fromStdString((kScreenshotDir / "halcyone_scan_mode.png").string())));
    const std::string expected = testsupport::renderedPlate(readers[0], got);
    ASSERT_EQ(expected.size(), std::size_t(image.pixelBytes));
    // The reader sends samples of the depth the engine asked for.
    EXPECT_EQ(testsupport::countAtCeiling(expected, got.depth).above, 0u) << "depth " << got.depth;

    d.get<QLineEdit>(crapp::IDC_EDIT_NAME)->setText("Weld 3");
    EXPECT_TRUE(savedPixels(d, expected.size()) == expected) << "the exported pixels differ from the reader's plate";
  }
}

TEST(DialogScanMode, APlateIsExportedAfterTheReaderLibrarysLineCorrection) {
  if (ranInProgramFolder(scanMode(true))) return;
  LentBus lent;
  ASSERT_EQ(lent.readers.size(), 1u);
  {
    Dialog d;
    crapp::ScanImage image;
    get_scan_para got{};
    ASSERT_NO_FATAL_FAILURE(scanPlate(d, image, got));
    ASSERT_GT(got.blk_n, 1);
    const std::string raw = testsupport::renderedPlate(lent.readers[0], got);
    ASSERT_EQ(raw.size(), std::size_t(image.pixelBytes));

    // The expected plate: the rendered blocks corrected by the reader
    // library's own export.
    std::string fault;
    const std::optional<std::string> corrected =
        testsupport::lineCorrected(raw, got, platform::paths::programDir().parent_path() / "libZentrac.so", &fault);
    ASSERT_TRUE(corrected) << fault;
    const std::string& expected = *corrected;
    // The correction changes this plate, so an export that skipped it fails.
    ASSERT_FALSE(expected == raw) << "the line correction left the plate unchanged";
    // ... and leaves it a radiograph, not a plate driven to the ceiling.
    const testsupport::CeilingCount ceiling = testsupport::countAtCeiling(expected, got.depth);
    EXPECT_EQ(ceiling.above, 0u) << "depth " << got.depth;
    EXPECT_LT(ceiling.at * 100, ceiling.samples) << ceiling.at << " of " << ceiling.samples << " at the ceiling";

    d.get<QLineEdit>(crapp::IDC_EDIT_NAME)->setText("Weld 4");
    EXPECT_TRUE(savedPixels(d, expected.size()) == expected) << "the exported pixels are not the corrected plate";
  }
}

}  // namespace
