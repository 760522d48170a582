#include "base/text_format.h"

#include <cstdarg>

namespace {

void AppendNumber(std::string* out, unsigned long long value, unsigned base, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  char buffer[24];
  size_t length = 0;
  do {
    buffer[length++] = digits[value % base];
    value /= base;
  } while (value != 0);
  while (length > 0) out->push_back(buffer[--length]);
}

}  // namespace

// The program's texts use only %s, %u, %d, %x, %X and %%, so they are
// formatted here rather than by the C library's printf family, which would
// bring the mingw runtime's whole formatter (floating point included, about
// 18 KiB) into the Windows program.
std::string FormatText(const char* pattern, ...) {
  va_list args;
  va_start(args, pattern);
  std::string result;
  for (const char* at = pattern; *at; ++at) {
    if (*at != '%') {
      result.push_back(*at);
      continue;
    }
    switch (*++at) {
      case 's':
        if (const char* text = va_arg(args, const char*)) result += text;
        break;
      case 'u':
        AppendNumber(&result, va_arg(args, unsigned), 10, false);
        break;
      case 'd': {
        const int value = va_arg(args, int);
        const auto wide = static_cast<unsigned long long>(value);
        if (value < 0) result.push_back('-');
        AppendNumber(&result, value < 0 ? 0ULL - wide : wide, 10, false);
        break;
      }
      case 'x':
      case 'X':
        AppendNumber(&result, va_arg(args, unsigned), 16, *at == 'X');
        break;
      case '%':
        result.push_back('%');
        break;
      case '\0':  // a lone '%' at the end stays as it is
        result.push_back('%');
        --at;
        break;
      default:  // not ours: kept as written
        result.push_back('%');
        result.push_back(*at);
        break;
    }
  }
  va_end(args);
  return result;
}
