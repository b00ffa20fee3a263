#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <dlfcn.h>

#include <cstring>

#include "fake_oskelu/fake_oskelu.h"
#include "modal_script.h"
#include "platform/qt/control.h"
#include "viewer/formats/tiff.h"
#include "platform/ini.h"
#include "platform/library.h"
#include "platform/qt/prompt.h"
#include "testsupport/testsupport.h"
#include "viewer/app/application.h"
#include "viewer/app/main_window.h"
#include "viewer/app/scan_bridge.h"

using namespace viewer::app;
namespace fs = std::filesystem;

namespace {

const std::string kFake = std::string(FAKE_SCANUI_DIR) + "/libOskelu.so";
const std::string kFakeMissing = std::string(FAKE_SCANUI_DIR) + "/libOskeluMissing.so";

// A Tivola started without a file over the stand-in scan UI, which the test
// holds loaded so that it can script it and read what it saw.
class ScanBridgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fake.open(kFake, nullptr)) << fake.errorText();
    scriptFn = fake.function<FakeOskeluScriptFn>("FakeOskelu_Script");
    logFn = fake.function<FakeOskeluLogFn>("FakeOskelu_Log");
    ASSERT_TRUE(scriptFn && logFn);
    scriptFn(&script);
  }
  void TearDown() override { ScanBridge::instance().setFreeSpaceProbe(nullptr); }

  void start(const std::string& library = kFake, int makeTemp = 1) {
    const fs::path ini = dir / "Tivola.INI";
    platform::ini::writeString(ini, "Setting", "ScanUIModuleName", library);
    platform::ini::writeInt(ini, "Setting", "MakeTemp", makeTemp);
    platform::ini::writeInt(ini, "Setting", "ShowDICOM", 1);
    StartEnvironment e;
    e.iniPath = ini;
    e.startDir = dir.path();
    e.getenv = [](const char*) -> const char* { return nullptr; };
    e.now = 1765400000;
    e.splash = false;
    ASSERT_TRUE(app.initInstance({}, e));
  }
  // Runs New Scan and the File New it posts.
  void newScan() {
    app.newScan();
    QApplication::processEvents();
  }
  std::vector<DocumentFrame*> documents() {
    std::vector<DocumentFrame*> out;
    for (QMdiSubWindow* sub : app.mainWindow()->mdiArea()->subWindowList())
      if (auto* c = dynamic_cast<DocumentFrame*>(sub)) out.push_back(c);
    return out;
  }
  fs::path workFolder(int n) const {
    char name[16];
    std::snprintf(name, sizeof name, "TEMP%04d", n);
    return dir / "TEMP" / name;
  }
  static std::string tmpName(int n) {
    char name[16];
    std::snprintf(name, sizeof name, "%08d.tmp", n);
    return name;
  }
  // The little-endian bytes the stand-in's scan k should leave in its file.
  std::string expectedFile(int k) const {
    std::string out;
    for (int y = 0; y < script.height; ++y)
      for (int x = 0; x < script.width; ++x) {
        const unsigned v = std::min(fakeSample(k, x, y, script.bytesPerPixel), 4095u);
        out.push_back(char(v & 0xFF));
        if (script.bytesPerPixel == 2) out.push_back(char(v >> 8));
      }
    return out;
  }

  testsupport::TempDir dir;
  platform::qt::ScriptedPrompt prompts;
  platform::Library fake;
  FakeOskeluScriptFn scriptFn = nullptr;
  FakeOskeluLogFn logFn = nullptr;
  FakeScanScript script;
  TivolaApp app;
};

