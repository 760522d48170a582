// The system's own reading of a command line (CommandLineToArgvW), the
// reference the project's quoting and splitting are held against. Windows only.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

// The arguments CommandLineToArgvW finds in line (UTF-8); empty when it fails.
std::vector<std::string> CommandLineToArgs(const std::string& line);

}  // namespace testing_support
