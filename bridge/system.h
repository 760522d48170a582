// What the bridge needs of the system it runs on (system_posix.cpp,
// system_win.cpp): its console, its stop, and (Windows) the programs of
// ClamAV it runs.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/scan_request.h"

namespace bridge {

PathStyle NativePathStyle();

// Turns Ctrl+C, a closed console (Windows) or SIGINT/SIGHUP/SIGTERM (Linux)
// into a stop request. Called once by main.
void InstallStopHandlers();
bool StopRequested();
// Waits until a stop is requested, WakeUp is called or the time is up; true
// when stopped.
bool WaitForStop(int milliseconds);
// Ends a WaitForStop of another thread early (the scan is done).
void WakeUp();

// Writes a line to the console in a form it can show.
void PrintToConsole(const std::string& line, bool error);

// After an error, when the input is the bridge's own console, asks for a key
// and waits for it, so that the console does not close before the reason
// could be read. A closed console ends the wait (and the bridge) at once.
void WaitForKeyAfterError();

// Ends the bridge at once with the code: a stop does not wait for a file
// the engine is in the middle of, nor for a console that takes nothing.
[[noreturn]] void ExitNow(int code);

// The clamd.conf to read: the override variable, else the one clamdscan
// reads (Windows: beside clamscan.exe, else in ClamAV's folder under Program
// Files). Empty when the override switches the daemon off.
std::string ClamdConfigPath();

#ifdef _WIN32
// Names the path to clamscan.exe, overriding the search.
inline constexpr char kClamscanOverride[] = "QUORVEL_CLAMSCAN";
// clamscan.exe: the override variable, else PATH, else ClamAV's installation
// folder. Empty with the message to show when it is missing.
std::string FindClamscan(std::string* problem);

// How a child process ended.
struct RunOutcome {
  bool started = false;
  std::string startError;  // the system's reason when not started
  bool exited = false;     // it ended with an exit code of its own
  int code = 0;
  bool stopRequested = false;
};
// Receives the child's output as it comes, in pieces of any size (never from
// two threads at once); errorStream tells standard error from output.
using OutputSink = std::function<void(std::string_view piece, bool errorStream)>;
// Runs program with args, no shell, empty input; both output streams are
// read as they come. A stop request ends the child.
RunOutcome RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const OutputSink& sink);
#endif

}  // namespace bridge
