// scan.exe on Windows: the wide argv, split by the C runtime's rules, in UTF-8.
#include <windows.h>

#include <string>
#include <vector>

#include "base/dll_search_win.h"
#include "base/exit_codes.h"
#include "base/utf_win.h"
#include "bridge/run.h"
#include "bridge/system.h"

int wmain(int argc, wchar_t** argv) {
  RestrictDllSearchPath();
  bridge::InstallStopHandlers();
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Narrow(argv[i]));
  const int code = bridge::RunBridge(args, bridge::PrintToConsole);
  if (code == kExitError) bridge::WaitForKeyAfterError();
  return code;
}
