#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QLineEdit>

#include "modal_script.h"
#include "platform/qt/control.h"
#include "platform/qt/prompt.h"
#include "testsupport/testsupport.h"
#include "viewer/app/control_ids.h"
#include "viewer/app/dialogs.h"

using namespace viewer::app;
using platform::qt::Answer;
namespace fs = std::filesystem;

namespace {

QLineEdit* nameBox(QFileDialog& d) { return d.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); }

TEST(SaveDialog, ChangingTheTypeSwapsTheExtension) {
  const struct {
    const char* name;
    int type;
    const char* after;
  } cases[] = {{"IMAGE001.TIF", 7, "IMAGE001.BMP"}, {"IMAGE001.TIF", 3, "IMAGE001.DCM"},
               {"IMAGE001", 7, "IMAGE001"}, {"\"a.tif\" \"b.tif\"", 8, "\"a.tif\" \"b.tif\""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int newFolder = 0;
    SaveCheckContext context;
    context.saveNewFolder = &newFolder;
    CMyFileDialog d("Save Replica", 1, "", context);
    auto* types = d.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(types, nullptr);
    ASSERT_NE(nameBox(d), nullptr);
    nameBox(d)->setText(c.name);
    // As a pick in the list: the index changes, then the list reports the activation.
    types->setCurrentIndex(c.type - 1);
    emit types->activated(c.type - 1);
    EXPECT_EQ(nameBox(d)->text(), c.after);
    EXPECT_EQ(d.selectedType(), c.type);
  }
}

TEST(SaveDialog, TheNewFolderBoxStartsFromTheSettingAndProposesAFreeName) {
  testsupport::TempDir dir;
  fs::create_directory(dir / "IMG001");
  testsupport::writeFile(dir / "IMG002", "a file takes the name too");
  int newFolder = 1;
  SaveCheckContext context;
  context.saveNewFolder = &newFolder;
  CMyFileDialog d("Save", 1, "IMAGE001.TIF", context);
  auto* box = platform::qt::control<QCheckBox>(&d, ids::kSaveNewFolder);
  auto* folder = platform::qt::control<QLineEdit>(&d, ids::kNewFolderName);
  ASSERT_TRUE(box && folder);
  EXPECT_TRUE(box->isChecked());
  EXPECT_TRUE(folder->isEnabled());
  // As when the operator moves into the folder.
  const QString folderPath = QString::fromStdString(dir.path().string());
  d.setDirectory(folderPath);
  emit d.directoryEntered(folderPath);
  EXPECT_EQ(folder->text(), "IMG003");
  box->click();
  EXPECT_FALSE(folder->isEnabled());
  // Accepting stores the box into the setting.
  ASSERT_TRUE(d.checkName(QString::fromStdString((dir / "IMAGE001.TIF").string())));
  EXPECT_EQ(newFolder, 0);
  EXPECT_FALSE(d.inNewFolder());
}

TEST(SaveDialog, TheChainOfChecksBeforeItCloses) {
  testsupport::TempDir dir;
  fs::create_directory(dir / "work");
  testsupport::writeFile(dir / "taken002.tif", "x");
  fs::create_directory(dir / "IMG005");
  enum Dialogs { None, Accept, Reject };
  const struct {
    const char* name;
    int type;
    int images;
    bool deep;
    bool studyValid;
    bool newFolder;
    Answer answer;     // to a Yes/No question
    Dialogs dialog;    // how a dialog the check opens is answered
    bool accepted;
    const char* asked;  // the message shown, or empty
    const char* dialogTitle;
  } cases[] = {
      {"scan.tif", 1, 3, false, true, false, Answer::Yes, None, false,
       "To save two or more images, filenames should include numbers.", ""},
      {"scan01.tif", 1, 3, false, true, false, Answer::Yes, None, true, "", ""},
      {"a.tiff", 1, 1, false, true, false, Answer::Yes, None, false, "Use .dcm, .tif, .bmp, .pgm or .raw as extension.", ""},
      {"a.jpeg", 4, 1, false, true, false, Answer::Yes, None, false, "Use .dcm, .tif, .bmp, .pgm or .raw as extension.", ""},
      {"work/IMAGE001.TIF", 1, 1, false, true, false, Answer::Yes, None, false,
       "Selected folder is reserved for work space.\nPlease select another folder to save.", ""},
      {"taken001.tif", 1, 3, false, true, false, Answer::No, None, false,
       "The new filename is already assigned.\nAre you sure to overwrite?", ""},
      {"taken001.tif", 1, 3, false, true, false, Answer::Yes, None, true,
       "The new filename is already assigned.\nAre you sure to overwrite?", ""},
      {"IMAGE001.PGM", 8, 1, true, true, false, Answer::Yes, Accept, true, "", "Convert to 8-bit and save"},
      {"IMAGE001.BMP", 7, 1, true, true, false, Answer::Yes, Reject, false, "", "Convert to 8-bit and save"},
      {"IMAGE001.TIF", 1, 1, true, true, false, Answer::Yes, None, true, "", ""},
      {"IMAGE001.BMP", 7, 1, false, true, false, Answer::Yes, None, true, "", ""},
      {"IMAGE001.JPG", 4, 1, false, true, false, Answer::Yes, Reject, false, "", "Settings of the JPEG Compression"},
      {"IMAGE001.DCM", 2, 1, false, false, false, Answer::Yes, None, false, "", ""},
      {"IMAGE001.TIF", 1, 1, false, true, true, Answer::Yes, None, false, "The folder already exist.\nUse another name.", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform::qt::ScriptedPrompt prompts;
    prompts.answers = {c.answer};
    app_test::ModalScript modals;
    if (c.dialog != None)
      modals.handlers.push_back([&c](QDialog* d) {
        if (c.dialog == Accept) d->accept();
        else d->reject();
      });
    int newFolder = c.newFolder ? 1 : 0;
    int quality = 75;
    SaveCheckContext context;
    context.workRoot = dir / "work";
    context.imagesToSave = c.images;
    context.deepImages = c.deep;
    context.studyDataValid = c.studyValid;
    context.saveNewFolder = &newFolder;
    context.jpegQuality = &quality;
    CMyFileDialog d("Save", c.type, "", context);
    d.setDirectory(QString::fromStdString(dir.path().string()));
    if (c.newFolder) platform::qt::control<QLineEdit>(&d, ids::kNewFolderName)->setText("IMG005");
    EXPECT_EQ(d.checkName(QString::fromStdString((dir / c.name).string())), c.accepted);
    if (*c.asked) {
      ASSERT_EQ(prompts.asked.size(), 1u);
      EXPECT_EQ(prompts.asked[0].text, c.asked);
    } else {
      EXPECT_TRUE(prompts.asked.empty());
    }
    if (*c.dialogTitle) {
      ASSERT_EQ(modals.titles.size(), 1u);
      EXPECT_EQ(modals.titles[0], c.dialogTitle);
    } else {
      EXPECT_TRUE(modals.titles.empty());
    }
    if (c.accepted) {
      EXPECT_EQ(d.typeIndex(), c.type);
    }
  }
}

TEST(SaveDialog, InvalidStudyDataAreEditedAndDicondeJpegAsksItsQuality) {
  testsupport::TempDir dir;
  const struct {
    int type;
    bool edited;
    bool accepted;
    std::size_t dialogs;
  } cases[] = {{2, true, true, 0}, {2, false, false, 0}, {3, true, true, 1}};
  for (const auto& c : cases) {
    app_test::ModalScript modals;
    modals.handlers.push_back([](QDialog* d) { d->accept(); });
    int quality = 80, newFolder = 0, edits = 0;
    SaveCheckContext context;
    context.studyDataValid = false;
    context.saveNewFolder = &newFolder;
    context.jpegQuality = &quality;
    context.editStudyData = [&] {
      ++edits;
      return c.edited;
    };
    CMyFileDialog d("Save", c.type, "", context);
    EXPECT_EQ(d.checkName(QString::fromStdString((dir / "IMAGE001.DCM").string())), c.accepted) << c.type;
    EXPECT_EQ(edits, 1);
    EXPECT_EQ(modals.titles.size(), c.dialogs) << c.type;
    if (c.accepted) {
      EXPECT_EQ(d.dicondeJpeg(), c.type == 3);
    }
  }
}

TEST(SaveDialog, ConfirmationTakesAnotherTextAndCaption) {
  ConfirmationDialog d;
  auto* textLabel = platform::qt::control<QLabel>(&d, ids::kNoticeText);
  ASSERT_NE(textLabel, nullptr);
  EXPECT_EQ(textLabel->text(), "These images are not saved");
  d.setText("Other");
  d.setCloseCaption("&Delete");
  EXPECT_EQ(textLabel->text(), "Other");
  EXPECT_EQ(platform::qt::control<QPushButton>(&d, ids::kOk)->text(), "&Delete");
  const fs::path shots(SCREENSHOT_DIR);
  fs::create_directories(shots);
  ConvertTo8BitDialog convert;
  convert.grab().save(QString::fromStdString((shots / "convert_to_8bit.png").string()));
  int newFolder = 1;
  SaveCheckContext context;
  context.saveNewFolder = &newFolder;
  CMyFileDialog save("Save Replica", 1, "IMAGE001.TIF", context);
  save.resize(800, 500);
  save.grab().save(QString::fromStdString((shots / "save_dialog.png").string()));
}

}  // namespace
