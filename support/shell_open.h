// Opening a document with the program the desktop associates with it
// (ShellExecuteW "open" on Windows, the desktop's default viewer elsewhere).
#pragma once

#include <string>

#include "support/system_error.h"

// ownerWindow: the native window that owns any message the shell shows (may
// be null). False on failure, with the system's error value in *error (0 when
// the system gives none) and, where the desktop's opener said why, its words.
bool OpenWithShell(const std::string& path, void* ownerWindow, SystemError* error);
