// Selvane.ds as a source manager loads it: its exports, its two libraries, and
// whole sessions through the stand-in manager, over the stand-in film-scan UI
// and over the real one. This executable makes no QApplication of its own, so
// in this process the source makes the one the UI needs.
#include "hosts/twain/dsm/twain_dsm.h"
#include "hosts/twain/testapp/session.h"
#include "hosts/twain/tests/fake_scanui.h"
#include "platform/library.h"
#include "platform/qt/prompt.h"
#include "scanui/scanui.h"
#include "testsupport/scan_dialog_driver.h"
#include "testsupport/testsupport.h"

#include <QApplication>
#include <QTimer>
#include <unistd.h>
#include <dlfcn.h>
#include <QWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

fs::path binDir() { return testsupport::selfExecutable().parent_path(); }
fs::path managerPath() { return binDir() / "libTwainDsm.so"; }
fs::path fakeUiPath() { return binDir() / "libFakeScanUi.so"; }

// The suite's libraries the source links, beside it as in the program
// directory; links, so a process that has them loaded already keeps one copy.
void linkLibrariesBeside(const fs::path& dir) {
  for (const char* library : {"libndtplatform.so", "libndtplatform_qt.so"})
    fs::create_symlink(binDir() / library, dir / library);
}

// The source with its settings in a folder of its own, as it is installed.
void install(const fs::path& dir, const std::string& ui, const std::string& manager) {
  fs::copy_file(binDir() / "Selvane.ds", dir / "Selvane.ds");
  linkLibrariesBeside(dir);
  fs::copy_file(fs::path(TWAIN_TEST_DATA) / "Selvane.cap", dir / "Selvane.cap");
  testsupport::writeFile(dir / "Selvane.ini", "[Environment]\nUIDllName=" + ui + "\nTwainManager=" + manager +
                                                  "\n[DS Identity]\nversionMAJOR=3\nversionMINOR=1\n"
                                                  "ProductName=Film digitizer source\n");
}

std::vector<std::uint8_t> readBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

template <typename T>
T at(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  T v{};
  if (offset + sizeof v <= bytes.size()) std::memcpy(&v, bytes.data() + offset, sizeof v);
  return v;
}

// A scripted image as the stand-in UI makes it, rows top first.
std::vector<std::uint8_t> expectedImage(std::uint32_t width, std::uint32_t height, int bytes, int bits, int index) {
  std::vector<std::uint8_t> out;
  for (std::uint32_t y = 0; y < height; ++y)
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::uint16_t v = fakeScanUiSample(x, y, bits, index);
      out.push_back(static_cast<std::uint8_t>(v));
      if (bytes == 2) out.push_back(static_cast<std::uint8_t>(v >> 8));
    }
  return out;
}

TEST(SelvaneModule, ExportsExactlyTheEntryAndTheTwoCallbacks) {
  auto result = testsupport::runCommand("nm -D --defined-only '" + (binDir() / "Selvane.ds").string() + "'");
  ASSERT_EQ(result.status, 0) << result.output;
  std::set<std::string> names;
  std::istringstream lines(result.output);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string address, type, name;
    fields >> address >> type >> name;
    if (!name.empty()) names.insert(name);
  }
  EXPECT_EQ(names, (std::set<std::string>{"DS_Entry", "KT7163DSmsgSendCLOSEDSREQ", "KT7163DSmsgSendXFERREADY"}))
      << result.output;
}

