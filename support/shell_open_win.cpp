#include <windows.h>
#include <shellapi.h>

#include "support/shell_open.h"
#include "base/utf_win.h"

// ShellExecuteW tells at once: there is no late failure.
bool OpenWithShell(const std::string& path, void* ownerWindow, SystemError* error,
                   const LateOpenFailure&) {
  // Cleared first, so that a value read afterwards comes from this call.
  SetLastError(ERROR_SUCCESS);
  const INT_PTR result = reinterpret_cast<INT_PTR>(ShellExecuteW(static_cast<HWND>(ownerWindow),
                                                                 L"open", Widen(path).c_str(),
                                                                 nullptr, nullptr, SW_SHOWNORMAL));
  if (result > 32) {
    if (error != nullptr) *error = {};
    return true;
  }
  // Only the system's own value: with none (0) the box shows the caller's
  // text alone, no code made up from the shell's result.
  const SystemErrorCode code = GetLastError();
  if (error != nullptr) *error = {code, {}};
  SetLastError(code);
  return false;
}
