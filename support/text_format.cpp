#include "text_format.h"

#include <cstdarg>
#include <cstdio>

std::string FormatText(const char* pattern, ...) {
  va_list args;
  va_start(args, pattern);
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, pattern, measure);
  va_end(measure);
  std::string result;
  if (length > 0) {
    result.resize(static_cast<size_t>(length) + 1);
    std::vsnprintf(result.data(), result.size(), pattern, args);
    result.resize(static_cast<size_t>(length));
  }
  va_end(args);
  return result;
}
