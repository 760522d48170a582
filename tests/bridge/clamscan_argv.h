// How clamscan.exe splits its own command line (ClamAV's w32_glob, UTF-8):
// blanks outside quotes separate; "'" quotes as well as '"', and a closing
// quote ends the argument; no backslash escapes; every '"' is dropped. The
// expansion of "*" and "?" is left out: no path holds them.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

inline std::vector<std::string> SplitLikeClamscan(std::string_view line) {
  constexpr size_t kNone = std::string_view::npos;
  std::vector<std::string> args;
  size_t begin = kNone, end = kNone;
  bool inSingle = false, inDouble = false;
  for (size_t i = 0;; ++i) {
    const char c = i < line.size() ? line[i] : '\0';
    if (c == '\0') {
      end = i;
    } else if (c == ' ') {
      if (begin != kNone && !inSingle && !inDouble) end = i;
    } else if (c == '\'' && !inDouble) {
      inSingle = !inSingle;
      if (!inSingle) end = i;
    } else if (c == '"' && !inSingle) {
      inDouble = !inDouble;
      if (!inDouble) end = i;
    } else if (c != '\'' && c != '"' && begin == kNone) {
      begin = i;
      end = kNone;
    }
    if (begin != kNone && end != kNone) {
      if (begin < end) {
        std::string arg(line.substr(begin, end - begin));
        arg.erase(std::remove(arg.begin(), arg.end(), '"'), arg.end());
        args.push_back(std::move(arg));
      }
      inSingle = inDouble = false;
      begin = end = kNone;
    }
    if (c == '\0') return args;
  }
}
