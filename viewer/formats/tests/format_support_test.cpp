#include "viewer/formats/format_support.h"

#include <gtest/gtest.h>

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
