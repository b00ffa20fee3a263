#include "viewer/app/dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include "modal_script.h"
#include "platform/qt/control.h"
#include "platform/qt/prompt.h"
#include "testsupport/testsupport.h"
#include "viewer/app/control_ids.h"

using namespace viewer::app;
using platform::qt::Answer;
using platform::qt::control;
namespace fs = std::filesystem;

namespace {

void screenshot(QWidget& w, const char* name) {
  const fs::path shots = fs::path(SCREENSHOT_DIR);
  fs::create_directories(shots);
  w.grab().save(QString::fromStdString((shots / name).string()));
}

void click(QWidget* root, int id) {
  auto* b = control<QAbstractButton>(root, id);
  ASSERT_NE(b, nullptr) << id;
  b->click();
}

QString label(QWidget* root, int id) { return control<QLabel>(root, id)->text(); }

}  // namespace

TEST(GroupedNumber, CommasCountDigitsNotCharacters) {
  const struct {
    std::int64_t value;
    const char* text;
  } cases[] = {{0, "0"},
               {999, "999"},
               {1000, "1,000"},
               {-100, "-100"},
               {-1000, "-1,000"},
               {1234567, "1,234,567"},
               {7200000000, "7200,000,000"},
               {-999999, "-999,999"}};
  for (const auto& c : cases) EXPECT_EQ(groupedNumber(c.value), c.text) << c.value;
}

TEST(JpegQualityDialog, TheEditBoxMovesSliderAndPresetWithinRange) {
  JpegQualityDialog d(75);
  d.show();
  auto* edit = control<QLineEdit>(&d, ids::kJpegParameter);
  auto* preset = control<QComboBox>(&d, ids::kJpegPreset);
  auto* slider = control<QSlider>(&d, ids::kJpegSlider);
  ASSERT_TRUE(edit && preset && slider);
  EXPECT_EQ(preset->currentText(), "Standard");
  EXPECT_EQ(slider->value(), 75);
  const struct {
    const char* typed;
    const char* preset;
    int slider;
  } cases[] = {{"72", "Standard", 72}, {"60", "Standard", 72}, {"69", "Low", 69},  {"89", "High", 89},
               {"90", "Highest", 90},  {"96", "Highest", 90},  {"x", "Highest", 90}};
  for (const auto& c : cases) {
    edit->setText(c.typed);
    EXPECT_EQ(preset->currentText(), c.preset) << c.typed;
    EXPECT_EQ(slider->value(), c.slider) << c.typed;
  }
  emit preset->activated(1);
  EXPECT_EQ(edit->text(), "85");
  EXPECT_EQ(slider->value(), 85);
  slider->setValue(66);
  EXPECT_EQ(edit->text(), "66");
  EXPECT_EQ(preset->currentText(), "Low");
  screenshot(d, "jpeg_quality.png");
}

TEST(JpegQualityDialog, TheMarksStandUnderTheirSliderPositions) {
  JpegQualityDialog d(75);
  d.resize(420, d.sizeHint().height());
  d.show();
  QApplication::processEvents();
  auto* slider = control<QSlider>(&d, ids::kJpegSlider);
  ASSERT_NE(slider, nullptr);
  const QRect track(slider->mapTo(&d, QPoint(0, 0)), slider->size());
  std::vector<int> centres;
  for (const char* mark : {"65", "75", "85", "95"}) {
    QLabel* label = nullptr;
    for (QLabel* l : d.findChildren<QLabel*>())
      if (l->text() == mark) label = l;
    ASSERT_NE(label, nullptr) << mark;
    const QRect r(label->mapTo(&d, QPoint(0, 0)), label->size());
    EXPECT_GE(r.top(), track.bottom()) << mark;  // below the slider
    centres.push_back(r.center().x());
  }
  // 65 and 95 at the ends of the slider's travel (within half a handle), the
  // others evenly between them.
  const int handle = 30;
  EXPECT_LE(std::abs(centres.front() - track.left()), handle);
  EXPECT_LE(std::abs(centres.back() - track.right()), handle);
  for (std::size_t i = 1; i < centres.size(); ++i)
    EXPECT_NEAR(centres[i] - centres[i - 1], (centres.back() - centres.front()) / 3.0, 2.0) << i;
}

