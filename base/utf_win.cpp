#include "base/utf_win.h"

#include <windows.h>

#include <climits>

// Both directions convert in two passes: measure, then fill. Ill-formed input
// (broken UTF-8, lone surrogates) becomes U+FFFD rather than failing, so a
// path never vanishes on the way to the system.

std::wstring Widen(std::string_view utf8) {
  if (utf8.empty() || utf8.size() > static_cast<size_t>(INT_MAX)) return std::wstring();
  const int inLength = static_cast<int>(utf8.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), inLength, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), inLength, wide.data(), length);
  return wide;
}

std::string Narrow(std::wstring_view utf16) {
  if (utf16.empty() || utf16.size() > static_cast<size_t>(INT_MAX)) return std::string();
  const int inLength = static_cast<int>(utf16.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, utf16.data(), inLength, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), inLength, narrow.data(), length, nullptr, nullptr);
  return narrow;
}
