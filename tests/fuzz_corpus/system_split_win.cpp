#include <windows.h>

#include <shellapi.h>

#include "system_split.h"
#include "utf_win.h"

std::optional<LineSplitter> SystemSplitter() {
  return LineSplitter([](const std::string& line) {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(Widen(line).c_str(), &count);
    std::vector<std::string> args;
    if (argv == nullptr) return args;
    for (int i = 0; i < count; ++i) args.push_back(Narrow(argv[i]));
    LocalFree(argv);
    return args;
  });
}
