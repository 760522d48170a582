#include "base/long_path_win.h"

#include <windows.h>

namespace {

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.rfind(prefix, 0) == 0;
}

// The absolute, normalised path, or empty when the system cannot make one.
std::wstring FullPath(const std::wstring& path) {
  DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  for (int attempt = 0; attempt < 3 && size != 0; ++attempt) {
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0) break;
    if (length < size) {
      full.resize(length);
      return full;
    }
    size = length;  // the current folder changed in between: try with the new size
  }
  return std::wstring();
}

}  // namespace

std::wstring ExtendedLengthPath(const std::wstring& path) {
  if (StartsWith(path, L"\\\\?\\")) return path;
  const std::wstring full = FullPath(path);
  if (full.empty()) return path;
  if (StartsWith(full, L"\\\\?\\") || StartsWith(full, L"\\\\.\\")) return full;
  if (StartsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}
