// scan.exe on Windows: the wide argv, split by the C runtime's rules, in UTF-8.
#include <windows.h>

#include <string>
#include <vector>

#include "bridge.h"
#include "dll_search_win.h"

namespace {

std::string Utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
  result.pop_back();  // the terminating zero
  return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  RestrictDllSearchPath();
  bridge::InstallStopHandlers();
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Utf8(argv[i]));
  return bridge::RunBridge(args, bridge::PrintToConsole);
}
