// Whole runs of the scan program in this process, over the stand-in scan UI
// (bin/fakeui/libOskelu.so) and over the real one on a simulated digitizer.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <QApplication>
#include <QLocale>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "hosts/fakeui/fake_ui.h"
#include "hosts/scanapp/ombrel.h"
#include "hosts/scanapp/tests/dicom_walk.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/qt/prompt.h"
#include "platform/qt/translations.h"
#include "testsupport/testsupport.h"
#include "viewer/formats/diconde.h"
#include "viewer/image_model.h"

namespace ombrel {
namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::TempDir;

std::vector<std::uint8_t> bytes(const fs::path& file) {
  const std::string s = readFile(file);
  return std::vector<std::uint8_t>(s.begin(), s.end());
}

std::vector<std::string> lines(const fs::path& file) {
  std::ifstream in(file);
  std::vector<std::string> out;
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

std::vector<std::string> filesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The pixels the stand-in delivers, as they must stand in every file.
std::string expectedPixels(unsigned w, unsigned h, int bytesPerPixel, int bits) {
  std::string out;
  for (unsigned y = 0; y < h; ++y)
    for (unsigned x = 0; x < w; ++x) {
      const std::uint16_t v = fakeui::sample(x, y, bits);
      out += char(v & 0xFF);
      if (bytesPerPixel == 2) out += char(v >> 8);
    }
  return out;
}

// A run over the stand-in: the script, the call log, the ini, the output folder.
class FakeRun : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(out());
    ::setenv("NDT_FAKEUI_SCRIPT", (dir / "script").c_str(), 1);
    ::setenv("NDT_FAKEUI_LOG", (dir / "calls").c_str(), 1);
    ::setenv("NDT_CONFIG_DIR", (dir / "config").c_str(), 1);
    fs::create_directories(dir / "config");
    testsupport::writeFile(dir / "config" / "Ombrel.ini",
                           "[DICOM]\n(0008,0005)=\\ISO 2022 IR 87\n(0008,0016)=1.2.840.10008.5.1.4.1.1.7\n"
                           "(0008,0060)=OT\n(0008,0064)=WSD\n(0008,0070)=Maker\nUID_HEADER=1.2.392.99\n");
  }
  void TearDown() override {
    ::unsetenv("NDT_FAKEUI_SCRIPT");
    ::unsetenv("NDT_FAKEUI_LOG");
    ::unsetenv("NDT_CONFIG_DIR");
  }
  fs::path out() const { return dir.path() / "out"; }
  int runWith(const std::string& script, const std::string& name) {
    testsupport::writeFile(dir / "script", script);
    return run((out() / name).string(), FAKEUI_LIBRARY);
  }
  std::vector<std::string> calls() const { return lines(dir / "calls"); }

  TempDir dir;
  platform::qt::ScriptedPrompt prompts;
};

