// The CR link over a stand-in CR program: a shell script at Halcyone/Halcyone
// in a temporary program directory, which answers the probe with its exit
// code and, when run, publishes prepared export sets as the CR program does.
#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QWidget>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <sys/inotify.h>
#include <unistd.h>

#include "dicom/dicom.h"
#include "platform/paths.h"
#include "scanui/internal/cr_link.h"
#include "scanui/internal/library.h"
#include "scanui/tests/scanui_fixture.h"

namespace scanui_test {
namespace {

namespace fs = std::filesystem;
using scanui::internal::CrImage;
using scanui::internal::library;
using scanui::internal::readCrImage;

// One exported plate as a test writes it.
struct Plate {
  std::uint16_t rows = 3, columns = 4, allocated = 16, stored = 12;
  std::string spacing = "0.100\\0.100", imagerSpacing, nominalSpacing;
  std::string photometric = "MONOCHROME2";
  std::string name = "Weld^Seam", id = "P-100", description = "root pass";
  std::string syntax = "1.2.840.10008.1.2.1";
  int extraPixelBytes = 0;  // beyond what rows and columns need; negative: short
  long pixelBytes = -1;     // when not negative: this many, whatever the image needs
  unsigned seed = 1;

  std::size_t needed() const { return std::size_t(rows) * columns * (allocated / 8); }
  // Every sample within the bits stored, different per plate.
  std::vector<std::uint8_t> pixels() const {
    std::vector<std::uint8_t> out;
    if (pixelBytes >= 0) return std::vector<std::uint8_t>(std::size_t(pixelBytes), 0x5A);
    const unsigned mask = stored >= 16 ? 0xFFFF : (1u << stored) - 1;
    for (std::size_t i = 0; i < std::size_t(rows) * columns; ++i) {
      const unsigned v = (seed * 7919 + unsigned(i) * 4099 + (stored >= 16 ? 0xF000 : 0)) & mask;
      out.push_back(std::uint8_t(v));
      if (allocated == 16) out.push_back(std::uint8_t(v >> 8));
    }
    out.resize(std::size_t(std::max<long>(0, long(out.size()) + extraPixelBytes)), 0x5A);
    return out;
  }
};

void setText(DicomObject* o, std::uint32_t g, std::uint32_t e, const char* vr, const std::string& v) {
  ASSERT_EQ(SetDicomElement(o, g, e, vr, v.data(), std::uint32_t(v.size())), 1u) << std::hex << g << "," << e;
}
void setU16(DicomObject* o, std::uint32_t g, std::uint32_t e, unsigned v) {
  const std::uint8_t b[2] = {std::uint8_t(v), std::uint8_t(v >> 8)};
  ASSERT_EQ(SetDicomElement(o, g, e, "US", b, 2), 1u);
}

void writePlate(const fs::path& file, const Plate& p) {
  DicomObject* o = nullptr;
  ASSERT_EQ(CreateDicomObject(&o), 1u);
  setText(o, 0x0002, 0x0010, "UI", p.syntax);
  setText(o, 0x0008, 0x0016, "UI", "1.2.840.10008.5.1.4.1.1.1");
  setText(o, 0x0008, 0x0018, "UI", "1.2.3." + std::to_string(p.seed));
  setText(o, 0x0008, 0x103E, "LO", p.description);
  setText(o, 0x0010, 0x0010, "PN", p.name);
  setText(o, 0x0010, 0x0020, "LO", p.id);
  if (!p.imagerSpacing.empty()) setText(o, 0x0018, 0x1164, "DS", p.imagerSpacing);
  if (!p.nominalSpacing.empty()) setText(o, 0x0018, 0x2010, "DS", p.nominalSpacing);
  setText(o, 0x0028, 0x0030, "DS", p.spacing);
  setU16(o, 0x0028, 0x0002, 1);
  setText(o, 0x0028, 0x0004, "CS", p.photometric);
  setU16(o, 0x0028, 0x0010, p.rows);
  setU16(o, 0x0028, 0x0011, p.columns);
  setU16(o, 0x0028, 0x0100, p.allocated);
  setU16(o, 0x0028, 0x0101, p.stored);
  setU16(o, 0x0028, 0x0102, p.stored > 0 ? p.stored - 1u : 0u);
  setU16(o, 0x0028, 0x0103, 0);
  const std::vector<std::uint8_t> pixels = p.pixels();
  ASSERT_EQ(SetDicomElement(o, 0x7FE0, 0x0010, p.allocated == 8 ? "OB" : "OW", pixels.data(),
                            std::uint32_t(pixels.size())),
            1u);
  EXPECT_EQ(WriteDicomFile(o, file.c_str()), 1u) << file;
  DeleteDicomObject(o);
}

// The samples the host must receive: 16-bit samples above 12 bits lose their low bits.
std::vector<std::uint8_t> delivered(const Plate& p) {
  std::vector<std::uint8_t> out = p.pixels();
  out.resize(p.needed());
  if (p.allocated == 16 && p.stored > 12)
    for (std::size_t i = 0; i < out.size(); i += 2) {
      const unsigned v = unsigned(out[i] | out[i + 1] << 8) >> (p.stored - 12);
      out[i] = std::uint8_t(v);
      out[i + 1] = std::uint8_t(v >> 8);
    }
  return out;
}

std::string fieldText(const char* field, std::size_t size) { return std::string(field, ::strnlen(field, size)); }

// A program directory holding the stand-in at Halcyone/Halcyone.
class CrProgramDir {
 public:
  CrProgramDir() { fs::create_directories(exportFolder()); }
  const fs::path& path() const { return dir_.path(); }
  fs::path exportFolder() const { return dir_ / "Halcyone" / "halcExport"; }
  fs::path staging() const { return dir_ / "staging"; }
  // The script's body after "#!/bin/sh".
  void program(const std::string& body, bool executable = true) const {
    const fs::path file = dir_ / "Halcyone" / "Halcyone";
    testsupport::writeFile(file, "#!/bin/sh\n" + body + "\n");
    fs::permissions(file, executable ? fs::perms(0755) : fs::perms(0644));
  }
  // Connected on -connect; run, it publishes the staged sets from its own directory.
  void publishingProgram() const {
    fs::create_directories(staging());
    program("[ \"$1\" = -connect ] && exit 1\n"
            "for f in ../staging/*; do [ -e \"$f\" ] && mv \"$f\" halcExport/; done\nexit 0");
  }
  // A set in the staging folder: the file, its companion, and its marker when ready.
  void stage(const std::string& name, const Plate& p, bool ready = true) const {
    fs::create_directories(staging());
    writePlate(staging() / name, p);
    testsupport::writeFile(staging() / (name + ".info"), "[ImportInfo]\nSource=Halcyone\n");
    if (ready) testsupport::writeFile(staging() / (name + ".ready"), "");
  }
  std::set<std::string> exported() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(exportFolder())) names.insert(e.path().filename().string());
    return names;
  }