TEST(JpegQualityDialog, OkTakesZeroToNinetyFive) {
  platform::qt::ScriptedPrompt script;
  JpegQualityDialog d(75);
  d.show();
  auto* edit = control<QLineEdit>(&d, ids::kJpegParameter);
  edit->setText("96");
  click(&d, ids::kOk);
  EXPECT_TRUE(d.isVisible());
  EXPECT_EQ(script.asked.size(), 1u);
  edit->setText("0");
  click(&d, ids::kOk);
  EXPECT_FALSE(d.isVisible());
  EXPECT_EQ(d.result(), QDialog::Accepted);
  EXPECT_EQ(d.quality(), 0);
}

class RawDialogTest : public ::testing::Test {
 protected:
  RawDialogTest() {
    offered.width = 1000;
    offered.height = 500;
    offered.headerSize = 0;
    offered.depthIndex = 2;
    offered.byteOrder = 1;
  }
  viewer::formats::RawDialogValues offered;
  platform::qt::ScriptedPrompt script;
};

TEST_F(RawDialogTest, InformationLinesFollowEveryChange) {
  RawParametersDialog d("plate.raw", 1000000, offered);
  d.show();
  EXPECT_EQ(label(&d, ids::kRawFileSize), "( 1,000,000 Bytes )");
  EXPECT_EQ(label(&d, ids::kRawInfo1), "1,000x500x2 + 0 = 1,000,000 Bytes");
  EXPECT_EQ(label(&d, ids::kRawInfo2), "1,000,000 - 1,000x500x2 = 0 Bytes");
  control<QComboBox>(&d, ids::kRawDepth)->setCurrentIndex(0);
  EXPECT_EQ(label(&d, ids::kRawInfo1), "1,000x500x1 + 0 = 500,000 Bytes");
  EXPECT_EQ(label(&d, ids::kRawInfo2), "1,000,000 - 1,000x500x1 = 500,000 Bytes");
  control<QLineEdit>(&d, ids::kRawHeader)->setText("1");
  control<QLineEdit>(&d, ids::kRawWidth)->setText("1");
  control<QLineEdit>(&d, ids::kRawHeight)->setText("0");
  EXPECT_EQ(label(&d, ids::kRawInfo1), "1x0x1 + 1 = 1 Byte");
  // Totals beyond 32 bits.
  control<QComboBox>(&d, ids::kRawDepth)->setCurrentIndex(1);
  control<QLineEdit>(&d, ids::kRawWidth)->setText("60000");
  control<QLineEdit>(&d, ids::kRawHeight)->setText("60000");
  EXPECT_EQ(label(&d, ids::kRawInfo1), "60,000x60,000x2 + 1 = 7200,000,001 Bytes");
  EXPECT_EQ(label(&d, ids::kRawInfo2), "1,000,000 - 60,000x60,000x2 = -7199,000,000 Bytes");
  click(&d, ids::kRawSwap);
  control<QLineEdit>(&d, ids::kRawWidth)->setText("7");
  click(&d, ids::kRawSwap);
  EXPECT_EQ(control<QLineEdit>(&d, ids::kRawWidth)->text(), "60000");
  EXPECT_EQ(control<QLineEdit>(&d, ids::kRawHeight)->text(), "7");
  screenshot(d, "raw_parameters.png");
}

TEST_F(RawDialogTest, SmallerAsksAndLargerRefuses) {
  RawParametersDialog d("plate.raw", 1000000, offered);
  d.show();
  control<QLineEdit>(&d, ids::kRawHeader)->setText("1");
  click(&d, ids::kOk);
  EXPECT_TRUE(d.isVisible());
  ASSERT_EQ(script.asked.size(), 1u);
  EXPECT_EQ(script.asked[0].text, "Image data size with specified parameter is larger than the actual file size.");

  control<QLineEdit>(&d, ids::kRawHeader)->setText("0");
  control<QLineEdit>(&d, ids::kRawWidth)->setText("999");
  script.answers = {Answer::No, Answer::Yes};
  click(&d, ids::kOk);
  EXPECT_TRUE(d.isVisible());
  ASSERT_EQ(script.asked.size(), 2u);
  EXPECT_EQ(script.asked[1].text,
            "Image data size with specified parameter is smaller than the actual file size. Open this file?");
  control<QRadioButton>(&d, ids::kRawMacintosh)->setChecked(true);
  click(&d, ids::kOk);
  EXPECT_FALSE(d.isVisible());
  EXPECT_EQ(d.result(), QDialog::Accepted);
  const auto v = d.values();
  EXPECT_EQ(v.width, 999);
  EXPECT_EQ(v.height, 500);
  EXPECT_EQ(v.byteOrder, 0);
  EXPECT_EQ(v.depthIndex, 2);
}

