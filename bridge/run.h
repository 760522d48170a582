// The whole run of the bridge: the request, the walk, the engine, the ledger.
#pragma once

#include <string>
#include <vector>

#include "bridge/ledger_writer.h"

namespace bridge {

// Reads args (argv without the program name), scans and returns the exit
// code. A stop ends the process at once with 102, the report finished.
int RunBridge(const std::vector<std::string>& args, const Printer& print);

}  // namespace bridge
