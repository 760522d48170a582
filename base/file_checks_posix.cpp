#include "base/file_checks_posix.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

int ExecutableFileError(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return errno;
  if (!S_ISREG(info.st_mode)) return EACCES;
  if (access(path.c_str(), X_OK) != 0) return errno;
  return 0;
}

bool IsExecutableFile(const std::string& path) { return ExecutableFileError(path) == 0; }

std::string FindOnPath(const std::string& name) {
  const char* variable = std::getenv("PATH");
  const std::string folders =
      variable != nullptr && *variable != '\0' ? variable : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = folders.substr(start, end - start);
    if (!folder.empty() && folder[0] == '/') {
      const std::string candidate = folder + "/" + name;
      if (IsExecutableFile(candidate)) return candidate;
    }
    start = end + 1;
  }
  return {};
}

bool IsPrivateDirectory(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
         (info.st_mode & 077) == 0;
}
