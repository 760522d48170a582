// scan.exe on Windows: the wide argv, split by the C runtime's rules, in UTF-8.
#include <windows.h>

#include <string>
#include <vector>

#include "bridge.h"

namespace {

std::string Utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
  result.pop_back();  // the terminating zero
  return result;
}

// DLLs only from the system's folder, never from the current one: the bridge
// runs wherever its console was opened. SetDefaultDllDirectories is looked up
// at run time, so older systems without it still start.
void RestrictDllSearchPath() {
  SetDllDirectoryW(L"");
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (!kernel) return;
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  RestrictDllSearchPath();
  bridge::InstallStopHandlers();
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Utf8(argv[i]));
  return bridge::RunBridge(args, bridge::PrintToConsole);
}
