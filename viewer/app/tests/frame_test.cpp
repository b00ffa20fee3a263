// Tivola's frame in the process: documents in child frames with their views,
// the view's commands on the selected images, restore from the files and print.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>

#include "app_test_util.h"
#include "modal_script.h"
#include "pane_check.h"
#include "platform/qt/control.h"
#include "platform/qt/prompt.h"
#include "testsupport/testsupport.h"
#include "viewer/app/application.h"
#include "viewer/app/main_window.h"

using namespace viewer::app;
using namespace viewer::view;
using viewer::CImageItem;
namespace fs = std::filesystem;

namespace {

// A value that tells every pixel's place, different for each of the images.
int sample(int seed, int x, int y) { return (x * 5 + y * 3 + seed * 60) % 256; }

class FrameTest : public ::testing::Test {
 protected:
  void start() { ASSERT_TRUE(app.initInstance({}, app_test::startIn(dir.path()))); }
  // Opens s001.tif to s00n.tif (w x h, one byte) as one series document.
  DocumentFrame* openSeries(int n, int w, int h) {
    for (int i = 1; i <= n; ++i)
      app_test::writeTiff(dir / ("s00" + std::to_string(i) + ".tif"), w, h, 1,
                          [i](int x, int y) { return sample(i, x, y); });
    app.settings.openSeries = 1;
    if (!app.openDocumentFile((dir / "s001.tif").string())) return nullptr;
    QApplication::processEvents();
    auto subs = app.mainWindow()->mdiArea()->subWindowList();
    return subs.isEmpty() ? nullptr : dynamic_cast<DocumentFrame*>(subs.last());
  }
  // The menu command of the frame with this id, as a person picks it.
  void pick(int id) {
    QAction* a = app.mainWindow()->findChild<QAction*>(QString::number(id));
    ASSERT_NE(a, nullptr) << id;
    a->trigger();
    QApplication::processEvents();
  }
  // Selects exactly the listed tiles: Unselect All (which leaves the first
  // visible tile selected), a plain click on the first listed, which leaves it
  // the only one selected, and Ctrl-clicks on the others.
  void select(CTivolaView* view, std::initializer_list<int> tiles) {
    view->grid().selectAll(false);
    int flags = 0;
    for (int i : tiles) {
      view->grid().click(view->grid().tile(i), flags);
      flags = viewer::display::kCtrlFlag;
    }
    QApplication::processEvents();
  }
  // Whether the image holds file `seed`'s w x h samples, turned clockwise
  // and then mirrored as given.
  static bool holds(const CImageItem& image, int seed, int w, int h, bool rotated, bool flipped) {
    const int iw = rotated ? h : w, ih = rotated ? w : h;
    if (image.width() != iw || image.height() != ih) return false;
    for (int y = 0; y < ih; ++y)
      for (int x = 0; x < iw; ++x) {
        const int xx = flipped ? iw - 1 - x : x;
        // Clockwise, the file's left column, read upwards, became the top row.
        const int want = rotated ? sample(seed, y, h - 1 - xx) : sample(seed, xx, y);
        if (image.pixel(x, y) != want) return false;
      }
    return true;
  }

  testsupport::TempDir dir;
  platform::qt::ScriptedPrompt script;
  TivolaApp app;
};

TEST_F(FrameTest, AnOpenedFileGetsAChildFrameWhosePanesShowTheirTiles) {
  start();
  DocumentFrame* child = openSeries(4, 160, 120);
  ASSERT_NE(child, nullptr);
  CTivolaView* view = child->view();
  ASSERT_EQ(child->widget(), view);
  EXPECT_EQ(child->document().images.count(), 4);
  EXPECT_EQ(view->grid().tileCount(), 4);
  pick(32792);  // 2x2
  ASSERT_EQ(view->columns(), 2);
  ASSERT_EQ(view->rows(), 2);
  const QImage window = view->grab().toImage();
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    ASSERT_NE(view->pane(i)->tile, nullptr);
    EXPECT_EQ(view->pane(i)->tile->image, child->document().images.get(i));
    const app_test::PaneCheck c = app_test::comparePane(window, *view->pane(i));
    EXPECT_EQ(c.differ, 0) << c.firstDifference.toStdString();
    EXPECT_GT(c.same, 10000);
    EXPECT_LT(c.darkest + 100, c.brightest);  // a picture, not a flat field
  }
  // The status bar describes the current image.
  EXPECT_TRUE(app.mainWindow()->statusMessage().contains("(8bits) [160X120] 19,200 Bytes"))
      << app.mainWindow()->statusMessage().toStdString();
  fs::create_directories(SCREENSHOT_DIR);
  app.mainWindow()->grab().save(QString(SCREENSHOT_DIR) + "/tivola_frame_2x2.png");
  window.save(QString(SCREENSHOT_DIR) + "/tivola_view_2x2.png");
  EXPECT_TRUE(script.asked.empty());
}

