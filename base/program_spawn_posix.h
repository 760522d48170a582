// Starting a program with posix_spawn the way the scanner and its terminal
// are started: never through a shell or a search of PATH, with default signal
// actions, an empty signal mask and only the standard streams (whatever the
// starting process has ignored, blocked or opened carelessly means nothing to
// the program). Used by the program and by its console helper.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct SpawnOptions {
  // A session of its own: it outlives the starting program, and a signal to
  // the starter's process group or terminal does not reach it.
  bool ownSession = false;
  // A process group of its own, made the foreground group of this terminal
  // descriptor when it is one (so the terminal's Ctrl+C reaches it).
  bool ownProcessGroup = false;
  int foregroundTerminal = -1;
  // /dev/null as standard input instead of the starter's.
  bool nullInput = false;
};

// Starts arguments[0] with the arguments and environment. Returns 0 with the
// process id in *child, or the system's error value.
int SpawnProgram(const std::vector<std::string>& arguments, char* const* environment,
                 const SpawnOptions& options, pid_t* child);
