#include "log/log.h"

#include <gtest/gtest.h>

TEST(Levels, Defaults) {
  Log::Clogfile log;
  EXPECT_EQ(log.getLogLevel(), 3);
}
