// What the walk, the engines and the treatment need of the file system
// (walk_posix.cpp, walk_win.cpp): a look at a path, the folders of a tree
// one at a time, the system's form of a path, and the walk's file opened
// for its scan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "bridge/scan_events.h"

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
#endif

// The walk's file, opened by the bridge with the user's rights for its
// scan, and what it was then; closed when this goes.
class OpenedFile {
 public:
  virtual ~OpenedFile() = default;
  // Its next data, no more than the size it had when opened: the number of
  // bytes, 0 at that end, -1 with readError set.
  virtual long Read(char* buffer, size_t bytes) = 0;
  // Up to bytes of its start, the position of the next Read kept.
  virtual std::string FirstBytes(size_t bytes) = 0;
  // Whether the file still has the size and the time of its last change it
  // had when it was opened: what was read may else not be the whole of it.
  virtual bool Unchanged() const = 0;
  // The descriptor, blocking as usual, for an engine that reads the file
  // itself (Linux); -1 on Windows, where none is handed on.
  virtual int Descriptor() const = 0;

  FileIdentity identity;
  uint64_t size = 0;
  std::string readError;  // set when a read failed
};

// Opens the walk's file for its scan only while its path still names that
// regular file (the identity the walk saw, when it knows it); else nullptr
// and *refused says why it cannot be scanned (gone, changed or replaced,
// unreadable).
std::unique_ptr<OpenedFile> OpenForScan(const FileToScan& file, Verdict* refused);

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

}  // namespace bridge::walk_system
