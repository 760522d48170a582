#include <windows.h>

#include <shellapi.h>

#include "base/utf_win.h"
#include "tests/support/command_line_to_argv_win.h"
#include "tests/support/test_support.h"

namespace testing_support {

void SetEnv(const std::string& name, const std::string& value) {
  SetEnvironmentVariableW(Widen(name).c_str(), value.empty() ? nullptr : Widen(value).c_str());
}

const char* FakeScannerCrashSetting() { return "0xC000013A"; }

std::vector<std::string> CommandLineToArgs(const std::string& line) {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(Widen(line).c_str(), &count);
  std::vector<std::string> args;
  if (argv == nullptr) return args;
  for (int i = 0; i < count; ++i) args.push_back(Narrow(argv[i]));
  LocalFree(argv);
  return args;
}

}  // namespace testing_support
