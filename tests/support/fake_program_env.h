// For the stand-in programs of the tests (fake scanner, fake clamscan): the
// environment that steers them, as UTF-8.
#pragma once

#include <cstdlib>
#include <string>

#if defined(_WIN32)
#include "base/utf_win.h"
#endif

namespace fake_program {

#if defined(_WIN32)
inline std::string Environment(const char* name) {
  const std::wstring wideName(name, name + std::char_traits<char>::length(name));
  const wchar_t* value = _wgetenv(wideName.c_str());
  return value ? Narrow(value) : std::string();
}
#else
inline std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}
#endif

}  // namespace fake_program
