// The ways a command line is turned back into arguments in the tests: the
// program's own splitter everywhere, and on Windows also the system's
// CommandLineToArgvW, so that a built line is proven on both.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct ArgvParser {
  const char* name;
  std::function<std::vector<std::string>(const std::string& line)> parse;
};

std::vector<ArgvParser> ArgvParsers();
