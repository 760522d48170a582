#include "base/system_error.h"

#include <windows.h>

#include "base/utf_win.h"

std::string SystemErrorText(SystemErrorCode code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&buffer),
      0, nullptr);
  if (buffer == nullptr) return std::string();
  // The system's text keeps its own trailing line break.
  std::string text = Narrow(std::wstring_view(buffer, length));
  LocalFree(buffer);
  return text;
}
