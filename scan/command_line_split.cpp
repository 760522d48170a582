#include "scan/command_line_split.h"

// The rules below are those of CommandLineToArgvW as Windows and Wine apply
// them; only blank and tab separate arguments. Working on UTF-8 bytes is safe:
// no byte of a multi-byte sequence is a blank, a tab, a backslash or a quote.

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> args;
  if (line.empty()) return args;

  const size_t size = line.size();
  size_t pos = 0;

  // The program name: inside quotes it runs to the next quote, whatever
  // follows it; otherwise to the first blank. Quotes inside it and
  // backslashes are taken as they are. A leading blank gives an empty name.
  std::string first;
  if (line[0] == '"') {
    pos = 1;
    while (pos < size && line[pos] != '"') first += line[pos++];
    if (pos < size) ++pos;  // the closing quote
  } else {
    while (pos < size && !IsBlank(line[pos])) first += line[pos++];
  }
  args.push_back(std::move(first));

  while (pos < size && IsBlank(line[pos])) ++pos;
  if (pos == size) return args;

  // The other arguments. quoteCount is 0 outside quotes and 1 inside; within
  // a run of quotes it may reach 2 (closing quote) or 3, when the run adds a
  // literal quote and leaves quoting: "a""b c" gives a"b and c.
  std::string current;
  int quoteCount = 0;
  size_t backslashes = 0;
  while (pos < size) {
    const char c = line[pos];
    if (IsBlank(c) && quoteCount == 0) {
      args.push_back(std::move(current));
      current.clear();
      while (pos < size && IsBlank(line[pos])) ++pos;
      backslashes = 0;
      if (pos == size) return args;
      continue;
    }
    if (c == '\\') {
      current += c;
      ++backslashes;
      ++pos;
      continue;
    }
    if (c == '"') {
      // 2n backslashes and a quote: n backslashes and a quoting quote;
      // 2n+1 backslashes and a quote: n backslashes and a literal quote.
      current.resize(current.size() - (backslashes + 1) / 2);
      if (backslashes % 2 == 0) {
        ++quoteCount;
      } else {
        current += '"';
      }
      backslashes = 0;
      ++pos;
      for (; pos < size && line[pos] == '"'; ++pos) {
        if (++quoteCount == 3) {
          current += '"';
          quoteCount = 0;
        }
      }
      if (quoteCount == 2) quoteCount = 0;
      continue;
    }
    current += c;
    backslashes = 0;
    ++pos;
  }
  args.push_back(std::move(current));
  return args;
}
