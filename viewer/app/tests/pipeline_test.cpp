#include "viewer/app/pipeline.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "app_test_util.h"
#include "modal_script.h"
#include "platform/qt/control.h"
#include "platform/qt/prompt.h"
#include "testsupport/testsupport.h"
#include "viewer/app/control_ids.h"
#include "viewer/app/dialogs.h"
#include "viewer/app/file_types.h"
#include "viewer/app/format_prompt.h"
#include "viewer/app/settings.h"
#include "viewer/formats/format_support.h"

using namespace viewer::app;
using platform::qt::Answer;
using platform::qt::control;
namespace fs = std::filesystem;

namespace {

class PipelineTest : public ::testing::Test {
 protected:
  void TearDown() override { setAvailableMemoryProbe(nullptr); }
  bool open(const std::string& name, bool dropped = false) {
    return openIntoDocument(doc, OpenRequest{(dir / name).string(), dropped}, settings, nullptr);
  }
  std::vector<std::string> shownNames() const {
    std::vector<std::string> out;
    for (int i = 0; i < doc.images.count(); ++i) out.push_back(doc.images.get(i)->shownName);
    return out;
  }
  std::vector<QString> questions() const {
    std::vector<QString> out;
    for (const auto& a : script.asked) out.push_back(a.text);
    return out;
  }
  // Keeps the lines of the "Sorry, but..." dialog and closes it.
  void expectFailureDialog() {
    modal.handlers.push_back([this](QDialog* d) {
      if (auto* list = platform::qt::control<QListWidget>(d, ids::kFailedList))
        for (int i = 0; i < list->count(); ++i) failureLines.push_back(list->item(i)->text());
      d->reject();
    });
  }
  testsupport::TempDir dir;
  Settings settings;
  CTivolaDoc doc;
  platform::qt::ScriptedPrompt script;
  app_test::ModalScript modal;
  std::vector<QString> failureLines;
};

}  // namespace

TEST_F(PipelineTest, OpenSeriesAddsNumbersUpToTheFirstGap) {
  for (const char* n : {"scan005.tif", "scan006.tif", "scan007.tif", "scan009.tif"}) app_test::writeFlatTiff(dir / n);
  settings.openSeries = 1;
  ASSERT_TRUE(open("scan005.tif"));
  EXPECT_EQ(shownNames(), (std::vector<std::string>{"005", "006", "007"}));
  EXPECT_EQ(doc.folderTitle, dir.path().filename().string());
  EXPECT_TRUE(script.asked.empty());

  settings.openSeries = 0;
  CTivolaDoc single;
  ASSERT_TRUE(openIntoDocument(single, OpenRequest{(dir / "scan006.tif").string(), false}, settings, nullptr));
  EXPECT_EQ(single.images.count(), 1);
  EXPECT_EQ(single.images.get(0)->shownName, "scan006.tif");
}

TEST_F(PipelineTest, ASeriesStopsAfter999Numbers) {
  for (int n = 0; n <= 1000; ++n) testsupport::writeFile(dir / ("s" + paddedNumber(n, 3) + ".raw"), "");
  const FileList list = numberedSeries(dir.path().string(), "s000.raw");
  ASSERT_EQ(list.names.size(), 999u);
  EXPECT_EQ(list.names.front(), "s000.raw");
  EXPECT_EQ(list.names.back(), "s998.raw");
}

TEST_F(PipelineTest, ADroppedNumberedFileAnsweredNoOpensOnlyIt) {
  for (const char* n : {"img01.tif", "img02.tif", "img03.tif"}) app_test::writeFlatTiff(dir / n);
  script.answers = {Answer::No};
  ASSERT_TRUE(open("img01.tif", true));
  EXPECT_EQ(doc.images.count(), 1);
  ASSERT_EQ(script.asked.size(), 1u);
  EXPECT_TRUE(script.asked[0].text.startsWith("Image files with continuous numbers are found."));

  CTivolaDoc all;
  script.answers = {Answer::Yes};
  ASSERT_TRUE(openIntoDocument(all, OpenRequest{(dir / "img02.tif").string(), true}, settings, nullptr));
  EXPECT_EQ(all.images.count(), 2);
}