TEST(OpenDialog, SeveralNamesClearAndDisableTheSeriesBox) {
  CMyFileDialogOpen d(true, "TIFF files(*.tif);;All files(*.*)");
  d.show();
  auto* box = control<QCheckBox>(&d, ids::kOpenSeries);
  auto* names = d.findChild<QLineEdit*>("fileNameEdit");
  ASSERT_TRUE(box && names);
  EXPECT_EQ(box->text(), "Open as a &Series");
  EXPECT_TRUE(box->isChecked());
  EXPECT_TRUE(d.testOption(QFileDialog::DontUseNativeDialog));
  names->setText("\"a.tif\" \"b.tif\"");
  EXPECT_FALSE(box->isChecked());
  EXPECT_FALSE(box->isEnabled());
  EXPECT_FALSE(d.openSeries());
  names->setText("a.tif");
  EXPECT_TRUE(box->isEnabled());
  EXPECT_TRUE(box->isChecked());
  EXPECT_TRUE(d.openSeries());
  box->click();
  EXPECT_FALSE(d.openSeries());
  screenshot(d, "open_dialog.png");
}

TEST(OptionsDialog, PresetsAndDetailsOpenTheWorkingDirectoryDialog) {
  platform::qt::ScriptedPrompt script;
  app_test::ModalScript modal;
  OptionsDialog d(1, 0, 0, "/old", nullptr);
  d.show();
  EXPECT_TRUE(control<QCheckBox>(&d, ids::kShowDicom)->isChecked());
  EXPECT_FALSE(control<QCheckBox>(&d, ids::kUseMih)->isChecked());
  EXPECT_TRUE(control<QRadioButton>(&d, ids::kTypeDicom)->isHidden());
  EXPECT_TRUE(control<QRadioButton>(&d, ids::kTypeTiff)->isHidden());
  testsupport::TempDir dir;
  const std::string folder = dir.path().string();
  modal.handlers.push_back([&](QDialog* w) {
    control<QCheckBox>(w, ids::kStandardWorkDir)->click();
    control<QLineEdit>(w, ids::kWorkDirEdit)->setText(QString::fromStdString(folder));
    control<QPushButton>(w, ids::kOk)->click();
  });
  click(&d, ids::kDetails);
  EXPECT_EQ(modal.titles, (std::vector<QString>{"Set Working Directory..."}));
  EXPECT_TRUE(d.workDirChanged);
  EXPECT_EQ(d.usePrivateTemp, 1);
  EXPECT_EQ(d.privateTempPath, folder);
  control<QCheckBox>(&d, ids::kUseMih)->click();
  click(&d, ids::kOk);
  EXPECT_EQ(d.useMih(), 1);
  EXPECT_EQ(d.showDicom(), 1);
  ASSERT_EQ(script.asked.size(), 1u);
  EXPECT_EQ(script.asked[0].text, "Your changes will be reflected from next startup.");
  screenshot(d, "options.png");
}

TEST(WorkDirDialog, AMissingFolderIsQuestionedAndNoKeepsTheDialogOpen) {
  platform::qt::ScriptedPrompt script;
  WorkDirDialog d(1, "/no/such/folder");
  d.show();
  auto* box = control<QCheckBox>(&d, ids::kStandardWorkDir);
  auto* edit = control<QLineEdit>(&d, ids::kWorkDirEdit);
  EXPECT_FALSE(box->isChecked());
  EXPECT_TRUE(edit->isEnabled());
  box->click();
  EXPECT_FALSE(edit->isEnabled());
  box->click();
  script.answers = {Answer::No};
  click(&d, ids::kOk);
  EXPECT_TRUE(d.isVisible());
  ASSERT_EQ(script.asked.size(), 1u);
  EXPECT_EQ(script.asked[0].text, "Folder not found. Are you sure?");
  EXPECT_EQ(script.asked[0].caption, "Change working directory");
  EXPECT_EQ(script.asked[0].buttons, platform::qt::Buttons::YesNo);
  script.answers = {Answer::Yes};
  click(&d, ids::kOk);
  EXPECT_FALSE(d.isVisible());
  EXPECT_EQ(d.result(), QDialog::Accepted);
  EXPECT_EQ(d.usePrivateTemp(), 1);
  EXPECT_EQ(d.privateTempPath(), "/no/such/folder");
  EXPECT_EQ(script.asked.back().text, "Your changes will be reflected from next startup.");
  screenshot(d, "working_directory.png");
}
