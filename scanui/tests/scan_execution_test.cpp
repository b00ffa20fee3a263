// The scan command over the fake device library: set-up, reads, cancel, film
// handling and the hand-over to a host that copies the image.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/qt/control.h"
#include "scanui/internal/strings.h"
#include "scanui/tests/scanui_fixture.h"

namespace scanui_test {
namespace {

using platform::qt::control;
using scanui::internal::CScanDlg;

class ScanExecution : public ScanUiTest {
 protected:
  void SetUp() override {
    ScanUiTest::SetUp();
    w = openForScans(testHost, window);
    ASSERT_NE(w, nullptr);
  }
  void TearDown() override {
    testHost.letGo();
    ScanUiTest::TearDown();
    dlg().settings() = {};
  }
  CScanDlg& dlg() { return scanui::internal::library().dialog; }
  template <typename T>
  T* c(int id) {
    T* found = control<T>(w, id);
    EXPECT_NE(found, nullptr) << id;
    return found;
  }
  void type(int id, const QString& value) { typeInto(w, id, value); }
  void choose(int id, int index) { chooseIn(w, id, index); }
  // A custom region of 10 x 200 mm at 200 micrometres: 50 x 1000 pixels.
  void region(int bitsIndex = 2) {
    choose(1007, 6);  // 200
    choose(1003, bitsIndex);
    type(1015, "0");
    type(1017, "0");
    type(1018, "10");
    type(1019, "200");
    ASSERT_EQ(dlg().region().widthPx, 50);
    ASSERT_EQ(dlg().region().heightPx, 1000);
  }
  void pressScan() { QTest::mouseClick(c<QPushButton>(1022), Qt::LeftButton); }
  void ticks(int n) {
    for (int i = 0; i < n; ++i) dlg().tick();
    QApplication::processEvents();
  }
  std::vector<std::string> callsFrom(std::size_t first) const {
    return {brightel.log.begin() + std::ptrdiff_t(first), brightel.log.end()};
  }
  // The image the fake device's pixels make, cropped to the region.
  std::vector<std::uint8_t> expected(int width, int height, int bytesPerPixel) const {
    std::vector<std::uint8_t> out;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const std::uint16_t v = FakeBrightel::pixel(std::uint32_t(x), std::uint32_t(y));
        out.push_back(std::uint8_t(v));
        if (bytesPerPixel == 2) out.push_back(std::uint8_t(v >> 8));
      }
    return out;
  }
  bool boxStarts(const QString& text) const {
    return std::any_of(prompts.asked.begin(), prompts.asked.end(),
                       [&](const auto& a) { return a.text.startsWith(text); });
  }
  void expectNothingDelivered() {
    EXPECT_EQ(testHost.deliveries, 0);
    EXPECT_EQ(+dlg().scanRecord().pixels, nullptr);
    EXPECT_EQ(dlg().settings().scanning, 0);
    EXPECT_FALSE(dlg().preview().livePresent());
    EXPECT_EQ(dlg().scanCount(), 0);
  }

  // The device got one cancel, with the film reversed right after it.
  void expectCancelledOnce() {
    const auto cancel = std::find(brightel.log.begin(), brightel.log.end(), "Cancel");
    ASSERT_NE(cancel, brightel.log.end());
    ASSERT_NE(cancel + 1, brightel.log.end());
    EXPECT_EQ(*(cancel + 1), "ReverseFilm(1)");
    EXPECT_EQ(brightel.count("Cancel"), 1);
  }

