#include "base/system_error.h"

#include <cstring>

namespace {

// strerror_r comes in two shapes: the XSI one returns an int and fills the
// buffer, the GNU one returns the text (which may or may not be the buffer).
[[maybe_unused]] const char* PickText(int result, const char* buffer) {
  return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* PickText(const char* result, const char*) { return result; }

// Whether the C library knows code at all; it would otherwise still produce
// an "Unknown error N" text, which tells the user nothing.
bool IsKnownError(int code) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
  return strerrorname_np(code) != nullptr;
#else
  return code > 0;
#endif
}

}  // namespace

std::string SystemErrorText(SystemErrorCode code) {
  const int value = static_cast<int>(code);
  if (value == 0 || !IsKnownError(value)) return std::string();
  char buffer[256] = {};
  const char* text = PickText(strerror_r(value, buffer, sizeof buffer), buffer);
  return text != nullptr ? std::string(text) : std::string();
}
