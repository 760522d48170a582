#include <windows.h>
#include <shellapi.h>

#include "shell_open.h"
#include "utf_win.h"

namespace {

// The shell's own failure codes (32 and below) as system error values, for
// when it leaves no error value of its own.
SystemErrorCode ErrorOfShellResult(INT_PTR result) {
  switch (result) {
    case 0:
    case SE_ERR_OOM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case SE_ERR_FNF:
      return ERROR_FILE_NOT_FOUND;
    case SE_ERR_PNF:
      return ERROR_PATH_NOT_FOUND;
    case SE_ERR_ACCESSDENIED:
      return ERROR_ACCESS_DENIED;
    case ERROR_BAD_FORMAT:
      return ERROR_BAD_FORMAT;
    case SE_ERR_SHARE:
      return ERROR_SHARING_VIOLATION;
    case SE_ERR_ASSOCINCOMPLETE:
    case SE_ERR_NOASSOC:
      return ERROR_NO_ASSOCIATION;
    case SE_ERR_DDETIMEOUT:
    case SE_ERR_DDEFAIL:
    case SE_ERR_DDEBUSY:
      return ERROR_DDE_FAIL;
    case SE_ERR_DLLNOTFOUND:
      return ERROR_DLL_NOT_FOUND;
    default:
      return ERROR_GEN_FAILURE;
  }
}

}  // namespace

bool OpenWithShell(const std::string& path, void* ownerWindow, SystemErrorCode* error) {
  // Cleared first, so that a value read afterwards comes from this call.
  SetLastError(ERROR_SUCCESS);
  const INT_PTR result = reinterpret_cast<INT_PTR>(ShellExecuteW(static_cast<HWND>(ownerWindow),
                                                                 L"open", Widen(path).c_str(),
                                                                 nullptr, nullptr, SW_SHOWNORMAL));
  if (result > 32) {
    if (error != nullptr) *error = 0;
    return true;
  }
  SystemErrorCode code = GetLastError();
  if (code == 0) code = ErrorOfShellResult(result);
  if (error != nullptr) *error = code;
  SetLastError(code);
  return false;
}
