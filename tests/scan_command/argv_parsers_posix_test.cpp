#include "tests/scan_command/argv_parsers.h"

#include "scan/command_line_split.h"

std::vector<ArgvParser> ArgvParsers() { return {{"SplitCommandLine", SplitCommandLine}}; }
