#include "bridge/byte_size.h"

namespace bridge {

std::optional<uint64_t> ReadByteSize(std::string_view text, size_t maxLength) {
  if (text.size() > maxLength) return std::nullopt;
  uint64_t value = 0;
  size_t digits = 0;
  for (; digits < text.size() && text[digits] >= '0' && text[digits] <= '9'; ++digits) {
    if (value > (UINT64_MAX - 9) / 10) return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(text[digits] - '0');
  }
  if (digits == 0) return std::nullopt;
  int shift = 0;
  if (digits + 1 == text.size()) {
    switch (text[digits]) {
      case 'k':
      case 'K':
        shift = 10;
        break;
      case 'm':
      case 'M':
        shift = 20;
        break;
      case 'g':
      case 'G':
        shift = 30;
        break;
      default:
        return std::nullopt;
    }
  } else if (digits != text.size()) {
    return std::nullopt;
  }
  if (value > (UINT64_MAX >> shift)) return std::nullopt;
  return value << shift;
}

}  // namespace bridge
