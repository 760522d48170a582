#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include "argv_parsers.h"
#include "command_line_split.h"
#include "split_cases.h"
#include "utf_win.h"

namespace {

std::vector<std::string> SystemSplit(const std::string& line) {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(Widen(line).c_str(), &count);
  std::vector<std::string> args;
  if (argv == nullptr) return args;
  for (int i = 0; i < count; ++i) args.push_back(Narrow(argv[i]));
  LocalFree(argv);
  return args;
}

}  // namespace

std::vector<ArgvParser> ArgvParsers() {
  return {{"SplitCommandLine", SplitCommandLine}, {"CommandLineToArgvW", SystemSplit}};
}

// The table the splitter is tested against is the system's own behaviour.
TEST(CommandLineToArgvW, AgreesWithTheKnownCases) {
  for (const SplitCase& known : KnownSplitCases())
    EXPECT_EQ(SystemSplit(known.line), known.args) << "line: " << known.line;
}
