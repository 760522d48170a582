// What the walk and the treatment need of the file system (walk_posix.cpp,
// walk_win.cpp): a look at a path, the folders of a tree one at a time, and
// the system's form of a path.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "bridge/scan_events.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace bridge::walk_system {

#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

// The path and a name below it, with one separator between them.
std::string JoinPath(const std::string& folder, const std::string& name);

// The last name of a path.
std::string LastName(const std::string& path);

#ifndef _WIN32
// Opens a folder by a path of any length, a piece at a time past the
// system's limit for one call; -1 with errno.
int OpenFolderPath(const std::string& path, int flags);
// The folder holding the path's last name, opened for the *at calls, and
// that name; -1 with errno.
int OpenParent(const std::string& path, std::string* name);
// Opens a file the walk gave, by its systemPath of any length, for reading;
// a link is not followed (systemPath is already the real file). -1 with
// errno.
int OpenFileToScan(const std::string& systemPath);

// The walk's file opened for its scan, and what it was then.
struct OpenedFile {
  int fd = -1;
  struct stat status = {};
  FileIdentity identity;
};
// Opens the walk's file for its scan only while its path still names that
// regular file (the identity the walk saw, when it knows it), the
// descriptor blocking as usual; else fd -1 and *refused says why it cannot
// be scanned (gone, changed or replaced, unreadable).
OpenedFile OpenForScan(const FileToScan& file, Verdict* refused);
#endif

enum class Kind { kFile, kFolder, kLink, kSpecial, kMissing, kError };

// A path or a folder entry as the system saw it.
struct Look {
  Kind kind = Kind::kError;
  std::string systemPath;  // what the system opens (long form, or a link target's real file)
  FileIdentity identity;
  uint64_t size = 0;
  std::string error;  // kError: the reason in the user's words
};

// A path given by the user: a link is followed, and the look is of what it
// names (systemPath that real file or folder).
Look LookAtTarget(const std::string& path);

// The name of the kernel's file system the path lies on when it is one that
// holds no files on a disk (proc, sysfs, ...: their files are made up as
// they are read, and report sizes that are not theirs); empty for any other
// (always on Windows).
std::string KernelFileSystem(const std::string& systemPath);

// The path from the root with no link in it; empty when unknown.
std::string FullPath(const std::string& path);

// One folder of a walk, its names read when it is opened.
class Folder {
 public:
  virtual ~Folder() = default;
  // The next entry, not following links; false at the end, or with error
  // set when the folder cannot be read any further.
  virtual bool Next(std::string* name, Look* entry, std::string* error) = 0;
  // Opens an entry of kind kFolder: nullptr with the reason.
  virtual std::unique_ptr<Folder> Open(const std::string& name, const Look& entry,
                                       std::string* error) = 0;
};

// Opens a folder the target look found.
std::unique_ptr<Folder> OpenTarget(const Look& target, std::string* error);

// The treatment's side (treatment_posix.cpp, treatment_win.cpp). Each
// acts only while the path (not followed) still names the file with the
// expected identity.
enum class Outcome { kDone, kNameTaken, kNotSame, kFailed };

// Moves the file to folder/name, never replacing anything there; across
// file systems a complete copy is made before the original goes.
Outcome MoveNoReplace(const std::string& systemPath, const FileIdentity& expected,
                      const std::string& folder, const std::string& name, std::string* error);

Outcome Remove(const std::string& systemPath, const FileIdentity& expected, std::string* error);

}  // namespace bridge::walk_system