TEST_F(PipelineTest, PercentSignsInANameAreNeverAFormat) {
  for (const char* n : {"dose%s%n_1.tif", "dose%s%n_2.tif"}) app_test::writeFlatTiff(dir / n);
  settings.openSeries = 1;
  ASSERT_TRUE(open("dose%s%n_1.tif"));
  EXPECT_EQ(doc.images.count(), 2);
  EXPECT_EQ(doc.images.get(1)->fileName, "dose%s%n_2.tif");
}

TEST_F(PipelineTest, FailedFilesAreListedWithTheirReasons) {
  app_test::writeFlatTiff(dir / "good.tif");
  app_test::writeTiff(dir / "cut.tif", 64, 64, 2, [](int x, int y) { return (x * y) & 0xFFF; });
  fs::resize_file(dir / "cut.tif", 1000);
  testsupport::writeFile(dir / "deep.pgm", "P5\n2 2\n65535\n" + std::string(8, '\x01'));
  const std::vector<std::string> selection = {(dir / "cut.tif").string(), (dir / "deep.pgm").string(),
                                              (dir / "good.tif").string()};
  const PublishedSelection published(selection);
  script.answers = {Answer::Yes};
  expectFailureDialog();
  ASSERT_TRUE(open("cut.tif"));
  EXPECT_EQ(doc.images.count(), 1);
  EXPECT_EQ(questions(), (std::vector<QString>{"An image cannot be opened. Continue?"}));
  ASSERT_EQ(failureLines.size(), 2u);
  EXPECT_EQ(failureLines[0], "cut.tif          File access failure");
  EXPECT_EQ(failureLines[1], "deep.pgm          Not supported");
  EXPECT_EQ(modal.titles, (std::vector<QString>{"Sorry, but..."}));
}

TEST_F(PipelineTest, NoAtTheFirstFailureStopsAndListsIt) {
  testsupport::writeFile(dir / "bad.tif", "II*\0garbage");
  app_test::writeFlatTiff(dir / "good.tif");
  const std::vector<std::string> selection = {(dir / "bad.tif").string(), (dir / "good.tif").string()};
  const PublishedSelection published(selection);
  script.answers = {Answer::No};
  expectFailureDialog();
  EXPECT_FALSE(open("bad.tif"));
  EXPECT_EQ(doc.images.count(), 0);
  EXPECT_EQ(failureLines.size(), 1u);
  EXPECT_EQ(questions(),
            (std::vector<QString>{"An image cannot be opened. Continue?", "There is no image to display"}));
}

// RAW parameters from the test instead of the dialog.
class RawAnswer : public viewer::formats::Prompt {
 public:
  explicit RawAnswer(viewer::formats::RawDialogValues v) : values_(v) { viewer::formats::setPrompt(this); }
  ~RawAnswer() override { viewer::formats::setPrompt(nullptr); }
  bool rawParameters(const std::string&, std::uint64_t, viewer::formats::RawDialogValues& v) override {
    v = values_;
    return true;
  }
  void message(const std::string&, const std::string&) override {}
  bool jpegQuality(int&) override { return false; }

 private:
  viewer::formats::RawDialogValues values_;
};

TEST_F(PipelineTest, OutOfMemoryStopsTheOpen) {
  // 25000 x 25000 16-bit samples are more than a reader may ever allocate;
  // the file is sparse, so it costs no disk.
  viewer::formats::RawDialogValues huge;
  huge.width = 25000;
  huge.height = 25000;
  huge.depthIndex = 2;
  const RawAnswer answer(huge);
  testsupport::writeFile(dir / "huge.raw", "");
  fs::resize_file(dir / "huge.raw", std::uint64_t(25000) * 25000 * 2);
  setAvailableMemoryProbe([] { return std::uint64_t(1) << 40; });
  app_test::writeFlatTiff(dir / "good.tif");
  const std::vector<std::string> selection = {(dir / "huge.raw").string(), (dir / "good.tif").string()};
  const PublishedSelection published(selection);
  EXPECT_FALSE(open("huge.raw"));
  EXPECT_EQ(doc.images.count(), 0);
  EXPECT_EQ(questions(), (std::vector<QString>{"Out of Memory"}));
  EXPECT_TRUE(modal.titles.empty());
}

