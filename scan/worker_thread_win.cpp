// The worker is a thread of the system's own making. A detached std::thread
// of the mingw runtime (winpthreads) may never start under Wine after a few
// hundred threads in one process; CreateThread has no such limit.
#include "scan/worker_thread.h"

#include <windows.h>

#include <memory>
#include <new>
#include <utility>

namespace {

DWORD WINAPI RunWork(void* parameter) {
  const std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(parameter));
  (*work)();
  return 0;
}

}  // namespace

bool StartDetachedThread(std::function<void()> work, SystemErrorCode* error) {
  auto* owned = new (std::nothrow) std::function<void()>(std::move(work));
  if (!owned) {
    if (error) *error = ERROR_NOT_ENOUGH_MEMORY;
    return false;
  }
  const HANDLE thread = CreateThread(nullptr, 0, RunWork, owned, 0, nullptr);
  if (!thread) {
    if (error) *error = GetLastError();
    delete owned;
    return false;
  }
  CloseHandle(thread);
  return true;
}