  TestHost testHost;
  QWidget window;
  QWidget* w = nullptr;
};

TEST_F(ScanExecution, SetsTheDeviceUpInOrderAndDeliversTheCroppedLines) {
  struct Case {
    int bitsIndex, bits, bytes;
  };
  for (const Case k : {Case{2, 12, 2}, Case{1, 10, 2}, Case{0, 8, 1}}) {
    SCOPED_TRACE(k.bits);
    region(k.bitsIndex);
    brightel.extraColumns = 7;  // the device line is wider than asked
    brightel.conditions.clear();
    testHost.clear();
    const std::size_t first = brightel.log.size();
    pressScan();
    // From the set-up's first call, after the film check.
    const std::vector<std::string> all = callsFrom(first);
    auto setUp = std::find(all.begin(), all.end(), "SetCondition");
    ASSERT_NE(setUp, all.begin());
    const std::vector<std::string> calls(setUp - 1, all.end());
    ASSERT_GE(calls.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 7),
              (std::vector<std::string>{"GetCondition(1)", "SetCondition", "SetCondition", "SetLUT",
                                        "GetCondition(1)", "Scan",
                                        "ReadBuffer(0," + std::to_string(57 * k.bytes) + ")"}));
    ASSERT_EQ(brightel.conditions.size(), 2u);
    EXPECT_EQ(+brightel.conditions[0].width, 1u);
    EXPECT_EQ(+brightel.conditions[0].height, 1u);
    EXPECT_EQ(+brightel.conditions[0].pitch, 200);
    const devapi::ScanCondition& scan = brightel.conditions[1];
    EXPECT_EQ(+scan.unit, 1);
    EXPECT_EQ(+scan.width, 10u);
    EXPECT_EQ(+scan.height, 200u);
    EXPECT_EQ(+scan.pitch, 200);
    EXPECT_EQ(+scan.pixel_bit_n, 8 * k.bytes);
    EXPECT_EQ(+scan.out_bit_depth, k.bits);
    EXPECT_EQ(brightel.lutType, 2);
    ASSERT_EQ(brightel.lut.size(), 4096u);
    for (int i : {0, 1, 15, 16, 255, 256, 1000, 4095}) EXPECT_EQ(brightel.lut[std::size_t(i)], i >> (12 - k.bits)) << i;

    ASSERT_EQ(testHost.deliveries, 1);
    EXPECT_TRUE(testHost.onUiThread);
    EXPECT_EQ(+testHost.data.width, 50u);
    EXPECT_EQ(+testHost.data.height, 1000u);
    EXPECT_EQ(+testHost.data.bits, k.bits);
    EXPECT_EQ(+testHost.data.bytesPerPixel, k.bytes);
    EXPECT_TRUE(testHost.pixels == expected(50, 1000, k.bytes));
    EXPECT_EQ(+dlg().scanRecord().pixels, nullptr);  // released by the host
    EXPECT_EQ(dlg().settings().scanning, 0);
    EXPECT_TRUE(prompts.asked.empty()) << prompts.asked[0].text.toStdString();
  }
  EXPECT_EQ(c<QLabel>(1056)->text(), "3");
  // 100,000 + 100,000 + 50,000 bytes.
  EXPECT_EQ(c<QLabel>(1053)->text(), "(0.24MB)");
}

TEST_F(ScanExecution, LinesAsWideAsTheImageAreDeliveredWhole) {
  struct Case {
    int bitsIndex, bytes;
    std::vector<std::string> reads;  // 1000 lines: one, then whole chunks of 32768 bytes at most
  };
  for (const Case& k : {Case{2, 2, {"ReadBuffer(0,100)", "ReadBuffer(1,32700)", "ReadBuffer(1,32700)",
                                     "ReadBuffer(1,32700)", "ReadBuffer(1,1800)"}},
                        Case{0, 1, {"ReadBuffer(0,50)", "ReadBuffer(1,32750)", "ReadBuffer(1,17200)"}}}) {
    SCOPED_TRACE(k.bytes);
    region(k.bitsIndex);
    testHost.clear();
    const std::size_t first = brightel.log.size();
    pressScan();
    std::vector<std::string> reads;
    for (const std::string& call : callsFrom(first))
      if (call.rfind("ReadBuffer", 0) == 0) reads.push_back(call);
    EXPECT_EQ(reads, k.reads);
    ASSERT_EQ(testHost.deliveries, 1);
    EXPECT_TRUE(testHost.pixels == expected(50, 1000, k.bytes));
  }
}

TEST_F(ScanExecution, AFailedReadEndsTheScanWithItsErrorAndDeliversNothing) {
  struct Case {
    int failRead;
    int error;
    bool detailBox;
  };
  for (const Case k : {Case{1, 6, false}, Case{3, 7, true}}) {
    SCOPED_TRACE(k.failRead);
    region();
    brightel.failRead = k.failRead;
    brightel.reads = 0;
    prompts.asked.clear();
    pressScan();
    expectNothingDelivered();
    EXPECT_TRUE(boxStarts(scanui::internal::stringTableText(140 + k.error)));
    EXPECT_EQ(boxStarts("mode =        1\nsize = "), k.detailBox);
    EXPECT_EQ(brightel.reads, k.failRead);  // no read after the failure
  }
}

TEST_F(ScanExecution, ADeviceLineThatCannotBeStagedFailsTheSetUp) {
  // 50 pixels asked, 2 bytes each: 16384 is the widest line the staging buffer takes.
  for (std::uint32_t width : {0u, 16385u, 49u}) {
    SCOPED_TRACE(width);
    region();
    brightel.lineWidth = width;
    prompts.asked.clear();
    const std::size_t first = brightel.log.size();
    pressScan();
    expectNothingDelivered();
    EXPECT_TRUE(boxStarts(scanui::internal::stringTableText(144)));
    const auto calls = callsFrom(first);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Scan"), 0);
  }
  region();
  brightel.lineWidth = 16384;
  prompts.asked.clear();
  pressScan();
  EXPECT_EQ(testHost.deliveries, 1);
  EXPECT_TRUE(testHost.pixels == expected(50, 1000, 2));
}