 private:
  testsupport::TempDir dir_;
};

// Pumps the UI thread until `done` holds; false after `ms` milliseconds.
template <typename F>
bool pumpUntil(F done, int ms = 20000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

// --- the probe -------------------------------------------------------------

struct ProbeCase {
  const char* what;
  const char* body;  // null: no program at all
  bool executable;
  bool selects;
};

class Probe : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(Probe, OnlyExitCodeOneSelectsTheLink) {
  const ProbeCase& c = GetParam();
  CrProgramDir dir;
  if (c.body != nullptr) dir.program(c.body, c.executable);
  scanui::internal::CrLink link(scanui::internal::library());
  link.setProgramDir(dir.path());
  EXPECT_EQ(link.probe(), c.selects) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    ExitCodes, Probe,
    ::testing::Values(ProbeCase{"exit 1", "[ \"$1\" = -connect ] && exit 1; exit 0", true, true},
                      ProbeCase{"exit 0", "exit 0", true, false},
                      ProbeCase{"exit 255", "exit 255", true, false},
                      ProbeCase{"exit 2", "exit 2", true, false},
                      ProbeCase{"killed", "kill -9 $$", true, false},
                      ProbeCase{"not executable", "exit 1", false, false},
                      ProbeCase{"missing", nullptr, true, false}),
    [](const auto& info) {
      std::string n = info.param.what;
      std::replace_if(n.begin(), n.end(), [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
      return n;
    });

TEST(ProbeDirectory, TheProgramRunsInItsOwnFolderAndOneInTheCurrentDirectoryIsNeverRun) {
  CrProgramDir dir;
  // Connected only when started in Halcyone/, where the marker lies.
  dir.program("[ -f ./here ] && exit 1; exit 0");
  testsupport::writeFile(dir.path() / "Halcyone" / "here", "");
  scanui::internal::CrLink link(scanui::internal::library());
  link.setProgramDir(dir.path());
  EXPECT_TRUE(link.probe());

  CrProgramDir planted;
  planted.program("exit 1");
  CrProgramDir empty;
  const fs::path before = fs::current_path();
  fs::current_path(planted.path());
  link.setProgramDir(empty.path());
  const bool found = link.probe();
  fs::current_path(before);
  EXPECT_FALSE(found);
}

// The real CR program beside this executable, with a simulated bus of its own.
TEST(RealCrProgram, AnswersConnectedOnlyWhenItsBusHasACrReader) {
  ConfigDir config;
  testsupport::TempDir runtime;
  ::setenv("NDT_RUNTIME_DIR", runtime.path().c_str(), 1);
  const char* before = std::getenv("NDT_USB");
  const std::string saved = before != nullptr ? before : "";
  scanui::internal::CrLink link(scanui::internal::library());
  ASSERT_TRUE(fs::exists(link.programDir() / "Halcyone" / "Halcyone"));
  ::setenv("NDT_USB", "sim:cr", 1);
  EXPECT_TRUE(link.probe());
  ::setenv("NDT_USB", "sim:film", 1);
  EXPECT_FALSE(link.probe());
  if (before != nullptr)
    ::setenv("NDT_USB", saved.c_str(), 1);
  else
    ::unsetenv("NDT_USB");
  ::unsetenv("NDT_RUNTIME_DIR");
}

// --- reading one exported file ----------------------------------------------

struct ReadCase {
  const char* what;
  void (*change)(Plate&);
  bool accepted;
  int bits, bytesPerPixel, pitch, odRange;
};

class ReadFile : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadFile, AcceptsWhatTheHostCanTakeAndNothingElse) {
  const ReadCase& c = GetParam();
  testsupport::TempDir dir;
  Plate p;
  c.change(p);
  writePlate(dir / "x.dcm", p);
  CrImage image;
  std::string why;
  const bool ok = readCrImage(dir / "x.dcm", image, why);
  ASSERT_EQ(ok, c.accepted) << c.what << ": " << why;
  if (!ok) {
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(image.record.pixels, nullptr);
    return;
  }
  const scanui::ScanRecord& r = image.record;
  EXPECT_EQ(r.width, p.columns);
  EXPECT_EQ(r.height, p.rows);
  EXPECT_EQ(r.bits, c.bits);
  EXPECT_EQ(r.bytesPerPixel, c.bytesPerPixel);
  EXPECT_EQ(r.pitch, c.pitch);
  EXPECT_EQ(r.odRange, c.odRange);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.frameWidth, c.pitch * p.columns / 1000);
  EXPECT_EQ(r.frameHeight, c.pitch * p.rows / 1000);
  const std::vector<std::uint8_t> want = delivered(p);
  const auto* got = static_cast<const std::uint8_t*>(r.pixels);
  EXPECT_TRUE(std::equal(want.begin(), want.end(), got)) << c.what;
  EXPECT_EQ(image.componentName, p.name);
  EXPECT_EQ(image.componentId, p.id);
  EXPECT_EQ(image.seriesDescription, p.description);
  std::free(r.pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadFile,
    ::testing::Values(
        ReadCase{"12 of 16 bits", [](Plate&) {}, true, 12, 2, 100, 0},
        ReadCase{"16 of 16 bits arrive as 12", [](Plate& p) { p.stored = 16; }, true, 12, 2, 100, 0},
        ReadCase{"14 of 16 bits arrive as 12", [](Plate& p) { p.stored = 14; }, true, 12, 2, 100, 0},
        ReadCase{"8 of 8 bits", [](Plate& p) { p.allocated = 8; p.stored = 8; p.columns = 5; }, true, 8, 1, 100, 0},
        ReadCase{"MONOCHROME1", [](Plate& p) { p.photometric = "MONOCHROME1"; }, true, 12, 2, 100, 255},
        ReadCase{"rounded pitch", [](Plate& p) { p.spacing = "0.0496\\0.0496"; }, true, 12, 2, 50, 0},
        ReadCase{"imager spacing when none", [](Plate& p) { p.spacing = ""; p.imagerSpacing = "0.1"; }, true, 12, 2, 100, 0},
        ReadCase{"nominal spacing last",
                 [](Plate& p) { p.spacing = ""; p.imagerSpacing = "0"; p.nominalSpacing = "0.05"; }, true, 12, 2, 50, 0},
        ReadCase{"pitch above 65535 takes the next",
                 [](Plate& p) { p.spacing = "70\\70"; p.imagerSpacing = "0.2"; }, true, 12, 2, 200, 0},
        ReadCase{"longer pixel data", [](Plate& p) { p.extraPixelBytes = 4; }, true, 12, 2, 100, 0},
        ReadCase{"no pitch at all", [](Plate& p) { p.spacing = "abc"; }, false, 0, 0, 0, 0},
        ReadCase{"negative pitch", [](Plate& p) { p.spacing = "-0.1"; }, false, 0, 0, 0, 0},
        ReadCase{"short pixel data", [](Plate& p) { p.extraPixelBytes = -2; }, false, 0, 0, 0, 0},
        ReadCase{"12 bits allocated", [](Plate& p) { p.allocated = 12; }, false, 0, 0, 0, 0},
        ReadCase{"bits stored above allocated", [](Plate& p) { p.allocated = 8; p.stored = 9; }, false, 0, 0, 0, 0},
        ReadCase{"no bits stored", [](Plate& p) { p.stored = 0; }, false, 0, 0, 0, 0},
        ReadCase{"no rows", [](Plate& p) { p.rows = 0; }, false, 0, 0, 0, 0},
        ReadCase{"an image too large to take", [](Plate& p) { p.rows = 65535; p.columns = 65535; p.pixelBytes = 64; }, false, 0, 0, 0, 0},
        ReadCase{"compressed", [](Plate& p) { p.syntax = "1.2.840.10008.1.2.5"; }, false, 0, 0, 0, 0}),
    [](const auto& info) {
      std::string n = info.param.what;
      std::replace_if(n.begin(), n.end(), [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
      return n;
    });

TEST(ReadFileBytes, ACorruptOrEmptyFileIsNotTaken) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "empty.dcm", "");
  testsupport::writeFile(dir / "junk.dcm", std::string(300, '\x7F') + "DICM" + std::string(50, '\xFF'));
  for (const char* name : {"empty.dcm", "junk.dcm", "missing.dcm"}) {
    CrImage image;
    std::string why;
    EXPECT_FALSE(readCrImage(dir / name, image, why)) << name;
    EXPECT_EQ(image.record.pixels, nullptr);
  }
}

// --- the import ----------------------------------------------------------------

// A host that copies every image and holds it until the test lets go, noting
// which files of the export folder exist at each hand-over.
struct CrHost {
  struct Delivery {
    scanui::ScanData data{};
    std::vector<std::uint8_t> pixels;
    bool onUiThread = false;
    std::set<std::string> filesThen;
  };
  std::vector<Delivery> deliveries;
  scanui::ScanData held{};
  bool hold = true;
  fs::path folder;
  int closes = 0;
};
CrHost* crHost = nullptr;

int crTransferReady() {
  CrHost::Delivery d;
  d.onUiThread = QThread::currentThread() == qApp->thread();
  GetScanData(&d.data);
  const auto* p = static_cast<const std::uint8_t*>(d.data.pixels);
  d.pixels.assign(p, p + std::size_t(d.data.width) * d.data.height * d.data.bytesPerPixel);
  for (const auto& e : fs::directory_iterator(crHost->folder)) d.filesThen.insert(e.path().filename().string());
  crHost->held = d.data;
  crHost->deliveries.push_back(std::move(d));
  if (!crHost->hold) ReleaseScanData(&crHost->held);
  return 0;
}

int crCloseRequest() {
  ++crHost->closes;
  HideUI(0);
  TermUI(0);
  return 0;
}

// The names removed from a folder, in order.
class Removals {
 public:
  explicit Removals(const fs::path& folder) {
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ >= 0) ::inotify_add_watch(fd_, folder.c_str(), IN_DELETE);
  }
  ~Removals() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool watching() const { return fd_ >= 0; }
  std::vector<std::string> take() {
    alignas(inotify_event) char buffer[65536];
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      for (ssize_t at = 0; at < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
        if (e->len > 0) names_.emplace_back(e->name);
        at += ssize_t(sizeof(inotify_event) + e->len);
      }
    }
    return names_;
  }

 private:
  int fd_ = -1;
  std::vector<std::string> names_;
};