TEST_F(ScanBridgeTest, ThreeScansBecomeOneDocumentWithTheirTemporaryFiles) {
  const struct {
    int bytes, bits, od, worker;
  } cases[] = {{1, 8, 40, 0}, {2, 12, 255, 0}, {1, 8, 255, 1}, {2, 12, 40, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bytes << " bytes, O.D. byte " << c.od << ", worker " << c.worker);
    testsupport::TempDir runDir;
    TivolaApp run;
    script.images = 3;
    script.bytesPerPixel = c.bytes;
    script.bits = c.bits;
    script.odByte = c.od;
    script.fromWorker = c.worker;
    std::strcpy(script.studyDateAtClose, "20261210");
    scriptFn(&script);
    const fs::path ini = runDir / "Tivola.INI";
    platform::ini::writeString(ini, "Setting", "ScanUIModuleName", kFake);
    StartEnvironment e;
    e.iniPath = ini;
    e.startDir = runDir.path();
    e.getenv = [](const char*) -> const char* { return nullptr; };
    e.splash = false;
    ASSERT_TRUE(run.initInstance({}, e));
    const int firstTmp = ScanBridge::instance().tempCounter();
    run.newScan();
    QApplication::processEvents();

    const FakeScanLog& log = *logFn();
    EXPECT_EQ(log.releases, 3);
    EXPECT_EQ(log.hides, 1);
    EXPECT_EQ(log.terms, 1);
    EXPECT_STREQ(log.caption, "Tivola");
    EXPECT_EQ(log.enableArg, 1);
    EXPECT_EQ(log.hostEnabledAtShow, 1);  // blocked from input, not disabled
    auto subs = run.mainWindow()->mdiArea()->subWindowList();
    ASSERT_EQ(subs.size(), 1);
    EXPECT_TRUE(subs[0]->windowTitle().startsWith("New scan"));
    auto* doc = dynamic_cast<DocumentFrame*>(subs[0]);
    ASSERT_NE(doc, nullptr);
    CTivolaDoc& d = doc->document();
    ASSERT_EQ(d.images.count(), 3);
    EXPECT_EQ(d.hasScans, 1);
    EXPECT_EQ(d.nextScanNumber, 4);
    const fs::path folder = ScanBridge::instance().workFolder();
    EXPECT_EQ(folder.parent_path(), fs::absolute(runDir / "TEMP"));
    EXPECT_EQ(folder.filename().string().substr(0, 4), "TEMP");
    for (int k = 0; k < 3; ++k) {
      viewer::CImageItem* item = d.images.get(k);
      ASSERT_NE(item, nullptr);
      EXPECT_EQ(item->shownName, "scan00" + std::to_string(k + 1));
      EXPECT_EQ(item->saved, 0);
      EXPECT_EQ(item->bytesPerSample(), c.bytes);
      EXPECT_EQ(item->bitsStored, c.bits);
      EXPECT_EQ(item->odRange, c.od < 128 ? c.od : 0);
      EXPECT_EQ(item->inverted, c.od == 255 ? 1 : 0);
      EXPECT_EQ(item->pitch, 50);
      EXPECT_EQ(item->maxValue, c.bytes == 1 ? 255 : 4095);
      EXPECT_EQ(item->windowCentre, item->maxValue / 2);
      ASSERT_NE(item->study, nullptr);
      EXPECT_STREQ(item->study->studyYear, "2026");  // the date the dialog held at close
      EXPECT_STREQ(item->study->studyMonth, "12");
      EXPECT_STREQ(item->study->studyDay, "10");
      const fs::path file = folder / tmpName(firstTmp + k);
      EXPECT_EQ(item->tempPath, file.string());
      EXPECT_EQ(testsupport::readFile(file), expectedFile(k)) << file;
    }
    // The scans were never saved: only Close Anyway lets them go.
    app_test::ModalScript modals;
    modals.handlers.push_back([](QDialog* d) { d->accept(); });
    run.mainWindow()->mdiArea()->closeAllSubWindows();
    EXPECT_EQ(modals.titles, std::vector<QString>{"Confirmation"});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // The documents' images take their temporary files, and the empty folder, with them.
    EXPECT_FALSE(fs::exists(folder));
  }
}

TEST_F(ScanBridgeTest, ASecondNewScanReusesTheFolderAndContinuesTheNumbering) {
  start();
  script.images = 3;
  scriptFn(&script);
  const int first = ScanBridge::instance().tempCounter();
  newScan();
  const fs::path folder = ScanBridge::instance().workFolder();
  EXPECT_EQ(folder, fs::absolute(workFolder(0)));
  scriptFn(&script);
  newScan();
  EXPECT_EQ(ScanBridge::instance().workFolder(), folder);
  ASSERT_EQ(documents().size(), 2u);
  for (int k = 0; k < 6; ++k) EXPECT_TRUE(fs::exists(folder / tmpName(first + k))) << k;
  EXPECT_EQ(documents()[1]->document().images.get(0)->tempPath, (folder / tmpName(first + 3)).string());
}

