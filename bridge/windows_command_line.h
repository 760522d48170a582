// The command line that starts clamscan.exe.
#pragma once

#include <string>
#include <vector>

namespace bridge {

// A command line for CreateProcessW whose arguments the child's C runtime
// splits back into args exactly, and clamscan.exe too (each argument quoted)
// as long as none holds a quote or ends with a backslash.
std::string WindowsCommandLine(const std::string& program, const std::vector<std::string>& args);

}  // namespace bridge
