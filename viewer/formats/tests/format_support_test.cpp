#include "viewer/formats/format_support.h"

#include <gtest/gtest.h>

#include "format_test_util.h"

using namespace viewer::formats;

TEST(FailureList, LinesNameTheFileTheReasonAndItsDetail) {
  FailureList list;
  list.beginRead();
  list.setNotSupported("(2FFFFFFFF2A)");
  list.addCurrent("a.tif");
  list.beginRead();
  list.addCurrent("b.raw");  // a reader that left no reason
  list.setReason(kOutOfMemory);
  list.addCurrent("c.dcm");
  ASSERT_EQ(list.count(), 3);
  EXPECT_EQ(list.lines()[0], "a.tif          Not supported(2FFFFFFFF2A)");
  EXPECT_EQ(list.lines()[1], "b.raw          Unknown reason");
  EXPECT_EQ(list.lines()[2], "c.dcm          Out of Memory");
  EXPECT_TRUE(list.outOfMemory());
  list.clear();
  EXPECT_EQ(list.count(), 0);
  EXPECT_FALSE(list.outOfMemory());
}

TEST(JpegQuality, AnAcceptedAnswerBecomesTheSetting) {
  formats_test::ScriptedPrompt prompt;
  settings().jpegQuality = 75;
  prompt.qualityAnswers = {85, 96};
  EXPECT_TRUE(chooseJpegQuality());
  EXPECT_EQ(settings().jpegQuality, 85);
  EXPECT_FALSE(chooseJpegQuality());  // above the dialog's range
  EXPECT_EQ(settings().jpegQuality, 85);
  EXPECT_FALSE(chooseJpegQuality());  // cancelled
  EXPECT_EQ(prompt.offeredQualities, (std::vector<int>{75, 85, 85}));
  settings().jpegQuality = 75;
}
