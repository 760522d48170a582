// The ClamAV bridge: a stand-alone "scan.exe" that takes the arguments Quorvel
// gives its scanner, runs ClamAV's clamscan with the matching options and ends
// with an exit code the window understands.
//
// The portable part turns the arguments into a plan and carries it out:
// bridge_arguments.cpp reads the arguments, bridge_drives.cpp picks the drives,
// bridge_plan.cpp makes clamscan's arguments and the exit code,
// bridge_output.cpp reads clamscan's output and writes console and report,
// bridge_run.cpp runs the whole scan. bridge_win.cpp and bridge_posix.cpp
// find clamscan, list the drives, run it, turn Ctrl+C or a closed console
// into "stopped" and wait for a key after an error.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "exit_codes.h"

namespace bridge {

// Names the path to clamscan, overriding the search on PATH.
inline constexpr char kClamscanOverride[] = "QUORVEL_CLAMSCAN";

// How the paths of the system look whose arguments are parsed.
enum class PathStyle { kWindows, kPosix };

// The scanner arguments as Quorvel gives them.
struct Arguments {
  std::vector<std::string> targets;          // the quoted target and further paths, in order
  std::vector<std::string> switches;         // switches of the table, in lower case ("/sub")
  std::optional<std::string> reportFile;     // "/report <path>"
  std::optional<std::string> moveDirectory;  // "/move <dir>"
  std::vector<std::string> clamscanOptions;  // options among the extra parameters ("-d", "db")

  bool Has(std::string_view switchText) const;
  bool WantsLocalDrives() const { return Has("/ad") || Has("/adl"); }
  bool WantsNetworkDrives() const { return Has("/ad") || Has("/adn"); }
};

struct ParseResult {
  Arguments arguments;
  std::string error;  // the message to show; empty when the arguments are usable
  bool ok() const { return error.empty(); }
};

// Parses argv without the program name. Switches are matched without regard
// to case. Unknown switches, "/report" or "/move" without a path, and a scan
// with neither target nor drive switch are errors.
ParseResult ParseArguments(const std::vector<std::string>& args, PathStyle style);

// The drives to scan for /ad, /adl and /adn.
enum class DriveKind { kLocal, kNetwork, kOther };
struct Drive {
  std::string root;  // "C:\"
  DriveKind kind;
};
struct DriveSelection {
  std::vector<std::string> roots;
  std::vector<std::string> excludeDirs;  // clamscan --exclude-dir patterns
};
// Windows: fixed (and RAM) drives are local, remote drives network drives;
// removable media and CD drives are never taken.
DriveSelection SelectWindowsDrives(const std::vector<Drive>& drives, bool local, bool network);
// Linux, from the text of /proc/self/mounts: the local drives are "/" without
// the kernel's pseudo file systems (and without network mounts unless those
// are wanted too); the network drives are the mounted network file systems.
DriveSelection SelectPosixDrives(const std::string& mountsText, bool local, bool network);

// What one run of the bridge does. Drives are always scanned with everything
// below them; a target folder only with /sub. clamscan's --recursive counts
// for all its paths, so a target without /sub beside drives gets a run of
// its own.
struct Plan {
  enum class Action { kScan, kVirusList, kNothingToScan };
  Action action = Action::kScan;
  std::vector<std::string> notes;     // lines printed (and put in the report) first
  std::vector<std::string> problems;  // what cannot be scanned as asked: the scan ends with 2
  std::vector<std::vector<std::string>> clamscanRuns;  // each run's arguments, without the program
  std::vector<std::string> databaseOptions;  // "-d <dir>" and the like, for the virus list
};
// arguments.targets are the targets that exist.
Plan MakePlan(const Arguments& arguments, const DriveSelection& drives);

// How the child process ended.
struct ChildEnd {
  enum class Kind { kExited, kInterrupted, kOther };
  Kind kind = Kind::kOther;
  int code = 0;  // the exit code for kExited
};
// clamscan 0 -> 0, 1 -> 13, anything else -> 2; stopped by the user -> 102.
int MapExitCode(const ChildEnd& end, bool stopRequested);
// The code of a scan of several parts: stopped before infected before error.
int WorseExitCode(int a, int b);

// A command line for CreateProcessW whose arguments the child's C runtime
// splits back into args exactly.
std::string WindowsCommandLine(const std::string& program, const std::vector<std::string>& args);

// The lines /virlist shows, from the output of "clamscan --version" and of a
// scan of empty input with the same databases. Nothing when no signature count
// can be found (no database could be loaded).
std::optional<std::vector<std::string>> VirusListLines(const std::string& versionOutput,
                                                       const std::string& scanOutput);

// Writes one line to the console (error: to the error stream).
using Printer = std::function<void(const std::string& line, bool error)>;

// The whole run: parses args (argv without the program name), finds clamscan,
// runs it and returns the bridge's exit code.
int RunBridge(const std::vector<std::string>& args, const Printer& print);

// ---- Per system (bridge_win.cpp, bridge_posix.cpp) ----

PathStyle NativePathStyle();

// clamscan's path: the override variable, else PATH, else (Windows) ClamAV's
// installation folder. Empty with the message to show when it is missing.
std::string FindClamscan(std::string* problem);

// The drives of this machine for the drive switches.
DriveSelection GatherDrives(bool local, bool network);

struct RunOutcome {
  bool started = false;
  std::string startError;  // the system's reason when not started
  ChildEnd end;
  bool stopRequested = false;  // Ctrl+C, a closed console or a stop signal
};
// Receives the child's output as it comes, in pieces of any size (never from
// two threads at once); errorStream tells standard error from output.
using OutputSink = std::function<void(std::string_view piece, bool errorStream)>;
// Runs program with args, no shell. The child reads empty input and keeps
// the console for its stop events; both its output streams are read as they
// come, so neither can fill up and stall it. A stop request ends the child
// and is reported.
RunOutcome RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const OutputSink& sink);

// Turns Ctrl+C, a closed console (Windows) or SIGINT/SIGHUP/SIGTERM (Linux)
// into a stop request for the running child. Called once by main.
void InstallStopHandlers();
bool StopRequested();

// Writes a line to the console in a form it can show.
void PrintToConsole(const std::string& line, bool error);

// After an error, when the input is a console, asks for a key and waits for
// it, so that the console does not close before the reason could be read. A
// closed console ends the wait (and the bridge) at once.
void WaitForKeyAfterError();

}  // namespace bridge
