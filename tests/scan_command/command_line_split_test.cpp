#include <gtest/gtest.h>

#include "scan/command_line_split.h"
#include "tests/scan_command/split_cases.h"

TEST(SplitCommandLine, FollowsTheWindowsRules) {
  for (const SplitCase& known : KnownSplitCases())
    EXPECT_EQ(SplitCommandLine(known.line), known.args) << "line: " << known.line;
}

TEST(SplitCommandLine, EmptyLineGivesNoArguments) { EXPECT_TRUE(SplitCommandLine("").empty()); }