TEST_F(FakeRun, DicomRunWritesNumberedFilesAndRewritesTheirHeaders) {
  const std::string script =
      "image 100 100 2 12 50 40\n"
      "image 100 100 2 12 50 40\n"
      "study name \\x96\\xBC\\x91\\x4F A\n"
      "study description weld \\x97\\x6E\\x90\\xDA\n"
      "study studydate 20261210\n"
      "exit\n";
  EXPECT_EQ(runWith(script, "film007.dcm"), 0);
  EXPECT_EQ(filesIn(out()), (std::vector<std::string>{"film007.dcm", "film008.dcm"}));
  EXPECT_TRUE(prompts.asked.empty());
  EXPECT_EQ(calls(), (std::vector<std::string>{"SetDSProcAddress", "InitUI", "EnableDICOMField 1 1",
                                               "ShowUI 0 7163 Scan Program", "GetScanData", "ReleaseScanData",
                                               "GetScanData", "ReleaseScanData", "CloseRequest", "HideUI",
                                               "TermUI"}));
  const std::string pixels = expectedPixels(100, 100, 2, 12);
  std::vector<std::string> instances, studies;
  for (const char* name : {"film007.dcm", "film008.dcm"}) {
    SCOPED_TRACE(name);
    const auto file = bytes(out() / name);
    ASSERT_EQ(file.size(), 21048u);
    const auto e = testing::walk(file, file.size());
    EXPECT_TRUE(testing::groupLengthsHold(e));
    EXPECT_EQ(e.at(0x7FE00000).offset, kDicomHeaderBytes);
    EXPECT_EQ(testing::le(reinterpret_cast<const std::uint8_t*>(e.at(0x7FE00000).value.data()), 4), 20008u);
    EXPECT_EQ(e.at(0x7FE00010).offset, 1040u);
    // The pixels stand where they were written; only the header changed at the end.
    EXPECT_EQ(std::string(file.begin() + kDicomPixelOffset, file.end()), pixels);
    // The study the operator typed reaches every file, which was written before it was typed.
    EXPECT_EQ(e.at(0x00081030).value, "weld \x1b$B\x4D\x4F\x40\x5C\x1b(B ");
    EXPECT_EQ(e.at(0x00080020).value, "20261210");
    EXPECT_EQ(e.at(0x00080060).value, "OT");
    instances.push_back(e.at(0x00080018).value);
    studies.push_back(e.at(0x0020000D).value + "|" + e.at(0x0020000E).value);
  }
  EXPECT_NE(instances[0], instances[1]);
  EXPECT_EQ(instances[0].substr(instances[0].rfind('.')), std::string(".7") + '\0');
  EXPECT_EQ(instances[1].substr(instances[1].rfind('.')), std::string(".8") + '\0');
  EXPECT_EQ(instances[0].rfind("1.2.392.99.6.", 0), 0u);
  EXPECT_EQ(studies[0], studies[1]);

  // Outside judges: dcmdump reads the bare data set, pydicom reads it and its pixels.
  for (const char* name : {"film007.dcm", "film008.dcm"}) {
    const auto dump = testsupport::runCommand("dcmdump -f -ti -E '" + (out() / name).string() + "' 2>&1");
    EXPECT_EQ(dump.status, 0) << dump.output;
    EXPECT_NE(dump.output.find("(0028,0010) US 100"), std::string::npos) << dump.output;
    EXPECT_NE(dump.output.find("(0028,1050) DS [2048]"), std::string::npos) << dump.output;
    EXPECT_NE(dump.output.find("(7fe0,0010) OW"), std::string::npos) << dump.output;
    EXPECT_EQ(dump.output.find("E: "), std::string::npos) << dump.output;
  }
  const std::string py =
      "import sys, pydicom, numpy\n"
      "from pydicom.uid import ImplicitVRLittleEndian\n"
      "for f in sys.argv[1:]:\n"
      "    ds = pydicom.dcmread(f, force=True)\n"
      "    ds.file_meta = pydicom.dataset.FileMetaDataset()\n"
      "    ds.file_meta.TransferSyntaxUID = ImplicitVRLittleEndian\n"
      "    a = ds.pixel_array\n"
      "    y, x = numpy.mgrid[0:100, 0:100]\n"
      "    assert a.shape == (100, 100) and ds.BitsStored == 12 and ds.HighBit == 11, f\n"
      "    assert (a == ((x * 7 + y * 131) & 4095)).all(), f\n"
      "    print(ds.SOPInstanceUID, ds.WindowWidth)\n";
  testsupport::writeFile(dir / "judge.py", py);
  const auto judged = testsupport::runCommand("/usr/bin/python3 '" + (dir / "judge.py").string() + "' '" +
                                              (out() / "film007.dcm").string() + "' '" +
                                              (out() / "film008.dcm").string() + "' 2>&1");
  EXPECT_EQ(judged.status, 0) << judged.output;
  EXPECT_NE(judged.output.find("4096"), std::string::npos) << judged.output;

  // The viewer's own reader opens the file.
  viewer::CImageItem image;
  ASSERT_EQ(viewer::formats::ReadDicondeFile(image, (out() / "film008.dcm").string()), 1);
  EXPECT_EQ(image.width(), 100);
  EXPECT_EQ(image.height(), 100);
  EXPECT_EQ(image.bitsStored, 12);
  EXPECT_EQ(image.pixel(3, 2), fakeui::sample(3, 2, 12));
}

