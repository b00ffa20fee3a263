#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>

#include "modal_script.h"
#include "platform/qt/control.h"
#include "viewer/app/control_ids.h"
#include "viewer/app/settings.h"

#include "platform/qt/prompt.h"
#include "testsupport/testsupport.h"
#include "viewer/app/pipeline.h"

using namespace viewer::app;
using platform::qt::Answer;
namespace fs = std::filesystem;

namespace {

// A w x h image whose samples are value(x, y).
std::unique_ptr<viewer::CImageItem> image(int bytes, int w, int h, const std::function<int(int, int)>& value) {
  auto item = std::make_unique<viewer::CImageItem>();
  item->allocate(bytes, w, h);
  item->bitsStored = bytes == 1 ? 8 : 12;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::size_t i = std::size_t(y) * std::size_t(w) + std::size_t(x);
      if (bytes == 1) item->data()[i] = std::uint8_t(value(x, y));
      else item->data16()[i] = std::uint16_t(value(x, y));
    }
  item->completeLoad();
  return item;
}

class DocumentTest : public ::testing::Test {
 protected:
  // n scanned images taken into the document.
  void scans(int n, int bytes = 1) {
    for (int k = 0; k < n; ++k)
      ASSERT_TRUE(doc.images.add(image(bytes, 8, 6, [k](int x, int y) { return (x + y + k) * 9; })));
    ASSERT_TRUE(doc.takeScannedImages(0));
  }
  testsupport::TempDir dir;
  platform::qt::ScriptedPrompt prompts;
  CTivolaDoc doc;
};

TEST_F(DocumentTest, ScansAreUnsavedUntilSavedAndOnlyThenReplicable) {
  scans(3);
  EXPECT_EQ(doc.images.get(0)->shownName, "scan001");
  EXPECT_EQ(doc.images.get(2)->shownName, "scan003");
  EXPECT_TRUE(doc.title.rfind("New scan", 0) == 0) << doc.title;
  EXPECT_TRUE(doc.canSave());
  EXPECT_FALSE(doc.canSaveReplica());
  doc.seriesPath = (dir / "IMG0001.tif").string();
  ASSERT_TRUE(doc.saveToSeriesPath(nullptr, 1));
  EXPECT_TRUE(doc.canSaveReplica());
  EXPECT_EQ(doc.images.get(0)->saved, 1);
  EXPECT_EQ(doc.title, dir.path().filename().string());
}

TEST_F(DocumentTest, SaveNumbersFromTheSeriesPathAndAsksOnceBeforeOverwriting) {
  const struct {
    Answer answer;
    bool written;
  } cases[] = {{Answer::Yes, true}, {Answer::No, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.written);
    testsupport::TempDir out;
    CTivolaDoc d;
    for (int k = 0; k < 3; ++k) ASSERT_TRUE(d.images.add(image(1, 4, 3, [k](int x, int) { return x + k; })));
    d.takeScannedImages(0);
    // Two files that no image owns stand in the way.
    testsupport::writeFile(out / "IMG0013.tif", "old");
    testsupport::writeFile(out / "IMG0014.tif", "old");
    prompts.asked.clear();
    prompts.answers = {c.answer};
    d.seriesPath = (out / "IMG0012.tif").string();
    EXPECT_EQ(d.saveToSeriesPath(nullptr, 1), c.written);
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].text, "Some files will be overwrited by added images. Are you sure?");
    for (const char* name : {"IMG0012.tif", "IMG0013.tif", "IMG0014.tif"}) {
      const auto r = testsupport::runCommand("tiffinfo '" + (out / name).string() + "' 2>&1");
      EXPECT_EQ(r.status == 0, c.written) << name << r.output;
    }
    if (c.written) {
      EXPECT_EQ(d.images.get(1)->sourcePath, (out / "IMG0013.tif").string());
      // The files are the images' own now: saving again asks nothing.
      prompts.asked.clear();
      EXPECT_TRUE(d.saveToSeriesPath(nullptr, 1));
      EXPECT_TRUE(prompts.asked.empty());
    }
  }
}

TEST_F(DocumentTest, SaveSelectedWritesOnlyTheSelectedImages) {
  scans(5);
  doc.images.get(1)->selected = 1;
  doc.images.get(3)->selected = 1;
  ASSERT_TRUE(doc.saveDocument((dir / "IMAGE001.BMP").string(), CTivolaDoc::Scope::Selected, 7, false));
  EXPECT_TRUE(fs::exists(dir / "IMAGE001.BMP"));
  EXPECT_TRUE(fs::exists(dir / "IMAGE002.BMP"));
  EXPECT_FALSE(fs::exists(dir / "IMAGE003.BMP"));
  // A replica leaves the images their own files.
  EXPECT_EQ(doc.images.get(1)->sourcePath, "");
}

TEST_F(DocumentTest, ASaveWithNoImageInItsScopeFailsAndKeepsTheTitle) {
  scans(2);
  const std::string title = doc.title;
  // No current image and none selected: nothing to write is no success.
  for (CTivolaDoc::Scope scope : {CTivolaDoc::Scope::Current, CTivolaDoc::Scope::Selected}) {
    EXPECT_FALSE(doc.saveDocument((dir / "NONE001.TIF").string(), scope, 1, true));
    EXPECT_FALSE(fs::exists(dir / "NONE001.TIF"));
    EXPECT_EQ(doc.title, title);
  }
}

