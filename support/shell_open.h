// Opening a document with the program the desktop associates with it
// (ShellExecuteW "open" on Windows, the desktop's default viewer elsewhere).
#pragma once

#include <functional>
#include <string>

#include "base/system_error.h"

// Called on the program's UI thread when an opener that started fails after
// all, with its exit status and, where it said why, its words.
using LateOpenFailure = std::function<void(const SystemError&)>;

// ownerWindow: the native window that owns any message the shell shows (may
// be null). False on failure, with the system's error value in *error (0 when
// the system gives none) and, where the desktop's opener said why, its words.
// Where the desktop's opener is a program of its own (Linux), true once it
// has started: the caller does not wait for it, and its failure comes later
// through lateFailure (while the program's event loop runs).
bool OpenWithShell(const std::string& path, void* ownerWindow, SystemError* error,
                   const LateOpenFailure& lateFailure = {});