TEST_F(PipelineTest, ASetLargerThanMemoryAsksFirst) {
  app_test::writeFlatTiff(dir / "a.tif");
  const std::uint64_t size = fs::file_size(dir / "a.tif");
  setAvailableMemoryProbe([size] { return size; });  // 0.8 of it is less than the file
  script.answers = {Answer::No};
  EXPECT_FALSE(open("a.tif"));
  EXPECT_EQ(doc.images.count(), 0);
  EXPECT_EQ(questions(), (std::vector<QString>{"We are trying to oen a large image set. We may run out of memory. "
                                               "Continue anyway?"}));
  script.asked.clear();
  setAvailableMemoryProbe([size] { return size * 2; });
  EXPECT_TRUE(open("a.tif"));
  EXPECT_TRUE(script.asked.empty());
  EXPECT_GT(availableMemory(), 0u);
}

TEST_F(PipelineTest, NothingToOpenSaysSo) {
  EXPECT_FALSE(open("none.tif"));
  app_test::writeFlatTiff(dir / "a.tif");
  ASSERT_TRUE(open("a.tif"));
  EXPECT_FALSE(open("none.tif"));
  EXPECT_EQ(questions(), (std::vector<QString>{"There is no image to display", "There are no more images to add"}));
}

TEST_F(PipelineTest, SavingDispatchesByExtension) {
  app_test::writeTiff(dir / "src.tif", 6, 4, 2, [](int x, int y) { return x * 100 + y; });
  ASSERT_TRUE(open("src.tif"));
  viewer::CImageItem& item = *doc.images.get(0);
  const struct {
    const char* name;
    std::size_t size;  // 0: not a bare sample file
    const char* magic;
  } cases[] = {{"out.tiff", 6 * 4 * 2, ""}, {"out.jpeg", 6 * 4 * 2, ""}, {"out.tif", 0, "II*"},
               {"out.pgm", 0, "P5"},         {"out.bmp", 0, "BM"}};
  for (const auto& c : cases) {
    ASSERT_TRUE(saveItem(item, (dir / c.name).string(), false, 0, 0, 0)) << c.name;
    const std::string bytes = testsupport::readFile(dir / c.name);
    if (c.size != 0) {
      ASSERT_EQ(bytes.size(), c.size) << c.name;
      EXPECT_EQ(std::uint8_t(bytes[2]), 100u) << c.name;  // sample (1, 0), little-endian
    } else {
      EXPECT_EQ(bytes.rfind(c.magic, 0), 0u) << c.name;
    }
  }
  EXPECT_EQ(item.sourcePath, fs::absolute(dir / "src.tif").lexically_normal().string());
  ASSERT_TRUE(saveItem(item, (dir / "ser07.raw").string(), true, 2, 7, 1));
  EXPECT_EQ(item.fileName, "ser07.raw");
  EXPECT_EQ(item.shownName, "07");
  EXPECT_EQ(testsupport::readFile(dir / "ser07.raw")[3], char(100));  // Macintosh order
}

