// The scan's worker thread: started detached, nothing waits for it; it ends
// on its own when the scanner has ended.
#pragma once

#include <functional>

#include "base/system_error.h"

// Starts work on a thread of its own; false, with the system's error code
// in *error, when no thread could be made.
bool StartDetachedThread(std::function<void()> work, SystemErrorCode* error);
