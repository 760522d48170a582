// What the bridge's files share among themselves.
#pragma once

#include <string>
#include <string_view>

namespace bridge {

inline bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Whether a clamscan option may take its value as the next word ("-d db").
bool TakesSeparateValue(const std::string& option);

}  // namespace bridge