TEST_F(FakeRun, TiffRunPinsTheLayoutValues) {
  EXPECT_EQ(runWith("image 30 20 2 12 50 40\nimage 31 21 1 8 100 255\nexit\n", "film.tif"), 0);
  ASSERT_EQ(filesIn(out()), (std::vector<std::string>{"film01.tif", "film02.tif"}));
  struct Expect {
    const char* name;
    unsigned w, h, bytesPerPixel, bits, pitch, curve, photometric;
  };
  for (const Expect& x : {Expect{"film01.tif", 30, 20, 2, 12, 50, 4000, 1},
                          Expect{"film02.tif", 31, 21, 1, 8, 100, 0, 0}}) {
    SCOPED_TRACE(x.name);
    const auto f = bytes(out() / x.name);
    ASSERT_EQ(f.size(), 350u + x.w * x.h * x.bytesPerPixel);
    EXPECT_EQ(std::string(f.begin() + 350, f.end()), expectedPixels(x.w, x.h, x.bytesPerPixel, x.bits));
    std::map<unsigned, std::uint32_t> entries;
    for (int i = 0; i < 16; ++i) entries[testing::le(&f[10 + 12 * i], 2)] = testing::le(&f[10 + 12 * i + 8], 4);
    EXPECT_EQ(entries[258], 8 * x.bytesPerPixel);
    EXPECT_EQ(entries[262], x.photometric);
    EXPECT_EQ(entries[291], x.curve);
    EXPECT_EQ(entries[273], 350u);
    EXPECT_EQ(testing::le(&f[entries[282]], 4), 25400u);
    EXPECT_EQ(testing::le(&f[entries[282] + 4], 4), x.pitch);
    const std::uint8_t* block = &f[entries[65171]];
    EXPECT_EQ(std::string(block, block + 4), "k4TZ");
    EXPECT_EQ(testing::le(block + 4, 2), x.bits);
    EXPECT_EQ(testing::le(block + 6, 2), 1u << (x.bits - 1));
    EXPECT_EQ(testing::le(block + 8, 2), 1u << x.bits);
    const auto info = testsupport::runCommand("tiffinfo '" + (out() / x.name).string() + "' 2>&1");
    EXPECT_EQ(info.status, 0) << info.output;
    EXPECT_NE(info.output.find("Image Width: " + std::to_string(x.w) + " Image Length: " + std::to_string(x.h)),
              std::string::npos) << info.output;
    EXPECT_NE(info.output.find(x.photometric ? "min-is-black" : "min-is-white"), std::string::npos) << info.output;
  }
}

TEST_F(FakeRun, CrLinkImageInDicomIsMonochrome1) {
  EXPECT_EQ(runWith("image 8 8 2 12 100 255\nexit\n", "cr1.dcm"), 0);
  const auto f = bytes(out() / "cr1.dcm");
  const auto e = testing::walk(f, f.size());
  EXPECT_EQ(e.at(0x00280004).value, "MONOCHROME1 ");
  EXPECT_EQ(testing::us(e.at(0x00193000)), 0);
}

TEST_F(FakeRun, RawRunWritesThePixelsOnly) {
  EXPECT_EQ(runWith("image 3 5 1 8 50 40\nimage 4 3 2 10 50 40\nexit\n", "a1b2.raw"), 0);
  ASSERT_EQ(filesIn(out()), (std::vector<std::string>{"a001.raw", "a002.raw"}));
  EXPECT_EQ(readFile(out() / "a001.raw"), expectedPixels(3, 5, 1, 8));
  EXPECT_EQ(readFile(out() / "a002.raw"), expectedPixels(4, 3, 2, 10));
  const auto c = calls();
  EXPECT_EQ(std::count(c.begin(), c.end(), "EnableDICOMField 1 1"), 0);
}

TEST_F(FakeRun, EveryEndingIsQuietAndGivesZero) {
  struct Ending {
    const char* what;
    std::string script, output;
    std::vector<std::string> lastCalls;
  };
  const Ending endings[] = {
      {"InitUI fails", "initui 0\nimage 4 4 1 8 50 40\n", "f.dcm", {"SetDSProcAddress", "InitUI"}},
      {"ShowUI fails", "showui null\n", "f.dcm", {"ShowUI 0 7163 Scan Program", "TermUI"}},
      {"missing folder", "image 4 4 1 8 50 40\nexit\n", "missing/f.dcm", {}},
      {"a folder that is a file", "exit\n", "plain/f.dcm", {}},
  };
  testsupport::writeFile(out() / "plain", "");
  for (const Ending& e : endings) {
    SCOPED_TRACE(e.what);
    fs::remove(dir / "calls");
    EXPECT_EQ(runWith(e.script, e.output), 0);
    const auto c = calls();
    ASSERT_GE(c.size(), e.lastCalls.size());
    EXPECT_EQ(std::vector<std::string>(c.end() - long(e.lastCalls.size()), c.end()), e.lastCalls);
    if (e.lastCalls.empty()) {
      EXPECT_TRUE(c.empty());  // the library was never even loaded
    }
    EXPECT_EQ(filesIn(out()), std::vector<std::string>{"plain"});
  }
  // A library that is missing, or lacks one of the ten functions, is freed unused.
  for (const fs::path& library : {dir.path() / "libOskelu.so", platform::paths::programDir() / "libFennick.so"}) {
    testsupport::writeFile(dir / "script", "exit\n");
    EXPECT_EQ(run((out() / "f.dcm").string(), library.string()), 0) << library;
    EXPECT_EQ(filesIn(out()), std::vector<std::string>{"plain"});
  }
  EXPECT_TRUE(prompts.asked.empty());
}

