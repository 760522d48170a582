// The processes a test started, read from /proc: for the tests that check
// what runs, and that nothing is left behind, after a scan.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace testing_support {

struct ChildProcess {
  pid_t pid;
  std::string name;  // the command name of /proc/<pid>/stat
};

// The processes whose parent is parent, zombies included.
std::vector<ChildProcess> ChildProcessesOf(pid_t parent);

}  // namespace testing_support
