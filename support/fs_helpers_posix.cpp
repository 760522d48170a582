#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "support/fs_helpers.h"
#include "base/file_checks_posix.h"
#include "support/fs_helpers_internal.h"

namespace {

constexpr uint32_t kNormalAttribute = 0x80;  // what Windows reports for a plain file
constexpr size_t kMaxLinkBuffer = 1 << 20;

void SetError(SystemErrorCode* error, SystemErrorCode value) {
  if (error != nullptr) *error = value;
}

uint32_t AttributesOf(const struct stat& info) {
  return S_ISDIR(info.st_mode) ? kDirectoryAttribute : kNormalAttribute;
}

bool EntryPasses(uint32_t attributes, uint32_t test) {
  if (test == kAnyNonDirectory) return (attributes & kDirectoryAttribute) == 0;
  return (attributes & test) != 0;
}

bool IsDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsWildcard(char c) { return c == '*' || c == '?'; }

// Length of the UTF-8 character that starts with byte lead; a stray byte
// counts as one character of its own.
size_t CharacterLength(unsigned char lead) {
  if (lead >= 0xF0 && lead < 0xF8) return 4;
  if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
  if (lead >= 0xC0) return 2;
  return 1;
}

// Matches name against pattern with "*" (any run of characters, also none)
// and "?" (exactly one character, a whole UTF-8 sequence). Every other byte,
// "[" and "\" included, stands for itself: Linux names may contain them.
bool MatchesWildcards(std::string_view pattern, std::string_view name) {
  size_t p = 0, n = 0;
  size_t starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && pattern[p] == '?') {
      ++p;
      n += std::min(CharacterLength(static_cast<unsigned char>(name[n])), name.size() - n);
    } else if (p < pattern.size() && pattern[p] == name[n]) {
      ++p;
      ++n;
    } else if (starP != std::string_view::npos) {
      // Let the last "*" take one more character and try again from there.
      p = starP + 1;
      starN +=
          std::min(CharacterLength(static_cast<unsigned char>(name[starN])), name.size() - starN);
      n = starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

std::string ExecutablePath() {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0) return std::string();
    if (static_cast<size_t>(length) < buffer.size()) {
      buffer.resize(static_cast<size_t>(length));
      return buffer;
    }
    if (buffer.size() >= kMaxLinkBuffer) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

bool PathPatternExists(const std::string& pattern, uint32_t test) {
  const size_t slash = pattern.rfind('/');
  const std::string_view lastComponent =
      std::string_view(pattern).substr(slash == std::string::npos ? 0 : slash + 1);

  // A plain path (wildcards, if any, only in earlier components, where they
  // are taken as part of the names) matches itself.
  if (std::find_if(lastComponent.begin(), lastComponent.end(), IsWildcard) == lastComponent.end()) {
    struct stat info;
    return !pattern.empty() && stat(pattern.c_str(), &info) == 0 &&
           EntryPasses(AttributesOf(info), test);
  }

  std::string directory;
  if (slash == std::string::npos)
    directory = ".";
  else if (slash == 0)
    directory = "/";
  else
    directory = pattern.substr(0, slash);

  DIR* listing = opendir(directory.c_str());
  if (listing == nullptr) return false;
  bool passed = false;
  while (!passed) {
    const dirent* entry = readdir(listing);
    if (entry == nullptr) break;
    const std::string_view name(entry->d_name);
    if (name == "." || name == ".." || !MatchesWildcards(lastComponent, name)) continue;
    // Links are followed, as for a plain path; a dangling one is no entry.
    struct stat info;
    if (fstatat(dirfd(listing), entry->d_name, &info, 0) != 0) continue;
    passed = EntryPasses(AttributesOf(info), test);
  }
  closedir(listing);
  return passed;
}

bool CreateDirectoryTree(const std::string& requested, SystemErrorCode* error) {
  SetError(error, 0);
  const std::string path = StripTrailingBackslash(requested);
  if (requested == "/") return true;  // the root always exists

  // An absolute path starts after the root; a relative one is relative to the
  // working directory.
  size_t start = path.starts_with('/') ? 1 : 0;
  for (;;) {
    const size_t separator = path.find('/', start);
    const std::string prefix = path.substr(0, separator);
    if (!IsDirectory(prefix) && mkdir(prefix.c_str(), 0777) != 0) {
      const int code = errno;
      // Made by someone else in between: no failure.
      if (code != EEXIST || !IsDirectory(prefix)) {
        SetError(error, static_cast<SystemErrorCode>(code));
        errno = code;
        return false;
      }
    }
    if (separator == std::string::npos) return true;
    start = separator + 1;
  }
}

namespace {

std::string WithoutTrailingSlashes(std::string path) {
  while (!path.empty() && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

std::string TemporaryDirectoryFrom(const char* tmpdir, const char* runtimeDir,
                                   const std::string& sharedTemp) {
  // The user's own choice.
  if (tmpdir != nullptr && *tmpdir != '\0') return WithoutTrailingSlashes(tmpdir) + '/';
  // Otherwise never a name in the shared directory that someone else could
  // make first (and so see, replace or redirect the report): the session's
  // own runtime directory, or a directory of this user's made there.
  if (runtimeDir != nullptr && *runtimeDir != '\0') {
    const std::string runtime = WithoutTrailingSlashes(runtimeDir);
    if (IsPrivateDirectory(runtime)) return runtime + '/';
  }
  const std::string own =
      WithoutTrailingSlashes(sharedTemp) + "/quorvel-" + std::to_string(geteuid());
  mkdir(own.c_str(), 0700);  // or made before, by this user or by another
  return IsPrivateDirectory(own) ? own + '/' : std::string();
}

std::string GetTempDirectory() {
  return TemporaryDirectoryFrom(std::getenv("TMPDIR"), std::getenv("XDG_RUNTIME_DIR"), "/tmp");
}

namespace {

// $HOME, else the user's entry in the password database; empty when neither
// tells.
std::string HomeDirectory() {
  if (const char* variable = std::getenv("HOME"); variable != nullptr && *variable != '\0')
    return variable;
  if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr)
    return user->pw_dir;
  return {};
}

}  // namespace

std::string DefaultQuarantineDirectory() {
  std::string home = HomeDirectory();
  if (home.empty()) home = GetTempDirectory();
  while (!home.empty() && home.back() == '/') home.pop_back();
  return home + "/quarantine";
}

std::string ExpandHomeFolder(const std::string& path) {
  if (path.empty() || path[0] != '~' || (path.size() > 1 && path[1] != '/')) return path;
  std::string home = HomeDirectory();
  if (home.empty()) return path;
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  if (path.size() == 1) return home;
  if (home == "/") home.clear();
  return home + path.substr(1);
}

bool DeleteFileAt(const std::string& path, SystemErrorCode* error) {
  if (unlink(path.c_str()) == 0) {
    SetError(error, 0);
    return true;
  }
  SetError(error, static_cast<SystemErrorCode>(errno));
  return false;
}