// A library that cannot be loaded or bound: one box at the first call, and
// every call fails for good.
TEST(SelvaneModule, ALoadFailureIsShownOnceAndFailsEveryCall) {
  struct Case {
    std::string ui, manager;
    const char* box;
  } cases[] = {
      {fakeUiPath().string(), "/nonexistent/libTwainDsm.so", "Fail loading DSM DLL"},
      {fakeUiPath().string(), fakeUiPath().string(), "Fail loading DSM DLL"},  // no DSM_Entry in it
      {"/nonexistent/libFakeScanUi.so", managerPath().string(), "Fail loading UI DLL"},
      {(binDir() / "libFakeScanUiPartial.so").string(), managerPath().string(), "Fail loading UI DLL"},
  };
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  for (const Case& c : cases) {
    testsupport::TempDir dir;
    install(dir.path(), c.ui, c.manager);
    platform::qt::ScriptedPrompt prompt;
    {
      platform::Library source;
      ASSERT_TRUE(source.open((dir / "Selvane.ds").string(), nullptr)) << source.errorText();
      EXPECT_TRUE(prompt.asked.empty()) << "nothing is shown while the library loads";
      auto entry = source.function<DSENTRYPROC>("DS_Entry");
      ASSERT_NE(entry, nullptr);
      TW_IDENTITY app{}, id{};
      EXPECT_EQ(entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_GET, &id), TWRC_FAILURE) << c.box;
      TW_STATUS status{};
      EXPECT_EQ(entry(&app, DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_FAILURE);
      EXPECT_EQ(+status.ConditionCode, TWCC_OPERATIONERROR);
      id.Id = 2;
      EXPECT_EQ(entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &id), TWRC_FAILURE);
      EXPECT_EQ(source.function<int (*)()>("KT7163DSmsgSendXFERREADY")(), 0);
      ASSERT_EQ(prompt.asked.size(), 1u) << c.box;
      EXPECT_EQ(prompt.asked[0].text, QString::fromLatin1(c.box));
      EXPECT_EQ(prompt.asked[0].caption, "DllMain");
      EXPECT_EQ(prompt.asked[0].icon, platform::qt::Icon::Warning);
      EXPECT_EQ(QCoreApplication::instance(), nullptr) << "the application made for the box is gone";
    }
  }
}

