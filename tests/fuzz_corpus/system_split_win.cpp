#include "tests/fuzz_corpus/system_split.h"
#include "tests/support/command_line_to_argv_win.h"

std::optional<LineSplitter> SystemSplitter() {
  return LineSplitter(testing_support::CommandLineToArgs);
}
