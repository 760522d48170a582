#include "bridge/windows_command_line.h"

#include "base/windows_argv_quote.h"

namespace bridge {

std::string WindowsCommandLine(const std::string& program, const std::vector<std::string>& args) {
  // The program name ends at the first blank outside quotes and cannot hold
  // a quote itself: quotes around it are enough.
  std::string line =
      program.find_first_of(" \t") == std::string::npos ? program : "\"" + program + "\"";
  // Every argument in double quotes: clamscan.exe splits its line by its own
  // rules (blanks outside quotes, "'" quoting as well, no escapes), and reads
  // an argument so quoted as the C runtime does, unless it holds a quote or
  // ends with a backslash (then doubled, which a path does not mind).
  for (const std::string& arg : args) line += ' ' + QuoteWindowsArgument(arg, true);
  return line;
}

}  // namespace bridge
