// File-system helpers: files beside the executable, pattern tests, directory
// trees and the temporary directory. Paths are UTF-8.
#pragma once

#include <cstdint>
#include <string>

#include "base/system_error.h"

// The separator of path components on this system, and whether a file name
// may hold a double quote (Linux names may, Windows names cannot).
#if defined(_WIN32)
inline constexpr char kPathSeparator = '\\';
inline constexpr bool kNamesMayHoldQuotes = false;
#else
inline constexpr char kPathSeparator = '/';
inline constexpr bool kNamesMayHoldQuotes = true;
#endif

// Attribute bit of a directory entry, as Windows reports it (also used on
// Linux for entries that are directories).
inline constexpr uint32_t kDirectoryAttribute = 0x10;
// The "any entry that is not a directory" test for PathPatternExists.
inline constexpr uint32_t kAnyNonDirectory = 0xFFFFFFFF;

// The full path of the running executable, or empty when the system cannot
// tell.
std::string ExecutablePath();

// The executable's directory followed by name ("scan.exe"); a name starting
// with "." replaces the executable's extension instead. Empty when the
// executable's path cannot be read.
std::string GetModuleRelativePath(const std::string& name);

// True when an entry matching pattern (a plain path, or "*" and "?" in the
// last component) passes test: kAnyNonDirectory, or an attribute mask of
// which at least one bit must be set (kDirectoryAttribute).
bool PathPatternExists(const std::string& pattern, uint32_t test);

// The path without one trailing separator.
std::string StripTrailingBackslash(const std::string& path);

// Creates path with every missing parent. Returns false at the first creation
// that fails, with the system's error value in *error; the directories made
// before it stay.
bool CreateDirectoryTree(const std::string& path, SystemErrorCode* error = nullptr);

// The temporary-files directory with one trailing separator, or empty when the
// system cannot tell.
std::string GetTempDirectory();

// The default quarantine directory for infected files.
std::string DefaultQuarantineDirectory();

// Linux: path with a leading "~" or "~/" standing for the user's home folder,
// as in a shell or a file dialog, replaced by that folder ("~user" and a "~"
// further on are left alone). Unchanged on Windows and when the home folder is
// unknown.
std::string ExpandHomeFolder(const std::string& path);

// Deletes one file; the path is taken literally (a pattern is no file name).
// On failure returns false with the system's error value in *error.
bool DeleteFileAt(const std::string& path, SystemErrorCode* error);
