#include "argv_parsers.h"

#include "command_line_split.h"

std::vector<ArgvParser> ArgvParsers() { return {{"SplitCommandLine", SplitCommandLine}}; }
