// libFuzzer target: for any target, report path, move directory, scanner
// folder and choice of switches, the built command line splits back (by the
// Windows rules the program starts the scanner with) into exactly the
// intended arguments. See command_line_case.h for how bytes become a request.
#include <cstdio>
#include <cstdlib>

#include "fuzz/command_line_case.h"
#include "scan/command_line_split.h"
#include "scan/scan_command.h"

namespace {

void Fail(const std::string& line, const std::vector<std::string>& expected,
          const std::vector<std::string>& got) {
  std::fprintf(stderr, "line: [%s]\nexpected %zu arguments:\n", line.c_str(), expected.size());
  for (const std::string& argument : expected) std::fprintf(stderr, "  [%s]\n", argument.c_str());
  std::fprintf(stderr, "split into %zu:\n", got.size());
  for (const std::string& argument : got) std::fprintf(stderr, "  [%s]\n", argument.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const CommandLineCase request = DecodeCommandLineCase(data, size);
  const std::string line = ComposeScanCommandLine(request.settings, request.scannerPath);
  const std::vector<std::string> expected = request.ExpectedArguments();
  const std::vector<std::string> split = SplitCommandLine(line);
  if (split != expected) Fail(line, expected, split);
  return 0;
}
