// The system's reasons in the user's words.
#pragma once

#include <string>

namespace bridge {

// The reason for an errno value: the common ones in Chinese, the rest as the
// system says them.
std::string SystemErrorText(int errnoValue);

#ifdef _WIN32
// The reason for a GetLastError() code, the same way.
std::string WindowsErrorText(unsigned long code);
#endif

}  // namespace bridge