// An application's calls through the stand-in manager to the real source over
// the stand-in UI, in this process.
class Selvane : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::unsetenv("NDT_FAKE_SCANUI_IMAGES");
    // A folder per set-up: a test may start afresh inside itself.
    home = dir / std::to_string(++setUps);
    fs::create_directory(home);
    install(home, fakeUiPath().string(), managerPath().string());
    ::setenv("NDT_TWAIN_SOURCE", (home / "Selvane.ds").c_str(), 1);
    ASSERT_TRUE(managerLib.open(managerPath().string(), nullptr)) << managerLib.errorText();
    ASSERT_TRUE(ui.open(fakeUiPath().string(), nullptr)) << ui.errorText();
    dsm = managerLib.function<DSMENTRYPROC>("DSM_Entry");
    failNull = managerLib.function<TwainDsmFailNullMessagesProc>("TwainDsm_FailNullMessages");
    queue = ui.function<FakeScanUiQueueProc>("FakeScanUi_Queue");
    transferReady = ui.function<FakeScanUiCallbackProc>("FakeScanUi_TransferReady");
    closeRequest = ui.function<FakeScanUiCallbackProc>("FakeScanUi_CloseRequest");
    calls = ui.function<FakeScanUiCallsProc>("FakeScanUi_Calls");
    setFeeder = ui.function<FakeScanUiSetFeederProc>("FakeScanUi_SetFeeder");
    ASSERT_TRUE(dsm && failNull && queue && transferReady && closeRequest && calls && setFeeder);
    ui.function<FakeScanUiResetProc>("FakeScanUi_Reset")();
    std::strcpy(app.ProductName, "Imaging program");
    TW_HANDLE parent = nullptr;
    ASSERT_EQ(dsm(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent), TWRC_SUCCESS);
  }
  void TearDown() override {
    failNull(0);
    // Whatever a failed test left open is closed, so the next one starts afresh.
    TW_USERINTERFACE u{0, 0, nullptr};
    TW_PENDINGXFERS pending{};
    if (opened) {
      toSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
      toSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &u);
      dsm(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source);
    }
    TW_HANDLE parent = nullptr;
    dsm(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent);
    ::unsetenv("NDT_TWAIN_SOURCE");
  }

  TW_UINT16 toSource(TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF data) {
    return dsm(&app, &source, DG, DAT, MSG, data);
  }
  TW_UINT16 status() {
    TW_STATUS s{};
    EXPECT_EQ(toSource(DG_CONTROL, DAT_STATUS, MSG_GET, &s), TWRC_SUCCESS);
    return s.ConditionCode;
  }
  std::string uiCalls() {
    std::string out(calls(nullptr, 0) + 1, '\0');
    out.resize(calls(out.data(), out.size()));
    return out;
  }
  // The DAT_NULL message the next event brings, MSG_NULL for none.
  TW_UINT16 nextMessage() {
    TW_EVENT event{nullptr, MSG_NULL};
    TW_UINT16 rc = toSource(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
    return rc == TWRC_DSEVENT ? event.TWMessage : MSG_NULL;
  }
  void open() {
    ASSERT_EQ(dsm(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source), TWRC_SUCCESS);
    opened = true;
  }
  // Brings the source to a state the way an application and the dialog do.
  void reach(int state) {
    open();
    if (state >= 5) {
      TW_USERINTERFACE u{1, 0, nullptr};
      ASSERT_EQ(toSource(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &u), TWRC_SUCCESS);
    }
    if (state >= 6) {
      queue(37, 4, 1, 8);
      ASSERT_EQ(transferReady(), 1);
      ASSERT_EQ(nextMessage(), MSG_XFERREADY);
    }
    if (state >= 7) {
      TW_HANDLE dib = nullptr;
      ASSERT_EQ(toSource(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
      std::free(dib);  // this manager gives no memory of its own: the handle is the block
    }
  }

  testsupport::TempDir dir;
  fs::path home;
  int setUps = 0;
  platform::Library managerLib, ui;
  DSMENTRYPROC dsm = nullptr;
  TwainDsmFailNullMessagesProc failNull = nullptr;
  FakeScanUiQueueProc queue = nullptr;
  FakeScanUiCallbackProc transferReady = nullptr, closeRequest = nullptr;
  FakeScanUiCallsProc calls = nullptr;
  FakeScanUiSetFeederProc setFeeder = nullptr;
  TW_IDENTITY app{}, source{};
  bool opened = false;
};

TEST_F(Selvane, OpensOverTheBoundUiAndLeavesNoApplicationBehind) {
  TW_IDENTITY id{};
  ASSERT_EQ(dsm(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &id), TWRC_SUCCESS);
  EXPECT_STREQ(id.ProductName, "Film digitizer source");
  EXPECT_EQ(+id.Version.MajorNum, 3);
  EXPECT_EQ(QCoreApplication::instance(), nullptr);
  open();
  EXPECT_NE(qobject_cast<QApplication*>(QCoreApplication::instance()), nullptr) << "the UI's application";
  EXPECT_EQ(uiCalls(), "SetDSProcAddress;IsThereAnyDigitizerAvailable;SetDSProcAddress;IsThereAnyDigitizerAvailable;"
                       "InitUI;")
      << "bound afresh at each load, the probe only in state 3";
  ASSERT_EQ(dsm(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source), TWRC_SUCCESS);
  opened = false;
  EXPECT_EQ(QCoreApplication::instance(), nullptr);
  EXPECT_NE(uiCalls().find("TermUI;"), std::string::npos);
  EXPECT_EQ(::dlopen((home / "Selvane.ds").c_str(), RTLD_LAZY | RTLD_NOLOAD), nullptr)
      << "the manager could unload the source";
}

TEST_F(Selvane, InAQtHostTheHostsApplicationServes) {
  int argc = 1;
  char name[] = "host";
  char* argv[] = {name, nullptr};
  {
    QApplication host(argc, argv);
    reach(5);
    EXPECT_EQ(QCoreApplication::instance(), &host);
    TW_USERINTERFACE u{0, 0, nullptr};
    ASSERT_EQ(toSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &u), TWRC_SUCCESS);
    ASSERT_EQ(dsm(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source), TWRC_SUCCESS);
    opened = false;
    EXPECT_EQ(QCoreApplication::instance(), &host) << "the host's application outlives the session";
  }
  EXPECT_EQ(QCoreApplication::instance(), nullptr);
}

TEST_F(Selvane, RefusalsReachTheApplicationThroughTheManager) {
  reach(5);
  struct Case {
    TW_UINT32 DG;
    TW_UINT16 DAT, MSG;
    TW_UINT16 cc;
  } cases[] = {
      {DG_IMAGE, DAT_IMAGEINFO, MSG_GET, TWCC_SEQERROR},
      {DG_CONTROL, DAT_CAPABILITY, MSG_SET, TWCC_SEQERROR},
      {DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, TWCC_SEQERROR},
      {DG_CONTROL, 0x0999, MSG_GET, TWCC_BADPROTOCOL},
      {DG_CONTROL, DAT_CAPABILITY, MSG_GETFIRST, TWCC_BADPROTOCOL},
      {0x0100, DAT_IMAGEINFO, MSG_GET, TWCC_BADPROTOCOL},
  };
  for (const Case& c : cases) {
    std::uint8_t room[256] = {};
    EXPECT_EQ(toSource(c.DG, c.DAT, c.MSG, room), TWRC_FAILURE) << c.DAT;
    EXPECT_EQ(status(), c.cc) << c.DAT;
    EXPECT_EQ(status(), TWCC_SUCCESS) << "the code is given once";
  }
}

TEST_F(Selvane, ASecondApplicationIsRefused) {
  open();
  TW_IDENTITY other{};
  std::strcpy(other.ProductName, "Second program");
  TW_HANDLE parent = nullptr;
  ASSERT_EQ(dsm(&other, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent), TWRC_SUCCESS);
  TW_IDENTITY theirs{};
  EXPECT_EQ(dsm(&other, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &theirs), TWRC_FAILURE);
  TW_STATUS s{};
  ASSERT_EQ(dsm(&other, nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &s), TWRC_SUCCESS);
  EXPECT_EQ(+s.ConditionCode, TWCC_MAXCONNECTIONS);
  EXPECT_EQ(dsm(&other, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent), TWRC_SUCCESS);
}

TEST_F(Selvane, ResetDuringAScanStopsTheFeeder) {
  reach(6);
  setFeeder(3);
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(toSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_SUCCESS);
  const std::size_t mark = uiCalls().size();
  ASSERT_EQ(toSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_SUCCESS);
  EXPECT_EQ(+pending.Count, 0);
  EXPECT_EQ(uiCalls().substr(mark), "ResetAutofeederCount;CeaseScan;ReleaseScanData;");
  TW_USERINTERFACE u{0, 0, nullptr};
  EXPECT_EQ(toSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &u), TWRC_SUCCESS) << "back in state 5";
}

