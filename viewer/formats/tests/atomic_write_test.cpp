// Saving over an existing file: the old file stays byte for byte until the new
// one is whole, whether the write fails part-way or the process is killed.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <random>
#include <sys/stat.h>
#include <thread>

#include "format_test_util.h"
#include "platform/process.h"
#include "testsupport/testsupport.h"
#include "viewer/formats/diconde.h"
#include "viewer/formats/format_support.h"
#include "viewer/formats/jpeg.h"
#include "viewer/formats/pgm_bmp.h"
#include "viewer/formats/raw.h"
#include "viewer/formats/tiff.h"

using namespace viewer;
using namespace viewer::formats;
namespace fs = std::filesystem;

namespace {

struct Writer {
  const char* name;
  std::function<int(const CImageItem&, const std::string&)> write;
};

const std::vector<Writer>& writers() {
  static const std::vector<Writer> all = {
      {"tiff", [](const CImageItem& i, const std::string& p) { return WriteTiffFile(i, p); }},
      {"raw", [](const CImageItem& i, const std::string& p) { return WriteRawFile(i, p, 1); }},
      {"pgm", [](const CImageItem& i, const std::string& p) { return WritePgmFile(i, p); }},
      {"bmp", [](const CImageItem& i, const std::string& p) { return WriteBmpFile(i, p); }},
      {"jpeg", [](const CImageItem& i, const std::string& p) { return WriteJpegFile(i, p); }},
      {"diconde", [](const CImageItem& i, const std::string& p) { return WriteDicondeFile(i, p, false); }},
      {"diconde-jpeg", [](const CImageItem& i, const std::string& p) { return WriteDicondeFile(i, p, true); }},
  };
  return all;
}

const Writer& writerNamed(const std::string& name) {
  for (const Writer& w : writers())
    if (name == w.name) return w;
  return writers().front();
}

// Two different images of the size a scanned film has, so a save takes long
// enough to be caught in the middle.
void filmImage(CImageItem& item, int variant) { formats_test::makeImage(item, 2, 1200, 1100, variant ? 4095 : 3000); }

std::vector<std::string> folderEntries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Saves the two images in turn over the target until killed; "ready" is
// created once the first save begins.
testsupport::ChildRegistration saver("save-over-and-over", [](const std::vector<std::string>& args) {
  if (args.size() != 3) return 2;
  const Writer& w = writerNamed(args[0]);
  CImageItem images[2];
  filmImage(images[0], 0);
  filmImage(images[1], 1);
  testsupport::writeFile(args[2], "");
  for (int n = 1;; n ^= 1)
    if (w.write(images[n], args[1]) != 1) return 3;
});

class AtomicWriteTest : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  formats_test::ScriptedPrompt promptScript;
};

}  // namespace

TEST_F(AtomicWriteTest, AWriteThatFailsPartWayLeavesTheOldFileAsItWas) {
  CImageItem image;
  formats_test::makeImage(image, 2, 300, 300, 4095);
  const std::string old = "an earlier save, which must survive";
  for (const Writer& w : writers()) {
    const fs::path whole = dir / "whole";
    ASSERT_EQ(w.write(image, whole.string()), 1) << w.name;
    const rlim_t size = rlim_t(fs::file_size(whole));
    fs::remove(whole);
    // The disk fills before the first byte, in the middle, and one byte short.
    for (const rlim_t limit : {rlim_t(0), size / 2, size - 1}) {
      SCOPED_TRACE(std::string(w.name) + " failing after " + std::to_string(limit) + " of " + std::to_string(size) +
                   " bytes");
      const fs::path target = dir / (std::string("keep001.") + w.name);
      testsupport::writeFile(target, old);
      {
        formats_test::FileSizeLimit fsize(limit);
        EXPECT_EQ(w.write(image, target.string()), 0);
      }
      EXPECT_TRUE(testsupport::readFile(target) == old);
      // Nothing half-written stays beside it.
      EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{target.filename().string()});
      fs::remove(target);
    }
  }
}

TEST_F(AtomicWriteTest, ASuccessfulSaveReplacesTheFileAndKeepsItsPermissions) {
  CImageItem image;
  formats_test::makeImage(image, 1, 40, 30, 255);
  for (const Writer& w : writers()) {
    SCOPED_TRACE(w.name);
    const fs::path fresh = dir / (std::string("fresh.") + w.name);
    ASSERT_EQ(w.write(image, fresh.string()), 1);
    const fs::path target = dir / (std::string("old.") + w.name);
    testsupport::writeFile(target, "old");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // A link to the file stays a link, and the file it names is replaced.
    const fs::path link = dir / (std::string("link.") + w.name);
    fs::create_symlink(target.filename(), link);
    ASSERT_EQ(w.write(image, link.string()), 1);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(testsupport::readFile(target).size(), testsupport::readFile(fresh).size());
    EXPECT_NE(testsupport::readFile(target), "old");
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  }
  EXPECT_EQ(folderEntries(dir.path()).size(), 3 * writers().size());
}

TEST_F(AtomicWriteTest, AKilledSaveLeavesTheOldFileOrTheWholeNewOne) {
  // Files whose bytes do not depend on the moment they are written.
  const std::vector<std::string> deterministic = {"tiff", "raw", "pgm", "bmp", "jpeg"};
  std::mt19937 random(20261211);
  int caughtMidWrite = 0;
  for (int attempt = 0; attempt < 30; ++attempt) {
    const Writer& w = writerNamed(deterministic[std::size_t(attempt) % deterministic.size()]);
    SCOPED_TRACE(std::string(w.name) + " attempt " + std::to_string(attempt));
    const fs::path folder = dir / ("try" + std::to_string(attempt));
    fs::create_directory(folder);
    std::string versions[2];
    for (int v = 0; v < 2; ++v) {
      CImageItem image;
      filmImage(image, v);
      const fs::path reference = folder / ("reference" + std::to_string(v));
      ASSERT_EQ(w.write(image, reference.string()), 1);
      versions[v] = testsupport::readFile(reference);
      fs::remove(reference);
    }
    const fs::path target = folder / "keep001";
    testsupport::writeFile(target, versions[0]);
    const fs::path ready = folder / "ready";
    platform::Process child;
    ASSERT_TRUE(child.start(testsupport::selfExecutable(),
                            testsupport::childArgs("save-over-and-over", {w.name, target.string(), ready.string()})));
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!fs::exists(ready) && std::chrono::steady_clock::now() < limit)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(fs::exists(ready));
    std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 120000)(random)));
    ::kill(child.pid(), SIGKILL);
    const platform::ProcessExit exit = child.wait();
    ASSERT_EQ(exit.kind, platform::ProcessExit::Kind::Signalled) << "the saver ended by itself: " << exit.code;
    const std::string now = testsupport::readFile(target);
    EXPECT_TRUE(now == versions[0] || now == versions[1]) << "a file of " << now.size() << " bytes is neither";
    // A temporary file beside the target shows the kill came during a save.
    if (folderEntries(folder).size() > 2) ++caughtMidWrite;
  }
  // The kills must really have landed in the middle of saves for the test to mean anything.
  EXPECT_GT(caughtMidWrite, 0);
}
