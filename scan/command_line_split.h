// Splits a command line into arguments by the rules Windows programs use
// (CommandLineToArgvW): the first argument, the program, runs from an opening
// quote to the next quote, or else to the first blank, with no backslash
// rules; later arguments follow the backslash-and-quote rules. An empty line
// gives no arguments.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> SplitCommandLine(const std::string& line);
