// Splits a command line into arguments by the rules Windows programs use
// (CommandLineToArgvW): the first argument ends at the first blank outside
// quotes and takes its quotes literally as delimiters; later arguments
// follow the backslash-and-quote rules.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> SplitCommandLine(const std::string& line);
