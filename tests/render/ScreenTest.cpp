#include <gtest/gtest.h>

#include "support/LogCapture.h"

TEST(LogLine, WritesWholeLinesToTheLogChannel) {
    LogCapture log;
    LogLine("first");
    LogLine("");
    LogLine("Version:  150");
    EXPECT_EQ(log.text(), "first\n\nVersion:  150\n");
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"first", "", "Version:  150"}));
}
