#include "bridge/windows_command_line.h"

#include "base/windows_argv_quote.h"

namespace bridge {

std::string WindowsCommandLine(const std::string& program, const std::vector<std::string>& args) {
  // The program name ends at the first blank outside quotes and cannot hold
  // a quote itself: quotes around it are enough.
  std::string line =
      program.find_first_of(" \t") == std::string::npos ? program : "\"" + program + "\"";
  for (const std::string& arg : args) {
    line += ' ';
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
      line += arg;
      continue;
    }
    line += QuoteWindowsArgument(arg, true);
  }
  return line;
}

}  // namespace bridge