TEST(StudyDataCheck, DicondeLimits) {
  using viewer::CStudyInfo;
  auto valid = [] {
    auto item = std::make_unique<viewer::CImageItem>();
    CStudyInfo& s = *item->study;
    CStudyInfo::set(s.componentName, "PIPE-7");
    CStudyInfo::set(s.componentIdNumber, "W-0042");
    CStudyInfo::set(s.manufacturingYear, "1999");
    CStudyInfo::set(s.manufacturingMonth, "12");
    CStudyInfo::set(s.manufacturingDay, "31");
    CStudyInfo::set(s.studyYear, "2026");
    CStudyInfo::set(s.studyMonth, "1");
    CStudyInfo::set(s.studyDay, "1");
    return item;
  };
  EXPECT_TRUE(studyDataFitsDiconde(*valid()));
  const struct {
    const char* label;
    std::function<void(CStudyInfo&)> change;
    bool fits;
  } cases[] = {
      {"empty name", [](CStudyInfo& s) { CStudyInfo::set(s.componentName, ""); }, false},
      {"32-byte name", [](CStudyInfo& s) { CStudyInfo::set(s.componentName, std::string(32, 'N')); }, true},
      {"33-byte name", [](CStudyInfo& s) { CStudyInfo::set(s.componentName, std::string(33, 'N')); }, false},
      // Two kanji become 4 bytes plus 6 escape bytes: the encoded length counts.
      {"kanji name", [](CStudyInfo& s) { CStudyInfo::set(s.componentName, std::string(26, 'N') + "\x8a\xbf\x8e\x9a"); },
       false},
      {"empty id", [](CStudyInfo& s) { CStudyInfo::set(s.componentIdNumber, ""); }, false},
      {"made 1869", [](CStudyInfo& s) { CStudyInfo::set(s.manufacturingYear, "1869"); }, false},
      {"made 1870", [](CStudyInfo& s) { CStudyInfo::set(s.manufacturingYear, "1870"); }, true},
      {"studied 1969", [](CStudyInfo& s) { CStudyInfo::set(s.studyYear, "1969"); }, false},
      {"studied 2201", [](CStudyInfo& s) { CStudyInfo::set(s.studyYear, "2201"); }, false},
      {"month 13", [](CStudyInfo& s) { CStudyInfo::set(s.studyMonth, "13"); }, false},
      {"day 0", [](CStudyInfo& s) { CStudyInfo::set(s.manufacturingDay, "0"); }, false},
      {"17-byte study id", [](CStudyInfo& s) { CStudyInfo::set(s.studyId, std::string(17, 'I')); }, false},
      {"64-byte description", [](CStudyInfo& s) { CStudyInfo::set(s.studyDescription, std::string(64, 'D')); },
       true},
      {"65-byte description", [](CStudyInfo& s) { CStudyInfo::set(s.studyDescription, std::string(65, 'D')); },
       false},
  };
  for (const auto& c : cases) {
    auto item = valid();
    c.change(*item->study);
    EXPECT_EQ(studyDataFitsDiconde(*item), c.fits) << c.label;
  }
  viewer::CImageItem bare;
  bare.study.reset();
  EXPECT_TRUE(studyDataFitsDiconde(bare));
}

TEST_F(PipelineTest, TheRawDialogHidesTheProgressAndCancelStopsBetweenFiles) {
  FormatPrompt dialogs;
  for (const char* n : {"p1.raw", "p2.raw", "p3.raw"}) testsupport::writeFile(dir / n, std::string(200, '\x05'));
  bool progressHidden = false;
  auto fillAndCancel = [&](QDialog* d) {
    progressHidden = openingDialog() != nullptr && !openingDialog()->isVisible();
    control<QLineEdit>(d, ids::kRawWidth)->setText("10");
    control<QLineEdit>(d, ids::kRawHeight)->setText("20");
    control<QComboBox>(d, ids::kRawDepth)->setCurrentIndex(0);
    control<QCheckBox>(d, ids::kRawAdopt)->setChecked(true);
    control<QPushButton>(d, ids::kOk)->click();
  };
  modal.handlers.push_back(fillAndCancel);
  settings.openSeries = 1;
  ASSERT_TRUE(open("p1.raw"));
  // One dialog for the series: the adopted layout serves the files of the same size.
  EXPECT_EQ(modal.titles, (std::vector<QString>{"Raw File Parameters"}));
  EXPECT_TRUE(progressHidden);
  EXPECT_EQ(doc.images.count(), 3);
  EXPECT_EQ(doc.images.get(2)->width(), 10);
  EXPECT_EQ(settings.rawBitsPixel, 0);

  // The next open command asks again; Cancel in the progress stops after that file.
  modal.handlers.push_back([&](QDialog* d) {
    openingDialog()->reject();  // what Escape or Cancel do
    control<QPushButton>(d, ids::kOk)->click();
  });
  CTivolaDoc second;
  ASSERT_TRUE(openIntoDocument(second, OpenRequest{(dir / "p1.raw").string(), false}, settings, nullptr));
  EXPECT_EQ(modal.titles.size(), 2u);
  EXPECT_EQ(second.images.count(), 1);
}
