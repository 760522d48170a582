// For the stand-in programs of the tests (fake scanner, fake clamscan): text
// from the system as UTF-8, and the environment that steers them. Header only,
// so the programs need no library.
#pragma once

#include <cstdlib>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace fake_program {

#if defined(_WIN32)
inline std::string ToUtf8(const wchar_t* text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return {};
  std::string result(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), length, nullptr, nullptr);
  result.resize(static_cast<size_t>(length - 1));
  return result;
}

inline std::string Environment(const char* name) {
  const std::wstring wideName(name, name + std::char_traits<char>::length(name));
  const wchar_t* value = _wgetenv(wideName.c_str());
  return value ? ToUtf8(value) : std::string();
}
#else
inline std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}
#endif

}  // namespace fake_program