TEST_F(DocumentTest, EveryFormatIsReadBackByAnOutsideJudge) {
  scans(1, 1);
  const struct {
    int type;
    const char* name;
    const char* judge;
  } cases[] = {
      {1, "IMAGE001.TIF", "tiffinfo"}, {2, "IMAGE001.DCM", "dcmdump +E"}, {4, "IMAGE001.JPG", "djpeg -pnm"},
      {7, "IMAGE001.BMP", "identify"},  {8, "IMAGE001.PGM", "identify"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(doc.saveDocument((dir / c.name).string(), CTivolaDoc::Scope::All, c.type, false)) << c.name;
    const auto r = testsupport::runCommand(std::string(c.judge) + " '" + (dir / c.name).string() + "' >/dev/null 2>&1");
    EXPECT_EQ(r.status, 0) << c.name;
  }
  // RAW in Windows and in Macintosh byte order.
  scans(1, 2);
  doc.images.get(0)->selected = 0;
  doc.images.get(1)->selected = 1;
  ASSERT_TRUE(doc.saveDocument((dir / "W001.RAW").string(), CTivolaDoc::Scope::Selected, 5, false));
  ASSERT_TRUE(doc.saveDocument((dir / "M001.RAW").string(), CTivolaDoc::Scope::Selected, 6, false));
  const std::string w = testsupport::readFile(dir / "W001.RAW"), m = testsupport::readFile(dir / "M001.RAW");
  ASSERT_EQ(w.size(), 8u * 6u * 2u);
  ASSERT_EQ(m.size(), w.size());
  const int second = doc.images.get(1)->pixel(1, 0);  // (1 + 0 + 0) * 9
  EXPECT_EQ(std::uint8_t(w[2]) | std::uint8_t(w[3]) << 8, second);
  EXPECT_EQ(std::uint8_t(m[3]) | std::uint8_t(m[2]) << 8, second);
}

TEST_F(DocumentTest, TheFirstSaveAsksForTheSeriesInANewFolderAndLaterSavesGoThere) {
  scans(2, 2);
  Settings settings;
  settings.saveNewFolder = 1;
  settings.newImageFormat = 8;
  app_test::ModalScript modals;
  QString offered;
  modals.handlers.push_back([&](QDialog* d) {
    auto* dialog = static_cast<QFileDialog*>(d);
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    offered = name->text();
    dialog->setDirectory(QString::fromStdString(dir.path().string()));
    name->setText(QString::fromStdString((dir / "weld01.tif").string()));
    platform::qt::control<QLineEdit>(d, ids::kNewFolderName)->setText("IMG001");
    d->accept();
  });
  ASSERT_TRUE(doc.save(settings, (dir / "work").string(), nullptr));
  EXPECT_EQ(offered, "IMAGE001.PGM");
  ASSERT_EQ(modals.titles.size(), 1u);
  EXPECT_EQ(modals.titles[0], "Save");
  // The type list was left at PGM but the name says TIFF; the name decides the writer.
  for (const char* name : {"weld01.tif", "weld02.tif"}) {
    const auto r = testsupport::runCommand("tiffinfo '" + (dir / "IMG001" / name).string() + "' >/dev/null 2>&1");
    EXPECT_EQ(r.status, 0) << name;
  }
  EXPECT_EQ(doc.seriesPath, (dir / "IMG001" / "weld01.tif").string());
  EXPECT_EQ(doc.title, "IMG001");
  EXPECT_TRUE(doc.canSaveReplica());
  // Later saves write over the images' own files without a dialog or a question.
  EXPECT_TRUE(doc.save(settings, (dir / "work").string(), nullptr));
  EXPECT_EQ(modals.titles.size(), 1u);
  EXPECT_TRUE(prompts.asked.empty());
}

TEST_F(DocumentTest, RoiToCsvInRawValuesAndInOpticalDensity) {
  const struct {
    int bytes;
    int od;
    bool odUnit;
    std::function<int(int, int)> value;
    const char* golden;
  } cases[] = {
      {1, 0, false, [](int x, int y) { return x * 100 + y * 7; }, "  0,100\r\n  7,107\r\n"},
      {2, 0, false, [](int x, int y) { return x * 4000 + y; }, "   0,4000\r\n   1,4001\r\n"},
      // O.D. asked for but the image has no range: raw values.
      {1, 0, true, [](int x, int) { return x * 5; }, "  0,  5\r\n  0,  5\r\n"},
      {2, 40, true, [](int x, int) { return x == 0 ? 0 : 4095; }, "4.000,0.000\r\n4.000,0.000\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.golden);
    CTivolaDoc d;
    auto item = image(c.bytes, 4, 4, c.value);
    item->odRange = c.od;
    item->active = 1;
    item->roi = {2, 2, 0, 0};  // drawn right to left: normalised first
    ASSERT_TRUE(d.images.add(std::move(item)));
    ASSERT_TRUE(d.canSaveRoiToCsv());
    const fs::path csv = dir / "roi.csv";
    ASSERT_TRUE(d.saveRoiToCsv(csv.string(), c.odUnit, nullptr));
    EXPECT_EQ(testsupport::readFile(csv), c.golden);
  }
}

TEST_F(DocumentTest, AnUnwritableCsvSaysSoAndLeavesNothing) {
  auto item = image(1, 4, 4, [](int, int) { return 1; });
  item->active = 1;
  item->roi = {0, 0, 2, 2};
  ASSERT_TRUE(doc.images.add(std::move(item)));
  const fs::path csv = dir / "missing" / "roi.csv";
  EXPECT_FALSE(doc.saveRoiToCsv(csv.string(), false, nullptr));
  ASSERT_EQ(prompts.asked.size(), 1u);
  EXPECT_EQ(prompts.asked[0].text, QString::fromStdString("Failed to write the file(" + csv.string() + ")."));
  EXPECT_FALSE(fs::exists(dir / "missing"));

  doc.images.get(0)->roi = {1, 1, 1, 3};
  EXPECT_FALSE(doc.canSaveRoiToCsv());
}

}  // namespace