class CrImport : public ScanUiTest {
 protected:
  void SetUp() override {
    ScanUiTest::SetUp();
    host.folder = dir.exportFolder();
    crHost = &host;
    SetDSProcAddress(crTransferReady, crCloseRequest);
    library().crLink.setProgramDir(dir.path());
  }
  void TearDown() override {
    if (host.held.pixels != nullptr) ReleaseScanData(&host.held);
    ScanUiTest::TearDown();
    crHost = nullptr;
  }
  // InitUI chooses the link; ShowUI starts the import behind a hidden dialog.
  void start() {
    ASSERT_EQ(InitUI(0), 1);
    ASSERT_EQ(library().mode, scanui::SOURCE_CR_LINK);
    QWidget* w = static_cast<QWidget*>(ShowUI(&window, nullptr));
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(w->isVisible());
  }
  void release() {
    ASSERT_NE(host.held.pixels, nullptr);
    ReleaseScanData(&host.held);
  }

  CrProgramDir dir;
  CrHost host;
  QWidget window;
};

TEST_F(CrImport, DeliversExactlyTheCompleteSetsOnTheUiThreadAndRemovesEachOnlyAfterItsRelease) {
  Plate twelve;
  twelve.seed = 2;
  twelve.name = "Pipe^North";
  twelve.id = "ID-12";
  twelve.description = "twelve bits";
  Plate sixteen;
  sixteen.seed = 3;
  sixteen.stored = 16;
  sixteen.rows = 2;
  sixteen.columns = 5;
  sixteen.spacing = "0.05\\0.05";
  sixteen.photometric = "MONOCHROME1";
  sixteen.name = "Pipe^South";
  sixteen.id = "ID-16";
  sixteen.description = "sixteen bits";
  dir.publishingProgram();
  dir.stage("twelve.dcm", twelve);
  dir.stage("sixteen.dcm", sixteen);
  dir.stage("unfinished.dcm", twelve, false);
  testsupport::writeFile(dir.staging() / "corrupt.dcm", std::string(200, '\x01'));
  testsupport::writeFile(dir.staging() / "corrupt.dcm.ready", "");
  fs::create_directories(dir.staging() / "folder.dcm");
  Removals removals(dir.exportFolder());
  ASSERT_TRUE(removals.watching());

  scanui::StudyData study{};
  std::strcpy(study.studyId, "S-7");
  std::strcpy(study.componentName, "before");
  EnableDICOMField(&study, 1, 0);
  start();

  ASSERT_TRUE(pumpUntil([&] { return host.deliveries.size() == 1; }));
  const bool twelveFirst = host.deliveries[0].data.width == twelve.columns;
  const Plate& first = twelveFirst ? twelve : sixteen;
  const Plate& second = twelveFirst ? sixteen : twelve;
  const std::string firstName = twelveFirst ? "twelve.dcm" : "sixteen.dcm";
  const std::string secondName = twelveFirst ? "sixteen.dcm" : "twelve.dcm";
  // Held: the set stays and nothing more is offered.
  EXPECT_FALSE(pumpUntil([&] { return host.deliveries.size() > 1; }, 300));
  for (const char* suffix : {"", ".info", ".ready"}) {
    EXPECT_TRUE(host.deliveries[0].filesThen.count(firstName + suffix)) << suffix;
    EXPECT_TRUE(fs::exists(dir.exportFolder() / (firstName + suffix))) << suffix;
  }
  release();
  ASSERT_TRUE(pumpUntil([&] { return host.deliveries.size() == 2; }));
  for (const char* suffix : {"", ".info", ".ready"}) {
    EXPECT_FALSE(host.deliveries[1].filesThen.count(firstName + suffix)) << suffix;
    EXPECT_TRUE(host.deliveries[1].filesThen.count(secondName + suffix)) << suffix;
  }
  EXPECT_EQ(host.closes, 0);
  release();
  ASSERT_TRUE(pumpUntil([&] { return host.closes == 1; }));

  EXPECT_EQ(host.deliveries.size(), 2u);
  EXPECT_EQ(removals.take(), (std::vector<std::string>{firstName, firstName + ".info", firstName + ".ready",
                                                       secondName, secondName + ".info", secondName + ".ready"}));
  EXPECT_EQ(dir.exported(), (std::set<std::string>{"unfinished.dcm", "unfinished.dcm.info", "corrupt.dcm",
                                                   "corrupt.dcm.ready", "folder.dcm"}));
  for (std::size_t i = 0; i < 2; ++i) {
    const Plate& p = i == 0 ? first : second;
    const CrHost::Delivery& d = host.deliveries[i];
    EXPECT_TRUE(d.onUiThread) << i;
    EXPECT_EQ(d.data.width, p.columns);
    EXPECT_EQ(d.data.height, p.rows);
    EXPECT_EQ(d.data.bits, 12);
    EXPECT_EQ(d.data.bytesPerPixel, 2);
    EXPECT_EQ(d.data.pitch, &p == &twelve ? 100 : 50);
    EXPECT_EQ(d.data.odRange, &p == &twelve ? 0 : 255);
    EXPECT_EQ(d.pixels, delivered(p)) << i;
  }
  // Exit wrote the last file's texts and kept the host's other fields.
  EXPECT_EQ(fieldText(study.componentName, sizeof study.componentName), second.name);
  EXPECT_EQ(fieldText(study.componentId, sizeof study.componentId), second.id);
  EXPECT_EQ(fieldText(study.studyDescription, sizeof study.studyDescription), second.description);
  EXPECT_EQ(fieldText(study.studyId, sizeof study.studyId), "S-7");
  EXPECT_TRUE(brightel.log.empty()) << brightel.log.front();
  EXPECT_FALSE(library().crLink.running());
}