TEST_F(Selvane, AnImageTheManagerCannotAnnounceStaysWithTheDialog) {
  reach(5);
  failNull(1);
  queue(37, 4, 1, 8);
  EXPECT_EQ(transferReady(), 0);
  failNull(0);
  EXPECT_EQ(status(), TWCC_OPERATIONERROR);
  EXPECT_EQ(nextMessage(), MSG_NULL);
  TW_IMAGEINFO info{};
  EXPECT_EQ(toSource(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_FAILURE) << "still state 5";
  EXPECT_EQ(transferReady(), 1) << "the next offer goes through";
  EXPECT_EQ(nextMessage(), MSG_XFERREADY);
}

TEST_F(Selvane, TheDialogMayAskToCloseFromStatesFiveToSeven) {
  for (int state : {5, 6, 7}) {
    TearDown();
    opened = false;
    SetUp();
    reach(state);
    EXPECT_EQ(closeRequest(), 1) << state;
    EXPECT_EQ(nextMessage(), MSG_CLOSEDSREQ) << state;
    TW_USERINTERFACE u{0, 0, nullptr};
    EXPECT_EQ(toSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &u), TWRC_SUCCESS) << state;
    ASSERT_EQ(dsm(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source), TWRC_SUCCESS);
    opened = false;
    const std::string made = uiCalls();
    EXPECT_EQ(made.find("ReleaseScanData") != std::string::npos, state >= 6) << made;
  }
}