// The application of a child process, drawn offscreen.
struct ChildApplication {
  int argc = (::setenv("QT_QPA_PLATFORM", "offscreen", 1), 1);
  char name[6] = "child";
  char* argv[2] = {name, nullptr};
  QApplication app{argc, argv};
};

// The application's exit ends every event loop of the process, later ones too,
// so it runs in a process of its own.
testsupport::ChildRegistration quitRun("quit-run", [](const std::vector<std::string>& args) {
  ChildApplication app;
  QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
  return run(args.at(0), FAKEUI_LIBRARY);
});

TEST_F(FakeRun, TheQuitMessageEndsTheRunAndTheDialog) {
  testsupport::writeFile(dir / "script", "image 2 2 1 8 50 40\n");
  platform::Process child;
  ASSERT_TRUE(child.start(testsupport::selfExecutable(), testsupport::childArgs("quit-run", {(out() / "q.raw").string()})));
  const platform::ProcessExit ended = child.wait();
  EXPECT_EQ(ended.kind, platform::ProcessExit::Kind::Exited);
  EXPECT_EQ(ended.code, 0);
  const auto c = calls();
  ASSERT_GE(c.size(), 2u);
  EXPECT_EQ(std::vector<std::string>(c.end() - 2, c.end()), (std::vector<std::string>{"HideUI", "TermUI"}));
}

TEST_F(FakeRun, ImagesBeyondTheListAreSavedButNotRewritten) {
  std::string script;
  for (std::size_t i = 0; i < kImageListSize + 2; ++i) script += "image 2 2 1 8 50 40\n";
  script += "study description late\nexit\n";
  EXPECT_EQ(runWith(script, "m0001.dcm"), 0);
  EXPECT_EQ(filesIn(out()).size(), kImageListSize + 2);
  for (long n : {1L, 1024L, 1025L, 1026L}) {
    const std::string name = "m" + std::string(n < 1000 ? (n < 10 ? "000" : "0") : "") + std::to_string(n) + ".dcm";
    const auto f = bytes(out() / name);
    const auto e = testing::walk(f, f.size());
    EXPECT_EQ(e.at(0x00081030).value, n <= 1024 ? "late" : "") << name;
  }
}

TEST(Messages, JapaneseCatalogue) {
  platform::qt::Translation japanese;
  ASSERT_TRUE(japanese.install("ombrel", QString::fromStdString((platform::paths::programDir() / "translations").string()),
                               QLocale(QLocale::Japanese, QLocale::Japan)));
  EXPECT_EQ(writeFailedText("/o/f.dcm"), QString::fromUtf8("ファイル(/o/f.dcm)の書き込みに失敗しました。\n"));
  EXPECT_EQ(writeFailedCaption(), QString::fromUtf8("書き込みに失敗しました。"));
  japanese.remove();
  EXPECT_EQ(writeFailedText("/o/f.dcm"), "Failed to write the file(/o/f.dcm).\n");
  EXPECT_EQ(writeFailedCaption(), "Failed to write.");
}

// A run in a process whose files may not grow past 4096 bytes: the 21048-byte
// image fails half-written. The boxes asked go to a file for the test to read.
testsupport::ChildRegistration sizeLimited("size-limited-run", [](const std::vector<std::string>& args) {
  ChildApplication app;
  platform::qt::ScriptedPrompt prompts;
  ::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{4096, 4096};
  if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
  run(args.at(0), FAKEUI_LIBRARY);
  std::ofstream asked(args.at(1));
  for (const auto& a : prompts.asked)
    asked << a.caption.toStdString() << "|" << a.text.toStdString() << "|" << int(a.icon) << "|"
          << (a.owner == nullptr) << "\n";
  return 0;
});

