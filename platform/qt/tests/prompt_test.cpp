#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialog>
#include <QPushButton>

#include "platform/qt/control.h"
#include "platform/qt/prompt.h"

namespace platform::qt {
namespace {

TEST(ScriptedPrompt, AnswersInOrderThenTheFirstButtonAndRecordsEveryQuestion) {
  ScriptedPrompt scripted;
  scripted.answers = {Answer::No, Answer::Cancel};
  EXPECT_EQ(&prompt(), &scripted);
  EXPECT_EQ(prompt().message(nullptr, "Apply Changes?", "SCAN", Icon::Question, Buttons::YesNo), Answer::No);
  EXPECT_EQ(prompt().message(nullptr, "b", "c", Icon::Warning, Buttons::OkCancel), Answer::Cancel);
  EXPECT_EQ(prompt().message(nullptr, "d", "e", Icon::Warning, Buttons::YesNoCancel), Answer::Yes);
  EXPECT_EQ(prompt().message(nullptr, "f", "g", Icon::None, Buttons::Ok), Answer::Ok);
  ASSERT_EQ(scripted.asked.size(), 4u);
  EXPECT_EQ(scripted.asked[0].text, "Apply Changes?");
  EXPECT_EQ(scripted.asked[0].caption, "SCAN");
  EXPECT_EQ(scripted.asked[1].icon, Icon::Warning);
  EXPECT_EQ(scripted.asked[2].buttons, Buttons::YesNoCancel);
}

TEST(ScriptedPrompt, FileChoosersCancelWhenNothingIsQueued) {
  ScriptedPrompt scripted;
  scripted.fileAnswers = {"/tmp/a.dcm"};
  EXPECT_EQ(prompt().openFileName(nullptr, "Open", "/tmp", "*.dcm"), "/tmp/a.dcm");
  EXPECT_EQ(prompt().saveFileName(nullptr, "Save", "/tmp", "*.dcm"), "");
  EXPECT_EQ(scripted.fileCaptions, (std::vector<QString>{"Open", "Save"}));
}

TEST(ScriptedPrompt, NestedScriptsRestoreTheOuterOne) {
  ScriptedPrompt outer;
  {
    ScriptedPrompt inner;
    EXPECT_EQ(&prompt(), &inner);
  }
  EXPECT_EQ(&prompt(), &outer);
}

TEST(Control, FindsAChildByIdAndType) {
  QDialog dialog;
  auto* button = new QPushButton("&Scan", &dialog);
  setControlId(button, 1022);
  auto* box = new QCheckBox("Auto scan", &dialog);
  setControlId(box, 1000);
  EXPECT_EQ(control<QPushButton>(&dialog, 1022), button);
  EXPECT_EQ(control<QCheckBox>(&dialog, 1000), box);
  EXPECT_EQ(control<QPushButton>(&dialog, 1000), nullptr);  // the id exists, the type differs
  EXPECT_EQ(control<QPushButton>(&dialog, 1054), nullptr);
  EXPECT_EQ(control<QPushButton>(nullptr, 1022), nullptr);
}

}  // namespace
}  // namespace platform::qt
