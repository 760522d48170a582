// Linux: the children of a process, read from /proc (for the checks that
// nothing is left behind after a scan, and for measuring a process tree).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct ChildProcess {
  pid_t pid;
  std::string name;  // the command name of /proc/<pid>/stat
};

// The processes whose parent is parent, zombies included.
std::vector<ChildProcess> ChildProcessesOf(pid_t parent);
