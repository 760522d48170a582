#include "support/fs_helpers.h"

#include "support/fs_helpers_internal.h"

std::string PathBesideExecutable(const std::string& executablePath, const std::string& name) {
  std::string path = executablePath;
  const size_t lastSeparator = path.rfind(kPathSeparator);
  if (!name.empty() && name.front() == '.') {
    // Only a dot in the file name itself starts its extension: a dot in a
    // directory name ("C:\app.v2\prog") must not cut the path there.
    const size_t nameStart = lastSeparator == std::string::npos ? 0 : lastSeparator + 1;
    const size_t dot = path.rfind('.');
    if (dot != std::string::npos && dot >= nameStart)
      path.replace(dot, std::string::npos, name);
    else
      path += name;
    return path;
  }
  // With no separator, or one as the last character, there is no file name to
  // replace and the path stays as it is.
  if (lastSeparator != std::string::npos && lastSeparator + 1 < path.size())
    path.replace(lastSeparator + 1, std::string::npos, name);
  return path;
}

std::string GetModuleRelativePath(const std::string& name) {
  const std::string executable = ExecutablePath();
  if (executable.empty()) return std::string();
  return PathBesideExecutable(executable, name);
}

std::string StripTrailingBackslash(const std::string& path) {
  if (!path.empty() && path.back() == kPathSeparator) return path.substr(0, path.size() - 1);
  return path;
}
