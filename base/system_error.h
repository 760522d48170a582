// The system's error value of a failed operation (GetLastError on Windows,
// errno elsewhere), captured by the caller right after the failure and carried
// to the error box, so that nothing in between can overwrite it.
#pragma once

#include <cstdint>
#include <string>

using SystemErrorCode = uint32_t;

// A failure as the error box shows it: the system's error value and, when
// the failure came with words of its own (the message of a helper program
// such as the desktop's opener), those words in place of the system's text
// for the value.
struct SystemError {
  SystemErrorCode code = 0;
  std::string description;
};

// The system's description of code, or the empty string when it has none.
std::string SystemErrorText(SystemErrorCode code);