TEST_F(ScanBridgeTest, NothingDeliveredLeavesNoDocumentAndNoFolder) {
  start();
  script.images = 0;
  scriptFn(&script);
  newScan();
  EXPECT_TRUE(documents().empty());
  EXPECT_FALSE(fs::exists(ScanBridge::instance().workFolder()));
  EXPECT_TRUE(prompts.asked.empty());
  // The next run makes the same folder again.
  script.images = 1;
  scriptFn(&script);
  const fs::path before = ScanBridge::instance().workFolder();
  newScan();
  EXPECT_EQ(ScanBridge::instance().workFolder(), before);
  EXPECT_EQ(documents().size(), 1u);
}

TEST_F(ScanBridgeTest, WithoutMakeTempTheImagesLiveOnlyInMemory) {
  start(kFake, 0);
  script.images = 2;
  scriptFn(&script);
  newScan();
  ASSERT_EQ(documents().size(), 1u);
  EXPECT_EQ(documents()[0]->document().images.count(), 2);
  EXPECT_TRUE(documents()[0]->document().images.get(0)->tempPath.empty());
  EXPECT_TRUE(fs::is_empty(ScanBridge::instance().workFolder()));
}

// The operator never chose the temporary file: a copy that cannot be written
// is reported as the scan's copy with its cause, and the scan stays open.
TEST_F(ScanBridgeTest, ACopyThatCannotBeKeptIsReportedAndTheScanStaysOpen) {
  start();
  script.images = 2;
  scriptFn(&script);
  {
    const testsupport::FileSizeLimit room(20);  // less than a scan's 35 bytes
    newScan();
  }
  const QString noRoom = "A copy of this scan could not be kept: there is no room left on the disk. The scan stays open.";
  ASSERT_EQ(prompts.asked.size(), 2u);
  for (const auto& a : prompts.asked) {
    EXPECT_EQ(a.text, noRoom);
    EXPECT_EQ(a.caption, "Tivola");
    EXPECT_EQ(a.icon, platform::qt::Icon::Warning);
  }
  ASSERT_EQ(documents().size(), 1u);
  ASSERT_EQ(documents()[0]->document().images.count(), 2);
  for (int k = 0; k < 2; ++k) EXPECT_TRUE(documents()[0]->document().images.get(k)->tempPath.empty()) << k;
  const fs::path folder = ScanBridge::instance().workFolder();
  EXPECT_TRUE(fs::is_empty(folder)) << "no partial copy is left";

  // Any other cause is named as the system names it.
  prompts.asked.clear();
  script.images = 1;
  scriptFn(&script);
  fs::create_directory(folder / tmpName(ScanBridge::instance().tempCounter()));
  newScan();
  ASSERT_EQ(prompts.asked.size(), 1u);
  EXPECT_EQ(prompts.asked[0].text, "A copy of this scan could not be kept: Is a directory. The scan stays open.");
  ASSERT_EQ(documents().size(), 2u);
  EXPECT_EQ(documents()[1]->document().images.count(), 1);
}

TEST_F(ScanBridgeTest, RecordsTheBridgeCannotTakeAreDropped) {
  const struct {
    int bytes, bits, nullPixels;
  } cases[] = {{3, 8, 0}, {0, 8, 0}, {2, 16, 0}, {2, 0, 0}, {1, 8, 1}};
  start();
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bytes << " bytes, " << c.bits << " bits, null " << c.nullPixels);
    script.images = 2;
    script.bytesPerPixel = c.bytes;
    script.bits = c.bits;
    script.nullPixels = c.nullPixels;
    scriptFn(&script);
    const int counter = ScanBridge::instance().tempCounter();
    newScan();
    EXPECT_EQ(logFn()->releases, 2);  // each record is still handed back
    EXPECT_TRUE(documents().empty());
    EXPECT_EQ(ScanBridge::instance().tempCounter(), counter);
  }
}

