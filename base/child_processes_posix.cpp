#include "base/child_processes_posix.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

std::vector<ChildProcess> ChildProcessesOf(pid_t parent) {
  std::vector<ChildProcess> children;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string id = entry.path().filename().string();
    if (id.find_first_not_of("0123456789") != std::string::npos) continue;
    // "pid (name) state ppid ...": the name may hold blanks and parentheses.
    std::ifstream file(entry.path() / "stat");
    std::string stat;
    std::getline(file, stat);
    const size_t open = stat.find('(');
    const size_t close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos) continue;
    char state = 0;
    int ppid = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) != 2) continue;
    if (ppid == parent)
      children.push_back(
          {static_cast<pid_t>(std::stol(id)), stat.substr(open + 1, close - open - 1)});
  }
  return children;
}
