#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>

#include "platform/qt/control.h"
#include "platform/qt/prompt.h"
#include "platform/qt/testing/message_box.h"

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

TEST(QtPrompt, EveryButtonOfEveryButtonSetAnswersWhatItSays) {
  using SB = QMessageBox::StandardButton;
  constexpr SB kEscape = SB::NoButton;  // the Escape key instead of a button
  constexpr SB kReturn = SB::NoToAll;   // the Return key on the box
  struct Press {
    SB button;
    Answer answer;
  };
  struct Case {
    Buttons buttons;
    QMessageBox::StandardButtons shown;
    std::vector<Press> presses;
  } cases[] = {
      {Buttons::Ok, SB::Ok, {{SB::Ok, Answer::Ok}, {kEscape, Answer::Ok}, {kReturn, Answer::Ok}}},
      {Buttons::OkCancel,
       SB::Ok | SB::Cancel,
       {{SB::Ok, Answer::Ok}, {SB::Cancel, Answer::Cancel}, {kEscape, Answer::Cancel}, {kReturn, Answer::Ok}}},
      {Buttons::YesNo,
       SB::Yes | SB::No,
       {{SB::Yes, Answer::Yes}, {SB::No, Answer::No}, {kEscape, Answer::No}, {kReturn, Answer::Yes}}},
      {Buttons::YesNoCancel,
       SB::Yes | SB::No | SB::Cancel,
       {{SB::Yes, Answer::Yes},
        {SB::No, Answer::No},
        {SB::Cancel, Answer::Cancel},
        {kEscape, Answer::Cancel},
        {kReturn, Answer::Yes}}},
  };
  QtPrompt real;
  for (const Case& c : cases) {
    for (const Press& p : c.presses) {
      const std::string label = std::to_string(int(c.buttons)) + "/" + std::to_string(int(p.button));
      testing::BoxSeen seen;
      testing::answerTheNextBox(p.button == kEscape   ? testing::pressing(p.button, Qt::Key_Escape)
                                : p.button == kReturn ? testing::pressing(p.button, Qt::Key_Return)
                                                      : testing::pressing(p.button),
                                seen);
      const Answer answer = real.message(nullptr, "Are you sure?", "HalcyoneScan", Icon::Question, c.buttons);
      ASSERT_TRUE(seen.found) << label;
      EXPECT_FALSE(seen.stuck) << label;
      EXPECT_EQ(seen.text, "Are you sure?") << label;
      EXPECT_EQ(seen.caption, "HalcyoneScan") << label;
      EXPECT_EQ(seen.buttons, c.shown) << label;
      EXPECT_EQ(answer, p.answer) << label;
    }
  }
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