TEST_F(ScanBridgeTest, ALibraryThatFailsGivesNoImagesAndIsUnloaded) {
  start(kFakeMissing);
  script.images = 2;
  scriptFn(&script);
  newScan();
  EXPECT_TRUE(documents().empty());
  EXPECT_EQ(logFn()->shows, 0);
  // A library without one of the exports is let go at once, and the box says so.
  EXPECT_EQ(::dlopen(kFakeMissing.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
  ASSERT_EQ(prompts.asked.size(), 1u);
  EXPECT_EQ(prompts.asked[0].text, "Failed to load the necessary DLL.");
  EXPECT_EQ(prompts.asked[0].caption, "Load Error");
  prompts.asked.clear();

  // One that cannot be loaded at all says so.
  app.settings.scanUiModuleName = (dir / "libNothing.so").string();
  newScan();
  ASSERT_EQ(prompts.asked.size(), 1u);
  EXPECT_EQ(prompts.asked[0].text, "Failed to load the necessary DLL.");
  EXPECT_EQ(prompts.asked[0].caption, "Load Error");
  EXPECT_EQ(prompts.asked[0].icon, platform::qt::Icon::Warning);
  EXPECT_TRUE(documents().empty());
}

TEST_F(ScanBridgeTest, InitUIFailingEndsTheRunWithoutShowing) {
  start();
  script.images = 2;
  script.initOk = 0;
  scriptFn(&script);
  newScan();
  EXPECT_EQ(logFn()->inits, 1);
  EXPECT_EQ(logFn()->shows, 0);
  EXPECT_TRUE(documents().empty());
}

TEST_F(ScanBridgeTest, TooLittleDiskSpaceRunsNoScan) {
  start();
  script.images = 2;
  scriptFn(&script);
  ScanBridge::instance().setFreeSpaceProbe([](const fs::path&) { return 9999999.0; });
  newScan();
  ASSERT_EQ(prompts.asked.size(), 1u);
  EXPECT_EQ(prompts.asked[0].text, "Not enough disk space");
  EXPECT_EQ(logFn()->inits, 0);
  EXPECT_TRUE(documents().empty());
}

TEST_F(ScanBridgeTest, WhenEveryFolderNameIsTakenTheFolderCannotBeMade) {
  start();
  for (int n = 0; n < 1000; ++n) fs::create_directories(workFolder(n));
  script.images = 1;
  scriptFn(&script);
  newScan();
  ASSERT_EQ(prompts.asked.size(), 1u);
  EXPECT_EQ(prompts.asked[0].text, "Failed to make work folder");
  EXPECT_TRUE(documents().empty());
}

TEST_F(ScanBridgeTest, TheProbePostsNewScanWhenADigitizerAnswers) {
  script.available = 1;
  script.images = 1;
  scriptFn(&script);
  start();
  EXPECT_EQ(logFn()->probes, 1);
  EXPECT_TRUE(documents().empty());
  QApplication::processEvents();  // the posted New Scan
  QApplication::processEvents();  // and its File New
  EXPECT_EQ(documents().size(), 1u);
}

TEST_F(ScanBridgeTest, AddScanAppendsPrefilledFromTheLastImage) {
  start();
  CTivolaDoc doc;
  for (const char* name : {"Pipe 1", "Pipe 2"}) {
    auto item = std::make_unique<viewer::CImageItem>();
    item->allocate(1, 4, 4);
    viewer::CStudyInfo::set(item->study->componentName, name);
    viewer::CStudyInfo::set(item->study->studyYear, "2025");
    ASSERT_TRUE(doc.images.add(std::move(item)));
  }
  std::vector<int> posted;
  doc.views = [&posted](int command) { posted.push_back(command); };
  script.images = 2;
  std::strcpy(script.studyDateAtClose, "20261210");
  scriptFn(&script);
  ASSERT_TRUE(doc.addScan());
  EXPECT_STREQ(logFn()->lentAtShow.componentName, "Pipe 2");
  ASSERT_EQ(doc.images.count(), 4);
  EXPECT_EQ(doc.images.get(2)->shownName, "scan001");
  EXPECT_EQ(doc.images.get(3)->shownName, "scan002");
  EXPECT_STREQ(doc.images.get(3)->study->componentName, "Pipe 2");
  EXPECT_STREQ(doc.images.get(3)->study->studyYear, "2026");
  // The document's own images keep their study data.
  EXPECT_STREQ(doc.images.get(1)->study->studyYear, "2025");
  EXPECT_TRUE(posted.empty());  // posted, not sent
  QApplication::processEvents();
  EXPECT_EQ(posted, std::vector<int>{CTivolaDoc::kImageAdded});

  // Nothing scanned: nothing added, nothing posted.
  script.images = 0;
  scriptFn(&script);
  EXPECT_FALSE(doc.addScan());
  QApplication::processEvents();
  EXPECT_EQ(doc.images.count(), 4);
  EXPECT_EQ(posted.size(), 1u);
}

TEST(ScanStudy, DatesAreSplitAndPrefilled) {
  scanui::StudyData study{};
  std::strcpy(study.componentName, "Weld 7");
  std::strcpy(study.sex, "F ");
  std::strcpy(study.studyDate, "");
  std::strcpy(study.manufacturingDate, "199903");
  viewer::CImageItem item;
  ScanBridge::applyStudy(study, item);
  ASSERT_NE(item.study, nullptr);
  EXPECT_STREQ(item.study->componentName, "Weld 7");
  EXPECT_STREQ(item.study->sex, "F ");
  // An empty date arrives blank, a short one is filled with zeros.
  EXPECT_STREQ(item.study->studyYear, "0000");
  EXPECT_STREQ(item.study->studyMonth, "00");
  EXPECT_STREQ(item.study->studyDay, "00");
  EXPECT_STREQ(item.study->manufacturingYear, "1999");
  EXPECT_STREQ(item.study->manufacturingMonth, "03");
  EXPECT_STREQ(item.study->manufacturingDay, "00");

  std::strcpy(item.study->studyYear, "2026");
  std::strcpy(item.study->studyMonth, "7");
  std::strcpy(item.study->studyDay, "4");
  scanui::StudyData back;
  ScanBridge::prepareStudy(&item, back);
  EXPECT_STREQ(back.studyDate, "20260704");
  EXPECT_STREQ(back.manufacturingDate, "19990300");
  EXPECT_STREQ(back.componentName, "Weld 7");
  ScanBridge::prepareStudy(nullptr, back);
  const scanui::StudyData cleared{};
  EXPECT_EQ(std::memcmp(&back, &cleared, sizeof back), 0);
}

}  // namespace

namespace {

// A click as the window system delivers it, through the application's filters.
void click(QWidget* w) {
  const QPointF at(w->width() / 2.0, w->height() / 2.0);
  QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(w, &press);
  QApplication::sendEvent(w, &release);
}

// Answers the "Confirmation" by its buttons, and records what it said.
app_test::ModalScript::Handler answer(int button, std::vector<QString>* said) {
  return [button, said](QDialog* d) {
    said->push_back(platform::qt::control<QLabel>(d, 1055)->text() + "|" +
                    platform::qt::control<QPushButton>(d, 1)->text() + "|" +
                    platform::qt::control<QPushButton>(d, 2)->text());
    platform::qt::control<QPushButton>(d, button)->click();
  };
}

}  // namespace

TEST_F(ScanBridgeTest, ThePalettesTakeNoInputWhileTheScanDialogRuns) {
  start();
  // An image on show, so the palette's controls are live.
  viewer::CImageItem image;
  ASSERT_TRUE(image.allocate(1, 8, 6));
  image.bitsStored = 8;
  image.completeLoad();
  ASSERT_EQ(viewer::formats::WriteTiffFile(image, (dir / "shown.tif").string()), 1);
  ASSERT_TRUE(app.openDocumentFile((dir / "shown.tif").string()));
  QApplication::processEvents();
  script.images = 2;
  scriptFn(&script);
  viewer::view::CInfoPalette* info = app.mainWindow()->infoPalette();
  ASSERT_NE(info, nullptr);
  auto* scan = platform::qt::control<QPushButton>(info, 1023);
  auto* invert = platform::qt::control<QCheckBox>(info, 1022);
  ASSERT_TRUE(scan && invert);
  ASSERT_TRUE(invert->isEnabled());
  bool clickedDuringRun = false;
  // Runs inside the scan dialog's loop, before the first scan arrives.
  QTimer::singleShot(0, [&] {
    clickedDuringRun = ScanBridge::instance().running();
    click(scan);
    click(invert);
  });
  newScan();
  ASSERT_TRUE(clickedDuringRun);
  EXPECT_EQ(logFn()->shows, 1);
  EXPECT_FALSE(invert->isChecked());
  // The run's folder stayed, and each scan has its temporary file.
  ASSERT_EQ(documents().size(), 2u);
  const CTivolaDoc& d = documents()[1]->document();
  ASSERT_EQ(d.images.count(), 2);
  for (int k = 0; k < 2; ++k) {
    EXPECT_FALSE(d.images.get(k)->tempPath.empty()) << k;
    EXPECT_TRUE(fs::exists(d.images.get(k)->tempPath)) << k;
  }
  // Once the dialog is gone the palette takes input again.
  click(invert);
  EXPECT_TRUE(invert->isChecked());
}

TEST_F(ScanBridgeTest, UnsavedScansAreDiscardedOnlyByCloseAnyway) {
  start();
  script.images = 2;
  scriptFn(&script);
  newScan();
  ASSERT_EQ(documents().size(), 1u);
  DocumentFrame* frame = documents()[0];
  const std::string file = frame->document().images.get(0)->tempPath;
  ASSERT_TRUE(fs::exists(file));
  MainWindow* main = app.mainWindow();
  auto* fileClose = main->findChild<QAction*>(QStringLiteral("57602"));
  ASSERT_NE(fileClose, nullptr);
  std::vector<QString> said;
  {
    // Cancel keeps the scans, whichever way the close came.
    app_test::ModalScript modals;
    for (int i = 0; i < 3; ++i) modals.handlers.push_back(answer(2, &said));
    frame->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(documents().size(), 1u);
    fileClose->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(documents().size(), 1u);
    main->close();  // File > Exit and the window's close button
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ(modals.titles, std::vector<QString>(3, "Confirmation"));
  }
  EXPECT_EQ(said, std::vector<QString>(3, "These images are not saved|Close &Anyway|&Cancel"));
  EXPECT_TRUE(fs::exists(file));
  {
    app_test::ModalScript modals;
    modals.handlers.push_back(answer(1, &said));
    fileClose->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(modals.titles.size(), 1u);
  }
  EXPECT_TRUE(documents().empty());
  EXPECT_FALSE(fs::exists(file));
  // Exit asks for the scans too, and goes on Close Anyway.
  script.images = 1;
  scriptFn(&script);
  newScan();
  ASSERT_EQ(documents().size(), 1u);
  {
    app_test::ModalScript modals;
    modals.handlers.push_back(answer(1, &said));
    main->close();
    EXPECT_FALSE(main->isVisible());
    EXPECT_EQ(modals.titles.size(), 1u);
  }
}

TEST_F(ScanBridgeTest, SavedScansAndOpenedFilesCloseWithoutAQuestion) {
  start();
  script.images = 1;
  scriptFn(&script);
  newScan();
  ASSERT_EQ(documents().size(), 1u);
  const fs::path saved = dir / "kept001.tif";
  ASSERT_TRUE(documents()[0]->document().saveDocument(saved.string(), CTivolaDoc::Scope::All, 1, true));
  ASSERT_TRUE(app.openDocumentFile(saved.string()));
  ASSERT_EQ(documents().size(), 2u);
  app_test::ModalScript modals;
  app.mainWindow()->mdiArea()->closeAllSubWindows();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(documents().empty());
  EXPECT_TRUE(modals.titles.empty());
  EXPECT_TRUE(fs::exists(saved));
}