TEST_F(FakeRun, AFailedWriteDeletesTheFileAndTheNextImageTakesItsNumber) {
  // The worker's images are saved on its thread; their boxes are asked on the UI thread.
  struct Case {
    const char* ext;
    const char* delivery;
  };
  for (const auto& [ext, delivery] : {Case{"dcm", ""}, Case{"tif", ""}, Case{"raw", ""}, Case{"dcm", "worker\n"}}) {
    SCOPED_TRACE(std::string(ext) + " " + delivery);
    fs::remove_all(out());
    fs::create_directories(out());
    // The third image takes the second's number; the last fails and leaves nothing.
    testsupport::writeFile(dir / "script", std::string(delivery) +
                           "image 10 10 1 8 50 40\nimage 100 100 2 12 50 40\nimage 10 10 1 8 50 40\n"
                           "image 100 100 2 12 50 40\nexit\n");
    platform::Process child;
    ASSERT_TRUE(child.start(testsupport::selfExecutable(),
                            testsupport::childArgs("size-limited-run", {(out() / "f001.").string() + ext,
                                                                        (dir / "asked").string()})));
    const platform::ProcessExit ended = child.wait();
    EXPECT_EQ(ended.kind, platform::ProcessExit::Kind::Exited);
    EXPECT_EQ(ended.code, 0);
    const std::string second = (out() / "f002.").string() + ext;
    EXPECT_EQ(filesIn(out()), (std::vector<std::string>{std::string("f001.") + ext, std::string("f002.") + ext}));
    EXPECT_EQ(fs::file_size(second), fs::file_size(out() / (std::string("f001.") + ext)));
    const std::string third = (out() / "f003.").string() + ext;
    const std::string tail = "|" + std::to_string(int(platform::qt::Icon::Warning)) + "|1";
    EXPECT_EQ(lines(dir / "asked"),
              (std::vector<std::string>{"Failed to write.|Failed to write the file(" + second + ").", tail,
                                        "Failed to write.|Failed to write the file(" + third + ").", tail}));
  }
}

TEST(Program, MissingFolderOrNoArgumentEndsAtOnceWithZero) {
  TempDir dir;
  const std::string program = (platform::paths::programDir() / "Ombrel").string();
  for (const std::string& args : {"'" + (dir.path() / "missing" / "film.dcm").string() + "'", std::string()}) {
    const auto r = testsupport::runCommand("QT_QPA_PLATFORM=offscreen '" + program + "' " + args + " 2>&1");
    EXPECT_EQ(r.status, 0) << r.output;
  }
  EXPECT_TRUE(filesIn(dir.path()).empty());
}

// The real film-scan UI on the simulated film digitizer: it opens the device,
// shows its dialog under the program's title, and its Exit ends the run.
TEST(RealScanUi, OpensTheDialogAndExitEndsTheRun) {
  TempDir dir;
  TempDir config;  // the scan UI keeps its settings there at Exit
  ::setenv("NDT_USB", "sim:film", 1);
  ::setenv("NDT_CONFIG_DIR", config.path().c_str(), 1);
  platform::qt::ScriptedPrompt prompts;
  QString title;
  bool exited = false;
  // Polled, not one fixed shot: on a loaded machine the dialog can take longer
  // than any guess to come up.
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, qApp, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* exitButton = w->findChild<QPushButton*>("1054");
      if (!w->isVisible() || exitButton == nullptr || exited) continue;
      poll.stop();
      title = w->windowTitle();
      w->grab().save(QString::fromStdString((platform::paths::programDir() / "ombrel_scan_dialog.png").string()));
      exitButton->click();
      exited = true;
      break;
    }
  });
  poll.start(50);
  EXPECT_EQ(run((dir.path() / "film001.dcm").string(), "Oskelu.DLL"), 0);
  ::unsetenv("NDT_USB");
  ::unsetenv("NDT_CONFIG_DIR");
  EXPECT_TRUE(exited);
  EXPECT_EQ(title, "SCAN (7163 Scan Program)");
  EXPECT_TRUE(prompts.asked.empty()) << prompts.asked[0].text.toStdString();
  EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{});
}

}  // namespace
}  // namespace ombrel
