#include <windows.h>

#include "support/fs_helpers.h"
#include "base/long_path_win.h"
#include "base/utf_win.h"
#include "support/fs_helpers_internal.h"

namespace {

// Longest path the wide calls take without the extended-length prefix:
// CreateDirectoryW keeps room for an 8.3 name below MAX_PATH; using its limit
// for every call keeps the rule simple.
constexpr size_t kPlainPathLimit = MAX_PATH - 12;
// Largest buffer worth growing to: extended-length paths end at 32767 units.
constexpr size_t kMaxPathBuffer = 32768;

void SetError(SystemErrorCode* error, SystemErrorCode value) {
  if (error != nullptr) *error = value;
}

// The form of path to hand to the wide file calls. Short paths go as they are,
// and so do device paths ("\\.\..."); longer ones in the extended-length form.
std::wstring SystemPath(const std::string& path) {
  std::wstring wide = Widen(path);
  if (wide.size() < kPlainPathLimit || wide.starts_with(L"\\\\.\\")) return wide;
  return ExtendedLengthPath(wide);
}

bool IsExistingDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool EntryPasses(DWORD attributes, uint32_t test) {
  if (test == kAnyNonDirectory) return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  return (attributes & test) != 0;
}

}  // namespace

std::string ExecutablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    // A full buffer means the path was cut short.
    if (length < buffer.size()) {
      buffer.resize(length);
      return Narrow(buffer);
    }
    if (buffer.size() >= kMaxPathBuffer) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

bool PathPatternExists(const std::string& pattern, uint32_t test) {
  WIN32_FIND_DATAW entry;
  const HANDLE search = FindFirstFileExW(SystemPath(pattern).c_str(), FindExInfoBasic, &entry,
                                         FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool passed = EntryPasses(entry.dwFileAttributes, test);
  while (!passed && FindNextFileW(search, &entry))
    passed = EntryPasses(entry.dwFileAttributes, test);
  FindClose(search);
  return passed;
}

bool CreateDirectoryTree(const std::string& requested, SystemErrorCode* error) {
  SetError(error, 0);
  const std::string path = StripTrailingBackslash(requested);

  // Where the first component that may need creating begins. UTF-8 never uses
  // the byte of a backslash inside a longer character, so the byte searches
  // below only ever find separators.
  size_t start = 0;
  if (path.starts_with("\\\\")) {
    // \\server\share: neither the server nor the share can be created. With
    // no backslash after the server name the search below starts at the
    // leading backslash, whose prefix "\" cannot be created: a failure.
    const size_t serverEnd = path.find('\\', 2);
    const size_t shareEnd = path.find('\\', serverEnd == std::string::npos ? 0 : serverEnd + 1);
    if (shareEnd == std::string::npos) return true;
    start = shareEnd + 1;
  } else if (path.size() >= 3 && path[1] == ':' && path[2] == '\\') {
    start = 3;
  } else if (path.size() == 2 && path[1] == ':') {
    // A drive alone ("c:\" once stripped): its root always exists.
    return true;
  }
  // A root-relative path ("\dir") yields the empty prefix first, which cannot
  // be created: it fails like any other uncreatable component.

  for (;;) {
    const size_t separator = path.find('\\', start);
    const std::string prefix = path.substr(0, separator);
    if (!PathPatternExists(prefix, kDirectoryAttribute) &&
        !CreateDirectoryW(SystemPath(prefix).c_str(), nullptr)) {
      const DWORD code = GetLastError();
      // Made by someone else in between, or not listable but there: no failure.
      if (code != ERROR_ALREADY_EXISTS || !IsExistingDirectory(prefix)) {
        SetError(error, code);
        SetLastError(code);
        return false;
      }
    }
    if (separator == std::string::npos) return true;
    start = separator + 1;
  }
}

std::string GetTempDirectory() {
  std::wstring buffer(MAX_PATH + 1, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) return std::string();
    if (length < buffer.size()) {
      buffer.resize(length);
      return Narrow(buffer);
    }
    buffer.resize(length + 1);  // length is then the size needed
  }
  return std::string();
}

std::string DefaultQuarantineDirectory() { return "c:\\quarantine"; }

// "~" names no folder on Windows.
std::string ExpandHomeFolder(const std::string& path) { return path; }

bool DeleteFileAt(const std::string& path, SystemErrorCode* error) {
  if (DeleteFileW(SystemPath(path).c_str())) {
    SetError(error, 0);
    return true;
  }
  SetError(error, GetLastError());
  return false;
}
