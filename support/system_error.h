// The system's error value of a failed operation (GetLastError on Windows,
// errno elsewhere), captured by the caller right after the failure and carried
// to the error box, so that nothing in between can overwrite it.
#pragma once

#include <cstdint>
#include <string>

using SystemErrorCode = uint32_t;

// The system's description of code, or the empty string when it has none.
std::string SystemErrorText(SystemErrorCode code);