TEST_F(ScanExecution, CancelMidScanStopsTheDeviceAndDeliversNothing) {
  region();
  brightel.onRead = [](int n) {
    if (n == 2) {
      EXPECT_EQ(CeaseScan(), 1);
    }
  };
  pressScan();
  expectNothingDelivered();
  expectCancelledOnce();
  EXPECT_LE(brightel.reads, 3);
  EXPECT_EQ(boxes(), std::vector<std::string>{"Scan|Scan cancelled.  "});

  // The next scan starts normally.
  brightel.onRead = nullptr;
  pressScan();
  EXPECT_EQ(testHost.deliveries, 1);
  EXPECT_TRUE(testHost.pixels == expected(50, 1000, 2));
}

TEST_F(ScanExecution, TheCancelButtonEndsTheReadsWithinTheNextTenths) {
  region();
  brightel.lineWidth = 16384;  // one line a chunk: 1000 reads
  brightel.onRead = [](int n) {
    if (n != 150) return;
    auto* cancel = control<QPushButton>(QApplication::activeModalWidget(), 2);
    ASSERT_NE(cancel, nullptr);
    // As the operator's click comes: through the event loop, not inside the read.
    QMetaObject::invokeMethod(cancel, &QPushButton::click, Qt::QueuedConnection);
  };
  pressScan();
  expectNothingDelivered();
  expectCancelledOnce();
  EXPECT_LE(brightel.reads, 400);  // a tenth is 100 reads
  EXPECT_EQ(boxes(), std::vector<std::string>{"Scan|Scan cancelled.  "});
}

TEST_F(ScanExecution, TheLivePreviewIsSampledAtEveryTenthOfTheScan) {
  region();
  brightel.lineWidth = 16384;  // one line a chunk: a tenth is 100 reads
  constexpr std::uint16_t kUnread = 0xFFFF;  // no 12-bit sample has it
  std::vector<int> sampled;
  brightel.onRead = [&](int n) {
    auto* image = static_cast<std::uint16_t*>(dlg().scanRecord().pixels);
    ASSERT_NE(image, nullptr);
    if (n == 1) std::fill(image + 50, image + 50 * 1000, kUnread);  // all but the line just read
    if (n % 100 != 1 || n == 1) return;
    // Read n comes after the sample of the tenth just reached: the preview
    // shows every line of it.
    const int linesBefore = n - 1;
    const auto& m = dlg().preview().liveMapping();
    const std::uint16_t* live = dlg().preview().live();
    bool all = m.rows > 0 && m.columns > 0;
    for (int r = 0; r < m.rows; ++r) {
      const auto line = std::uint32_t(r * m.step);
      if (line >= std::uint32_t(linesBefore) || line < std::uint32_t(linesBefore - 100)) continue;
      for (int c = 0; c < m.columns; ++c) {
        const std::uint16_t shown = live[std::size_t(m.firstRow + r) * scanui::internal::kPreviewColumns + std::size_t(m.firstColumn + c)];
        all = all && shown == FakeBrightel::pixel(std::uint32_t(c * m.step), line);
      }
    }
    if (all) sampled.push_back(linesBefore / 100);
  };
  pressScan();
  EXPECT_EQ(testHost.deliveries, 1);
  EXPECT_EQ(brightel.reads, 1000);
  EXPECT_EQ(sampled, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST_F(ScanExecution, TheProgressDialogShowsTheScanningTextsFromTheSecondPassOn) {
  region();
  QString before, after;
  brightel.onRead = [&](int n) {
    auto* progress = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->objectName(), "147");
    const QString shown = progress->windowTitle() + "|" + control<QLabel>(progress, 1000)->text();
    if (n == 2) before = shown;
    if (n == 4) {
      after = shown;
      const std::filesystem::path dir = testsupport::selfExecutable().parent_path() / "screenshots";
      std::filesystem::create_directories(dir);
      EXPECT_TRUE(progress->grab().save(QString::fromStdString((dir / "scan_progress.png").string())));
    }
  };
  pressScan();
  EXPECT_EQ(before, "Preparing to scan|Digitizer is preparing to scan...");
  EXPECT_EQ(after, "Scanning |Scanning...");
  EXPECT_EQ(testHost.deliveries, 1);
}

TEST_F(ScanExecution, FilmHandlingOfOneScanByFeederType) {
  struct Case {
    int feeder;
    int ejects;
  };
  for (const Case k : {Case{1, 1}, Case{2, 0}}) {
    SCOPED_TRACE(k.feeder);
    brightel.feeder = k.feeder;
    TermUI(0);
    ASSERT_EQ(InitUI(0), 1);
    w = static_cast<QWidget*>(ShowUI(&window, nullptr));
    region();
    const std::size_t first = brightel.log.size();
    brightel.filmCode = 0;  // no film: the prompt's Ok then a film
    brightel.nextFilmCodes = {0};
    prompts.asked.clear();
    testHost.clear();
    // The film prompt is answered once its poll sees the film arrive.
    QTimer::singleShot(50, [this] { brightel.filmCode = 1; });
    pressScan();
    ASSERT_EQ(testHost.deliveries, 1);
    const auto calls = callsFrom(first);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "EjectFilm(1)"), k.ejects);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "NextFilm(1)"), k.feeder == 2 ? 0 : 1);
  }
  // "Move the film forward" still feeds a type-2 feeder.
  const std::size_t first = brightel.log.size();
  dlg().nextFilmCommand();
  const auto calls = callsFrom(first);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "NextFilm(1)"), 1);
}

