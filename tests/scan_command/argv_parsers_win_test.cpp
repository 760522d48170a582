#include <windows.h>

#include <gtest/gtest.h>

#include "tests/scan_command/argv_parsers.h"
#include "scan/command_line_split.h"
#include "tests/scan_command/split_cases.h"
#include "tests/support/command_line_to_argv_win.h"

std::vector<ArgvParser> ArgvParsers() {
  return {{"SplitCommandLine", SplitCommandLine},
          {"CommandLineToArgvW", testing_support::CommandLineToArgs}};
}

// The table the splitter is tested against is the system's own behaviour.
TEST(CommandLineToArgvW, AgreesWithTheKnownCases) {
  for (const SplitCase& known : KnownSplitCases())
    EXPECT_EQ(testing_support::CommandLineToArgs(known.line), known.args) << "line: " << known.line;
}