TEST_F(FrameTest, FlipRotateAndRestoreChangeExactlyTheSelectedImages) {
  start();
  DocumentFrame* child = openSeries(3, 24, 16);
  ASSERT_NE(child, nullptr);
  CTivolaView* view = child->view();
  CTivolaDoc& doc = child->document();
  const auto image = [&](int i) -> const CImageItem& { return *doc.images.get(i); };

  pick(ID_SELECT_ALL_VIEWS);
  pick(ID_ROTATE_CW);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(holds(image(i), i + 1, 24, 16, true, false)) << i;

  select(view, {0, 2});
  ASSERT_EQ(image(0).selected + image(1).selected * 2 + image(2).selected * 4, 1 + 4);
  pick(ID_FLIP_HORIZONTAL);
  EXPECT_TRUE(holds(image(0), 1, 24, 16, true, true));
  EXPECT_TRUE(holds(image(1), 2, 24, 16, true, false));
  EXPECT_TRUE(holds(image(2), 3, 24, 16, true, true));

  // Reset Original Image Display reads the selected ones back from their files.
  select(view, {1, 2});
  pick(ID_EDIT_UNDO);
  EXPECT_TRUE(holds(image(0), 1, 24, 16, true, true));
  EXPECT_TRUE(holds(image(1), 2, 24, 16, false, false));
  EXPECT_TRUE(holds(image(2), 3, 24, 16, false, false));
  // Their panes show them as restored.
  const QImage window = view->grab().toImage();
  for (int i = 0; i < view->columns() * view->rows(); ++i)
    if (view->pane(i)->tile && view->pane(i)->tile->image == &image(2)) {
      const app_test::PaneCheck c = app_test::comparePane(window, *view->pane(i));
      EXPECT_EQ(c.differ, 0);
      EXPECT_GT(c.same, 24 * 16);
    }
  EXPECT_TRUE(script.asked.empty());
}

TEST_F(FrameTest, EditStudyDataReachesExactlyTheSelectedImages) {
  start();
  DocumentFrame* child = openSeries(3, 24, 16);
  ASSERT_NE(child, nullptr);
  select(child->view(), {0, 2});
  app_test::ModalScript modals;
  bool edited = false;
  modals.handlers.push_back([&](QDialog* d) {
    // A name, an identifier and the two dates: what its OK asks for.
    const std::pair<int, const char*> typed[] = {{1040, "weld 7"}, {1041, "A-1"},  {1042, "2020"}, {1043, "5"},
                                                 {1044, "6"},      {1045, "2026"}, {1046, "12"},   {1047, "10"}};
    for (const auto& [id, value] : typed) {
      auto* edit = platform::qt::control<QLineEdit>(d, id);
      if (edit == nullptr) return d->reject();
      edit->setText(value);
    }
    d->accept();
    edited = !d->isVisible();
    if (!edited) d->reject();  // refused: the test fails instead of waiting
  });
  pick(ID_EDIT_STUDY);
  ASSERT_TRUE(edited);
  const CTivolaDoc& doc = child->document();
  EXPECT_STREQ(doc.images.get(0)->study->componentName, "weld 7");
  EXPECT_STREQ(doc.images.get(1)->study->componentName, "");
  EXPECT_STREQ(doc.images.get(2)->study->componentName, "weld 7");
  EXPECT_STREQ(doc.images.get(2)->study->studyYear, "2026");
  EXPECT_STREQ(doc.images.get(1)->study->studyYear, "");
  EXPECT_TRUE(script.asked.empty()) << script.asked[0].text.toStdString();
}

TEST_F(FrameTest, AScanIsRestoredFromItsTemporaryCopyWithoutAsking) {
  // What the acquisition bridge leaves: a headerless RAW copy beside the work folder.
  const struct {
    int bytes;
    bool keepFile;
  } cases[] = {{1, true}, {2, true}, {2, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bytes << " bytes, file kept " << c.keepFile);
    CTivolaDoc doc;
    auto item = std::make_unique<CImageItem>();
    ASSERT_TRUE(item->allocate(c.bytes, 30, 20));
    for (int i = 0; i < 600; ++i) {
      if (c.bytes == 1) item->data()[i] = std::uint8_t(i % 251);
      else item->data16()[i] = std::uint16_t(i * 7 % 4096);
    }
    item->bitsStored = c.bytes == 1 ? 8 : 12;
    ASSERT_TRUE(item->completeLoad());
    // A work folder of its own: the scan takes its file, and the emptied folder, with it.
    const fs::path folder = dir / ("TEMP000" + std::to_string(&c - cases));
    fs::create_directories(folder);
    const fs::path tmp = folder / "00000000.tmp";
    ASSERT_TRUE(saveItem(*item, tmp.string(), true, 0, 0, 0));
    item->tempPath = tmp.string();
    ASSERT_TRUE(doc.images.add(std::move(item)));
    ASSERT_TRUE(doc.takeScannedImages(0));
    CImageItem& scan = *doc.images.get(0);
    ASSERT_TRUE(scan.sourcePath.empty());
    const std::vector<int> before = [&] {
      std::vector<int> v;
      for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) v.push_back(scan.pixel(x, y));
      return v;
    }();
    ASSERT_TRUE(scan.rotateClockwise());
    if (!c.keepFile) {
      // A failed reload keeps what the image shows.
      fs::remove(tmp);
      EXPECT_FALSE(doc.restoreOriginal(scan));
      EXPECT_EQ(scan.width(), 20);
      EXPECT_EQ(scan.height(), 30);
      EXPECT_TRUE(scan.hasPixels());
      continue;
    }
    ASSERT_TRUE(doc.restoreOriginal(scan));
    ASSERT_EQ(scan.width(), 30);
    ASSERT_EQ(scan.height(), 20);
    EXPECT_EQ(scan.bytesPerSample(), c.bytes);
    std::vector<int> after;
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 30; ++x) after.push_back(scan.pixel(x, y));
    EXPECT_EQ(after, before);
    EXPECT_EQ(scan.shownName, "scan001");
    EXPECT_EQ(scan.tempPath, tmp.string());
  }
  // The RAW dialog was never asked for.
  EXPECT_TRUE(script.asked.empty());
}