TEST_F(ScanExecution, AnAutoRunOfThreeFilmsCountsDownAndEjectsAtTheEnd) {
  region();
  c<QCheckBox>(1000)->setChecked(true);
  c<QLineEdit>(1002)->setText("3");
  pressScan();
  EXPECT_EQ(testHost.deliveries, 1);
  EXPECT_EQ(c<QLineEdit>(1002)->text(), "2");
  EXPECT_EQ(dlg().settings().rePostArmed, 1);
  EXPECT_EQ(brightel.count("EjectFilm(1)"), 0);
  ticks(11);
  EXPECT_EQ(testHost.deliveries, 2);
  EXPECT_EQ(c<QLineEdit>(1002)->text(), "1");
  ticks(11);
  EXPECT_EQ(testHost.deliveries, 3);
  EXPECT_EQ(c<QLineEdit>(1002)->text(), "3");
  EXPECT_EQ(dlg().settings().rePostArmed, 0);
  EXPECT_EQ(brightel.count("EjectFilm(1)"), 1);
  EXPECT_EQ(brightel.count("NextFilm(1)"), 2);
  ticks(22);
  EXPECT_EQ(testHost.deliveries, 3);
  EXPECT_EQ(c<QLabel>(1056)->text(), "3");
}

TEST_F(ScanExecution, AnInvalidFilmCountIsRefused) {
  region();
  c<QCheckBox>(1000)->setChecked(true);
  c<QLineEdit>(1002)->setText("0");
  pressScan();
  EXPECT_EQ(boxes(), std::vector<std::string>{
                         "Auto Scan|Enter the number of films when using the auto-feeder.\nThe number you entered is not valid."});
  EXPECT_EQ(brightel.count("Scan"), 0);
}

TEST_F(ScanExecution, WhileTheHostHoldsTheImageTheNextScanWaitsForItsRelease) {
  region();
  testHost.hold = true;
  pressScan();
  ASSERT_EQ(testHost.deliveries, 1);
  ASSERT_NE(+dlg().scanRecord().pixels, nullptr);
  pressScan();
  EXPECT_EQ(brightel.count("Scan"), 1);
  EXPECT_EQ(dlg().settings().rePostArmed, 1);
  ticks(11);  // 1.1 s on the dialog's clock: still held
  EXPECT_EQ(brightel.count("Scan"), 1);
  testHost.hold = false;
  ReleaseScanData(&testHost.data);
  ReleaseScanData(&testHost.data);  // a second release frees nothing
  ticks(10);
  EXPECT_EQ(brightel.count("Scan"), 1);
  ticks(1);
  EXPECT_EQ(brightel.count("Scan"), 2);
  EXPECT_EQ(testHost.deliveries, 2);
}

TEST_F(ScanExecution, AForeignPointerIsNotFreed) {
  region();
  testHost.hold = true;
  pressScan();
  ASSERT_EQ(testHost.deliveries, 1);
  std::vector<std::uint8_t> mine(16);
  scanui::ScanData foreign = testHost.data;
  foreign.pixels = mine.data();
  ReleaseScanData(&foreign);  // would crash the allocator if freed
  EXPECT_EQ(+foreign.pixels, mine.data());
  EXPECT_NE(+dlg().scanRecord().pixels, nullptr);
}

}  // namespace
}  // namespace scanui_test
