// One argument in double quotes by the rules with which Windows programs
// split their command line (CommandLineToArgvW, the C runtime) and with which
// the Linux program splits its line too. Backslashes escape only in front of
// a quote: those that end the argument are doubled, or "C:\" would quote the
// closing quote and swallow everything after it; a quote inside, when it is
// to be kept, gets its backslashes doubled and one more (2n+1 backslashes and
// a quote stand for n backslashes and a quote).
#pragma once

#include <string>
#include <string_view>

inline std::string QuoteWindowsArgument(std::string_view arg, bool escapeQuotes) {
  std::string quoted;
  quoted.reserve(arg.size() + 2);
  quoted += '"';
  size_t backslashes = 0;
  for (const char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    const bool escapeQuote = c == '"' && escapeQuotes;
    quoted.append(escapeQuote ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, '\\');
  quoted += '"';
  return quoted;
}