TEST_F(FrameTest, OpenAndAddGivesTheViewATileForTheNewImage) {
  start();
  DocumentFrame* child = openSeries(1, 40, 30);
  ASSERT_NE(child, nullptr);
  app_test::writeTiff(dir / "extra.tif", 40, 30, 1, [](int x, int y) { return sample(7, x, y); });
  app_test::ModalScript modals;
  modals.handlers.push_back([this](QDialog* d) {
    static_cast<QFileDialog*>(d)->selectFile(QString::fromStdString((dir / "extra.tif").string()));
    d->accept();
  });
  ASSERT_TRUE(app.openAndAdd(child->document()));
  QApplication::processEvents();
  QApplication::processEvents();
  ASSERT_EQ(child->view()->grid().tileCount(), 2);
  EXPECT_EQ(child->view()->grid().tile(1)->image, child->document().images.get(1));
}

TEST_F(FrameTest, PrintThroughThePrinterDialogWritesOnePicture) {
  start();
  DocumentFrame* child = openSeries(1, 90, 60);
  ASSERT_NE(child, nullptr);
  const fs::path pdf = dir / "page.pdf";
  app_test::ModalScript modals;
  bool sawPrintDialog = false;
  modals.handlers.push_back([&](QDialog* d) {
    auto* print = qobject_cast<QPrintDialog*>(d);
    sawPrintDialog = print != nullptr;
    if (!print) return d->reject();
    // The dialog prints to a file when no printer is installed; its name is the answer.
    if (auto* name = d->findChild<QLineEdit*>(QStringLiteral("filename"))) name->setText(QString::fromStdString(pdf.string()));
    print->printer()->setOutputFileName(QString::fromStdString(pdf.string()));
    d->accept();
  });
  pick(ID_FILE_PRINT);
  ASSERT_TRUE(sawPrintDialog);
  ASSERT_TRUE(fs::exists(pdf));
  QProcess list;
  list.start("pdfimages", {"-list", QString::fromStdString(pdf.string())});
  ASSERT_TRUE(list.waitForFinished(20000));
  const QStringList lines = QString::fromUtf8(list.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
  // Two heading lines, then one image of the print bitmap: 92 (90 rounded up to 4) x 60.
  ASSERT_EQ(lines.size(), 3) << lines.join('\n').toStdString();
  const QStringList f = lines[2].simplified().split(' ');
  ASSERT_GE(f.size(), 5);
  EXPECT_EQ(f[3], "92");
  EXPECT_EQ(f[4], "60");
  EXPECT_TRUE(script.asked.empty());
}

TEST_F(FrameTest, TheFrameLooksActiveWhileOneOfItsPalettesIsTheActiveWindow) {
  const QPalette before = QApplication::palette();
  QPalette marked = before;
  marked.setColor(QPalette::Active, QPalette::Highlight, Qt::blue);
  marked.setColor(QPalette::Inactive, QPalette::Highlight, Qt::red);
  QApplication::setPalette(marked);
  start();
  MainWindow* frame = app.mainWindow();
  QWidget elsewhere;  // a window that is not the frame's
  elsewhere.show();
  const struct {
    const char* name;
    QWidget* window;
    QColor inactiveHighlight;
  } cases[] = {
      {"tool palette", frame->toolPalette(), Qt::blue},
      {"somewhere else", &elsewhere, Qt::red},
      {"information palette", frame->infoPalette(), Qt::blue},
      {"the frame", frame, Qt::blue},
      {"somewhere else again", &elsewhere, Qt::red},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.window->show();
    c.window->activateWindow();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), c.window);
    EXPECT_EQ(frame->palette().color(QPalette::Inactive, QPalette::Highlight), c.inactiveHighlight);
  }
  QApplication::setPalette(before);
}

}  // namespace