TEST_F(CrImport, AHostThatCopiesInsideItsCallbackGetsEveryOneOfMoreSetsThanOneListingHolds) {
  // Published straight into the export folder; the program only answers.
  dir.program("[ \"$1\" = -connect ] && exit 1; exit 0");
  constexpr int kSets = 1003;
  Plate p;
  p.rows = 1;
  p.columns = 2;
  writePlate(dir.exportFolder() / "plate.dcm", p);
  for (int i = 1; i < kSets; ++i)
    fs::copy_file(dir.exportFolder() / "plate.dcm", dir.exportFolder() / ("plate" + std::to_string(i) + ".dcm"));
  for (int i = 0; i < kSets; ++i)
    testsupport::writeFile(dir.exportFolder() / ("plate" + (i ? std::to_string(i) : "") + ".dcm.ready"), "");
  host.hold = false;
  start();
  ASSERT_TRUE(pumpUntil([&] { return host.closes == 1; }, 120000));
  EXPECT_EQ(host.deliveries.size(), std::size_t(kSets));
  EXPECT_TRUE(dir.exported().empty());
  EXPECT_TRUE(std::all_of(host.deliveries.begin(), host.deliveries.end(),
                          [](const auto& d) { return d.onUiThread; }));
}

TEST_F(CrImport, ImportsFromTheExportFolderTheCrProgramsSiteSettingsName) {
  const fs::path absolute = dir.path() / "site exports";
  struct Case {
    const char* what;
    std::string exportPath;
    fs::path folder;
    bool imports;
  } cases[] = {
      {"relative", ".\\plates\\", dir.path() / "Halcyone" / "plates", true},
      {"absolute", absolute.string(), absolute, true},
      {"inside the data folder", ".\\halcData\\out", dir.path() / "Halcyone" / "halcData" / "out", false},
      {"longer than its setting", std::string(300, 'x'), dir.path() / "Halcyone" / std::string(300, 'x'), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::writeFile(dir.path() / "Halcyone" / "HalcyoneSite.ini",
                           "[Settings]\r\nExportPath=" + c.exportPath + "\r\n");
    EXPECT_EQ(library().crLink.exportFolder(), c.folder);
    if (c.folder.filename().native().size() > 255) continue;  // no file system makes such a folder
    fs::create_directories(c.folder);
    // The program publishes where its settings say, as the CR program does.
    dir.program("[ \"$1\" = -connect ] && exit 1\nfor f in ../staging/*; do mv \"$f\" '" + c.folder.string() +
                "'/; done\nexit 0");
    Plate p;
    dir.stage("site.dcm", p);
    host.folder = c.folder;
    host.hold = false;
    host.deliveries.clear();
    host.closes = 0;
    start();
    ASSERT_TRUE(pumpUntil([&] { return host.closes == 1; }));
    EXPECT_EQ(host.deliveries.size(), c.imports ? 1u : 0u);
    EXPECT_EQ(fs::exists(c.folder / "site.dcm.ready"), !c.imports);
    // Nothing is ever taken from the default folder instead.
    EXPECT_TRUE(dir.exported().empty());
  }
}

TEST_F(CrImport, AnEmptyExportFolderEndsTheRunByExitWithNoImage) {
  dir.program("[ \"$1\" = -connect ] && exit 1; exit 3");
  start();
  ASSERT_TRUE(pumpUntil([&] { return host.closes == 1; }));
  EXPECT_TRUE(host.deliveries.empty());
}

TEST_F(CrImport, AProgramThatCannotStartImportsNothingAndTheRunEnds) {
  dir.program("[ \"$1\" = -connect ] && exit 1; exit 0");
  ASSERT_EQ(InitUI(0), 1);
  fs::permissions(dir.path() / "Halcyone" / "Halcyone", fs::perms(0644));
  Plate p;
  writePlate(dir.exportFolder() / "left.dcm", p);
  testsupport::writeFile(dir.exportFolder() / "left.dcm.ready", "");
  host.hold = false;
  ASSERT_NE(ShowUI(&window, nullptr), nullptr);
  ASSERT_TRUE(pumpUntil([&] { return host.closes == 1; }));
  EXPECT_TRUE(host.deliveries.empty());
  EXPECT_EQ(dir.exported(), (std::set<std::string>{"left.dcm", "left.dcm.ready"}));
}

TEST_F(CrImport, WithoutATransferReadyCallbackEverySetIsLeftAndTheRunStillEnds) {
  dir.publishingProgram();
  Plate p;
  dir.stage("kept.dcm", p);
  SetDSProcAddress(nullptr, crCloseRequest);
  start();
  ASSERT_TRUE(pumpUntil([&] { return host.closes == 1; }));
  EXPECT_EQ(library().current, nullptr);
  EXPECT_EQ(dir.exported(), (std::set<std::string>{"kept.dcm", "kept.dcm.info", "kept.dcm.ready"}));
}

TEST_F(CrImport, TermUIWhileTheProgramRunsEndsTheLinkAtOnceAndImportsNothing) {
  // Keeps running until the test ends it; its pid in Halcyone/pid.
  dir.program("[ \"$1\" = -connect ] && exit 1\necho $$ > pid\nexec sleep 60");
  Plate p;
  writePlate(dir.exportFolder() / "waiting.dcm", p);
  testsupport::writeFile(dir.exportFolder() / "waiting.dcm.ready", "");
  start();
  const fs::path pidFile = dir.path() / "Halcyone" / "pid";
  ASSERT_TRUE(pumpUntil([&] { return fs::exists(pidFile) && fs::file_size(pidFile) > 0; }));
  QElapsedTimer t;
  t.start();
  HideUI(0);
  TermUI(0);
  EXPECT_LT(t.elapsed(), 5000);
  EXPECT_FALSE(library().crLink.running());
  QApplication::processEvents();
  EXPECT_TRUE(host.deliveries.empty());
  EXPECT_EQ(host.closes, 0);
  EXPECT_TRUE(fs::exists(dir.exportFolder() / "waiting.dcm"));
  const pid_t pid = pid_t(std::stol(testsupport::readFile(pidFile)));
  if (pid > 0) ::kill(pid, SIGKILL);
}

TEST_F(CrImport, ReleaseFreesOnlyTheLinksBufferAndOnlyOnce) {
  dir.publishingProgram();
  Plate p;
  dir.stage("one.dcm", p);
  start();
  ASSERT_TRUE(pumpUntil([&] { return host.deliveries.size() == 1; }));
  // A pointer of the host's own and a copy released twice change nothing.
  std::uint8_t own[4] = {};
  scanui::ScanData foreign = host.held;
  foreign.pixels = own;
  ReleaseScanData(&foreign);
  EXPECT_EQ(foreign.pixels, own);
  EXPECT_FALSE(pumpUntil([&] { return host.closes == 1; }, 200));
  EXPECT_TRUE(fs::exists(dir.exportFolder() / "one.dcm"));
  scanui::ScanData copy = host.held;
  release();
  EXPECT_EQ(host.held.pixels, nullptr);
  ReleaseScanData(&copy);  // the same buffer again: already gone, nothing freed
  ASSERT_TRUE(pumpUntil([&] { return host.closes == 1; }));
  EXPECT_TRUE(dir.exported().empty());
}

}  // namespace
}  // namespace scanui_test
