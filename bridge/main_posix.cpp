// scan.exe on Linux: Quorvel splits its line by the Windows rules before it
// starts the bridge, so argv holds the arguments as the window meant them.
#include <string>
#include <vector>

#include "base/exit_codes.h"
#include "bridge/run.h"
#include "bridge/system.h"

int main(int argc, char** argv) {
  bridge::InstallStopHandlers();
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int code = bridge::RunBridge(args, bridge::PrintToConsole);
  if (code == kExitError) bridge::WaitForKeyAfterError();
  return code;
}