TEST_F(Selvane, ShowUiFalseShowsTheDialogAllTheSame) {
  open();
  TW_USERINTERFACE u{0, 1, nullptr};
  EXPECT_EQ(toSource(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &u), TWRC_CHECKSTATUS);
  EXPECT_EQ(+u.ModalUI, 0);
  EXPECT_NE(uiCalls().find("ShowUI;"), std::string::npos);
  queue(37, 4, 1, 8);
  EXPECT_EQ(transferReady(), 1) << "in state 5, so images can come";
  EXPECT_EQ(nextMessage(), MSG_XFERREADY);
}

// An application's session over the real film-scan UI on a simulated film
// digitizer, through the stand-in manager, in this process.
class SelvaneOverTheFilmScanUi : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ASSERT_FALSE(road.crProgramConnects());
    fs::create_directories(dir / "source");
    install(dir / "source", oskelu().string(), managerPath().string());
    ::setenv("NDT_TWAIN_SOURCE", (dir / "source" / "Selvane.ds").c_str(), 1);
    ASSERT_TRUE(managerLib.open(managerPath().string(), nullptr)) << managerLib.errorText();
    dsm = managerLib.function<DSMENTRYPROC>("DSM_Entry");
    ASSERT_NE(dsm, nullptr);
    std::strcpy(app.ProductName, "Imaging program");
  }
  void TearDown() override {
    for (const auto& asked : prompt.asked) ADD_FAILURE() << "unexpected box: " << asked.text.toStdString();
    ::unsetenv("NDT_TWAIN_SOURCE");
  }
  static fs::path oskelu() { return binDir() / "libOskelu.so"; }
  TW_UINT16 toSource(TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF data) {
    return dsm(&app, &source, DG, DAT, MSG, data);
  }
  // The application opens the source and enables it with its dialog.
  void enable() {
    ASSERT_EQ(dsm(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent), TWRC_SUCCESS);
    ASSERT_EQ(dsm(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source), TWRC_SUCCESS);
    ASSERT_EQ(toSource(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
  }
  // The application's event loop: every event goes through the source. The
  // first DAT_NULL message an event brings, MSG_NULL when none came in time.
  TW_UINT16 nextMessage() {
    for (int i = 0; i < 500; ++i) {
      TW_EVENT event{nullptr, MSG_NULL};
      if (toSource(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) == TWRC_DSEVENT && event.TWMessage != MSG_NULL)
        return event.TWMessage;
      ::usleep(2000);
    }
    return MSG_NULL;
  }
  // The held image as IMAGEINFO gives it: 2-byte samples, and its size.
  void expectTwoByteImage(TW_INT32 width, TW_INT32 length) {
    TW_IMAGEINFO info{};
    ASSERT_EQ(toSource(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    EXPECT_EQ(info.ImageWidth, width);
    EXPECT_EQ(info.ImageLength, length);
    EXPECT_EQ(+info.BitsPerPixel, 16);
  }
  // The held image by memory transfers into a buffer of `rows` padded rows:
  // the rows of each strip, and the image without the padding.
  void transfer(std::uint32_t rows, std::size_t rowBytes, std::vector<int>& strips, std::vector<std::uint8_t>& image) {
    const std::size_t padded = (rowBytes + 3) / 4 * 4;
    std::vector<std::uint8_t> buffer(rows * padded);
    for (TW_UINT16 rc = TWRC_SUCCESS; rc == TWRC_SUCCESS;) {
      TW_IMAGEMEMXFER x{};
      x.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, static_cast<TW_UINT32>(buffer.size()), buffer.data()};
      rc = toSource(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &x);
      ASSERT_TRUE(rc == TWRC_SUCCESS || rc == TWRC_XFERDONE) << rc;
      ASSERT_LE(std::size_t(x.Rows) * padded, buffer.size());
      EXPECT_EQ(+x.BytesPerRow, padded);
      strips.push_back(int(x.Rows));
      for (std::size_t r = 0; r < x.Rows; ++r)
        image.insert(image.end(), buffer.begin() + r * padded, buffer.begin() + r * padded + rowBytes);
    }
  }
  // After the dialog's close request: disabled, closed, and the application
  // the source made is gone.
  void close() {
    EXPECT_EQ(nextMessage(), MSG_CLOSEDSREQ);
    EXPECT_EQ(toSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
    EXPECT_EQ(dsm(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source), TWRC_SUCCESS);
    EXPECT_EQ(dsm(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent), TWRC_SUCCESS);
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
  }

  testsupport::TempDir dir;
  testsupport::SimulatedFilmRoad road;
  platform::qt::ScriptedPrompt prompt;
  platform::Library managerLib;
  DSMENTRYPROC dsm = nullptr;
  TW_IDENTITY app{}, source{};
  TW_HANDLE parent = nullptr;
  TW_USERINTERFACE ui{1, 0, nullptr};
};

// The dialog, one image record handed to the library directly, and the
// dialog's close request.
TEST_F(SelvaneOverTheFilmScanUi, OpensShowsTheDialogAndClosesOnItsRequest) {
  platform::Library library;
  ASSERT_TRUE(library.open(oskelu().string(), nullptr)) << library.errorText();
  auto closeRequest = library.function<scanui::CloseRequestFn>("CloseRequest");
  ASSERT_NE(closeRequest, nullptr);
  ASSERT_NO_FATAL_FAILURE(enable());

  // The dialog is a window of its own; a person looks at it under the build folder.
  QWidget* dialog = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible()) dialog = w;
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->parentWidget(), nullptr);
  EXPECT_TRUE(dialog->windowTitle().contains("Imaging program")) << dialog->windowTitle().toStdString();
  dialog->grab().save(QString::fromStdString((binDir() / "selvane_scan_dialog.png").string()));

  // A record handed to the library as its scan execution hands one over:
  // it reaches the application through the library's own GetScanData and
  // is given back with ReleaseScanData, which frees the pixels.
  constexpr std::uint32_t kWidth = 37, kHeight = 40;
  const auto samples = expectedImage(kWidth, kHeight, 2, 12, 0);
  scanui::ScanRecord record{};
  record.width = kWidth;
  record.height = kHeight;
  record.pixels = std::malloc(samples.size());
  ASSERT_NE(record.pixels, nullptr);
  std::memcpy(record.pixels, samples.data(), samples.size());
  record.bits = 12;
  record.bytesPerPixel = 2;
  record.pitch = 50;
  library.function<scanui::XFerReadyFn>("XFerReady")(&record);
  TW_EVENT ready{nullptr, MSG_NULL};
  ASSERT_EQ(toSource(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &ready), TWRC_DSEVENT);
  ASSERT_EQ(+ready.TWMessage, MSG_XFERREADY);
  ASSERT_NO_FATAL_FAILURE(expectTwoByteImage(37, 40));
  std::vector<int> strips;
  std::vector<std::uint8_t> image;
  ASSERT_NO_FATAL_FAILURE(transfer(20, kWidth * 2, strips, image));
  EXPECT_EQ(strips, (std::vector<int>{20, 20}));
  EXPECT_EQ(image, samples) << "byte for byte through the real library";
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(toSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
  EXPECT_EQ(record.pixels, nullptr) << "the library took its pixels back";

  EXPECT_EQ(closeRequest(), 1) << "the operator closes the dialog";
  close();
}

// The operator feeds a film, enters a region and presses Scan while the
// application pumps its events through the source; the memory transfer brings
// the film the digitizer sent, and Exit ends the session.
TEST_F(SelvaneOverTheFilmScanUi, OneSessionDeliversTheDigitizersFilm) {
  ASSERT_NO_FATAL_FAILURE(enable());
  testsupport::ScanDialogDriver dialog(testsupport::ScanDialogDriver::findShown());
  ASSERT_NE(dialog.dialog(), nullptr);
  // Feed brings the film from the feeder: the digitizer is told to set one.
  const auto filmSets = [&] {
    int n = 0;
    for (const sim::LogEntry& e : road.digitizer().log(sim::LogEntry::Kind::Command)) n += e.word == 3;
    return n;
  };
  const int before = filmSets();
  ASSERT_TRUE(dialog.feed()) << dialog.fault();
  EXPECT_EQ(filmSets(), before + 1);
  ASSERT_TRUE(dialog.enter({})) << dialog.fault();
  ASSERT_EQ(dialog.heightPx(), 1000);
  // The operator's press arrives among the application's events.
  bool pressed = false;
  QTimer::singleShot(0, dialog.dialog(), [&] { pressed = dialog.scan(); });
  ASSERT_EQ(nextMessage(), MSG_XFERREADY)
      << dialog.fault() << (prompt.asked.empty() ? "" : prompt.asked[0].text.toStdString());
  EXPECT_TRUE(pressed);
  dialog.screenshot(binDir() / "selvane_real_film_dialog.png");

  ASSERT_NO_FATAL_FAILURE(expectTwoByteImage(53, 1000));
  std::vector<int> strips;
  std::vector<std::uint8_t> image;
  ASSERT_NO_FATAL_FAILURE(transfer(300, 53 * 2, strips, image));
  EXPECT_EQ(strips, (std::vector<int>{300, 300, 300, 100}));
  const std::vector<std::uint8_t> film = road.film(53, 2);
  ASSERT_EQ(film.size(), 53u * 1000 * 2);
  EXPECT_TRUE(image == film) << "the transfer brings another image than the digitizer sent";
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(toSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
  EXPECT_EQ(+pending.Count, 0);

  ASSERT_TRUE(dialog.exit()) << dialog.fault();
  close();
}

// Rows of each strip as a test application logged them.
std::vector<int> stripRows(const std::string& log) {
  std::vector<int> rows;
  const std::string key = "strip rows=";
  for (std::size_t at = log.find(key); at != std::string::npos; at = log.find(key, at + 1))
    rows.push_back(std::atoi(log.c_str() + at + key.size()));
  return rows;
}

// Both test applications, with and without Qt, run whole sessions against the
// source over the stand-in UI's scripted images.
class TestApplications : public ::testing::Test {
 protected:
  // managerMemory: the manager offers its memory functions, and both sides take them.
  testsupport::CommandResult run(const char* program, const std::string& images, const std::string& arguments,
                                 bool managerMemory = false) {
    // Each run in a folder of its own.
    const fs::path home = dir / std::to_string(++runs);
    out = home / "out";
    fs::create_directories(out);
    install(home, fakeUiPath().string(), managerPath().string());
    const std::string command = std::string(managerMemory ? "NDT_TWAIN_DSM_MEMORY=1 " : "") +
                                "NDT_TWAIN_SOURCE='" + (home / "Selvane.ds").string() +
                                "' NDT_FAKE_SCANUI_IMAGES='" + images + "' QT_QPA_PLATFORM=offscreen '" +
                                (binDir() / program).string() + "' --manager '" + managerPath().string() +
                                "' --out '" + out.string() + "' --timeout-ms 20000 " + arguments;
    return testsupport::runCommand(command);
  }
  testsupport::TempDir dir;
  fs::path out;
  int runs = 0;
};

TEST_F(TestApplications, MemoryTransfersComeInStripsAndReassembleByteForByte) {
  struct Case {
    const char* program;
    const char* buffer;  // 40-byte rows
    std::vector<int> strips;
  } cases[] = {
      {"twain_testapp", "12000", {300, 300, 300, 100}},
      {"twain_testapp", "10000", {250, 250, 250, 250}},
      {"twain_testapp_qt", "12000", {300, 300, 300, 100}},
      {"twain_testapp_qt", "10000", {250, 250, 250, 250}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.program) + " " + c.buffer);
    auto result = run(c.program, "37x1000x1x8", std::string("--memory --buffer ") + c.buffer);
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(stripRows(result.output), c.strips) << result.output;
    EXPECT_NE(result.output.find("event CLOSEDSREQ\n"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("CLOSEDSM rc=0\nimages 1\n"), std::string::npos) << result.output;
    EXPECT_EQ(readBytes(out / "image1.raw"), expectedImage(37, 1000, 1, 8, 0));
  }
}

TEST_F(TestApplications, NativeTransfersCarryPaletteOrMasks) {
  struct Image {
    int bytes, bits;
    std::uint16_t bitCount;
    std::uint32_t compression, offset, mask;
  } images[] = {{1, 8, 8, 0, 14 + 1064, 0}, {2, 12, 16, 3, 14 + 52, 4095}, {2, 10, 16, 3, 14 + 52, 1023}};
  constexpr std::uint32_t kWidth = 37, kHeight = 5;
  for (const auto& [program, managerMemory] : {std::pair{"twain_testapp", false}, std::pair{"twain_testapp_qt", false},
                                                std::pair{"twain_testapp", true}}) {
    SCOPED_TRACE(std::string(program) + (managerMemory ? " over the manager's memory" : ""));
    auto result = run(program, "37x5x1x8,37x5x2x12,37x5x2x10", "", managerMemory);
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(result.output.find("manager memory\n") != std::string::npos, managerMemory) << result.output;
    EXPECT_NE(result.output.find("images 3\n"), std::string::npos) << result.output;
    for (int i = 0; i < 3; ++i) {
      const Image& want = images[i];
      const auto bmp = readBytes(out / ("image" + std::to_string(i + 1) + ".bmp"));
      ASSERT_GT(bmp.size(), want.offset) << i;
      EXPECT_EQ(at<std::int32_t>(bmp, 14 + 4), 37);
      EXPECT_EQ(at<std::int32_t>(bmp, 14 + 8), 5) << "positive: bottom-up";
      EXPECT_EQ(at<std::uint16_t>(bmp, 14 + 14), want.bitCount);
      EXPECT_EQ(at<std::uint32_t>(bmp, 14 + 16), want.compression);
      EXPECT_EQ(at<std::uint32_t>(bmp, 10), want.offset);
      if (want.bytes == 1) {
        for (std::uint32_t e : {0u, 1u, 128u, 255u}) EXPECT_EQ(at<std::uint32_t>(bmp, 14 + 40 + 4 * e), e * 0x010101u);
      } else {
        for (int m = 0; m < 3; ++m) EXPECT_EQ(at<std::uint32_t>(bmp, 14 + 40 + 4 * m), want.mask);
      }
      const std::size_t row = kWidth * want.bytes, padded = (row + 3) / 4 * 4;
      ASSERT_EQ(bmp.size(), want.offset + padded * kHeight);
      const auto pixels = expectedImage(kWidth, kHeight, want.bytes, want.bits, i);
      for (std::uint32_t y = 0; y < kHeight; ++y) {
        const auto* stored = bmp.data() + want.offset + (kHeight - 1 - y) * padded;
        EXPECT_TRUE(std::equal(stored, stored + row, pixels.begin() + y * row)) << i << " row " << y;
        EXPECT_TRUE(std::all_of(stored + row, stored + padded, [](std::uint8_t b) { return b == 0; }));
      }
    }
  }
}

TEST_F(TestApplications, ASessionWithShowUiFalseStillEnds) {
  for (const char* program : {"twain_testapp", "twain_testapp_qt"}) {
    auto result = run(program, "20x3x1x8", "--hide-ui");
    EXPECT_EQ(result.status, 0) << program << "\n" << result.output;
    EXPECT_NE(result.output.find("ENABLEDS rc=2\n"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("images 1\n"), std::string::npos) << result.output;
  }
}

}  // namespace
