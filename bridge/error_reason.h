// Why an operation failed, in the user's words: the common reasons in
// Chinese, the rest as the system says them.
#pragma once

#include <string>

namespace bridge {

// The reason for an errno value.
std::string ErrnoReason(int errnoValue);

// Windows: the reason for a GetLastError() code, with the code after it
// ("... (1234)") where the system's own text stands.
std::string WindowsErrorReason(unsigned long code);

}  // namespace bridge
